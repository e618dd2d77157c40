#pragma once

// Splits a SHOUTcast/Icecast body into audio bytes and metadata texts: after
// every `metaint` audio bytes comes one length byte L and 16 * L bytes of
// metadata (zero-padded text; L = 0: no change). Pure: no I/O, no threads;
// fed by the network thread chunk by chunk as libcurl delivers them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace audio {

class IcyReader {
public:
    // Where the split goes. Audio returns false to stop (the channel closes).
    class Sink {
    public:
        virtual bool Audio(std::span<const uint8_t> bytes) = 0;
        virtual void Meta(std::string_view text) = 0;

    protected:
        ~Sink() = default;
    };

    // metaint_bytes 0: the body is all audio.
    explicit IcyReader(std::size_t metaint_bytes);

    // Splits the next chunk; false when the sink stopped. A metadata block
    // cut off by the end of the stream is never reported.
    bool Feed(std::span<const uint8_t> chunk, Sink &sink);

private:
    enum class State { Audio, Length, Meta };

    const std::size_t metaint_;
    std::size_t audioLeft_;
    std::size_t metaLeft_ = 0;
    State state_ = State::Audio;
    std::string meta_;
};

} // namespace audio
