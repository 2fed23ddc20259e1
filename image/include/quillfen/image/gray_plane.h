#pragma once
// GrayPlane: an 8-bit gray picture as the toolbox works on it. Pixel (x, y) is element
// y * width + x, rows top to bottom; 0 is black, 255 white. The size and the pixels change
// only together (a new plane), so a plane can never claim more pixels than it holds.
//
// The toolbox functions (toolbox/*.h) take a const plane and return a new one; TRixIPA keeps
// the current plane of a document and its undo copy.
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// A value for each gray level: the lookup table of a point operation.
using LevelTable = std::array<std::uint8_t, 256>;

class QUILLFEN_EXPORT GrayPlane {
public:
    GrayPlane() = default;
    // A width x height plane filled with one gray value. Negative sides throw
    // ArgumentError.
    GrayPlane(int width, int height, std::uint8_t fill = 0);
    // Takes `pixels`, which must hold width * height values (ArgumentError otherwise).
    GrayPlane(int width, int height, std::vector<std::uint8_t> pixels);

    int width() const { return width_; }
    int height() const { return height_; }
    // Number of pixels, width * height.
    int size() const { return static_cast<int>(pixels_.size()); }
    bool empty() const { return pixels_.empty(); }

    const std::vector<std::uint8_t>& pixels() const { return pixels_; }
    const std::uint8_t* data() const { return pixels_.data(); }
    std::uint8_t* data() { return pixels_.data(); }
    const std::uint8_t* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    std::uint8_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    std::uint8_t at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
    std::uint8_t& at(int x, int y) { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }

    // The pixels, moved out; the plane is left empty (0 x 0).
    std::vector<std::uint8_t> ReleasePixels();

    // A plane of the same size, every pixel mapped through `table`.
    GrayPlane Mapped(const LevelTable& table) const;

    // The smallest and the largest level of the plane; ArgumentError when it is empty.
    std::pair<std::uint8_t, std::uint8_t> LevelRange() const;

    bool operator==(const GrayPlane&) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace quillfen
QUILLFEN_API_END
