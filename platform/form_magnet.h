#pragma once

// A form magnet: while its window is moved, an edge of the window's outline
// that comes within kMagnetDistance_px of an edge of its screen's work area,
// or of the main window's outline, snaps to it. Where the window system
// places the windows itself (Wayland) it does nothing.
// User-interface thread only.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace platform {

inline constexpr int kMagnetDistance_px = 15;

// Where the top-left corner of a window outline `frame` goes: each axis moved
// to the nearest edge within `distance` pixels, if any. Edges of the work
// area are met from inside; edges of `magnet` (a null rect: none) from either
// side, and only where the two outlines overlap or nearly do on the other
// axis, so a window far above the main window does not line up with it.
QPoint SnapPosition(const QRect &frame, const QRect &work_area, const QRect &magnet,
                    int distance = kMagnetDistance_px);

class FormMagnet : public QObject {
    Q_OBJECT

public:
    // Watches `window`'s moves for as long as both live.
    explicit FormMagnet(QWidget *window);

    // The window every magnet also snaps to; the main window sets itself.
    static void SetMainWindow(QWidget *main_window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window_;
    bool snapping_ = false;
    static QPointer<QWidget> mainWindow_;
};

} // namespace platform
