#pragma once

// Audio streams for tests and benchmarks, encoded in-process with FFmpeg's
// encoders and muxed the way radio servers send them (raw frames, ADTS,
// LATM, fragmented MP4). The signal is a sine on both channels, by default
// 440 Hz at half of full scale, so a decoder's output can be checked by its
// level.

#include <string>

namespace testsupport {

enum class AudioCodec {
    Mp3,     // MPEG-1 Layer III, libmp3lame, raw frames
    Mp2,     // MPEG-1 Layer II, raw frames
    AacAdts, // AAC-LC in ADTS frames
    AacLatm, // AAC-LC in LOAS/LATM frames
    AacMp4,  // AAC-LC in fragmented MP4
    Ac3,     // raw AC-3 frames
    Eac3,    // raw E-AC-3 frames
};

inline constexpr double kToneHz = 440.0;
inline constexpr double kToneAmplitude = 0.5;

struct Tone {
    double hz = kToneHz;
    double amplitude = kToneAmplitude; // of full scale

    auto operator<=>(const Tone &) const = default;
};

// `seconds` of `tone` at 44100 Hz stereo and `bitrate_kbps`. Throws
// std::runtime_error when the encoder or muxer is missing.
std::string EncodeTone(AudioCodec codec, int bitrate_kbps, double seconds, Tone tone = {});

// The Content-Type a radio server sends for `codec`.
const char *ContentTypeOf(AudioCodec codec);

} // namespace testsupport
