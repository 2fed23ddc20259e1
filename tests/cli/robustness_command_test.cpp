// `quillfen-cli robustness` and `quillfen-cli calibrate`: the rows against the experiment
// command, their identity across threads and shards, resuming, refusals before any work.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/progress_bar.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

const std::string kMark = test::SamplePath("seal-128.pgm");
const std::string kHostA = test::SamplePath("hosts/astronaut.pgm");
const std::string kHostB = test::SamplePath("hosts/gravel.pgm");
const std::string kAttacks = "none,real-jpeg:q=40,median:k=3,shift:dx=2,dy=2,scale:f=0.9+real-jpeg:q=75";

std::string ReadText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

CliResult Sweep(std::vector<std::string> extra, const std::string& seeds = "2..3", const std::string& attacks = kAttacks) {
    std::vector<std::string> args = {"robustness", kHostA, kHostB, "--mark", kMark, "--seeds", seeds, "--attacks", attacks};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args);
}

// The seven attacks of `experiment` give the same NC through `robustness`, host and seed alike;
// the rows' psnr_embed is the PSNR of the marked picture as `embed` writes it, the experiment's
// own figure (of the reals, before the rounding to bytes) psnr_embed_reals.
TEST(RobustnessCommand, SevenAttacksGiveTheExperimentsNc) {
    const std::string attacks = "none,jpeg,blur,crop-zero-quarter,crop-image-quarter,crop-zero-half,crop-image-half";
    const CliResult sweep = RunCli({"robustness", kHostB, "--mark", kMark, "--seeds", "7", "--attacks", attacks});
    ASSERT_EQ(sweep.code, 0) << sweep.err;
    const CliResult experiment = RunCli({"experiment", kHostB, kMark, "--seed", "7", "--json"});
    ASSERT_EQ(experiment.code, 0) << experiment.err;
    const nlohmann::json report = nlohmann::json::parse(experiment.out);
    test::TempDir dir;
    const CliResult embed = RunCli({"embed", kHostB, kMark, dir.file("m.png"), "--key", dir.file("k.key"), "--seed", "7",
                                    "--calibration-trials", "0"});
    ASSERT_EQ(embed.code, 0) << embed.err;
    const double written = PsnrDecibels(MarkedRegion(GrayOf(LoadPictureFile(dir.file("m.png")).bitmap)),
                                        MarkedRegion(GrayOf(LoadPictureFile(kHostB).bitmap)));
    EXPECT_LT(written, report["psnr"].get<double>());  // the rounding to bytes costs
    const std::vector<std::string> rows = Lines(sweep.out);
    ASSERT_EQ(rows.size(), 7u);
    for (const std::string& line : rows) {
        const nlohmann::json row = nlohmann::json::parse(line);
        const std::string attack = row["attack"];
        EXPECT_EQ(row["nc"].get<double>(), report["attacks"][attack]["nc"].get<double>()) << attack;
        EXPECT_EQ(row["psnr_embed_reals"].get<double>(), report["psnr"].get<double>());
        EXPECT_EQ(row["psnr_embed"].get<double>(), written);
    }
}

TEST(RobustnessCommand, RowsAreTheSameWhateverTheJobsAndShards) {
    test::TempDir dir;
    const CliResult one = Sweep({"--jobs", "1", "--jsonl", dir.file("one.jsonl"), "--csv", dir.file("one.csv")});
    ASSERT_EQ(one.code, 0) << one.err;
    const std::string rows = ReadText(dir.file("one.jsonl"));
    EXPECT_EQ(Lines(rows).size(), 20u);
    EXPECT_EQ(Lines(ReadText(dir.file("one.csv"))).size(), 21u);
    ASSERT_EQ(Sweep({"--jobs", "2", "--jsonl", dir.file("two.jsonl")}).code, 0);
    EXPECT_EQ(ReadText(dir.file("two.jsonl")), rows);
    // Without an output file the rows go to standard output, the same bytes.
    EXPECT_EQ(Sweep({"--jobs", "2"}).out, rows);
    std::string joined;
    for (const char* shard : {"1/3", "2/3", "3/3"}) {
        const std::string file = dir.file(std::string("shard-") + shard[0] + ".jsonl");
        ASSERT_EQ(Sweep({"--shard", shard, "--jsonl", file}).code, 0);
        joined += ReadText(file);
    }
    EXPECT_EQ(joined, rows);
}

TEST(RobustnessCommand, ResumeSkipsPresentRowsAndDropsATornLine) {
    test::TempDir dir;
    ASSERT_EQ(Sweep({"--jsonl", dir.file("whole.jsonl")}).code, 0);
    const std::string whole = ReadText(dir.file("whole.jsonl"));
    const std::vector<std::string> lines = Lines(whole);

    // Seven rows written, then a line cut short, as a killed run leaves the file.
    std::string partial;
    for (std::size_t i = 0; i < 7; ++i) partial += lines[i] + "\n";
    test::WriteBytes(dir.file("resumed.jsonl"), partial + lines[7].substr(0, 40));
    const CliResult resumed = Sweep({"--resume", "--jsonl", dir.file("resumed.jsonl"), "--html", dir.file("r.html")});
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("cut short"), std::string::npos) << resumed.err;
    EXPECT_NE(resumed.out.find("13 computed, 7 already in the file"), std::string::npos) << resumed.out;
    EXPECT_EQ(ReadText(dir.file("resumed.jsonl")), whole);

    // Everything present: nothing computed, the file untouched, the reports written.
    const CliResult again = Sweep({"--resume", "--jsonl", dir.file("resumed.jsonl"), "--csv", dir.file("r.csv")});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_NE(again.out.find("0 computed, 20 already"), std::string::npos) << again.out;
    EXPECT_EQ(ReadText(dir.file("resumed.jsonl")), whole);
    EXPECT_EQ(Lines(ReadText(dir.file("r.csv"))).size(), 21u);
}

// A method whose strength moves in whole steps (the polarity method's divisor) may have no step
// within 0.1 dB of the target: its rows at the nearest step are this run's own, and resume.
TEST(RobustnessCommand, ResumeKeepsRowsMarkedAtTheNearestWholeStep) {
    test::TempDir dir;
    const std::vector<std::string> run = {"--attacks", "none,median:k=3", "--method", "polarity", "--target-psnr", "30",
                                          "--jsonl", dir.file("rows.jsonl")};
    std::vector<std::string> args = {"robustness", kHostA, kHostB, "--mark", kMark, "--seeds", "2"};
    args.insert(args.end(), run.begin(), run.end());
    ASSERT_EQ(RunCli(args).code, 0);
    const std::string rows = ReadText(dir.file("rows.jsonl"));
    const nlohmann::json astronaut = nlohmann::json::parse(Lines(rows)[0]);
    EXPECT_EQ(astronaut["strength"].get<double>(), 2);
    EXPECT_NEAR(astronaut["psnr_embed"].get<double>(), 29.4252, 1e-4);  // divisors 2 and 3 bracket 30 dB
    args.push_back("--resume");
    const CliResult resumed = RunCli(args);
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_NE(resumed.out.find("0 computed, 4 already"), std::string::npos) << resumed.out;
    EXPECT_EQ(ReadText(dir.file("rows.jsonl")), rows);
}

TEST(RobustnessCommand, ResumeRefusesRowsJudgedByAnotherCalibration) {
    test::TempDir dir;
    // The rows carry the verdicts of the calibration beside the mark...
    ASSERT_EQ(Sweep({"--jsonl", dir.file("rows.jsonl")}, "2").code, 0);
    // ...which a mark without one beside it cannot give.
    const std::string bare = dir.file("mark.pgm");
    test::WriteBytes(bare, test::ReadBytes(kMark));
    const CliResult r = RunCli({"robustness", kHostA, kHostB, "--mark", bare, "--seeds", "2..3", "--attacks", kAttacks,
                                "--resume", "--jsonl", dir.file("rows.jsonl")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("another calibration"), std::string::npos) << r.err;
}

// --register adds its columns to the CSV, and a resumed run keeps to the setting of its rows.
TEST(RobustnessCommand, RegisterAddsColumnsAndResumeKeepsToIt) {
    test::TempDir dir;
    const CliResult r = Sweep({"--register", "--jsonl", dir.file("rows.jsonl"), "--csv", dir.file("rows.csv")}, "2",
                              "none,shift:dx=4");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> csv = Lines(ReadText(dir.file("rows.csv")));
    ASSERT_EQ(csv.size(), 5u);
    EXPECT_NE(csv[0].find(",score,score_null,detected_1e-3,detected_1e-6,registration_fit,"), std::string::npos) << csv[0];
    const std::vector<std::string> rows = Lines(ReadText(dir.file("rows.jsonl")));
    EXPECT_TRUE(nlohmann::json::parse(rows[0])["score_registered"].is_null());
    EXPECT_EQ(nlohmann::json::parse(rows[1])["detected_1e-6_registered"], true) << rows[1];
    const CliResult again = Sweep({"--resume", "--jsonl", dir.file("rows.jsonl")}, "2", "none,shift:dx=4");
    EXPECT_EQ(again.code, 2);
    EXPECT_NE(again.err.find("with --register"), std::string::npos) << again.err;
}

TEST(RobustnessCommand, VerdictsComeFromTheCalibrationBesideTheMark) {
    const CliResult r = Sweep({}, "2", "none,rotate:deg=45");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(nlohmann::json::parse(rows[0])["detected_1e-6"], true);
    EXPECT_EQ(nlohmann::json::parse(rows[1])["detected_1e-3"], false);

    test::TempDir dir;
    const std::string bare = dir.file("mark.pgm");
    test::WriteBytes(bare, test::ReadBytes(kMark));
    const CliResult none = RunCli({"robustness", kHostA, "--mark", bare, "--seeds", "2", "--attacks", "none"});
    ASSERT_EQ(none.code, 0) << none.err;
    EXPECT_TRUE(nlohmann::json::parse(none.out)["detected_1e-3"].is_null());
    EXPECT_NE(none.err.find("no calibration"), std::string::npos);
}

// Each refusal: exit code 2, one line naming the problem, no file written.
TEST(RobustnessCommand, RefusesBadArgumentsBeforeAnyWork) {
    test::TempDir dir;
    const std::string white = dir.file("white.pgm");
    test::WriteBytes(white, "P5\n128 128\n255\n" + std::string(128 * 128, '\xff'));
    const std::string broken = dir.file("broken.pgm");
    test::WriteBytes(broken, "P5\n256 256\n255\nshort");
    const std::string empty = dir.file("empty");
    std::filesystem::create_directory(empty);
    const std::string twin = dir.file("twin");
    std::filesystem::create_directory(twin);
    test::WriteBytes(twin + "/astronaut.pgm", test::ReadBytes(kHostA));
    const std::string otherMark = dir.file("other.calibration.json");
    {
        std::string text = ReadText(test::SamplePath("seal-128.calibration.json"));
        const std::size_t at = text.find("fnv1a64:");
        text.replace(at + 8, 4, "0000");
        test::WriteBytes(otherMark, text);
    }
    // A host embed would refuse (never padded), and two host names that are one in the rows.
    const std::string small = dir.file("small.pgm");
    test::WriteBytes(small, "P5\n255 255\n255\n" + std::string(255 * 255, '\x80'));
    for (const char* folder : {"latin-a", "latin-b"}) std::filesystem::create_directory(dir.file(folder));
    test::WriteBytes(dir.file("latin-a/caf\xE8.pgm"), test::ReadBytes(kHostA));
    test::WriteBytes(dir.file("latin-b/caf\xE9.pgm"), test::ReadBytes(kHostB));
    const std::string out = dir.file("rows.jsonl");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"robustness", kHostA, "--mark", kMark, "--attacks", "blurr"}, "unknown attack"},
        {{"robustness", kHostA, "--mark", kMark, "--attacks", "real-jpeg:q=10..90:0"}, "step"},
        {{"robustness", kHostA, "--mark", kMark, "--attacks", "real-jpeg:q=101"}, "101"},
        {{"robustness", kHostA, "--mark", kMark, "--attacks", "median:size=3"}, "size"},
        {{"robustness", kHostA, broken, "--mark", kMark}, "truncated"},
        {{"robustness", dir.file("missing.pgm"), "--mark", kMark}, "missing.pgm"},
        {{"robustness", empty, "--mark", kMark}, "holds no picture"},
        {{"robustness", kHostA, twin, "--mark", kMark}, "have the file name"},
        {{"robustness", kHostA, small, "--mark", kMark}, "is 255 x 255; a host must be at least 256 x 256"},
        {{"calibrate", kHostA, small, "--mark", kMark}, "is 255 x 255; a host must be at least 256 x 256"},
        // Both files named, their bytes shown escaped.
        {{"robustness", dir.file("latin-a"), dir.file("latin-b"), "--mark", kMark},
         "the host pictures '" + dir.file("latin-a/caf\\xE8.pgm") + "' and '" + dir.file("latin-b/caf\\xE9.pgm") +
             "' would have one name in the rows"},
        {{"robustness", kHostA, "--mark", white}, "no black pixel"},
        {{"robustness", kHostA, "--mark", kMark, "--seeds", "5..1"}, "--seeds"},
        {{"robustness", kHostA, "--mark", kMark, "--shard", "4/3"}, "--shard"},
        {{"robustness", kHostA, "--mark", kMark, "--shard", "1-3"}, "--shard"},
        {{"robustness", kHostA, "--mark", kMark, "--resume"}, "--resume needs --jsonl"},
        {{"robustness", kHostA, "--mark", kMark, "--jobs", "0"}, "--jobs"},
        {{"robustness", kHostA, "--mark", kMark, "--csv", dir.file("no/such/folder.csv")}, "does not exist"},
        {{"robustness", kHostA, "--mark", kMark, "--csv", out + ".x", "--html", out + ".x"}, "also"},
        {{"robustness", kHostA, "--mark", kMark, "--calibration", otherMark}, "another watermark"},
        {{"robustness", kHostA, "--mark", kMark, "--calibration", white}, "not a calibration file"},
        {{"calibrate", kHostA, "--mark", kMark, "--attacks", "blurr"}, "unknown attack"},
        {{"calibrate", kHostA, "--mark", kMark, "--attacks", "none,none"}, "listed twice"},
        {{"calibrate", kHostA, "--mark", white}, "no black pixel"},
    };
    for (auto [args, expected] : cases) {
        // Every robustness case would write rows there, were it not refused.
        if (args[0] == "robustness" && expected != "--resume needs --jsonl") args.insert(args.end(), {"--jsonl", out});
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 2) << expected << "\n" << r.err;
        EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << expected;
        EXPECT_FALSE(std::filesystem::exists(out)) << expected;
    }
}

// "-" and /dev/stdout print a report instead of writing it: the bytes of the file, with no file
// named "-" made, no lock, and no count of rows spoiling the report; one report at most, and
// never the rows a resumed run would have to read back.
TEST(RobustnessCommand, DashPrintsAReportInsteadOfWritingIt) {
    test::TempDir dir;
    const std::string jsonl = dir.file("rows.jsonl");
    const std::string csv = dir.file("rows.csv");
    const std::string attacks = "none,median:k=3";
    const CliResult files = Sweep({"--jsonl", jsonl, "--csv", csv}, "1", attacks);
    ASSERT_EQ(files.code, 0) << files.err;
    EXPECT_EQ(files.out.rfind("4 rows (2 hosts x 1 seeds x 2 attacks", 0), 0u) << files.out;

    const CliResult csvOut = Sweep({"--csv", "-"}, "1", attacks);
    ASSERT_EQ(csvOut.code, 0) << csvOut.err;
    EXPECT_EQ(csvOut.out, ReadText(csv));
    EXPECT_FALSE(std::filesystem::exists("-"));
    // The rows on standard output by its name, beside a CSV file.
    const std::string csv2 = dir.file("again.csv");
    const CliResult jsonlOut = Sweep({"--jsonl", "/dev/stdout", "--csv", csv2}, "1", attacks);
    ASSERT_EQ(jsonlOut.code, 0) << jsonlOut.err;
    EXPECT_EQ(jsonlOut.out, ReadText(jsonl));
    EXPECT_EQ(ReadText(csv2), ReadText(csv));
    const CliResult html = Sweep({"--html", "-", "--jsonl", dir.file("third.jsonl")}, "1", attacks);
    ASSERT_EQ(html.code, 0) << html.err;
    EXPECT_EQ(html.out.rfind("<!DOCTYPE html>\n", 0), 0u);
    EXPECT_EQ(html.out.substr(html.out.size() - 8), "</html>\n");
    // No lock file or temporary file was made where a file "-" would have been.
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::current_path()))
        EXPECT_NE(entry.path().filename().string().rfind(".-.quillfen", 0), 0u) << entry.path();

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--jsonl", "-", "--csv", "/dev/stdout"},
         "quillfen-cli: --csv /dev/stdout: --jsonl already goes to standard output; give one of them a file\n"},
        {{"--jsonl", "-", "--resume"},
         "quillfen-cli: --resume: the rows to resume cannot be read back from standard output (--jsonl -); give "
         "--jsonl FILE\n"},
    };
    for (const auto& [extra, message] : refused) {
        const CliResult r = Sweep(extra, "1", attacks);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, message);
        EXPECT_EQ(r.out, "");
    }
}

TEST(CalibrateCommand, WritesAFileThatRobustnessReads) {
    test::TempDir dir;
    const std::string file = dir.file("cal.json");
    const CliResult r = RunCli({"calibrate", kHostA, kHostB, test::SamplePath("hosts/cell.pgm"), "--mark", kMark,
                                "--seeds", "1..2", "--attacks", "none,real-jpeg:q=50", "--out", file});
    ASSERT_EQ(r.code, 0) << r.err;
    // 6 keys, each reading 4 marked and 2 unmarked other hosts and its own host after 2 attacks.
    EXPECT_NE(r.err.find("warning: 48 null trials"), std::string::npos) << r.err;
    const nlohmann::json cal = nlohmann::json::parse(ReadText(file));
    // The printout names the component that sets each threshold, as the file does.
    const nlohmann::json& sets = cal["threshold_sources"]["fpr_1e-6"];
    EXPECT_NE(r.out.find("threshold at fpr 1e-6 = "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(set by " + sets["host"].get<std::string>() + ", " + sets["kind"].get<std::string>()),
              std::string::npos)
        << r.out;
    EXPECT_EQ(cal["trials"], 48);
    EXPECT_EQ(cal["statistic"], "score");
    EXPECT_EQ(cal["program"], "quillfen-cli 0.1.0");
    EXPECT_TRUE(cal["thresholds"]["fpr_1e-3"].is_number());
    EXPECT_TRUE(cal["thresholds"]["fpr_1e-6"].is_number());
    // Without --out the same JSON goes to standard output.
    const CliResult printed = RunCli({"calibrate", kHostA, kHostB, test::SamplePath("hosts/cell.pgm"), "--mark", kMark,
                                      "--seeds", "1..2", "--attacks", "none,real-jpeg:q=50", "--jobs", "1"});
    EXPECT_EQ(printed.out, ReadText(file));
    // And with --out - (standard output by name).
    const CliResult dash = RunCli({"calibrate", kHostA, kHostB, test::SamplePath("hosts/cell.pgm"), "--mark", kMark,
                                   "--seeds", "1..2", "--attacks", "none,real-jpeg:q=50", "--out", "-"});
    EXPECT_EQ(dash.out, ReadText(file));
    EXPECT_FALSE(std::filesystem::exists("-"));
    const CliResult used = RunCli({"robustness", kHostA, "--mark", kMark, "--seeds", "1", "--attacks", "none",
                                   "--calibration", file});
    ASSERT_EQ(used.code, 0) << used.err;
    EXPECT_TRUE(nlohmann::json::parse(used.out)["detected_1e-3"].is_boolean());
}

// What a calibration needs is known before it starts: one that cannot fit in what the process
// may still take is refused at once (exit 1), with the estimate, and writes nothing.
TEST(CalibrateCommand, ARunThatCannotFitIsRefusedAtOnce) {
    test::TempDir dir;
    const std::string out = dir.file("cal.json");
    const int status = test::RunInChild([&] {
        // What this process holds now, and half a gigabyte more.
        std::ifstream statm("/proc/self/statm");
        unsigned long long pages = 0;
        statm >> pages;
        const rlim_t limit = static_cast<rlim_t>(pages * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE))) +
                             (rlim_t{512} << 20);
        const struct rlimit r{limit, limit};
        if (::setrlimit(RLIMIT_AS, &r) != 0) return 3;
        // A user-mode emulator accepts the limit without applying it and reports its own:
        // the program would then see no limit and run the whole calibration.
        struct rlimit seen{};
        if (::getrlimit(RLIMIT_AS, &seen) != 0 || seen.rlim_cur != limit) return 5;
        // 2,000 keys of about 0.6 MB each.
        const CliResult c = RunCli({"calibrate", kHostA, kHostB, "--mark", kMark, "--seeds", "1..1000", "--attacks",
                                    "none", "--out", out});
        const bool said = c.err.rfind("quillfen-cli: the calibration would need about 1.", 0) == 0 &&
                          c.err.find("(2000 keys, 2004000 null trials)") != std::string::npos &&
                          c.err.find("ulimit -v") != std::string::npos && c.err.find('\n') == c.err.size() - 1;
        return c.code == 1 && said && !std::filesystem::exists(out) ? 0 : 4;
    });
    if (status == 5) GTEST_SKIP() << "the address-space limit is not applied here (an emulator)";
    EXPECT_EQ(status, 0);
}

TEST(ProgressBar, ShowsDoneTotalRateAndTimeLeft) {
    using cli::ProgressBar;
    EXPECT_EQ(ProgressBar::Line(0, 100, 0, "rows"), "[........................] 0/100 rows");
    EXPECT_EQ(ProgressBar::Line(50, 100, 10, "rows"), "[############............] 50/100 rows  5.0 rows/s  0:10 left");
    EXPECT_EQ(ProgressBar::Line(1, 3601, 1, "keys"), "[........................] 1/3601 keys  1.0 keys/s  1:00:00 left");
    EXPECT_EQ(ProgressBar::Line(7, 7, 2, "rows"), "[########################] 7/7 rows  3.5 rows/s  0:00 left");
    // Work on pictures adds their megapixels a second.
    EXPECT_EQ(ProgressBar::Line(50, 100, 10, "rows", 123'000'000),
              "[############............] 50/100 rows  5.0 rows/s  12.3 Mpx/s  0:10 left");
    EXPECT_EQ(ProgressBar::RatesLine(3216, 21.94, "rows", 0), "3216 rows in 21.9 s: 146.6 rows/s");
    EXPECT_EQ(ProgressBar::RatesLine(12, 4, "rows", 12 * 12'000'000ull), "12 rows in 4.0 s: 3.0 rows/s, 36.0 megapixels/s");
}

}  // namespace
}  // namespace quillfen
