#include "tests/support/loopback_server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Reads the request head (up to the blank line); a body is not read.
bool readHead(int fd, const std::atomic<bool> &stopping, std::string &head) {
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.find("\n\n") == std::string::npos) {
        if (stopping || head.size() > (1u << 20))
            return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 50);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

HttpRequest parseHead(const std::string &head) {
    HttpRequest request;
    std::size_t pos = 0;
    bool first = true;
    while (pos < head.size()) {
        std::size_t end = head.find('\n', pos);
        if (end == std::string::npos)
            end = head.size();
        const std::string_view line = trim(std::string_view(head).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty())
            break;
        if (first) {
            first = false;
            const std::size_t a = line.find(' ');
            const std::size_t b = line.rfind(' ');
            request.method = std::string(line.substr(0, a));
            if (a != std::string_view::npos && b > a) {
                request.target = std::string(line.substr(a + 1, b - a - 1));
                request.version = std::string(line.substr(b + 1));
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        request.headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                     std::string(trim(line.substr(colon + 1))));
    }
    return request;
}

} // namespace

std::string HttpRequest::Header(std::string_view name) const {
    for (const auto &[key, value] : headers) {
        if (equalsIgnoreCase(key, name))
            return value;
    }
    return {};
}

bool HttpRequest::HasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto &h) { return equalsIgnoreCase(h.first, name); });
}

std::string HttpResponse::Serialize() const {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    bool hasLength = false;
    for (const auto &[key, value] : headers) {
        out += key + ": " + value + "\r\n";
        hasLength = hasLength || equalsIgnoreCase(key, "Content-Length");
    }
    if (!hasLength)
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += body;
    return out;
}

Connection::Connection(int fd, const std::atomic<bool> &stopping) : fd_(fd), stopping_(stopping) {}

bool Connection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        if (stopping_)
            return false;
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool Connection::PeerClosed() const {
    pollfd p{fd_, POLLIN | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    if ((p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
        return true;
    char byte;
    return ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

bool Connection::Pause(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline) {
        if (stopping_)
            return false;
        std::this_thread::sleep_for(std::min(std::chrono::milliseconds(10), duration));
    }
    return !stopping_;
}

LoopbackServer::LoopbackServer(HttpResponse response)
    : LoopbackServer([response = std::move(response)](const HttpRequest &, Connection &c) {
          c.Send(response);
      }) {}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("loopback server: socket failed");
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("loopback server: bind/listen failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    acceptThread_.join();
    ::close(listenFd_);
    {
        // Wake handlers blocked in send(); their threads close their own fds.
        std::lock_guard lock(mutex_);
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread &worker : workers_)
        worker.join();
}

std::string LoopbackServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<HttpRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool LoopbackServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void LoopbackServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void LoopbackServer::serve(int fd) {
    std::string head;
    if (readHead(fd, stopping_, head)) {
        const HttpRequest request = parseHead(head);
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        arrived_.notify_all();
        Connection connection(fd, stopping_);
        handler_(request, connection);
    }
    std::lock_guard lock(mutex_);
    openFds_.erase(std::find(openFds_.begin(), openFds_.end(), fd));
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

} // namespace testsupport
