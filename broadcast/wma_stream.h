#pragma once

// Windows Media Audio encoding and ASF muxing on FFmpeg: the encoder turns
// captured PCM into `wmav2` frames of a constant size; a muxer wraps them in
// ASF packets, either plain (what http:// players read, and archive files)
// or with the $H/$D chunk framing that Windows Media players expect. Each
// object is used by one thread at a time. Failures throw Error.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "broadcast/capture.h"

struct AVAudioFifo;
struct AVCodecContext;
struct AVFrame;
struct SwrContext;
struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace broadcast {

// Bits per second meant by an output's DesiredBitrate setting: values below
// 1000 count kbps (64 means 64000), larger ones bits per second.
uint64_t DesiredBitsPerSecond(uint32_t desired_bitrate);

// The lowest bitrate the encoder accepts, bits per second.
inline constexpr uint64_t kMinWmaBitsPerSecond = 24000;

// Bytes of one ASF packet that carries whole encoded frames of `frame_bytes`
// each, as many as fit in about 3200 bytes (at least one), so that the muxer
// never pads a packet and the served rate stays within a few percent of the
// encoder's.
uint32_t AsfPacketSize(uint32_t frame_bytes);

class WmaEncoder {
public:
    // Opens `wmav2` for `input` converted to the encoder's sample format, at
    // the accepted bitrate nearest `desired_bps`.
    WmaEncoder(const CaptureFormat &input, uint64_t desired_bps);
    ~WmaEncoder();

    WmaEncoder(const WmaEncoder &) = delete;
    WmaEncoder &operator=(const WmaEncoder &) = delete;

    const AVCodecContext *Context() const { return codec_; }
    // The rate of the encoded audio, bits per second.
    uint32_t BitsPerSecond() const;
    // Bytes of every encoded frame.
    uint32_t FrameBytes() const;

    // Converts `bytes` of captured PCM (whole frames of the input format),
    // replacing it with silence when `silence` is set, and hands every
    // encoded frame that completes to `sink`, in order.
    void Encode(const uint8_t *pcm, std::size_t bytes, bool silence,
                const std::function<void(const AVPacket &)> &sink);

private:
    void drain(const std::function<void(const AVPacket &)> &sink);

    CaptureFormat input_;
    AVCodecContext *codec_ = nullptr;
    SwrContext *resampler_ = nullptr;
    AVAudioFifo *fifo_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *packet_ = nullptr;
    int64_t next_pts_ = 0;
};

enum class AsfFraming {
    Plain, // ASF as a file holds it ("asf" muxer), served as video/x-ms-asf
    Mms,   // $H header chunk, $D data chunks ("asf_stream" muxer)
};

class AsfMuxer {
public:
    // Muxes into memory; Header() and the packets Write() completes are the
    // bytes to send.
    AsfMuxer(AsfFraming framing, const AVCodecContext &codec, uint32_t packet_size);
    // Muxes into a plain ASF file at `path`, whose header is made complete
    // (duration, sizes) by Finish().
    AsfMuxer(const std::string &path, const AVCodecContext &codec, uint32_t packet_size);
    ~AsfMuxer();

    AsfMuxer(const AsfMuxer &) = delete;
    AsfMuxer &operator=(const AsfMuxer &) = delete;

    // Everything a listener needs before the first packet (memory muxers).
    const std::string &Header() const { return header_; }
    // Bytes of one muxed packet with its framing.
    uint32_t UnitBytes() const { return unit_bytes_; }

    // Muxes one encoded frame (timestamps in the encoder's time base) and
    // appends to `completed` the packets it finished (memory muxers).
    void Write(const AVPacket &packet, std::vector<std::string> &completed);
    // Writes the last packet and the trailer; the file is then closed.
    void Finish();

private:
    void open(const char *format_name, const AVCodecContext &codec, uint32_t packet_size);
    void release();
    static int collect(void *opaque, uint8_t *data, int size);

    AVFormatContext *format_ = nullptr;
    bool to_file_ = false;
    bool finished_ = false;
    std::string pending_;
    std::string header_;
    uint32_t unit_bytes_ = 0;
    int sample_rate_hz_ = 1; // the encoder's time base is 1 / sample rate
};

} // namespace broadcast
