// Views of a caller's pixels: padded rows, rows stored bottom up and one channel of BGR
// pixels read as the pixels they describe; views that cannot be read, or written without
// aliasing, are refused before a byte is touched.
#include "quillfen/image/gray_view.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
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

// A plane that cannot be made is the caller's mistake, reported as every other one is: an
// ArgumentError a front end catches as quillfen::Error (a std::invalid_argument escaped the
// CLI's and Python's handlers), and the plane it would have replaced is left as it was.
TEST(GrayPlane, ImpossiblePlanesAreArgumentErrors) {
    const auto message = [](auto make) -> std::string {
        try {
            make();
        } catch (const Error& e) {
            EXPECT_NE(dynamic_cast<const ArgumentError*>(&e), nullptr) << e.what();
            return e.what();
        }
        return "nothing thrown";
    };
    EXPECT_EQ(message([] { GrayPlane(-1, 4); }), "GrayPlane: negative size -1 x 4");
    EXPECT_EQ(message([] { GrayPlane(3, 2, std::vector<std::uint8_t>(5)); }), "GrayPlane: 5 pixels for 3 x 2");
    EXPECT_EQ(message([] { (void)GrayPlane().LevelRange(); }), "GrayPlane: no levels in an empty plane");

    GrayPlane kept(2, 1, 9);
    EXPECT_THROW(kept = GrayPlane(2, -1), ArgumentError);
    EXPECT_EQ(kept, GrayPlane(2, 1, 9));
    EXPECT_EQ(kept.LevelRange(), std::make_pair(std::uint8_t{9}, std::uint8_t{9}));
}

}  // namespace
}  // namespace quillfen
