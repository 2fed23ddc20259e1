#include "quillfen/toolbox/histogram_chart.h"

#include <algorithm>

namespace quillfen {

std::array<int, 256> HistogramBarHeights(const std::array<std::int32_t, 256>& counts, int chartHeight) {
    std::array<int, 256> bars{};
    const std::int64_t max = *std::max_element(counts.begin(), counts.end());
    // An empty histogram has no largest count to scale by: it draws no bars at all.
    if (max <= 0) return bars;
    for (int i = 0; i < 256; ++i) {
        const std::int64_t count = std::max<std::int32_t>(counts[i], 0);
        bars[i] = static_cast<int>(std::int64_t{chartHeight} * count / max);
    }
    return bars;
}

Bitmap DrawHistogramChart(const std::array<std::int32_t, 256>& counts) {
    Bitmap chart(kHistogramChartWidth, kHistogramChartHeight + kGrayScaleBarHeight, 0);
    const std::array<int, 256> bars = HistogramBarHeights(counts);
    for (int x = 0; x < kHistogramChartWidth; ++x) {
        // Light from the top down to the bar; the lowest bars[x] pixels stay black.
        for (int y = 0; y < kHistogramChartHeight - bars[x]; ++y) chart.setGray(x, y, kHistogramChartBackground);
        for (int y = kHistogramChartHeight; y < kHistogramChartHeight + kGrayScaleBarHeight; ++y)
            chart.setGray(x, y, static_cast<std::uint8_t>(x));
    }
    return chart;
}

}  // namespace quillfen
