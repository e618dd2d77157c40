#pragma once

// The link properties window (unit linkprop): the date and the address of a
// history entry. User-interface thread only.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TForm13 : public QDialog {
    Q_OBJECT

public:
    explicit TForm13(QWidget *parent = nullptr);

    QLabel *JvLabel1;
    QLabel *JvLabel2;
    QLineEdit *JvEdit1;
    QLineEdit *JvEdit2;
    QPushButton *JvBitBtn1;

    void JvBitBtn1Click();
};

extern TForm13 *Form13;
