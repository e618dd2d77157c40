#include "app/main.h"

#include "platform/window_style.h"

TForm1 *Form1 = nullptr;

TForm1::TForm1(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velotune Player"));
    platform::SetFixedWindow(this, platform::Border::SingleFixed, 288, 584);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);
    setAutoFillBackground(true);
}
