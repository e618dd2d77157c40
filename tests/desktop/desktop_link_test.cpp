// The desktop link on its own: a plain window and tray icon, the test's
// private bus (or none), and the player's actions recorded.

#include <cmath>
#include <memory>
#include <ostream>

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QWidget>
#include <gtest/gtest.h>

#include "desktop/desktop_link.h"
#include "platform/tray_icon.h"
#include "tests/desktop/bus_fixtures.h"
#include "tests/support/qt_printers.h"

namespace {

using desktop::PlaybackStatus;
using testsupport::NotificationServer;

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.velotune");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");

QString meta(const char *title) {
    return QStringLiteral("StreamTitle='%1';StreamUrl='';").arg(QString::fromUtf8(title));
}

class DesktopLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(testsupport::PrivateBusAddress().isEmpty()) << "dbus-daemon did not start";
        window.resize(100, 100);
        window.show();
    }

    // A link whose player side is a connection of its own to the private
    // bus, or `bus` when given.
    void link(std::optional<QDBusConnection> bus = std::nullopt) {
        desktop::PlayerActions actions;
        actions.play = [this] {
            log += QStringLiteral("play ");
        };
        actions.pause = [this] {
            log += QStringLiteral("pause ");
        };
        actions.stop = [this] {
            log += QStringLiteral("stop ");
        };
        actions.raise = [this] {
            log += QStringLiteral("raise ");
        };
        actions.quit = [this] {
            log += QStringLiteral("quit ");
        };
        actions.setVolume = [this](double volume) {
            volumes.push_back(volume);
        };
        actions.position_us = [] {
            return qint64{2500000};
        };
        the = std::make_unique<desktop::DesktopLink>(
            &window, &tray, bus ? *bus : testsupport::ClientConnection(QStringLiteral("player")),
            actions);
    }

    void TearDown() override { the.reset(); }

    QWidget window;
    platform::TrayIcon tray{nullptr, QIcon()};
    std::unique_ptr<desktop::DesktopLink> the;
    QString log;
    std::vector<double> volumes;
    QDBusConnection client = testsupport::ClientConnection(QStringLiteral("client"));
};

QtMessageHandler previousHandler = nullptr;
QStringList *capturedMessages = nullptr;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message) {
    capturedMessages->append(message);
}

TEST_F(DesktopLinkTest, WithoutABusExportsNothingSaysNothingAndNotifiesThroughTheTray) {
    QStringList messages;
    capturedMessages = &messages;
    previousHandler = qInstallMessageHandler(captureMessage);
    link(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/velotune-test-bus"),
                                       QStringLiteral("nobus")));
    EXPECT_EQ(the->MediaPlayer(), nullptr);
    the->StreamOpened(QStringLiteral("http://127.0.0.1:1/live"), true);
    the->VolumeChanged(0.5);
    the->Paused();
    the->Stopped();
    window.hide();
    the->MetadataSeen(meta("Quiet Artist - Quiet Song"));
    qInstallMessageHandler(previousHandler);
    QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));

    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    ASSERT_NE(tray.LastBalloon(), nullptr);
    EXPECT_EQ(tray.LastBalloon()->title, QStringLiteral("Velotune Player"));
    EXPECT_EQ(tray.LastBalloon()->text, QStringLiteral("Quiet Artist - Quiet Song"));
}

struct NoticeCase {
    const char *name;
    void (*windowState)(QWidget &);
    bool notices;
    bool notified;
};

void PrintTo(const NoticeCase &c, std::ostream *out) {
    *out << c.name;
}

class TitleNoticeTest : public DesktopLinkTest, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(TitleNoticeTest, NotifiesANewTitleOnlyWhileTheWindowIsAwayAndNoticesAreOn) {
    const NoticeCase &c = GetParam();
    NotificationServer server(testsupport::ClientConnection(QStringLiteral("notifications")));
    ASSERT_TRUE(server.Registered());
    link();
    the->SetTitleNotices(c.notices);
    c.windowState(window);
    the->MetadataSeen(meta("Artist - First"));
    // The bus and the server keep one sender's calls in order: once this
    // call is answered, a notice sent before it has been taken.
    const QDBusMessage ping = testsupport::Call(
        QDBusConnection(QStringLiteral("player")), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetCapabilities"));
    ASSERT_EQ(ping.type(), QDBusMessage::ReplyMessage) << ping.errorMessage().toStdString();
    EXPECT_EQ(server.Notices().size(), c.notified ? 1u : 0u);
    EXPECT_EQ(tray.LastBalloon(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    States, TitleNoticeTest,
    ::testing::Values(NoticeCase{"Shown", [](QWidget &w) { w.showNormal(); }, true, false},
                      NoticeCase{"Hidden", [](QWidget &w) { w.hide(); }, true, true},
                      NoticeCase{"Minimised", [](QWidget &w) { w.showMinimized(); }, true, true},
                      NoticeCase{"HiddenNoticesOff", [](QWidget &w) { w.hide(); }, false, false},
                      NoticeCase{"MinimisedNoticesOff", [](QWidget &w) { w.showMinimized(); },
                                 false, false}),
    [](const ::testing::TestParamInfo<NoticeCase> &param) { return param.param.name; });

TEST_F(DesktopLinkTest, EachNewTitleReplacesTheLastNoticeAndRepeatsAreNotNotified) {
    NotificationServer server(testsupport::ClientConnection(QStringLiteral("notifications")));
    ASSERT_TRUE(server.Registered());
    link();
    window.hide();
    the->MetadataSeen(meta("Artist - First"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.Notices().size() == 1; }));
    the->MetadataSeen(meta("Artist - First"));
    the->MetadataSeen(QStringLiteral("StreamTitle='Artist - First';StreamUrl='http://x/';"));
    the->MetadataSeen(meta("<b>Tom &amp; Jerry</b>"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.Notices().size() == 2; }));
    // A new stream's first title is news even when it repeats the last one.
    the->StreamOpened(QStringLiteral("http://127.0.0.1:1/other"), true);
    the->MetadataSeen(meta("<b>Tom &amp; Jerry</b>"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.Notices().size() == 3; }));

    const auto &first = server.Notices()[0];
    EXPECT_EQ(first.app_name, QStringLiteral("Velotune Player"));
    EXPECT_EQ(first.app_icon, QStringLiteral("velotune"));
    EXPECT_EQ(first.summary, QStringLiteral("Artist - First"));
    EXPECT_EQ(first.body, QString());
    EXPECT_EQ(first.replaces_id, 0u);
    EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(),
              QStringLiteral("velotune"));
    // The station's text goes, as it is, where no server reads markup.
    EXPECT_EQ(server.Notices()[1].summary, QStringLiteral("<b>Tom &amp; Jerry</b>"));
    EXPECT_EQ(server.Notices()[1].replaces_id, 41u);
    EXPECT_EQ(server.Notices()[2].replaces_id, 42u);
    EXPECT_EQ(tray.LastBalloon(), nullptr);
}

TEST_F(DesktopLinkTest, WithoutANotificationServerTheTrayShowsTheTitle) {
    link();
    window.showMinimized();
    the->MetadataSeen(meta("Artist - Through The Tray"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return tray.LastBalloon() != nullptr; }));
    EXPECT_EQ(tray.LastBalloon()->text, QStringLiteral("Artist - Through The Tray"));
    EXPECT_EQ(tray.LastBalloon()->icon, QSystemTrayIcon::Information);
}

TEST_F(DesktopLinkTest, ExportsWhoThePlayerIsAndWhatItCannotDo) {
    link();
    ASSERT_NE(the->MediaPlayer(), nullptr);
    EXPECT_EQ(the->MediaPlayer()->ServiceName(), kService);
    const auto get = [&](const QString &interface, const char *property) {
        return testsupport::GetProperty(client, kService, interface, QString::fromLatin1(property));
    };
    EXPECT_EQ(get(kRoot, "Identity").toString(), QStringLiteral("Velotune Player"));
    EXPECT_EQ(get(kRoot, "DesktopEntry").toString(), QStringLiteral("velotune"));
    EXPECT_TRUE(get(kRoot, "CanQuit").toBool());
    EXPECT_TRUE(get(kRoot, "CanRaise").toBool());
    EXPECT_FALSE(get(kRoot, "HasTrackList").toBool());
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    EXPECT_TRUE(get(kPlayer, "Metadata").toMap().isEmpty());
    EXPECT_EQ(get(kPlayer, "Position").toLongLong(), 2500000);
    EXPECT_EQ(get(kPlayer, "Rate").toDouble(), 1.0);
    for (const char *yes : {"CanPlay", "CanPause", "CanControl"})
        EXPECT_TRUE(get(kPlayer, yes).toBool()) << yes;
    for (const char *no : {"CanGoNext", "CanGoPrevious", "CanSeek"})
        EXPECT_FALSE(get(kPlayer, no).toBool()) << no;

    for (const char *method : {"Raise", "Quit"})
        testsupport::Call(client, kService, QStringLiteral("/org/mpris/MediaPlayer2"), kRoot,
                          QString::fromLatin1(method));
    EXPECT_EQ(log, QStringLiteral("raise quit "));
}

TEST_F(DesktopLinkTest, ASecondPlayerTakesAnInstanceName) {
    link();
    desktop::PlayerActions none;
    auto second =
        desktop::Mpris::Register(testsupport::ClientConnection(QStringLiteral("second")), none);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->ServiceName(),
              kService + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid()));
}

struct TransportCase {
    const char *name;
    PlaybackStatus status;
    const char *method;
    const char *action; // the player action called, "" for none
};

void PrintTo(const TransportCase &c, std::ostream *out) {
    *out << c.name;
}

class TransportTest : public DesktopLinkTest,
                      public ::testing::WithParamInterface<TransportCase> {};

TEST_P(TransportTest, CallsThePlayersOwnActionWhenTheStatusCallsForIt) {
    const TransportCase &c = GetParam();
    link();
    if (c.status != PlaybackStatus::Stopped)
        the->StreamOpened(QStringLiteral("http://127.0.0.1:1/live"), true);
    if (c.status == PlaybackStatus::Paused)
        the->Paused();
    const QDBusMessage reply =
        testsupport::Call(client, kService, QStringLiteral("/org/mpris/MediaPlayer2"), kPlayer,
                          QString::fromLatin1(c.method));
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(log, *c.action ? QString::fromLatin1(c.action) + u' ' : QString());
}

INSTANTIATE_TEST_SUITE_P(
    Calls, TransportTest,
    ::testing::Values(
        TransportCase{"PlayWhenStopped", PlaybackStatus::Stopped, "Play", "play"},
        TransportCase{"PlayWhenPaused", PlaybackStatus::Paused, "Play", "play"},
        TransportCase{"PlayWhenPlaying", PlaybackStatus::Playing, "Play", ""},
        TransportCase{"PauseWhenPlaying", PlaybackStatus::Playing, "Pause", "pause"},
        TransportCase{"PauseWhenPaused", PlaybackStatus::Paused, "Pause", ""},
        TransportCase{"PauseWhenStopped", PlaybackStatus::Stopped, "Pause", ""},
        TransportCase{"PlayPauseWhenPlaying", PlaybackStatus::Playing, "PlayPause", "pause"},
        TransportCase{"PlayPauseWhenPaused", PlaybackStatus::Paused, "PlayPause", "play"},
        TransportCase{"PlayPauseWhenStopped", PlaybackStatus::Stopped, "PlayPause", "play"},
        TransportCase{"StopWhenPlaying", PlaybackStatus::Playing, "Stop", "stop"},
        TransportCase{"StopWhenPaused", PlaybackStatus::Paused, "Stop", "stop"},
        TransportCase{"StopWhenStopped", PlaybackStatus::Stopped, "Stop", ""},
        TransportCase{"Next", PlaybackStatus::Playing, "Next", ""},
        TransportCase{"Previous", PlaybackStatus::Playing, "Previous", ""}),
    [](const ::testing::TestParamInfo<TransportCase> &param) { return param.param.name; });

TEST_F(DesktopLinkTest, VolumeWritesAreClampedAndOnlyNumbersAreTaken) {
    link();
    for (double volume : {0.25, 1.7, -0.5, std::nan("")})
        testsupport::SetProperty(client, kService, kPlayer, QStringLiteral("Volume"), volume);
    const QDBusMessage text = testsupport::SetProperty(
        client, kService, kPlayer, QStringLiteral("Volume"), QStringLiteral("x"));
    EXPECT_EQ(text.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(volumes, (std::vector<double>{0.25, 1.0, 0.0}));
    const QDBusMessage readOnly = testsupport::SetProperty(
        client, kService, kPlayer, QStringLiteral("PlaybackStatus"), QStringLiteral("Playing"));
    EXPECT_EQ(readOnly.type(), QDBusMessage::ErrorMessage);
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(DesktopLinkTest, AnnouncesEachChangeOnceWithTheNewValue) {
    link();
    testsupport::PropertiesRecorder recorder(client);
    the->StreamOpened(QStringLiteral("http://127.0.0.1:1/live"), true);
    the->MetadataSeen(meta("Artist - First"));
    the->MetadataSeen(meta("Artist - First"));
    the->VolumeChanged(0.4);
    the->VolumeChanged(0.4);
    the->Paused();
    the->Stopped();
    the->StreamOpened(QStringLiteral("http://127.0.0.1:1/dead"), false);
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return recorder.Values(QStringLiteral("Metadata")).size() == 3 &&
               recorder.Values(QStringLiteral("PlaybackStatus")).size() == 3;
    }));

    const auto statuses = recorder.Values(QStringLiteral("PlaybackStatus"));
    EXPECT_EQ(statuses[0].toString(), QStringLiteral("Playing"));
    EXPECT_EQ(statuses[1].toString(), QStringLiteral("Paused"));
    EXPECT_EQ(statuses[2].toString(), QStringLiteral("Stopped"));
    const auto announced = recorder.Values(QStringLiteral("Volume"));
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_EQ(announced[0].toDouble(), 0.4);

    const auto metadata = recorder.Values(QStringLiteral("Metadata"));
    const QVariantMap opened = metadata[0].toMap();
    EXPECT_EQ(opened.value(QStringLiteral("xesam:url")).toString(),
              QStringLiteral("http://127.0.0.1:1/live"));
    EXPECT_FALSE(opened.contains(QStringLiteral("xesam:title")));
    const QVariantMap titled = metadata[1].toMap();
    EXPECT_EQ(titled.value(QStringLiteral("xesam:title")).toString(),
              QStringLiteral("Artist - First"));
    const QVariantMap next = metadata[2].toMap();
    EXPECT_EQ(next.value(QStringLiteral("xesam:url")).toString(),
              QStringLiteral("http://127.0.0.1:1/dead"));
    const auto track = [](const QVariantMap &map) {
        return map.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    };
    EXPECT_FALSE(track(opened).isEmpty());
    EXPECT_EQ(track(titled), track(opened));
    EXPECT_NE(track(next), track(opened));
}

} // namespace
