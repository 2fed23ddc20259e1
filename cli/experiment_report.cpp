#include "cli/experiment_report.h"

#include <algorithm>
#include <optional>

#include <nlohmann/json.hpp>

#include "quillfen/image/number_format.h"

namespace quillfen::cli {

namespace {

nlohmann::json OptionalNumber(const std::optional<double>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

std::optional<double> PsnrOf(const std::optional<PsnrResult>& result) {
    return result ? std::optional<double>(result->Psnr) : std::nullopt;
}

std::optional<double> SumSqOf(const std::optional<PsnrResult>& result) {
    return result ? std::optional<double>(result->SumSq) : std::nullopt;
}

// The words of the status texts the windows show for these results.
std::string Psnr(const std::optional<PsnrResult>& result) {
    return result ? "PSNR = " + FormatFixed(result->Psnr, 5) : std::string("PSNR = infinite");
}

std::string Nc(const std::optional<double>& nc) {
    return nc ? "NC =" + FormatFixed(*nc, 5) : std::string("NC =undefined");
}

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

const StepResult& ExperimentOutcome::Of(Step step) const {
    const auto found = std::find_if(embedding.rbegin(), embedding.rend(), [step](const StepResult& r) { return r.step == step; });
    if (found == embedding.rend()) throw ArgumentError(std::string("no result of ") + Experiment::Info(step).id);
    return *found;
}

std::string ExperimentJson(const ExperimentOutcome& o) {
    const std::optional<PsnrResult>& psnr = o.Of(Step::GetPSNR).psnr;
    nlohmann::ordered_json report;
    report["seed"] = o.seed;
    report["wr_count"] = o.Of(Step::GetWr).blackCount;
    report["wa_count"] = o.Of(Step::GetWa).blackCount;
    report["psnr"] = OptionalNumber(PsnrOf(psnr));
    report["sum_sq"] = OptionalNumber(SumSqOf(psnr));
    nlohmann::ordered_json attacks = nlohmann::ordered_json::object();
    for (const AttackOutcome& a : o.attacks) {
        nlohmann::ordered_json entry;
        if (a.attack == Step::Jpeg) {
            entry["psnr"] = OptionalNumber(PsnrOf(a.scored.psnr));
            entry["diff"] = OptionalNumber(SumSqOf(a.scored.psnr));
        }
        entry["nc"] = OptionalNumber(a.nc.nc);
        attacks[Experiment::Info(a.attack).id] = entry;
    }
    report["attacks"] = attacks;
    return report.dump(2);
}

std::vector<std::string> ExperimentText(const ExperimentOutcome& o) {
    std::vector<std::string> lines{"seed = " + std::to_string(o.seed),
                                   "Wr count =" + std::to_string(o.Of(Step::GetWr).blackCount),
                                   "Wa count =" + std::to_string(o.Of(Step::GetWa).blackCount),
                                   Psnr(o.Of(Step::GetPSNR).psnr)};
    lines.emplace_back();
    lines.push_back(Padded("attack", 20) + Padded("NC", 16) + "JPEG score");
    for (const AttackOutcome& a : o.attacks) {
        std::string line = Padded(Experiment::Info(a.attack).id, 20) + Padded(Nc(a.nc.nc), 16);
        if (a.attack == Step::Jpeg) {
            // Without a PSNR the sum of squared differences says nothing either.
            line += a.scored.psnr ? Psnr(a.scored.psnr) + "  Diff = " + FormatFixed(a.scored.psnr->SumSq, 5)
                                  : std::string("PSNR = infinite  Diff = none");
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace quillfen::cli
