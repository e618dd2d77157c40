#include "windows/webstream.h"

#include <QFileDialog>

#include "platform/error_display.h"
#include "platform/int_parse.h"
#include "platform/text.h"
#include "platform/window_style.h"

TForm6 *Form6 = nullptr;

TForm6::TForm6(QWidget *parent)
    : QDialog(parent), DXAudioIn1(std::make_unique<broadcast::TDXAudioIn>()) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Web radio streaming"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 330, 244);
    platform::SetBlackWindow(this);

    const QColor teal(0, 128, 128);
    JvGradientHeaderPanel1 =
        new platform::GradientHeader(this, QStringLiteral("Create your web radio"), teal, teal);
    JvGradientHeaderPanel1->setGeometry(0, 0, 329, 30);
    JvLabel1 = new platform::Label(this, 104, 40);
    JvLabel1->setFont(platform::PixelFont(11, true));
    JvLabel1->setText(QStringLiteral("Web radio streaming"));
    JvFilenameEdit1 = new platform::FileNameEdit(this);
    JvFilenameEdit1->setGeometry(48, 64, 233, 19);
    JvFilenameEdit1->Edit()->setReadOnly(false);
    platform::SetFlatBlack(JvFilenameEdit1->Edit());
    JvLabel2 = new platform::Label(this, 56, 96, QStringLiteral("Port:"));
    JvEdit1 = new QLineEdit(this);
    JvEdit1->setGeometry(96, 96, 169, 19);
    platform::SetFlatBlack(JvEdit1);
    JvLabel3 = new platform::Label(this, 24, 128, QStringLiteral("MaxClients:"));
    JvEdit2 = new QLineEdit(this);
    JvEdit2->setGeometry(96, 128, 169, 19);
    platform::SetFlatBlack(JvEdit2);
    JvLabel4 = new platform::Label(this, 40, 160, QStringLiteral("Bitrate:"));
    BitrateBox = new QComboBox(this);
    BitrateBox->setGeometry(88, 160, 57, 21);
    BitrateBox->addItems({QStringLiteral("64"), QStringLiteral("128"), QStringLiteral("192"),
                          QStringLiteral("256"), QStringLiteral("320")});
    BitrateBox->setCurrentIndex(0);
    JvLabel5 = new platform::Label(this, 152, 160, QStringLiteral("kbps"));

    JvBitBtn1 = platform::BlackTextButton(this, QStringLiteral("Play"), QRect(48, 200, 75, 25));
    JvBitBtn2 = platform::BlackTextButton(this, QStringLiteral("Stop"), QRect(128, 200, 75, 25));
    JvBitBtn3 = platform::BlackTextButton(this, QStringLiteral("Pause"), QRect(208, 200, 75, 25));
    // Below the buttons: what the output is doing, or why it is not.
    StatusLbl = new platform::Label(this, 8, 229);

    setTabOrder(JvBitBtn1, JvBitBtn2);
    setTabOrder(JvBitBtn2, JvBitBtn3);
    setTabOrder(JvBitBtn3, JvFilenameEdit1->Edit());
    setTabOrder(JvFilenameEdit1->Edit(), JvEdit1);
    setTabOrder(JvEdit1, JvEdit2);
    setTabOrder(JvEdit2, BitrateBox);

    WMStreamedOut1.Input = DXAudioIn1.get();
    // Posted to this thread: the callback runs on the output's threads.
    WMStreamedOut1.SetStatusCallback(
        [this] { QMetaObject::invokeMethod(this, &TForm6::showStatus, Qt::QueuedConnection); });

    using platform::ConnectHandler;
    ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm6::JvBitBtn1Click);
    ConnectHandler(JvBitBtn2, &QPushButton::clicked, this, &TForm6::JvBitBtn2Click);
    ConnectHandler(JvBitBtn3, &QPushButton::clicked, this, &TForm6::JvBitBtn3Click);
    ConnectHandler(JvFilenameEdit1, &platform::FileNameEdit::ButtonClick, this,
                   &TForm6::JvFilenameEdit1ButtonClick);
}

TForm6::~TForm6() {
    WMStreamedOut1.SetStatusCallback(nullptr);
    WMStreamedOut1.Stop();
}

void TForm6::UseCapture(std::unique_ptr<broadcast::TDXAudioIn> capture) {
    WMStreamedOut1.Stop();
    DXAudioIn1 = std::move(capture);
    WMStreamedOut1.Input = DXAudioIn1.get();
}

void TForm6::JvBitBtn1Click() {
    static constexpr uint32_t kBitrates[] = {64, 128, 192, 256, 320};
    const int index = BitrateBox->currentIndex();
    if (index >= 0 && index < 5)
        WMStreamedOut1.DesiredBitrate = kBitrates[index];
    WMStreamedOut1.FileName = JvFilenameEdit1->text().toStdString();
    // The same 32 bits in the unsigned settings; the output checks the range.
    WMStreamedOut1.Port = static_cast<uint32_t>(platform::StrToInt(JvEdit1->text()));
    WMStreamedOut1.MaxClients = static_cast<uint32_t>(platform::StrToInt(JvEdit2->text()));
    WMStreamedOut1.Start();
    showStatus();
}

void TForm6::JvBitBtn2Click() {
    WMStreamedOut1.Stop();
    showStatus();
}

void TForm6::JvBitBtn3Click() {
    WMStreamedOut1.SetPaused(!WMStreamedOut1.Status().paused);
}

void TForm6::JvFilenameEdit1ButtonClick() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Browse"), JvFilenameEdit1->text(),
        platform::QtFileFilter(QStringLiteral("Windows Media audio|*.asf;*.wma|All files|*")));
    if (!path.isEmpty())
        JvFilenameEdit1->setText(path);
}

void TForm6::showStatus() {
    StatusLbl->setText(QString::fromStdString(broadcast::StatusLine(WMStreamedOut1.Status())));
}
