// The devices, in one process from a fresh start: nothing initialised, then
// the default device (which falls back to "No sound" on a box without a
// sound card), then "No sound" itself, and channels moving between them.

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "audio/audio.h"
#include "tests/audio/stream_test_support.h"
#include "tests/support/radio_server.h"

namespace {

using namespace streamtest;

// SDL's dummy driver plays nothing: the default device must fall back.
const int kNoSoundCard = setenv("SDL_AUDIODRIVER", "dummy", 1);

TEST(Devices, FromNothingToTwoDevicesWithChannelsMovingBetweenThem) {
    ASSERT_EQ(kNoSoundCard, 0);
    testsupport::RadioServer server;
    const std::string url = server.AddStream("/live", testsupport::RadioStream{});

    EXPECT_EQ(BASS_StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    DeviceInfo info{};
    ASSERT_TRUE(BASS_GetDeviceInfo(1, &info));
    EXPECT_STREQ(info.name, "Default");
    EXPECT_STREQ(info.driver, "null");
    EXPECT_EQ(info.flags, BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT);
    EXPECT_FALSE(BASS_GetDeviceInfo(2, &info)); // the dummy driver lists nothing real
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_GetDeviceInfo(1, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    ASSERT_TRUE(BASS_GetDeviceInfo(0, &info));
    EXPECT_STREQ(info.name, "No sound");

    EXPECT_FALSE(BASS_Init(7, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_Init(-2, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);

    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    ASSERT_TRUE(BASS_GetDeviceInfo(1, &info));
    EXPECT_EQ(info.flags & BASS_DEVICE_INIT, BASS_DEVICE_INIT);
    // The program initialises twice; the second call changes nothing.
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);

    const uint32_t onDefault = BASS_StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(onDefault, 0u) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_ChannelPlay(onDefault, false));
    EXPECT_TRUE(WaitFor([&] { return PlayedSeconds(onDefault) > 0.3; }));

    // An uninitialised device becomes current, but nothing can open there.
    ASSERT_TRUE(BASS_SetDevice(0));
    EXPECT_EQ(BASS_StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    double at = PlayedSeconds(onDefault);
    EXPECT_TRUE(WaitFor([&] { return PlayedSeconds(onDefault) > at + 0.2; })); // not moved
    EXPECT_FALSE(BASS_SetDevice(9));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);

    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    ASSERT_TRUE(BASS_GetDeviceInfo(0, &info));
    EXPECT_EQ(info.flags, BASS_DEVICE_ENABLED | BASS_DEVICE_INIT);
    const uint32_t onNull = BASS_StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(onNull, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(onNull, false));

    // Back to the default: both channels move and keep playing.
    ASSERT_TRUE(BASS_SetDevice(1));
    at = PlayedSeconds(onDefault);
    const double nullAt = PlayedSeconds(onNull);
    EXPECT_TRUE(WaitFor([&] {
        return PlayedSeconds(onDefault) > at + 0.3 && PlayedSeconds(onNull) > nullAt + 0.3;
    }));
    EXPECT_TRUE(WaitFor([] { return BASS_GetCPU() > 0.0f; }));
    EXPECT_TRUE(BASS_StreamFree(onDefault));
    EXPECT_TRUE(BASS_StreamFree(onNull));
}

// A desktop ends its programs with SIGTERM; the sound system must not take
// that signal over.
TEST(Devices, TerminationStillEndsAProcessWithTheDefaultDeviceOpen) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            BASS_Init(-1, 44100, 0, nullptr, nullptr);
            alarm(5); // a swallowed SIGTERM ends the child another way
            raise(SIGTERM);
            for (;;)
                pause();
        },
        testing::KilledBySignal(SIGTERM), "");
}

} // namespace
