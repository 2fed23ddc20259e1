// Marked pictures through real programs: libjpeg-turbo's cjpeg/djpeg and ImageMagick's convert.
// Each test is skipped, saying which program is missing, where that program is not installed
// (scripts/install-deps.sh installs both).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "quillfen/io/picture_files.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::RunCli;
using test::kFewTrials;

const std::string kHost = test::SamplePath("hosts/astronaut.pgm");
const std::string kOther = test::SamplePath("hosts/coffee.pgm");
const std::string kMark = test::SamplePath("seal-128.pgm");

bool Installed(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_PROGRAM(program)                                                                    \
    if (!Installed(program)) GTEST_SKIP() << program " is not installed (Debian: see scripts/install-deps.sh)"

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

nlohmann::json Extract(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"extract"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("--json");
    const test::CliResult r = RunCli(all);
    EXPECT_EQ(r.code, 0) << r.err;
    return nlohmann::json::parse(r.out);
}

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunCli({"embed", kHost, kMark, marked, "--key", key, "--seed", "15",
                          "--calibration-trials", kFewTrials}).code, 0);
    }
    test::TempDir dir;
    const std::string marked = dir.file("marked.png");
    const std::string key = dir.file("marked.key");
};

TEST_F(RoundTrip, JpegQuality75ThroughLibjpegTurbo) {
    REQUIRE_PROGRAM("cjpeg");
    REQUIRE_PROGRAM("djpeg");
    // cjpeg reads no PNG: the marked PNG goes to PGM through our own (lossless) file layer.
    SavePictureFile(dir.file("marked.pgm"), LoadPictureFile(marked).bitmap, true);
    Shell("cjpeg -quality 75 -outfile '" + dir.file("q75.jpg") + "' '" + dir.file("marked.pgm") + "'");
    Shell("djpeg -pnm -outfile '" + dir.file("q75.pgm") + "' '" + dir.file("q75.jpg") + "'");
    const nlohmann::json report = Extract({dir.file("q75.pgm"), "--key", key});
    EXPECT_EQ(report["present"], true) << report.dump();
    EXPECT_EQ(report["identical"], false);
}

TEST_F(RoundTrip, RotatedAndResizedByImageMagick) {
    REQUIRE_PROGRAM("convert");
    Shell("convert '" + marked + "' -rotate 2 -resize 95% '" + dir.file("turned.png") + "'");
    // Read as it is, the smaller picture lacks part of the marked region: no verdict, no padding.
    const test::CliResult plain = RunCli({"extract", dir.file("turned.png"), "--key", key});
    EXPECT_EQ(plain.code, 2);
    EXPECT_NE(plain.err.find("smaller than the 256 x 256 region the key"), std::string::npos) << plain.err;
    const nlohmann::json registered = Extract({dir.file("turned.png"), "--key", key, "--host", kHost});
    EXPECT_EQ(registered["present"], true) << registered.dump();
    // ImageMagick turns clockwise; the transform is counted counter-clockwise.
    EXPECT_NEAR(registered["transform"]["rotation_degrees"].get<double>(), -2.0, 0.05);
    EXPECT_NEAR(registered["transform"]["scale"].get<double>(), 0.95, 0.005);
    EXPECT_GT(registered["transform"]["fit"].get<double>(), 0.95);
}

TEST_F(RoundTrip, NothingIsFoundWhereNoMarkIs) {
    // The unmarked host, with and without registration to itself.
    EXPECT_EQ(Extract({kHost, "--key", key})["present"], false);
    EXPECT_EQ(Extract({kHost, "--key", key, "--host", kHost})["present"], false);
    // The marked picture read with the key of another picture marked the same way.
    ASSERT_EQ(RunCli({"embed", kOther, kMark, dir.file("other.png"), "--key", dir.file("other.key"), "--seed", "15",
                      "--calibration-trials", kFewTrials})
                  .code, 0);
    EXPECT_EQ(Extract({marked, "--key", dir.file("other.key")})["present"], false);
    EXPECT_EQ(Extract({dir.file("other.png"), "--key", key})["present"], false);
}

}  // namespace
}  // namespace quillfen
