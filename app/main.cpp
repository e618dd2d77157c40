#include "app/main.h"

#include <cmath>

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDateTime>
#include <QFileDialog>
#include <QMouseEvent>
#include <QSystemTrayIcon>

#include "app/window_set.h"
#include "audio/audio.h"
#include "platform/error_display.h"
#include "platform/form_magnet.h"
#include "platform/formats.h"
#include "platform/shell_open.h"
#include "platform/text.h"
#include "platform/window_style.h"
#include "playback/equa.h"
#include "playback/rec.h"
#include "playback/status_figures.h"
#include "playback/strinfo.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "updates/update.h"
#include "windows/about.h"
#include "windows/chcolor.h"
#include "windows/links.h"
#include "windows/plugin.h"
#include "windows/webstream.h"
#include "windows/whatsnew.h"

TForm1 *Form1 = nullptr;

const char *const kHomePage = "http://velotune.example/";

namespace {

// The design's outer window height includes a title bar and borders of this
// many pixels; the settings file stores outer heights (618 and 318).
constexpr int kFrameOverhead_px = 34;
constexpr int kClientWidth_px = 288;

const QColor kLime(0, 255, 0);

void setTextColour(QWidget *widget, const QColor &colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

} // namespace

TForm1::TForm1(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velotune Player"));
    platform::SetFixedWindow(this, platform::Border::SingleFixed, kClientWidth_px, 584);
    platform::SetBlackWindow(this);
    // The recording and equalizer windows snap to this one.
    platform::FormMagnet::SetMainWindow(this);

    createControls();
    createMenus();
    connectHandlers();
    createDesktopLink();
    platform::RunGuarded([this] { FormCreate(); });
}

void TForm1::createControls() {
    JvLabel1 = new platform::Label(this, 16, 16);
    JvLabel2 = new platform::Label(this, 16, 40);
    JvLabel6 = new platform::Label(this, 16, 64);
    setTextColour(JvLabel6, kLime);
    JvLabel6->setContextMenuPolicy(Qt::CustomContextMenu);

    PaintBox1 = new platform::PaintBox(this);
    PaintBox1->setGeometry(176, 8, 105, 49);

    // The captions stop short of the controls they name.
    JvLabel3 = new platform::Label(this, 8, 96, QStringLiteral("Add URL:"));
    JvLabel3->SetFitWidth(64 - 8 - 2);
    JvEdit1 = new QLineEdit(this);
    JvEdit1->setGeometry(64, 96, 217, 19);
    platform::SetFlatBlack(JvEdit1);

    JvComboBox1 = new QComboBox(this);
    JvComboBox1->setGeometry(64, 96, 217, 21);
    JvComboBox1->setStyleSheet(QStringLiteral("QComboBox { background: black; color: white; "
                                              "border: 1px solid #808080; }"));
    JvComboBox1->addItems({QStringLiteral("http://ice1.somafm.com/groovesalad-128-mp3"),
                           QStringLiteral("http://ice1.somafm.com/dronezone-128-mp3"),
                           QStringLiteral("http://ice1.somafm.com/groovesalad-128-aac")});
    JvComboBox1->setCurrentIndex(0);
    JvComboBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    JvComboBox1->hide();

    JvLabel4 = new platform::Label(this, 8, 128, QStringLiteral("Add Playlist:"));
    JvLabel4->SetFitWidth(72 - 8 - 2);
    JvFilenameEdit1 = new platform::FileNameEdit(this);
    JvFilenameEdit1->setGeometry(72, 128, 209, 19);
    platform::SetFlatBlack(JvFilenameEdit1->Edit());

    VolPerLbl = new platform::Label(this, 8, 152);
    setTextColour(VolPerLbl, kLime);
    JvTrackBar1 = new QSlider(Qt::Horizontal, this);
    JvTrackBar1->setGeometry(40, 152, 249, 25);
    JvTrackBar1->setRange(0, 100);
    JvTrackBar1->setValue(100);

    DateTimeLbl = new platform::Label(this, 8, 184);
    SecLbl = new platform::Label(this, 192, 200);
    SecLbl->setFont(platform::PixelFont(16, true));
    setTextColour(SecLbl, kLime);

    JvLabel5 = new platform::Label(this, 8, 208, QStringLiteral("Velotune team:"));
    JvLabel5->SetFitWidth(88 - 8 - 2);
    JvLinkLabel1 = new platform::Label(this, 88, 208, QStringLiteral("velotune.example"));
    QFont link = JvLinkLabel1->font();
    link.setUnderline(true);
    JvLinkLabel1->setFont(link);
    JvLinkLabel1->SetFitWidth(97);
    setTextColour(JvLinkLabel1, QColor(0, 0, 255));
    JvLinkLabel1->setCursor(Qt::PointingHandCursor);
    JvLinkLabel1->installEventFilter(this);

    JvBitBtn1 = platform::BlackTextButton(this, QStringLiteral("Play"), QRect(8, 232, 75, 25));
    JvBitBtn2 = platform::BlackTextButton(this, QStringLiteral("Stop"), QRect(88, 232, 75, 25));
    JvBitBtn3 = platform::BlackTextButton(this, QStringLiteral("Pause"), QRect(168, 232, 75, 25));

    JvPlaylist1 = new platform::PlaylistBox(this);
    JvPlaylist1->setGeometry(8, 264, 273, 289);
    JvPlaylist1->setStyleSheet(QStringLiteral("QListView { background: black; color: white; "
                                              "border: 1px solid #808080; }"
                                              "QListView::item { height: 13px; }"));

    CPULabel = new platform::Label(this, 8, 560);

    setTabOrder(JvBitBtn1, JvBitBtn2);
    setTabOrder(JvBitBtn2, JvBitBtn3);
    setTabOrder(JvBitBtn3, JvEdit1);
    setTabOrder(JvEdit1, JvFilenameEdit1->Edit());
    setTabOrder(JvFilenameEdit1->Edit(), JvTrackBar1);
    setTabOrder(JvTrackBar1, JvPlaylist1);
    setTabOrder(JvPlaylist1, JvComboBox1);

    JvTimer1 = new platform::RepeatingTimer(this, 1000);
}

void TForm1::createMenus() {
    PopupMenu1 = new QMenu(this);
    Help1 = PopupMenu1->addAction(QStringLiteral("Help"));
    Settings1 = PopupMenu1->addAction(QStringLiteral("Settings..."));
    Closetotray1 = PopupMenu1->addAction(QStringLiteral("Close to tray"));
    Record1 = PopupMenu1->addAction(QStringLiteral("Record"));
    Language1 = PopupMenu1->addMenu(QStringLiteral("Language"));
    English1 = Language1->addAction(QStringLiteral("English"));
    Russian1 = Language1->addAction(QStringLiteral("Russian"));
    WebStreaming1 = PopupMenu1->addAction(QStringLiteral("Web Streaming"));
    Format1 = PopupMenu1->addMenu(QStringLiteral("Format"));
    auto *formats = new QActionGroup(this);
    formats->setExclusive(true);
    MP3MP41 = Format1->addAction(QStringLiteral("MP3/MP4"));
    AAC1 = Format1->addAction(QStringLiteral("AAC"));
    AC31 = Format1->addAction(QStringLiteral("AC3"));
    for (QAction *format : {MP3MP41, AAC1, AC31}) {
        format->setCheckable(true);
        formats->addAction(format);
    }
    MP3MP41->setChecked(true);
    Plugins1 = PopupMenu1->addAction(QStringLiteral("Plugins"));
    Equalizer1 = PopupMenu1->addAction(QStringLiteral("Equalizer"));
    History1 = PopupMenu1->addAction(QStringLiteral("History"));
    PopupMenu1->addSeparator();
    Whatsnew1 = PopupMenu1->addAction(QStringLiteral("What's new..."));
    PopupMenu1->addSeparator();
    About1 = PopupMenu1->addAction(QStringLiteral("About"));
    Updates1 = PopupMenu1->addAction(QStringLiteral("Updates..."));
    PopupMenu1->addSeparator();
    Exit1 = PopupMenu1->addAction(QStringLiteral("Exit"));

    PopupMenu2 = new QMenu(this);
    Changecolor1 = PopupMenu2->addAction(QStringLiteral("Change color..."));
    PopupMenu3 = new QMenu(this);
    Streaminfo1 = PopupMenu3->addAction(QStringLiteral("Stream info"));
    PopupMenu4 = new QMenu(this);
    SaveURL1 = PopupMenu4->addAction(QStringLiteral("Save URL..."));

    CoolTrayIcon1 = new platform::TrayIcon(this, ProgramIcon());
    CoolTrayIcon1->SetToolTip(QStringLiteral("Velotune Player"));
    CoolTrayIcon1->SetMenu(PopupMenu1);
    CoolTrayIcon1->SetVisible(true);
}

void TForm1::connectHandlers() {
    using platform::ConnectHandler;
    ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm1::JvBitBtn1Click);
    ConnectHandler(JvPlaylist1, &platform::PlaylistBox::Click, this, &TForm1::JvBitBtn1Click);
    ConnectHandler(JvBitBtn2, &QPushButton::clicked, this, &TForm1::JvBitBtn2Click);
    ConnectHandler(JvBitBtn3, &QPushButton::clicked, this, &TForm1::JvBitBtn3Click);
    ConnectHandler(JvComboBox1, &QComboBox::activated, this, &TForm1::JvComboBox1Click);
    ConnectHandler(JvTrackBar1, &QSlider::valueChanged, this, &TForm1::JvTrackBar1Change);
    ConnectHandler(MP3MP41, &QAction::triggered, this, &TForm1::MP3MP41Click);
    ConnectHandler(AAC1, &QAction::triggered, this, &TForm1::AAC1Click);
    ConnectHandler(AC31, &QAction::triggered, this, &TForm1::AC31Click);
    ConnectHandler(JvFilenameEdit1, &platform::FileNameEdit::ButtonClick, this,
                   &TForm1::JvFilenameEdit1ButtonClick);
    ConnectHandler(SaveURL1, &QAction::triggered, this, &TForm1::SaveURL1Click);
    ConnectHandler(JvTimer1, &platform::RepeatingTimer::Timer, this, &TForm1::JvTimer1Timer);

    ConnectHandler(Help1, &QAction::triggered, this, &TForm1::Help1Click);
    ConnectHandler(English1, &QAction::triggered, this, &TForm1::English1Click);
    ConnectHandler(Russian1, &QAction::triggered, this, &TForm1::Russian1Click);
    ConnectHandler(Settings1, &QAction::triggered, this, &TForm1::Settings1Click);
    ConnectHandler(Closetotray1, &QAction::triggered, this, &TForm1::Closetotray1Click);
    ConnectHandler(CoolTrayIcon1, &platform::TrayIcon::Click, this, &TForm1::CoolTrayIcon1Click);
    ConnectHandler(Record1, &QAction::triggered, this, &TForm1::Record1Click);
    ConnectHandler(WebStreaming1, &QAction::triggered, this, &TForm1::WebStreaming1Click);
    ConnectHandler(Plugins1, &QAction::triggered, this, &TForm1::Plugins1Click);
    ConnectHandler(Equalizer1, &QAction::triggered, this, &TForm1::Equalizer1Click);
    ConnectHandler(History1, &QAction::triggered, this, &TForm1::History1Click);
    ConnectHandler(Whatsnew1, &QAction::triggered, this, &TForm1::Whatsnew1Click);
    ConnectHandler(About1, &QAction::triggered, this, &TForm1::About1Click);
    ConnectHandler(Updates1, &QAction::triggered, this, &TForm1::Updates1Click);
    ConnectHandler(Changecolor1, &QAction::triggered, this, &TForm1::Changecolor1Click);
    ConnectHandler(Streaminfo1, &QAction::triggered, this, &TForm1::Streaminfo1Click);
    ConnectHandler(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);

    connect(PaintBox1, &platform::PaintBox::ContextMenuRequested, PopupMenu2,
            [this](const QPoint &at) { PopupMenu2->popup(at); });
    connect(JvLabel6, &QWidget::customContextMenuRequested, PopupMenu3,
            [this](const QPoint &at) { PopupMenu3->popup(JvLabel6->mapToGlobal(at)); });
    connect(JvComboBox1, &QWidget::customContextMenuRequested, PopupMenu4,
            [this](const QPoint &at) { PopupMenu4->popup(JvComboBox1->mapToGlobal(at)); });
}

void TForm1::createDesktopLink() {
    desktop::PlayerActions actions;
    actions.play = platform::Guarded([this] { JvBitBtn1Click(); });
    actions.pause = platform::Guarded([this] { JvBitBtn3Click(); });
    actions.stop = platform::Guarded([this] { JvBitBtn2Click(); });
    actions.raise = platform::Guarded([this] { CoolTrayIcon1Click(); });
    actions.quit = platform::Guarded([this] { Exit1Click(); });
    // The slider's own handler applies the volume and reports it back.
    actions.setVolume = [this](double volume) {
        JvTrackBar1->setValue(static_cast<int>(std::lround(volume * 100.0)));
    };
    actions.position_us = [] {
        const double seconds = BASS_ChannelBytes2Seconds(
            CurrentChannel, BASS_ChannelGetPosition(CurrentChannel, BASS_POS_BYTE));
        return static_cast<qint64>(seconds * 1e6);
    };
    Desktop = new desktop::DesktopLink(this, CoolTrayIcon1, QDBusConnection::sessionBus(), actions);
}

void TForm1::FormCreate() {
    MainIni.emplace(settings::OpenSettingsFile());
    JvTrackBar1->setValue(
        MainIni->ReadInteger(QStringLiteral("Volume"), QStringLiteral("Default"), 0));
    const QString mode = MainIni->ReadString(QStringLiteral("main"), QStringLiteral("URLMode"),
                                             QStringLiteral("Edit"));
    if (mode == QStringLiteral("Edit")) {
        JvEdit1->show();
        JvComboBox1->hide();
    } else if (mode == QStringLiteral("Item")) {
        JvEdit1->hide();
        JvComboBox1->show();
    }
    BASS_Init(BASS_DEVICE_DEFAULT_OUTPUT, 44100, 0, this, nullptr);
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
    SetOuterHeight(
        MainIni->ReadInteger(QStringLiteral("design"), QStringLiteral("heightform"), 618));
    JvPlaylist1->setVisible(
        MainIni->ReadBool(QStringLiteral("design"), QStringLiteral("playlist"), true));
    VolPerLbl->setText(QString::number(JvTrackBar1->value()) + u'%');
}

void TForm1::SetOuterHeight(int outer_px) {
    setFixedSize(kClientWidth_px, std::max(0, outer_px - kFrameOverhead_px));
}

playback::StreamFormat TForm1::MarkedFormat() const {
    if (AAC1->isChecked())
        return playback::StreamFormat::Aac;
    if (AC31->isChecked())
        return playback::StreamFormat::Ac3;
    return playback::StreamFormat::Mp3Mp4;
}

void TForm1::JvBitBtn1Click() {
    if (JvEdit1->isModified())
        CurrentURL = JvEdit1->text();
    JvLabel1->setText(playback::OpenCurrentStream(MarkedFormat()));
    Desktop->StreamOpened(CurrentURL, CurrentChannel != 0);
    if (JvEdit1->isModified())
        Form11->AppendHistory(playback::HistoryLine(QDate::currentDate(), JvEdit1->text()));
}

void TForm1::JvBitBtn2Click() {
    if (BASS_ChannelStop(CurrentChannel))
        Desktop->Stopped();
}

void TForm1::JvBitBtn3Click() {
    if (BASS_ChannelPause(CurrentChannel))
        Desktop->Paused();
}

void TForm1::JvComboBox1Click() {
    CurrentURL = JvComboBox1->currentText();
    JvLabel1->setText(playback::OpenCurrentStream(MarkedFormat()));
    Desktop->StreamOpened(CurrentURL, CurrentChannel != 0);
}

void TForm1::JvTrackBar1Change() {
    BASS_ChannelSetAttribute(CurrentChannel, BASS_ATTRIB_VOL,
                             static_cast<float>(JvTrackBar1->value()) / 100.0f);
    VolPerLbl->setText(QString::number(JvTrackBar1->value()) + u'%');
    Desktop->VolumeChanged(static_cast<double>(JvTrackBar1->value()) / 100.0);
}

void TForm1::MP3MP41Click() {
    MP3MP41->setChecked(true);
}

void TForm1::AAC1Click() {
    AAC1->setChecked(true);
}

void TForm1::AC31Click() {
    AC31->setChecked(true);
}

void TForm1::JvFilenameEdit1ButtonClick() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Browse"), JvFilenameEdit1->text(),
        platform::QtFileFilter(QStringLiteral("Playlists|*.m3u;*.aac;*.asx;*.pls")));
    if (path.isEmpty())
        return;
    const QStringList entries = playback::ReadPlaylistFile(path);
    JvFilenameEdit1->setText(path);
    JvPlaylist1->SetItems(entries);
}

void TForm1::SaveURL1Click() {
    const QString path = QFileDialog::getSaveFileName(
        this, QString(), QString(),
        platform::QtFileFilter(QStringLiteral("All audio|*.aac;*.mp3;*.m3u8")));
    if (path.isEmpty())
        return;
    QStringList stations;
    for (int i = 0; i < JvComboBox1->count(); ++i)
        stations << JvComboBox1->itemText(i);
    playback::WriteStationList(path, stations);
}

void TForm1::JvTimer1Timer() {
    const QDateTime now = QDateTime::currentDateTime();
    DateTimeLbl->setText(platform::FormatLongTime(now.time()) + u' ' +
                         platform::FormatShortDate(now.date()));
    std::array<float, 513> FFTData{};
    BASS_ChannelGetData(CurrentChannel, FFTData.data(), BASS_DATA_FFT1024);
    const char *meta = BASS_ChannelGetTags(CurrentChannel, BASS_TAG_META);
    const QString title = meta ? platform::DecodeText(QByteArray(meta)) : QString();
    Visualize(FFTData.data(), 0, -5);
    JvLabel6->setText(title);
    Desktop->MetadataSeen(title);
    SecLbl->setText(playback::ElapsedText(CurrentChannel, platform::TimeSeparator()));
    JvLabel2->setText(QString::number(playback::BitrateKbps(CurrentChannel)) +
                      QStringLiteral(" kbps"));
    CPULabel->setText(playback::LoadText(BASS_GetCPU()));
}

void TForm1::Visualize(const float *spectrum, int x_px, int y_px) {
    spectrum_.Update(spectrum, PaintBox1->height());
    playback::DrawSpectrum(PaintBox1->Canvas(), spectrum_, x_px, y_px, SpectrumColour);
    PaintBox1->update();
}

void TForm1::Help1Click() {
    platform::ShellOpen(QString::fromLatin1(kHomePage));
}

void TForm1::English1Click() {
    Form2->LangsBox->setCurrentIndex(0);
    Form2->LangsBoxChange();
}

void TForm1::Russian1Click() {
    Form2->LangsBox->setCurrentIndex(1);
    Form2->LangsBoxChange();
}

void TForm1::Settings1Click() {
    platform::ShowModal(Form2);
}

void TForm1::Closetotray1Click() {
    // Without a tray there would be no way back to a hidden window.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
}

void TForm1::CoolTrayIcon1Click() {
    showNormal();
    raise();
    activateWindow();
}

void TForm1::Record1Click() {
    platform::ShowModal(Form3);
}

void TForm1::WebStreaming1Click() {
    platform::ShowModal(Form6);
}

void TForm1::Plugins1Click() {
    platform::ShowModal(Form8);
}

void TForm1::Equalizer1Click() {
    platform::ShowModal(Form10);
}

void TForm1::History1Click() {
    platform::ShowModal(Form11);
}

void TForm1::Whatsnew1Click() {
    platform::ShowModal(Form4);
}

void TForm1::About1Click() {
    platform::ShowModal(Form5);
}

void TForm1::Updates1Click() {
    platform::ShowModal(Form12);
}

void TForm1::Changecolor1Click() {
    platform::ShowModal(Form7);
}

void TForm1::Streaminfo1Click() {
    platform::ShowModal(Form9);
}

void TForm1::JvLinkLabel1Click() {
    platform::ShellOpen(QString::fromLatin1(kHomePage));
}

void TForm1::Exit1Click() {
    QApplication::quit();
}

void TForm1::contextMenuEvent(QContextMenuEvent *event) {
    PopupMenu1->popup(event->globalPos());
}

void TForm1::closeEvent(QCloseEvent *event) {
    if (Form2 && Form2->JvCheckBox1->isChecked()) {
        event->ignore();
        platform::RunGuarded([this] { Closetotray1Click(); });
        return;
    }
    event->accept();
    QApplication::quit();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
    if (watched == JvLinkLabel1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        platform::RunGuarded([this] { JvLinkLabel1Click(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
