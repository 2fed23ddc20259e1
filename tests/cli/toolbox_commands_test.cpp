#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "io/picture_files.h"
#include "image/rix_ipa.h"
#include "tests/toolbox/toolbox_images.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

void SavePgm(const std::string& path, const test::Plane& plane) {
    SavePictureFile(path, Bitmap::fromGray(plane.width, plane.height, plane.pixels.data()), true);
}

std::vector<std::uint8_t> LoadGray(const std::string& path) {
    TRixIPA ipa;
    ipa.LoadFromBitmap(LoadPictureFile(path).bitmap);
    return ipa.GetImage();
}

TEST(Toolbox2Cli, EachCommandWritesTheOperationsResultAndPrintsItsReport) {
    struct Case {
        std::vector<std::string> command;
        std::function<void(TRixIPA&)> run;
        std::string report;
    };
    const std::vector<Case> cases = {
        {{"edge", "general"}, [](TRixIPA& i) { i.EdgeGeneral(3.0); }, "Edge Detection by general operator of  gradient"},
        {{"edge", "general-vertical"}, [](TRixIPA& i) { i.EdgeGeneralVertical(3.0); },
         "Edge Detection by vertical general operator of  gradient"},
        {{"edge", "general-horizontal"}, [](TRixIPA& i) { i.EdgeGeneralHorizontal(3.0); },
         "Edge Detection by horizontal general operator of  gradient"},
        {{"edge", "roberts"}, [](TRixIPA& i) { i.EdgeRoberts(1.0); }, "Edge Detection by Roberts operator of  gradient"},
        {{"edge", "prewitt"}, [](TRixIPA& i) { i.EdgePrewitt(1.0); }, "Edge Detection by Prewitt operator of  gradient"},
        {{"edge", "sobel"}, [](TRixIPA& i) { i.EdgeSobel(1.0); }, "Edge Detection by Sobel operator of  gradient"},
        {{"edge", "frei-chen"}, [](TRixIPA& i) { i.EdgeFreiChen(1.0); }, "Edge Detection by FreiChen operator of  gradient"},
        {{"edge", "laplacian1"}, [](TRixIPA& i) { i.EdgeLaplacian1(); }, "Edge Detection by Laplacian 1"},
        {{"edge", "laplacian2"}, [](TRixIPA& i) { i.EdgeLaplacian2(); }, "Edge Detection by Laplacian 2"},
        {{"edge", "laplacian3"}, [](TRixIPA& i) { i.EdgeLaplacian3(); }, "Edge Detection by Laplacian 3"},
        {{"edge", "hough"}, [](TRixIPA& i) { i.HoughTransform(360, 300, 10, 10, 200, false); },
         "Hough Transform(Edge Detection)"},
        {{"edge", "hough", "--theta", "90", "--rho", "64", "--min-length", "3", "--gradient", "5", "--votes", "20",
          "--line-based"},
         [](TRixIPA& i) { i.HoughTransform(90, 64, 3, 5, 20, true); }, "Hough Transform(Edge Detection)"},
        {{"thin"}, [](TRixIPA& i) { i.ThinZhangSuen(); }, "Thinning by Zhang & Suen algorithm"},
        {{"noise", "mean"}, [](TRixIPA& i) { i.NoiseMean(); }, "Noise Removement by Mean algorithm"},
        {{"noise", "median"}, [](TRixIPA& i) { i.NoiseMedian(); }, "Noise Removement by Meadian algorithm"},
        {{"noise", "contract"}, [](TRixIPA& i) { i.NoiseContraction(); }, "Noise Removement by Contraction algorithm"},
        {{"noise", "expand"}, [](TRixIPA& i) { i.NoiseExpansion(); }, "Noise Removement by Expansion algorithm"},
        {{"invert"}, [](TRixIPA& i) { i.Inverse(); }, "Inversed image"},
        {{"label"}, [](TRixIPA& i) { test::RecordingPrompts p; i.Labeling(p); }, "Number of Object = 3"},
    };
    test::TempDir dir;
    // Three white objects on a textured background, so that every operation has work to do.
    test::Plane picture = test::RandomPlane(40, 30, 5, {0, 10, 40, 90, 160, 250});
    picture.fillRect(3, 3, 9, 8, 255);
    picture.fillRect(20, 5, 30, 7, 255);
    picture.fillRect(5, 20, 34, 25, 255);
    const std::string input = dir.file("in.pgm");
    SavePgm(input, picture);
    for (const Case& c : cases) {
        const std::string output = dir.file("out.pgm");
        std::vector<std::string> args = c.command;
        args.push_back(input);
        args.push_back(output);
        const CliResult r = RunCli(args);
        const std::string name = c.command[0] + " " + (c.command.size() > 1 ? c.command[1] : "");
        EXPECT_EQ(r.code, 0) << name << ": " << r.err;
        EXPECT_EQ(r.out, c.report + "\n") << name;
        TRixIPA expected = picture.ipa();
        c.run(expected);
        EXPECT_EQ(LoadGray(output), expected.GetImage()) << name;
        std::filesystem::remove(output);
    }
}

TEST(Toolbox2Cli, TooManyObjectsForLabelingWritesNothing) {
    test::TempDir dir;
    SavePgm(dir.file("dots.pgm"), test::Dots(60, 60, 255));
    const CliResult r = RunCli({"label", dir.file("dots.pgm"), dir.file("out.pgm")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "quillfen-cli: Many Labels in this image\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"dots.pgm"});

    SavePgm(dir.file("254.pgm"), test::Dots(60, 60, 254));
    const CliResult ok = RunCli({"label", dir.file("254.pgm"), dir.file("out.pgm")});
    EXPECT_EQ(ok.code, 0) << ok.err;
    EXPECT_EQ(ok.out, "Number of Object = 254\n");
}

TEST(Toolbox2Cli, BadUsageExitsWithTwoAndWritesNothing) {
    test::TempDir dir;
    SavePgm(dir.file("in.pgm"), test::RandomGray(10, 10, 1));
    const std::vector<std::vector<std::string>> bad = {
        {"edge", "hough", "--theta", "1"},  {"edge", "hough", "--rho", "3601"},
        {"edge", "hough", "--votes", "-1"}, {"edge", "hough", "--min-length", "-5"},
        {"edge", "canny"},                  {"noise", "smooth"},
    };
    for (std::vector<std::string> args : bad) {
        args.push_back(dir.file("in.pgm"));
        args.push_back(dir.file("out.pgm"));
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 2) << args[0] << " " << args[1];
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(RunCli({"invert", dir.file("missing.pgm"), dir.file("out.pgm")}).code, 2);
    EXPECT_EQ(RunCli({"invert", dir.file("in.pgm"), dir.file("out.txt")}).code, 2);
    EXPECT_EQ(RunCli({"thin", dir.file("in.pgm")}).code, 2);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"in.pgm"});
}

}  // namespace
}  // namespace quillfen
