// The update center's program body: shows its window and ends when it closes.

#include <QApplication>
#include <QIcon>

#include "kestrova/main.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/kestrova/icons/kestrova-%1.png").arg(size),
                     QSize(size, size));
    QApplication::setWindowIcon(icon);
    QApplication::setDesktopFileName(QStringLiteral("kestrova"));
    kestrova::TForm1 window;
    window.show();
    return QApplication::exec();
}
