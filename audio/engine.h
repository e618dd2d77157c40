#pragma once

// The engine behind audio.h: the devices, the channels and the one mixer.
// Every member returns a BASS_* error code (BASS_OK on success) and fills
// its result; api.cpp turns that into the calls' results and the calling
// thread's error code.
//
// Threads: any thread may call any member; one lock guards the devices and
// the handle table and is never held while a stream opens. The output
// threads never take it (see mixer.h).

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/handle_table.h"
#include "audio/mixer.h"
#include "audio/stream_channel.h"

namespace audio {

inline constexpr int kMaxDevices = 64;
inline constexpr int kNullDevice = 0;
inline constexpr int kDefaultDevice = 1;
// How long a hold or stop waits for the output to fade the channel out.
inline constexpr std::chrono::milliseconds kFadeWait{250};

class Engine {
public:
    // The process's one engine; it lives to the end of the process.
    static Engine &Instance();

    int Init(int device);
    int SetConfig(uint32_t option, uint32_t value);
    int Create(const char *url, uint32_t offset, uint32_t flags, StreamKind kind,
               DownloadCallback download, uint32_t &handle);
    int Free(uint32_t handle);
    int Play(uint32_t handle, bool restart);
    int Stop(uint32_t handle);
    int Pause(uint32_t handle);
    int SetAttribute(uint32_t handle, uint32_t attribute, float value);
    int Tags(uint32_t handle, uint32_t type, std::string &tags);
    int Position(uint32_t handle, uint32_t mode, uint64_t &bytes);
    int Seconds(uint32_t handle, uint64_t bytes, double &seconds);
    int FilePosition(uint32_t handle, uint32_t mode, uint64_t &bytes);
    float Cpu();
    // The newest `frames` played frames of the channel, interleaved stereo.
    int LatestFrames(uint32_t handle, float *interleaved, std::size_t frames);
    int GetDeviceInfo(uint32_t device, DeviceInfo &info);
    int SetDevice(uint32_t device);

    // Puts `chain` (null: none) on the channel's output path. The objects it
    // points to must live until the chain is replaced again or the channel
    // is freed; the chain itself is owned by the engine from here on.
    int SetOutputChain(uint32_t handle, std::unique_ptr<OutputChain> chain);

    // Whether `handle` is a live channel.
    bool Exists(uint32_t handle) const;

private:
    Engine() = default;

    // With mutex_ held.
    StreamChannel *find(uint32_t handle) const { return channels_.Find(handle); }
    void waitForRenders() const;
    void moveChannel(ChannelOutput &output, int device);
    bool deviceExists(int device) const;
    const char *intern(const std::string &text);
    void waitUntilSilent(const ChannelOutput &output) const;

    mutable std::mutex mutex_;
    Mixer mixer_;
    std::array<std::unique_ptr<OutputDevice>, kMaxDevices> devices_;
    int current_ = -1;
    bool readPlaylists_ = false;
    HandleTable<StreamChannel, kMaxChannels> channels_{1};
    // Per channel slot: the chain on its output, and whether its next Play
    // starts from the newest audio (after a Stop).
    std::array<std::unique_ptr<OutputChain>, kMaxChannels> chains_;
    std::array<bool, kMaxChannels> restartOnPlay_{};
    std::vector<std::string> sdlDevices_;
    bool sdlListed_ = false;
    std::set<std::string> names_; // device texts handed out; never freed
};

} // namespace audio
