#include <gtest/gtest.h>

#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/toolbox/histogram_chart.h"
#include "quillfen/toolbox/rix_ipa.h"

namespace quillfen {
namespace {

TEST(Histogram, CountsMeanAndPixels) {
    const std::vector<std::uint8_t> uniform(100, 200);
    TRixIPA ipa;
    ipa.LoadFromGray(10, 10, uniform.data());
    EXPECT_EQ(ipa.GetHistogram(200), 100);
    EXPECT_EQ(ipa.GetPixels(), 100);
    EXPECT_EQ(ipa.GetMean(), 200.0);
    for (int g = 0; g < 256; ++g)
        if (g != 200) {
            ASSERT_EQ(ipa.GetHistogram(static_cast<std::uint8_t>(g)), 0);
        }

    std::vector<std::uint8_t> halves(64, 0);
    std::fill(halves.begin() + 32, halves.end(), 255);
    ipa.LoadFromGray(8, 8, halves.data());
    EXPECT_EQ(ipa.GetMean(), 127.5);
    EXPECT_EQ(ipa.GetHistogram(255), 32);
}

// The histogram window and the CLI read the counts without recounting: after an operation
// and after Undo they must describe the image as it is then.
TEST(Histogram, AlwaysDescribesTheCurrentImage) {
    const std::vector<std::uint8_t> gray{10, 20, 30, 40};
    TRixIPA ipa;
    ipa.LoadFromGray(2, 2, gray.data());
    ipa.Inverse();
    EXPECT_EQ(ipa.GetHistogram(10), 0);
    EXPECT_EQ(ipa.GetHistogram(245), 1);
    EXPECT_EQ(ipa.GetMean(), 230.0);
    ipa.ThresholdByLaplacian(85);  // counts only some pixels while it works
    EXPECT_EQ(ipa.GetPixels(), 4);
    EXPECT_EQ(ipa.GetHistogram(0) + ipa.GetHistogram(255), 4);
}

TEST(HistogramChart, BarHeightsScaleToTheLargestCountAndTruncate) {
    std::array<std::int32_t, 256> counts{};
    counts[7] = 1270;
    counts[8] = 10;  // exactly max / 127: one pixel
    counts[9] = 9;   // below max / 127: nothing
    const auto bars = HistogramBarHeights(counts);
    EXPECT_EQ(bars[7], 127);
    EXPECT_EQ(bars[8], 1);
    EXPECT_EQ(bars[9], 0);
    // Large counts do not overflow the product.
    counts[9] = 2'000'000'000;
    EXPECT_EQ(HistogramBarHeights(counts)[9], 127);
    EXPECT_EQ(HistogramBarHeights(std::array<std::int32_t, 256>{})[0], 0);  // empty: no bars
}

TEST(HistogramChart, DrawsBlackBarsOnLightWithTheGrayRampBelow) {
    std::array<std::int32_t, 256> counts{};
    counts[100] = 50;  // a single level: one full column
    const Bitmap chart = DrawHistogramChart(counts);
    ASSERT_EQ(chart.width(), 256);
    ASSERT_EQ(chart.height(), 127 + 16);
    for (int y = 0; y < 127; ++y) {
        ASSERT_EQ(chart.blue(100, y), 0);
        ASSERT_EQ(chart.blue(99, y), kHistogramChartBackground);
    }
    for (int x = 0; x < 256; ++x) {
        ASSERT_EQ(chart.blue(x, 127), x);
        ASSERT_EQ(chart.blue(x, 142), x);
    }
}

}  // namespace
}  // namespace quillfen
