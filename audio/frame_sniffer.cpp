#include "audio/frame_sniffer.h"

#include <algorithm>

namespace audio {

namespace {

constexpr std::size_t kHeaderBytes = 7; // enough for every format's header

std::size_t mpegLength(std::span<const uint8_t> b) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (b[1] >> 3) & 3; // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layer = (b[1] >> 1) & 3;   // 1: III, 2: II, 3: I
    const int bitrateIndex = b[2] >> 4;
    const int rateIndex = (b[2] >> 2) & 3;
    const int padding = (b[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static constexpr int kKbps[5][14] = {
        {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // V1 L1
        {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // V1 L2
        {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // V1 L3
        {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // V2 L1
        {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // V2 L2, L3
    };
    static constexpr int kRates[3] = {44100, 48000, 32000};
    const bool v1 = version == 3;
    const int table = v1 ? 3 - layer : (layer == 3 ? 3 : 4);
    const int bitsPerSecond = kKbps[table][bitrateIndex - 1] * 1000;
    const int rate = kRates[rateIndex] >> (v1 ? 0 : (version == 2 ? 1 : 2));
    if (layer == 3)
        return static_cast<std::size_t>((12 * bitsPerSecond / rate + padding) * 4);
    const int factor = (layer == 1 && !v1) ? 72 : 144;
    return static_cast<std::size_t>(factor * bitsPerSecond / rate + padding);
}

std::size_t adtsLength(std::span<const uint8_t> b) {
    if (b[0] != 0xFF || (b[1] & 0xF6) != 0xF0 || ((b[2] >> 2) & 0xF) >= 13)
        return 0;
    const std::size_t length =
        (std::size_t{b[3] & 3u} << 11) | (std::size_t{b[4]} << 3) | (std::size_t{b[5]} >> 5);
    return length >= kHeaderBytes ? length : 0;
}

std::size_t latmLength(std::span<const uint8_t> b) {
    if (b[0] != 0x56 || (b[1] & 0xE0) != 0xE0)
        return 0;
    const std::size_t length = (std::size_t{b[1] & 0x1Fu} << 8) | b[2];
    return length > 0 ? length + 3 : 0;
}

int ac3Bsid(std::span<const uint8_t> b) {
    return b[5] >> 3;
}

std::size_t ac3Length(std::span<const uint8_t> b) {
    if (b[0] != 0x0B || b[1] != 0x77 || ac3Bsid(b) > 10)
        return 0;
    const int rateCode = b[4] >> 6;
    const int sizeCode = b[4] & 0x3F;
    if (rateCode == 3 || sizeCode >= 38)
        return 0;
    static constexpr int kKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                      192, 224, 256, 320, 384, 448, 512, 576, 640};
    const int kbps = kKbps[sizeCode / 2];
    int words = 0;
    switch (rateCode) {
    case 0: // 48 kHz
        words = 2 * kbps;
        break;
    case 1: // 44.1 kHz: frames alternate in length
        words = kbps * 320 / 147 + (sizeCode & 1);
        break;
    default: // 32 kHz
        words = 3 * kbps;
        break;
    }
    return static_cast<std::size_t>(words) * 2;
}

std::size_t eac3Length(std::span<const uint8_t> b) {
    if (b[0] != 0x0B || b[1] != 0x77 || ac3Bsid(b) <= 10 || ac3Bsid(b) > 16 || (b[2] >> 6) == 3)
        return 0;
    return ((std::size_t{b[2] & 7u} << 8 | b[3]) + 1) * 2;
}

// Bits that stay the same from frame to frame of one stream.
uint32_t streamKey(FrameFormat format, std::span<const uint8_t> b) {
    switch (format) {
    case FrameFormat::MpegAudio:
        return uint32_t{b[1] & 0xFEu} << 8 | (b[2] & 0x0Cu); // version, layer, rate
    case FrameFormat::Adts:
        return b[2] & 0xFCu; // profile, rate
    case FrameFormat::Ac3:
        return b[4] >> 6; // rate
    default:
        return 0;
    }
}

} // namespace

std::size_t FrameLength(FrameFormat format, std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderBytes)
        return 0;
    switch (format) {
    case FrameFormat::MpegAudio:
        return mpegLength(bytes);
    case FrameFormat::Adts:
        return adtsLength(bytes);
    case FrameFormat::Latm:
        return latmLength(bytes);
    case FrameFormat::Ac3:
        return ac3Length(bytes);
    case FrameFormat::Eac3:
        return eac3Length(bytes);
    }
    return 0;
}

std::optional<FrameChain> FindFrameChain(std::span<const uint8_t> bytes,
                                         std::span<const FrameFormat> accepted) {
    for (std::size_t start = 0; start + kHeaderBytes <= bytes.size(); ++start) {
        for (const FrameFormat format : accepted) {
            std::size_t at = start;
            int frames = 0;
            uint32_t key = 0;
            while (frames < kChainFrames && at + kHeaderBytes <= bytes.size()) {
                const auto header = bytes.subspan(at);
                const std::size_t length = FrameLength(format, header);
                if (length == 0)
                    break;
                const uint32_t k = streamKey(format, header);
                if (frames > 0 && k != key)
                    break;
                key = k;
                ++frames;
                at += length;
            }
            if (frames == kChainFrames)
                return FrameChain{format, start};
        }
    }
    return std::nullopt;
}

} // namespace audio
