// The warp's vector loop against the per-pixel formula on every vector target: positions on
// rounding ties, at the picture's last row and column (where the neighbours' word would run
// past the picture), outside it and NaN, which it must leave to the per-pixel form.
#include "warp_loops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "quillfen/image/round_half_even.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

std::uint8_t Literal(const std::vector<std::uint8_t>& plane, int width, double sx, double sy) {
    const int x0 = static_cast<int>(std::floor(sx));
    const int y0 = static_cast<int>(std::floor(sy));
    const double fx = sx - x0;
    const double fy = sy - y0;
    const auto at = [&](int x, int y) -> double { return plane[static_cast<std::size_t>(y * width + x)]; };
    const double top = (1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0);
    const double bottom = (1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1);
    const double v = (1 - fy) * top + fy * bottom;
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return static_cast<std::uint8_t>(RoundHalfEven(v));
}

TEST(WarpLoops, SampleRunsInsideAsThePerPixelFormAndStopBeforeTheRest) {
    constexpr int kWidth = 37;
    constexpr int kHeight = 5;
    std::mt19937_64 rng(41);
    std::vector<std::uint8_t> a(kWidth * kHeight);
    std::vector<std::uint8_t> b(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<std::uint8_t>(rng() % 256);
        b[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 0 : i % 3 == 1 ? 255 : rng() % 256);
    }
    // Inside positions of every kind: whole, halves (a tie of 0 and 1 gives 0.5), in the last
    // pair of rows and columns, where the word of the lower neighbours ends the picture.
    std::vector<double> sx;
    std::vector<double> sy;
    for (int k = 0; k < 64; ++k) {
        sx.push_back(std::uniform_real_distribution<double>(0, kWidth - 1)(rng));
        sy.push_back(std::uniform_real_distribution<double>(0, kHeight - 1)(rng));
    }
    for (const double x : {0.0, 0.5, 1.5, kWidth - 2.0, kWidth - 1.5, kWidth - 1.0 - 1e-9}) {
        sx.push_back(x);
        sy.push_back(kHeight - 1.5);
    }
    const std::size_t inside = sx.size();
    // Then positions the loop must leave: on the last column or row (no right or lower
    // neighbour), before the first, NaN.
    for (const auto& [x, y] : std::vector<std::pair<double, double>>{{kWidth - 1.0, 1.0},
                                                                      {1.0, kHeight - 1.0},
                                                                      {-0.5, 1.0},
                                                                      {std::numeric_limits<double>::quiet_NaN(), 1.0}}) {
        sx.push_back(x);
        sy.push_back(y);
    }
    const std::uint8_t* planes[] = {a.data(), b.data()};
    test::ForEachVectorTarget([&](const std::string& target) {
        std::vector<std::uint8_t> outA(sx.size(), 7);
        std::vector<std::uint8_t> outB(sx.size(), 7);
        std::uint8_t* targets[] = {outA.data(), outB.data()};
        std::size_t x = 0;
        while (x < inside) {
            const std::size_t stop = warp_loops::BilinearInside(planes, targets, 2, sx.data(), sy.data(), x, inside,
                                                                kWidth, kHeight);
            if (stop == x) break;  // fewer left than a vector holds
            x = stop;
        }
        for (std::size_t i = 0; i < x; ++i) {
            EXPECT_EQ(outA[i], Literal(a, kWidth, sx[i], sy[i])) << target << ", position " << i;
            EXPECT_EQ(outB[i], Literal(b, kWidth, sx[i], sy[i])) << target << ", position " << i;
        }
        for (std::size_t i = x; i < inside; ++i) EXPECT_EQ(outA[i], 7) << target << ": the tail is the caller's";
        // Every run that reaches a position outside stops before it, writing nothing of it.
        for (std::size_t first = inside - 3; first < sx.size(); ++first) {
            const std::size_t stop =
                warp_loops::BilinearInside(planes, targets, 2, sx.data(), sy.data(), first, sx.size(), kWidth, kHeight);
            EXPECT_LE(stop, std::max(first, inside)) << target << ", from " << first;
            EXPECT_EQ(outA[inside], 7) << target;
        }
    });
}

}  // namespace
}  // namespace quillfen
