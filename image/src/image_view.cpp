#include "quillfen/image/image_view.h"

#include <string>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/round_half_even.h"

namespace quillfen {

ImageView ViewOf(const Bitmap& picture) {
    const std::uint8_t* bytes = picture.bytes().data();
    const auto stride = static_cast<std::ptrdiff_t>(picture.rowBytes());
    return ImageView(GrayView(bytes + 2, picture.width(), picture.height(), stride, 3),
                       GrayView(bytes + 1, picture.width(), picture.height(), stride, 3),
                       GrayView(bytes, picture.width(), picture.height(), stride, 3));
}

GrayPlane LuminanceOf(const ImageView& picture) {
    GrayPlane out(picture.width(), picture.height());
    for (int y = 0; y < picture.height(); ++y) {
        std::uint8_t* row = out.row(y);
        if (!picture.Colour) {
            for (int x = 0; x < picture.width(); ++x) row[x] = picture.Blue.at(x, y);
            continue;
        }
        for (int x = 0; x < picture.width(); ++x) {
            // Whole thousandths: the quotient is off the exact value by far less than the 0.001
            // between it and a half, and exact at halves, so it rounds as the exact value does.
            const int weighted = 299 * picture.Red.at(x, y) + 587 * picture.Green.at(x, y) + 114 * picture.Blue.at(x, y);
            row[x] = static_cast<std::uint8_t>(RoundHalfEven(weighted / 1000.0));
        }
    }
    return out;
}

GrayPlane LuminanceOf(const Bitmap& picture) { return LuminanceOf(ViewOf(picture)); }

void CheckImageView(const ImageView& picture, const char* what) {
    CheckView(picture.Red, what);
    CheckView(picture.Green, what);
    CheckView(picture.Blue, what);
    const GrayView& b = picture.Blue;
    for (const GrayView* v : {&picture.Red, &picture.Green})
        if (v->width != b.width || v->height != b.height)
            throw ArgumentError(std::string(what) + ": the colour views differ in size (" + std::to_string(v->width) +
                                " x " + std::to_string(v->height) + " and " + std::to_string(b.width) + " x " +
                                std::to_string(b.height) + ")");
    if (!picture.Reals.empty() &&
        picture.Reals.size() != static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height))
        throw ArgumentError(std::string(what) + ": " + std::to_string(picture.Reals.size()) + " real values for " +
                            std::to_string(b.width) + " x " + std::to_string(b.height) + " pixels");
}

}  // namespace quillfen
