#include "updates/update.h"

#include <QUrl>

#include "app/window_set.h"
#include "platform/error_display.h"
#include "platform/shell_open.h"
#include "platform/window_style.h"
#include "settings/settings_file.h"
#include "windows/about.h"

TForm12 *Form12 = nullptr;

QString InstallerAddress(const QString &serverRoot, const QByteArray &version) {
    // "~" is unreserved for URLs but not in the set the address keeps.
    return serverRoot + QStringLiteral("Velotune_") +
           QString::fromLatin1(version.toPercentEncoding(QByteArray(), "~")) +
           QStringLiteral("_Setup.exe");
}

TForm12::TForm12(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form12"));
    setWindowTitle(QStringLiteral("Check updates"));
    platform::SetFixedWindow(this, platform::Border::SingleFixed, 463, 423);
    setFont(platform::PixelFont(11));

    JvLabel1 = new platform::Label(this, 8, 8);
    JvLabel1->setFont(platform::PixelFont(16, true));
    JvLabel1->setText(QStringLiteral("Install updates for Velotune's and components"));
    JvLabel2 = new platform::Label(
        this, 8, 40,
        QStringLiteral("To install the update, select one or more items from the list below"));
    JvLabel3 = new platform::Label(this, 8, 64);
    JvLabel3->setFont(platform::PixelFont(13, true));
    JvLabel3->setText(QStringLiteral("Orvanta update center detected"));
    JvCheckListBox1 = new QListWidget(this);
    JvCheckListBox1->setGeometry(8, 88, 449, 161);
    JvCheckListBox1->setFont(platform::PixelFont(16));
    JvCheckListBox1->setSortingEnabled(true);
    JvCheckListBox1->setStyleSheet(QStringLiteral("QListWidget::item { height: 20px; }"));
    JvLabel4 = new platform::Label(this, 8, 256, QStringLiteral("What's new:"));
    JvMemo1 = new QPlainTextEdit(this);
    JvMemo1->setGeometry(8, 272, 449, 105);
    JvMemo1->setReadOnly(true);
    JvBitBtn1 = new QPushButton(QStringLiteral("Install"), this);
    JvBitBtn1->setGeometry(240, 392, 105, 25);
    JvBitBtn1->setEnabled(false);
    JvBitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    JvBitBtn2->setGeometry(352, 392, 105, 25);

    CoolTrayIcon1 = new platform::TrayIcon(this, ProgramIcon());

    using platform::ConnectHandler;
    ConnectHandler(JvBitBtn1, &QPushButton::clicked, this, &TForm12::JvBitBtn1Click);
    ConnectHandler(JvBitBtn2, &QPushButton::clicked, this, &TForm12::JvBitBtn2Click);
    ConnectHandler(CoolTrayIcon1, &platform::TrayIcon::BalloonClick, this,
                   &TForm12::CoolTrayIcon1BalloonHintClick);

    platform::RunGuarded([this] { FormCreate(); });
}

QString TForm12::ServerRoot() const {
    QString root = settings::OpenSettingsFile().ReadString(
        QStringLiteral("updates"), QStringLiteral("Server"), QString::fromLatin1(kUpdateServer));
    if (!root.endsWith(u'/'))
        root += u'/';
    return root;
}

TForm12::~TForm12() {
    if (checker_.joinable())
        checker_.join();
}

QByteArray TForm12::fetchVersion(const QString &root, std::chrono::milliseconds timeout) {
    return IdHTTP1.Get(root + QStringLiteral("velotunever.txt"), timeout);
}

void TForm12::FormCreate() {
    if (!settings::OpenSettingsFile().ReadBool(QStringLiteral("main"), QStringLiteral("AutoUpdate"),
                                               true))
        return;
    const QByteArray running = Form5->JvLabel4->text().toUtf8();
    checker_ = std::thread([this, root = ServerRoot(), running] {
        const auto deadline = std::chrono::steady_clock::now() + kStartCheckTimeout;
        const auto remaining = [deadline] {
            return std::max(std::chrono::milliseconds(1),
                            std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now()));
        };
        Finding finding;
        try {
            if (fetchVersion(root, remaining()) == running) {
                finding.kind = Finding::Current;
            } else {
                finding.offered = fetchVersion(root, remaining());
                finding.kind = Finding::Update;
            }
        } catch (...) {
            // A failed check is silent: the program runs as if no update existed.
        }
        // Dropped unread if the window has gone by then.
        QMetaObject::invokeMethod(
            this, [this, finding] { platform::RunGuarded([&] { checked(finding); }); },
            Qt::QueuedConnection);
    });
}

void TForm12::checked(const Finding &finding) {
    checker_.join(); // its last act was to send this
    if (finding.kind == Finding::Failed)
        return;
    if (finding.kind == Finding::Current) {
        JvCheckListBox1->clear();
        return;
    }
    auto *entry = new QListWidgetItem(QStringLiteral("Velotune Player ") +
                                      QString::fromUtf8(finding.offered));
    entry->setFlags(entry->flags() | Qt::ItemIsUserCheckable);
    entry->setCheckState(Qt::Unchecked);
    JvCheckListBox1->addItem(entry);
    JvLabel3->setText(QStringLiteral("Orvanta update center detected ") +
                      QString::number(JvCheckListBox1->count()) + QStringLiteral(" updates."));
    JvBitBtn1->setEnabled(true);
    CoolTrayIcon1->SetVisible(true);
    CoolTrayIcon1->ShowBalloon(
        {QStringLiteral("There are updates."),
         QStringLiteral("You can received one or more updates. Install them"),
         QSystemTrayIcon::Warning, 11 * 1000});
}

void TForm12::JvBitBtn1Click() {
    if (!JvBitBtn1->isEnabled())
        return;
    const QString address =
        InstallerAddress(ServerRoot(), fetchVersion(ServerRoot(), kInstallFetchTimeout));
    const QString scheme = QUrl(address).scheme();
    if (scheme == QStringLiteral("http") || scheme == QStringLiteral("https"))
        platform::ShellOpen(address);
}

void TForm12::JvBitBtn2Click() {
    close();
}

void TForm12::CoolTrayIcon1BalloonHintClick() {
    platform::CenterOnScreen(this);
    show();
    raise();
    activateWindow();
}
