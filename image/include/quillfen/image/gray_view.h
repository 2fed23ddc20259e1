#pragma once
// GrayView and MutableGrayView: 8-bit gray pixels that someone else owns, described by a
// pointer, a size and two strides, so that an OpenCV Mat, a numpy array, a QImage's bits or
// one channel of a BGR picture can be handed to Quillfen without copying it first.
//
// Pixel (x, y) is the byte at data + y * rowStride + x * pixelStride. rowStride is the number
// of bytes from a row to the next (Mat::step, numpy's strides[0], QImage::bytesPerLine(); it
// may exceed the width, and be negative for rows stored bottom up); pixelStride the number of
// bytes from a pixel to the next in its row: 1 for gray rows, 3 or 4 for one channel of BGR or
// BGRA pixels (numpy's strides[1]). The view holds no pixels: the memory must stay valid, and
// for a MutableGrayView writable, while the view is used.
//
// The functions that take a view read it once, into their own working form where they need
// one, and return their results as an owning GrayPlane; none keeps the view.
#include <cstddef>
#include <cstdint>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"

QUILLFEN_API_BEGIN
namespace quillfen {

class Bitmap;

struct GrayView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t rowStride = 0;
    std::ptrdiff_t pixelStride = 1;

    GrayView() = default;
    GrayView(const std::uint8_t* pixels, int columns, int rows, std::ptrdiff_t rowStep, std::ptrdiff_t pixelStep = 1)
        : data(pixels), width(columns), height(rows), rowStride(rowStep), pixelStride(pixelStep) {}
    // The whole plane. Like a string_view of a string, the view must not outlive the plane.
    GrayView(const GrayPlane& plane)  // implicit: a plane is a view
        : data(plane.data()), width(plane.width()), height(plane.height()), rowStride(plane.width()) {}

    bool empty() const { return width == 0 || height == 0; }
    std::uint8_t at(int x, int y) const { return data[y * rowStride + x * pixelStride]; }
};

struct MutableGrayView {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t rowStride = 0;
    std::ptrdiff_t pixelStride = 1;

    MutableGrayView() = default;
    MutableGrayView(std::uint8_t* pixels, int columns, int rows, std::ptrdiff_t rowStep, std::ptrdiff_t pixelStep = 1)
        : data(pixels), width(columns), height(rows), rowStride(rowStep), pixelStride(pixelStep) {}
    MutableGrayView(GrayPlane& plane)
        : data(plane.data()), width(plane.width()), height(plane.height()), rowStride(plane.width()) {}

    operator GrayView() const { return {data, width, height, rowStride, pixelStride}; }
    bool empty() const { return width == 0 || height == 0; }
    std::uint8_t& at(int x, int y) const { return data[y * rowStride + x * pixelStride]; }
};

// ArgumentError, naming `what`, unless the view can be read: sides of 0 or more within the size
// limits of limits.h (kMaxSide, kMaxPixels) and a pixel pointer when it has pixels. Any
// strides are accepted (0 repeats a pixel or a row, as numpy's broadcasting does).
QUILLFEN_EXPORT void CheckView(const GrayView& view, const char* what);
// The same for a view to be written, whose pixels must moreover be distinct bytes: a pixel
// stride other than 0 and rows that do not overlap.
QUILLFEN_EXPORT void CheckView(const MutableGrayView& view, const char* what);

// A copy of the view's pixels as a plane (CheckView first).
QUILLFEN_EXPORT GrayPlane ToPlane(const GrayView& view);

// Writes `from` into `to`, pixel by pixel; ArgumentError when their sizes differ.
QUILLFEN_EXPORT void CopyInto(const GrayView& from, const MutableGrayView& to);

// The blue bytes of a 24-bit picture, which this system reads as the gray value.
QUILLFEN_EXPORT GrayView BlueOf(const Bitmap& picture);
QUILLFEN_EXPORT MutableGrayView BlueOf(Bitmap& picture);

}  // namespace quillfen
QUILLFEN_API_END
