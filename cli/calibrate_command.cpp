// quillfen-cli calibrate HOSTS... --mark MARK [--seeds LIST] [--attacks LIST]... [--jobs N]
// [--out FILE]: the null distribution of the detection score on pictures that do not carry the
// mark, its fitted model and the detection thresholds, as a calibration file (or its JSON on
// standard output).
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/progress_bar.h"
#include "cli/sweep_inputs.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/benchmark/sweep_inputs.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen::cli {

namespace {

// Fewer trials than this leave the 1e-3 threshold resting on fewer than ten trials above it.
constexpr std::uint64_t kAdvisedTrials = 10000;

struct Options {
    std::vector<std::string> hosts;
    std::string mark;
    std::string method;
    std::string seeds = "1..10";
    std::vector<std::string> attacks;
    std::string jobs;
    std::string out;
};

std::string SourceText(const ThresholdSource& t) {
    return "set by " + t.Host + ", " + NullTrialKindName(t.Kind) +
           (t.From == "trials" ? " (its trials)" : t.From == "1e-3" ? " (the 1e-3 threshold)" : " (its model)");
}

std::vector<std::string> Summary(const Calibration& cal) {
    std::vector<std::string> lines;
    if (!cal.Method.empty()) lines.push_back("method = " + cal.Method);
    lines.push_back("null trials = " + std::to_string(cal.Trials) + " (" + std::to_string(cal.Hosts.size()) +
                    " hosts x " + std::to_string(cal.Seeds.size()) + " seeds, " +
                    std::to_string(cal.Attacks.size()) + " attacks; other-host-marked " +
                    std::to_string(cal.KindTrials[0]) + ", other-host-unmarked " + std::to_string(cal.KindTrials[1]) +
                    ", own-host-unmarked " + std::to_string(cal.KindTrials[2]) + ")");
    lines.push_back("null score mean = " + FormatMeasure(cal.Mean) + ", sd = " + FormatMeasure(cal.StdDev) +
                    ", max = " + FormatMeasure(cal.Histogram.back().first));
    lines.push_back("model = one normal per key host and trial kind (" + std::to_string(cal.Components.size()) +
                    " components); each threshold where every component meets its rate");
    // Each host's tail: its own unmarked copies' statistics and the highest of its components'
    // quantiles, the scores a threshold must reach for this host.
    lines.push_back("host                      own unmarked: mean    sd      highest   every kind: at 1e-3  at 1e-6");
    for (const std::string& host : cal.Hosts) {
        const NullComponent* own = nullptr;
        double at3 = -1;
        double at6 = -1;
        for (const NullComponent& c : cal.Components) {
            if (c.Host != host) continue;
            if (c.Kind == NullTrialKind::OwnHostUnmarked) own = &c;
            at3 = std::max(at3, c.Quantile1e3);
            at6 = std::max(at6, c.Quantile1e6);
        }
        char text[160];
        if (own != nullptr)
            std::snprintf(text, sizeof text, "%-24s  %19.4f  %.4f  %.4f  %19.4f  %.4f", host.c_str(), own->Mean,
                          own->StdDev, own->Top.empty() ? own->Mean : own->Top.front(), at3, at6);
        else
            std::snprintf(text, sizeof text, "%-24s  %19s  %6s  %7s  %19.4f  %.4f", host.c_str(), "-", "-", "-", at3, at6);
        lines.emplace_back(text);
    }
    lines.push_back("quantile      empirical  mixture");
    for (const QuantileFit& q : cal.Fit) {
        char text[96];
        std::snprintf(text, sizeof text, "%-12s  %.4f     %.4f", FormatMeasure(q.P).c_str(), q.Empirical, q.Model);
        lines.emplace_back(text);
    }
    lines.push_back("threshold at fpr 1e-3 = " + FormatMeasure(cal.ThresholdEmpirical) + " (" + SourceText(cal.Source1e3) + ")");
    lines.push_back("threshold at fpr 1e-6 = " + FormatMeasure(cal.ThresholdModelled) + " (" + SourceText(cal.Source1e6) + ")");
    return lines;
}

// "1.2 GB", "640 MB".
std::string Megabytes(std::uint64_t bytes) {
    char text[32];
    if (bytes >= (std::uint64_t{1} << 30))
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / static_cast<double>(1u << 30));
    else
        std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / static_cast<double>(1u << 20));
    return text;
}

}  // namespace

void RegisterCalibrateCommand(CLI::App& app) {
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "calibrate",
        "Measure the detection score on pictures that do not carry MARK (other hosts marked or not, the key's own "
        "host unmarked after each attack), fit its null distribution and write the detection "
        "thresholds at false-positive rates 1e-3 and 1e-6");
    cmd->add_option("HOSTS", o->hosts, "host pictures, or folders of them (every picture file in the folder)")
        ->required();
    CLI::Option* markOption =
        cmd->add_option("--mark", o->mark, "watermark picture; black (< 128) pixels carry the mark (the polarity method)");
    cmd->add_option("--method", o->method,
                    "the method to calibrate, NAME[:param=value,...] (default polarity; " + MethodListHelp() + ")");
    cmd->add_option("--seeds", o->seeds,
                    "embedding seeds: numbers and ranges, as 1..10 or 1..5,9 (default 1..10; with the 12 bundled "
                    "hosts and the default grid that makes 27,600 trials)");
    cmd->add_option("--attacks", o->attacks,
                    "attacks applied to each key's own host, unmarked, as real-jpeg:q=10..90:10 (repeatable; "
                    "default: the default grid of 134 cells)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* jobsOption =
        cmd->add_option("--jobs", o->jobs, "threads, 1..1024 (default: every core)")->transform(JobCount());
    CLI::Option* outOption = cmd->add_option(
        "--out", o->out, "write the calibration (JSON) to this file; without it (or with -) the JSON goes to standard output");
    cmd->callback([o, jobsOption, outOption, markOption] {
        CalibrationInputs inputs;
        inputs.Hosts.assign(o->hosts.begin(), o->hosts.end());
        inputs.Method = o->method;
        inputs.Mark = o->mark;
        inputs.Seeds = o->seeds;
        inputs.Attacks = o->attacks;
        PreparedCalibration prepared;
        try {
            prepared = PrepareCalibration(inputs);
        } catch (const SweepInputError& e) {
            throw InputFailure(e);
        }
        const std::vector<std::uint32_t>& seeds = prepared.Seeds;
        const std::vector<AttackCell>& attacks = prepared.Attacks;
        const std::vector<HostFile>& files = prepared.Files;
        // "--out -" (or /dev/stdout) is standard output, as no --out is.
        const bool toFile = outOption->count() > 0 && !NamesStandardOutput(o->out);
        RunFiles runFiles;
        for (const HostFile& file : files) runFiles.Input("the host picture '" + file.Path.string() + "'", file.Path);
        if (prepared.Mark) runFiles.Input("the mark picture (--mark)", o->mark);
        if (toFile) runFiles.Output("--out", o->out);

        CalibrationOptions options;
        options.Program = kProgramVersion;
        options.Jobs = ThreadsToRun(jobsOption->count() > 0 ? std::stoi(o->jobs) : 0);
        // What the run will take, known before it starts: a run that cannot fit is refused now
        // rather than failing after its work.
        const int threads = options.Jobs > 0 ? options.Jobs : AvailableThreads();
        const std::uint64_t trials = prepared.Trials;
        const std::uint64_t needed = CalibrationMemory(files.size(), seeds.size(), attacks.size(), threads);
        std::string limit;
        const std::optional<std::uint64_t> available = AvailableMemory(limit, threads);
        if (available && needed > *available)
            throw CommandFailure{kExitFailed, "the calibration would need about " + Megabytes(needed) + " of memory (" +
                                                  std::to_string(files.size() * seeds.size()) + " keys, " +
                                                  std::to_string(trials) + " null trials), more than the " +
                                                  Megabytes(*available) + " left (" + limit +
                                                  "): give fewer hosts or seeds"};

        std::unique_ptr<OutputLock> lock;
        std::unique_ptr<PendingFile> out;
        if (toFile) {
            try {
                lock = std::make_unique<OutputLock>(o->out, CommandLineText());
                out = std::make_unique<PendingFile>(o->out);
            } catch (const Error& e) {
                throw CommandFailure{kExitUsage, std::string("--out: ") + e.what()};
            }
        }
        if (trials > 0 && trials < kAdvisedTrials)
            PrintErrorLine("warning: " + std::to_string(trials) + " null trials; the 1e-3 threshold wants " +
                           std::to_string(kAdvisedTrials) + " or more (more hosts or seeds)");

        ProgressBar bar("keys");
        options.Progress = [&bar](std::size_t done, std::size_t total) { bar.Update(done, total); };
        Calibration cal;
        try {
            cal = Calibrate(prepared.Hosts, *prepared.Method, prepared.Mark ? &*prepared.Mark : nullptr, seeds, attacks,
                            options);
        } catch (const ArgumentError& e) {
            throw CommandFailure{kExitUsage, e.what()};
        }
        bar.Finish();
        if (!toFile) {
            std::string json = CalibrationJson(cal);
            json.pop_back();
            PrintLine(json);
            return;
        }
        try {
            const std::string text = CalibrationJson(cal);
            out->Commit(std::vector<std::uint8_t>(text.begin(), text.end()));
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--out: ") + e.what()};
        }
        for (const std::string& line : Summary(cal)) PrintLine(line);
        PrintLine("calibration written to " + o->out);
    });
}

}  // namespace quillfen::cli
