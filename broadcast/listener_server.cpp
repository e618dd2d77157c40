#include "broadcast/listener_server.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "broadcast/error.h"
#include "broadcast/request.h"

namespace broadcast {

namespace {

constexpr std::size_t kResponseBlockBytes = 16 * 1024;
// Kernel send buffer per connection (the kernel doubles it): enough for a
// distant listener at the highest bitrate, small enough that a listener who
// stops reading falls behind the log within seconds instead of minutes.
constexpr int kSendBufferBytes = 32 * 1024;

constexpr std::string_view kPlainType = "video/x-ms-asf";
constexpr std::string_view kMmsType = "application/x-mms-framed";

// Whether `port` can be bound at `address` right now; the errno of the
// failure otherwise. libmicrohttpd only reports that it could not start.
int ProbeBind(const sockaddr_in &address) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int error =
        bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 ? 0 : errno;
    close(fd);
    return error;
}

MHD_Response *TextResponse(std::string_view text) {
    MHD_Response *response = MHD_create_response_from_buffer(
        text.size(), const_cast<char *>(text.data()), MHD_RESPMEM_MUST_COPY);
    if (response != nullptr)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain");
    return response;
}

void AddStreamHeaders(MHD_Response *response, bool mms, uint64_t client_id) {
    MHD_set_response_options(response, MHD_RF_HTTP_VERSION_1_0_ONLY, MHD_RO_END);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                            std::string(mms ? kMmsType : kPlainType).c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    MHD_add_response_header(response, MHD_HTTP_HEADER_PRAGMA, "no-cache");
    if (mms) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_PRAGMA,
                                ("client-id=" + std::to_string(client_id)).c_str());
        MHD_add_response_header(response, MHD_HTTP_HEADER_PRAGMA, "features=\"broadcast\"");
    }
}

MHD_Result CollectPragma(void *cls, MHD_ValueKind, const char *key, const char *value) {
    if (value != nullptr && strcasecmp(key, MHD_HTTP_HEADER_PRAGMA) == 0)
        static_cast<std::vector<std::string> *>(cls)->emplace_back(value);
    return MHD_YES;
}

} // namespace

// One listener being streamed to: its log, how far it has read, and the
// bytes of the piece it is in the middle of. Read and advanced only on the
// polling thread; `next` and `dropped` are also read by Sweep.
struct ListenerServer::Listener {
    ListenerServer *server = nullptr;
    const PacketLog *log = nullptr;
    MHD_Connection *connection = nullptr;
    int fd = -1;
    std::atomic<uint64_t> next{0};
    std::atomic<bool> dropped{false};
    bool suspended = false;                    // guarded by the server's mutex_
    std::shared_ptr<const std::string> packet; // keeps `piece` alive
    std::string_view piece;                    // what is left of the header or a packet
};

struct ServerCallbacks {
    static MHD_Result Answer(void *cls, MHD_Connection *connection, const char *,
                             const char *method, const char *, const char *, std::size_t *,
                             void **request_context) {
        if (*request_context != nullptr)
            return MHD_YES;
        *request_context = cls;
        unsigned status = MHD_HTTP_OK;
        MHD_Response *response =
            static_cast<ListenerServer *>(cls)->respond(connection, method, status);
        if (response == nullptr)
            return MHD_NO;
        MHD_Result queued = MHD_queue_response(connection, status, response);
        MHD_destroy_response(response);
        return queued;
    }

    static void Notify(void *cls, MHD_Connection *connection, void **,
                       MHD_ConnectionNotificationCode code) {
        auto *server = static_cast<ListenerServer *>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED)
            server->started(connection);
        else
            server->closed(connection);
    }

    static ssize_t Read(void *cls, uint64_t, char *buffer, std::size_t max) {
        auto &listener = *static_cast<ListenerServer::Listener *>(cls);
        std::size_t written = 0;
        while (written < max) {
            if (!listener.piece.empty()) {
                std::size_t n = std::min(max - written, listener.piece.size());
                std::memcpy(buffer + written, listener.piece.data(), n);
                listener.piece.remove_prefix(n);
                written += n;
                continue;
            }
            if (listener.dropped.load())
                return MHD_CONTENT_READER_END_WITH_ERROR;
            const uint64_t number = listener.next.load();
            switch (listener.log->Read(number, listener.packet)) {
            case PacketLog::Result::Packet:
                listener.piece = *listener.packet;
                listener.next.store(number + 1);
                break;
            case PacketLog::Result::Pending:
                if (written > 0)
                    return static_cast<ssize_t>(written);
                // Nothing to send: 0 with the connection suspended, so that
                // libmicrohttpd asks again only once Sweep has resumed it.
                if (listener.server->suspend(listener))
                    return 0;
                break;
            case PacketLog::Result::Behind:
                listener.dropped.store(true);
                return MHD_CONTENT_READER_END_WITH_ERROR;
            case PacketLog::Result::Closed:
                return written > 0 ? static_cast<ssize_t>(written)
                                   : MHD_CONTENT_READER_END_OF_STREAM;
            }
        }
        return static_cast<ssize_t>(written);
    }

    static ssize_t NoBody(void *, uint64_t, char *, std::size_t) {
        return MHD_CONTENT_READER_END_OF_STREAM;
    }

    static void Free(void *cls) {
        auto *listener = static_cast<ListenerServer::Listener *>(cls);
        listener->server->release(listener);
    }
};

ListenerServer::ListenerServer(const ServerSettings &settings, const PacketLog &plain,
                               const PacketLog &mms,
                               std::function<void(unsigned)> on_listeners_changed)
    : plain_(plain), mms_(mms), on_listeners_changed_(std::move(on_listeners_changed)),
      max_listeners_(std::max<uint32_t>(1, settings.max_listeners)) {
    const std::string port_text = "Port " + std::to_string(settings.port);
    if (settings.port > 65535)
        throw Error(port_text + " is out of range");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(settings.port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!settings.address.empty() &&
        inet_pton(AF_INET, settings.address.c_str(), &address.sin_addr) != 1)
        throw Error("Invalid listening address " + settings.address);
    if (int error = ProbeBind(address); error != 0) {
        if (error == EADDRINUSE)
            throw Error(port_text + " is in use");
        throw Error(port_text + " cannot be opened: " + std::strerror(error));
    }
    const unsigned connection_limit = static_cast<unsigned>(
        std::min<uint64_t>(uint64_t{max_listeners_} + kExtraConnections, 65536));
    daemon_ = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME,
        static_cast<uint16_t>(settings.port), nullptr, nullptr, &ServerCallbacks::Answer, this,
        MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_CONNECTION_LIMIT, connection_limit,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        kRequestBytes, MHD_OPTION_NOTIFY_CONNECTION, &ServerCallbacks::Notify, this,
        MHD_OPTION_END);
    if (daemon_ == nullptr)
        throw Error(port_text + " cannot be opened");
    const MHD_DaemonInfo *info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info != nullptr ? info->port : static_cast<uint16_t>(settings.port);
}

ListenerServer::~ListenerServer() {
    std::vector<MHD_Connection *> suspended;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (Listener *listener : listeners_) {
            listener->dropped.store(true);
            if (listener->suspended) {
                listener->suspended = false;
                suspended.push_back(listener->connection);
            }
        }
        for (auto &[connection, client] : clients_)
            shutdown(client.fd, SHUT_RDWR);
    }
    // libmicrohttpd must not be stopped with a connection suspended; resumed,
    // a dropped listener's reader ends its response and never suspends again.
    for (MHD_Connection *connection : suspended)
        MHD_resume_connection(connection);
    MHD_stop_daemon(daemon_);
}

unsigned ListenerServer::Listeners() const {
    std::lock_guard lock(mutex_);
    return static_cast<unsigned>(listeners_.size());
}

void ListenerServer::Sweep() {
    const auto now = std::chrono::steady_clock::now();
    // These ends count every packet appended before this call; a listener
    // that suspends after the locked part below checks the log's end itself,
    // so no logged packet leaves a listener suspended.
    const uint64_t plain_oldest = plain_.Oldest();
    const uint64_t plain_end = plain_.End();
    const uint64_t mms_oldest = mms_.Oldest();
    const uint64_t mms_end = mms_.End();
    std::vector<MHD_Connection *> resume;
    {
        std::lock_guard lock(mutex_);
        for (auto &[connection, client] : clients_) {
            if (!client.requested && now - client.accepted > kHeaderDeadline)
                shutdown(client.fd, SHUT_RDWR);
        }
        for (Listener *listener : listeners_) {
            const bool plain = listener->log == &plain_;
            const uint64_t next = listener->next.load();
            if (listener->suspended) {
                if (next < (plain ? plain_end : mms_end)) {
                    listener->suspended = false;
                    resume.push_back(listener->connection);
                }
            } else if (!listener->dropped.load() && next < (plain ? plain_oldest : mms_oldest)) {
                listener->dropped.store(true);
                shutdown(listener->fd, SHUT_RDWR);
            }
        }
    }
    // A suspended connection is neither closed nor freed, and only this
    // thread resumes, so the pointers stay valid outside the lock.
    for (MHD_Connection *connection : resume)
        MHD_resume_connection(connection);
}

bool ListenerServer::suspend(Listener &listener) {
    std::lock_guard lock(mutex_);
    if (listener.dropped.load() || listener.log->End() > listener.next.load())
        return false;
    listener.suspended = true;
    MHD_suspend_connection(listener.connection);
    return true;
}

void ListenerServer::started(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const int fd = info != nullptr ? info->connect_fd : -1;
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
    std::lock_guard lock(mutex_);
    clients_[connection] = Client{fd, std::chrono::steady_clock::now(), false};
}

void ListenerServer::closed(MHD_Connection *connection) {
    std::lock_guard lock(mutex_);
    clients_.erase(connection);
}

MHD_Response *ListenerServer::respond(MHD_Connection *connection, const char *method,
                                      unsigned &status) {
    std::vector<std::string> pragmas;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &CollectPragma, &pragmas);
    const char *agent =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_USER_AGENT);
    const Reply reply = ClassifyRequest(method, agent != nullptr ? agent : "", pragmas);

    uint64_t client_id = 0;
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        auto client = clients_.find(connection);
        if (client != clients_.end()) {
            client->second.requested = true;
            fd = client->second.fd;
        }
        client_id = next_client_id_++;
    }

    switch (reply) {
    case Reply::MethodNotAllowed: {
        status = MHD_HTTP_METHOD_NOT_ALLOWED;
        MHD_Response *response = TextResponse("Method Not Allowed\n");
        if (response != nullptr)
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        return response;
    }
    case Reply::PlainHead:
    case Reply::MmsHead: {
        // Unknown length, as for the stream itself; HEAD sends no body.
        MHD_Response *response = MHD_create_response_from_callback(
            MHD_SIZE_UNKNOWN, kResponseBlockBytes, &ServerCallbacks::NoBody, nullptr, nullptr);
        if (response != nullptr)
            AddStreamHeaders(response, reply == Reply::MmsHead, client_id);
        return response;
    }
    case Reply::MmsDescribe: {
        const std::string &header = mms_.Header();
        MHD_Response *response = MHD_create_response_from_buffer(
            header.size(), const_cast<char *>(header.data()), MHD_RESPMEM_PERSISTENT);
        if (response != nullptr)
            AddStreamHeaders(response, true, client_id);
        return response;
    }
    case Reply::PlainStream:
    case Reply::MmsStream:
        break;
    }

    const bool mms = reply == Reply::MmsStream;
    auto listener = std::make_unique<Listener>();
    listener->server = this;
    listener->log = mms ? &mms_ : &plain_;
    listener->connection = connection;
    listener->fd = fd;
    listener->piece = listener->log->Header();
    listener->next.store(listener->log->LiveEdge());
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || listeners_.size() >= max_listeners_) {
            status = MHD_HTTP_SERVICE_UNAVAILABLE;
            MHD_Response *response = TextResponse("Service Unavailable\n");
            if (response != nullptr)
                MHD_set_response_options(response, MHD_RF_HTTP_VERSION_1_0_ONLY, MHD_RO_END);
            return response;
        }
        listeners_.insert(listener.get());
    }
    MHD_Response *response = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, kResponseBlockBytes, &ServerCallbacks::Read, listener.get(),
        &ServerCallbacks::Free);
    if (response == nullptr) {
        release(listener.release());
        return nullptr;
    }
    listener.release();
    AddStreamHeaders(response, mms, client_id);
    changed();
    return response;
}

void ListenerServer::release(Listener *listener) {
    {
        std::lock_guard lock(mutex_);
        listeners_.erase(listener);
    }
    delete listener;
    changed();
}

void ListenerServer::changed() {
    if (!on_listeners_changed_)
        return;
    std::lock_guard order(changed_mutex_);
    on_listeners_changed_(Listeners());
}

} // namespace broadcast
