#include "settings/settings.h"

#include <QSignalBlocker>

#include "app/main.h"
#include "audio/audio.h"
#include "platform/error.h"
#include "platform/error_display.h"
#include "platform/int_parse.h"
#include "platform/window_style.h"
#include "settings/autostart_entry.h"
#include "settings/language.h"
#include "settings/settings_file.h"

TForm2 *Form2 = nullptr;

namespace {

// Keys of ours beside the designed ones (see the README's settings table).
const QString kDesign = QStringLiteral("design");
const QString kCloseToTray = QStringLiteral("closetotray");
const QString kTitleNotices = QStringLiteral("titlenotices");
const QString kAudio = QStringLiteral("Audio");
const QString kDevice = QStringLiteral("Device");
const QString kStations = QStringLiteral("stations");
const QString kStationCount = QStringLiteral("Count");

QString stationKey(int index) {
    return QStringLiteral("Station%1").arg(index + 1);
}

QCheckBox *checkBox(QWidget *parent, const QString &caption, int left, int top, int width) {
    auto *box = new QCheckBox(caption, parent);
    box->setGeometry(left, top, width, 17);
    constexpr int kIndicator_px = 20;
    platform::CondenseToFit(box, caption, width, kIndicator_px);
    return box;
}

QComboBox *dropDown(QWidget *parent, const QStringList &entries, int left, int top, int width) {
    auto *box = new QComboBox(parent);
    box->addItems(entries);
    box->setGeometry(left, top, width, 21);
    return box;
}

// A radio button with its caption on the left.
QRadioButton *radioButton(QWidget *parent, const QString &caption, int left, int top, int width) {
    auto *button = new QRadioButton(caption, parent);
    button->setLayoutDirection(Qt::RightToLeft);
    button->setGeometry(left, top, width, 17);
    return button;
}

} // namespace

TForm2::TForm2(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Settings"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 527, 313);
    setFont(platform::PixelFont(11));
    createControls();
    connectHandlers();
    platform::RunGuarded([this] { FormCreate(); });
}

void TForm2::createControls() {
    JvSettingsTreeView1 = new QTreeWidget(this);
    JvSettingsTreeView1->setGeometry(0, 0, 193, 313);
    JvSettingsTreeView1->setHeaderHidden(true);
    JvSettingsTreeView1->setRootIsDecorated(false);
    for (const char *node : {"Design", "Radio", "Audio", "Updates", "Advanced"})
        JvSettingsTreeView1->addTopLevelItem(
            new QTreeWidgetItem(QStringList{QString::fromLatin1(node)}));

    JvGradientHeaderPanel1 =
        new platform::GradientHeader(this, QStringLiteral("Settings Velotune Player"));
    JvGradientHeaderPanel1->setGeometry(192, 0, 337, 33);

    JvPageControl1 = new QTabWidget(this);
    JvPageControl1->setGeometry(192, 32, 337, 281);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    TabSheet4 = new QWidget;
    TabSheet5 = new QWidget;
    JvPageControl1->addTab(TabSheet1, QStringLiteral("Design"));
    JvPageControl1->addTab(TabSheet2, QStringLiteral("Radio"));
    JvPageControl1->addTab(TabSheet3, QStringLiteral("Audio"));
    JvPageControl1->addTab(TabSheet4, QStringLiteral("Updates"));
    JvPageControl1->addTab(TabSheet5, QStringLiteral("Advanced"));

    // Design
    JvCheckBox1 = checkBox(TabSheet1, QStringLiteral("Close to tray"), 16, 16, 100);
    JvCheckBox2 = checkBox(TabSheet1, QStringLiteral("No playlist"), 16, 48, 100);
    JvGroupBox1 = new QGroupBox(QStringLiteral("Language settings"), TabSheet1);
    JvGroupBox1->setGeometry(16, 80, 257, 97);
    JvLabel1 = new platform::Label(JvGroupBox1, 16, 32, QStringLiteral("Now:"));
    LangsBox =
        dropDown(JvGroupBox1, {QStringLiteral("English"), QStringLiteral("Russian")}, 48, 32, 161);
    JvLabel2 = new platform::Label(JvGroupBox1, 16, 64, QStringLiteral("Add:"));
    AddLangBox =
        dropDown(JvGroupBox1,
                 {QStringLiteral("Spanish"), QStringLiteral("German"), QStringLiteral("French"),
                  QStringLiteral("Japanese"), QStringLiteral("China")},
                 48, 64, 161);
    JvSpeedButton1 = new QToolButton(JvGroupBox1);
    JvSpeedButton1->setText(QStringLiteral("+"));
    JvSpeedButton1->setGeometry(208, 64, 25, 21);
    JvCheckBox3 = checkBox(TabSheet1, QStringLiteral("Show date/time"), 16, 192, 104);
    FormatBox =
        dropDown(TabSheet1, {QStringLiteral("00:00:00"), QStringLiteral("00:00")}, 120, 192, 169);
    JvCheckBox9 = checkBox(TabSheet1, QStringLiteral("Title notifications"), 16, 224, 160);
    JvGroupBox2 = new QGroupBox(QStringLiteral("URL mode"), TabSheet1);
    JvGroupBox2->setGeometry(120, 8, 153, 57);
    JvRadioButton1 = radioButton(JvGroupBox2, QStringLiteral("Edit"), 24, 24, 45);
    JvRadioButton1->setChecked(true);
    JvRadioButton2 = radioButton(JvGroupBox2, QStringLiteral("Item"), 80, 24, 45);

    // Radio
    JvGroupBox3 = new QGroupBox(QStringLiteral("List settings"), TabSheet2);
    JvGroupBox3->setGeometry(8, 8, 313, 121);
    JvLabel7 = new platform::Label(JvGroupBox3, 24, 32, QStringLiteral("Current list view:"));
    JvLabel7->SetFitWidth(112 - 24 - 2);
    JvComboBox3 = new QComboBox(JvGroupBox3);
    JvComboBox3->setEditable(true);
    JvComboBox3->setGeometry(112, 32, 193, 21);
    JvLabel8 = new platform::Label(JvGroupBox3, 48, 56, QStringLiteral("Add to list:"));
    JvLabel8->SetFitWidth(112 - 48 - 2);
    JvEdit1 = new QLineEdit(JvGroupBox3);
    JvEdit1->setGeometry(112, 56, 193, 19);
    JvBitBtn1 = new QPushButton(QStringLiteral("Add"), JvGroupBox3);
    JvBitBtn1->setGeometry(56, 88, 105, 25);
    JvBitBtn2 = new QPushButton(QStringLiteral("Clear"), JvGroupBox3);
    JvBitBtn2->setGeometry(168, 88, 105, 25);

    // Audio
    JvLabel3 = new platform::Label(TabSheet3, 16, 16, QStringLiteral("Audio devices:"));
    DevicesBox = dropDown(TabSheet3, {}, 16, 40, 169);
    JvCheckBox4 = checkBox(TabSheet3, QStringLiteral("Only MP3/MP4"), 16, 80, 110);
    JvCheckBox5 = checkBox(TabSheet3, QStringLiteral("3D Sound"), 16, 104, 90);
    JvLabel9 = new platform::Label(TabSheet3, 16, 136, QStringLiteral("Default volume level:"));
    JvSpinEdit1 = new QSpinBox(TabSheet3);
    JvSpinEdit1->setGeometry(16, 160, 49, 21);
    JvSpinEdit1->setRange(0, 100);
    JvSpinEdit1->setSingleStep(1);

    // Updates
    JvLabel4 = new platform::Label(TabSheet4, 16, 16);
    JvLabel4->setFont(platform::PixelFont(16, true));
    JvLabel4->setText(QStringLiteral("Automatic update"));
    JvLabel5 = new platform::Label(TabSheet4, 16, 48, QStringLiteral("When to check for updates:"));
    JvComboBox1 = dropDown(TabSheet4, {QStringLiteral("At startup"), QStringLiteral("Every week")},
                           16, 72, 169);
    JvLabel6 = new platform::Label(TabSheet4, 16, 104, QStringLiteral("When to install updates:"));
    JvComboBox2 =
        dropDown(TabSheet4, {QStringLiteral("At startup"), QStringLiteral("Detected new version")},
                 16, 128, 169);
    JvCheckBox6 =
        checkBox(TabSheet4, QStringLiteral("Check and download automatic updates"), 16, 160, 300);

    // Advanced
    JvCheckBox7 = checkBox(TabSheet5, QStringLiteral("Run the program with Windows"), 16, 16, 200);
    JvCheckBox8 = checkBox(TabSheet5, QStringLiteral("Log program actions"), 16, 40, 140);
}

void TForm2::connectHandlers() {
    using platform::ConnectHandler;
    ConnectHandler(JvSettingsTreeView1, &QTreeWidget::itemClicked, this,
                   &TForm2::JvSettingsTreeView1Click);
    ConnectHandler(JvCheckBox1, &QCheckBox::toggled, this, &TForm2::JvCheckBox1Click);
    ConnectHandler(JvCheckBox2, &QCheckBox::toggled, this, &TForm2::JvCheckBox2Click);
    ConnectHandler(JvCheckBox3, &QCheckBox::toggled, this, &TForm2::JvCheckBox3Click);
    ConnectHandler(JvCheckBox9, &QCheckBox::toggled, this, &TForm2::JvCheckBox9Click);
    ConnectHandler(JvRadioButton1, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            JvRadioButton1Click();
    });
    ConnectHandler(JvRadioButton2, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            JvRadioButton2Click();
    });
    ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm2::JvBitBtn1Click);
    ConnectHandler(JvBitBtn2, &QPushButton::clicked, this, &TForm2::JvBitBtn2Click);
    ConnectHandler(DevicesBox, &QComboBox::activated, this, &TForm2::DevicesBoxChange);
    // Every change of the text, typed or spun. The spin box itself stays
    // silent while its text is no number (emptied, say): its field tells.
    ConnectHandler(JvSpinEdit1, &QSpinBox::textChanged, this, &TForm2::JvSpinEdit1Change);
    ConnectHandler(JvSpinEdit1->findChild<QLineEdit *>(), &QLineEdit::textChanged, this,
                   [this](const QString &text) {
                       if (!platform::TryStrToInt(text))
                           JvSpinEdit1Change();
                   });
    ConnectHandler(JvCheckBox6, &QCheckBox::toggled, this, &TForm2::JvCheckBox6Click);
    ConnectHandler(JvCheckBox7, &QCheckBox::toggled, this, &TForm2::JvCheckBox7Click);
    ConnectHandler(LangsBox, &QComboBox::activated, this, &TForm2::LangsBoxChange);
    ConnectHandler(JvSpeedButton1, &QToolButton::clicked, this, &TForm2::JvSpeedButton1Click);
}

void TForm2::FormCreate() {
    BASS_Init(BASS_DEVICE_DEFAULT_OUTPUT, 44100, 0, this, nullptr);
    SettingsIni.emplace(settings::OpenSettingsFile());

    const QString mode = SettingsIni->ReadString(QStringLiteral("main"), QStringLiteral("URLMode"),
                                                 QStringLiteral("Edit"));
    if (mode == QStringLiteral("Edit")) {
        JvRadioButton1->setChecked(true);
    } else if (mode == QStringLiteral("Item")) {
        JvRadioButton2->setChecked(true);
    }

    if (!SettingsIni->ReadBool(kDesign, QStringLiteral("playlist"), true))
        JvCheckBox2->setChecked(true);

    const QSignalBlocker quiet(DevicesBox);
    DeviceInfo info{};
    for (uint32_t device = 1; BASS_GetDeviceInfo(device, &info); ++device)
        DevicesBox->addItem(QString::fromUtf8(info.name));
    DevicesBox->setCurrentIndex(DevicesBox->count() > 0 ? 0 : -1);

    showStoredState();

    JvComboBox3->clear();
    for (int i = 0; i < Form1->JvComboBox1->count(); ++i)
        JvComboBox3->addItem(Form1->JvComboBox1->itemText(i));
    JvComboBox3->setCurrentIndex(JvComboBox3->count() > 0 ? 0 : -1);
}

// Brings the controls, and what they govern, to the stored (or current)
// state without writing anything back.
void TForm2::showStoredState() {
    const int stored = SettingsIni->ReadInteger(kStations, kStationCount, -1);
    if (stored >= 0) {
        Form1->JvComboBox1->clear();
        for (int i = 0; i < stored; ++i)
            Form1->JvComboBox1->addItem(SettingsIni->ReadString(kStations, stationKey(i), {}));
        Form1->JvComboBox1->setCurrentIndex(stored > 0 ? 0 : -1);
    }

    const QString device = SettingsIni->ReadString(kAudio, kDevice, {});
    const int index = device.isEmpty() ? -1 : DevicesBox->findText(device, Qt::MatchExactly);
    if (index >= 0) {
        DevicesBox->setCurrentIndex(index);
        const auto number = static_cast<uint32_t>(index + 1);
        BASS_Init(static_cast<int>(number), 44100, 0, this, nullptr);
        BASS_SetDevice(number);
    }

    const auto setQuietly = [](QAbstractButton *box, bool checked) {
        const QSignalBlocker quiet(box);
        box->setChecked(checked);
    };
    setQuietly(JvCheckBox1, SettingsIni->ReadBool(kDesign, kCloseToTray, false));
    const bool clock = SettingsIni->ReadBool(kDesign, QStringLiteral("datetime"), true);
    setQuietly(JvCheckBox3, clock);
    Form1->DateTimeLbl->setVisible(clock);
    const bool notices = SettingsIni->ReadBool(kDesign, kTitleNotices, true);
    setQuietly(JvCheckBox9, notices);
    Form1->Desktop->SetTitleNotices(notices);
    setQuietly(JvCheckBox6,
               SettingsIni->ReadBool(QStringLiteral("main"), QStringLiteral("AutoUpdate"), true));
    setQuietly(JvCheckBox7, settings::HasAutostartEntry());
    {
        const QSignalBlocker quiet(JvSpinEdit1);
        JvSpinEdit1->setValue(
            SettingsIni->ReadInteger(QStringLiteral("Volume"), QStringLiteral("Default"), 0));
    }
}

void TForm2::ApplyStoredLanguage() {
    const settings::Language language = settings::LanguageFromCode(
        SettingsIni->ReadString(QStringLiteral("lang"), QStringLiteral("langnow"), {}));
    if (language == settings::Language::Russian) {
        LangsBox->setCurrentIndex(1);
        settings::ApplyLanguage(language);
    }
}

void TForm2::JvSettingsTreeView1Click() {
    for (int i = 0; i < 5; ++i) {
        if (JvSettingsTreeView1->topLevelItem(i)->isSelected())
            JvPageControl1->setCurrentIndex(i);
    }
}

void TForm2::JvCheckBox1Click() {
    SettingsIni->WriteBool(kDesign, kCloseToTray, JvCheckBox1->isChecked());
}

void TForm2::JvCheckBox2Click() {
    if (JvCheckBox2->isChecked()) {
        Form1->JvPlaylist1->hide();
        Form1->SetOuterHeight(318);
        SettingsIni->WriteBool(kDesign, QStringLiteral("playlist"), false);
        SettingsIni->WriteInteger(kDesign, QStringLiteral("heightform"), 318);
        Form1->CPULabel->move(Form1->CPULabel->x(), 264);
    } else {
        Form1->JvPlaylist1->show();
        Form1->SetOuterHeight(618);
        SettingsIni->WriteBool(kDesign, QStringLiteral("playlist"), true);
        SettingsIni->WriteInteger(kDesign, QStringLiteral("heightform"), 618);
        Form1->CPULabel->move(Form1->CPULabel->x(), 560);
    }
}

void TForm2::JvCheckBox3Click() {
    const bool checked = JvCheckBox3->isChecked();
    Form1->DateTimeLbl->setVisible(checked);
    SettingsIni->WriteBool(kDesign, QStringLiteral("datetime"), checked);
}

void TForm2::JvCheckBox9Click() {
    const bool checked = JvCheckBox9->isChecked();
    Form1->Desktop->SetTitleNotices(checked);
    SettingsIni->WriteBool(kDesign, kTitleNotices, checked);
}

void TForm2::JvRadioButton1Click() {
    Form1->JvEdit1->show();
    Form1->JvComboBox1->hide();
    SettingsIni->WriteString(QStringLiteral("main"), QStringLiteral("URLMode"),
                             QStringLiteral("Edit"));
}

void TForm2::JvRadioButton2Click() {
    Form1->JvEdit1->hide();
    Form1->JvComboBox1->show();
    SettingsIni->WriteString(QStringLiteral("main"), QStringLiteral("URLMode"),
                             QStringLiteral("Item"));
}

void TForm2::JvBitBtn1Click() {
    if (!JvEdit1->isModified())
        return;
    Form1->JvComboBox1->addItem(JvEdit1->text());
    JvComboBox3->addItem(JvEdit1->text());
    storeStations();
}

void TForm2::JvBitBtn2Click() {
    Form1->JvComboBox1->clear();
    JvComboBox3->clear();
    storeStations();
}

void TForm2::storeStations() {
    const int count = Form1->JvComboBox1->count();
    for (int i = 0; i < count; ++i)
        SettingsIni->WriteString(kStations, stationKey(i), Form1->JvComboBox1->itemText(i));
    SettingsIni->WriteInteger(kStations, kStationCount, count);
}

void TForm2::DevicesBoxChange() {
    const int index = DevicesBox->currentIndex();
    if (index < 0)
        return;
    const auto number = static_cast<uint32_t>(index + 1);
    BASS_Init(static_cast<int>(number), 44100, 0, this, nullptr);
    BASS_SetDevice(number);
    SettingsIni->WriteString(kAudio, kDevice, DevicesBox->currentText());
}

void TForm2::JvSpinEdit1Change() {
    Form1->JvTrackBar1->setValue(platform::StrToInt(JvSpinEdit1->text()));
    SettingsIni->WriteInteger(QStringLiteral("Volume"), QStringLiteral("Default"),
                              platform::StrToInt(JvSpinEdit1->text()));
}

void TForm2::JvCheckBox6Click() {
    SettingsIni->WriteBool(QStringLiteral("main"), QStringLiteral("AutoUpdate"),
                           JvCheckBox6->isChecked());
}

void TForm2::JvCheckBox7Click() {
    if (JvCheckBox7->isChecked()) {
        settings::WriteAutostartEntry();
    } else if (!settings::RemoveAutostartEntry()) {
        throw platform::Error(
            QStringLiteral("Unable to remove %1").arg(settings::AutostartEntryPath()));
    }
}

void TForm2::LangsBoxChange() {
    settings::Language language;
    switch (LangsBox->currentIndex()) {
    case 0:
        language = settings::Language::English;
        break;
    case 1:
        language = settings::Language::Russian;
        break;
    default:
        return; // added languages have no captions
    }
    settings::ApplyLanguage(language);
    SettingsIni->WriteString(QStringLiteral("lang"), QStringLiteral("langnow"),
                             QString::fromLatin1(settings::LanguageCode(language)));
}

void TForm2::JvSpeedButton1Click() {
    LangsBox->addItem(AddLangBox->currentText());
}
