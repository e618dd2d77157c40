#include "audio/stream_decoder.h"

#include <cstring>
#include <memory>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include "audio/audio.h"
#include "audio/cpu_meter.h"

namespace audio {

namespace {

constexpr int kIoBufferBytes = 4096;

struct IoFree {
    void operator()(AVIOContext *io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct InputClose {
    void operator()(AVFormatContext *f) const { avformat_close_input(&f); }
};
struct CodecFree {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct ResamplerFree {
    void operator()(SwrContext *s) const { swr_free(&s); }
};

// What the AVIOContext reads: the sniffed bytes first, then the pipe.
struct Source {
    std::vector<uint8_t> prefix;
    std::size_t prefixAt = 0;
    BytePipe *pipe = nullptr;
};

int readSource(void *opaque, uint8_t *buffer, int size) {
    auto *source = static_cast<Source *>(opaque);
    const auto wanted = static_cast<std::size_t>(size);
    if (source->prefixAt < source->prefix.size()) {
        const std::size_t n = std::min(wanted, source->prefix.size() - source->prefixAt);
        std::memcpy(buffer, source->prefix.data() + source->prefixAt, n);
        source->prefixAt += n;
        return static_cast<int>(n);
    }
    std::size_t got = 0;
    switch (source->pipe->Read(std::span(buffer, wanted), got)) {
    case BytePipe::ReadResult::Data:
        return static_cast<int>(got);
    case BytePipe::ReadResult::End:
        // Returning 0 would end the stream silently.
        return AVERROR_EOF;
    case BytePipe::ReadResult::Aborted:
        break;
    }
    return AVERROR_EXIT;
}

int interrupted(void *abort) {
    return static_cast<const std::atomic<bool> *>(abort)->load();
}

bool isOneOf(std::string_view value, std::initializer_list<std::string_view> options) {
    for (std::string_view option : options) {
        if (value == option)
            return true;
    }
    return false;
}

// Resamples decoded frames to the output format, rebuilding itself when the
// stream's format changes (HE-AAC may switch mid-stream).
class Resampler {
public:
    Resampler() = default;
    ~Resampler() { av_channel_layout_uninit(&layout_); }
    Resampler(const Resampler &) = delete;
    Resampler &operator=(const Resampler &) = delete;

    // Converts `frame`; the result stays valid until the next call.
    std::optional<std::span<const float>> Convert(const AVFrame *frame) {
        if (!matches(frame) && !rebuild(frame))
            return std::nullopt;
        return run(frame->extended_data, frame->nb_samples);
    }

    // What the resampler still holds at the end of the stream.
    std::optional<std::span<const float>> Drain() {
        if (!swr_)
            return std::nullopt;
        return run(nullptr, 0);
    }

private:
    bool matches(const AVFrame *frame) const {
        return swr_ && frame->format == format_ && frame->sample_rate == rateHz_ &&
               av_channel_layout_compare(&frame->ch_layout, &layout_) == 0;
    }

    bool rebuild(const AVFrame *frame) {
        av_channel_layout_uninit(&layout_);
        if (av_channel_layout_copy(&layout_, &frame->ch_layout) < 0)
            return false;
        AVChannelLayout in{};
        if (layout_.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, layout_.nb_channels);
        else
            av_channel_layout_copy(&in, &layout_);
        AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext *raw = nullptr;
        const int rc = swr_alloc_set_opts2(
            &raw, &out, AV_SAMPLE_FMT_FLT, static_cast<int>(kOutputRateHz), &in,
            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        swr_.reset(raw);
        if (rc < 0 || swr_init(swr_.get()) < 0) {
            swr_.reset();
            return false;
        }
        format_ = frame->format;
        rateHz_ = frame->sample_rate;
        return true;
    }

    std::optional<std::span<const float>> run(uint8_t *const *in, int samples) {
        const int capacity = swr_get_out_samples(swr_.get(), samples);
        if (capacity <= 0)
            return std::span<const float>();
        converted_.resize(static_cast<std::size_t>(capacity) * kOutputChannels);
        uint8_t *out[1] = {reinterpret_cast<uint8_t *>(converted_.data())};
        const int n =
            swr_convert(swr_.get(), out, capacity, const_cast<const uint8_t **>(in), samples);
        if (n < 0)
            return std::nullopt;
        return std::span<const float>(converted_.data(),
                                      static_cast<std::size_t>(n) * kOutputChannels);
    }

    std::unique_ptr<SwrContext, ResamplerFree> swr_;
    AVChannelLayout layout_{};
    int format_ = -1;
    int rateHz_ = 0;
    std::vector<float> converted_;
};

} // namespace

StreamFormats FormatsFor(StreamKind kind, std::string_view media_type) {
    switch (kind) {
    case StreamKind::MpegOrAac:
        if (isOneOf(media_type, {"audio/aac", "audio/aacp", "audio/x-aac", "audio/x-aacp"}))
            return {{FrameFormat::Adts, FrameFormat::Latm}, false};
        if (isOneOf(media_type, {"audio/mp4", "audio/x-m4a", "audio/m4a", "video/mp4"}))
            return {{}, true};
        return {{FrameFormat::MpegAudio}, false};
    case StreamKind::Aac:
        return {{FrameFormat::Adts, FrameFormat::Latm}, false};
    case StreamKind::Ac3:
        return {{FrameFormat::Ac3, FrameFormat::Eac3}, false};
    }
    return {};
}

const char *DemuxerFor(FrameFormat format) {
    switch (format) {
    case FrameFormat::MpegAudio:
        return "mp3";
    case FrameFormat::Adts:
        return "aac";
    case FrameFormat::Latm:
        return "loas";
    case FrameFormat::Ac3:
        return "ac3";
    case FrameFormat::Eac3:
        return "eac3";
    }
    return "mp3";
}

StreamDecoder::StreamDecoder(StreamKind kind, std::string media_type, BytePipe &pipe,
                             ChannelOutput &output, StreamState &state,
                             const std::atomic<bool> &abort)
    : kind_(kind), mediaType_(std::move(media_type)), pipe_(pipe), output_(output), state_(state),
      abort_(abort) {
    thread_ = std::thread([this] { run(); });
}

StreamDecoder::~StreamDecoder() {
    thread_.join();
}

void StreamDecoder::run() {
    CpuMeter::ThreadScope counted;
    bool firstAudio = false;
    const auto end = [&] {
        if (!firstAudio && !abort_.load())
            state_.Fail(BASS_ERROR_FORMAT);
        {
            std::lock_guard lock(state_.mutex);
            state_.decode_ended = true;
        }
        state_.changed.notify_all();
    };

    // Find the first frames: they decide the demuxer and where to start.
    Source source;
    source.pipe = &pipe_;
    const StreamFormats formats = FormatsFor(kind_, mediaType_);
    const char *demuxer = "mov";
    if (!formats.mp4) {
        std::optional<FrameChain> chain;
        while (!chain) {
            if (source.prefix.size() >= kMaxSniffBytes)
                return end();
            uint8_t chunk[4096];
            std::size_t got = 0;
            const std::size_t room = std::min(sizeof chunk, kMaxSniffBytes - source.prefix.size());
            if (pipe_.Read(std::span(chunk, room), got) != BytePipe::ReadResult::Data)
                return end();
            source.prefix.insert(source.prefix.end(), chunk, chunk + got);
            chain = FindFrameChain(source.prefix, formats.frames);
        }
        source.prefixAt = chain->offset_bytes;
        demuxer = DemuxerFor(chain->format);
    }

    auto *ioBuffer = static_cast<unsigned char *>(av_malloc(kIoBufferBytes));
    if (ioBuffer == nullptr)
        return end();
    std::unique_ptr<AVIOContext, IoFree> io(
        avio_alloc_context(ioBuffer, kIoBufferBytes, 0, &source, readSource, nullptr, nullptr));
    if (!io) {
        av_free(ioBuffer);
        return end();
    }
    AVFormatContext *rawFormat = avformat_alloc_context();
    if (rawFormat == nullptr)
        return end();
    rawFormat->pb = io.get();
    rawFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    rawFormat->interrupt_callback.callback = interrupted;
    rawFormat->interrupt_callback.opaque = const_cast<std::atomic<bool> *>(&abort_);
    // On failure avformat_open_input frees the context itself.
    if (avformat_open_input(&rawFormat, nullptr, av_find_input_format(demuxer), nullptr) < 0)
        return end();
    std::unique_ptr<AVFormatContext, InputClose> format(rawFormat);

    // Not av_find_best_stream: it passes over streams whose rate and channels
    // are not known yet, as with raw frames before the first one is decoded.
    int index = -1;
    for (unsigned i = 0; i < format->nb_streams && index < 0; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            index = static_cast<int>(i);
    }
    if (index < 0)
        return end();
    const AVCodec *codec = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    if (codec == nullptr)
        return end();
    std::unique_ptr<AVCodecContext, CodecFree> decoder(avcodec_alloc_context3(codec));
    if (!decoder ||
        avcodec_parameters_to_context(decoder.get(), format->streams[index]->codecpar) < 0)
        return end();
    decoder->thread_count = 1; // the decode thread is the one counted
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return end();

    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!packet || !frame)
        return end();
    Resampler resampler;
    const auto queue = [&](std::optional<std::span<const float>> pcm) {
        if (!pcm || pcm->empty())
            return true;
        if (!output_.WriteFrames(pcm->data(), pcm->size() / kOutputChannels, abort_))
            return false;
        if (!firstAudio) {
            firstAudio = true;
            {
                std::lock_guard lock(state_.mutex);
                state_.first_audio = true;
            }
            state_.changed.notify_all();
        }
        return true;
    };
    const auto drainDecoder = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            const bool queued = queue(resampler.Convert(frame.get()));
            av_frame_unref(frame.get());
            if (!queued)
                return false;
        }
        return true;
    };

    while (!abort_.load()) {
        const int rc = av_read_frame(format.get(), packet.get());
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0)
            break; // the end, a cancel, or a container error: the stream ends
        bool queued = true;
        if (packet->stream_index == index) {
            // A damaged packet is dropped; the decoder resyncs on the next.
            if (avcodec_send_packet(decoder.get(), packet.get()) >= 0)
                queued = drainDecoder();
        }
        av_packet_unref(packet.get());
        if (!queued)
            return end();
    }
    if (!abort_.load()) {
        avcodec_send_packet(decoder.get(), nullptr);
        if (drainDecoder())
            queue(resampler.Drain());
    }
    end();
}

} // namespace audio
