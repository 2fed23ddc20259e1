#include "quillfen/image/bitmap.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quillfen {
namespace {

Bitmap Ramp(int w, int h) {
    Bitmap b(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setBgr(x, y, static_cast<std::uint8_t>(x + 10 * y), 1, 2);
    return b;
}

TEST(Bitmap, ResizeKeepsTopLeftAndExtendsWithWhite) {
    Bitmap b = Ramp(4, 3);
    b.resize(6, 5);
    ASSERT_EQ(b.width(), 6);
    ASSERT_EQ(b.height(), 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            const std::uint8_t* p = b.row(y) + 3 * x;
            if (x < 4 && y < 3) {
                EXPECT_EQ(p[0], x + 10 * y);
                EXPECT_EQ(p[1], 1);
                EXPECT_EQ(p[2], 2);
            } else {
                EXPECT_EQ(p[0], 255);
                EXPECT_EQ(p[1], 255);
                EXPECT_EQ(p[2], 255);
            }
        }
    }
    b.resize(2, 2);
    EXPECT_EQ(b.blue(1, 1), 11);
    EXPECT_EQ(b.bytes().size(), 12u);
}

// A buffer handed over is the picture's own, not a copy (a large one keeps the pages its
// owner prepared); a short one is made up with white, a long one cut to the picture's bytes.
TEST(Bitmap, TakesOverTheBytesItIsGiven) {
    std::vector<std::uint8_t> bytes(2 * 3 * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    const std::uint8_t* at = bytes.data();
    const Bitmap taken(2, 3, std::move(bytes));
    EXPECT_EQ(taken.bytes().data(), at);
    EXPECT_EQ(taken.row(2)[5], 17);
    const Bitmap shortOne(2, 2, std::vector<std::uint8_t>{1, 2, 3, 4, 5});
    EXPECT_EQ(shortOne.bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 255, 255, 255, 255, 255, 255, 255}));
    const Bitmap longOne(1, 1, std::vector<std::uint8_t>{7, 8, 9, 10});
    EXPECT_EQ(longOne.bytes(), (std::vector<std::uint8_t>{7, 8, 9}));
}

TEST(Bitmap, Gray8TakesTheBlueByteAndComesBack) {
    Bitmap b = Ramp(3, 2);
    const Gray8Bitmap gray = ConvertToGray8(b);
    EXPECT_EQ(gray.width, 3);
    EXPECT_EQ(gray.height, 2);
    EXPECT_EQ(gray.pixels, (std::vector<std::uint8_t>{0, 1, 2, 10, 11, 12}));
    const Bitmap back = FromGray8(gray);
    EXPECT_EQ(back.blue(2, 1), 12);
    EXPECT_EQ(back.row(1)[3 * 2 + 2], 12);  // all three bytes gray again
}

}  // namespace
}  // namespace quillfen
