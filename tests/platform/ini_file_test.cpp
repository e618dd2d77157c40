#include <csignal>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/ini_file.h"
#include "tests/support/qt_printers.h"
#include "tests/support/unprivileged.h"

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("rsettings.ini")); }

    void put(const QByteArray &bytes) const {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray contents() const {
        QFile file(path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }

    QTemporaryDir dir;
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndIsNotCreated) {
    const platform::IniFile ini(path());
    EXPECT_EQ(ini.ReadString("main", "URLMode", "Edit"), "Edit");
    EXPECT_EQ(ini.ReadInteger("design", "heightform", 618), 618);
    EXPECT_TRUE(ini.ReadBool("design", "playlist", true));
    EXPECT_FALSE(ini.ReadBool("design", "datetime", false));
    EXPECT_FALSE(QFileInfo::exists(path()));
}

TEST_F(IniFileTest, ReadsWithThePrivateProfileRules) {
    put("; a comment\n"
        "[Main]\n"
        "  urlmode  =  Item  \n"
        "quoted=\"  spaced  \"\n"
        "single='x'\n"
        "half=\"open\n"
        "empty=\n"
        "[design]\n"
        "heightform=0x26A\n"
        "playlist=2\n"
        "datetime=yes\n"
        "[main]\n"
        "URLMode=second section loses\n"
        "late=found in the duplicate section\n");
    const platform::IniFile ini(path());
    EXPECT_EQ(ini.ReadString("MAIN", "URLMODE", "Edit"), "Item");
    EXPECT_EQ(ini.ReadString("main", "quoted", ""), "  spaced  ");
    EXPECT_EQ(ini.ReadString("main", "single", ""), "x");
    EXPECT_EQ(ini.ReadString("main", "half", ""), "\"open");
    EXPECT_EQ(ini.ReadString("main", "empty", "default"), "");
    EXPECT_EQ(ini.ReadString("main", "late", ""), "found in the duplicate section");
    EXPECT_EQ(ini.ReadString("nosuch", "URLMode", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("design", "heightform", 0), 618);
    EXPECT_TRUE(ini.ReadBool("design", "playlist", false));
    EXPECT_TRUE(ini.ReadBool("design", "datetime", true));
    EXPECT_FALSE(ini.ReadBool("design", "datetime", false));
}

TEST_F(IniFileTest, WholeNumberRule) {
    struct Case {
        const char *stored;
        int32_t read;
    };
    const Case cases[] = {
        {"318", 318},  {"-5", -5},         {"+7", 7},   {"0x26A", 618}, {"0X26a", 618},
        {"0x", 99},    {"0xZZ", 99},       {"26A", 99}, {"$26A", 99},   {"", 99},
        {"12abc", 99}, {"2147483648", 99}, {"1.5", 99}, {"-0", 0},      {"0x7FFFFFFF", 2147483647},
    };
    const platform::IniFile ini(path());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored);
        put(QByteArray("[design]\nheightform=") + c.stored + "\n");
        EXPECT_EQ(ini.ReadInteger("design", "heightform", 99), c.read);
    }
}

TEST_F(IniFileTest, ValuesAreLimitedTo2047Bytes) {
    put("[main]\nlong=" + QByteArray(5000, 'a') + "\nnext=1\n");
    const platform::IniFile ini(path());
    EXPECT_EQ(ini.ReadString("main", "long", "").size(), 2047);
    EXPECT_EQ(ini.ReadInteger("main", "next", 0), 1);
}

TEST_F(IniFileTest, WritesCreateFileSectionsAndKeysInOrder) {
    platform::IniFile ini(path());
    ini.WriteString("main", "URLMode", "Item");
    ini.WriteBool("main", "AutoUpdate", true);
    ini.WriteBool("design", "playlist", false);
    ini.WriteInteger("design", "heightform", 318);
    ini.WriteBool("design", "datetime", true);
    ini.WriteInteger("Volume", "Default", 75);
    ini.WriteString("lang", "langnow", "RU");
    ini.WriteString("main", "URLMode", "Edit");
    EXPECT_EQ(contents(), "[main]\n"
                          "URLMode=Edit\n"
                          "AutoUpdate=1\n"
                          "[design]\n"
                          "playlist=0\n"
                          "heightform=318\n"
                          "datetime=1\n"
                          "[Volume]\n"
                          "Default=75\n"
                          "[lang]\n"
                          "langnow=RU\n");
}

TEST_F(IniFileTest, TwoObjectsOnOneFileAgree) {
    platform::IniFile first(path());
    const platform::IniFile second(path());
    first.WriteInteger("Volume", "Default", 40);
    EXPECT_EQ(second.ReadInteger("Volume", "Default", 0), 40);
    first.WriteInteger("volume", "default", -3);
    EXPECT_EQ(second.ReadInteger("Volume", "Default", 0), -3);
}

TEST_F(IniFileTest, AWriteKeepsEveryOtherByte) {
    QByteArray garbage("\x01\x02\xff\xfe binary\0bytes", 22);
    const QByteArray before = "; keep me\r\n"
                              "\r\n"
                              "[main]\r\n"
                              "URLMode=Edit\r\n"
                              "Unknown = stays  \r\n"
                              "\r\n"
                              "[design]\r\n" +
                              garbage +
                              "\r\n"
                              "heightform=618\r\n"
                              "heightform=999\r\n"
                              "long=" +
                              QByteArray(1 << 20, 'z') +
                              "\r\n"
                              "[other]\r\n"
                              "x=1";
    put(before);
    platform::IniFile ini(path());

    ini.WriteInteger("DESIGN", "HeightForm", 318);
    QByteArray expected = before;
    expected.replace("heightform=618", "HeightForm=318");
    EXPECT_EQ(contents(), expected);

    // A new key goes after the section's last line; CR LF is kept.
    ini.WriteString("main", "AutoUpdate", "0");
    expected.replace("Unknown = stays  \r\n", "Unknown = stays  \r\nAutoUpdate=0\r\n");
    EXPECT_EQ(contents(), expected);

    // A new key in the last section, which has no final line end.
    ini.WriteString("other", "y", "2");
    expected += "\r\ny=2\r\n";
    EXPECT_EQ(contents(), expected);

    ini.WriteString("lang", "langnow", "RU");
    expected += "[lang]\r\nlangnow=RU\r\n";
    EXPECT_EQ(contents(), expected);

    EXPECT_EQ(ini.ReadInteger("design", "heightform", 0), 318);
}

TEST_F(IniFileTest, NewSectionAfterAMissingFinalNewline) {
    put("[main]\nURLMode=Item");
    platform::IniFile ini(path());
    ini.WriteString("design", "playlist", "1");
    EXPECT_EQ(contents(), "[main]\nURLMode=Item\n[design]\nplaylist=1\n");
}

TEST_F(IniFileTest, LineBreaksInAValueCannotSplitTheFile) {
    platform::IniFile ini(path());
    ini.WriteString("main", "URL", "http://a\r\n[design]\nheightform=1");
    EXPECT_EQ(ini.ReadString("main", "URL", ""), "http://a[design]heightform=1");
    EXPECT_EQ(ini.ReadInteger("design", "heightform", 618), 618);
}

TEST_F(IniFileTest, RefusedWriteReportsThePathAndKeepsTheFile) {
    put("[main]\nURLMode=Item\n");
    // Readable by everyone, writable by its owner only.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const QString file = path();
    const bool refused = testsupport::RunUnprivileged([&file] {
        platform::IniFile ini(file);
        try {
            ini.WriteString("main", "URLMode", "Edit");
        } catch (const platform::Error &e) {
            return e.message() == "Unable to write to " + file &&
                   ini.ReadString("main", "URLMode", "") == "Item";
        }
        return false;
    });
    EXPECT_TRUE(refused);
    EXPECT_EQ(contents(), "[main]\nURLMode=Item\n");
}

TEST_F(IniFileTest, WriteWhereAFileBlocksTheFolderFails) {
    // Works for root too: a regular file where the folder should be.
    put("not a folder");
    const QString blocked = path() + QStringLiteral("/rsettings.ini");
    platform::IniFile ini(blocked);
    try {
        ini.WriteString("main", "URLMode", "Edit");
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.message(), "Unable to write to " + blocked);
    }
    EXPECT_EQ(contents(), "not a folder");
}

TEST_F(IniFileTest, WritesIntoAMissingFolder) {
    platform::IniFile ini(dir.filePath(QStringLiteral("velotune/rsettings.ini")));
    ini.WriteString("main", "URLMode", "Item");
    EXPECT_EQ(ini.ReadString("main", "URLMode", ""), "Item");
}

TEST_F(IniFileTest, KilledWriterLeavesTheOldOrTheNewFile) {
    // Children write large values over and over and are killed at random
    // moments; after each kill the file must be one of the complete versions.
    const QByteArray a(300000, 'a');
    const QByteArray b(300000, 'b');
    put("[main]\nvalue=" + a + "\n");
    for (int round = 0; round < 20; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            platform::IniFile ini(path());
            for (int i = 0;; ++i)
                ini.WriteString("main", "value", QString::fromLatin1(i % 2 ? a : b));
        }
        usleep(static_cast<useconds_t>(2000 + round * 1500));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const QByteArray now = contents();
        EXPECT_TRUE(now == "[main]\nvalue=" + a + "\n" || now == "[main]\nvalue=" + b + "\n")
            << "round " << round << ": " << now.size() << " bytes";
    }
}

} // namespace
