// The player's program body: sets the application title, creates the
// thirteen windows in their fixed order before any is shown (later creation
// handlers rely on what earlier ones set up), then runs the message loop
// until "Exit" is chosen or the main window is closed.

#include <QApplication>

#include "app/main.h"
#include "app/window_set.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velotune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velotune Player"));
    QApplication::setWindowIcon(ProgramIcon());
    // The program ends with its main window, not with the last visible one:
    // the main window may be hidden in the tray while a dialog closes.
    QApplication::setQuitOnLastWindowClosed(false);

    CreateWindowSet();
    if (!Form1)
        return 1;
    Form1->show();
    const int result = QApplication::exec();
    DestroyWindowSet();
    return result;
}
