#pragma once
// What `quillfen-cli experiment` reports of a run, as one JSON object (--json) or as the
// status texts of the desktop program, built from the Experiment's step results. The window
// tests build the same JSON from an experiment run through the menus.
#include <cstdint>
#include <string>
#include <vector>

#include "quillfen/watermark/experiment.h"

namespace quillfen::cli {

struct AttackOutcome {
    Step attack = Step::NoAttack;
    StepResult scored;  // the attack's own result (the JPEG attack's PSNR)
    StepResult nc;      // GetNC after the extraction
};

struct ExperimentOutcome {
    std::uint32_t seed = 0;
    std::vector<StepResult> embedding;  // GetWr .. GetX_hat and GetPSNR, at least
    std::vector<AttackOutcome> attacks;

    // The last result of `step` among the embedding's.
    const StepResult& Of(Step step) const;
};

// {"seed", "wr_count", "wa_count", "psnr", "sum_sq", "attacks": {...}}, indented by 2, with
// full-precision numbers and null where a value does not exist.
std::string ExperimentJson(const ExperimentOutcome& outcome);
// The text report, line by line.
std::vector<std::string> ExperimentText(const ExperimentOutcome& outcome);

}  // namespace quillfen::cli
