#pragma once

// A peaking (parametric) equalizer band: a biquad after the Audio EQ
// Cookbook's peaking EQ, processing interleaved float frames in place.
//
// Threads: Process and ProcessCascade run on one thread (the output
// callback) and never allocate, lock or wait. SetParameters may be called from any other
// thread at any time: it publishes the new parameters through a sequence
// counter, and Process picks them up at the start of its next buffer (a
// publication torn by a concurrent Process call is picked up one buffer
// later). A change glides from the old to the new parameters over about
// 20 ms, recomputing the coefficients every few samples, so it never clicks.
//
// The filter state is double (two channels side by side where there are
// two): at 80 Hz the poles lie within about 0.1 % of the unit circle.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace audio {

struct PeakingEqParams {
    float centre = 80.0f;    // Hz
    float bandwidth = 12.0f; // semitones
    float gain = 0.0f;       // dB
};

// Bounds of the accepted parameters.
inline constexpr float kEqMinCentre = 80.0f;
inline constexpr float kEqMaxCentre = 16000.0f;
// The centre also stays below this share of the sample rate, where the band
// is still a band.
inline constexpr double kEqMaxCentreShareOfRate = 0.45;
inline constexpr float kEqMinBandwidth = 1.0f;
inline constexpr float kEqMaxBandwidth = 36.0f;
inline constexpr float kEqMinGain = -15.0f;
inline constexpr float kEqMaxGain = 15.0f;

// The parameters a band really uses for `requested` at `sampleRate`: each
// value clamped to its range (infinities to the nearer bound), a NaN replaced
// by that field's default.
PeakingEqParams ClampPeakingEqParams(PeakingEqParams requested, double sampleRate);

class PeakingEq {
public:
    static constexpr int kMaxChannels = 8;

    // `sampleRate` in Hz (a rate that is not positive and finite counts as
    // 44100); `channels` from 1 to kMaxChannels (clamped). Starts flat with
    // the default parameters.
    PeakingEq(double sampleRate, int channels);

    PeakingEq(const PeakingEq &) = delete;
    PeakingEq &operator=(const PeakingEq &) = delete;

    // Any thread. Returns the parameters as clamped and to be applied.
    PeakingEqParams SetParameters(PeakingEqParams requested);

    // Any thread: the last parameters set (clamped).
    PeakingEqParams Parameters() const;

    // Output thread: filters `frames` interleaved frames in place. A flat
    // band (gain 0, not gliding) is the identity and leaves the samples
    // untouched; otherwise samples that are NaN or infinite enter as silence
    // and the output is always finite.
    void Process(float *interleaved, std::size_t frames);

    // Output thread: the same as calling Process of each of `count` bands in
    // turn, in one pass over the frames, so that the bands' recursions run
    // side by side instead of one after another. The bands have the same
    // channel count.
    static void ProcessCascade(PeakingEq *const *bands, std::size_t count, float *interleaved,
                               std::size_t frames);

private:
    struct Coefficients {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    };
    struct State {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    // The parameters as the glide interpolates them: frequency on a log scale.
    struct Shape {
        double logCentre = 0, bandwidth = 0, gain = 0;
    };

    Shape shapeOf(PeakingEqParams p) const;
    Coefficients coefficientsOf(const Shape &s) const;
    void pickUpParameters();
    // Moves the glide on by `frames` and brings the coefficients up to date.
    void glide(std::size_t frames);
    // Whether the band changes the sound (or is on its way to or from doing so).
    bool shapes() const { return glideTotal_ != 0 || current_.gain != 0.0; }
    static void processGroup(PeakingEq *const *bands, std::size_t count, float *interleaved,
                             std::size_t frames);
    // Runs bands that shape the sound over finite samples with their
    // present coefficients.
    static void runActive(PeakingEq *const *bands, std::size_t count, float *block,
                          std::size_t frames);

    const double sampleRate_;
    const int channels_;

    // Published by SetParameters: odd sequence while a write is under way.
    std::mutex setMutex_; // serialises writers only; Process never takes it
    std::atomic<uint32_t> sequence_{0};
    std::atomic<float> centre_;
    std::atomic<float> bandwidth_;
    std::atomic<float> gain_;

    // Output thread only.
    uint32_t appliedSequence_ = 0;
    Shape from_, to_, current_;
    std::size_t glideDone_ = 0;  // samples of the glide done
    std::size_t glideTotal_ = 0; // 0 when not gliding
    Coefficients coefficients_;
    std::array<State, kMaxChannels> state_{};
};

// Clamps `count` samples to [-1, 1] in place; NaN becomes 0.
void ClipToFullScale(float *samples, std::size_t count);

} // namespace audio
