#include <gtest/gtest.h>

#include <string>

#include "image/rix_ipa.h"
#include "tests/toolbox/toolbox_images.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::Plane;

struct Outcome {
    int count;
    std::vector<std::uint8_t> image;
    std::vector<test::RecordingPrompts::Shown> shown;
};

Outcome Label(const Plane& in, bool literal) {
    TRixIPA ipa = in.ipa();
    test::RecordingPrompts prompts;
    const int count = literal ? ipa.LabelingLiteral(prompts) : ipa.Labeling(prompts);
    EXPECT_EQ(ipa.GetUndoImage(), in.pixels);
    return {count, ipa.GetImage(), prompts.shown};
}

// Labels with both forms, checks that they agree, returns the fast outcome.
Outcome LabelBoth(const Plane& in, const std::string& what) {
    const Outcome fast = Label(in, false);
    const Outcome literal = Label(in, true);
    EXPECT_EQ(fast.count, literal.count) << what;
    EXPECT_EQ(fast.image, literal.image) << what;
    EXPECT_EQ(fast.shown.size(), literal.shown.size()) << what;
    return fast;
}

TEST(Labeling, ObjectsAreLabelledInScanOrderWithEightConnectivity) {
    const Outcome none = LabelBoth(test::RandomPlane(9, 7, 1, {0, 100, 254}), "no white");
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.image, test::RandomPlane(9, 7, 1, {0, 100, 254}).pixels);

    Plane in(12, 10, 0);
    in.fillRect(6, 1, 7, 2, 255);  // first in scan order
    in.fillRect(2, 3, 3, 4, 255);  // second, touching a third square at a corner only
    in.fillRect(4, 5, 5, 6, 255);
    in.fillRect(8, 7, 10, 8, 255);  // third object
    const Outcome out = LabelBoth(in, "squares");
    EXPECT_EQ(out.count, 3);
    const Plane expected = [&] {
        Plane e = in;
        e.fillRect(6, 1, 7, 2, 254);
        e.fillRect(2, 3, 3, 4, 253);
        e.fillRect(4, 5, 5, 6, 253);
        e.fillRect(8, 7, 10, 8, 252);
        return e;
    }();
    EXPECT_EQ(out.image, expected.pixels);
}

TEST(Labeling, BorderPixelsReceiveButNeverSpread) {
    // Three pixels on the top row, met before anything reaches them, then the interior part.
    Plane top(8, 6, 0);
    top.fillRect(2, 0, 4, 0, 255);
    top.fillRect(3, 1, 3, 3, 255);
    const Outcome t = LabelBoth(top, "top row");
    EXPECT_EQ(t.count, 4);
    EXPECT_EQ(t.image[2], 254);
    EXPECT_EQ(t.image[3], 253);
    EXPECT_EQ(t.image[4], 252);
    EXPECT_EQ(t.image[1 * 8 + 3], 251);
    EXPECT_EQ(t.image[3 * 8 + 3], 251);

    // Reaching the bottom row from the interior: the border pixels take the label.
    Plane bottom(8, 6, 0);
    bottom.fillRect(3, 2, 3, 5, 255);
    bottom.fillRect(4, 5, 7, 5, 255);  // along the bottom row: receives only from interior
    const Outcome b = LabelBoth(bottom, "bottom row");
    // (3,5) and (4,5) touch the labelled (3,4); (5,5), (6,5), (7,5) have no interior pixel
    // to carry the label to them and each becomes an object.
    EXPECT_EQ(b.count, 4);
    EXPECT_EQ(b.image[5 * 8 + 3], 254);
    EXPECT_EQ(b.image[5 * 8 + 4], 254);
    EXPECT_EQ(b.image[5 * 8 + 5], 253);
    EXPECT_EQ(b.image[5 * 8 + 6], 252);
    EXPECT_EQ(b.image[5 * 8 + 7], 251);
}

TEST(Labeling, APixelAlreadyHoldingALabelJoinsItsNeighbours) {
    Plane in(10, 8, 0);
    in.at(2, 2) = 255;  // first object: label 254
    in.at(6, 5) = 254;  // not an object, but holds the label being given
    in.at(7, 5) = 255;
    in.at(8, 6) = 255;
    const Outcome out = LabelBoth(in, "pre-labelled");
    EXPECT_EQ(out.count, 1);
    EXPECT_EQ(out.image[5 * 10 + 7], 254);
    EXPECT_EQ(out.image[6 * 10 + 8], 254);
}

TEST(Labeling, AtMost254Objects) {
    const Outcome full = LabelBoth(test::Dots(60, 60, 254), "254 objects");
    EXPECT_EQ(full.count, 254);
    EXPECT_TRUE(full.shown.empty());
    EXPECT_EQ(full.image[2 * 60 + 2], 254);
    const Plane dots = test::Dots(60, 60, 254);
    int last = -1;
    for (int i = 0; i < 3600; ++i)
        if (dots.pixels[i] == 255) last = i;
    EXPECT_EQ(full.image[last], 1);

    TRixIPA ipa = test::Dots(60, 60, 255).ipa();
    test::RecordingPrompts prompts;
    EXPECT_EQ(ipa.Labeling(prompts), -1);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, PromptKind::Error);
    EXPECT_EQ(prompts.shown[0].text, "Many Labels in this image");
    ipa.Undo();  // what the command does after -1
    EXPECT_EQ(ipa.GetImage(), test::Dots(60, 60, 255).pixels);
    LabelBoth(test::Dots(60, 60, 255), "255 objects");
}

TEST(Labeling, FastFormEqualsLiteralOnRandomAndAdversarialImages) {
    for (std::uint32_t seed = 1; seed <= 25; ++seed) {
        const int w = 3 + static_cast<int>(seed * 7 % 40), h = 1 + static_cast<int>(seed * 11 % 35);
        // Mostly white; some values that equal labels in use, so pre-labelled pixels join.
        LabelBoth(test::RandomPlane(w, h, seed, {0, 0, 255, 255, 255, 254, 252, 250, 100}),
                  "random " + std::to_string(seed));
        LabelBoth(test::RandomPlane(w, h, seed + 100, {0, 255}), "binary " + std::to_string(seed));
    }
    LabelBoth(test::RandomPlane(64, 64, 3, {0, 0, 0, 255}), "many small objects, over the limit");
    const Outcome spiral = LabelBoth(test::Spiral(64), "spiral 64");
    EXPECT_EQ(spiral.count, 1);
    LabelBoth(test::Spiral(96), "spiral 96");

    // FillLabel alone, with stray pixels already holding the label.
    Plane in = test::RandomPlane(30, 20, 9, {0, 255, 255, 200});
    in.at(0, 0) = 255;
    TRixIPA fast = in.ipa();
    fast.FillLabel(0, 0, 200);
    TRixIPA literal = in.ipa();
    literal.FillLabelLiteral(0, 0, 200);
    EXPECT_EQ(fast.GetImage(), literal.GetImage());
}

TEST(Labeling, FullSizeSpiralIsOneObject) {
    const Plane spiral = test::Spiral(512);
    TRixIPA ipa = spiral.ipa();
    test::RecordingPrompts prompts;
    EXPECT_EQ(ipa.Labeling(prompts), 1);
    for (std::size_t i = 0; i < spiral.pixels.size(); ++i)
        ASSERT_EQ(ipa.GetImage()[i], spiral.pixels[i] == 255 ? 254 : 0) << i;
}

}  // namespace
}  // namespace quillfen
