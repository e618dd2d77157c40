#include "playback/status_figures.h"

#include <cmath>

#include "audio/audio.h"

namespace playback {

QString ElapsedText(double seconds, const QString &separator) {
    constexpr int64_t kDay_ms = 24LL * 60 * 60 * 1000;
    int64_t ms = 0;
    if (std::isfinite(seconds))
        ms = std::llround(std::fmod(std::fabs(seconds) * 1000.0, static_cast<double>(kDay_ms)));
    ms %= kDay_ms;
    const int64_t total_s = ms / 1000;
    const auto field = [](int64_t v) {
        return QStringLiteral("%1").arg(v, 2, 10, QChar(u'0'));
    };
    return field(total_s / 3600) + separator + field(total_s / 60 % 60) + separator +
           field(total_s % 60);
}

QString ElapsedText(uint32_t channel, const QString &separator) {
    const uint64_t position = BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
    if (position == static_cast<uint64_t>(-1))
        return ElapsedText(0.0, separator);
    return ElapsedText(BASS_ChannelBytes2Seconds(channel, position), separator);
}

int BitrateKbps(uint64_t audio_bytes, double decoded_seconds) {
    if (audio_bytes == 0 || !(decoded_seconds > 0.0) || !std::isfinite(decoded_seconds))
        return 0;
    const double kbps = 8.0 * static_cast<double>(audio_bytes) / 1000.0 / decoded_seconds;
    if (!(kbps < 1e6))
        return 0;
    return static_cast<int>(std::lround(kbps));
}

int BitrateKbps(uint32_t channel) {
    const uint64_t bytes = BASS_StreamGetFilePosition(channel, BASS_FILEPOS_CURRENT);
    const uint64_t decoded = BASS_ChannelGetPosition(channel, BASS_POS_DECODE);
    if (bytes == static_cast<uint64_t>(-1) || decoded == static_cast<uint64_t>(-1))
        return 0;
    return BitrateKbps(bytes, BASS_ChannelBytes2Seconds(channel, decoded));
}

QString LoadText(float load) {
    const double percent = std::isfinite(load) && load > 0 ? static_cast<double>(load) * 100 : 0.0;
    return QStringLiteral("CPU Using: ") + QString::number(percent, 'f', 1) + u'%';
}

} // namespace playback
