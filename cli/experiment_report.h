#pragma once
// What `quillfen-cli experiment` reports of a run: the status texts of the desktop program,
// built from the Experiment's step results; --json prints the library's ExperimentJson, which
// the window tests build from an experiment run through the menus.
#include <string>
#include <vector>

#include "quillfen/watermark/experiment_outcome.h"

namespace quillfen::cli {

// The outcome and its JSON are the library's (quillfen/watermark/experiment_outcome.h).
using quillfen::AttackOutcome;
using quillfen::ExperimentJson;
using quillfen::ExperimentOutcome;

// The text report, line by line.
std::vector<std::string> ExperimentText(const ExperimentOutcome& outcome);

}  // namespace quillfen::cli
