#include "quillfen/image/gray_view.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"

namespace quillfen {

namespace {

template <class View>
void CheckSize(const View& view, const char* what) {
    const std::int64_t width = view.width;
    const std::int64_t height = view.height;
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width < 0 || height < 0) throw ArgumentError(std::string(what) + ": a view of " + size + " pixels");
    if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
        throw ArgumentError(std::string(what) + ": a view of " + size + " pixels is too large (at most " +
                            std::to_string(kMaxSide) + " pixels a side and " +
                            std::to_string(kMaxPixels / (1024 * 1024)) + " megapixels)");
    if (view.data == nullptr && width > 0 && height > 0)
        throw ArgumentError(std::string(what) + ": a view of " + size + " pixels without pixels (null data)");
}

}  // namespace

void CheckView(const GrayView& view, const char* what) { CheckSize(view, what); }

void CheckView(const MutableGrayView& view, const char* what) {
    CheckSize(view, what);
    if (view.empty()) return;
    const std::ptrdiff_t pixelStep = std::abs(view.pixelStride);
    const std::ptrdiff_t rowStep = std::abs(view.rowStride);
    if ((view.width > 1 && pixelStep == 0) ||
        (view.height > 1 && rowStep < static_cast<std::ptrdiff_t>(view.width - 1) * pixelStep + 1))
        throw ArgumentError(std::string(what) + ": the pixels of a view to be written must not overlap (row stride " +
                            std::to_string(view.rowStride) + ", pixel stride " + std::to_string(view.pixelStride) +
                            " for " + std::to_string(view.width) + " pixels a row)");
}

GrayPlane ToPlane(const GrayView& view) {
    CheckView(view, "picture");
    GrayPlane plane(view.width, view.height);
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* out = plane.row(y);
        const std::uint8_t* in = view.data + y * view.rowStride;
        if (view.pixelStride == 1) {
            std::memcpy(out, in, static_cast<std::size_t>(view.width));
            continue;
        }
        for (int x = 0; x < view.width; ++x) out[x] = in[x * view.pixelStride];
    }
    return plane;
}

void CopyInto(const GrayView& from, const MutableGrayView& to) {
    CheckView(from, "source picture");
    CheckView(to, "target picture");
    if (from.width != to.width || from.height != to.height)
        throw ArgumentError("cannot copy a " + std::to_string(from.width) + " x " + std::to_string(from.height) +
                            " picture into a view of " + std::to_string(to.width) + " x " +
                            std::to_string(to.height));
    for (int y = 0; y < from.height; ++y)
        for (int x = 0; x < from.width; ++x) to.at(x, y) = from.at(x, y);
}

GrayView BlueOf(const Bitmap& picture) {
    return {picture.bytes().data(), picture.width(), picture.height(),
            static_cast<std::ptrdiff_t>(picture.rowBytes()), 3};
}

MutableGrayView BlueOf(Bitmap& picture) {
    return {picture.bytes().data(), picture.width(), picture.height(),
            static_cast<std::ptrdiff_t>(picture.rowBytes()), 3};
}

}  // namespace quillfen
