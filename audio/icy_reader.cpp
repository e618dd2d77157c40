#include "audio/icy_reader.h"

#include <algorithm>

namespace audio {

IcyReader::IcyReader(std::size_t metaint_bytes)
    : metaint_(metaint_bytes), audioLeft_(metaint_bytes) {
    meta_.reserve(255 * 16);
}

bool IcyReader::Feed(std::span<const uint8_t> chunk, Sink &sink) {
    if (metaint_ == 0)
        return chunk.empty() || sink.Audio(chunk);
    while (!chunk.empty()) {
        switch (state_) {
        case State::Audio: {
            const std::size_t n = std::min(audioLeft_, chunk.size());
            if (!sink.Audio(chunk.first(n)))
                return false;
            chunk = chunk.subspan(n);
            audioLeft_ -= n;
            if (audioLeft_ == 0)
                state_ = State::Length;
            break;
        }
        case State::Length:
            metaLeft_ = std::size_t{chunk.front()} * 16;
            chunk = chunk.subspan(1);
            meta_.clear();
            state_ = metaLeft_ > 0 ? State::Meta : State::Audio;
            audioLeft_ = metaint_;
            break;
        case State::Meta: {
            const std::size_t n = std::min(metaLeft_, chunk.size());
            meta_.append(reinterpret_cast<const char *>(chunk.data()), n);
            chunk = chunk.subspan(n);
            metaLeft_ -= n;
            if (metaLeft_ == 0) {
                // The padding is not part of the text.
                sink.Meta(std::string_view(meta_.data(), std::min(meta_.find('\0'), meta_.size())));
                state_ = State::Audio;
            }
            break;
        }
        }
    }
    return true;
}

} // namespace audio
