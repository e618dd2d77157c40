#pragma once

// An output backend: a small table of functions, one file per backend
// (output_null.cpp, output_sdl.cpp). A backend pulls interleaved float
// stereo frames from `render` on a thread of its own, from open to close.

#include <cstddef>
#include <cstdint>

namespace audio {

// Fills `frames` frames at `out` completely; never blocks (see Mixer).
using RenderFunction = void (*)(void *context, float *out, std::size_t frames) noexcept;

struct OutputBackendOps {
    const char *driver; // the name DeviceInfo shows
    // Opens `device_name` (null: the system's default) at `rate_hz` and
    // starts calling `render`. Returns the backend's handle, or null.
    void *(*open)(const char *device_name, uint32_t rate_hz, RenderFunction render, void *context);
    // Stops calling `render` (it has returned when close returns), frees.
    void (*close)(void *backend);
};

// "No sound": consumes audio in real time by the steady clock.
extern const OutputBackendOps kNullOutput;
// A device that SDL2 opens.
extern const OutputBackendOps kSdlOutput;

} // namespace audio
