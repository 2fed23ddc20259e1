#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "quillfen/toolbox/rix_ipa.h"
#include "quillfen/toolbox/thinning.h"
#include "tests/toolbox/toolbox_images.h"

namespace quillfen {
namespace {

using test::Plane;

// The white pixels of a thinned image that are not on its frame.
std::set<std::pair<int, int>> InnerWhite(const TRixIPA& ipa) {
    std::set<std::pair<int, int>> white;
    for (int y = 1; y < ipa.GetHeight() - 1; ++y)
        for (int x = 1; x < ipa.GetWidth() - 1; ++x)
            if (ipa.Pixel(x, y) == 255) white.insert({x, y});
    return white;
}

bool HasWhiteFrame(const TRixIPA& ipa) {
    const int w = ipa.GetWidth(), h = ipa.GetHeight();
    for (int x = 0; x < w; ++x)
        if (ipa.Pixel(x, 0) != 255 || ipa.Pixel(x, h - 1) != 255) return false;
    for (int y = 0; y < h; ++y)
        if (ipa.Pixel(0, y) != 255 || ipa.Pixel(w - 1, y) != 255) return false;
    return true;
}

bool IsBinary(const TRixIPA& ipa) {
    for (std::uint8_t v : ipa.GetImage())
        if (v != 0 && v != 255) return false;
    return true;
}

// Runs both forms and checks that they agree; returns the fast form's result.
TRixIPA ThinBoth(const Plane& in, const std::string& what) {
    TRixIPA fast = in.ipa();
    fast.ThinZhangSuen();
    EXPECT_EQ(fast.Plane(), thinning::literal::ZhangSuen(in.gray())) << what;
    return fast;
}

TEST(Thinning, BarAndRectangleThinToTheirKnownSkeletons) {
    Plane bar(16, 9, 0);
    bar.fillRect(3, 3, 12, 5, 255);
    std::set<std::pair<int, int>> row4;
    for (int x = 5; x <= 11; ++x) row4.insert({x, 4});
    const TRixIPA b = ThinBoth(bar, "bar");
    EXPECT_EQ(InnerWhite(b), row4);
    EXPECT_TRUE(HasWhiteFrame(b));

    Plane rect(16, 9, 0);
    rect.fillRect(4, 2, 10, 6, 255);
    const TRixIPA r = ThinBoth(rect, "rectangle");
    EXPECT_EQ(InnerWhite(r), (std::set<std::pair<int, int>>{{7, 4}, {8, 4}}));
    EXPECT_TRUE(HasWhiteFrame(r));
}

TEST(Thinning, FrameAndDegenerateImages) {
    const TRixIPA black = ThinBoth(Plane(10, 8, 0), "black");
    EXPECT_TRUE(HasWhiteFrame(black));
    EXPECT_TRUE(InnerWhite(black).empty());

    // Every interior pixel of an all-white image has eight object neighbours.
    const TRixIPA white = ThinBoth(Plane(10, 8, 255), "white");
    EXPECT_EQ(white.GetImage(), Plane(10, 8, 255).pixels);

    for (const auto& [w, h] : {std::pair{2, 7}, std::pair{7, 2}, std::pair{1, 1}}) {
        const TRixIPA tiny = ThinBoth(Plane(w, h, 0), "tiny");
        EXPECT_EQ(tiny.GetImage(), Plane(w, h, 255).pixels) << w << "x" << h;
    }
}

TEST(Thinning, AnyNonZeroGrayIsObjectAndThinLinesStay) {
    Plane gray = test::RandomPlane(20, 14, 5, {0, 1, 77, 254, 255});
    Plane white = gray;
    for (auto& v : white.pixels) v = v ? 255 : 0;
    const TRixIPA g = ThinBoth(gray, "gray");
    const TRixIPA w = ThinBoth(white, "white");
    EXPECT_EQ(g.GetImage(), w.GetImage());
    EXPECT_TRUE(IsBinary(g));

    Plane line(12, 7, 0);
    line.fillRect(3, 3, 8, 3, 255);
    const TRixIPA l = ThinBoth(line, "line");
    std::set<std::pair<int, int>> expected;
    for (int x = 3; x <= 8; ++x) expected.insert({x, 3});
    EXPECT_EQ(InnerWhite(l), expected);
}

TEST(Thinning, FastFormEqualsLiteralOnRandomAndAdversarialImages) {
    // Random binary images of several densities and shapes, and random blobs.
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        const int w = 8 + static_cast<int>(seed * 7 % 41), h = 6 + static_cast<int>(seed * 5 % 37);
        std::vector<std::uint8_t> values{0, 255};
        for (std::uint32_t k = 0; k < seed % 4; ++k) values.push_back(255);  // denser objects
        ThinBoth(test::RandomPlane(w, h, seed, values), "random " + std::to_string(seed));
        Plane blobs(w, h, 0);
        std::mt19937 rng(seed);
        for (int k = 0; k < 6; ++k) {
            const int x0 = static_cast<int>(rng() % w), y0 = static_cast<int>(rng() % h);
            blobs.fillRect(x0, y0, std::min(w - 1, x0 + static_cast<int>(rng() % 15)),
                           std::min(h - 1, y0 + static_cast<int>(rng() % 12)), 255);
        }
        ThinBoth(blobs, "blobs " + std::to_string(seed));
    }
    // Thick shapes need many iterations; a spiral and a ring are all corners.
    Plane block(96, 80, 0);
    block.fillRect(6, 5, 89, 74, 255);
    ThinBoth(block, "block");
    Plane ring(64, 64, 255);
    ring.fillRect(20, 20, 43, 43, 0);
    ThinBoth(ring, "ring touching the frame");
    ThinBoth(test::Spiral(64), "spiral");
    // The solid full-size white block.
    ThinBoth(Plane(512, 512, 255), "solid 512 x 512");
}

}  // namespace
}  // namespace quillfen
