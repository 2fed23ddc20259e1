#include <gtest/gtest.h>

#include <algorithm>

#include "quillfen/image/number_format.h"
#include "quillfen/watermark/watermark.h"
#include "tests/test_support.h"
#include "tests/watermark/workspace_buffers.h"

namespace quillfen {
namespace {

TEST(ComputePSNR, KnownDifferences) {
    struct Case {
        const char* name;
        double offset;      // added to every pixel (or to pixel 0 only)
        bool onePixel;
        double sumSq;
        const char* psnr;   // "0.00000"
    };
    const Case cases[] = {
        {"one pixel by 1", 1.0, true, 1.0, "96.29560"},
        {"every pixel by 1", 1.0, false, 65536.0, "48.13080"},
        {"every pixel by 0.5", 0.5, false, 16384.0, "54.15140"},
    };
    for (const Case& c : cases) {
        TWatermark::Bytes reference(256 * 256, 100);
        TWatermark::Reals image(256 * 256, 100.0);
        if (c.onePixel) {
            image[12345] += c.offset;
        } else {
            for (double& v : image) v += c.offset;
        }
        const auto result = TWatermark::ComputePSNR(image, reference);
        ASSERT_TRUE(result.has_value()) << c.name;
        EXPECT_EQ(result->SumSq, c.sumSq) << c.name;
        EXPECT_EQ(FormatFixed(result->Psnr, 5), c.psnr) << c.name;
    }
}

TEST(ComputePSNR, EqualImagesHaveNoValue) {
    TWatermark::Bytes reference(256 * 256, 7);
    TWatermark::Reals image(256 * 256, 7.0);
    EXPECT_FALSE(TWatermark::ComputePSNR(image, reference).has_value());
}

TEST(GetPSNR_Diff, EqualImagesStillMakeAnAllBlackDifference) {
    TWatermark w;
    for (int p = 0; p < TWatermark::kHostPixels; ++p) {
        Buffers(w).X[p] = static_cast<std::uint8_t>(p % 251);
        Buffers(w).X_hat_real[p] = Buffers(w).X[p];
    }
    std::fill(Buffers(w).Display256.begin(), Buffers(w).Display256.end(), std::uint8_t{9});
    EXPECT_FALSE(w.GetPSNR_Diff().has_value());
    EXPECT_TRUE(std::all_of(Buffers(w).Display256.begin(), Buffers(w).Display256.end(), [](auto v) { return v == 0; }));
}

TEST(MakeDifferenceImage, StretchesAndClampsTheDifference) {
    TWatermark w;
    std::fill(Buffers(w).X.begin(), Buffers(w).X.end(), std::uint8_t{100});
    std::fill(Buffers(w).X_hat_real.begin(), Buffers(w).X_hat_real.end(), 100.4);  // rounds to 100: difference 0
    Buffers(w).X_hat_real[1] = 101.5;   // rounds to 102: difference 2
    Buffers(w).X_hat_real[2] = 99.0;    // difference 1
    Buffers(w).X_hat_real[3] = 1e9;     // far beyond 255 away: clamped to 255
    w.MakeDifferenceImage();
    EXPECT_EQ(Buffers(w).Display256[0], 0);
    EXPECT_EQ(Buffers(w).Display256[1], 2);   // 2 * 255 / 255
    EXPECT_EQ(Buffers(w).Display256[2], 1);
    EXPECT_EQ(Buffers(w).Display256[3], 255);

    Buffers(w).X_hat_real[3] = 100.0;  // now differences 0, 2, 1: stretched by 255 / 2
    w.MakeDifferenceImage();
    EXPECT_EQ(Buffers(w).Display256[1], 255);
    EXPECT_EQ(Buffers(w).Display256[2], 128);  // 127.5 half to even
}

TEST(NormalizedCorrelation, CountsTheReferencesBlackPixelsKeptInTheWindow) {
    TWatermark::Bytes reference(128 * 128, 255);
    TWatermark::Bytes extracted(128 * 128, 255);
    for (int i = 0; i < 100; ++i) reference[(10 + i / 10) * 128 + 10 + i % 10] = 0;
    for (int i = 0; i < 90; ++i) extracted[(10 + i / 10) * 128 + 10 + i % 10] = 0;
    auto nc = TWatermark::NormalizedCorrelation(extracted, reference);
    ASSERT_TRUE(nc.has_value());
    EXPECT_EQ(FormatFixed(*nc, 5), "0.90000");

    // Extra black pixels and anything in rows or columns 0..3 do not count.
    for (int i = 90; i < 100; ++i) extracted[(10 + i / 10) * 128 + 10 + i % 10] = 0;
    extracted[50 * 128 + 50] = 0;
    extracted[2 * 128 + 60] = 0;
    reference[60 * 128 + 1] = 0;
    EXPECT_EQ(TWatermark::NormalizedCorrelation(extracted, reference), 1.0);

    std::fill(extracted.begin(), extracted.end(), std::uint8_t{255});
    EXPECT_EQ(TWatermark::NormalizedCorrelation(extracted, reference), 0.0);
}

TEST(NormalizedCorrelation, UndefinedWithoutBlackReferenceInTheWindow) {
    TWatermark::Bytes reference(128 * 128, 255);
    reference[0] = 0;             // outside the window
    reference[127 * 128 + 2] = 0;  // column 2: outside too
    TWatermark::Bytes extracted(128 * 128, 0);
    EXPECT_FALSE(TWatermark::NormalizedCorrelation(extracted, reference).has_value());
}

}  // namespace
}  // namespace quillfen
