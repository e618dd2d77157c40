#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/window_set.h"
#include "settings/settings_file.h"
#include "tests/broadcast/tone_source.h"
#include "tests/support/dialogs.h"
#include "tests/support/loopback_server.h"
#include "tests/support/qt_printers.h"
#include "windows/webstream.h"

namespace {

class WebStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings::OverrideSettingsFilePath(dir.filePath(QStringLiteral("rsettings.ini")));
        CreateWindowSet();
        ASSERT_NE(Form6, nullptr);
        Form6->UseCapture(
            std::make_unique<broadcast::TDXAudioIn>(std::make_unique<broadcasttest::ToneSource>()));
        Form6->WMStreamedOut1.ListenAddress = "127.0.0.1";
    }
    void TearDown() override {
        DestroyWindowSet();
        settings::OverrideSettingsFilePath(QString());
    }

    // Presses Play and returns the message it showed ("" for none).
    QString play(const QString &port, const QString &maxClients) {
        Form6->JvEdit1->setText(port);
        Form6->JvEdit2->setText(maxClients);
        const auto shown = testsupport::AnswerMessageBox();
        QTest::mouseClick(Form6->JvBitBtn1, Qt::LeftButton);
        QCoreApplication::processEvents();
        return shown->count ? shown->text : QString();
    }

    bool waitForState(broadcast::OutputState state) {
        for (int i = 0; i < 100; ++i) {
            if (Form6->WMStreamedOut1.Status().state == state)
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    QTemporaryDir dir;
};

TEST_F(WebStreamTest, PortAndClientFieldsAreParsedInOrder) {
    EXPECT_EQ(play(QString(), QStringLiteral("5")),
              QStringLiteral("'' is not a valid integer value."));
    EXPECT_EQ(Form6->WMStreamedOut1.Status().state, broadcast::OutputState::Idle);

    Form6->BitrateBox->setCurrentIndex(4);
    EXPECT_EQ(play(QStringLiteral("8080"), QStringLiteral("abc")),
              QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(Form6->WMStreamedOut1.Port, 8080u);
    EXPECT_EQ(Form6->WMStreamedOut1.DesiredBitrate, 320u);

    EXPECT_EQ(play(QStringLiteral("8080 "), QStringLiteral("1")),
              QStringLiteral("'8080 ' is not a valid integer value."));
    EXPECT_EQ(play(QStringLiteral("$1F9"), QStringLiteral("x")),
              QStringLiteral("'x' is not a valid integer value."));
    EXPECT_EQ(Form6->WMStreamedOut1.Port, 505u);
    EXPECT_EQ(play(QStringLiteral("  -1"), QStringLiteral("y")),
              QStringLiteral("'y' is not a valid integer value."));
    EXPECT_EQ(Form6->WMStreamedOut1.Port, 0xFFFFFFFFu); // the same 32 bits
}

TEST_F(WebStreamTest, StartBusyStopAndAPortInUse) {
    EXPECT_EQ(play(QStringLiteral("0"), QStringLiteral("0")), QString());
    ASSERT_TRUE(waitForState(broadcast::OutputState::Running));
    EXPECT_EQ(play(QStringLiteral("0"), QStringLiteral("0")), QStringLiteral("Component is Busy."));
    EXPECT_EQ(Form6->WMStreamedOut1.Status().state, broadcast::OutputState::Running);
    QTest::qWait(100);
    EXPECT_TRUE(Form6->StatusLbl->text().startsWith(QStringLiteral("Streaming on port ")))
        << Form6->StatusLbl->text().toStdString();

    QTest::mouseClick(Form6->JvBitBtn3, Qt::LeftButton);
    EXPECT_TRUE(Form6->WMStreamedOut1.Status().paused);
    QTest::mouseClick(Form6->JvBitBtn2, Qt::LeftButton);
    EXPECT_EQ(Form6->WMStreamedOut1.Status().state, broadcast::OutputState::Idle);

    testsupport::LoopbackServer taken(testsupport::HttpResponse{});
    const QString busyPort = QString::number(taken.Port());
    EXPECT_EQ(play(busyPort, QStringLiteral("2")), QString()); // nothing shown by Play
    ASSERT_TRUE(waitForState(broadcast::OutputState::Idle));
    QTest::qWait(100);
    EXPECT_EQ(Form6->StatusLbl->text(), QStringLiteral("Port %1 is in use").arg(busyPort));

    EXPECT_EQ(play(QStringLiteral("0"), QStringLiteral("2")), QString()); // and again, elsewhere
    EXPECT_TRUE(waitForState(broadcast::OutputState::Running));
}

} // namespace
