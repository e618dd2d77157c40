#pragma once

// The player's entry for starting with the desktop session
// (velotune.desktop in the XDG autostart folder), which runs the executable
// by its full path.

#include <QString>

namespace settings {

// The entry file's full path.
QString AutostartEntryPath();

// Writes the entry for `executablePath`, again on every call (one entry stays).
// Throws platform::Error "Failed to set data for '<executablePath>'".
void WriteAutostartEntry(const QString &executablePath);

// The same for the running program.
void WriteAutostartEntry();

// Whether the entry exists.
bool HasAutostartEntry();

// Removes the entry; false when it could not be removed.
bool RemoveAutostartEntry();

} // namespace settings
