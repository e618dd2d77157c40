// Processor time the streaming output spends encoding and muxing: one
// minute of captured 8000 Hz mono 8-bit sound encoded with wmav2 and muxed
// into both ASF framings, as the worker does it, per bitrate of the window's
// list. The figure to read is the CPU time per iteration (one minute of
// audio).

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "broadcast/wma_stream.h"

namespace {

void EncodeOneMinute(benchmark::State &state) {
    const broadcast::CaptureFormat format{8000, 1, 8};
    std::vector<uint8_t> pcm(format.sample_rate_hz * 60);
    for (std::size_t n = 0; n < pcm.size(); ++n) {
        pcm[n] = static_cast<uint8_t>(
            std::lround(128.0 + 60.0 * std::sin(2.0 * std::numbers::pi * 1000.0 *
                                                static_cast<double>(n) / format.sample_rate_hz)));
    }
    const auto bitrate_bps = static_cast<uint64_t>(state.range(0)) * 1000;
    std::size_t served = 0;
    for (auto _ : state) {
        broadcast::WmaEncoder encoder(format, bitrate_bps);
        const uint32_t packet_size = broadcast::AsfPacketSize(encoder.FrameBytes());
        broadcast::AsfMuxer plain(broadcast::AsfFraming::Plain, *encoder.Context(), packet_size);
        broadcast::AsfMuxer mms(broadcast::AsfFraming::Mms, *encoder.Context(), packet_size);
        std::vector<std::string> plain_done;
        std::vector<std::string> mms_done;
        // 400 frames: one 50 ms polling interval.
        for (std::size_t at = 0; at < pcm.size(); at += 400) {
            encoder.Encode(pcm.data() + at, 400, false, [&](const AVPacket &packet) {
                plain.Write(packet, plain_done);
                mms.Write(packet, mms_done);
            });
            for (const std::string &packet : plain_done)
                served += packet.size();
            plain_done.clear();
            mms_done.clear();
        }
        benchmark::DoNotOptimize(served);
    }
    state.counters["served_kbps"] =
        benchmark::Counter(static_cast<double>(served) * 8.0 / 60.0 / 1000.0 /
                           static_cast<double>(state.iterations()));
}

BENCHMARK(EncodeOneMinute)
    ->Arg(64)
    ->Arg(128)
    ->Arg(192)
    ->Arg(256)
    ->Arg(320)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
