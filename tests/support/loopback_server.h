#pragma once

// A loopback HTTP server for tests: listens on 127.0.0.1 at a free port and
// runs a handler for each request on a thread of the connection's own. The
// handler writes whatever bytes it likes (a full response, a SHOUTcast
// status line, a stream that stalls or stops), so every server behaviour a
// test needs is a handler. One request per connection; the connection closes
// when the handler returns. Never reaches beyond the loopback interface.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

struct HttpRequest {
    std::string method;
    std::string target; // path and query as sent
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;

    // The first header of that name (case-insensitive), or "".
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The bytes on the wire: HTTP/1.1 status line, the headers, a
    // Content-Length when none is given, "Connection: close", the body.
    std::string Serialize() const;
};

// The server side of one connection, used by a handler.
class Connection {
public:
    explicit Connection(int fd, const std::atomic<bool> &stopping);

    // Sends all of `bytes`; false once the peer has gone or the server stops.
    bool Send(std::string_view bytes);
    bool Send(const HttpResponse &response) { return Send(response.Serialize()); }

    // Waits up to `duration`, returning early (false) when the server stops.
    bool Pause(std::chrono::milliseconds duration);

    // Whether the server is shutting down; long-running handlers poll it.
    bool Stopping() const { return stopping_.load(); }

    // Whether the peer has closed its end (what it sent before is ignored).
    bool PeerClosed() const;

private:
    int fd_;
    const std::atomic<bool> &stopping_;
};

using Handler = std::function<void(const HttpRequest &, Connection &)>;

class LoopbackServer {
public:
    explicit LoopbackServer(Handler handler);
    // A server that answers every request with `response`.
    explicit LoopbackServer(HttpResponse response);
    ~LoopbackServer();

    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(std::string_view path = "/") const;

    // The requests received so far, in order of arrival.
    std::vector<HttpRequest> Requests() const;
    // Waits until at least `count` requests have arrived; false on time-out.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void acceptLoop();
    void serve(int fd);

    Handler handler_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<HttpRequest> requests_;
    std::list<std::thread> workers_;
    std::vector<int> openFds_;
};

} // namespace testsupport
