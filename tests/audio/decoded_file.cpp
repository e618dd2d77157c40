#include "tests/audio/decoded_file.h"

#include <algorithm>
#include <cstdint>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace audiotest {

namespace {

// Sample `i` of channel `c` in `frame`, as a float of full scale 1.0.
float sampleOf(const AVFrame *frame, int c, int i, int channels) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int plane = planar ? c : 0;
    const int index = planar ? i : i * channels + c;
    const uint8_t *data = frame->extended_data[plane];
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const int16_t *>(data)[index] / 32768.0f;
    case AV_SAMPLE_FMT_S32:
        return static_cast<float>(reinterpret_cast<const int32_t *>(data)[index] / 2147483648.0);
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float *>(data)[index];
    case AV_SAMPLE_FMT_DBL:
        return static_cast<float>(reinterpret_cast<const double *>(data)[index]);
    default:
        return 0.0f;
    }
}

} // namespace

std::optional<DecodedFile> DecodeFile(const std::string &path) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    std::optional<DecodedFile> result;
    AVCodecContext *codec = nullptr;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    if (avformat_find_stream_info(format, nullptr) >= 0 && format->nb_streams == 1 &&
        format->streams[0]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
        const AVCodecParameters *par = format->streams[0]->codecpar;
        const AVCodec *decoder = avcodec_find_decoder(par->codec_id);
        codec = avcodec_alloc_context3(decoder);
        if (decoder != nullptr && avcodec_parameters_to_context(codec, par) >= 0 &&
            avcodec_open2(codec, decoder, nullptr) >= 0) {
            DecodedFile d;
            d.codec = avcodec_get_name(par->codec_id);
            d.sampleRate = par->sample_rate;
            d.channels = par->ch_layout.nb_channels;
            auto receive = [&] {
                while (avcodec_receive_frame(codec, frame) >= 0) {
                    for (int i = 0; i < frame->nb_samples; ++i)
                        for (int c = 0; c < d.channels; ++c)
                            d.samples.push_back(sampleOf(frame, c, i, d.channels));
                    av_frame_unref(frame);
                }
            };
            while (av_read_frame(format, packet) >= 0) {
                if (avcodec_send_packet(codec, packet) < 0)
                    ++d.decodeErrors;
                av_packet_unref(packet);
                receive();
            }
            avcodec_send_packet(codec, nullptr);
            receive();
            result = std::move(d);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return result;
}

double ToneFrequency(const DecodedFile &file, int channel, std::size_t fromFrame,
                     std::size_t toFrame) {
    const auto ch = static_cast<std::size_t>(file.channels);
    toFrame = std::min(toFrame, file.Frames());
    if (file.sampleRate <= 0 || channel >= file.channels || fromFrame + 2 > toFrame)
        return 0.0;
    // Rising zero crossings, each after the signal was clearly negative, so
    // that single odd samples (a dropout, codec noise) add none; placed
    // between samples by linear interpolation. The median period ignores
    // the few a glitch in the stream (a gap, a jump) spoils.
    constexpr float kBand = 0.1f;
    std::vector<double> crossings;
    bool below = false;
    for (std::size_t n = fromFrame + 1; n < toFrame; ++n) {
        const float before = file.samples[(n - 1) * ch + static_cast<std::size_t>(channel)];
        const float x = file.samples[n * ch + static_cast<std::size_t>(channel)];
        if (x < -kBand)
            below = true;
        if (below && before < 0.0f && x >= 0.0f) {
            below = false;
            crossings.push_back(static_cast<double>(n - 1) + before / (before - x));
        }
    }
    if (crossings.size() < 3)
        return 0.0;
    std::vector<double> periods;
    for (std::size_t i = 1; i < crossings.size(); ++i)
        periods.push_back(crossings[i] - crossings[i - 1]);
    std::nth_element(periods.begin(),
                     periods.begin() + static_cast<std::ptrdiff_t>(periods.size() / 2),
                     periods.end());
    return file.sampleRate / periods[periods.size() / 2];
}

void ExpectRecording(const std::string &path, const ExpectedRecording &expected) {
    const auto decoded = DecodeFile(path);
    ASSERT_TRUE(decoded.has_value()) << path;
    EXPECT_EQ(decoded->codec, expected.codec);
    EXPECT_EQ(decoded->sampleRate, 44100);
    EXPECT_EQ(decoded->channels, 2);
    EXPECT_EQ(decoded->decodeErrors, 0);
    EXPECT_GE(decoded->Frames(), expected.frames);
    EXPECT_LE(decoded->Frames(), expected.frames + expected.slackFrames);
    const std::size_t margin = 4410 + expected.slackFrames;
    if (expected.frames < 3 * margin)
        return;
    for (std::size_t ch = 0; ch < expected.tonesHz.size(); ++ch)
        EXPECT_NEAR(ToneFrequency(*decoded, static_cast<int>(ch), margin, expected.frames - margin),
                    expected.tonesHz[ch], 1.0)
            << "channel " << ch;
}

} // namespace audiotest
