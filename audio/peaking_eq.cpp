#include "audio/peaking_eq.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace audio {

namespace {

constexpr double kDefaultRate = 44100.0;
// Length of the glide from old to new parameters, and how often the
// coefficients are recomputed on the way.
constexpr double kGlideSeconds = 0.02;
constexpr std::size_t kGlideStep = 32;
// A filter state beyond this is a blow-up, not audio: the band restarts.
constexpr double kStateLimit = 1e20;
// State values below this are flushed to zero so that a decaying tail never
// reaches the slow denormal range.
constexpr double kFlushBelow = 1e-25;
constexpr float kLargestFloat = std::numeric_limits<float>::max();

double sanitizeRate(double rate) {
    return std::isfinite(rate) && rate > 0 ? rate : kDefaultRate;
}

float clampField(float value, float fallback, float low, float high) {
    if (std::isnan(value))
        return fallback;
    return std::clamp(value, low, high);
}

} // namespace

PeakingEqParams ClampPeakingEqParams(PeakingEqParams requested, double sampleRate) {
    const PeakingEqParams defaults;
    PeakingEqParams p;
    p.centre = clampField(requested.centre, defaults.centre, kEqMinCentre, kEqMaxCentre);
    p.centre =
        std::min(p.centre, static_cast<float>(kEqMaxCentreShareOfRate * sanitizeRate(sampleRate)));
    p.bandwidth =
        clampField(requested.bandwidth, defaults.bandwidth, kEqMinBandwidth, kEqMaxBandwidth);
    p.gain = clampField(requested.gain, defaults.gain, kEqMinGain, kEqMaxGain);
    return p;
}

PeakingEq::PeakingEq(double sampleRate, int channels)
    : sampleRate_(sanitizeRate(sampleRate)), channels_(std::clamp(channels, 1, kMaxChannels)) {
    const PeakingEqParams p = ClampPeakingEqParams(PeakingEqParams{}, sampleRate_);
    centre_.store(p.centre);
    bandwidth_.store(p.bandwidth);
    gain_.store(p.gain);
    current_ = to_ = from_ = shapeOf(p);
    coefficients_ = coefficientsOf(current_);
}

PeakingEqParams PeakingEq::SetParameters(PeakingEqParams requested) {
    const PeakingEqParams p = ClampPeakingEqParams(requested, sampleRate_);
    std::lock_guard lock(setMutex_);
    const uint32_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    centre_.store(p.centre, std::memory_order_relaxed);
    bandwidth_.store(p.bandwidth, std::memory_order_relaxed);
    gain_.store(p.gain, std::memory_order_relaxed);
    sequence_.store(s + 2, std::memory_order_release);
    return p;
}

PeakingEqParams PeakingEq::Parameters() const {
    // A read that overlaps a publication is retried.
    for (;;) {
        const uint32_t s1 = sequence_.load(std::memory_order_acquire);
        PeakingEqParams p;
        p.centre = centre_.load(std::memory_order_relaxed);
        p.bandwidth = bandwidth_.load(std::memory_order_relaxed);
        p.gain = gain_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((s1 & 1u) == 0 && sequence_.load(std::memory_order_relaxed) == s1)
            return p;
    }
}

PeakingEq::Shape PeakingEq::shapeOf(PeakingEqParams p) const {
    return Shape{std::log(static_cast<double>(p.centre)), static_cast<double>(p.bandwidth),
                 static_cast<double>(p.gain)};
}

PeakingEq::Coefficients PeakingEq::coefficientsOf(const Shape &s) const {
    const double a = std::pow(10.0, s.gain / 40.0);
    const double w0 = 2.0 * std::numbers::pi * std::exp(s.logCentre) / sampleRate_;
    const double sinW = std::sin(w0);
    const double cosW = std::cos(w0);
    const double octaves = s.bandwidth / 12.0;
    const double alpha = sinW * std::sinh(std::numbers::ln2 / 2.0 * octaves * w0 / sinW);
    const double a0 = 1.0 + alpha / a;
    Coefficients c;
    c.b0 = (1.0 + alpha * a) / a0;
    c.b1 = -2.0 * cosW / a0;
    c.b2 = (1.0 - alpha * a) / a0;
    c.a1 = c.b1;
    c.a2 = (1.0 - alpha / a) / a0;
    return c;
}

void PeakingEq::pickUpParameters() {
    const uint32_t s1 = sequence_.load(std::memory_order_acquire);
    if (s1 == appliedSequence_ || (s1 & 1u) != 0)
        return;
    PeakingEqParams p;
    p.centre = centre_.load(std::memory_order_relaxed);
    p.bandwidth = bandwidth_.load(std::memory_order_relaxed);
    p.gain = gain_.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (sequence_.load(std::memory_order_relaxed) != s1)
        return;
    appliedSequence_ = s1;
    from_ = current_;
    to_ = shapeOf(p);
    glideDone_ = 0;
    glideTotal_ = std::max<std::size_t>(1, static_cast<std::size_t>(kGlideSeconds * sampleRate_));
}

void PeakingEq::Process(float *interleaved, std::size_t frames) {
    pickUpParameters();
    std::size_t done = 0;
    while (glideTotal_ != 0 && done < frames) {
        const std::size_t n = std::min(kGlideStep, frames - done);
        glideDone_ = std::min(glideDone_ + n, glideTotal_);
        const double t = static_cast<double>(glideDone_) / static_cast<double>(glideTotal_);
        current_.logCentre = from_.logCentre + t * (to_.logCentre - from_.logCentre);
        current_.bandwidth = from_.bandwidth + t * (to_.bandwidth - from_.bandwidth);
        current_.gain = from_.gain + t * (to_.gain - from_.gain);
        if (glideDone_ == glideTotal_) {
            current_ = to_;
            glideTotal_ = 0;
        }
        coefficients_ = coefficientsOf(current_);
        filter(interleaved + done * channels_, n, coefficients_);
        done += n;
    }
    if (done == frames)
        return;
    if (current_.gain == 0.0)
        keepHistory(interleaved + done * channels_, frames - done);
    else
        filter(interleaved + done * channels_, frames - done, coefficients_);
}

namespace {

// The two channels of a stereo frame side by side, computed together.
using DoublePair = double __attribute__((vector_size(2 * sizeof(double))));

double load(const float *p, double) {
    return *p;
}
DoublePair load(const float *p, DoublePair) {
    return DoublePair{p[0], p[1]};
}
void store(float *p, double v) {
    *p = static_cast<float>(v);
}
void store(float *p, DoublePair v) {
    p[0] = static_cast<float>(v[0]);
    p[1] = static_cast<float>(v[1]);
}

// Direct form I over `frames` frames `stride` floats apart, one channel
// (V = double) or a stereo pair (V = DoublePair) at a time; the samples are
// finite. Returns the largest output magnitude per lane, NaN should the
// filter have blown up.
template <typename V, typename Coefficients>
V filterLanes(float *p, std::size_t frames, std::size_t stride, const Coefficients &c, V &x1, V &x2,
              V &y1, V &y2) {
    const V zero{};
    const V b0 = zero + c.b0, b1 = zero + c.b1, b2 = zero + c.b2, a1 = zero + c.a1,
            a2 = zero + c.a2;
    V highest = zero, lowest = zero;
    for (std::size_t i = 0; i < frames; ++i, p += stride) {
        const V x = load(p, zero);
        // The feedback of the last output last: it alone waits for the
        // previous sample, the rest is computed meanwhile.
        const V y = (b0 * x + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        highest = highest < y ? y : highest;
        lowest = lowest > y ? y : lowest;
        store(p, y);
    }
    const V negated = zero - lowest;
    return highest < negated ? negated : highest;
}

} // namespace

void PeakingEq::filter(float *interleaved, std::size_t frames, const Coefficients &c) {
    // Samples that are not finite enter as silence.
    const std::size_t samples = frames * static_cast<std::size_t>(channels_);
    for (std::size_t i = 0; i < samples; ++i)
        interleaved[i] = std::fabs(interleaved[i]) <= kLargestFloat ? interleaved[i] : 0.0f;
    const auto stride = static_cast<std::size_t>(channels_);
    double peaks[kMaxChannels];
    if (channels_ == 2) {
        State &l = state_[0];
        State &r = state_[1];
        DoublePair x1{l.x1, r.x1}, x2{l.x2, r.x2}, y1{l.y1, r.y1}, y2{l.y2, r.y2};
        const DoublePair peak = filterLanes(interleaved, frames, stride, c, x1, x2, y1, y2);
        l = State{x1[0], x2[0], y1[0], y2[0]};
        r = State{x1[1], x2[1], y1[1], y2[1]};
        peaks[0] = peak[0];
        peaks[1] = peak[1];
    } else {
        for (int ch = 0; ch < channels_; ++ch) {
            State &s = state_[ch];
            peaks[ch] = filterLanes(interleaved + ch, frames, stride, c, s.x1, s.x2, s.y1, s.y2);
        }
    }
    for (int ch = 0; ch < channels_; ++ch) {
        State &s = state_[ch];
        if (peaks[ch] < kStateLimit) {
            // A state decayed to almost nothing is flushed to 0, so that the
            // tail of a sound never reaches the slow denormal range.
            for (double *v : {&s.x1, &s.x2, &s.y1, &s.y2})
                *v = std::fabs(*v) < kFlushBelow ? 0.0 : *v;
            continue;
        }
        // Blown up, or an input near the float range boosted beyond it: the
        // buffer is silenced and the band starts again from silence.
        s = State{};
        for (std::size_t i = 0; i < frames; ++i)
            interleaved[i * stride + static_cast<std::size_t>(ch)] = 0.0f;
    }
}

void PeakingEq::keepHistory(const float *p, std::size_t frames) {
    // A flat band's output is its input, so it leaves the samples alone; its
    // histories take the last two frames, so that a later change starts from
    // the right state.
    const std::size_t from = frames >= 2 ? frames - 2 : 0;
    for (int ch = 0; ch < channels_; ++ch) {
        State &s = state_[ch];
        for (std::size_t i = from; i < frames; ++i) {
            const float v = p[i * channels_ + ch];
            const double x = std::isfinite(v) ? v : 0.0;
            s.x2 = s.x1;
            s.x1 = x;
            s.y2 = s.y1;
            s.y1 = x;
        }
    }
}

void ClipToFullScale(float *samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const float x = samples[i];
        samples[i] = std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
    }
}

} // namespace audio
