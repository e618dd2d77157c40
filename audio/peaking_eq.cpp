#include "audio/peaking_eq.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

// Four floats computed together.
using FloatQuad = float __attribute__((vector_size(4 * sizeof(float))));

// Replaces each of `count` samples by `f(sample)`, four at a time where it
// can: `f` takes and returns a float or a FloatQuad, using only arithmetic,
// comparisons and the conditional operator.
template <typename F> void forEachQuad(float *p, std::size_t count, F f) {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        FloatQuad v;
        std::memcpy(&v, p + i, sizeof v);
        v = f(v);
        std::memcpy(p + i, &v, sizeof v);
    }
    for (; i < count; ++i)
        p[i] = f(p[i]);
}

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

void PeakingEq::glide(std::size_t frames) {
    glideDone_ = std::min(glideDone_ + frames, glideTotal_);
    const double t = static_cast<double>(glideDone_) / static_cast<double>(glideTotal_);
    current_.logCentre = from_.logCentre + t * (to_.logCentre - from_.logCentre);
    current_.bandwidth = from_.bandwidth + t * (to_.bandwidth - from_.bandwidth);
    current_.gain = from_.gain + t * (to_.gain - from_.gain);
    if (glideDone_ == glideTotal_) {
        current_ = to_;
        glideTotal_ = 0;
    }
    coefficients_ = coefficientsOf(current_);
}

void PeakingEq::Process(float *interleaved, std::size_t frames) {
    PeakingEq *const self = this;
    processGroup(&self, 1, interleaved, frames);
}

namespace {

// Bands run together in one pass at most; longer cascades run in groups.
constexpr std::size_t kCascadeGroup = 8;

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

// One band of a cascade for one channel (V = double) or a stereo pair
// (V = DoublePair): its coefficients and its direct form I state.
template <typename V> struct Stage {
    V b0, b1, b2, a1, a2;
    V x1, x2, y1, y2;
};

// One stage's output for input `x`. The feedback of the last output comes
// last: it alone waits for the previous sample, the rest is computed
// meanwhile.
template <typename V> V biquad(const Stage<V> &s, V x, V x1, V x2, V y1, V y2) {
    return (s.b0 * x + s.b1 * x1 + s.b2 * x2 - s.a2 * y2) - s.a1 * y1;
}

template <typename V> void widen(V &highest, V &lowest, V y) {
    highest = highest < y ? y : highest;
    lowest = lowest > y ? y : lowest;
}

// The stages one after another, each with its own history in memory.
template <typename V>
void runEach(Stage<V> *stages, std::size_t count, float *p, std::size_t frames, std::size_t stride,
             V &highest, V &lowest) {
    for (std::size_t i = 0; i < frames; ++i, p += stride) {
        V v = load(p, V{});
        for (std::size_t k = 0; k < count; ++k) {
            Stage<V> &s = stages[k];
            const V y = biquad(s, v, s.x1, s.x2, s.y1, s.y2);
            s.x2 = s.x1;
            s.x1 = v;
            s.y2 = s.y1;
            s.y1 = y;
            v = y;
        }
        widen(highest, lowest, v);
        store(p, v);
    }
}

// N stages whose input histories are their predecessors' output histories
// (true two frames into a pass): one history per link of the chain, kept in
// registers.
template <std::size_t N, typename V>
void runLinked(Stage<V> *stages, float *p, std::size_t frames, std::size_t stride, V &highest,
               V &lowest) {
    V h1[N + 1], h2[N + 1]; // [0]: the input; [k + 1]: stage k's output
    h1[0] = stages[0].x1;
    h2[0] = stages[0].x2;
    for (std::size_t k = 0; k < N; ++k) {
        h1[k + 1] = stages[k].y1;
        h2[k + 1] = stages[k].y2;
    }
    for (std::size_t i = 0; i < frames; ++i, p += stride) {
        V v = load(p, V{});
        // Unrolled, so that the histories stay in registers.
#pragma GCC unroll 16
        for (std::size_t k = 0; k <= N; ++k) {
            const V previous1 = h1[k], previous2 = h2[k];
            h2[k] = previous1;
            h1[k] = v;
            if (k < N)
                v = biquad(stages[k], v, previous1, previous2, h1[k + 1], h2[k + 1]);
        }
        widen(highest, lowest, v);
        store(p, v);
    }
    for (std::size_t k = 0; k < N; ++k) {
        stages[k].x1 = h1[k];
        stages[k].x2 = h2[k];
        stages[k].y1 = h1[k + 1];
        stages[k].y2 = h2[k + 1];
    }
}

// Runs the stages over `frames` frames `stride` floats apart, in place, on
// finite samples. Returns the largest output magnitude.
template <typename V>
V runCascade(Stage<V> *stages, std::size_t count, float *p, std::size_t frames,
             std::size_t stride) {
    V highest{}, lowest{};
    const std::size_t head = std::min<std::size_t>(2, frames);
    runEach(stages, count, p, head, stride, highest, lowest);
    p += head * stride;
    frames -= head;
    switch (count) {
    case 1:
        runLinked<1>(stages, p, frames, stride, highest, lowest);
        break;
    case 2:
        runLinked<2>(stages, p, frames, stride, highest, lowest);
        break;
    case 3:
        runLinked<3>(stages, p, frames, stride, highest, lowest);
        break;
    case 4:
        runLinked<4>(stages, p, frames, stride, highest, lowest);
        break;
    case 5:
        runLinked<5>(stages, p, frames, stride, highest, lowest);
        break;
    case 6:
        runLinked<6>(stages, p, frames, stride, highest, lowest);
        break;
    case 7:
        runLinked<7>(stages, p, frames, stride, highest, lowest);
        break;
    default:
        runLinked<kCascadeGroup>(stages, p, frames, stride, highest, lowest);
        break;
    }
    const V negated = V{} - lowest;
    return highest < negated ? negated : highest;
}

} // namespace

void PeakingEq::ProcessCascade(PeakingEq *const *bands, std::size_t count, float *interleaved,
                               std::size_t frames) {
    for (std::size_t first = 0; first < count; first += kCascadeGroup)
        processGroup(bands + first, std::min(kCascadeGroup, count - first), interleaved, frames);
}

void PeakingEq::processGroup(PeakingEq *const *bands, std::size_t count, float *interleaved,
                             std::size_t frames) {
    if (count == 0 || frames == 0)
        return;
    bool anyShapes = false;
    for (std::size_t k = 0; k < count; ++k) {
        bands[k]->pickUpParameters();
        anyShapes = anyShapes || bands[k]->shapes();
    }
    // Flat bands leave the samples alone, even ones that are not finite.
    if (!anyShapes) {
        for (std::size_t k = 0; k < count; ++k) {
            PeakingEq &band = *bands[k];
            const std::size_t ch = static_cast<std::size_t>(band.channels_);
            const std::size_t from = frames >= 2 ? frames - 2 : 0;
            for (std::size_t c = 0; c < ch; ++c) {
                State &s = band.state_[c];
                for (std::size_t i = from; i < frames; ++i) {
                    const float v = interleaved[i * ch + c];
                    const double x = std::isfinite(v) ? v : 0.0;
                    s = State{x, s.x1, x, s.y1};
                }
            }
        }
        return;
    }
    const int channels = bands[0]->channels_;
    const auto stride = static_cast<std::size_t>(channels);
    // Samples that are not finite enter as silence.
    forEachQuad(interleaved, frames * stride, [](auto v) {
        const auto magnitude = v < 0 ? -v : v;
        return magnitude <= kLargestFloat ? v : 0;
    });

    PeakingEq *active[kCascadeGroup];
    std::size_t done = 0;
    while (done < frames) {
        // While a band glides its coefficients change every kGlideStep frames.
        bool gliding = false;
        for (std::size_t k = 0; k < count; ++k)
            gliding = gliding || bands[k]->glideTotal_ != 0;
        const std::size_t n = gliding ? std::min(kGlideStep, frames - done) : frames - done;
        float *block = interleaved + done * stride;
        // The input's last two frames: the history of flat bands before the
        // first band that shapes the sound.
        State input[kMaxChannels];
        for (int c = 0; c < channels; ++c) {
            // The first band's inputs are the cascade's.
            const State &first = bands[0]->state_[c];
            State &s = input[c];
            s = State{first.x1, first.x2, first.x1, first.x2};
            for (std::size_t i = n >= 2 ? n - 2 : 0; i < n; ++i) {
                const double x = block[i * stride + static_cast<std::size_t>(c)];
                s = State{x, s.x1, x, s.y1};
            }
        }
        std::size_t shaping = 0;
        for (std::size_t k = 0; k < count; ++k) {
            PeakingEq &band = *bands[k];
            if (band.glideTotal_ != 0)
                band.glide(n);
            else if (!band.shapes())
                continue;
            active[shaping++] = &band;
        }
        runActive(active, shaping, block, n);
        // A flat band's output is its input, the output of the band that
        // shapes the sound before it: its history follows that.
        const State *before = input;
        for (std::size_t k = 0; k < count; ++k) {
            PeakingEq &band = *bands[k];
            if (std::find(active, active + shaping, &band) != active + shaping) {
                before = band.state_.data();
                continue;
            }
            for (int c = 0; c < channels; ++c)
                band.state_[c] = State{before[c].y1, before[c].y2, before[c].y1, before[c].y2};
        }
        done += n;
    }
}

void PeakingEq::runActive(PeakingEq *const *bands, std::size_t count, float *block,
                          std::size_t frames) {
    if (count == 0)
        return;
    const int channels = bands[0]->channels_;
    const auto stride = static_cast<std::size_t>(channels);
    double peaks[kMaxChannels] = {};
    if (channels == 2) {
        Stage<DoublePair> stages[kCascadeGroup]{};
        for (std::size_t k = 0; k < count; ++k) {
            const Coefficients &c = bands[k]->coefficients_;
            const State &l = bands[k]->state_[0];
            const State &r = bands[k]->state_[1];
            const DoublePair zero{};
            stages[k] = Stage<DoublePair>{zero + c.b0,  zero + c.b1,  zero + c.b2,
                                          zero + c.a1,  zero + c.a2,  {l.x1, r.x1},
                                          {l.x2, r.x2}, {l.y1, r.y1}, {l.y2, r.y2}};
        }
        const DoublePair peak = runCascade(stages, count, block, frames, stride);
        for (int c = 0; c < 2; ++c) {
            peaks[c] = peak[c];
            for (std::size_t k = 0; k < count; ++k) {
                const Stage<DoublePair> &s = stages[k];
                bands[k]->state_[c] = State{s.x1[c], s.x2[c], s.y1[c], s.y2[c]};
            }
        }
    } else {
        for (int c = 0; c < channels; ++c) {
            Stage<double> stages[kCascadeGroup]{};
            for (std::size_t k = 0; k < count; ++k) {
                const Coefficients &co = bands[k]->coefficients_;
                const State &s = bands[k]->state_[c];
                stages[k] =
                    Stage<double>{co.b0, co.b1, co.b2, co.a1, co.a2, s.x1, s.x2, s.y1, s.y2};
            }
            peaks[c] = runCascade(stages, count, block + c, frames, stride);
            for (std::size_t k = 0; k < count; ++k) {
                const Stage<double> &s = stages[k];
                bands[k]->state_[c] = State{s.x1, s.x2, s.y1, s.y2};
            }
        }
    }
    // A band's state beyond the bound, or not finite, has blown up too.
    for (int c = 0; c < channels; ++c)
        for (std::size_t k = 0; k < count; ++k) {
            const State &s = bands[k]->state_[c];
            if (!(std::max({std::fabs(s.x1), std::fabs(s.x2), std::fabs(s.y1), std::fabs(s.y2)}) <
                  kStateLimit))
                peaks[c] = kStateLimit;
        }
    for (int c = 0; c < channels; ++c) {
        if (peaks[c] < kStateLimit) {
            // A state decayed to almost nothing is flushed to 0, so that the
            // tail of a sound never reaches the slow denormal range.
            for (std::size_t k = 0; k < count; ++k) {
                State &s = bands[k]->state_[c];
                for (double *v : {&s.x1, &s.x2, &s.y1, &s.y2})
                    *v = std::fabs(*v) < kFlushBelow ? 0.0 : *v;
            }
            continue;
        }
        // Blown up, or an input near the float range boosted beyond it: this
        // channel's frames are silenced and the bands start again from silence.
        for (std::size_t k = 0; k < count; ++k)
            bands[k]->state_[c] = State{};
        for (std::size_t i = 0; i < frames; ++i)
            block[i * stride + static_cast<std::size_t>(c)] = 0.0f;
    }
}

void ClipToFullScale(float *samples, std::size_t count) {
    forEachQuad(samples, count, [](auto v) {
        v = v > 1 ? 1 : v;
        v = v < -1 ? -1 : v;
        return v == v ? v : 0; // NaN is the one value unequal to itself
    });
}

} // namespace audio
