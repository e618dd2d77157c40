#pragma once

// A channel's side of the output: the ring of decoded PCM (decode thread in,
// output thread out), its play state, volume, position, the history of
// played frames and the chain of effects and taps the output thread runs.
//
// Output format everywhere: interleaved float stereo at kOutputRateHz.
//
// Threads: WriteFrames on the decode thread only; RenderAdd on the output
// thread only (the device that the channel is attached to, see Mixer); the
// rest from any thread. RenderAdd never allocates, locks or waits.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/play_history.h"
#include "audio/spsc_ring.h"

namespace audio {

inline constexpr uint32_t kOutputRateHz = 44100;
inline constexpr uint32_t kOutputChannels = 2;
inline constexpr uint32_t kOutputBytesPerFrame = kOutputChannels * sizeof(float);
// Decoded audio held ahead of the output, per channel (1.49 s).
inline constexpr std::size_t kPcmRingFrames = 1 << 16;
// A volume change, a start and a hold glide over at most this many frames
// for a step from silence to full scale (10 ms): no clicks.
inline constexpr std::size_t kVolumeRampFrames = 441;
// RenderAdd handles at most this many frames per call.
inline constexpr std::size_t kMaxRenderFrames = 4096;

// Processes played frames in place on the output thread, before the taps and
// the volume (the equalizer). Must not allocate, lock or wait.
class OutputEffect {
public:
    virtual void Process(float *interleaved, std::size_t frames) noexcept = 0;

protected:
    ~OutputEffect() = default;
};

// Receives the played frames after the effects and before the volume (the
// encoders, which hand them to their writer thread). Same rules.
class OutputTap {
public:
    virtual void Played(const float *interleaved, std::size_t frames) noexcept = 0;

protected:
    ~OutputTap() = default;
};

// What the output thread runs for a channel, immutable once published.
// Effects run in the order listed (highest priority first).
struct OutputChain {
    std::vector<OutputEffect *> effects;
    std::vector<OutputTap *> taps;
};

enum class RunState : int { Stopped, Playing, Paused };

class ChannelOutput {
public:
    ChannelOutput();

    ChannelOutput(const ChannelOutput &) = delete;
    ChannelOutput &operator=(const ChannelOutput &) = delete;

    // Decode thread: queues `frames` frames, waiting while the ring is full.
    // False when `abort` was set (see WakeProducer).
    bool WriteFrames(const float *interleaved, std::size_t frames, const std::atomic<bool> &abort);
    // Ends a wait in WriteFrames; call after setting its abort flag.
    void WakeProducer();
    // Frames queued and not yet played.
    std::size_t QueuedFrames() const { return pcm_.ReadAvailable() / kOutputChannels; }

    void SetRunState(RunState state) { run_.store(static_cast<int>(state)); }
    RunState GetRunState() const { return static_cast<RunState>(run_.load()); }
    // The output thread drops the queued audio at its next block.
    void RequestFlush() { flush_.store(true); }
    // 0.0..1.0, reached over kVolumeRampFrames per full step.
    void SetVolume(float volume) { volume_.store(volume); }
    float Volume() const { return volume_.load(); }
    // Frames decoded since creation: played and still queued.
    uint64_t DecodedFrames() const { return PlayedFrames() + QueuedFrames(); }
    // Frames the output has taken from the ring since creation.
    uint64_t PlayedFrames() const { return played_.load(std::memory_order_acquire); }
    // Whether the output thread still sounds the channel (false once a
    // hold or a stop has faded out).
    bool Audible() const { return audible_.load(); }
    const PlayHistory &History() const { return history_; }

    // Publishes `chain` (null: none) and returns the previous one, which the
    // caller frees once every device has passed a render boundary.
    const OutputChain *ExchangeChain(const OutputChain *chain) { return chain_.exchange(chain); }

    // The device number whose output thread renders this channel; -1: none.
    std::atomic<int> device{-1};

    // Output thread: adds the channel's next `frames` (<= kMaxRenderFrames)
    // frames to `mix`; `scratch` holds kMaxRenderFrames frames.
    void RenderAdd(float *mix, float *scratch, std::size_t frames) noexcept;

private:
    SpscRing<float> pcm_;
    std::atomic<int> run_{static_cast<int>(RunState::Stopped)};
    std::atomic<float> volume_{1.0f};
    std::atomic<bool> flush_{false};
    std::atomic<uint64_t> played_{0};
    std::atomic<bool> audible_{false};
    std::atomic<const OutputChain *> chain_{nullptr};
    // The decode thread sleeps on producerWake_ while producerWaiting_.
    std::atomic<uint32_t> producerWake_{0};
    std::atomic<bool> producerWaiting_{false};
    PlayHistory history_;
    float gain_ = 0.0f; // output thread only: the volume now sounding
};

} // namespace audio
