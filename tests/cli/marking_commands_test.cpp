#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "quillfen/io/picture_files.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

const std::string kHost = test::SamplePath("hosts/chelsea.pgm");
const std::string kMark = test::SamplePath("seal-128.pgm");

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// One error line, prefixed, holding `part`.
void ExpectOneErrorLine(const CliResult& r, const std::string& part) {
    EXPECT_EQ(r.err.rfind("quillfen-cli: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_TRUE(Has(r.err, part)) << r.err;
}

// The key survives embed -> file -> extract in every lossless format, bit for bit: the same
// seed gives the same key bytes whatever the picture's format, and each file reads back as
// the marked region itself.
TEST(EmbedExtract, EveryLosslessFormatKeepsTheMarkWhole) {
    test::TempDir dir;
    std::vector<std::uint8_t> firstKey;
    Bitmap firstPicture;
    for (const std::string extension : {"png", "pgm", "bmp"}) {
        if (extension == "bmp" && !qt_pictures::Built()) continue;  // a build without Qt refuses BMP
        const std::string out = dir.file("marked." + extension);
        const std::string key = dir.file(extension + ".key");
        const CliResult embed = RunCli({"embed", kHost, kMark, out, "--key", key, "--seed", "21"});
        ASSERT_EQ(embed.code, 0) << embed.err;
        EXPECT_TRUE(Has(embed.out, "seed = 21\n")) << embed.out;
        EXPECT_TRUE(Has(embed.out, "PSNR = ")) << embed.out;
        EXPECT_TRUE(Has(embed.out, "key: " + key)) << embed.out;
        EXPECT_EQ(embed.err, "");

        const std::vector<std::uint8_t> keyBytes = test::ReadBytes(key);
        const Bitmap picture = LoadPictureFile(out).bitmap;
        if (firstKey.empty()) {
            firstKey = keyBytes;
            firstPicture = picture;
        }
        EXPECT_EQ(keyBytes, firstKey) << extension;
        EXPECT_EQ(picture, firstPicture) << extension;

        const CliResult extract = RunCli({"extract", out, "--key", key, "--json"});
        ASSERT_EQ(extract.code, 0) << extract.err;
        const nlohmann::json report = nlohmann::json::parse(extract.out);
        EXPECT_EQ(report["present"], true) << extension;
        EXPECT_EQ(report["score"], 1.0) << extension;
        EXPECT_EQ(report["identical"], true) << extension;
        EXPECT_FALSE(report.contains("transform"));
        for (const char* field : {"nc", "ber", "threshold", "false_alarm_rate"})
            EXPECT_TRUE(report[field].is_number()) << field;
    }
}

TEST(EmbedExtract, TextReportAndTheExtractedMark) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("m.key"), "--seed", "3"}).code, 0);
    const CliResult marked = RunCli({"extract", dir.file("m.png"), "--key", dir.file("m.key"), "--mark-out",
                                     dir.file("w.pgm")});
    ASSERT_EQ(marked.code, 0) << marked.err;
    EXPECT_EQ(marked.out.rfind("mark present: score 1.000 \u2265 ", 0), 0u) << marked.out;
    EXPECT_TRUE(Has(marked.out, "\nNC = 0.")) << marked.out;
    EXPECT_TRUE(Has(marked.out, "\nBER = 0.")) << marked.out;
    const LoadedPicture w = LoadPictureFile(dir.file("w.pgm"));
    EXPECT_EQ(w.bitmap.width(), 128);
    EXPECT_EQ(w.bitmap.height(), 128);

    // The unmarked host: found nothing, and still a success.
    const CliResult unmarked = RunCli({"extract", kHost, "--key", dir.file("m.key")});
    EXPECT_EQ(unmarked.code, 0) << unmarked.err;
    EXPECT_EQ(unmarked.out.rfind("no mark found: score 0.000 < ", 0), 0u) << unmarked.out;
}

TEST(EmbedExtract, JpegOutputWarnsAndTellsWhatItCosts) {
    test::TempDir dir;
    const CliResult r = RunCli({"embed", kHost, kMark, dir.file("m.jpg"), "--key", dir.file("m.key"), "--seed", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    ExpectOneErrorLine(r, "warning: a JPEG file is itself an attack");
    EXPECT_TRUE(Has(r.out, "after JPEG saving: NC = 0.")) << r.out;
}

TEST(EmbedExtract, RefusalsLeaveNothingBehind) {
    test::TempDir dir;
    test::TempDir inputs;
    const std::string small = test::SamplePath("seal-128.pgm");
    const std::string black = inputs.file("black.pgm");
    test::WriteBytes(black, "P5\n128 128\n255\n" + std::string(128 * 128, '\0'));
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"host too small", {"embed", small, kMark, dir.file("o.png"), "--key", dir.file("o.key")}, 1,
         "the host picture is 128 x 128"},
        {"black mark", {"embed", kHost, black, dir.file("o.png"), "--key", dir.file("o.key")}, 1,
         "the mark is too dark"},
        {"unknown format", {"embed", kHost, kMark, dir.file("o.tif"), "--key", dir.file("o.key")}, 2,
         "unknown picture format"},
        {"output over the host", {"embed", kHost, kMark, kHost, "--key", dir.file("o.key")}, 2,
         "is the host picture"},
        {"key over the output", {"embed", kHost, kMark, dir.file("o.png"), "--key", dir.file("o.png")}, 2,
         "name the same file"},
        {"missing host", {"embed", dir.file("none.png"), kMark, dir.file("o.png"), "--key", dir.file("o.key")}, 2,
         "none.png"},
        {"output folder missing", {"embed", kHost, kMark, dir.file("no/o.png"), "--key", dir.file("o.key")}, 2,
         "no/o.png"},
    };
    for (const Case& c : cases) {
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, c.code) << c.name << ": " << r.err;
        ExpectOneErrorLine(r, c.message);
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(dir.listing(), std::vector<std::string>{}) << c.name;
    }
}

TEST(EmbedExtract, AFailedPictureWriteGivesTheOldKeyBack) {
    test::TempDir dir;
    test::WriteBytes(dir.file("o.key"), std::string("an older key"));
    const CliResult r = RunCli({"embed", kHost, kMark, dir.file("no/o.png"), "--key", dir.file("o.key")});
    EXPECT_EQ(r.code, 2);
    const std::vector<std::uint8_t> kept = test::ReadBytes(dir.file("o.key"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an older key");
}

TEST(EmbedExtract, ExtractRefusesBadKeysAndCalibrations) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("m.key"), "--seed", "3"}).code, 0);
    test::WriteBytes(dir.file("bad.key"), std::string("\x89QFK\r\n\x1a\n\x07\x00", 10));
    test::WriteBytes(dir.file("nc.json"), std::string(R"({"statistic": "nc", "thresholds": {"fpr_1e-3": 0.6, "fpr_1e-6": 0.7}})"));
    test::WriteBytes(dir.file("good.json"), std::string(R"({"thresholds": {"fpr_1e-3": 0.5, "fpr_1e-6": 0.99}})"));
    const std::string m = dir.file("m.png");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"extract", m, "--key", dir.file("bad.key")}, "newer Quillfen (key format 7"},
        {{"extract", m, "--key", dir.file("none.key")}, "none.key"},
        {{"extract", m, "--key", kHost}, "is not a Quillfen key file"},
        {{"extract", m, "--key", dir.file("m.key"), "--calibration", dir.file("nc.json")}, "calibrates \"nc\""},
        {{"extract", m, "--key", dir.file("m.key"), "--mark-out", dir.file("w.gif")}, "unknown picture format"},
        {{"extract", m, "--key", dir.file("m.key"), "--mark-out", m}, "is the suspect picture"},
        {{"extract", dir.file("none.png"), "--key", dir.file("m.key")}, "none.png"},
    };
    for (const auto& [args, message] : refused) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 2) << message << ": " << r.err;
        ExpectOneErrorLine(r, message);
    }
    // A stricter calibration is used as given: the written picture still scores 1.
    const CliResult strict =
        RunCli({"extract", m, "--key", dir.file("m.key"), "--calibration", dir.file("good.json"), "--json"});
    ASSERT_EQ(strict.code, 0) << strict.err;
    const nlohmann::json report = nlohmann::json::parse(strict.out);
    EXPECT_EQ(report["threshold"], 0.99);
    EXPECT_EQ(report["calibration"], dir.file("good.json"));
}

TEST(EmbedExtract, RegistrationIsReportedOnlyWhenAsked) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("m.key"), "--seed", "3"}).code, 0);
    const CliResult r = RunCli({"extract", dir.file("m.png"), "--key", dir.file("m.key"), "--host", kHost, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json report = nlohmann::json::parse(r.out);
    ASSERT_TRUE(report.contains("transform"));
    EXPECT_EQ(report["transform"]["identity"], true);
    EXPECT_EQ(report["transform"]["rotation_degrees"], 0.0);
    EXPECT_EQ(report["transform"]["scale"], 1.0);
    EXPECT_EQ(report["score"], 1.0);

    // A suspect of another size without --host: a note says what --host would do.
    const std::string other = dir.file("other.pgm");
    test::WriteBytes(other, "P5\n300 260\n255\n" + std::string(300 * 260, '\x80'));
    const CliResult small = RunCli({"extract", other, "--key", dir.file("m.key")});
    EXPECT_EQ(small.code, 0);
    ExpectOneErrorLine(small, "--host registers it first");
}

}  // namespace
}  // namespace quillfen
