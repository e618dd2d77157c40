#include "broadcast/capture.h"

#include <algorithm>
#include <utility>

#include <SDL.h>

namespace broadcast {

namespace {

class SdlCaptureSource : public CaptureSource {
public:
    ~SdlCaptureSource() override { Close(); }

    std::string Open(int device_number, const CaptureFormat &format,
                     uint32_t buffer_frames) override {
        Close();
        // As for output: SIGINT and SIGTERM keep ending the program.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return std::string("No capture device: ") + SDL_GetError();
        initialised_ = true;
        if (device_number < 0 || device_number >= SDL_GetNumAudioDevices(1)) {
            Close();
            return "No capture device";
        }
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(format.sample_rate_hz);
        want.format = format.bits_per_sample == 16 ? AUDIO_S16LSB : AUDIO_U8;
        want.channels = static_cast<Uint8>(format.channels);
        want.samples = static_cast<Uint16>(std::clamp<uint32_t>(buffer_frames, 64, 32768));
        want.callback = nullptr; // queued capture: the worker dequeues
        SDL_AudioSpec have{};
        // No allowed changes: SDL converts the device's own format to ours.
        device_ = SDL_OpenAudioDevice(SDL_GetAudioDeviceName(device_number, 1), 1, &want, &have, 0);
        if (device_ == 0) {
            std::string error = std::string("No capture device: ") + SDL_GetError();
            Close();
            return error;
        }
        frame_bytes_ = format.FrameBytes();
        SDL_PauseAudioDevice(device_, 0);
        return "";
    }

    void Read(std::vector<uint8_t> &out) override {
        if (device_ == 0)
            return;
        Uint32 queued = SDL_GetQueuedAudioSize(device_);
        queued -= queued % frame_bytes_;
        if (queued == 0)
            return;
        std::size_t start = out.size();
        out.resize(start + queued);
        Uint32 got = SDL_DequeueAudio(device_, out.data() + start, queued);
        out.resize(start + got - got % frame_bytes_);
    }

    void Close() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            device_ = 0;
        }
        if (initialised_) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            initialised_ = false;
        }
    }

private:
    bool initialised_ = false;
    SDL_AudioDeviceID device_ = 0;
    uint32_t frame_bytes_ = 1;
};

} // namespace

std::unique_ptr<CaptureSource> MakeSdlCaptureSource() {
    return std::make_unique<SdlCaptureSource>();
}

TDXAudioIn::TDXAudioIn() : source_(MakeSdlCaptureSource()) {}

TDXAudioIn::TDXAudioIn(std::unique_ptr<CaptureSource> source) : source_(std::move(source)) {}

uint32_t TDXAudioIn::BufferFrames() const {
    return static_cast<uint32_t>(uint64_t{Latency} * InSampleRate / 1000);
}

std::chrono::milliseconds TDXAudioIn::PollingInterval() const {
    return std::chrono::milliseconds(std::max<uint32_t>(Latency / 2, 10));
}

} // namespace broadcast
