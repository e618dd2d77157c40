// MP3 and Ogg Vorbis through FFmpeg's encoders. MP3 needs no container: each
// packet libmp3lame gives out is a whole MP3 frame and is appended as it
// comes, so the file plays up to its last frame at any moment. Vorbis goes
// through libavformat's ogg muxer into an AVIO context that writes to the
// file; it is flushed after every packet, so what the muxer has closed as a
// page is in the file.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include "audio/format_encoder.h"

namespace audio {

namespace {

constexpr int64_t kMp3BitRate = 192000;
constexpr int kVorbisQuality = 5;
constexpr int kIoBufferBytes = 64 * 1024;
// Encoders that take frames of any length get frames of this many samples.
constexpr int kAnyFrameSamples = 1152;

class FfmpegEncoder final : public FormatEncoder {
public:
    FfmpegEncoder(RecordFormat format, int channels) : format_(format), channels_(channels) {}

    ~FfmpegEncoder() override {
        // The descriptor is closed by now: nothing may be written any more.
        fd_ = -1;
        avformat_free_context(mux_);
        if (io_ != nullptr)
            av_freep(&io_->buffer);
        avio_context_free(&io_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&codec_);
    }

    FfmpegEncoder(const FfmpegEncoder &) = delete;
    FfmpegEncoder &operator=(const FfmpegEncoder &) = delete;

    EncoderSetupError Setup(uint32_t sampleRate) {
        const AVCodec *codec = avcodec_find_encoder_by_name(
            format_ == RecordFormat::kMp3 ? "libmp3lame" : "libvorbis");
        if (codec == nullptr || !takesPlanarFloat(codec))
            return EncoderSetupError::kNoEncoder;
        codec_ = avcodec_alloc_context3(codec);
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        if (codec_ == nullptr || packet_ == nullptr || frame_ == nullptr)
            return EncoderSetupError::kMemory;
        codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        codec_->sample_rate = static_cast<int>(sampleRate);
        codec_->time_base = AVRational{1, static_cast<int>(sampleRate)};
        av_channel_layout_default(&codec_->ch_layout, channels_);
        if (format_ == RecordFormat::kMp3) {
            codec_->bit_rate = kMp3BitRate;
        } else {
            codec_->flags |= AV_CODEC_FLAG_QSCALE;
            codec_->global_quality = kVorbisQuality * FF_QP2LAMBDA;
            if (avformat_alloc_output_context2(&mux_, nullptr, "ogg", nullptr) < 0 ||
                mux_ == nullptr)
                return EncoderSetupError::kNoEncoder;
            if ((mux_->oformat->flags & AVFMT_GLOBALHEADER) != 0)
                codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (avcodec_open2(codec_, codec, nullptr) < 0)
            return EncoderSetupError::kNoEncoder;
        frameSamples_ =
            (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0 || codec_->frame_size <= 0
                ? kAnyFrameSamples
                : codec_->frame_size;
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = codec_->sample_rate;
        frame_->nb_samples = frameSamples_;
        if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 ||
            av_frame_get_buffer(frame_, 0) < 0)
            return EncoderSetupError::kMemory;
        if (mux_ != nullptr) {
            AVStream *stream = avformat_new_stream(mux_, nullptr);
            if (stream == nullptr)
                return EncoderSetupError::kMemory;
            stream->time_base = codec_->time_base;
            if (avcodec_parameters_from_context(stream->codecpar, codec_) < 0)
                return EncoderSetupError::kMemory;
        }
        return EncoderSetupError::kNone;
    }

    int Begin(int fd) override {
        fd_ = fd;
        if (mux_ == nullptr)
            return 0;
        auto *buffer = static_cast<unsigned char *>(av_malloc(kIoBufferBytes));
        if (buffer == nullptr)
            return ENOMEM;
        io_ = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, &FfmpegEncoder::ioWrite,
                                 nullptr);
        if (io_ == nullptr) {
            av_free(buffer);
            return ENOMEM;
        }
        mux_->pb = io_;
        mux_->flags |= AVFMT_FLAG_CUSTOM_IO;
        return flushed(avformat_write_header(mux_, nullptr));
    }

    std::size_t Write(const float *interleaved, std::size_t frames, int &error) override {
        const auto ch = static_cast<std::size_t>(channels_);
        std::size_t done = 0;
        while (done < frames) {
            if (filled_ == 0 && av_frame_make_writable(frame_) < 0) {
                error = ENOMEM;
                return done;
            }
            const std::size_t n =
                std::min(frames - done, static_cast<std::size_t>(frameSamples_ - filled_));
            for (std::size_t c = 0; c < ch; ++c) {
                float *plane = reinterpret_cast<float *>(frame_->extended_data[c]) + filled_;
                const float *from = interleaved + done * ch + c;
                for (std::size_t i = 0; i < n; ++i, from += ch)
                    plane[i] = std::isnan(*from) ? 0.0f : std::clamp(*from, -1.0f, 1.0f);
            }
            filled_ += static_cast<int>(n);
            done += n;
            if (filled_ == frameSamples_) {
                error = sendFilled();
                if (error != 0)
                    return done;
            }
        }
        return done;
    }

    int Finish() override {
        if (filled_ > 0) {
            if (const int error = sendFilled(); error != 0)
                return error;
        }
        if (const int error = send(nullptr); error != 0)
            return error;
        if (mux_ == nullptr)
            return 0;
        return flushed(av_write_trailer(mux_));
    }

    void Abandon() override {
        // Cuts off a partly written frame or page.
        if (fd_ >= 0 && offset_ != committed_ && ::ftruncate(fd_, committed_) == 0) {
            offset_ = committed_;
            bytes_.store(static_cast<uint64_t>(offset_), std::memory_order_release);
        }
    }

private:
    static bool takesPlanarFloat(const AVCodec *codec) {
        for (const AVSampleFormat *f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE;
             ++f)
            if (*f == AV_SAMPLE_FMT_FLTP)
                return true;
        return false;
    }

    int sendFilled() {
        frame_->nb_samples = filled_;
        frame_->pts = pts_;
        pts_ += filled_;
        filled_ = 0;
        return send(frame_);
    }

    // Hands `frame` (null: the end) to the encoder and writes every packet
    // it gives out. Returns 0 or an errno.
    int send(const AVFrame *frame) {
        const int sent = avcodec_send_frame(codec_, frame);
        if (sent < 0 && sent != AVERROR_EOF)
            return sent == AVERROR(ENOMEM) ? ENOMEM : EIO;
        for (;;) {
            const int received = avcodec_receive_packet(codec_, packet_);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
                return 0;
            if (received < 0)
                return EIO;
            const int error = writePacket(packet_);
            av_packet_unref(packet_);
            if (error != 0)
                return error;
        }
    }

    int writePacket(AVPacket *packet) {
        if (mux_ == nullptr) {
            std::size_t written = 0;
            const int error = PwriteAll(fd_, packet->data, static_cast<std::size_t>(packet->size),
                                        offset_, &written);
            offset_ += static_cast<int64_t>(written);
            bytes_.store(static_cast<uint64_t>(offset_), std::memory_order_release);
            if (error == 0)
                committed_ = offset_;
            return error;
        }
        av_packet_rescale_ts(packet, codec_->time_base, mux_->streams[0]->time_base);
        packet->stream_index = 0;
        return flushed(av_write_frame(mux_, packet));
    }

    // After a muxer call that returned `result`: writes out what it left in
    // the AVIO buffer, whole pages. Returns 0 or an errno.
    int flushed(int result) {
        avio_flush(io_);
        if (ioError_ != 0)
            return ioError_;
        if (result < 0)
            return EIO;
        committed_ = offset_;
        return 0;
    }

    // The AVIO context's sink: appends to the file.
    static int ioWrite(void *opaque, uint8_t *data, int size) {
        auto *self = static_cast<FfmpegEncoder *>(opaque);
        if (self->fd_ < 0)
            return AVERROR(EBADF);
        if (self->ioError_ != 0)
            return AVERROR(self->ioError_);
        std::size_t written = 0;
        const int error =
            PwriteAll(self->fd_, data, static_cast<std::size_t>(size), self->offset_, &written);
        self->offset_ += static_cast<int64_t>(written);
        self->bytes_.store(static_cast<uint64_t>(self->offset_), std::memory_order_release);
        if (error != 0) {
            self->ioError_ = error;
            return AVERROR(error);
        }
        return size;
    }

    const RecordFormat format_;
    const int channels_;
    AVCodecContext *codec_ = nullptr;
    AVFrame *frame_ = nullptr; // planar float, frameSamples_ long
    AVPacket *packet_ = nullptr;
    AVFormatContext *mux_ = nullptr; // Ogg only
    AVIOContext *io_ = nullptr;      // Ogg only
    int frameSamples_ = 0;
    int filled_ = 0; // samples in frame_ not yet sent
    int64_t pts_ = 0;
    int fd_ = -1;
    int64_t offset_ = 0;    // bytes in the file
    int64_t committed_ = 0; // bytes up to the end of the last whole frame or page
    int ioError_ = 0;       // errno of the AVIO sink's failed write
};

} // namespace

std::unique_ptr<FormatEncoder> MakeFfmpegEncoder(RecordFormat format, uint32_t sampleRate,
                                                 int channels, EncoderSetupError &error) {
    auto encoder = std::make_unique<FfmpegEncoder>(format, channels);
    error = encoder->Setup(sampleRate);
    if (error != EncoderSetupError::kNone)
        return nullptr;
    return encoder;
}

} // namespace audio
