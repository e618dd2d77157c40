// The calls of audio.h: each runs the engine, records the calling thread's
// error code and turns the engine's result into the call's. No exception
// leaves a call: an allocation failure becomes BASS_ERROR_MEMORY.

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/channel_addons.h"
#include "audio/engine.h"
#include "audio/fft_magnitudes.h"

namespace {

using audio::Engine;

thread_local int lastError = BASS_OK;

// Runs `call` (returning an error code) and records its outcome.
template <typename Call> bool run(Call &&call) noexcept {
    try {
        lastError = call();
    } catch (const std::bad_alloc &) {
        lastError = BASS_ERROR_MEMORY;
    } catch (...) {
        lastError = BASS_ERROR_UNKNOWN;
    }
    return lastError == BASS_OK;
}

// The texts BASS_ChannelGetTags hands out, per thread: each stays valid
// until the same thread asks again for the same channel and type. Entries
// of freed channels are dropped as new ones come.
struct TagCopy {
    uint32_t channel;
    uint32_t type;
    std::string text;
};
thread_local std::vector<TagCopy> tagCopies;
constexpr std::size_t kTagCopiesBeforePrune = 16;

const char *keepTag(uint32_t channel, uint32_t type, std::string text) {
    auto found = std::find_if(tagCopies.begin(), tagCopies.end(), [&](const TagCopy &c) {
        return c.channel == channel && c.type == type;
    });
    if (found == tagCopies.end()) {
        if (tagCopies.size() >= kTagCopiesBeforePrune) {
            std::erase_if(tagCopies,
                          [](const TagCopy &c) { return !Engine::Instance().Exists(c.channel); });
        }
        tagCopies.push_back({channel, type, std::move(text)});
        return tagCopies.back().text.c_str();
    }
    found->text = std::move(text);
    return found->text.c_str();
}

uint32_t create(audio::StreamKind kind, const char *url, uint32_t offset, uint32_t flags,
                DownloadProc *proc, void *user) {
    uint32_t handle = 0;
    const bool ok = run([&] {
        return Engine::Instance().Create(url, offset, flags, kind, {proc, user}, handle);
    });
    return ok ? handle : 0;
}

} // namespace

bool BASS_Init(int device, uint32_t, uint32_t, void *, const void *) {
    return run([&] { return Engine::Instance().Init(device); });
}

bool BASS_SetConfig(uint32_t option, uint32_t value) {
    return run([&] { return Engine::Instance().SetConfig(option, value); });
}

uint32_t BASS_StreamCreateURL(const char *url, uint32_t offset, uint32_t flags, DownloadProc *proc,
                              void *user) {
    return create(audio::StreamKind::MpegOrAac, url, offset, flags, proc, user);
}

uint32_t BASS_AAC_StreamCreateURL(const char *url, uint32_t offset, uint32_t flags,
                                  DownloadProc *proc, void *user) {
    return create(audio::StreamKind::Aac, url, offset, flags, proc, user);
}

uint32_t BASS_AC3_StreamCreateURL(const char *url, uint32_t offset, uint32_t flags,
                                  DownloadProc *proc, void *user) {
    return create(audio::StreamKind::Ac3, url, offset, flags, proc, user);
}

bool BASS_StreamFree(uint32_t stream) {
    return run([&] {
        const int rc = Engine::Instance().Free(stream);
        if (rc == BASS_OK)
            audio::ChannelAddOns::Instance().Release(stream);
        return rc;
    });
}

bool BASS_ChannelPlay(uint32_t channel, bool restart) {
    return run([&] { return Engine::Instance().Play(channel, restart); });
}

bool BASS_ChannelStop(uint32_t channel) {
    return run([&] { return Engine::Instance().Stop(channel); });
}

bool BASS_ChannelPause(uint32_t channel) {
    return run([&] { return Engine::Instance().Pause(channel); });
}

bool BASS_ChannelSetAttribute(uint32_t channel, uint32_t attrib, float value) {
    return run([&] { return Engine::Instance().SetAttribute(channel, attrib, value); });
}

const char *BASS_ChannelGetTags(uint32_t channel, uint32_t tags) {
    const char *text = nullptr;
    run([&] {
        std::string found;
        const int rc = Engine::Instance().Tags(channel, tags, found);
        if (rc == BASS_OK)
            text = keepTag(channel, tags, std::move(found));
        return rc;
    });
    return text;
}

uint64_t BASS_ChannelGetPosition(uint32_t channel, uint32_t mode) {
    uint64_t bytes = 0;
    const bool ok = run([&] { return Engine::Instance().Position(channel, mode, bytes); });
    return ok ? bytes : static_cast<uint64_t>(-1);
}

double BASS_ChannelBytes2Seconds(uint32_t channel, uint64_t pos) {
    double seconds = 0.0;
    const bool ok = run([&] { return Engine::Instance().Seconds(channel, pos, seconds); });
    return ok ? seconds : 0.0;
}

uint64_t BASS_StreamGetFilePosition(uint32_t stream, uint32_t mode) {
    uint64_t bytes = 0;
    const bool ok = run([&] { return Engine::Instance().FilePosition(stream, mode, bytes); });
    return ok ? bytes : static_cast<uint64_t>(-1);
}

float BASS_GetCPU() {
    float load = 0.0f;
    run([&] {
        load = Engine::Instance().Cpu();
        return BASS_OK;
    });
    return load;
}

bool BASS_GetDeviceInfo(uint32_t device, DeviceInfo *info) {
    return run([&] {
        if (info == nullptr)
            return static_cast<int>(BASS_ERROR_ILLPARAM);
        DeviceInfo filled{};
        const int rc = Engine::Instance().GetDeviceInfo(device, filled);
        if (rc == BASS_OK)
            *info = filled;
        return rc;
    });
}

bool BASS_SetDevice(uint32_t device) {
    return run([&] { return Engine::Instance().SetDevice(device); });
}

uint32_t BASS_ChannelGetData(uint32_t channel, void *buffer, uint32_t length) {
    constexpr std::size_t kFrames = audio::kSpectrumFftSize;
    uint32_t used = 0;
    const bool ok = run([&] {
        if (buffer == nullptr)
            return static_cast<int>(BASS_ERROR_ILLPARAM);
        if (length != BASS_DATA_FFT1024)
            return static_cast<int>(BASS_ERROR_ILLTYPE);
        // Per thread, allocated on a thread's first call.
        thread_local audio::Spectrum spectrum;
        thread_local std::vector<float> frames(kFrames * audio::kOutputChannels);
        thread_local std::vector<float> mono(kFrames);
        const int rc = Engine::Instance().LatestFrames(channel, frames.data(), kFrames);
        if (rc != BASS_OK)
            return rc;
        audio::MixStereoToMono(frames.data(), kFrames, mono.data());
        spectrum.Compute(mono.data(), static_cast<float *>(buffer));
        used = static_cast<uint32_t>(kFrames * audio::kOutputBytesPerFrame);
        return static_cast<int>(BASS_OK);
    });
    return ok ? used : 0;
}

uint32_t BASS_ChannelSetFX(uint32_t channel, uint32_t type, int priority) {
    uint32_t fx = 0;
    const bool ok = run(
        [&] { return audio::ChannelAddOns::Instance().AddEffect(channel, type, priority, fx); });
    return ok ? fx : 0;
}

bool BASS_FXSetParameters(uint32_t fx, const void *params) {
    return run([&] {
        if (params == nullptr)
            return static_cast<int>(BASS_ERROR_ILLPARAM);
        ParamEq values{};
        std::memcpy(&values, params, sizeof values);
        return audio::ChannelAddOns::Instance().SetEffectParameters(fx, values);
    });
}

uint32_t BASS_Encode_Start(uint32_t channel, const char *file, uint32_t flags, EncodeProc *,
                           void *) {
    uint32_t encoder = 0;
    const bool ok = run([&] {
        return audio::ChannelAddOns::Instance().StartEncoder(channel, file, flags, encoder);
    });
    return ok ? encoder : 0;
}

bool BASS_Encode_Stop(uint32_t channel) {
    return run([&] { return audio::ChannelAddOns::Instance().StopEncoders(channel); });
}

uint32_t BASS_Encode_IsActive(uint32_t handle) {
    uint32_t state = BASS_ACTIVE_STOPPED;
    run([&] { return audio::ChannelAddOns::Instance().EncoderActive(handle, state); });
    return state;
}

uint64_t BASS_Encode_GetCount(uint32_t handle, uint32_t count) {
    uint64_t value = 0;
    const bool ok =
        run([&] { return audio::ChannelAddOns::Instance().EncoderCount(handle, count, value); });
    return ok ? value : static_cast<uint64_t>(-1);
}

int BASS_ErrorGetCode() {
    return lastError;
}
