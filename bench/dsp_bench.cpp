// Costs of the signal units, per call or per second of 44.1 kHz stereo audio
// processed in output-callback sized blocks. Divide a per-second figure by
// one second for the share of a core it takes.

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "audio/fft_magnitudes.h"
#include "audio/file_writer.h"
#include "audio/peaking_eq.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr std::size_t kBlock = 512;
constexpr std::size_t kSecond = kRate;

std::vector<float> music() {
    std::vector<float> s(2 * kSecond);
    for (std::size_t n = 0; n < kSecond; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double v = 0.3 * std::sin(2 * std::numbers::pi * 110 * t) +
                         0.2 * std::sin(2 * std::numbers::pi * 1234 * t) +
                         0.1 * std::sin(2 * std::numbers::pi * 7000 * t);
        s[2 * n] = static_cast<float>(v);
        s[2 * n + 1] = static_cast<float>(-v);
    }
    return s;
}

std::string benchPath() {
    return (std::filesystem::temp_directory_path() /
            ("dsp_bench." + std::to_string(::getpid()) + ".out"))
        .string();
}

void SpectrumCompute(benchmark::State &state) {
    audio::Spectrum spectrum;
    const std::vector<float> input = music();
    std::vector<float> mono(audio::kSpectrumFftSize);
    audio::MixStereoToMono(input.data(), mono.size(), mono.data());
    std::vector<float> bins(audio::kSpectrumBins);
    for (auto _ : state) {
        spectrum.Compute(mono.data(), bins.data());
        benchmark::DoNotOptimize(bins.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(SpectrumCompute);

// Five equalizer bands at 80 Hz, 3 semitones wide: all boosting (as the
// equalizer window sets them, +3 to +15 dB) or all flat.
class FiveBands {
public:
    explicit FiveBands(bool boosting) {
        for (int i = 0; i < 5; ++i) {
            owned_.push_back(std::make_unique<audio::PeakingEq>(kRate, 2));
            owned_.back()->SetParameters(
                {80, 3, boosting ? 3.0f * static_cast<float>(i + 1) : 0.0f});
            bands_.push_back(owned_.back().get());
        }
        // The glide to the new parameters is over before the timing starts.
        std::vector<float> settle(2 * kRate / 10);
        audio::PeakingEq::ProcessCascade(bands_.data(), bands_.size(), settle.data(),
                                         settle.size() / 2);
    }
    audio::PeakingEq *const *data() const { return bands_.data(); }
    std::size_t size() const { return bands_.size(); }
    auto begin() const { return bands_.begin(); }
    auto end() const { return bands_.end(); }

private:
    std::vector<std::unique_ptr<audio::PeakingEq>> owned_;
    std::vector<audio::PeakingEq *> bands_;
};

// The output thread's share: five equalizer bands, clipping and the
// encoder's Push, for one second of audio. The writer thread drains between
// iterations, outside the timing (the writer wakes every 20 ms, hence the
// fixed count of iterations).
void FiveBandsAndWavPushPerSecond(benchmark::State &state) {
    const std::string path = benchPath();
    auto opened = audio::FileWriter::Open(audio::RecordFormat::kWav, path.c_str(), kRate, 2);
    if (opened.writer == nullptr) {
        state.SkipWithError("cannot open the WAV file");
        return;
    }
    audio::FileWriter &writer = *opened.writer;
    const FiveBands bands(true);
    const std::vector<float> source = music();
    std::vector<float> buffer = source;
    uint64_t pushed = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < kSecond; at += kBlock) {
            const std::size_t n = std::min(kBlock, kSecond - at);
            float *block = buffer.data() + 2 * at;
            audio::PeakingEq::ProcessCascade(bands.data(), bands.size(), block, n);
            audio::ClipToFullScale(block, 2 * n);
            pushed += writer.Push(block, n);
        }
        state.PauseTiming();
        buffer = source;
        while (writer.FramesWritten() < pushed)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        state.ResumeTiming();
    }
    state.counters["dropped"] = static_cast<double>(writer.DroppedFrames());
    writer.Close();
    std::filesystem::remove(path);
}
BENCHMARK(FiveBandsAndWavPushPerSecond)->Iterations(300)->Unit(benchmark::kMicrosecond);

// The parts of the above alone: the five bands (first argument 1: boosting,
// 0: flat) in one pass as the output runs them (second argument 1) or one
// band after another (0), and clipping with the Push.
void FiveBandsPerSecond(benchmark::State &state) {
    const FiveBands bands(state.range(0) != 0);
    const bool cascade = state.range(1) != 0;
    std::vector<float> buffer = music();
    for (auto _ : state) {
        for (std::size_t at = 0; at < kSecond; at += kBlock) {
            float *block = buffer.data() + 2 * at;
            const std::size_t n = std::min(kBlock, kSecond - at);
            if (cascade) {
                audio::PeakingEq::ProcessCascade(bands.data(), bands.size(), block, n);
                continue;
            }
            for (audio::PeakingEq *band : bands)
                band->Process(block, n);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(FiveBandsPerSecond)
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMicrosecond);

void ClipAndWavPushPerSecond(benchmark::State &state) {
    const std::string path = benchPath();
    auto opened = audio::FileWriter::Open(audio::RecordFormat::kWav, path.c_str(), kRate, 2);
    if (opened.writer == nullptr) {
        state.SkipWithError("cannot open the WAV file");
        return;
    }
    audio::FileWriter &writer = *opened.writer;
    std::vector<float> buffer = music();
    uint64_t pushed = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < kSecond; at += kBlock) {
            const std::size_t n = std::min(kBlock, kSecond - at);
            audio::ClipToFullScale(buffer.data() + 2 * at, 2 * n);
            pushed += writer.Push(buffer.data() + 2 * at, n);
        }
        state.PauseTiming();
        while (writer.FramesWritten() < pushed)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        state.ResumeTiming();
    }
    writer.Close();
    std::filesystem::remove(path);
}
BENCHMARK(ClipAndWavPushPerSecond)->Iterations(300)->Unit(benchmark::kMicrosecond);

// An encoder as a whole, writer thread included: push one second, wait
// until it is in the file. Process CPU time; the wait looks rarely, so it
// costs next to nothing.
// Argument: 0 WAV, 1 MP3, 2 Ogg Vorbis.
void WriterPerSecond(benchmark::State &state) {
    const auto format = static_cast<audio::RecordFormat>(state.range(0));
    const std::string path = benchPath();
    auto opened = audio::FileWriter::Open(format, path.c_str(), kRate, 2);
    if (opened.writer == nullptr) {
        state.SkipWithError("cannot open the file");
        return;
    }
    audio::FileWriter &writer = *opened.writer;
    const std::vector<float> source = music();
    uint64_t pushed = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < kSecond; at += kBlock)
            pushed += writer.Push(source.data() + 2 * at, std::min(kBlock, kSecond - at));
        while (writer.FramesWritten() < pushed)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    state.counters["dropped"] = static_cast<double>(writer.DroppedFrames());
    writer.Close();
    std::filesystem::remove(path);
}
BENCHMARK(WriterPerSecond)
    ->Arg(static_cast<int>(audio::RecordFormat::kWav))
    ->Arg(static_cast<int>(audio::RecordFormat::kMp3))
    ->Arg(static_cast<int>(audio::RecordFormat::kOgg))
    ->MeasureProcessCPUTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
