#pragma once

// The part of a recording that depends on the file's format: what the file
// begins with, how frames become bytes, and how the file is finished. The
// FileWriter (file_writer.h) owns one and calls it from its own thread only,
// after Begin, which runs on the opening thread before that thread starts.
//
// Every byte goes to the descriptor at the offset the encoder keeps itself
// (pwrite), so that what lies in the file is always what Bytes() says.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace audio {

// The largest data chunk a WAV file can describe (its RIFF size is 32 bits).
inline constexpr uint64_t kWavMaxDataBytes = 0xFFFFFFFFull - 36;

enum class RecordFormat {
    kWav, // 16-bit PCM WAV
    kMp3, // raw MP3 frames from FFmpeg's libmp3lame, 192 kbps CBR
    kOgg, // Ogg Vorbis from FFmpeg's libvorbis (quality 5) and ogg muxer
};

class FormatEncoder {
public:
    virtual ~FormatEncoder() = default;

    // Writes the file's beginning to `fd` (an empty regular file). Returns 0
    // or the errno of the failed write.
    virtual int Begin(int fd) = 0;
    // Encodes `frames` interleaved float frames (NaN and values beyond full
    // scale are made safe) and writes what the encoder gives out so far.
    // Returns the frames taken; fewer than `frames` only with `error` set
    // (an errno; EFBIG at the format's size limit). Writing stops for good
    // then, and Abandon follows.
    virtual std::size_t Write(const float *interleaved, std::size_t frames, int &error) = 0;
    // Called at least twice a second while writing goes well, so that a
    // killed process leaves a readable file.
    virtual void Checkpoint() {}
    // At the normal end: writes what the encoder still holds and whatever
    // closes the format. Returns 0 or an errno.
    virtual int Finish() = 0;
    // After a failed write: leaves the file readable up to the last whole
    // unit (frame, packet, page) written.
    virtual void Abandon() = 0;

    // Any thread: the bytes in the file so far.
    uint64_t Bytes() const { return bytes_.load(std::memory_order_acquire); }

protected:
    std::atomic<uint64_t> bytes_{0};
};

enum class EncoderSetupError {
    kNone,
    kNoEncoder, // FFmpeg lacks the encoder or muxer, or it would not open
    kMemory,
};

// A new encoder of `format` for `sampleRate` Hz and `channels` interleaved
// channels; null with `error` set when it cannot be made. `maxDataBytes`
// bounds the WAV data chunk (other formats ignore it).
std::unique_ptr<FormatEncoder> MakeFormatEncoder(RecordFormat format, uint32_t sampleRate,
                                                 int channels, uint64_t maxDataBytes,
                                                 EncoderSetupError &error);

// The formats' own makers, which MakeFormatEncoder chooses from.
std::unique_ptr<FormatEncoder> MakeWavEncoder(uint32_t sampleRate, int channels,
                                              uint64_t maxDataBytes);
std::unique_ptr<FormatEncoder> MakeFfmpegEncoder(RecordFormat format, uint32_t sampleRate,
                                                 int channels, EncoderSetupError &error);

// Writes all of `size` bytes at `offset`; returns 0 or the errno. `written`
// (may be null) receives the bytes written.
int PwriteAll(int fd, const unsigned char *data, std::size_t size, int64_t offset,
              std::size_t *written);

} // namespace audio
