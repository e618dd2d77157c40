#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/peaking_eq.h"

namespace {

using audio::PeakingEq;
using audio::PeakingEqParams;

constexpr double kRate = 44100.0;
constexpr std::size_t kBlock = 512;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Interleaved stereo: the tone on both channels, the right one a little
// shifted so that the channels are told apart.
std::vector<float> stereoTone(double frequency, double amplitude, std::size_t frames) {
    std::vector<float> s(2 * frames);
    for (std::size_t n = 0; n < frames; ++n) {
        const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(n) / kRate;
        s[2 * n] = static_cast<float>(amplitude * std::sin(phase));
        s[2 * n + 1] = static_cast<float>(amplitude * std::sin(phase + 1.0));
    }
    return s;
}

void processInBlocks(PeakingEq &eq, std::vector<float> &s) {
    const std::size_t frames = s.size() / 2;
    for (std::size_t at = 0; at < frames; at += kBlock)
        eq.Process(s.data() + 2 * at, std::min(kBlock, frames - at));
}

// RMS of one channel over frames [from, to).
double rms(const std::vector<float> &s, int channel, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t n = from; n < to; ++n)
        sum += double(s[2 * n + channel]) * double(s[2 * n + channel]);
    return std::sqrt(sum / static_cast<double>(to - from));
}

// The band's gain at `frequency` in dB, on both channels, measured after the
// filter and any glide have settled.
std::pair<double, double> gainAt(const PeakingEqParams &p, double frequency) {
    PeakingEq eq(kRate, 2);
    eq.SetParameters(p);
    const std::size_t frames = static_cast<std::size_t>(kRate);
    const std::vector<float> in = stereoTone(frequency, 0.1, frames);
    std::vector<float> out = in;
    processInBlocks(eq, out);
    auto db = [&](int ch) {
        return 20.0 *
               std::log10(rms(out, ch, frames / 2, frames) / rms(in, ch, frames / 2, frames));
    };
    return {db(0), db(1)};
}

struct ResponseCase {
    PeakingEqParams params;
    double tone;
    double expectedDb;
    double toleranceDb;
};

class PeakingEqResponse : public testing::TestWithParam<ResponseCase> {};

TEST_P(PeakingEqResponse, ChangesTheToneByTheExpectedGain) {
    const ResponseCase c = GetParam();
    const auto [left, right] = gainAt(c.params, c.tone);
    EXPECT_NEAR(left, c.expectedDb, c.toleranceDb);
    EXPECT_NEAR(right, c.expectedDb, c.toleranceDb);
}

INSTANTIATE_TEST_SUITE_P(
    Bands, PeakingEqResponse,
    testing::Values(
        // +12 dB an octave wide around 1 kHz: the tone rises by 12 dB, tones
        // three octaves away stay within 1 dB.
        ResponseCase{{1000, 12, 12}, 1000, 12, 0.1}, ResponseCase{{1000, 12, 12}, 125, 0, 1},
        ResponseCase{{1000, 12, 12}, 8000, 0, 1}, ResponseCase{{1000, 12, -12}, 1000, -12, 0.1},
        // What the equalizer window sends: 80 Hz, 3 semitones, 0..30 dB
        // (above +15 clamped).
        ResponseCase{{80, 3, 15}, 80, 15, 0.1}, ResponseCase{{80, 3, 30}, 80, 15, 0.1},
        ResponseCase{{80, 3, 15}, 640, 0, 0.1}, ResponseCase{{80, 3, 0}, 80, 0, 1e-6},
        ResponseCase{{16000, 36, -15}, 16000, -15, 0.1}, ResponseCase{{4000, 1, 9}, 4000, 9, 0.1}));

TEST(PeakingEq, DefaultBandLeavesTheSignalUntouched) {
    PeakingEq eq(kRate, 2);
    const std::vector<float> in = stereoTone(80, 0.9, 4096);
    std::vector<float> out = in;
    processInBlocks(eq, out);
    EXPECT_EQ(out, in);
}

TEST(PeakingEq, ProcessesMonoAsWellAsStereo) {
    PeakingEq eq(kRate, 1);
    eq.SetParameters({1000, 12, 12});
    const std::size_t frames = 44100;
    std::vector<float> s(frames);
    for (std::size_t n = 0; n < frames; ++n)
        s[n] = static_cast<float>(0.1 * std::sin(2 * std::numbers::pi * 1000 * double(n) / kRate));
    const std::vector<float> in = s;
    for (std::size_t at = 0; at < frames; at += kBlock)
        eq.Process(s.data() + at, std::min(kBlock, frames - at));
    double inSum = 0, outSum = 0;
    for (std::size_t n = frames / 2; n < frames; ++n) {
        inSum += double(in[n]) * in[n];
        outSum += double(s[n]) * s[n];
    }
    EXPECT_NEAR(10 * std::log10(outSum / inSum), 12, 0.1);
}

struct ClampCase {
    PeakingEqParams in;
    double sampleRate;
    PeakingEqParams expected;
};

class PeakingEqClamp : public testing::TestWithParam<ClampCase> {};

TEST_P(PeakingEqClamp, KeepsEveryValueInItsRange) {
    const ClampCase c = GetParam();
    const PeakingEqParams p = audio::ClampPeakingEqParams(c.in, c.sampleRate);
    EXPECT_FLOAT_EQ(p.centre, c.expected.centre);
    EXPECT_FLOAT_EQ(p.bandwidth, c.expected.bandwidth);
    EXPECT_FLOAT_EQ(p.gain, c.expected.gain);
    // The band itself reports what it applies.
    PeakingEq eq(c.sampleRate, 2);
    const PeakingEqParams applied = eq.SetParameters(c.in);
    EXPECT_FLOAT_EQ(applied.centre, c.expected.centre);
    EXPECT_FLOAT_EQ(eq.Parameters().gain, c.expected.gain);
}

INSTANTIATE_TEST_SUITE_P(Values, PeakingEqClamp,
                         testing::Values(ClampCase{{1000, 12, 6}, kRate, {1000, 12, 6}},
                                         ClampCase{{10, 0.5f, 30}, kRate, {80, 1, 15}},
                                         ClampCase{{20000, 100, -30}, kRate, {16000, 36, -15}},
                                         ClampCase{{kNaN, kNaN, kNaN}, kRate, {80, 12, 0}},
                                         ClampCase{{kInf, kInf, kInf}, kRate, {16000, 36, 15}},
                                         ClampCase{{-kInf, -kInf, -kInf}, kRate, {80, 1, -15}},
                                         ClampCase{{-500, -3, 0}, kRate, {80, 1, 0}},
                                         // Below half the sample rate.
                                         ClampCase{{16000, 12, 3}, 8000, {3600, 12, 3}},
                                         ClampCase{{16000, 12, 3}, 22050, {9922.5f, 12, 3}},
                                         // A rate that is no rate counts as 44100.
                                         ClampCase{{20000, 12, 3}, std::nan(""), {16000, 12, 3}},
                                         ClampCase{{20000, 12, 3}, 0, {16000, 12, 3}}));

bool allFinite(const std::vector<float> &s) {
    for (float v : s)
        if (!std::isfinite(v))
            return false;
    return true;
}

class PeakingEqExtreme : public testing::TestWithParam<PeakingEqParams> {};

TEST_P(PeakingEqExtreme, NeverOutputsNaNOrInfinityAndRecoversFromGarbage) {
    PeakingEq eq(kRate, 2);
    eq.SetParameters(GetParam());
    std::mt19937 random(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> s(2 * 44100);
    for (float &v : s)
        v = uniform(random);
    const float garbage[] = {kNaN,
                             kInf,
                             -kInf,
                             std::numeric_limits<float>::max(),
                             -std::numeric_limits<float>::max(),
                             1e30f,
                             std::numeric_limits<float>::denorm_min()};
    for (std::size_t i = 0; i < std::size(garbage); ++i) {
        s[1000 + 7919 * i] = garbage[i];
        s[1001 + 7919 * i] = garbage[i];
    }
    processInBlocks(eq, s);
    EXPECT_TRUE(allFinite(s));

    // After the garbage, a clean tone in the band comes out at the band's
    // gain, once even the narrowest boost (poles some 1 Hz wide) has settled.
    const PeakingEqParams p = eq.Parameters();
    const std::size_t frames = 4 * 44100;
    const std::vector<float> in = stereoTone(p.centre, 0.01, frames);
    std::vector<float> out = in;
    processInBlocks(eq, out);
    EXPECT_TRUE(allFinite(out));
    const double db =
        20 * std::log10(rms(out, 0, frames - 44100, frames) / rms(in, 0, frames - 44100, frames));
    EXPECT_NEAR(db, p.gain, 0.2);
}

INSTANTIATE_TEST_SUITE_P(Corners, PeakingEqExtreme,
                         testing::Values(PeakingEqParams{80, 1, 15}, PeakingEqParams{80, 36, 15},
                                         PeakingEqParams{16000, 1, 15},
                                         PeakingEqParams{16000, 36, 15},
                                         PeakingEqParams{80, 1, -15},
                                         PeakingEqParams{16000, 36, -15},
                                         PeakingEqParams{kNaN, 1e9f, -1e9f}));

// Largest sample-to-sample step of one channel over frames [from, to).
float largestStep(const std::vector<float> &s, int channel, std::size_t from, std::size_t to) {
    float step = 0;
    for (std::size_t n = from + 1; n < to; ++n)
        step = std::max(step, std::fabs(s[2 * n + channel] - s[2 * (n - 1) + channel]));
    return step;
}

struct ChangeCase {
    PeakingEqParams before;
    PeakingEqParams after;
    double tone;
    // How far the largest step while the band changes may exceed the
    // largest step of the settled signal before and after.
    float stepRatio;
};

class PeakingEqChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(PeakingEqChange, GlidesWithoutAClick) {
    // A low tone changes little from sample to sample, so a step in the
    // output (a click) stands out against the steps of the settled signal.
    const ChangeCase c = GetParam();
    PeakingEq eq(kRate, 2);
    eq.SetParameters(c.before);
    const std::size_t frames = 3 * 44100;
    const std::size_t changeAt = 90 * kBlock;
    std::vector<float> s = stereoTone(c.tone, 0.1, frames);
    for (std::size_t at = 0; at < frames; at += kBlock) {
        if (at == changeAt)
            eq.SetParameters(c.after);
        eq.Process(s.data() + 2 * at, std::min(kBlock, frames - at));
    }
    const std::size_t settledAgain = frames - 44100;
    for (int ch = 0; ch < 2; ++ch) {
        const float settled = std::max(largestStep(s, ch, changeAt - 22050, changeAt),
                                       largestStep(s, ch, settledAgain, frames));
        EXPECT_LE(largestStep(s, ch, changeAt - 1, settledAgain), c.stepRatio * settled)
            << "channel " << ch;
    }
    const std::vector<float> ref = stereoTone(c.tone, 0.1, frames);
    const double db =
        20 * std::log10(rms(s, 0, settledAgain, frames) / rms(ref, 0, settledAgain, frames));
    // In the end the tone is where a band set up with the new parameters
    // from the start puts it.
    EXPECT_NEAR(db, gainAt(c.after, c.tone).first, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Changes, PeakingEqChange,
                         testing::Values(
                             // The equalizer window's moves: gain only.
                             ChangeCase{{80, 3, 0}, {80, 3, 15}, 80, 1.1f},
                             ChangeCase{{100, 12, -15}, {100, 12, 15}, 100, 1.1f},
                             ChangeCase{{300, 12, 15}, {300, 12, -15}, 100, 1.1f},
                             // Moving the centre away from a boosted tone: an abrupt change of
                             // the coefficients steps by almost three times the settled step.
                             ChangeCase{{200, 12, 15}, {4000, 12, 15}, 200, 1.1f},
                             ChangeCase{{1000, 36, 15}, {1000, 1, 15}, 700, 1.1f},
                             // Everything at once, corner to corner: the energy stored in the
                             // narrow boost has to go somewhere, but no step (abrupt: six times).
                             ChangeCase{{80, 1, 15}, {16000, 36, -15}, 80, 1.5f}));

TEST(PeakingEq, TakesEffectWithinOneBufferAndTheGlide) {
    // A wide band settles within a few milliseconds, so its level right
    // after the glide shows when the change took effect.
    PeakingEq eq(kRate, 2);
    eq.SetParameters({1000, 36, 0});
    const std::size_t frames = 44100;
    const std::vector<float> ref = stereoTone(1000, 0.1, frames);
    std::vector<float> s = ref;
    eq.Process(s.data(), 10 * kBlock);
    eq.SetParameters({1000, 36, 12});
    eq.Process(s.data() + 2 * 10 * kBlock, frames - 10 * kBlock);
    // One buffer, then the 20 ms glide, then 5 ms for the band to settle.
    const std::size_t from = 11 * kBlock + static_cast<std::size_t>(0.025 * kRate);
    const std::size_t to = from + 441;
    EXPECT_NEAR(20 * std::log10(rms(s, 0, from, to) / rms(ref, 0, from, to)), 12, 0.5);
    // Before the change, flat.
    EXPECT_NEAR(20 * std::log10(rms(s, 0, 0, 10 * kBlock) / rms(ref, 0, 0, 10 * kBlock)), 0, 1e-6);
}

// Bands run in one pass sound as the same bands run one after another: the
// same within float rounding (one after another, the signal is rounded to
// float between bands), through glides, flat bands between shaping ones
// that start to shape, and shaping ones that go flat.
struct CascadeCase {
    const char *name;
    int channels;
    std::vector<PeakingEqParams> before;
    std::vector<PeakingEqParams> after; // set after 20 buffers of 512 frames
};

class PeakingEqCascade : public testing::TestWithParam<CascadeCase> {};

TEST_P(PeakingEqCascade, SoundsLikeItsBandsInTurn) {
    const CascadeCase &c = GetParam();
    const std::size_t bands = c.before.size();
    std::vector<std::unique_ptr<PeakingEq>> inTurn, together;
    std::vector<PeakingEq *> cascade;
    for (std::size_t k = 0; k < bands; ++k) {
        inTurn.push_back(std::make_unique<PeakingEq>(kRate, c.channels));
        together.push_back(std::make_unique<PeakingEq>(kRate, c.channels));
        inTurn.back()->SetParameters(c.before[k]);
        together.back()->SetParameters(c.before[k]);
        cascade.push_back(together.back().get());
    }
    const std::size_t frames = 40 * kBlock;
    const auto ch = static_cast<std::size_t>(c.channels);
    std::vector<float> one(frames * ch);
    for (std::size_t i = 0; i < one.size(); ++i)
        one[i] = static_cast<float>(0.3 * std::sin(0.013 * static_cast<double>(i)) +
                                    0.2 * std::sin(0.41 * static_cast<double>(i)));
    std::vector<float> other = one;
    // Buffers of odd lengths, so that glides end at any point in one.
    const std::size_t lengths[] = {512, 1, 2, 3, 511, 700};
    std::size_t at = 0, buffers = 0;
    while (at < frames) {
        if (buffers++ == 20)
            for (std::size_t k = 0; k < bands; ++k) {
                inTurn[k]->SetParameters(c.after[k]);
                together[k]->SetParameters(c.after[k]);
            }
        const std::size_t n = std::min(lengths[buffers % std::size(lengths)], frames - at);
        for (auto &band : inTurn)
            band->Process(one.data() + at * ch, n);
        PeakingEq::ProcessCascade(cascade.data(), bands, other.data() + at * ch, n);
        at += n;
    }
    float worst = 0;
    for (std::size_t i = 0; i < one.size(); ++i)
        worst = std::max(worst, std::fabs(one[i] - other[i]));
    EXPECT_LT(worst, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PeakingEqCascade,
    testing::Values(
        CascadeCase{"FiveBoosting",
                    2,
                    {{80, 3, 3}, {80, 3, 6}, {80, 3, 9}, {80, 3, 12}, {80, 3, 15}},
                    {{80, 3, 15}, {80, 3, 12}, {80, 3, 9}, {80, 3, 6}, {80, 3, 3}}},
        CascadeCase{"FlatBetweenStartToShape",
                    2,
                    {{1000, 12, 0}, {200, 6, 12}, {8000, 36, 0}, {3000, 2, -9}, {80, 3, 0}},
                    {{1000, 12, 9}, {200, 6, 12}, {8000, 36, -15}, {3000, 2, -9}, {80, 3, 15}}},
        CascadeCase{"ShapingGoFlat",
                    2,
                    {{16000, 36, 15}, {500, 1, -15}, {2000, 12, 6}},
                    {{16000, 36, 0}, {500, 1, 0}, {2000, 12, 6}}},
        CascadeCase{
            "AllFlatThenOneShapes", 2, {{80, 12, 0}, {80, 12, 0}}, {{80, 12, 0}, {900, 12, 15}}},
        CascadeCase{"MoreBandsThanOnePass", 2,
                    std::vector<PeakingEqParams>(11, PeakingEqParams{300, 12, 3}),
                    std::vector<PeakingEqParams>(11, PeakingEqParams{600, 6, -3})},
        CascadeCase{"Mono", 1, {{1000, 12, 0}, {200, 6, 12}}, {{1000, 12, 12}, {200, 6, 0}}},
        CascadeCase{"SixChannels", 6, {{1000, 12, 6}, {200, 6, 0}}, {{1000, 12, -6}, {200, 6, 9}}}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(PeakingEq, ParameterChangesFromAnotherThreadAllArrive) {
    PeakingEq eq(kRate, 2);
    std::atomic<bool> done{false};
    std::thread setter([&] {
        std::mt19937 random(3);
        std::uniform_real_distribution<float> gain(-15, 15);
        for (int i = 0; i < 20000; ++i)
            eq.SetParameters({1000, 12, gain(random)});
        eq.SetParameters({1000, 12, 9});
        done = true;
    });
    std::vector<float> s = stereoTone(1000, 0.1, kBlock);
    while (!done) {
        eq.Process(s.data(), kBlock);
        ASSERT_TRUE(allFinite(s));
    }
    setter.join();
    const std::vector<float> in = stereoTone(1000, 0.1, 44100);
    std::vector<float> out = in;
    processInBlocks(eq, out);
    EXPECT_TRUE(allFinite(out));
    EXPECT_NEAR(20 * std::log10(rms(out, 0, 22050, 44100) / rms(in, 0, 22050, 44100)), 9, 0.1);
}

struct ClipCase {
    float in;
    float out;
};

class ClipToFullScale : public testing::TestWithParam<ClipCase> {};

TEST_P(ClipToFullScale, KeepsSamplesWithinFullScale) {
    float v = GetParam().in;
    audio::ClipToFullScale(&v, 1);
    EXPECT_EQ(v, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Samples, ClipToFullScale,
                         testing::Values(ClipCase{0.25f, 0.25f}, ClipCase{-1.0f, -1.0f},
                                         ClipCase{1.5f, 1.0f}, ClipCase{-2.0f, -1.0f},
                                         ClipCase{kInf, 1.0f}, ClipCase{-kInf, -1.0f},
                                         ClipCase{kNaN, 0.0f}));

} // namespace
