// quillfen-cli calibrate HOSTS... --mark MARK [--seeds LIST] [--attacks LIST]... [--jobs N]
// [--out FILE]: the null distribution of the detection score on pictures that do not carry the
// mark, its fitted model and the detection thresholds, as a calibration file (or its JSON on
// standard output).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/progress_bar.h"
#include "cli/sweep_inputs.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/image/errors.h"

namespace quillfen::cli {

namespace {

// Fewer trials than this leave the 1e-3 threshold resting on fewer than ten trials above it.
constexpr std::uint64_t kAdvisedTrials = 10000;

struct Options {
    std::vector<std::string> hosts;
    std::string mark;
    std::string seeds = "1..10";
    std::vector<std::string> attacks;
    std::string jobs;
    std::string out;
};

std::vector<std::string> Summary(const Calibration& cal) {
    std::vector<std::string> lines;
    lines.push_back("null trials = " + std::to_string(cal.Trials) + " (" + std::to_string(cal.Hosts.size()) +
                    " hosts x " + std::to_string(cal.Seeds.size()) + " seeds, " +
                    std::to_string(cal.Attacks.size()) + " attacks; other-host-marked " +
                    std::to_string(cal.KindTrials[0]) + ", other-host-unmarked " + std::to_string(cal.KindTrials[1]) +
                    ", own-host-unmarked " + std::to_string(cal.KindTrials[2]) + ")");
    lines.push_back("null score mean = " + FormatMeasure(cal.Mean) + ", sd = " + FormatMeasure(cal.StdDev) +
                    ", max = " + FormatMeasure(cal.Histogram.back().first));
    lines.push_back("model = normal mixture, " + std::to_string(cal.Components.size()) +
                    " components (one per key host and trial kind)");
    lines.push_back("quantile      empirical  model");
    for (const QuantileFit& q : cal.Fit) {
        char text[96];
        std::snprintf(text, sizeof text, "%-12s  %.4f     %.4f", FormatMeasure(q.P).c_str(), q.Empirical, q.Model);
        lines.emplace_back(text);
    }
    lines.push_back("threshold at fpr 1e-3 (empirical) = " + FormatMeasure(cal.ThresholdEmpirical));
    lines.push_back("threshold at fpr 1e-6 (model) = " + FormatMeasure(cal.ThresholdModelled));
    return lines;
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
    cmd->add_option("--mark", o->mark, "watermark picture; black (< 128) pixels carry the mark")->required();
    cmd->add_option("--seeds", o->seeds,
                    "embedding seeds: numbers and ranges, as 1..10 or 1..5,9 (default 1..10; with the 12 bundled "
                    "hosts and the default grid that makes 27,000 trials)");
    cmd->add_option("--attacks", o->attacks,
                    "attacks applied to each key's own host, unmarked, as real-jpeg:q=10..90:10 (repeatable; "
                    "default: the default grid of 104 cells)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* jobsOption =
        cmd->add_option("--jobs", o->jobs, "threads, 1..1024 (default: every core)")->transform(JobCount());
    cmd->add_option("--out", o->out, "write the calibration (JSON) to this file; without it the JSON goes to standard output");
    cmd->callback([o, jobsOption] {
        const std::vector<std::uint32_t> seeds = SeedsOrFail("--seeds", o->seeds);
        std::vector<AttackCell> attacks = DefaultAttackGrid();
        if (!o->attacks.empty()) {
            std::string list;
            for (const std::string& a : o->attacks) list += (list.empty() ? "" : ",") + a;
            try {
                attacks = ParseAttackCells(list);
            } catch (const ArgumentError& e) {
                throw CommandFailure{kExitUsage, std::string("--attacks: ") + e.what()};
            }
        }
        if (!o->out.empty()) CheckOutputFile("--out", o->out);
        const NamedPicture mark = LoadMarkOrFail(o->mark);
        std::vector<NamedPicture> hosts;
        for (const HostFile& file : FindHostPictures(o->hosts))
            hosts.push_back({file.Name, LoadPictureOrFail(file.Path.string()).bitmap});
        const std::uint64_t trials = NullTrialCount(hosts.size(), seeds.size(), attacks.size());
        if (trials > 0 && trials < kAdvisedTrials)
            PrintErrorLine("warning: " + std::to_string(trials) + " null trials; the 1e-3 threshold wants " +
                           std::to_string(kAdvisedTrials) + " or more (more hosts or seeds)");

        CalibrationOptions options;
        options.Program = kProgramVersion;
        options.Jobs = jobsOption->count() > 0 ? std::stoi(o->jobs) : 0;
        ProgressBar bar("keys");
        options.Progress = [&bar](std::size_t done, std::size_t total) { bar.Update(done, total); };
        Calibration cal;
        try {
            cal = Calibrate(hosts, mark, seeds, attacks, options);
        } catch (const ArgumentError& e) {
            throw CommandFailure{kExitUsage, e.what()};
        }
        bar.Finish();
        if (o->out.empty()) {
            std::string json = CalibrationJson(cal);
            json.pop_back();
            PrintLine(json);
            return;
        }
        try {
            SaveCalibration(o->out, cal);
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--out: ") + e.what()};
        }
        for (const std::string& line : Summary(cal)) PrintLine(line);
        PrintLine("calibration written to " + o->out);
    });
}

}  // namespace quillfen::cli
