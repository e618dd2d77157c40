#pragma once

// A capture source for tests: a sine tone produced at the pace of the
// steady clock, as a sound card would deliver it, in the format the output
// asks for. Open can be told to fail as a missing device does.

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "broadcast/capture.h"

namespace broadcasttest {

class ToneSource : public broadcast::CaptureSource {
public:
    explicit ToneSource(double frequency_hz = 1000.0) : frequency_hz_(frequency_hz) {}

    // "" lets Open succeed; any other text is the failure Open returns.
    std::atomic<const char *> open_failure{""};
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::atomic<bool> open{false};
    std::atomic<int> device_number{-1};
    std::atomic<uint32_t> buffer_frames{0};

    std::string Open(int device, const broadcast::CaptureFormat &format, uint32_t frames) override {
        ++opens;
        device_number = device;
        buffer_frames = frames;
        std::string failure = open_failure.load();
        if (!failure.empty())
            return failure;
        format_ = format;
        started_ = std::chrono::steady_clock::now();
        produced_ = 0;
        open = true;
        return "";
    }

    void Read(std::vector<uint8_t> &out) override {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        const auto due = static_cast<uint64_t>(elapsed * format_.sample_rate_hz);
        for (; produced_ < due; ++produced_) {
            const double value =
                0.5 * std::sin(2.0 * std::numbers::pi * frequency_hz_ *
                               static_cast<double>(produced_) / format_.sample_rate_hz);
            for (int c = 0; c < format_.channels; ++c) {
                if (format_.bits_per_sample == 16) {
                    const auto sample = static_cast<int16_t>(std::lround(value * 32767.0));
                    out.push_back(static_cast<uint8_t>(sample & 0xff));
                    out.push_back(static_cast<uint8_t>((sample >> 8) & 0xff));
                } else {
                    out.push_back(static_cast<uint8_t>(std::lround(128.0 + value * 127.0)));
                }
            }
        }
    }

    void Close() override {
        ++closes;
        open = false;
    }

private:
    const double frequency_hz_;
    broadcast::CaptureFormat format_;
    std::chrono::steady_clock::time_point started_;
    uint64_t produced_ = 0;
};

} // namespace broadcasttest
