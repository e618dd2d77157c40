#include "audio/channel_addons.h"

#include <algorithm>

#include "audio/engine.h"

namespace audio {

ChannelAddOns &ChannelAddOns::Instance() {
    static ChannelAddOns *addOns = new ChannelAddOns; // lives to the end of the process
    return *addOns;
}

ChannelAddOns::Effect::Effect(uint32_t channel_, int priority_, uint64_t order_)
    : channel(channel_), priority(priority_), order(order_), eq(kOutputRateHz, kOutputChannels) {}

void ChannelAddOns::Cascade::Process(float *interleaved, std::size_t frames) noexcept {
    PeakingEq::ProcessCascade(bands.data(), bands.size(), interleaved, frames);
}

ChannelAddOns::Encoder::Encoder(uint32_t channel_, std::unique_ptr<FileWriter> writer_)
    : channel(channel_), writer(std::move(writer_)) {}

void ChannelAddOns::Encoder::Played(const float *interleaved, std::size_t frames) noexcept {
    writer->Push(interleaved, frames);
}

int ChannelAddOns::publish(uint32_t channel) {
    auto chain = std::make_unique<OutputChain>();
    PerChannel &mine = channels_[channel];
    std::vector<Effect *> effects;
    for (uint32_t fx : mine.effects)
        effects.push_back(effects_.Find(fx));
    std::stable_sort(effects.begin(), effects.end(), [](const Effect *a, const Effect *b) {
        return a->priority != b->priority ? a->priority > b->priority : a->order < b->order;
    });
    auto cascade = std::make_unique<Cascade>();
    for (Effect *effect : effects)
        cascade->bands.push_back(&effect->eq);
    if (!cascade->bands.empty())
        chain->effects.push_back(cascade.get());
    for (uint32_t encoder : mine.encoders)
        chain->taps.push_back(encoders_.Find(encoder));
    const int result = Engine::Instance().SetOutputChain(channel, std::move(chain));
    // The output no longer runs the cascade published before.
    if (result == BASS_OK)
        mine.cascade = std::move(cascade);
    return result;
}

int ChannelAddOns::AddEffect(uint32_t channel, uint32_t type, int priority, uint32_t &fx) {
    if (type != BASS_FX_DX8_PARAMEQ)
        return BASS_ERROR_ILLTYPE;
    std::lock_guard lock(mutex_);
    if (!Engine::Instance().Exists(channel))
        return BASS_ERROR_HANDLE;
    auto effect = std::make_unique<Effect>(channel, priority, created_++);
    fx = effects_.Insert(effect);
    if (fx == 0)
        return BASS_ERROR_MEMORY;
    channels_[channel].effects.push_back(fx);
    const int result = publish(channel);
    if (result != BASS_OK) {
        // The channel went while this was being added.
        channels_.erase(channel);
        effects_.Remove(fx);
        fx = 0;
    }
    return result;
}

int ChannelAddOns::SetEffectParameters(uint32_t fx, const ParamEq &params) {
    std::lock_guard lock(mutex_);
    Effect *effect = effects_.Find(fx);
    if (effect == nullptr)
        return BASS_ERROR_HANDLE;
    effect->eq.SetParameters({params.centre, params.bandwidth, params.gain});
    return BASS_OK;
}

namespace {

int errorOf(FileOpenError error) {
    switch (error) {
    case FileOpenError::kInvalidArgument:
        return BASS_ERROR_ILLPARAM;
    case FileOpenError::kAlreadyOpen:
        return BASS_ERROR_ALREADY;
    case FileOpenError::kNoEncoder:
        return BASS_ERROR_NOTAVAIL;
    default:
        return BASS_ERROR_CREATE;
    }
}

// The one format flag among `flags`; false when there is none or more.
bool formatOf(uint32_t flags, RecordFormat &format) {
    const uint32_t chosen = flags & (BASS_ENCODE_PCM | BASS_ENCODE_MP3 | BASS_ENCODE_OGG);
    switch (chosen) {
    case BASS_ENCODE_PCM:
        format = RecordFormat::kWav;
        return true;
    case BASS_ENCODE_MP3:
        format = RecordFormat::kMp3;
        return true;
    case BASS_ENCODE_OGG:
        format = RecordFormat::kOgg;
        return true;
    default:
        return false;
    }
}

} // namespace

int ChannelAddOns::StartEncoder(uint32_t channel, const char *path, uint32_t flags,
                                uint32_t &encoder) {
    if (path == nullptr || *path == '\0')
        return BASS_ERROR_ILLPARAM;
    RecordFormat format = RecordFormat::kWav;
    if (!formatOf(flags, format))
        return BASS_ERROR_ILLTYPE;
    std::lock_guard lock(mutex_);
    if (!Engine::Instance().Exists(channel))
        return BASS_ERROR_HANDLE;
    // Two writers on one file would corrupt it: hand back the one writing it.
    for (uint32_t existing : channels_[channel].encoders) {
        if (encoders_.Find(existing)->writer->WritesFile(path)) {
            encoder = existing;
            return BASS_OK;
        }
    }
    FileOpenResult opened = FileWriter::Open(format, path, kOutputRateHz, kOutputChannels);
    if (!opened.writer)
        return errorOf(opened.error);
    auto added = std::make_unique<Encoder>(channel, std::move(opened.writer));
    encoder = encoders_.Insert(added);
    if (encoder == 0)
        return BASS_ERROR_MEMORY;
    channels_[channel].encoders.push_back(encoder);
    const int result = publish(channel);
    if (result != BASS_OK) {
        channels_.erase(channel);
        encoders_.Remove(encoder); // closes the file
        encoder = 0;
    }
    return result;
}

int ChannelAddOns::EncoderActive(uint32_t handle, uint32_t &state) {
    std::lock_guard lock(mutex_);
    state = BASS_ACTIVE_STOPPED;
    if (const Encoder *one = encoders_.Find(handle)) {
        if (one->writer->IsWriting())
            state = BASS_ACTIVE_PLAYING;
        return BASS_OK;
    }
    if (!Engine::Instance().Exists(handle))
        return BASS_ERROR_HANDLE;
    if (auto found = channels_.find(handle); found != channels_.end()) {
        for (uint32_t encoder : found->second.encoders)
            if (encoders_.Find(encoder)->writer->IsWriting())
                state = BASS_ACTIVE_PLAYING;
    }
    return BASS_OK;
}

int ChannelAddOns::EncoderCount(uint32_t handle, uint32_t count, uint64_t &value) {
    std::lock_guard lock(mutex_);
    const Encoder *one = encoders_.Find(handle);
    if (one == nullptr) {
        if (!Engine::Instance().Exists(handle))
            return BASS_ERROR_HANDLE;
        auto found = channels_.find(handle);
        if (found == channels_.end() || found->second.encoders.empty())
            return BASS_ERROR_NOTAVAIL;
        one = encoders_.Find(found->second.encoders.back());
    }
    switch (count) {
    case BASS_ENCODE_COUNT_IN:
        value = one->writer->FramesTaken() * kOutputBytesPerFrame;
        return BASS_OK;
    case BASS_ENCODE_COUNT_OUT:
        value = one->writer->BytesWritten();
        return BASS_OK;
    default:
        return BASS_ERROR_ILLTYPE;
    }
}

int ChannelAddOns::StopEncoders(uint32_t channel) {
    std::vector<std::unique_ptr<Encoder>> stopped;
    {
        std::lock_guard lock(mutex_);
        if (!Engine::Instance().Exists(channel))
            return BASS_ERROR_HANDLE;
        auto found = channels_.find(channel);
        if (found == channels_.end() || found->second.encoders.empty())
            return BASS_OK;
        const std::vector<uint32_t> handles = std::move(found->second.encoders);
        found->second.encoders.clear();
        // The output stops feeding them before they go.
        const int result = publish(channel);
        if (result != BASS_OK)
            return result;
        for (uint32_t handle : handles)
            stopped.push_back(encoders_.Remove(handle));
    }
    stopped.clear(); // each writer drains, fixes its header and closes
    return BASS_OK;
}

void ChannelAddOns::Release(uint32_t channel) {
    std::vector<std::unique_ptr<Effect>> effects;
    std::vector<std::unique_ptr<Encoder>> encoders;
    {
        std::lock_guard lock(mutex_);
        auto found = channels_.find(channel);
        if (found == channels_.end())
            return;
        for (uint32_t fx : found->second.effects)
            effects.push_back(effects_.Remove(fx));
        for (uint32_t encoder : found->second.encoders)
            encoders.push_back(encoders_.Remove(encoder));
        channels_.erase(found);
    }
}

} // namespace audio
