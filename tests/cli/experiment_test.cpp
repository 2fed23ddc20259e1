#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "image/bitmap.h"
#include "io/pgm.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

const std::string kHost = test::SamplePath("camera-512.bmp");
const std::string kMark = test::SamplePath("seal-128.bmp");

TEST(Experiment, JsonReportIsCompleteAndRepeatable) {
    QF_SKIP_WITHOUT_QT_PICTURES();
    const CliResult first = RunCli({"experiment", kHost, kMark, "--seed", "4242", "--json"});
    ASSERT_EQ(first.code, 0) << first.err;
    const nlohmann::json report = nlohmann::json::parse(first.out);
    EXPECT_EQ(report["seed"], 4242);
    EXPECT_GT(report["wr_count"].get<int>(), 0);
    EXPECT_EQ(report["wr_count"], report["wa_count"]);
    EXPECT_TRUE(report["psnr"].is_number_float());
    EXPECT_TRUE(report["sum_sq"].is_number_float());
    const std::vector<std::string> order = {"none", "jpeg", "blur", "crop-zero-quarter", "crop-image-quarter",
                                            "crop-zero-half", "crop-image-half"};
    ASSERT_EQ(report["attacks"].size(), order.size());
    for (const std::string& name : order) {
        const auto& entry = report["attacks"][name];
        ASSERT_TRUE(entry["nc"].is_number_float()) << name;
        EXPECT_GE(entry["nc"].get<double>(), 0.0);
        EXPECT_LE(entry["nc"].get<double>(), 1.0);
        EXPECT_EQ(entry.contains("psnr"), name == "jpeg") << name;
    }
    EXPECT_TRUE(report["attacks"]["jpeg"]["diff"].is_number_float());

    const CliResult second = RunCli({"experiment", kHost, kMark, "--seed", "4242", "--json"});
    EXPECT_EQ(second.out, first.out);
    const CliResult other = RunCli({"experiment", kHost, kMark, "--seed", "4243", "--json"});
    EXPECT_NE(other.out, first.out);
}

TEST(Experiment, TextReportShowsTheStatusTexts) {
    QF_SKIP_WITHOUT_QT_PICTURES();
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "7", "--attack", "jpeg"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* text : {"seed = 7\n", "Wr count =", "Wa count =", "\nPSNR = ", "NC =", "Diff = "})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    EXPECT_EQ(r.out.find("blur"), std::string::npos);
}

TEST(Experiment, ClockSeedIsPrintedAndRepeatsTheRun) {
    QF_SKIP_WITHOUT_QT_PICTURES();
    const CliResult r = RunCli({"experiment", kHost, kMark, "--json", "--attack", "none"});
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    const auto seed = report["seed"].get<std::uint32_t>();
    EXPECT_LT(seed, 86400000u);
    const CliResult again = RunCli({"experiment", kHost, kMark, "--json", "--attack", "none", "--seed",
                                    std::to_string(seed)});
    EXPECT_EQ(again.out, r.out);
}

TEST(Experiment, ChosenAttacksRunOnceInTheOrderGiven) {
    QF_SKIP_WITHOUT_QT_PICTURES();
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "1", "--json", "--attack", "blur",
                                "--attack", "none,blur"});
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::ordered_json report = nlohmann::ordered_json::parse(r.out);
    std::vector<std::string> names;
    for (const auto& [name, value] : report["attacks"].items()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"blur", "none"}));
}

// A watermark without black pixels: nothing to correlate, so NC has no value.
TEST(Experiment, WhiteWatermarkGivesUndefinedNc) {
    QF_SKIP_WITHOUT_QT_PICTURES();
    test::TempDir dir;
    TRixPGM().SaveToFile(dir.file("white.pgm"), Bitmap(128, 128, 255));
    CliResult r = RunCli({"experiment", kHost, dir.file("white.pgm"), "--seed", "3", "--json", "--attack", "none"});
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    EXPECT_EQ(report["wr_count"], 0);
    EXPECT_TRUE(report["attacks"]["none"]["nc"].is_null());
    r = RunCli({"experiment", kHost, dir.file("white.pgm"), "--seed", "3", "--attack", "none"});
    EXPECT_NE(r.out.find("NC =undefined"), std::string::npos) << r.out;
}

TEST(Experiment, OutWritesEveryView) {
    QF_SKIP_WITHOUT_QT_PICTURES();
    test::TempDir dir;
    const std::string out = dir.file("views");
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "11", "--out", out + "/", "--attack", "jpeg",
                                "--attack", "crop-zero-half"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> top = {"P.pgm", "P_hat.pgm", "W.pgm", "Wa.pgm", "Wr.pgm", "X.pgm", "X_hat.pgm",
                                          "Y.pgm", "Y_hat.pgm", "Yr.pgm", "Yr_hat.pgm", "difference.pgm"};
    const std::vector<std::string> perAttack = {"P_wave.pgm", "W_wave.pgm", "Wa_wave.pgm", "Wr_wave.pgm",
                                                "X_wave.pgm", "Y_wave.pgm", "Yr_wave.pgm"};
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
        if (entry.is_regular_file()) files.push_back(std::filesystem::relative(entry.path(), out).string());
    std::vector<std::string> expected = top;
    for (const char* attack : {"jpeg", "crop-zero-half"})
        for (const std::string& name : perAttack) expected.push_back(std::string(attack) + "/" + name);
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"views"});  // no staging folder left

    Bitmap picture;
    TRixPGM().LoadFromFile(out + "/W.pgm", picture);
    EXPECT_EQ(picture.width(), 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) ASSERT_TRUE(picture.blue(x, y) == 0 || picture.blue(x, y) == 255);
    TRixPGM().LoadFromFile(out + "/crop-zero-half/X_wave.pgm", picture);
    EXPECT_EQ(picture.width(), 256);
    EXPECT_EQ(picture.blue(100, 10), 0);  // row 10 lies in the zeroed half
}

TEST(Experiment, OutAcceptsAnEmptyFolder) {
    QF_SKIP_WITHOUT_QT_PICTURES();
    test::TempDir dir;
    const std::string out = dir.file("views");
    std::filesystem::create_directory(out);
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "2", "--out", out, "--attack", "none"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/none/W_wave.pgm"));
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"views"});
}

TEST(Experiment, FailuresExitTwoAndLeaveTheFolderAlone) {
    QF_SKIP_WITHOUT_QT_PICTURES();
    test::TempDir dir;
    const std::string out = dir.file("views");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"experiment", "/nonexistent/host.pgm", kMark, "--out", out}, "Cannot open file /nonexistent/host.pgm"},
        {{"experiment", kHost, "/nonexistent/mark.bmp", "--out", out}, "mark.bmp"},
        {{"experiment", kHost, kMark, "--attack", "sharpen"}, "sharpen"},
        {{"experiment", kHost, kMark, "--seed", "4294967296"}, "--seed"},
        {{"experiment", kHost, kMark, "--seed", "12x"}, "--seed"},
        {{"experiment", kHost, kMark, "--out", dir.file("missing/views")}, "parent folder does not exist"},
        {{"experiment", kHost}, "MARK"},
    };
    for (const Case& c : cases) {
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_TRUE(dir.listing().empty()) << c.message;
    }

    // A folder that already holds something is refused and kept as it was.
    std::filesystem::create_directory(out);
    test::WriteBytes(out + "/mine.txt", std::string("keep me"));
    const CliResult r = RunCli({"experiment", kHost, kMark, "--seed", "1", "--out", out});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("not empty"), std::string::npos) << r.err;
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"views"});
    std::vector<std::string> inside;
    for (const auto& entry : std::filesystem::directory_iterator(out)) inside.push_back(entry.path().filename().string());
    EXPECT_EQ(inside, std::vector<std::string>{"mine.txt"});
}

TEST(Experiment, HelpNamesTheOptions) {
    const CliResult r = RunCli({"experiment", "--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* text : {"--seed", "--attack", "--out", "--json", "crop-image-half"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace quillfen
