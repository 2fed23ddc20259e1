#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "quillfen/watermark/watermark.h"
#include "tests/test_support.h"
#include "tests/watermark/workspace_buffers.h"

namespace quillfen {
namespace {

void RandomWatermarked(TWatermark& w, unsigned seed) {
    std::mt19937 rng(seed);
    for (int p = 0; p < TWatermark::kHostPixels; ++p) {
        Buffers(w).X[p] = static_cast<std::uint8_t>(rng() % 256);
        Buffers(w).X_hat[p] = static_cast<std::uint8_t>(rng() % 256);
        Buffers(w).X_hat_real[p] = Buffers(w).X_hat[p] + 0.25;
    }
}

bool SameReals(const TWatermark::Reals& a, const TWatermark::Reals& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(CopyXhToXw, CopiesBothForms) {
    TWatermark w;
    RandomWatermarked(w, 1);
    w.CopyXhToXw();
    EXPECT_EQ(Buffers(w).X_wave, Buffers(w).X_hat);
    EXPECT_TRUE(SameReals(Buffers(w).X_wave_real, Buffers(w).X_hat_real));
    EXPECT_EQ(Buffers(w).Display256, Buffers(w).X_wave);
}

TEST(ApplyJpeg, ConstantPictureSurvivesExactly) {
    TWatermark w;
    std::fill(Buffers(w).X_hat.begin(), Buffers(w).X_hat.end(), std::uint8_t{77});
    std::fill(Buffers(w).X_hat_real.begin(), Buffers(w).X_hat_real.end(), 77.0);
    const auto result = w.ApplyJpeg();
    for (int p = 0; p < TWatermark::kHostPixels; ++p) {
        ASSERT_NEAR(Buffers(w).X_wave_real[p], 77.5, 1e-9);  // the inverse's + 0.5
        ASSERT_TRUE(Buffers(w).X_wave[p] == 77 || Buffers(w).X_wave[p] == 78);
    }
    ASSERT_TRUE(result.has_value());
    EXPECT_NEAR(result->SumSq, 65536 * 0.25, 1e-6);
    EXPECT_EQ(Buffers(w).Display256, Buffers(w).X_wave);
}

// Steps are 0.5 * table: 8 for the DC, 5.5 at index 1; quotients round halves away from zero.
TEST(QuantiseJpeg, RoundsHalvesAwayFromZeroAndRestores) {
    struct Case {
        int index;
        double coefficient;
        double restored;
    };
    const Case cases[] = {{1, 2.75, 5.5}, {1, -2.75, -5.5}, {1, 2.7, 0.0}, {1, -2.7, 0.0},
                          {0, 8 * 77.0, 8 * 77.0}, {63, 24.75, 49.5}, {9, -9.0, -12.0}};
    for (const Case& c : cases) {
        TWatermark::Reals plane(256 * 256, 0.0);
        const int p = (8 + c.index / 8) * 256 + 8 + c.index % 8;
        plane[p] = c.coefficient;
        TWatermark::QuantiseJpeg(plane, 0.5);
        EXPECT_EQ(plane[p], c.restored) << c.index << " " << c.coefficient;
    }
}

TEST(ApplyBlurring, SinglePixelAndFrame) {
    TWatermark w;
    std::fill(Buffers(w).X_hat.begin(), Buffers(w).X_hat.end(), std::uint8_t{0});
    std::fill(Buffers(w).X_hat_real.begin(), Buffers(w).X_hat_real.end(), 0.0);
    const int r = 100;
    const int c = 50;
    Buffers(w).X_hat[r * 256 + c] = 255;
    Buffers(w).X_hat_real[r * 256 + c] = 255.0;
    w.ApplyBlurring();
    EXPECT_EQ(Buffers(w).X_wave[r * 256 + c], 63);
    EXPECT_EQ(Buffers(w).X_wave_real[r * 256 + c], 63.75);
    EXPECT_EQ(Buffers(w).X_wave[(r - 1) * 256 + c], 31);
    EXPECT_EQ(Buffers(w).X_wave[r * 256 + c + 1], 31);
    EXPECT_EQ(Buffers(w).X_wave[(r + 1) * 256 + c + 1], 15);
    EXPECT_EQ(Buffers(w).X_wave_real[(r + 1) * 256 + c - 1], 255.0 / 16);

    RandomWatermarked(w, 2);
    w.ApplyBlurring();
    for (int i = 0; i < 256; ++i)
        for (int p : {i, 255 * 256 + i, i * 256, i * 256 + 255}) {
            ASSERT_EQ(Buffers(w).X_wave[p], Buffers(w).X_hat[p]) << p;
            ASSERT_EQ(Buffers(w).X_wave_real[p], Buffers(w).X_hat_real[p]) << p;
        }
    EXPECT_EQ(Buffers(w).Display256, Buffers(w).X_wave);
}

TEST(ApplyBlurring, ConstantPictureUnchanged) {
    TWatermark w;
    std::fill(Buffers(w).X_hat.begin(), Buffers(w).X_hat.end(), std::uint8_t{201});
    std::fill(Buffers(w).X_hat_real.begin(), Buffers(w).X_hat_real.end(), 201.0);
    w.ApplyBlurring();
    EXPECT_TRUE(std::all_of(Buffers(w).X_wave.begin(), Buffers(w).X_wave.end(), [](auto v) { return v == 201; }));
    EXPECT_TRUE(std::all_of(Buffers(w).X_wave_real.begin(), Buffers(w).X_wave_real.end(), [](double v) { return v == 201.0; }));
}

TEST(Cropping, RegionsAndFillers) {
    struct Case {
        const char* name;
        void (TWatermark::*apply)();
        bool half;
        bool image;
    };
    const Case cases[] = {
        {"zero quarter", &TWatermark::ApplyCroppingByZeroInQuarter, false, false},
        {"image quarter", &TWatermark::ApplyCroppingByImgInQuarter, false, true},
        {"zero half", &TWatermark::ApplyCroppingByZeroInHalf, true, false},
        {"image half", &TWatermark::ApplyCroppingByImgInHalf, true, true},
    };
    for (const Case& c : cases) {
        TWatermark w;
        RandomWatermarked(w, 3);
        (w.*c.apply)();
        for (int r = 0; r < 256; ++r)
            for (int col = 0; col < 256; ++col) {
                const int p = r * 256 + col;
                const bool inside = c.half ? (r <= 63 || r >= 192) : (r <= 127 && col <= 127);
                const int byte = inside ? (c.image ? Buffers(w).X[p] : 0) : Buffers(w).X_hat[p];
                const double real = inside ? (c.image ? Buffers(w).X[p] : 0.0) : Buffers(w).X_hat_real[p];
                ASSERT_EQ(Buffers(w).X_wave[p], byte) << c.name << " " << r << "," << col;
                ASSERT_EQ(Buffers(w).X_wave_real[p], real) << c.name << " " << r << "," << col;
            }
        EXPECT_EQ(Buffers(w).Display256, Buffers(w).X_wave) << c.name;
    }
}

}  // namespace
}  // namespace quillfen
