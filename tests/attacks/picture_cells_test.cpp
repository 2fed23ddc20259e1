// Cells on pictures of any size and kind: gray pictures take the gray forms (the marked
// region's at 256 x 256), colour pictures take each attack on their three planes alike, with
// the documented exceptions (noise per byte, contrast about the mean luminance, JPEG in
// YCbCr 4:2:0), the two pictures of a sweep take what each takes alone, and every cell runs
// on the smallest pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

// Every attack, at the ends of its ranges, alone and in combinations.
constexpr const char* kCells =
    "none,jpeg,jpeg:scale=2,blur,blur:passes=3,crop-zero-quarter,crop-image-quarter,crop-zero-half,crop-image-half,"
    "real-jpeg:q=50,median:k=5,gauss-noise:sigma=8,salt-pepper:p=0.1,sharpen:amount=1.5,scale:f=0.4,scale:f=2.5,"
    "rotate:deg=17,shift:dx=3,dy=-2,remove-rows:n=26,remove-cols:n=128,crop:frac=0.3,brightness:d=-40,contrast:c=1.7,"
    "gamma:g=0.6,equalize,quantize:levels=5,gaussian-blur:sigma=1.3,random-bending,random-bending:s=3,"
    "affine:a=1.2,b=0.1,c=-0.05,d=0.9,aspect:r=0.8,rotate-crop:deg=8,rotate-scale:deg=-12,"
    "crop-resize:frac=0.36,x=0.2,y=0.9,print-scan,print-scan:deg=2,sigma=0,noise=5,g=1.5,"
    "blur+jpeg,jpeg+crop-image-half,rotate:deg=3+gauss-noise:sigma=2+median:k=3";

std::vector<AttackCell> Cells() { return ParseAttackCells(kCells); }

Bitmap Host(const char* name) { return LoadPictureFile(test::SamplePath(std::string("hosts/") + name)).bitmap; }

// The top-left width x height of three hosts as blue, green and red.
Bitmap Colour(int width, int height, const char* blue = "astronaut.pgm", const char* green = "chelsea.pgm",
              const char* red = "coffee.pgm") {
    const Bitmap planes[] = {Host(blue), Host(green), Host(red)};
    Bitmap picture(width, height, 0);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.row(y)[3 * x + c] = planes[c].blue(x % planes[c].width(), y % planes[c].height());
    return picture;
}

Bitmap Gray(int width, int height, const char* name = "astronaut.pgm") {
    const Bitmap host = Host(name);
    Bitmap picture(width, height, 0);
    // Pictures larger than the host repeat it, so that no read falls outside its bytes.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setGray(x, y, host.blue(x % host.width(), y % host.height()));
    return picture;
}

GrayPlane Channel(const Bitmap& picture, int c) {
    GrayPlane plane(picture.width(), picture.height());
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) plane.at(x, y) = picture.row(y)[3 * x + c];
    return plane;
}

Bitmap FromChannels(const GrayPlane& blue, const GrayPlane& green, const GrayPlane& red) {
    Bitmap picture(blue.width(), blue.height(), 0);
    for (int y = 0; y < blue.height(); ++y)
        for (int x = 0; x < blue.width(); ++x) picture.setBgr(x, y, blue.at(x, y), green.at(x, y), red.at(x, y));
    return picture;
}

bool Attacks(const AttackCell& cell, AttackId id) {
    for (const AttackStep& step : cell.Steps)
        if (step.Id == id) return true;
    return false;
}

TEST(PictureCells, GrayPicturesTakeTheGrayForms) {
    // A 256 x 256 gray picture is the marked region with its bytes as reals; a gray picture of
    // another size is what the gray plane of its bytes gets.
    for (const auto& [width, height] : {std::pair{256, 256}, {203, 157}, {300, 260}}) {
        const Bitmap picture = Gray(width, height);
        const Bitmap host = Gray(width, height, "brick.pgm");
        const GrayPlane plane = Channel(picture, 0);
        const GrayPlane hostPlane = Channel(host, 0);
        for (const AttackCell& cell : Cells()) {
            const GrayPlane expected = ApplyAttackCell(cell, plane, 5, hostPlane);
            ASSERT_EQ(ApplyAttackCell(cell, picture, 5, host), Bitmap::fromGray(width, height, expected.data()))
                << cell.Name << " on " << width << " x " << height;
        }
    }
}

TEST(PictureCells, ColourPicturesTakeEachAttackOnTheirThreePlanesAlike) {
    // Every attack but the documented few works on the blue, green and red planes as on three
    // gray pictures. At 256 x 256 the gray planes take the workspace's own seven, so this
    // also holds the seven's forms for any size to the workspace's bytes.
    for (const auto& [width, height] : {std::pair{256, 256}, {203, 157}}) {
        const Bitmap picture = Colour(width, height);
        const Bitmap host = Colour(width, height, "brick.pgm", "clock.pgm", "cell.pgm");
        for (const AttackCell& cell : Cells()) {
            if (Attacks(cell, AttackId::GaussNoise) || Attacks(cell, AttackId::SaltPepper) ||
                Attacks(cell, AttackId::PrintScan) || Attacks(cell, AttackId::Contrast) ||
                Attacks(cell, AttackId::RealJpeg))
                continue;
            // At 256 x 256 a chain of the workspace's attacks passes reals on; elsewhere bytes.
            if (width == 256 && cell.Name == "blur+jpeg") continue;
            GrayPlane channels[3];
            for (int c = 0; c < 3; ++c) channels[c] = ApplyAttackCell(cell, Channel(picture, c), 5, Channel(host, c));
            ASSERT_EQ(ApplyAttackCell(cell, picture, 5, host), FromChannels(channels[0], channels[1], channels[2]))
                << cell.Name << " on " << width << " x " << height;
        }
    }
}

TEST(PictureCells, AWorkspaceChainPassesRealsOnOnlyOnTheMarkedRegion) {
    // On the region the quantisation after the blur reads the blur's unrounded reals.
    const AttackCell cell = ParseAttackCells("blur+jpeg").front();
    const Bitmap gray = Gray(256, 256);
    const Bitmap channelwise = ApplyAttackCell(cell, FromChannels(Channel(gray, 0), Channel(gray, 0), Channel(gray, 0)), 5);
    EXPECT_EQ(channelwise, ApplyAttackCell(cell, gray, 5));  // still a gray picture
    const Bitmap blurredBytes = ApplyAttackCell(ParseAttackCells("blur").front(), gray, 5);
    EXPECT_NE(ApplyAttackCell(ParseAttackCells("jpeg").front(), blurredBytes, 5), ApplyAttackCell(cell, gray, 5));
}

TEST(PictureCells, NoiseDrawsPerByteInMemoryOrder) {
    // A flat colour picture: byte k (pixel k / 3, channel k mod 3) takes the k-th deviate.
    Bitmap flat(5, 3, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) flat.setBgr(x, y, 10, 100, 200);
    const Bitmap noisy = ApplyAttackCell(ParseAttackCells("gauss-noise:sigma=6").front(), flat, 77);
    RandomStream random(77);
    for (std::size_t k = 0; k < noisy.bytes().size(); ++k) {
        const double level = flat.bytes()[k] + 6 * random.Gaussian();
        ASSERT_EQ(noisy.bytes()[k], static_cast<std::uint8_t>(std::clamp(RoundHalfEven(level), 0.0, 255.0))) << k;
    }
    // The three channels of a pixel take different noise: the picture stays colour.
    int differing = 0;
    for (std::size_t i = 0; i < 15; ++i)
        differing += noisy.bytes()[3 * i] - 10 != noisy.bytes()[3 * i + 1] - 100;
    EXPECT_GT(differing, 10);
    // Salt and pepper replaces bytes, not pixels: some pixels get coloured specks.
    const Bitmap specks = ApplyAttackCell(ParseAttackCells("salt-pepper:p=0.5").front(), Colour(64, 64), 3);
    int mixed = 0;
    for (std::size_t i = 0; i < 64 * 64; ++i) {
        const std::uint8_t* p = specks.bytes().data() + 3 * i;
        mixed += (p[0] == 0 || p[0] == 255) != (p[1] == 0 || p[1] == 255);
    }
    EXPECT_GT(mixed, 64 * 64 / 4);
}

TEST(PictureCells, ContrastScalesColoursAboutTheMeanLuminance) {
    // Half the pixels pure blue (luminance 0.114 * 255), half white: mean luminance
    // (114 * 255 / 1000 + 255) / 2 = 142.035. Factor 0.5 takes blue's red to 71.0175 -> 71.
    Bitmap picture(2, 2, 255);
    picture.setBgr(0, 0, 255, 0, 0);
    picture.setBgr(1, 1, 255, 0, 0);
    const Bitmap out = ApplyAttackCell(ParseAttackCells("contrast:c=0.5").front(), picture, 1);
    const std::uint8_t* blue = out.row(0);
    EXPECT_EQ(blue[0], 199);  // 142.035 + 0.5 * 112.965 = 198.5175
    EXPECT_EQ(blue[1], 71);
    EXPECT_EQ(blue[2], 71);
    const std::uint8_t* white = out.row(0) + 3;
    EXPECT_EQ(white[0], 199);
    EXPECT_EQ(white[1], 199);
    EXPECT_EQ(white[2], 199);
}

// The sampling factors of a baseline JPEG file's components, from its SOF0 marker.
std::vector<int> SamplingFactors(const std::vector<std::uint8_t>& file) {
    for (std::size_t i = 2; i + 9 < file.size();) {
        if (file[i] != 0xFF) return {};
        const int marker = file[i + 1];
        const std::size_t length = static_cast<std::size_t>(file[i + 2] << 8 | file[i + 3]);
        if (marker == 0xC0) {
            std::vector<int> factors;
            for (int c = 0; c < file[i + 9]; ++c) factors.push_back(file[i + 11 + 3 * static_cast<std::size_t>(c)]);
            return factors;
        }
        i += 2 + length;
    }
    return {};
}

TEST(PictureCells, AColourJpegIsAYCbCrFileWithItsChromaHalvedBothWays) {
    const Bitmap picture = Colour(203, 157);
    const std::vector<std::uint8_t> file = TRixJPEG::Encode(picture, 40);
    EXPECT_EQ(SamplingFactors(file), (std::vector<int>{0x22, 0x11, 0x11}));  // 4:2:0
    EXPECT_EQ(ApplyAttackCell(ParseAttackCells("real-jpeg:q=40").front(), picture, 1),
              TRixJPEG::DecodeMemory(file.data(), file.size()));
    // A gray picture is written as one component.
    EXPECT_EQ(SamplingFactors(TRixJPEG::EncodeGray(Gray(203, 157), 40)), (std::vector<int>{0x11}));
    // Chroma detail finer than two pixels is lost: a column-by-column red and blue pattern
    // comes back nearer to its mean than each column was.
    Bitmap stripes(64, 64, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) stripes.setBgr(x, y, x % 2 ? 255 : 0, 128, x % 2 ? 0 : 255);
    const Bitmap back = ApplyAttackCell(ParseAttackCells("real-jpeg:q=100").front(), stripes, 1);
    EXPECT_LT(std::abs(back.row(32)[3 * 32] - back.row(32)[3 * 33]), 128);
}

TEST(PictureCells, TheTwoPicturesOfASweepTakeWhatEachTakesAlone) {
    for (const auto& [width, height] : {std::pair{256, 256}, {203, 157}}) {
        struct Pair {
            Bitmap Marked;
            Bitmap Host;
            bool OneKind;
        };
        const Pair pairs[] = {
            {Gray(width, height), Gray(width, height, "brick.pgm"), true},
            {Colour(width, height), Colour(width, height, "brick.pgm", "clock.pgm", "cell.pgm"), true},
            {Colour(width, height), Gray(width, height, "brick.pgm"), false},
        };
        for (const auto& [marked, host, oneKind] : pairs)
            for (const AttackCell& cell : Cells()) {
                // The crops fill from a host of the picture's kind only.
                const bool fills = Attacks(cell, AttackId::CropImageQuarter) || Attacks(cell, AttackId::CropImageHalf);
                if (fills && !oneKind) {
                    EXPECT_THROW(ApplyAttackCell(cell, marked, host, 11), ArgumentError) << cell.Name;
                    continue;
                }
                const AttackedBitmaps both = ApplyAttackCell(cell, marked, host, 11);
                ASSERT_EQ(both.Marked, ApplyAttackCell(cell, marked, 11, host)) << cell.Name << " " << width;
                ASSERT_EQ(both.Host, ApplyAttackCell(cell, host, 11, host)) << cell.Name << " " << width;
            }
    }
    EXPECT_THROW(ApplyAttackCell(Cells().front(), Gray(20, 20), Gray(20, 21), 1), ArgumentError);
}

TEST(PictureCells, EveryCellRunsOnTheSmallestPictures) {
    for (const auto& [width, height] : {std::pair{1, 1}, {1, 6}, {6, 1}, {2, 2}, {7, 3}, {9, 17}}) {
        const Bitmap pictures[] = {Gray(width, height), Colour(width, height)};
        for (const Bitmap& picture : pictures)
            for (const AttackCell& cell : Cells()) {
                const Bitmap out = ApplyAttackCell(cell, picture, 3, picture);
                ASSERT_EQ(out.width(), width) << cell.Name;
                ASSERT_EQ(out.height(), height) << cell.Name;
                ASSERT_EQ(out.bytes().size(), picture.bytes().size()) << cell.Name;
            }
    }
}

TEST(PictureCells, TheWorkspacesCropsAndBlurTakeThePicturesShape) {
    const Bitmap white(5, 9, 255);
    const Bitmap quarter = ApplyAttackCell(ParseAttackCells("crop-zero-quarter").front(), white, 1);
    const Bitmap half = ApplyAttackCell(ParseAttackCells("crop-zero-half").front(), white, 1);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(quarter.blue(x, y), x < 2 && y < 4 ? 0 : 255) << x << "," << y;
            EXPECT_EQ(half.blue(x, y), y < 2 || y >= 7 ? 0 : 255) << x << "," << y;
        }
    // The blur rounds down and keeps the frame: a bright dot spreads, the border does not move.
    Bitmap dot(5, 4, 16);
    dot.setGray(2, 1, 176);
    const Bitmap blurred = ApplyAttackCell(ParseAttackCells("blur").front(), dot, 1);
    EXPECT_EQ(blurred.blue(2, 1), 56);  // (4 * 176 + 12 * 16) / 16
    EXPECT_EQ(blurred.blue(1, 2), 26);  // (176 + 15 * 16) / 16 = 26
    EXPECT_EQ(blurred.blue(2, 0), 16);  // the frame
}

TEST(PictureCells, RefusesWhatCannotBeAttacked) {
    const AttackCell none = ParseAttackCells("none").front();
    EXPECT_THROW(ApplyAttackCell(none, Bitmap(), 1), ArgumentError);
    Bitmap truncated(4, 4, 0);
    truncated.bytes().resize(20);
    EXPECT_THROW(ApplyAttackCell(none, truncated, 1), ArgumentError);
    EXPECT_THROW(ApplyAttackCell(none, Bitmap(32769, 1, 0), 1), ArgumentError);
    const AttackCell withHost = ParseAttackCells("crop-image-quarter").front();
    EXPECT_THROW(ApplyAttackCell(withHost, Gray(30, 20), 1), ArgumentError);
    EXPECT_THROW(ApplyAttackCell(withHost, Gray(30, 20), 1, Gray(20, 30)), ArgumentError);
    EXPECT_THROW(ApplyAttackCell(withHost, Gray(30, 20), 1, Colour(30, 20)), ArgumentError);
    EXPECT_NO_THROW(ApplyAttackCell(withHost, Colour(30, 20), 1, Colour(30, 20)));
    AttackCell refused{"median:k=4", {{AttackId::Median, {4.0}}}};
    EXPECT_THROW(ApplyAttackCell(refused, Gray(30, 20), 1), ArgumentError);
}

}  // namespace
}  // namespace quillfen
