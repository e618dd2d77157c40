// 16-bit PCM WAV: a 44-byte header whose two sizes are rewritten at each
// checkpoint and at the end, then the samples, rounded and clipped.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include <unistd.h>

#include "audio/format_encoder.h"

namespace audio {

namespace {

constexpr std::size_t kHeaderBytes = 44;
constexpr std::size_t kBytesPerSample = 2;
constexpr std::size_t kBlockFrames = 4096;

void putLe16(unsigned char *p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v & 0xff);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xff);
}

void putLe32(unsigned char *p, uint32_t v) {
    putLe16(p, v & 0xffff);
    putLe16(p + 2, v >> 16);
}

void buildHeader(unsigned char *h, uint32_t sampleRate, int channels, uint32_t dataBytes) {
    const uint32_t blockAlign = static_cast<uint32_t>(channels) * kBytesPerSample;
    std::memcpy(h, "RIFF", 4);
    putLe32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe32(h + 16, 16);
    putLe16(h + 20, 1); // integer PCM
    putLe16(h + 22, static_cast<uint32_t>(channels));
    putLe32(h + 24, sampleRate);
    putLe32(h + 28, sampleRate * blockAlign);
    putLe16(h + 32, blockAlign);
    putLe16(h + 34, 8 * kBytesPerSample);
    std::memcpy(h + 36, "data", 4);
    putLe32(h + 40, dataBytes);
}

// Rounded to the nearest step (halves away from zero), clipped; NaN is 0.
// Plain arithmetic rather than a rounding call per sample: in double the
// added half is exact, so truncation rounds right.
int16_t toPcm16(float x) {
    double v = static_cast<double>(x) * 32768.0;
    v = v > 32767.0 ? 32767.0 : v;
    v = v < -32768.0 ? -32768.0 : v;
    v = v == v ? v : 0.0;
    return static_cast<int16_t>(static_cast<int32_t>(v + (v < 0.0 ? -0.5 : 0.5)));
}

class WavEncoder final : public FormatEncoder {
public:
    WavEncoder(uint32_t sampleRate, int channels, uint64_t maxDataBytes)
        : sampleRate_(sampleRate), channels_(channels),
          blockAlign_(static_cast<std::size_t>(channels) * kBytesPerSample),
          maxFrames_(std::min(maxDataBytes, kWavMaxDataBytes) / blockAlign_),
          pcm_(std::make_unique<unsigned char[]>(kBlockFrames * blockAlign_)) {}

    int Begin(int fd) override {
        fd_ = fd;
        unsigned char header[kHeaderBytes];
        buildHeader(header, sampleRate_, channels_, 0);
        const int error = PwriteAll(fd_, header, kHeaderBytes, 0, nullptr);
        if (error == 0)
            bytes_.store(kHeaderBytes, std::memory_order_release);
        return error;
    }

    std::size_t Write(const float *interleaved, std::size_t frames, int &error) override {
        std::size_t done = 0;
        while (done < frames) {
            const std::size_t room =
                static_cast<std::size_t>(std::min<uint64_t>(frames - done, maxFrames_ - frames_));
            if (room == 0) {
                error = EFBIG;
                return done;
            }
            const std::size_t n = std::min(room, kBlockFrames);
            const float *from = interleaved + done * static_cast<std::size_t>(channels_);
            for (std::size_t i = 0; i < n * static_cast<std::size_t>(channels_); ++i)
                putLe16(pcm_.get() + 2 * i, static_cast<uint16_t>(toPcm16(from[i])));
            std::size_t written = 0;
            error = PwriteAll(fd_, pcm_.get(), n * blockAlign_, dataEnd(), &written);
            frames_ += written / blockAlign_;
            done += written / blockAlign_;
            bytes_.store(static_cast<uint64_t>(dataEnd()), std::memory_order_release);
            if (error != 0)
                return done;
        }
        return done;
    }

    void Checkpoint() override { updateHeader(); }

    int Finish() override { return updateHeader(); }

    void Abandon() override {
        // Cuts off a partly written frame. Should that fail, the bytes lie
        // past the data chunk the header describes, where readers do not look.
        (void)!::ftruncate(fd_, static_cast<off_t>(dataEnd()));
        updateHeader();
    }

private:
    int64_t dataEnd() const { return static_cast<int64_t>(kHeaderBytes + frames_ * blockAlign_); }

    int updateHeader() {
        if (frames_ == headerFrames_)
            return 0;
        const auto dataBytes = static_cast<uint32_t>(frames_ * blockAlign_);
        unsigned char header[kHeaderBytes];
        buildHeader(header, sampleRate_, channels_, dataBytes);
        // The sizes are the only fields that change.
        int error = PwriteAll(fd_, header + 4, 4, 4, nullptr);
        if (error == 0)
            error = PwriteAll(fd_, header + 40, 4, 40, nullptr);
        if (error == 0)
            headerFrames_ = frames_;
        return error;
    }

    const uint32_t sampleRate_;
    const int channels_;
    const std::size_t blockAlign_;
    const uint64_t maxFrames_;
    std::unique_ptr<unsigned char[]> pcm_; // one block as written
    int fd_ = -1;
    uint64_t frames_ = 0;       // whole frames in the file
    uint64_t headerFrames_ = 0; // frames the header last described
};

} // namespace

std::unique_ptr<FormatEncoder> MakeWavEncoder(uint32_t sampleRate, int channels,
                                              uint64_t maxDataBytes) {
    return std::make_unique<WavEncoder>(sampleRate, channels, maxDataBytes);
}

} // namespace audio
