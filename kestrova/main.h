#pragma once

// The update center's only window (unit main of the Kestrova program): a
// list of updates to tick, a box for an update's description and the
// install and cancel buttons. Nothing fills the list or acts on the buttons,
// and the program never touches the network.

#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

namespace platform {
class Label;
}

namespace kestrova {

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);

    QGroupBox *JvGroupBox1;
    platform::Label *JvLabel1;
    platform::Label *JvLabel2;
    QListWidget *JvCheckListBox1;
    platform::Label *JvLabel3;
    QPlainTextEdit *JvMemo1;
    QPushButton *JvBitBtn1;
    QPushButton *JvBitBtn2;
};

} // namespace kestrova
