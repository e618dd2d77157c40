#include "audio/cpu_meter.h"

#include <algorithm>

#include <pthread.h>

namespace audio {

namespace {

double secondsOf(clockid_t clock) {
    timespec t{};
    if (clock_gettime(clock, &t) != 0)
        return 0.0;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr std::chrono::seconds kWindow{1};

} // namespace

CpuMeter &CpuMeter::Instance() {
    static CpuMeter *meter = new CpuMeter;
    return *meter;
}

CpuMeter::CpuMeter() {
    samples_.push_back({std::chrono::steady_clock::now(), 0.0});
}

CpuMeter::ThreadScope::ThreadScope() {
    if (pthread_getcpuclockid(pthread_self(), &clock_) != 0)
        return;
    counted_ = true;
    CpuMeter &meter = Instance();
    std::lock_guard lock(meter.mutex_);
    meter.threads_.push_back(clock_);
}

CpuMeter::ThreadScope::~ThreadScope() {
    if (!counted_)
        return;
    CpuMeter &meter = Instance();
    const double used = secondsOf(clock_);
    std::lock_guard lock(meter.mutex_);
    meter.threads_.erase(std::find(meter.threads_.begin(), meter.threads_.end(), clock_));
    meter.retiredSeconds_ += used;
}

double CpuMeter::totalSeconds(std::span<const clockid_t> extra_clocks) const {
    double total = retiredSeconds_;
    for (clockid_t clock : threads_)
        total += secondsOf(clock);
    for (clockid_t clock : extra_clocks)
        total += secondsOf(clock);
    return total;
}

float CpuMeter::Load(std::span<const clockid_t> extra_clocks) {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    const double total = totalSeconds(extra_clocks);
    // The newest sample at least a window old, else the oldest.
    auto base = samples_.begin();
    for (auto it = samples_.begin(); it != samples_.end(); ++it) {
        if (now - it->at >= kWindow)
            base = it;
    }
    const double wall = std::chrono::duration<double>(now - base->at).count();
    const double load = wall > 0.0 ? std::max(0.0, total - base->cpu_seconds) / wall : 0.0;
    samples_.erase(samples_.begin(), base);
    samples_.push_back({now, total});
    return static_cast<float>(load);
}

} // namespace audio
