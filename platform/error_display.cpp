#include "platform/error_display.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "platform/error.h"

namespace platform {

QString ErrorDisplayText(const QString &message) {
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

void ShowError(const QString &message) {
    QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                    ErrorDisplayText(message), QMessageBox::Ok);
    box.exec();
}

void ShowCurrentException() {
    try {
        throw;
    } catch (const Error &e) {
        ShowError(e.message());
    } catch (const std::exception &e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Unknown error"));
    }
}

} // namespace platform
