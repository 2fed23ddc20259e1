#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/io/picture_files.h"
#include "quillfen/toolbox/catalogue.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"
#include "tests/toolbox/toolbox_images.h"

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

// Every catalogue operation under its command with its default arguments, against the
// operation run on the same picture here.
TEST(Toolbox2Cli, EachCommandWritesTheOperationsResultAndPrintsItsReport) {
    test::TempDir dir;
    // Three white objects on a textured background, so that every operation has work to do.
    test::Plane picture = test::RandomPlane(40, 30, 5, {0, 10, 40, 90, 160, 250});
    picture.fillRect(3, 3, 9, 8, 255);
    picture.fillRect(20, 5, 30, 7, 255);
    picture.fillRect(5, 20, 34, 25, 255);
    const std::string input = dir.file("in.pgm");
    SavePgm(input, picture);
    for (const toolbox::Operation& op : toolbox::Operations()) {
        const std::string output = dir.file("out.pgm");
        std::vector<std::string> args;
        if (op.group != nullptr) args.push_back(op.group);
        args.insert(args.end(), {op.command, input, output});
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 0) << op.command << ": " << r.err;
        TRixIPA expected = picture.ipa();
        const std::optional<Report> report = op.run(expected, toolbox::InitialValues(op));
        EXPECT_EQ(r.out, report ? report->Line() + "\n" : "") << op.command;
        EXPECT_EQ(LoadGray(output), expected.GetImage()) << op.command;
        std::filesystem::remove(output);
    }
    // The labeling's report on this picture, and options reaching the operation.
    EXPECT_EQ(RunCli({"label", input, dir.file("l.pgm")}).out, "Number of Object = 3\n");
    const CliResult hough = RunCli({"edge", "hough", "--theta", "90", "--rho", "64", "--min-length", "3", "--gradient",
                                    "5", "--votes", "20", "--line-based", input, dir.file("h.pgm")});
    EXPECT_EQ(hough.code, 0) << hough.err;
    TRixIPA expected = picture.ipa();
    expected.HoughTransform(90, 64, 3, 5, 20, true);
    EXPECT_EQ(LoadGray(dir.file("h.pgm")), expected.GetImage());
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
