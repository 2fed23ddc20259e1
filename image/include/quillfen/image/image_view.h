#pragma once
// ImageView: a picture someone else owns, gray or in colour, as a watermarking method reads
// it. A gray picture is one GrayView; a colour picture is the views of its red, green and blue
// bytes (three views into one buffer of RGB or BGR pixels, with a pixel stride of 3 or 4), so
// that a numpy array, an OpenCV Mat or a 24-bit Bitmap is read in place.
//
// A gray picture may come with the real values its bytes were rounded from (Reals): the
// laboratory's own attacks keep them, and the polarity method reads them where it reads an
// attacked picture, as the laboratory's extraction does. Every other picture is its bytes.
#include <span>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/gray_view.h"

QUILLFEN_API_BEGIN
namespace quillfen {

class Bitmap;

struct ImageView {
    // For a gray picture the three are one view.
    GrayView Red;
    GrayView Green;
    GrayView Blue;
    bool Colour = false;
    // A gray picture's values before rounding, row-major (width x height of them); empty when
    // the bytes are the picture.
    std::span<const double> Reals;

    ImageView() = default;
    // A gray picture, and optionally the reals its bytes were rounded from.
    explicit ImageView(const GrayView& gray, std::span<const double> reals = {})
        : Red(gray), Green(gray), Blue(gray), Reals(reals) {}
    // A colour picture of three views of one size.
    ImageView(const GrayView& red, const GrayView& green, const GrayView& blue)
        : Red(red), Green(green), Blue(blue), Colour(true) {}

    int width() const { return Blue.width; }
    int height() const { return Blue.height; }
    bool empty() const { return Blue.empty(); }
    // The byte the laboratory reads as a pixel's gray: the blue one (all three of a gray picture).
    const GrayView& Gray() const { return Blue; }
};

// The three bytes of a 24-bit picture as a colour view (a picture whose three bytes are equal
// everywhere is gray to the methods that read its luminance).
QUILLFEN_EXPORT ImageView ViewOf(const Bitmap& picture);

// The luminance a viewer sees of a picture, as a gray plane: (299 R + 587 G + 114 B) / 1000
// rounded half to even for a colour picture (what image libraries give as its gray, within a
// level), the gray itself for a gray one (the three weights sum to 1000). The blind methods
// mark it, and a picture's quality (SSIM) is measured on it.
GrayPlane LuminanceOf(const ImageView& picture);
GrayPlane LuminanceOf(const Bitmap& picture);

// ArgumentError, naming `what`, unless every view can be read (CheckView), the three are of one
// size, and the reals, when given, are one per pixel.
QUILLFEN_EXPORT void CheckImageView(const ImageView& picture, const char* what);

}  // namespace quillfen
QUILLFEN_API_END
