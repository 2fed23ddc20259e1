// The detector's transforms against the direct sums they stand for.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "sync/sync_fft.h"
#include "tests/test_support.h"

namespace quillfen::sync {
namespace {

// sum_j x_j e^(-+2 pi i jk/n) in long double.
void DirectDft(const std::vector<double>& re, const std::vector<double>& im, bool inverse, std::vector<double>& outRe,
               std::vector<double>& outIm) {
    const std::size_t n = re.size();
    outRe.assign(n, 0);
    outIm.assign(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        long double sr = 0, si = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const long double a = (inverse ? 2 : -2) * 3.14159265358979323846264338327950288L * static_cast<long double>(j * k % n) / n;
            sr += re[j] * std::cos(a) - im[j] * std::sin(a);
            si += re[j] * std::sin(a) + im[j] * std::cos(a);
        }
        outRe[k] = static_cast<double>(sr);
        outIm[k] = static_cast<double>(si);
    }
}

TEST(SyncFft, OneDimensionMatchesTheDirectSumBothWays) {
    RandomStream random(5);
    for (const int n : {1, 2, 8, 64}) {
        std::vector<double> re(n), im(n);
        for (int i = 0; i < n; ++i) {
            re[i] = random.Gaussian();
            im[i] = random.Gaussian();
        }
        for (const bool inverse : {false, true}) {
            std::vector<double> wantRe, wantIm, gotRe = re, gotIm = im;
            DirectDft(re, im, inverse, wantRe, wantIm);
            Fft(n).Transform(gotRe.data(), gotIm.data(), 1, inverse);
            for (int k = 0; k < n; ++k) {
                EXPECT_NEAR(gotRe[k], wantRe[k], 1e-12 * n) << "n " << n << " k " << k;
                EXPECT_NEAR(gotIm[k], wantIm[k], 1e-12 * n) << "n " << n << " k " << k;
            }
        }
    }
}

TEST(SyncFft, TwoDimensionsAreRowsThenColumnsAndInvertUpToTheSize) {
    // An impulse at (x, y) = (1, 2) of an 8 x 4 grid: e^(-2 pi i (kx / 8 + 2 ky / 4)).
    const int nx = 8, ny = 4;
    std::vector<double> re(nx * ny, 0.0), im(nx * ny, 0.0);
    re[2 * nx + 1] = 1;
    const Fft2 fft(nx, ny);
    fft.Transform(re, im, false);
    for (int ky = 0; ky < ny; ++ky)
        for (int kx = 0; kx < nx; ++kx) {
            const double a = -2 * M_PI * (kx / 8.0 + 2.0 * ky / 4.0);
            EXPECT_NEAR(re[ky * nx + kx], std::cos(a), 1e-14);
            EXPECT_NEAR(im[ky * nx + kx], std::sin(a), 1e-14);
        }
    fft.Transform(re, im, true);
    for (int i = 0; i < nx * ny; ++i) {
        EXPECT_NEAR(re[i], i == 2 * nx + 1 ? nx * ny : 0.0, 1e-13);
        EXPECT_NEAR(im[i], 0.0, 1e-13);
    }
}

// Transforms side by side in vector lanes give each transform the bits it gets alone, on every
// target, for counts that fill the lanes and counts that leave a remainder; the 2-D transform
// built on them gives the bits of its rows then columns taken one at a time.
TEST(SyncFft, SideBySideTransformsAreEachTransformAloneBitForBit) {
    RandomStream random(11);
    const int n = 64;
    for (const int count : {1, 3, 16, 21}) {
        std::vector<double> re(static_cast<std::size_t>(n) * count), im(re.size());
        for (double& v : re) v = random.Gaussian() * 100;
        for (double& v : im) v = random.Gaussian();
        for (const bool inverse : {false, true}) {
            std::vector<double> wantRe = re, wantIm = im;
            for (int c = 0; c < count; ++c) Fft(n).Transform(wantRe.data() + c, wantIm.data() + c, count, inverse);
            std::vector<double> plainRe = re, plainIm = im;
            Fft(n).TransformSideBySidePlain(plainRe.data(), plainIm.data(), count, inverse);
            EXPECT_EQ(std::memcmp(plainRe.data(), wantRe.data(), re.size() * sizeof(double)), 0) << count;
            EXPECT_EQ(std::memcmp(plainIm.data(), wantIm.data(), im.size() * sizeof(double)), 0) << count;
            test::ForEachVectorTarget([&](const std::string& target) {
                std::vector<double> gotRe = re, gotIm = im;
                Fft(n).TransformSideBySide(gotRe.data(), gotIm.data(), count, inverse);
                EXPECT_EQ(std::memcmp(gotRe.data(), wantRe.data(), re.size() * sizeof(double)), 0) << target << " " << count;
                EXPECT_EQ(std::memcmp(gotIm.data(), wantIm.data(), im.size() * sizeof(double)), 0) << target << " " << count;
            });
        }
    }
    // 2-D: 64 rows of 32 (blocks of rows and of columns), and 4 rows of 8 (fewer than a block).
    for (const auto& [nx, ny] : {std::pair{32, 64}, std::pair{8, 4}}) {
        std::vector<double> re(static_cast<std::size_t>(nx) * ny), im(re.size());
        for (double& v : re) v = random.Gaussian();
        for (double& v : im) v = random.Gaussian();
        std::vector<double> wantRe = re, wantIm = im;
        for (int y = 0; y < ny; ++y) Fft(nx).Transform(wantRe.data() + y * nx, wantIm.data() + y * nx, 1, false);
        for (int x = 0; x < nx; ++x) Fft(ny).Transform(wantRe.data() + x, wantIm.data() + x, nx, false);
        test::ForEachVectorTarget([&](const std::string& target) {
            std::vector<double> gotRe = re, gotIm = im;
            Fft2(nx, ny).Transform(gotRe, gotIm, false);
            EXPECT_EQ(std::memcmp(gotRe.data(), wantRe.data(), re.size() * sizeof(double)), 0) << target << " " << nx;
            EXPECT_EQ(std::memcmp(gotIm.data(), wantIm.data(), im.size() * sizeof(double)), 0) << target << " " << nx;
        });
    }
}

TEST(SyncFft, RefusesSizesThatAreNotPowersOfTwo) {
    EXPECT_THROW(Fft(0), ArgumentError);
    EXPECT_THROW(Fft(12), ArgumentError);
    EXPECT_THROW(Fft(1 << 21), ArgumentError);
    EXPECT_THROW(Fft2(32, 24), ArgumentError);
}

}  // namespace
}  // namespace quillfen::sync
