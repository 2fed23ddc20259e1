#include "quillfen/watermark/experiment_outcome.h"

#include <algorithm>
#include <memory>

#include <nlohmann/json.hpp>

#include "quillfen/image/errors.h"

namespace quillfen {

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

}  // namespace

const StepResult& ExperimentOutcome::Of(Step step) const {
    const auto found = std::find_if(embedding.rbegin(), embedding.rend(), [step](const StepResult& r) { return r.step == step; });
    if (found == embedding.rend()) throw ArgumentError(std::string("no result of ") + Experiment::Info(step).id);
    return *found;
}

ExperimentOutcome RunExperiment(Bitmap host, Bitmap mark, std::optional<std::uint32_t> seed,
                                const std::vector<Step>& attacks, const ExperimentResultSink& onResult,
                                const ExperimentViewSink& keepView) {
    const bool keepViews = static_cast<bool>(keepView);
    // Only a caller of the views has them rendered.
    auto experiment = std::make_unique<Experiment>(keepViews ? TWatermark::Planes::All : TWatermark::Planes::ResultsOnly);
    const TWatermark& w = experiment->Workspace();
    ExperimentOutcome outcome;
    auto keep = [&](const std::string& name, const std::vector<std::uint8_t>& plane) {
        if (keepViews) keepView(name, plane);
    };
    // Runs one step and hands on its result and the view it leaves, under `folder`.
    auto run = [&](Step step, const std::string& folder) {
        const StepResult result = experiment->Run(step);
        if (onResult) onResult(result);
        const StepInfo& info = Experiment::Info(step);
        if (info.viewName != nullptr) keep(folder + info.viewName + ".pgm", experiment->View(info.view));
        return result;
    };

    experiment->Load(host, mark);
    keep("X.pgm", w.X());
    experiment->SetFixedSeed(seed);
    for (const Step step : Experiment::EmbeddingChain()) outcome.embedding.push_back(run(step, ""));
    outcome.seed = experiment->Seed();
    keep("W.pgm", w.W());  // binarised by GetWr
    outcome.embedding.push_back(run(Step::GetPSNR, ""));

    for (const Step attack : attacks.empty() ? Experiment::Attacks() : attacks) {
        const std::string folder = std::string(Experiment::Info(attack).id) + "/";
        AttackOutcome result{attack, run(attack, folder), {}};
        for (const Step step : Experiment::ExtractionChain()) run(step, folder);
        result.nc = run(Step::GetNC, folder);
        outcome.attacks.push_back(result);
    }
    return outcome;
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

}  // namespace quillfen
