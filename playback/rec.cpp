#include "playback/rec.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>

#include "audio/audio.h"
#include "platform/error_display.h"
#include "platform/form_magnet.h"
#include "platform/formats.h"
#include "platform/text.h"
#include "platform/window_style.h"
#include "playback/status_figures.h"
#include "playback/stream_player.h"

TForm3 *Form3 = nullptr;

namespace {

// A radio button with its caption on the left, as the window lays them out.
QRadioButton *formatButton(QWidget *parent, const QString &caption, const QRect &geometry) {
    auto *button = new QRadioButton(caption, parent);
    button->setLayoutDirection(Qt::RightToLeft);
    button->setGeometry(geometry);
    return button;
}

} // namespace

TForm3::TForm3(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Record Radio"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 274, 140);
    platform::SetBlackWindow(this);

    JvRadioButton1 = formatButton(this, QStringLiteral("MP3"), QRect(40, 16, 43, 17));
    JvRadioButton2 = formatButton(this, QStringLiteral("WAV"), QRect(112, 16, 46, 17));
    JvRadioButton3 = formatButton(this, QStringLiteral("OGG"), QRect(184, 16, 45, 17));
    JvRadioButton2->setChecked(true);
    JvLabel1 = new platform::Label(this, 8, 48, QStringLiteral("File name:"));
    JvLabel1->SetFitWidth(54); // clear of the edit at 64
    JvFilenameEdit1 = new platform::FileNameEdit(this);
    JvFilenameEdit1->setGeometry(64, 48, 201, 19);
    JvFilenameEdit1->Edit()->setReadOnly(false);
    platform::SetFlatBlack(JvFilenameEdit1->Edit());
    JvProgressBar1 = new platform::ProgressBar(this);
    JvProgressBar1->setGeometry(8, 72, 257, 17);
    JvProgressBar1->setRange(0, 1);
    JvProgressBar1->setValue(0);
    JvProgressBar1->setTextVisible(true);
    JvProgressBar1->setAlignment(Qt::AlignCenter);
    JvProgressBar1->setFormat(QString());
    JvBitBtn1 = platform::BlackTextButton(this, QStringLiteral("Start"), QRect(56, 104, 75, 25));
    JvBitBtn2 = platform::BlackTextButton(this, QStringLiteral("Stop"), QRect(144, 104, 75, 25));
    new platform::FormMagnet(this);
    // Also while hidden: the bar is current when the window opens.
    progressTimer_ = new platform::RepeatingTimer(this, 500);

    using platform::ConnectHandler;
    ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm3::JvBitBtn1Click);
    ConnectHandler(JvBitBtn2, &QPushButton::clicked, this, &TForm3::JvBitBtn2Click);
    ConnectHandler(JvFilenameEdit1, &platform::FileNameEdit::ButtonClick, this,
                   &TForm3::JvFilenameEdit1ButtonClick);
    ConnectHandler(progressTimer_, &platform::RepeatingTimer::Timer, this, &TForm3::ShowProgress);
}

void TForm3::JvBitBtn1Click() {
    uint32_t format = BASS_ENCODE_PCM;
    if (JvRadioButton1->isChecked())
        format = BASS_ENCODE_MP3;
    else if (JvRadioButton3->isChecked())
        format = BASS_ENCODE_OGG;
    // The path exactly as shown, in the file system's encoding.
    const QByteArray path = QFile::encodeName(JvFilenameEdit1->text());
    BASS_Encode_Start(CurrentChannel, path.constData(), format, nullptr, nullptr);
    BASS_ChannelPlay(CurrentChannel, false);
    ShowProgress();
}

void TForm3::JvBitBtn2Click() {
    BASS_Encode_Stop(CurrentChannel);
    ShowProgress();
}

void TForm3::JvFilenameEdit1ButtonClick() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Browse"), JvFilenameEdit1->text(),
                                     platform::QtFileFilter(QStringLiteral("All files (*.*)|*.*")));
    if (!path.isEmpty())
        JvFilenameEdit1->setText(path);
}

void TForm3::ShowProgress() {
    if (BASS_Encode_IsActive(CurrentChannel) != BASS_ACTIVE_PLAYING) {
        JvProgressBar1->setRange(0, 1);
        JvProgressBar1->setValue(0);
        JvProgressBar1->setFormat(QString());
        return;
    }
    // A busy bar: a stream has no length to fill it towards.
    JvProgressBar1->setRange(0, 0);
    const uint64_t taken = BASS_Encode_GetCount(CurrentChannel, BASS_ENCODE_COUNT_IN);
    const uint64_t written = BASS_Encode_GetCount(CurrentChannel, BASS_ENCODE_COUNT_OUT);
    JvProgressBar1->setFormat(
        RecordingProgressText(BASS_ChannelBytes2Seconds(CurrentChannel, taken),
                              written == static_cast<uint64_t>(-1) ? 0 : written));
}

QString RecordingProgressText(double seconds, quint64 bytes) {
    return playback::ElapsedText(seconds, platform::TimeSeparator()) + QStringLiteral(" · ") +
           QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}
