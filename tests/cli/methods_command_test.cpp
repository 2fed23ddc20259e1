// Methods on the command line: a sweep that compares methods keeps the polarity method's rows,
// `attack` writes the pixels the sweep attacks, and a blind method's embed and extract.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "quillfen/benchmark/robustness.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/benchmark/sweep_inputs.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/method_command.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

const std::string kMark = test::SamplePath("seal-128.pgm");
const std::string kHost = test::SamplePath("hosts/rocket.pgm");
const std::string kAttacks = "none,real-jpeg:q=60,gauss-noise:sigma=4";

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(nlohmann::json::parse(text.substr(start, end - start)));
    return lines;
}

// Beside other methods the polarity method's rows hold today's measures, field for field; the
// rows of all the methods come per seed, method by method; a target PSNR marks each method
// with a strength within 0.1 dB of it, the polarity method with its divisor where that reaches
// the target (not on this host, whose PSNR at the polarity method's least change is 36.86 dB).
TEST(MethodsCommand, PolarityRowsAreTodaysBesideOtherMethods) {
    const CliResult plain = RunCli({"robustness", kHost, "--mark", kMark, "--seeds", "4", "--attacks", kAttacks});
    ASSERT_EQ(plain.code, 0) << plain.err;
    const CliResult alongside = RunCli({"robustness", kHost, "--mark", kMark, "--seeds", "4", "--attacks", kAttacks,
                                        "--method", "qim:bits=16", "--method", "polarity"});
    ASSERT_EQ(alongside.code, 0) << alongside.err;
    const CliResult compared = RunCli({"robustness", kHost, "--mark", kMark, "--seeds", "4", "--attacks", kAttacks,
                                       "--method", "qim:bits=16", "--method", "polarity", "--method",
                                       "spread-spectrum", "--target-psnr", "40"});
    EXPECT_EQ(compared.code, 1) << compared.err;  // the polarity method's rows failed
    const std::vector<nlohmann::json> before = JsonLines(plain.out);
    const std::vector<nlohmann::json> beside = JsonLines(alongside.out);
    const std::vector<nlohmann::json> after = JsonLines(compared.out);
    ASSERT_EQ(beside.size(), 6u);
    ASSERT_EQ(after.size(), 9u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(after[i]["method"], "qim:bits=16");
        EXPECT_EQ(after[6 + i]["method"], "spread-spectrum");
        EXPECT_EQ(after[3 + i]["error"], "no divisor of polarity (whole numbers 1..1000000) gives an embedding PSNR of "
                                         "40 dB on this host within 0.1 dB (the nearest: 36.86 dB at 1000000)");
        const nlohmann::json& polarity = beside[3 + i];
        EXPECT_EQ(polarity["method"], "polarity");
        for (const auto& [field, value] : before[i].items()) {
            if (field != "method") {
                EXPECT_EQ(polarity[field], value) << field;
            }
        }
        for (const nlohmann::json* row : {&after[i], &after[6 + i]}) {
            EXPECT_NEAR((*row)["psnr_embed"].get<double>(), 40, 0.1);
            EXPECT_TRUE((*row)["nc"].is_null());
            EXPECT_EQ((*row)["ber"].get<double>(), 1 - (*row)["bit_accuracy"].get<double>());
            EXPECT_TRUE((*row)["mark_digest"].is_null());
        }
    }
    EXPECT_EQ(after[0]["payload_bits"], 16);
    EXPECT_EQ(after[0]["bit_accuracy"], 1);
    EXPECT_EQ(after[0]["method_params"],
              "step=" + FormatMeasure(after[0]["strength"].get<double>()) + ",bits=16,alpha=0.4");
    EXPECT_TRUE(after[0]["detected_1e-6"].get<bool>());
    // Resuming the same run finds every row; another target is refused.
    test::TempDir dir;
    const std::string rows = dir.file("rows.jsonl");
    std::vector<std::string> args = {"robustness", kHost, "--mark", kMark, "--seeds", "4", "--attacks", "none",
                                     "--method", "qim", "--method", "polarity", "--jsonl", rows, "--resume"};
    ASSERT_EQ(RunCli(args).code, 0);
    const CliResult again = RunCli(args);
    EXPECT_NE(again.out.find("0 computed, 2 already in the file"), std::string::npos) << again.out;
}

// The pictures `attack` writes are the ones the sweep's rows were measured on, byte for byte.
TEST(MethodsCommand, AttackWritesThePixelsTheSweepAttacks) {
    SweepInputs inputs;
    inputs.Hosts = {kHost};
    inputs.Seeds = "9";
    inputs.Attacks = {"gauss-noise:sigma=6,jpeg,rotate:deg=2"};
    inputs.Methods = {"qim"};
    const PreparedSweep sweep = PrepareSweep(inputs);
    test::TempDir dir;
    const RowPictures first = ComputeRowPictures(sweep.Plan, 0);
    SavePictureFile(dir.file("marked.png"), first.Marked, true);
    const CliResult r = RunCli({"attack", "gauss-noise:sigma=6,jpeg,rotate:deg=2", dir.file("marked.png"), "--out",
                                dir.file("out"), "--seed", "9"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<nlohmann::json> manifest = JsonLines([&] {
        const std::vector<std::uint8_t> bytes = test::ReadBytes(dir.file("out/manifest.jsonl"));
        return std::string(bytes.begin(), bytes.end());
    }());
    ASSERT_EQ(manifest.size(), 3u);
    for (std::uint64_t row = 0; row < 3; ++row) {
        const RowPictures pictures = ComputeRowPictures(sweep.Plan, row);
        const Bitmap written = LoadPictureFile(dir.file("out/" + manifest[row]["file"].get<std::string>())).bitmap;
        EXPECT_EQ(test::Sha256Hex(written.bytes()), test::Sha256Hex(pictures.Attacked.bytes())) << row;
        EXPECT_EQ(manifest[row]["cell"], pictures.Row.Attack);
        EXPECT_EQ(manifest[row]["ssim"].get<double>(), pictures.Row.Ssim);
    }
}

// The same of a colour photograph-like picture marked whole: `attack` attacks it whole and in
// colour, as the sweep does, and measures it as the rows do.
TEST(MethodsCommand, AttackWritesTheWholeColourPicturesTheSweepAttacks) {
    Bitmap colour(300, 264);
    for (int y = 0; y < colour.height(); ++y)
        for (int x = 0; x < colour.width(); ++x)
            colour.setBgr(x, y, static_cast<std::uint8_t>((x * 7 + y) % 200 + 20), static_cast<std::uint8_t>((x + y * 5) % 180 + 30),
                          static_cast<std::uint8_t>((x * y) % 230 + 10));
    SweepInputs inputs;
    inputs.Pictures = {{"colour.bmp", colour}};
    inputs.Seeds = "4";
    inputs.Attacks = {"gauss-noise:sigma=6,jpeg,crop-zero-quarter"};
    inputs.Methods = {"spread-spectrum"};
    const PreparedSweep sweep = PrepareSweep(inputs);
    test::TempDir dir;
    const RowPictures first = ComputeRowPictures(sweep.Plan, 0);
    ASSERT_EQ(first.Marked.width(), 300);
    SavePictureFile(dir.file("marked.png"), first.Marked);
    const CliResult r = RunCli({"attack", "gauss-noise:sigma=6,jpeg,crop-zero-quarter", dir.file("marked.png"), "--out",
                                dir.file("out"), "--seed", "4"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::uint8_t> bytes = test::ReadBytes(dir.file("out/manifest.jsonl"));
    const std::vector<nlohmann::json> manifest = JsonLines(std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(manifest.size(), 3u);
    for (std::uint64_t row = 0; row < 3; ++row) {
        const RowPictures pictures = ComputeRowPictures(sweep.Plan, row);
        EXPECT_EQ(pictures.Row.Region, "whole");
        const Bitmap written = LoadPictureFile(dir.file("out/" + manifest[row]["file"].get<std::string>())).bitmap;
        EXPECT_EQ(written.width(), 300);
        EXPECT_EQ(test::Sha256Hex(written.bytes()), test::Sha256Hex(pictures.Attacked.bytes())) << row;
        EXPECT_EQ(manifest[row]["ssim"].get<double>(), pictures.Row.Ssim);
        EXPECT_EQ(manifest[row]["psnr"].get<double>(), pictures.Row.Psnr);
    }
    // The polarity method's region, on request; a host of another size than the picture is refused.
    EXPECT_EQ(RunCli({"attack", "none", dir.file("marked.png"), "--out", dir.file("region"), "--region", "256x256"}).code, 0);
    EXPECT_EQ(LoadPictureFile(dir.file("region/marked.none.png")).bitmap.width(), 256);
    const CliResult host = RunCli({"attack", "crop-image-quarter", dir.file("marked.png"), "--out", dir.file("h"), "--host", kHost});
    EXPECT_EQ(host.code, 2);
    EXPECT_NE(host.err.find("300 x 264"), std::string::npos) << host.err;
}

TEST(MethodsCommand, BlindEmbedAndExtract) {
    test::TempDir dir;
    const CliResult embed = RunCli({"embed", kHost, dir.file("m.png"), "--key", dir.file("m.key"), "--method",
                                    "spread-spectrum:bits=24", "--payload", "c0ffee", "--seed", "3"});
    ASSERT_EQ(embed.code, 0) << embed.err;
    EXPECT_NE(embed.out.find("payload = c0ffee (24 bits)"), std::string::npos) << embed.out;
    const CliResult extract = RunCli({"extract", dir.file("m.png"), "--key", dir.file("m.key"), "--json"});
    ASSERT_EQ(extract.code, 0) << extract.err;
    const nlohmann::json report = nlohmann::json::parse(extract.out);
    EXPECT_EQ(report["payload_read"], "c0ffee");
    EXPECT_EQ(report["present"], true);
    EXPECT_EQ(report["method"], "spread-spectrum");
    const CliResult unmarked = RunCli({"extract", kHost, "--key", dir.file("m.key")});
    EXPECT_EQ(unmarked.out.rfind("no carrier of the key found", 0), 0u) << unmarked.out;
    // A blind method takes no mark picture, the polarity method no payload.
    EXPECT_EQ(RunCli({"embed", kHost, kMark, dir.file("x.png"), "--key", dir.file("x.key"), "--method", "qim"}).code, 2);
    EXPECT_EQ(RunCli({"embed", kHost, kMark, dir.file("x.png"), "--key", dir.file("x.key"), "--payload", "ab"}).code, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.png")));
}

// What a blind verdict attests. A mark turned over is present, said to be inverted, and its
// payload reads back the key's: spread spectrum's pattern subtracted twice from the marked
// picture (host - pattern), and for both methods the payload's complement under the key's seed
// (every coefficient on the other bit's lattice, every sequence negated: the same picture as an
// inverted mark, which no reading can tell apart). Another payload under the key's seed is the
// carrier present, but no match.
TEST(MethodsCommand, BlindVerdictsSayWhatTheyAttest) {
    test::TempDir dir;
    const Bitmap host = LoadPictureFile(kHost).bitmap;
    const auto embed = [&](const char* method, const char* payload, const std::string& out, const std::string& key) {
        ASSERT_EQ(RunCli({"embed", kHost, out, "--key", key, "--method", method, "--payload", payload, "--seed", "4"}).code,
                  0);
    };
    const auto json = [&](const std::string& picture) {
        return nlohmann::json::parse(RunCli({"extract", picture, "--key", dir.file("m.key"), "--json"}).out);
    };
    for (const char* method : {"spread-spectrum", "qim"}) {
        SCOPED_TRACE(method);
        embed(method, "0123456789abcdef", dir.file("m.png"), dir.file("m.key"));
        std::vector<std::string> turned = {dir.file("complement.png")};
        embed(method, "fedcba9876543210", turned[0], dir.file("c.key"));
        if (std::string(method) == "spread-spectrum") {
            const Bitmap marked = LoadPictureFile(dir.file("m.png")).bitmap;
            Bitmap inverted(host.width(), host.height());
            for (int y = 0; y < host.height(); ++y)
                for (int x = 0; x < host.width(); ++x)
                    inverted.setGray(x, y, static_cast<std::uint8_t>(std::clamp(2 * host.blue(x, y) - marked.blue(x, y), 0, 255)));
            SavePictureFile(dir.file("inverted.png"), inverted, true);
            turned.push_back(dir.file("inverted.png"));
        }
        for (const std::string& picture : turned) {
            SCOPED_TRACE(picture);
            const nlohmann::json j = json(picture);
            EXPECT_EQ(j["present"], true);
            EXPECT_EQ(j["inverted"], true);
            EXPECT_LT(j["z"].get<double>(), -j["thresholds_z"]["1e-6"].get<double>());
            EXPECT_EQ(j["payload_read"], "0123456789abcdef");
            EXPECT_EQ(j["payload_match"], true);
            const CliResult words = RunCli({"extract", picture, "--key", dir.file("m.key")});
            EXPECT_EQ(words.out.rfind("the key's carrier present, read inverted: score -", 0), 0u) << words.out;
            EXPECT_NE(words.out.find("payload match: the key's payload, bit for bit"), std::string::npos) << words.out;
        }
        // The upright mark is not inverted.
        const nlohmann::json upright = json(dir.file("m.png"));
        EXPECT_EQ(upright["present"], true);
        EXPECT_EQ(upright["inverted"], false);
        EXPECT_EQ(upright["payload_match"], true);

        // The same seed, another payload (12 bits of 64 differ): the carrier is there, the key's
        // payload is not.
        embed(method, "0123456789abc000", dir.file("o.png"), dir.file("o.key"));
        const CliResult other = RunCli({"extract", dir.file("o.png"), "--key", dir.file("m.key")});
        EXPECT_EQ(other.code, 0);
        EXPECT_EQ(other.out.rfind("the key's carrier present: score ", 0), 0u) << other.out;
        EXPECT_NE(other.out.find("payload match: no, the payload read is not the key's"), std::string::npos) << other.out;
        const nlohmann::json o = json(dir.file("o.png"));
        EXPECT_EQ(o["present"], true);
        EXPECT_EQ(o["payload_match"], false);
        EXPECT_EQ(o["payload_read"], "0123456789abc000");
    }
}

// The thresholds in score units are the suspect's own: a 512 x 512 picture's null is narrower
// than a 256 x 256 one's, and so are its thresholds; in z they are the same.
TEST(MethodsCommand, BlindThresholdsFollowThePicturesSize) {
    QF_SKIP_WITHOUT_BMP();
    test::TempDir dir;
    const std::string large = test::SamplePath("camera-512.bmp");
    const Bitmap picture = LoadPictureFile(large).bitmap;
    Bitmap corner(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) corner.setGray(x, y, picture.blue(x, y));
    SavePictureFile(dir.file("small.pgm"), corner, true);
    for (const char* method : {"spread-spectrum", "qim"}) {
        SCOPED_TRACE(method);
        std::vector<nlohmann::json> reports;
        for (const std::string& host : {dir.file("small.pgm"), large}) {
            ASSERT_EQ(RunCli({"embed", host, dir.file("m.png"), "--key", dir.file("m.key"), "--method", method}).code, 0);
            // The unmarked host read with its key: the thresholds hold for it whatever it scores.
            reports.push_back(nlohmann::json::parse(RunCli({"extract", host, "--key", dir.file("m.key"), "--json"}).out));
        }
        EXPECT_EQ(reports[0]["thresholds_z"], reports[1]["thresholds_z"]);
        const double small = reports[0]["thresholds"]["1e-6"].get<double>();
        const double big = reports[1]["thresholds"]["1e-6"].get<double>();
        EXPECT_LT(big, small);
        // Four times the coefficients: about half the spread.
        EXPECT_NEAR(big / small, 0.5, 0.1);
        EXPECT_EQ(reports[0]["present"], false);
        EXPECT_EQ(reports[1]["present"], false);
    }
}

// The Python example of examples/methods/ in a sweep beside the polarity method: its rows
// carry its score, its payload's accuracy and its own verdicts.
TEST(MethodsCommand, ExternalMethodInASweepBesidePolarity) {
    if (std::system("/usr/bin/python3 -c 'import numpy' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Debian's python3-numpy is not installed";
    const std::string described = std::string(QUILLFEN_SOURCE_DIR) + "/examples/methods/chip-spread.json";
    const CliResult r = RunCli({"robustness", kHost, "--mark", kMark, "--seeds", "2", "--attacks", "none,real-jpeg:q=75",
                                "--method-cmd", described});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<nlohmann::json> rows = JsonLines(r.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["method"], "polarity");
    for (const nlohmann::json& row : {rows[2], rows[3]}) {
        EXPECT_EQ(row["method"], "chip-spread");
        EXPECT_EQ(row["method_params"], "strength=3");
        EXPECT_EQ(row["payload_bits"], 32);
        EXPECT_EQ(row["bit_accuracy"], 1);
        EXPECT_TRUE(row["detected_1e-6"].get<bool>());
        EXPECT_LT(row["score_null"].get<double>(), 0.03);
    }
}

// A method whose program fails, prints no verdict or hangs gives error rows that name it; the
// other methods' rows are made as ever and the command ends with exit code 1.
TEST(MethodsCommand, FailingExternalMethodsGiveErrorRows) {
    test::TempDir dir;
    const std::string copy = R"(["/bin/cp", "{host}", "{out}"])";
    test::WriteBytes(dir.file("mute.json"),
                     R"({"name": "mute", "embed": )" + copy + R"(, "detect": ["/bin/echo", "nothing to say"]})");
    test::WriteBytes(dir.file("slow.json"), R"({"name": "slow", "embed": ["/bin/sleep", "30"], "detect": ["/bin/true"],
                                              "time_limit_seconds": 1})");
    const CliResult r = RunCli({"robustness", kHost, "--mark", kMark, "--seeds", "2", "--attacks", "none", "--method-cmd",
                                dir.file("mute.json"), "--method-cmd", dir.file("slow.json")});
    EXPECT_EQ(r.code, 1) << r.err;
    const std::vector<nlohmann::json> rows = JsonLines(r.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(rows[0].contains("error"));
    EXPECT_EQ(rows[1]["error"], "method mute: detect printed no JSON object with a \"score\" in -1..1 (its last line: "
                                "nothing to say)");
    EXPECT_EQ(rows[2]["error"], "method slow: embed ran past its time limit of 1 s and was stopped");
    // A description that is not one is refused before any row.
    test::WriteBytes(dir.file("bad.json"), R"({"name": "bad", "embed": ["x", "{hots}"], "detect": ["y"]})");
    const CliResult bad = RunCli({"robustness", kHost, "--method-cmd", dir.file("bad.json")});
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("unknown placeholder {hots}"), std::string::npos) << bad.err;
}

// Two descriptions of one name, the second with another default strength, and a program
// changed between two runs: a resumed run refuses the rows of another version of the method,
// as it refuses those of a built-in method with other parameters; the file stays as it was.
TEST(MethodsCommand, AResumeWithAnotherVersionOfTheMethodIsRefused) {
    test::TempDir dir;
    for (const char* folder : {"a", "b"}) {
        std::filesystem::create_directories(dir.path() / folder);
        test::WriteBytes(dir.file(std::string(folder) + "/detect.sh"), "echo '{\"score\": 0.5}'\n");
    }
    const std::string described = R"({"name": "same", "embed": ["/bin/cp", "{host}", "{out}"],
        "detect": ["/bin/sh", "{dir}/detect.sh"], "strength": {"lowest": 1, "highest": 9, "default": 3}})";
    std::string other = described;
    other.replace(other.find("\"default\": 3"), 12, "\"default\": 4");
    test::WriteBytes(dir.file("a/m.json"), described);
    test::WriteBytes(dir.file("b/m.json"), other);
    const std::string rows = dir.file("rows.jsonl");
    auto resume = [&](const std::string& method) {
        return RunCli({"robustness", kHost, "--seeds", "1", "--attacks", "none", "--method-cmd", method, "--jsonl", rows,
                       "--resume"});
    };
    ASSERT_EQ(resume(dir.file("a/m.json")).code, 0);
    const std::vector<std::uint8_t> written = test::ReadBytes(rows);
    const std::vector<nlohmann::json> lines = JsonLines(std::string(written.begin(), written.end()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FALSE(lines[0].contains("method_digest"));
    const std::string digest = lines[1]["method_digest"];
    EXPECT_EQ(digest, MethodCommandSourceOf(*MakeMethod(DefaultsOf(LoadMethodCommand(dir.file("a/m.json")))))->Digest);
    const CliResult same = resume(dir.file("a/m.json"));
    EXPECT_EQ(same.code, 0) << same.err;
    EXPECT_NE(same.out.find("0 computed, 2 already in the file"), std::string::npos) << same.out;
    const std::string refused = "quillfen-cli: --resume: the rows in '" + rows +
                                "' of same were made by another version of that method (method_digest " + digest +
                                "; its description and the files it names give ";
    const std::string again = " now): start a new file, or resume with the inputs that made them\n";
    const CliResult otherDefault = resume(dir.file("b/m.json"));
    EXPECT_EQ(otherDefault.code, 2);
    EXPECT_EQ(otherDefault.err,
              refused + MethodCommandSourceOf(*MakeMethod(DefaultsOf(LoadMethodCommand(dir.file("b/m.json")))))->Digest + again);
    test::WriteBytes(dir.file("a/detect.sh"), "echo '{\"score\": 0.25}'\n");
    const CliResult otherProgram = resume(dir.file("a/m.json"));
    EXPECT_EQ(otherProgram.code, 2);
    EXPECT_EQ(otherProgram.err,
              refused + MethodCommandSourceOf(*MakeMethod(DefaultsOf(LoadMethodCommand(dir.file("a/m.json")))))->Digest + again);
    EXPECT_EQ(test::ReadBytes(rows), written);
}

// SIGTERM or Ctrl-C during a run whose method's program runs in a process group of its own:
// the program and what it started are killed, the copies of the host in the temporary folder
// and the run's own temporary and lock files removed, and the program ends by the signal.
TEST(MethodsCommand, AStopEndsTheMethodsProgramsAndLeavesNothingBehind) {
    for (const int signal : {SIGTERM, SIGINT}) {
        test::TempDir dir;
        std::filesystem::create_directories(dir.path() / "tmp");
        test::WriteBytes(dir.file("hang.json"), R"({"name": "hang", "embed": ["/bin/sh", "-c",
            "sleep 60 & echo $! > {dir}/child; echo $$ > {dir}/pid; wait"], "detect": ["/bin/true"]})");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            std::vector<std::string> args = {QUILLFEN_CLI_PATH, "robustness", kHost, "--seeds", "1", "--attacks",
                                             "none", "--method-cmd", dir.file("hang.json"), "--jsonl",
                                             dir.file("rows.jsonl"), "--csv", dir.file("rows.csv")};
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!std::filesystem::exists(dir.file("pid")) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        for (const char* started : {"pid", "child"}) {
            std::ifstream in(dir.file(started));
            long id = 0;
            ASSERT_TRUE(in >> id) << started;
            // Killed, and reaped by whoever inherits it: gone within moments.
            bool gone = false;
            for (int i = 0; i < 250 && !gone; ++i) {
                std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
                std::string line;
                gone = !std::getline(stat, line) || line[line.rfind(')') + 2] == 'Z';
                if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            EXPECT_TRUE(gone) << started << " " << id;
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "tmp"));
        EXPECT_EQ(dir.listing(), (std::vector<std::string>{"child", "hang.json", "pid", "tmp"}));
    }
}

// Several target PSNRs: each method with a strength runs once per PSNR under its own label,
// marked at that PSNR, and the report draws detection against the embedding's PSNR and SSIM.
TEST(MethodsCommand, ATargetPsnrListRunsEachStrengthMethodAtEachPsnr) {
    test::TempDir dir;
    const CliResult r = RunCli({"robustness", kHost, "--seeds", "1", "--attacks", "none,real-jpeg:q=60", "--method", "qim",
                                "--method", "polarity", "--target-psnr", "36..44:4", "--jsonl", dir.file("r.jsonl"),
                                "--html", dir.file("r.html")});
    ASSERT_EQ(r.code, 1) << r.err;  // the polarity method's rows at 40 and 44 dB failed
    std::ifstream in(dir.file("r.jsonl"));
    std::map<std::string, double> psnr;
    std::string line;
    while (std::getline(in, line)) {
        const nlohmann::json row = nlohmann::json::parse(line);
        psnr[row["method"].get<std::string>()] =
            row["psnr_embed"].is_null() ? std::nan("") : row["psnr_embed"].get<double>();
    }
    ASSERT_EQ(psnr.size(), 6u);
    EXPECT_NEAR(psnr.at("qim@36dB"), 36, 0.1);
    EXPECT_NEAR(psnr.at("qim@40dB"), 40, 0.1);
    EXPECT_NEAR(psnr.at("qim@44dB"), 44, 0.1);
    // The polarity method too, where its divisor reaches the PSNR (at or below its own, 37.37 dB
    // on this host); the rows of the others failed.
    EXPECT_NEAR(psnr.at("polarity@36dB"), 36, 0.1);
    EXPECT_TRUE(std::isnan(psnr.at("polarity@40dB")));
    EXPECT_TRUE(std::isnan(psnr.at("polarity@44dB")));
    std::ifstream html(dir.file("r.html"));
    const std::string text((std::istreambuf_iterator<char>(html)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Quality against robustness"), std::string::npos);
    EXPECT_NE(text.find("embedding SSIM"), std::string::npos);
    for (const char* bad : {"44..36:4", "36..44", "36..44:0", "36,36", "9"}) {
        const CliResult refused = RunCli({"robustness", kHost, "--seeds", "1", "--attacks", "none", "--method", "qim",
                                          "--target-psnr", bad});
        EXPECT_EQ(refused.code, 2) << bad;
        EXPECT_NE(refused.err.find("--target-psnr"), std::string::npos) << refused.err;
    }
}

}  // namespace
}  // namespace quillfen

