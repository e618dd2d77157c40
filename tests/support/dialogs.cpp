#include "tests/support/dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

namespace testsupport {

namespace {

// Runs `answer` on the next modal widget of type W once it is shown, for as
// long as `wanted` holds.
template <typename W, typename Answer, typename Wanted = bool (*)()>
void whenShown(
    Answer answer, Wanted wanted = [] { return true; }) {
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer, wanted] {
        if (!wanted()) {
            poll->stop();
            poll->deleteLater();
            return;
        }
        if (auto *widget = qobject_cast<W *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(widget);
        }
    });
    poll->start();
}

} // namespace

std::shared_ptr<ShownMessage> AnswerMessageBox() {
    auto shown = std::make_shared<ShownMessage>();
    const std::weak_ptr<ShownMessage> watcher = shown;
    // Answering stops once the test lets go of what it was told, so that an
    // answer armed for a box that never came does not take a later one.
    whenShown<QMessageBox>(
        [watcher](QMessageBox *box) {
            const auto record = watcher.lock();
            if (!record)
                return;
            ++record->count;
            record->title = box->windowTitle();
            record->text = box->text();
            record->icon = box->icon();
            record->buttons = static_cast<int>(box->buttons().size());
            box->buttons().front()->click();
        },
        [watcher] { return !watcher.expired(); });
    return shown;
}

void AnswerFileDialog(const QString &path, std::function<void()> afterwards) {
    whenShown<QFileDialog>([path, afterwards](QFileDialog *dialog) {
        // Typed into the name field, as a user would: selectFile() leaves the
        // field alone while it has focus, which it has once the dialog's
        // window is active.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name && !path.isEmpty()) {
            name->setText(path);
            static_cast<QDialog *>(dialog)->accept(); // public in the base class
        }
        // Whatever the dialog made of it, a test never hangs on one.
        if (dialog->isVisible())
            dialog->reject();
        if (afterwards)
            afterwards();
    });
}

} // namespace testsupport
