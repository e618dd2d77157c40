#pragma once

// A loopback internet-radio server for tests and benchmarks, on top of
// LoopbackServer. Each path serves one thing: a stream (audio encoded at
// test time, ICY metadata every N bytes with changing titles, HTTP or
// SHOUTcast status line, paced at the bitrate, and a fault on request), a
// fixed response (playlists, errors) or a redirect. Unknown paths get 404.

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/encoded_audio.h"
#include "tests/support/loopback_server.h"

namespace testsupport {

enum class StatusLine {
    Http10, // "HTTP/1.0 200 OK", as Icecast answers
    Http11, // "HTTP/1.1 200 OK"
    Icy,    // "ICY 200 OK", as SHOUTcast answers
};

// What goes wrong on purpose.
enum class Fault {
    None,
    NoAnswer,       // reads the request and never answers
    StallAfter,     // sends the head and `fault_after_bytes` of audio, then stalls
    DropAfter,      // sends the head and `fault_after_bytes` of audio, then closes
    Garbage,        // sends pseudo-random bytes instead of audio
    MetaOverflow,   // one good block, then a length byte larger than what follows, then closes
    HugeHeaderLine, // a header line of one mebibyte
};

struct RadioStream {
    AudioCodec codec = AudioCodec::Mp3;
    int bitrate_kbps = 128;
    double seconds_encoded = 4.0; // the encoded clip, sent again and again
    Tone tone;
    StatusLine status = StatusLine::Http10;
    std::string content_type; // empty: ContentTypeOf(codec)
    // Audio bytes between ICY metadata blocks; 0 sends none. Metadata is
    // only sent to clients that ask for it (Icy-MetaData: 1).
    std::size_t metaint_bytes = 0;
    // Sent as the icy-metaint header instead of metaint_bytes when not empty
    // (absurd values); the stream then carries no metadata.
    std::string metaint_header;
    // Block k carries titles[(k / blocks_per_title) % size] when that differs
    // from the previous block's, else an empty block.
    std::vector<std::string> titles = {"Artist - First Song", "Artist - Second Song"};
    std::size_t blocks_per_title = 1;
    std::size_t burst_bytes = 16384;           // sent at once, then paced
    double pace = 1.0;                         // times the bitrate; 0: as fast as the client reads
    std::optional<std::size_t> content_length; // send exactly this much, announced
    Fault fault = Fault::None;
    std::size_t fault_after_bytes = 0;
};

class RadioServer {
public:
    RadioServer();
    ~RadioServer();

    RadioServer(const RadioServer &) = delete;
    RadioServer &operator=(const RadioServer &) = delete;

    // Each Add returns the full URL of `path`.
    std::string AddStream(const std::string &path, RadioStream stream);
    std::string AddResponse(const std::string &path, HttpResponse response);
    std::string AddRedirect(const std::string &path, const std::string &location, int status = 302);
    std::string AddPlaylist(const std::string &path, const std::string &content_type,
                            const std::string &body);

    std::string Url(const std::string &path) const { return server_->Url(path); }
    uint16_t Port() const { return server_->Port(); }
    const LoopbackServer &Loopback() const { return *server_; }

    // When the latest stream response sent its first audio byte.
    std::optional<std::chrono::steady_clock::time_point> FirstAudioByteTime() const;
    // Streams whose handler is still sending.
    int ActiveStreams() const;

private:
    struct Route;
    void handle(const HttpRequest &request, Connection &connection);
    void serveStream(const HttpRequest &request, Connection &connection, const Route &route);
    std::string add(const std::string &path, std::shared_ptr<const Route> route);

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const Route>> routes_;
    std::map<std::tuple<AudioCodec, int, double, Tone>, std::shared_ptr<const std::string>>
        encoded_;
    std::optional<std::chrono::steady_clock::time_point> firstAudioByte_;
    int activeStreams_ = 0;
    std::unique_ptr<LoopbackServer> server_; // last: stops before the routes go
};

} // namespace testsupport
