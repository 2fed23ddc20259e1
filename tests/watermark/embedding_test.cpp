#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "quillfen/image/errors.h"
#include "quillfen/watermark/watermark.h"
#include "tests/watermark/workspace_buffers.h"

namespace quillfen {
namespace {

TEST(Reduce, TakesTheMidBandInZigZagOrder) {
    TWatermark::Reals y(256 * 256, -1.0);
    for (int k = 0; k < 64; ++k) y[(k / 8) * 256 + k % 8] = k;
    TWatermark::Reals yr(128 * 128);
    TWatermark::Reduce(y, yr);
    const double expected[4][4] = {{4, 5, 12, 19}, {26, 33, 40, 48}, {41, 34, 27, 20}, {13, 6, 7, 14}};
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) EXPECT_EQ(yr[a * 128 + b], expected[a][b]) << a << "," << b;
}

TEST(MapBack, AfterReduceReproducesTheCoefficients) {
    std::mt19937 rng(5);
    TWatermark::Reals y(256 * 256);
    for (double& v : y) v = static_cast<double>(rng() % 10000) / 7.0 - 500;
    TWatermark::Reals yr(128 * 128);
    TWatermark::Reals back(256 * 256);
    TWatermark::Reduce(y, yr);
    TWatermark::MapBack(y, yr, back);
    EXPECT_EQ(std::memcmp(y.data(), back.data(), y.size() * sizeof(double)), 0);
}

// Sets g at (i, j) and q at its diagonal partner of an otherwise zero reduced plane.
struct Pair {
    int i, j, pi, pj;
};

TEST(Polarity, ComparesMagnitudesWithTheWrappedDiagonalPartner) {
    struct Case {
        Pair at;
        double g, q;
        int expected;
    };
    const Case cases[] = {
        {{10, 10, 14, 14}, -7, 5, 0},
        {{10, 10, 14, 14}, 5, -7, 255},
        {{10, 10, 14, 14}, 3, -3, 0},      // equal magnitudes give 0
        {{124, 124, 0, 0}, 1, 2, 255},     // wraps to (0, 0)
        {{127, 3, 3, 7}, 9, 2, 0},         // wraps to (3, 7)
    };
    for (const Case& c : cases) {
        TWatermark::Reals yr(128 * 128, 100.0);
        yr[c.at.i * 128 + c.at.j] = c.g;
        yr[c.at.pi * 128 + c.at.pj] = c.q;
        TWatermark::Bytes p(128 * 128);
        TWatermark::Polarity(yr, p);
        EXPECT_EQ(p[c.at.i * 128 + c.at.j], c.expected) << c.g << " vs " << c.q;
    }
}

TEST(Expand, MovesOnlyNonNegativeCoefficientsAcrossTheirPartner) {
    struct Case {
        int bit;
        double g, q, expected;
    };
    const Case cases[] = {
        {255, 5, 3, 3 - 2.0 / 10000},    // 2.9998
        {255, -5, 3, -5},                // negative: unchanged
        {0, 2, -6, 6 + 8.0 / 10000},     // 6.0008
        {0, 4, -4, 4 + 8.0 / 10000},     // q = -g with bit 0: g + 2g / D
        {255, 3, 3, 3},                  // equal magnitudes with bit 255: unchanged
        {0, 7, 2, 7},                    // polarity already 0
        {255, 2, 7, 2},                  // polarity already 255
    };
    for (const Case& c : cases) {
        TWatermark::Reals yr(128 * 128, 0.0);
        yr[20 * 128 + 20] = c.g;
        yr[24 * 128 + 24] = c.q;
        TWatermark::Bytes map(128 * 128, 0);
        map[20 * 128 + 20] = static_cast<std::uint8_t>(c.bit);
        TWatermark::Reals out(128 * 128);
        TWatermark::Expand(yr, map, 10000, out);
        EXPECT_EQ(out[20 * 128 + 20], c.expected) << c.bit << " " << c.g << " " << c.q;
    }
}

TEST(Expand, RefusesAZeroDivisor) {
    TWatermark::Reals yr(128 * 128, 1.0);
    TWatermark::Bytes map(128 * 128, 0);
    TWatermark::Reals out(128 * 128, 42.0);
    EXPECT_THROW(TWatermark::Expand(yr, map, 0, out), MathError);
    EXPECT_EQ(out[0], 42.0);
}

TEST(GetP_hat, IsTheExclusiveOr) {
    TWatermark w;
    Buffers(w).P = {0, 0, 255, 255};
    Buffers(w).Wa = {0, 255, 0, 255};
    Buffers(w).P.resize(128 * 128, 0);
    Buffers(w).Wa.resize(128 * 128, 0);
    w.GetP_hat();
    EXPECT_EQ(Buffers(w).P_hat[0], 0);
    EXPECT_EQ(Buffers(w).P_hat[1], 255);
    EXPECT_EQ(Buffers(w).P_hat[2], 255);
    EXPECT_EQ(Buffers(w).P_hat[3], 0);
    EXPECT_EQ(Buffers(w).Display128, Buffers(w).P_hat);
}

// With Yr_hat = Yr nothing is embedded: X_hat is X or X + 1 and X_hat_real is about X + 0.5.
TEST(Embedding, UnchangedCoefficientsGiveBackTheHost) {
    TWatermark w;
    std::mt19937 rng(8);
    for (auto& v : Buffers(w).X) v = static_cast<std::uint8_t>(rng() % 255);
    w.GetY();
    w.GetYr();
    Buffers(w).Yr_hat = Buffers(w).Yr;
    w.GetY_hat();
    EXPECT_EQ(std::memcmp(Buffers(w).Y.data(), Buffers(w).Y_hat.data(), Buffers(w).Y.size() * sizeof(double)), 0);
    w.GetX_hat();
    for (int p = 0; p < TWatermark::kHostPixels; ++p) {
        const int diff = Buffers(w).X_hat[p] - Buffers(w).X[p];
        ASSERT_TRUE(diff == 0 || diff == 1) << p;
        ASSERT_NEAR(Buffers(w).X_hat_real[p], Buffers(w).X[p] + 0.5, 1e-9) << p;
    }
    EXPECT_EQ(Buffers(w).Display256, Buffers(w).X_hat);
}

}  // namespace
}  // namespace quillfen
