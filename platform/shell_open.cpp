#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool ShellOpen(const QString &address) {
    return QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

} // namespace platform
