#pragma once

// The about box (unit about): the program's name and version, a note on the
// audio library and the operating system's name. Its version label is the
// running version the update check compares. User-interface thread only.

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>

#include "platform/controls.h"

// The running version text.
inline constexpr char kRunningVersion[] = "1.1.1365";

class TForm5 : public QDialog {
    Q_OBJECT

public:
    explicit TForm5(QWidget *parent = nullptr);

    QLabel *JvImage1;
    platform::Label *JvLabel4;
    platform::Label *JvLabel1;
    platform::Label *JvLabel2;
    QPlainTextEdit *JvMemo1;
    platform::Label *JvLabel3;

private:
    void FormCreate();
};

// The banner: the program's name in white script lettering on dark blue.
QImage AboutBanner();

extern TForm5 *Form5;
