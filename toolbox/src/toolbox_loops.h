#pragma once
// The toolbox's inner loops over gray pixels, written once with portable vectors and compiled
// for every instruction set of the build (quillfen/image/vector_targets.h); a build with
// QF_SIMD=OFF has them as plain loops. They are integer work (or, for Frei-Chen, the double
// operations of the plain form in the same order, one output per lane, or a float estimate
// checked to round as they do), so every target gives the same bytes.
//
// The 3 x 3 loops write the interior of a width x height plane, rows 1..height-2 and columns
// 1..width-2, reading rows above and below; the caller decides the border. Planes narrower
// or lower than 3 pixels have no interior and are not touched.
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace quillfen::toolbox_loops {

// out[i] = 255 - in[i].
void Invert(const std::uint8_t* in, std::uint8_t* out, std::size_t count);

// out[i] = 0 where in[i] < threshold, else 255 (threshold <= 0: all 255; above 255: all 0).
void Binarize(const std::uint8_t* in, std::uint8_t* out, std::size_t count, int threshold);

// Marks the 255 pixels of in[0..count): bit j of bits[k] for pixel 64k + j, the bits past
// count 0. `bits` holds (count + 63) / 64 words.
void WhiteBits(const std::uint8_t* in, std::size_t count, std::uint64_t* bits);

// The index of the first of in[0..count) in low..high, or count when none is.
std::size_t FirstInRange(const std::uint8_t* in, std::size_t count, std::uint8_t low, std::uint8_t high);

// The fifth smallest of each 3 x 3 window.
void Median(const std::uint8_t* in, std::uint8_t* out, int width, int height);
// The sum of each 3 x 3 window divided by 9, truncated.
void Mean(const std::uint8_t* in, std::uint8_t* out, int width, int height);
// 0 where any of the four diagonal neighbours is 0, else the input (contraction); 255 where
// any is 255, else the input (expansion).
void Contract(const std::uint8_t* in, std::uint8_t* out, int width, int height);
void Expand(const std::uint8_t* in, std::uint8_t* out, int width, int height);

// The integer 3 x 3 operators: the gradients give M = |G1| + |G2| and store
// min(255, M x factor), the exact byte of M x factor rounded and clamped when the scale is the
// whole number `factor` (0..255); the Laplacians store min(255, |S|) and ignore `factor`.
enum class Operator { Roberts, Prewitt, Sobel, Laplacian1, Laplacian2, Laplacian3 };
void Gradient(Operator op, const std::uint8_t* in, std::uint8_t* out, int width, int height, int factor);

// The general operators over the whole plane as one row of `count` pixels (a neighbour beyond
// the last pixel is 0): |p(i) - p(i + 1)| (step 1), |p(i) - p(i + width)| (step width), or
// their sum (both), each stored as min(255, D x factor).
enum class Difference { Right, Below, Both };
void Differences(Difference kind, const std::uint8_t* in, std::uint8_t* out, std::size_t count, std::size_t width,
                 int factor);

// Frei-Chen for scales 0..kFreiChenPlainScale: M computed in doubles term by term in the
// order of the mask, then min(255, round-half-even(M x scale)).
inline constexpr double kFreiChenPlainScale = 100000.0;
// Up to this scale the vector loops estimate M x scale in floats first (see FreiChen).
inline constexpr double kFreiChenFloatScale = 2.0;
void FreiChen(const std::uint8_t* in, std::uint8_t* out, int width, int height, double scale);

// The Laplacian responses of the interior pixels of row y (1..height-2) of a width-pixel
// plane: d = (sum of the eight neighbours) - 8 x centre, 0 where negative, into
// d[1..width-2].
void LaplacianResponses(const std::uint8_t* in, int width, int y, std::int16_t* d);

// The same responses of every interior pixel as bytes, min(d, 255), into a plane `e` of the
// input's size whose border is set to 0.
void LaplacianBytes(const std::uint8_t* in, int width, int height, std::uint8_t* e);

// atMost[j] = how many of in[0..count) are at most bounds[j], for j < k (1..kMostBounds).
inline constexpr int kMostBounds = 8;
void CountAtMost(const std::uint8_t* in, std::size_t count, const std::uint8_t* bounds, int k, std::size_t* atMost);

// Adds to counts[g] (256 entries) the number of pixels i of gray[i] = g where q[i] >= least.
void CountWhereAtLeast(const std::uint8_t* gray, const std::uint8_t* q, std::size_t count, std::uint8_t least,
                       std::int32_t* counts);

// The Hough transform's edges of row y (1..height-2): out[x] = 1 where the Sobel gradient
// |(Sx, Sy)| / 8 exceeds `threshold`, else 0, for x = 1..width-2. Exactly where
// Sx^2 + Sy^2 > 64 x threshold^2: the magnitude is the correctly rounded root of
// (Sx^2 + Sy^2) / 64, and below 181 a whole-number threshold is never within rounding of it.
void SobelEdges(const std::uint8_t* in, int width, int y, int threshold, std::uint8_t* out);

// out[x] = the number of 1s among in[] in the 3 x 3 window of each interior pixel of a
// plane of 0s and 1s, for every interior row and column (the border is left alone).
void WindowCounts(const std::uint8_t* in, std::uint8_t* out, int width, int height);

// The Hough transform's votes of edge pixels at one angle row of R cells. Pixel k lies at
// (dx[k], dy[k]) from the plane's centre (fx and fy hold the same offsets as floats); its
// distance index at the angle of cosine c and sine s is rho = dx c + dy s, then
// (rho / diagonal + 0.5) x R + 0.5 rounded half to even, in that order. Given its index at
// the row before (previous[k], -1 when that was outside 0..R-1; replaced by this row's), it
// votes for the run of cells start[k] .. end[k] - 1: its index and the gap back to the
// previous one. A pixel whose index is outside 0..R-1 votes for nothing: start and end are
// both R + 1.
struct HoughPixels {
    const double* dx;
    const double* dy;
    const float* fx;
    const float* fy;
    std::size_t count;
};
void HoughRuns(const HoughPixels& pixels, double c, double s, double diagonal, int R, std::int32_t* previous,
               std::int32_t* start, std::int32_t* end);

// The moving-average threshold's running sum M over a window of n pixels: each pixel
// turns M into Decay(M) + v, whose Average is compared with the pixel. For a power of two,
// M * (1 / n) is the same correctly rounded value as M / n, and exact while M is a normal
// number far from the subnormals: M - M / n is then the real M (1 - 1 / n), and (1 - 1 / n)
// is exact, so M * (1 - 1 / n) rounds to the same double with one operation less on the
// chain from pixel to pixel.
struct MovingWindow {
    static constexpr double kExactBelow = 0x1p-900;  // M / n is exact for any M above this
    double n;
    double inverse;
    double keep;
    bool powerOfTwo;
    explicit MovingWindow(double window)
        : n(window), inverse(1.0 / window), keep(1.0 - 1.0 / window),
          powerOfTwo(std::ldexp(1.0, std::ilogb(window)) == window) {}
    double Decay(double m) const {
        if (!powerOfTwo) return m - m / n;
        return m >= kExactBelow ? m * keep : m - m * inverse;
    }
    double Average(double m) const { return powerOfTwo ? m * inverse : m / n; }
};

// MovingAveragePieceCount() scans side by side: scan k steps through in[k * stride + j] for
// j = 0..steps-1 from M[k] (left in M[k]); with `out`, out[k * stride + j] = 0 where
// Average(M) x 85 / 100 > v after the pixel v, else 255. Each scan makes exactly the double
// operations of MovingWindow, in its order.
std::size_t MovingAveragePieceCount();
void MovingAveragePieces(const std::uint8_t* in, std::uint8_t* out, std::size_t stride, std::size_t steps,
                         const MovingWindow& window, double* M);

// The same loops one value at a time: what a build with QF_SIMD=OFF runs.
namespace plain {
void Invert(const std::uint8_t* in, std::uint8_t* out, std::size_t count);
void Binarize(const std::uint8_t* in, std::uint8_t* out, std::size_t count, int threshold);
void WhiteBits(const std::uint8_t* in, std::size_t count, std::uint64_t* bits);
std::size_t FirstInRange(const std::uint8_t* in, std::size_t count, std::uint8_t low, std::uint8_t high);
void Median(const std::uint8_t* in, std::uint8_t* out, int width, int height);
void Mean(const std::uint8_t* in, std::uint8_t* out, int width, int height);
void Contract(const std::uint8_t* in, std::uint8_t* out, int width, int height);
void Expand(const std::uint8_t* in, std::uint8_t* out, int width, int height);
void Gradient(Operator op, const std::uint8_t* in, std::uint8_t* out, int width, int height, int factor);
void Differences(Difference kind, const std::uint8_t* in, std::uint8_t* out, std::size_t count, std::size_t width,
                 int factor);
void FreiChen(const std::uint8_t* in, std::uint8_t* out, int width, int height, double scale);
void HoughRuns(const HoughPixels& pixels, double c, double s, double diagonal, int R, std::int32_t* previous,
               std::int32_t* start, std::int32_t* end);
void LaplacianResponses(const std::uint8_t* in, int width, int y, std::int16_t* d);
void LaplacianBytes(const std::uint8_t* in, int width, int height, std::uint8_t* e);
void CountAtMost(const std::uint8_t* in, std::size_t count, const std::uint8_t* bounds, int k, std::size_t* atMost);
void CountWhereAtLeast(const std::uint8_t* gray, const std::uint8_t* q, std::size_t count, std::uint8_t least,
                       std::int32_t* counts);
void SobelEdges(const std::uint8_t* in, int width, int y, int threshold, std::uint8_t* out);
void WindowCounts(const std::uint8_t* in, std::uint8_t* out, int width, int height);
void MovingAveragePieces(const std::uint8_t* in, std::uint8_t* out, std::size_t stride, std::size_t steps,
                         const MovingWindow& window, double* M);
}  // namespace plain

}  // namespace quillfen::toolbox_loops
