#pragma once

// Start with the desktop session: an XDG autostart desktop entry
// ($XDG_CONFIG_HOME/autostart/<name>.desktop) that starts a program.

#include <QString>

namespace platform {

// The folder the desktop session reads autostart entries from.
QString AutostartFolder();

// `program` as one argument of a desktop entry's Exec key: quoted, with the
// characters the quoting reserves escaped, and with the escapes of a
// desktop-entry string value applied on top.
QString DesktopExecArgument(const QString &program);

// Writes (or rewrites, so repeated writes leave one entry) the entry file
// `entryFile` that starts `program`, shown under `displayName`. Throws
// platform::Error `failureMessage` when the entry cannot be written.
void WriteAutostartEntry(const QString &entryFile, const QString &displayName,
                         const QString &program, const QString &failureMessage);

// Removes the entry file; false when it existed and could not be removed.
bool RemoveAutostartEntry(const QString &entryFile);

} // namespace platform
