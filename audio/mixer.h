#pragma once

// The one output callback for all channels, and the devices it runs on.
//
// Locking scheme. The output threads (one per open device) never lock or
// wait. They find channels through a fixed table of atomic pointers and
// render those whose `device` is their own. Everything that would pull a
// channel away from an output thread (free, a device move, a new effect
// chain) is done in two steps by an API thread: first unpublish (null the
// slot, set device -1, swap the chain pointer), then WaitForRenderBoundary
// on each device, which returns once any render that might still see the
// old value has ended. Only then is the old object freed or given to the
// next device. A render marks itself by making renders_ odd on entry and
// even on exit.

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>

#include <time.h>

#include "audio/channel_output.h"
#include "audio/output_backend.h"

namespace audio {

inline constexpr std::size_t kMaxChannels = 256;

class Mixer {
public:
    void Attach(std::size_t slot, ChannelOutput *channel) { slots_[slot].store(channel); }
    void Detach(std::size_t slot) { slots_[slot].store(nullptr); }

    // Output thread: `out` gets the sum of every channel of `device_number`.
    void Render(int device_number, float *out, std::size_t frames, float *scratch) noexcept;

private:
    std::array<std::atomic<ChannelOutput *>, kMaxChannels> slots_{};
};

// One open device: its backend and the state of its output thread.
class OutputDevice {
public:
    // Opens `backend` (device_name null: the default); null when it fails.
    static std::unique_ptr<OutputDevice>
    Open(Mixer &mixer, int number, const OutputBackendOps &backend, const char *device_name);
    ~OutputDevice();

    OutputDevice(const OutputDevice &) = delete;
    OutputDevice &operator=(const OutputDevice &) = delete;

    int Number() const { return number_; }
    const OutputBackendOps &Backend() const { return backend_; }

    // API thread: returns once no render that began before the call runs.
    void WaitForRenderBoundary() const;

    // The CPU clock of the thread that renders, once it has rendered; lets
    // the load figure count the output thread.
    bool RenderClock(clockid_t &clock) const;

private:
    OutputDevice(Mixer &mixer, int number, const OutputBackendOps &backend);
    static void render(void *context, float *out, std::size_t frames) noexcept;

    Mixer &mixer_;
    const int number_;
    const OutputBackendOps &backend_;
    void *handle_ = nullptr;
    std::unique_ptr<float[]> scratch_;
    std::atomic<uint64_t> renders_{0};
    std::atomic<bool> hasClock_{false};
    clockid_t clock_{};
};

} // namespace audio
