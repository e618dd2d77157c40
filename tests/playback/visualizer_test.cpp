#include <array>
#include <vector>

#include <gtest/gtest.h>

#include "playback/visualizer.h"

namespace {

using playback::SpectrumLevels;

constexpr int kWidth = 105;
constexpr int kHeight = 49;
const QColor kYellow(255, 255, 0);

std::array<float, 513> spectrum(float first = 0.0f) {
    std::array<float, 513> data{};
    data[0] = first;
    return data;
}

// The rows of column `x` that are yellow, top first.
std::vector<int> yellowRows(const QImage &image, int x) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixelColor(x, y) == kYellow)
            rows.push_back(y);
    }
    return rows;
}

TEST(SpectrumLevel, TableOfCases) {
    struct Case {
        float value;
        int32_t level;
    };
    const Case cases[] = {
        {0.0f, 0},   {0.05f, 25}, {-0.05f, 25}, {0.0019999f, 0}, {0.002f, 1},
        {0.06f, 30}, {1.0f, 49},  {-1e30f, 49}, {0.098f, 49},    {0.0979f, 48},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(playback::SpectrumLevel(c.value, kHeight), c.level);
    }
    EXPECT_EQ(playback::SpectrumLevel(std::numeric_limits<float>::quiet_NaN(), kHeight), 0);
    EXPECT_EQ(playback::SpectrumLevel(std::numeric_limits<float>::infinity(), kHeight), kHeight);
}

TEST(SpectrumLevels, BarsFallByThreeAndMarksByOne) {
    SpectrumLevels levels;
    auto loud = spectrum(0.06f); // level 30
    levels.Update(loud.data(), kHeight);
    EXPECT_EQ(levels.BarLevels[0], 30);
    EXPECT_EQ(levels.PeakLevels[0], 30);
    const auto quiet = spectrum();
    std::vector<int> bars, marks;
    for (int call = 0; call < 4; ++call) {
        levels.Update(quiet.data(), kHeight);
        bars.push_back(levels.BarLevels[0]);
        marks.push_back(levels.PeakLevels[0]);
    }
    EXPECT_EQ(bars, (std::vector<int>{27, 24, 21, 18}));
    EXPECT_EQ(marks, (std::vector<int>{29, 28, 27, 26}));

    // Louder again: both jump up at once.
    auto louder = spectrum(0.08f);
    levels.Update(louder.data(), kHeight);
    EXPECT_EQ(levels.BarLevels[0], 40);
    EXPECT_EQ(levels.PeakLevels[0], 40);

    // A bar of 2 falls to -1 for one call, then takes the new level.
    SpectrumLevels small;
    auto two = spectrum(0.004f);
    small.Update(two.data(), kHeight);
    small.Update(quiet.data(), kHeight);
    EXPECT_EQ(small.BarLevels[0], -1);
    small.Update(quiet.data(), kHeight);
    EXPECT_EQ(small.BarLevels[0], 0);
}

TEST(DrawSpectrum, SilenceDrawsARowOfMarksFiveRowsAboveTheBottom) {
    SpectrumLevels levels;
    const auto silence = spectrum();
    levels.Update(silence.data(), kHeight);
    QImage canvas(kWidth, kHeight, QImage::Format_RGB32);
    canvas.fill(Qt::red);
    playback::DrawSpectrum(canvas, levels, 0, -5, kYellow);
    for (int x = 0; x < kWidth; ++x) {
        SCOPED_TRACE(x);
        const bool markColumn = x % 4 != 3;
        EXPECT_EQ(yellowRows(canvas, x),
                  markColumn ? std::vector<int>{kHeight - 5} : std::vector<int>{});
        EXPECT_EQ(canvas.pixelColor(x, 0), QColor(Qt::black)); // the old red is painted over
    }
}

TEST(DrawSpectrum, FullScaleIsClippedAndTheMarkFallsBackIntoView) {
    SpectrumLevels levels;
    auto full = spectrum(1.0f);
    levels.Update(full.data(), kHeight);
    QImage canvas(kWidth, kHeight, QImage::Format_RGB32);
    playback::DrawSpectrum(canvas, levels, 0, -5, kYellow);
    // Bar 0 fills rows 0 .. H-6 (its top, row -5, and the mark lie above the box).
    std::vector<int> barRows;
    for (int y = 0; y <= kHeight - 6; ++y)
        barRows.push_back(y);
    EXPECT_EQ(yellowRows(canvas, 0), barRows);
    EXPECT_EQ(yellowRows(canvas, 3), std::vector<int>{});
    EXPECT_EQ(yellowRows(canvas, 4), std::vector<int>{kHeight - 5}); // bar 1 is silent

    const auto silence = spectrum();
    std::vector<int> markRows;
    for (int call = 0; call < 7; ++call) {
        levels.Update(silence.data(), kHeight);
        playback::DrawSpectrum(canvas, levels, 0, -5, kYellow);
        const std::vector<int> rows = yellowRows(canvas, 1);
        // The mark is the topmost yellow pixel unless it is still above the box.
        markRows.push_back(levels.PeakLevels[0] > kHeight - 5 ? -1 : rows.front());
    }
    // Marks at levels 48..44 sit at rows -4..0: out of view until level 44.
    EXPECT_EQ(markRows, (std::vector<int>{-1, -1, -1, -1, 0, 1, 2}));
}

TEST(DrawSpectrum, OnlyTheFirst27BarsReachIntoTheBox) {
    SpectrumLevels levels;
    std::array<float, 513> data{};
    data.fill(0.02f); // level 10 for every bar
    levels.Update(data.data(), kHeight);
    QImage canvas(kWidth, kHeight, QImage::Format_RGB32);
    playback::DrawSpectrum(canvas, levels, 0, -5, kYellow);
    // Bar 26's single column: rows B-10 .. B-1, its mark on the top row.
    std::vector<int> rows;
    for (int y = kHeight - 15; y <= kHeight - 6; ++y)
        rows.push_back(y);
    EXPECT_EQ(yellowRows(canvas, 104), rows);
    EXPECT_EQ(yellowRows(canvas, 103), std::vector<int>{}); // the gap after bar 25
}

} // namespace
