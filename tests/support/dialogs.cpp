#include "tests/support/dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QTimer>

namespace testsupport {

namespace {

// Runs `answer` on the next modal widget of type W once it is shown.
template <typename W, typename Answer> void whenShown(Answer answer) {
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
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
    whenShown<QMessageBox>([shown](QMessageBox *box) {
        ++shown->count;
        shown->title = box->windowTitle();
        shown->text = box->text();
        shown->icon = box->icon();
        shown->buttons = static_cast<int>(box->buttons().size());
        box->buttons().front()->click();
    });
    return shown;
}

void AnswerFileDialog(const QString &path) {
    whenShown<QFileDialog>([path](QFileDialog *dialog) {
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept(); // public in the base class
    });
}

} // namespace testsupport
