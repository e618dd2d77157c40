#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/frame_sniffer.h"
#include "audio/stream_decoder.h"
#include "tests/support/encoded_audio.h"

namespace {

using audio::FrameFormat;
using testsupport::AudioCodec;

std::span<const uint8_t> bytesOf(const std::string &s) {
    return std::span(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

const FrameFormat kAll[] = {FrameFormat::MpegAudio, FrameFormat::Adts, FrameFormat::Latm,
                            FrameFormat::Ac3, FrameFormat::Eac3};

struct Encoded {
    AudioCodec codec;
    FrameFormat format;
    int kbps;
};
const Encoded kEncoded[] = {
    {AudioCodec::Mp3, FrameFormat::MpegAudio, 128}, {AudioCodec::Mp2, FrameFormat::MpegAudio, 192},
    {AudioCodec::AacAdts, FrameFormat::Adts, 64},   {AudioCodec::AacLatm, FrameFormat::Latm, 64},
    {AudioCodec::Ac3, FrameFormat::Ac3, 192},       {AudioCodec::Eac3, FrameFormat::Eac3, 96},
};

TEST(FrameSniffer, FindsEachFormatFromAFrameBoundaryAndFromMidFrame) {
    for (const Encoded &e : kEncoded) {
        const std::string stream = testsupport::EncodeTone(e.codec, e.kbps, 0.5);
        const auto atStart = audio::FindFrameChain(bytesOf(stream), kAll);
        ASSERT_TRUE(atStart) << static_cast<int>(e.codec);
        EXPECT_EQ(atStart->format, e.format);
        EXPECT_EQ(atStart->offset_bytes, 0u);

        // A radio stream joined mid-frame: the chain starts at the next frame.
        const std::string joined = stream.substr(101);
        const auto midFrame = audio::FindFrameChain(bytesOf(joined), kAll);
        ASSERT_TRUE(midFrame) << static_cast<int>(e.codec);
        EXPECT_EQ(midFrame->format, e.format);
        EXPECT_GT(midFrame->offset_bytes, 0u);
        EXPECT_LT(midFrame->offset_bytes, 4096u);
        EXPECT_GT(audio::FrameLength(e.format, bytesOf(joined).subspan(midFrame->offset_bytes)),
                  0u);
    }
}

TEST(FrameSniffer, RefusesOtherFormatsAndGarbage) {
    for (const Encoded &e : kEncoded) {
        const std::string stream = testsupport::EncodeTone(e.codec, e.kbps, 0.5);
        for (FrameFormat other : kAll) {
            if (other == e.format)
                continue;
            const FrameFormat only[] = {other};
            EXPECT_FALSE(audio::FindFrameChain(bytesOf(stream), only))
                << static_cast<int>(e.codec) << " read as " << static_cast<int>(other);
        }
    }
    std::string garbage(audio::kMaxSniffBytes, '\0');
    uint32_t state = 12345;
    for (char &c : garbage) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    EXPECT_FALSE(audio::FindFrameChain(bytesOf(garbage), kAll));
    EXPECT_FALSE(audio::FindFrameChain(bytesOf("<html><body>Not a stream</body></html>"), kAll));
}

TEST(FrameSniffer, NeedsAWholeChainBeforeDeciding) {
    const std::string stream = testsupport::EncodeTone(AudioCodec::Mp3, 128, 0.5);
    const std::size_t first = audio::FrameLength(FrameFormat::MpegAudio, bytesOf(stream));
    ASSERT_GT(first, 0u);
    const FrameFormat mpeg[] = {FrameFormat::MpegAudio};
    EXPECT_FALSE(audio::FindFrameChain(bytesOf(stream.substr(0, first + 10)), mpeg));
}

TEST(FrameSniffer, TheCreationCallAndContentTypePickTheFormats) {
    using audio::StreamKind;
    const struct {
        StreamKind kind;
        const char *mediaType;
        std::vector<FrameFormat> frames;
        bool mp4;
    } cases[] = {
        {StreamKind::MpegOrAac, "audio/mpeg", {FrameFormat::MpegAudio}, false},
        {StreamKind::MpegOrAac, "", {FrameFormat::MpegAudio}, false},
        {StreamKind::MpegOrAac, "audio/aacp", {FrameFormat::Adts, FrameFormat::Latm}, false},
        {StreamKind::MpegOrAac, "audio/mp4", {}, true},
        {StreamKind::Aac, "audio/mpeg", {FrameFormat::Adts, FrameFormat::Latm}, false},
        {StreamKind::Ac3, "audio/aacp", {FrameFormat::Ac3, FrameFormat::Eac3}, false},
    };
    for (const auto &c : cases) {
        const audio::StreamFormats formats = audio::FormatsFor(c.kind, c.mediaType);
        EXPECT_EQ(formats.frames, c.frames) << c.mediaType;
        EXPECT_EQ(formats.mp4, c.mp4) << c.mediaType;
    }
}

} // namespace
