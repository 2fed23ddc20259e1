#pragma once
// Zhang-Suen thinning. Every non-zero pixel is object; a one-pixel frame of object is laid
// round the plane first, so objects touching the border stay attached to it. The result
// holds 255 for the skeleton (and the frame) and 0 elsewhere.
#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"

QUILLFEN_API_BEGIN
namespace quillfen::thinning {

// Revisits only the pixels next to a deletion; the same bytes as literal::ZhangSuen.
GrayPlane ZhangSuen(const GrayPlane& plane);

namespace literal {
// Rescans the whole interior in both passes of every iteration.
GrayPlane ZhangSuen(const GrayPlane& plane);
}  // namespace literal

}  // namespace quillfen::thinning
QUILLFEN_API_END
