#pragma once

// The settings window (unit settings): a tree of five pages on the left and
// the pages on the right. There is no OK or Cancel: every change takes
// effect on the main window at once and is written at once through the
// window's own settings-file object. User-interface thread only.

#include <optional>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include "platform/controls.h"
#include "platform/ini_file.h"

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget *parent = nullptr);

    std::optional<platform::IniFile> SettingsIni;

    QTreeWidget *JvSettingsTreeView1;
    platform::GradientHeader *JvGradientHeaderPanel1;
    QTabWidget *JvPageControl1;
    QWidget *TabSheet1;
    QWidget *TabSheet2;
    QWidget *TabSheet3;
    QWidget *TabSheet4;
    QWidget *TabSheet5;

    // Design
    QCheckBox *JvCheckBox1;
    QCheckBox *JvCheckBox2;
    QGroupBox *JvGroupBox1;
    platform::Label *JvLabel1;
    QComboBox *LangsBox;
    platform::Label *JvLabel2;
    QComboBox *AddLangBox;
    QToolButton *JvSpeedButton1;
    QCheckBox *JvCheckBox3;
    QComboBox *FormatBox;
    QCheckBox *JvCheckBox9; // notify new station titles while the player is hidden
    QGroupBox *JvGroupBox2;
    QRadioButton *JvRadioButton1;
    QRadioButton *JvRadioButton2;

    // Radio
    QGroupBox *JvGroupBox3;
    platform::Label *JvLabel7;
    QComboBox *JvComboBox3;
    platform::Label *JvLabel8;
    QLineEdit *JvEdit1;
    QPushButton *JvBitBtn1;
    QPushButton *JvBitBtn2;

    // Audio
    platform::Label *JvLabel3;
    QComboBox *DevicesBox;
    QCheckBox *JvCheckBox4;
    QCheckBox *JvCheckBox5;
    platform::Label *JvLabel9;
    QSpinBox *JvSpinEdit1;

    // Updates
    platform::Label *JvLabel4;
    platform::Label *JvLabel5;
    QComboBox *JvComboBox1;
    platform::Label *JvLabel6;
    QComboBox *JvComboBox2;
    QCheckBox *JvCheckBox6;

    // Advanced
    QCheckBox *JvCheckBox7;
    QCheckBox *JvCheckBox8;

    void JvSettingsTreeView1Click();
    void JvCheckBox1Click();
    void JvCheckBox2Click();
    void JvCheckBox3Click();
    void JvCheckBox9Click();
    void JvRadioButton1Click();
    void JvRadioButton2Click();
    void JvBitBtn1Click();
    void JvBitBtn2Click();
    void DevicesBoxChange();
    void JvSpinEdit1Change();
    void JvCheckBox6Click();
    void JvCheckBox7Click();
    void LangsBoxChange();
    void JvSpeedButton1Click();

    // Applies the language stored by an earlier run; the main, settings and
    // recording windows must exist.
    void ApplyStoredLanguage();

private:
    void createControls();
    void connectHandlers();
    void FormCreate();
    void showStoredState();
    void storeStations();
};

extern TForm2 *Form2;
