#include "quillfen/toolbox/labeling.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "tests/toolbox/toolbox_images.h"

namespace quillfen {
namespace {

using test::Plane;

GrayPlane ToPlane(const Plane& p) { return GrayPlane(p.width, p.height, p.pixels); }

// Labels with both forms, checks that they agree, returns the fast result.
labeling::Labelled LabelBoth(const Plane& in, const std::string& what) {
    const labeling::Labelled fast = labeling::Label(ToPlane(in));
    const labeling::Labelled literal = labeling::literal::Label(ToPlane(in));
    EXPECT_EQ(fast.count, literal.count) << what;
    EXPECT_EQ(fast.plane, literal.plane) << what;
    return fast;
}

// An independent count of the 8-connected objects of a 0/255 plane: a depth-first walk with
// its own stack, written for this test only.
int CountObjects(const Plane& in) {
    std::vector<bool> seen(in.pixels.size(), false);
    int objects = 0;
    for (int start = 0; start < static_cast<int>(in.pixels.size()); ++start) {
        if (in.pixels[start] != 255 || seen[start]) continue;
        ++objects;
        std::vector<int> stack{start};
        seen[start] = true;
        while (!stack.empty()) {
            const int i = stack.back();
            stack.pop_back();
            const int x = i % in.width, y = i / in.width;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= in.width || ny >= in.height) continue;
                    const int j = ny * in.width + nx;
                    if (in.pixels[j] == 255 && !seen[j]) {
                        seen[j] = true;
                        stack.push_back(j);
                    }
                }
        }
    }
    return objects;
}

TEST(Labeling, ObjectsAreLabelledInScanOrderWithEightConnectivity) {
    const Plane grays = test::RandomPlane(9, 7, 1, {0, 100, 254});
    const labeling::Labelled none = LabelBoth(grays, "no white");
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.plane.pixels(), grays.pixels);

    Plane in(12, 10, 0);
    in.fillRect(6, 1, 7, 2, 255);  // first in scan order
    in.fillRect(2, 3, 3, 4, 255);  // second, touching a third square at a corner only
    in.fillRect(4, 5, 5, 6, 255);
    in.fillRect(8, 7, 10, 8, 255);  // third object
    const labeling::Labelled out = LabelBoth(in, "squares");
    EXPECT_EQ(out.count, 3);
    Plane expected = in;
    expected.fillRect(6, 1, 7, 2, 254);
    expected.fillRect(2, 3, 3, 4, 253);
    expected.fillRect(4, 5, 5, 6, 253);
    expected.fillRect(8, 7, 10, 8, 252);
    EXPECT_EQ(out.plane.pixels(), expected.pixels);
}

// Objects along all four borders and in the corners are one object each, whichever pixel
// the scan meets first. Labels worked out by hand from the first pixel of each object.
TEST(Labeling, ObjectsOnTheBordersAndInTheCornersAreOneObjectEach) {
    Plane in(12, 10, 0);
    in.fillRect(0, 0, 1, 0, 255);    // A: top-left corner, along the top row
    in.at(0, 1) = 255;               //    and down the left column
    in.fillRect(4, 0, 7, 0, 255);    // B: four pixels on the top row
    in.fillRect(5, 1, 5, 3, 255);    //    going down into the interior
    in.at(11, 0) = 255;              // C: top-right corner pixel alone
    in.fillRect(11, 3, 11, 6, 255);  // D: along the right column
    in.at(10, 7) = 255;              //    joined diagonally to an interior pixel
    in.fillRect(0, 5, 0, 7, 255);    // E: along the left column
    in.at(1, 8) = 255;               //    then diagonally inwards
    in.fillRect(2, 9, 5, 9, 255);    //    and along the bottom row
    in.at(11, 9) = 255;              // F: bottom-right corner
    in.at(10, 9) = 255;
    const labeling::Labelled out = LabelBoth(in, "borders");
    EXPECT_EQ(out.count, 6);
    EXPECT_EQ(CountObjects(in), 6);
    Plane expected = in;
    expected.fillRect(0, 0, 1, 0, 254);
    expected.at(0, 1) = 254;
    expected.fillRect(4, 0, 7, 0, 253);
    expected.fillRect(5, 1, 5, 3, 253);
    expected.at(11, 0) = 252;
    expected.fillRect(11, 3, 11, 6, 251);
    expected.at(10, 7) = 251;
    expected.fillRect(0, 5, 0, 7, 250);
    expected.at(1, 8) = 250;
    expected.fillRect(2, 9, 5, 9, 250);
    expected.at(11, 9) = 249;
    expected.at(10, 9) = 249;
    EXPECT_EQ(out.plane.pixels(), expected.pixels);

    // The four corners of a plane alone, and a frame round the whole plane (one object).
    Plane corners(5, 4, 0);
    corners.at(0, 0) = corners.at(4, 0) = corners.at(0, 3) = corners.at(4, 3) = 255;
    EXPECT_EQ(LabelBoth(corners, "corners").count, 4);
    Plane frame(6, 5, 255);
    frame.fillRect(1, 1, 4, 3, 0);
    const labeling::Labelled framed = LabelBoth(frame, "frame");
    EXPECT_EQ(framed.count, 1);
    EXPECT_EQ(framed.plane.at(5, 4), 254);
    // Planes one pixel wide or high have no interior at all.
    EXPECT_EQ(LabelBoth(Plane(7, 1, 255), "one row").count, 1);
    EXPECT_EQ(LabelBoth(Plane(1, 6, 255), "one column").count, 1);
}

TEST(Labeling, APixelAlreadyHoldingALabelJoinsItsNeighbours) {
    Plane in(10, 8, 0);
    in.at(2, 2) = 255;  // first object: label 254
    in.at(6, 5) = 254;  // not an object, but holds the label being given
    in.at(7, 5) = 255;
    in.at(8, 6) = 255;
    in.at(9, 7) = 254;  // one on the border passes it on as well
    in.at(8, 7) = 255;
    const labeling::Labelled out = LabelBoth(in, "pre-labelled");
    EXPECT_EQ(out.count, 1);
    EXPECT_EQ(out.plane.at(7, 5), 254);
    EXPECT_EQ(out.plane.at(8, 6), 254);
    EXPECT_EQ(out.plane.at(8, 7), 254);
}

TEST(Labeling, AtMost254ObjectsAndTheRefusalChangesNothing) {
    const labeling::Labelled full = LabelBoth(test::Dots(60, 60, 254), "254 objects");
    EXPECT_EQ(full.count, 254);
    EXPECT_EQ(full.plane.at(2, 2), 254);
    const Plane dots = test::Dots(60, 60, 254);
    int last = -1;
    for (int i = 0; i < 3600; ++i)
        if (dots.pixels[i] == 255) last = i;
    EXPECT_EQ(full.plane.pixels()[last], 1);

    const Plane tooMany = test::Dots(60, 60, 255);
    for (const bool literal : {false, true}) {
        try {
            literal ? labeling::literal::Label(ToPlane(tooMany)) : labeling::Label(ToPlane(tooMany));
            ADD_FAILURE() << "no error";
        } catch (const TooManyObjectsError& e) {
            EXPECT_STREQ(e.what(), "Many Labels in this image");
        }
    }
    // The working image gives up without a trace: image and histogram as before.
    TRixIPA ipa = tooMany.ipa();
    EXPECT_THROW(ipa.Labeling(), TooManyObjectsError);
    EXPECT_EQ(ipa.GetImage(), tooMany.pixels);
    EXPECT_EQ(ipa.GetHistogram(255), 255);
}

TEST(Labeling, CountsEveryObjectOfRandomBinaryPlanes) {
    // Up to 254 objects the count equals an independent count, borders included.
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        const int w = 1 + static_cast<int>(seed * 7 % 23), h = 1 + static_cast<int>(seed * 11 % 19);
        const Plane in = test::RandomPlane(w, h, seed, {0, 0, 255});
        const int expected = CountObjects(in);
        if (expected > labeling::kMaxObjects) continue;
        EXPECT_EQ(labeling::Label(ToPlane(in)).count, expected) << "seed " << seed;
    }
}

TEST(Labeling, FastFormEqualsLiteralOnRandomAndAdversarialImages) {
    for (std::uint32_t seed = 1; seed <= 25; ++seed) {
        const int w = 3 + static_cast<int>(seed * 7 % 40), h = 1 + static_cast<int>(seed * 11 % 35);
        // Mostly white; some values that equal labels in use, so pre-labelled pixels join.
        LabelBoth(test::RandomPlane(w, h, seed, {0, 0, 255, 255, 255, 254, 252, 250, 100}),
                  "random " + std::to_string(seed));
        LabelBoth(test::RandomPlane(w, h, seed + 100, {0, 255}), "binary " + std::to_string(seed));
    }
    const Plane overLimit = test::RandomPlane(64, 64, 3, {0, 0, 0, 255});
    EXPECT_THROW(labeling::Label(ToPlane(overLimit)), TooManyObjectsError);
    EXPECT_THROW(labeling::literal::Label(ToPlane(overLimit)), TooManyObjectsError);
    const labeling::Labelled spiral = LabelBoth(test::Spiral(64), "spiral 64");
    EXPECT_EQ(spiral.count, 1);
    LabelBoth(test::Spiral(96), "spiral 96");

    // FillLabel alone, from a corner, with stray pixels already holding the label.
    Plane in = test::RandomPlane(30, 20, 9, {0, 255, 255, 200});
    in.at(0, 0) = 255;
    GrayPlane fast = ToPlane(in);
    labeling::FillLabel(fast, 0, 0, 200);
    GrayPlane literal = ToPlane(in);
    labeling::literal::FillLabel(literal, 0, 0, 200);
    EXPECT_EQ(fast, literal);
}

TEST(Labeling, FullSizeSpiralIsOneObject) {
    const Plane spiral = test::Spiral(512);
    TRixIPA ipa = spiral.ipa();
    EXPECT_EQ(ipa.Labeling(), 1);
    for (std::size_t i = 0; i < spiral.pixels.size(); ++i)
        ASSERT_EQ(ipa.GetImage()[i], spiral.pixels[i] == 255 ? 254 : 0) << i;
}

}  // namespace
}  // namespace quillfen
