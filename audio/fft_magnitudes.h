#pragma once

// Spectrum of the most recent output: the magnitudes of a Hann-windowed
// 1024-point real FFT, as a channel's spectrum query returns them.
//
// A Spectrum object owns its transform and scratch buffers, allocated once in
// the constructor; Compute never allocates, locks or waits. One object serves
// one thread at a time (Compute writes its scratch buffers); distinct objects
// may run in parallel.

#include <cstddef>
#include <memory>

struct AVTXContext;

namespace audio {

inline constexpr std::size_t kSpectrumFftSize = 1024;
inline constexpr std::size_t kSpectrumBins = kSpectrumFftSize / 2;

class Spectrum {
public:
    // Throws std::bad_alloc when the transform cannot be set up.
    Spectrum();
    ~Spectrum();

    Spectrum(const Spectrum &) = delete;
    Spectrum &operator=(const Spectrum &) = delete;

    // From `samples`, the last kSpectrumFftSize mono samples oldest first,
    // writes kSpectrumBins magnitudes to `bins`, bin 0 (DC) first; bin k is
    // centred on k * sampleRate / 1024. A full-scale sine centred on a bin
    // reads 1.0 there; silence reads 0. Samples that are NaN or infinite count
    // as silence.
    void Compute(const float *samples, float *bins);

private:
    struct AvFree {
        void operator()(void *p) const;
    };

    AVTXContext *tx_ = nullptr;
    void (*fn_)(AVTXContext *, void *, void *, std::ptrdiff_t) = nullptr;
    std::unique_ptr<float[], AvFree> window_;
    std::unique_ptr<float[], AvFree> input_;
    std::unique_ptr<float[], AvFree> output_; // kSpectrumBins + 1 complex values
};

// Mixes `frames` interleaved stereo frames to mono (the mean of left and
// right) into `mono`. `stereo` and `mono` may be the same buffer.
void MixStereoToMono(const float *stereo, std::size_t frames, float *mono);

} // namespace audio
