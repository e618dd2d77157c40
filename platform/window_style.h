#pragma once

#include <QWidget>

namespace platform {

// The border kinds of the program's windows. Neither can be resized or
// maximised; Qt has no dialog frame of its own, so both keep a close box.
enum class Border {
    SingleFixed, // system menu and minimise box
    Dialog,      // system menu only
};

// Gives `window` its border and a fixed client area of `width` x `height`.
void SetFixedWindow(QWidget *window, Border border, int width, int height);

} // namespace platform
