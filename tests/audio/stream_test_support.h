#pragma once

// Helpers of the tests that drive the library through audio.h against the
// loopback radio server, on the null device.

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/channel_output.h"
#include "audio/engine.h"
#include "audio/spsc_ring.h"

namespace streamtest {

using namespace std::chrono_literals;

// Waits until `done` holds, looking every 10 ms; false at the deadline.
inline bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Records what a channel plays (after its effects, before its volume).
class CaptureTap : public audio::OutputTap {
public:
    CaptureTap() : ring_(1 << 20) {}

    void Played(const float *frames, std::size_t count) noexcept override {
        ring_.Write(frames, count * 2);
    }

    // The left channel of everything captured so far.
    std::vector<float> TakeLeft() {
        std::vector<float> interleaved(ring_.ReadAvailable());
        interleaved.resize(ring_.Read(interleaved.data(), interleaved.size()));
        for (std::size_t i = 0; 2 * i < interleaved.size(); ++i)
            left_.push_back(interleaved[2 * i]);
        return left_;
    }

    // Puts the tap on `channel`'s output path.
    bool AttachTo(uint32_t channel) {
        auto chain = std::make_unique<audio::OutputChain>();
        chain->taps.push_back(this);
        return audio::Engine::Instance().SetOutputChain(channel, std::move(chain)) == BASS_OK;
    }

private:
    audio::SpscRing<float> ring_;
    std::vector<float> left_;
};

inline double Rms(const std::vector<float> &samples, std::size_t from) {
    double sum = 0.0;
    for (std::size_t i = from; i < samples.size(); ++i)
        sum += samples[i] * samples[i];
    return std::sqrt(sum / static_cast<double>(samples.size() - from));
}

// The frequency of a tone, from its zero crossings.
inline double ToneHz(const std::vector<float> &samples, std::size_t from) {
    int crossings = 0;
    for (std::size_t i = from + 1; i < samples.size(); ++i)
        crossings += (samples[i - 1] < 0.0f) != (samples[i] < 0.0f);
    return crossings / 2.0 / (static_cast<double>(samples.size() - from) / audio::kOutputRateHz);
}

inline double PlayedSeconds(uint32_t channel) {
    return BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetPosition(channel, BASS_POS_BYTE));
}

inline std::string Meta(uint32_t channel) {
    const char *meta = BASS_ChannelGetTags(channel, BASS_TAG_META);
    return meta != nullptr ? meta : "";
}

} // namespace streamtest
