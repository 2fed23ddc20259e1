// Edge operators: the general neighbour differences, the 3 x 3 gradient masks (Roberts,
// Prewitt, Sobel, Frei-Chen) and the three Laplacian masks. Each computes into a zeroed
// buffer the size of the image from the unchanged input, then replaces the image with it.
#include <cmath>
#include <cstdlib>

#include "image/rix_ipa.h"
#include "image/round_half_even.h"

namespace quillfen {
namespace {

// Gradient result: M x scale rounded half to even, clamped to 0..255. Only a negative (or
// NaN) scale can give a negative product; it is stored as 0 rather than wrapping round.
inline std::uint8_t GradientByte(double scaled) {
    if (!(scaled >= 0.0)) return 0;
    if (scaled >= 255.5) return 255;  // rounds to 256 or more
    return static_cast<std::uint8_t>(RoundHalfEven(scaled));
}

inline std::uint8_t LaplacianByte(int s) {
    const int v = std::abs(s);
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// Runs f(above, centre, below, x) on every interior pixel, row by row, left to right, and
// stores its byte in `out`. Images narrower or lower than 3 pixels have no interior.
template <class F>
void ForInterior(const std::uint8_t* p, std::uint8_t* out, int width, int height, F f) {
    for (int y = 1; y < height - 1; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * width;
        const std::uint8_t* a = p + row - width;
        const std::uint8_t* b = p + row;
        const std::uint8_t* c = p + row + width;
        std::uint8_t* o = out + row;
        for (int x = 1; x < width - 1; ++x) o[x] = f(a, b, c, x);
    }
}

}  // namespace

// ---- General operators: every pixel; a neighbour beyond the last pixel counts as 0 -----

void TRixIPA::EdgeGeneralVertical(double scale) {
    SetUndoReady(true);
    ComputeHistogram();
    std::vector<std::uint8_t> out(Image.size(), 0);
    const std::uint8_t* p = Image.data();
    const int n = PixelCount;
    // In the last column the right-hand neighbour is the first pixel of the next row.
    for (int i = 0; i + 1 < n; ++i) out[i] = GradientByte(std::abs(p[i] - p[i + 1]) * scale);
    if (n > 0) out[n - 1] = GradientByte(p[n - 1] * scale);
    Image = std::move(out);
}

void TRixIPA::EdgeGeneralHorizontal(double scale) {
    SetUndoReady(true);
    ComputeHistogram();
    std::vector<std::uint8_t> out(Image.size(), 0);
    const std::uint8_t* p = Image.data();
    const int n = PixelCount;
    const int w = Width;
    int i = 0;
    for (; i + w < n; ++i) out[i] = GradientByte(std::abs(p[i] - p[i + w]) * scale);
    for (; i < n; ++i) out[i] = GradientByte(p[i] * scale);  // last row: below is outside
    Image = std::move(out);
}

void TRixIPA::EdgeGeneral(double scale) {
    SetUndoReady(true);
    ComputeHistogram();
    std::vector<std::uint8_t> out(Image.size(), 0);
    const std::uint8_t* p = Image.data();
    const int n = PixelCount;
    const int w = Width;
    for (int i = 0; i < n; ++i) {
        const int right = i + 1 < n ? p[i + 1] : 0;
        const int below = i + w < n ? p[i + w] : 0;
        out[i] = GradientByte((std::abs(p[i] - right) + std::abs(p[i] - below)) * scale);
    }
    Image = std::move(out);
}

// ---- 3 x 3 gradient operators: interior only, M = |G1| + |G2| ------------------------------

void TRixIPA::EdgeRoberts(double scale) {
    SetUndoReady(true);
    ComputeHistogram();
    std::vector<std::uint8_t> out(Image.size(), 0);
    ForInterior(Image.data(), out.data(), Width, Height,
                [scale](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t*, int x) {
                    const int g1 = b[x] - a[x + 1];
                    const int g2 = b[x] - a[x - 1];
                    return GradientByte((std::abs(g1) + std::abs(g2)) * scale);
                });
    Image = std::move(out);
}

void TRixIPA::EdgePrewitt(double scale) {
    SetUndoReady(true);
    ComputeHistogram();
    std::vector<std::uint8_t> out(Image.size(), 0);
    ForInterior(Image.data(), out.data(), Width, Height,
                [scale](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    const int g1 = a[x - 1] - a[x + 1] + b[x - 1] - b[x + 1] + c[x - 1] - c[x + 1];
                    const int g2 = -a[x - 1] - a[x] - a[x + 1] + c[x - 1] + c[x] + c[x + 1];
                    return GradientByte((std::abs(g1) + std::abs(g2)) * scale);
                });
    Image = std::move(out);
}

void TRixIPA::EdgeSobel(double scale) {
    SetUndoReady(true);
    ComputeHistogram();
    std::vector<std::uint8_t> out(Image.size(), 0);
    ForInterior(Image.data(), out.data(), Width, Height,
                [scale](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    const int g1 = a[x - 1] - a[x + 1] + 2 * b[x - 1] - 2 * b[x + 1] + c[x - 1] - c[x + 1];
                    const int g2 = -a[x - 1] - 2 * a[x] - a[x + 1] + c[x - 1] + 2 * c[x] + c[x + 1];
                    return GradientByte((std::abs(g1) + std::abs(g2)) * scale);
                });
    Image = std::move(out);
}

void TRixIPA::EdgeFreiChen(double scale) {
    SetUndoReady(true);
    ComputeHistogram();
    std::vector<std::uint8_t> out(Image.size(), 0);
    const double r2 = std::sqrt(2.0);
    ForInterior(Image.data(), out.data(), Width, Height,
                [scale, r2](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    // Terms are added one by one in mask order (the zero terms change
                    // nothing), so the rounding of each sum is that of the mask walk.
                    double g1 = 0.0;
                    g1 += a[x - 1];
                    g1 += -1.0 * a[x + 1];
                    g1 += r2 * b[x - 1];
                    g1 += -r2 * b[x + 1];
                    g1 += c[x - 1];
                    g1 += -1.0 * c[x + 1];
                    double g2 = 0.0;
                    g2 += -1.0 * a[x - 1];
                    g2 += -r2 * a[x];
                    g2 += -1.0 * a[x + 1];
                    g2 += c[x - 1];
                    g2 += r2 * c[x];
                    g2 += c[x + 1];
                    return GradientByte((std::fabs(g1) + std::fabs(g2)) * scale);
                });
    Image = std::move(out);
}

// ---- Laplacians: |S| clamped, no scale, no histogram --------------------------------------

void TRixIPA::EdgeLaplacian1() {
    SetUndoReady(true);
    std::vector<std::uint8_t> out(Image.size(), 0);
    ForInterior(Image.data(), out.data(), Width, Height,
                [](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    return LaplacianByte(4 * b[x] - a[x] - b[x - 1] - b[x + 1] - c[x]);
                });
    Image = std::move(out);
}

void TRixIPA::EdgeLaplacian2() {
    SetUndoReady(true);
    std::vector<std::uint8_t> out(Image.size(), 0);
    ForInterior(Image.data(), out.data(), Width, Height,
                [](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    const int ring = a[x - 1] + a[x] + a[x + 1] + b[x - 1] + b[x + 1] + c[x - 1] +
                                     c[x] + c[x + 1];
                    return LaplacianByte(8 * b[x] - ring);
                });
    Image = std::move(out);
}

void TRixIPA::EdgeLaplacian3() {
    SetUndoReady(true);
    std::vector<std::uint8_t> out(Image.size(), 0);
    ForInterior(Image.data(), out.data(), Width, Height,
                [](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int x) {
                    const int corners = a[x - 1] + a[x + 1] + c[x - 1] + c[x + 1];
                    const int sides = a[x] + b[x - 1] + b[x + 1] + c[x];
                    return LaplacianByte(corners - 2 * sides + 4 * b[x]);
                });
    Image = std::move(out);
}

}  // namespace quillfen
