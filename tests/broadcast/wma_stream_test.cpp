#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "broadcast/wma_stream.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "broadcast/error.h"
#include "stream_client.h"

namespace {

using broadcast::AsfFraming;
using broadcast::AsfMuxer;
using broadcast::CaptureFormat;
using broadcast::WmaEncoder;

// `seconds` of an 8-bit tone at `frequency_hz`, as the capture delivers it.
std::vector<uint8_t> Tone(const CaptureFormat &format, double frequency_hz, double seconds) {
    std::vector<uint8_t> pcm;
    const auto frames = static_cast<std::size_t>(seconds * format.sample_rate_hz);
    for (std::size_t n = 0; n < frames; ++n) {
        const double value = 0.5 * std::sin(2.0 * std::numbers::pi * frequency_hz *
                                            static_cast<double>(n) / format.sample_rate_hz);
        for (int c = 0; c < format.channels; ++c)
            pcm.push_back(static_cast<uint8_t>(std::lround(128.0 + value * 127.0)));
    }
    return pcm;
}

struct Encoded {
    std::string header;
    std::vector<std::string> packets;
    uint32_t bitrate_bps = 0;
    uint32_t unit_bytes = 0;
};

Encoded EncodeTone(AsfFraming framing, uint64_t desired_bps, double seconds) {
    const CaptureFormat format{8000, 1, 8};
    WmaEncoder encoder(format, desired_bps);
    AsfMuxer muxer(framing, *encoder.Context(), broadcast::AsfPacketSize(encoder.FrameBytes()));
    Encoded out;
    out.header = muxer.Header();
    out.bitrate_bps = encoder.BitsPerSecond();
    out.unit_bytes = muxer.UnitBytes();
    const std::vector<uint8_t> pcm = Tone(format, 1000.0, seconds);
    // In slices of a polling interval, as the worker feeds it.
    for (std::size_t at = 0; at < pcm.size(); at += 400) {
        encoder.Encode(pcm.data() + at, std::min<std::size_t>(400, pcm.size() - at), false,
                       [&](const AVPacket &packet) { muxer.Write(packet, out.packets); });
    }
    return out;
}

TEST(DesiredBitsPerSecond, BelowThousandCountsKilobits) {
    struct Case {
        uint32_t desired;
        uint64_t bps;
    };
    for (const Case &c : {Case{0, 0}, Case{64, 64000}, Case{320, 320000}, Case{999, 999000},
                          Case{1000, 1000}, Case{64000, 64000}, Case{0xffffffff, 0xffffffff}}) {
        EXPECT_EQ(broadcast::DesiredBitsPerSecond(c.desired), c.bps) << c.desired;
    }
}

// The window offers 64..320 kbps; the encoder must give exactly those, and
// the muxed stream must stay close to them (no padded packets).
class ServedRate : public testing::TestWithParam<uint32_t> {};

TEST_P(ServedRate, MatchesTheChosenBitrate) {
    const uint32_t kbps = GetParam();
    const double seconds = 20.0;
    const Encoded encoded = EncodeTone(AsfFraming::Plain, kbps * 1000ull, seconds);
    EXPECT_EQ(encoded.bitrate_bps, kbps * 1000);
    ASSERT_FALSE(encoded.packets.empty());
    double bytes = 0;
    for (const std::string &packet : encoded.packets) {
        EXPECT_EQ(packet.size(), encoded.unit_bytes);
        bytes += static_cast<double>(packet.size());
    }
    const double served_bps = bytes * 8.0 / seconds;
    EXPECT_GT(served_bps, kbps * 1000.0 * 0.95);
    EXPECT_LT(served_bps, kbps * 1000.0 * 1.07);
}

INSTANTIATE_TEST_SUITE_P(WindowBitrates, ServedRate, testing::Values(64u, 128u, 192u, 256u, 320u));

TEST(WmaEncoder, TakesTheNearestBitrateItAccepts) {
    const CaptureFormat format{8000, 1, 8};
    EXPECT_EQ(WmaEncoder(format, 0).BitsPerSecond(), broadcast::kMinWmaBitsPerSecond);
    EXPECT_EQ(WmaEncoder(format, 1000).BitsPerSecond(), broadcast::kMinWmaBitsPerSecond);
    EXPECT_EQ(WmaEncoder(format, 96000).BitsPerSecond(), 96000u);
}

TEST(WmaEncoder, RefusesFormatsItCannotConvert) {
    EXPECT_THROW(WmaEncoder(CaptureFormat{8000, 1, 24}, 64000), broadcast::Error);
    EXPECT_THROW(WmaEncoder(CaptureFormat{8000, 3, 8}, 64000), broadcast::Error);
    EXPECT_THROW(WmaEncoder(CaptureFormat{0, 1, 8}, 64000), broadcast::Error);
}

TEST(AsfMuxer, PlainStreamDecodesAsTheTone) {
    const Encoded encoded = EncodeTone(AsfFraming::Plain, 64000, 3.0);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("wma_plain_" + std::to_string(getpid()) + ".asf");
    {
        std::ofstream file(path, std::ios::binary);
        file << encoded.header;
        for (const std::string &packet : encoded.packets)
            file << packet;
    }
    const auto decoded = broadcasttest::DecodeStream(path.string(), 10.0, std::chrono::seconds(10));
    std::filesystem::remove(path);
    ASSERT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.codec, "wmav2");
    EXPECT_EQ(decoded.sample_rate_hz, 8000);
    EXPECT_EQ(decoded.channels, 1);
    EXPECT_EQ(decoded.bit_rate, 64000);
    EXPECT_GT(decoded.samples.size(), 8000u * 2);
    EXPECT_NEAR(broadcasttest::ZeroCrossingFrequency(decoded.samples, 8000, 2048), 1000.0, 10.0);
}

TEST(AsfMuxer, MmsFramingWrapsHeaderAndPacketsInChunks) {
    const Encoded encoded = EncodeTone(AsfFraming::Mms, 64000, 3.0);
    ASSERT_GE(encoded.header.size(), 12u);
    EXPECT_EQ(encoded.header.substr(0, 2), "$H");
    ASSERT_FALSE(encoded.packets.empty());
    for (const std::string &chunk : encoded.packets) {
        ASSERT_EQ(chunk.size(), encoded.unit_bytes);
        EXPECT_EQ(chunk.substr(0, 2), "$D");
        // The length fields count the chunk after its first four bytes.
        const auto length = static_cast<std::size_t>(static_cast<uint8_t>(chunk[2]) |
                                                     static_cast<uint8_t>(chunk[3]) << 8);
        EXPECT_EQ(length, chunk.size() - 4);
    }
}

TEST(AsfMuxer, ArchiveFileIsCompleteAfterFinish) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("wma_archive_" + std::to_string(getpid()) + ".asf");
    {
        const CaptureFormat format{8000, 1, 8};
        WmaEncoder encoder(format, 64000);
        AsfMuxer archive(path.string(), *encoder.Context(),
                         broadcast::AsfPacketSize(encoder.FrameBytes()));
        const std::vector<uint8_t> pcm = Tone(format, 1000.0, 3.0);
        std::vector<std::string> unused;
        encoder.Encode(pcm.data(), pcm.size(), false,
                       [&](const AVPacket &packet) { archive.Write(packet, unused); });
        archive.Finish();
    }
    const auto decoded = broadcasttest::DecodeStream(path.string(), 10.0, std::chrono::seconds(10));
    std::filesystem::remove(path);
    ASSERT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.codec, "wmav2");
    EXPECT_GT(decoded.samples.size(), 8000u * 2);
}

TEST(AsfMuxer, UnwritableArchiveFails) {
    const CaptureFormat format{8000, 1, 8};
    WmaEncoder encoder(format, 64000);
    EXPECT_THROW(AsfMuxer("/nonexistent-dir/out.asf", *encoder.Context(), 3186), broadcast::Error);
}

} // namespace
