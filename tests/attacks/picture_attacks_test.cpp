// The 8-bit attacks: each one's defining property on small pictures, hand-worked values for
// the resampling and rounding rules, and the median against a full sort of every window.
#include "quillfen/attacks/picture_attacks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>

#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/toolbox/rix_ipa.h"

namespace quillfen {
namespace {

GrayPlane Noise(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    GrayPlane p(width, height);
    for (int i = 0; i < p.size(); ++i) p.data()[i] = static_cast<std::uint8_t>(rng() % 256);
    return p;
}

GrayPlane Gradient(int width, int height) {
    GrayPlane p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p.at(x, y) = static_cast<std::uint8_t>((x * 3 + y * 5) % 256);
    return p;
}

GrayPlane Row(std::vector<std::uint8_t> values) {
    const int width = static_cast<int>(values.size());
    return GrayPlane(width, 1, std::move(values));
}

GrayPlane Column(std::vector<std::uint8_t> values) {
    const int height = static_cast<int>(values.size());
    return GrayPlane(1, height, std::move(values));
}

double MeanAbsoluteDifference(const GrayPlane& a, const GrayPlane& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels().size(); ++i) sum += std::abs(a.pixels()[i] - b.pixels()[i]);
    return sum / static_cast<double>(a.pixels().size());
}

TEST(MedianFilter, EqualsAFullSortOfEveryWindow) {
    for (int k : {1, 3, 5, 7, 15}) {
        const GrayPlane in = Noise(23, 17, static_cast<unsigned>(k));
        const GrayPlane out = MedianFilter(in, k);
        for (int y = 0; y < in.height(); ++y)
            for (int x = 0; x < in.width(); ++x) {
                std::vector<int> window;
                for (int dy = -k / 2; dy <= k / 2; ++dy)
                    for (int dx = -k / 2; dx <= k / 2; ++dx)
                        window.push_back(in.at(std::clamp(x + dx, 0, in.width() - 1), std::clamp(y + dy, 0, in.height() - 1)));
                std::sort(window.begin(), window.end());
                ASSERT_EQ(out.at(x, y), window[window.size() / 2]) << "k " << k << " at " << x << "," << y;
            }
    }
}

TEST(MedianFilter, RemovesAnIsolatedSpeck) {
    GrayPlane in(9, 9, 40);
    in.at(4, 4) = 255;
    EXPECT_EQ(MedianFilter(in, 3), GrayPlane(9, 9, 40));
    EXPECT_EQ(MedianFilter(in, 1), in);
}

TEST(Shift, MovesPixelsAndBlackensWhatIsUncovered) {
    const GrayPlane in = Noise(12, 9, 1);
    for (const auto& [dx, dy] : {std::pair{0, 0}, {2, 0}, {0, -3}, {-5, 4}, {12, 0}, {3, 9}}) {
        const GrayPlane out = Shift(in, dx, dy);
        for (int y = 0; y < in.height(); ++y)
            for (int x = 0; x < in.width(); ++x) {
                const int sx = x - dx;
                const int sy = y - dy;
                const bool inside = sx >= 0 && sy >= 0 && sx < in.width() && sy < in.height();
                ASSERT_EQ(out.at(x, y), inside ? in.at(sx, sy) : 0) << dx << "," << dy << " at " << x << "," << y;
            }
    }
}

TEST(Rotate, WholeTurnsAndQuarterTurnsMovePixelsExactly) {
    const GrayPlane in = Noise(16, 16, 2);
    EXPECT_EQ(Rotate(in, 0), in);
    EXPECT_EQ(Rotate(in, 360), in);
    EXPECT_EQ(Rotate(in, -720), in);
    const GrayPlane quarter = Rotate(in, 90);
    const GrayPlane half = Rotate(in, 180);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            // Counter-clockwise on screen: what was right of the centre goes to the top.
            ASSERT_EQ(quarter.at(x, y), in.at(15 - y, x)) << x << "," << y;
            ASSERT_EQ(half.at(x, y), in.at(15 - x, 15 - y)) << x << "," << y;
        }
    EXPECT_EQ(Rotate(Rotate(Rotate(quarter, 90), 90), 90), in);
    EXPECT_EQ(Rotate(in, -90), Rotate(in, 270));
}

TEST(Rotate, KeepsTheCentreAndBlackensTheCorners) {
    GrayPlane in(33, 33, 200);
    in.at(16, 16) = 7;
    for (double degrees : {0.25, -2.0, 30.0, 45.0}) {
        const GrayPlane out = Rotate(in, degrees);
        EXPECT_EQ(out.at(16, 16), 7) << degrees;
        if (degrees >= 30 || degrees <= -30) {
            EXPECT_EQ(out.at(0, 0), 0) << degrees;
            EXPECT_EQ(out.at(32, 32), 0) << degrees;
        }
    }
}

TEST(Resample, PixelCentresAlignedWithHalvesToEven) {
    struct Case {
        std::vector<std::uint8_t> in;
        int width;
        std::vector<std::uint8_t> out;
    };
    const Case cases[] = {
        {{0, 100}, 4, {0, 25, 75, 100}},           // samples at 0, 0.25, 0.75, 1 (edges clamped)
        {{0, 100, 200, 255}, 2, {50, 228}},        // 227.5 rounds to the even 228
        {{0, 5}, 1, {2}},                          // 2.5 rounds to 2
        {{0, 7}, 1, {4}},                          // 3.5 rounds to 4
        {{9, 8, 7}, 3, {9, 8, 7}},                 // the same size is the identity
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Resample(Row(c.in), c.width, 1), Row(c.out));
        EXPECT_EQ(Resample(Column(c.in), 1, c.width), Column(c.out));
    }
}

TEST(ScaleAndBack, FactorOneAndFlatPicturesAreUntouched) {
    const GrayPlane in = Noise(40, 30, 3);
    EXPECT_EQ(ScaleAndBack(in, 1.0), in);
    for (double f : {0.1, 0.5, 0.9, 1.5, 2.0}) EXPECT_EQ(ScaleAndBack(GrayPlane(40, 30, 91), f), GrayPlane(40, 30, 91)) << f;
    // Shrinking loses detail that enlarging does not.
    const GrayPlane noise = Noise(64, 64, 4);
    EXPECT_GT(MeanAbsoluteDifference(ScaleAndBack(noise, 0.5), noise),
              MeanAbsoluteDifference(ScaleAndBack(noise, 2.0), noise));
}

TEST(ScaleAndBack, StreamedGivesTheBytesOfTheIntermediatePicture) {
    // The intermediate picture is never made; what comes back must be what making it gives.
    std::mt19937 rng(9);
    for (int trial = 0; trial < 300; ++trial) {
        const int width = 1 + static_cast<int>(rng() % 37);
        const int height = 1 + static_cast<int>(rng() % 29);
        const double factors[] = {0.1, 0.33, 0.5, 0.77, 0.9, 1, 1.1, 1.5, 2, 2.5, 3.7, 10};
        const double f = factors[rng() % std::size(factors)];
        const GrayPlane in = Noise(width, height, static_cast<unsigned>(trial));
        const int midWidth = std::max(1, static_cast<int>(std::nearbyint(width * f)));
        const int midHeight = std::max(1, static_cast<int>(std::nearbyint(height * f)));
        ASSERT_EQ(ScaleAndBack(in, f), Resample(Resample(in, midWidth, midHeight), width, height))
            << width << " x " << height << " by " << f;
    }
}

// The Gaussian blur as it was first written: the row sums of the whole plane, then the columns.
GrayPlane PlainGaussianBlur(const GrayPlane& in, double sigma) {
    const int radius = (static_cast<int>(std::nearbyint(6 * sigma + 1)) | 1) / 2;
    std::vector<double> weights;
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        weights.push_back(PortableExp(-(static_cast<double>(i) * i) / (2 * sigma * sigma)));
        sum = sum + weights.back();
    }
    for (double& w : weights) w = w / sum;
    const int width = in.width();
    const int height = in.height();
    std::vector<double> rows(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 0;
            for (int i = -radius; i <= radius; ++i)
                v = v + weights[static_cast<std::size_t>(i + radius)] * in.at(std::clamp(x + i, 0, width - 1), y);
            rows[static_cast<std::size_t>(y) * width + x] = v;
        }
    GrayPlane out(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 0;
            for (int i = -radius; i <= radius; ++i)
                v = v + weights[static_cast<std::size_t>(i + radius)] *
                            rows[static_cast<std::size_t>(std::clamp(y + i, 0, height - 1)) * width + x];
            out.at(x, y) = static_cast<std::uint8_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
        }
    return out;
}

TEST(GaussianBlur, KeepingAFewRowsGivesThePlainFormsBytes) {
    // Pictures shorter and narrower than the kernel too: their rows repeat in the ring.
    for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {17, 5}, {40, 61}, {64, 9}})
        for (double sigma : {0.1, 0.5, 1.5, 4.0, 10.0})
            ASSERT_EQ(GaussianBlur(Noise(width, height, 3), sigma), PlainGaussianBlur(Noise(width, height, 3), sigma))
                << width << " x " << height << " sigma " << sigma;
}

TEST(RemoveRows, EvenlySpacedRowsGoAndTheRestIsStretchedBack) {
    // Rows 2 and 6 of 8 are removed (floor((2i + 1) * 8 / 4)); the six left are stretched to
    // eight: samples at 0.75 i - 0.125 of [0, 10, 30, 40, 50, 70].
    const GrayPlane in = Column({0, 10, 20, 30, 40, 50, 60, 70});
    EXPECT_EQ(RemoveRows(in, 2), Column({0, 6, 18, 31, 39, 46, 58, 70}));
    EXPECT_EQ(RemoveRows(in, 0), in);
    EXPECT_EQ(RemoveColumns(Row({0, 10, 20, 30, 40, 50, 60, 70}), 2), Row({0, 6, 18, 31, 39, 46, 58, 70}));
    const GrayPlane noise = Noise(10, 12, 5);
    for (int n : {1, 3, 6}) {
        GrayPlane transposed(noise.height(), noise.width());
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x) transposed.at(y, x) = noise.at(x, y);
        const GrayPlane rows = RemoveRows(transposed, n);
        const GrayPlane columns = RemoveColumns(noise, n);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x) ASSERT_EQ(columns.at(x, y), rows.at(y, x)) << n;
    }
}

TEST(CropCentre, KeepsACentredShareOfTheArea) {
    const GrayPlane in(256, 256, 255);
    struct Case {
        double removed;
        int left;
        int kept;
    };
    // Kept side round(256 sqrt(1 - removed)); left margin half the rest, rounded down.
    const Case cases[] = {{0, 0, 256}, {0.01, 0, 255}, {0.02, 1, 253}, {0.25, 17, 222}, {0.75, 64, 128}, {1, 128, 0}};
    for (const Case& c : cases) {
        const GrayPlane out = CropCentre(in, c.removed);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                const bool kept = x >= c.left && x < c.left + c.kept && y >= c.left && y < c.left + c.kept;
                ASSERT_EQ(out.at(x, y), kept ? 255 : 0) << c.removed << " at " << x << "," << y;
            }
    }
}

TEST(SeededNoise, SameSeedSameBytesOtherSeedOtherBytes) {
    const GrayPlane in = Gradient(32, 32);
    struct Case {
        const char* name;
        GrayPlane (*apply)(const GrayPlane&, double, RandomStream&);
        double strength;
    };
    const Case cases[] = {{"gauss", AddGaussianNoise, 10}, {"salt-pepper", AddSaltPepper, 0.2}};
    for (const Case& c : cases) {
        RandomStream a(11), b(11), other(12);
        const GrayPlane first = c.apply(in, c.strength, a);
        EXPECT_EQ(first, c.apply(in, c.strength, b)) << c.name;
        EXPECT_NE(first, c.apply(in, c.strength, other)) << c.name;
        EXPECT_NE(first, in) << c.name;
        RandomStream none(11);
        EXPECT_EQ(c.apply(in, 0, none), in) << c.name << " at strength 0";
    }
}

TEST(AddGaussianNoise, HasTheRequestedSpread) {
    const GrayPlane in(128, 128, 128);
    RandomStream random(3);
    const GrayPlane out = AddGaussianNoise(in, 10, random);
    double sum = 0;
    double squares = 0;
    for (std::uint8_t v : out.pixels()) {
        const double d = v - 128.0;
        sum += d;
        squares += d * d;
    }
    const double n = static_cast<double>(out.pixels().size());
    EXPECT_NEAR(sum / n, 0, 0.2);
    // Rounding to whole levels adds 1/12 to the variance.
    EXPECT_NEAR(std::sqrt(squares / n), std::sqrt(100 + 1.0 / 12), 0.2);
}

TEST(AddSaltPepper, ReplacesTheRequestedShareWithBlackAndWhite) {
    const GrayPlane in(128, 128, 100);
    RandomStream random(4);
    const GrayPlane out = AddSaltPepper(in, 0.1, random);
    const auto black = static_cast<double>(std::count(out.pixels().begin(), out.pixels().end(), 0));
    const auto white = static_cast<double>(std::count(out.pixels().begin(), out.pixels().end(), 255));
    EXPECT_EQ(black + white + static_cast<double>(std::count(out.pixels().begin(), out.pixels().end(), 100)), 128 * 128);
    EXPECT_NEAR((black + white) / 16384.0, 0.1, 0.01);
    EXPECT_NEAR(black / (black + white), 0.5, 0.05);
    RandomStream all(4);
    const GrayPlane full = AddSaltPepper(in, 1, all);
    EXPECT_EQ(std::count(full.pixels().begin(), full.pixels().end(), 100), 0);
}

TEST(Sharpen, LeavesFlatAreasAndOvershootsEdges) {
    GrayPlane edge(8, 8, 100);
    for (int y = 0; y < 8; ++y)
        for (int x = 4; x < 8; ++x) edge.at(x, y) = 150;
    EXPECT_EQ(Sharpen(edge, 0), edge);
    EXPECT_EQ(Sharpen(GrayPlane(8, 8, 77), 5), GrayPlane(8, 8, 77));
    const GrayPlane out = Sharpen(edge, 1);
    // Blur beside the edge: (4 * 100 + 4 * 150 ... ) -> 112.5 on the dark side, 137.5 on the bright.
    EXPECT_EQ(out.at(3, 4), 88);   // 100 + (100 - 112.5) = 87.5, to even
    EXPECT_EQ(out.at(4, 4), 162);  // 150 + (150 - 137.5) = 162.5, to even
    EXPECT_EQ(out.at(0, 4), 100);
}

TEST(ToneCurves, IdentityStrengthsAndHandWorkedLevels) {
    const GrayPlane all = [] {
        GrayPlane p(256, 1);
        for (int g = 0; g < 256; ++g) p.data()[g] = static_cast<std::uint8_t>(g);
        return p;
    }();
    EXPECT_EQ(AdjustBrightness(all, 0), all);
    EXPECT_EQ(AdjustContrast(all, 1), all);
    EXPECT_EQ(AdjustGamma(all, 1), all);
    EXPECT_EQ(QuantizeLevels(all, 256), all);

    const GrayPlane brighter = AdjustBrightness(all, 10.5);
    EXPECT_EQ(brighter.pixels()[0], 10);    // 10.5 to even
    EXPECT_EQ(brighter.pixels()[1], 12);    // 11.5 to even
    EXPECT_EQ(brighter.pixels()[250], 255);
    EXPECT_EQ(AdjustBrightness(all, -300), GrayPlane(256, 1, 0));

    // The mean of 0..255 is 127.5: no contrast leaves 127.5 everywhere, rounded to 128.
    EXPECT_EQ(AdjustContrast(all, 0), GrayPlane(256, 1, 128));
    const GrayPlane stronger = AdjustContrast(all, 2);
    EXPECT_EQ(stronger.pixels()[100], 72);   // 127.5 + 2 * -27.5 = 72.5, to even
    EXPECT_EQ(stronger.pixels()[0], 0);

    EXPECT_EQ(AdjustGamma(all, 2).pixels()[128], 64);  // 255 (128 / 255)^2 = 64.25
    EXPECT_EQ(AdjustGamma(all, 0.5).pixels()[64], 128);  // 255 sqrt(64 / 255) = 127.75

    const GrayPlane two = QuantizeLevels(all, 2);
    EXPECT_EQ(two.pixels()[127], 0);
    EXPECT_EQ(two.pixels()[128], 255);
    const GrayPlane three = QuantizeLevels(all, 3);
    EXPECT_EQ(three.pixels()[128], 128);  // level 1 is shown as 127.5, to even
    for (int levels : {2, 3, 8, 16, 32}) {
        const GrayPlane q = QuantizeLevels(all, levels);
        EXPECT_EQ(std::set<std::uint8_t>(q.pixels().begin(), q.pixels().end()).size(), static_cast<std::size_t>(levels));
    }
}

TEST(GeometricAttacks, NeutralStrengthsKeepThePicture) {
    const GrayPlane in = Noise(23, 17, 6);
    RandomStream random(1);
    EXPECT_EQ(StretchAspect(in, 1), in);
    EXPECT_EQ(AffineMap(in, 1, 0, 0, 1), in);
    EXPECT_EQ(RotateScale(in, 0), in);
    EXPECT_EQ(RotateCrop(in, 0), in);
    EXPECT_EQ(CropResize(in, 0, 0.3, 0.8), in);
    EXPECT_EQ(RandomBending(in, 0, random), in);
    EXPECT_EQ(PrintScan(in, 0, 0, 0, 1, random), in);
}

TEST(AffineMap, ShearsMoveRowsAndScalesStretch) {
    // A vertical line through the centre leans by b: the row at offset v from the centre shows
    // it at column 16 + b v.
    GrayPlane line(33, 33, 0);
    for (int y = 0; y < 33; ++y) line.at(16, y) = 255;
    const GrayPlane leaning = AffineMap(line, 1, 0.25, 0, 1);
    for (int v = -16; v <= 16; v += 4) EXPECT_EQ(leaning.at(16 + v / 4, 16 + v), 255) << v;
    EXPECT_EQ(leaning.at(16, 0), 0);
    const GrayPlane in = Noise(31, 20, 7);
    EXPECT_EQ(AffineMap(in, 2, 0, 0, 1), StretchAspect(in, 2));
    EXPECT_THROW(AffineMap(in, 1, 1, 1, 1), ArgumentError);
    // Narrowed to 0.5 across: the outer quarters are black, the centre column stays.
    const GrayPlane narrow = StretchAspect(Noise(41, 5, 8), 0.5);
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(narrow.at(0, y), 0);
        EXPECT_EQ(narrow.at(40, y), 0);
        EXPECT_EQ(narrow.at(20, y), Noise(41, 5, 8).at(20, y));
    }
}

TEST(RotationKeptShare, TheLargestCentredRectangleOfTheAspect) {
    EXPECT_EQ(RotationKeptShare(33, 33, 0), 1);
    EXPECT_EQ(RotationKeptShare(33, 33, 90), 1);
    EXPECT_NEAR(RotationKeptShare(33, 33, 45), std::sqrt(0.5), 1e-15);
    EXPECT_EQ(RotationKeptShare(65, 33, 90), 0.5);  // half sides 32 and 16, turned
    EXPECT_NEAR(RotationKeptShare(65, 33, 30), 16 / (32 * 0.5 + 16 * std::sqrt(0.75)), 1e-15);
    EXPECT_EQ(RotationKeptShare(1, 1, 30), 1);
    EXPECT_EQ(RotationKeptShare(5, 1, 30), 1);  // a row has no height to keep clear
}

TEST(RotateCropAndScale, NoBlackCornerShows) {
    const GrayPlane white(40, 24, 255);
    for (double degrees : {0.25, 7.0, -30.0, 45.0, 90.0, -135.0}) {
        EXPECT_EQ(RotateScale(white, degrees), white) << degrees;
        EXPECT_EQ(RotateCrop(white, degrees), white) << degrees;
    }
    // Rotation alone shows them.
    EXPECT_EQ(Rotate(white, 30).at(0, 0), 0);
    // Both turn the content: a half-turn of a square is exact.
    const GrayPlane in = Noise(16, 16, 9);
    EXPECT_EQ(RotateScale(in, 180), Rotate(in, 180));
    EXPECT_EQ(RotateCrop(in, 180), Rotate(in, 180));
}

TEST(CropResize, KeepsTheChosenPartOfTheAspect) {
    const GrayPlane in = Gradient(4, 4);
    // A quarter of the area kept: the 2 x 2 at the corner chosen, enlarged.
    const GrayPlane topLeft(2, 2, std::vector<std::uint8_t>{in.at(0, 0), in.at(1, 0), in.at(0, 1), in.at(1, 1)});
    const GrayPlane bottomRight(2, 2, std::vector<std::uint8_t>{in.at(2, 2), in.at(3, 2), in.at(2, 3), in.at(3, 3)});
    EXPECT_EQ(CropResize(in, 0.75, 0, 0), Resample(topLeft, 4, 4));
    EXPECT_EQ(CropResize(in, 0.75, 1, 1), Resample(bottomRight, 4, 4));
    // Too little left for a pixel: one is kept, the centre one when centred.
    EXPECT_EQ(CropResize(Noise(3, 3, 2), 0.99, 0.5, 0.5), GrayPlane(3, 3, Noise(3, 3, 2).at(1, 1)));
}

TEST(RandomBending, MovesPixelsSmoothlyAndBoundedly) {
    // A ramp whose gray is its column: after bending, a pixel's gray tells where it came
    // from. Every row still rises (nothing folds or tears) and nothing moves further than the
    // corners, the bend, the wave and the jitter together allow (5.12 + 2.56 + 0.64 + 0.1
    // pixels at strength 1 on 256 pixels, plus rounding).
    GrayPlane ramp(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) ramp.at(x, y) = static_cast<std::uint8_t>(x);
    for (const double s : {1.0, 2.0})
        for (std::uint64_t seed : {1, 2, 3, 4}) {
            RandomStream random(seed);
            const GrayPlane bent = RandomBending(ramp, s, random);
            int largest = 0;
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    if (x > 0) {
                        ASSERT_GE(bent.at(x, y), bent.at(x - 1, y)) << s << " seed " << seed << " at " << x << "," << y;
                    }
                    largest = std::max(largest, std::abs(bent.at(x, y) - x));
                }
            EXPECT_LE(largest, static_cast<int>(std::ceil(s * 8.42 + 0.5))) << s << " seed " << seed;
            EXPECT_GE(largest, 1) << s << " seed " << seed;
        }
}

TEST(EqualizeHistogram, IsTheToolboxOperation) {
    const GrayPlane in = Gradient(40, 20);
    TRixIPA ipa;
    ipa.LoadFromGray(40, 20, in.pixels().data());
    ipa.Equalize();
    EXPECT_EQ(EqualizeHistogram(in).pixels(), ipa.GetImage());
}

TEST(JpegRoundTrip, LosesMoreAtLowerQuality) {
    const GrayPlane smooth = Gradient(64, 64);
    const GrayPlane best = JpegRoundTrip(smooth, 100);
    EXPECT_LE(MeanAbsoluteDifference(best, smooth), 1.0);
    EXPECT_GT(MeanAbsoluteDifference(JpegRoundTrip(smooth, 10), smooth),
              MeanAbsoluteDifference(JpegRoundTrip(smooth, 75), smooth));
    EXPECT_EQ(JpegRoundTrip(GrayPlane(64, 64, 128), 50), GrayPlane(64, 64, 128));
    EXPECT_EQ(JpegRoundTrip(smooth, 50), JpegRoundTrip(smooth, 50));
}

}  // namespace
}  // namespace quillfen
