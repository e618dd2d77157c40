#pragma once

// A stream channel's network thread: fetches the address with libcurl
// (http and https, certificates verified against the system's store,
// redirects followed up to kMaxRedirects, SHOUTcast "ICY 200 OK" accepted,
// ICY metadata requested), keeps the final head, strips the metadata and
// writes the audio bytes into the channel's BytePipe. A body that is to be
// read as a playlist is collected instead (see playlist.h).
//
// Cancellation: Abort, from any thread, ends every wait of the thread at
// once (curl's poll is woken, the pipe's waits end, the progress callback
// stops the transfer); the destructor joins.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <curl/curl.h>

#include "audio/byte_pipe.h"
#include "audio/http_head.h"
#include "audio/icy_reader.h"
#include "audio/stream_state.h"

namespace audio {

inline constexpr long kMaxRedirects = 5;
inline constexpr std::chrono::milliseconds kConnectTimeout{5000};
// A stream whose server sends nothing for this long has ended.
inline constexpr std::chrono::seconds kStallTimeout{30};

class HttpStream : private IcyReader::Sink {
public:
    HttpStream(std::string url, bool read_playlists, DownloadCallback download, StreamState &state,
               BytePipe &pipe, std::atomic<uint64_t> &audio_bytes);
    ~HttpStream();

    HttpStream(const HttpStream &) = delete;
    HttpStream &operator=(const HttpStream &) = delete;

    void Abort();

private:
    enum class Mode { Undecided, Audio, Playlist, Refused };

    void run();
    bool onHead(const char *line, std::size_t length);
    bool onBody(const uint8_t *data, std::size_t length);
    bool decide();
    void finish(int curl_result);

    bool Audio(std::span<const uint8_t> bytes) override;
    void Meta(std::string_view text) override;

    static std::size_t headerCallback(char *data, std::size_t size, std::size_t count, void *self);
    static std::size_t bodyCallback(char *data, std::size_t size, std::size_t count, void *self);
    static int progressCallback(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    const std::string url_;
    const bool readPlaylists_;
    const DownloadCallback download_;
    StreamState &state_;
    BytePipe &pipe_;
    std::atomic<uint64_t> &audioBytes_;
    std::atomic<bool> abort_{false};
    std::mutex restMutex_; // the rest between reads ends at once on Abort
    std::condition_variable restEnd_;

    // Network thread only.
    CURL *easy_ = nullptr;
    ResponseHead head_;
    Mode mode_ = Mode::Undecided;
    std::optional<IcyReader> icy_;
    std::string playlist_;
    bool playlistFull_ = false;
    bool headTooLarge_ = false;
    std::chrono::steady_clock::time_point lastData_;

    CURLM *multi_ = nullptr; // created before the thread starts, so Abort can wake it
    std::thread thread_;
};

} // namespace audio
