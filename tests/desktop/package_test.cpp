// The Debian package as `make deb` builds it from this build folder (the
// CTest fixture package_build makes it before these cases run): its
// contents, its dependencies, the validity of its desktop files and metainfo,
// and that its binaries, unpacked into a clean folder, find every library.

#include <set>

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/support/qt_printers.h"

namespace {

struct Finished {
    int exit_code = -1;
    QString output; // standard output and error together
};

Finished run(const QString &program, const QStringList &arguments, int timeout_ms = 240000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(timeout_ms)) {
        process.kill();
        process.waitForFinished();
        return {-1, program + QStringLiteral(" did not finish: ") + process.errorString()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// Every file the package must hold, and nothing else.
std::set<QString> expectedFiles() {
    std::set<QString> files{
        QStringLiteral("usr/bin/velotune"),
        QStringLiteral("usr/bin/kestrova"),
        QStringLiteral("usr/share/applications/velotune.desktop"),
        QStringLiteral("usr/share/applications/kestrova.desktop"),
        QStringLiteral("usr/share/metainfo/example.velotune.Player.metainfo.xml"),
        QStringLiteral("usr/share/man/man1/velotune.1.gz"),
    };
    for (const char *icon : {"velotune", "kestrova"}) {
        files.insert(QStringLiteral("usr/share/icons/hicolor/scalable/apps/%1.svg").arg(icon));
        for (int size : {16, 32, 48, 64, 128, 256})
            files.insert(
                QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(icon));
    }
    return files;
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QDir folder(QStringLiteral(VELOTUNE_PACKAGE_DIR));
        const QStringList debs = folder.entryList({QStringLiteral("velotune_*.deb")}, QDir::Files);
        ASSERT_EQ(debs.size(), 1) << "no package in " VELOTUNE_PACKAGE_DIR
                                     " (the CTest test package_build makes it)";
        deb = folder.filePath(debs.front());
    }

    QString field(const char *name) const {
        return run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QLatin1String(name)})
            .output.trimmed();
    }

    // The package unpacked with dpkg -x, as it would be installed.
    QString unpack() {
        const Finished x = run(QStringLiteral("dpkg"), {QStringLiteral("-x"), deb, root.path()});
        EXPECT_EQ(x.exit_code, 0) << x.output.toStdString();
        return root.path();
    }

    QString deb;
    QTemporaryDir root;
};

TEST_F(PackageTest, HoldsThePlayerTheUpdateCenterAndTheirDesktopFilesOnly) {
    const Finished list = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    ASSERT_EQ(list.exit_code, 0) << list.output.toStdString();
    std::set<QString> files;
    for (const QString &line : list.output.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'd'))
            continue;
        // "-rwxr-xr-x root/root 629464 2026-12-11 17:37 ./usr/bin/velotune"
        QString path = line.section(u' ', -1);
        files.insert(path.startsWith(QStringLiteral("./")) ? path.mid(2) : path);
        EXPECT_TRUE(line.contains(QStringLiteral(" root/root "))) << line.toStdString();
    }
    const std::set<QString> expected = expectedFiles();
    for (const QString &file : expected)
        EXPECT_TRUE(files.count(file)) << "missing " << file.toStdString();
    for (const QString &file : files)
        EXPECT_TRUE(expected.count(file)) << "unexpected " << file.toStdString();
}

TEST_F(PackageTest, NamesItselfAndDependsOnTheLibrariesItLinks) {
    EXPECT_EQ(field("Package"), QStringLiteral("velotune"));
    EXPECT_EQ(field("Version"), QStringLiteral(VELOTUNE_VERSION));
    EXPECT_EQ(field("Section"), QStringLiteral("sound"));
    const QString depends = field("Depends");
    for (const char *package : {"qt6-qpa-plugins", "libqt6widgets6", "libqt6dbus6", "libqt6gui6",
                                "libavformat59", "libavcodec59", "libswresample4", "libcurl4",
                                "libsdl2-2.0-0", "libmicrohttpd12", "libc6"})
        EXPECT_TRUE(depends.contains(QLatin1String(package)))
            << package << " not in " << depends.toStdString();
}

TEST_F(PackageTest, DesktopEntriesAndMetainfoValidate) {
    const QString top = unpack();
    for (const char *entry : {"velotune", "kestrova"}) {
        const Finished check = run(
            QStringLiteral("desktop-file-validate"),
            {top + QStringLiteral("/usr/share/applications/%1.desktop").arg(QLatin1String(entry))});
        EXPECT_EQ(check.exit_code, 0) << check.output.toStdString();
        EXPECT_TRUE(check.output.isEmpty()) << check.output.toStdString();
    }
    const Finished metainfo =
        run(QStringLiteral("appstreamcli"),
            {QStringLiteral("validate"), QStringLiteral("--no-net"),
             top + QStringLiteral("/usr/share/metainfo/example.velotune.Player.metainfo.xml")});
    EXPECT_EQ(metainfo.exit_code, 0) << metainfo.output.toStdString();
    const Finished manual =
        run(QStringLiteral("man"), {QStringLiteral("--warnings"), QStringLiteral("-l"),
                                    top + QStringLiteral("/usr/share/man/man1/velotune.1.gz")});
    EXPECT_EQ(manual.exit_code, 0) << manual.output.toStdString();
    EXPECT_TRUE(manual.output.contains(QStringLiteral("rsettings.ini")));
}

TEST_F(PackageTest, UnpackedBinariesFindEveryLibrary) {
    const QString top = unpack();
    for (const char *binary : {"velotune", "kestrova"}) {
        const Finished ldd =
            run(QStringLiteral("ldd"), {top + QStringLiteral("/usr/bin/") + QLatin1String(binary)});
        EXPECT_EQ(ldd.exit_code, 0) << ldd.output.toStdString();
        EXPECT_FALSE(ldd.output.contains(QStringLiteral("not found"))) << ldd.output.toStdString();
        EXPECT_TRUE(ldd.output.contains(QStringLiteral("libQt6Widgets.so.6")))
            << ldd.output.toStdString();
    }
}

} // namespace
