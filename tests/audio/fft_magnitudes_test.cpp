#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "audio/fft_magnitudes.h"

namespace {

using audio::kSpectrumBins;
using audio::kSpectrumFftSize;

constexpr double kRate = 44100.0;

std::vector<float> sine(double frequency, double amplitude) {
    std::vector<float> s(kSpectrumFftSize);
    for (std::size_t n = 0; n < s.size(); ++n)
        s[n] = static_cast<float>(
            amplitude *
            std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(n) / kRate + 0.3));
    return s;
}

std::vector<float> spectrumOf(const std::vector<float> &samples) {
    audio::Spectrum spectrum;
    std::vector<float> bins(kSpectrumBins, -1.0f);
    spectrum.Compute(samples.data(), bins.data());
    return bins;
}

std::size_t peakBin(const std::vector<float> &bins) {
    std::size_t best = 0;
    for (std::size_t k = 1; k < bins.size(); ++k)
        if (bins[k] > bins[best])
            best = k;
    return best;
}

double binFrequency(double bin) {
    return bin * kRate / static_cast<double>(kSpectrumFftSize);
}

struct CentredCase {
    std::size_t bin;
    double amplitude;
};

class SpectrumCentredSine : public testing::TestWithParam<CentredCase> {};

TEST_P(SpectrumCentredSine, ReadsItsAmplitudeInItsBinAndLittleElsewhere) {
    const CentredCase c = GetParam();
    const std::vector<float> bins =
        spectrumOf(sine(binFrequency(static_cast<double>(c.bin)), c.amplitude));
    EXPECT_EQ(peakBin(bins), c.bin);
    EXPECT_NEAR(bins[c.bin], c.amplitude, 1e-3 * c.amplitude);
    // A Hann window spreads a centred sine over its two neighbours at half
    // the height and nowhere else.
    if (c.bin + 1 < kSpectrumBins) {
        EXPECT_NEAR(bins[c.bin + 1], c.amplitude / 2, 2e-3 * c.amplitude);
    }
    for (std::size_t k = 0; k < kSpectrumBins; ++k) {
        if (k + 2 < c.bin || k > c.bin + 2) {
            EXPECT_LT(bins[k], 1e-3 * c.amplitude) << "bin " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bins, SpectrumCentredSine,
                         testing::Values(CentredCase{1, 1.0}, CentredCase{23, 1.0},
                                         CentredCase{100, 0.5}, CentredCase{300, 0.1},
                                         CentredCase{510, 1.0}));

struct ToneCase {
    double frequency;
    double amplitude;
};

class SpectrumTone : public testing::TestWithParam<ToneCase> {};

TEST_P(SpectrumTone, PeaksInTheNearestBinWithinTheWindowsScallopingLoss) {
    const ToneCase c = GetParam();
    const std::vector<float> bins = spectrumOf(sine(c.frequency, c.amplitude));
    const auto expected = static_cast<std::size_t>(
        std::lround(c.frequency * static_cast<double>(kSpectrumFftSize) / kRate));
    EXPECT_EQ(peakBin(bins), expected);
    // Halfway between two bins a Hann window reads 1.42 dB low.
    EXPECT_GE(bins[expected], 0.84 * c.amplitude);
    EXPECT_LE(bins[expected], 1.001 * c.amplitude);
}

INSTANTIATE_TEST_SUITE_P(Tones, SpectrumTone,
                         testing::Values(ToneCase{440.0, 1.0}, ToneCase{1000.0, 0.25},
                                         ToneCase{5000.0, 0.7}, ToneCase{15000.0, 1.0}));

TEST(Spectrum, SilenceReadsZeroEverywhere) {
    for (float v : spectrumOf(std::vector<float>(kSpectrumFftSize, 0.0f)))
        EXPECT_EQ(v, 0.0f);
}

TEST(Spectrum, NonFiniteSamplesCountAsSilence) {
    std::vector<float> samples(kSpectrumFftSize, 0.0f);
    samples[10] = std::numeric_limits<float>::quiet_NaN();
    samples[500] = std::numeric_limits<float>::infinity();
    samples[900] = -std::numeric_limits<float>::infinity();
    for (float v : spectrumOf(samples))
        EXPECT_EQ(v, 0.0f);
}

TEST(Spectrum, MatchesADirectTransformOfTheWindowedSamples) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> samples(kSpectrumFftSize);
    for (float &s : samples)
        s = uniform(random);
    audio::Spectrum spectrum;
    std::vector<float> bins(kSpectrumBins);
    // Twice on one object: the transform must not depend on earlier calls.
    spectrum.Compute(samples.data(), bins.data());
    spectrum.Compute(samples.data(), bins.data());
    const double n = static_cast<double>(kSpectrumFftSize);
    for (std::size_t k = 0; k < kSpectrumBins; ++k) {
        std::complex<double> sum;
        for (std::size_t i = 0; i < kSpectrumFftSize; ++i) {
            const double w = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * double(i) / n));
            sum += double(samples[i]) * w *
                   std::polar(1.0, -2.0 * std::numbers::pi * double(k) * double(i) / n);
        }
        EXPECT_NEAR(bins[k], 4.0 * std::abs(sum) / n, 1e-4) << "bin " << k;
    }
}

TEST(MixStereoToMono, AveragesLeftAndRightAlsoInPlace) {
    std::vector<float> stereo = {1.0f, 0.0f, 0.5f, 0.5f, -1.0f, 1.0f, 0.25f, -0.75f};
    std::vector<float> mono(4);
    audio::MixStereoToMono(stereo.data(), 4, mono.data());
    EXPECT_EQ(mono, (std::vector<float>{0.5f, 0.5f, 0.0f, -0.25f}));
    audio::MixStereoToMono(stereo.data(), 4, stereo.data());
    EXPECT_EQ(std::vector<float>(stereo.begin(), stereo.begin() + 4), mono);
}

} // namespace
