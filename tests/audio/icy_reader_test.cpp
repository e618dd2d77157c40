#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/icy_reader.h"

namespace {

struct Collected : audio::IcyReader::Sink {
    std::string audio;
    std::vector<std::string> meta;
    bool Audio(std::span<const uint8_t> bytes) override {
        audio.append(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        return true;
    }
    void Meta(std::string_view text) override { meta.emplace_back(text); }
};

std::string block(const std::string &text) {
    std::string padded = text;
    padded.resize((text.size() + 15) / 16 * 16, '\0');
    return static_cast<char>(padded.size() / 16) + padded;
}

Collected feed(std::size_t metaint, const std::string &body, std::size_t chunk) {
    audio::IcyReader reader(metaint);
    Collected out;
    for (std::size_t at = 0; at < body.size(); at += chunk) {
        const std::string piece = body.substr(at, chunk);
        EXPECT_TRUE(reader.Feed(
            std::span(reinterpret_cast<const uint8_t *>(piece.data()), piece.size()), out));
    }
    return out;
}

TEST(IcyReader, SplitsAudioAndMetadataWhateverTheChunking) {
    const std::string first = "StreamTitle='A - B';StreamUrl='';";
    const std::string body = std::string(10, 'a') + block(first) + std::string(10, 'b') +
                             std::string(1, '\0') + std::string(10, 'c') +
                             block("StreamTitle='C';") + std::string(4, 'd');
    for (std::size_t chunk : {1u, 3u, 7u, 11u, 16u, 1000u}) {
        const Collected out = feed(10, body, chunk);
        EXPECT_EQ(out.audio, std::string(10, 'a') + std::string(10, 'b') + std::string(10, 'c') +
                                 std::string(4, 'd'))
            << "chunk " << chunk;
        EXPECT_EQ(out.meta, (std::vector<std::string>{first, "StreamTitle='C';"}))
            << "chunk " << chunk;
    }
}

TEST(IcyReader, NeverReportsABlockCutOffByTheEnd) {
    // The length byte announces 255 * 16 bytes; only a few follow.
    const std::string body = std::string(8, 'a') + "\xff" + "StreamTitle='cut";
    const Collected out = feed(8, body, 5);
    EXPECT_EQ(out.audio, std::string(8, 'a'));
    EXPECT_TRUE(out.meta.empty());
}

TEST(IcyReader, WithoutMetaintEverythingIsAudio) {
    const std::string body = std::string(5, 'a') + block("StreamTitle='x';");
    const Collected out = feed(0, body, 4);
    EXPECT_EQ(out.audio, body);
    EXPECT_TRUE(out.meta.empty());
}

TEST(IcyReader, StopsWhenTheSinkRefuses) {
    struct Refusing : audio::IcyReader::Sink {
        bool Audio(std::span<const uint8_t>) override { return false; }
        void Meta(std::string_view) override {}
    } sink;
    audio::IcyReader reader(4);
    const uint8_t bytes[3] = {1, 2, 3};
    EXPECT_FALSE(reader.Feed(bytes, sink));
}

} // namespace
