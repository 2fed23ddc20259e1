#include "quillfen/image/gray_plane.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace quillfen {

namespace {

std::size_t PixelCount(int width, int height) {
    if (width < 0 || height < 0)
        throw std::invalid_argument("GrayPlane: negative size " + std::to_string(width) + " x " +
                                    std::to_string(height));
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

}  // namespace

GrayPlane::GrayPlane(int width, int height, std::uint8_t fill)
    : width_(width), height_(height), pixels_(PixelCount(width, height), fill) {}

GrayPlane::GrayPlane(int width, int height, std::vector<std::uint8_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
    if (pixels_.size() != PixelCount(width, height))
        throw std::invalid_argument("GrayPlane: " + std::to_string(pixels_.size()) + " pixels for " +
                                    std::to_string(width) + " x " + std::to_string(height));
}

std::vector<std::uint8_t> GrayPlane::ReleasePixels() {
    width_ = 0;
    height_ = 0;
    return std::move(pixels_);
}

GrayPlane GrayPlane::Mapped(const LevelTable& table) const {
    GrayPlane out(width_, height_);
    const std::uint8_t* in = pixels_.data();
    std::uint8_t* o = out.pixels_.data();
    const std::size_t n = pixels_.size();
    std::size_t i = 0;
    // Eight pixels read and written at a time: the table lookups are then most of the work.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, in + i, 8);
        std::uint64_t mapped = 0;
        for (int k = 0; k < 8; ++k) mapped |= std::uint64_t{table[(eight >> (8 * k)) & 255]} << (8 * k);
        std::memcpy(o + i, &mapped, 8);
    }
    for (; i < n; ++i) o[i] = table[in[i]];
    return out;
}

}  // namespace quillfen
