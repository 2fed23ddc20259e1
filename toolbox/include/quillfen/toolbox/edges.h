#pragma once
// Edge operators. Each computes a new plane of the same size from the unchanged input.
//
// The general operators compute every pixel, a neighbour beyond the last pixel counting as
// 0 (in the last column the right-hand neighbour is the first pixel of the next row). The
// 3 x 3 operators leave the one-pixel border 0. Gradients store M x scale rounded half to
// even and clamped to 0..255 (a negative scale gives 0, never a wrapped byte); the
// Laplacians store |S| clamped to 255.
#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"

QUILLFEN_API_BEGIN
namespace quillfen::edges {

// |p(x, y) - p(x + 1, y)|: the difference with the right neighbour.
GrayPlane GeneralVertical(const GrayPlane& plane, double scale);
// |p(x, y) - p(x, y + 1)|: the difference with the lower neighbour.
GrayPlane GeneralHorizontal(const GrayPlane& plane, double scale);
// The sum of the two.
GrayPlane General(const GrayPlane& plane, double scale);

// M = |G1| + |G2| of the 3 x 3 masks.
GrayPlane Roberts(const GrayPlane& plane, double scale);
GrayPlane Prewitt(const GrayPlane& plane, double scale);
GrayPlane Sobel(const GrayPlane& plane, double scale);
GrayPlane FreiChen(const GrayPlane& plane, double scale);

// Masks 0 -1 0 / -1 4 -1 / 0 -1 0, -1 -1 -1 / -1 8 -1 / -1 -1 -1 and 1 -2 1 / -2 4 -2 / 1 -2 1.
GrayPlane Laplacian1(const GrayPlane& plane);
GrayPlane Laplacian2(const GrayPlane& plane);
GrayPlane Laplacian3(const GrayPlane& plane);

}  // namespace quillfen::edges
QUILLFEN_API_END
