#pragma once

// One stream channel: its network thread, its decode thread, the pipe
// between them, its output state and the tags. Open does everything the
// creation calls promise: connects, follows playlists, waits for the first
// decoded audio, all within bounded times; a failed Open leaves nothing
// running.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/byte_pipe.h"
#include "audio/channel_output.h"
#include "audio/http_stream.h"
#include "audio/stream_decoder.h"
#include "audio/stream_state.h"

namespace audio {

// Bytes between the network and the decode thread (8 s at 128 kbps).
inline constexpr std::size_t kNetRingBytes = 128 * 1024;
// From the open call to the head of the answer (redirects included).
inline constexpr std::chrono::milliseconds kHeadTimeout{5000};
// From the head to the first decoded audio.
inline constexpr std::chrono::milliseconds kFirstAudioTimeout{5000};
// An open never takes longer than this in all, playlists included.
inline constexpr std::chrono::milliseconds kOpenTimeout{10000};

struct OpenOptions {
    StreamKind kind = StreamKind::MpegOrAac;
    bool read_playlists = false;
    bool keep_http_tags = false;
    DownloadCallback download;
};

class StreamChannel {
public:
    // Opens `url`; null with `error` set (a BASS_ERROR_* code) on failure.
    static std::unique_ptr<StreamChannel> Open(const std::string &url, const OpenOptions &options,
                                               int &error);
    ~StreamChannel();

    StreamChannel(const StreamChannel &) = delete;
    StreamChannel &operator=(const StreamChannel &) = delete;

    ChannelOutput &Output() { return output_; }
    // The head as a tag block (nullopt unless kept), the last metadata text.
    std::optional<std::string> HttpTags();
    std::optional<std::string> Meta();
    // Audio bytes received (metadata excluded), or the announced length.
    uint64_t FilePosition();
    // Audio bytes the decoder has taken from the network so far.
    uint64_t DecoderBytes() const;

private:
    explicit StreamChannel(const OpenOptions &options);
    // One address, no playlist handling: waits for the head, then either
    // returns the playlist body or waits for the first audio.
    static std::unique_ptr<StreamChannel> openOne(const std::string &url,
                                                  const OpenOptions &options,
                                                  std::chrono::steady_clock::time_point deadline,
                                                  int &error, std::string &playlist,
                                                  std::string &playlist_url);
    static std::unique_ptr<StreamChannel>
    openNested(const std::string &url, const OpenOptions &options, int depth, int &attempts,
               std::chrono::steady_clock::time_point deadline, int &error);
    void stop();

    const OpenOptions options_;
    StreamState state_;
    BytePipe pipe_{kNetRingBytes};
    ChannelOutput output_;
    std::atomic<bool> abort_{false};
    std::atomic<uint64_t> audioBytes_{0};
    // Last: their threads use everything above.
    std::unique_ptr<HttpStream> net_;
    std::unique_ptr<StreamDecoder> decoder_;
};

} // namespace audio
