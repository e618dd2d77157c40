#pragma once

// The sound-card capture component: which device to open and in what format,
// and the source that delivers the captured sound. The streaming output owns
// the capture while it runs: it copies these settings when it starts and its
// worker thread alone opens, reads and closes the source. The settings are
// plain values, changed on the user-interface thread only; a change takes
// effect at the output's next start.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace broadcast {

// Interleaved PCM: unsigned 8-bit samples (silence 128) or signed 16-bit
// little-endian ones.
struct CaptureFormat {
    uint32_t sample_rate_hz = 8000;
    uint16_t channels = 1;
    uint16_t bits_per_sample = 8;

    uint32_t FrameBytes() const { return channels * (bits_per_sample / 8u); }
};

// Where captured sound comes from. Called on the output's worker thread only,
// one call at a time: Open, then Read every polling interval, then Close.
class CaptureSource {
public:
    virtual ~CaptureSource() = default;

    // Starts capturing from device `device_number` (0: the first one) in
    // `format`, keeping up to `buffer_frames` frames between two reads.
    // Returns "" on success, else the failure as the user reads it
    // ("No capture device").
    virtual std::string Open(int device_number, const CaptureFormat &format,
                             uint32_t buffer_frames) = 0;

    // Appends to `out` the whole frames captured since the previous call;
    // never blocks.
    virtual void Read(std::vector<uint8_t> &out) = 0;

    // Stops capturing; Open may follow again. Harmless when not open.
    virtual void Close() = 0;
};

// The first capture device through SDL2's audio subsystem, which is
// initialised on Open and released on Close (SDL counts the users).
std::unique_ptr<CaptureSource> MakeSdlCaptureSource();

class TDXAudioIn {
public:
    // Captures from the sound card through SDL2.
    TDXAudioIn();
    // Captures from `source` instead (tests inject a generated tone).
    explicit TDXAudioIn(std::unique_ptr<CaptureSource> source);

    TDXAudioIn(const TDXAudioIn &) = delete;
    TDXAudioIn &operator=(const TDXAudioIn &) = delete;

    int DeviceNumber = 0;         // 0: the first capture device
    uint16_t InBitsPerSample = 8; // 8 or 16
    uint16_t InChannels = 1;      // 1 or 2
    uint32_t InSampleRate = 8000; // Hz
    uint32_t Latency = 100;       // ms of capture buffering

    CaptureFormat Format() const { return {InSampleRate, InChannels, InBitsPerSample}; }
    // Frames of buffering derived from Latency: 800 at 100 ms and 8000 Hz.
    uint32_t BufferFrames() const;
    // How often the capture is read: half the latency, at least 10 ms.
    std::chrono::milliseconds PollingInterval() const;

    // The source; used by the streaming output's worker thread.
    CaptureSource &Source() { return *source_; }

private:
    std::unique_ptr<CaptureSource> source_;
};

} // namespace broadcast
