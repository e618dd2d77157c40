#include "platform/items_panel.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

namespace platform {

ItemsPanel::ItemsPanel(QWidget *parent, int itemHeight_px)
    : QWidget(parent), itemHeight_(itemHeight_px) {
    setAutoFillBackground(true);
}

void ItemsPanel::Append(const QString &item) {
    items_.append(item);
    update();
}

void ItemsPanel::Clear() {
    items_.clear();
    pressed_ = -1;
    update();
}

int ItemsPanel::ItemAt(const QPoint &pos) const {
    if (pos.y() < 0 || pos.x() < 0 || pos.x() >= width())
        return -1;
    const int item = pos.y() / itemHeight_;
    return item < items_.size() ? item : -1;
}

void ItemsPanel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QColor light = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    const QFontMetrics metrics(font());
    const int leftMargin = metrics.horizontalAdvance(u' ');
    const int rightMargin = 2 * leftMargin;
    painter.setPen(palette().color(QPalette::WindowText));
    for (int i = 0; i < items_.size(); ++i) {
        const int top = i * itemHeight_;
        if (top >= height())
            break;
        const QRect band(0, top, width(), itemHeight_);
        const bool pressed = i == pressed_;
        const QColor &topLeft = pressed ? shadow : light;
        const QColor &bottomRight = pressed ? light : shadow;
        painter.fillRect(band.left(), band.top(), band.width(), 1, topLeft);
        painter.fillRect(band.left(), band.top(), 1, band.height(), topLeft);
        painter.fillRect(band.left(), band.bottom(), band.width(), 1, bottomRight);
        painter.fillRect(band.right(), band.top(), 1, band.height(), bottomRight);
        const QRect text = band.adjusted(leftMargin, 0, -rightMargin, 0);
        const QString shown = metrics.elidedText(items_[i], Qt::ElideRight, text.width());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(text, Qt::AlignCenter | Qt::TextSingleLine, shown);
    }
}

void ItemsPanel::setPressed(int item) {
    if (item == pressed_)
        return;
    pressed_ = item;
    update();
}

void ItemsPanel::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        setPressed(ItemAt(event->position().toPoint()));
}

void ItemsPanel::mouseMoveEvent(QMouseEvent *event) {
    if (event->buttons() & Qt::LeftButton)
        setPressed(ItemAt(event->position().toPoint()));
}

void ItemsPanel::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        setPressed(-1);
}

void ItemsPanel::contextMenuEvent(QContextMenuEvent *event) {
    emit ContextMenuRequested(event->globalPos(), ItemAt(event->pos()));
}

} // namespace platform
