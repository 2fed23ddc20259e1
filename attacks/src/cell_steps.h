#pragma once
// What the two ways of applying a cell share: the marked region's (attack_catalogue.cpp) and
// a picture's of any size and kind (picture_cells.cpp).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/round_half_even.h"

namespace quillfen::cells {

// The random stream of step i of a cell: a seeded attack alone or first in a combination
// draws the cell's seed, the others independent streams.
inline std::uint64_t StreamSeed(std::uint64_t seed, std::size_t step) {
    return seed ^ (static_cast<std::uint64_t>(step) * 0xA0761D6478BD642FULL);
}

inline bool NeedsHost(AttackId id) { return id == AttackId::CropImageQuarter || id == AttackId::CropImageHalf; }

// The seven attacks of the watermark workspace come first in AttackId.
inline bool IsWorkspaceAttack(AttackId id) {
    return static_cast<int>(id) <= static_cast<int>(AttackId::CropImageHalf);
}

// How many of `lines` rows (columns) `remove-rows` (`remove-cols`) removes for a count n of 256:
// round(n lines / 256), halves to even, at least 1 for n > 0 and at most lines - 1.
inline int LinesOf256(int n, int lines) {
    if (n <= 0) return 0;
    const int removed = static_cast<int>(RoundHalfEven(static_cast<double>(n) * lines / 256));
    return std::min(std::max(1, removed), lines - 1);
}

// ArgumentError unless the step names an attack of the catalogue with values it accepts.
void CheckStep(const AttackStep& step);

// An attack on the 8-bit picture (not one of the workspace's seven) applied to a gray plane.
GrayPlane ApplyPictureAttack(const AttackStep& step, const GrayPlane& in, std::uint64_t streamSeed);

// The cell on a gray plane of any size, as the Bitmap form attacks a gray picture; `host`
// (null when the cell reads none) is the crops' host, of the plane's size.
GrayPlane AttackGrayPlane(const AttackCell& cell, GrayPlane plane, std::uint64_t seed, const GrayPlane* host);

}  // namespace quillfen::cells
