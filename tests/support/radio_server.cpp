#include "tests/support/radio_server.h"

#include <algorithm>
#include <cstdint>

namespace testsupport {

struct RadioServer::Route {
    enum class Kind { Stream, Response, Redirect } kind = Kind::Response;
    RadioStream stream;
    std::shared_ptr<const std::string> audio;
    HttpResponse response;
};

namespace {

std::string statusLineOf(StatusLine status) {
    switch (status) {
    case StatusLine::Http10:
        return "HTTP/1.0 200 OK\r\n";
    case StatusLine::Http11:
        return "HTTP/1.1 200 OK\r\n";
    case StatusLine::Icy:
        return "ICY 200 OK\r\n";
    }
    return "HTTP/1.0 200 OK\r\n";
}

// One ICY metadata block: the length byte (in 16-byte units), then the text
// padded with zero bytes.
std::string metaBlock(const std::string &title) {
    if (title.empty())
        return std::string(1, '\0');
    std::string text = "StreamTitle='" + title + "';StreamUrl='';";
    text.resize(std::min<std::size_t>((text.size() + 15) / 16 * 16, 255 * 16), '\0');
    return static_cast<char>(text.size() / 16) + text;
}

// xorshift32: the same "garbage" in every run.
std::string garbage(std::size_t bytes) {
    std::string out(bytes, '\0');
    uint32_t state = 0x9e3779b9u;
    for (char &c : out) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state & 0xff);
    }
    return out;
}

} // namespace

RadioServer::RadioServer()
    : server_(std::make_unique<LoopbackServer>(
          [this](const HttpRequest &request, Connection &connection) {
              handle(request, connection);
          })) {}

RadioServer::~RadioServer() {
    server_.reset();
}

std::string RadioServer::add(const std::string &path, std::shared_ptr<const Route> route) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(route);
    return server_->Url(path);
}

std::string RadioServer::AddStream(const std::string &path, RadioStream stream) {
    auto route = std::make_shared<Route>();
    route->kind = Route::Kind::Stream;
    if (stream.fault == Fault::Garbage) {
        route->audio = std::make_shared<const std::string>(garbage(1 << 16));
    } else {
        const auto key =
            std::make_tuple(stream.codec, stream.bitrate_kbps, stream.seconds_encoded, stream.tone);
        std::lock_guard lock(mutex_);
        auto &cached = encoded_[key];
        if (!cached) {
            cached = std::make_shared<const std::string>(
                EncodeTone(stream.codec, stream.bitrate_kbps, stream.seconds_encoded, stream.tone));
        }
        route->audio = cached;
    }
    if (stream.content_type.empty())
        stream.content_type = ContentTypeOf(stream.codec);
    route->stream = std::move(stream);
    return add(path, std::move(route));
}

std::string RadioServer::AddResponse(const std::string &path, HttpResponse response) {
    auto route = std::make_shared<Route>();
    route->response = std::move(response);
    return add(path, std::move(route));
}

std::string RadioServer::AddRedirect(const std::string &path, const std::string &location,
                                     int status) {
    HttpResponse response;
    response.status = status;
    response.reason = "Found";
    response.headers = {{"Location", location}};
    return AddResponse(path, std::move(response));
}

std::string RadioServer::AddPlaylist(const std::string &path, const std::string &content_type,
                                     const std::string &body) {
    HttpResponse response;
    response.headers = {{"Content-Type", content_type}};
    response.body = body;
    return AddResponse(path, std::move(response));
}

std::optional<std::chrono::steady_clock::time_point> RadioServer::FirstAudioByteTime() const {
    std::lock_guard lock(mutex_);
    return firstAudioByte_;
}

int RadioServer::ActiveStreams() const {
    std::lock_guard lock(mutex_);
    return activeStreams_;
}

void RadioServer::handle(const HttpRequest &request, Connection &connection) {
    const std::string path = request.target.substr(0, request.target.find('?'));
    std::shared_ptr<const Route> route;
    {
        std::lock_guard lock(mutex_);
        const auto found = routes_.find(path);
        if (found != routes_.end())
            route = found->second;
    }
    if (!route) {
        HttpResponse notFound;
        notFound.status = 404;
        notFound.reason = "Not Found";
        notFound.body = "no such stream";
        connection.Send(notFound);
        return;
    }
    if (route->kind != Route::Kind::Stream) {
        connection.Send(route->response);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        ++activeStreams_;
    }
    serveStream(request, connection, *route);
    std::lock_guard lock(mutex_);
    --activeStreams_;
}

void RadioServer::serveStream(const HttpRequest &request, Connection &connection,
                              const Route &route) {
    const RadioStream &s = route.stream;
    const std::string &audio = *route.audio;
    // A stall ends when the client goes (or the server stops).
    const auto stall = [&] {
        while (!connection.PeerClosed() && connection.Pause(std::chrono::milliseconds(10))) {
        }
    };
    if (s.fault == Fault::NoAnswer)
        return stall();
    const bool withMeta =
        s.metaint_bytes > 0 && s.metaint_header.empty() && request.Header("Icy-MetaData") == "1";

    std::string head = statusLineOf(s.status);
    head += "Content-Type: " + s.content_type + "\r\n";
    head += "icy-name: Loopback Radio\r\n";
    head += "icy-br: " + std::to_string(s.bitrate_kbps) + "\r\n";
    if (withMeta)
        head += "icy-metaint: " + std::to_string(s.metaint_bytes) + "\r\n";
    if (!s.metaint_header.empty())
        head += "icy-metaint: " + s.metaint_header + "\r\n";
    if (s.content_length)
        head += "Content-Length: " + std::to_string(*s.content_length) + "\r\n";
    if (s.fault == Fault::HugeHeaderLine)
        head += "X-Padding: " + std::string(1 << 20, 'a') + "\r\n";
    head += "\r\n";
    if (!connection.Send(head))
        return;

    std::optional<std::size_t> limit = s.content_length;
    if (s.fault == Fault::StallAfter || s.fault == Fault::DropAfter)
        limit = s.fault_after_bytes;
    if (s.fault == Fault::MetaOverflow)
        limit = withMeta ? 2 * s.metaint_bytes : 0; // one good block first

    const double bytesPerSecond = s.bitrate_kbps * 125.0 * s.pace;
    const auto start = std::chrono::steady_clock::now();
    std::size_t sent = 0; // audio bytes
    std::size_t at = 0;   // offset in the clip
    std::size_t untilMeta = s.metaint_bytes;
    std::size_t block = 0;
    std::string lastTitle;
    bool first = true;
    while (!limit || sent < *limit) {
        std::size_t allowed = SIZE_MAX;
        if (s.pace > 0) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            allowed = s.burst_bytes + static_cast<std::size_t>(elapsed * bytesPerSecond);
        }
        std::size_t n = std::min<std::size_t>(4096, audio.size() - at);
        if (withMeta)
            n = std::min(n, untilMeta);
        if (limit)
            n = std::min(n, *limit - sent);
        if (allowed <= sent) {
            if (!connection.Pause(std::chrono::milliseconds(10)))
                return;
            continue;
        }
        n = std::min(n, allowed - sent);
        if (first) {
            std::lock_guard lock(mutex_);
            firstAudioByte_ = std::chrono::steady_clock::now();
            first = false;
        }
        if (!connection.Send(std::string_view(audio).substr(at, n)))
            return;
        sent += n;
        at = (at + n) % audio.size();
        if (!withMeta || (limit && sent >= *limit))
            continue;
        untilMeta -= n;
        if (untilMeta > 0)
            continue;
        untilMeta = s.metaint_bytes;
        const std::string &title =
            s.titles.empty() ? lastTitle
                             : s.titles[(block / std::max<std::size_t>(1, s.blocks_per_title)) %
                                        s.titles.size()];
        ++block;
        const bool changed = block == 1 || title != lastTitle;
        lastTitle = title;
        if (!connection.Send(changed ? metaBlock(title) : std::string(1, '\0')))
            return;
    }
    if (s.fault == Fault::MetaOverflow) {
        // Announces 4080 bytes of metadata and ends after 100.
        connection.Send(std::string(1, '\xff') + "StreamTitle='cut" + std::string(84, 'x'));
        return;
    }
    if (s.fault == Fault::StallAfter)
        stall();
}

} // namespace testsupport
