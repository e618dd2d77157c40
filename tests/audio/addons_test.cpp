// Spectrum data, equalizer effects and WAV encoders through audio.h, on the
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

} // namespace
