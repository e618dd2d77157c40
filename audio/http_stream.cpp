#include "audio/http_stream.h"

#include <memory>

#include "audio/audio.h"
#include "audio/cpu_meter.h"
#include "audio/playlist.h"

namespace audio {

namespace {

struct EasyFree {
    void operator()(CURL *c) const { curl_easy_cleanup(c); }
};
struct ListFree {
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};

// How long one curl_multi_poll may sleep; Abort wakes it at once anyway.
constexpr int kPollTimeoutMs = 500;
// Servers send in small pieces, often every few milliseconds; waking for
// each costs more than decoding them. While the decoder has this much in
// hand (1 s at 128 kbps), the thread rests between reads and lets the
// kernel gather the pieces.
constexpr std::size_t kRestBytes = 16 * 1024;
constexpr std::chrono::milliseconds kRest{50};

int errorOf(CURLcode code) {
    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_GOT_NOTHING:
        return BASS_ERROR_HTTP;
    case CURLE_URL_MALFORMAT:
        return BASS_ERROR_URL;
    case CURLE_OPERATION_TIMEDOUT:
        return BASS_ERROR_TIMEOUT;
    case CURLE_OUT_OF_MEMORY:
        return BASS_ERROR_MEMORY;
    default:
        return BASS_ERROR_CONNECT;
    }
}

} // namespace

HttpStream::HttpStream(std::string url, bool read_playlists, DownloadCallback download,
                       StreamState &state, BytePipe &pipe, std::atomic<uint64_t> &audio_bytes)
    : url_(std::move(url)), readPlaylists_(read_playlists), download_(download), state_(state),
      pipe_(pipe), audioBytes_(audio_bytes), multi_(curl_multi_init()) {
    thread_ = std::thread([this] { run(); });
}

HttpStream::~HttpStream() {
    Abort();
    thread_.join();
    curl_multi_cleanup(multi_);
}

void HttpStream::Abort() {
    abort_.store(true);
    {
        std::lock_guard lock(restMutex_);
        restEnd_.notify_all();
    }
    pipe_.Abort();
    if (multi_ != nullptr)
        curl_multi_wakeup(multi_);
}

std::size_t HttpStream::headerCallback(char *data, std::size_t size, std::size_t count,
                                       void *self) {
    return static_cast<HttpStream *>(self)->onHead(data, size * count) ? size * count : 0;
}

std::size_t HttpStream::bodyCallback(char *data, std::size_t size, std::size_t count, void *self) {
    return static_cast<HttpStream *>(self)->onBody(reinterpret_cast<const uint8_t *>(data),
                                                   size * count)
               ? size * count
               : 0;
}

int HttpStream::progressCallback(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<HttpStream *>(self)->abort_.load() ? 1 : 0;
}

void HttpStream::run() {
    CpuMeter::ThreadScope counted;
    if (multi_ == nullptr) {
        state_.Fail(BASS_ERROR_MEMORY);
        return;
    }
    std::unique_ptr<CURL, EasyFree> easy(curl_easy_init());
    std::unique_ptr<curl_slist, ListFree> headers(curl_slist_append(nullptr, "Icy-MetaData: 1"));
    // Exactly this: a prefix such as "ICY" would let "ICY 401" pass as 200.
    std::unique_ptr<curl_slist, ListFree> aliases(curl_slist_append(nullptr, "ICY 200 OK"));
    if (!easy || !headers || !aliases) {
        state_.Fail(BASS_ERROR_MEMORY);
        return;
    }
    CURL *e = easy.get();
    easy_ = e;
    curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_HTTP200ALIASES, aliases.get());
    curl_easy_setopt(e, CURLOPT_USERAGENT, "Velotune Player/1.1");
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(kConnectTimeout.count()));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // A cancelled name lookup is left behind instead of waited for.
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpStream::headerCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpStream::bodyCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &HttpStream::progressCallback);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    curl_multi_add_handle(multi_, e);

    lastData_ = std::chrono::steady_clock::now();
    int running = 1;
    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done && !abort_.load()) {
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(multi_, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || abort_.load())
            break;
        if (mode_ == Mode::Audio && std::chrono::steady_clock::now() - lastData_ > kStallTimeout)
            break; // the server went quiet: the stream has ended
        if (mode_ == Mode::Audio && pipe_.Buffered() >= kRestBytes) {
            std::unique_lock lock(restMutex_);
            restEnd_.wait_for(lock, kRest, [this] { return abort_.load(); });
        }
        curl_multi_poll(multi_, nullptr, 0, kPollTimeoutMs, nullptr);
    }
    curl_multi_remove_handle(multi_, e);
    if (abort_.load())
        return;
    finish(done ? static_cast<int>(result) : CURLE_OK);
    if (download_.proc != nullptr)
        download_.proc(nullptr, 0, download_.user);
}

bool HttpStream::onHead(const char *line, std::size_t length) {
    if (abort_.load())
        return false;
    if (!head_.AddLine(std::string_view(line, length))) {
        headTooLarge_ = true;
        return false;
    }
    return true;
}

bool HttpStream::decide() {
    const int status = head_.Status();
    if (status < 200 || status > 299) {
        mode_ = Mode::Refused;
        state_.Fail(BASS_ERROR_HTTP);
        return false;
    }
    char *effective = nullptr;
    curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &effective);
    std::string url = effective != nullptr ? effective : url_;
    std::string media = MediaType(head_.Header("Content-Type"));
    if (readPlaylists_ && LooksLikePlaylist(media, url)) {
        mode_ = Mode::Playlist;
        std::lock_guard lock(state_.mutex);
        state_.effective_url = std::move(url);
        state_.media_type = std::move(media);
        return true;
    }
    mode_ = Mode::Audio;
    icy_.emplace(ParseMetaint(head_.Header("icy-metaint")));
    curl_off_t length = -1;
    curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    {
        std::lock_guard lock(state_.mutex);
        state_.phase = StreamState::Phase::Streaming;
        state_.http_tags = head_.TagBlock();
        state_.effective_url = std::move(url);
        state_.media_type = std::move(media);
        if (length >= 0)
            state_.content_length_bytes = static_cast<uint64_t>(length);
    }
    state_.changed.notify_all();
    return true;
}

bool HttpStream::onBody(const uint8_t *data, std::size_t length) {
    if (abort_.load())
        return false;
    lastData_ = std::chrono::steady_clock::now();
    if (mode_ == Mode::Undecided && !decide())
        return false;
    if (download_.proc != nullptr)
        download_.proc(data, static_cast<uint32_t>(length), download_.user);
    if (mode_ == Mode::Playlist) {
        const std::size_t room = kMaxPlaylistBytes - playlist_.size();
        playlist_.append(reinterpret_cast<const char *>(data), std::min(room, length));
        playlistFull_ = playlist_.size() >= kMaxPlaylistBytes;
        return !playlistFull_;
    }
    return icy_->Feed(std::span(data, length), *this);
}

bool HttpStream::Audio(std::span<const uint8_t> bytes) {
    if (!pipe_.Write(bytes))
        return false;
    audioBytes_.fetch_add(bytes.size());
    return true;
}

void HttpStream::Meta(std::string_view text) {
    std::lock_guard lock(state_.mutex);
    state_.meta = std::string(text);
}

void HttpStream::finish(int curl_result) {
    const auto code = static_cast<CURLcode>(curl_result);
    switch (mode_) {
    case Mode::Audio:
        pipe_.Close(); // the decoder plays what it has, then the stream ends
        return;
    case Mode::Playlist:
        if (code != CURLE_OK && !playlistFull_) {
            state_.Fail(errorOf(code));
            return;
        }
        {
            std::lock_guard lock(state_.mutex);
            state_.phase = StreamState::Phase::Playlist;
            state_.playlist_body = std::move(playlist_);
        }
        state_.changed.notify_all();
        return;
    case Mode::Refused:
        return;
    case Mode::Undecided:
        // A server that answered but broke the head off (curl refuses a
        // header line of 100 KB or more) is a bad answer, not a lost link.
        if (headTooLarge_ || (code != CURLE_OK && head_.Status() != 0))
            state_.Fail(BASS_ERROR_HTTP);
        else if (code != CURLE_OK)
            state_.Fail(errorOf(code));
        else if (head_.Status() < 200 || head_.Status() > 299)
            state_.Fail(BASS_ERROR_HTTP);
        else
            state_.Fail(BASS_ERROR_FORMAT); // a success with no body: no audio
        return;
    }
}

} // namespace audio
