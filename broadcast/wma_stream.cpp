#include "broadcast/wma_stream.h"

#include <algorithm>
#include <array>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "broadcast/error.h"

namespace broadcast {

namespace {

// Bytes the ASF muxer adds to one packet (packet header, padding field) and
// to each frame in it (payload header); measured on FFmpeg 5.1's muxer, and
// checked by the tests through the served rate.
constexpr uint32_t kAsfPacketOverheadBytes = 12;
constexpr uint32_t kAsfPayloadOverheadBytes = 17;
constexpr uint32_t kAsfTargetPacketBytes = 3200;
// A $H/$D chunk: type (2), length (2), sequence number (4), flags (2), length (2).
constexpr uint32_t kMmsChunkHeaderBytes = 12;
constexpr int kAvioBufferBytes = 4096;

std::string AvError(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

} // namespace

uint64_t DesiredBitsPerSecond(uint32_t desired_bitrate) {
    return desired_bitrate < 1000 ? uint64_t{desired_bitrate} * 1000 : desired_bitrate;
}

uint32_t AsfPacketSize(uint32_t frame_bytes) {
    const uint32_t per_frame = frame_bytes + kAsfPayloadOverheadBytes;
    const uint32_t frames =
        std::max<uint32_t>(1, (kAsfTargetPacketBytes - kAsfPacketOverheadBytes) / per_frame);
    return frames * per_frame + kAsfPacketOverheadBytes;
}

WmaEncoder::WmaEncoder(const CaptureFormat &input, uint64_t desired_bps) : input_(input) {
    if ((input.bits_per_sample != 8 && input.bits_per_sample != 16) || input.channels < 1 ||
        input.channels > 2 || input.sample_rate_hz == 0 || input.sample_rate_hz > 48000)
        throw Error("No suitable Windows Media Audio encoding for the capture format");
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (codec == nullptr)
        throw Error("No Windows Media Audio encoder");
    codec_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (codec_ == nullptr || packet_ == nullptr || frame_ == nullptr)
        throw Error("Out of memory");
    const int rate = static_cast<int>(input.sample_rate_hz);
    codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec_->sample_rate = rate;
    av_channel_layout_default(&codec_->ch_layout, input.channels);
    // The encoder refuses rates below its minimum; above it, it takes any
    // rate and its frame size caps what it really produces.
    codec_->bit_rate = static_cast<int64_t>(std::max(desired_bps, kMinWmaBitsPerSecond));
    codec_->time_base = AVRational{1, rate};
    codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (int rc = avcodec_open2(codec_, codec, nullptr);
        rc < 0 || codec_->frame_size <= 0 || codec_->block_align <= 0) {
        throw Error("No suitable Windows Media Audio encoding: " + AvError(rc));
    }
    // The muxer announces what the frames really carry.
    codec_->bit_rate = BitsPerSecond();

    AVChannelLayout in_layout{};
    av_channel_layout_default(&in_layout, input.channels);
    const AVSampleFormat in_format =
        input.bits_per_sample == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_U8;
    int rc = swr_alloc_set_opts2(&resampler_, &codec_->ch_layout, AV_SAMPLE_FMT_FLTP, rate,
                                 &in_layout, in_format, rate, 0, nullptr);
    av_channel_layout_uninit(&in_layout);
    if (rc < 0 || swr_init(resampler_) < 0)
        throw Error("No sample conversion for the capture format");
    fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, input.channels, codec_->frame_size * 4);
    frame_->nb_samples = codec_->frame_size;
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->sample_rate = rate;
    if (fifo_ == nullptr || av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 ||
        av_frame_get_buffer(frame_, 0) < 0)
        throw Error("Out of memory");
}

WmaEncoder::~WmaEncoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    if (fifo_ != nullptr)
        av_audio_fifo_free(fifo_);
    swr_free(&resampler_);
    avcodec_free_context(&codec_);
}

uint32_t WmaEncoder::BitsPerSecond() const {
    return static_cast<uint32_t>(int64_t{codec_->block_align} * 8 * codec_->sample_rate /
                                 codec_->frame_size);
}

uint32_t WmaEncoder::FrameBytes() const {
    return static_cast<uint32_t>(codec_->block_align);
}

void WmaEncoder::Encode(const uint8_t *pcm, std::size_t bytes, bool silence,
                        const std::function<void(const AVPacket &)> &sink) {
    const int samples = static_cast<int>(bytes / input_.FrameBytes());
    if (samples <= 0)
        return;
    std::array<std::vector<float>, 2> planes;
    std::array<uint8_t *, 2> outs{};
    for (int c = 0; c < input_.channels; ++c) {
        planes[c].assign(static_cast<std::size_t>(samples), 0.0f);
        outs[c] = reinterpret_cast<uint8_t *>(planes[c].data());
    }
    if (!silence) {
        const uint8_t *in = pcm;
        if (swr_convert(resampler_, outs.data(), samples, &in, samples) != samples)
            throw Error("Sample conversion failed");
    }
    if (av_audio_fifo_write(fifo_, reinterpret_cast<void **>(outs.data()), samples) != samples)
        throw Error("Out of memory");
    while (av_audio_fifo_size(fifo_) >= codec_->frame_size) {
        if (av_frame_make_writable(frame_) < 0)
            throw Error("Out of memory");
        av_audio_fifo_read(fifo_, reinterpret_cast<void **>(frame_->data), codec_->frame_size);
        frame_->pts = next_pts_;
        next_pts_ += codec_->frame_size;
        if (int rc = avcodec_send_frame(codec_, frame_); rc < 0)
            throw Error("Encoder error: " + AvError(rc));
        drain(sink);
    }
}

void WmaEncoder::drain(const std::function<void(const AVPacket &)> &sink) {
    for (;;) {
        int rc = avcodec_receive_packet(codec_, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        if (rc < 0)
            throw Error("Encoder error: " + AvError(rc));
        sink(*packet_);
        av_packet_unref(packet_);
    }
}

AsfMuxer::AsfMuxer(AsfFraming framing, const AVCodecContext &codec, uint32_t packet_size) {
    unsigned char *buffer = static_cast<unsigned char *>(av_malloc(kAvioBufferBytes));
    AVIOContext *io = buffer == nullptr ? nullptr
                                        : avio_alloc_context(buffer, kAvioBufferBytes, 1, this,
                                                             nullptr, &AsfMuxer::collect, nullptr);
    if (io == nullptr) {
        av_free(buffer);
        throw Error("Out of memory");
    }
    const bool mms = framing == AsfFraming::Mms;
    unit_bytes_ = packet_size + (mms ? kMmsChunkHeaderBytes : 0);
    if (avformat_alloc_output_context2(&format_, nullptr, mms ? "asf_stream" : "asf", nullptr) <
        0) {
        av_freep(&io->buffer);
        avio_context_free(&io);
        throw Error("No ASF muxer");
    }
    format_->pb = io;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    open(mms ? "$H" : "\x30\x26\xb2\x75", codec, packet_size);
}

AsfMuxer::AsfMuxer(const std::string &path, const AVCodecContext &codec, uint32_t packet_size)
    : to_file_(true) {
    unit_bytes_ = packet_size;
    if (avformat_alloc_output_context2(&format_, nullptr, "asf", nullptr) < 0)
        throw Error("No ASF muxer");
    if (int rc = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE); rc < 0) {
        avformat_free_context(format_);
        format_ = nullptr;
        throw Error("Cannot write " + path + ": " + AvError(rc));
    }
    open(nullptr, codec, packet_size);
}

void AsfMuxer::open(const char *header_magic, const AVCodecContext &codec, uint32_t packet_size) {
    sample_rate_hz_ = codec.sample_rate;
    AVStream *stream = avformat_new_stream(format_, nullptr);
    AVDictionary *options = nullptr;
    av_dict_set_int(&options, "packet_size", packet_size, 0);
    int rc = stream == nullptr ? AVERROR(ENOMEM)
                               : avcodec_parameters_from_context(stream->codecpar, &codec);
    if (rc >= 0) {
        stream->time_base = codec.time_base;
        rc = avformat_write_header(format_, &options);
    }
    av_dict_free(&options);
    if (rc < 0) {
        finished_ = true;
        release();
        throw Error("ASF muxer error: " + AvError(rc));
    }
    avio_flush(format_->pb);
    header_.swap(pending_);
    if (header_magic != nullptr &&
        header_.compare(0, std::strlen(header_magic), header_magic) != 0) {
        finished_ = true;
        release();
        throw Error("ASF muxer error: unexpected header");
    }
}

AsfMuxer::~AsfMuxer() {
    release();
}

void AsfMuxer::release() {
    if (format_ == nullptr)
        return;
    if (to_file_) {
        if (!finished_)
            av_write_trailer(format_);
        avio_closep(&format_->pb);
    } else if (format_->pb != nullptr) {
        av_freep(&format_->pb->buffer);
        avio_context_free(&format_->pb);
    }
    avformat_free_context(format_);
    format_ = nullptr;
}

int AsfMuxer::collect(void *opaque, uint8_t *data, int size) {
    static_cast<AsfMuxer *>(opaque)->pending_.append(reinterpret_cast<const char *>(data),
                                                     static_cast<std::size_t>(size));
    return size;
}

void AsfMuxer::Write(const AVPacket &packet, std::vector<std::string> &completed) {
    AVPacket *copy = av_packet_clone(&packet);
    if (copy == nullptr)
        throw Error("Out of memory");
    copy->stream_index = 0;
    av_packet_rescale_ts(copy, AVRational{1, sample_rate_hz_}, format_->streams[0]->time_base);
    int rc = av_write_frame(format_, copy);
    av_packet_free(&copy);
    if (rc < 0)
        throw Error("ASF muxer error: " + AvError(rc));
    if (to_file_)
        return;
    avio_flush(format_->pb);
    std::size_t offset = 0;
    while (pending_.size() - offset >= unit_bytes_) {
        completed.emplace_back(pending_, offset, unit_bytes_);
        offset += unit_bytes_;
    }
    pending_.erase(0, offset);
}

void AsfMuxer::Finish() {
    if (finished_)
        return;
    finished_ = true;
    int rc = av_write_trailer(format_);
    if (to_file_) {
        int close_rc = avio_closep(&format_->pb);
        if (rc >= 0)
            rc = close_rc;
    }
    if (rc < 0)
        throw Error("ASF muxer error: " + AvError(rc));
}

} // namespace broadcast
