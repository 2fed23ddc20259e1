#pragma once
// Noise removal (3 x 3 mean and median, contraction, expansion) and inversion. The four
// filters change interior pixels only, reading the unchanged input: the border rows and
// columns, and the whole of a plane narrower or lower than 3 pixels, keep their values.
#include <cstdint>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"

QUILLFEN_API_BEGIN
namespace quillfen::noise {

// The nine-value sum of each window divided by 9, truncated.
GrayPlane Mean(const GrayPlane& plane);
// The fifth smallest of each window's nine values; the same bytes as literal::Median.
GrayPlane Median(const GrayPlane& plane);
// 0 where any of the four diagonal neighbours is exactly 0, else the input.
GrayPlane Contraction(const GrayPlane& plane);
// 255 where any of the four diagonal neighbours is exactly 255, else the input.
GrayPlane Expansion(const GrayPlane& plane);
// 255 - v for every pixel.
GrayPlane Inverse(const GrayPlane& plane);

// Sorts values[left..right] ascending (a recursive quicksort around the middle element).
void SortWindow(std::int32_t values[], int left, int right);

namespace literal {
// The median by SortWindow on every window.
GrayPlane Median(const GrayPlane& plane);
}  // namespace literal

}  // namespace quillfen::noise
QUILLFEN_API_END
