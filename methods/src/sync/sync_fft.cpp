#include "sync_fft.h"

#include <algorithm>
#include <string>
#include <utility>

#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"

#if QF_SIMD

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "sync/sync_fft.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quillfen::sync {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// The butterflies of Fft::Transform on `count` transforms side by side (transform c's value j
// at j * count + c), each in its own lane with the plain form's products, sums and differences
// in its order (no fused multiply-add): every lane gets the bits the plain form gives.
void Butterflies(double* HWY_RESTRICT re, double* HWY_RESTRICT im, int n, int count, const double* cosines,
                 const double* sines, double sign) {
    const hn::ScalableTag<double> d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    const std::size_t c = static_cast<std::size_t>(count);
    for (int half = 1; half < n; half *= 2) {
        const int step = n / (2 * half);
        for (int start = 0; start < n; start += 2 * half)
            for (int k = 0; k < half; ++k) {
                const double wr = cosines[k * step], wi = -sign * sines[k * step];
                double* ra = re + static_cast<std::size_t>(start + k) * c;
                double* ia = im + static_cast<std::size_t>(start + k) * c;
                double* rb = re + static_cast<std::size_t>(start + k + half) * c;
                double* ib = im + static_cast<std::size_t>(start + k + half) * c;
                const auto vwr = hn::Set(d, wr), vwi = hn::Set(d, wi);
                int i = 0;
                for (; i + lanes <= count; i += lanes) {
                    const auto br = hn::LoadU(d, rb + i), bi = hn::LoadU(d, ib + i);
                    const auto ar = hn::LoadU(d, ra + i), ai = hn::LoadU(d, ia + i);
                    const auto tr = hn::Sub(hn::Mul(br, vwr), hn::Mul(bi, vwi));
                    const auto ti = hn::Add(hn::Mul(br, vwi), hn::Mul(bi, vwr));
                    hn::StoreU(hn::Sub(ar, tr), d, rb + i);
                    hn::StoreU(hn::Sub(ai, ti), d, ib + i);
                    hn::StoreU(hn::Add(ar, tr), d, ra + i);
                    hn::StoreU(hn::Add(ai, ti), d, ia + i);
                }
                for (; i < count; ++i) {
                    const double tr = rb[i] * wr - ib[i] * wi;
                    const double ti = rb[i] * wi + ib[i] * wr;
                    rb[i] = ra[i] - tr;
                    ib[i] = ia[i] - ti;
                    ra[i] = ra[i] + tr;
                    ia[i] = ia[i] + ti;
                }
            }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace quillfen::sync
HWY_AFTER_NAMESPACE();

#endif  // QF_SIMD

#if !QF_SIMD || HWY_ONCE
namespace quillfen::sync {

namespace {

void PlainButterflies(double* re, double* im, int n, int count, const double* cosines, const double* sines, double sign) {
    const std::size_t c = static_cast<std::size_t>(count);
    for (int half = 1; half < n; half *= 2) {
        const int step = n / (2 * half);
        for (int start = 0; start < n; start += 2 * half)
            for (int k = 0; k < half; ++k) {
                const double wr = cosines[k * step], wi = -sign * sines[k * step];
                for (std::size_t i = 0; i < c; ++i) {
                    const std::size_t a = static_cast<std::size_t>(start + k) * c + i;
                    const std::size_t b = static_cast<std::size_t>(start + k + half) * c + i;
                    const double tr = re[b] * wr - im[b] * wi;
                    const double ti = re[b] * wi + im[b] * wr;
                    re[b] = re[a] - tr;
                    im[b] = im[a] - ti;
                    re[a] = re[a] + tr;
                    im[a] = im[a] + ti;
                }
            }
    }
}

// Transforms are taken this many at a time through a contiguous block (a block of columns, or
// of rows turned on their side): wide enough to fill the vector lanes, small enough that the
// block of a 512-point transform stays in the core's own cache.
constexpr int kBlockTransforms = 16;

}  // namespace

#if QF_SIMD
HWY_EXPORT(Butterflies);
#endif

Fft::Fft(int n) : n_(n) {
    if (n < 1 || n > (1 << 20) || (n & (n - 1)) != 0)
        throw ArgumentError("a transform of " + std::to_string(n) + " values: the size is not a power of two up to 2^20");
    cos_.resize(static_cast<std::size_t>(n / 2));
    sin_.resize(static_cast<std::size_t>(n / 2));
    for (int k = 0; k < n / 2; ++k) SinCosDegrees(360.0 * k / n, sin_[k], cos_[k]);
    reversed_.resize(static_cast<std::size_t>(n));
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        reversed_[i] = r;
    }
}

void Fft::Transform(double* re, double* im, int stride, bool inverse) const {
    const std::size_t s = static_cast<std::size_t>(stride);
    for (int i = 0; i < n_; ++i) {
        const int j = reversed_[i];
        if (j > i) {
            std::swap(re[i * s], re[j * s]);
            std::swap(im[i * s], im[j * s]);
        }
    }
    const double sign = inverse ? -1.0 : 1.0;
    for (int half = 1; half < n_; half *= 2) {
        const int step = n_ / (2 * half);
        for (int start = 0; start < n_; start += 2 * half)
            for (int k = 0; k < half; ++k) {
                const double wr = cos_[k * step], wi = -sign * sin_[k * step];
                const std::size_t a = (start + k) * s, b = (start + k + half) * s;
                const double tr = re[b] * wr - im[b] * wi;
                const double ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] = re[a] + tr;
                im[a] = im[a] + ti;
            }
    }
}

void Fft::ReverseSideBySide(double* re, double* im, int count) const {
    const std::size_t c = static_cast<std::size_t>(count);
    for (int i = 0; i < n_; ++i) {
        const int j = reversed_[i];
        if (j > i) {
            std::swap_ranges(re + i * c, re + (i + 1) * c, re + j * c);
            std::swap_ranges(im + i * c, im + (i + 1) * c, im + j * c);
        }
    }
}

void Fft::TransformSideBySide(double* re, double* im, int count, bool inverse) const {
    ReverseSideBySide(re, im, count);
    const double sign = inverse ? -1.0 : 1.0;
    const double* cosines = cos_.data();
    const double* sines = sin_.data();
#if QF_SIMD
    HWY_DYNAMIC_DISPATCH(Butterflies)(re, im, n_, count, cosines, sines, sign);
#else
    PlainButterflies(re, im, n_, count, cosines, sines, sign);
#endif
}

void Fft::TransformSideBySidePlain(double* re, double* im, int count, bool inverse) const {
    ReverseSideBySide(re, im, count);
    PlainButterflies(re, im, n_, count, cos_.data(), sin_.data(), inverse ? -1.0 : 1.0);
}

Fft2::Fft2(int nx, int ny) : x_(nx), y_(ny) {}

void Fft2::Transform(std::vector<double>& re, std::vector<double>& im, bool inverse) const {
    const int nx = x_.Size(), ny = y_.Size();
    const std::size_t w = static_cast<std::size_t>(nx);
    // The rows, a block of them at a time turned on their side (value j of the block's row r at
    // j * rows + r), then the columns, a block of them at a time copied out contiguous (strided
    // access of a large picture misses the cache). Each transform is Fft::Transform's, value for
    // value.
    const int rows = std::min(ny, kBlockTransforms), columns = std::min(nx, kBlockTransforms);
    std::vector<double> br(static_cast<std::size_t>(std::max(nx * rows, ny * columns)));
    std::vector<double> bi(br.size());
    for (int y0 = 0; y0 < ny; y0 += rows) {
        for (int r = 0; r < rows; ++r)
            for (int j = 0; j < nx; ++j) {
                br[static_cast<std::size_t>(j) * rows + r] = re[(y0 + r) * w + j];
                bi[static_cast<std::size_t>(j) * rows + r] = im[(y0 + r) * w + j];
            }
        x_.TransformSideBySide(br.data(), bi.data(), rows, inverse);
        for (int r = 0; r < rows; ++r)
            for (int j = 0; j < nx; ++j) {
                re[(y0 + r) * w + j] = br[static_cast<std::size_t>(j) * rows + r];
                im[(y0 + r) * w + j] = bi[static_cast<std::size_t>(j) * rows + r];
            }
    }
    for (int x0 = 0; x0 < nx; x0 += columns) {
        for (int y = 0; y < ny; ++y) {
            std::copy_n(re.data() + y * w + x0, columns, br.data() + static_cast<std::size_t>(y) * columns);
            std::copy_n(im.data() + y * w + x0, columns, bi.data() + static_cast<std::size_t>(y) * columns);
        }
        y_.TransformSideBySide(br.data(), bi.data(), columns, inverse);
        for (int y = 0; y < ny; ++y) {
            std::copy_n(br.data() + static_cast<std::size_t>(y) * columns, columns, re.data() + y * w + x0);
            std::copy_n(bi.data() + static_cast<std::size_t>(y) * columns, columns, im.data() + y * w + x0);
        }
    }
}

}  // namespace quillfen::sync
#endif  // !QF_SIMD || HWY_ONCE
