#include "platform/controls.h"

#include <algorithm>
#include <cmath>

#include <QKeyEvent>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

namespace platform {

Label::Label(QWidget *parent, int left, int top, const QString &text) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    move(left, top);
    setText(text);
}

QPushButton *BlackTextButton(QWidget *parent, const QString &caption, const QRect &geometry) {
    auto *button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    QPalette colours = button->palette();
    colours.setColor(QPalette::ButtonText, Qt::black);
    button->setPalette(colours);
    return button;
}

void SetFlatBlack(QWidget *edit) {
    edit->setStyleSheet(
        QStringLiteral("background: black; color: white; border: 1px solid #808080;"));
}

void CondenseToFit(QWidget *widget, const QString &text, int width_px, int extra_px) {
    constexpr int kNarrowest = 75;
    QFont condensed = widget->font();
    condensed.setStretch(QFont::Unstretched);
    const int natural = QFontMetrics(condensed).horizontalAdvance(text);
    const int room = width_px - extra_px;
    if (natural > room && room > 0)
        condensed.setStretch(std::max(kNarrowest, 100 * room / natural));
    widget->setFont(condensed);
}

void Label::setText(const QString &text) {
    QLabel::setText(text);
    if (fitWidth_ > 0)
        CondenseToFit(this, text, fitWidth_);
    adjustSize();
}

void Label::SetFitWidth(int width_px) {
    fitWidth_ = width_px;
    setText(text());
}

PaintBox::PaintBox(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { emit ContextMenuRequested(mapToGlobal(pos)); });
}

QImage &PaintBox::Canvas() {
    // A hidden box has had no resize event yet: size the canvas on demand.
    if (canvas_.size() != size())
        resizeEvent(nullptr);
    return canvas_;
}

void PaintBox::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.drawImage(0, 0, canvas_);
}

void PaintBox::resizeEvent(QResizeEvent *) {
    QImage resized(size(), QImage::Format_RGB32);
    resized.fill(Qt::black);
    QPainter painter(&resized);
    painter.drawImage(0, 0, canvas_);
    canvas_ = resized;
}

FileNameEdit::FileNameEdit(QWidget *parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    edit_->setReadOnly(true);
    button_->setText(QStringLiteral("…"));
    button_->setFocusPolicy(Qt::NoFocus);
    connect(button_, &QToolButton::clicked, this, &FileNameEdit::ButtonClick);
}

QString FileNameEdit::text() const {
    return edit_->text();
}

void FileNameEdit::setText(const QString &text) {
    edit_->setText(text);
}

void FileNameEdit::resizeEvent(QResizeEvent *) {
    const int side = height();
    edit_->setGeometry(0, 0, width() - side, height());
    button_->setGeometry(width() - side, 0, side, side);
}

PlaylistBox::PlaylistBox(QWidget *parent) : QListView(parent) {
    setModel(&model_);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void PlaylistBox::SetItems(const QStringList &items) {
    model_.setStringList(items);
}

void PlaylistBox::mouseReleaseEvent(QMouseEvent *event) {
    QListView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton &&
        viewport()->rect().contains(event->position().toPoint()))
        emit Click();
}

GradientHeader::GradientHeader(QWidget *parent, const QString &caption, const QColor &from,
                               const QColor &to)
    : QWidget(parent), caption_(caption), from_(from), to_(to) {}

void GradientHeader::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, width(), 0);
    gradient.setColorAt(0, from_);
    gradient.setColorAt(1, to_);
    painter.fillRect(rect(), gradient);
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(8, 0, -8, 0), Qt::AlignLeft | Qt::AlignVCenter, caption_);
}

RepeatingTimer::RepeatingTimer(QObject *parent, int interval_ms, bool first_at_once)
    : QObject(parent), interval_ms_(interval_ms) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &RepeatingTimer::tick);
    timer_.start(first_at_once ? 0 : interval_ms_);
}

void RepeatingTimer::tick() {
    emit Timer();
    timer_.start(interval_ms_);
}

void ProgressBar::paintEvent(QPaintEvent *event) {
    QProgressBar::paintEvent(event);
    if (minimum() != 0 || maximum() != 0 || format().isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(rect(), Qt::AlignCenter, format());
}

Slider::Slider(QWidget *parent, int minimum, int maximum, int increment)
    : QSlider(Qt::Vertical, parent), increment_(increment) {
    setRange(minimum, maximum);
    setSingleStep(1);
    setPageStep(increment);
    setTracking(true);
}

int Slider::Step(int value, int direction, int increment, int minimum, int maximum) {
    // nearbyint rounds halves to the even neighbour in the default mode.
    const auto r = static_cast<int>(std::nearbyint(static_cast<double>(value) / increment));
    return std::clamp(increment * (r + direction), minimum, maximum);
}

void Slider::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        setValue(Step(value(), +1, increment_, minimum(), maximum()));
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
        setValue(Step(value(), -1, increment_, minimum(), maximum()));
        break;
    case Qt::Key_Home:
        setValue(minimum());
        break;
    case Qt::Key_End:
        setValue(maximum());
        break;
    default:
        QSlider::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace platform
