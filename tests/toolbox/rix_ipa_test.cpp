#include "quillfen/toolbox/rix_ipa.h"

#include <gtest/gtest.h>

#include <numeric>

#include "quillfen/image/errors.h"

namespace quillfen {
namespace {

TEST(TRixIPA, NewObjectIsEmpty) {
    TRixIPA ipa;
    EXPECT_EQ(ipa.GetWidth(), 0);
    EXPECT_EQ(ipa.GetHeight(), 0);
    EXPECT_EQ(ipa.GetSize(), 0);
    EXPECT_TRUE(ipa.CreateBitmap().empty());
    EXPECT_EQ(ipa.GetPixels(), 0);
    EXPECT_THROW(ipa.GetMean(), MathError);
}

TEST(TRixIPA, LoadsGrayBitmapInRowOrderWithHistogram) {
    Bitmap b(256, 256, 0);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) b.setGray(x, y, static_cast<std::uint8_t>((x * 7 + y) & 255));
    TRixIPA ipa;
    ipa.LoadFromBitmap(b);
    EXPECT_EQ(ipa.GetSize(), 65536);
    EXPECT_EQ(ipa.GetPixelCount(), 65536);
    EXPECT_EQ(ipa.Pixel(3, 2), (3 * 7 + 2) & 255);
    const auto& h = ipa.GetHistogramCounts();
    EXPECT_EQ(std::accumulate(h.begin(), h.end(), 0), 65536);
    EXPECT_EQ(ipa.GetPixels(), 65536);
    EXPECT_EQ(ipa.CreateBitmap(), b);  // three bytes per pixel equal the loaded gray
}

TEST(TRixIPA, ColourPictureKeepsOnlyBlue) {
    Bitmap red(4, 4, 0), blue(4, 4, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            red.setBgr(x, y, 0, 0, 255);
            blue.setBgr(x, y, 255, 0, 0);
        }
    TRixIPA ipa;
    ipa.LoadFromBitmap(red);
    EXPECT_EQ(ipa.GetHistogram(0), 16);
    ipa.LoadFromBitmap(blue);
    EXPECT_EQ(ipa.GetHistogram(255), 16);
}

TEST(TRixIPA, AnOperationReplacesTheImageAndItsHistogram) {
    const std::vector<std::uint8_t> gray{10, 20, 30, 40};
    TRixIPA ipa;
    ipa.LoadFromGray(2, 2, gray.data());
    ipa.Inverse();
    EXPECT_EQ(ipa.GetImage(), (std::vector<std::uint8_t>{245, 235, 225, 215}));
    EXPECT_EQ(ipa.GetHistogram(245), 1);
    EXPECT_EQ(ipa.GetHistogram(10), 0);
}

TEST(TRixIPA, LargePicturesLiveInPlanesOfTheirSize) {
    Bitmap photo(1024, 768, 9);
    TRixIPA ipa;
    ipa.LoadFromBitmap(photo);
    EXPECT_EQ(ipa.GetPixelCount(), 1024 * 768);
    EXPECT_EQ(ipa.GetHistogram(9), 1024 * 768);
}

TEST(TRixIPA, AbsurdSizesAreRefusedBeforeAllocating) {
    TRixIPA ipa;
    const std::vector<std::uint8_t> gray{1, 2};
    ipa.LoadFromGray(2, 1, gray.data());
    // The pixels are never read: the size check comes first.
    EXPECT_THROW(ipa.LoadFromGray(32769, 1, nullptr), FormatError);
    EXPECT_THROW(ipa.LoadFromGray(32768, 32768, nullptr), FormatError);
    EXPECT_THROW(ipa.LoadFromGray(-5, 10, nullptr), FormatError);
    EXPECT_EQ(ipa.GetWidth(), 2);  // unchanged
    EXPECT_EQ(ipa.GetImage(), gray);
}

}  // namespace
}  // namespace quillfen
