#pragma once

// A list of text lines drawn as stacked bands of a fixed height, each with a
// raised 3D frame and its text centred on one line. The panel never scrolls
// or grows: entries below its bottom edge stay in the list, out of sight.
// While the left button is held over an entry that band looks pressed.
// User-interface thread only.

#include <QStringList>
#include <QWidget>

namespace platform {

class ItemsPanel : public QWidget {
    Q_OBJECT

public:
    explicit ItemsPanel(QWidget *parent, int itemHeight_px = 32);

    const QStringList &Items() const { return items_; }
    void Append(const QString &item);
    void Clear();
    int ItemHeight() const { return itemHeight_; }

    // The entry under `pos` (panel coordinates), or -1 below the last one.
    int ItemAt(const QPoint &pos) const;
    // The entry drawn pressed, or -1.
    int PressedItem() const { return pressed_; }

signals:
    // Right button: `item` is the entry under the pointer, or -1.
    void ContextMenuRequested(const QPoint &globalPos, int item);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void setPressed(int item);

    QStringList items_;
    int itemHeight_;
    int pressed_ = -1;
};

} // namespace platform
