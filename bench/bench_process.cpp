#include "bench/bench_process.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace benchsupport {

long long NanosOf(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

double MillisBetween(long long from_ns, long long to_ns) {
    return static_cast<double>(to_ns - from_ns) / 1e6;
}

Spawned Spawn(const SpawnOptions &options) {
    // The added variables replace this process's of the same name.
    std::vector<std::string> env = options.extra_env;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        const bool replaced = std::any_of(env.begin(), env.end(), [&](const std::string &added) {
            return added.rfind(name, 0) == 0;
        });
        if (!replaced)
            env.push_back(entry);
    }
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv = options.argv;
    std::vector<char *> args;
    for (std::string &a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.output_path.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // A copy above 3, so that the dup2 to 3 always clears close-on-exec.
    const int report = options.report_fd >= 0 ? fcntl(options.report_fd, F_DUPFD_CLOEXEC, 10) : -1;
    if (report >= 0)
        posix_spawn_file_actions_adddup2(&actions, report, 3);
    Spawned spawned;
    spawned.started = Clock::now();
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (report >= 0)
        close(report);
    if (rc == 0)
        spawned.pid = pid;
    return spawned;
}

std::optional<double> CpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(file, text))
        return std::nullopt;
    // The command name (field 2) may hold blanks; count from after it.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // Fields 3..13 come first; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14)
            utime = std::stoull(field);
        if (n == 15)
            stime = std::stoull(field);
    }
    const long ticks = sysconf(_SC_CLK_TCK);
    return static_cast<double>(utime + stime) / static_cast<double>(ticks);
}

std::optional<double> MemoryMiB(pid_t pid, const char *field) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    const std::string key = std::string(field) + ':';
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(key, 0) == 0)
            return std::strtod(line.c_str() + key.size(), nullptr) / 1024.0; // kB
    }
    return std::nullopt;
}

void Stop(pid_t pid, std::chrono::milliseconds grace) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    const auto deadline = Clock::now() + grace;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

unsigned long RaiseOpenFileLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<unsigned long>(limit.rlim_cur);
}

TempFolder::TempFolder(const std::string &prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

int BenchSeconds(int fallback) {
    const char *value = std::getenv("VELOTUNE_BENCH_SECONDS");
    const int seconds = value != nullptr ? std::atoi(value) : fallback;
    return seconds > 0 ? seconds : fallback;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

uint16_t FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

} // namespace benchsupport
