// quillfen-cli threshold ... and histogram ...: every OP on the bundled sample, the refusals,
// and degenerate pictures that must leave no output behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/io/picture_files.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

const std::string kKoreanRefusal = "입력값 페센티지에 문제가 있습니다. 다시 입력하시기 바랍니다";

bool OnlyBlackAndWhite(const Bitmap& b) {
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.blue(x, y) != 0 && b.blue(x, y) != 255) return false;
    return true;
}

// The reports on camera-256.pgm pin the methods end to end.
TEST(CliToolbox, EveryThresholdOpOnTheSample) {
    struct Case {
        std::vector<std::string> op;
        std::string report;
    };
    const std::vector<Case> cases{
        {{"mean"}, "threshold value by Mean = 129.05"},
        {{"ptile", "--percent", "50"}, "threshold value by P-tile = 152"},
        {{"two-peaks"}, "threshold value by Twopeaks = 72"},
        {{"laplacian"}, "Threshold value by Laplacian = 103"},
        {{"iterative"}, "Threshold value by Iterative Section = 102"},
        {{"gray-level"}, "Threshold value by Gray Level Histogram = 102"},
        {{"johannsen"}, "Threshold value by Entropy by Johannsen = 0"},
        {{"kapur"}, "Threshold value by Entropy by Kapur = 140"},
        {{"pun"}, "Threshold value by Entropy by Pun = 150"},
        {{"shannon"}, "Threshold value by minimizing fuzzy by shannon = 249"},
        {{"yager"}, "Threshold value by minimizing fuzzy by yager = 148"},
        {{"min-error"}, "Threshold value by minimum Error = 68"},
        {{"moving-average"}, "Threshold value by Moving Average = 50"},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        const std::string output = dir.file(c.op[0] + ".pgm");
        std::vector<std::string> args{"threshold"};
        args.push_back(c.op[0]);
        args.insert(args.end(), c.op.begin() + 1, c.op.end());
        args.push_back(test::SamplePath("camera-256.pgm"));
        args.push_back(output);
        const CliResult r = RunCli(args);
        ASSERT_EQ(r.code, 0) << c.op[0] << ": " << r.err;
        EXPECT_EQ(r.out, c.report + "\n");
        const LoadedPicture result = LoadPictureFile(output);
        EXPECT_TRUE(result.eightBit);
        EXPECT_EQ(result.bitmap.width(), 256);
        EXPECT_TRUE(OnlyBlackAndWhite(result.bitmap)) << c.op[0];
    }
}

TEST(CliToolbox, PTileRefusesPercentagesOutsideZeroToHundred) {
    test::TempDir dir;
    for (const std::string percent : {"101", "-1", "abc", "5.5"}) {
        const CliResult r = RunCli({"threshold", "ptile", "--percent", percent,
                                    test::SamplePath("camera-256.pgm"), dir.file("out.pgm")});
        EXPECT_EQ(r.code, 2) << percent;
        EXPECT_NE(r.err.find(kKoreanRefusal), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_TRUE(dir.listing().empty());
    // The dialog's default, 0: the whole image turns white.
    const CliResult r = RunCli({"threshold", "ptile", test::SamplePath("camera-256.pgm"), dir.file("w.png")});
    EXPECT_EQ(r.out, "threshold value by P-tile = 0\n");
    const Bitmap white = LoadPictureFile(dir.file("w.png")).bitmap;
    EXPECT_EQ(white, Bitmap(256, 256, 255));
}

TEST(CliToolbox, EveryHistogramOpOnTheSample) {
    QF_SKIP_WITHOUT_BMP();
    struct Case {
        std::vector<std::string> op;
        std::string out;
    };
    const std::vector<Case> cases{
        {{"equalize"}, ""},
        {{"specify"}, ""},
        {{"auto-stretch"}, "Lower Threshold is 0 and Upper Threshold is 255\n"},
        {{"ends-in"}, "Ends-In Contrast Stretch, Lower Threshold = 0 , Upper Threshold = 255\n"},
        {{"ends-in", "--low", "5", "--high", "5"},
         "Ends-In Contrast Stretch, Lower Threshold = 12 , Upper Threshold = 213\n"},
        // Each percentage is taken as its low byte (261 -> 5).
        {{"ends-in", "--low", "261", "--high", "0"},
         "Ends-In Contrast Stretch, Lower Threshold = 12 , Upper Threshold = 255\n"},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        std::vector<std::string> args{"histogram"};
        args.insert(args.end(), c.op.begin(), c.op.end());
        args.push_back(test::SamplePath("camera-512.bmp"));
        args.push_back(dir.file("out.bmp"));
        const CliResult r = RunCli(args);
        ASSERT_EQ(r.code, 0) << c.op[0] << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.op[0];
        EXPECT_EQ(LoadPictureFile(dir.file("out.bmp")).bitmap.width(), 512);
    }
}

TEST(CliToolbox, HistogramShowPrintsFiguresAndDrawsTheChart) {
    test::TempDir dir;
    // Six pixels: three of level 0, three of 10 -> mean 5.00; the chart is two full columns.
    SavePictureFile(dir.file("in.pgm"), Bitmap::fromGray(3, 2, std::vector<std::uint8_t>{0, 0, 0, 10, 10, 10}.data()));
    const CliResult r = RunCli({"histogram", "show", dir.file("in.pgm"), dir.file("chart.png")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Pixels : 6\nMean : 5.00\nLevel : 0 Count : 3\nLevel : 1 Count : 0\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Level : 10 Count : 3\n"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2 + 256);
    const Bitmap chart = LoadPictureFile(dir.file("chart.png")).bitmap;
    EXPECT_EQ(chart.width(), 256);
    EXPECT_EQ(chart.height(), 143);
    EXPECT_EQ(chart.blue(10, 0), 0);
    EXPECT_EQ(chart.blue(11, 126), 240);

    // A mean below 1 has no leading zero; without CHART nothing is written.
    SavePictureFile(dir.file("black.pgm"), Bitmap(2, 2, 0));
    const CliResult black = RunCli({"histogram", "show", dir.file("black.pgm")});
    EXPECT_EQ(black.out.rfind("Pixels : 4\nMean : .00\n", 0), 0u) << black.out;
}

TEST(CliToolbox, DegeneratePicturesFailWithExitOneAndNoOutput) {
    test::TempDir dir;
    const std::string flat = dir.file("flat.pgm");
    const std::string narrow = dir.file("narrow.pgm");
    SavePictureFile(flat, Bitmap(8, 8, 77));
    SavePictureFile(narrow, Bitmap(4, 9, 30));
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const std::vector<Case> cases{
        {{"threshold", "gray-level", flat}, "Invalid floating point operation"},
        {{"threshold", "moving-average", narrow}, "Invalid floating point operation"},
        {{"histogram", "auto-stretch", flat}, "Floating point division by zero"},
        {{"histogram", "ends-in", "--low", "50", "--high", "50", flat}, "Floating point division by zero"},
    };
    for (Case c : cases) {
        c.args.push_back(dir.file("out.png"));
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, 1) << c.args[1];
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.png"))) << c.args[1];
    }
}

TEST(CliToolbox, UsageErrors) {
    test::TempDir dir;
    const std::string sample = test::SamplePath("camera-256.pgm");
    EXPECT_EQ(RunCli({"threshold"}).code, 2);                          // no OP
    EXPECT_EQ(RunCli({"threshold", "otsu", sample, dir.file("o.pgm")}).code, 2);
    EXPECT_EQ(RunCli({"threshold", "mean", sample}).code, 2);          // no OUTPUT
    const CliResult r = RunCli({"threshold", "mean", sample, dir.file("o.tiff")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("unknown picture format"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(RunCli({"histogram", "equalize", dir.file("missing.pgm"), dir.file("o.pgm")}).code, 2);
    EXPECT_TRUE(dir.listing().empty());
    EXPECT_EQ(RunCli({"threshold", "--help"}).code, 0);
}

}  // namespace
}  // namespace quillfen
