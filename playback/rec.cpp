#include "playback/rec.h"

#include "platform/window_style.h"

TForm3 *Form3 = nullptr;

TForm3::TForm3(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Record Radio"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 274, 140);
}
