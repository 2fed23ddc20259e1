#include "watermark/watermark.h"

namespace quillfen {

namespace {

void LoadSquare(Bitmap& bitmap, int size, std::vector<std::uint8_t>& target) {
    bitmap.resize(size, size);  // keeps the top-left part, extends with white
    for (int i = 0; i < size; ++i) {
        const std::uint8_t* row = bitmap.row(i);
        for (int j = 0; j < size; ++j) target[static_cast<std::size_t>(i) * size + j] = row[3 * j];
    }
}

}  // namespace

TWatermark::TWatermark()
    : X(kHostPixels), W(kMarkPixels), Display256(kHostPixels), Display128(kMarkPixels) {}

void TWatermark::LoadX(Bitmap& bitmap) { LoadSquare(bitmap, kHostSize, X); }

void TWatermark::LoadW(Bitmap& bitmap) { LoadSquare(bitmap, kMarkSize, W); }

Bitmap TWatermark::MakeBitmap256(const std::vector<std::uint8_t>& buffer) {
    return Bitmap::fromGray(kHostSize, kHostSize, buffer.data());
}

Bitmap TWatermark::MakeBitmap128(const std::vector<std::uint8_t>& buffer) {
    return Bitmap::fromGray(kMarkSize, kMarkSize, buffer.data());
}

}  // namespace quillfen
