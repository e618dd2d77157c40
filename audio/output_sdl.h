#pragma once

// What SDL2 offers beyond the output backend: whether it can play at all and
// the output devices it lists. Callers serialise all calls (the engine's
// lock); SDL's audio subsystem is started on first use.

#include <string>
#include <vector>

namespace audio {

// SDL's audio subsystem started with a driver that plays (SDL's "dummy"
// driver does not count: it plays nothing and runs slow).
bool SdlOutputAvailable();
// SDL's driver name ("pulseaudio", "alsa", ...); "" when not available.
std::string SdlDriverName();
// The output devices SDL lists now, by name; empty when not available.
std::vector<std::string> SdlOutputDevices();

} // namespace audio
