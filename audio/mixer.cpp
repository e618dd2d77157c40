#include "audio/mixer.h"

#include <algorithm>
#include <thread>

#include <pthread.h>

#include "audio/peaking_eq.h"

namespace audio {

void Mixer::Render(int device_number, float *out, std::size_t frames, float *scratch) noexcept {
    std::fill(out, out + frames * kOutputChannels, 0.0f);
    for (auto &slot : slots_) {
        ChannelOutput *channel = slot.load();
        if (channel == nullptr || channel->device.load() != device_number)
            continue;
        for (std::size_t done = 0; done < frames; done += kMaxRenderFrames) {
            channel->RenderAdd(out + done * kOutputChannels, scratch,
                               std::min(kMaxRenderFrames, frames - done));
        }
    }
    // Whatever the gains of the effects and however many channels: finite
    // samples within full scale reach the device.
    ClipToFullScale(out, frames * kOutputChannels);
}

OutputDevice::OutputDevice(Mixer &mixer, int number, const OutputBackendOps &backend)
    : mixer_(mixer), number_(number), backend_(backend),
      scratch_(std::make_unique<float[]>(kMaxRenderFrames * kOutputChannels)) {}

std::unique_ptr<OutputDevice> OutputDevice::Open(Mixer &mixer, int number,
                                                 const OutputBackendOps &backend,
                                                 const char *device_name) {
    std::unique_ptr<OutputDevice> device(new OutputDevice(mixer, number, backend));
    device->handle_ = backend.open(device_name, kOutputRateHz, &OutputDevice::render, device.get());
    if (device->handle_ == nullptr)
        return nullptr;
    return device;
}

OutputDevice::~OutputDevice() {
    if (handle_ != nullptr)
        backend_.close(handle_);
}

void OutputDevice::render(void *context, float *out, std::size_t frames) noexcept {
    auto *self = static_cast<OutputDevice *>(context);
    self->renders_.fetch_add(1); // odd: rendering
    if (!self->hasClock_.load(std::memory_order_relaxed) &&
        pthread_getcpuclockid(pthread_self(), &self->clock_) == 0)
        self->hasClock_.store(true, std::memory_order_release);
    self->mixer_.Render(self->number_, out, frames, self->scratch_.get());
    self->renders_.fetch_add(1); // even: done
}

void OutputDevice::WaitForRenderBoundary() const {
    const uint64_t seen = renders_.load();
    if (seen % 2 == 0)
        return;
    // A render takes microseconds; it never waits, so this ends soon.
    while (renders_.load() == seen)
        std::this_thread::yield();
}

bool OutputDevice::RenderClock(clockid_t &clock) const {
    if (!hasClock_.load(std::memory_order_acquire))
        return false;
    clock = clock_;
    return true;
}

} // namespace audio
