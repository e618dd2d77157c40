#pragma once

// The figures of the once-a-second status refresh, as plain functions of the
// audio library's answers. User-interface thread only.

#include <cstdint>

#include <QString>

namespace playback {

// The elapsed playing time "hh:mm:ss" for `seconds` of audio played: the
// magnitude, rounded to the millisecond and cut to whole seconds, hours
// counting modulo 24, with `separator` between the fields.
QString ElapsedText(double seconds, const QString &separator);

// The elapsed playing time of `channel` (0: "00:00:00").
QString ElapsedText(uint32_t channel, const QString &separator);

// The whole kbps of `channel`: the audio bytes its decoder has read, in
// kilobits, over the seconds of audio they decoded to, rounded. 0 with no
// channel or no audio yet; never negative.
int BitrateKbps(uint32_t channel);

// The bitrate from its two inputs; 0 unless both are positive and finite.
int BitrateKbps(uint64_t audio_bytes, double decoded_seconds);

// "CPU Using: 0.4%" for a load figure of 0.004 (a share of one core).
QString LoadText(float load);

} // namespace playback
