#pragma once

// Reading a recorded file back with FFmpeg's demuxers and decoders, and
// measuring the tone it holds.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace audiotest {

struct DecodedFile {
    std::string codec; // FFmpeg's codec name, e.g. "pcm_s16le", "mp3", "vorbis"
    int sampleRate = 0;
    int channels = 0;
    int decodeErrors = 0;       // packets the decoder refused
    std::vector<float> samples; // interleaved, full scale 1.0
    std::size_t Frames() const {
        return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0;
    }
};

// The whole file decoded; nullopt when FFmpeg cannot open it or it holds
// other than one audio stream.
std::optional<DecodedFile> DecodeFile(const std::string &path);

// The frequency in Hz of the tone on `channel` (at least 0.1 of full scale):
// the median period between its rising zero crossings from `fromFrame` to
// `toFrame` (encoders' start-up and tail excluded).
double ToneFrequency(const DecodedFile &file, int channel, std::size_t fromFrame,
                     std::size_t toFrame);

// What a recording must decode to.
struct ExpectedRecording {
    std::string codec;
    std::size_t frames = 0;      // frames recorded
    std::size_t slackFrames = 0; // more decoded: the encoder's delay and last frame's padding
    std::vector<double> tonesHz; // per channel
};

// Checks (GoogleTest expectations) that `path` decodes without errors to
// stereo at 44100 Hz of `expected` codec and length, with the tones (when
// the recording is long enough to measure them away from its ends).
void ExpectRecording(const std::string &path, const ExpectedRecording &expected);

} // namespace audiotest
