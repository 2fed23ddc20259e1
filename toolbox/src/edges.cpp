// Edge operators: the general neighbour differences, the 3 x 3 gradient masks (Roberts,
// Prewitt, Sobel, Frei-Chen) and the three Laplacian masks. Each computes into a zeroed
// plane the size of the input.
//
// The fast forms run the vector loops of toolbox_loops.h where the scale is a whole number
// from 0 to 255 (the scales the catalogue uses): M x scale is then an integer, its rounding
// changes nothing, and min(255, M x scale) is the byte. Other scales take a table of the
// byte of every possible M. The literal forms compute GradientByte(M x scale) at every pixel.
#include "quillfen/toolbox/edges.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "quillfen/image/round_half_even.h"
#include "toolbox_loops.h"

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
void FreiChenRow(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* out,
                 std::size_t w, double r2, double scale) {
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
        out[x] = GradientByte((std::fabs(g1) + std::fabs(g2)) * scale);
    }
}

// The scale as a whole number 0..255, or -1 for any other scale.
int WholeFactor(double scale) {
    if (!(scale >= 0.0 && scale <= 255.0) || std::floor(scale) != scale) return -1;
    return static_cast<int>(scale);
}

// M of the 3 x 3 gradients, in the masks' own terms.
int RobertsM(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t*, int x) {
    return std::abs(b[x] - a[x + 1]) + std::abs(b[x] - a[x - 1]);
}
int PrewittM(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    const int g1 = a[x - 1] - a[x + 1] + b[x - 1] - b[x + 1] + c[x - 1] - c[x + 1];
    const int g2 = -a[x - 1] - a[x] - a[x + 1] + c[x - 1] + c[x] + c[x + 1];
    return std::abs(g1) + std::abs(g2);
}
int SobelM(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    const int g1 = a[x - 1] - a[x + 1] + 2 * b[x - 1] - 2 * b[x + 1] + c[x - 1] - c[x + 1];
    const int g2 = -a[x - 1] - 2 * a[x] - a[x + 1] + c[x - 1] + 2 * c[x] + c[x + 1];
    return std::abs(g1) + std::abs(g2);
}

// S of the Laplacians.
int Laplacian1S(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    return 4 * b[x] - a[x] - b[x - 1] - b[x + 1] - c[x];
}
int Laplacian2S(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    const int ring = a[x - 1] + a[x] + a[x + 1] + b[x - 1] + b[x + 1] + c[x - 1] + c[x] + c[x + 1];
    return 8 * b[x] - ring;
}
int Laplacian3S(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
    const int corners = a[x - 1] + a[x + 1] + c[x - 1] + c[x + 1];
    const int sides = a[x] + b[x - 1] + b[x + 1] + c[x];
    return corners - 2 * sides + 4 * b[x];
}

using Magnitude = int (*)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, int);

// A 3 x 3 gradient: the vector loop for whole-number scales, else the table of bytes.
GrayPlane Gradient3(const GrayPlane& plane, double scale, toolbox_loops::Operator op, Magnitude m, int maxMagnitude) {
    GrayPlane result(plane.width(), plane.height());
    const int factor = WholeFactor(scale);
    if (factor >= 0) {
        toolbox_loops::Gradient(op, plane.data(), result.data(), plane.width(), plane.height(), factor);
    } else {
        const GradientTable byte(maxMagnitude, scale);
        ForInterior(plane, result, [&byte, m](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                                              int x) { return byte(m(a, b, c, x)); });
    }
    return result;
}

GrayPlane Laplacian(const GrayPlane& plane, toolbox_loops::Operator op) {
    GrayPlane result(plane.width(), plane.height());
    toolbox_loops::Gradient(op, plane.data(), result.data(), plane.width(), plane.height(), 0);
    return result;
}

// The general operators: the vector loop for whole-number scales, else the table of bytes.
GrayPlane General(const GrayPlane& plane, double scale, toolbox_loops::Difference kind) {
    GrayPlane result(plane.width(), plane.height());
    const std::size_t n = static_cast<std::size_t>(plane.size());
    const std::size_t w = static_cast<std::size_t>(plane.width());
    const int factor = WholeFactor(scale);
    if (factor >= 0) {
        toolbox_loops::Differences(kind, plane.data(), result.data(), n, w, factor);
        return result;
    }
    const GradientTable byte(kind == toolbox_loops::Difference::Both ? 510 : 255, scale);
    const std::uint8_t* p = plane.data();
    std::uint8_t* out = result.data();
    for (std::size_t i = 0; i < n; ++i) {
        const int v = p[i];
        const int right = i + 1 < n ? p[i + 1] : 0;
        const int below = i + w < n ? p[i + w] : 0;
        int d = 0;
        if (kind != toolbox_loops::Difference::Below) d += std::abs(v - right);
        if (kind != toolbox_loops::Difference::Right) d += std::abs(v - below);
        out[i] = byte(d);
    }
    return result;
}

}  // namespace

// ---- General operators: every pixel; a neighbour beyond the last pixel counts as 0 -----
// In the last column the right-hand neighbour is the first pixel of the next row.

GrayPlane GeneralVertical(const GrayPlane& plane, double scale) {
    return General(plane, scale, toolbox_loops::Difference::Right);
}

GrayPlane GeneralHorizontal(const GrayPlane& plane, double scale) {
    return General(plane, scale, toolbox_loops::Difference::Below);
}

GrayPlane General(const GrayPlane& plane, double scale) { return General(plane, scale, toolbox_loops::Difference::Both); }

// ---- 3 x 3 gradient operators: interior only, M = |G1| + |G2| ------------------------------

GrayPlane Roberts(const GrayPlane& plane, double scale) {
    return Gradient3(plane, scale, toolbox_loops::Operator::Roberts, RobertsM, 510);
}

GrayPlane Prewitt(const GrayPlane& plane, double scale) {
    return Gradient3(plane, scale, toolbox_loops::Operator::Prewitt, PrewittM, 1530);
}

GrayPlane Sobel(const GrayPlane& plane, double scale) {
    return Gradient3(plane, scale, toolbox_loops::Operator::Sobel, SobelM, 2040);
}

GrayPlane FreiChen(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    if (scale >= 0.0 && scale <= toolbox_loops::kFreiChenPlainScale) {
        toolbox_loops::FreiChen(plane.data(), result.data(), plane.width(), plane.height(), scale);
        return result;
    }
    const double r2 = std::sqrt(2.0);
    const std::size_t w = static_cast<std::size_t>(plane.width());
    for (int y = 1; y < plane.height() - 1; ++y) {
        const std::uint8_t* p = plane.data() + static_cast<std::size_t>(y) * w;
        FreiChenRow(p - w, p, p + w, result.data() + static_cast<std::size_t>(y) * w, w, r2, scale);
    }
    return result;
}

// ---- Laplacians: |S| clamped, no scale, no histogram --------------------------------------

GrayPlane Laplacian1(const GrayPlane& plane) { return Laplacian(plane, toolbox_loops::Operator::Laplacian1); }
GrayPlane Laplacian2(const GrayPlane& plane) { return Laplacian(plane, toolbox_loops::Operator::Laplacian2); }
GrayPlane Laplacian3(const GrayPlane& plane) { return Laplacian(plane, toolbox_loops::Operator::Laplacian3); }

// ---- Literal forms: the byte of M x scale at every pixel -----------------------------------

namespace literal {
namespace {

GrayPlane Gradient3(const GrayPlane& plane, double scale, Magnitude m) {
    GrayPlane result(plane.width(), plane.height());
    ForInterior(plane, result, [scale, m](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
        return GradientByte(m(a, b, c, x) * scale);
    });
    return result;
}

GrayPlane Laplacian(const GrayPlane& plane, Magnitude s) {
    GrayPlane result(plane.width(), plane.height());
    ForInterior(plane, result, [s](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
        return LaplacianByte(s(a, b, c, x));
    });
    return result;
}

GrayPlane General(const GrayPlane& plane, double scale, bool right, bool below) {
    GrayPlane result(plane.width(), plane.height());
    const int n = plane.size();
    const int w = plane.width();
    for (int i = 0; i < n; ++i) {
        const int v = plane.data()[i];
        int d = 0;
        if (right) d += std::abs(v - (i + 1 < n ? plane.data()[i + 1] : 0));
        if (below) d += std::abs(v - (i + w < n ? plane.data()[i + w] : 0));
        result.data()[i] = GradientByte(d * scale);
    }
    return result;
}

}  // namespace

GrayPlane GeneralVertical(const GrayPlane& plane, double scale) { return General(plane, scale, true, false); }
GrayPlane GeneralHorizontal(const GrayPlane& plane, double scale) { return General(plane, scale, false, true); }
GrayPlane General(const GrayPlane& plane, double scale) { return General(plane, scale, true, true); }
GrayPlane Roberts(const GrayPlane& plane, double scale) { return Gradient3(plane, scale, RobertsM); }
GrayPlane Prewitt(const GrayPlane& plane, double scale) { return Gradient3(plane, scale, PrewittM); }
GrayPlane Sobel(const GrayPlane& plane, double scale) { return Gradient3(plane, scale, SobelM); }

GrayPlane FreiChen(const GrayPlane& plane, double scale) {
    GrayPlane result(plane.width(), plane.height());
    const double r2 = std::sqrt(2.0);
    const std::size_t w = static_cast<std::size_t>(plane.width());
    for (int y = 1; y < plane.height() - 1; ++y) {
        const std::uint8_t* p = plane.data() + static_cast<std::size_t>(y) * w;
        FreiChenRow(p - w, p, p + w, result.data() + static_cast<std::size_t>(y) * w, w, r2, scale);
    }
    return result;
}

GrayPlane Laplacian1(const GrayPlane& plane) { return Laplacian(plane, Laplacian1S); }
GrayPlane Laplacian2(const GrayPlane& plane) { return Laplacian(plane, Laplacian2S); }
GrayPlane Laplacian3(const GrayPlane& plane) { return Laplacian(plane, Laplacian3S); }

}  // namespace literal

}  // namespace quillfen::edges
