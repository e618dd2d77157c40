#include "audio/engine.h"

#include <cmath>
#include <cstring>
#include <thread>

#include <curl/curl.h>

extern "C" {
#include <libavutil/log.h>
}

#include "audio/cpu_meter.h"
#include "audio/output_sdl.h"

namespace audio {

namespace {

using Clock = std::chrono::steady_clock;

bool startsWithIgnoreCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    }
    return true;
}

} // namespace

Engine &Engine::Instance() {
    static Engine *engine = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // The player keeps no log: FFmpeg's complaints about damaged frames
        // of a radio stream would otherwise go to stderr.
        av_log_set_level(AV_LOG_QUIET);
        CpuMeter::Instance(); // the load counts from here
        return new Engine;
    }();
    return *engine;
}

const char *Engine::intern(const std::string &text) {
    return names_.insert(text).first->c_str();
}

void Engine::waitForRenders() const {
    for (const auto &device : devices_) {
        if (device)
            device->WaitForRenderBoundary();
    }
}

bool Engine::deviceExists(int device) const {
    if (device == kNullDevice || device == kDefaultDevice)
        return true;
    return device >= 2 && device < kMaxDevices &&
           static_cast<std::size_t>(device - 2) < sdlDevices_.size();
}

void Engine::moveChannel(ChannelOutput &output, int device) {
    const int old = output.device.load();
    if (old == device)
        return;
    // No two output threads may read one channel's ring.
    output.device.store(-1);
    if (old >= 0 && devices_[static_cast<std::size_t>(old)])
        devices_[static_cast<std::size_t>(old)]->WaitForRenderBoundary();
    output.device.store(device);
}

void Engine::waitUntilSilent(const ChannelOutput &output) const {
    const int device = output.device.load();
    if (device < 0 || !devices_[static_cast<std::size_t>(device)])
        return;
    // A render that began before the state changed may still sound it.
    devices_[static_cast<std::size_t>(device)]->WaitForRenderBoundary();
    const auto deadline = Clock::now() + kFadeWait;
    while (output.Audible() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int Engine::Init(int device) {
    if (device < BASS_DEVICE_DEFAULT_OUTPUT || device >= kMaxDevices)
        return BASS_ERROR_DEVICE;
    const int number = device == BASS_DEVICE_DEFAULT_OUTPUT ? kDefaultDevice : device;
    std::lock_guard lock(mutex_);
    auto &slot = devices_[static_cast<std::size_t>(number)];
    if (slot)
        return BASS_ERROR_ALREADY;
    if (number == kNullDevice) {
        slot = OutputDevice::Open(mixer_, number, kNullOutput, nullptr);
    } else if (number == kDefaultDevice) {
        slot = OutputDevice::Open(mixer_, number, kSdlOutput, nullptr);
        if (!slot) // no sound card: everything else still works
            slot = OutputDevice::Open(mixer_, number, kNullOutput, nullptr);
    } else {
        if (!sdlListed_) {
            sdlDevices_ = SdlOutputDevices();
            sdlListed_ = true;
        }
        if (!deviceExists(number))
            return BASS_ERROR_DEVICE;
        slot = OutputDevice::Open(mixer_, number, kSdlOutput,
                                  sdlDevices_[static_cast<std::size_t>(number - 2)].c_str());
    }
    if (!slot)
        return BASS_ERROR_DRIVER;
    current_ = number;
    return BASS_OK;
}

int Engine::SetConfig(uint32_t option, uint32_t value) {
    if (option != BASS_CONFIG_NET_PLAYLIST)
        return BASS_ERROR_ILLTYPE;
    if (value > 2)
        return BASS_ERROR_ILLPARAM;
    std::lock_guard lock(mutex_);
    readPlaylists_ = value != 0;
    return BASS_OK;
}

int Engine::Create(const char *url, uint32_t offset, uint32_t flags, StreamKind kind,
                   DownloadCallback download, uint32_t &handle) {
    if (url == nullptr || offset != 0)
        return BASS_ERROR_ILLPARAM;
    const std::string address(url);
    if (!startsWithIgnoreCase(address, "http://") && !startsWithIgnoreCase(address, "https://"))
        return BASS_ERROR_URL;
    OpenOptions options;
    options.kind = kind;
    options.keep_http_tags = (flags & BASS_STREAM_STATUS) != 0;
    options.download = download;
    int device = -1;
    {
        std::lock_guard lock(mutex_);
        device = current_;
        if (device < 0 || !devices_[static_cast<std::size_t>(device)])
            return BASS_ERROR_INIT;
        options.read_playlists = readPlaylists_;
    }
    int error = BASS_OK;
    std::unique_ptr<StreamChannel> channel = StreamChannel::Open(address, options, error);
    if (!channel)
        return error;
    std::lock_guard lock(mutex_);
    StreamChannel *raw = channel.get();
    handle = channels_.Insert(channel);
    if (handle == 0)
        return BASS_ERROR_MEMORY; // `channel` still owns it and stops it
    const std::size_t slot = channels_.IndexOf(handle);
    restartOnPlay_[slot] = false;
    chains_[slot].reset();
    raw->Output().device.store(device);
    mixer_.Attach(slot, &raw->Output());
    return BASS_OK;
}

int Engine::Free(uint32_t handle) {
    std::unique_ptr<StreamChannel> channel;
    {
        std::lock_guard lock(mutex_);
        channel = channels_.Remove(handle);
        if (!channel)
            return BASS_ERROR_HANDLE;
        const std::size_t slot = channels_.IndexOf(handle);
        mixer_.Detach(slot);
        channel->Output().device.store(-1);
        channel->Output().ExchangeChain(nullptr);
        waitForRenders();
        chains_[slot].reset();
    }
    channel.reset(); // stops its threads and closes the connection
    return BASS_OK;
}

int Engine::Play(uint32_t handle, bool restart) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    const std::size_t slot = channels_.IndexOf(handle);
    if (restart || restartOnPlay_[slot])
        channel->Output().RequestFlush();
    restartOnPlay_[slot] = false;
    channel->Output().SetRunState(RunState::Playing);
    return BASS_OK;
}

int Engine::Stop(uint32_t handle) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    restartOnPlay_[channels_.IndexOf(handle)] = true;
    channel->Output().SetRunState(RunState::Stopped);
    waitUntilSilent(channel->Output());
    return BASS_OK;
}

int Engine::Pause(uint32_t handle) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    if (channel->Output().GetRunState() != RunState::Playing)
        return BASS_ERROR_ALREADY;
    channel->Output().SetRunState(RunState::Paused);
    waitUntilSilent(channel->Output());
    return BASS_OK;
}

int Engine::SetAttribute(uint32_t handle, uint32_t attribute, float value) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    if (attribute != BASS_ATTRIB_VOL)
        return BASS_ERROR_ILLTYPE;
    if (std::isnan(value))
        return BASS_ERROR_ILLPARAM;
    channel->Output().SetVolume(std::clamp(value, 0.0f, 1.0f));
    return BASS_OK;
}

int Engine::Tags(uint32_t handle, uint32_t type, std::string &tags) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    std::optional<std::string> found;
    if (type == BASS_TAG_HTTP)
        found = channel->HttpTags();
    else if (type == BASS_TAG_META)
        found = channel->Meta();
    else
        return BASS_ERROR_ILLTYPE;
    if (!found)
        return BASS_ERROR_NOTAVAIL;
    tags = std::move(*found);
    return BASS_OK;
}

int Engine::Position(uint32_t handle, uint32_t mode, uint64_t &bytes) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    switch (mode) {
    case BASS_POS_BYTE:
        bytes = channel->Output().PlayedFrames() * kOutputBytesPerFrame;
        return BASS_OK;
    case BASS_POS_DECODE:
        bytes = channel->Output().DecodedFrames() * kOutputBytesPerFrame;
        return BASS_OK;
    default:
        return BASS_ERROR_ILLTYPE;
    }
}

int Engine::Seconds(uint32_t handle, uint64_t bytes, double &seconds) {
    std::lock_guard lock(mutex_);
    if (find(handle) == nullptr)
        return BASS_ERROR_HANDLE;
    seconds = static_cast<double>(bytes) / (kOutputRateHz * kOutputBytesPerFrame);
    return BASS_OK;
}

int Engine::FilePosition(uint32_t handle, uint32_t mode, uint64_t &bytes) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    switch (mode) {
    case BASS_FILEPOS_END:
        bytes = channel->FilePosition();
        return BASS_OK;
    case BASS_FILEPOS_CURRENT:
        bytes = channel->DecoderBytes();
        return BASS_OK;
    default:
        return BASS_ERROR_ILLTYPE;
    }
}

float Engine::Cpu() {
    std::vector<clockid_t> clocks;
    {
        std::lock_guard lock(mutex_);
        for (const auto &device : devices_) {
            clockid_t clock{};
            if (device && device->RenderClock(clock))
                clocks.push_back(clock);
        }
    }
    return CpuMeter::Instance().Load(clocks);
}

int Engine::GetDeviceInfo(uint32_t device, DeviceInfo &info) {
    std::lock_guard lock(mutex_);
    if (device >= static_cast<uint32_t>(kMaxDevices))
        return BASS_ERROR_DEVICE;
    const int number = static_cast<int>(device);
    // A listing starts at 1: look again for what is plugged in now.
    if (number == kDefaultDevice || !sdlListed_) {
        sdlDevices_ = SdlOutputDevices();
        sdlListed_ = true;
    }
    if (!deviceExists(number))
        return BASS_ERROR_DEVICE;
    const auto &open = devices_[device];
    const bool sdl = open ? std::strcmp(open->Backend().driver, kSdlOutput.driver) == 0
                          : number != kNullDevice && SdlOutputAvailable();
    info.driver = intern(sdl ? SdlDriverName() : std::string(kNullOutput.driver));
    info.flags = BASS_DEVICE_ENABLED | (open ? BASS_DEVICE_INIT : 0u);
    if (number == kNullDevice) {
        info.name = intern("No sound");
    } else if (number == kDefaultDevice) {
        info.name = intern("Default");
        info.flags |= BASS_DEVICE_DEFAULT;
    } else {
        info.name = intern(sdlDevices_[device - 2]);
    }
    return BASS_OK;
}

int Engine::SetDevice(uint32_t device) {
    std::lock_guard lock(mutex_);
    if (device >= static_cast<uint32_t>(kMaxDevices))
        return BASS_ERROR_DEVICE;
    const int number = static_cast<int>(device);
    if (number >= 2 && !sdlListed_) {
        sdlDevices_ = SdlOutputDevices();
        sdlListed_ = true;
    }
    if (!deviceExists(number))
        return BASS_ERROR_DEVICE;
    current_ = number;
    if (devices_[device]) {
        channels_.ForEach([&](StreamChannel &channel) { moveChannel(channel.Output(), number); });
    }
    return BASS_OK;
}

int Engine::LatestFrames(uint32_t handle, float *interleaved, std::size_t frames) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    channel->Output().History().Latest(interleaved, frames);
    return BASS_OK;
}

int Engine::SetOutputChain(uint32_t handle, std::unique_ptr<OutputChain> chain) {
    std::lock_guard lock(mutex_);
    StreamChannel *channel = find(handle);
    if (channel == nullptr)
        return BASS_ERROR_HANDLE;
    channel->Output().ExchangeChain(chain.get());
    waitForRenders();
    chains_[channels_.IndexOf(handle)] = std::move(chain);
    return BASS_OK;
}

bool Engine::Exists(uint32_t handle) const {
    std::lock_guard lock(mutex_);
    return find(handle) != nullptr;
}

} // namespace audio
