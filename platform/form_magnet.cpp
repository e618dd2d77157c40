#include "platform/form_magnet.h"

#include <cstdlib>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

namespace platform {

QPointer<QWidget> FormMagnet::mainWindow_;

namespace {

// The edge positions of one axis, ends exclusive.
struct Span {
    int begin;
    int end;
};

// The new start of `window` on one axis, `window` unchanged when no target
// edge is within `distance`.
int snapAxis(Span window, Span work, Span magnet, bool use_magnet, int distance) {
    const int size = window.end - window.begin;
    int best = window.begin;
    int bestGap = distance + 1;
    auto consider = [&](int edge, int target, int start) {
        const int gap = std::abs(edge - target);
        if (gap < bestGap) {
            bestGap = gap;
            best = start;
        }
    };
    consider(window.begin, work.begin, work.begin);
    consider(window.end, work.end, work.end - size);
    if (use_magnet) {
        consider(window.begin, magnet.end, magnet.end);
        consider(window.begin, magnet.begin, magnet.begin);
        consider(window.end, magnet.begin, magnet.begin - size);
        consider(window.end, magnet.end, magnet.end - size);
    }
    return best;
}

bool nearlyOverlap(Span a, Span b, int distance) {
    return a.begin <= b.end + distance && b.begin <= a.end + distance;
}

} // namespace

QPoint SnapPosition(const QRect &frame, const QRect &work_area, const QRect &magnet, int distance) {
    const Span fx{frame.left(), frame.left() + frame.width()};
    const Span fy{frame.top(), frame.top() + frame.height()};
    const Span wx{work_area.left(), work_area.left() + work_area.width()};
    const Span wy{work_area.top(), work_area.top() + work_area.height()};
    const Span mx{magnet.left(), magnet.left() + magnet.width()};
    const Span my{magnet.top(), magnet.top() + magnet.height()};
    const bool hasMagnet = !magnet.isNull();
    return {snapAxis(fx, wx, mx, hasMagnet && nearlyOverlap(fy, my, distance), distance),
            snapAxis(fy, wy, my, hasMagnet && nearlyOverlap(fx, mx, distance), distance)};
}

FormMagnet::FormMagnet(QWidget *window) : QObject(window), window_(window) {
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        window->installEventFilter(this);
}

void FormMagnet::SetMainWindow(QWidget *main_window) {
    mainWindow_ = main_window;
}

bool FormMagnet::eventFilter(QObject *watched, QEvent *event) {
    if (watched != window_ || event->type() != QEvent::Move || snapping_ || !window_->isVisible())
        return false;
    const QScreen *screen = window_->screen();
    if (screen == nullptr)
        return false;
    QRect magnet;
    if (mainWindow_ && mainWindow_ != window_ && mainWindow_->isVisible() &&
        !mainWindow_->isMinimized())
        magnet = mainWindow_->frameGeometry();
    const QRect frame = window_->frameGeometry();
    const QPoint snapped = SnapPosition(frame, screen->availableGeometry(), magnet);
    if (snapped != frame.topLeft()) {
        snapping_ = true;
        window_->move(snapped);
        snapping_ = false;
    }
    return false;
}

} // namespace platform
