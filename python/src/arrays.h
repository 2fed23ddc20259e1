#pragma once
// numpy arrays as the library's pictures: a uint8 array of shape (H, W), or (H, W, 3) or
// (H, W, 4) in RGB(A) order, is read through a GrayView of its own memory (any strides, no
// copy); colour arrays give their blue channel, the byte the method reads as gray. Results
// come back as new arrays that own the library's pixels (moved, not copied).
#include <cstdint>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/gray_view.h"
#include "quillfen/image/image_view.h"

namespace quillfen::python {

namespace py = pybind11;

// A caller's picture: the array, which keeps its memory alive while the view is read (the
// view may be read with the interpreter's lock released), and the view of its gray pixels.
struct Picture {
    py::array array;
    GrayView view;
    int channels = 1;  // 1 for (H, W); 3 or 4 for colour
    ImageView picture;  // the gray view, or the red, green and blue views of a colour array
};

// ArgumentError naming `what` for anything but a uint8 array of those shapes, with pixels, within
// the size limits (CheckView).
Picture PictureOf(const py::handle& object, const char* what);

// A new (H, W) array holding the plane's pixels.
py::array ArrayOf(GrayPlane plane);
py::array ArrayOf(std::vector<std::uint8_t> pixels, int width, int height);
// A 24-bit picture as (H, W) when gray (its three bytes equal everywhere) or `gray` is asked
// for, else (H, W, 3) RGB.
py::array ArrayOf(const Bitmap& picture, bool gray);
// A picture of the caller's size in the caller's layout: (H, W) for a gray array, (H, W, 3) RGB
// for a colour one (gray pixels too), (H, W, 4) for an RGBA one, with the caller's alpha.
py::array ArrayLike(const Bitmap& picture, const Picture& caller);
// The picture as a 24-bit Bitmap: gray arrays in all three bytes, colour ones as they are.
Bitmap BitmapOf(const Picture& picture);
// A new array of the caller's picture's shape holding `marked` (of the same size): the gray of a
// (H, W) array, the red, green and blue of a colour one, whose alpha, if any, is kept.
py::array LikeCaller(const Picture& caller, const Bitmap& marked);

}  // namespace quillfen::python
