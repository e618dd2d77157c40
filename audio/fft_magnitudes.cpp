#include "audio/fft_magnitudes.h"

#include <cmath>
#include <new>
#include <numbers>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

namespace audio {

namespace {

float *allocFloats(std::size_t count) {
    void *p = av_malloc(count * sizeof(float));
    if (p == nullptr)
        throw std::bad_alloc();
    return static_cast<float *>(p);
}

} // namespace

void Spectrum::AvFree::operator()(void *p) const {
    av_free(p);
}

Spectrum::Spectrum()
    : window_(allocFloats(kSpectrumFftSize)), input_(allocFloats(kSpectrumFftSize)),
      output_(allocFloats(2 * (kSpectrumBins + 1))) {
    // The periodic Hann window sums to N/2, so a sine of amplitude A centred
    // on a bin gives |X[k]| = A * N / 4 there; 4 / N folded into the window
    // makes that read A.
    constexpr double kScale = 4.0 / static_cast<double>(kSpectrumFftSize);
    for (std::size_t n = 0; n < kSpectrumFftSize; ++n) {
        const double phase =
            2.0 * std::numbers::pi * static_cast<double>(n) / static_cast<double>(kSpectrumFftSize);
        window_[n] = static_cast<float>(kScale * 0.5 * (1.0 - std::cos(phase)));
    }
    const float unity = 1.0f;
    av_tx_fn fn = nullptr;
    if (av_tx_init(&tx_, &fn, AV_TX_FLOAT_RDFT, 0, static_cast<int>(kSpectrumFftSize), &unity, 0) <
        0)
        throw std::bad_alloc();
    fn_ = fn;
}

Spectrum::~Spectrum() {
    av_tx_uninit(&tx_);
}

void Spectrum::Compute(const float *samples, float *bins) {
    for (std::size_t n = 0; n < kSpectrumFftSize; ++n) {
        const float s = samples[n];
        input_[n] = std::isfinite(s) ? s * window_[n] : 0.0f;
    }
    fn_(tx_, output_.get(), input_.get(), sizeof(float));
    const float *c = output_.get();
    for (std::size_t k = 0; k < kSpectrumBins; ++k)
        bins[k] = std::sqrt(c[2 * k] * c[2 * k] + c[2 * k + 1] * c[2 * k + 1]);
}

void MixStereoToMono(const float *stereo, std::size_t frames, float *mono) {
    for (std::size_t i = 0; i < frames; ++i)
        mono[i] = 0.5f * (stereo[2 * i] + stereo[2 * i + 1]);
}

} // namespace audio
