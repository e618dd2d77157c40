#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main.h"
#include "app/window_set.h"
#include "platform/items_panel.h"
#include "settings/settings_file.h"
#include "tests/support/qt_printers.h"
#include "windows/about.h"
#include "windows/chcolor.h"
#include "windows/linkprop.h"
#include "windows/links.h"
#include "windows/plugin.h"
#include "windows/whatsnew.h"

namespace {

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings::OverrideSettingsFilePath(dir.filePath(QStringLiteral("rsettings.ini")));
        CreateWindowSet();
        ASSERT_NE(Form11, nullptr);
    }
    void TearDown() override {
        DestroyWindowSet();
        settings::OverrideSettingsFilePath(QString());
    }
    QTemporaryDir dir;
};

// The panel as drawn, for pixel checks.
QImage drawn(platform::ItemsPanel *panel) {
    return panel->grab().toImage();
}

TEST(ItemsPanel, BandsFramesAndTheThirteenEntryCase) {
    platform::ItemsPanel panel(nullptr, 32);
    panel.resize(394, 374);
    for (int i = 0; i < 13; ++i)
        panel.Append(QStringLiteral("entry %1").arg(i));
    EXPECT_EQ(panel.Items().size(), 13);
    const QImage image = drawn(&panel);
    const QRgb light = panel.palette().color(QPalette::Light).rgb();
    const QRgb shadow = panel.palette().color(QPalette::Dark).rgb();
    // Band i: raised frame, light on top and left, dark at bottom and right.
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(image.pixel(100, 32 * i), light);
        EXPECT_EQ(image.pixel(0, 32 * i + 10), light);
        EXPECT_EQ(image.pixel(100, 32 * i + 31), shadow);
        EXPECT_EQ(image.pixel(393, 32 * i + 10), shadow);
    }
    // The twelfth band starts at 352 and is cut at 374: its top edge shows,
    // its bottom edge does not.
    EXPECT_EQ(image.pixel(100, 352), light);
    EXPECT_EQ(panel.ItemAt(QPoint(10, 373)), 11);
    EXPECT_EQ(panel.ItemAt(QPoint(10, 32 * 13)), -1);
}

TEST(ItemsPanel, PressedLookFollowsTheHeldButton) {
    platform::ItemsPanel panel(nullptr, 32);
    panel.resize(394, 374);
    panel.Append(QStringLiteral("first"));
    panel.Append(QStringLiteral("second"));
    panel.show();
    const QRgb light = panel.palette().color(QPalette::Light).rgb();
    const QRgb shadow = panel.palette().color(QPalette::Dark).rgb();
    QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(50, 10));
    EXPECT_EQ(panel.PressedItem(), 0);
    EXPECT_EQ(drawn(&panel).pixel(100, 0), shadow); // sunken: dark on top
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 40), panel.mapToGlobal(QPointF(50, 40)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&panel, &move);
    EXPECT_EQ(panel.PressedItem(), 1);
    EXPECT_EQ(drawn(&panel).pixel(100, 0), light);
    QTest::mouseRelease(&panel, Qt::LeftButton, {}, QPoint(50, 40));
    EXPECT_EQ(panel.PressedItem(), -1);
    EXPECT_EQ(drawn(&panel).pixel(100, 32), light);
    // A press below the last entry draws nothing pressed.
    QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(50, 200));
    EXPECT_EQ(panel.PressedItem(), -1);
}

TEST(ItemsPanel, LongTextEndsInAnEllipsisAndAmpersandShows) {
    platform::ItemsPanel panel(nullptr, 32);
    panel.resize(394, 64);
    panel.Append(QString(200, u'W'));
    panel.Append(QStringLiteral("Rock & Roll"));
    // Both rendered through the same elision the paint uses.
    const QFontMetrics metrics(panel.font());
    const QString shown = metrics.elidedText(QString(200, u'W'), Qt::ElideRight,
                                             394 - 3 * metrics.horizontalAdvance(u' '));
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    const QImage image = drawn(&panel);
    // The second band has dark text pixels in its middle: "&" is not a mnemonic.
    bool ink = false;
    for (int x = 150; x < 250 && !ink; ++x)
        ink = qGray(image.pixel(x, 48)) < 100;
    EXPECT_TRUE(ink);
}

TEST_F(WindowsTest, HistoryAppendClearAndProperties) {
    EXPECT_EQ(Form11->windowTitle(), QStringLiteral("History links"));
    Form11->Clearall1Click(); // empty stays empty
    EXPECT_TRUE(Form11->History().isEmpty());
    Form11->AppendHistory(QStringLiteral("11.12.26 Added http://a.example/"));
    Form11->AppendHistory(QStringLiteral("11.12.26 Added http://a.example/"));
    EXPECT_EQ(Form11->History().size(), 2);
    Form11->Clearall1Click();
    Form11->AppendHistory(QStringLiteral("12.12.26 Added http://b.example/live"));
    EXPECT_EQ(Form11->JvItemsPanel1->ItemAt(QPoint(5, 5)), 0);

    // The menu on an entry offers Properties and Play; elsewhere only Clear all.
    Form11->ShowContextMenu(QPoint(0, 0), 0);
    EXPECT_TRUE(Form11->Properties1->isVisible());
    EXPECT_TRUE(Form11->Play1->isVisible());
    Form11->PopupMenu1->hide();
    Form11->ShowContextMenu(QPoint(0, 0), -1);
    EXPECT_FALSE(Form11->Properties1->isVisible());
    Form11->PopupMenu1->hide();

    Form11->ShowContextMenu(QPoint(0, 0), 0);
    Form11->PopupMenu1->hide();
    QTimer::singleShot(0, [] {
        EXPECT_TRUE(Form13->isVisible());
        QTest::mouseClick(Form13->JvBitBtn1, Qt::LeftButton);
    });
    Form11->Properties1->trigger();
    EXPECT_EQ(Form13->JvEdit1->text(), QStringLiteral("12.12.26"));
    EXPECT_EQ(Form13->JvEdit2->text(), QStringLiteral("http://b.example/live"));
    EXPECT_FALSE(Form13->isVisible());
    EXPECT_EQ(Form11->JvStatusBar1->findChild<QLabel *>()->text(),
              QStringLiteral("Added links in player"));
}

TEST_F(WindowsTest, PlayFromTheHistoryAddsALine) {
    Form11->AppendHistory(QStringLiteral("12.12.26 Added http://127.0.0.1:1/none"));
    Form11->ShowContextMenu(QPoint(0, 0), 0);
    Form11->PopupMenu1->hide();
    Form11->Play1->trigger();
    EXPECT_EQ(CurrentURL, QStringLiteral("http://127.0.0.1:1/none"));
    EXPECT_EQ(Form11->History().size(), 2);
}

TEST_F(WindowsTest, AboutShowsSixLinesAndTheVersion) {
    EXPECT_EQ(Form5->JvLabel4->text(), QStringLiteral("1.1.1365"));
    EXPECT_EQ(Form5->JvMemo1->blockCount(), 6);
    const QStringList lines = Form5->JvMemo1->toPlainText().split(u'\n');
    EXPECT_EQ(lines[0], QStringLiteral("The player uses the BASS 2.4.14"));
    EXPECT_TRUE(lines[3].endsWith(QString::fromLatin1(kHomePage)));
    EXPECT_TRUE(lines[5].startsWith(QStringLiteral("OS version: ")));
    EXPECT_EQ(Form5->JvImage1->pixmap().size(), QSize(313, 41));
    QTest::keyClicks(Form5->JvMemo1, QStringLiteral("typed"));
    EXPECT_EQ(Form5->JvMemo1->blockCount(), 6);
}

TEST_F(WindowsTest, WhatsNewHasItsEighteenLines) {
    const QStringList lines = Form4->JvRichEdit1->toPlainText().split(u'\n');
    ASSERT_EQ(lines.size(), 18);
    EXPECT_EQ(lines[0], QStringLiteral("1.1.1347:"));
    EXPECT_EQ(lines[4], QStringLiteral("Now you can select the desired radio from the list and "));
    EXPECT_EQ(lines[17], QStringLiteral("Added support for AC3"));
}

TEST_F(WindowsTest, TheChosenColourReachesTheBarsAndIsStored) {
    ASSERT_EQ(Form7->JvColorComboBox1->count(), 20);
    EXPECT_EQ(Form7->JvColorComboBox1->currentText(), QStringLiteral("Yellow"));
    Form7->JvColorComboBox1->setCurrentIndex(12);
    EXPECT_EQ(Form7->JvColorComboBox1->currentText(), QStringLiteral("Blue"));
    Form7->JvBitBtn1Click();
    std::array<float, 513> data{};
    data[0] = 0.06f;
    Form1->Visualize(data.data(), 0, -5);
    EXPECT_EQ(Form1->PaintBox1->Canvas().size(), QSize(105, 49));
    EXPECT_EQ(Form1->PaintBox1->Canvas().pixel(1, 40), qRgb(0, 0, 255));

    DestroyWindowSet();
    CreateWindowSet();
    EXPECT_EQ(Form1->SpectrumColour, QColor(0, 0, 255));
    EXPECT_EQ(Form7->JvColorComboBox1->currentText(), QStringLiteral("Blue"));
}

TEST_F(WindowsTest, PluginManagerTreeSelectsPages) {
    QTreeWidgetItem *settingsNode = Form8->JvSettingsTreeView1->topLevelItem(1);
    Form8->JvSettingsTreeView1->setCurrentItem(settingsNode);
    Form8->JvSettingsTreeView1Click();
    EXPECT_EQ(Form8->JvPageControl1->currentWidget(), Form8->TabSheet2);
    Form8->JvSettingsTreeView1->setCurrentItem(Form8->JvSettingsTreeView1->topLevelItem(0));
    Form8->JvSettingsTreeView1Click();
    EXPECT_EQ(Form8->JvPageControl1->currentWidget(), Form8->TabSheet1);
}

} // namespace
