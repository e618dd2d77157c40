#include "kestrova/main.h"

#include "platform/window_style.h"

namespace kestrova {

TForm1::TForm1(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Центр обновлений Orvanta"));
    platform::SetFixedWindow(this, platform::Border::SingleFixed, 544, 354);
}

} // namespace kestrova
