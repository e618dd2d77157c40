#pragma once

// The list of changes of each version (unit whatsnew). User-interface thread
// only.

#include <QDialog>
#include <QPushButton>
#include <QTextEdit>

class TForm4 : public QDialog {
    Q_OBJECT

public:
    explicit TForm4(QWidget *parent = nullptr);

    QTextEdit *JvRichEdit1;
    QPushButton *JvBitBtn1;

    void JvBitBtn1Click();
};

extern TForm4 *Form4;
