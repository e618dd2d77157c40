#pragma once

// The head of an HTTP or SHOUTcast response, as the network thread collects
// it from libcurl's header callback. Pure functions and a plain class: no
// I/O, no threads.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace audio {

// A head larger than this (all lines together) is refused: no real server
// sends one, and it bounds memory per channel.
inline constexpr std::size_t kMaxHeadBytes = 64 * 1024;
// icy-metaint values above this are treated as "no metadata".
inline constexpr std::size_t kMaxMetaintBytes = 1 << 20;

// The status code of a response's first line ("HTTP/1.0 200 OK",
// "HTTP/2 404", "ICY 200 OK"); nullopt when the line is none of these.
std::optional<int> ParseStatusCode(std::string_view line);

// The icy-metaint header's value in bytes; 0 (no metadata) when it is not a
// plain decimal number in 1..kMaxMetaintBytes.
std::size_t ParseMetaint(std::string_view value);

// The media type of a Content-Type value, lower case, parameters dropped:
// "Audio/MPEG; charset=x" gives "audio/mpeg".
std::string MediaType(std::string_view content_type);

class ResponseHead {
public:
    // Adds one raw line as libcurl hands it over (CR LF included). A status
    // line starts a new head (the previous one was a redirect or a 1xx).
    // False when the head would exceed kMaxHeadBytes.
    bool AddLine(std::string_view raw_line);

    // The blank line that ends the head has arrived.
    bool Complete() const { return complete_; }
    // The status code, 0 while no valid status line has arrived.
    int Status() const { return status_; }
    // The first header of `name` (case-insensitive), trimmed; "" if none.
    std::string Header(std::string_view name) const;
    // The head as a tag: each line zero-terminated, the status line first,
    // then an empty line (so the block ends in two zero bytes).
    std::string TagBlock() const;

private:
    std::vector<std::string> lines_;
    std::size_t bytes_ = 0;
    int status_ = 0;
    bool complete_ = false;
};

} // namespace audio
