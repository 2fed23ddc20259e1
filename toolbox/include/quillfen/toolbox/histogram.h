#pragma once
// The gray-level histogram of a plane and the statistics read from it.
#include <array>
#include <cstdint>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"

QUILLFEN_API_BEGIN
namespace quillfen::histogram {

// Number of pixels of each gray level 0..255.
using Counts = std::array<std::int32_t, 256>;

Counts CountLevels(const GrayPlane& plane);

// Sum of the counts: the number of pixels they describe.
std::int32_t Total(const Counts& counts);

// Mean gray level, (sum of g * h(g)) / pixelCount. MathError "Invalid floating point
// operation" when pixelCount is 0 (0 / 0 has no value).
double Mean(const Counts& counts, int pixelCount);

}  // namespace quillfen::histogram
QUILLFEN_API_END
