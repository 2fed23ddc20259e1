// The periodic mark as a method of the registry: its catalogue entry, colour and gray
// embedding, keys, and what Extract reads and reports (the geometry found) after geometric
// attacks, with the key alone.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/extraction.h"
#include "quillfen/methods/method.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::SamplePath;

// n x n of the bundled 256 x 256 hosts, starting at host `first`, side by side.
GrayPlane Mosaic(int n, int first) {
    static const char* names[] = {"astronaut", "coffee", "chelsea", "rocket", "brick", "clock", "grass", "retina", "cell"};
    GrayPlane out(256 * n, 256 * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const GrayPlane h = LoadGrayPicture(SamplePath(std::string("hosts/") + names[(first + j * n + i) % 9] + ".pgm"));
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x)
                    out.data()[static_cast<std::size_t>(256 * j + y) * out.width() + 256 * i + x] = h.data()[y * 256 + x];
        }
    return out;
}

// A colour picture: each colour another mosaic.
Bitmap Colour(int n) {
    const GrayPlane b = Mosaic(n, 0), g = Mosaic(n, 3), r = Mosaic(n, 5);
    Bitmap out(b.width(), b.height());
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * out.width() + x;
            out.row(y)[3 * x] = b.data()[i];
            out.row(y)[3 * x + 1] = g.data()[i];
            out.row(y)[3 * x + 2] = r.data()[i];
        }
    return out;
}

const MethodPayload& Payload() {
    static const MethodPayload payload{Bitmap(), ParsePayloadHex("5681fb21e676dc7c", 64)};
    return payload;
}

TEST(SyncMethod, CatalogueEntry) {
    const auto entry = MethodRegistry::BuiltIn().Find("spread-spectrum-sync");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(MethodRegistry::BuiltIn().Entries().back(), entry);
    const MethodCapabilities& can = entry->Capabilities;
    EXPECT_TRUE(can.Blind);
    EXPECT_TRUE(can.Synchronises);
    EXPECT_TRUE(can.ScoreCalibrated);
    EXPECT_FALSE(can.UsesMark);
    EXPECT_FALSE(can.CalibratesKeys);
    EXPECT_EQ(can.PayloadBits, 64);
    EXPECT_EQ(can.RegionSide, 0);
    EXPECT_EQ(can.Strength, "strength");
    // The union bound over the whole search, as cosines of 1024 chips.
    ASSERT_TRUE(entry->Thresholds);
    EXPECT_NEAR(entry->Thresholds->first, 11.1456 / 32, 1e-4);
    EXPECT_NEAR(entry->Thresholds->second, 11.7491 / 32, 1e-4);
    const MethodSpec described = ParseMethodSpec("spread-spectrum-sync:strength=3");
    EXPECT_EQ(described.Name(), "spread-spectrum-sync:strength=3");
    EXPECT_EQ(described.PayloadBits(), 64);
    EXPECT_THROW(ParseMethodSpec("spread-spectrum-sync:bits=32"), ArgumentError);
    EXPECT_THROW(ParseMethodSpec("spread-spectrum-sync:strength=0"), ArgumentError);
    // The other blind methods do not synchronise: their suspects must hold the whole picture.
    EXPECT_FALSE(MakeMethod("qim")->Capabilities().Synchronises);
    EXPECT_FALSE(MakeMethod("qim")->Capabilities().ScoreCalibrated);
}

TEST(SyncMethod, MarksColourAndGrayAtTheStrengthsPsnr) {
    const auto method = MakeMethod("spread-spectrum-sync:strength=2.55");
    const Bitmap colour = Colour(2);
    const MethodMarked marked = method->Embed(ViewOf(colour), Payload(), 11);
    EXPECT_NEAR(marked.Psnr, 40.0, 0.15);
    // The luminance's change goes into each colour alike: away from clipping the three
    // differences are equal.
    int equal = 0, changed = 0;
    for (int y = 0; y < colour.height(); ++y)
        for (int x = 0; x < colour.width(); ++x) {
            const int db = marked.Picture.row(y)[3 * x] - colour.row(y)[3 * x];
            const int dg = marked.Picture.row(y)[3 * x + 1] - colour.row(y)[3 * x + 1];
            const int dr = marked.Picture.row(y)[3 * x + 2] - colour.row(y)[3 * x + 2];
            changed += db != 0 || dg != 0 || dr != 0;
            equal += std::abs(db - dg) <= 1 && std::abs(dg - dr) <= 1;
        }
    EXPECT_GT(changed, colour.width() * colour.height() / 2);
    EXPECT_GT(equal, colour.width() * colour.height() * 98 / 100);
    EXPECT_EQ(marked.Key.Method, "spread-spectrum-sync");
    EXPECT_EQ(marked.Key.Parameters, "strength=2.55");
    EXPECT_EQ(marked.Key.HostWidth, 512);
    EXPECT_EQ(marked.Key.Payload, Payload().Bits);
    // A gray picture stays gray.
    const Bitmap gray = Bitmap::fromGray(512, 512, Mosaic(2, 0).data());
    const MethodMarked grayMarked = method->Embed(ViewOf(gray), Payload(), 11);
    for (int y = 0; y < 512; y += 37)
        for (int x = 0; x < 512; x += 41) {
            const std::uint8_t* p = grayMarked.Picture.row(y) + 3 * x;
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]);
        }
    // --target-psnr finds the strength.
    const auto at38 = FindStrength(*method, ViewOf(colour), Payload(), 11, 38);
    EXPECT_NEAR(at38->Embed(ViewOf(colour), Payload(), 11).Psnr, 38.0, 0.1);
    EXPECT_NEAR(*at38->Strength(), 2.55 * std::pow(10.0, 0.1), 0.1);
}

TEST(SyncMethod, KeysAndRefusals) {
    const auto method = MakeMethod("spread-spectrum-sync");
    const Bitmap colour = Colour(2);
    const MethodMarked marked = method->Embed(ViewOf(colour), Payload(), 3);
    const std::vector<std::uint8_t> bytes = MethodRegistry::BuiltIn().KeyBytes(marked.Key);
    const MethodKey back = MethodRegistry::BuiltIn().ReadKey(bytes, "k.key");
    EXPECT_EQ(back.Method, "spread-spectrum-sync");
    EXPECT_EQ(back.Seed, 3u);
    EXPECT_EQ(back.Payload, Payload().Bits);
    EXPECT_EQ(MethodRegistry::BuiltIn().SpecOf(back).Name(), "spread-spectrum-sync");
    // A key whose payload does not hold 64 bits was changed after it was written.
    MethodKey shorter = marked.Key;
    shorter.Payload.resize(32);
    EXPECT_THROW(method->KeyFromBytes(EncodeMethodKey(shorter), "k.key"), FormatError);
    EXPECT_THROW(method->Detect(ViewOf(colour), shorter), ArgumentError);
    MethodKey other = marked.Key;
    other.Method = "qim";
    EXPECT_THROW(method->Detect(ViewOf(colour), other), ArgumentError);
    // Payloads of the wrong length, hosts too small, suspects too small to read.
    EXPECT_THROW(method->Embed(ViewOf(colour), MethodPayload{Bitmap(), std::vector<std::uint8_t>(32, 0)}, 3), ArgumentError);
    const Bitmap small(255, 300);
    EXPECT_THROW(method->Embed(ViewOf(small), Payload(), 3), ArgumentError);
    const Bitmap tiny(63, 200);
    EXPECT_THROW(method->Detect(ViewOf(tiny), marked.Key), ArgumentError);
}

// What extract reads with the key alone: the payload and the geometry, after a crop and a
// reduction, which the other blind methods cannot read and which Extract must not refuse as
// smaller than the marked picture.
TEST(SyncMethod, ExtractReadsCropsAndReductionsAndSaysWhatItFound) {
    const auto method = MakeMethod("spread-spectrum-sync:strength=2.55");
    const GrayPlane host = Mosaic(3, 0);
    const MethodMarked marked = method->Embed(ImageView(host), Payload(), 5);
    const GrayPlane markedGray = ToPlane(BlueOf(marked.Picture));

    // 20 % of the area cut away off-centre, then JPEG 75.
    GrayPlane window(690, 620);
    for (int y = 0; y < 620; ++y)
        for (int x = 0; x < 690; ++x) window.data()[y * 690 + x] = markedGray.data()[(y + 40) * 768 + x + 70];
    const GrayPlane suspect = JpegRoundTrip(window, 75);
    const Extraction x = Extract(*method, marked.Key, ImageView(suspect));
    // Read on the suspect's own grid (a crop without rescaling): an exact identity, reported
    // without negative zeros.
    EXPECT_EQ(ExtractionJson(x).find("-0.0,"), std::string::npos);
    EXPECT_TRUE(x.Judged.Present);
    EXPECT_EQ(x.Reading.Bits, Payload().Bits);
    EXPECT_DOUBLE_EQ(*x.Reading.BitAccuracy, 1.0);
    EXPECT_GT(x.Reading.Score, x.Thresholds.At1e6);
    EXPECT_LE(x.Reading.Score, 1.0);
    EXPECT_DOUBLE_EQ(x.Thresholds.At1e6, method->Thresholds()->second);
    ASSERT_TRUE(x.Reading.Found);
    const FoundGeometry& f = *x.Reading.Found;
    EXPECT_NEAR(f.ScaleX, 1.0, 0.005);
    EXPECT_NEAR(f.ScaleY, 1.0, 0.005);
    EXPECT_NEAR(f.RotationDegrees, 0.0, 0.05);
    EXPECT_NEAR(f.Shear, 0.0, 0.005);
    EXPECT_LT(f.FalseAlarm, 1e-6);
    EXPECT_NEAR(f.Peak, 0.1003861, 1e-6);
    EXPECT_NEAR(x.Reading.Score, 0.74057189253160716, 1e-9);
    // The marked picture's pixel (70, 40) is the suspect's origin: the shift found is -(70, 40)
    // up to whole tiles of 32 sqrt(2) pixels.
    const double period = 32 * std::sqrt(2.0);
    const double ex = -70, ey = -40;
    const double rx = std::remainder(f.ShiftX - ex, period), ry = std::remainder(f.ShiftY - ey, period);
    EXPECT_NEAR(rx, 0.0, 0.6);
    EXPECT_NEAR(ry, 0.0, 0.6);

    // Every front end asks MarkedAreaOf what a suspect read as it is must hold: nothing here.
    const MarkedArea area = MarkedAreaOf(*method, marked.Key);
    EXPECT_EQ(area.Width, 0);
    EXPECT_EQ(area.Height, 0);
    EXPECT_EQ(MarkedAreaOf(*MakeMethod("qim"), marked.Key).Width, 768);

    // extract --json reports it.
    const std::string json = ExtractionJson(x);
    EXPECT_NE(json.find("\"found\": {\n    \"rotation_degrees\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"payload_read\": \"5681fb21e676dc7c\""), std::string::npos);

    // Reduced to 0.8 across and 0.75 down (scale and aspect), then JPEG 75.
    const Extraction reduced = Extract(*method, marked.Key, ImageView(JpegRoundTrip(Resample(markedGray, 614, 576), 75)));
    EXPECT_TRUE(reduced.Judged.Present);
    ASSERT_TRUE(reduced.Reading.Found);
    EXPECT_NEAR(reduced.Reading.Found->ScaleX, 0.8, 0.005);
    EXPECT_NEAR(reduced.Reading.Found->ScaleY, 0.75, 0.005);

    // Rotation by 5 degrees on a canvas that keeps the corners.
    const Extraction rotated = Extract(*method, marked.Key, ImageView(JpegRoundTrip(Rotate(markedGray, 5), 75)));
    EXPECT_TRUE(rotated.Judged.Present);
    ASSERT_TRUE(rotated.Reading.Found);
    EXPECT_NEAR(rotated.Reading.Found->RotationDegrees, 5.0, 0.05);
}

TEST(SyncMethod, PicturesWithoutTheMarkOrWithAnotherKeyAreNotDetected) {
    const auto method = MakeMethod("spread-spectrum-sync");
    const GrayPlane host = Mosaic(3, 0);
    const MethodMarked marked = method->Embed(ImageView(host), Payload(), 5);
    MethodKey otherSeed = marked.Key;
    otherSeed.Seed = 6;
    for (const GrayPlane& suspect : std::vector<GrayPlane>{host, ToPlane(BlueOf(marked.Picture))}) {
        const Extraction x = Extract(*method, otherSeed, ImageView(suspect));
        EXPECT_FALSE(x.Judged.Detected1e3);
        EXPECT_LT(x.Reading.Score, x.Thresholds.At1e3);
    }
    const Extraction unmarked = Extract(*method, marked.Key, ImageView(host));
    EXPECT_FALSE(unmarked.Judged.Detected1e3);
    // A flat picture has nothing to lock on to: no geometry, score 0, and the report says so.
    const GrayPlane flat(300, 300, std::vector<std::uint8_t>(300 * 300, 128));
    const Extraction nothing = Extract(*method, marked.Key, ImageView(flat));
    EXPECT_FALSE(nothing.Judged.Detected1e3);
    if (!nothing.Reading.Found) {
        EXPECT_EQ(nothing.Reading.Score, 0.0);
        EXPECT_NE(ExtractionJson(nothing).find("\"found\": null"), std::string::npos);
    }
}

}  // namespace
}  // namespace quillfen
