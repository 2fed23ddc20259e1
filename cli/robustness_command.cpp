// quillfen-cli robustness HOSTS... --mark MARK [--seeds LIST] [--attacks LIST]... [--jobs N]
// [--jsonl FILE] [--csv FILE] [--html FILE] [--shard i/n] [--resume] [--calibration FILE]:
// the robustness sweep (quillfen/benchmark/robustness.h) from the shell, with its rows as JSON Lines
// and CSV and its HTML report.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/progress_bar.h"
#include "cli/sweep_inputs.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/registration.h"

namespace quillfen::cli {

namespace {

namespace fs = std::filesystem;

struct Options {
    std::vector<std::string> hosts;
    std::string mark;
    std::string seeds = "1..20";
    std::vector<std::string> attacks;
    std::string jobs;
    std::string jsonl;
    std::string csv;
    std::string html;
    std::string shard;
    bool resume = false;
    bool registering = false;
    std::string calibration;
};

Shard ParseShard(const std::string& text) {
    const std::string expected = " (expected i/n with 1 <= i <= n, as 2/3)";
    const std::size_t slash = text.find('/');
    auto number = [&](std::string_view word) {
        std::uint64_t value = 0;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || word.find_first_not_of("0123456789") != std::string_view::npos || ec != std::errc() ||
            end != word.data() + word.size() || value > 1000000)
            throw CommandFailure{kExitUsage, "--shard: '" + text + "' is not a shard" + expected};
        return value;
    };
    if (slash == std::string::npos) throw CommandFailure{kExitUsage, "--shard: '" + text + "' is not a shard" + expected};
    const Shard shard{number(std::string_view(text).substr(0, slash)), number(std::string_view(text).substr(slash + 1))};
    if (shard.Index == 0 || shard.Index > shard.Count)
        throw CommandFailure{kExitUsage, "--shard: '" + text + "' does not exist" + expected};
    return shard;
}

std::vector<AttackCell> CellsOrFail(const std::vector<std::string>& attacks) {
    if (attacks.empty()) return DefaultAttackGrid();
    std::string list;
    for (const std::string& a : attacks) list += (list.empty() ? "" : ",") + a;
    try {
        return ParseAttackCells(list);
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, std::string("--attacks: ") + e.what()};
    }
}

// The calibration named, or the one beside the mark ("seal-128.calibration.json" for
// "seal-128.pgm") when there is one.
std::optional<Calibration> CalibrationOrFail(const std::string& given, const std::string& markPath) {
    std::string path = given;
    if (path.empty()) {
        const fs::path mark(markPath);
        const fs::path beside = mark.parent_path() / (mark.stem().string() + ".calibration.json");
        std::error_code ec;
        if (!fs::is_regular_file(beside, ec)) {
            PrintErrorLine("note: no calibration given and none beside the mark ('" + beside.string() +
                           "'): the detected_* fields stay empty");
            return std::nullopt;
        }
        path = beside.string();
    }
    try {
        return LoadCalibration(path);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, std::string("--calibration: ") + e.what()};
    }
}

std::string RowKey(const std::string& host, std::uint32_t seed, const std::string& attack) {
    return host + '\n' + std::to_string(seed) + '\n' + attack;
}

// The JSON Lines file of a resumed run, open for appending one whole line per write.
class AppendedRows {
public:
    AppendedRows(const std::string& path, std::uint64_t keep, bool torn) : path_(path) {
        fd_ = FileDescriptor(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
        if (fd_.get() < 0) Fail();
        // A line cut short by a killed run is no row: it goes, and its row is computed again.
        if (torn && ::ftruncate(fd_.get(), static_cast<off_t>(keep)) != 0) Fail();
    }

    void Append(const std::string& line) {
        const std::string text = line + "\n";
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = ::write(fd_.get(), text.data() + written, text.size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) Fail();
            written += static_cast<std::size_t>(n);
        }
    }

    void Close() {
        if (::fsync(fd_.get()) != 0 && errno != EINVAL) Fail();
        if (::close(fd_.release()) != 0) Fail();
    }

private:
    [[noreturn]] void Fail() {
        throw CommandFailure{kExitUsage, "--jsonl: cannot write '" + path_ + "' (" + std::strerror(errno) + ")"};
    }
    std::string path_;
    FileDescriptor fd_;
};

void WriteTextFile(const std::string& option, const std::string& path, const std::string& text) {
    try {
        WriteFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, option + ": " + e.what()};
    }
}

void Run(const Options& o, int jobs) {
    // Everything that can be refused is refused here, before any row is computed.
    const std::vector<std::uint32_t> seeds = SeedsOrFail("--seeds", o.seeds);
    const std::vector<AttackCell> cells = CellsOrFail(o.attacks);
    const Shard shard = o.shard.empty() ? Shard{} : ParseShard(o.shard);
    if (o.resume && o.jsonl.empty()) throw CommandFailure{kExitUsage, "--resume needs --jsonl FILE (the rows to resume)"};
    {
        std::map<std::string, std::string> outputs;
        for (const auto& [option, path] : {std::pair{"--jsonl", o.jsonl}, {"--csv", o.csv}, {"--html", o.html}}) {
            if (path.empty()) continue;
            if (!o.resume || std::string(option) != "--jsonl") CheckOutputFile(option, path);
            std::error_code ec;
            const std::string same = fs::weakly_canonical(path, ec).string();
            if (auto [it, fresh] = outputs.emplace(ec ? path : same, option); !fresh)
                throw CommandFailure{kExitUsage, std::string(option) + ": '" + path + "' is also " + it->second + "'s file"};
        }
    }
    SweepPlan plan;
    const NamedPicture mark = LoadMarkOrFail(o.mark);
    plan.Mark = mark.Picture;
    plan.Thresholds = CalibrationOrFail(o.calibration, o.mark);
    for (const HostFile& file : FindHostPictures(o.hosts)) {
        const std::string path = file.Path.string();
        plan.Hosts.push_back({RowHostName(file.Name), [path] { return LoadPictureFile(path).bitmap; }});
    }
    plan.Seeds = seeds;
    plan.Cells = cells;
    plan.Part = shard;
    plan.Jobs = jobs;
    plan.Register = o.registering;
    if (plan.Register) {
        // The OpenCV module is loaded now, so that a missing one stops the run before any row.
        try {
            RegisterAndUndo(GrayPlane(32, 32, 128), GrayPlane(32, 32, 128));
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--register: ") + e.what()};
        }
    }
    try {
        CheckSweepPlan(plan);
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    const RowRange range = ShardRows(plan.RowCount(), plan.Part);
    auto keyOf = [&](std::uint64_t r) { return RowKey(plan.HostOf(r), plan.SeedOf(r), plan.AttackOf(r)); };

    // The rows a resumed run already has, each checked against this run's calibration.
    std::map<std::string, RobustnessRow> present;
    std::unique_ptr<AppendedRows> appended;
    if (o.resume) {
        RowsFile file;
        try {
            file = ReadRowsFile(o.jsonl);
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--jsonl: ") + e.what()};
        }
        for (const RobustnessRow& row : file.Rows) present.emplace(RowKey(row.Host, row.Seed, row.Attack), row);
        for (std::uint64_t r = range.Begin; r < range.End; ++r) {
            const auto found = present.find(keyOf(r));
            if (found == present.end() || found->second.Failed()) continue;
            const RobustnessRow& row = found->second;
            if (row.Registering != plan.Register)
                throw CommandFailure{kExitUsage, "--resume: the rows in '" + o.jsonl + "' were made " +
                                                     (row.Registering ? "with" : "without") +
                                                     " --register: give the same options, or start a new file"};
            std::optional<bool> at1e3, at1e6;
            if (plan.Thresholds) {
                at1e3 = plan.Thresholds->Detected(row.Score, kFprEmpirical);
                at1e6 = plan.Thresholds->Detected(row.Score, kFprModelled);
            }
            bool same = row.Detected1e3 == at1e3 && row.Detected1e6 == at1e6;
            if (row.Registered && plan.Thresholds)
                same = same && row.Registered->Detected1e3 == plan.Thresholds->Detected(row.Registered->Score, kFprEmpirical) &&
                       row.Registered->Detected1e6 == plan.Thresholds->Detected(row.Registered->Score, kFprModelled);
            else if (row.Registered)
                same = same && !row.Registered->Detected1e3 && !row.Registered->Detected1e6;
            if (!same)
                throw CommandFailure{kExitUsage, "--resume: the rows in '" + o.jsonl +
                                                     "' were judged against another calibration (or none): give "
                                                     "the same --calibration, or start a new file"};
        }
        if (file.TornTail)
            PrintErrorLine("note: the last line of '" + o.jsonl + "' was cut short by a stopped run; it is dropped "
                           "and its row computed again");
        appended = std::make_unique<AppendedRows>(o.jsonl, file.CompleteBytes, file.TornTail);
    }

    const bool toFiles = !o.jsonl.empty() || !o.csv.empty() || !o.html.empty();
    std::vector<std::optional<RobustnessRow>> rows(range.End - range.Begin);
    SweepCallbacks callbacks;
    callbacks.Skip = [&](std::uint64_t r) {
        if (present.empty()) return false;
        const auto found = present.find(keyOf(r));
        if (found == present.end()) return false;
        rows[r - range.Begin] = found->second;
        return true;
    };
    callbacks.Row = [&](std::uint64_t r, const RobustnessRow& row) {
        rows[r - range.Begin] = row;
        if (appended) appended->Append(RowJson(row));
        if (!toFiles) PrintLine(RowJson(row));
    };
    ProgressBar bar("rows");
    callbacks.Progress = [&bar](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); };
    const SweepSummary summary = RunSweep(plan, callbacks);
    bar.Finish();
    if (appended) appended->Close();

    std::vector<RobustnessRow> all;
    std::uint64_t failed = 0;
    for (const std::optional<RobustnessRow>& row : rows)
        if (row) {
            all.push_back(*row);
            failed += row->Failed() ? 1 : 0;
        }
    if (!o.resume && !o.jsonl.empty()) {
        WriteTextFile("--jsonl", o.jsonl, RowsJsonl(all));
    }
    if (!o.csv.empty()) {
        WriteTextFile("--csv", o.csv, RowsCsv(all, plan.Register));
    }
    if (!o.html.empty()) {
        RobustnessReport report;
        report.Rows = all;
        report.Cells = cells;
        for (const SweepHost& h : plan.Hosts) report.Hosts.push_back(h.Name);
        report.Seeds = seeds;
        report.Thresholds = plan.Thresholds;
        report.Mark = mark.Name;
        report.Command = CommandLineText();
        report.Program = kProgramVersion;
        if (shard.Count > 1) report.Shard = std::to_string(shard.Index) + "/" + std::to_string(shard.Count);
        WriteTextFile("--html", o.html, RobustnessHtml(report));
    }
    if (toFiles) {
        std::string line = std::to_string(all.size()) + " rows (" + std::to_string(plan.Hosts.size()) + " hosts x " +
                           std::to_string(seeds.size()) + " seeds x " + std::to_string(cells.size()) + " attacks";
        if (shard.Count > 1) line += ", shard " + std::to_string(shard.Index) + "/" + std::to_string(shard.Count);
        line += "; " + std::to_string(summary.Rows) + " computed, " + std::to_string(all.size() - summary.Rows) +
                " already in the file), " + std::to_string(failed) + " failed";
        PrintLine(line);
    }
    if (failed > 0)
        throw CommandFailure{kExitFailed, std::to_string(failed) + " of " + std::to_string(all.size()) +
                                              " rows failed (their \"error\" field says why)"};
}

}  // namespace

void RegisterRobustnessCommand(CLI::App& app) {
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "robustness",
        "Embed MARK into every host with every seed, apply every attack cell, extract and measure: one row per "
        "(host, seed, attack) with PSNR, SSIM, NC, BER, the detection score and its verdicts");
    cmd->add_option("HOSTS", o->hosts, "host pictures, or folders of them (every picture file in the folder)")
        ->required();
    cmd->add_option("--mark", o->mark, "watermark picture; black (< 128) pixels carry the mark")->required();
    cmd->add_option("--seeds", o->seeds, "seeds: numbers and ranges, as 1..20 or 1..5,7 (default 1..20)");
    cmd->add_option("--attacks", o->attacks,
                    "attack list, as real-jpeg:q=10..90:10,median:k=3,5 (repeatable; default: the default grid "
                    "of 104 cells, listed in the README)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* jobsOption =
        cmd->add_option("--jobs", o->jobs, "threads, 1..1024 (default: every core)")->transform(JobCount());
    cmd->add_option("--jsonl", o->jsonl, "write the rows as JSON Lines to this file");
    cmd->add_option("--csv", o->csv, "write the rows as CSV to this file");
    cmd->add_option("--html", o->html, "write the HTML report to this file");
    cmd->add_option("--shard", o->shard, "compute only shard i of n (i/n, 1 <= i <= n) of the rows, in order");
    cmd->add_flag("--resume", o->resume,
                  "append to the --jsonl file row by row, skipping the rows it already holds");
    cmd->add_flag("--register", o->registering,
                  "read each geometric cell (rotate, scale, shift, crop, remove-rows, remove-cols) a second time "
                  "after registering it to the watermarked picture: extra *_registered fields");
    cmd->add_option("--calibration", o->calibration,
                    "detection thresholds (from calibrate; default: MARK's <name>.calibration.json beside it, if any)");
    cmd->footer(
        "Without --jsonl, --csv or --html the rows go to standard output as JSON Lines. Exit code 1 when a row "
        "failed (the others are written), 2 for bad arguments or files.");
    cmd->callback([o, jobsOption] { Run(*o, jobsOption->count() > 0 ? std::stoi(o->jobs) : 0); });
}

}  // namespace quillfen::cli
