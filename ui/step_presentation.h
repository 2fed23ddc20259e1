#pragma once
// How the windows present the steps of the method: for every step its menu entry, the texts
// of the status bar around it, whether it shows the hourglass, where its view goes, the words
// of its results and why it cannot run yet. The Experiment holds what a step is and when it
// may run; every word the windows say about a step is here, in one table, and nowhere else.
//
// No Qt here: the document model (document.h) words the results it keeps with it.
#include <string>
#include <vector>

#include "quillfen/image/report.h"
#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/marking.h"

namespace quillfen::ui {

// Where a step's view goes: the document's own picture or the "Extracted Watermark" panel.
enum class ViewTarget { Picture, ExtractedPanel };

// The status bar's panels a result line is shown in: 0 for what a command is doing, 1 its
// result, 2 a second result. The Results list shows every line, and some only there.
inline constexpr int kListOnly = -1;

struct StepPresentation {
    Step step;
    const char* action;   // the action's object name
    const char* caption;  // its menu entry
    const char* start;    // panel 0 before the step runs; nullptr for none
    const char* end;      // panel 0 once it has run; nullptr keeps the start text
    bool busy;            // the hourglass while it runs
    ViewTarget target;    // where a 128 x 128 view goes
    bool separatorAfter;  // a menu separator follows its entry
    bool hidden;          // its menu entry is hidden (the two saves)
    const char* refusal;  // why it cannot run yet (its prerequisite has not run)
};

const StepPresentation& PresentationOf(Step step);

// How the Results list names a step: its menu caption up to the explanation in brackets
// ("Get Wr", "Apply Jpeg to X_hat").
std::string StepName(Step step);

// The message when PSNR compares two equal images, which have no PSNR (a text of the "Step"
// context, as the table's).
inline constexpr const char* kImagesEqualText = "Watermarked image is equal to Original image\rPSNR is infinite value";
// The name of the step's line in the Results list when a picture attacked elsewhere stands
// for the attack.
inline constexpr const char* kLoadAttackedSource = "Load Attacked Image";

// A step's result as the windows show it: the report and the panel it goes to.
struct StepReport {
    int panel = 1;
    Report report;
};
// "Wr count =1234", "Wa count =", "PSNR = " (with "Diff = " on panel 2 for the JPEG attack),
// "NC ="; nothing for the steps that find no number.
std::vector<StepReport> ReportsOf(const StepResult& result);
// The line of the Results list that keeps the seed a Get Wr drew with.
Report SeedReport(std::uint32_t seed);
// The verdict on a picture attacked elsewhere, worded as `quillfen-cli extract` words it:
// "mark present: score 0.612 ≥ 0.125 (false alarms ≤ 1e-6)" or "no mark found: score 0.004 <
// 0.125 (...)", the score and threshold to three decimals.
Report VerdictReport(const Verdict& verdict);
// Why a picture attacked elsewhere gets no verdict: X_hat no longer follows from the
// embedding's steps, or the mark leaves too few relations for a score.
inline constexpr const char* kNoVerdictOrderText =
    "no verdict: X_hat no longer follows from the embedding's steps (run the embedding again)";
inline constexpr const char* kNoVerdictRelationsText =
    "no verdict: the mark leaves too few relations of the host to tell a marked picture from an unmarked one";

}  // namespace quillfen::ui
