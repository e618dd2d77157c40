// A probe loaded into the unchanged player with LD_PRELOAD by player_bench.
// It reports on a file descriptor when the main window ("Form1") is first
// exposed, and, when asked, plays a station as a user would: types the
// address into the address field and clicks Play, then reports the main
// window's label texts every few seconds so the bench can see it playing.
//
// Environment (all read once, on the user-interface thread):
//   VELOTUNE_PROBE_FD    the descriptor the report lines go to (required)
//   VELOTUNE_PROBE_PLAY  a station address to play once the window is shown
//
// Report lines, times from the steady clock in nanoseconds:
//   shown <ns>            the main window's first expose event
//   painted <ns>          the first turn of the event loop after it
//   played <ns>           Play has been clicked
//   labels <ns> <texts>   the visible label texts, separated by " | "

#include <chrono>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <unistd.h>

namespace {

constexpr int kLabelsEvery_ms = 5000;

long long nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void report(const std::string &line) {
    static const int fd = [] {
        const char *value = std::getenv("VELOTUNE_PROBE_FD");
        return value != nullptr ? std::atoi(value) : -1;
    }();
    if (fd < 0)
        return;
    const std::string text = line + '\n';
    // One write per line keeps lines whole on the pipe (below PIPE_BUF).
    [[maybe_unused]] const ssize_t written = write(fd, text.data(), text.size());
}

QWidget *mainWindow() {
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QStringLiteral("Form1"))
            return widget;
    return nullptr;
}

void reportLabels(QWidget *window) {
    QStringList texts;
    for (QLabel *label : window->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
        if (label->isVisible() && !label->text().isEmpty())
            texts << label->text();
    report("labels " + std::to_string(nowNanos()) + ' ' +
           texts.join(QStringLiteral(" | ")).toStdString());
}

// The address field is the main window's own visible line edit (the
// playlist field's edit belongs to a child widget); Play is the button
// captioned so.
void play(QWidget *window, const QString &address) {
    QLineEdit *field = nullptr;
    for (QLineEdit *edit : window->findChildren<QLineEdit *>(Qt::FindDirectChildrenOnly))
        if (edit->isVisible())
            field = edit;
    QPushButton *button = nullptr;
    for (QPushButton *candidate : window->findChildren<QPushButton *>())
        if (candidate->text() == QStringLiteral("Play"))
            button = candidate;
    if (field == nullptr || button == nullptr) {
        report("error no address field or Play button");
        return;
    }
    field->setFocus();
    QTest::keyClicks(field, address);
    QTest::mouseClick(button, Qt::LeftButton);
    report("played " + std::to_string(nowNanos()));
    auto *timer = new QTimer(window);
    QObject::connect(timer, &QTimer::timeout, window, [window] { reportLabels(window); });
    timer->start(kLabelsEvery_ms);
}

class ShownProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (!seen_ && event->type() == QEvent::Expose) {
            auto *window = qobject_cast<QWindow *>(watched);
            QWidget *main = mainWindow();
            if (window != nullptr && main != nullptr && main->windowHandle() == window &&
                window->isExposed()) {
                seen_ = true;
                report("shown " + std::to_string(nowNanos()));
                QTimer::singleShot(0, main, [main] {
                    report("painted " + std::to_string(nowNanos()));
                    const char *address = std::getenv("VELOTUNE_PROBE_PLAY");
                    if (address != nullptr && *address != '\0')
                        play(main, QString::fromUtf8(address));
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

void installProbe() {
    QCoreApplication *application = QCoreApplication::instance();
    application->installEventFilter(new ShownProbe(application));
}

// Runs when the preloaded library is loaded, before the player's main():
// the routine runs once the application object exists.
[[maybe_unused]] const bool kRegistered = [] {
    qAddPreRoutine(installProbe);
    return true;
}();

} // namespace
