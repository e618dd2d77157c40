// The update center's program body: shows its window and ends when it closes.

#include <QApplication>

#include "kestrova/main.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    kestrova::TForm1 window;
    window.show();
    return QApplication::exec();
}
