// Views of a caller's pixels: padded rows, rows stored bottom up and one channel of BGR
// pixels read as the pixels they describe; views that cannot be read, or written without
// aliasing, are refused before a byte is touched.
#include "quillfen/image/gray_view.h"

#include <gtest/gtest.h>

#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"

namespace quillfen {
namespace {

// Pixel (x, y) of the pictures below.
std::uint8_t Value(int x, int y) { return static_cast<std::uint8_t>(x * 7 + y * 31); }

TEST(GrayView, StridesAddressThePixelsTheyDescribe) {
    constexpr int w = 5;
    constexpr int h = 3;
    // Rows padded to 8 bytes, stored bottom up, each pixel the blue byte of three.
    std::vector<std::uint8_t> memory(3 * 8 * h, 0xEE);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) memory[static_cast<std::size_t>((h - 1 - y) * 24 + 3 * x)] = Value(x, y);
    const GrayView view(memory.data() + 2 * 24, w, h, -24, 3);
    const GrayPlane plane = ToPlane(view);
    ASSERT_EQ(plane.width(), w);
    ASSERT_EQ(plane.height(), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(plane.at(x, y), Value(x, y)) << x << "," << y;

    // Written back through a padded view, then read as a plane again.
    std::vector<std::uint8_t> target(8 * h, 0xEE);
    CopyInto(view, MutableGrayView(target.data(), w, h, 8));
    EXPECT_EQ(ToPlane(GrayView(target.data(), w, h, 8)), plane);
    EXPECT_EQ(target[5], 0xEE);  // the padding is left alone

    Bitmap colour(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) colour.setBgr(x, y, Value(x, y), 1, 2);
    EXPECT_EQ(ToPlane(BlueOf(colour)), plane);
}

TEST(GrayView, RefusesWhatCannotBeReadOrWrittenSafely) {
    std::uint8_t byte = 0;
    EXPECT_THROW(ToPlane(GrayView(nullptr, 2, 2, 2)), ArgumentError);
    EXPECT_THROW(ToPlane(GrayView(&byte, -1, 1, 1)), ArgumentError);
    // Too large for the size limits: refused before the memory is read.
    EXPECT_THROW(ToPlane(GrayView(&byte, 40000, 1, 0, 0)), ArgumentError);
    EXPECT_THROW(ToPlane(GrayView(&byte, 10000, 10000, 0, 0)), ArgumentError);
    // Reading the same byte again is fine (a broadcast); writing over it is not.
    EXPECT_EQ(ToPlane(GrayView(&byte, 3, 2, 0, 0)), GrayPlane(3, 2, 0));
    std::vector<std::uint8_t> memory(16);
    EXPECT_THROW(CopyInto(GrayPlane(3, 2), MutableGrayView(memory.data(), 3, 2, 2)), ArgumentError);
    EXPECT_THROW(CopyInto(GrayPlane(3, 2), MutableGrayView(memory.data(), 3, 2, 8, 0)), ArgumentError);
    EXPECT_THROW(CopyInto(GrayPlane(3, 2), MutableGrayView(memory.data(), 2, 3, 8)), ArgumentError);
    EXPECT_TRUE(ToPlane(GrayView()).empty());
}

}  // namespace
}  // namespace quillfen
