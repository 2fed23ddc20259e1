#pragma once
// The histogram window's chart as a picture, drawn without any GUI toolkit so that the
// window and quillfen-cli show the same thing: 256 columns of black bars rising from the
// bottom of a 256 x 127 light area, and under it a 256 x 16 ramp from black to white lined
// up with the columns.
#include <array>
#include <cstdint>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

inline constexpr int kHistogramChartWidth = 256;
inline constexpr int kHistogramChartHeight = 127;
inline constexpr int kGrayScaleBarHeight = 16;
// The light background of the bars (a button-face gray).
inline constexpr std::uint8_t kHistogramChartBackground = 240;

// Height in pixels of each level's bar: (chartHeight * count) div the largest count, so the
// most frequent level fills the chart and a level below max / chartHeight shows nothing.
// All 0 when every count is 0.
std::array<int, 256> HistogramBarHeights(const std::array<std::int32_t, 256>& counts,
                                         int chartHeight = kHistogramChartHeight);

// The chart (rows 0..126) with the gray-scale bar under it (rows 127..142).
Bitmap DrawHistogramChart(const std::array<std::int32_t, 256>& counts);

}  // namespace quillfen
QUILLFEN_API_END
