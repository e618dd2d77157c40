#pragma once

// The newest frames a channel has played, for the spectrum: written by the
// output thread block by block, read by any thread. The writer never waits;
// a reader copies and retries when the writer overwrote what it was copying.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace audio {

class PlayHistory {
public:
    // Interleaved stereo frames kept; readers may ask for up to half.
    static constexpr std::size_t kFrames = 4096;
    static constexpr std::size_t kMaxReadFrames = kFrames / 2;

    // Output thread: appends `frames` interleaved stereo frames.
    void Append(const float *interleaved, std::size_t frames) noexcept {
        uint64_t written = written_.load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < frames; ++i, ++written) {
            const std::size_t at = (written % kFrames) * 2;
            samples_[at].store(interleaved[2 * i], std::memory_order_relaxed);
            samples_[at + 1].store(interleaved[2 * i + 1], std::memory_order_relaxed);
        }
        written_.store(written, std::memory_order_release);
    }

    // Any thread: the newest `frames` (at most kMaxReadFrames) frames, oldest
    // first, interleaved; frames before the first one played read as 0.
    void Latest(float *out, std::size_t frames) const {
        frames = std::min(frames, kMaxReadFrames);
        for (int attempt = 0; attempt < 4; ++attempt) {
            const uint64_t end = written_.load(std::memory_order_acquire);
            for (std::size_t i = 0; i < frames; ++i) {
                const uint64_t back = frames - i;
                if (back > end) {
                    out[2 * i] = out[2 * i + 1] = 0.0f;
                    continue;
                }
                const std::size_t at = ((end - back) % kFrames) * 2;
                out[2 * i] = samples_[at].load(std::memory_order_relaxed);
                out[2 * i + 1] = samples_[at + 1].load(std::memory_order_relaxed);
            }
            std::atomic_thread_fence(std::memory_order_acquire);
            // Intact unless the writer lapped into the frames just copied.
            if (written_.load(std::memory_order_relaxed) - end <= kFrames - frames)
                return;
        }
    }

    // Frames appended since the channel was created.
    uint64_t Written() const { return written_.load(std::memory_order_acquire); }

private:
    std::array<std::atomic<float>, kFrames * 2> samples_{};
    std::atomic<uint64_t> written_{0};
};

} // namespace audio
