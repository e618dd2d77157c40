#pragma once

// Listeners for the streaming tests, all on 127.0.0.1 and bounded in time:
// a libavformat player that decodes what a URL serves, and a raw TCP client
// that sends any bytes and reads the answer.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace broadcasttest {

struct DecodedAudio {
    std::string error; // "" when the stream opened and decoded
    std::string codec;
    int sample_rate_hz = 0;
    int channels = 0;
    int64_t bit_rate = 0;
    std::vector<float> samples; // the first channel
};

// Plays `url` ("http://...", "mmsh://...", or a file path) as ASF until
// `seconds` of audio are decoded, the stream ends or `deadline` passes.
DecodedAudio DecodeStream(const std::string &url, double seconds,
                          std::chrono::milliseconds deadline);

// The tone's frequency, from the zero crossings of `samples` after `skip`
// samples.
double ZeroCrossingFrequency(const std::vector<float> &samples, int sample_rate_hz,
                             std::size_t skip);
double Rms(const std::vector<float> &samples, std::size_t skip);

class RawClient {
public:
    RawClient() = default;
    ~RawClient();
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    // Connects to 127.0.0.1:port; a receive buffer of `receive_buffer_bytes`
    // when not 0 (set before connecting, so the window stays small).
    bool Connect(uint16_t port, int receive_buffer_bytes = 0);
    bool Send(std::string_view bytes);
    // The status line and headers up to the blank line; "" when the server
    // closed first or the deadline passed.
    std::string ReadHeaders(std::chrono::milliseconds deadline);
    // Reads until `count` body bytes are in (headers excluded), the server
    // closes or the deadline passes; the body bytes read so far.
    std::string ReadBody(std::size_t count, std::chrono::milliseconds deadline);
    // Reads and drops everything until the server closes the connection:
    // true when it did before the deadline.
    bool WaitClosed(std::chrono::milliseconds deadline);
    void Close();

private:
    // One read of at most `max` bytes, waiting until `until`; 0 at EOF,
    // -1 at the deadline or on error.
    long readSome(char *buffer, std::size_t max, std::chrono::steady_clock::time_point until);

    int fd_ = -1;
    std::string body_; // bytes read past the headers
};

// "GET <path> HTTP/1.1" with a Host header and `extra` header lines.
std::string GetRequest(uint16_t port, std::string_view extra = "", std::string_view method = "GET");

} // namespace broadcasttest
