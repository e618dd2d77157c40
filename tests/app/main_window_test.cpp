#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/main.h"
#include "app/window_set.h"
#include "playback/stream_player.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "tests/support/dialogs.h"
#include "tests/support/loopback_server.h"
#include "tests/support/qt_printers.h"
#include "windows/linkprop.h"
#include "windows/links.h"

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings::OverrideSettingsFilePath(settingsPath());
        CurrentChannel = 0;
        CurrentURL.clear();
    }

    void TearDown() override {
        DestroyWindowSet();
        settings::OverrideSettingsFilePath(QString());
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("rsettings.ini")); }

    void putSettings(const QByteArray &text) const {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    void start() {
        CreateWindowSet();
        ASSERT_NE(Form1, nullptr);
    }

    void typeAddress(const QString &address) {
        Form1->JvEdit1->setFocus();
        QTest::keyClicks(Form1->JvEdit1, address);
    }

    QTemporaryDir dir;
};

TEST_F(MainWindowTest, FirstStartWithoutASettingsFile) {
    start();
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("Velotune Player"));
    EXPECT_EQ(Form1->size(), QSize(288, 584));
    EXPECT_EQ(Form1->JvTrackBar1->value(), 0);
    EXPECT_EQ(Form1->VolPerLbl->text(), QStringLiteral("0%"));
    EXPECT_FALSE(Form1->JvEdit1->isHidden());
    EXPECT_TRUE(Form1->JvComboBox1->isHidden());
    EXPECT_FALSE(Form1->JvPlaylist1->isHidden());
    EXPECT_FALSE(QFile::exists(settingsPath()));

    // Every window exists, hidden, in its class.
    EXPECT_NE(Form2, nullptr);
    EXPECT_NE(Form13, nullptr);
    EXPECT_TRUE(Form13->isHidden());
    EXPECT_EQ(Form13->windowTitle(), QStringLiteral("Link properties"));
}

TEST_F(MainWindowTest, StoredSettingsShapeTheWindow) {
    struct Case {
        const char *settings;
        int volume;
        bool editShown;
        int height;
        bool playlist;
    };
    const Case cases[] = {
        {"[Volume]\nDefault=150\n", 100, true, 584, true},
        {"[Volume]\nDefault=-5\n", 0, true, 584, true},
        {"[Volume]\nDefault=75\n[main]\nURLMode=Item\n", 75, false, 584, true},
        {"[main]\nURLMode=item\n", 0, true, 584, true},
        {"[design]\nheightform=318\nplaylist=0\n", 0, true, 284, false},
        {"[design]\nheightform=0x26A\nplaylist=2\n", 0, true, 584, true},
        {"[design]\nheightform=tall\nplaylist=no\n", 0, true, 584, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        putSettings(c.settings);
        start();
        EXPECT_EQ(Form1->JvTrackBar1->value(), c.volume);
        EXPECT_EQ(Form1->VolPerLbl->text(), QString::number(c.volume) + u'%');
        EXPECT_EQ(!Form1->JvEdit1->isHidden(), c.editShown);
        EXPECT_EQ(Form1->JvComboBox1->isHidden(), c.editShown);
        EXPECT_EQ(Form1->height(), c.height);
        EXPECT_EQ(!Form1->JvPlaylist1->isHidden(), c.playlist);
        DestroyWindowSet();
    }
}

TEST_F(MainWindowTest, ControlsSitAtTheirPlaces) {
    start();
    struct Case {
        QWidget *control;
        QRect geometry;
    };
    const Case cases[] = {
        {Form1->PaintBox1, QRect(176, 8, 105, 49)},
        {Form1->JvEdit1, QRect(64, 96, 217, 19)},
        {Form1->JvComboBox1, QRect(64, 96, 217, 21)},
        {Form1->JvFilenameEdit1, QRect(72, 128, 209, 19)},
        {Form1->JvTrackBar1, QRect(40, 152, 249, 25)},
        {Form1->JvBitBtn1, QRect(8, 232, 75, 25)},
        {Form1->JvBitBtn2, QRect(88, 232, 75, 25)},
        {Form1->JvBitBtn3, QRect(168, 232, 75, 25)},
        {Form1->JvPlaylist1, QRect(8, 264, 273, 289)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.control->metaObject()->className());
        EXPECT_EQ(c.control->geometry(), c.geometry);
    }
    EXPECT_EQ(Form1->JvLabel3->pos(), QPoint(8, 96));
    EXPECT_EQ(Form1->JvLabel3->text(), QStringLiteral("Add URL:"));
    EXPECT_EQ(Form1->JvLabel4->text(), QStringLiteral("Add Playlist:"));
    EXPECT_EQ(Form1->CPULabel->pos(), QPoint(8, 560));
    EXPECT_EQ(Form1->SecLbl->pos(), QPoint(192, 200));
    EXPECT_EQ(Form1->JvBitBtn1->text(), QStringLiteral("Play"));
    EXPECT_EQ(Form1->JvComboBox1->count(), 3);
    EXPECT_EQ(Form1->JvComboBox1->currentIndex(), 0);
    // The captions fit beside the controls they label.
    EXPECT_LE(Form1->JvLabel3->geometry().right(), 64);
    EXPECT_LE(Form1->JvLabel4->geometry().right(), 72);
}

TEST_F(MainWindowTest, MainMenuItemsInOrder) {
    start();
    QStringList items;
    for (QAction *action : Form1->PopupMenu1->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(items, (QStringList{"Help", "Settings...", "Close to tray", "Record", "Language",
                                  "Web Streaming", "Format", "Plugins", "Equalizer", "History", "-",
                                  "What's new...", "-", "About", "Updates...", "-", "Exit"}));
    EXPECT_EQ(Form1->CoolTrayIcon1->Menu(), Form1->PopupMenu1);
    EXPECT_TRUE(Form1->CoolTrayIcon1->Visible());
    EXPECT_EQ(Form1->Changecolor1->text(), QStringLiteral("Change color..."));
    EXPECT_EQ(Form1->Streaminfo1->text(), QStringLiteral("Stream info"));
    EXPECT_EQ(Form1->SaveURL1->text(), QStringLiteral("Save URL..."));
}

TEST_F(MainWindowTest, FormatItemsAreExclusiveAndChooseTheCall) {
    start();
    EXPECT_TRUE(Form1->MP3MP41->isChecked());
    Form1->AAC1->trigger();
    EXPECT_EQ(Form1->MarkedFormat(), playback::StreamFormat::Aac);
    EXPECT_FALSE(Form1->MP3MP41->isChecked());
    Form1->AAC1->trigger(); // clicking the marked item keeps it marked
    EXPECT_TRUE(Form1->AAC1->isChecked());
    Form1->AC31->trigger();
    EXPECT_EQ(Form1->MarkedFormat(), playback::StreamFormat::Ac3);
    EXPECT_FALSE(Form1->AAC1->isChecked());
}

TEST_F(MainWindowTest, PlayBeforeAnythingWasTypedOpensNothing) {
    start();
    QTest::mouseClick(Form1->JvBitBtn1, Qt::LeftButton);
    EXPECT_EQ(CurrentChannel, 0u);
    EXPECT_EQ(Form1->JvLabel1->text(), QString());
    EXPECT_TRUE(Form11->History().isEmpty());
}

TEST_F(MainWindowTest, AnAddressThatCannotBeOpenedStillMakesAHistoryLine) {
    testsupport::HttpResponse notFound;
    notFound.status = 404;
    notFound.reason = "Not Found";
    testsupport::LoopbackServer server(notFound);
    start();
    const QString address = QString::fromStdString(server.Url("/missing"));
    typeAddress(address);
    const auto shown = testsupport::AnswerMessageBox();
    QTest::mouseClick(Form1->JvBitBtn1, Qt::LeftButton);
    QTest::mouseClick(Form1->JvBitBtn1, Qt::LeftButton);
    EXPECT_EQ(CurrentChannel, 0u);
    EXPECT_EQ(CurrentURL, address);
    EXPECT_EQ(Form1->JvLabel1->text(), QString());
    ASSERT_EQ(Form11->History().size(), 2);
    EXPECT_TRUE(Form11->History()[0].endsWith(QStringLiteral(" Added ") + address));
    EXPECT_EQ(shown->count, 0); // no message for a library failure
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(MainWindowTest, VolumeSliderSetsTheLabel) {
    start();
    Form1->JvTrackBar1->setValue(75);
    EXPECT_EQ(Form1->VolPerLbl->text(), QStringLiteral("75%"));
    QTest::keyClick(Form1->JvTrackBar1, Qt::Key_Home);
    EXPECT_EQ(Form1->VolPerLbl->text(), QStringLiteral("0%"));
}

TEST_F(MainWindowTest, PlaylistFileShowsEntriesWithoutExtensions) {
    const QString list = dir.filePath(QStringLiteral("stations.pls"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("first.mp3\r\nsecond.aac\r\nhttp://radio.example/third.m3u\r\n");
    file.close();
    start();
    testsupport::AnswerFileDialog(list);
    emit Form1->JvFilenameEdit1->ButtonClick();
    EXPECT_EQ(Form1->JvFilenameEdit1->text(), list);
    EXPECT_EQ(Form1->JvPlaylist1->Items(),
              (QStringList{"first", "second", "http://radio.example/third"}));

    // Cancelling changes nothing.
    testsupport::AnswerFileDialog(QString());
    emit Form1->JvFilenameEdit1->ButtonClick();
    EXPECT_EQ(Form1->JvPlaylist1->Items().size(), 3);
}

TEST_F(MainWindowTest, AnUnreadablePlaylistShowsTheErrorAndChangesNothing) {
    const QString list = dir.filePath(QStringLiteral("locked.m3u"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("a.mp3\n");
    file.close();
    start();
    // Gone between choosing and reading.
    testsupport::AnswerFileDialog(list, [list] { QFile::remove(list); });
    const auto shown = testsupport::AnswerMessageBox();
    emit Form1->JvFilenameEdit1->ButtonClick();
    EXPECT_EQ(shown->count, 1);
    EXPECT_TRUE(shown->text.contains(list)) << shown->text.toStdString();
    EXPECT_EQ(shown->title, QStringLiteral("Velotune Player"));
    EXPECT_TRUE(Form1->JvFilenameEdit1->text().isEmpty());
    EXPECT_TRUE(Form1->JvPlaylist1->Items().isEmpty());
}

TEST_F(MainWindowTest, SaveUrlWritesTheStationList) {
    start();
    const QString path = dir.filePath(QStringLiteral("saved.m3u8"));
    testsupport::AnswerFileDialog(path);
    Form1->SaveURL1->trigger();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 3);
}

TEST_F(MainWindowTest, CloseToTrayAndBack) {
    start();
    Form1->show();
    Form1->Closetotray1->trigger();
    // The offscreen platform has no tray: the window is minimised, not lost.
    EXPECT_TRUE(Form1->isMinimized() || Form1->isHidden());
    Form1->CoolTrayIcon1Click();
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_FALSE(Form1->isMinimized());
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheProgram) {
    start();
    Form1->show();
    QTimer::singleShot(0, [] { Form1->close(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); }); // the deadline
    EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(MainWindowTest, StatusRefreshWithoutAChannel) {
    start();
    Form1->JvTimer1Timer();
    EXPECT_FALSE(Form1->DateTimeLbl->text().isEmpty());
    EXPECT_EQ(Form1->JvLabel6->text(), QString());
    EXPECT_EQ(Form1->SecLbl->text(), QStringLiteral("00:00:00"));
    EXPECT_EQ(Form1->JvLabel2->text(), QStringLiteral("0 kbps"));
    EXPECT_TRUE(Form1->CPULabel->text().startsWith(QStringLiteral("CPU Using: ")));
    // The resting marks, five rows above the bottom of the box.
    const QImage &canvas = Form1->PaintBox1->Canvas();
    ASSERT_EQ(canvas.size(), QSize(105, 49));
    EXPECT_EQ(canvas.pixel(0, 49 - 5), qRgb(255, 255, 0));
    EXPECT_EQ(canvas.pixel(0, 49 - 6), qRgb(0, 0, 0));
}

} // namespace
