// Measures the player program as a user runs it, under Qt's offscreen
// platform with SDL's dummy audio driver, everything on loopback:
//   1. start-up: from creating the process to the main window's first
//      expose event (median of several runs), with the update check off,
//      with a reachable update server (same and newer version), with one
//      that accepts and never answers, and with a port that refuses;
//   2. idle: the CPU the running player uses per 60 s, nothing playing;
//   3. playing a 128 kbps MP3 from a loopback radio server: the player's CPU
//      and peak RSS beside `mpv --no-video --ao=null` on the same stream,
//      both running at the same time.
// The player is the unchanged build/app/velotune, copied into a temporary
// folder so that the settings file beside it is the bench's own. It is
// watched and driven by player_probe (LD_PRELOAD), which reports the expose
// event and types the station address and clicks Play as a user would.
//
// VELOTUNE_BENCH_SECONDS: the idle and the playing time (default 60).
// VELOTUNE_BENCH_STARTS: start-up runs per case (default 7).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/bench_process.h"
#include "tests/support/loopback_server.h"
#include "tests/support/radio_server.h"

namespace {

using namespace benchsupport;
using namespace std::chrono_literals;

constexpr char kRunningVersion[] = "1.1.1365"; // the version the player's About window shows

// The report lines of one player process, read on a thread of their own.
class ProbeReports {
public:
    ProbeReports() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        read_ = fds[0];
        write_ = fds[1];
    }
    ~ProbeReports() {
        CloseWriteEnd();
        if (reader_.joinable())
            reader_.join();
        close(read_);
    }
    ProbeReports(const ProbeReports &) = delete;
    ProbeReports &operator=(const ProbeReports &) = delete;

    int WriteEnd() const { return write_; }

    // After the child has been created: the pipe ends when the child does.
    void Start() {
        CloseWriteEnd();
        reader_ = std::thread([this] { readLines(); });
    }

    // The first line starting with `word` (and a blank), waiting up to `timeout`.
    std::optional<std::string> WaitFor(const std::string &word, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        std::optional<std::string> found;
        arrived_.wait_for(lock, timeout, [&] {
            for (const std::string &line : lines_)
                if (line.rfind(word + ' ', 0) == 0) {
                    found = line;
                    return true;
                }
            return ended_;
        });
        return found;
    }

    std::string Last(const std::string &word) {
        std::lock_guard lock(mutex_);
        for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
            if (line->rfind(word + ' ', 0) == 0)
                return *line;
        return {};
    }

private:
    void CloseWriteEnd() {
        if (write_ >= 0)
            close(write_);
        write_ = -1;
    }
    void readLines() {
        std::string pending;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(read_, buffer, sizeof buffer)) > 0) {
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end = 0;
            std::lock_guard lock(mutex_);
            while ((end = pending.find('\n')) != std::string::npos) {
                lines_.push_back(pending.substr(0, end));
                pending.erase(0, end + 1);
            }
            arrived_.notify_all();
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
        arrived_.notify_all();
    }

    int read_ = -1;
    int write_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> lines_;
    bool ended_ = false;
};

long long timeIn(const std::string &line) {
    return std::atoll(line.c_str() + line.find(' ') + 1);
}

// A copy of the player in a folder of its own, with its settings file.
class PlayerInstall {
public:
    PlayerInstall() : folder_("velotune-bench") {
        player_ = folder_.Path() + "/velotune";
        std::filesystem::copy_file(VELOTUNE_PLAYER_PATH, player_);
        std::filesystem::create_directories(folder_.Path() + "/config");
        std::filesystem::create_directories(folder_.Path() + "/runtime");
        std::filesystem::permissions(folder_.Path() + "/runtime",
                                     std::filesystem::perms::owner_all);
    }

    void WriteSettings(const std::string &text) const {
        std::ofstream(folder_.Path() + "/rsettings.ini", std::ios::trunc) << text;
    }

    SpawnOptions Options(int report_fd, const std::string &play_address) const {
        SpawnOptions options;
        options.argv = {player_};
        options.extra_env = {"QT_QPA_PLATFORM=offscreen",
                             "SDL_AUDIODRIVER=dummy",
                             "LD_PRELOAD=" VELOTUNE_PROBE_PATH,
                             "VELOTUNE_PROBE_FD=3",
                             "VELOTUNE_PROBE_PLAY=" + play_address,
                             "XDG_CONFIG_HOME=" + folder_.Path() + "/config",
                             "XDG_RUNTIME_DIR=" + folder_.Path() + "/runtime"};
        options.output_path = folder_.Path() + "/player.log";
        options.report_fd = report_fd;
        return options;
    }

private:
    TempFolder folder_;
    std::string player_;
};

std::string settingsFor(const std::string &server, bool check) {
    return "[main]\nAutoUpdate=" + std::string(check ? "1" : "0") +
           "\n[updates]\nServer=" + server + "\n[Volume]\nDefault=100\n";
}

// A running player with its reports; stopped by the destructor.
class Player {
public:
    Player(const PlayerInstall &install, const std::string &play_address = "") {
        spawned_ = Spawn(install.Options(reports_.WriteEnd(), play_address));
        reports_.Start();
        if (spawned_.pid < 0)
            throw std::runtime_error("the player did not start");
    }
    ~Player() { Stop(spawned_.pid); }
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    pid_t Pid() const { return spawned_.pid; }
    long long StartedNs() const { return NanosOf(spawned_.started); }
    ProbeReports &Reports() { return reports_; }

private:
    ProbeReports reports_;
    Spawned spawned_;
};

struct StartCase {
    std::string name;
    std::string settings;
};

void startUp(const PlayerInstall &install, int runs) {
    testsupport::HttpResponse same;
    same.body = kRunningVersion;
    testsupport::LoopbackServer sameServer(same);
    testsupport::HttpResponse newer;
    newer.body = "1.2.0";
    testsupport::LoopbackServer newerServer(newer);
    testsupport::LoopbackServer silentServer(
        [](const testsupport::HttpRequest &, testsupport::Connection &connection) {
            while (!connection.PeerClosed() && connection.Pause(50ms)) {
            }
        });
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(benchsupport::FreeLoopbackPort()) + "/";

    const std::vector<StartCase> cases = {
        {"update check off (AutoUpdate=0)", settingsFor(sameServer.Url(), false)},
        {"reachable server, same version", settingsFor(sameServer.Url(), true)},
        {"reachable server, newer version", settingsFor(newerServer.Url(), true)},
        {"server accepts, never answers", settingsFor(silentServer.Url(), true)},
        {"port refuses the connection", settingsFor(refused, true)},
    };

    std::printf("\n## Start-up: process created -> main window exposed (%d runs each)\n\n", runs);
    std::printf(
        "| case | median | min | max | first paint done (median) |\n|---|---|---|---|---|\n");
    // One run first, not counted: loads the player and Qt into the page cache.
    install.WriteSettings(cases[0].settings);
    {
        Player warm(install);
        warm.Reports().WaitFor("painted", 15s);
    }
    for (const StartCase &c : cases) {
        install.WriteSettings(c.settings);
        std::vector<double> shown;
        std::vector<double> painted;
        for (int run = 0; run < runs; ++run) {
            Player player(install);
            const auto exposed = player.Reports().WaitFor("shown", 15s);
            const auto done = player.Reports().WaitFor("painted", 5s);
            if (!exposed || !done) {
                std::printf("| %s | the window was not shown within 15 s | | | |\n",
                            c.name.c_str());
                break;
            }
            shown.push_back(MillisBetween(player.StartedNs(), timeIn(*exposed)));
            painted.push_back(MillisBetween(player.StartedNs(), timeIn(*done)));
        }
        if (shown.empty())
            continue;
        std::printf("| %s | %.0f ms | %.0f ms | %.0f ms | %.0f ms |\n", c.name.c_str(),
                    Median(shown), *std::min_element(shown.begin(), shown.end()),
                    *std::max_element(shown.begin(), shown.end()), Median(painted));
        std::fflush(stdout);
    }
}

void idle(const PlayerInstall &install, int seconds) {
    testsupport::HttpResponse same;
    same.body = kRunningVersion;
    testsupport::LoopbackServer server(same);
    install.WriteSettings(settingsFor(server.Url(), true));
    Player player(install);
    if (!player.Reports().WaitFor("painted", 15s)) {
        std::printf("\nIdle: the window was not shown\n");
        return;
    }
    std::this_thread::sleep_for(2s); // start-up's work is done
    const auto before = CpuSeconds(player.Pid());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = CpuSeconds(player.Pid());
    const auto rss = MemoryMiB(player.Pid(), "VmRSS");
    if (!before || !after || !rss) {
        std::printf("\nIdle: the player ended early\n");
        return;
    }
    std::printf("\n## Idle player (timer ticking, no stream), %d s\n\n", seconds);
    std::printf("| CPU per 60 s | CPU in all, start-up included | RSS |\n|---|---|---|\n");
    std::printf("| %.2f s | %.2f s | %.1f MiB |\n", (*after - *before) / seconds * 60.0, *after,
                *rss);
    std::fflush(stdout);
}

struct Usage {
    double cpuPer60s = 0.0;
    double cpuTotal = 0.0;
    double peakRssMiB = 0.0;
    bool ok = false;
};

void playing(const PlayerInstall &install, int seconds) {
    testsupport::HttpResponse same;
    same.body = kRunningVersion;
    testsupport::LoopbackServer updates(same);
    install.WriteSettings(settingsFor(updates.Url(), true));

    testsupport::RadioServer radio;
    testsupport::RadioStream stream;
    stream.codec = testsupport::AudioCodec::Mp3;
    stream.bitrate_kbps = 128;
    stream.seconds_encoded = 30.0;
    stream.metaint_bytes = 16000; // as Icecast sends it
    stream.burst_bytes = 64 * 1024;
    const std::string url = radio.AddStream("/mp3_128k", stream);

    Player player(install, url);
    SpawnOptions mpvOptions;
    mpvOptions.argv = {"mpv", "--no-config", "--no-video", "--ao=null", "--no-terminal", url};
    const Spawned mpv = Spawn(mpvOptions);
    if (mpv.pid < 0) {
        std::printf("\nPlaying: mpv did not start (is it installed?)\n");
        return;
    }
    if (!player.Reports().WaitFor("played", 15s)) {
        std::printf("\nPlaying: the player's window or its Play button was not found\n");
        Stop(mpv.pid);
        return;
    }
    std::this_thread::sleep_for(3s); // both have connected and filled their buffers
    const auto playerBefore = CpuSeconds(player.Pid());
    const auto mpvBefore = CpuSeconds(mpv.pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto measure = [seconds](pid_t pid, std::optional<double> before) {
        Usage usage;
        const auto after = CpuSeconds(pid);
        const auto peak = MemoryMiB(pid, "VmHWM");
        if (!before || !after || !peak)
            return usage;
        usage.cpuPer60s = (*after - *before) / seconds * 60.0;
        usage.cpuTotal = *after;
        usage.peakRssMiB = *peak;
        usage.ok = true;
        return usage;
    };
    const Usage ours = measure(player.Pid(), playerBefore);
    const Usage theirs = measure(mpv.pid, mpvBefore);
    Stop(mpv.pid);
    const std::string labels = player.Reports().Last("labels");

    std::printf("\n## Playing a 128 kbps MP3 from loopback, %d s, both at once\n\n", seconds);
    std::printf("| program | CPU per 60 s | CPU in all, start-up included | peak RSS |\n"
                "|---|---|---|---|\n");
    const auto row = [](const char *name, const Usage &usage) {
        if (usage.ok)
            std::printf("| %s | %.2f s | %.2f s | %.1f MiB |\n", name, usage.cpuPer60s,
                        usage.cpuTotal, usage.peakRssMiB);
        else
            std::printf("| %s | ended early | | |\n", name);
    };
    row("Velotune Player", ours);
    row("mpv --no-video --ao=null", theirs);
    if (ours.ok && theirs.ok)
        std::printf("\nPlayer/mpv: CPU %.2f (target at most 0.5), peak RSS %.2f (target at most "
                    "1)\n",
                    ours.cpuPer60s / theirs.cpuPer60s, ours.peakRssMiB / theirs.peakRssMiB);
    std::printf("The player's labels at the end: %s\n",
                labels.empty() ? "(none reported)"
                               : labels.substr(labels.find(' ', 7) + 1).c_str());
    std::fflush(stdout);
}

} // namespace

int main() {
    const int seconds = BenchSeconds(60);
    const char *starts = std::getenv("VELOTUNE_BENCH_STARTS");
    const int runs = starts != nullptr && std::atoi(starts) > 0 ? std::atoi(starts) : 7;
    try {
        const PlayerInstall install;
        startUp(install, runs);
        idle(install, seconds);
        playing(install, seconds);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "player_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
