#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/error.h"

namespace platform {

QString AutostartFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString DesktopExecArgument(const QString &program) {
    // Inside double quotes the Exec key reserves ", `, $ and \ (escaped with a
    // backslash); "%" introduces field codes and is doubled. The key's value is
    // then a desktop-entry string, in which a backslash is itself escaped.
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    QString value = u'"' + quoted + u'"';
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\n', QStringLiteral("\\n"));
    value.replace(u'\t', QStringLiteral("\\t"));
    value.replace(u'\r', QStringLiteral("\\r"));
    return value;
}

void WriteAutostartEntry(const QString &entryFile, const QString &displayName,
                         const QString &program, const QString &failureMessage) {
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=%1\n"
                                            "Exec=%2\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(displayName, DesktopExecArgument(program))
                                 .toUtf8();
    if (!QDir().mkpath(QFileInfo(entryFile).absolutePath()))
        throw Error(failureMessage);
    QSaveFile file(entryFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit())
        throw Error(failureMessage);
}

bool RemoveAutostartEntry(const QString &entryFile) {
    return !QFileInfo::exists(entryFile) || QFile::remove(entryFile);
}

} // namespace platform
