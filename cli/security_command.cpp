// quillfen-cli security HOSTS... [--method M]... [--attack ATTACK]... [--seed N] [--trials N]
// [--target-psnr dB] [--jsonl FILE [--resume]] [--html FILE]: attacks on a key from pictures
// marked with it (quillfen/benchmark/security.h). A command of its own rather than an option of
// `robustness`: its rows are of another kind (one per estimate and suspect, not per host, seed
// and cell) and its work does not grow with the attack grid.
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/progress_bar.h"
#include "cli/sweep_inputs.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/benchmark/security.h"
#include "quillfen/benchmark/sweep_inputs.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"

namespace quillfen::cli {

namespace {

struct Options {
    std::vector<std::string> hosts;
    std::vector<std::string> methods;
    std::vector<std::string> attacks;
    std::string seed = "1";
    int trials = 24;
    std::string targetPsnr;
    std::string jsonl;
    std::string html;
    bool resume = false;
};

std::string Rounded(double value, int decimals) {
    const std::string text = PeopleNumber(value, decimals);
    return text == "&ndash;" ? "-" : text;
}

std::string RateLine(const RateInterval& r) {
    if (std::isnan(r.Rate)) return "-";
    return Rounded(r.Rate, 2) + " [" + Rounded(r.Low, 2) + ", " + Rounded(r.High, 2) + "]";
}

void Run(const Options& o, bool targetGiven) {
    SecurityPlan plan;
    try {
        for (const std::string& text : o.attacks.empty() ? std::vector<std::string>{"averaging:n=10,50,200", "copy"}
                                                          : o.attacks)
            plan.Attacks.push_back(ParseSecurityAttack(text));
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, std::string("--attack: ") + e.what()};
    }
    if (o.resume && o.jsonl.empty()) throw CommandFailure{kExitUsage, "--resume needs --jsonl FILE (the rows to resume)"};
    if (o.trials < 1 || o.trials > kMostSecurityPictures)
        throw CommandFailure{kExitUsage, "--trials: " + std::to_string(o.trials) + " is outside 1.." +
                                             std::to_string(kMostSecurityPictures)};
    SweepInputs inputs;
    inputs.Hosts.assign(o.hosts.begin(), o.hosts.end());
    inputs.Methods = o.methods.empty() ? std::vector<std::string>{"spread-spectrum", "qim"} : o.methods;
    inputs.Seeds = o.seed;
    inputs.Attacks = {"none"};
    if (targetGiven) inputs.TargetPsnr = TargetPsnrOrFail(o.targetPsnr);
    PreparedSweep prepared;
    try {
        prepared = PrepareSweep(inputs);
    } catch (const SweepInputError& e) {
        if (e.Input == SweepInput::Seeds) throw CommandFailure{kExitUsage, std::string("--seed: ") + e.what()};
        throw InputFailure(e);
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    if (prepared.Plan.Seeds.size() != 1) throw CommandFailure{kExitUsage, "--seed: one seed, the key's"};
    plan.Seed = prepared.Plan.Seeds[0];
    plan.Trials = o.trials;
    plan.TargetPsnr = prepared.Plan.TargetPsnr;
    plan.Mark = prepared.Plan.Mark;
    plan.Methods = prepared.Plan.Methods;
    if (plan.Methods.empty()) plan.Methods.push_back(SweepMethodOf(MakeMethod(ParseMethodSpec("polarity")), "built-in"));
    for (const HostFile& host : prepared.Hosts) plan.Hosts.push_back({host.Name, host.Region.pixels()});
    try {
        CheckSecurityPlan(plan);
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }

    // A resumed file's rows: units it holds whole are not computed again; its rows must be of
    // this run (schema, seed, parameters, trials).
    std::vector<SecurityRow> rows;
    std::set<std::string> held;
    if (o.resume) {
        std::ifstream in(o.jsonl);
        if (in) {
            std::map<std::string, std::size_t> counts;
            std::string line;
            std::size_t number = 0;
            while (std::getline(in, line)) {
                ++number;
                if (line.empty()) continue;
                SecurityRow row;
                try {
                    row = SecurityRowFromJson(line);
                } catch (const ArgumentError& e) {
                    throw CommandFailure{kExitUsage, "--resume: line " + std::to_string(number) + " of '" + o.jsonl +
                                                         "': " + e.what() + "; start a new file"};
                }
                if (row.Schema != kRowSchemaVersion || row.Seed != plan.Seed)
                    throw CommandFailure{kExitUsage, "--resume: the rows in '" + o.jsonl +
                                                         "' were made with another seed or row schema; start a new file"};
                counts[SecurityUnitKey(row.Method, row.Attack, row.Pictures)]++;
                rows.push_back(std::move(row));
            }
            for (const SecurityUnit& unit : SecurityUnits(plan)) {
                const std::string key = SecurityUnitKey(plan.Methods[unit.Method].Label, unit.Attack, unit.Pictures);
                const auto found = counts.find(key);
                if (found == counts.end()) continue;
                const bool blind = plan.Methods[unit.Method].Method->Capabilities().Blind;
                const std::size_t whole = !blind ? (unit.Attack == "copy" ? 1u : 2u)
                                                 : static_cast<std::size_t>(plan.Trials) * (unit.Attack == "copy" ? 1 : 2);
                if (found->second != whole)
                    throw CommandFailure{kExitUsage, "--resume: '" + o.jsonl + "' holds " +
                                                         std::to_string(found->second) + " rows of " +
                                                         plan.Methods[unit.Method].Label + " " + unit.Attack + " n=" +
                                                         std::to_string(unit.Pictures) + ", not " + std::to_string(whole) +
                                                         " (another --trials?); start a new file"};
                held.insert(key);
            }
        }
    }
    std::unique_ptr<PendingFile> htmlFile;
    if (!o.html.empty()) {
        try {
            htmlFile = std::make_unique<PendingFile>(o.html);
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--html: ") + e.what()};
        }
    }
    std::ofstream out;
    if (!o.jsonl.empty()) {
        out.open(o.jsonl, o.resume ? std::ios::app : std::ios::trunc);
        if (!out) throw CommandFailure{kExitUsage, "--jsonl: cannot write '" + o.jsonl + "'"};
    }
    ProgressBar bar("estimates");
    SecurityCallbacks callbacks;
    callbacks.Skip = [&](const SecurityUnit& unit) {
        return held.count(SecurityUnitKey(plan.Methods[unit.Method].Label, unit.Attack, unit.Pictures)) > 0;
    };
    callbacks.Rows = [&](const SecurityUnit&, const std::vector<SecurityRow>& made) {
        // A unit's rows go out together, so that a stopped run leaves whole units.
        if (out.is_open()) {
            std::string text;
            for (const SecurityRow& row : made) text += SecurityRowJson(row) + "\n";
            out << text;
            out.flush();
            if (!out) throw CommandFailure{kExitFailed, "--jsonl: cannot write '" + o.jsonl + "'"};
        }
        rows.insert(rows.end(), made.begin(), made.end());
    };
    callbacks.Progress = [&bar](std::size_t done, std::size_t total) { bar.Update(done, total); };
    RunSecurity(plan, callbacks);
    bar.Finish();
    if (out.is_open()) out.close();
    if (htmlFile) {
        const std::string html = SecurityHtml(rows, CommandLineText(), kProgramVersion);
        try {
            htmlFile->Commit(std::vector<std::uint8_t>(html.begin(), html.end()));
        } catch (const Error& e) {
            throw CommandFailure{kExitUsage, std::string("--html: ") + e.what()};
        }
    }
    std::size_t failed = 0;
    for (const SecurityRow& row : rows) failed += row.Failed() ? 1 : 0;
    std::set<std::string> notApplying;
    for (const SecuritySummary& s : SummariseSecurity(rows)) {
        if (!s.Applies) {
            // One line per method: the reason is the method's, not the attack's.
            if (notApplying.insert(s.Method).second)
                PrintLine(s.Method + ": the security attacks do not apply (" + s.Why + ")");
            continue;
        }
        std::string line = s.Method + " " + s.Attack + (s.Attack == "copy" ? "" : " n=" + std::to_string(s.Pictures)) +
                           " " + s.Use + ": ";
        line += "judged marked at 1e-6 " + RateLine(s.Rate1e6) + ", at 1e-3 " + RateLine(s.Rate1e3) + ", PSNR " +
                    Rounded(s.PsnrMedian, 1) + " dB, SSIM " + Rounded(s.SsimMedian, 3) + ", fit " +
                    Rounded(s.EstimateFit, 2) + " (" + std::to_string(s.Trials) + " trials)";
        PrintLine(line);
    }
    if (failed > 0)
        throw CommandFailure{kExitFailed, std::to_string(failed) + " of " + std::to_string(rows.size()) +
                                              " rows failed (their \"error\" field says why)"};
}

}  // namespace

void RegisterSecurityCommand(CLI::App& app) {
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "security",
        "Attacks on a key from pictures marked with it: the key's pattern estimated by averaging the high-pass "
        "residuals of n marked pictures, then subtracted from marked pictures (removal) or added to unmarked ones "
        "(forgery), and the copy attack (one marked picture's residual added to another picture)");
    cmd->add_option("HOSTS", o->hosts, "host pictures, or folders of them; the pictures are their 256 x 256 gray "
                                       "regions, turned, flipped and shifted to make as many as n needs")
        ->required();
    cmd->add_option("--method", o->methods,
                    "a method to attack, NAME[:param=value,...] (repeatable; default spread-spectrum and qim; " +
                        MethodListHelp() + ")")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--attack", o->attacks,
                    "averaging:n=LIST (the numbers of marked pictures, 1..1000) or copy (repeatable; default "
                    "averaging:n=10,50,200 and copy)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--seed", o->seed, "the key's seed (default 1)");
    cmd->add_option("--trials", o->trials, "suspect pictures per attack and use, 1..1000 (default 24)");
    CLI::Option* target = cmd->add_option("--target-psnr", o->targetPsnr,
                                          "mark with each method that has a strength at this embedding PSNR in dB");
    cmd->add_option("--jsonl", o->jsonl, "write the rows as JSON Lines to this file");
    cmd->add_flag("--resume", o->resume, "append to the --jsonl file, skipping the estimates it already holds");
    cmd->add_option("--html", o->html, "write the report to this file");
    cmd->footer("Prints one line per method, attack, n and use: the share judged marked at 1e-6 and 1e-3 with its "
                "Wilson 95 % interval, the median PSNR and SSIM of the attacked or forged pictures and the estimate's "
                "fit. Exit code 1 when a row failed, 2 for bad arguments or files.");
    cmd->callback([o, target] { Run(*o, target->count() > 0); });
}

}  // namespace quillfen::cli
