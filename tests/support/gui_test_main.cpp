// Entry point of the tests that need Qt: a QApplication on the offscreen
// platform (no display is touched), with private runtime and configuration
// folders so that no test reads or writes the user's own settings, autostart
// entries, session bus or sockets, and no sound card. Known warnings of the offscreen platform are
// dropped from the log; every other message goes through.

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QtMessageHandler defaultHandler = nullptr;

void filteredMessages(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    static const char *const known[] = {
        "This plugin does not support propagateSizeHints()",
        "This plugin does not support raise()",
        "This plugin does not support grabbing the keyboard",
        "QFont::setPointSizeF: Point size <= 0",
    };
    for (const char *text : known) {
        if (message.contains(QLatin1String(text)))
            return;
    }
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);

    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a private test folder\n");
        return 2;
    }
    const QByteArray root = home.path().toLocal8Bit();
    const QByteArray runtime = root + "/runtime";
    QDir().mkpath(QString::fromLocal8Bit(runtime));
    QFile::setPermissions(QString::fromLocal8Bit(runtime),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // No sound card: SDL's placeholder driver, which the audio library takes
    // as "no real device" and replaces by its own null output.
    qputenv("SDL_AUDIODRIVER", "dummy");
    qputenv("XDG_RUNTIME_DIR", runtime);
    // A session bus address where none listens: the player runs as without a
    // bus and never reaches the user's own. Tests that need a bus start a
    // private one and point this at it before anything connects.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime + "/bus");
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");

    defaultHandler = qInstallMessageHandler(filteredMessages);
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Velotune Player"));
    return RUN_ALL_TESTS();
}
