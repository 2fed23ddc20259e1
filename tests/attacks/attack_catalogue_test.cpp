// Cells applied to a watermarked picture: the workspace's seven attacks give the workspace's
// own bytes, the 8-bit attacks give reals equal to their bytes, combinations run left to
// right, seeds behave, and the default grid is sound.
#include "quillfen/attacks/attack_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/io/pgm.h"
#include "quillfen/watermark/watermark.h"
#include "tests/test_support.h"
#include "tests/watermark/sample_experiment.h"

namespace quillfen {
namespace {

// The bundled host and mark, embedded with a fixed seed.
const TWatermark& Embedded() {
    static const TWatermark w = [] {
        Experiment e = test::SampleExperiment("camera-256.pgm", "seal-128.pgm", 20261208);
        e.Embed();
        return e.Workspace();
    }();
    return w;
}

AttackInput InputOf(const TWatermark& w) { return {w.X(), w.X_hat(), w.X_hat_real()}; }

AttackCell Cell(const std::string& entry) {
    const std::vector<AttackCell> cells = ParseAttackCells(entry);
    EXPECT_EQ(cells.size(), 1u) << entry;
    return cells.front();
}

AttackedPicture Apply(const std::string& entry, std::uint64_t seed = 1) {
    return ApplyAttackCell(Cell(entry), InputOf(Embedded()), seed);
}

bool SameReals(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(ApplyAttackCell, WorkspaceAttacksGiveTheWorkspaceBytesAndReals) {
    struct Case {
        const char* entry;
        void (*run)(TWatermark&);
    };
    const Case cases[] = {
        {"none", [](TWatermark& w) { w.CopyXhToXw(); }},
        {"jpeg",
         [](TWatermark& w) {
             w.ApplyJpeg();
         }},
        {"jpeg:scale=2",
         [](TWatermark& w) {
             w.SetQuantScale(2);
             w.ApplyJpeg();
         }},
        {"blur", [](TWatermark& w) { w.ApplyBlurring(); }},
        {"blur:passes=3",
         [](TWatermark& w) {
             for (int pass = 0; pass < 3; ++pass) {
                 w.ApplyBlurring();
                 w.LoadMarked({}, w.X_wave(), w.X_wave_real());
             }
         }},
        {"crop-zero-quarter", [](TWatermark& w) { w.ApplyCroppingByZeroInQuarter(); }},
        {"crop-image-quarter", [](TWatermark& w) { w.ApplyCroppingByImgInQuarter(); }},
        {"crop-zero-half", [](TWatermark& w) { w.ApplyCroppingByZeroInHalf(); }},
        {"crop-image-half", [](TWatermark& w) { w.ApplyCroppingByImgInHalf(); }},
    };
    for (const Case& c : cases) {
        TWatermark w = Embedded();
        c.run(w);
        const AttackedPicture picture = Apply(c.entry);
        EXPECT_EQ(picture.Bytes, w.X_wave()) << c.entry;
        // The experiment's own attacks keep the workspace's reals; any other cell gives what
        // a file would hold.
        if (IsExperimentAttack(Cell(c.entry)))
            EXPECT_TRUE(SameReals(picture.Reals, w.X_wave_real())) << c.entry;
        else
            EXPECT_TRUE(SameReals(picture.Reals, std::vector<double>(w.X_wave().begin(), w.X_wave().end())))
                << c.entry;
    }
}

TEST(ApplyAttackCell, PictureAttacksWorkOnTheBytesAndGiveEqualReals) {
    const TWatermark& w = Embedded();
    const GrayPlane marked(256, 256, w.X_hat());
    struct Case {
        const char* entry;
        GrayPlane expected;
    };
    const Case cases[] = {
        {"median:k=5", MedianFilter(marked, 5)},
        {"rotate:deg=10", Rotate(marked, 10)},
        {"shift:dx=3,dy=-2", Shift(marked, 3, -2)},
        {"real-jpeg:q=40", JpegRoundTrip(marked, 40)},
        {"crop:frac=0.5", CropCentre(marked, 0.5)},
        {"remove-cols:n=13", RemoveColumns(marked, 13)},
        {"equalize", EqualizeHistogram(marked)},
        {"shift:dx=1+shift:dx=2", Shift(marked, 3, 0)},
        {"brightness:d=40+quantize:levels=4", QuantizeLevels(AdjustBrightness(marked, 40), 4)},
        {"quantize:levels=4+brightness:d=40", AdjustBrightness(QuantizeLevels(marked, 4), 40)},
    };
    for (const Case& c : cases) {
        const AttackedPicture picture = Apply(c.entry);
        EXPECT_EQ(picture.Bytes, c.expected.pixels()) << c.entry;
        EXPECT_TRUE(std::equal(picture.Reals.begin(), picture.Reals.end(), picture.Bytes.begin(),
                               picture.Bytes.end(), [](double r, std::uint8_t b) { return r == b; }))
            << c.entry;
    }
}

TEST(ApplyAttackCell, CombinationsFeedBothFormsOnward) {
    // The workspace attack after an 8-bit one works on reals equal to the new bytes (and the
    // cell gives its bytes); before one, the 8-bit attack reads the workspace attack's bytes.
    const TWatermark& w = Embedded();
    TWatermark after = w;
    const GrayPlane shifted = Shift(GrayPlane(256, 256, w.X_hat()), 4, 0);
    const std::vector<double> shiftedReals(shifted.pixels().begin(), shifted.pixels().end());
    after.LoadMarked({}, shifted.pixels(), shiftedReals);
    after.ApplyBlurring();
    const AttackedPicture blurred = Apply("shift:dx=4+blur");
    EXPECT_EQ(blurred.Bytes, after.X_wave());
    EXPECT_TRUE(SameReals(blurred.Reals, std::vector<double>(after.X_wave().begin(), after.X_wave().end())));

    TWatermark before = w;
    before.ApplyCroppingByImgInHalf();
    EXPECT_EQ(Apply("crop-image-half+median:k=3").Bytes, MedianFilter(GrayPlane(256, 256, before.X_wave()), 3).pixels());
}

TEST(ApplyAttackCell, SeedsChooseTheNoiseAndOnlyTheNoise) {
    EXPECT_EQ(Apply("gauss-noise:sigma=5", 7).Bytes, Apply("gauss-noise:sigma=5", 7).Bytes);
    EXPECT_NE(Apply("gauss-noise:sigma=5", 7).Bytes, Apply("gauss-noise:sigma=5", 8).Bytes);
    EXPECT_NE(Apply("salt-pepper:p=0.05", 7).Bytes, Apply("salt-pepper:p=0.05", 8).Bytes);
    EXPECT_EQ(Apply("rotate:deg=3", 7).Bytes, Apply("rotate:deg=3", 8).Bytes);
    // A seeded attack first in a combination draws what it draws alone ...
    EXPECT_EQ(Apply("gauss-noise:sigma=5+none", 7).Bytes, Apply("gauss-noise:sigma=5", 7).Bytes);
    // ... and a second seeded step draws other numbers than the first.
    const TWatermark& w = Embedded();
    RandomStream stream(7);
    const GrayPlane once = AddSaltPepper(GrayPlane(256, 256, w.X_hat()), 0.3, stream);
    RandomStream same(7);
    const GrayPlane twiceSameStream = AddSaltPepper(once, 0.3, same);
    EXPECT_NE(Apply("salt-pepper:p=0.3+salt-pepper:p=0.3", 7).Bytes, twiceSameStream.pixels());
}

TEST(ApplyAttackCell, SeededAttacksGiveTheSameBytesOnEveryMachine) {
    // FNV-1a of the attacked bytes, pinned: any change to the generator, the Gaussian or the
    // order of draws changes every stored result of a noise attack and must be deliberate.
    const auto fnv = [](const std::vector<std::uint8_t>& bytes) {
        std::uint64_t h = 0xCBF29CE484222325ULL;
        for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001B3ULL;
        return h;
    };
    EXPECT_EQ(fnv(Apply("gauss-noise:sigma=10", 42).Bytes), 12868234027991950484u);
    EXPECT_EQ(fnv(Apply("salt-pepper:p=0.05", 42).Bytes), 6132154614809280842u);
    EXPECT_EQ(fnv(Apply("rotate:deg=7.5+gamma:g=1.7", 42).Bytes), 17336701380248022630u);
}

TEST(ApplyAttackCell, TwoInputsTakeWhatEachTakesAlone) {
    // A sweep attacks the marked picture and the unmarked host together, the noise drawn and
    // the rotation's positions found once: each result must be the one-picture result.
    const TWatermark& w = Embedded();
    const std::vector<double> hostReals(w.X().begin(), w.X().end());
    const AttackInput host{w.X(), w.X(), hostReals};
    for (const char* entry : {"gauss-noise:sigma=10", "salt-pepper:p=0.05", "rotate:deg=-7.5+jpeg",
                              "crop-image-half+rotate:deg=30+gauss-noise:sigma=5+median:k=3", "none"}) {
        AttackedPicture a;
        AttackedPicture b;
        ApplyAttackCell(Cell(entry), host, InputOf(w), 42, a, b);
        const AttackedPicture aloneA = ApplyAttackCell(Cell(entry), host, 42);
        const AttackedPicture aloneB = ApplyAttackCell(Cell(entry), InputOf(w), 42);
        EXPECT_EQ(a.Bytes, aloneA.Bytes) << entry;
        EXPECT_EQ(b.Bytes, aloneB.Bytes) << entry;
        EXPECT_TRUE(SameReals(a.Reals, aloneA.Reals)) << entry;
        EXPECT_TRUE(SameReals(b.Reals, aloneB.Reals)) << entry;
    }
    AttackedPicture one;
    EXPECT_THROW(ApplyAttackCell(Cell("none"), host, InputOf(w), 1, one, one), ArgumentError);
    EXPECT_THROW(Rotate(GrayPlane(4, 4), GrayPlane(4, 5), 10), ArgumentError);
}

TEST(ApplyAttackCell, RefusesWrongPlanesAndRefusedValues) {
    const TWatermark& w = Embedded();
    const std::vector<std::uint8_t> small(100);
    EXPECT_THROW(ApplyAttackCell(Cell("none"), {small, w.X_hat(), w.X_hat_real()}, 1), ArgumentError);
    AttackCell bad{"median:k=4", {{AttackId::Median, {4.0}}}};
    EXPECT_THROW(ApplyAttackCell(bad, InputOf(w), 1), ArgumentError);
    AttackCell missing{"real-jpeg", {{AttackId::RealJpeg, {}}}};
    EXPECT_THROW(ApplyAttackCell(missing, InputOf(w), 1), ArgumentError);
    AttackCell unknown{"?", {{static_cast<AttackId>(999), {}}}};
    EXPECT_THROW(ApplyAttackCell(unknown, InputOf(w), 1), ArgumentError);
}

TEST(ApplyAttackCell, ACallersPictureTakesTheSameAttacks) {
    // The marked region as a caller holds it: bytes only, the host beside it.
    const TWatermark& w = Embedded();
    const GrayPlane marked(256, 256, w.X_hat());
    const GrayPlane host(256, 256, w.X());
    const std::vector<double> reals(w.X_hat().begin(), w.X_hat().end());
    for (const char* entry : {"crop-image-half", "jpeg+blur", "median:k=3+gauss-noise:sigma=2"})
        EXPECT_EQ(ApplyAttackCell(Cell(entry), marked, 7, host).pixels(),
                  ApplyAttackCell(Cell(entry), {w.X(), w.X_hat(), reals}, 7).Bytes)
            << entry;
    EXPECT_THROW(ApplyAttackCell(Cell("crop-image-half"), marked, 7), ArgumentError);

    // A picture of another size takes the 8-bit attacks, from the same streams.
    const GrayPlane larger(300, 280, std::vector<std::uint8_t>(300 * 280, 90));
    RandomStream second(7 ^ 0xA0761D6478BD642FULL);
    EXPECT_EQ(ApplyAttackCell(Cell("shift:dx=3+gauss-noise:sigma=4"), larger, 7),
              AddGaussianNoise(Shift(larger, 3, 0), 4, second));
    // The workspace's quantisation takes it in 256 x 256 tiles: the first is the region's.
    GrayPlane wide(300, 280);
    for (int y = 0; y < 280; ++y)
        for (int x = 0; x < 300; ++x) wide.at(x, y) = w.X_hat()[static_cast<std::size_t>(y % 256) * 256 + x % 256];
    const GrayPlane quantised = ApplyAttackCell(Cell("jpeg:scale=2"), wide, 7);
    const GrayPlane region = ApplyAttackCell(Cell("jpeg:scale=2"), marked, 7);
    for (int y = 0; y < 256; ++y)
        ASSERT_TRUE(std::equal(region.row(y), region.row(y) + 256, quantised.row(y))) << "row " << y;
    EXPECT_THROW(ApplyAttackCell(Cell("crop-image-half"), larger, 7, host), ArgumentError);  // a host of another size
}

TEST(AttackCatalogue, EveryAttackHasItsSourceAndItsGroup) {
    for (const AttackInfo& info : AttackCatalogue()) {
        EXPECT_GT(std::strlen(info.Source), 0u) << info.Name;
        EXPECT_EQ(info.Group == AttackGroup::None, info.Id == AttackId::None) << info.Name;
    }
    EXPECT_STREQ(AttackGroupName(InfoOf(AttackId::RandomBending).Group), "geometric");
    EXPECT_STREQ(AttackGroupName(InfoOf(AttackId::Gamma).Group), "photometric");
    EXPECT_STREQ(AttackGroupName(InfoOf(AttackId::RealJpeg).Group), "degradation");
    EXPECT_STREQ(AttackGroupName(InfoOf(AttackId::PrintScan).Group), "combined");
}

TEST(AttackGroupOf, OneGroupOrCombined) {
    const std::pair<const char*, AttackGroup> cases[] = {
        {"none", AttackGroup::None},
        {"rotate-crop:deg=5", AttackGroup::Geometric},
        {"brightness:d=3+gamma:g=2", AttackGroup::Photometric},
        {"none+median:k=3", AttackGroup::Degradation},
        {"scale:f=0.9+real-jpeg:q=75", AttackGroup::Combined},
        {"print-scan", AttackGroup::Combined},
        {"crop-zero-half+shift:dx=2", AttackGroup::Geometric},
    };
    for (const auto& [entry, group] : cases) EXPECT_EQ(AttackGroupOf(Cell(entry)), group) << entry;
}

TEST(DefaultAttackGrid, CoversTheCatalogueWithTheOldAttacksFirst) {
    const std::vector<AttackCell> grid = DefaultAttackGrid();
    EXPECT_EQ(grid.size(), 134u);  // the README's table lists these cells
    std::set<AttackId> used;
    for (const AttackCell& cell : grid)
        for (const AttackStep& step : cell.Steps) used.insert(step.Id);
    for (const AttackInfo& info : AttackCatalogue()) EXPECT_TRUE(used.count(info.Id)) << info.Name;
    // Every group has cells, and the geometric cells a synchronising blind method must survive
    // come alone and followed by a JPEG file.
    std::set<AttackGroup> groups;
    std::set<std::string> names;
    for (const AttackCell& cell : grid) {
        groups.insert(AttackGroupOf(cell));
        names.insert(cell.Name);
    }
    EXPECT_EQ(groups.size(), 5u);
    for (const char* cell : {"crop-resize:frac=0.1", "crop-resize:frac=0.2,x=0.25,y=0.75", "scale:f=0.5",
                             "rotate-crop:deg=5", "aspect:r=0.9"}) {
        EXPECT_TRUE(names.count(cell)) << cell;
        EXPECT_TRUE(names.count(std::string(cell) + "+real-jpeg:q=75")) << cell;
    }
    // The seven workspace attacks come first, under their old names.
    const char* old[] = {"none", "jpeg", "blur", "crop-zero-quarter", "crop-image-quarter", "crop-zero-half",
                         "crop-image-half"};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(grid[i].Name, old[i]);
}

TEST(DefaultAttackGrid, EveryCellRunsAndChangesOnlyWhatItShould) {
    const TWatermark& w = Embedded();
    for (const AttackCell& cell : DefaultAttackGrid()) {
        const AttackedPicture picture = ApplyAttackCell(cell, InputOf(w), 3);
        ASSERT_EQ(picture.Bytes.size(), 65536u) << cell.Name;
        ASSERT_EQ(picture.Reals.size(), 65536u) << cell.Name;
        if (cell.Name != "none") {
            EXPECT_NE(picture.Bytes, w.X_hat()) << cell.Name << " left the picture as it was";
        }
    }
}

}  // namespace
}  // namespace quillfen
