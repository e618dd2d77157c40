#pragma once

// What a stream channel's network and decode threads report to the thread
// that opens the channel and to the API: guarded by `mutex`, with `changed`
// signalled on every change the opener waits for.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace audio {

// Which creation call opened the stream; it picks the demuxers allowed.
enum class StreamKind {
    MpegOrAac, // MP3/MP2; AAC or MP4 when the server says so
    Aac,       // AAC in ADTS or LATM (HE-AAC v1/v2 included)
    Ac3,       // AC-3, E-AC-3
};

// Called with the raw body as it arrives (metadata included), on the
// network thread; with (nullptr, 0) once the body has ended.
struct DownloadCallback {
    void (*proc)(const void *buffer, uint32_t length, void *user) = nullptr;
    void *user = nullptr;
};

struct StreamState {
    enum class Phase {
        Connecting, // no body yet
        Streaming,  // the head is in and the body is audio
        Playlist,   // the body was a playlist, read into playlist_body
        Failed,     // see error
    };

    std::mutex mutex;
    std::condition_variable changed;

    Phase phase = Phase::Connecting;
    int error = 0;             // a BASS_ERROR_* code when Failed
    std::string http_tags;     // the final head as a tag block
    std::string media_type;    // of the final head
    std::string effective_url; // after redirects
    std::string playlist_body; // when Playlist
    std::optional<uint64_t> content_length_bytes;
    std::optional<std::string> meta; // the last ICY metadata text
    bool first_audio = false;        // the decoder has queued its first frames
    bool decode_ended = false;       // the decode thread has finished

    // The first failure wins; later ones (the teardown's) are dropped.
    void Fail(int code) {
        {
            std::lock_guard lock(mutex);
            if (phase == Phase::Failed)
                return;
            phase = Phase::Failed;
            error = code;
        }
        changed.notify_all();
    }
};

} // namespace audio
