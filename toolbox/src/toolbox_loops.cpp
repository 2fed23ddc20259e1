#include "toolbox_loops.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "quillfen/image/round_half_even.h"

// Shared by the vector and the plain forms: one output pixel, which the vector loops also use
// for the pixels past their last whole vector.
#ifndef QUILLFEN_TOOLBOX_LOOPS_SHARED
#define QUILLFEN_TOOLBOX_LOOPS_SHARED
namespace quillfen::toolbox_loops::shared {

inline void Order(std::uint8_t& a, std::uint8_t& b) {
    const std::uint8_t lo = std::min(a, b);
    b = std::max(a, b);
    a = lo;
}

// Fifth smallest of nine: the 19 compare-exchanges of the classic median-of-9 network
// (Paeth). Any correct sort leaves the same value in the middle entry.
inline std::uint8_t MedianAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    std::uint8_t p0 = a[x - 1], p1 = a[x], p2 = a[x + 1];
    std::uint8_t p3 = b[x - 1], p4 = b[x], p5 = b[x + 1];
    std::uint8_t p6 = c[x - 1], p7 = c[x], p8 = c[x + 1];
    Order(p1, p2); Order(p4, p5); Order(p7, p8);
    Order(p0, p1); Order(p3, p4); Order(p6, p7);
    Order(p1, p2); Order(p4, p5); Order(p7, p8);
    Order(p0, p3); Order(p5, p8); Order(p4, p7);
    Order(p3, p6); Order(p1, p4); Order(p2, p5);
    Order(p4, p7); Order(p4, p2); Order(p6, p4);
    Order(p4, p2);
    return p4;
}

// The nine-value sum fits easily in an int; the division truncates (2294 gives 254).
inline std::uint8_t MeanAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    const int sum = a[x - 1] + a[x] + a[x + 1] + b[x - 1] + b[x] + b[x + 1] + c[x - 1] + c[x] + c[x + 1];
    return static_cast<std::uint8_t>(sum / 9);
}

inline std::uint8_t ContractAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    const std::uint8_t low = std::min(std::min(a[x - 1], a[x + 1]), std::min(c[x - 1], c[x + 1]));
    return low == 0 ? 0 : b[x];
}

inline std::uint8_t ExpandAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    const std::uint8_t high = std::max(std::max(a[x - 1], a[x + 1]), std::max(c[x - 1], c[x + 1]));
    return high == 255 ? 255 : b[x];
}

// M x factor for a whole-number scale 0..255: no rounding, clamped to 255.
inline std::uint8_t Scaled(int magnitude, int factor) {
    return static_cast<std::uint8_t>(std::min(magnitude * factor, 255));
}

// M = |G1| + |G2| of a gradient, or |S| of a Laplacian.
inline int MagnitudeAt(Operator op, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    switch (op) {
        case Operator::Roberts:
            return std::abs(b[x] - a[x + 1]) + std::abs(b[x] - a[x - 1]);
        case Operator::Prewitt:
            return std::abs(a[x - 1] - a[x + 1] + b[x - 1] - b[x + 1] + c[x - 1] - c[x + 1]) +
                   std::abs(-a[x - 1] - a[x] - a[x + 1] + c[x - 1] + c[x] + c[x + 1]);
        case Operator::Sobel:
            return std::abs(a[x - 1] - a[x + 1] + 2 * b[x - 1] - 2 * b[x + 1] + c[x - 1] - c[x + 1]) +
                   std::abs(-a[x - 1] - 2 * a[x] - a[x + 1] + c[x - 1] + 2 * c[x] + c[x + 1]);
        case Operator::Laplacian1:
            return std::abs(4 * b[x] - a[x] - b[x - 1] - b[x + 1] - c[x]);
        case Operator::Laplacian2:
            return std::abs(8 * b[x] - (a[x - 1] + a[x] + a[x + 1] + b[x - 1] + b[x + 1] + c[x - 1] + c[x] + c[x + 1]));
        case Operator::Laplacian3:
            return std::abs(a[x - 1] + a[x + 1] + c[x - 1] + c[x + 1] - 2 * (a[x] + b[x - 1] + b[x + 1] + c[x]) +
                            4 * b[x]);
    }
    return 0;
}

constexpr bool IsLaplacian(Operator op) {
    return op == Operator::Laplacian1 || op == Operator::Laplacian2 || op == Operator::Laplacian3;
}

inline std::uint8_t GradientAt(Operator op, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x,
                               int factor) {
    const int m = MagnitudeAt(op, a, b, c, x);
    return IsLaplacian(op) ? static_cast<std::uint8_t>(std::min(m, 255)) : Scaled(m, factor);
}

inline std::uint8_t DifferenceAt(Difference kind, const std::uint8_t* p, std::size_t i, std::size_t count,
                                 std::size_t width, int factor) {
    const int v = p[i];
    const int right = i + 1 < count ? p[i + 1] : 0;
    const int below = i + width < count ? p[i + width] : 0;
    int d = 0;
    if (kind != Difference::Below) d += std::abs(v - right);
    if (kind != Difference::Right) d += std::abs(v - below);
    return Scaled(d, factor);
}

// Frei-Chen's terms are added one by one in mask order, so each sum rounds as in the walk
// over the nine coefficients: the zero terms change nothing, the first two terms of G1 are
// integers (exact), and adding -(sqrt 2 x p) is subtracting it. For the plain scales the
// product is non-negative and below 2^31.
inline std::uint8_t FreiChenAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x, double r2,
                               double scale) {
    double g1 = static_cast<double>(a[x - 1] - a[x + 1]);
    g1 += r2 * b[x - 1];
    g1 -= r2 * b[x + 1];
    g1 += c[x - 1];
    g1 -= c[x + 1];
    double g2 = -a[x - 1];
    g2 -= r2 * a[x];
    g2 -= a[x + 1];
    g2 += c[x - 1];
    g2 += r2 * c[x];
    g2 += c[x + 1];
    const double scaled = (std::fabs(g1) + std::fabs(g2)) * scale;
    return static_cast<std::uint8_t>(std::min(static_cast<int>(RoundHalfEven(scaled)), 255));
}

inline std::int32_t HoughIndexAt(double dx, double dy, double c, double s, double diagonal, double cells) {
    const double rho = dx * c + dy * s;
    return static_cast<std::int32_t>(RoundHalfEven((rho / diagonal + 0.5) * cells + 0.5));
}

inline std::int16_t LaplacianResponseAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    const int ring = a[x - 1] + a[x] + a[x + 1] + b[x - 1] + b[x + 1] + c[x - 1] + c[x] + c[x + 1];
    const int d = ring - 8 * b[x];
    return static_cast<std::int16_t>(d < 0 ? 0 : d);
}

inline std::uint8_t LaplacianByteAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    return static_cast<std::uint8_t>(std::min<int>(LaplacianResponseAt(a, b, c, x), 255));
}

// The border of LaplacianBytes' plane, 0 (all of it in a plane without interior).
inline void LaplacianBorder(std::uint8_t* e, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const std::size_t w = static_cast<std::size_t>(width);
    if (width < 3 || height < 3) {
        std::memset(e, 0, w * static_cast<std::size_t>(height));
        return;
    }
    std::memset(e, 0, w);
    for (int y = 1; y < height - 1; ++y) e[static_cast<std::size_t>(y) * w] = e[static_cast<std::size_t>(y) * w + w - 1] = 0;
    std::memset(e + (static_cast<std::size_t>(height) - 1) * w, 0, w);
}

// Sx^2 + Sy^2 beyond which a pixel is an edge of the threshold (see SobelEdges); none is past
// 64 x 181^2, the threshold's square fits an int below it.
inline int SobelLimit(int threshold) {
    const int t = std::min(threshold, 181);
    return 64 * t * t;
}

inline std::uint8_t SobelEdgeAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x, int limit) {
    const int sx = a[x + 1] + 2 * b[x + 1] + c[x + 1] - a[x - 1] - 2 * b[x - 1] - c[x - 1];
    const int sy = c[x - 1] + 2 * c[x] + c[x + 1] - a[x - 1] - 2 * a[x] - a[x + 1];
    return sx * sx + sy * sy > limit ? 1 : 0;
}

inline std::uint8_t WindowCountAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    return static_cast<std::uint8_t>(a[x - 1] + a[x] + a[x + 1] + b[x - 1] + b[x] + b[x + 1] + c[x - 1] + c[x] +
                                     c[x + 1]);
}

// One pixel's run at an angle row (see HoughRuns).
inline void HoughRunAt(std::int32_t r, int R, std::int32_t& previous, std::int32_t& start, std::int32_t& end) {
    const std::int32_t prev = previous;
    if (static_cast<std::uint32_t>(r) < static_cast<std::uint32_t>(R)) {
        start = (prev > 0 && prev + 1 < r) ? prev + 1 : r;
        end = ((prev - 1 > r) ? prev - 1 : r) + 1;
        previous = r;
    } else {
        start = end = R + 1;
        previous = -1;
    }
}

// Calls f(a, b, c, out, x0) for each interior row, where a, b and c are the rows above, at
// and below, and the row's pixels from x0 on are left to f.
template <class Row>
inline void ForInteriorRows(const std::uint8_t* in, std::uint8_t* out, int width, int height, Row row) {
    if (width < 3 || height < 3) return;
    const std::size_t w = static_cast<std::size_t>(width);
    for (int y = 1; y < height - 1; ++y) {
        const std::uint8_t* b = in + static_cast<std::size_t>(y) * w;
        row(b - w, b, b + w, out + static_cast<std::size_t>(y) * w);
    }
}

}  // namespace quillfen::toolbox_loops::shared
#endif

#if QF_SIMD

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "toolbox_loops.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quillfen::toolbox_loops {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using D8 = hn::ScalableTag<std::uint8_t>;
// Sixteen-bit lanes for the sums, and the bytes that fill one vector of them.
using D16 = hn::ScalableTag<std::int16_t>;
using DU16 = hn::RebindToUnsigned<D16>;
using D8Half = hn::Rebind<std::uint8_t, D16>;

void Invert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) {
    const D8 d;
    const std::size_t n = hn::Lanes(d);
    std::size_t i = 0;
    for (; i + n <= count; i += n) hn::StoreU(hn::Not(hn::LoadU(d, in + i)), d, out + i);
    for (; i < count; ++i) out[i] = static_cast<std::uint8_t>(255 - in[i]);
}

void Binarize(const std::uint8_t* in, std::uint8_t* out, std::size_t count, int threshold) {
    if (threshold <= 0 || threshold > 255) {
        std::memset(out, threshold <= 0 ? 255 : 0, count);
        return;
    }
    const D8 d;
    const std::size_t n = hn::Lanes(d);
    const auto level = hn::Set(d, static_cast<std::uint8_t>(threshold));
    std::size_t i = 0;
    for (; i + n <= count; i += n) {
        const auto v = hn::LoadU(d, in + i);
        hn::StoreU(hn::VecFromMask(d, hn::Eq(hn::Max(v, level), v)), d, out + i);  // v >= threshold
    }
    for (; i < count; ++i) out[i] = in[i] < threshold ? 0 : 255;
}

void WhiteBits(const std::uint8_t* in, std::size_t count, std::uint64_t* bits) {
    static_assert(std::endian::native == std::endian::little, "mask bytes are stored into the words' low bytes first");
    std::memset(bits, 0, (count + 63) / 64 * sizeof(std::uint64_t));
    const D8 d;
    const std::size_t n = hn::Lanes(d);
    std::size_t i = 0;
    // A vector's mask bits fill whole bytes when it has a multiple of 8 lanes (every target
    // but the one-lane fallback): lane j of the vector at i is bit j % 8 of byte (i + j) / 8.
    if (n % 8 == 0) {
        auto* bytes = reinterpret_cast<std::uint8_t*>(bits);
        const auto white = hn::Set(d, std::uint8_t{255});
        for (; i + n <= count; i += n) hn::StoreMaskBits(d, hn::Eq(hn::LoadU(d, in + i), white), bytes + i / 8);
    }
    for (; i < count; ++i)
        if (in[i] == 255) bits[i / 64] |= std::uint64_t{1} << (i % 64);
}

std::size_t FirstInRange(const std::uint8_t* in, std::size_t count, std::uint8_t low, std::uint8_t high) {
    const D8 d;
    const std::size_t n = hn::Lanes(d);
    const auto base = hn::Set(d, low);
    const auto span = hn::Set(d, static_cast<std::uint8_t>(high - low));
    std::size_t i = 0;
    for (; i + n <= count; i += n) {
        const auto offset = hn::Sub(hn::LoadU(d, in + i), base);  // wraps below low
        const intptr_t first = hn::FindFirstTrue(d, hn::Eq(hn::Min(offset, span), offset));
        if (first >= 0) return i + static_cast<std::size_t>(first);
    }
    for (; i < count; ++i)
        if (in[i] >= low && in[i] <= high) return i;
    return count;
}

// The interior rows, a whole vector of `lanes` outputs at a time from x = 1. What is left of
// a row is one more vector ending at the row's last interior pixel (it computes again some
// outputs of the one before, from the same unchanged input: the same bytes), or, in rows
// narrower than a vector, one output at a time through `one` (the shared plain form).
template <class Vector, class One>
void Rows(const std::uint8_t* in, std::uint8_t* out, int width, int height, std::size_t lanes, Vector vector, One one) {
    const int step = static_cast<int>(lanes);
    shared::ForInteriorRows(in, out, width, height,
                            [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o) {
                                if (width - 2 < step) {
                                    for (int x = 1; x < width - 1; ++x) o[x] = one(a, b, c, x);
                                    return;
                                }
                                int x = 1;
                                for (; x + step <= width - 1; x += step) vector(a, b, c, o, x);
                                if (x < width - 1) vector(a, b, c, o, width - 1 - step);
                            });
}

// Each column of three sorted (lo <= mid <= hi, 6 min/max), then the median of the nine is
// the middle one of: the largest of the three lows, the middle of the three mids and the
// smallest of the three highs.
template <class V>
HWY_INLINE void SortColumn(V a, V b, V c, V& lo, V& mid, V& hi) {
    const V lo1 = hn::Min(a, b);
    const V hi1 = hn::Max(a, b);
    hi = hn::Max(hi1, c);
    const V t = hn::Min(hi1, c);
    lo = hn::Min(lo1, t);
    mid = hn::Max(lo1, t);
}

template <class V>
HWY_INLINE V Middle(V a, V b, V c) {
    return hn::Max(hn::Min(a, b), hn::Min(hn::Max(a, b), c));
}

void Median(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    const D8 d;
    Rows(
        in, out, width, height, hn::Lanes(d),
        [d](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o, int x) {
            using V = hn::Vec<D8>;
            V lo0, mid0, hi0, lo1, mid1, hi1, lo2, mid2, hi2;
            SortColumn(hn::LoadU(d, a + x - 1), hn::LoadU(d, b + x - 1), hn::LoadU(d, c + x - 1), lo0, mid0, hi0);
            SortColumn(hn::LoadU(d, a + x), hn::LoadU(d, b + x), hn::LoadU(d, c + x), lo1, mid1, hi1);
            SortColumn(hn::LoadU(d, a + x + 1), hn::LoadU(d, b + x + 1), hn::LoadU(d, c + x + 1), lo2, mid2, hi2);
            const V lows = hn::Max(hn::Max(lo0, lo1), lo2);
            const V highs = hn::Min(hn::Min(hi0, hi1), hi2);
            hn::StoreU(Middle(lows, Middle(mid0, mid1, mid2), highs), d, o + x);
        },
        shared::MedianAt);
}

HWY_INLINE hn::Vec<D16> Widened(const std::uint8_t* p) { return hn::PromoteTo(D16(), hn::LoadU(D8Half(), p)); }

void Mean(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    const D16 d;
    // floor(s / 9) = (s x 7282) >> 16 for every sum s of nine bytes (0..2295): 7282 / 2^16
    // exceeds 1/9 by less than 3.4e-6, which moves s / 9 by less than 0.008, and s / 9 is
    // never closer than 1/9 below the next whole number.
    const auto ninth = hn::Set(d, 7282);
    Rows(
        in, out, width, height, hn::Lanes(d),
        [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o, int x) {
            const auto left = hn::Add(hn::Add(Widened(a + x - 1), Widened(b + x - 1)), Widened(c + x - 1));
            const auto centre = hn::Add(hn::Add(Widened(a + x), Widened(b + x)), Widened(c + x));
            const auto right = hn::Add(hn::Add(Widened(a + x + 1), Widened(b + x + 1)), Widened(c + x + 1));
            const auto sum = hn::Add(hn::Add(left, centre), right);
            hn::StoreU(hn::DemoteTo(D8Half(), hn::MulHigh(sum, ninth)), D8Half(), o + x);
        },
        shared::MeanAt);
}

void Contract(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    const D8 d;
    Rows(
        in, out, width, height, hn::Lanes(d),
        [d](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o, int x) {
            const auto low = hn::Min(hn::Min(hn::LoadU(d, a + x - 1), hn::LoadU(d, a + x + 1)),
                                     hn::Min(hn::LoadU(d, c + x - 1), hn::LoadU(d, c + x + 1)));
            hn::StoreU(hn::IfThenZeroElse(hn::Eq(low, hn::Zero(d)), hn::LoadU(d, b + x)), d, o + x);
        },
        shared::ContractAt);
}

void Expand(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    const D8 d;
    Rows(
        in, out, width, height, hn::Lanes(d),
        [d](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o, int x) {
            const auto full = hn::Set(d, std::uint8_t{255});
            const auto high = hn::Max(hn::Max(hn::LoadU(d, a + x - 1), hn::LoadU(d, a + x + 1)),
                                      hn::Max(hn::LoadU(d, c + x - 1), hn::LoadU(d, c + x + 1)));
            hn::StoreU(hn::IfThenElse(hn::Eq(high, full), full, hn::LoadU(d, b + x)), d, o + x);
        },
        shared::ExpandAt);
}

// min(255, m x factor) of magnitudes m >= 0: min(m, 255) x factor stays below 2^16 and is
// already 255 or more wherever m is.
HWY_INLINE hn::Vec<D8Half> ScaledBytes(hn::Vec<D16> m, hn::Vec<DU16> factor) {
    const DU16 du;
    const auto limit = hn::Set(du, std::uint16_t{255});
    const auto product = hn::Mul(hn::Min(hn::BitCast(du, m), limit), factor);
    return hn::DemoteTo(D8Half(), hn::BitCast(D16(), hn::Min(product, limit)));
}

template <Operator op>
HWY_INLINE hn::Vec<D16> MagnitudeAt(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    if constexpr (op == Operator::Roberts) {
        const auto centre = Widened(b + x);
        return hn::Add(hn::Abs(hn::Sub(centre, Widened(a + x + 1))), hn::Abs(hn::Sub(centre, Widened(a + x - 1))));
    } else if constexpr (op == Operator::Prewitt || op == Operator::Sobel) {
        const auto a0 = Widened(a + x - 1), a1 = Widened(a + x), a2 = Widened(a + x + 1);
        const auto c0 = Widened(c + x - 1), c1 = Widened(c + x), c2 = Widened(c + x + 1);
        auto side = hn::Sub(Widened(b + x - 1), Widened(b + x + 1));
        auto middle = hn::Sub(c1, a1);
        if constexpr (op == Operator::Sobel) {
            side = hn::Add(side, side);
            middle = hn::Add(middle, middle);
        }
        const auto g1 = hn::Add(hn::Add(hn::Sub(a0, a2), side), hn::Sub(c0, c2));
        const auto g2 = hn::Add(hn::Add(hn::Sub(c0, a0), middle), hn::Sub(c2, a2));
        return hn::Add(hn::Abs(g1), hn::Abs(g2));
    } else if constexpr (op == Operator::Laplacian1) {
        const auto centre = Widened(b + x);
        const auto four = hn::ShiftLeft<2>(centre);
        const auto ring = hn::Add(hn::Add(Widened(a + x), Widened(c + x)), hn::Add(Widened(b + x - 1), Widened(b + x + 1)));
        return hn::Abs(hn::Sub(four, ring));
    } else if constexpr (op == Operator::Laplacian2) {
        const auto eight = hn::ShiftLeft<3>(Widened(b + x));
        const auto top = hn::Add(hn::Add(Widened(a + x - 1), Widened(a + x)), Widened(a + x + 1));
        const auto bottom = hn::Add(hn::Add(Widened(c + x - 1), Widened(c + x)), Widened(c + x + 1));
        const auto ring = hn::Add(hn::Add(top, bottom), hn::Add(Widened(b + x - 1), Widened(b + x + 1)));
        return hn::Abs(hn::Sub(eight, ring));
    } else {
        const auto corners = hn::Add(hn::Add(Widened(a + x - 1), Widened(a + x + 1)),
                                     hn::Add(Widened(c + x - 1), Widened(c + x + 1)));
        const auto sides = hn::Add(hn::Add(Widened(a + x), Widened(c + x)), hn::Add(Widened(b + x - 1), Widened(b + x + 1)));
        const auto s = hn::Add(hn::Sub(corners, hn::Add(sides, sides)), hn::ShiftLeft<2>(Widened(b + x)));
        return hn::Abs(s);
    }
}

template <Operator op>
void GradientOf(const std::uint8_t* in, std::uint8_t* out, int width, int height, int factor) {
    const D16 d;
    const auto scale = hn::Set(DU16(), static_cast<std::uint16_t>(factor));
    const auto limit = hn::Set(d, std::int16_t{255});
    Rows(
        in, out, width, height, hn::Lanes(d),
        [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o, int x) {
            const auto m = MagnitudeAt<op>(a, b, c, x);
            if constexpr (shared::IsLaplacian(op)) {
                hn::StoreU(hn::DemoteTo(D8Half(), hn::Min(m, limit)), D8Half(), o + x);
            } else {
                hn::StoreU(ScaledBytes(m, scale), D8Half(), o + x);
            }
        },
        [factor](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
            return shared::GradientAt(op, a, b, c, x, factor);
        });
}

void Gradient(Operator op, const std::uint8_t* in, std::uint8_t* out, int width, int height, int factor) {
    switch (op) {
        case Operator::Roberts: return GradientOf<Operator::Roberts>(in, out, width, height, factor);
        case Operator::Prewitt: return GradientOf<Operator::Prewitt>(in, out, width, height, factor);
        case Operator::Sobel: return GradientOf<Operator::Sobel>(in, out, width, height, factor);
        case Operator::Laplacian1: return GradientOf<Operator::Laplacian1>(in, out, width, height, factor);
        case Operator::Laplacian2: return GradientOf<Operator::Laplacian2>(in, out, width, height, factor);
        case Operator::Laplacian3: return GradientOf<Operator::Laplacian3>(in, out, width, height, factor);
    }
}

HWY_INLINE hn::Vec<D16> AbsoluteDifference(const std::uint8_t* p, const std::uint8_t* q) {
    return hn::Abs(hn::Sub(Widened(p), Widened(q)));
}

void Differences(Difference kind, const std::uint8_t* in, std::uint8_t* out, std::size_t count, std::size_t width,
                 int factor) {
    const D16 d;
    const std::size_t n = hn::Lanes(d);
    const auto scale = hn::Set(DU16(), static_cast<std::uint16_t>(factor));
    // Whole vectors where both neighbours lie inside the plane.
    const std::size_t reach = kind == Difference::Right ? 1 : width;
    const auto vector = [&](std::size_t i) {
        hn::Vec<D16> m;
        if (kind == Difference::Right) {
            m = AbsoluteDifference(in + i, in + i + 1);
        } else if (kind == Difference::Below) {
            m = AbsoluteDifference(in + i, in + i + width);
        } else {
            m = hn::Add(AbsoluteDifference(in + i, in + i + 1), AbsoluteDifference(in + i, in + i + width));
        }
        hn::StoreU(ScaledBytes(m, scale), D8Half(), out + i);
    };
    std::size_t i = 0;
    if (count >= n + reach) {
        for (; i + n + reach <= count; i += n) vector(i);
        // One more vector ending where the neighbours leave the plane, as in Rows.
        if (i + reach < count) vector(count - reach - n);
        i = count - reach;
    }
    for (; i < count; ++i) out[i] = shared::DifferenceAt(kind, in, i, count, width, factor);
}

// One vector of Frei-Chen outputs from x on: a and c are the rows above and below as doubles,
// ra, rb and rc the three rows times sqrt 2. The terms are added in the plain form's order.
template <class DF>
HWY_INLINE void FreiChenVector(DF d, const double* HWY_RESTRICT a, const double* HWY_RESTRICT c,
                               const double* HWY_RESTRICT ra, const double* HWY_RESTRICT rb,
                               const double* HWY_RESTRICT rc, int x, hn::Vec<DF> factor, std::uint8_t* o) {
    const hn::Rebind<std::int32_t, DF> di;
    const hn::Rebind<std::uint8_t, DF> db;
    const auto a0 = hn::LoadU(d, a + x - 1), a2 = hn::LoadU(d, a + x + 1);
    const auto c0 = hn::LoadU(d, c + x - 1), c2 = hn::LoadU(d, c + x + 1);
    auto g1 = hn::Sub(a0, a2);
    g1 = hn::Add(g1, hn::LoadU(d, rb + x - 1));
    g1 = hn::Sub(g1, hn::LoadU(d, rb + x + 1));
    g1 = hn::Add(g1, c0);
    g1 = hn::Sub(g1, c2);
    auto g2 = hn::Sub(hn::Zero(d), a0);  // the integer negation of the plain form: +0 for 0
    g2 = hn::Sub(g2, hn::LoadU(d, ra + x));
    g2 = hn::Sub(g2, a2);
    g2 = hn::Add(g2, c0);
    g2 = hn::Add(g2, hn::LoadU(d, rc + x));
    g2 = hn::Add(g2, c2);
    const auto scaled = hn::Mul(hn::Add(hn::Abs(g1), hn::Abs(g2)), factor);
    const auto shift = hn::Set(d, 6755399441055744.0);  // RoundHalfEven's
    const auto rounded = hn::Sub(hn::Add(scaled, shift), shift);
    // Clamped before the narrowing, which does not saturate on every target.
    hn::StoreU(hn::DemoteTo(db, hn::Min(hn::DemoteTo(di, rounded), hn::Set(di, 255))), db, o + x);
}

// Frei-Chen reads each pixel as a double and as sqrt 2 times it, in eight windows: both are
// computed once per row into row buffers (the same doubles as the plain form's conversions
// and products), three rows of each kept as the window slides down.
void FreiChenInDoubles(const std::uint8_t* in, std::uint8_t* out, int width, int height, double scale) {
    using DF = hn::ScalableTag<double>;
    using DI = hn::Rebind<std::int32_t, DF>;
    using DB = hn::Rebind<std::uint8_t, DF>;
    const DF d;
    const DI di;
    const DB db;
    const double r2 = std::sqrt(2.0);
    const auto one = [r2, scale](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
        return shared::FreiChenAt(a, b, c, x, r2, scale);
    };
    const int lanes = static_cast<int>(hn::Lanes(d));
    if (width < 3 || height < 3) return;
    if (width - 2 < lanes) {
        shared::ForInteriorRows(in, out, width, height,
                                [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                                    std::uint8_t* o) {
                                    for (int x = 1; x < width - 1; ++x) o[x] = one(a, b, c, x);
                                });
        return;
    }
    const std::size_t w = static_cast<std::size_t>(width);
    std::vector<double> buffer(6 * w);
    const auto plainRow = [&](int y) { return buffer.data() + static_cast<std::size_t>(y % 3) * w; };
    const auto rootRow = [&](int y) { return buffer.data() + (3 + static_cast<std::size_t>(y % 3)) * w; };
    const auto root = hn::Set(d, r2);
    const auto convert = [&](int y) {
        const std::uint8_t* p = in + static_cast<std::size_t>(y) * w;
        double* plain = plainRow(y);
        double* rooted = rootRow(y);
        std::size_t x = 0;
        for (; x + lanes <= w; x += lanes) {
            const auto v = hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(db, p + x)));
            hn::StoreU(v, d, plain + x);
            hn::StoreU(hn::Mul(root, v), d, rooted + x);
        }
        for (; x < w; ++x) {
            plain[x] = p[x];
            rooted[x] = r2 * p[x];
        }
    };
    const auto factor = hn::Set(d, scale);
    convert(0);
    convert(1);
    for (int y = 1; y < height - 1; ++y) {
        convert(y + 1);
        const double* a = plainRow(y - 1);
        const double* c = plainRow(y + 1);
        const double* ra = rootRow(y - 1);
        const double* rb = rootRow(y);
        const double* rc = rootRow(y + 1);
        std::uint8_t* o = out + static_cast<std::size_t>(y) * w;
        int x = 1;
        for (; x + lanes <= width - 1; x += lanes) FreiChenVector(d, a, c, ra, rb, rc, x, factor, o);
        if (x < width - 1) FreiChenVector(d, a, c, ra, rb, rc, width - 1 - lanes, factor, o);
    }
}

// Frei-Chen for the small scales: an estimate of M x scale in floats, twice as many to a
// vector as doubles and in fewer operations, whose byte is the plain form's wherever the
// estimate is far enough from a half; a vector with a lane too near one is computed again by
// the plain form. Each row is kept as floats p, d = p(x - 1) - p(x + 1) and
// s = p(x - 1) + p(x + 1), all exact, and
//   G1 = (d above + d below) + sqrt2 x d,   G2 = (s below - s above) + sqrt2 x (below - above)
// with sqrt 2 rounded to a float (within 2^-24 of it). The products then lie within
// 255 x 2^-24 + 361 x 2^-24 of the real ones and the sums round by at most 871 x 2^-24:
// G1 and G2 within 9e-5 each, |G1| + |G2| (below 1,742) within 2.8e-4, and the product with
// the scale (rounded to a float) within scale x 4.9e-4; the plain form's doubles are closer
// still. A margin of scale x 2^-10 covers both: where the estimate, clamped to 255, lies
// closer to its nearest whole number than 0.5 - margin, so does the plain form's M x scale,
// and that number is its byte (beyond 255 both give 255).
void FreiChenInFloats(const std::uint8_t* in, std::uint8_t* out, int width, int height, double scale) {
    using DF = hn::ScalableTag<float>;
    using DI = hn::RebindToSigned<DF>;
    using DB = hn::Rebind<std::uint8_t, DF>;
    const DF d;
    const DI di;
    const DB db;
    const double r2 = std::sqrt(2.0);
    const int lanes = static_cast<int>(hn::Lanes(d));
    const auto plainOne = [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o,
                              int x) { o[x] = shared::FreiChenAt(a, b, c, x, r2, scale); };
    if (width < 3 || height < 3) return;
    if (width - 2 < lanes) {
        shared::ForInteriorRows(in, out, width, height,
                                [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                                    std::uint8_t* o) {
                                    for (int x = 1; x < width - 1; ++x) plainOne(a, b, c, o, x);
                                });
        return;
    }
    const std::size_t w = static_cast<std::size_t>(width);
    // Three rows of each kind, as the window slides down.
    std::vector<float> buffer(9 * w);
    const auto row = [&](int kind, int y) { return buffer.data() + (3 * static_cast<std::size_t>(kind) + static_cast<std::size_t>(y % 3)) * w; };
    const auto convert = [&](int y) {
        const std::uint8_t* p = in + static_cast<std::size_t>(y) * w;
        float* plain = row(0, y);
        float* difference = row(1, y);
        float* sum = row(2, y);
        std::size_t x = 0;
        for (; x + lanes <= w; x += lanes) hn::StoreU(hn::ConvertTo(d, hn::PromoteTo(di, hn::LoadU(db, p + x))), d, plain + x);
        for (; x < w; ++x) plain[x] = p[x];
        x = 1;
        for (; x + lanes <= w - 1; x += lanes) {
            const auto before = hn::LoadU(d, plain + x - 1), after = hn::LoadU(d, plain + x + 1);
            hn::StoreU(hn::Sub(before, after), d, difference + x);
            hn::StoreU(hn::Add(before, after), d, sum + x);
        }
        for (; x < w - 1; ++x) {
            difference[x] = plain[x - 1] - plain[x + 1];
            sum[x] = plain[x - 1] + plain[x + 1];
        }
    };
    const auto root = hn::Set(d, static_cast<float>(r2));
    const auto factor = hn::Set(d, static_cast<float>(scale));
    const auto sureWithin = hn::Set(d, static_cast<float>(0.5 - scale * 0x1p-10));
    const auto top = hn::Set(d, 255.0f);
    const auto magic = hn::Set(d, 0x1p23f);  // adding it rounds a float below 2^22 to a whole number
    const auto lowByte = hn::Set(di, 255);
    convert(0);
    convert(1);
    for (int y = 1; y < height - 1; ++y) {
        convert(y + 1);
        const float* pa = row(0, y - 1);
        const float* pc = row(0, y + 1);
        const float* da = row(1, y - 1);
        const float* db_ = row(1, y);
        const float* dc = row(1, y + 1);
        const float* sa = row(2, y - 1);
        const float* sc = row(2, y + 1);
        const std::uint8_t* b = in + static_cast<std::size_t>(y) * w;
        std::uint8_t* o = out + static_cast<std::size_t>(y) * w;
        const auto vector = [&](int x) {
            const auto g1 = hn::Add(hn::Add(hn::LoadU(d, da + x), hn::LoadU(d, dc + x)), hn::Mul(root, hn::LoadU(d, db_ + x)));
            const auto g2 = hn::Add(hn::Sub(hn::LoadU(d, sc + x), hn::LoadU(d, sa + x)),
                                    hn::Mul(root, hn::Sub(hn::LoadU(d, pc + x), hn::LoadU(d, pa + x))));
            const auto scaled = hn::Min(hn::Mul(hn::Add(hn::Abs(g1), hn::Abs(g2)), factor), top);
            const auto shifted = hn::Add(scaled, magic);
            const auto nearest = hn::Sub(shifted, magic);
            if (HWY_UNLIKELY(!hn::AllFalse(d, hn::Gt(hn::Abs(hn::Sub(scaled, nearest)), sureWithin)))) {
                for (int k = 0; k < lanes; ++k) plainOne(b - w, b, b + w, o, x + k);
                return;
            }
            // The whole number sits in the low bits of the shifted float.
            hn::StoreU(hn::DemoteTo(db, hn::And(hn::BitCast(di, shifted), lowByte)), db, o + x);
        };
        int x = 1;
        for (; x + lanes <= width - 1; x += lanes) vector(x);
        if (x < width - 1) vector(width - 1 - lanes);
    }
}

void FreiChen(const std::uint8_t* in, std::uint8_t* out, int width, int height, double scale) {
#if HWY_TARGET != HWY_SCALAR
    if (scale >= 0.0 && scale <= kFreiChenFloatScale) return FreiChenInFloats(in, out, width, height, scale);
#endif
    FreiChenInDoubles(in, out, width, height, scale);
}

void LaplacianResponses(const std::uint8_t* in, int width, int y, std::int16_t* d) {
    const D16 d16;
    const int lanes = static_cast<int>(hn::Lanes(d16));
    const std::size_t w = static_cast<std::size_t>(width);
    const std::uint8_t* b = in + static_cast<std::size_t>(y) * w;
    const std::uint8_t* a = b - w;
    const std::uint8_t* c = b + w;
    const auto vector = [&](int x) {
        const auto top = hn::Add(hn::Add(Widened(a + x - 1), Widened(a + x)), Widened(a + x + 1));
        const auto bottom = hn::Add(hn::Add(Widened(c + x - 1), Widened(c + x)), Widened(c + x + 1));
        const auto ring = hn::Add(hn::Add(top, bottom), hn::Add(Widened(b + x - 1), Widened(b + x + 1)));
        hn::StoreU(hn::Max(hn::Sub(ring, hn::ShiftLeft<3>(Widened(b + x))), hn::Zero(d16)), d16, d + x);
    };
    if (width - 2 < lanes) {
        for (int x = 1; x < width - 1; ++x) d[x] = shared::LaplacianResponseAt(a, b, c, x);
        return;
    }
    int x = 1;
    for (; x + lanes <= width - 1; x += lanes) vector(x);
    if (x < width - 1) vector(width - 1 - lanes);
}

// The Laplacian threshold's response bytes, a whole vector of them at a time as in Rows.
// Widening bytes to 16-bit lanes takes the shuffle unit, which would do most of the work: a
// vector of bytes is read instead as 16-bit lanes of pixel pairs, the even pixels of the run
// in their low bytes and the odd ones in their high bytes, and both halves are computed with
// ordinary arithmetic, the three loads at x - 1, x and x + 1 giving every neighbour.
void LaplacianBytes(const std::uint8_t* in, int width, int height, std::uint8_t* e) {
#if HWY_TARGET == HWY_SCALAR
    plain::LaplacianBytes(in, width, height, e);
#else
    static_assert(std::endian::native == std::endian::little, "the first byte of a pair is its low byte");
    using DU = hn::Repartition<std::uint16_t, D8>;
    using V = hn::Vec<DU>;
    const D8 d8;
    const DU du;
    const hn::RebindToSigned<DU> di;
    const int lanes = static_cast<int>(hn::Lanes(d8));
    shared::LaplacianBorder(e, width, height);
    if (width < 3 || height < 3) return;
    const std::size_t w = static_cast<std::size_t>(width);
    const V lowByte = hn::Set(du, std::uint16_t{0x00FF});
    const auto byteMax = hn::Set(di, std::int16_t{255});
    const auto zero = hn::Zero(di);
    for (int y = 1; y < height - 1; ++y) {
        const std::uint8_t* b = in + static_cast<std::size_t>(y) * w;
        const std::uint8_t* a = b - w;
        const std::uint8_t* c = b + w;
        std::uint8_t* o = e + static_cast<std::size_t>(y) * w;
        if (width - 2 < lanes) {
            for (int x = 1; x < width - 1; ++x) o[x] = shared::LaplacianByteAt(a, b, c, x);
            continue;
        }
        const auto vector = [&](int x) HWY_ATTR {
            const auto pairs = [&](const std::uint8_t* p) HWY_ATTR { return hn::BitCast(du, hn::LoadU(d8, p)); };
            // Pair i holds pixels x + 2i (low) and x + 2i + 1 (high); at x - 1 its low byte
            // is pixel x + 2i - 1, at x + 1 its high byte is pixel x + 2i + 2.
            const auto three = [&](const std::uint8_t* p, V& even, V& odd) HWY_ATTR {
                const auto here = pairs(p + x);
                const auto middle = hn::Add(hn::And(here, lowByte), hn::ShiftRight<8>(here));
                even = hn::Add(middle, hn::And(pairs(p + x - 1), lowByte));
                odd = hn::Add(middle, hn::ShiftRight<8>(pairs(p + x + 1)));
            };
            V aEven, aOdd, cEven, cOdd;
            three(a, aEven, aOdd);
            three(c, cEven, cOdd);
            const auto here = pairs(b + x);
            const auto centreEven = hn::And(here, lowByte);
            const auto centreOdd = hn::ShiftRight<8>(here);
            const auto sideEven = hn::Add(hn::And(pairs(b + x - 1), lowByte), centreOdd);
            const auto sideOdd = hn::Add(centreEven, hn::ShiftRight<8>(pairs(b + x + 1)));
            const auto response = [&](V top, V bottom, V side, V centre) HWY_ATTR {
                const auto ring = hn::BitCast(di, hn::Add(hn::Add(top, bottom), side));
                const auto d = hn::Sub(ring, hn::BitCast(di, hn::ShiftLeft<3>(centre)));
                return hn::BitCast(du, hn::Min(hn::Max(d, zero), byteMax));
            };
            const auto even = response(aEven, cEven, sideEven, centreEven);
            const auto odd = response(aOdd, cOdd, sideOdd, centreOdd);
            hn::StoreU(hn::BitCast(d8, hn::Or(even, hn::ShiftLeft<8>(odd))), d8, o + x);
        };
        // The last vector ends at the last interior pixel, as in Rows.
        int x = 1;
        for (; x + lanes <= width - 1; x += lanes) vector(x);
        if (x < width - 1) vector(width - 1 - lanes);
    }
#endif
}

// How many bytes lie above each of eight bounds: with their top bit flipped, bytes compare
// as signed bytes in the order they have unsigned. Byte counters, one per lane and bound,
// are emptied into the sums before they can wrap. (Eight named vectors: scalable vectors
// cannot be held in arrays.)
void CountAtMost(const std::uint8_t* in, std::size_t count, const std::uint8_t* bounds, int k, std::size_t* atMost) {
    static_assert(kMostBounds == 8);
    std::uint8_t padded[kMostBounds];
    for (int j = 0; j < kMostBounds; ++j) padded[j] = bounds[std::min(j, k - 1)];
    std::size_t above[kMostBounds] = {};
    const D8 d;
    const hn::RebindToSigned<D8> di;
    const hn::Repartition<std::uint64_t, D8> d64;
    const std::size_t n = hn::Lanes(d);
    const auto flip = hn::Set(d, std::uint8_t{0x80});
    const auto limit = [&](int j) { return hn::BitCast(di, hn::Xor(hn::Set(d, padded[j]), flip)); };
    const auto l0 = limit(0), l1 = limit(1), l2 = limit(2), l3 = limit(3);
    const auto l4 = limit(4), l5 = limit(5), l6 = limit(6), l7 = limit(7);
    std::size_t i = 0;
    while (i + n <= count) {
        auto c0 = hn::Zero(d), c1 = c0, c2 = c0, c3 = c0, c4 = c0, c5 = c0, c6 = c0, c7 = c0;
        for (int j = 0; j < 255 && i + n <= count; ++j, i += n) {
            const auto v = hn::BitCast(di, hn::Xor(hn::LoadU(d, in + i), flip));
            const auto add = [&](hn::Vec<D8> c, hn::Vec<decltype(di)> l) {
                return hn::Sub(c, hn::BitCast(d, hn::VecFromMask(di, hn::Gt(v, l))));
            };
            c0 = add(c0, l0), c1 = add(c1, l1), c2 = add(c2, l2), c3 = add(c3, l3);
            c4 = add(c4, l4), c5 = add(c5, l5), c6 = add(c6, l6), c7 = add(c7, l7);
        }
        const auto sum = [&](hn::Vec<D8> c) { return static_cast<std::size_t>(hn::GetLane(hn::SumOfLanes(d64, hn::SumsOf8(c)))); };
        above[0] += sum(c0), above[1] += sum(c1), above[2] += sum(c2), above[3] += sum(c3);
        above[4] += sum(c4), above[5] += sum(c5), above[6] += sum(c6), above[7] += sum(c7);
    }
    for (; i < count; ++i)
        for (int j = 0; j < kMostBounds; ++j) above[j] += in[i] > padded[j] ? 1 : 0;
    for (int j = 0; j < k; ++j) atMost[j] = count - above[j];
}

// The pixels that reach `least` are few: whole vectors of them are passed over, and the
// others visited from the set bits of their mask.
void CountWhereAtLeast(const std::uint8_t* gray, const std::uint8_t* q, std::size_t count, std::uint8_t least,
                       std::int32_t* counts) {
    const D8 d;
    const std::size_t n = hn::Lanes(d);
    const auto bound = hn::Set(d, least);
    std::size_t i = 0;
    std::uint8_t bits[hn::MaxLanes(d) / 8 + 8] = {};
    for (; i + n <= count; i += n) {
        const auto v = hn::LoadU(d, q + i);
        const auto reached = hn::Eq(hn::Max(v, bound), v);
        if (hn::AllFalse(d, reached)) continue;
        const std::size_t bytes = hn::StoreMaskBits(d, reached, bits);
        for (std::size_t k = 0; k < bytes; k += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, bits + k, std::min<std::size_t>(8, bytes - k));
            for (; word != 0; word &= word - 1) ++counts[gray[i + 8 * k + static_cast<std::size_t>(std::countr_zero(word))]];
        }
    }
    for (; i < count; ++i) counts[gray[i]] += q[i] >= least ? 1 : 0;
}

void SobelEdges(const std::uint8_t* in, int width, int y, int threshold, std::uint8_t* out) {
    using D32 = hn::ScalableTag<std::int32_t>;
    const D32 d;
    const hn::Rebind<std::uint8_t, D32> d8;
    const int lanes = static_cast<int>(hn::Lanes(d));
    const int limit = shared::SobelLimit(threshold);
    const std::size_t w = static_cast<std::size_t>(width);
    const std::uint8_t* b = in + static_cast<std::size_t>(y) * w;
    const std::uint8_t* a = b - w;
    const std::uint8_t* c = b + w;
    const auto load = [&](const std::uint8_t* p) { return hn::PromoteTo(d, hn::LoadU(d8, p)); };
    const auto bound = hn::Set(d, limit);
    const auto one = hn::Set(d, 1);
    const auto vector = [&](int x) {
        const auto a0 = load(a + x - 1), a1 = load(a + x), a2 = load(a + x + 1);
        const auto b0 = load(b + x - 1), b2 = load(b + x + 1);
        const auto c0 = load(c + x - 1), c1 = load(c + x), c2 = load(c + x + 1);
        const auto sx = hn::Sub(hn::Add(hn::Add(a2, hn::Add(b2, b2)), c2), hn::Add(hn::Add(a0, hn::Add(b0, b0)), c0));
        const auto sy = hn::Sub(hn::Add(hn::Add(c0, hn::Add(c1, c1)), c2), hn::Add(hn::Add(a0, hn::Add(a1, a1)), a2));
        const auto s = hn::Add(hn::Mul(sx, sx), hn::Mul(sy, sy));
        hn::StoreU(hn::DemoteTo(d8, hn::IfThenElseZero(hn::Gt(s, bound), one)), d8, out + x);
    };
    if (width - 2 < lanes) {
        for (int x = 1; x < width - 1; ++x) out[x] = shared::SobelEdgeAt(a, b, c, x, limit);
        return;
    }
    int x = 1;
    for (; x + lanes <= width - 1; x += lanes) vector(x);
    if (x < width - 1) vector(width - 1 - lanes);
}

void WindowCounts(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    const D8 d;
    // Sums of nine 0s and 1s stay below 10: bytes do.
    Rows(
        in, out, width, height, hn::Lanes(d),
        [d](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o, int x) {
            const auto left = hn::Add(hn::Add(hn::LoadU(d, a + x - 1), hn::LoadU(d, b + x - 1)), hn::LoadU(d, c + x - 1));
            const auto centre = hn::Add(hn::Add(hn::LoadU(d, a + x), hn::LoadU(d, b + x)), hn::LoadU(d, c + x));
            const auto right = hn::Add(hn::Add(hn::LoadU(d, a + x + 1), hn::LoadU(d, b + x + 1)), hn::LoadU(d, c + x + 1));
            hn::StoreU(hn::Add(hn::Add(left, centre), right), d, o + x);
        },
        shared::WindowCountAt);
}

void HoughRuns(const HoughPixels& pixels, double c, double s, double diagonal, int R, std::int32_t* previous,
               std::int32_t* start, std::int32_t* end) {
    // The index is found in floats, twice as many to a vector as doubles and without the
    // division, which is most of the cost in doubles. The float index differs from the
    // double one by less than R x 4e-7 + 1e-4 (the offsets are exact in floats, the rest is
    // a few roundings of relative size 2^-24 on values below the half diagonal and R + 1),
    // so it rounds to the same whole number wherever it lies farther than that from a half;
    // a vector with a pixel nearer a half has its indices computed again in doubles, as the
    // plain form does.
    using DF = hn::ScalableTag<float>;
    const DF d;
    const hn::RebindToSigned<DF> di;
    const std::size_t n = hn::Lanes(d);
    const auto cosine = hn::Set(d, static_cast<float>(c));
    const auto sine = hn::Set(d, static_cast<float>(s));
    const auto reciprocal = hn::Set(d, static_cast<float>(1.0 / diagonal));
    const auto half = hn::Set(d, 0.5f);
    const auto scale = hn::Set(d, static_cast<float>(R));
    const auto nearHalf = hn::Set(d, static_cast<float>(R * 1e-6 + 4e-4));
    const auto one = hn::Set(di, 1);
    const auto zero = hn::Zero(di);
    const auto cells = hn::Set(di, R);
    const auto nowhere = hn::Set(di, R + 1);
    const auto none = hn::Set(di, -1);
    HWY_ALIGN std::int32_t exact[hn::MaxLanes(di)];
    std::size_t k = 0;
    for (; k + n <= pixels.count; k += n) {
        const auto rho = hn::Add(hn::Mul(hn::LoadU(d, pixels.fx + k), cosine), hn::Mul(hn::LoadU(d, pixels.fy + k), sine));
        const auto at = hn::Add(hn::Mul(hn::Add(hn::Mul(rho, reciprocal), half), scale), half);
        const auto fraction = hn::Sub(at, hn::Floor(at));
        auto r = hn::NearestInt(at);
        if (!hn::AllFalse(d, hn::Lt(hn::Abs(hn::Sub(fraction, half)), nearHalf))) {
            for (std::size_t j = 0; j < n; ++j)
                exact[j] = shared::HoughIndexAt(pixels.dx[k + j], pixels.dy[k + j], c, s, diagonal, R);
            r = hn::Load(di, exact);
        }
        const auto prev = hn::LoadU(di, previous + k);
        const auto valid = hn::And(hn::Not(hn::Lt(r, zero)), hn::Lt(r, cells));
        const auto after = hn::Add(prev, one);
        const auto before = hn::Sub(prev, one);
        const auto low = hn::IfThenElse(hn::And(hn::Gt(prev, zero), hn::Lt(after, r)), after, r);
        const auto high = hn::IfThenElse(hn::Gt(before, r), before, r);
        hn::StoreU(hn::IfThenElse(valid, low, nowhere), di, start + k);
        hn::StoreU(hn::IfThenElse(valid, hn::Add(high, one), nowhere), di, end + k);
        hn::StoreU(hn::IfThenElse(valid, r, none), di, previous + k);
    }
    for (; k < pixels.count; ++k)
        shared::HoughRunAt(shared::HoughIndexAt(pixels.dx[k], pixels.dy[k], c, s, diagonal, R), R, previous[k],
                           start[k], end[k]);
}

// Two vectors of up to four scans each. The scans read their pixels from separate parts of
// the picture: eight steps of eight scans are read as eight words and turned into eight
// words of one step each.
std::size_t MovingAveragePieceCount() { return 2 * hn::Lanes(hn::CappedTag<double, 4>()); }

void MovingAveragePieces(const std::uint8_t* in, std::uint8_t* out, std::size_t stride, std::size_t steps,
                         const MovingWindow& window, double* M) {
#if HWY_TARGET == HWY_SCALAR
    plain::MovingAveragePieces(in, out, stride, steps, window, M);  // the same two scans
#else
    const hn::CappedTag<double, 4> d;
    const std::size_t lanes = hn::Lanes(d);
    const std::size_t pieces = 2 * lanes;
    auto m0 = hn::LoadU(d, M);
    auto m1 = hn::LoadU(d, M + lanes);
    const auto n = hn::Set(d, window.n);
    const auto inverse = hn::Set(d, window.inverse);
    const auto keep = hn::Set(d, window.keep);
    const auto exactBelow = hn::Set(d, MovingWindow::kExactBelow);
    // Each step keeps at least half of M, so sums at or above 2^8 kExactBelow stay above
    // kExactBelow for eight steps: then a block needs no choice per step.
    const auto safeAbove = hn::Set(d, 0x1p8 * MovingWindow::kExactBelow);
    bool normal = false;
    const auto decay = [&](auto m) {
        if (!window.powerOfTwo) return hn::Sub(m, hn::Div(m, n));
        if (normal) return hn::Mul(m, keep);
        return hn::IfThenElse(hn::Ge(m, exactBelow), hn::Mul(m, keep), hn::Sub(m, hn::Mul(m, inverse)));
    };
    const auto average = [&](auto m) { return window.powerOfTwo ? hn::Mul(m, inverse) : hn::Div(m, n); };
    const auto scale = hn::Set(d, 85.0);
    // For a power of two n and M far from the subnormals, M / n is exact, so Average(M) x 85
    // is the one rounding of M x (85 / n), itself exact: one product instead of two.
    const auto scaledInverse = hn::Set(d, 85.0 * window.inverse);
    const auto hundred = hn::Set(d, 100.0);
    // a / 100 > v rounded: surely not for a <= 100 v, surely for a >= 100 v + 2^-30, whose
    // quotient exceeds v by far more than half its spacing (v < 256); in between, which takes
    // a near coincidence, the division decides for the whole block of steps.
    const auto margin = hn::Set(d, 0x1p-30);
    bool unsure = false;
    // Marks the black lanes in `bits` and returns the lanes in between.
    const auto blackness = [&](auto m, auto v, std::uint8_t* bits) {
        const auto a = window.powerOfTwo && normal ? hn::Mul(m, scaledInverse) : hn::Mul(average(m), scale);
        const auto low = hn::Mul(v, hundred);
        const auto black = hn::Ge(a, hn::Add(low, margin));
        hn::StoreMaskBits(d, black, bits);
        return hn::AndNot(black, hn::Gt(a, low));
    };
    // Every mark is written before it is read: no zeroing.
    const std::unique_ptr<std::uint8_t[]> marks(new std::uint8_t[out != nullptr ? steps : 0]);
    // A step's bytes, one per scan, as doubles: widened to 32 bits in one vector, whose halves
    // are the two vectors of doubles.
    const hn::Repartition<std::int32_t, decltype(d)> d32;
    const hn::Half<decltype(d32)> d32h;
    const hn::Rebind<std::uint8_t, decltype(d32)> d8;
    for (std::size_t j = 0; j < steps; j += 8) {
        const std::size_t count = std::min<std::size_t>(8, steps - j);
        std::uint64_t r[8] = {};
        for (std::size_t k = 0; k < pieces; ++k) {
            if (count == 8) std::memcpy(&r[k], in + k * stride + j, 8);  // a load of one word
            else std::memcpy(&r[k], in + k * stride + j, count);
        }
        // The 8 x 8 transpose of bytes: byte i of r[k] becomes byte k of r[i].
        for (int k = 0; k < 4; ++k) {
            const std::uint64_t t = ((r[k] >> 32) ^ r[k + 4]) & 0x00000000FFFFFFFFull;
            r[k] ^= t << 32;
            r[k + 4] ^= t;
        }
        for (int k : {0, 1, 4, 5}) {
            const std::uint64_t t = ((r[k] >> 16) ^ r[k + 2]) & 0x0000FFFF0000FFFFull;
            r[k] ^= t << 16;
            r[k + 2] ^= t;
        }
        for (int k : {0, 2, 4, 6}) {
            const std::uint64_t t = ((r[k] >> 8) ^ r[k + 1]) & 0x00FF00FF00FF00FFull;
            r[k] ^= t << 8;
            r[k + 1] ^= t;
        }
        normal = hn::AllTrue(d, hn::Ge(hn::Min(m0, m1), safeAbove));
        alignas(64) double start[8];
        hn::Store(m0, d, start);
        hn::Store(m1, d, start + lanes);
        for (std::size_t i = 0; i < count; ++i) {
            const auto wide = hn::PromoteTo(d32, hn::LoadU(d8, reinterpret_cast<const std::uint8_t*>(r + i)));
            const auto v0 = hn::PromoteTo(d, hn::LowerHalf(d32h, wide));
            const auto v1 = hn::PromoteTo(d, hn::UpperHalf(d32h, wide));
            m0 = hn::Add(decay(m0), v0);
            m1 = hn::Add(decay(m1), v1);
            if (out == nullptr) continue;
            std::uint8_t bits[2] = {};
            const auto between = hn::Or(blackness(m0, v0, bits), blackness(m1, v1, bits + 1));
            if (!hn::AllFalse(d, between)) unsure = true;
            marks[j + i] = static_cast<std::uint8_t>(bits[0] | (unsigned{bits[1]} << lanes));
        }
        if (out == nullptr || !unsure) continue;
        // A near coincidence in the block: its marks again, step by step with the division,
        // from the sums it started with (MovingWindow's operations are the vectors').
        unsure = false;
        for (std::size_t i = 0; i < count; ++i) {
            unsigned black = 0;
            for (std::size_t k = 0; k < pieces; ++k) {
                const double v = static_cast<double>((r[i] >> (8 * k)) & 255);
                start[k] = window.Decay(start[k]) + v;
                if (window.Average(start[k]) * 85 / 100 > v) black |= 1u << k;
            }
            marks[j + i] = static_cast<std::uint8_t>(black);
        }
    }
    hn::StoreU(m0, d, M);
    hn::StoreU(m1, d, M + lanes);
    if (out == nullptr) return;
    // Bit k of marks[j] to out[k * stride + j]: 0 where set (black), 255 where clear.
    const D8 db;
    const std::size_t bytes = hn::Lanes(db);
    for (std::size_t k = 0; k < pieces; ++k) {
        const auto bit = hn::Set(db, static_cast<std::uint8_t>(1u << k));
        std::uint8_t* o = out + k * stride;
        std::size_t j = 0;
        for (; j + bytes <= steps; j += bytes)
            hn::StoreU(hn::VecFromMask(db, hn::Eq(hn::And(hn::LoadU(db, marks.get() + j), bit), hn::Zero(db))), db,
                       o + j);
        for (; j < steps; ++j) o[j] = (marks[j] >> k) & 1 ? 0 : 255;
    }
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace quillfen::toolbox_loops
HWY_AFTER_NAMESPACE();

#endif  // QF_SIMD

#if !QF_SIMD || HWY_ONCE
namespace quillfen::toolbox_loops {
namespace plain {

void Invert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(255 - in[i]);
}

void Binarize(const std::uint8_t* in, std::uint8_t* out, std::size_t count, int threshold) {
    for (std::size_t i = 0; i < count; ++i) out[i] = in[i] < threshold ? 0 : 255;
}

void WhiteBits(const std::uint8_t* in, std::size_t count, std::uint64_t* bits) {
    std::memset(bits, 0, (count + 63) / 64 * sizeof(std::uint64_t));
    for (std::size_t i = 0; i < count; ++i)
        if (in[i] == 255) bits[i / 64] |= std::uint64_t{1} << (i % 64);
}

std::size_t FirstInRange(const std::uint8_t* in, std::size_t count, std::uint8_t low, std::uint8_t high) {
    for (std::size_t i = 0; i < count; ++i)
        if (in[i] >= low && in[i] <= high) return i;
    return count;
}

template <class One>
void EachInterior(const std::uint8_t* in, std::uint8_t* out, int width, int height, One one) {
    shared::ForInteriorRows(in, out, width, height,
                            [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* o) {
                                for (int x = 1; x < width - 1; ++x) o[x] = one(a, b, c, x);
                            });
}

void Median(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    EachInterior(in, out, width, height, shared::MedianAt);
}

void Mean(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    EachInterior(in, out, width, height, shared::MeanAt);
}

void Contract(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    EachInterior(in, out, width, height, shared::ContractAt);
}

void Expand(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    EachInterior(in, out, width, height, shared::ExpandAt);
}

void Gradient(Operator op, const std::uint8_t* in, std::uint8_t* out, int width, int height, int factor) {
    EachInterior(in, out, width, height,
                 [op, factor](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                     return shared::GradientAt(op, a, b, c, x, factor);
                 });
}

void Differences(Difference kind, const std::uint8_t* in, std::uint8_t* out, std::size_t count, std::size_t width,
                 int factor) {
    for (std::size_t i = 0; i < count; ++i) out[i] = shared::DifferenceAt(kind, in, i, count, width, factor);
}

void FreiChen(const std::uint8_t* in, std::uint8_t* out, int width, int height, double scale) {
    const double r2 = std::sqrt(2.0);
    EachInterior(in, out, width, height,
                 [r2, scale](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                     return shared::FreiChenAt(a, b, c, x, r2, scale);
                 });
}

void HoughRuns(const HoughPixels& pixels, double c, double s, double diagonal, int R, std::int32_t* previous,
               std::int32_t* start, std::int32_t* end) {
    for (std::size_t k = 0; k < pixels.count; ++k)
        shared::HoughRunAt(shared::HoughIndexAt(pixels.dx[k], pixels.dy[k], c, s, diagonal, R), R, previous[k],
                           start[k], end[k]);
}

void LaplacianResponses(const std::uint8_t* in, int width, int y, std::int16_t* d) {
    const std::size_t w = static_cast<std::size_t>(width);
    const std::uint8_t* b = in + static_cast<std::size_t>(y) * w;
    for (int x = 1; x < width - 1; ++x) d[x] = shared::LaplacianResponseAt(b - w, b, b + w, x);
}

void LaplacianBytes(const std::uint8_t* in, int width, int height, std::uint8_t* e) {
    shared::LaplacianBorder(e, width, height);
    EachInterior(in, e, width, height, shared::LaplacianByteAt);
}

void CountAtMost(const std::uint8_t* in, std::size_t count, const std::uint8_t* bounds, int k, std::size_t* atMost) {
    for (int j = 0; j < k; ++j) {
        atMost[j] = 0;
        for (std::size_t i = 0; i < count; ++i) atMost[j] += in[i] <= bounds[j] ? 1 : 0;
    }
}

void CountWhereAtLeast(const std::uint8_t* gray, const std::uint8_t* q, std::size_t count, std::uint8_t least,
                       std::int32_t* counts) {
    for (std::size_t i = 0; i < count; ++i) counts[gray[i]] += q[i] >= least ? 1 : 0;
}

void SobelEdges(const std::uint8_t* in, int width, int y, int threshold, std::uint8_t* out) {
    const std::size_t w = static_cast<std::size_t>(width);
    const std::uint8_t* b = in + static_cast<std::size_t>(y) * w;
    const int limit = shared::SobelLimit(threshold);
    for (int x = 1; x < width - 1; ++x) out[x] = shared::SobelEdgeAt(b - w, b, b + w, x, limit);
}

void WindowCounts(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    EachInterior(in, out, width, height, shared::WindowCountAt);
}

void MovingAveragePieces(const std::uint8_t* in, std::uint8_t* out, std::size_t stride, std::size_t steps,
                         const MovingWindow& window, double* M) {
    for (std::size_t j = 0; j < steps; ++j) {
        for (std::size_t k = 0; k < 2; ++k) {
            const std::uint8_t v = in[k * stride + j];
            M[k] = window.Decay(M[k]) + v;
            if (out != nullptr) out[k * stride + j] = window.Average(M[k]) * 85 / 100 > v ? 0 : 255;
        }
    }
}

}  // namespace plain

#if QF_SIMD

HWY_EXPORT(Invert);
HWY_EXPORT(Binarize);
HWY_EXPORT(WhiteBits);
HWY_EXPORT(FirstInRange);
HWY_EXPORT(Median);
HWY_EXPORT(Mean);
HWY_EXPORT(Contract);
HWY_EXPORT(Expand);
HWY_EXPORT(Gradient);
HWY_EXPORT(Differences);
HWY_EXPORT(FreiChen);
HWY_EXPORT(HoughRuns);
HWY_EXPORT(LaplacianResponses);
HWY_EXPORT(LaplacianBytes);
HWY_EXPORT(CountAtMost);
HWY_EXPORT(CountWhereAtLeast);
HWY_EXPORT(SobelEdges);
HWY_EXPORT(WindowCounts);
HWY_EXPORT(MovingAveragePieceCount);
HWY_EXPORT(MovingAveragePieces);

void Invert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) {
    HWY_DYNAMIC_DISPATCH(Invert)(in, out, count);
}
void Binarize(const std::uint8_t* in, std::uint8_t* out, std::size_t count, int threshold) {
    HWY_DYNAMIC_DISPATCH(Binarize)(in, out, count, threshold);
}
void WhiteBits(const std::uint8_t* in, std::size_t count, std::uint64_t* bits) {
    HWY_DYNAMIC_DISPATCH(WhiteBits)(in, count, bits);
}
std::size_t FirstInRange(const std::uint8_t* in, std::size_t count, std::uint8_t low, std::uint8_t high) {
    return HWY_DYNAMIC_DISPATCH(FirstInRange)(in, count, low, high);
}
void Median(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    HWY_DYNAMIC_DISPATCH(Median)(in, out, width, height);
}
void Mean(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    HWY_DYNAMIC_DISPATCH(Mean)(in, out, width, height);
}
void Contract(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    HWY_DYNAMIC_DISPATCH(Contract)(in, out, width, height);
}
void Expand(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    HWY_DYNAMIC_DISPATCH(Expand)(in, out, width, height);
}
void Gradient(Operator op, const std::uint8_t* in, std::uint8_t* out, int width, int height, int factor) {
    HWY_DYNAMIC_DISPATCH(Gradient)(op, in, out, width, height, factor);
}
void Differences(Difference kind, const std::uint8_t* in, std::uint8_t* out, std::size_t count, std::size_t width,
                 int factor) {
    HWY_DYNAMIC_DISPATCH(Differences)(kind, in, out, count, width, factor);
}
void FreiChen(const std::uint8_t* in, std::uint8_t* out, int width, int height, double scale) {
    HWY_DYNAMIC_DISPATCH(FreiChen)(in, out, width, height, scale);
}
void HoughRuns(const HoughPixels& pixels, double c, double s, double diagonal, int R, std::int32_t* previous,
               std::int32_t* start, std::int32_t* end) {
    HWY_DYNAMIC_DISPATCH(HoughRuns)(pixels, c, s, diagonal, R, previous, start, end);
}
void LaplacianResponses(const std::uint8_t* in, int width, int y, std::int16_t* d) {
    HWY_DYNAMIC_DISPATCH(LaplacianResponses)(in, width, y, d);
}
void LaplacianBytes(const std::uint8_t* in, int width, int height, std::uint8_t* e) {
    HWY_DYNAMIC_DISPATCH(LaplacianBytes)(in, width, height, e);
}
void CountAtMost(const std::uint8_t* in, std::size_t count, const std::uint8_t* bounds, int k, std::size_t* atMost) {
    HWY_DYNAMIC_DISPATCH(CountAtMost)(in, count, bounds, k, atMost);
}
void CountWhereAtLeast(const std::uint8_t* gray, const std::uint8_t* q, std::size_t count, std::uint8_t least,
                       std::int32_t* counts) {
    HWY_DYNAMIC_DISPATCH(CountWhereAtLeast)(gray, q, count, least, counts);
}
void SobelEdges(const std::uint8_t* in, int width, int y, int threshold, std::uint8_t* out) {
    HWY_DYNAMIC_DISPATCH(SobelEdges)(in, width, y, threshold, out);
}
void WindowCounts(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    HWY_DYNAMIC_DISPATCH(WindowCounts)(in, out, width, height);
}
std::size_t MovingAveragePieceCount() { return HWY_DYNAMIC_DISPATCH(MovingAveragePieceCount)(); }
void MovingAveragePieces(const std::uint8_t* in, std::uint8_t* out, std::size_t stride, std::size_t steps,
                         const MovingWindow& window, double* M) {
    HWY_DYNAMIC_DISPATCH(MovingAveragePieces)(in, out, stride, steps, window, M);
}

#else

void Invert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) { plain::Invert(in, out, count); }
void Binarize(const std::uint8_t* in, std::uint8_t* out, std::size_t count, int threshold) {
    plain::Binarize(in, out, count, threshold);
}
void WhiteBits(const std::uint8_t* in, std::size_t count, std::uint64_t* bits) { plain::WhiteBits(in, count, bits); }
std::size_t FirstInRange(const std::uint8_t* in, std::size_t count, std::uint8_t low, std::uint8_t high) {
    return plain::FirstInRange(in, count, low, high);
}
void Median(const std::uint8_t* in, std::uint8_t* out, int width, int height) { plain::Median(in, out, width, height); }
void Mean(const std::uint8_t* in, std::uint8_t* out, int width, int height) { plain::Mean(in, out, width, height); }
void Contract(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    plain::Contract(in, out, width, height);
}
void Expand(const std::uint8_t* in, std::uint8_t* out, int width, int height) { plain::Expand(in, out, width, height); }
void Gradient(Operator op, const std::uint8_t* in, std::uint8_t* out, int width, int height, int factor) {
    plain::Gradient(op, in, out, width, height, factor);
}
void Differences(Difference kind, const std::uint8_t* in, std::uint8_t* out, std::size_t count, std::size_t width,
                 int factor) {
    plain::Differences(kind, in, out, count, width, factor);
}
void FreiChen(const std::uint8_t* in, std::uint8_t* out, int width, int height, double scale) {
    plain::FreiChen(in, out, width, height, scale);
}
void HoughRuns(const HoughPixels& pixels, double c, double s, double diagonal, int R, std::int32_t* previous,
               std::int32_t* start, std::int32_t* end) {
    plain::HoughRuns(pixels, c, s, diagonal, R, previous, start, end);
}
void LaplacianResponses(const std::uint8_t* in, int width, int y, std::int16_t* d) {
    plain::LaplacianResponses(in, width, y, d);
}
void LaplacianBytes(const std::uint8_t* in, int width, int height, std::uint8_t* e) {
    plain::LaplacianBytes(in, width, height, e);
}
void CountAtMost(const std::uint8_t* in, std::size_t count, const std::uint8_t* bounds, int k, std::size_t* atMost) {
    plain::CountAtMost(in, count, bounds, k, atMost);
}
void CountWhereAtLeast(const std::uint8_t* gray, const std::uint8_t* q, std::size_t count, std::uint8_t least,
                       std::int32_t* counts) {
    plain::CountWhereAtLeast(gray, q, count, least, counts);
}
void SobelEdges(const std::uint8_t* in, int width, int y, int threshold, std::uint8_t* out) {
    plain::SobelEdges(in, width, y, threshold, out);
}
void WindowCounts(const std::uint8_t* in, std::uint8_t* out, int width, int height) {
    plain::WindowCounts(in, out, width, height);
}
std::size_t MovingAveragePieceCount() { return 2; }
void MovingAveragePieces(const std::uint8_t* in, std::uint8_t* out, std::size_t stride, std::size_t steps,
                         const MovingWindow& window, double* M) {
    plain::MovingAveragePieces(in, out, stride, steps, window, M);
}

#endif  // QF_SIMD

}  // namespace quillfen::toolbox_loops
#endif  // !QF_SIMD || HWY_ONCE
