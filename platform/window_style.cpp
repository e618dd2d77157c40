#include "platform/window_style.h"

#include <QApplication>
#include <QDialog>
#include <QScreen>

namespace platform {

void SetFixedWindow(QWidget *window, Border border, int width, int height) {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (border == Border::SingleFixed)
        flags |= Qt::WindowMinimizeButtonHint;
    else
        flags |= Qt::Dialog;
    window->setWindowFlags(flags);
    window->setFixedSize(width, height);
}

void CenterOnScreen(QWidget *window) {
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void ShowModal(QDialog *window) {
    if (!window->property("velotune_shown").toBool()) {
        window->setProperty("velotune_shown", true);
        CenterOnScreen(window);
    }
    window->exec();
}

void SetBlackWindow(QWidget *window) {
    QPalette colours = window->palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, Qt::white);
    window->setPalette(colours);
    window->setAutoFillBackground(true);
    window->setFont(PixelFont(11));
}

QFont PixelFont(int pixels, bool bold) {
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace platform
