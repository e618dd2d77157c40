#pragma once

#include <QString>

namespace platform {

// The operating system's product name, e.g. "Debian GNU/Linux 12 (bookworm)"
// (the distribution's pretty name); empty when it cannot be read.
QString OperatingSystemName();

} // namespace platform
