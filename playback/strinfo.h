#pragma once

// The current stream's name, bitrate and server. (unit strinfo)
// User-interface thread only.
//
// The lines are rewritten once a second from CurrentChannel, from creation
// on and also while the window is hidden, so opening it shows values at
// most a second old.

#include <QDialog>
#include <QPushButton>

#include "platform/controls.h"

class TForm9 : public QDialog {
    Q_OBJECT

public:
    explicit TForm9(QWidget *parent = nullptr);

    platform::Label *JvLabel1; // "Name: " and the stream's metadata text
    platform::Label *JvLabel2; // "Bitrate: <n> kbps"
    platform::Label *JvLabel3; // "Server: " and the station or its host
    QPushButton *JvBitBtn1;
    platform::RepeatingTimer *JvTimer1;

    void JvTimer1Timer();
    void JvBitBtn1Click();
};

extern TForm9 *Form9;
