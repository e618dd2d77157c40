#pragma once

// What the program adds to a channel's output path: equalizer effects
// (BASS_ChannelSetFX) and WAV, MP3 and Ogg encoders (BASS_Encode_Start). Each effect and
// encoder has a handle of its own, never reused; all go with their channel.
// Every change publishes a new output chain to the engine: the effects in
// priority order (higher first, equal priorities in order of creation) as one
// cascade, then the encoders' taps.
//
// Threads: any thread may call any member; one lock guards the tables and
// is held while a chain is published, so chains are published in order. The
// output thread sees only the published chains (see channel_output.h).

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/audio.h"
#include "audio/channel_output.h"
#include "audio/file_writer.h"
#include "audio/handle_table.h"
#include "audio/peaking_eq.h"

namespace audio {

class ChannelAddOns {
public:
    static ChannelAddOns &Instance();

    // Each returns a BASS_* error code and fills its result.
    int AddEffect(uint32_t channel, uint32_t type, int priority, uint32_t &fx);
    int SetEffectParameters(uint32_t fx, const ParamEq &params);
    int StartEncoder(uint32_t channel, const char *path, uint32_t flags, uint32_t &encoder);
    int StopEncoders(uint32_t channel);
    // `handle` is an encoder, or a channel (then: whether any of its
    // encoders writes; its newest encoder's count).
    int EncoderActive(uint32_t handle, uint32_t &state);
    int EncoderCount(uint32_t handle, uint32_t count, uint64_t &value);
    // The channel is being freed: its effects and encoders go (encoders
    // close their files). Call after the engine has taken the chain away.
    void Release(uint32_t channel);

private:
    ChannelAddOns() = default;

    struct Effect {
        Effect(uint32_t channel, int priority, uint64_t order);
        uint32_t channel;
        int priority;
        uint64_t order;
        PeakingEq eq;
    };
    struct Encoder final : OutputTap {
        Encoder(uint32_t channel, std::unique_ptr<FileWriter> writer);
        void Played(const float *interleaved, std::size_t frames) noexcept override;
        uint32_t channel;
        std::unique_ptr<FileWriter> writer;
    };
    // A channel's effects in order, run in one pass over each buffer.
    struct Cascade final : OutputEffect {
        void Process(float *interleaved, std::size_t frames) noexcept override;
        std::vector<PeakingEq *> bands;
    };
    struct PerChannel {
        std::vector<uint32_t> effects;
        std::vector<uint32_t> encoders;
        std::unique_ptr<Cascade> cascade; // the one the published chain runs
    };

    // With mutex_ held.
    int publish(uint32_t channel);

    std::mutex mutex_;
    static constexpr std::size_t kMaxEffects = 256;
    static constexpr std::size_t kMaxEncoders = 64;
    HandleTable<Effect, kMaxEffects> effects_{2};
    HandleTable<Encoder, kMaxEncoders> encoders_{3};
    std::map<uint32_t, PerChannel> channels_;
    uint64_t created_ = 0;
};

} // namespace audio
