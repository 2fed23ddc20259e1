#pragma once
// Rounding to the nearest integer, halves to the even neighbour, without a library call.
namespace quillfen {

// For |x| < 2^51 in the default rounding mode: x + 1.5 * 2^52 lands where the spacing of
// doubles is exactly 1, so the addition itself rounds x half to even, and the subtraction is
// exact. Gives nearbyint's value (a zero may come back as +0 where nearbyint keeps -0).
inline double RoundHalfEven(double x) {
    constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
    return (x + kShift) - kShift;
}

}  // namespace quillfen
