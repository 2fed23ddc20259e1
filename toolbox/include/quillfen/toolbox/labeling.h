#pragma once
// Connected-component labeling: every 8-connected object of 255 pixels gets its own gray
// level, 254 for the object whose first pixel comes first in row-major order, then 253 and
// so on down to 1.
//
// Every object pixel passes its label to its eight neighbours, border pixels included, so an
// object is one label however it touches the border. A pixel that already holds the label
// being given (an input value of 254, say) passes it on as well, joining its 255 neighbours
// to that object.
#include <cstdint>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"

QUILLFEN_API_BEGIN
namespace quillfen::labeling {

// Labels run 254 down to 1.
inline constexpr int kMaxObjects = 254;

// The labelled plane and the number of objects.
struct Labelled {
    GrayPlane plane;
    int count = 0;
};

// Labels every object. A 255th object throws TooManyObjectsError ("Many Labels in this
// image"); nothing is returned then, so the caller's plane stays as it was.
Labelled Label(const GrayPlane& plane);

// Gives `label` to the object holding (x, y) and to every 255 pixel joined to a pixel holding
// the label: a queue-based fill reaching the same fixed point as literal::FillLabel.
void FillLabel(GrayPlane& plane, int x, int y, std::uint8_t label);

namespace literal {
// Reference forms: FillLabel rescans the whole plane until a scan changes nothing.
Labelled Label(const GrayPlane& plane);
void FillLabel(GrayPlane& plane, int x, int y, std::uint8_t label);
}  // namespace literal

}  // namespace quillfen::labeling
QUILLFEN_API_END
