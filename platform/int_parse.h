#pragma once

// Whole numbers typed by the user, read with the rules of the desktop
// platform the program was designed on: optional leading blanks, an optional
// sign, then either decimal digits that fit a signed 32-bit number or a
// hexadecimal prefix ("$", "x", "X", "0x", "0X") with at most eight hex
// digits (taken as the 32-bit pattern, so "$FFFFFFFF" is -1). Nothing may
// follow the digits, not even blanks.

#include <cstdint>
#include <optional>

#include <QString>

#include "platform/error.h"

namespace platform {

// The parsed number, or nothing when the text is not a valid whole number.
std::optional<int32_t> TryStrToInt(const QString &text);

// The parsed number; throws Error "'<text>' is not a valid integer value".
int32_t StrToInt(const QString &text);

// The parsed number, or `fallback` when the text is not a valid whole number.
int32_t StrToIntDef(const QString &text, int32_t fallback);

} // namespace platform
