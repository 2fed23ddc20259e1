#include "image/rix_ipa.h"

#include <algorithm>

#include "image/limits.h"

namespace quillfen {

void TRixIPA::SetUndoReady(bool ready) {
    if (ready) UndoImage = Image;  // the whole plane in use, in one block copy
    UndoReady = ready;
}

void TRixIPA::LoadFromBitmap(const Bitmap& bitmap) {
    if (bitmap.empty()) {
        LoadFromGray(0, 0, nullptr);
        return;
    }
    CheckImageSize(bitmap.width(), bitmap.height(), "picture");
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(bitmap.width()) * bitmap.height());
    for (int y = 0; y < bitmap.height(); ++y) {
        const std::uint8_t* in = bitmap.row(y);
        std::uint8_t* out = gray.data() + static_cast<std::size_t>(y) * bitmap.width();
        for (int x = 0; x < bitmap.width(); ++x) out[x] = in[3 * x];  // blue byte
    }
    SetHeight(bitmap.height());
    SetWidth(bitmap.width());
    SetSize(Height * Width);
    Image = std::move(gray);
    PixelCount = Size;
    LaplacianMap.clear();  // as in LoadFromGray
    ComputeHistogram();
}

void TRixIPA::LoadFromGray(int width, int height, const std::uint8_t* gray) {
    if (width != 0 || height != 0) CheckImageSize(width, height, "picture");
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> plane(gray, gray + count);
    SetHeight(height);
    SetWidth(width);
    SetSize(Height * Width);
    Image = std::move(plane);
    PixelCount = Size;
    // The Laplacian threshold never writes the map's border entries: a new picture, maybe of
    // another shape with the same pixel count, must not find the old picture's values there.
    LaplacianMap.clear();
    ComputeHistogram();
}

Bitmap TRixIPA::CreateBitmap() const {
    if (PixelCount == 0) return Bitmap();
    return Bitmap::fromGray(Width, Height, Image.data());
}

void TRixIPA::Undo() {
    if (!UndoReady) return;
    // The undo copy was taken from a plane of the same size: no operation changes the size.
    Image = UndoImage;
    SetUndoReady(false);
}

}  // namespace quillfen
