#pragma once

// Answers the modal dialogs a test's action opens, the way a user would.
// Each function arms a one-shot answer that runs once the dialog's own event
// loop is running, so call it right before the action that opens the dialog.

#include <functional>
#include <memory>

#include <QMessageBox>
#include <QString>

namespace testsupport {

// What a message box showed before it was closed with its first button.
struct ShownMessage {
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

// Closes the next message box and records what it showed, for as long as
// the returned record is held.
std::shared_ptr<ShownMessage> AnswerMessageBox();

// Accepts the next file dialog with `path` (empty: cancels it), then runs
// `afterwards` (if any) before the dialog's caller goes on. A dialog that
// will not accept the path (a file that does not exist) is cancelled.
void AnswerFileDialog(const QString &path, std::function<void()> afterwards = {});

} // namespace testsupport
