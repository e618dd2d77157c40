#include "playback/strinfo.h"

#include "platform/window_style.h"

TForm9 *Form9 = nullptr;

TForm9::TForm9(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("Stream info"));
    platform::SetFixedWindow(this, platform::Border::Dialog, 271, 223);
}
