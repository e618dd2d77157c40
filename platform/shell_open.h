#pragma once

#include <QString>

namespace platform {

// Hands `address` to the desktop's handler for it (the default web browser for
// an http address), like the shell's "open". Returns at once; whether a
// handler was found is not reported to the user, so the result is advisory.
bool ShellOpen(const QString &address);

} // namespace platform
