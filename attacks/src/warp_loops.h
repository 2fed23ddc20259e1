#pragma once
// The bilinear warp's inner loop, written once with portable vectors for every instruction set
// of the build (see quillfen/image/vector_targets.h). Each position is sampled in its own lane
// with the operations of the per-pixel form in its order, so the bytes never depend on the
// machine. A build with QF_SIMD=OFF leaves every position to the per-pixel form.
#include <cstddef>
#include <cstdint>

namespace quillfen::warp_loops {

// Samples `count` planes of width x height bytes (row-major, no padding) at the positions
// (sx[x], sy[x]) for x = from, from + 1, ... in runs of the vector's length, as long as every
// position of a run has all four neighbours inside the picture: each target byte is
// ToByte((1 - fy) ((1 - fx) p00 + fx p01) + fy ((1 - fx) p10 + fx p11)), with x0, y0 the
// floors of the position and fx, fy what is left. Returns where it stopped: `end`, or the
// first position of a run it left to the caller.
std::size_t BilinearInside(const std::uint8_t* const* planes, std::uint8_t* const* targets, std::size_t count,
                           const double* sx, const double* sy, std::size_t from, std::size_t end, int width,
                           int height);

}  // namespace quillfen::warp_loops
