#pragma once
// The picture type every file reader produces and every view is drawn into: 24 bits per
// pixel, bytes blue, green, red, row 0 at the top, rows packed without padding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

class QUILLFEN_EXPORT Bitmap {
public:
    Bitmap() = default;
    // A width x height picture filled with one gray value (white unless told otherwise).
    Bitmap(int width, int height, std::uint8_t gray = 255);
    // A width x height picture of `bytes` (rows packed, 3 width height of them), taken over
    // rather than copied: a caller that filled a buffer of its own hands it over. Bytes beyond
    // that count are dropped, missing ones are white.
    Bitmap(int width, int height, std::vector<std::uint8_t>&& bytes)
        : width_(width), height_(height), data_(std::move(bytes)) {
        const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
        if (data_.size() == count) return;
        std::vector<std::uint8_t> fitted(count, 255);
        std::copy_n(data_.begin(), std::min(count, data_.size()), fitted.begin());
        data_ = std::move(fitted);
    }

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    std::uint8_t* row(int y) { return data_.data() + static_cast<std::size_t>(y) * rowBytes(); }
    const std::uint8_t* row(int y) const {
        return data_.data() + static_cast<std::size_t>(y) * rowBytes();
    }
    std::size_t rowBytes() const { return static_cast<std::size_t>(width_) * 3; }

    // The blue byte, which this system takes as a pixel's gray value.
    std::uint8_t blue(int x, int y) const { return row(y)[3 * x]; }
    void setGray(int x, int y, std::uint8_t gray);
    void setBgr(int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r);

    // Changes the size keeping the top-left part; new pixels are white.
    void resize(int width, int height);

    // A gray picture from a row-major plane of width x height bytes.
    static Bitmap fromGray(int width, int height, const std::uint8_t* gray);

    const std::vector<std::uint8_t>& bytes() const { return data_; }
    std::vector<std::uint8_t>& bytes() { return data_; }

    bool operator==(const Bitmap&) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> data_;
};

// An 8-bit picture with the 256-level gray palette (entry i = red, green, blue i): the form
// in which documents opened from 8-bit files are saved.
struct Gray8Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // row-major, one palette index per pixel

    bool operator==(const Gray8Bitmap&) const = default;
};

// Gives a 24-bit picture the gray palette: each pixel's blue byte becomes its index.
Gray8Bitmap ConvertToGray8(const Bitmap& bitmap);

// The 24-bit form of an 8-bit gray-palette picture.
Bitmap FromGray8(const Gray8Bitmap& gray);

}  // namespace quillfen
QUILLFEN_API_END
