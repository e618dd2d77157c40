#pragma once

// The HTTP server that hands the muxed stream to listeners, on
// libmicrohttpd with one internal epoll thread for every connection. Every
// listener gets a fresh header and then whole packets from the live edge of
// the log of its framing; a listener that has been sent everything the log
// holds is suspended (no wake-ups, no timeout) until Sweep finds its next
// packet logged. Listener number max + 1 gets "503 Service Unavailable".
// Only GET and HEAD are served, on any path; requests are bounded in size
// and in the time their headers may take, and a listener that falls behind
// the log is disconnected.
//
// Threads: created, swept and destroyed by the output's worker thread;
// requests are answered and streamed on libmicrohttpd's polling thread,
// which also calls `on_listeners_changed` with the new count, one call at a
// time, the last call with the latest count.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

#include "broadcast/packet_log.h"

struct MHD_Daemon;
struct MHD_Connection;
struct MHD_Response;

namespace broadcast {

struct ServerSettings {
    std::string address;          // dotted IPv4 address to listen on; "": every interface
    uint32_t port = 0;            // 0: any free port
    uint32_t max_listeners = 100; // at least 1
};

class ListenerServer {
public:
    // Time a client has to send its request headers.
    static constexpr std::chrono::seconds kHeaderDeadline{5};
    // A connection on which nothing moves for this long is closed; a
    // suspended listener is not timed, but it is resumed with every packet
    // logged and then has to take it within this time.
    static constexpr unsigned kIdleTimeoutSeconds = 15;
    // Bytes a request may take: request line and headers.
    static constexpr std::size_t kRequestBytes = 16 * 1024;
    // Connections beyond max_listeners that are accepted to be answered 503
    // (or to be refused once they prove malformed); beyond those the server
    // resets new connections.
    static constexpr unsigned kExtraConnections = 16;

    // Listens at once; throws Error "Port 8080 is in use", "Port 70000 is out
    // of range", ... The logs must outlive the server.
    ListenerServer(const ServerSettings &settings, const PacketLog &plain, const PacketLog &mms,
                   std::function<void(unsigned listeners)> on_listeners_changed);
    // Disconnects everyone and returns once the polling thread has ended.
    ~ListenerServer();

    ListenerServer(const ListenerServer &) = delete;
    ListenerServer &operator=(const ListenerServer &) = delete;

    uint16_t Port() const { return port_; }
    unsigned Listeners() const;

    // Resumes suspended listeners whose next packet has been logged and
    // disconnects clients past their header deadline and listeners whose
    // next packet the log no longer keeps. Worker thread, after every batch
    // of packets appended to the logs and at least every polling interval.
    void Sweep();

    struct Listener;

private:
    struct Client {
        int fd = -1;
        std::chrono::steady_clock::time_point accepted;
        bool requested = false; // its request headers are complete
    };

    friend struct ServerCallbacks;

    // Polling thread: the response for a request whose headers are in.
    MHD_Response *respond(MHD_Connection *connection, const char *method, unsigned &status);
    // Polling thread, from the listener's content reader: suspends its
    // connection unless its next packet has been logged meanwhile or it has
    // been dropped. Whether it did.
    bool suspend(Listener &listener);
    void started(MHD_Connection *connection);
    void closed(MHD_Connection *connection);
    void release(Listener *listener);
    void changed();

    const PacketLog &plain_;
    const PacketLog &mms_;
    const std::function<void(unsigned)> on_listeners_changed_;
    std::mutex changed_mutex_; // orders the calls of on_listeners_changed_
    const uint32_t max_listeners_;
    MHD_Daemon *daemon_ = nullptr;
    uint16_t port_ = 0;

    mutable std::mutex mutex_; // guards the members below
    bool stopping_ = false;
    std::unordered_map<MHD_Connection *, Client> clients_;
    std::set<Listener *> listeners_;
    uint64_t next_client_id_ = 1;
};

} // namespace broadcast
