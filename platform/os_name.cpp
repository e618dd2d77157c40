#include "platform/os_name.h"

#include <QSysInfo>

namespace platform {

QString OperatingSystemName() {
    // Without a readable os-release Qt reports the type "unknown" and would
    // name the kernel instead.
    if (QSysInfo::productType() == QStringLiteral("unknown"))
        return QString();
    return QSysInfo::prettyProductName();
}

} // namespace platform
