#pragma once

#include <stdexcept>
#include <string>

namespace broadcast {

// A failure of the capture, the encoder, the muxer or the server; what() is
// the text the user reads ("Port 8080 is in use", "Component is Busy").
class Error : public std::runtime_error {
public:
    explicit Error(const std::string &message) : std::runtime_error(message) {}
};

} // namespace broadcast
