#pragma once
// The engine's inner loops, written once with portable vectors and compiled for every
// instruction set of the build (see quillfen/image/vector_targets.h); a build with QF_SIMD=OFF has
// them as plain loops. Every result is the same IEEE operations in the same order on every
// target, so the bytes never depend on the machine: each output value is computed in its
// own lane, and the lanes only decide how many are computed at once.
#include <cstddef>
#include <cstdint>

namespace quillfen::vector_loops {

// A table of 64 x 64 doubles, 64-byte aligned: table[i][j] multiplies input i for sum j.
using Table = const double (*)[64];

// sums[j] = sum over i = 0..63, in that order, of table[i][j] * in[i], for j = 0..63; each
// product rounded before it is added. Zero inputs add nothing and are skipped.
void Accumulate(Table table, const double* in, double* sums);

// The same for `count` blocks of 64 inputs laid end to end (in[64 b + i]), giving 64 sums
// per block (sums[64 b + j]), with one dispatch for all of them.
void AccumulateBlocks(Table table, const double* in, double* sums, std::size_t count);

// The same for 16 sums: table[i][j] multiplies input i for sum j, j = 0..15 (64-byte aligned).
using Table16 = const double (*)[16];
void Accumulate16(Table16 table, const double* in, double* sums);
// Accumulate16 for `count` blocks of 64 inputs laid end to end (in[64 b + i]), giving 16 sums
// per block (sums[16 b + j]), with one dispatch for all of them.
void Accumulate16Blocks(Table16 table, const double* in, double* sums, std::size_t count);

// The quantisation of a simulated JPEG compression, in place, on a size x size plane of 8 x 8
// blocks (size a multiple of 8): with step = scale * steps[k] for the coefficient's place k
// in its block, c becomes (q * steps[k]) * scale, q = c / step rounded half away from zero
// (truncating c / step + 0.5, or - 0.5 for c < 0).
void Quantise(double* plane, std::size_t size, const double* steps, double scale);

// The per-block stretch of a size x size plane in n x n blocks (n = 4 or 8; a last partial
// row or column of blocks is left as it is) into a view of the same layout: each value v becomes the byte
// round((v - lo) * 255 / (hi - lo)), halves to even, where lo and hi are its block's
// extremes starting from 10000 and -10000; a flat block becomes zeros.
void StretchPlane(const double* plane, std::size_t size, int n, std::uint8_t* view);

// Separable weighted window sums over a width x height plane (row-major), for every window of
// n x n wholly inside it (outWidth = width - n + 1, outHeight = height - n + 1):
// rows[y][x] = sum over i = 0..n-1 of weights[i] * plane[y][x + i], then
// means[y][x] = sum over j = 0..n-1 of weights[j] * rows[y + j][x], each sum starting from +0
// and adding its terms in that order. `rows` holds height x outWidth values, `means`
// outHeight x outWidth; both are overwritten. Needs n <= width, n <= height.
void WindowSums(const double* plane, std::size_t width, std::size_t height, const double* weights, std::size_t n,
                double* rows, double* means);

// out[x] = sum over i = 0..n-1, in that order, of weights[i] * terms[i][x], for x < count, each
// sum starting from +0. With terms[i] = row + i it is a window along a row (the first pass of
// WindowSums); with terms[i] the rows of a window, a window along the columns (the second).
void WeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n, double* out);

// The same for odd n and weights that mirror about the centre (weights[i] = weights[n - 1 - i]):
// out[x] = sum over i < n / 2, in that order, of weights[i] * (terms[i][x] + terms[n - 1 - i][x]),
// starting from +0, then plus weights[n / 2] * terms[n / 2][x]. About half the products; the
// value differs from WeightedSums' in its last bits.
void SymmetricWeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n,
                           double* out);

// Window means of x, y, x^2, y^2 and x y at `count` neighbouring places.
struct SsimMeans {
    const double* X;
    const double* Y;
    const double* XX;
    const double* YY;
    const double* XY;
};
// terms[i] = ((2 ux uy + c1) (2 vxy + c2)) / ((ux^2 + uy^2 + c1) (vx + vy + c2)), with
// vx = uxx - ux^2, vy = uyy - uy^2, vxy = uxy - ux uy, each product and sum in the order
// written: the SSIM map at each place.
void SsimTerms(const SsimMeans& means, std::size_t count, double c1, double c2, double* terms);

// The same loops one value at a time, the operations in the same order: what a build with
// QF_SIMD=OFF runs, kept in every build so that tests hold the vector loops against them.
namespace plain {
void Accumulate(Table table, const double* in, double* sums);
void AccumulateBlocks(Table table, const double* in, double* sums, std::size_t count);
void Accumulate16(Table16 table, const double* in, double* sums);
void Accumulate16Blocks(Table16 table, const double* in, double* sums, std::size_t count);
void Quantise(double* plane, std::size_t size, const double* steps, double scale);
void StretchPlane(const double* plane, std::size_t size, int n, std::uint8_t* view);
void WindowSums(const double* plane, std::size_t width, std::size_t height, const double* weights, std::size_t n,
                double* rows, double* means);
void WeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n, double* out);
void SymmetricWeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n,
                           double* out);
void SsimTerms(const SsimMeans& means, std::size_t count, double c1, double c2, double* terms);
}  // namespace plain

}  // namespace quillfen::vector_loops
