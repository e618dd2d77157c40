#pragma once

// The plugin manager (unit plugin): two pages chosen from a tree. No
// control acts on anything yet. User-interface thread only.

#include <QCheckBox>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include "platform/controls.h"

class TForm8 : public QDialog {
    Q_OBJECT

public:
    explicit TForm8(QWidget *parent = nullptr);

    QTreeWidget *JvSettingsTreeView1;
    platform::GradientHeader *JvGradientHeaderPanel1;
    QTabWidget *JvPageControl1;
    QWidget *TabSheet1;
    platform::Label *JvLabel1;
    QListWidget *JvListBox1;
    QPushButton *JvBitBtn1;
    QPushButton *JvBitBtn2;
    QPushButton *JvBitBtn3;
    QWidget *TabSheet2;
    QCheckBox *JvCheckBox1;
    QCheckBox *JvCheckBox2;

    void JvSettingsTreeView1Click();
};

extern TForm8 *Form8;
