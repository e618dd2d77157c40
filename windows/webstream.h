#pragma once

// The web radio window (unit webstream): serves the sound card's input to
// listeners on the network as a Windows Media audio stream. Play copies the
// fields into the streaming output's settings and starts it; Stop ends the
// stream, Pause sends silence until pressed again. A status line tells what
// the output is doing. User-interface thread only.

#include <memory>

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "broadcast/streamed_out.h"
#include "platform/controls.h"

class TForm6 : public QDialog {
    Q_OBJECT

public:
    explicit TForm6(QWidget *parent = nullptr);
    ~TForm6() override;

    platform::GradientHeader *JvGradientHeaderPanel1;
    platform::Label *JvLabel1;
    platform::FileNameEdit *JvFilenameEdit1;
    platform::Label *JvLabel2;
    QLineEdit *JvEdit1;
    platform::Label *JvLabel3;
    QLineEdit *JvEdit2;
    platform::Label *JvLabel4;
    QComboBox *BitrateBox;
    platform::Label *JvLabel5;
    QPushButton *JvBitBtn1;
    QPushButton *JvBitBtn2;
    QPushButton *JvBitBtn3;
    platform::Label *StatusLbl;

    // The capture first: the output reads it until it stops.
    std::unique_ptr<broadcast::TDXAudioIn> DXAudioIn1;
    broadcast::TWMStreamedOut WMStreamedOut1;

    void JvBitBtn1Click();
    void JvBitBtn2Click();
    void JvBitBtn3Click();
    void JvFilenameEdit1ButtonClick();

    // Replaces the capture (tests inject a generated tone); only while idle.
    void UseCapture(std::unique_ptr<broadcast::TDXAudioIn> capture);

private:
    void showStatus();
};

extern TForm6 *Form6;
