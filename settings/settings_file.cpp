#include "settings/settings_file.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace settings {

QString SettingsFilePath(const QString &executablePath, const QString &configHome) {
    const QString folder = QFileInfo(executablePath).absolutePath();
    const QString beside = folder + u'/' + QLatin1String(kSettingsFileName);
    if (QFileInfo::exists(beside) || QFileInfo(folder).isWritable())
        return beside;
    return configHome + QStringLiteral("/velotune/") + QLatin1String(kSettingsFileName);
}

namespace {

QString &overridePath() {
    static QString path;
    return path;
}

} // namespace

void OverrideSettingsFilePath(const QString &path) {
    overridePath() = path;
}

QString SettingsFilePath() {
    if (!overridePath().isEmpty())
        return overridePath();
    return SettingsFilePath(
        QCoreApplication::applicationFilePath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

platform::IniFile OpenSettingsFile() {
    return platform::IniFile(SettingsFilePath());
}

} // namespace settings
