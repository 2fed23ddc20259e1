// Whole pictures in the sweep: a method that marks whole pictures gets the host whole and in
// colour, measured as a viewer sees it, while the polarity method keeps its 256 x 256 gray
// region; rows say which, and rows of the schema before still read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/image_view.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

// A textured colour picture that is not square and not a multiple of 8 high, with every
// channel different (a blind method's luminance is then not any one of them).
Bitmap ColourPicture(int width = 328, int height = 270) {
    Bitmap picture(width, height);
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 27);  // 0..31
            picture.setBgr(x, y, static_cast<std::uint8_t>(40 + (x * 3 + noise) % 160),
                           static_cast<std::uint8_t>(60 + (y * 2 + x + noise) % 150),
                           static_cast<std::uint8_t>(30 + (x + y + 2 * noise) % 190));
        }
    return picture;
}

SweepPlan PhotoPlan(const Bitmap& picture, double targetPsnr) {
    SweepPlan plan;
    plan.Hosts = {{"photo.bmp", [picture] { return picture; }}};
    plan.Mark = LoadPictureFile(test::SamplePath("seal-128.pgm")).bitmap;
    plan.Seeds = {5};
    plan.Cells = ParseAttackCells("none,jpeg,gauss-noise:sigma=3");
    for (const char* name : {"polarity", "spread-spectrum", "qim"})
        plan.Methods.push_back(SweepMethodOf(MakeMethod(ParseMethodSpec(name)), "built in"));
    plan.TargetPsnr = targetPsnr;
    plan.Jobs = 2;
    return plan;
}

// The blind methods' rows are of the whole colour picture, and their embedding PSNR is the one
// embed reports for the same picture, method and seed (the target is reached on it); the
// polarity method's rows are of its region.
TEST(WholePictureSweep, BlindMethodsMarkTheWholePictureAsEmbedDoes) {
    const Bitmap picture = ColourPicture();
    const SweepPlan plan = PhotoPlan(picture, 40);
    std::vector<RobustnessRow> rows;
    SweepCallbacks callbacks;
    callbacks.Row = [&](std::uint64_t, const RobustnessRow& row) { rows.push_back(row); };
    RunSweep(plan, callbacks);
    ASSERT_EQ(rows.size(), 9u);
    for (const RobustnessRow& row : rows) {
        const bool polarity = row.Identity.Method == "polarity";
        if (polarity) {
            // Its divisor only lowers the PSNR below what its default gives (30.33 dB on this
            // busy picture): the target is out of its reach, and the row says so.
            EXPECT_EQ(row.Error, "no divisor of polarity (whole numbers 1..1000000) gives an embedding PSNR of 40 dB on "
                                 "this host within 0.1 dB (the nearest: 30.33 dB at 1000000)");
            continue;
        }
        ASSERT_FALSE(row.Failed()) << row.Error;
        EXPECT_EQ(row.Region, polarity ? "256x256" : "whole");
        EXPECT_EQ(row.Width, polarity ? 256 : 328);
        EXPECT_EQ(row.Height, polarity ? 256 : 270);
        EXPECT_EQ(row.Identity.HostDigest, polarity ? HostDigest(picture) : WholeHostDigest(picture));
        ASSERT_TRUE(row.PsnrY.has_value());
        const std::unique_ptr<WatermarkMethod> method = MakeMethod(ParseMethodSpec(row.Identity.Method));
        MethodPayload payload;
        payload.Bits = PayloadFromSeed(5, method->PayloadBits());
        const ImageView view = ViewOf(picture);
        const MethodMarked embedded = FindStrength(*method, view, payload, 5, 40)->Embed(view, payload, 5);
        EXPECT_EQ(row.PsnrEmbed, embedded.Psnr) << row.Identity.Method;
        EXPECT_EQ(row.PsnrEmbed, ViewerPsnr(embedded.Picture, picture));
        EXPECT_NEAR(row.PsnrEmbed, 40, 0.1);
        // The luminance's PSNR is another measure of the same change, close to it.
        EXPECT_NE(*row.PsnrY, row.PsnrEmbed);
        EXPECT_NEAR(*row.PsnrY, row.PsnrEmbed, 0.5);
        EXPECT_EQ(row.SsimEmbed, StructuralSimilarity(LuminanceOf(embedded.Picture), LuminanceOf(picture)));
        if (row.Attack == "none") {
            EXPECT_EQ(row.BitAccuracy, 1.0);
            EXPECT_GT(row.Score, 0.15);
        }
        // The null side is the unmarked host's, near no correlation at all.
        ASSERT_TRUE(row.ScoreNull.has_value());
        EXPECT_LT(std::abs(*row.ScoreNull), 0.1);
    }
    // A row computed on its own is the run's, with the whole pictures behind it.
    const RowPictures again = ComputeRowPictures(plan, 4);
    EXPECT_EQ(again.Row, rows[4]);
    EXPECT_EQ(again.Marked.width(), 328);
    EXPECT_EQ(again.Attacked.height(), 270);
}

// A method that synchronises puts the geometry it found in its rows, read back as written;
// the other methods' rows have none.
TEST(WholePictureSweep, RowsOfAMethodThatSynchronisesCarryTheGeometryFound) {
    SweepPlan plan;
    const Bitmap picture = ColourPicture(300, 280);
    plan.Hosts = {{"photo.bmp", [picture] { return picture; }}};
    plan.Seeds = {5};
    plan.Cells = ParseAttackCells("none,scale:f=0.5");
    for (const char* name : {"spread-spectrum-sync", "spread-spectrum"})
        plan.Methods.push_back(SweepMethodOf(MakeMethod(ParseMethodSpec(name)), "built in"));
    plan.TargetPsnr = 40;
    std::vector<RobustnessRow> rows;
    SweepCallbacks callbacks;
    callbacks.Row = [&](std::uint64_t, const RobustnessRow& row) { rows.push_back(row); };
    RunSweep(plan, callbacks);
    ASSERT_EQ(rows.size(), 4u);
    for (const RobustnessRow& row : rows) {
        ASSERT_FALSE(row.Failed()) << row.Error;
        const std::string json = RowJson(row);
        const RobustnessRow read = ParseRowJson(json, "x");
        EXPECT_EQ(RowJson(read), json);
        EXPECT_EQ(read.Found, row.Found);
        if (row.Identity.Method != "spread-spectrum-sync") {
            EXPECT_FALSE(row.Found);
            EXPECT_EQ(json.find("found"), std::string::npos);
            continue;
        }
        ASSERT_TRUE(row.Found) << row.Attack;
        EXPECT_NE(json.find(",\"found\":{\"rotation_degrees\":"), std::string::npos);
        // Unattacked, the marked picture is found where it is, as it is.
        if (row.Attack == "none") {
            EXPECT_NEAR(row.Found->ScaleX, 1, 0.01);
            EXPECT_NEAR(row.Found->ScaleY, 1, 0.01);
            EXPECT_NEAR(row.Found->RotationDegrees, 0, 0.2);
            EXPECT_LT(row.Found->FalseAlarm, 1e-6);
        }
        // The row computed on its own is the run's, found geometry included.
        EXPECT_EQ(ComputeRowPictures(plan, row.Attack == "none" ? 0 : 1).Row, row);
    }
}

// A 256 x 256 gray picture is its own region: the whole picture's digest is the region's, so
// rows of gray 256 x 256 hosts keep their identity; a colour or larger picture has its own.
TEST(WholePictureSweep, HostDigestsOfWholePictures) {
    const Bitmap gray = LoadPictureFile(test::SamplePath("hosts/coffee.pgm")).bitmap;
    EXPECT_EQ(WholeHostDigest(gray), HostDigest(gray));
    const Bitmap colour = ColourPicture();
    EXPECT_EQ(WholeHostDigest(colour), "14a1eaf7e2ad9670");
    Bitmap blueOnly = Bitmap::fromGray(328, 270, GrayOf(colour).data());
    EXPECT_NE(WholeHostDigest(blueOnly), WholeHostDigest(colour));
    // The same bytes in another shape are another picture.
    Bitmap wide = Bitmap::fromGray(512, 128, GrayOf(Bitmap::fromGray(256, 256, GrayOf(gray).data())).data());
    EXPECT_NE(WholeHostDigest(wide), HostDigest(gray));
}

TEST(ViewerMeasures, LuminanceAndPsnrOfWhatIsSeen) {
    Bitmap picture(4, 1);
    picture.setBgr(0, 0, 0, 0, 255);     // red: 76.245
    picture.setBgr(1, 0, 30, 20, 10);    // 18.15
    picture.setBgr(2, 0, 250, 0, 0);     // 114 * 250 / 1000 = 28.5, a half: to the even 28
    picture.setBgr(3, 0, 255, 255, 255);
    const GrayPlane luma = LuminanceOf(picture);
    EXPECT_EQ(std::vector<std::uint8_t>(luma.pixels()), (std::vector<std::uint8_t>{76, 18, 28, 255}));
    // A gray picture's luminance is its gray.
    const Bitmap gray = LoadPictureFile(test::SamplePath("hosts/coffee.pgm")).bitmap;
    EXPECT_EQ(LuminanceOf(gray).pixels(), GrayOf(gray).pixels());

    // PSNR over the three colours: one channel off by 10 is a third of the squared error.
    Bitmap reference(8, 8, 100);
    Bitmap redder = reference;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) redder.setBgr(x, y, 100, 100, 110);
    EXPECT_NEAR(ViewerPsnr(redder, reference), 32.9020162, 1e-6);
    Bitmap lighter(8, 8, 110);
    EXPECT_NEAR(ViewerPsnr(lighter, reference), 28.1308036, 1e-6);
    EXPECT_EQ(ViewerPsnr(lighter, reference), BytePsnr(GrayOf(lighter).pixels(), GrayOf(reference).pixels()));
    EXPECT_THROW(ViewerPsnr(Bitmap(8, 9), reference), ArgumentError);
}

// A method that marks whole pictures is calibrated on them whole: every trial is there, in an
// order that does not depend on the threads (the marked pictures are made again where they
// are read), and a host smaller than 256 x 256 is refused.
TEST(WholePictureCalibration, TrialsOfWholePicturesWhateverTheThreads) {
    const std::vector<NamedPicture> hosts = {{"a.bmp", ColourPicture(300, 264)}, {"b.bmp", ColourPicture(264, 300)},
                                             {"c.bmp", ColourPicture(256, 256)}};
    const std::vector<std::uint32_t> seeds = {1, 2};
    const std::vector<AttackCell> cells = ParseAttackCells("none,jpeg");
    const std::unique_ptr<WatermarkMethod> qim = MakeMethod(ParseMethodSpec("qim"));
    CalibrationOptions one;
    one.Jobs = 1;
    CalibrationOptions two;
    two.Jobs = 2;
    const Calibration a = Calibrate(hosts, *qim, nullptr, seeds, cells, one);
    const Calibration b = Calibrate(hosts, *qim, nullptr, seeds, cells, two);
    EXPECT_EQ(a.Trials, NullTrialCount(3, 2, 2, true));
    EXPECT_EQ(a.Trials, 6u * (2 + 2 + 2));
    EXPECT_EQ(CalibrationJson(a), CalibrationJson(b));
    const std::vector<NamedPicture> small = {{"a.bmp", ColourPicture(300, 264)}, {"s.bmp", ColourPicture(300, 200)}};
    EXPECT_THROW(Calibrate(small, *qim, nullptr, seeds, cells, one), ArgumentError);
}

// Rows of schema 3 (before rows said what was marked) read, and are written back as they were;
// a row of schema 4 carries the size and region, null only in a failed row.
TEST(WholePictureRows, SchemaThreeRowsReadAndKeepTheirFields) {
    const std::string three =
        R"({"host":"a.pgm","seed":1,"attack":"none","psnr_embed":33.5,"psnr_embed_reals":33.6,"ssim_embed":0.9,)"
        R"("psnr":null,"ssim":1,"nc":0.9,"ber":0.01,"score":0.5,"score_null":0.01,"detected_1e-3":null,)"
        R"("detected_1e-6":null,"schema":3,"method":"dct-polarity:divisor=10000","host_digest":"0123456789abcdef",)"
        R"("mark_digest":"fedcba9876543210","calibration_digest":null})";
    const RobustnessRow row = ParseRowJson(three, "x");
    EXPECT_EQ(row.Identity.Schema, 3);
    EXPECT_EQ(row.Width, 0);
    EXPECT_FALSE(row.PsnrY.has_value());
    EXPECT_EQ(RowJson(row), three);

    RobustnessRow four = row;
    four.Identity.Schema = 4;
    four.Width = 4000;
    four.Height = 3000;
    four.Region = "whole";
    four.PsnrY = 40.25;
    const std::string json = RowJson(four);
    EXPECT_NE(json.find(R"("attack":"none","width":4000,"height":3000,"region":"whole","psnr_embed")"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("ssim_embed":0.9,"psnr_y":40.25,"psnr")"), std::string::npos) << json;
    EXPECT_EQ(ParseRowJson(json, "x"), four);
    // A measured row of schema 4 without its size is not one a run wrote.
    std::string noSize = json;
    noSize.replace(noSize.find("4000"), 4, "null");
    EXPECT_THROW(ParseRowJson(noSize, "x"), FormatError);
    std::string badRegion = json;
    badRegion.replace(badRegion.find("\"whole\""), 7, "7");
    EXPECT_THROW(ParseRowJson(badRegion, "x"), FormatError);
}

}  // namespace
}  // namespace quillfen
