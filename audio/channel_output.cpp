#include "audio/channel_output.h"

#include <algorithm>
#include <cmath>

namespace audio {

namespace {

// The decode thread sleeps until this much room is free, so it wakes a few
// times a second rather than once per output block.
constexpr std::size_t kProducerWakeFloats = kPcmRingFrames / 4 * kOutputChannels;
constexpr float kRampStep = 1.0f / static_cast<float>(kVolumeRampFrames);

} // namespace

ChannelOutput::ChannelOutput() : pcm_(kPcmRingFrames * kOutputChannels) {}

bool ChannelOutput::WriteFrames(const float *interleaved, std::size_t frames,
                                const std::atomic<bool> &abort) {
    std::size_t floats = frames * kOutputChannels;
    while (floats > 0) {
        if (abort.load())
            return false;
        // Whole frames only, so the output never reads half a frame.
        const std::size_t room = pcm_.WriteAvailable() & ~std::size_t{1};
        if (room < std::min(floats, kProducerWakeFloats)) {
            const uint32_t seen = producerWake_.load();
            producerWaiting_.store(true);
            std::atomic_thread_fence(std::memory_order_seq_cst);
            if ((pcm_.WriteAvailable() & ~std::size_t{1}) < std::min(floats, kProducerWakeFloats) &&
                !abort.load())
                producerWake_.wait(seen);
            producerWaiting_.store(false);
            continue;
        }
        const std::size_t n = pcm_.Write(interleaved, std::min(room, floats));
        interleaved += n;
        floats -= n;
    }
    return true;
}

void ChannelOutput::WakeProducer() {
    producerWake_.fetch_add(1);
    producerWake_.notify_all();
}

void ChannelOutput::RenderAdd(float *mix, float *scratch, std::size_t frames) noexcept {
    if (flush_.exchange(false))
        pcm_.Skip(pcm_.ReadAvailable());
    const bool playing = run_.load() == static_cast<int>(RunState::Playing);
    const float target = playing ? volume_.load() : 0.0f;
    if (!playing && gain_ <= 0.0f) {
        audible_.store(false);
        return;
    }
    // A hold or a stop takes only the frames its fade-out needs.
    std::size_t want = frames;
    if (!playing)
        want = std::min(frames, static_cast<std::size_t>(std::ceil(gain_ / kRampStep)));
    const std::size_t got = pcm_.Read(scratch, want * kOutputChannels) / kOutputChannels;
    std::fill(scratch + got * kOutputChannels, scratch + want * kOutputChannels, 0.0f);
    played_.fetch_add(got, std::memory_order_release);

    if (const OutputChain *chain = chain_.load(std::memory_order_acquire)) {
        for (OutputEffect *effect : chain->effects)
            effect->Process(scratch, got);
        history_.Append(scratch, got);
        for (OutputTap *tap : chain->taps)
            tap->Played(scratch, got);
    } else {
        history_.Append(scratch, got);
    }

    float gain = gain_;
    for (std::size_t i = 0; i < want; ++i) {
        if (gain < target)
            gain = std::min(target, gain + kRampStep);
        else if (gain > target)
            gain = std::max(target, gain - kRampStep);
        mix[2 * i] += scratch[2 * i] * gain;
        mix[2 * i + 1] += scratch[2 * i + 1] * gain;
    }
    gain_ = gain;
    audible_.store(playing || gain > 0.0f);

    // Pairs with the fence in WriteFrames: either the decode thread sees the
    // room made above, or this sees it waiting.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (producerWaiting_.load() && pcm_.Capacity() - pcm_.ReadAvailable() >= kProducerWakeFloats)
        WakeProducer();
}

} // namespace audio
