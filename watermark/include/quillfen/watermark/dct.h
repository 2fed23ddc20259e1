#pragma once
// The 8 x 8 block DCT of the watermarking method: the orthonormal DCT-II and its inverse.
//
// A block is 64 reals, row-major: sample f(x, y) at x * 8 + y (x = row), coefficient F(u, v)
// at u * 8 + v (u = vertical frequency). F(u, v) = 0.25 * C(u) * C(v) * sum f(x, y) *
// cos(u pi (2x + 1) / 16) * cos(v pi (2y + 1) / 16), C(0) = 1 / sqrt 2, C(k) = 1 otherwise.
//
// The fast forms read the cosine products from tables built once from the very same
// expressions, and keep each sum's order of terms, so they give the literal forms' bits.
#include <cstdint>

#include "quillfen/image/export.h"
QUILLFEN_API_BEGIN
namespace quillfen {

inline constexpr double kDctC0 = 0.7071067811865476;

// Forward and inverse transform of one block (table form).
void Fdct8x8(const double* samples, double* coefficients);
void Idct8x8(const double* coefficients, double* samples);

// The 16 mid-band coefficients (TWatermark::kMidBand, in that order) of every 8 x 8 block of a
// 256 x 256 plane, straight into the reduced 128 x 128 layout: block (bi, bj)'s coefficient m
// at row 4 bi + m / 4, column 4 bj + m % 4. The values the whole-plane transform followed by
// TWatermark::Reduce gives, bit for bit, for a quarter of the work: what a reader that wants
// only the relations between coefficients (the detection score) needs.
void MidBandTransform(const double* plane, double* reduced);
// The same of a plane of bytes, each read as the real of its value (no plane of reals is made).
void MidBandTransform(const std::uint8_t* plane, double* reduced);

namespace literal {
// The defining sums, the two cosines evaluated for every term.
void Fdct8x8(const double* samples, double* coefficients);
void Idct8x8(const double* coefficients, double* samples);
}  // namespace literal

}  // namespace quillfen
QUILLFEN_API_END
