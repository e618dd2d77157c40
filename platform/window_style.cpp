#include "platform/window_style.h"

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

} // namespace platform
