#pragma once

// Small controls the program's windows need that Qt lacks in this shape.
// User-interface thread only.

#include <QImage>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QSlider>
#include <QStringListModel>
#include <QTimer>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QToolButton;

namespace platform {

// A push button with black text at `geometry`, as the black windows have
// them (their white window text would vanish on the button face).
QPushButton *BlackTextButton(QWidget *parent, const QString &caption, const QRect &geometry);

// The flat look of an edit on a black window: black field, white text.
void SetFlatBlack(QWidget *edit);

// Condenses `widget`'s font just enough for `text` plus `extra_px` (a check
// box's indicator, say) to fit in `width_px`: the layouts were measured for a
// narrower face than most desktops use. Never below three quarters.
void CondenseToFit(QWidget *widget, const QString &text, int width_px, int extra_px = 0);

// A label that sizes itself to its text, as plain text (a station's metadata
// is shown as received, never interpreted as markup). With a fit width, a
// text wider than it is condensed to fit: the layouts were measured for a
// narrower face than most desktops use.
class Label : public QLabel {
    Q_OBJECT

public:
    explicit Label(QWidget *parent, int left, int top, const QString &text = QString());
    void setText(const QString &text);
    void SetFitWidth(int width_px);

private:
    int fitWidth_ = 0;
};

// A box the program draws into between paints: the drawing is kept in an
// image the size of the box and shown by every repaint.
class PaintBox : public QWidget {
    Q_OBJECT

public:
    explicit PaintBox(QWidget *parent);
    // The canvas; draw into it, then call update().
    QImage &Canvas();

signals:
    void ContextMenuRequested(const QPoint &globalPos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QImage canvas_;
};

// A read-only path edit with a browse button beside it. The button only
// raises ButtonClick; the owner runs its dialog.
class FileNameEdit : public QWidget {
    Q_OBJECT

public:
    explicit FileNameEdit(QWidget *parent);
    QString text() const;
    void setText(const QString &text);
    QLineEdit *Edit() const { return edit_; }
    QToolButton *Button() const { return button_; }

signals:
    void ButtonClick();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLineEdit *edit_;
    QToolButton *button_;
};

// A list of text entries, fast for very long lists, that raises Click when
// the user clicks anywhere in it with the left button.
class PlaylistBox : public QListView {
    Q_OBJECT

public:
    explicit PlaylistBox(QWidget *parent);
    void SetItems(const QStringList &items);
    QStringList Items() const { return model_.stringList(); }

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QStringListModel model_;
};

// A header panel: a caption in bold white, left-aligned, on a horizontal
// gradient between two colours.
class GradientHeader : public QWidget {
    Q_OBJECT

public:
    GradientHeader(QWidget *parent, const QString &caption, const QColor &from = QColor(0, 0, 128),
                   const QColor &to = QColor(0, 0, 128));
    QString Caption() const { return caption_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString caption_;
    QColor from_;
    QColor to_;
};

// A repeating timer whose next period counts from the end of the previous
// tick: ticks never queue up behind a busy user-interface thread, and they
// keep coming while modal windows run their own loops. The first tick comes
// one period after creation, or with `first_at_once` as soon as the thread
// next services its timers.
class RepeatingTimer : public QObject {
    Q_OBJECT

public:
    RepeatingTimer(QObject *parent, int interval_ms, bool first_at_once = false);

signals:
    void Timer();

private:
    void tick();

    QTimer timer_;
    int interval_ms_;
};

// A progress bar that also shows its text while it is a busy indicator
// (minimum and maximum both 0), where Qt's styles leave the text out.
class ProgressBar : public QProgressBar {
    Q_OBJECT

public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A vertical slider from `minimum` (bottom) to `maximum` (top) whose arrow
// keys step to multiples of `increment`: with r the value over the
// increment rounded to the nearest whole number (halves to the even one),
// up and right set increment * (r + 1), down and left increment * (r - 1),
// each kept within the range; Home sets the minimum, End the maximum.
// Dragging yields every whole value on the way. valueChanged comes once per
// change, whatever made it.
class Slider : public QSlider {
    Q_OBJECT

public:
    Slider(QWidget *parent, int minimum, int maximum, int increment);

    // The value the arrow keys step to from `value`, `direction` +1 or -1.
    static int Step(int value, int direction, int increment, int minimum, int maximum);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    int increment_;
};

} // namespace platform
