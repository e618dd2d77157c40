#include "playback/equa.h"

#include "platform/window_style.h"

TForm10 *Form10 = nullptr;

TForm10::TForm10(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form10"));
    setWindowTitle(QStringLiteral("Equalizer"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 322, 304);
}
