#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/channel_output.h"
#include "audio/handle_table.h"
#include "audio/mixer.h"

namespace {

using audio::ChannelOutput;
using audio::RunState;

constexpr std::size_t kBlock = 256;

// Queues `frames` frames of a constant level on both channels.
void queue(ChannelOutput &output, std::size_t frames, float level) {
    const std::vector<float> pcm(frames * 2, level);
    const std::atomic<bool> abort{false};
    ASSERT_TRUE(output.WriteFrames(pcm.data(), frames, abort));
}

// Renders `blocks` blocks and returns the left channel of what was mixed.
std::vector<float> render(ChannelOutput &output, std::size_t blocks) {
    std::vector<float> left;
    std::vector<float> mix(kBlock * 2);
    std::vector<float> scratch(audio::kMaxRenderFrames * 2);
    for (std::size_t b = 0; b < blocks; ++b) {
        std::fill(mix.begin(), mix.end(), 0.0f);
        output.RenderAdd(mix.data(), scratch.data(), kBlock);
        for (std::size_t i = 0; i < kBlock; ++i)
            left.push_back(mix[2 * i]);
    }
    return left;
}

float largestStep(const std::vector<float> &samples) {
    float step = 0.0f;
    for (std::size_t i = 1; i < samples.size(); ++i)
        step = std::max(step, std::abs(samples[i] - samples[i - 1]));
    return step;
}

TEST(ChannelOutput, StartsChangesVolumeAndHoldsWithoutClicks) {
    ChannelOutput output;
    queue(output, 20 * kBlock, 1.0f);
    EXPECT_EQ(output.Volume(), 1.0f);
    output.SetRunState(RunState::Playing);
    std::vector<float> played = render(output, 4); // fades in from silence
    output.SetVolume(0.0f);
    const std::vector<float> down = render(output, 4);
    played.insert(played.end(), down.begin(), down.end());
    output.SetVolume(0.6f);
    const std::vector<float> up = render(output, 4);
    played.insert(played.end(), up.begin(), up.end());

    const float rampStep = 1.0f / audio::kVolumeRampFrames;
    EXPECT_LE(largestStep(played), rampStep * 1.01f);
    EXPECT_FLOAT_EQ(played[4 * kBlock - 1], 1.0f);
    EXPECT_FLOAT_EQ(played[8 * kBlock - 1], 0.0f);
    EXPECT_FLOAT_EQ(played.back(), 0.6f);

    // A hold fades out, then takes nothing more: the position stands.
    output.SetRunState(RunState::Paused);
    const std::vector<float> held = render(output, 4);
    EXPECT_LE(largestStep(held), rampStep * 1.01f);
    EXPECT_FLOAT_EQ(held.back(), 0.0f);
    EXPECT_FALSE(output.Audible());
    const uint64_t position = output.PlayedFrames();
    render(output, 4);
    EXPECT_EQ(output.PlayedFrames(), position);
    // The fade took the frames of a 0.6 to 0 glide, give or take rounding.
    EXPECT_NEAR(static_cast<double>(position), 12.0 * kBlock + 0.6 * audio::kVolumeRampFrames, 2.0);
}

TEST(ChannelOutput, AnUnderrunPlaysSilenceAndCountsOnlyRealFrames) {
    ChannelOutput output;
    queue(output, 100, 0.5f);
    output.SetRunState(RunState::Playing);
    const std::vector<float> played = render(output, 2);
    EXPECT_EQ(output.PlayedFrames(), 100u);
    EXPECT_EQ(played[kBlock + 10], 0.0f);
    EXPECT_GT(played[99], 0.0f);
}

TEST(ChannelOutput, AFlushDropsTheQueuedAudio) {
    ChannelOutput output;
    queue(output, 1000, 0.5f);
    output.RequestFlush();
    output.SetRunState(RunState::Playing);
    render(output, 1);
    EXPECT_EQ(output.PlayedFrames(), 0u);
    EXPECT_EQ(output.QueuedFrames(), 0u);
}

TEST(ChannelOutput, EffectsRunInOrderBeforeTheHistoryAndTaps) {
    struct Scale : audio::OutputEffect {
        float factor;
        explicit Scale(float f) : factor(f) {}
        void Process(float *frames, std::size_t count) noexcept override {
            for (std::size_t i = 0; i < count * 2; ++i)
                frames[i] *= factor;
        }
    };
    struct Offset : audio::OutputEffect {
        void Process(float *frames, std::size_t count) noexcept override {
            for (std::size_t i = 0; i < count * 2; ++i)
                frames[i] += 0.25f;
        }
    };
    struct Capture : audio::OutputTap {
        std::vector<float> seen;
        void Played(const float *frames, std::size_t count) noexcept override {
            seen.assign(frames, frames + count * 2);
        }
    };
    Scale half(0.5f);
    Offset offset;
    Capture tap;
    audio::OutputChain chain{{&half, &offset}, {&tap}};

    ChannelOutput output;
    EXPECT_EQ(output.ExchangeChain(&chain), nullptr);
    queue(output, kBlock, 1.0f);
    output.SetRunState(RunState::Playing);
    render(output, 1);
    // Scale first, then offset: 1.0 * 0.5 + 0.25.
    ASSERT_EQ(tap.seen.size(), kBlock * 2);
    EXPECT_FLOAT_EQ(tap.seen.front(), 0.75f);
    float latest[8];
    output.History().Latest(latest, 4);
    EXPECT_FLOAT_EQ(latest[7], 0.75f);
    EXPECT_EQ(output.ExchangeChain(nullptr), &chain);
}

TEST(ChannelOutput, TheDecoderWaitsForRoomAndAnAbortEndsTheWait) {
    ChannelOutput output;
    queue(output, audio::kPcmRingFrames, 0.1f); // full
    std::atomic<bool> abort{false};
    std::atomic<bool> returned{false};
    bool wrote = true;
    std::thread producer([&] {
        const std::vector<float> more(2 * 64, 0.1f);
        wrote = output.WriteFrames(more.data(), 64, abort);
        returned = true;
    });
    abort = true;
    output.WakeProducer();
    producer.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(wrote);
}

TEST(PlayHistory, KeepsTheNewestFramesOldestFirst) {
    audio::PlayHistory history;
    float out[8];
    history.Latest(out, 4);
    for (float v : out)
        EXPECT_EQ(v, 0.0f); // nothing played yet
    std::vector<float> frames;
    for (int i = 0; i < 5000; ++i) {
        frames.push_back(static_cast<float>(i));
        frames.push_back(static_cast<float>(-i));
    }
    history.Append(frames.data(), 5000); // wraps around
    history.Latest(out, 4);
    EXPECT_EQ(std::vector<float>(out, out + 8),
              (std::vector<float>{4996, -4996, 4997, -4997, 4998, -4998, 4999, -4999}));
    EXPECT_EQ(history.Written(), 5000u);
}

TEST(Mixer, AddsTheChannelsOfItsDeviceOnly) {
    audio::Mixer mixer;
    ChannelOutput a, b, elsewhere;
    for (ChannelOutput *c : {&a, &b, &elsewhere}) {
        queue(*c, 2 * audio::kVolumeRampFrames, 0.25f);
        c->SetRunState(RunState::Playing);
    }
    a.device = 3;
    b.device = 3;
    elsewhere.device = 4;
    mixer.Attach(0, &a);
    mixer.Attach(7, &b);
    mixer.Attach(9, &elsewhere);
    std::vector<float> out(2 * 2 * audio::kVolumeRampFrames);
    std::vector<float> scratch(2 * audio::kMaxRenderFrames);
    mixer.Render(3, out.data(), 2 * audio::kVolumeRampFrames, scratch.data());
    EXPECT_FLOAT_EQ(out.back(), 0.5f);
    EXPECT_EQ(elsewhere.PlayedFrames(), 0u);
    mixer.Detach(7);
    std::fill(out.begin(), out.end(), 1.0f);
    mixer.Render(3, out.data(), 2 * audio::kVolumeRampFrames, scratch.data());
    EXPECT_EQ(b.PlayedFrames(), 2 * audio::kVolumeRampFrames);
    EXPECT_EQ(out.back(), 0.0f); // `a` has run dry; the block is cleared, not added to
}

TEST(HandleTable, HandlesAreNeverReusedAndStaleOnesFindNothing) {
    using Table = audio::HandleTable<int, 2>;
    Table table(1);
    Table other(2);
    std::vector<uint32_t> seen;
    for (int i = 0; i < 10; ++i) {
        auto item = std::make_unique<int>(i);
        const uint32_t handle = table.Insert(item);
        ASSERT_NE(handle, 0u);
        EXPECT_EQ(std::find(seen.begin(), seen.end(), handle), seen.end());
        EXPECT_EQ(*table.Find(handle), i);
        EXPECT_EQ(other.Find(handle), nullptr); // another kind
        EXPECT_NE(table.Remove(handle), nullptr);
        EXPECT_EQ(table.Find(handle), nullptr);
        EXPECT_EQ(table.Remove(handle), nullptr);
        seen.push_back(handle);
    }
    EXPECT_EQ(table.Find(0), nullptr);

    auto a = std::make_unique<int>(1);
    auto b = std::make_unique<int>(2);
    auto c = std::make_unique<int>(3);
    EXPECT_NE(table.Insert(a), 0u);
    EXPECT_NE(table.Insert(b), 0u);
    EXPECT_EQ(table.Insert(c), 0u); // full: the caller keeps it
    EXPECT_NE(c, nullptr);
}

TEST(HandleTable, RetiresASlotWhoseGenerationsRunOut) {
    audio::HandleTable<int, 1> table(1);
    uint32_t last = 0;
    for (uint32_t g = 1; g <= audio::HandleTable<int, 1>::kMaxGeneration; ++g) {
        auto item = std::make_unique<int>(0);
        last = table.Insert(item);
        ASSERT_NE(last, 0u);
        table.Remove(last);
    }
    auto item = std::make_unique<int>(0);
    EXPECT_EQ(table.Insert(item), 0u);
}

} // namespace
