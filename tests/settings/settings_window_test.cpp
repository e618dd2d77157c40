#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main.h"
#include "app/window_set.h"
#include "playback/rec.h"
#include "settings/autostart_entry.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "tests/support/dialogs.h"
#include "tests/support/qt_printers.h"

namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings::OverrideSettingsFilePath(settingsPath());
        settings::RemoveAutostartEntry();
    }

    void TearDown() override {
        DestroyWindowSet();
        settings::OverrideSettingsFilePath(QString());
        settings::RemoveAutostartEntry();
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("rsettings.ini")); }

    void putSettings(const QByteArray &text) const {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QByteArray storedSettings() const {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    platform::IniFile ini() const { return platform::IniFile(settingsPath()); }

    void start() {
        CreateWindowSet();
        ASSERT_NE(Form2, nullptr);
    }

    void restart() {
        DestroyWindowSet();
        start();
    }

    QTemporaryDir dir;
};

TEST_F(SettingsWindowTest, FirstStartWritesNothingAndShowsTheCurrentState) {
    start();
    EXPECT_EQ(Form2->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(Form2->size(), QSize(527, 313));
    EXPECT_FALSE(Form2->JvCheckBox2->isChecked());
    EXPECT_TRUE(Form2->JvRadioButton1->isChecked());
    EXPECT_TRUE(Form2->JvCheckBox3->isChecked()); // the clock is shown
    EXPECT_TRUE(Form2->JvCheckBox6->isChecked()); // automatic updates default on
    EXPECT_FALSE(Form2->JvCheckBox7->isChecked());
    EXPECT_EQ(Form2->JvSpinEdit1->value(), 0);
    EXPECT_EQ(Form2->JvPageControl1->currentIndex(), 0);
    EXPECT_GE(Form2->DevicesBox->count(), 1);
    EXPECT_EQ(Form2->DevicesBox->currentIndex(), 0);
    EXPECT_EQ(Form2->JvComboBox3->count(), 3);
    EXPECT_EQ(Form1->height(), 584);
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(SettingsWindowTest, StoredPlaylistAndModeAreAppliedAtStart) {
    putSettings("[main]\nURLMode=Item\n[design]\nplaylist=0\n");
    start();
    EXPECT_TRUE(Form2->JvCheckBox2->isChecked());
    EXPECT_TRUE(Form2->JvRadioButton2->isChecked());
    EXPECT_TRUE(Form1->JvPlaylist1->isHidden());
    EXPECT_EQ(Form1->height(), 318 - 34);
    EXPECT_EQ(Form1->CPULabel->y(), 264);
    EXPECT_TRUE(Form1->JvEdit1->isHidden());
    EXPECT_FALSE(Form1->JvComboBox1->isHidden());
    EXPECT_EQ(ini().ReadInteger("design", "heightform", 0), 318);
}

TEST_F(SettingsWindowTest, LowerCaseModeMatchesNeither) {
    putSettings("[main]\nURLMode=item\n");
    start();
    EXPECT_TRUE(Form2->JvRadioButton1->isChecked());
    EXPECT_FALSE(Form1->JvEdit1->isHidden());
}

TEST_F(SettingsWindowTest, NoPlaylistBothWays) {
    start();
    QTest::mouseClick(Form2->JvCheckBox2, Qt::LeftButton);
    EXPECT_TRUE(Form1->JvPlaylist1->isHidden());
    EXPECT_EQ(Form1->height(), 318 - 34);
    EXPECT_EQ(Form1->CPULabel->y(), 264);
    EXPECT_FALSE(ini().ReadBool("design", "playlist", true));
    EXPECT_EQ(ini().ReadInteger("design", "heightform", 0), 318);

    Form2->JvCheckBox2->setChecked(false); // set in code: the handler runs too
    EXPECT_FALSE(Form1->JvPlaylist1->isHidden());
    EXPECT_EQ(Form1->height(), 584);
    EXPECT_EQ(Form1->CPULabel->y(), 560);
    EXPECT_TRUE(ini().ReadBool("design", "playlist", false));
    EXPECT_EQ(ini().ReadInteger("design", "heightform", 0), 618);
}

TEST_F(SettingsWindowTest, UrlModeAndClock) {
    start();
    QTest::mouseClick(Form2->JvRadioButton2, Qt::LeftButton);
    EXPECT_TRUE(Form1->JvEdit1->isHidden());
    EXPECT_FALSE(Form1->JvComboBox1->isHidden());
    EXPECT_EQ(ini().ReadString("main", "URLMode", ""), "Item");
    Form2->JvRadioButton1->setChecked(true);
    EXPECT_FALSE(Form1->JvEdit1->isHidden());
    EXPECT_EQ(ini().ReadString("main", "URLMode", ""), "Edit");

    Form2->JvCheckBox3->setChecked(false);
    EXPECT_TRUE(Form1->DateTimeLbl->isHidden());
    EXPECT_FALSE(ini().ReadBool("design", "datetime", true));
    restart();
    EXPECT_FALSE(Form2->JvCheckBox3->isChecked());
    EXPECT_TRUE(Form1->DateTimeLbl->isHidden());
}

TEST_F(SettingsWindowTest, StationsAddClearAndRestore) {
    start();
    QTest::mouseClick(Form2->JvBitBtn1, Qt::LeftButton); // nothing typed: nothing added
    EXPECT_EQ(Form1->JvComboBox1->count(), 3);
    QTest::keyClicks(Form2->JvEdit1, QStringLiteral("http://radio.example/a"));
    QTest::mouseClick(Form2->JvBitBtn1, Qt::LeftButton);
    QTest::mouseClick(Form2->JvBitBtn1, Qt::LeftButton);
    EXPECT_EQ(Form1->JvComboBox1->count(), 5);
    EXPECT_EQ(Form1->JvComboBox1->itemText(4), QStringLiteral("http://radio.example/a"));
    EXPECT_EQ(Form2->JvComboBox3->count(), 5);

    restart();
    EXPECT_EQ(Form1->JvComboBox1->count(), 5);
    EXPECT_EQ(Form1->JvComboBox1->itemText(3), QStringLiteral("http://radio.example/a"));

    QTest::mouseClick(Form2->JvBitBtn2, Qt::LeftButton);
    EXPECT_EQ(Form1->JvComboBox1->count(), 0);
    restart();
    EXPECT_EQ(Form1->JvComboBox1->count(), 0);
    EXPECT_EQ(Form2->JvComboBox3->count(), 0);
}

TEST_F(SettingsWindowTest, StoredStationsWithOddEntries) {
    putSettings("[stations]\nCount=3\nStation1=\nStation2=" + QByteArray(3000, 'x') +
                "\nStation3=http://c.example/\n");
    start();
    ASSERT_EQ(Form1->JvComboBox1->count(), 3);
    EXPECT_EQ(Form1->JvComboBox1->itemText(0), QString());
    EXPECT_EQ(Form1->JvComboBox1->itemText(1).size(), 2047);
    EXPECT_EQ(Form1->JvComboBox1->itemText(2), QStringLiteral("http://c.example/"));
}

TEST_F(SettingsWindowTest, DefaultVolume) {
    start();
    Form2->JvSpinEdit1->setValue(75);
    EXPECT_EQ(Form1->JvTrackBar1->value(), 75);
    EXPECT_EQ(Form1->VolPerLbl->text(), QStringLiteral("75%"));
    EXPECT_EQ(ini().ReadInteger("Volume", "Default", 0), 75);

    // An emptied field is not a number: the message, and nothing changes.
    const auto shown = testsupport::AnswerMessageBox();
    auto *field = Form2->JvSpinEdit1->findChild<QLineEdit *>();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(shown->count, 1);
    EXPECT_EQ(shown->text, QStringLiteral("'' is not a valid integer value."));
    EXPECT_EQ(Form1->JvTrackBar1->value(), 75);
    EXPECT_EQ(ini().ReadInteger("Volume", "Default", 0), 75);

    restart();
    EXPECT_EQ(Form2->JvSpinEdit1->value(), 75);
    EXPECT_EQ(Form1->JvTrackBar1->value(), 75);
}

TEST_F(SettingsWindowTest, OutputDeviceIsStoredByName) {
    start();
    const QString first = Form2->DevicesBox->itemText(0);
    Form2->DevicesBox->setCurrentIndex(0);
    emit Form2->DevicesBox->activated(0);
    EXPECT_EQ(ini().ReadString("Audio", "Device", ""), first);
    restart();
    EXPECT_EQ(Form2->DevicesBox->currentText(), first);

    // A device that went away falls back to the first entry, the default.
    putSettings("[Audio]\nDevice=Unplugged USB headset\n");
    restart();
    EXPECT_EQ(Form2->DevicesBox->currentIndex(), 0);
}

TEST_F(SettingsWindowTest, UpdatesCloseToTrayAndAutostart) {
    start();
    Form2->JvCheckBox6->setChecked(false);
    EXPECT_FALSE(ini().ReadBool("main", "AutoUpdate", true));
    Form2->JvCheckBox1->setChecked(true);
    EXPECT_TRUE(ini().ReadBool("design", "closetotray", false));

    Form2->JvCheckBox7->setChecked(true);
    EXPECT_TRUE(settings::HasAutostartEntry());
    restart();
    EXPECT_FALSE(Form2->JvCheckBox6->isChecked());
    EXPECT_TRUE(Form2->JvCheckBox1->isChecked());
    EXPECT_TRUE(Form2->JvCheckBox7->isChecked());
    Form2->JvCheckBox7->setChecked(false);
    EXPECT_FALSE(settings::HasAutostartEntry());

    // With "Close to tray", the close box keeps the program running.
    Form1->show();
    EXPECT_FALSE(Form1->close());
    EXPECT_TRUE(Form1->isMinimized() || Form1->isHidden());
}

TEST_F(SettingsWindowTest, TreeSelectsPages) {
    start();
    for (int i : {3, 1, 4, 0}) {
        QTreeWidgetItem *node = Form2->JvSettingsTreeView1->topLevelItem(i);
        const QRect place = Form2->JvSettingsTreeView1->visualItemRect(node);
        QTest::mouseClick(Form2->JvSettingsTreeView1->viewport(), Qt::LeftButton, {},
                          place.center());
        EXPECT_EQ(Form2->JvPageControl1->currentIndex(), i);
    }
}

TEST_F(SettingsWindowTest, RussianAndBack) {
    start();
    Form2->LangsBox->setCurrentIndex(1);
    emit Form2->LangsBox->activated(1);
    EXPECT_EQ(Form1->JvLabel3->text(), QStringLiteral("URL:"));
    EXPECT_EQ(Form1->JvLabel4->text(), QStringLiteral("Плейлист:"));
    EXPECT_EQ(Form1->JvBitBtn1->text(), QStringLiteral("Играть"));
    EXPECT_EQ(Form1->JvBitBtn3->text(), QStringLiteral("Пауза"));
    EXPECT_EQ(Form1->Closetotray1->text(), QStringLiteral("Свернуть в трей"));
    EXPECT_EQ(Form1->Record1->text(), QStringLiteral("Запись"));
    EXPECT_EQ(Form1->History1->text(), QStringLiteral("History")); // not in the table
    EXPECT_EQ(Form2->windowTitle(), QStringLiteral("Настройки"));
    EXPECT_EQ(Form3->windowTitle(), QStringLiteral("Запись радио"));
    EXPECT_EQ(Form2->JvPageControl1->tabText(3), QStringLiteral("Обновления"));
    EXPECT_EQ(Form2->JvPageControl1->tabText(4), QStringLiteral("Advanced"));
    EXPECT_EQ(Form2->JvSettingsTreeView1->topLevelItem(0)->text(0), QStringLiteral("Интерфейс"));
    EXPECT_EQ(Form2->JvSettingsTreeView1->topLevelItem(4)->text(0), QStringLiteral("Advanced"));
    EXPECT_EQ(ini().ReadString("lang", "langnow", ""), "RU");

    restart(); // the stored language comes back
    EXPECT_EQ(Form1->JvBitBtn2->text(), QStringLiteral("Стоп"));
    EXPECT_EQ(Form2->LangsBox->currentIndex(), 1);

    Form1->English1->trigger();
    EXPECT_EQ(Form1->JvBitBtn2->text(), QStringLiteral("Stop"));
    EXPECT_EQ(Form2->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(Form2->JvSettingsTreeView1->topLevelItem(0)->text(0), QStringLiteral("Design"));
    EXPECT_EQ(ini().ReadString("lang", "langnow", ""), "EN");
}

TEST_F(SettingsWindowTest, AddedLanguagesDoNothing) {
    start();
    Form2->AddLangBox->setCurrentIndex(1);
    QTest::mouseClick(Form2->JvSpeedButton1, Qt::LeftButton);
    QTest::mouseClick(Form2->JvSpeedButton1, Qt::LeftButton);
    EXPECT_EQ(Form2->LangsBox->count(), 4);
    EXPECT_EQ(Form2->LangsBox->itemText(3), QStringLiteral("German"));
    Form2->LangsBox->setCurrentIndex(2);
    emit Form2->LangsBox->activated(2);
    EXPECT_EQ(Form1->JvBitBtn1->text(), QStringLiteral("Play"));
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(SettingsWindowTest, AFailedWriteStopsTheHandlerAtItsWrite) {
    // The settings folder is replaced by a file while the window is open: no
    // write can succeed, whoever runs the test.
    const QString folder = dir.filePath(QStringLiteral("config"));
    const QString file = folder + QStringLiteral("/rsettings.ini");
    settings::OverrideSettingsFilePath(file);
    start();
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto shown = testsupport::AnswerMessageBox();
    Form2->JvCheckBox2->setChecked(true);
    EXPECT_EQ(shown->text, "Unable to write to " + file + ".");
    EXPECT_TRUE(Form1->JvPlaylist1->isHidden()); // done before the write
    EXPECT_EQ(Form1->CPULabel->y(), 560);        // after it: not done
}

} // namespace
