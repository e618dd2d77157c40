// Measures the audio library against Debian's ffmpeg on the same loopback
// radio streams (128 kbps MP3, 64 kbps AAC, paced at their bitrate):
//   - time from the open call to the first decoded audio, and from the
//     server's first audio byte to it;
//   - CPU seconds per 60 s of playback (the library on the null device,
//     ffmpeg decoding to `-f null`);
//   - peak RSS.
// Each player runs as a child process (the library in this same program,
// started with --play), so its CPU time and peak RSS are its own; the
// server stays in this process. Also: how long BASS_StreamFree takes while
// the server stalls.
//
// VELOTUNE_BENCH_SECONDS sets the playback time of each run (default 20).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/audio.h"
#include "tests/support/radio_server.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::AudioCodec;
using testsupport::RadioServer;
using testsupport::RadioStream;

int playSeconds() {
    const char *value = std::getenv("VELOTUNE_BENCH_SECONDS");
    const int seconds = value != nullptr ? std::atoi(value) : 20;
    return seconds > 0 ? seconds : 20;
}

int64_t nanosOf(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

struct ChildRun {
    std::string output;                           // its standard output
    std::optional<Clock::time_point> firstOutput; // when its first byte came
    double cpuSeconds = 0.0;
    double peakRssMiB = 0.0;
    bool ok = false;
};

// Runs `argv`, collecting its standard output; stderr goes to /dev/null.
ChildRun runChild(const std::vector<std::string> &argv) {
    ChildRun run;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return run;
    }
    char buffer[65536];
    ssize_t n = 0;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
        if (!run.firstOutput)
            run.firstOutput = Clock::now();
        if (run.output.size() < 4096)
            run.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    run.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0; // KiB
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

std::string selfPath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "stream_bench";
}

// The child: opens `url` with the call of `kind`, plays `seconds` on the
// null device and prints "<open call ns> <first audio ns> <played s>".
int play(const char *url, const char *kind, int seconds) {
    if (!BASS_Init(0, 44100, 0, nullptr, nullptr))
        return 2;
    const auto called = Clock::now();
    const uint32_t channel =
        std::strcmp(kind, "aac") == 0
            ? BASS_AAC_StreamCreateURL(url, 0, BASS_STREAM_STATUS, nullptr, nullptr)
            : BASS_StreamCreateURL(url, 0, BASS_STREAM_STATUS, nullptr, nullptr);
    const auto opened = Clock::now();
    if (channel == 0)
        return 3;
    BASS_ChannelPlay(channel, false);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double played =
        BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetPosition(channel, BASS_POS_BYTE));
    std::printf("%lld %lld %.3f\n", static_cast<long long>(nanosOf(called)),
                static_cast<long long>(nanosOf(opened)), played);
    BASS_StreamFree(channel);
    return 0;
}

struct Format {
    const char *name;
    AudioCodec codec;
    int kbps;
    const char *kind;
};
const Format kFormats[] = {{"mp3_128k", AudioCodec::Mp3, 128, "mpeg"},
                           {"aac_64k", AudioCodec::AacAdts, 64, "aac"}};

RadioServer &server() {
    static RadioServer *radio = [] {
        auto *s = new RadioServer;
        for (const Format &f : kFormats) {
            RadioStream stream;
            stream.codec = f.codec;
            stream.bitrate_kbps = f.kbps;
            stream.seconds_encoded = 30.0;
            stream.metaint_bytes = 16000; // as Icecast sends it
            stream.burst_bytes = 64 * 1024;
            s->AddStream(std::string("/") + f.name, stream);
        }
        RadioStream stalling;
        stalling.pace = 0;
        stalling.fault = testsupport::Fault::StallAfter;
        stalling.fault_after_bytes = 65536;
        s->AddStream("/stall", stalling);
        return s;
    }();
    return *radio;
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void Library(benchmark::State &state, const Format &format) {
    const int seconds = playSeconds();
    const std::string url = server().Url(std::string("/") + format.name);
    for (auto _ : state) {
        const ChildRun run =
            runChild({selfPath(), "--play", url, format.kind, std::to_string(seconds)});
        long long called = 0;
        long long opened = 0;
        double played = 0.0;
        const auto firstByte = server().FirstAudioByteTime();
        if (!run.ok || !firstByte ||
            std::sscanf(run.output.c_str(), "%lld %lld %lf", &called, &opened, &played) != 3) {
            state.SkipWithError("the library's run failed");
            return;
        }
        state.counters["first_audio_ms"] = static_cast<double>(opened - called) / 1e6;
        state.counters["after_first_byte_ms"] =
            static_cast<double>(opened - nanosOf(*firstByte)) / 1e6;
        state.counters["cpu_s_per_60s"] = run.cpuSeconds / seconds * 60.0;
        state.counters["peak_rss_MiB"] = run.peakRssMiB;
        state.counters["played_s"] = played;
        // The same program started with the library's shared libraries and
        // its null device, playing nothing: the part of the RSS that is
        // Debian's FFmpeg and its dependencies being mapped.
        const ChildRun idle = runChild({selfPath(), "--idle"});
        state.counters["idle_rss_MiB"] = idle.peakRssMiB;
    }
}

void Ffmpeg(benchmark::State &state, const Format &format) {
    const int seconds = playSeconds();
    const std::string url = server().Url(std::string("/") + format.name);
    for (auto _ : state) {
        // First audio: decoded samples on a pipe, flushed packet by packet.
        const auto spawned = Clock::now();
        const ChildRun first =
            runChild({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", url, "-t", "1", "-f",
                      "f32le", "-flush_packets", "1", "pipe:1"});
        const auto firstByte = server().FirstAudioByteTime();
        // CPU and memory: the command line the figures are compared with.
        const ChildRun decode = runChild({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", url,
                                          "-t", std::to_string(seconds), "-f", "null", "-"});
        if (!first.ok || !first.firstOutput || !firstByte || !decode.ok) {
            state.SkipWithError("ffmpeg failed (is it installed?)");
            return;
        }
        state.counters["first_audio_ms"] = msBetween(spawned, *first.firstOutput);
        state.counters["after_first_byte_ms"] = msBetween(*firstByte, *first.firstOutput);
        state.counters["cpu_s_per_60s"] = decode.cpuSeconds / seconds * 60.0;
        state.counters["peak_rss_MiB"] = decode.peakRssMiB;
    }
}

void FreeWhileStalled(benchmark::State &state) {
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    const std::string url = server().Url("/stall");
    for (auto _ : state) {
        state.PauseTiming();
        const uint32_t channel = BASS_StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr);
        BASS_ChannelPlay(channel, false);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (BASS_StreamGetFilePosition(channel, BASS_FILEPOS_END) < 65536 &&
               Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        state.ResumeTiming();
        if (!BASS_StreamFree(channel))
            state.SkipWithError("free failed");
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "--play") == 0)
        return play(argv[2], argv[3], std::atoi(argv[4]));
    if (argc == 2 && std::strcmp(argv[1], "--idle") == 0)
        return BASS_Init(0, 44100, 0, nullptr, nullptr) ? 0 : 2;
    for (const Format &format : kFormats) {
        benchmark::RegisterBenchmark((std::string("Library/") + format.name).c_str(), Library,
                                     format)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Ffmpeg/") + format.name).c_str(), Ffmpeg, format)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("FreeWhileStalled", FreeWhileStalled)
        ->Iterations(20)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
