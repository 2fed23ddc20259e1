// The detector's transforms against the direct sums they stand for.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "sync/sync_fft.h"

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

TEST(SyncFft, RefusesSizesThatAreNotPowersOfTwo) {
    EXPECT_THROW(Fft(0), ArgumentError);
    EXPECT_THROW(Fft(12), ArgumentError);
    EXPECT_THROW(Fft(1 << 21), ArgumentError);
    EXPECT_THROW(Fft2(32, 24), ArgumentError);
}

}  // namespace
}  // namespace quillfen::sync
