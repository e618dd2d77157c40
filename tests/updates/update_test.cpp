#include <atomic>
#include <chrono>

#include <QDesktopServices>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include "app/main.h"
#include "app/window_set.h"
#include "settings/settings_file.h"
#include "tests/support/dialogs.h"
#include "tests/support/loopback_server.h"
#include "tests/support/qt_printers.h"
#include "updates/update.h"

namespace {

using testsupport::HttpRequest;
using testsupport::HttpResponse;

// Records the addresses the program hands to the browser.
class Browser : public QObject {
    Q_OBJECT
public:
    Browser() {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    }
    ~Browser() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

HttpResponse ok(const std::string &body) {
    HttpResponse response;
    response.headers = {{"Content-Type", "text/plain"}};
    response.body = body;
    return response;
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings::OverrideSettingsFilePath(dir.filePath(QStringLiteral("rsettings.ini")));
    }
    void TearDown() override {
        DestroyWindowSet();
        settings::OverrideSettingsFilePath(QString());
    }

    void start(const testsupport::LoopbackServer &server, const char *extra = "") {
        QFile file(dir.filePath(QStringLiteral("rsettings.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[updates]\nServer=" + QByteArray::fromStdString(server.Url("/")) + "\n" +
                   extra);
        file.close();
        CreateWindowSet();
        ASSERT_NE(Form12, nullptr);
    }

    // Lets the check at start finish and bring its findings to the window.
    static void waitForCheck() {
        ASSERT_TRUE(QTest::qWaitFor([] { return !Form12->Checking(); }, 15000));
    }

    void expectDesignState() {
        EXPECT_EQ(Form12->JvCheckListBox1->count(), 0);
        EXPECT_EQ(Form12->JvLabel3->text(), QStringLiteral("Orvanta update center detected"));
        EXPECT_FALSE(Form12->JvBitBtn1->isEnabled());
        EXPECT_FALSE(Form12->CoolTrayIcon1->Visible());
        EXPECT_EQ(Form12->CoolTrayIcon1->LastBalloon(), nullptr);
    }

    QTemporaryDir dir;
    Browser browser;
};

TEST_F(UpdateTest, TheSameVersionFetchesOnceAndAnnouncesNothing) {
    testsupport::LoopbackServer server(ok("1.1.1365"));
    start(server);
    waitForCheck();
    expectDesignState();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const HttpRequest &r = requests[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/velotunever.txt");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.Header("Accept"), "text/html, */*");
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_EQ(r.Header("Content-Type"), "text/html");
}

TEST_F(UpdateTest, AnyOtherTextIsAnUpdate) {
    struct Case {
        std::string body;
        QString entry;
        QString installer;
    };
    const Case cases[] = {
        {"1.1.1365\r\n", QStringLiteral("Velotune Player 1.1.1365\r\n"),
         QStringLiteral("Velotune_1.1.1365%0D%0A_Setup.exe")},
        {"1.1.1350", QStringLiteral("Velotune Player 1.1.1350"),
         QStringLiteral("Velotune_1.1.1350_Setup.exe")},
        {"", QStringLiteral("Velotune Player "), QStringLiteral("Velotune__Setup.exe")},
        {"1.2 @evil.example/x?y#z~", QStringLiteral("Velotune Player 1.2 @evil.example/x?y#z~"),
         QStringLiteral("Velotune_1.2%20%40evil.example%2Fx%3Fy%23z~_Setup.exe")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body);
        testsupport::LoopbackServer server(ok(c.body));
        start(server);
        waitForCheck();
        EXPECT_EQ(server.Requests().size(), 2u);
        ASSERT_EQ(Form12->JvCheckListBox1->count(), 1);
        EXPECT_EQ(Form12->JvCheckListBox1->item(0)->text(), c.entry);
        EXPECT_EQ(Form12->JvCheckListBox1->item(0)->checkState(), Qt::Unchecked);
        EXPECT_EQ(Form12->JvLabel3->text(),
                  QStringLiteral("Orvanta update center detected 1 updates."));
        EXPECT_TRUE(Form12->JvBitBtn1->isEnabled());
        EXPECT_TRUE(Form12->CoolTrayIcon1->Visible());
        const platform::Balloon *balloon = Form12->CoolTrayIcon1->LastBalloon();
        ASSERT_NE(balloon, nullptr);
        EXPECT_EQ(balloon->title, QStringLiteral("There are updates."));
        EXPECT_EQ(balloon->text,
                  QStringLiteral("You can received one or more updates. Install them"));
        EXPECT_EQ(balloon->icon, QSystemTrayIcon::Warning);
        EXPECT_EQ(balloon->timeout_ms, 11000);

        browser.opened.clear();
        QTest::mouseClick(Form12->JvBitBtn1, Qt::LeftButton);
        ASSERT_EQ(browser.opened.size(), 1);
        EXPECT_EQ(browser.opened[0].toString(QUrl::FullyEncoded),
                  QString::fromStdString(server.Url("/")) + c.installer);
        EXPECT_EQ(browser.opened[0].host(), QStringLiteral("127.0.0.1"));
        DestroyWindowSet();
    }
}

TEST_F(UpdateTest, FailuresAreSilent) {
    HttpResponse missing;
    missing.status = 404;
    missing.reason = "Not Found";
    HttpResponse moved;
    moved.status = 302;
    moved.reason = "Found";
    moved.headers = {{"Location", "/elsewhere.txt"}};
    for (const HttpResponse &response : {missing, moved}) {
        SCOPED_TRACE(response.status);
        testsupport::LoopbackServer server(response);
        const auto shown = testsupport::AnswerMessageBox();
        start(server);
        waitForCheck();
        expectDesignState();
        EXPECT_EQ(server.Requests().size(), 1u); // the redirect is not followed
        EXPECT_EQ(shown->count, 0);
        DestroyWindowSet();
    }
}

TEST_F(UpdateTest, AServerThatNeverAnswersCostsAtMostTheTimeOut) {
    testsupport::LoopbackServer server([](const HttpRequest &, testsupport::Connection &c) {
        while (c.Pause(std::chrono::milliseconds(100))) {
        }
    });
    const auto began = std::chrono::steady_clock::now();
    start(server);
    // The windows are there while the server keeps the check waiting.
    EXPECT_TRUE(Form12->Checking());
    EXPECT_NE(Form1, nullptr);
    waitForCheck();
    const auto took = std::chrono::steady_clock::now() - began;
    expectDesignState();
    // The bound is the contract; a generous margin keeps a loaded machine green.
    EXPECT_LT(took, kStartCheckTimeout + std::chrono::seconds(5));
}

TEST_F(UpdateTest, CookiesComeBackAndTheSecondFetchWins) {
    std::atomic<int> calls{0};
    testsupport::LoopbackServer server([&calls](const HttpRequest &, testsupport::Connection &c) {
        HttpResponse response = ok(calls++ == 0 ? "1.2.0" : "1.3.0");
        response.headers.emplace_back("Set-Cookie", "visitor=42; Path=/");
        c.Send(response);
    });
    start(server);
    waitForCheck();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Cookie"), "");
    EXPECT_EQ(requests[1].Header("Cookie"), "visitor=42");
    EXPECT_EQ(Form12->JvCheckListBox1->item(0)->text(), QStringLiteral("Velotune Player 1.3.0"));

    QTest::mouseClick(Form12->JvBitBtn1, Qt::LeftButton);
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_TRUE(browser.opened[0].path().endsWith(QStringLiteral("/Velotune_1.3.0_Setup.exe")));
}

TEST_F(UpdateTest, InstallAfterTheServerWentAwayShowsTheClientsError) {
    auto server = std::make_unique<testsupport::LoopbackServer>(ok("2.0"));
    start(*server);
    waitForCheck();
    ASSERT_TRUE(Form12->JvBitBtn1->isEnabled());
    server.reset();
    const auto shown = testsupport::AnswerMessageBox();
    QTest::mouseClick(Form12->JvBitBtn1, Qt::LeftButton);
    EXPECT_EQ(shown->count, 1);
    EXPECT_EQ(shown->title, QStringLiteral("Velotune Player"));
    EXPECT_FALSE(shown->text.isEmpty());
    EXPECT_TRUE(browser.opened.isEmpty());
    EXPECT_EQ(Form12->JvCheckListBox1->count(), 1);
}

TEST_F(UpdateTest, NoCheckWhenAutomaticUpdatesAreOff) {
    testsupport::LoopbackServer server(ok("2.0"));
    start(server, "[main]\nAutoUpdate=0\n");
    waitForCheck();
    expectDesignState();
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(UpdateTest, BalloonClickShowsTheWindowWithoutModalityAndCancelHidesIt) {
    testsupport::LoopbackServer server(ok("2.0"));
    start(server);
    waitForCheck();
    emit Form12->CoolTrayIcon1->BalloonClick();
    EXPECT_TRUE(Form12->isVisible());
    EXPECT_FALSE(Form12->isModal());
    QTest::mouseClick(Form12->JvBitBtn2, Qt::LeftButton);
    EXPECT_FALSE(Form12->isVisible());
    EXPECT_EQ(Form12->JvCheckListBox1->count(), 1);
    EXPECT_TRUE(Form12->JvBitBtn1->isEnabled());
}

} // namespace

#include "update_test.moc"
