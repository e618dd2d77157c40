#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "settings/autostart_entry.h"
#include "settings/settings_file.h"
#include "tests/support/qt_printers.h"
#include "tests/support/unprivileged.h"

namespace {

TEST(SettingsFile, BesideAWritableExecutable) {
    QTemporaryDir install;
    const QString exe = install.filePath(QStringLiteral("velotune"));
    EXPECT_EQ(settings::SettingsFilePath(exe, "/home/u/.config"),
              install.filePath(QStringLiteral("rsettings.ini")));
}

TEST(SettingsFile, InTheUsersConfigWhenTheInstallFolderIsReadOnly) {
    QTemporaryDir install;
    QFile::setPermissions(install.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther);
    const QString exe = install.filePath(QStringLiteral("velotune"));
    EXPECT_TRUE(testsupport::RunUnprivileged([&exe] {
        return settings::SettingsFilePath(exe, "/home/u/.config") ==
               QStringLiteral("/home/u/.config/velotune/rsettings.ini");
    }));
}

TEST(SettingsFile, SystemInstallUsesTheUsersConfig) {
    EXPECT_TRUE(testsupport::RunUnprivileged([] {
        return settings::SettingsFilePath("/usr/bin/velotune", "/home/u/.config") ==
               QStringLiteral("/home/u/.config/velotune/rsettings.ini");
    }));
}

TEST(SettingsFile, AnExistingFileBesideTheExecutableWins) {
    QTemporaryDir install;
    QFile file(install.filePath(QStringLiteral("rsettings.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QFile::setPermissions(install.path(), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(settings::SettingsFilePath(install.filePath("velotune"), "/home/u/.config"),
              install.filePath(QStringLiteral("rsettings.ini")));
    QFile::setPermissions(install.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(SettingsFile, TheRunningProgramsFileIsNotCreatedByOpening) {
    const platform::IniFile ini = settings::OpenSettingsFile();
    EXPECT_EQ(QFileInfo(ini.FileName()).fileName(), QStringLiteral("rsettings.ini"));
    EXPECT_EQ(ini.ReadInteger("design", "heightform", 618), 618);
    EXPECT_FALSE(QFileInfo::exists(ini.FileName()));
}

TEST(AutostartEntry, WrittenForTheExecutableOnceAndRemovable) {
    // The test main points XDG_CONFIG_HOME at a private folder.
    const QString exe = QCoreApplication::applicationFilePath();
    settings::WriteAutostartEntry();
    settings::WriteAutostartEntry();
    EXPECT_TRUE(settings::HasAutostartEntry());
    const QString folder = QFileInfo(settings::AutostartEntryPath()).absolutePath();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"velotune.desktop"});
    QFile file(settings::AutostartEntryPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\nExec=\"" + exe.toUtf8() + "\"\n"));
    file.close();
    EXPECT_TRUE(settings::RemoveAutostartEntry());
    EXPECT_FALSE(settings::HasAutostartEntry());
}

TEST(AutostartEntry, FailureNamesTheExecutable) {
    QDir().mkpath(QFileInfo(settings::AutostartEntryPath()).absolutePath());
    QDir().mkpath(settings::AutostartEntryPath()); // a folder where the file should go
    try {
        settings::WriteAutostartEntry(QStringLiteral("/opt/velotune/velotune"));
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to set data for '/opt/velotune/velotune'"));
    }
    QDir().rmdir(settings::AutostartEntryPath());
}

} // namespace
