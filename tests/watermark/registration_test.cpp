#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/registration.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

GrayPlane Sample(const std::string& name) { return GrayOf(LoadPictureFile(test::SamplePath(name)).bitmap); }

// The top-left w x h of a plane, starting at (left, top).
GrayPlane Cut(const GrayPlane& in, int left, int top, int w, int h) {
    GrayPlane out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out.at(x, y) = in.at(left + x, top + y);
    return out;
}

TEST(RegisterAndUndo, LeavesAnUnmovedPictureUntouched) {
    const GrayPlane host = Sample("hosts/chelsea.pgm");
    const GrayPlane jpeg = JpegRoundTrip(host, 75);
    for (const GrayPlane* suspect : {&host, &jpeg}) {
        const Registration r = RegisterAndUndo(*suspect, host);
        EXPECT_TRUE(r.Identity);
        EXPECT_EQ(r.Picture, *suspect);
        EXPECT_GT(r.Fit, 0.95);
    }
}

TEST(RegisterAndUndo, ACropComesBackAsAWholePixelShift) {
    QF_SKIP_WITHOUT_BMP();
    const GrayPlane host = Sample("camera-512.bmp");
    const GrayPlane crop = Cut(host, 37, 21, 400, 380);
    const Registration r = RegisterAndUndo(crop, host);
    EXPECT_FALSE(r.Identity);
    EXPECT_EQ(r.Transform.ShiftX, -37.0);
    EXPECT_EQ(r.Transform.ShiftY, -21.0);
    ASSERT_EQ(r.Picture.width(), 512);
    for (int y = 21; y < 21 + 380; y += 7)
        for (int x = 37; x < 37 + 400; x += 5) ASSERT_EQ(r.Picture.at(x, y), host.at(x, y)) << x << "," << y;
    EXPECT_EQ(r.Picture.at(0, 0), 0);  // not covered by the crop
}

// Rotations and resizes of the kind editors make: the transform found is the one applied
// (about the centre for the rotation), and the marked region reads present again. The
// rotation loses the picture's corners to black, which pulls the estimate by about a tenth of
// a degree (a rotated copy on a larger canvas, as editors make it, comes within a hundredth).
TEST(RegisterAndUndo, UndoesRotationAndScale) {
    const MarkedHost marked = EmbedIntoHost(LoadPictureFile(test::SamplePath("hosts/coffee.pgm")).bitmap,
                                            LoadPictureFile(test::SamplePath("seal-128.pgm")).bitmap, 3);
    const GrayPlane picture = GrayOf(marked.Picture);
    struct Case {
        double degrees;
        int size;  // resized to size x size
    };
    for (const Case c : {Case{2.0, 243}, Case{-1.0, 256}, Case{0.0, 230}, Case{5.0, 280}}) {
        const GrayPlane suspect = Resample(Rotate(picture, c.degrees), c.size, c.size);
        const Registration r = RegisterAndUndo(suspect, picture);
        const double scale = c.size / 256.0;
        EXPECT_NEAR(r.Transform.RotationDegrees, c.degrees, 0.2) << c.degrees << " " << c.size;
        EXPECT_NEAR(r.Transform.Scale, scale, 0.005) << c.degrees << " " << c.size;
        EXPECT_GT(r.Fit, 0.9);
        const MarkReading reading = ReadMark(r.Picture, marked.Key);
        EXPECT_TRUE(Judge(reading.Score.Value, DefaultCalibration()).Present)
            << c.degrees << " " << c.size << ": score " << reading.Score.Value;
    }
}

TEST(RegisterAndUndo, UnrelatedPicturesFitPoorly) {
    const Registration r = RegisterAndUndo(Sample("hosts/gravel.pgm"), Sample("hosts/astronaut.pgm"));
    EXPECT_LT(r.Fit, kPoorFit);
}

TEST(RegisterAndUndo, RefusesTinyPictures) {
    EXPECT_THROW(RegisterAndUndo(GrayPlane(31, 100), GrayPlane(100, 100)), ArgumentError);
    EXPECT_THROW(RegisterAndUndo(GrayPlane(100, 100), GrayPlane(100, 20)), ArgumentError);
}

}  // namespace
}  // namespace quillfen
