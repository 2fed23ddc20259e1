// quillfen-cli robustness HOSTS... --mark MARK [--seeds LIST] [--attacks LIST]... [--jobs N]
// [--jsonl FILE] [--csv FILE] [--html FILE] [--shard i/n] [--resume] [--calibration FILE]:
// the robustness sweep (quillfen/benchmark/robustness.h) from the shell, with its rows as JSON Lines
// and CSV and its HTML report.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <charconv>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/progress_bar.h"
#include "cli/sweep_inputs.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/benchmark/sweep_inputs.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/method_command.h"
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
    std::vector<std::string> methods;
    std::vector<std::string> methodCommands;
    std::string targetPsnr;
};

// Which of the options were given (an empty value is not an absent option).
struct Given {
    bool jobs = false;
    bool jsonl = false;
    bool csv = false;
    bool html = false;
    bool shard = false;
    bool targetPsnr = false;
};

constexpr std::uint64_t kMostShards = 1000000;

Shard ParseShard(const std::string& text) {
    const std::string expected = " (expected i/n with 1 <= i <= n, as 2/3)";
    const std::size_t slash = text.find('/');
    auto number = [&](std::string_view word) {
        std::uint64_t value = 0;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || word.find_first_not_of("0123456789") != std::string_view::npos)
            throw CommandFailure{kExitUsage, "--shard: '" + text + "' is not a shard" + expected};
        if (ec != std::errc() || end != word.data() + word.size() || value > kMostShards)
            throw CommandFailure{kExitUsage, "--shard: '" + text + "': at most " + std::to_string(kMostShards) +
                                                 " shards" + expected};
        return value;
    };
    if (slash == std::string::npos) throw CommandFailure{kExitUsage, "--shard: '" + text + "' is not a shard" + expected};
    const Shard shard{number(std::string_view(text).substr(0, slash)), number(std::string_view(text).substr(slash + 1))};
    if (shard.Index == 0 || shard.Index > shard.Count)
        throw CommandFailure{kExitUsage, "--shard: '" + text + "' does not exist" + expected};
    return shard;
}

// A list of embedding PSNRs: numbers and ranges lo..hi:step, comma-separated ("38", "38,42",
// "32..48:4"), in the order written, each a PSNR --target-psnr accepts.
std::vector<double> ParseTargetPsnrs(const std::string& text) {
    const std::string expected = " (a PSNR in dB, a list as 38,42 or a range as 32..48:4)";
    std::vector<double> values;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t dots = item.find("..");
        if (dots == std::string::npos) {
            values.push_back(TargetPsnrOrFail(item));
        } else {
            const std::size_t colon = item.find(':', dots);
            if (colon == std::string::npos)
                throw CommandFailure{kExitUsage, "--target-psnr: '" + item + "' has no step" + expected};
            const double lo = TargetPsnrOrFail(item.substr(0, dots));
            const double hi = TargetPsnrOrFail(item.substr(dots + 2, colon - dots - 2));
            const double step = [&] {
                double v = 0;
                const std::string word = item.substr(colon + 1);
                const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
                if (word.empty() || ec != std::errc() || end != word.data() + word.size() || !(v > 0))
                    throw CommandFailure{kExitUsage, "--target-psnr: '" + item + "': the step must be above 0" + expected};
                return v;
            }();
            if (hi < lo) throw CommandFailure{kExitUsage, "--target-psnr: '" + item + "' goes down" + expected};
            // Steps counted, not summed, so that 32..48:4 ends at 48 exactly.
            for (int k = 0; lo + k * step <= hi + 1e-9; ++k) values.push_back(lo + k * step);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    for (std::size_t i = 0; i < values.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (values[i] == values[j])
                throw CommandFailure{kExitUsage, "--target-psnr: " + FormatNumber(values[i]) + " dB listed twice"};
    if (values.size() > 64) throw CommandFailure{kExitUsage, "--target-psnr: at most 64 PSNRs"};
    return values;
}

std::string RowKey(const std::string& host, std::uint32_t seed, const std::string& method, const std::string& attack) {
    return host + '\n' + std::to_string(seed) + '\n' + method + '\n' + attack;
}

// The JSON Lines file of a resumed run, open for appending one whole line per write. The
// file is opened under the link rules of file writing (file_write.h): a planted link in a
// shared folder is refused.
class AppendedRows {
public:
    AppendedRows(const std::string& path, std::uint64_t keep, bool cut) : path_(path) {
        fs::path target;
        try {
            target = FollowLinks(path, "Cannot create file");
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--jsonl: ") + e.what()};
        }
        fd_ = FileDescriptor(::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (fd_.get() < 0) Fail();
        // A line cut short by a stopped run is no row: it goes, and its row is computed again.
        if (cut && ::ftruncate(fd_.get(), static_cast<off_t>(keep)) != 0) Fail();
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

// A file written at the end, its temporary file made before the first row.
std::unique_ptr<PendingFile> Pending(const std::string& option, const std::string& path) {
    try {
        return std::make_unique<PendingFile>(path);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, option + ": " + e.what()};
    }
}

void Commit(const std::string& option, PendingFile& file, const std::string& text) {
    try {
        file.Commit(std::vector<std::uint8_t>(text.begin(), text.end()));
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, option + ": " + e.what()};
    }
}

// What differs between the identity of a row in the file and this run's, for the message;
// empty when they agree. `hostDigest` is the digest of the row's host now (empty when the
// host is not one of this run's). `regionMethod`: the row's method marks a 256 x 256 region,
// whose rows of schema 3 measure what this one's do (schema 4 added what was marked).
std::string IdentityDifference(const RobustnessRow& row, const RowIdentity& run, const std::string& hostDigest,
                               const std::string& markName, bool regionMethod) {
    const RowIdentity& id = row.Identity;
    if (id.Schema < 2)
        return "were written by an earlier quillfen-cli, whose rows do not record what made them (row schema 1; "
               "this one writes " + std::to_string(kRowSchemaVersion) + ")";
    // Rows of another schema measure some fields differently (schema 2: PSNR of the reals, the
    // bit error rate over the black pixels, no null side): one file would mix the two.
    if (id.Schema != kRowSchemaVersion && !(id.Schema == 3 && regionMethod))
        return "were written by an earlier quillfen-cli, whose rows measure differently (row schema " +
               std::to_string(id.Schema) + "; this one writes " + std::to_string(kRowSchemaVersion) + ")";
    if (row.Methods != !run.Method.empty() && row.Methods)
        return "name their methods (" + id.Method + "); this run has the polarity method alone";
    if (id.Method != run.Method) return "were made by another method (" + id.Method + "; this run: " + run.Method + ")";
    if (id.MethodDigest != run.MethodDigest)
        return "of " + id.Method + " were made by another version of that method (method_digest " +
               (id.MethodDigest.empty() ? std::string("none") : id.MethodDigest) + "; its description and the files it " +
               "names give " + (run.MethodDigest.empty() ? std::string("none") : run.MethodDigest) + " now)";
    if (id.MarkDigest != run.MarkDigest)
        return "were made with another watermark (mark_digest " + id.MarkDigest + "; '" + markName + "' is " +
               run.MarkDigest + ")";
    if (id.CalibrationDigest != run.CalibrationDigest)
        return "were judged against another calibration (calibration_digest " +
               (id.CalibrationDigest.empty() ? std::string("none") : id.CalibrationDigest) + "; this run's: " +
               (run.CalibrationDigest.empty() ? std::string("none") : run.CalibrationDigest) + ")";
    if (!hostDigest.empty() && !id.HostDigest.empty() && id.HostDigest != hostDigest)
        return "of the host '" + row.Host + "' were made from another picture of that name (host_digest " +
               id.HostDigest + "; the picture now is " + hostDigest + ")";
    return "";
}

void Run(const Options& o, const Given& given, int jobs) {
    // Everything that can be refused is refused here, before any row is computed.
    if (given.shard && o.shard.empty())
        throw CommandFailure{kExitUsage, "--shard: an empty shard (expected i/n with 1 <= i <= n, as 2/3)"};
    const Shard shard = given.shard ? ParseShard(o.shard) : Shard{};
    if (o.resume && !given.jsonl) throw CommandFailure{kExitUsage, "--resume needs --jsonl FILE (the rows to resume)"};
    SweepInputs inputs;
    inputs.Hosts.assign(o.hosts.begin(), o.hosts.end());
    inputs.Mark = o.mark;
    inputs.Seeds = o.seeds;
    inputs.Attacks = o.attacks;
    inputs.Calibration = o.calibration;
    inputs.Part = shard;
    inputs.Jobs = ThreadsToRun(jobs);
    inputs.Register = o.registering;
    inputs.Methods = o.methods;
    for (const std::string& described : o.methodCommands) {
        try {
            inputs.MoreMethods.push_back(CommandSweepMethod(described));
        } catch (const SweepInputError& e) {
            throw CommandFailure{kExitUsage, std::string("--method-cmd: ") + e.what()};
        }
    }
    std::vector<double> targets;
    if (given.targetPsnr) {
        targets = ParseTargetPsnrs(o.targetPsnr);
        inputs.TargetPsnr = targets.front();
    }
    PreparedSweep prepared;
    try {
        prepared = PrepareSweep(inputs);
    } catch (const SweepInputError& e) {
        CommandFailure failure = InputFailure(e);
        throw failure;
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    if (targets.size() > 1) {
        // Several PSNRs: each method with a strength runs once per PSNR, labelled with it
        // ("qim@38dB"); the others once, at their own strength.
        std::vector<SweepMethod> expanded;
        for (const SweepMethod& method : prepared.Plan.Methods) {
            if (!method.Method->StrengthParameter()) {
                expanded.push_back(method);
                continue;
            }
            for (double target : targets) {
                SweepMethod at = method;
                at.Label = method.Label + "@" + FormatNumber(target) + "dB";
                at.TargetPsnr = target;
                expanded.push_back(std::move(at));
            }
        }
        prepared.Plan.Methods = std::move(expanded);
        prepared.Plan.TargetPsnr.reset();
    }
    const SweepPlan& plan = prepared.Plan;
    if ((plan.TargetPsnr || targets.size() > 1) && std::none_of(plan.Methods.begin(), plan.Methods.end(), [](const SweepMethod& m) {
            return m.Method->StrengthParameter() != nullptr;
        }))
        PrintErrorLine("note: --target-psnr: no method of this run has a strength parameter; each marks at its own");

    // The outputs: none may be an input of this run (the resumed rows aside) or another output.
    // "-" (or /dev/stdout) prints a report instead: one of them at most, never the rows a
    // resumed run must read back, and with nothing to claim or replace on disk.
    RunFiles files;
    for (const HostFile& host : prepared.Hosts) files.Input("the host picture '" + host.Path.string() + "'", host.Path);
    if (!o.mark.empty()) files.Input("the mark picture (--mark)", o.mark);
    for (const std::string& described : o.methodCommands) files.Input("a method's description (--method-cmd)", described);
    for (const SweepMethod& method : inputs.MoreMethods)
        if (const MethodCommandSource* source = MethodCommandSourceOf(*method.Method))
            for (const fs::path& named : source->Files)
                files.Input("a file of the method " + method.Label + " ('" + source->Description.string() + "')", named);
    if (!prepared.Calibration.Path.empty()) files.Input("the calibration", prepared.Calibration.Path);
    struct Output {
        const char* option;
        bool given;
        const std::string& path;
        bool printed;  // to standard output
    };
    const Output outputs[] = {{"--jsonl", given.jsonl, o.jsonl, given.jsonl && NamesStandardOutput(o.jsonl)},
                              {"--csv", given.csv, o.csv, given.csv && NamesStandardOutput(o.csv)},
                              {"--html", given.html, o.html, given.html && NamesStandardOutput(o.html)}};
    const Output* printed = nullptr;
    for (const Output& output : outputs) {
        if (!output.printed) continue;
        if (printed != nullptr)
            throw CommandFailure{kExitUsage, std::string(output.option) + " " + output.path + ": " + printed->option +
                                                 " already goes to standard output; give one of them a file"};
        printed = &output;
    }
    if (o.resume && outputs[0].printed)
        throw CommandFailure{kExitUsage, "--resume: the rows to resume cannot be read back from standard output (--jsonl " +
                                             o.jsonl + "); give --jsonl FILE"};
    for (const Output& output : outputs)
        if (output.given && !output.printed) files.Output(output.option, output.path);
    if (plan.Register) {
        // The OpenCV module is loaded now, so that a missing one stops the run before any row.
        try {
            RegisterAndUndo(GrayPlane(32, 32, 128), GrayPlane(32, 32, 128));
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--register: ") + e.what()};
        }
    }
    // Files written at the end are made now, so that one that cannot be written stops the run
    // before its work rather than after it.
    std::unique_ptr<PendingFile> jsonlFile, csvFile, htmlFile;
    if (given.jsonl && !o.resume && !outputs[0].printed) jsonlFile = Pending("--jsonl", o.jsonl);
    if (given.csv && !outputs[1].printed) csvFile = Pending("--csv", o.csv);
    if (given.html && !outputs[2].printed) htmlFile = Pending("--html", o.html);
    if (o.resume) {
        // The resumed file is appended to where its links lead, under the same rules.
        try {
            FollowLinks(o.jsonl, "Cannot create file");
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--jsonl: ") + e.what()};
        }
    }
    // Each output is this run's until it ends: a second run on one of them is refused at once.
    std::vector<std::unique_ptr<OutputLock>> locks;
    for (const Output& output : outputs) {
        if (!output.given || output.printed) continue;
        try {
            locks.push_back(std::make_unique<OutputLock>(output.path, CommandLineText()));
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string(output.option) + ": " + e.what()};
        }
    }

    const RowRange range = ShardRows(plan.RowCount(), plan.Part);
    auto keyOf = [&](std::uint64_t r) { return RowKey(plan.HostOf(r), plan.SeedOf(r), plan.MethodOf(r), plan.AttackOf(r)); };
    // The plan's methods by the label their rows carry.
    std::map<std::string, std::size_t> methodIndex;
    for (std::size_t m = 0; m < plan.Methods.size(); ++m) methodIndex[plan.Methods[m].Label] = m;

    // The rows a resumed run already has: each of this run (the same identity), judged by this
    // run's calibration.
    std::map<std::string, RobustnessRow> present;
    std::unique_ptr<AppendedRows> appended;
    if (o.resume) {
        RowsFile file;
        try {
            file = ReadRowsFile(o.jsonl);
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--jsonl: ") + e.what()};
        }
        // A host's digest as the row's method reads it: its region or the whole picture.
        std::map<std::string, const HostFile*> hostFiles;
        for (const HostFile& host : prepared.Hosts) hostFiles[RowHostName(host.Name)] = &host;
        for (const RobustnessRow& row : file.Rows) {
            const auto host = hostFiles.find(row.Host);
            // Each row against the identity of its method in this run (the first method's when
            // the run has none of its name, which then differs).
            const auto method = methodIndex.find(row.Identity.Method);
            const std::size_t index = method == methodIndex.end() ? 0 : method->second;
            const RowIdentity identity = PlanIdentity(plan, index);
            const bool region = plan.Methods.empty() || plan.Methods[index].Method->Capabilities().RegionSide > 0;
            const std::string digest =
                host == hostFiles.end() ? std::string() : region ? host->second->Digest : host->second->WholeDigest;
            const std::string difference = IdentityDifference(row, identity, digest, prepared.MarkName, region);
            if (!difference.empty())
                throw CommandFailure{kExitUsage, "--resume: the rows in '" + o.jsonl + "' " + difference +
                                                     ": start a new file, or resume with the inputs that made them"};
            // Under a target PSNR a method with a strength was marked at it; one whose strength
            // moves in whole steps may have no step within 0.1 dB of it, and was marked at the
            // nearest step, as this run would mark it again.
            const WatermarkMethod* rowMethod = plan.Methods.empty() ? nullptr : plan.Methods[index].Method.get();
            const Parameter* strength = rowMethod ? rowMethod->StrengthParameter() : nullptr;
            const bool wholeSteps = strength != nullptr && strength->Whole;
            if (plan.TargetPsnr && row.Strength && !row.Failed() && !wholeSteps &&
                std::fabs(row.PsnrEmbed - *plan.TargetPsnr) > 0.1)
                throw CommandFailure{kExitUsage, "--resume: the rows in '" + o.jsonl + "' of " + row.Identity.Method +
                                                     " were marked at " + FormatMeasure(row.PsnrEmbed) +
                                                     " dB, not at this run's --target-psnr: start a new file"};
            present.emplace(RowKey(row.Host, row.Seed, row.Methods ? row.Identity.Method : std::string(), row.Attack),
                            row);
        }
        for (std::uint64_t r = range.Begin; r < range.End; ++r) {
            const auto found = present.find(keyOf(r));
            if (found == present.end() || found->second.Failed()) continue;
            const RobustnessRow& row = found->second;
            if (row.Registering != plan.Register)
                throw CommandFailure{kExitUsage, "--resume: the rows in '" + o.jsonl + "' were made " +
                                                     (row.Registering ? "with" : "without") +
                                                     " --register: give the same options, or start a new file"};
            std::optional<bool> at1e3, at1e6;
            const std::optional<Calibration>& thresholds = PlanThresholds(plan, plan.MethodIndexOf(r));
            // Thresholds of z judge the z the row keeps; a row without one was not judged by them.
            const bool spread = thresholds && thresholds->Units == Statistic::Spread;
            const auto judged = [&](double score, const std::optional<double>& z) {
                return spread ? z.value_or(std::numeric_limits<double>::quiet_NaN()) : score;
            };
            if (thresholds) {
                at1e3 = thresholds->Detected(judged(row.Score, row.Z), kFprEmpirical);
                at1e6 = thresholds->Detected(judged(row.Score, row.Z), kFprModelled);
            }
            bool same = row.Detected1e3 == at1e3 && row.Detected1e6 == at1e6;
            if (row.Registered && thresholds)
                same = same &&
                       row.Registered->Detected1e3 ==
                           thresholds->Detected(judged(row.Registered->Score, row.Registered->Z), kFprEmpirical) &&
                       row.Registered->Detected1e6 ==
                           thresholds->Detected(judged(row.Registered->Score, row.Registered->Z), kFprModelled);
            else if (row.Registered)
                same = same && !row.Registered->Detected1e3 && !row.Registered->Detected1e6;
            if (!same)
                throw CommandFailure{kExitUsage, "--resume: the verdicts of " + row.Host + ", seed " +
                                                     std::to_string(row.Seed) + ", " +
                                                     (row.Methods ? row.Identity.Method + ", " : std::string()) +
                                                     row.Attack + " in '" + o.jsonl +
                                                     "' are not those of its score under this run's calibration: the "
                                                     "file was changed; start a new file"};
        }
        // Only a line that a stopped run of these rows cut short may go; anything else in the
        // file is not ours to drop.
        if (!file.Tail.empty()) {
            if (!IsCutRow(file.Tail, plan, range))
                throw CommandFailure{kExitUsage, "--resume: '" + o.jsonl +
                                                     "' does not end in a row of this run (its last line is neither "
                                                     "a row nor the beginning of one): it is left as it is; give a "
                                                     "rows file of this run, or a new name"};
            PrintErrorLine("note: the last line of '" + o.jsonl + "' was cut short by a stopped run; it is dropped "
                           "and its row computed again");
        }
        appended = std::make_unique<AppendedRows>(o.jsonl, file.CompleteBytes, !file.Tail.empty());
    }

    if (!plan.Thresholds && plan.Methods.empty())
        PrintErrorLine("note: no calibration given and none beside the mark ('" + prepared.Calibration.Beside.string() +
                       "'): the detected_* fields stay empty");
    const bool toFiles = given.jsonl || given.csv || given.html;
    // The rows as they come, on standard output: without any report option, and for --jsonl -.
    const bool rowsPrinted = !toFiles || outputs[0].printed;
    ProgressBar bar("rows");
    std::vector<std::optional<RobustnessRow>> rows(range.End - range.Begin);
    SweepCallbacks callbacks;
    callbacks.Skip = [&](std::uint64_t r) {
        if (present.empty()) return false;
        const auto found = present.find(keyOf(r));
        if (found == present.end()) return false;
        rows[r - range.Begin] = found->second;
        return true;
    };
    // The pixels of the pictures the computed rows measured, for the megapixel rate.
    std::uint64_t pixels = 0;
    callbacks.Row = [&](std::uint64_t r, const RobustnessRow& row) {
        pixels += static_cast<std::uint64_t>(row.Width) * static_cast<std::uint64_t>(row.Height);
        rows[r - range.Begin] = row;
        if (appended) appended->Append(RowJson(row));
        if (rowsPrinted) {
            bar.Finish();  // a terminal shows the row where the bar was, and the bar again below it
            PrintLine(RowJson(row));
        }
    };
    callbacks.Progress = [&bar, &pixels](std::uint64_t done, std::uint64_t total) { bar.Update(done, total, pixels); };
    const SweepSummary summary = RunSweep(plan, callbacks);
    bar.Conclude(summary.Rows, pixels);
    if (appended) appended->Close();

    // The rows move on into the files' writers and the report: none is copied again.
    std::vector<RobustnessRow> all;
    all.reserve(rows.size());
    std::uint64_t failed = 0;
    for (std::optional<RobustnessRow>& row : rows)
        if (row) {
            failed += row->Failed() ? 1 : 0;
            all.push_back(std::move(*row));
        }
    rows.clear();
    const std::size_t rowCount = all.size();
    if (jsonlFile) Commit("--jsonl", *jsonlFile, RowsJsonl(all));
    if (csvFile) Commit("--csv", *csvFile, RowsCsv(all, plan.Register, !plan.Methods.empty()));
    if (outputs[1].printed) PrintText(RowsCsv(all, plan.Register, !plan.Methods.empty()));
    if (htmlFile || outputs[2].printed) {
        // The last reader of the rows.
        RobustnessReport report = ReportOf(plan, std::move(all), prepared.MarkName, CommandLineText(), kProgramVersion);
        AddReportExamples(report, plan);
        const std::string html = RobustnessHtml(report);
        if (htmlFile) Commit("--html", *htmlFile, html);
        else PrintText(html);
    }
    // The count of rows, unless standard output carries a report, which it would spoil.
    if (toFiles && printed == nullptr) {
        std::string line = std::to_string(rowCount) + " rows (" + std::to_string(plan.Hosts.size()) + " hosts x " +
                           std::to_string(plan.Seeds.size()) + " seeds x " +
                           (plan.Methods.empty() ? std::string() : std::to_string(plan.Methods.size()) + " methods x ") +
                           std::to_string(plan.Cells.size()) + " attacks";
        if (shard.Count > 1) line += ", shard " + std::to_string(shard.Index) + "/" + std::to_string(shard.Count);
        line += "; " + std::to_string(summary.Rows) + " computed, " + std::to_string(rowCount - summary.Rows) +
                " already in the file), " + std::to_string(failed) + " failed";
        PrintLine(line);
    }
    if (failed > 0)
        throw CommandFailure{kExitFailed, std::to_string(failed) + " of " + std::to_string(rowCount) +
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
    cmd->add_option("--mark", o->mark,
                    "watermark picture of the polarity method; black (< 128) pixels carry the mark (default: the "
                    "bundled seal, seal-128.pgm, judged by the built-in thresholds)");
    cmd->add_option("--method", o->methods,
                    "a method to compare, NAME[:param=value,...] (repeatable, in order; default polarity alone; " +
                        MethodListHelp() + "); each is scored on the same attacked pictures, rows gain method fields")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--method-cmd", o->methodCommands,
                    "a method run as programs in any language, described by a JSON file (argument lists with "
                    "placeholders, a time limit; docs/methods.md); repeatable, compared after the --method ones")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* targetOption = cmd->add_option(
        "--target-psnr", o->targetPsnr,
        "mark each host with each method that has a strength parameter at this embedding PSNR in dB (within 0.1 dB; "
        "10..100); the rows record the strength used. A list (38,42) or range (32..48:4) runs each such method once "
        "per PSNR, labelled qim@38dB, and the report draws detection against embedding PSNR and SSIM");
    cmd->add_option("--seeds", o->seeds, "seeds: numbers and ranges, as 1..20 or 1..5,7 (default 1..20)");
    cmd->add_option("--attacks", o->attacks,
                    "attack list, as real-jpeg:q=10..90:10,median:k=3,5 (repeatable; default: the default grid "
                    "of 134 cells, listed in the README)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* jobsOption =
        cmd->add_option("--jobs", o->jobs, "threads, 1..1024 (default: every core)")->transform(JobCount());
    CLI::Option* jsonlOption =
        cmd->add_option("--jsonl", o->jsonl, "write the rows as JSON Lines to this file (-: standard output)");
    CLI::Option* csvOption = cmd->add_option("--csv", o->csv, "write the rows as CSV to this file (-: standard output)");
    CLI::Option* htmlOption =
        cmd->add_option("--html", o->html, "write the HTML report to this file (-: standard output)");
    CLI::Option* shardOption = cmd->add_option(
        "--shard", o->shard, "compute only shard i of n (i/n, 1 <= i <= n <= 1000000) of the rows, in order");
    cmd->add_flag("--resume", o->resume,
                  "append to the --jsonl file row by row, skipping the rows it already holds");
    cmd->add_flag("--register", o->registering,
                  "read each geometric cell (rotate, scale, shift, crop, remove-rows, remove-cols) a second time "
                  "after registering it to the watermarked picture: extra *_registered fields");
    cmd->add_option("--calibration", o->calibration,
                    "detection thresholds (from calibrate; default: MARK's <name>.calibration.json beside it, if any); "
                    "a blind method's calibration (calibrate --method) judges that method's rows instead of its "
                    "built-in thresholds");
    cmd->footer(
        "Without --jsonl, --csv or --html the rows go to standard output as JSON Lines. One of the three may be - "
        "(or /dev/stdout) for standard output, which then carries that report alone; --resume needs --jsonl FILE. "
        "Exit code 1 when a row failed (the others are written), 2 for bad arguments or files.");
    cmd->callback([o, jobsOption, jsonlOption, csvOption, htmlOption, shardOption, targetOption] {
        Given given;
        given.targetPsnr = targetOption->count() > 0;
        given.jobs = jobsOption->count() > 0;
        given.jsonl = jsonlOption->count() > 0;
        given.csv = csvOption->count() > 0;
        given.html = htmlOption->count() > 0;
        given.shard = shardOption->count() > 0;
        Run(*o, given, given.jobs ? std::stoi(o->jobs) : 0);
    });
}

}  // namespace quillfen::cli
