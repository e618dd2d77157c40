#include "stream_client.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace broadcasttest {

namespace {

using Clock = std::chrono::steady_clock;

int Interrupt(void *opaque) {
    return Clock::now() > *static_cast<Clock::time_point *>(opaque);
}

int RemainingMs(Clock::time_point until) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

} // namespace

DecodedAudio DecodeStream(const std::string &url, double seconds,
                          std::chrono::milliseconds deadline) {
    DecodedAudio result;
    Clock::time_point until = Clock::now() + deadline;
    AVFormatContext *format = avformat_alloc_context();
    format->interrupt_callback = AVIOInterruptCB{&Interrupt, &until};
    AVDictionary *options = nullptr;
    av_dict_set(&options, "rw_timeout", "5000000", 0);
    int rc = avformat_open_input(&format, url.c_str(), av_find_input_format("asf"), &options);
    av_dict_free(&options);
    if (rc < 0) {
        result.error = "open failed: " + std::to_string(rc);
        return result;
    }
    AVCodecContext *codec = nullptr;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    const AVCodec *decoder = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream < 0 || decoder == nullptr) {
        result.error = "no audio stream";
    } else {
        const AVCodecParameters *parameters = format->streams[stream]->codecpar;
        result.codec = avcodec_get_name(parameters->codec_id);
        result.sample_rate_hz = parameters->sample_rate;
        result.channels = parameters->ch_layout.nb_channels;
        result.bit_rate = parameters->bit_rate;
        codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, parameters);
        if (avcodec_open2(codec, decoder, nullptr) < 0)
            result.error = "decoder did not open";
    }
    const auto wanted = static_cast<std::size_t>(seconds * result.sample_rate_hz);
    while (result.error.empty() && result.samples.size() < wanted &&
           av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0) {
            while (avcodec_receive_frame(codec, frame) >= 0) {
                const auto *data = reinterpret_cast<const float *>(frame->extended_data[0]);
                if (codec->sample_fmt == AV_SAMPLE_FMT_FLTP ||
                    codec->sample_fmt == AV_SAMPLE_FMT_FLT) {
                    const int step = codec->sample_fmt == AV_SAMPLE_FMT_FLT ? result.channels : 1;
                    for (int i = 0; i < frame->nb_samples; ++i)
                        result.samples.push_back(data[i * step]);
                }
            }
        }
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return result;
}

double ZeroCrossingFrequency(const std::vector<float> &samples, int sample_rate_hz,
                             std::size_t skip) {
    if (samples.size() <= skip + 1 || sample_rate_hz <= 0)
        return 0.0;
    std::size_t crossings = 0;
    for (std::size_t i = skip + 1; i < samples.size(); ++i) {
        if ((samples[i - 1] < 0.0f) != (samples[i] < 0.0f))
            ++crossings;
    }
    const double duration = static_cast<double>(samples.size() - skip - 1) / sample_rate_hz;
    return static_cast<double>(crossings) / 2.0 / duration;
}

double Rms(const std::vector<float> &samples, std::size_t skip) {
    if (samples.size() <= skip)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = skip; i < samples.size(); ++i)
        sum += double{samples[i]} * samples[i];
    return std::sqrt(sum / static_cast<double>(samples.size() - skip));
}

RawClient::~RawClient() {
    Close();
}

bool RawClient::Connect(uint16_t port, int receive_buffer_bytes) {
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    if (receive_buffer_bytes > 0)
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes, sizeof receive_buffer_bytes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

bool RawClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

long RawClient::readSome(char *buffer, std::size_t max, Clock::time_point until) {
    pollfd waiting{fd_, POLLIN, 0};
    if (poll(&waiting, 1, RemainingMs(until)) <= 0)
        return -1;
    ssize_t got = recv(fd_, buffer, max, 0);
    return got < 0 ? (errno == ECONNRESET ? 0 : -1) : got;
}

std::string RawClient::ReadHeaders(std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    std::string received;
    char buffer[4096];
    for (;;) {
        if (auto end = received.find("\r\n\r\n"); end != std::string::npos) {
            body_ = received.substr(end + 4);
            return received.substr(0, end + 4);
        }
        long got = readSome(buffer, sizeof buffer, until);
        if (got <= 0)
            return "";
        received.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string RawClient::ReadBody(std::size_t count, std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    char buffer[4096];
    while (body_.size() < count) {
        long got = readSome(buffer, std::min(sizeof buffer, count - body_.size()), until);
        if (got <= 0)
            break;
        body_.append(buffer, static_cast<std::size_t>(got));
    }
    return body_;
}

bool RawClient::WaitClosed(std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    char buffer[16384];
    for (;;) {
        if (Clock::now() > until)
            return false;
        pollfd waiting{fd_, POLLIN, 0};
        if (poll(&waiting, 1, RemainingMs(until)) <= 0)
            return false;
        ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno == ECONNRESET))
            return true;
        if (got < 0)
            return false;
    }
}

void RawClient::Close() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    body_.clear();
}

std::string GetRequest(uint16_t port, std::string_view extra, std::string_view method) {
    std::string request =
        std::string(method) + " / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    request += extra;
    request += "\r\n";
    return request;
}

} // namespace broadcasttest
