#include "audio/stream_channel.h"

#include <algorithm>

#include "audio/audio.h"
#include "audio/playlist.h"

namespace audio {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

StreamChannel::StreamChannel(const OpenOptions &options) : options_(options) {}

StreamChannel::~StreamChannel() {
    stop();
}

void StreamChannel::stop() {
    abort_.store(true);
    pipe_.Abort();
    output_.WakeProducer();
    if (net_)
        net_->Abort();
    decoder_.reset();
    net_.reset();
}

std::unique_ptr<StreamChannel> StreamChannel::Open(const std::string &url,
                                                   const OpenOptions &options, int &error) {
    int attempts = 0;
    return openNested(url, options, 0, attempts, Clock::now() + kOpenTimeout, error);
}

std::unique_ptr<StreamChannel> StreamChannel::openNested(const std::string &url,
                                                         const OpenOptions &options, int depth,
                                                         int &attempts, Clock::time_point deadline,
                                                         int &error) {
    std::string playlist;
    std::string playlistUrl;
    auto channel = openOne(url, options, deadline, error, playlist, playlistUrl);
    if (channel || error != 0)
        return channel;
    // A playlist: its first entry that opens.
    error = BASS_ERROR_PLAYLIST;
    if (depth + 1 >= kMaxPlaylistDepth)
        return nullptr;
    for (const std::string &entry : ParsePlaylist(playlist)) {
        if (attempts >= kMaxPlaylistAttempts || Clock::now() >= deadline)
            break;
        const auto address = ResolveEntry(playlistUrl, entry);
        if (!address)
            continue;
        ++attempts;
        int entryError = 0;
        if (auto opened = openNested(*address, options, depth + 1, attempts, deadline, entryError))
            return opened;
    }
    error = BASS_ERROR_PLAYLIST;
    return nullptr;
}

std::unique_ptr<StreamChannel> StreamChannel::openOne(const std::string &url,
                                                      const OpenOptions &options,
                                                      Clock::time_point deadline, int &error,
                                                      std::string &playlist,
                                                      std::string &playlist_url) {
    error = 0;
    std::unique_ptr<StreamChannel> channel(new StreamChannel(options));
    StreamState &state = channel->state_;
    channel->net_ = std::make_unique<HttpStream>(url, options.read_playlists, options.download,
                                                 state, channel->pipe_, channel->audioBytes_);

    std::unique_lock lock(state.mutex);
    const auto headDeadline = std::min(deadline, Clock::now() + kHeadTimeout);
    if (!state.changed.wait_until(lock, headDeadline,
                                  [&] { return state.phase != StreamState::Phase::Connecting; })) {
        error = BASS_ERROR_TIMEOUT;
        return nullptr; // the channel's destructor stops its threads
    }
    switch (state.phase) {
    case StreamState::Phase::Failed:
        error = state.error;
        return nullptr;
    case StreamState::Phase::Playlist:
        playlist = std::move(state.playlist_body);
        playlist_url = state.effective_url;
        return nullptr;
    default:
        break;
    }
    const std::string mediaType = state.media_type;
    lock.unlock();
    channel->decoder_ = std::make_unique<StreamDecoder>(options.kind, mediaType, channel->pipe_,
                                                        channel->output_, state, channel->abort_);
    lock.lock();
    const auto audioDeadline = std::min(deadline, Clock::now() + kFirstAudioTimeout);
    if (!state.changed.wait_until(lock, audioDeadline, [&] {
            return state.first_audio || state.phase == StreamState::Phase::Failed;
        })) {
        error = BASS_ERROR_TIMEOUT;
        return nullptr;
    }
    if (!state.first_audio) {
        error = state.error;
        return nullptr;
    }
    return channel;
}

std::optional<std::string> StreamChannel::HttpTags() {
    if (!options_.keep_http_tags)
        return std::nullopt;
    std::lock_guard lock(state_.mutex);
    return state_.http_tags;
}

std::optional<std::string> StreamChannel::Meta() {
    std::lock_guard lock(state_.mutex);
    return state_.meta;
}

uint64_t StreamChannel::FilePosition() {
    {
        std::lock_guard lock(state_.mutex);
        if (state_.content_length_bytes)
            return *state_.content_length_bytes;
    }
    return audioBytes_.load();
}

uint64_t StreamChannel::DecoderBytes() const {
    const uint64_t received = audioBytes_.load();
    const uint64_t waiting = pipe_.Buffered();
    return received > waiting ? received - waiting : 0;
}

} // namespace audio
