#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "playback/status_figures.h"
#include "playback/stream_player.h"
#include "tests/support/qt_printers.h"

namespace {

TEST(PlaylistEntryText, DropsTheExtensionUnlessASeparatorFollowsTheDot) {
    struct Case {
        const char *entry;
        const char *shown;
    };
    const Case cases[] = {
        {"song.mp3", "song"},
        {"C:\\Music\\song.mp3", "C:\\Music\\song"},
        {"C:\\Music.d\\song", "C:\\Music.d\\song"},
        {"/home/u/music.d/song", "/home/u/music.d/song"},
        {"http://radio.example/live.aac", "http://radio.example/live"},
        {"http://radio.example", "http://radio"},
        {"http://radio.example:8000", "http://radio.example:8000"},
        {"no extension", "no extension"},
        {".hidden", ""},
        {"a.b.c", "a.b"},
        {"", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(playback::PlaylistEntryText(QString::fromUtf8(c.entry)),
                  QString::fromUtf8(c.shown));
    }
}

class PlaylistFileTest : public ::testing::Test {
protected:
    QString write(const QByteArray &bytes) {
        const QString path = dir.filePath(QStringLiteral("list.m3u"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(PlaylistFileTest, OneEntryPerLineWhateverTheLineEnds) {
    EXPECT_EQ(playback::ReadPlaylistFile(write("one.mp3\r\ntwo.aac\nthree.pls\rfour")),
              (QStringList{"one", "two", "three", "four"}));
    EXPECT_EQ(playback::ReadPlaylistFile(write("a.mp3\r\n\r\nb.mp3\r\n")),
              (QStringList{"a", "", "b"}));
    EXPECT_EQ(playback::ReadPlaylistFile(write("")), QStringList{});
    // Latin-1 bytes that are not UTF-8 still read as text.
    EXPECT_EQ(playback::ReadPlaylistFile(write("caf\xe9.mp3\nna\xc3\xafve.mp3")),
              (QStringList{QStringLiteral("café"), QStringLiteral("naïve")}));
}

TEST_F(PlaylistFileTest, JunkAndHugeFilesLoad) {
    QByteArray junk;
    for (int i = 0; i < 100000; ++i)
        junk.append(static_cast<char>((i * 7919) % 256));
    EXPECT_FALSE(playback::ReadPlaylistFile(write(junk)).isEmpty());

    QByteArray many;
    for (int i = 0; i < 1000000; ++i)
        many += "http://radio.example/s.mp3\n";
    const QStringList entries = playback::ReadPlaylistFile(write(many));
    EXPECT_EQ(entries.size(), 1000000);
    EXPECT_EQ(entries.back(), QStringLiteral("http://radio.example/s"));
}

TEST_F(PlaylistFileTest, AnUnreadableFileNamesItselfAndTheReason) {
    const QString missing = dir.filePath(QStringLiteral("missing.m3u"));
    try {
        playback::ReadPlaylistFile(missing);
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(
            e.message(),
            QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
    }
}

TEST_F(PlaylistFileTest, StationListIsWrittenWithCrLf) {
    const QString path = dir.filePath(QStringLiteral("stations.m3u8"));
    playback::WriteStationList(path, {"http://a.example/1", "http://b.example/2"});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "http://a.example/1\r\nhttp://b.example/2\r\n");
    file.close();
    playback::WriteStationList(path, {});
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "");
    file.close();

    const QString blocked = path + QStringLiteral("/x.m3u8");
    try {
        playback::WriteStationList(blocked, {"x"});
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_TRUE(
            e.message().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(blocked)))
            << e.what();
    }
}

TEST(StatusFigures, ElapsedText) {
    struct Case {
        double seconds;
        const char *text;
    };
    const Case cases[] = {
        {0.0, "00:00:00"},
        {59.4, "00:00:59"},
        {61.0, "00:01:01"},
        {3599.999, "00:59:59"},
        {3600.0, "01:00:00"},
        {25 * 3600.0, "01:00:00"},
        {24 * 3600.0 - 1, "23:59:59"},
        {-75.0, "00:01:15"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(playback::ElapsedText(c.seconds, QStringLiteral(":")), QString::fromUtf8(c.text));
    }
    EXPECT_EQ(playback::ElapsedText(3723.0, QStringLiteral(".")), QStringLiteral("01.02.03"));
    EXPECT_EQ(playback::ElapsedText(std::numeric_limits<double>::quiet_NaN(), QStringLiteral(":")),
              QStringLiteral("00:00:00"));
}

TEST(StatusFigures, Bitrate) {
    EXPECT_EQ(playback::BitrateKbps(uint64_t{160000}, 10.0), 128);
    EXPECT_EQ(playback::BitrateKbps(uint64_t{8000}, 1.0), 64);
    EXPECT_EQ(playback::BitrateKbps(uint64_t{0}, 10.0), 0);
    EXPECT_EQ(playback::BitrateKbps(uint64_t{1000}, 0.0), 0);
    EXPECT_EQ(playback::BitrateKbps(uint64_t{1000}, -1.0), 0);
    EXPECT_EQ(playback::BitrateKbps(uint64_t{1000}, std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(playback::BitrateKbps(uint64_t{1000}, 1e-300), 0);
    EXPECT_EQ(playback::BitrateKbps(uint32_t{0}), 0); // no channel
}

TEST(StatusFigures, LoadText) {
    EXPECT_EQ(playback::LoadText(0.004f), QStringLiteral("CPU Using: 0.4%"));
    EXPECT_EQ(playback::LoadText(0.0f), QStringLiteral("CPU Using: 0.0%"));
    EXPECT_EQ(playback::LoadText(1.5f), QStringLiteral("CPU Using: 150.0%"));
    EXPECT_EQ(playback::LoadText(-1.0f), QStringLiteral("CPU Using: 0.0%"));
}

TEST(HistoryLine, DateThenAddedThenTheAddress) {
    const QDate date(2026, 12, 11);
    const QString line = playback::HistoryLine(date, QStringLiteral("http://radio.example/"));
    EXPECT_TRUE(line.endsWith(QStringLiteral(" Added http://radio.example/")))
        << line.toStdString();
    EXPECT_FALSE(line.startsWith(u' '));
}

} // namespace
