#pragma once

// The library's processor load: the CPU time of its own threads (network,
// decode, output) over about the last second, as a share of one core.
// Threads count themselves with a ThreadScope; the output threads, which may
// be SDL's, are passed in by clock when the load is asked for.

#include <chrono>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include <time.h>

namespace audio {

class CpuMeter {
public:
    // The process's one meter; it lives to the end of the process.
    static CpuMeter &Instance();

    // Counts the calling thread's CPU time while it lives.
    class ThreadScope {
    public:
        ThreadScope();
        ~ThreadScope();
        ThreadScope(const ThreadScope &) = delete;
        ThreadScope &operator=(const ThreadScope &) = delete;

    private:
        clockid_t clock_{};
        bool counted_ = false;
    };

    // CPU seconds per wall second of the counted threads and of
    // `extra_clocks`, over the time since the latest earlier call that is at
    // least a second old (or since the meter started).
    float Load(std::span<const clockid_t> extra_clocks);

private:
    CpuMeter();
    double totalSeconds(std::span<const clockid_t> extra_clocks) const;

    struct Sample {
        std::chrono::steady_clock::time_point at;
        double cpu_seconds;
    };

    mutable std::mutex mutex_;
    std::vector<clockid_t> threads_;
    double retiredSeconds_ = 0.0; // of threads that have ended
    std::deque<Sample> samples_;
};

} // namespace audio
