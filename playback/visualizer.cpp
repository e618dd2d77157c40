#include "playback/visualizer.h"

#include <cmath>

#include <QPainter>

namespace playback {

int32_t SpectrumLevel(float value, int height_px) {
    const float scaled = std::fabs(value) * 500.0f;
    if (std::isnan(scaled))
        return 0;
    if (scaled >= static_cast<float>(height_px))
        return height_px;
    return static_cast<int32_t>(scaled);
}

void SpectrumLevels::Update(const float *data, int height_px) {
    for (int i = 0; i < kSpectrumBars; ++i) {
        const int32_t level = SpectrumLevel(data[i], height_px);
        PeakLevels[i] = level >= PeakLevels[i] ? level : PeakLevels[i] - 1;
        BarLevels[i] = level >= BarLevels[i] ? level : BarLevels[i] - 3;
    }
}

void DrawSpectrum(QImage &canvas, const SpectrumLevels &levels, int x_px, int y_px,
                  const QColor &colour) {
    QPainter painter(&canvas);
    painter.fillRect(canvas.rect(), Qt::black);
    const int base = y_px + canvas.height();
    for (int i = 0; i < kSpectrumBars; ++i) {
        const int left = x_px + kBarPitch_px * i;
        painter.fillRect(left, base - levels.PeakLevels[i], kBarWidth_px, 1, colour);
        // A bar that fell below 0 for one call has nothing to show.
        if (levels.BarLevels[i] > 0)
            painter.fillRect(left, base - levels.BarLevels[i], kBarWidth_px, levels.BarLevels[i],
                             colour);
    }
}

} // namespace playback
