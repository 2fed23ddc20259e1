#pragma once
// Document: everything one document window holds, apart from its widgets. The picture it
// shows, the working image of the toolbox with its undo copy, the watermark picture of the
// "Embedded Watermark" panel and the view of the "Extracted Watermark" panel, the experiment
// and the reports its commands made. The window (TMDIChild) draws it and runs its commands
// on it; the main frame only forwards commands to the active document and shows its panels.
//
// No Qt here, so that the model can be driven and checked without windows.
//
// In the program's first design these were fields of the window, named with the F prefix of
// private fields: FIpa (the working image, here Image()), FWatermark (the workspace, now
// inside the experiment), FPixelFormat (Format()) and FStatusText, a scratch string for the
// reports, which Reports() replaces.
#include <cstdint>
#include <optional>
#include <vector>

#include "image/bitmap.h"
#include "image/report.h"
#include "image/rix_ipa.h"
#include "toolbox/catalogue.h"
#include "watermark/experiment.h"

namespace quillfen {
struct TestAccess;
}

namespace quillfen::ui {

// The pixel format of a picture as it was opened; decides how Save writes it.
enum class PixelFormat { Unknown, Bit8, Bit24 };

// Where a step's view goes: the document's own picture or the "Extracted Watermark" panel.
enum class ViewTarget { Picture, ExtractedPanel };

class Document {
public:
    // ---- The picture ----------------------------------------------------------------
    // What the window shows: the opened picture, the last step's view or the toolbox's
    // result.
    const Bitmap& Picture() const { return picture_; }
    PixelFormat Format() const { return format_; }
    // A newly opened picture (empty when the file could not be read), into the working
    // image too.
    void Open(Bitmap picture, PixelFormat format);

    // ---- The toolbox ----------------------------------------------------------------
    const TRixIPA& Image() const { return image_; }
    bool CanUndo() const { return image_.GetUndoReady(); }
    // Runs one operation with its arguments' values, shows the result and keeps its report.
    // The operation's errors pass through with everything as it was.
    std::optional<Report> RunToolbox(const toolbox::Operation& operation, const std::vector<int>& values);
    // Takes back the last toolbox operation once and shows the image again.
    void Undo();

    // ---- The watermark --------------------------------------------------------------
    // The picture of the "Embedded Watermark" panel and the view of the "Extracted
    // Watermark" panel; both empty until the commands put something there.
    const Bitmap& Watermark() const { return watermark_; }
    const Bitmap& ExtractedView() const { return extracted_; }
    const Experiment& GetExperiment() const { return experiment_; }
    // Loads the experiment's host from the picture shown (which then shows the 256 x 256
    // part used) and its watermark from `mark` (kept, at 128 x 128, as the panel's picture).
    void LoadWatermark(Bitmap mark);
    // A load the user cancelled: the panel is emptied; the experiment keeps what it has.
    void DropWatermark();
    // "Clear" on a panel: the panel is emptied and every step has to run again.
    void ClearWatermarkPanel();
    void ClearExtractedPanel();
    // Every step has to run again; the pictures stay.
    void ForgetSteps() { experiment_.Forget(); }
    // Runs one step (Experiment::Run, StepRefused when it cannot run yet), puts the view it
    // leaves where `target` says and keeps its reports.
    StepResult RunStep(Step step, ViewTarget target);
    void SetFixedSeed(std::optional<std::uint32_t> seed) { experiment_.SetFixedSeed(seed); }

    // ---- Reports --------------------------------------------------------------------
    // Every report the document's commands made, oldest first.
    const std::vector<Report>& Reports() const { return reports_; }
    // What every step run in this document found, oldest first.
    const std::vector<StepResult>& StepResults() const { return results_; }

private:
    friend struct quillfen::TestAccess;

    Bitmap picture_;
    PixelFormat format_ = PixelFormat::Unknown;
    TRixIPA image_;
    Bitmap watermark_;
    Bitmap extracted_;
    Experiment experiment_;
    std::vector<Report> reports_;
    std::vector<StepResult> results_;
};

}  // namespace quillfen::ui
