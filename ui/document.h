#pragma once
// Document: everything one document window holds, apart from its widgets. The picture it
// shows, the working image of the toolbox with its history, the watermark picture of the
// "Embedded Watermark" panel and the view of the "Extracted Watermark" panel, the experiment
// and the results its commands found. The window (TMDIChild) draws it and runs its commands
// on it; the main frame only forwards commands to the active document and shows its panels.
//
// No Qt here, so that the model can be driven and checked without windows.
//
// In the program's first design these were fields of the window, named with the F prefix of
// private fields: FIpa (the working image, here Image()), FWatermark (the workspace, now
// inside the experiment), FPixelFormat (Format()) and FStatusText, a scratch string for the
// reports, which Results() replaces.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/progress.h"
#include "quillfen/image/report.h"
#include "quillfen/toolbox/catalogue.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/registration.h"
#include "ui/step_presentation.h"

namespace quillfen {
struct TestAccess;
}

namespace quillfen::ui {

// The pixel format of a picture as it was opened; decides how Save writes it.
enum class PixelFormat { Unknown, Bit8, Bit24 };

// One line of the document's results: what a command found, when, and what made it.
struct ResultLine {
    std::uint64_t id = 0;  // unique within the document, never reused
    std::chrono::system_clock::time_point time;
    std::string source;        // the command as the menus name it: "Get Wr", "Iterative Selection"
    std::optional<Step> step;  // the watermark step that made it; none for the toolbox
    // The experiment's run that found it: the line goes once that run no longer holds
    // (Experiment::Holds). 0 for lines that stay (the toolbox's).
    std::uint64_t run = 0;
    int panel = 1;  // the status bar's panel 0..2 that shows it too, or kListOnly
    Report report;
};

// A picture shared between the document, its history and the window that draws it. It never
// changes once made: a change is a new picture, so that a window can keep drawing the old one
// while a worker makes the next, and "is this the picture shown" is a pointer comparison.
using PictureRef = std::shared_ptr<const Bitmap>;

// A gray plane as the history keeps it: compressed when that saves room (a thresholded or
// edge picture shrinks to a few per cent), as it is otherwise.
class PackedPlane {
public:
    PackedPlane() = default;
    // Packs `plane` (on any thread).
    static PackedPlane Of(const GrayPlane& plane);
    // The plane again, pixel for pixel.
    GrayPlane Unpack() const;
    std::size_t Bytes() const { return bytes_.size(); }

private:
    int width_ = 0;
    int height_ = 0;
    bool compressed_ = false;
    std::vector<std::uint8_t> bytes_;
};

// A picture read from a file, made ready to be shown and worked on (on any thread): the
// picture, its working image and the format it was read in.
struct PreparedPicture {
    PictureRef picture;
    TRixIPA image;
    PixelFormat format = PixelFormat::Unknown;
};
// Throws FormatError for pictures beyond the working image's limits.
PreparedPicture PreparePicture(Bitmap picture, PixelFormat format);

// A toolbox operation's result, computed on a copy of the working image (on any thread), with
// what the document needs to make it current without further work on pixels: the picture to
// show and the image before, packed for the history.
struct ToolboxOutcome {
    TRixIPA image;
    std::optional<Report> report;
    PictureRef picture;
    PackedPlane before;
};

// What a toolbox operation that reports nothing did, as its result line says it ("Histogram
// equalized"), in the words of the "Toolbox" texts.
Report DoneReport(const toolbox::Operation& operation);

// Undo or Redo made ready on any thread: the working image on the other side of the change,
// its picture, and the current image packed for the opposite list.
struct PreparedSwap {
    TRixIPA image;
    PictureRef picture;
    PackedPlane current;
};

class Document {
public:
    // At least this many toolbox operations can be taken back, as long as their pictures fit
    // in the memory budget; the oldest go first when either is exceeded, the last always stays.
    static constexpr int kHistoryLevels = 64;
    static constexpr std::size_t kHistoryBudget = std::size_t{512} * 1024 * 1024;

    // ---- The picture ----------------------------------------------------------------
    // The document's picture: the picture opened with the toolbox commands applied to it.
    // It is what Save writes, what "modified" is about and the host of every experiment;
    // the method's steps never change it.
    const Bitmap& Picture() const { return picture_ ? *picture_ : Empty(); }
    const PictureRef& SharedPicture() const { return picture_; }
    // What the window shows: the view the last step left (in the document's window, as the
    // method presents its planes), or the picture when no view is up. A toolbox command,
    // Undo and Redo show the picture again.
    const Bitmap& Shown() const { return ShownShared() ? *ShownShared() : Empty(); }
    const PictureRef& ShownShared() const { return view_ ? view_ : picture_; }
    // The name of the view shown ("X_hat"), empty while the picture is shown.
    const std::string& ViewName() const { return viewName_; }
    PixelFormat Format() const { return format_; }
    // A newly opened picture, into the working image too. Throws FormatError (the document
    // unchanged) for pictures beyond the working image's limits.
    void Open(Bitmap picture, PixelFormat format);
    void Open(PreparedPicture prepared);
    // True when the picture differs from what was last opened or saved: toolbox results
    // only. Taking every change back makes it false again.
    bool Modified() const { return revision_ != savedRevision_; }
    // The picture has been written to its file.
    void MarkSaved() { savedRevision_ = revision_; }
    // A picture made in the program (a robustness row) has no file: it counts as changed
    // until it is saved, so that closing it or the program asks first.
    void MarkNeverSaved() { savedRevision_ = kNeverSaved; }
    bool NeverSaved() const { return savedRevision_ == kNeverSaved; }

    // ---- The toolbox ----------------------------------------------------------------
    const TRixIPA& Image() const { return *image_; }
    // Runs one operation on `image` (a copy of the working image) with its arguments' values; `progress` may stop
    // it (Cancelled). The operation's errors pass through. Touches no document, so it may run
    // on a worker thread while the document goes on being shown.
    static ToolboxOutcome ComputeToolbox(TRixIPA image, const toolbox::Operation& operation,
                                         const std::vector<int>& values, ProgressSink* progress = nullptr);
    // The working image, shared: a worker copies it for itself.
    std::shared_ptr<const TRixIPA> SharedImage() const { return image_; }
    // Makes an outcome of ComputeToolbox current: the image before goes into the history, the
    // window shows the result and its report joins the results on `panel`. Returns the
    // report's line.
    std::optional<ResultLine> ApplyToolbox(const toolbox::Operation& operation, ToolboxOutcome outcome, int panel);
    // Both at once, on this thread.
    std::optional<ResultLine> RunToolbox(const toolbox::Operation& operation, const std::vector<int>& values,
                                         int panel);

    // ---- History --------------------------------------------------------------------
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    // What Undo and Redo would take back or do again ("" when nothing).
    std::string UndoName() const { return undo_.empty() ? std::string() : undo_.back().name; }
    std::string RedoName() const { return redo_.empty() ? std::string() : redo_.back().name; }
    // Takes back the last toolbox operation (and its result line), or does it again (and
    // returns its result line again).
    void Undo();
    std::optional<ResultLine> Redo();
    // The same in two halves, for large pictures: the pixel work (on a worker thread, while
    // nothing else changes the document), then the change itself. `undoing` chooses the list.
    PreparedSwap PrepareSwap(bool undoing) const;
    std::optional<ResultLine> ApplySwap(bool undoing, PreparedSwap prepared);
    int UndoLevels() const { return static_cast<int>(undo_.size()); }
    std::size_t HistoryBytes() const;
    void SetHistoryBudget(std::size_t bytes) { budget_ = bytes; }

    // ---- The watermark --------------------------------------------------------------
    // The picture of the "Embedded Watermark" panel and the view of the "Extracted
    // Watermark" panel; both empty until the commands put something there.
    const Bitmap& Watermark() const { return watermark_; }
    const Bitmap& ExtractedView() const { return extracted_; }
    const Experiment& GetExperiment() const { return experiment_; }
    // Loads the experiment's host from the document's picture (the window then shows the
    // 256 x 256 part used, as a view) and its watermark from `mark` (kept, at 128 x 128, as
    // the panel's picture). Every step's result is stale.
    void LoadWatermark(Bitmap mark);
    // The mark has a black pixel (below 128) where NC compares (rows and columns 4..127 of
    // its 128 x 128): without one the embedding has nothing to find again.
    static bool HasBlackToFind(const Bitmap& mark);
    // A load the user cancelled: the panel is emptied; the experiment keeps what it has.
    void DropWatermark();
    // "Clear" on a panel: the panel is emptied and every step has to run again.
    void ClearWatermarkPanel();
    void ClearExtractedPanel();
    // Every step has to run again; the pictures stay, the steps' results go.
    void ForgetSteps();
    // Runs one step (Experiment::Run, StepRefused when it cannot run yet), puts the view it
    // leaves where its presentation says and keeps its results, in place of what the step
    // found before (Get Wr's seed line among them). What the run makes stale goes
    // first: the results, and the extracted view, of runs that no longer hold. A Get Wr after
    // the picture has changed (a toolbox command since the load) loads the host again from
    // the picture first: every embedding starts from the document's picture.
    StepResult RunStep(Step step);
    // The picture the last load took its host from, at full size; empty before a load.
    const Bitmap& Host() const { return host_ ? *host_ : Empty(); }
    const PictureRef& SharedHost() const { return host_; }
    // The watermarked image (Host() with the marked region replaced by X_hat) and its key,
    // as `quillfen-cli embed` writes them. StepRefused before Get X_hat; Error when a step of
    // the embedding ran again after a later one, so that X_hat no longer follows from the
    // key; ArgumentError as MarkHost.
    MarkedHost Marked() const;
    // A picture attacked outside the program becomes X_wave, for the extraction steps to
    // score it. A picture of X_hat's size or of the host's is read at its top-left 256 x 256
    // as it is; one of any other size is first registered to the watermarked image (the
    // transform is its result line, and is returned). It stands for an attack: the attack's
    // and extraction's results and the extracted view go, and the picture shows X_wave.
    // StepRefused before Get X_hat; registration errors pass through with nothing changed.
    std::optional<Registration> LoadAttacked(const Bitmap& attacked, const std::string& source);
    // What was written for the current embedding: set by the window after it wrote a file,
    // dropped when the embedding changes, so that the menu marks follow the experiment's.
    enum class Written { Key, MarkedImage };
    bool HasWritten(Written what) const {
        const std::uint64_t embedding = written_[static_cast<int>(what)];
        return embedding != 0 && embedding == experiment_.EmbeddingRun();
    }
    void MarkWritten(Written what) { written_[static_cast<int>(what)] = experiment_.EmbeddingRun(); }

    // The seed of Get Wr, which the experiment holds: for every Get Wr (nullopt: the clock),
    // or for the next one only, the later ones taking the clock.
    void SetFixedSeed(std::optional<std::uint32_t> seed) { experiment_.SetFixedSeed(seed); }
    void SetNextSeed(std::optional<std::uint32_t> seed) { experiment_.SetNextSeed(seed); }
    std::optional<std::uint32_t> NextSeed() const { return experiment_.NextSeed(); }
    // The seed every Get Wr takes until it is changed or cleared (nullopt: the clock).
    std::optional<std::uint32_t> FixedSeed() const { return experiment_.Workspace().GetFixedSeed(); }

    // A document opened from elsewhere (a row of the robustness window) with pictures of its
    // own in the watermark panels, and its measures as result lines of `source`.
    void ShowPanels(Bitmap watermark, Bitmap extracted);
    void AddReports(const std::string& source, const std::vector<StepReport>& reports);

    // ---- Results --------------------------------------------------------------------
    // The results that still hold, oldest first: what the steps found (one set per step), the
    // reports of the toolbox operations, and the seed of the Get Wr that holds.
    const std::vector<ResultLine>& Results() const { return lines_; }
    // Their reports.
    std::vector<Report> Reports() const;
    bool HasLine(std::uint64_t id) const;
    // The id of the newest line ever made (0 before the first): later lines have larger ids.
    std::uint64_t LastLineId() const { return lastLine_; }
    // What every step run in this document found, oldest first, stale ones included.
    const std::vector<StepResult>& StepResults() const { return results_; }
    // Told of every line that joins the results (its place follows from its id: the lines
    // are in id order) and of every line that leaves them, as it happens.
    struct Listener {
        std::function<void(const ResultLine&)> added;
        std::function<void(std::uint64_t id)> removed;
    };
    void Listen(Listener listener) { listener_ = std::move(listener); }

private:
    friend struct quillfen::TestAccess;

    struct HistoryEntry {
        std::string name;                 // the operation's caption
        PackedPlane image;                // the working image on the other side of the change
        std::uint64_t revision = 0;       // the picture's revision on the other side
        std::optional<ResultLine> line;   // the operation's result line
    };

    static const Bitmap& Empty();
    // Shows a view of the method in the window (nullptr: the picture again).
    void ShowView(Bitmap view, std::string name);
    void ShowPicture() {
        view_.reset();
        viewName_.clear();
    }
    // Loads the experiment from the picture and the panel's watermark.
    void LoadExperiment(Bitmap mark);
    // The picture is no longer the experiment's host (a toolbox command, Undo, Redo): every
    // step's results go, as after a new load, and a loaded watermark is loaded again on the
    // picture as it is now.
    void EndEmbedding();
    // The verdict on the extraction of a picture attacked elsewhere (VerdictReport), or why
    // there is none.
    Report VerdictOfExtraction() const;
    // The bit error rate of the extraction over the whole mark (WholeMarkBitErrorRate), as
    // `quillfen-cli extract` and the robustness rows give it; none when the embedding's steps
    // did not run in order.
    std::optional<double> BerOfExtraction() const;

    // Drops the results that no longer hold (the experiment says which) and, with `views`,
    // the extracted view when the run that made it no longer holds.
    void DropStale(bool views = true);
    const ResultLine& AddLine(const std::string& source, std::optional<Step> step, std::uint64_t run, int panel,
                              Report report);
    // A line back in its place among the others (Redo), which are in the order they were made.
    void InsertLine(const ResultLine& line);
    void RemoveLine(std::uint64_t id);
    // The picture changed in a way no history entry records.
    void Touch() { revision_ = ++lastRevision_; }
    void TrimHistory();

    PictureRef picture_;
    PictureRef view_;
    std::string viewName_;
    PictureRef host_;
    std::uint64_t hostRevision_ = 0;  // the picture's revision the host was taken at
    // Per file written, the embedding it was written from (Experiment::EmbeddingRun).
    std::array<std::uint64_t, 2> written_{};
    PixelFormat format_ = PixelFormat::Unknown;
    std::shared_ptr<const TRixIPA> image_ = std::make_shared<TRixIPA>();
    Bitmap watermark_;
    Bitmap extracted_;
    std::uint64_t extractedBy_ = 0;  // the run whose view the extracted panel shows; 0: none
    Experiment experiment_;
    std::vector<ResultLine> lines_;
    Listener listener_;
    std::uint64_t lastLine_ = 0;
    std::vector<StepResult> results_;
    std::deque<HistoryEntry> undo_;
    std::deque<HistoryEntry> redo_;
    std::size_t budget_ = kHistoryBudget;
    std::uint64_t revision_ = 0;
    static constexpr std::uint64_t kNeverSaved = ~std::uint64_t{0};  // no revision reaches it
    std::uint64_t savedRevision_ = 0;
    std::uint64_t lastRevision_ = 0;
};

}  // namespace quillfen::ui
