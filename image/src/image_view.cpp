#include "quillfen/image/image_view.h"

#include <string>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"

namespace quillfen {

ImageView ViewOf(const Bitmap& picture) {
    const std::uint8_t* bytes = picture.bytes().data();
    const auto stride = static_cast<std::ptrdiff_t>(picture.rowBytes());
    return ImageView(GrayView(bytes + 2, picture.width(), picture.height(), stride, 3),
                       GrayView(bytes + 1, picture.width(), picture.height(), stride, 3),
                       GrayView(bytes, picture.width(), picture.height(), stride, 3));
}

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
