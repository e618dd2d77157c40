#pragma once

// The bar spectrum with falling peak marks of the main window: the levels
// that carry over from call to call, and their drawing. The levels are
// updated once per call (once a second): a mark falls 1 pixel and a bar 3
// pixels per call when the sound gets quieter; both jump up at once when it
// gets louder. User-interface thread only.

#include <array>
#include <cstdint>

#include <QColor>
#include <QImage>

namespace playback {

inline constexpr int kSpectrumBars = 128;
inline constexpr int kBarPitch_px = 4;
inline constexpr int kBarWidth_px = 3;

struct SpectrumLevels {
    std::array<int32_t, kSpectrumBars> PeakLevels{};
    std::array<int32_t, kSpectrumBars> BarLevels{};

    // Takes one spectrum (`data[0..127]`) for a box `height_px` pixels high:
    // level = |value| x 500, truncated, at most the height.
    void Update(const float *data, int height_px);
};

// The level of one spectrum value in a box `height_px` pixels high.
int32_t SpectrumLevel(float value, int height_px);

// Draws the levels into `canvas`: the whole canvas black, then for bar i a
// 3-pixel peak mark and a 3-pixel-wide bar in `colour`, at x = X + 4 i,
// standing on row Y + height. Whatever falls outside the canvas is clipped.
void DrawSpectrum(QImage &canvas, const SpectrumLevels &levels, int x_px, int y_px,
                  const QColor &colour);

} // namespace playback
