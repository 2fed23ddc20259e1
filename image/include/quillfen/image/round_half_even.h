#pragma once
// Rounding to the nearest integer, halves to the even neighbour, without a library call.
#include <cstdint>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Adding 1.5 * 2^52 moves any |v| < 2^51 into the binade whose spacing is exactly 1, so the
// addition itself rounds v to an integer in the current (default: to nearest, ties to even)
// mode, and the subtraction is exact: the same value as std::nearbyint(v) (a zero may come
// back as +0 where nearbyint keeps -0), but inlined and vectorisable on plain SSE2. Callers
// keep |v| < 2^51. Relies on strict IEEE evaluation (no -ffast-math).
inline double RoundHalfEven(double v) {
    constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
    return (v + kShift) - kShift;
}

}  // namespace quillfen
QUILLFEN_API_END
