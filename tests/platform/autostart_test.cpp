#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/autostart.h"
#include "platform/error.h"
#include "tests/support/qt_printers.h"

namespace {

TEST(Autostart, ExecArgumentQuoting) {
    struct Case {
        const char *program;
        const char *exec;
    };
    const Case cases[] = {
        {"/usr/bin/velotune", R"("/usr/bin/velotune")"},
        {"/home/a b/velotune", R"("/home/a b/velotune")"},
        {"/opt/100%/velotune", R"("/opt/100%%/velotune")"},
        {R"(/o"d/$HOME/`x`)", R"("/o\\"d/\\$HOME/\\`x\\`")"},
        {R"(/back\slash)", R"("/back\\\\slash")"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.program);
        EXPECT_EQ(platform::DesktopExecArgument(QString::fromUtf8(c.program)),
                  QString::fromUtf8(c.exec));
    }
}

TEST(Autostart, RepeatedWritesLeaveOneEntryAndRemoveDeletesIt) {
    QTemporaryDir dir;
    const QString entry = dir.filePath(QStringLiteral("autostart/velotune.desktop"));
    for (int i = 0; i < 2; ++i)
        platform::WriteAutostartEntry(entry, "Velotune Player", "/opt/velo tune/velotune", "x");
    EXPECT_EQ(QDir(dir.filePath("autostart")).entryList(QDir::Files).size(), 1);
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nName=Velotune Player\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/velo tune/velotune\"\n"));
    file.close();

    EXPECT_TRUE(platform::RemoveAutostartEntry(entry));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(platform::RemoveAutostartEntry(entry));
}

TEST(Autostart, UnwritableEntryThrowsTheGivenMessage) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    try {
        platform::WriteAutostartEntry(dir.filePath("autostart/velotune.desktop"), "V", "/p",
                                      "Failed to set data for '/p'");
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to set data for '/p'"));
    }
}

} // namespace
