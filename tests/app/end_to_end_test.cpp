// The player from a user's side: the real window set, the real audio library
// on the null output, a loopback station.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main.h"
#include "app/window_set.h"
#include "playback/stream_player.h"
#include "settings/settings_file.h"
#include "tests/support/dialogs.h"
#include "tests/support/qt_printers.h"
#include "tests/support/radio_server.h"
#include "windows/links.h"

namespace {

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings::OverrideSettingsFilePath(dir.filePath(QStringLiteral("rsettings.ini")));
        CurrentChannel = 0;
        CurrentURL.clear();
        testsupport::RadioStream stream;
        stream.codec = testsupport::AudioCodec::Mp3;
        stream.bitrate_kbps = 128;
        stream.metaint_bytes = 8192;
        stream.titles = {"Loopback Artist - Loopback Song"};
        url = QString::fromStdString(radio.AddStream("/live", stream));
        CreateWindowSet();
        ASSERT_NE(Form1, nullptr);
        Form1->show();
    }

    void TearDown() override {
        DestroyWindowSet();
        settings::OverrideSettingsFilePath(QString());
    }

    // Runs the refresh until `done` holds, at most `seconds` of ticks.
    template <typename Done> bool refreshUntil(Done done, int seconds = 8) {
        for (int i = 0; i < seconds * 10; ++i) {
            Form1->JvTimer1Timer();
            if (done())
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    bool anyYellow() const {
        const QImage &canvas = Form1->PaintBox1->Canvas();
        // Above the row of resting marks (five rows from the bottom).
        for (int y = 0; y < canvas.height() - 5; ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                if (canvas.pixelColor(x, y) == QColor(255, 255, 0))
                    return true;
            }
        }
        return false;
    }

    QTemporaryDir dir;
    testsupport::RadioServer radio;
    QString url;
};

TEST_F(EndToEndTest, TypePlayWatchAndPause) {
    Form1->JvEdit1->setFocus();
    QTest::keyClicks(Form1->JvEdit1, url);
    QTest::mouseClick(Form1->JvBitBtn1, Qt::LeftButton);

    ASSERT_NE(CurrentChannel, 0u);
    EXPECT_EQ(Form1->JvLabel1->text(), QStringLiteral("HTTP/1.0 200 OK"));
    ASSERT_EQ(Form11->History().size(), 1);
    EXPECT_TRUE(Form11->History()[0].endsWith(QStringLiteral(" Added ") + url));

    EXPECT_TRUE(refreshUntil([&] {
        return Form1->JvLabel6->text().contains(QStringLiteral("Loopback Artist - Loopback Song"));
    })) << Form1->JvLabel6->text().toStdString();
    EXPECT_TRUE(refreshUntil([&] { return Form1->SecLbl->text() >= QStringLiteral("00:00:02"); }))
        << Form1->SecLbl->text().toStdString();
    EXPECT_TRUE(refreshUntil([&] { return anyYellow(); }));
    EXPECT_TRUE(refreshUntil([&] {
        const int kbps = Form1->JvLabel2->text().split(u' ').front().toInt();
        return kbps >= 120 && kbps <= 136;
    })) << Form1->JvLabel2->text().toStdString();
    EXPECT_TRUE(Form1->CPULabel->text().startsWith(QStringLiteral("CPU Using: ")));

    // Pause holds the elapsed time.
    QTest::mouseClick(Form1->JvBitBtn3, Qt::LeftButton);
    Form1->JvTimer1Timer();
    const QString held = Form1->SecLbl->text();
    QTest::qWait(1200);
    Form1->JvTimer1Timer();
    EXPECT_EQ(Form1->SecLbl->text(), held);

    // Stop, then a new Play starts from the beginning.
    QTest::mouseClick(Form1->JvBitBtn2, Qt::LeftButton);
    QTest::mouseClick(Form1->JvBitBtn1, Qt::LeftButton);
    Form1->JvTimer1Timer();
    EXPECT_LT(Form1->SecLbl->text(), QStringLiteral("00:00:02"));
    EXPECT_EQ(Form11->History().size(), 2);
}

TEST_F(EndToEndTest, StationSelectionOpensWithoutAHistoryLine) {
    Form1->JvComboBox1->addItem(url);
    Form1->JvComboBox1->setCurrentIndex(Form1->JvComboBox1->count() - 1);
    emit Form1->JvComboBox1->activated(Form1->JvComboBox1->currentIndex());
    EXPECT_NE(CurrentChannel, 0u);
    EXPECT_EQ(CurrentURL, url);
    EXPECT_EQ(Form1->JvLabel1->text(), QStringLiteral("HTTP/1.0 200 OK"));
    EXPECT_TRUE(Form11->History().isEmpty());

    // Play with the edit never typed into reopens the station.
    const uint32_t first = CurrentChannel;
    QTest::mouseClick(Form1->JvBitBtn1, Qt::LeftButton);
    EXPECT_NE(CurrentChannel, 0u);
    EXPECT_NE(CurrentChannel, first);
    EXPECT_TRUE(Form11->History().isEmpty());
}

} // namespace
