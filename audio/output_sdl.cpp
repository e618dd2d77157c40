#include "audio/output_sdl.h"

#include <cstring>
#include <memory>

#include <SDL.h>

#include "audio/output_backend.h"

namespace audio {

namespace {

struct SdlOutput {
    RenderFunction render;
    void *context;
    SDL_AudioDeviceID id = 0;
};

// SDL's audio thread.
void SDLCALL fill(void *userdata, Uint8 *stream, int length_bytes) {
    auto *output = static_cast<SdlOutput *>(userdata);
    output->render(output->context, reinterpret_cast<float *>(stream),
                   static_cast<std::size_t>(length_bytes) / (2 * sizeof(float)));
}

void *openSdl(const char *device_name, uint32_t rate_hz, RenderFunction render, void *context) {
    if (!SdlOutputAvailable())
        return nullptr;
    auto output = std::make_unique<SdlOutput>();
    output->render = render;
    output->context = context;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(rate_hz);
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = fill;
    want.userdata = output.get();
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device takes.
    output->id = SDL_OpenAudioDevice(device_name, 0, &want, &have, 0);
    if (output->id == 0)
        return nullptr;
    SDL_PauseAudioDevice(output->id, 0);
    return output.release();
}

void closeSdl(void *backend) {
    std::unique_ptr<SdlOutput> output(static_cast<SdlOutput *>(backend));
    SDL_CloseAudioDevice(output->id);
}

bool started() {
    static const bool ok = [] {
        // SDL would turn SIGINT and SIGTERM into quit events nobody reads,
        // and the program could then be ended only by SIGKILL.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }();
    return ok;
}

} // namespace

bool SdlOutputAvailable() {
    if (!started())
        return false;
    const char *driver = SDL_GetCurrentAudioDriver();
    return driver != nullptr && std::strcmp(driver, "dummy") != 0;
}

std::string SdlDriverName() {
    if (!SdlOutputAvailable())
        return {};
    return SDL_GetCurrentAudioDriver();
}

std::vector<std::string> SdlOutputDevices() {
    std::vector<std::string> names;
    if (!SdlOutputAvailable())
        return names;
    const int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i) {
        if (const char *name = SDL_GetAudioDeviceName(i, 0))
            names.emplace_back(name);
    }
    return names;
}

const OutputBackendOps kSdlOutput = {"sdl", openSdl, closeSdl};

} // namespace audio
