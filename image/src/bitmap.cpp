#include "quillfen/image/bitmap.h"

#include <algorithm>
#include <cstring>

namespace quillfen {

Bitmap::Bitmap(int width, int height, std::uint8_t gray)
    : width_(width), height_(height),
      data_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, gray) {}

void Bitmap::setGray(int x, int y, std::uint8_t gray) {
    std::uint8_t* p = row(y) + 3 * x;
    p[0] = p[1] = p[2] = gray;
}

void Bitmap::setBgr(int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    std::uint8_t* p = row(y) + 3 * x;
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

void Bitmap::resize(int width, int height) {
    if (width == width_ && height == height_) return;
    Bitmap resized(width, height, 255);
    const int keepRows = std::min(height, height_);
    const std::size_t keepBytes = static_cast<std::size_t>(std::min(width, width_)) * 3;
    for (int y = 0; y < keepRows; ++y) std::memcpy(resized.row(y), row(y), keepBytes);
    *this = std::move(resized);
}

Bitmap Bitmap::fromGray(int width, int height, const std::uint8_t* gray) {
    Bitmap bitmap(width, height, 0);
    std::uint8_t* out = bitmap.data_.data();
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (std::size_t i = 0; i < count; ++i, out += 3) out[0] = out[1] = out[2] = gray[i];
    return bitmap;
}

Gray8Bitmap ConvertToGray8(const Bitmap& bitmap) {
    Gray8Bitmap gray;
    gray.width = bitmap.width();
    gray.height = bitmap.height();
    const std::size_t count = static_cast<std::size_t>(gray.width) * static_cast<std::size_t>(gray.height);
    gray.pixels.resize(count);
    const std::uint8_t* in = bitmap.bytes().data();
    for (std::size_t i = 0; i < count; ++i) gray.pixels[i] = in[3 * i];
    return gray;
}

Bitmap FromGray8(const Gray8Bitmap& gray) {
    return Bitmap::fromGray(gray.width, gray.height, gray.pixels.data());
}

}  // namespace quillfen
