#pragma once

// The recording window: writes what the playing stream plays to a WAV, MP3
// or Ogg Vorbis file. (unit rec)
// User-interface thread only.
//
// The window keeps no recording of its own: Start and Stop address the
// channel CurrentChannel holds when they are pressed, and the progress bar
// shows whatever that channel's encoder is doing.

#include <QDialog>
#include <QPushButton>
#include <QRadioButton>

#include "platform/controls.h"

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget *parent = nullptr);

    QRadioButton *JvRadioButton1; // "MP3"
    QRadioButton *JvRadioButton2; // "WAV"
    QRadioButton *JvRadioButton3; // "OGG"
    platform::Label *JvLabel1;
    platform::FileNameEdit *JvFilenameEdit1;
    platform::ProgressBar *JvProgressBar1;
    QPushButton *JvBitBtn1; // "Start"
    QPushButton *JvBitBtn2; // "Stop"

    void JvBitBtn1Click();
    void JvBitBtn2Click();
    void JvFilenameEdit1ButtonClick();
    // Brings the progress bar up to date with CurrentChannel's encoder.
    void ShowProgress();

private:
    platform::RepeatingTimer *progressTimer_;
};

// The progress bar's text for a recording of `seconds` that has written
// `bytes`: "00:01:23 · 1.9 MB".
QString RecordingProgressText(double seconds, quint64 bytes);

extern TForm3 *Form3;
