#include "quillfen/image/gray_plane.h"

#include <cstring>
#include <string>
#include <utility>

#include "gray_plane_loops.h"
#include "quillfen/image/errors.h"

namespace quillfen {

namespace {

std::size_t PixelCount(int width, int height) {
    if (width < 0 || height < 0)
        throw ArgumentError("GrayPlane: negative size " + std::to_string(width) + " x " +
                            std::to_string(height));
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

}  // namespace

GrayPlane::GrayPlane(int width, int height, std::uint8_t fill)
    : width_(width), height_(height), pixels_(PixelCount(width, height), fill) {}

GrayPlane::GrayPlane(int width, int height, std::vector<std::uint8_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
    if (pixels_.size() != PixelCount(width, height))
        throw ArgumentError("GrayPlane: " + std::to_string(pixels_.size()) + " pixels for " +
                            std::to_string(width) + " x " + std::to_string(height));
}

std::vector<std::uint8_t> GrayPlane::ReleasePixels() {
    width_ = 0;
    height_ = 0;
    return std::move(pixels_);
}

}  // namespace quillfen
