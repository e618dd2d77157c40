// The player's program body: sets the application title, creates the windows
// before any is shown, then runs the message loop until the main window closes
// or the program is told to end.

#include <QApplication>

#include "app/main.h"
#include "platform/error_display.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velotune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velotune Player"));

    platform::RunGuarded([] { Form1 = new TForm1; });
    if (!Form1)
        return 1;
    Form1->setAttribute(Qt::WA_DeleteOnClose);
    Form1->show();
    return QApplication::exec();
}
