#pragma once
// The blind methods' inner loops (blind_core.h): the quantisers' reading and the band's inverse
// transform, written once with portable vectors and compiled for every instruction set of the
// build (quillfen/image/vector_targets.h); a build with QF_SIMD=OFF has them as plain loops.
// Each value is computed in its own lane with the IEEE operations of the plain form, in its
// order (no fused multiply-add), so every target gives the same bits as the plain form.
#include <cstddef>
#include <cstdint>

namespace quillfen {
struct ImageView;
class Bitmap;
class RandomStream;
namespace detail {
class RdmRecursion;
}
}  // namespace quillfen

namespace quillfen::blind_loops {

// For k < count, with side(x) = LatticeSide(x, dither[k], step):
//     sides[k] = side(value[k])
//     terms[k] = sides[k] - ((((0 + side(twin0[k])) + side(twin1[k])) + side(twin2[k])) + side(twin3[k])) / 4
// (twinD: twins[D]). The outputs may not overlap the inputs.
void Sides(const double* value, const double* const* twins, const double* dither, double step, std::size_t count,
           double* sides, double* terms);

// The inverse transform of the band's change, added to a strip of eight rows of `width`
// values (row-major): for each whole block b of the strip (columns 8 b .. 8 b + 7), with
// B[u][v] its change (change[22 b + j] at kBand[j], 0 elsewhere in u, v < 7),
//     columns[u][y] = sum over v < 7 of (B[u][v] scale[v]) cosine[v][y]
//     strip[x][8 b + y] += sum over u < 7 of (scale[u] cosine[u][x]) columns[u][y]
// each sum from +0 in that order. `cosine` is [7][8], `scale` [7].
void AddBandStrip(double* strip, int width, const double* change, const double (*cosine)[8], const double* scale);

// The band coefficients of each whole block of a strip of eight rows of `width` values, blocks
// in order, 22 each in kBand's order, into out[22 b + j]: with f[x][y] the block's value in
// row x, column y,
//     rows[x][v] = (sum over y < 8 of f[x][y] cosine[v][y]) scale[v]
//     F(u, v) = (sum over x < 8 of rows[x][v] cosine[u][x]) scale[u]
// each sum from +0 in that order.
void BandStrip(const double* strip, int width, const double (*cosine)[8], const double* scale, double* out);

// rdm's pass of the strength search (blind_core.h's RdmPass) on a grid of `across` x `down`
// whole blocks. The recursion is the plain one on every target (its steps are scalar); each
// written block is computed in lanes, the luminance and the inverse transform with the
// operations and order of WriteBlockChange and AddBandStrip, so every target gives its bytes.
std::int64_t RdmPass(const ImageView& host, bool gray, const double* coefficients, const std::uint8_t* bit,
                     const std::uint8_t* payload, RandomStream& dithers, detail::RdmRecursion& recursion, int across,
                     int down, const double (*cosine)[8], const double* scale, Bitmap& out);

// rdm's energy model (quantisers.cpp): `count` recursions (detail::RdmRecursion) side by side
// over `length` items each, item k of recursion s at [k * count + s] of `c` (the coefficient),
// `u` (its dither's uniform) and `bit` (its payload bit), each from an empty ring of `memory`.
// For the last `counted` items, writes squared[(k - (length - counted)) * count + s] =
// (marked - c)^2. Whole vectors of recursions run in lanes with the recursion's operations in
// its order, where the recursion leaves a coefficient as it is the lane keeps it; the
// recursions beyond the last whole vector run one by one.
void RdmStretches(const double* c, const double* u, const std::uint8_t* bit, std::size_t count, std::size_t length,
                  std::size_t counted, double alpha, double step, std::size_t memory, double* squared);

}  // namespace quillfen::blind_loops
