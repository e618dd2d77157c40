// Spectrum data, equalizer effects and WAV, MP3 and Ogg encoders through
// audio.h, on the
// null device, against a loopback station playing a 440 Hz tone at half of
// full scale.

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <unistd.h>

#include "audio/audio.h"
#include "tests/audio/decoded_file.h"
#include "tests/audio/stream_test_support.h"
#include "tests/support/radio_server.h"

namespace {

using namespace std::chrono_literals;
using testsupport::AudioCodec;
using testsupport::RadioServer;
using testsupport::RadioStream;

constexpr double kBinHz = 44100.0 / 1024.0;

class AddOnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr) ||
                    BASS_ErrorGetCode() == BASS_ERROR_ALREADY);
        ASSERT_TRUE(BASS_SetDevice(0));
        RadioStream stream;
        stream.codec = AudioCodec::Mp3;
        url = server.AddStream("/tone", stream);
        channel = BASS_StreamCreateURL(url.c_str(), 0, BASS_STREAM_STATUS, nullptr, nullptr);
        ASSERT_NE(channel, 0u);
        ASSERT_TRUE(BASS_ChannelPlay(channel, false));
        ASSERT_TRUE(streamtest::WaitFor([&] { return streamtest::PlayedSeconds(channel) > 0.5; }));
    }
    void TearDown() override { BASS_StreamFree(channel); }

    std::array<float, 512> spectrum() {
        std::array<float, 512> bins{};
        EXPECT_EQ(BASS_ChannelGetData(channel, bins.data(), BASS_DATA_FFT1024), 1024u * 8);
        return bins;
    }

    float toneLevel() {
        const auto bins = spectrum();
        const auto bin = static_cast<std::size_t>(testsupport::kToneHz / kBinHz + 0.5);
        return std::max({bins[bin - 1], bins[bin], bins[bin + 1]});
    }

    RadioServer server;
    std::string url;
    uint32_t channel = 0;
};

TEST_F(AddOnsTest, TheSpectrumPeaksAtTheTone) {
    const auto bins = spectrum();
    const auto peak = std::distance(bins.begin(), std::max_element(bins.begin(), bins.end()));
    EXPECT_NEAR(static_cast<double>(peak) * kBinHz, testsupport::kToneHz, kBinHz);
    // Half of full scale, spread over the bins a Hann window covers.
    EXPECT_GT(bins[static_cast<std::size_t>(peak)], 0.2f);
    EXPECT_LT(bins[static_cast<std::size_t>(peak)], 0.6f);

    std::array<float, 512> untouched;
    untouched.fill(7.0f);
    EXPECT_EQ(BASS_ChannelGetData(0, untouched.data(), BASS_DATA_FFT1024), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(untouched[0], 7.0f);
    EXPECT_EQ(BASS_ChannelGetData(channel, nullptr, BASS_DATA_FFT1024), 0u);
    EXPECT_EQ(BASS_ChannelGetData(channel, untouched.data(), 12345), 0u);
}

TEST_F(AddOnsTest, AnEqualizerBandRaisesTheTone) {
    const float before = toneLevel();
    const uint32_t fx = BASS_ChannelSetFX(channel, BASS_FX_DX8_PARAMEQ, 1);
    ASSERT_NE(fx, 0u);
    const ParamEq boost{440.0f, 12.0f, 12.0f};
    ASSERT_TRUE(BASS_FXSetParameters(fx, &boost));
    // A little more than the spectrum's window after the change.
    ASSERT_TRUE(streamtest::WaitFor([&] { return toneLevel() > before * 2.5f; }, 3s));
    // +12 dB is four times; the clip at full scale bounds it below that.
    EXPECT_LT(toneLevel(), before * 4.5f);

    EXPECT_EQ(BASS_ChannelSetFX(0, BASS_FX_DX8_PARAMEQ, 1), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelSetFX(channel, 99, 1), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_FALSE(BASS_FXSetParameters(fx, nullptr));

    ASSERT_TRUE(BASS_StreamFree(channel));
    EXPECT_FALSE(BASS_FXSetParameters(fx, &boost)); // the effect went with its channel
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    channel = 0;
}

TEST_F(AddOnsTest, AnEncoderWritesAValidWaveFileOfWhatPlays) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("velotune-encoder-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "record.wav").string();
    const uint32_t encoder =
        BASS_Encode_Start(channel, path.c_str(), BASS_ENCODE_PCM, nullptr, nullptr);
    ASSERT_NE(encoder, 0u);
    EXPECT_EQ(BASS_Encode_Start(channel, path.c_str(), BASS_ENCODE_PCM, nullptr, nullptr), encoder);
    const double started = streamtest::PlayedSeconds(channel);
    ASSERT_TRUE(
        streamtest::WaitFor([&] { return streamtest::PlayedSeconds(channel) > started + 1.0; }));
    ASSERT_TRUE(BASS_Encode_Stop(channel));

    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 4), "WAVE");
    uint32_t riff = 0, data = 0;
    std::memcpy(&riff, bytes.data() + 4, 4);
    std::memcpy(&data, bytes.data() + 40, 4);
    EXPECT_EQ(riff, bytes.size() - 8);
    EXPECT_EQ(data, bytes.size() - 44);
    EXPECT_EQ(data % 4, 0u);              // whole 16-bit stereo frames
    EXPECT_GE(data, 44100u * 4 * 9 / 10); // about the second that played

    EXPECT_EQ(BASS_Encode_Start(channel, (folder / "no/such/folder.wav").c_str(), BASS_ENCODE_PCM,
                                nullptr, nullptr),
              0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);
    EXPECT_EQ(BASS_Encode_Start(channel, folder.c_str(), BASS_ENCODE_PCM, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_Encode_Start(0, path.c_str(), BASS_ENCODE_PCM, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    std::filesystem::remove_all(folder);
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velotune-record.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string &name) const { return (path_ / name).string(); }
    bool Empty() const { return std::filesystem::is_empty(path_); }

private:
    std::filesystem::path path_;
};

struct RecordingCase {
    const char *name;
    uint32_t flag;
    const char *file;
    const char *codec;
    std::size_t slackFrames; // the encoder's delay and its last frame's padding
};

class RecordingTest : public AddOnsTest, public testing::WithParamInterface<RecordingCase> {};

TEST_P(RecordingTest, DecodesBackToWhatPlayedAndCountsFollowStartAndStop) {
    const RecordingCase &c = GetParam();
    TempFolder folder;
    const std::string path = folder / c.file;
    const uint32_t encoder = BASS_Encode_Start(channel, path.c_str(), c.flag, nullptr, nullptr);
    ASSERT_NE(encoder, 0u) << BASS_ErrorGetCode();
    // The running encoder, not a second writer on the file.
    EXPECT_EQ(BASS_Encode_Start(channel, path.c_str(), c.flag, nullptr, nullptr), encoder);
    EXPECT_EQ(BASS_Encode_IsActive(encoder), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_Encode_IsActive(channel), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);

    const uint64_t inAtStart = BASS_Encode_GetCount(encoder, BASS_ENCODE_COUNT_IN);
    ASSERT_NE(inAtStart, static_cast<uint64_t>(-1));
    ASSERT_TRUE(streamtest::WaitFor([&] {
        return BASS_ChannelBytes2Seconds(channel,
                                         BASS_Encode_GetCount(channel, BASS_ENCODE_COUNT_IN)) > 1.5;
    }));
    ASSERT_TRUE(streamtest::WaitFor(
        [&] { return BASS_Encode_GetCount(encoder, BASS_ENCODE_COUNT_OUT) > 10000; }));
    // Once paused nothing more is taken in, so the count is the file's length.
    ASSERT_TRUE(BASS_ChannelPause(channel));
    const uint64_t taken = BASS_Encode_GetCount(encoder, BASS_ENCODE_COUNT_IN);
    EXPECT_EQ(BASS_Encode_GetCount(channel, BASS_ENCODE_COUNT_IN), taken);
    EXPECT_EQ(taken % 8, 0u);

    ASSERT_TRUE(BASS_Encode_Stop(channel));
    EXPECT_EQ(BASS_Encode_IsActive(encoder), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_Encode_IsActive(channel), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    EXPECT_EQ(BASS_Encode_GetCount(encoder, BASS_ENCODE_COUNT_OUT), static_cast<uint64_t>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_Encode_GetCount(channel, BASS_ENCODE_COUNT_IN), static_cast<uint64_t>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);

    audiotest::ExpectRecording(
        path, {c.codec, taken / 8, c.slackFrames, {testsupport::kToneHz, testsupport::kToneHz}});
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RecordingTest,
    testing::Values(RecordingCase{"Wav", BASS_ENCODE_PCM, "record.wav", "pcm_s16le", 0},
                    RecordingCase{"Mp3", BASS_ENCODE_MP3, "record.mp3", "mp3", 2 * 1152},
                    RecordingCase{"Ogg", BASS_ENCODE_OGG, "record.ogg", "vorbis", 2048}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(AddOnsTest, FreeingTheChannelFinishesItsRecordings) {
    TempFolder folder;
    const std::string mp3 = folder / "record.mp3";
    const std::string ogg = folder / "record.ogg";
    const uint32_t first =
        BASS_Encode_Start(channel, mp3.c_str(), BASS_ENCODE_MP3, nullptr, nullptr);
    ASSERT_NE(first, 0u);
    const uint32_t newest =
        BASS_Encode_Start(channel, ogg.c_str(), BASS_ENCODE_OGG, nullptr, nullptr);
    ASSERT_NE(newest, 0u);
    EXPECT_NE(newest, first);
    ASSERT_TRUE(streamtest::WaitFor(
        [&] { return BASS_Encode_GetCount(newest, BASS_ENCODE_COUNT_OUT) > 8000; }));
    // The channel's count is its newest encoder's.
    EXPECT_EQ(BASS_Encode_GetCount(channel, BASS_ENCODE_COUNT_OUT),
              BASS_Encode_GetCount(newest, BASS_ENCODE_COUNT_OUT));

    ASSERT_TRUE(BASS_StreamFree(channel));
    channel = 0;
    for (const uint32_t encoder : {first, newest}) {
        EXPECT_EQ(BASS_Encode_IsActive(encoder), BASS_ACTIVE_STOPPED);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        EXPECT_EQ(BASS_Encode_GetCount(encoder, BASS_ENCODE_COUNT_IN), static_cast<uint64_t>(-1));
    }
    for (const std::string &path : {mp3, ogg}) {
        const auto decoded = audiotest::DecodeFile(path);
        ASSERT_TRUE(decoded.has_value()) << path;
        EXPECT_EQ(decoded->decodeErrors, 0) << path;
        EXPECT_GT(decoded->Frames(), 44100u / 2) << path;
    }
}

TEST_F(AddOnsTest, EncoderCallsRefuseBadArgumentsAndLeaveNothing) {
    TempFolder folder;
    for (const uint32_t flags :
         {0u, BASS_ENCODE_PCM | BASS_ENCODE_MP3, BASS_ENCODE_MP3 | BASS_ENCODE_OGG,
          BASS_ENCODE_PCM | BASS_ENCODE_MP3 | BASS_ENCODE_OGG, 1u}) {
        EXPECT_EQ(BASS_Encode_Start(channel, (folder / "out").c_str(), flags, nullptr, nullptr), 0u)
            << flags;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE) << flags;
    }
    std::filesystem::create_directory(folder / "sub");
    for (const uint32_t flag : {BASS_ENCODE_PCM, BASS_ENCODE_MP3, BASS_ENCODE_OGG}) {
        for (const std::string &path : {folder / "missing/out", folder / "sub", folder / "sub/"}) {
            EXPECT_EQ(BASS_Encode_Start(channel, path.c_str(), flag, nullptr, nullptr), 0u) << path;
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE) << path;
        }
        EXPECT_EQ(BASS_Encode_Start(channel, "", flag, nullptr, nullptr), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
        EXPECT_EQ(BASS_Encode_Start(0, (folder / "out").c_str(), flag, nullptr, nullptr), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }
    std::filesystem::remove(folder / "sub");
    EXPECT_TRUE(folder.Empty());

    // No encoder yet: the channel is not recording and has no counts.
    EXPECT_EQ(BASS_Encode_IsActive(channel), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    EXPECT_EQ(BASS_Encode_GetCount(channel, BASS_ENCODE_COUNT_OUT), static_cast<uint64_t>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(BASS_Encode_IsActive(0), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_Encode_GetCount(0, BASS_ENCODE_COUNT_IN), static_cast<uint64_t>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

    // The path is used as given: no extension is added.
    const std::string path = folder / "recording";
    const uint32_t encoder =
        BASS_Encode_Start(channel, path.c_str(), BASS_ENCODE_MP3, nullptr, nullptr);
    ASSERT_NE(encoder, 0u);
    EXPECT_EQ(BASS_Encode_GetCount(encoder, 2), static_cast<uint64_t>(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    // The same file under another spelling is the same recording.
    const std::string otherSpelling = folder / "sub/../recording";
    std::filesystem::create_directory(folder / "sub");
    EXPECT_EQ(BASS_Encode_Start(channel, otherSpelling.c_str(), BASS_ENCODE_MP3, nullptr, nullptr),
              encoder);
    // Another channel may not write it too.
    const uint32_t other = BASS_StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(other, 0u);
    EXPECT_EQ(BASS_Encode_Start(other, path.c_str(), BASS_ENCODE_OGG, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_TRUE(BASS_StreamFree(other));
    EXPECT_EQ(BASS_Encode_IsActive(encoder), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(BASS_Encode_Stop(channel));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".mp3"));
}

} // namespace
