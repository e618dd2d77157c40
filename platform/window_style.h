#pragma once

#include <QDialog>
#include <QFont>
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

// Moves `window` to the centre of its screen's available area.
void CenterOnScreen(QWidget *window);

// Shows `window` modally and returns when it is closed (hidden). The first
// showing places it at the centre of the screen; later showings keep the
// place and every state it had.
void ShowModal(QDialog *window);

// The look of the program's black windows: black ground, white text, the
// desktop's font at 11 pixels (8 points at 96 dpi).
void SetBlackWindow(QWidget *window);

// The desktop's default (sans-serif) font at `pixels` pixels high.
QFont PixelFont(int pixels, bool bold = false);

} // namespace platform
