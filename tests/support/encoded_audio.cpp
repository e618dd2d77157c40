#include "tests/support/encoded_audio.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace testsupport {

namespace {

constexpr int kRateHz = 44100;

struct CodecChoice {
    const char *encoder;
    const char *muxer;
};

CodecChoice choiceOf(AudioCodec codec) {
    switch (codec) {
    case AudioCodec::Mp3:
        return {"libmp3lame", "mp3"};
    case AudioCodec::Mp2:
        return {"mp2", "mp2"};
    case AudioCodec::AacAdts:
        return {"aac", "adts"};
    case AudioCodec::AacLatm:
        return {"aac", "latm"};
    case AudioCodec::AacMp4:
        return {"aac", "mp4"};
    case AudioCodec::Ac3:
        return {"ac3", "ac3"};
    case AudioCodec::Eac3:
        return {"eac3", "eac3"};
    }
    throw std::invalid_argument("EncodeTone: unknown codec");
}

struct CodecContextFree {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct OutputFree {
    void operator()(AVFormatContext *f) const { avformat_free_context(f); }
};
struct IoFree {
    void operator()(AVIOContext *io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

int appendBytes(void *opaque, uint8_t *data, int size) {
    static_cast<std::string *>(opaque)->append(reinterpret_cast<const char *>(data),
                                               static_cast<std::size_t>(size));
    return size;
}

void check(int rc, const char *what) {
    if (rc < 0)
        throw std::runtime_error(std::string("EncodeTone: ") + what + " failed");
}

// Writes `count` samples of `tone`, starting at sample `first`, into
// `frame` in whatever sample format the encoder takes.
void fillTone(AVFrame *frame, const Tone &tone, int64_t first, int count) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(first + i) / kRateHz;
        const double v = tone.amplitude * std::sin(2.0 * std::numbers::pi * tone.hz * t);
        for (int c = 0; c < channels; ++c) {
            const int plane = planar ? c : 0;
            const int at = planar ? i : i * channels + c;
            switch (format) {
            case AV_SAMPLE_FMT_FLT:
            case AV_SAMPLE_FMT_FLTP:
                reinterpret_cast<float *>(frame->data[plane])[at] = static_cast<float>(v);
                break;
            case AV_SAMPLE_FMT_S16:
            case AV_SAMPLE_FMT_S16P:
                reinterpret_cast<int16_t *>(frame->data[plane])[at] =
                    static_cast<int16_t>(std::lround(v * 32767.0));
                break;
            case AV_SAMPLE_FMT_S32:
            case AV_SAMPLE_FMT_S32P:
                reinterpret_cast<int32_t *>(frame->data[plane])[at] =
                    static_cast<int32_t>(std::lround(v * 2147483647.0));
                break;
            default:
                throw std::runtime_error("EncodeTone: unsupported sample format");
            }
        }
    }
}

} // namespace

const char *ContentTypeOf(AudioCodec codec) {
    switch (codec) {
    case AudioCodec::Mp3:
    case AudioCodec::Mp2:
        return "audio/mpeg";
    case AudioCodec::AacAdts:
    case AudioCodec::AacLatm:
        return "audio/aacp";
    case AudioCodec::AacMp4:
        return "audio/mp4";
    case AudioCodec::Ac3:
        return "audio/ac3";
    case AudioCodec::Eac3:
        return "audio/eac3";
    }
    return "application/octet-stream";
}

std::string EncodeTone(AudioCodec codec, int bitrate_kbps, double seconds, Tone tone) {
    const CodecChoice choice = choiceOf(codec);
    const AVCodec *encoder = avcodec_find_encoder_by_name(choice.encoder);
    if (encoder == nullptr)
        throw std::runtime_error(std::string("EncodeTone: no encoder ") + choice.encoder);

    std::string out;
    AVFormatContext *rawOutput = nullptr;
    check(avformat_alloc_output_context2(&rawOutput, nullptr, choice.muxer, nullptr), "muxer");
    std::unique_ptr<AVFormatContext, OutputFree> output(rawOutput);

    constexpr int kIoBufferBytes = 1 << 16;
    auto *ioBuffer = static_cast<unsigned char *>(av_malloc(kIoBufferBytes));
    std::unique_ptr<AVIOContext, IoFree> io(
        avio_alloc_context(ioBuffer, kIoBufferBytes, 1, &out, nullptr, appendBytes, nullptr));
    if (!io)
        throw std::runtime_error("EncodeTone: avio_alloc_context failed");
    output->pb = io.get();
    output->flags |= AVFMT_FLAG_CUSTOM_IO;

    std::unique_ptr<AVCodecContext, CodecContextFree> context(avcodec_alloc_context3(encoder));
    context->sample_rate = kRateHz;
    context->bit_rate = int64_t{bitrate_kbps} * 1000;
    av_channel_layout_default(&context->ch_layout, 2);
    context->sample_fmt = encoder->sample_fmts[0];
    context->time_base = {1, kRateHz};
    if (codec == AudioCodec::AacAdts || codec == AudioCodec::AacLatm ||
        codec == AudioCodec::AacMp4 || (output->oformat->flags & AVFMT_GLOBALHEADER) != 0)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(context.get(), encoder, nullptr), "avcodec_open2");

    AVStream *stream = avformat_new_stream(output.get(), nullptr);
    check(stream == nullptr ? -1 : 0, "avformat_new_stream");
    check(avcodec_parameters_from_context(stream->codecpar, context.get()), "parameters");
    stream->time_base = context->time_base;

    AVDictionary *options = nullptr;
    if (codec == AudioCodec::Mp3) {
        av_dict_set(&options, "id3v2_version", "0", 0);
        av_dict_set(&options, "write_xing", "0", 0);
    }
    if (codec == AudioCodec::AacMp4) {
        av_dict_set(&options, "movflags", "empty_moov+default_base_moof", 0);
        av_dict_set(&options, "frag_duration", "500000", 0);
    }
    const int headerRc = avformat_write_header(output.get(), &options);
    av_dict_free(&options);
    check(headerRc, "avformat_write_header");

    const int frameSize = context->frame_size > 0 ? context->frame_size : 1152;
    const auto total = static_cast<int64_t>(seconds * kRateHz);
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());

    const auto drain = [&] {
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            av_packet_rescale_ts(packet.get(), context->time_base, stream->time_base);
            packet->stream_index = stream->index;
            check(av_write_frame(output.get(), packet.get()), "av_write_frame");
        }
    };
    for (int64_t at = 0; at < total; at += frameSize) {
        av_frame_unref(frame.get());
        frame->format = context->sample_fmt;
        frame->sample_rate = kRateHz;
        frame->nb_samples = frameSize;
        check(av_channel_layout_copy(&frame->ch_layout, &context->ch_layout), "layout");
        check(av_frame_get_buffer(frame.get(), 0), "av_frame_get_buffer");
        fillTone(frame.get(), tone, at, frameSize);
        frame->pts = at;
        check(avcodec_send_frame(context.get(), frame.get()), "avcodec_send_frame");
        drain();
    }
    check(avcodec_send_frame(context.get(), nullptr), "flush");
    drain();
    check(av_write_trailer(output.get()), "av_write_trailer");
    avio_flush(io.get());
    return out;
}

} // namespace testsupport
