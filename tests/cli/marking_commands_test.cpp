#include <gtest/gtest.h>

#include "quillfen/io/file_write.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/method_key.h"
#include "tests/cli/run_cli.h"
#include "tests/key_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;
using test::kFewTrials;

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
        const CliResult embed = RunCli({"embed", kHost, kMark, out, "--key", key, "--seed", "21",
                                        "--calibration-trials", kFewTrials});
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

// A key with its own calibration is judged by the larger of its thresholds and the global ones
// ("calibration": "key"); a key without one (written before keys carried one, or with
// --calibration-trials 0) by the global ones alone, and extract says so once.
TEST(EmbedExtract, VerdictsNameTheirThresholdsAndWhoseTheyAre) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("own.key"), "--seed", "3",
                      "--calibration-trials", kFewTrials})
                  .code,
              0);
    const CliResult bare = RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("bare.key"), "--seed",
                                   "3", "--calibration-trials", "0"});
    ASSERT_EQ(bare.code, 0) << bare.err;
    EXPECT_TRUE(Has(bare.out, "key calibration: none")) << bare.out;
    EXPECT_EQ(test::ReadBytes(dir.file("bare.key"))[test::kKeyVersionAt], 1);  // as keys were before
    const MarkKey own = LoadMarkKey(dir.file("own.key"));
    ASSERT_TRUE(own.Calibration);

    const CliResult judged = RunCli({"extract", kHost, "--key", dir.file("own.key"), "--json"});
    ASSERT_EQ(judged.code, 0) << judged.err;
    EXPECT_EQ(judged.err, "");
    const nlohmann::json j = nlohmann::json::parse(judged.out);
    EXPECT_EQ(j["calibration"], "key");
    EXPECT_EQ(j["thresholds"]["1e-3"], std::max(kDefaultThreshold1e3, own.Calibration->Threshold1e3));
    EXPECT_EQ(j["thresholds"]["1e-6"], std::max(kDefaultThreshold1e6, own.Calibration->Threshold1e6));
    EXPECT_EQ(j["threshold"], j["thresholds"]["1e-6"]);
    for (const char* field : {"detected_1e-3", "detected_1e-6", "present"}) EXPECT_EQ(j[field], false) << field;
    EXPECT_EQ(j["score"], 0.0);

    const CliResult global = RunCli({"extract", dir.file("m.png"), "--key", dir.file("bare.key"), "--json"});
    ASSERT_EQ(global.code, 0) << global.err;
    ExpectOneErrorLine(global, "note: the key '" + dir.file("bare.key") + "' has no calibration of its own");
    const nlohmann::json g = nlohmann::json::parse(global.out);
    EXPECT_EQ(g["calibration"], "global");
    EXPECT_EQ(g["thresholds"]["1e-3"], kDefaultThreshold1e3);
    EXPECT_EQ(g["thresholds"]["1e-6"], kDefaultThreshold1e6);
    EXPECT_EQ(g["detected_1e-3"], true);
    EXPECT_EQ(g["detected_1e-6"], true);
    EXPECT_EQ(g["present"], true);
}

TEST(EmbedExtract, TextReportAndTheExtractedMark) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("m.key"), "--seed", "3",
                      "--calibration-trials", kFewTrials}).code, 0);
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
    const CliResult r = RunCli({"embed", kHost, kMark, dir.file("m.jpg"), "--key", dir.file("m.key"), "--seed", "3",
                                "--calibration-trials", kFewTrials});
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
    // A colour host whose blue byte is one level everywhere: its red and green carry detail,
    // but the polarity method reads the blue byte, and the refusal names the host.
    const std::string flatBlue = inputs.file("flat-blue.png");
    {
        Bitmap picture(256, 256);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                picture.setBgr(x, y, 90, static_cast<std::uint8_t>((x * 7 + y * 3) % 256),
                               static_cast<std::uint8_t>((x * y) % 256));
        SavePictureFile(flatBlue, picture);
    }
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
        {"flat host", {"embed", flatBlue, kMark, dir.file("o.png"), "--key", dir.file("o.key")}, 1,
         "the host is flat where the polarity method marks it"},
        {"unknown format", {"embed", kHost, kMark, dir.file("o.tif"), "--key", dir.file("o.key")}, 2,
         "unknown picture format"},
        {"output over the host", {"embed", kHost, kMark, kHost, "--key", dir.file("o.key")}, 2,
         "is the host picture"},
        {"key over the output", {"embed", kHost, kMark, dir.file("o.png"), "--key", dir.file("o.png")}, 2,
         "name the same file"},
        {"missing host", {"embed", dir.file("none.png"), kMark, dir.file("o.png"), "--key", dir.file("o.key")}, 2,
         "none.png"},
        {"output folder missing", {"embed", kHost, kMark, dir.file("no/o.png"), "--key", dir.file("o.key"),
                                   "--calibration-trials", kFewTrials}, 2,
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
    const CliResult r = RunCli({"embed", kHost, kMark, dir.file("no/o.png"), "--key", dir.file("o.key"),
                                "--calibration-trials", kFewTrials});
    EXPECT_EQ(r.code, 2);
    const std::vector<std::uint8_t> kept = test::ReadBytes(dir.file("o.key"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an older key");
}

TEST(EmbedExtract, ExtractRefusesBadKeysAndCalibrations) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("m.key"), "--seed", "3",
                      "--calibration-trials", kFewTrials}).code, 0);
    test::KeyBytes newer = test::ReadBytes(dir.file("m.key"));
    newer[test::kKeyVersionAt] = 7;
    test::WriteBytes(dir.file("bad.key"), test::Resealed(newer));
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
    EXPECT_EQ(report["thresholds"]["1e-6"], 0.99);
    EXPECT_EQ(report["calibration"], "key");
    EXPECT_EQ(report["global_calibration"], dir.file("good.json"));
}

// Keys that no embedding writes, each with its exact refusal: the checksum is checked before
// any field is read, and a key resealed by another writer must still hold enough reversed and
// untouched relations for a verdict.
TEST(EmbedExtract, KeysNoEmbeddingWritesAreRefused) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("m.key"), "--seed", "3",
                      "--calibration-trials", kFewTrials}).code, 0);
    using test::KeyBytes;
    const KeyBytes key = test::ReadBytes(dir.file("m.key"));
    const MarkKey decoded = DecodeMarkKey(key, "m.key");
    constexpr std::size_t kP = test::kKeyPlanesAt;
    constexpr std::size_t kE = kP + 2 * 2048;
    constexpr std::size_t kC = kP + 3 * 2048;
    auto bit = [](const KeyBytes& b, std::size_t plane, int i) { return (b[plane + i / 8] >> (i % 8)) & 1; };
    // The embedding's relations made the host's: nothing reversed.
    KeyBytes noReversal = key;
    std::copy(key.begin() + kP, key.begin() + kP + 2048, noReversal.begin() + kE);
    int untouched = 0;
    for (int i = 0; i < 128 * 128; ++i) untouched += decoded.Carried[i] == decoded.Extraction.P[i] ? 1 : 0;
    // ... but for one relation.
    KeyBytes oneReversal = noReversal;
    int one = 0;
    while (bit(key, kC, one) == bit(key, kP, one)) ++one;
    oneReversal[kE + one / 8] = static_cast<std::uint8_t>(oneReversal[kE + one / 8] ^ (1u << (one % 8)));
    auto with = [&](const std::function<void(KeyBytes&)>& change) {
        KeyBytes bytes = key;
        change(bytes);
        return bytes;
    };
    const std::string k = dir.file("k.key");
    const std::string relations = " untouched relations; an embedding's key holds at least 1024 of each)";
    const std::vector<std::tuple<std::string, KeyBytes, std::string>> cases = {
        {"a bit of the version", with([](KeyBytes& b) { b[test::kKeyVersionAt + 1] ^= 2; }),
         "is damaged (its checksum does not match its content)"},
        {"a raised count", with([](KeyBytes& b) { b[test::kKeyBlackAt] = static_cast<std::uint8_t>(b[test::kKeyBlackAt] + 1); }),
         "is damaged (its checksum does not match its content)"},
        {"cut short", KeyBytes(key.begin(), key.end() - 100), "is truncated"},
        {"a newer version, sealed", test::Resealed(with([](KeyBytes& b) { b[test::kKeyVersionAt] = 5; })),
         "was written by a newer Quillfen (key format 5; this program reads formats 1 to 4)"},
        {"no reversed relation, sealed", test::Resealed(noReversal),
         "is damaged (it holds 0 reversed and " + std::to_string(untouched) + relations},
        {"one reversed relation, sealed", test::Resealed(oneReversal),
         "is damaged (it holds 1 reversed and " + std::to_string(untouched) + relations},
    };
    for (const auto& [name, bytes, reason] : cases) {
        test::WriteBytes(k, bytes);
        const CliResult r = RunCli({"extract", dir.file("m.png"), "--key", k, "--mark-out", dir.file("w.pgm")});
        EXPECT_EQ(r.code, 2) << name << "\n" << r.err;
        EXPECT_EQ(r.err, "quillfen-cli: '" + k + "' " + reason + "\n") << name;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_FALSE(std::filesystem::exists(dir.file("w.pgm"))) << name;
    }
}

// A blind key whose checksum is right but whose record contradicts itself is a damaged key,
// named, as one whose bytes are damaged; so is a key of a method of the catalogue whose
// parameters that method does not have.
TEST(EmbedExtract, BlindKeysThatContradictThemselvesAreDamaged) {
    test::TempDir dir;
    MethodKey record;
    record.Method = "qim";
    record.Parameters = "step=16,bits=64";
    record.Seed = 5;
    record.HostWidth = 256;
    record.HostHeight = 256;
    record.Payload = {1, 0, 1, 1, 0, 0, 1, 0};
    const std::string k = dir.file("k.key");
    WriteFileAtomically(k, EncodeMethodKey(record));
    CliResult r = RunCli({"extract", kHost, "--key", k});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "quillfen-cli: '" + k + "' is damaged (it holds 8 payload bits, and its parameters, "
                     "step=16,bits=64, say 64)\n");
    EXPECT_EQ(r.out, "");
    record.Parameters = "step=9999,bits=8";
    WriteFileAtomically(k, EncodeMethodKey(record));
    r = RunCli({"extract", kHost, "--key", k, "--json"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "quillfen-cli: '" + k + "' is damaged (its parameters are not those of qim: 'qim:step=9999,bits=8': "
                     "step=9999 is out of range (0.5..400))\n");
    // A method this program does not have is said to be that, as before.
    record.Method = "future-method";
    WriteFileAtomically(k, EncodeMethodKey(record));
    r = RunCli({"extract", kHost, "--key", k});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("quillfen-cli: '" + k + "' names a method this program cannot read (", 0), 0u) << r.err;
}

// A suspect smaller than what its key marked is refused when read as it is, naming both sizes:
// the part it lacks would be read as padding. With --host it is registered and read.
TEST(EmbedExtract, ASuspectSmallerThanWhatTheKeyMarkedIsRefused) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("m.key"), "--seed", "3",
                      "--calibration-trials", "0"}).code, 0);
    ASSERT_EQ(RunCli({"embed", kHost, dir.file("q.png"), "--key", dir.file("q.key"), "--method", "qim", "--seed", "3"}).code,
              0);
    const Bitmap host = LoadPictureFile(kHost).bitmap;
    SavePictureFile(dir.file("small.pgm"), Bitmap(10, 10, 0), true);
    Bitmap cut(host.width() - 1, host.height(), 0);
    for (int y = 0; y < cut.height(); ++y)
        for (int x = 0; x < cut.width(); ++x) cut.setGray(x, y, host.blue(x, y));
    SavePictureFile(dir.file("cut.pgm"), cut, true);
    Bitmap region(256, 256, 0);
    const Bitmap marked = LoadPictureFile(dir.file("m.png")).bitmap;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) region.setGray(x, y, marked.blue(x, y));
    SavePictureFile(dir.file("region.pgm"), region, true);
    const std::string size = std::to_string(host.width()) + " x " + std::to_string(host.height());
    const std::string read = ": too little to read as it is (a resized or cropped copy is read with --host HOST, which "
                             "registers it first)\n";
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"small.pgm", "m.key", "10 x 10, smaller than the 256 x 256 region the key '" + dir.file("m.key") + "' marked"},
        {"small.pgm", "q.key", "10 x 10, smaller than the " + size + " picture the key '" + dir.file("q.key") + "' marked"},
        {"cut.pgm", "q.key", std::to_string(cut.width()) + " x " + std::to_string(cut.height()) + ", smaller than the " +
                                 size + " picture the key '" + dir.file("q.key") + "' marked"},
    };
    for (const auto& [suspect, key, message] : cases) {
        const CliResult r = RunCli({"extract", dir.file(suspect), "--key", dir.file(key), "--json"});
        EXPECT_EQ(r.code, 2) << suspect << " " << key;
        EXPECT_EQ(r.err, "quillfen-cli: '" + dir.file(suspect) + "' is " + message + read);
        EXPECT_EQ(r.out, "");
    }
    // The polarity key's region alone is all it needs.
    const CliResult whole = RunCli({"extract", dir.file("region.pgm"), "--key", dir.file("m.key")});
    EXPECT_EQ(whole.code, 0) << whole.err;
    EXPECT_EQ(whole.out.rfind("mark present", 0), 0u) << whole.out;
}

TEST(EmbedExtract, RegistrationIsReportedOnlyWhenAsked) {
    test::TempDir dir;
    ASSERT_EQ(RunCli({"embed", kHost, kMark, dir.file("m.png"), "--key", dir.file("m.key"), "--seed", "3",
                      "--calibration-trials", kFewTrials}).code, 0);
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

// A transform that fits the marked region worse than the suspect as it is is set aside: the
// marked picture with everything outside its marked region inverted is misregistered (turned
// half round), and read as it is the mark is there.
TEST(EmbedExtract, ARegistrationThatFitsWorseThanTheSuspectAsItIsIsSetAside) {
    QF_SKIP_WITHOUT_BMP();
    test::TempDir dir;
    const std::string host = test::SamplePath("camera-512.bmp");
    ASSERT_EQ(RunCli({"embed", host, kMark, dir.file("m.pgm"), "--key", dir.file("m.key"), "--seed", "1",
                      "--calibration-trials", kFewTrials}).code, 0);
    Bitmap suspect = LoadPictureFile(dir.file("m.pgm")).bitmap;
    for (int y = 0; y < suspect.height(); ++y)
        for (int x = 0; x < suspect.width(); ++x)
            if (x >= 256 || y >= 256) suspect.setGray(x, y, static_cast<std::uint8_t>(255 - suspect.blue(x, y)));
    SavePictureFile(dir.file("s.pgm"), suspect, true);
    const CliResult r = RunCli({"extract", dir.file("s.pgm"), "--key", dir.file("m.key"), "--host", host, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    ExpectOneErrorLine(r, "the mark is read from the suspect as it is");
    const nlohmann::json report = nlohmann::json::parse(r.out);
    EXPECT_EQ(report["present"], true);
    EXPECT_EQ(report["read_as_is"], true);
    EXPECT_EQ(report["identical"], true);
}

}  // namespace
}  // namespace quillfen
