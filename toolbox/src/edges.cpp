// Edge operators: the general neighbour differences, the 3 x 3 gradient masks (Roberts,
// Prewitt, Sobel, Frei-Chen) and the three Laplacian masks. Each computes into a zeroed
// plane the size of the input.
#include "quillfen/toolbox/edges.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "quillfen/image/round_half_even.h"

namespace quillfen::edges {
namespace {

// Gradient result: M x scale rounded half to even, clamped to 0..255. Clamping before
// rounding gives the same byte (anything above 255 rounds to 255 or more) and keeps the
// loop free of branches. Only a negative or NaN scale can give a product below 0; it is
// stored as 0 rather than wrapping round (max(0, NaN) is 0).
inline std::uint8_t GradientByte(double scaled) {
    const double clamped = std::min(std::max(0.0, scaled), 255.0);
    return static_cast<std::uint8_t>(static_cast<int>(RoundHalfEven(clamped)));
}

// The integer operators have an integer magnitude of known range, so the scaled, rounded
// and clamped byte of every possible M is tabulated once per call.
class GradientTable {
public:
    GradientTable(int maxMagnitude, double scale) : bytes_(static_cast<std::size_t>(maxMagnitude) + 1) {
        for (int m = 0; m <= maxMagnitude; ++m) bytes_[m] = GradientByte(m * scale);
    }
    std::uint8_t operator()(int magnitude) const { return bytes_[magnitude]; }

private:
    std::vector<std::uint8_t> bytes_;
};

inline std::uint8_t LaplacianByte(int s) {
    const int v = std::abs(s);
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// Runs f(above, centre, below, x) on every interior pixel, row by row, left to right, and
// stores its byte in `result`. Planes narrower or lower than 3 pixels have no interior.
template <class F>
void ForInterior(const GrayPlane& plane, GrayPlane& result, F f) {
    const int width = plane.width();
    const std::uint8_t* p = plane.data();
    std::uint8_t* out = result.data();
    for (int y = 1; y < plane.height() - 1; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * width;
        const std::uint8_t* a = p + row - width;
        const std::uint8_t* b = p + row;
        const std::uint8_t* c = p + row + width;
        std::uint8_t* o = out + row;
        for (int x = 1; x < width - 1; ++x) o[x] = f(a, b, c, x);
    }
}

// One interior row of Frei-Chen. Terms are added one by one in mask order, so each sum
// rounds as in the walk over the nine coefficients: the zero terms change nothing, the first
// two terms of G1 are integers (exact), and adding -(sqrt 2 x p) is subtracting it.
// Plain arithmetic on restrict rows, so the compiler can vectorise it. For the usual scales
// (0 to kPlainScaleLimit) the product is non-negative and small enough to convert to int
// directly, and clamping after the conversion gives the same byte without a floating-point
// comparison (which would keep the loop scalar); other scales take GradientByte.
constexpr double kPlainScaleLimit = 100000.0;  // 1742 x 1e5 stays far below 2^31

template <bool kPlainScale>
void FreiChenRow(const std::uint8_t* __restrict a, const std::uint8_t* __restrict b,
                 const std::uint8_t* __restrict c, std::uint8_t* __restrict out, std::size_t w,
                 double r2, double scale) {
    for (std::size_t x = 1; x + 1 < w; ++x) {
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
        if constexpr (kPlainScale) {
            out[x] = static_cast<std::uint8_t>(std::min(static_cast<int>(RoundHalfEven(scaled)), 255));
        } else {
            out[x] = GradientByte(scaled);
        }
    }
}

}  // namespace

// ---- General operators: every pixel; a neighbour beyond the last pixel counts as 0 -----

GrayPlane GeneralVertical(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    std::uint8_t* out = result.data();
    const std::uint8_t* p = plane.data();
    const int n = plane.size();
    // In the last column the right-hand neighbour is the first pixel of the next row.
    const GradientTable byte(255, scale);
    for (int i = 0; i + 1 < n; ++i) out[i] = byte(std::abs(p[i] - p[i + 1]));
    if (n > 0) out[n - 1] = byte(p[n - 1]);
    return result;
}

GrayPlane GeneralHorizontal(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    std::uint8_t* out = result.data();
    const std::uint8_t* p = plane.data();
    const int n = plane.size();
    const int w = plane.width();
    const GradientTable byte(255, scale);
    int i = 0;
    for (; i + w < n; ++i) out[i] = byte(std::abs(p[i] - p[i + w]));
    for (; i < n; ++i) out[i] = byte(p[i]);  // last row: below is outside
    return result;
}

GrayPlane General(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    std::uint8_t* out = result.data();
    const std::uint8_t* p = plane.data();
    const int n = plane.size();
    const int w = plane.width();
    const GradientTable byte(510, scale);
    int i = 0;
    for (; i + w < n; ++i) out[i] = byte(std::abs(p[i] - p[i + 1]) + std::abs(p[i] - p[i + w]));
    for (; i < n; ++i) {  // last row: below is outside, and so is the last pixel's right
        const int right = i + 1 < n ? p[i + 1] : 0;
        out[i] = byte(std::abs(p[i] - right) + p[i]);
    }
    return result;
}

// ---- 3 x 3 gradient operators: interior only, M = |G1| + |G2| ------------------------------

GrayPlane Roberts(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    ForInterior(plane, result,
                [byte = GradientTable(510, scale)](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t*, int x) {
                    const int g1 = b[x] - a[x + 1];
                    const int g2 = b[x] - a[x - 1];
                    return byte(std::abs(g1) + std::abs(g2));
                });
    return result;
}

GrayPlane Prewitt(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    ForInterior(plane, result,
                [byte = GradientTable(1530, scale)](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    const int g1 = a[x - 1] - a[x + 1] + b[x - 1] - b[x + 1] + c[x - 1] - c[x + 1];
                    const int g2 = -a[x - 1] - a[x] - a[x + 1] + c[x - 1] + c[x] + c[x + 1];
                    return byte(std::abs(g1) + std::abs(g2));
                });
    return result;
}

GrayPlane Sobel(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    ForInterior(plane, result,
                [byte = GradientTable(2040, scale)](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    const int g1 = a[x - 1] - a[x + 1] + 2 * b[x - 1] - 2 * b[x + 1] + c[x - 1] - c[x + 1];
                    const int g2 = -a[x - 1] - 2 * a[x] - a[x + 1] + c[x - 1] + 2 * c[x] + c[x + 1];
                    return byte(std::abs(g1) + std::abs(g2));
                });
    return result;
}

GrayPlane FreiChen(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    const double r2 = std::sqrt(2.0);
    const std::size_t w = static_cast<std::size_t>(plane.width());
    for (int y = 1; y < plane.height() - 1; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * w;
        const std::uint8_t* p = plane.data() + row;
        if (scale >= 0.0 && scale <= kPlainScaleLimit)
            FreiChenRow<true>(p - w, p, p + w, result.data() + row, w, r2, scale);
        else
            FreiChenRow<false>(p - w, p, p + w, result.data() + row, w, r2, scale);
    }
    return result;
}

// ---- Laplacians: |S| clamped, no scale, no histogram --------------------------------------

GrayPlane Laplacian1(const GrayPlane& plane) {
    GrayPlane result(plane.width(), plane.height());
    ForInterior(plane, result,
                [](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    return LaplacianByte(4 * b[x] - a[x] - b[x - 1] - b[x + 1] - c[x]);
                });
    return result;
}

GrayPlane Laplacian2(const GrayPlane& plane) {
    GrayPlane result(plane.width(), plane.height());
    ForInterior(plane, result,
                [](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    const int ring = a[x - 1] + a[x] + a[x + 1] + b[x - 1] + b[x + 1] + c[x - 1] +
                                     c[x] + c[x + 1];
                    return LaplacianByte(8 * b[x] - ring);
                });
    return result;
}

GrayPlane Laplacian3(const GrayPlane& plane) {
    GrayPlane result(plane.width(), plane.height());
    ForInterior(plane, result,
                [](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    const int corners = a[x - 1] + a[x + 1] + c[x - 1] + c[x + 1];
                    const int sides = a[x] + b[x - 1] + b[x + 1] + c[x];
                    return LaplacianByte(corners - 2 * sides + 4 * b[x]);
                });
    return result;
}

}  // namespace quillfen::edges
