#pragma once

// Finds where the audio frames of a raw stream begin, so the decoder can be
// given the right demuxer and start at a frame boundary without probing:
// radio streams start mid-frame, and a few kilobytes decide the format.
// Pure: no I/O, no threads.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace audio {

enum class FrameFormat {
    MpegAudio, // MPEG-1/2/2.5 Layer I, II, III
    Adts,      // AAC in ADTS frames
    Latm,      // AAC in LOAS/LATM frames
    Ac3,
    Eac3,
};

// Frames in a row that must be well formed, each starting where the
// previous one ends, before the format counts as found.
inline constexpr int kChainFrames = 3;
// The sniffer gives up when this much data holds no chain.
inline constexpr std::size_t kMaxSniffBytes = 32 * 1024;

struct FrameChain {
    FrameFormat format;
    std::size_t offset_bytes; // where the first frame of the chain starts
};

// The first chain of kChainFrames frames of one of `accepted` formats in
// `bytes`; nullopt when there is none (yet).
std::optional<FrameChain> FindFrameChain(std::span<const uint8_t> bytes,
                                         std::span<const FrameFormat> accepted);

// The length in bytes of the `format` frame whose header starts `bytes`, 0
// when no well-formed header starts there.
std::size_t FrameLength(FrameFormat format, std::span<const uint8_t> bytes);

} // namespace audio
