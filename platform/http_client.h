#pragma once

// A small HTTP client on libcurl for the update check: GET over HTTP/1.1
// with fixed request headers, no proxy, cookies kept for the life of the
// client and sent back, redirects not followed. Only a 2xx reply yields a
// body, taken byte for byte; everything else throws platform::Error with the
// client's message. Blocks the calling thread; one client per thread.

#include <chrono>
#include <memory>

#include <QByteArray>
#include <QString>

namespace platform {

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    // The body of `url` (http or https); waits at most `timeout` for the whole
    // exchange. Throws platform::Error on any failure.
    QByteArray Get(const QString &url, std::chrono::milliseconds timeout);

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

} // namespace platform
