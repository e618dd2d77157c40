#include "settings/autostart_entry.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "platform/autostart.h"

namespace settings {

QString AutostartEntryPath() {
    return platform::AutostartFolder() + QStringLiteral("/velotune.desktop");
}

void WriteAutostartEntry(const QString &executablePath) {
    platform::WriteAutostartEntry(
        AutostartEntryPath(), QStringLiteral("Velotune Player"), executablePath,
        QStringLiteral("Failed to set data for '%1'").arg(executablePath));
}

void WriteAutostartEntry() {
    WriteAutostartEntry(QCoreApplication::applicationFilePath());
}

bool HasAutostartEntry() {
    return QFileInfo::exists(AutostartEntryPath());
}

bool RemoveAutostartEntry() {
    return platform::RemoveAutostartEntry(AutostartEntryPath());
}

} // namespace settings
