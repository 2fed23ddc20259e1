#include "quillfen/toolbox/thresholds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using thresholds::Counts;

TRixIPA MakeIpa(int width, int height, const std::vector<std::uint8_t>& gray) {
    TRixIPA ipa;
    ipa.LoadFromGray(width, height, gray.data());
    return ipa;
}

// A width x height image whose first half of pixels is `a` and second half `b`.
TRixIPA TwoLevels(std::uint8_t a, std::uint8_t b, int width = 10, int height = 10) {
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(width) * height, b);
    std::fill(gray.begin(), gray.begin() + static_cast<std::ptrdiff_t>(gray.size() / 2), a);
    return MakeIpa(width, height, gray);
}

bool AllEqual(const std::vector<std::uint8_t>& image, std::uint8_t value) {
    return std::all_of(image.begin(), image.end(), [value](std::uint8_t v) { return v == value; });
}

// Pixels of value `level` became `expected` (the image held other values too).
void ExpectMapped(const TRixIPA& before, const TRixIPA& after, std::uint8_t level, std::uint8_t expected) {
    for (std::size_t i = 0; i < before.GetImage().size(); ++i)
        if (before.GetImage()[i] == level) {
            ASSERT_EQ(after.GetImage()[i], expected) << "level " << int(level);
        }
}

TEST(Thresholds, FiftyTwoHundredImageThroughMeanTwoPeaksIterativeAndPTile) {
    const TRixIPA original = TwoLevels(50, 200);

    TRixIPA ipa = original;
    EXPECT_EQ(ipa.ThresholdByMean(), 125.0);
    ExpectMapped(original, ipa, 50, 0);
    ExpectMapped(original, ipa, 200, 255);

    ipa = original;
    EXPECT_EQ(ipa.ThresholdByTwoPeaks(), 51);  // P1 = 50, the valley right after it
    ExpectMapped(original, ipa, 50, 0);

    ipa = original;
    EXPECT_EQ(ipa.ThresholdByIterativeSelection(), 125);  // 25 + 100, at once

    struct Case {
        int percent;
        int threshold;
        std::uint8_t fiftyBecomes;
    };
    for (const Case c : {Case{0, 0, 255}, Case{50, 50, 255}, Case{51, 200, 0}, Case{101, 0, 255},
                         Case{-1, 0, 255}}) {
        ipa = original;
        EXPECT_EQ(ipa.ThresholdByPTile(c.percent), c.threshold) << c.percent;
        ExpectMapped(original, ipa, 50, c.fiftyBecomes);
        ExpectMapped(original, ipa, 200, 255);
    }
}

TEST(Thresholds, HandComputedCriteriaOnSmallHistograms) {
    // 50 / 200: eta is 1 from 50 to 199 and the later level wins; the minimum-error
    // criterion is flat over the same range and the first level wins.
    TRixIPA ipa = TwoLevels(50, 200);
    EXPECT_EQ(ipa.ThresholdByGrayLevelHistogram(), 199);
    ipa = TwoLevels(50, 200);
    EXPECT_EQ(ipa.ThresholdByMinimumError(), 50);
    ipa = TwoLevels(50, 200);
    EXPECT_EQ(ipa.ThresholdByPun(), 50);

    // Levels 10 x6, 20 x2, 30 x2: Pun's E is 0.708 over 10..19 and 0.628 over 20..29.
    std::vector<std::uint8_t> gray{10, 10, 10, 10, 10, 10, 20, 20, 30, 30};
    ipa = MakeIpa(10, 1, gray);
    EXPECT_EQ(ipa.ThresholdByPun(), 10);

    // Levels 0 x1, 100 x4, 101 x4, 255 x1: Kapur's E is largest (the whole entropy, 0.518) at
    // 255, against 0.435 at 100 and 0.419 at 0.
    gray = {0, 100, 100, 100, 100, 101, 101, 101, 101, 255};
    ipa = MakeIpa(10, 1, gray);
    EXPECT_EQ(ipa.ThresholdByKapur(), 255);
}

TEST(Thresholds, MeanRoundsTiesToEven) {
    TRixIPA ipa = TwoLevels(127, 128, 2, 1);  // mean 127.5 -> 128
    EXPECT_EQ(ipa.ThresholdByMean(), 127.5);
    EXPECT_EQ(ipa.GetImage(), (std::vector<std::uint8_t>{0, 255}));
    ipa = TwoLevels(126, 127, 2, 1);  // mean 126.5 -> 126
    EXPECT_EQ(ipa.ThresholdByMean(), 126.5);
    EXPECT_EQ(ipa.GetImage(), (std::vector<std::uint8_t>{255, 255}));
}

TEST(Thresholds, SingleLevelAndBlackImages) {
    TRixIPA ipa = TwoLevels(0, 0);
    EXPECT_EQ(ipa.ThresholdByIterativeSelection(), 0);
    EXPECT_TRUE(AllEqual(ipa.GetImage(), 255));

    // Johannsen's only candidate is the one occupied level: the image turns white.
    ipa = TwoLevels(77, 77);
    EXPECT_EQ(ipa.ThresholdByJohannsen(), 77);
    EXPECT_TRUE(AllEqual(ipa.GetImage(), 255));

    // No level qualifies for the fuzzy methods: -1, reported as 255, all white.
    for (auto method : {&TRixIPA::ThresholdByFuzzyShannon, &TRixIPA::ThresholdByFuzzyYager}) {
        ipa = TwoLevels(77, 77);
        EXPECT_EQ((ipa.*method)(), -1);
        EXPECT_TRUE(AllEqual(ipa.GetImage(), 255));
    }
}

GrayPlane Gray(int width, int height, const std::vector<std::uint8_t>& gray) { return GrayPlane(width, height, gray); }

TEST(Thresholds, LaplacianOnAFlatImageKeepsEveryPixelAndTurnsWhite) {
    TRixIPA ipa = TwoLevels(90, 90, 7, 6);
    EXPECT_EQ(ipa.ThresholdByLaplacian(85), 0);  // P1 = 90, P2 stays 0, valley at 0
    EXPECT_TRUE(AllEqual(ipa.GetImage(), 255));
    Counts kept{};
    thresholds::LaplacianLevel(Gray(7, 6, std::vector<std::uint8_t>(42, 90)), 85, kept);
    EXPECT_EQ(kept[90], 42);  // LT = 0 counts every pixel
}

TEST(Thresholds, LaplacianLeavesOutTheWeakestResponses) {
    // A bright spot on a dark ground: only its 8 neighbours respond (with 30), the other 73
    // entries are 0. Leaving out 95 per cent (77 of 81) cuts at 30, so the counts keep just
    // the neighbours.
    std::vector<std::uint8_t> gray(9 * 9, 10);
    gray[4 * 9 + 4] = 250;
    Counts kept{};
    thresholds::LaplacianLevel(Gray(9, 9, gray), 95, kept);
    EXPECT_EQ(histogram::Total(kept), 8);
    EXPECT_EQ(kept[10], 8);
    // With 85 per cent (69 of 81) the zeros already reach the cut: every pixel counts.
    thresholds::LaplacianLevel(Gray(9, 9, gray), 85, kept);
    EXPECT_EQ(histogram::Total(kept), 81);
}

// Nothing is kept from one call to the next: a picture gives the same result on an object
// that has worked on another picture before as on a fresh one.
TEST(Thresholds, LaplacianOnANewPictureFindsNoOldResponses) {
    // A 4 x 6 picture responds strongly at 5, 6, 17 and 18, which are border entries of a
    // 6 x 4 picture.
    std::vector<std::uint8_t> spots(24, 255);
    for (int i : {5, 6, 17, 18}) spots[static_cast<std::size_t>(i)] = 0;
    std::vector<std::uint8_t> ramp(24);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i * 10);
    TRixIPA used = MakeIpa(4, 6, spots);
    used.ThresholdByLaplacian(90);
    used.LoadFromGray(6, 4, ramp.data());
    TRixIPA fresh = MakeIpa(6, 4, ramp);
    EXPECT_EQ(used.ThresholdByLaplacian(50), fresh.ThresholdByLaplacian(50));
    EXPECT_EQ(used.GetImage(), fresh.GetImage());
}

TEST(Thresholds, MovingAverageWindowOfOneTurnsNothingBlack) {
    std::vector<std::uint8_t> gray{0, 10, 200, 3, 255, 9, 9, 0, 100, 1};
    TRixIPA ipa = MakeIpa(5, 2, gray);
    EXPECT_EQ(ipa.ThresholdByMovingAverage(), 9);  // avg is the last visited pixel: (0, 1)
    EXPECT_TRUE(AllEqual(ipa.GetImage(), 255));
    EXPECT_EQ(ipa.GetHistogram(255), 10);  // recounted after binarising
}

TEST(Thresholds, MovingAverageFollowsTheSerpentine) {
    // Width 16, n = 2. Row 0 is bright but ends dark; row 1 runs right to left, so its right
    // end follows the dark pixel (average 100: 100 stays white) and its left end follows
    // bright ones (average 150: 100 turns black). A raster scan would do the opposite.
    std::vector<std::uint8_t> gray(16 * 2, 200);
    gray[15] = 0;
    gray[16 + 15] = 100;
    gray[16 + 0] = 100;
    TRixIPA ipa = MakeIpa(16, 2, gray);
    EXPECT_EQ(ipa.ThresholdByMovingAverage(), 150);
    EXPECT_EQ(ipa.Pixel(15, 0), 0);
    EXPECT_EQ(ipa.Pixel(15, 1), 255);
    EXPECT_EQ(ipa.Pixel(0, 1), 0);
    EXPECT_EQ(ipa.Pixel(3, 1), 255);
}

// A degenerate image ends the operation with the error text; the image and its undo state
// are as they were.
TEST(Thresholds, DegenerateImagesFailWithoutChangingTheImage) {
    struct Case {
        std::string name;
        TRixIPA ipa;
        std::function<void(TRixIPA&)> run;
    };
    const std::vector<std::uint8_t> narrow{1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<Case> cases{
        {"gray level, single level", TwoLevels(7, 7), [](TRixIPA& i) { i.ThresholdByGrayLevelHistogram(); }},
        {"moving average, width 4", MakeIpa(4, 2, narrow), [](TRixIPA& i) { i.ThresholdByMovingAverage(); }},
        {"mean, empty", TRixIPA(), [](TRixIPA& i) { i.ThresholdByMean(); }},
        {"iterative, empty", TRixIPA(), [](TRixIPA& i) { i.ThresholdByIterativeSelection(); }},
        {"gray level, empty", TRixIPA(), [](TRixIPA& i) { i.ThresholdByGrayLevelHistogram(); }},
        {"johannsen, empty", TRixIPA(), [](TRixIPA& i) { i.ThresholdByJohannsen(); }},
        {"kapur, empty", TRixIPA(), [](TRixIPA& i) { i.ThresholdByKapur(); }},
        {"pun, empty", TRixIPA(), [](TRixIPA& i) { i.ThresholdByPun(); }},
    };
    for (Case& c : cases) {
        const std::vector<std::uint8_t> before = c.ipa.GetImage();
        try {
            c.run(c.ipa);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const MathError& e) {
            EXPECT_STREQ(e.what(), kInvalidFloatingPointOperation) << c.name;
        }
        EXPECT_EQ(c.ipa.GetImage(), before) << c.name;
    }
}

TEST(Thresholds, HistogramDescribesTheBinarisedImage) {
    TRixIPA ipa = TwoLevels(50, 200);
    ipa.ThresholdByKapur();
    EXPECT_EQ(ipa.GetHistogram(50), 0);
    EXPECT_EQ(ipa.GetHistogram(0) + ipa.GetHistogram(255), 100);
}

TEST(Thresholds, TwoPeaksValleyRules) {
    Counts c{};
    c[30] = 9;  // P1
    c[40] = 2;
    c[45] = 4;  // P2: (45-30)^2 * 4 = 900 beats (40-30)^2 * 2 = 200
    EXPECT_EQ(thresholds::TwoPeaksValley(c), 31);  // first lowest count in 30..44
    Counts flat{};
    flat[12] = 5;
    flat[13] = 5;  // plateau: P1 = 12, P2 = 13 (a plateau counts as a maximum), no lower count
    EXPECT_EQ(thresholds::TwoPeaksValley(flat), 12);
    Counts lowPeak{};
    lowPeak[200] = 10;
    lowPeak[3] = 1;  // the second peak lies below the first: the range runs 3..199
    EXPECT_EQ(thresholds::TwoPeaksValley(lowPeak), 4);
}

// ---- Fast forms against the literal ones --------------------------------------------------

std::vector<Counts> SampleHistograms() {
    std::vector<Counts> out;
    std::mt19937 rng(20261208);
    for (int k = 0; k < 40; ++k) {  // dense, sparse and clustered random counts
        Counts h{};
        const int occupancy = k % 4 == 0 ? 256 : 2 + k * 5;
        std::uniform_int_distribution<int> level(0, 255), count(1, 5000);
        for (int i = 0; i < occupancy; ++i) h[level(rng)] += count(rng);
        out.push_back(h);
    }
    Counts single{}, extremes{}, geometric{}, ramp{}, spike{};
    single[128] = 65536;
    extremes[0] = 3;
    extremes[255] = 5;
    for (int g = 0; g < 25; ++g) geometric[g * 10] = 1 << g;
    for (int g = 0; g < 256; ++g) ramp[g] = g + 1;
    spike.fill(1);
    spike[17] = 262144 - 255;
    for (const Counts& h : {single, extremes, geometric, ramp, spike}) out.push_back(h);
    return out;
}

int Total(const Counts& h) {
    int n = 0;
    for (int c : h) n += c;
    return n;
}

TEST(Thresholds, FastCriteriaMatchTheLiteralOnes) {
    for (const Counts& h : SampleHistograms()) {
        EXPECT_EQ(thresholds::KapurLevel(h, Total(h)), thresholds::literal::KapurLevel(h, Total(h)));
        EXPECT_EQ(thresholds::MinimumErrorLevel(h), thresholds::literal::MinimumErrorLevel(h));
        EXPECT_EQ(thresholds::FuzzyShannonLevel(h), thresholds::literal::FuzzyShannonLevel(h));
        EXPECT_EQ(thresholds::FuzzyYagerLevel(h), thresholds::literal::FuzzyYagerLevel(h));
    }
}

TEST(Thresholds, JohannsenPicksAnOccupiedLevel) {
    for (const Counts& h : SampleHistograms()) {
        const int t = thresholds::JohannsenLevel(h, Total(h));
        ASSERT_GE(t, 0);
        EXPECT_GT(h[t], 0) << "Johannsen's candidates are the occupied levels";
    }
}

std::vector<std::uint8_t> RandomPlane(std::mt19937& rng, int count, int spread) {
    std::uniform_int_distribution<int> base(0, 255 - spread), noise(0, spread);
    const int b = base(rng);
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(count));
    for (auto& v : plane) v = static_cast<std::uint8_t>(b + noise(rng));
    return plane;
}

TEST(Thresholds, FastLaplacianMatchesTheLiteralOne) {
    std::mt19937 rng(7);
    struct Size {
        int width, height;
    };
    // Widths below, at and past two vectors of responses on every target; spreads whose
    // responses round to the few low levels only, to both low and high ones, and to any.
    std::vector<GrayPlane> images;
    for (const Size s : {Size{1, 1}, Size{2, 5}, Size{3, 3}, Size{17, 2}, Size{31, 29}, Size{64, 64}, Size{67, 6},
                         Size{131, 9}})
        for (int spread : {0, 3, 40, 255}) images.push_back(Gray(s.width, s.height, RandomPlane(rng, s.width * s.height, spread)));
    test::ForEachVectorTarget([&](const std::string& target) {
        for (const GrayPlane& image : images) {
            for (int percent : {0, 50, 85, 100, 150}) {
                Counts fastCounts{}, literalCounts{};
                const int fast = thresholds::LaplacianLevel(image, percent, fastCounts);
                const int lit = thresholds::literal::LaplacianLevel(image, percent, literalCounts);
                ASSERT_EQ(fast, lit) << target << " " << image.width() << "x" << image.height() << " " << percent;
                ASSERT_EQ(fastCounts, literalCounts) << target << " " << image.width() << "x" << image.height();
            }
        }
    });
}

TEST(Thresholds, FastMovingAverageMatchesTheLiteralOne) {
    std::mt19937 rng(11);
    // Widths 5, 12, 16, 20, 24, 64 and 512 give windows of 1, 2, 2, 2 (20 / 8 = 2.5 rounds
    // to even), 3, 8 and 64. On black the window of 2 decays into subnormals.
    for (int width : {5, 12, 16, 20, 24, 64, 512}) {
        for (int spread : {0, 40, 255}) {
            const int height = width == 512 ? 3 : 100;
            auto pixels = RandomPlane(rng, width * height, spread);
            if (spread == 0) std::fill(pixels.begin(), pixels.end(), 0);
            const GrayPlane image = Gray(width, height, pixels);
            const thresholds::Binarized fast = thresholds::MovingAverageBinarize(image);
            const thresholds::Binarized lit = thresholds::literal::MovingAverageBinarize(image);
            ASSERT_EQ(fast.value, lit.value) << width;
            ASSERT_EQ(fast.plane, lit.plane) << width;
        }
    }
}

TEST(Thresholds, MovingAverageInPiecesMatchesTheLiteralScan) {
    // Pieces started 1 pixel early rarely hold the true average at their first pixel and are
    // scanned again; 200 pixels early most do. Black decays into subnormals, where the guess
    // is never forgotten; a window of 3 divides.
    std::mt19937 rng(12);
    for (int width : {64, 24}) {
        for (int spread : {0, 40, 255}) {
            auto pixels = RandomPlane(rng, width * 200, spread);
            if (spread == 0) std::fill(pixels.begin(), pixels.end(), 0);
            const GrayPlane image = Gray(width, 200, pixels);
            const thresholds::Binarized lit = thresholds::literal::MovingAverageBinarize(image);
            for (int warmUp : {1, 200}) {
                const thresholds::Binarized fast = thresholds::MovingAverageBinarizeInPieces(image, warmUp);
                ASSERT_EQ(fast.value, lit.value) << width << " " << spread << " " << warmUp;
                ASSERT_EQ(fast.plane, lit.plane) << width << " " << spread << " " << warmUp;
            }
        }
    }
}

TEST(Thresholds, MovingAverageInPiecesDividesWhereTheAverageAlmostMeetsThePixel) {
    // A window of 2 (width 16) led from its start of 254 to an average of 20 + 2^-48 at the
    // 48th pixel of the scan, 17: avg x 85 rounds to just above 1700, and only the division by
    // 100 tells that the pixel turns black.
    std::vector<std::uint8_t> scan(16 * 40, 90);
    scan[0] = 128;
    std::fill(scan.begin() + 1, scan.begin() + 44, 127);
    scan[44] = 57;
    scan[45] = scan[46] = 0;
    scan[47] = 17;
    std::vector<std::uint8_t> pixels(scan.size());
    for (std::size_t i = 0; i < scan.size(); ++i) {
        const std::size_t y = i / 16, k = i % 16;
        pixels[y * 16 + (y % 2 == 0 ? k : 15 - k)] = scan[i];
    }
    const GrayPlane image = Gray(16, 40, pixels);
    const thresholds::Binarized lit = thresholds::literal::MovingAverageBinarize(image);
    ASSERT_EQ(lit.plane.at(15, 2), 0);
    const thresholds::Binarized fast = thresholds::MovingAverageBinarizeInPieces(image, 1);
    EXPECT_EQ(fast.plane, lit.plane);
    EXPECT_EQ(fast.value, lit.value);
}

// ---- Results computed independently ---------------------------------------------------------
// The expected values below come from tests/toolbox/thresholds_reference.py, a separate
// implementation of the two methods from their definitions:
//     python3 tests/toolbox/thresholds_reference.py
// It also prints what a changed rule would give, so each case is known to tell the rules
// apart.

TEST(Thresholds, FuzzyWindowIsFivePerCentOfTheFuzzinessSpread) {
    // 16 pixels: 4 of level 6, 6 of 13, 6 of 250. A window of 10 per cent gives 12 and 3.
    Counts counts{};
    counts[6] = 4;
    counts[13] = 6;
    counts[250] = 6;
    EXPECT_EQ(thresholds::FuzzyShannonLevel(counts), 13);
    EXPECT_EQ(thresholds::FuzzyYagerLevel(counts), 4);
    EXPECT_EQ(thresholds::literal::FuzzyShannonLevel(counts), 13);
    EXPECT_EQ(thresholds::literal::FuzzyYagerLevel(counts), 4);

    std::vector<std::uint8_t> gray(16, 250);
    std::fill(gray.begin(), gray.begin() + 4, 6);
    std::fill(gray.begin() + 4, gray.begin() + 10, 13);
    TRixIPA ipa = MakeIpa(4, 4, gray);
    EXPECT_EQ(ipa.ThresholdByFuzzyShannon(), 13);
    EXPECT_EQ(ipa.GetHistogram(0), 4);  // only the level-6 pixels lie below 13
}

TEST(Thresholds, MovingAverageTurnsBlackBelowEightyFivePerCentOfTheAverage) {
    // 100 with darker pixels 73..79 wherever (7x + 5y) mod 6 is 0. With an 80 per cent rule
    // only pixel (0, 0) would turn black. Width 24 has a window of 3, width 20 one of 2
    // (a window of 3 would blacken other pixels).
    const auto pixel = [](int x, int y) { return static_cast<std::uint8_t>((x * 7 + y * 5) % 6 != 0 ? 100 : 73 + (x + y) % 7); };
    struct Case {
        int width;
        int average;
        std::vector<std::string> rows;  // '#' black, '.' white
    };
    const Case cases[] = {
        {24, 97, {"#.....#.....#.....#.....", ".#.....#.....#..........", "........#.....#.....#..."}},
        {20, 100, {"#...................", ".............#......", "...................."}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> gray;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < c.width; ++x) gray.push_back(pixel(x, y));
        for (const bool literal : {false, true}) {
            const GrayPlane image = Gray(c.width, 3, gray);
            const thresholds::Binarized out =
                literal ? thresholds::literal::MovingAverageBinarize(image) : thresholds::MovingAverageBinarize(image);
            EXPECT_EQ(out.value, c.average) << c.width;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < c.width; ++x)
                    EXPECT_EQ(out.plane.at(x, y), c.rows[y][x] == '#' ? 0 : 255) << c.width << ": " << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace quillfen
