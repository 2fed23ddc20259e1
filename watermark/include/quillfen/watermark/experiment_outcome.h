#pragma once
// The whole experiment in one call, as `quillfen-cli experiment` and the Python package run
// it: the embedding chain and GetPSNR, then for each attack the attack, the extraction chain
// and GetNC, each attack starting again from X_hat. Its outcome is the experiment's step
// results, and the one JSON form of them (`experiment --json`), written here so that every
// front end gives the same bytes.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/watermark/experiment.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct AttackOutcome {
    Step attack = Step::NoAttack;
    StepResult scored;  // the attack's own result (the JPEG attack's PSNR)
    StepResult nc;      // GetNC after the extraction
};

struct ExperimentOutcome {
    std::uint32_t seed = 0;
    std::vector<StepResult> embedding;  // GetWr .. GetX_hat and GetPSNR, at least
    std::vector<AttackOutcome> attacks;

    // The last result of `step` among the embedding's (ArgumentError when there is none).
    const StepResult& Of(Step step) const;
};

// Told of each step's result as it runs, in order.
using ExperimentResultSink = std::function<void(const StepResult&)>;
// Given each view a step leaves, under the name `experiment --out` writes it as ("X.pgm",
// "jpeg/W_wave.pgm"): 256 x 256 or 128 x 128 bytes, row-major.
using ExperimentViewSink = std::function<void(const std::string& name, const std::vector<std::uint8_t>& plane)>;

// Runs the experiment on `host` (used at 256 x 256) and `mark` (at 128 x 128) with the
// generator started from `seed` (the clock's when none), for `attacks` in that order (the
// seven of Experiment::Attacks() when empty). Without a view sink it runs results-only: no
// view is rendered.
ExperimentOutcome RunExperiment(Bitmap host, Bitmap mark, std::optional<std::uint32_t> seed,
                                const std::vector<Step>& attacks, const ExperimentResultSink& onResult = {},
                                const ExperimentViewSink& keepView = {});

// {"seed", "wr_count", "wa_count", "psnr", "sum_sq", "attacks": {"<attack>": {"nc"} /
// "jpeg": {"psnr", "diff", "nc"}}}, indented by 2, without a final newline, with
// full-precision numbers and null where a value does not exist.
std::string ExperimentJson(const ExperimentOutcome& outcome);

}  // namespace quillfen
QUILLFEN_API_END
