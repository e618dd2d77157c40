#pragma once

// Where the player's settings file lives and how it is opened.
//
// rsettings.ini sits beside the executable when that folder is writable or
// already holds the file (a portable install); otherwise (an install under
// /usr, say) it is $XDG_CONFIG_HOME/velotune/rsettings.ini, default
// ~/.config/velotune/. The file is not created until the first write.

#include <QString>

#include "platform/ini_file.h"

namespace settings {

inline constexpr char kSettingsFileName[] = "rsettings.ini";

// The settings file's full path for an executable at `executablePath`, with
// `configHome` the user's configuration folder ($XDG_CONFIG_HOME).
QString SettingsFilePath(const QString &executablePath, const QString &configHome);

// The settings file's full path for the running program.
QString SettingsFilePath();

// Makes SettingsFilePath() return `path` (empty: the normal rule again). For
// tests, which must not share the file beside their executable.
void OverrideSettingsFilePath(const QString &path);

// A settings-file object on the running program's settings file.
platform::IniFile OpenSettingsFile();

} // namespace settings
