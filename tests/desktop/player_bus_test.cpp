// The player from the desktop's side: the real window set on the test's
// private session bus, driven through MPRIS by another connection while a
// loopback station plays on the null output.

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main.h"
#include "app/window_set.h"
#include "platform/ini_file.h"
#include "playback/stream_player.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "tests/desktop/bus_fixtures.h"
#include "tests/support/qt_printers.h"
#include "tests/support/radio_server.h"
#include "windows/links.h"

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.velotune");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const char *const kFirst = "Loopback Artist - First Song";
const char *const kSecond = "Loopback Artist - Second Song";

class PlayerBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(testsupport::PrivateBusAddress().isEmpty()) << "dbus-daemon did not start";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
        settings::OverrideSettingsFilePath(dir.filePath(QStringLiteral("rsettings.ini")));
        CurrentChannel = 0;
        CurrentURL.clear();
        testsupport::RadioStream stream;
        stream.metaint_bytes = 4096; // a block every quarter second at 128 kbps
        stream.titles = {kFirst, kSecond};
        stream.blocks_per_title = 4;
        url = QString::fromStdString(radio.AddStream("/live", stream));
        CreateWindowSet();
        ASSERT_NE(Form1, nullptr);
        Form1->show();
    }

    void TearDown() override {
        DestroyWindowSet();
        settings::OverrideSettingsFilePath(QString());
    }

    QVariant get(const char *property) {
        return testsupport::GetProperty(client, kService, kPlayer, QString::fromLatin1(property));
    }
    QDBusMessage call(const char *method) {
        return testsupport::Call(client, kService, QStringLiteral("/org/mpris/MediaPlayer2"),
                                 kPlayer, QString::fromLatin1(method));
    }
    // Runs the main window's refresh until `done` holds, with a deadline.
    bool refreshUntil(const std::function<bool()> &done) {
        return testsupport::WaitUntil([&] {
            Form1->JvTimer1Timer();
            return done();
        });
    }
    QString title() {
        return get("Metadata").toMap().value(QStringLiteral("xesam:title")).toString();
    }

    QTemporaryDir dir;
    testsupport::RadioServer radio;
    QString url;
    QDBusConnection client = testsupport::ClientConnection(QStringLiteral("controls"));
};

TEST_F(PlayerBusTest, MediaControlsDriveThePlayersOwnButtonsAndReadItBack) {
    testsupport::PropertiesRecorder recorder(client);
    Form1->JvEdit1->setFocus();
    QTest::keyClicks(Form1->JvEdit1, url);
    EXPECT_EQ(get("PlaybackStatus").toString(), QStringLiteral("Stopped"));

    // Play: the Play button's handler, with its header line and history line.
    ASSERT_EQ(call("Play").type(), QDBusMessage::ReplyMessage);
    EXPECT_NE(CurrentChannel, 0u);
    EXPECT_EQ(Form1->JvLabel1->text(), QStringLiteral("HTTP/1.0 200 OK"));
    EXPECT_EQ(Form11->History().size(), 1);
    EXPECT_EQ(get("PlaybackStatus").toString(), QStringLiteral("Playing"));
    EXPECT_EQ(get("Metadata").toMap().value(QStringLiteral("xesam:url")).toString(), url);

    // The station's ICY title, as the refresh reads it.
    EXPECT_TRUE(refreshUntil([&] { return !title().isEmpty(); }));
    const QString first = title();
    EXPECT_TRUE(first == QLatin1String(kFirst) || first == QLatin1String(kSecond))
        << first.toStdString();
    EXPECT_TRUE(Form1->JvLabel6->text().contains(first));
    EXPECT_TRUE(refreshUntil([&] { return title() != first && !title().isEmpty(); }));

    // Volume both ways: the bus moves the slider, the slider moves the bus.
    ASSERT_EQ(
        testsupport::SetProperty(client, kService, kPlayer, QStringLiteral("Volume"), 0.25).type(),
        QDBusMessage::ReplyMessage);
    EXPECT_EQ(Form1->JvTrackBar1->value(), 25);
    EXPECT_EQ(Form1->VolPerLbl->text(), QStringLiteral("25%"));
    EXPECT_DOUBLE_EQ(get("Volume").toDouble(), 0.25);
    Form1->JvTrackBar1->setValue(60);
    EXPECT_DOUBLE_EQ(get("Volume").toDouble(), 0.6);

    // Pause holds the playing time, as the Pause button does.
    ASSERT_EQ(call("Pause").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(get("PlaybackStatus").toString(), QStringLiteral("Paused"));
    const qlonglong held = get("Position").toLongLong();
    EXPECT_GT(held, 0);
    QTest::qWait(300);
    EXPECT_EQ(get("Position").toLongLong(), held);

    // PlayPause from Paused plays again: the Play button opens the stream anew.
    const uint32_t paused = CurrentChannel;
    ASSERT_EQ(call("PlayPause").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(get("PlaybackStatus").toString(), QStringLiteral("Playing"));
    EXPECT_NE(CurrentChannel, paused);

    ASSERT_EQ(call("Stop").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(get("PlaybackStatus").toString(), QStringLiteral("Stopped"));

    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return recorder.Values(QStringLiteral("PlaybackStatus")).size() >= 4; }));
    QStringList statuses;
    for (const QVariant &status : recorder.Values(QStringLiteral("PlaybackStatus")))
        statuses << status.toString();
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("Playing"), QStringLiteral("Paused"),
                                     QStringLiteral("Playing"), QStringLiteral("Stopped")}));
    QStringList volumes;
    for (const QVariant &volume : recorder.Values(QStringLiteral("Volume")))
        volumes << QString::number(volume.toDouble());
    EXPECT_EQ(volumes, (QStringList{QStringLiteral("0.25"), QStringLiteral("0.6")}));
    bool titled = false;
    for (const QVariant &metadata : recorder.Values(QStringLiteral("Metadata")))
        titled |= metadata.toMap().value(QStringLiteral("xesam:title")).toString() == first;
    EXPECT_TRUE(titled);
}

TEST_F(PlayerBusTest, NewTitlesAreNotifiedWhileHiddenUntilTheDesignPageTurnsThemOff) {
    testsupport::NotificationServer server(
        testsupport::ClientConnection(QStringLiteral("notifications")));
    ASSERT_TRUE(server.Registered());
    EXPECT_TRUE(Form2->JvCheckBox9->isChecked());
    Form1->JvComboBox1->addItem(url);
    Form1->JvComboBox1->setCurrentIndex(Form1->JvComboBox1->count() - 1);
    emit Form1->JvComboBox1->activated(Form1->JvComboBox1->currentIndex());
    ASSERT_NE(CurrentChannel, 0u);

    // Shown: the title is on the window, no notice.
    EXPECT_TRUE(refreshUntil([&] { return !title().isEmpty(); }));
    Form1->JvTimer1Timer();
    EXPECT_TRUE(server.Notices().empty());

    // Hidden: the next titles come as notices.
    Form1->hide();
    EXPECT_TRUE(refreshUntil([&] { return server.Notices().size() >= 2; }));
    for (const auto &notice : server.Notices())
        EXPECT_TRUE(notice.summary == QLatin1String(kFirst) ||
                    notice.summary == QLatin1String(kSecond))
            << notice.summary.toStdString();

    // Turned off on the Design page, stored, and no further notice.
    Form2->JvCheckBox9->click();
    EXPECT_FALSE(platform::IniFile(settings::SettingsFilePath())
                     .ReadBool(QStringLiteral("design"), QStringLiteral("titlenotices"), true));
    const std::size_t before = server.Notices().size();
    const QString now = title();
    EXPECT_TRUE(refreshUntil([&] { return title() != now; }));
    EXPECT_TRUE(refreshUntil([&] { return title() == now; }));
    EXPECT_EQ(server.Notices().size(), before);

    // The stored choice holds after a restart.
    DestroyWindowSet();
    CreateWindowSet();
    ASSERT_NE(Form1, nullptr);
    EXPECT_FALSE(Form2->JvCheckBox9->isChecked());
    EXPECT_FALSE(Form1->Desktop->TitleNotices());
}

} // namespace
