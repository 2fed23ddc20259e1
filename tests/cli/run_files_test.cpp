// The files of a run, case by case, each with its exact outcome (exit code, the one line on
// stderr, and the files as they were): outputs that would replace an input or each other,
// resumed files that are not this run's rows, and calibration files that no run writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "quillfen/benchmark/robustness.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::RunCli;
using test::kFewTrials;

std::string Text(const std::string& path) {
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Every file under a folder (hidden ones too) with its bytes: what "nothing changed" compares.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && !entry.is_symlink()) files[entry.path().string()] = Text(entry.path().string());
    return files;
}

// A scratch folder with a host folder, the mark and its calibration beside it.
struct Scene {
    test::TempDir dir;
    std::string hosts = dir.file("hosts");
    std::string host = dir.file("hosts/astronaut.pgm");
    std::string mark = dir.file("seal.pgm");
    std::string calibration = dir.file("seal.calibration.json");

    Scene() {
        fs::create_directory(hosts);
        fs::copy_file(test::SamplePath("hosts/astronaut.pgm"), host);
        fs::copy_file(test::SamplePath("seal-128.pgm"), mark);
        fs::copy_file(test::SamplePath("seal-128.calibration.json"), calibration);
    }
    std::vector<std::string> Sweep(std::vector<std::string> extra, const std::string& seeds = "1",
                                   const std::string& attacks = "none") const {
        std::vector<std::string> args = {"robustness", hosts, "--mark", mark, "--seeds", seeds, "--attacks", attacks};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};

struct Case {
    std::string name;
    std::vector<std::string> args;
    int code;
    std::string line;  // the whole of stderr
};

// Runs each case and checks its exit code, its one line, that it printed nothing else and
// that no file under `watched` changed or appeared.
void RunCases(const std::vector<Case>& cases, const fs::path& watched) {
    for (const Case& c : cases) {
        const std::map<std::string, std::string> before = Snapshot(watched);
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.err;
        EXPECT_EQ(r.err, "quillfen-cli: " + c.line + "\n") << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(Snapshot(watched), before) << c.name;
    }
}

TEST(RunFiles, NoOutputReplacesAnInputOrAnotherOutput) {
    Scene s;
    const std::string d = s.dir.path().string();
    fs::create_directory_symlink(d, d + "/alias");
    fs::create_symlink(s.mark, d + "/link.csv");
    const std::string keep = " it would be overwritten (choose another name)";
    ASSERT_EQ(RunCli({"embed", s.host, s.mark, d + "/m.png", "--key", d + "/m.key", "--seed", "1",
                      "--calibration-trials", kFewTrials}).code, 0);
    // A method run as programs: its description, its program and a file of weights it names,
    // not there yet, are inputs of the run as much as the pictures.
    fs::create_directory(d + "/prog");
    test::WriteBytes(d + "/prog/ext.py", std::string("print('{\"score\": 0}')\n"));
    test::WriteBytes(d + "/prog/m.json", std::string(R"({"name": "ext", "embed": ["/bin/cp", "{host}", "{out}"],
        "detect": ["/usr/bin/python3", "{dir}/ext.py", "--weights", "{dir}/weights.bin"]})"));
    const std::string method = " is a file of the method ext ('" + d + "/prog/m.json');";
    std::vector<Case> cases = {
        {"the method's program as the report", s.Sweep({"--method-cmd", d + "/prog/m.json", "--html", d + "/prog/ext.py"}),
         2, "--html: '" + d + "/prog/ext.py'" + method + keep},
        {"a file the method names, not there yet, as the rows",
         s.Sweep({"--method-cmd", d + "/alias/prog/m.json", "--jsonl", d + "/prog/weights.bin"}), 2,
         "--jsonl: '" + d + "/prog/weights.bin' is a file of the method ext ('" + d + "/alias/prog/m.json');" + keep},
        {"the method's description as CSV", s.Sweep({"--method-cmd", d + "/prog/m.json", "--csv", d + "/alias/prog/m.json"}),
         2, "--csv: '" + d + "/alias/prog/m.json' is a method's description (--method-cmd);" + keep},
        {"the mark as CSV", s.Sweep({"--csv", s.mark}), 2,
         "--csv: '" + s.mark + "' is the mark picture (--mark);" + keep},
        {"a host as the report", s.Sweep({"--html", s.host}), 2,
         "--html: '" + s.host + "' is the host picture '" + s.host + "';" + keep},
        {"the calibration beside the mark as rows, another spelling", s.Sweep({"--jsonl", d + "/./seal.calibration.json"}),
         2, "--jsonl: '" + d + "/./seal.calibration.json' is the calibration;" + keep},
        {"a link to the mark", s.Sweep({"--csv", d + "/link.csv"}), 2,
         "--csv: '" + d + "/link.csv' is the mark picture (--mark);" + keep},
        {"one file, two spellings", s.Sweep({"--jsonl", d + "/rows.out", "--csv", d + "/hosts/../rows.out"}), 2,
         "--csv: '" + d + "/hosts/../rows.out' is also --jsonl's file"},
        {"one file through a linked folder", s.Sweep({"--jsonl", d + "/rows.out", "--html", d + "/alias/rows.out"}), 2,
         "--html: '" + d + "/alias/rows.out' is also --jsonl's file"},
        {"an empty rows file name", s.Sweep({"--jsonl", ""}), 2,
         "--jsonl: an empty file name (leave --jsonl out to have nothing written there)"},
        {"an empty CSV file name", s.Sweep({"--csv", ""}), 2,
         "--csv: an empty file name (leave --csv out to have nothing written there)"},
        {"an empty shard", s.Sweep({"--shard", ""}), 2,
         "--shard: an empty shard (expected i/n with 1 <= i <= n, as 2/3)"},
        {"too many shards", s.Sweep({"--shard", "1/1000001"}), 2,
         "--shard: '1/1000001': at most 1000000 shards (expected i/n with 1 <= i <= n, as 2/3)"},
        {"a report no file can hold, found before the work", s.Sweep({"--html", "/dev/full"}), 2,
         "--html: Cannot create file /dev/full (it is a character device, not a regular file)"},
        {"calibrate onto its mark", {"calibrate", s.hosts, "--mark", s.mark, "--seeds", "1", "--out", s.mark}, 2,
         "--out: '" + s.mark + "' is the mark picture (--mark);" + keep},
        {"calibrate onto a host", {"calibrate", s.hosts, "--mark", s.mark, "--seeds", "1", "--out", d + "/alias/hosts/astronaut.pgm"},
         2, "--out: '" + d + "/alias/hosts/astronaut.pgm' is the host picture '" + s.host + "';" + keep},
        {"embed: the key onto the picture, another spelling",
         {"embed", s.host, s.mark, d + "/same.png", "--key", d + "/./same.png"}, 2,
         "--key '" + d + "/./same.png' and OUTPUT name the same file"},
        {"embed: the key onto the mark, another spelling", {"embed", s.host, s.mark, d + "/o.png", "--key", d + "/hosts/../seal.pgm"},
         2, "--key '" + d + "/hosts/../seal.pgm' is the mark picture;" + keep},
        {"extract: the mark read onto the suspect, another spelling",
         {"extract", d + "/m.png", "--key", d + "/m.key", "--calibration", s.calibration, "--mark-out", d + "/./m.png"},
         2, "--mark-out '" + d + "/./m.png' is the suspect picture;" + keep},
    };
    RunCases(cases, s.dir.path());
}

// A link planted by another user in a shared folder (/tmp) is not followed when writing,
// as the kernel would not follow it either: the file it points to stays as it was.
TEST(RunFiles, LinksPlantedInSharedFoldersAreNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "planting a link of another user needs root";
    Scene s;
    const std::string shared = s.dir.file("shared");
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    const std::string target = s.dir.file("precious.txt");
    test::WriteBytes(target, std::string("root's file"));
    for (const char* name : {"rows.csv", "k.key"}) {
        fs::create_symlink(target, shared + "/" + name);
        ASSERT_EQ(::lchown((shared + "/" + name).c_str(), 65534, 65534), 0);
    }
    const std::string refused = " (it is a symbolic link in the shared folder " + shared +
                                " that belongs to another user; such links are not followed)";
    RunCases({{"rows", s.Sweep({"--csv", shared + "/rows.csv"}), 2,
               "--csv: Cannot create file " + shared + "/rows.csv" + refused},
              {"a key", {"embed", s.host, s.mark, s.dir.file("o.png"), "--key", shared + "/k.key",
                         "--calibration-trials", kFewTrials}, 2,
               "Cannot create file " + shared + "/k.key" + refused}},
             s.dir.path());
    // A link of the folder's owner, or of the one running, is followed as ever.
    ASSERT_EQ(::lchown((shared + "/rows.csv").c_str(), 0, 0), 0);
    const CliResult own = RunCli(s.Sweep({"--csv", shared + "/rows.csv"}));
    EXPECT_EQ(own.code, 0) << own.err;
    EXPECT_EQ(Text(target).rfind("host,seed,attack,", 0), 0u);
}

// The mark mirrored: another watermark of the same darkness.
std::string MirroredMark(const Scene& s, const std::string& name) {
    Bitmap mark = LoadPictureFile(s.mark).bitmap;
    Bitmap mirrored(mark.width(), mark.height());
    for (int y = 0; y < mark.height(); ++y)
        for (int x = 0; x < mark.width(); ++x) mirrored.setGray(x, y, mark.blue(mark.width() - 1 - x, y));
    const std::string path = s.dir.file(name);
    SavePictureFile(path, mirrored, true);
    return path;
}

// A resumed file holds rows of this run or a line this run's stop cut short; anything else is
// refused, the file left as it is.
TEST(RunFiles, ResumeTakesOnlyRowsOfThisRun) {
    Scene s;
    const std::string seeds = "1..2";
    const std::string attacks = "none,median:k=3";
    const std::string whole = s.dir.file("whole.jsonl");
    ASSERT_EQ(RunCli(s.Sweep({"--jsonl", whole}, seeds, attacks)).code, 0);
    const std::string rows = Text(whole);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = rows.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(rows.substr(start, end - start));
    ASSERT_EQ(lines.size(), 4u);
    const std::string file = s.dir.file("resumed.jsonl");
    const std::string ring = MirroredMark(s, "ring.pgm");
    const std::string others = s.dir.file("others");
    fs::create_directory(others);
    fs::copy_file(test::SamplePath("hosts/gravel.pgm"), others + "/astronaut.pgm");
    const std::string thresholds = s.dir.file("thresholds.json");
    test::WriteBytes(thresholds, std::string(R"({"thresholds": {"fpr_1e-3": 0.1, "fpr_1e-6": 0.2}})"));
    const RowIdentity made = ParseRowJson(lines[0], "x").Identity;
    nlohmann::ordered_json old = nlohmann::ordered_json::parse(lines[0]);
    for (const char* field : {"schema", "method", "host_digest", "mark_digest", "calibration_digest"}) old.erase(field);
    // A measure of the first row replaced by `value`.
    auto measure = [&](const std::string& name, const std::string& value) {
        std::string line = lines[0];
        const std::size_t at = line.find("\"" + name + "\":") + name.size() + 3;
        return line.replace(at, line.find(',', at) - at, value);
    };
    nlohmann::ordered_json two = nlohmann::ordered_json::parse(lines[0]);
    two.erase("psnr_embed_reals");
    two.erase("score_null");
    two["schema"] = 2;
    const std::string schema2 = two.dump();
    const std::string nc5 = measure("nc", "5");
    const std::string score7 = measure("score", "-7");
    std::string flipped = lines[0];
    flipped.replace(flipped.find("\"detected_1e-3\":true"), 20, "\"detected_1e-3\":false");

    const std::string again = ": start a new file, or resume with the inputs that made them";
    const std::string notOurs = "--resume: '" + file +
                                "' does not end in a row of this run (its last line is neither a row nor the "
                                "beginning of one): it is left as it is; give a rows file of this run, or a new name";
    auto resume = [&](std::vector<std::string> extra) {
        extra.insert(extra.end(), {"--resume", "--jsonl", file});
        return s.Sweep(extra, seeds, attacks);
    };
    struct ResumeCase {
        std::string name;
        std::string content;
        std::vector<std::string> args;
        std::string line;
    };
    const std::vector<ResumeCase> cases = {
        {"a note", "my notes", resume({}), notOurs},
        {"binary data", std::string("\x00\x01\xfe\xff\x7f", 5) + std::string(3000, '\x9c'), resume({}), notOurs},
        {"binary data with a line end", "\x89PNG\r\n\x1a\n" + std::string(100, 'x'), resume({}),
         "--jsonl: line 1 of '" + file + "' is not a robustness row: not a JSON object"},
        {"rows of another watermark", rows,
         {"robustness", s.hosts, "--mark", ring, "--seeds", seeds, "--attacks", attacks, "--resume", "--jsonl", file},
         "--resume: the rows in '" + file + "' were made with another watermark (mark_digest " + made.MarkDigest +
             "; 'ring.pgm' is " + WatermarkDigest(LoadPictureFile(ring).bitmap) + ")" + again},
        {"rows of other pictures of the same names", rows,
         {"robustness", others, "--mark", s.mark, "--seeds", seeds, "--attacks", attacks, "--resume", "--jsonl", file},
         "--resume: the rows in '" + file + "' of the host 'astronaut.pgm' were made from another picture of that name "
             "(host_digest " + made.HostDigest + "; the picture now is " +
             HostDigest(LoadPictureFile(others + "/astronaut.pgm").bitmap) + ")" + again},
        {"rows judged by another calibration", rows, resume({"--calibration", thresholds}),
         "--resume: the rows in '" + file + "' were judged against another calibration (calibration_digest " +
             made.CalibrationDigest + "; this run's: " + CalibrationDigest(LoadCalibration(thresholds)) + ")" + again},
        {"rows of an earlier program", old.dump() + "\n", resume({}),
         "--resume: the rows in '" + file + "' were written by an earlier quillfen-cli, whose rows do not record what "
             "made them (row schema 1; this one writes 4)" + again},
        {"rows of schema 2", schema2 + "\n", resume({}),
         "--resume: the rows in '" + file + "' were written by an earlier quillfen-cli, whose rows measure "
             "differently (row schema 2; this one writes 4)" + again},
        {"a row twice (two runs on one file)", rows + lines[0] + "\n", resume({}),
         "--jsonl: line 5 of '" + file + "' repeats the row of line 1 (astronaut.pgm, seed 1, none): two runs wrote "
             "into it at once, or files were joined twice"},
        {"an NC of 5", nc5 + "\n", resume({}),
         "--jsonl: line 1 of '" + file + "' is not a robustness row: \"nc\" is 5, outside 0..1"},
        {"a score of -7", score7 + "\n", resume({}),
         "--jsonl: line 1 of '" + file + "' is not a robustness row: \"score\" is -7, outside -1..1"},
        {"a verdict changed by hand", flipped + "\n", resume({}),
         "--resume: the verdicts of astronaut.pgm, seed 1, none in '" + file +
             "' are not those of its score under this run's calibration: the file was changed; start a new file"},
    };
    for (const ResumeCase& c : cases) {
        test::WriteBytes(file, c.content);
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, 2) << c.name << "\n" << r.err;
        EXPECT_EQ(r.err, "quillfen-cli: " + c.line + "\n") << c.name;
        EXPECT_EQ(Text(file), c.content) << c.name;
        EXPECT_EQ(s.dir.listing(), (std::vector<std::string>{"hosts", "others", "resumed.jsonl", "ring.pgm",
                                                             "seal.calibration.json", "seal.pgm", "thresholds.json",
                                                             "whole.jsonl"}))
            << c.name;
    }

    // A run on the file is refused at once while another holds it; afterwards it resumes.
    test::WriteBytes(file, lines[0] + "\n");
    {
        const OutputLock other(file, "quillfen-cli robustness (another run)");
        const CliResult r = RunCli(resume({}));
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, "quillfen-cli: --jsonl: '" + file + "' is in use by another run (process " +
                             std::to_string(::getpid()) +
                             ": quillfen-cli robustness (another run)); wait for it to end, or choose another file\n");
        EXPECT_EQ(Text(file), lines[0] + "\n");
    }
    CliResult r = RunCli(resume({}));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Text(file), rows);

    // What a stop cut short is dropped and computed again: the rows are the single run's.
    for (const std::size_t cut : {std::size_t{1}, std::size_t{60}, lines[2].size() - 1, lines[2].size()}) {
        test::WriteBytes(file, lines[0] + "\n" + lines[1] + "\n" + lines[2].substr(0, cut));
        r = RunCli(resume({}));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "quillfen-cli: note: the last line of '" + file +
                             "' was cut short by a stopped run; it is dropped and its row computed again\n");
        EXPECT_EQ(Text(file), rows) << cut;
    }
}

// A calibration file is taken only as a run writes it: values in their ranges, counts that
// agree, and thresholds that its own histogram and model give.
TEST(RunFiles, CalibrationsNoRunWritesAreRefused) {
    Scene s;
    const nlohmann::ordered_json shipped = nlohmann::ordered_json::parse(Text(s.calibration));
    const std::string file = s.dir.file("damaged.json");
    auto with = [&](const std::function<void(nlohmann::ordered_json&)>& change) {
        nlohmann::ordered_json j = shipped;
        change(j);
        return j.dump(2);
    };
    const std::uint64_t marked = shipped["trial_kinds"]["other-host-marked"].get<std::uint64_t>();
    const std::string report = s.dir.file("report.html");
    const std::string prefix = "--calibration: '" + file + "' is not a calibration file: ";
    struct CalibrationCase {
        std::string name;
        std::string content;
        std::string reason;
    };
    const std::vector<CalibrationCase> cases = {
        {"a score beyond every double's reach of the tail", with([](auto& j) { j["null"]["histogram"].back()[0] = 1.7e308; }),
         "a histogram score is 1.7e+308, outside -1..1 (a score is a difference of two shares)"},
        {"a score of 1e16", with([](auto& j) { j["null"]["histogram"].back()[0] = 1e16; }),
         "a histogram score is 1e+16, outside -1..1 (a score is a difference of two shares)"},
        {"every picture present", with([](auto& j) { j["thresholds"]["fpr_1e-3"] = -1; }),
         "its threshold at 1e-3 is -1, its trials give " + shipped["thresholds"]["fpr_1e-3"].dump()},
        {"a threshold the model does not give", with([](auto& j) { j["thresholds"]["fpr_1e-6"] = 0.5; }),
         "its threshold at 1e-6 is 0.5, its model gives " + shipped["thresholds"]["fpr_1e-6"].dump()},
        {"trial kinds that disagree", with([marked](auto& j) { j["trial_kinds"]["other-host-marked"] = marked + 1; }),
         "its \"trial_kinds\" count " + std::to_string(marked + 1) +
             " other-host-marked trials; its hosts, seeds and attacks make " + std::to_string(marked)},
        {"a fit of 1e308", with([](auto& j) { j["fit"][0]["model"] = 1e308; }),
         "its \"fit\" table is not what its histogram and model give"},
        {"a component mean of 1e300", with([](auto& j) { j["model"]["components"][0]["mean"] = 1e300; }),
         "the model component of host '" + shipped["model"]["components"][0]["host"].get<std::string>() +
             "' has a mean or standard deviation out of range (1e+300, " +
             nlohmann::json(shipped["model"]["components"][0]["sample_sd"].get<double>()).dump() + ", " +
             nlohmann::json(shipped["model"]["components"][0]["binomial_sd"].get<double>()).dump() + ")"},
        {"thresholds alone, at -1", R"({"statistic": "score", "thresholds": {"fpr_1e-3": -1, "fpr_1e-6": -1}})",
         "the threshold at 1e-3 is -1; a threshold must lie above 0, where pictures without the mark score"},
    };
    for (const CalibrationCase& c : cases) {
        test::WriteBytes(file, c.content);
        const std::map<std::string, std::string> before = Snapshot(s.dir.path());
        const CliResult r = RunCli(s.Sweep({"--calibration", file, "--html", report}));
        EXPECT_EQ(r.code, 2) << c.name << "\n" << r.err;
        EXPECT_EQ(r.err, "quillfen-cli: " + prefix + c.reason + "\n") << c.name;
        EXPECT_EQ(Snapshot(s.dir.path()), before) << c.name;
    }
    // The shipped one as it is: read, and the report written.
    const CliResult r = RunCli(s.Sweep({"--calibration", s.calibration, "--html", report}));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(report));
}

}  // namespace
}  // namespace quillfen
