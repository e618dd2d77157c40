#pragma once

// Child processes for the benchmarks that measure whole programs (the
// player, mpv, Icecast): starting them with a chosen environment, their
// CPU time and memory read from /proc while they run, and stopping them.
// Used from one thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace benchsupport {

using Clock = std::chrono::steady_clock;

long long NanosOf(Clock::time_point t);
double MillisBetween(long long from_ns, long long to_ns);

struct Spawned {
    pid_t pid = -1;
    Clock::time_point started; // taken just before the process was created
};

struct SpawnOptions {
    std::vector<std::string> argv;
    std::vector<std::string> extra_env;    // NAME=value, added to this process's
    std::string output_path = "/dev/null"; // standard output and error
    int report_fd = -1;                    // given to the child as its descriptor 3
};

// A loopback TCP port nothing listens on just now: connections to it are
// refused until someone binds it.
uint16_t FreeLoopbackPort();

// Starts the program; pid -1 when it could not be started.
Spawned Spawn(const SpawnOptions &options);

// User plus system CPU seconds of a running process (all its threads so
// far), from /proc/PID/stat; nullopt once it has gone.
std::optional<double> CpuSeconds(pid_t pid);

// A memory figure of a running process in MiB from /proc/PID/status:
// "VmHWM" (peak resident set) or "VmRSS" (resident now).
std::optional<double> MemoryMiB(pid_t pid, const char *field);

// Sends SIGTERM, then SIGKILL after `grace`, and reaps the process.
void Stop(pid_t pid, std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

// Raises this process's soft limit of open files to its hard limit (the
// children inherit it); returns the new soft limit.
unsigned long RaiseOpenFileLimit();

// A fresh folder under the temporary folder; removed by the destructor.
class TempFolder {
public:
    explicit TempFolder(const std::string &prefix);
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

// Seconds from VELOTUNE_BENCH_SECONDS, else `fallback`.
int BenchSeconds(int fallback);

double Median(std::vector<double> values);

} // namespace benchsupport
