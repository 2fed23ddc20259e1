#include "ui/document.h"

#include <algorithm>
#include <utility>

#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"
#include "ui/step_presentation.h"

namespace quillfen::ui {

void Document::Open(Bitmap picture, PixelFormat format) {
    image_.LoadFromBitmap(picture);
    picture_ = std::move(picture);
    format_ = format;
    undo_.clear();
    redo_.clear();
    revision_ = savedRevision_ = lastRevision_ = 0;
}

// ---- The toolbox ------------------------------------------------------------------------------

ToolboxOutcome Document::ComputeToolbox(TRixIPA image, const toolbox::Operation& operation,
                                        const std::vector<int>& values, ProgressSink* progress) {
    ToolboxOutcome outcome{std::move(image), std::nullopt};
    outcome.image.SetProgress(progress);
    outcome.report = operation.run(outcome.image, values);
    outcome.image.SetProgress(nullptr);
    return outcome;
}

std::optional<ResultLine> Document::ApplyToolbox(const toolbox::Operation& operation, ToolboxOutcome outcome,
                                                 int panel) {
    HistoryEntry before{operation.caption, image_.Plane(), revision_, std::nullopt};
    image_ = std::move(outcome.image);
    picture_ = image_.CreateBitmap();
    Touch();
    std::optional<ResultLine> line;
    if (outcome.report) line = AddLine(operation.caption, std::nullopt, 0, panel, *outcome.report);
    before.line = line;
    undo_.push_back(std::move(before));
    redo_.clear();
    TrimHistory();
    return line;
}

std::optional<ResultLine> Document::RunToolbox(const toolbox::Operation& operation, const std::vector<int>& values,
                                               int panel) {
    return ApplyToolbox(operation, ComputeToolbox(image_, operation, values), panel);
}

// ---- History ----------------------------------------------------------------------------------

void Document::Undo() {
    if (!undo_.empty()) Swap(undo_, redo_, true);
}

std::optional<ResultLine> Document::Redo() {
    if (redo_.empty()) return std::nullopt;
    return Swap(redo_, undo_, false);
}

std::optional<ResultLine> Document::Swap(std::deque<HistoryEntry>& from, std::deque<HistoryEntry>& to,
                                         bool undoing) {
    HistoryEntry entry = std::move(from.back());
    from.pop_back();
    HistoryEntry other{entry.name, image_.Plane(), revision_, entry.line};
    image_.LoadFromGray(entry.image.width(), entry.image.height(), entry.image.data());
    picture_ = image_.CreateBitmap();
    revision_ = entry.revision;
    if (entry.line) {
        if (undoing) {
            RemoveLine(entry.line->id);
        } else {
            InsertLine(*entry.line);
        }
    }
    to.push_back(std::move(other));
    return entry.line;
}

std::size_t Document::HistoryBytes() const {
    std::size_t bytes = 0;
    for (const auto* stack : {&undo_, &redo_})
        for (const HistoryEntry& entry : *stack) bytes += entry.image.pixels().size();
    return bytes;
}

void Document::TrimHistory() {
    while (undo_.size() > 1 && (undo_.size() > static_cast<std::size_t>(kHistoryLevels) || HistoryBytes() > budget_))
        undo_.pop_front();
}

// ---- The watermark ----------------------------------------------------------------------------

void Document::LoadWatermark(Bitmap mark) {
    host_ = picture_;
    Bitmap host = picture_;
    experiment_.Load(host, mark);
    if (!(host == picture_)) Touch();
    picture_ = std::move(host);
    watermark_ = std::move(mark);
    DropStale();
}

void Document::DropWatermark() { watermark_ = Bitmap(); }

void Document::ClearWatermarkPanel() {
    watermark_ = Bitmap();
    ForgetSteps();
}

void Document::ClearExtractedPanel() {
    extracted_ = Bitmap();
    extractedBy_ = 0;
    ForgetSteps();
}

void Document::ForgetSteps() {
    experiment_.Forget();
    // "Clear" empties only the panel it was chosen on: the other keeps its picture.
    DropStale(false);
}

StepResult Document::RunStep(Step step) {
    const StepResult result = experiment_.Run(step);
    // What the run made stale goes: after an attack, what the last attack and its extraction
    // found; after a step run again, what it found before.
    DropStale();
    const StepView view = Experiment::Info(step).view;
    if (view != StepView::None) {
        const TWatermark::Bytes& plane = experiment_.View(view);
        Bitmap bitmap = view == StepView::Host ? TWatermark::MakeBitmap256(plane) : TWatermark::MakeBitmap128(plane);
        if (PresentationOf(step).target == ViewTarget::ExtractedPanel) {
            extracted_ = std::move(bitmap);
            extractedBy_ = result.run;
        } else {
            if (!(bitmap == picture_)) Touch();
            picture_ = std::move(bitmap);
        }
    }
    const std::string source = StepName(step);
    // Every seed used stays in the list, to repeat its run with.
    if (step == Step::GetWr) AddLine(source, step, 0, kListOnly, SeedReport(result.seed));
    for (const StepReport& shown : ReportsOf(result)) AddLine(source, step, result.run, shown.panel, shown.report);
    results_.push_back(result);
    return result;
}

MarkedHost Document::Marked() const {
    if (!experiment_.HasRun(Step::GetX_hat)) throw StepRefused(Step::SaveX_hat);
    // X_hat follows from the key only when each step of the embedding last ran after the one
    // before it.
    if (!experiment_.EmbeddingInOrder())
        throw Error("X_hat no longer follows from the embedding's steps (a step ran again after a later one): "
                    "run the embedding again (Run Embedding) before saving");
    return MarkHost(experiment_, host_);
}

std::optional<Registration> Document::LoadAttacked(const Bitmap& attacked, const std::string& source) {
    if (!experiment_.CanRun(Step::NoAttack)) throw StepRefused(Step::NoAttack);
    constexpr int kRegion = TWatermark::kHostSize;
    const GrayPlane suspect = GrayOf(attacked);
    const bool hostSized = attacked.width() == host_.width() && attacked.height() == host_.height();
    const bool regionSized = attacked.width() == kRegion && attacked.height() == kRegion;
    std::optional<Registration> registration;
    std::string text;
    if (hostSized || regionSized) {
        text = "X_wave: the top-left 256 x 256 of the " + std::to_string(attacked.width()) + " x " +
               std::to_string(attacked.height()) + " picture, as it is";
    } else {
        // The reference is the watermarked image as it was written: X_hat in its host, or X_hat
        // alone for a host too small to be written whole.
        const std::vector<std::uint8_t>& xHat = experiment_.Workspace().X_hat();
        const bool whole = host_.width() >= kRegion && host_.height() >= kRegion;
        GrayPlane reference = whole ? GrayOf(host_) : GrayPlane(kRegion, kRegion);
        for (int y = 0; y < kRegion; ++y)
            std::copy_n(xHat.begin() + static_cast<std::ptrdiff_t>(y) * kRegion, kRegion, reference.row(y));
        registration = RegisterAndUndo(suspect, reference);
        const SimilarityTransform& t = registration->Transform;
        text = "registration: rotation " + FormatFixed(t.RotationDegrees, 2) + " degrees, scale " +
               FormatFixed(t.Scale, 4) + ", shift " + FormatFixed(t.ShiftX, 2) + ", " + FormatFixed(t.ShiftY, 2) +
               " pixels, fit " + FormatFixed(registration->Fit, 3);
        if (registration->Identity) text += " (no change needed)";
        if (registration->Fit < kPoorFit) text += "; a poor fit: the picture may not be a copy of the watermarked image";
    }
    const std::vector<std::uint8_t> region = MarkedRegion(registration ? registration->Picture : suspect);
    const std::vector<double> reals(region.begin(), region.end());
    const std::uint64_t run = experiment_.LoadAttacked(region, reals);
    // It stands for an attack: what the last attack and its extraction found goes, and so
    // does its own line with the next attack (it carries the step a copy of X_hat would have).
    DropStale();
    Bitmap shown = TWatermark::MakeBitmap256(region);
    if (!(shown == picture_)) Touch();
    picture_ = std::move(shown);
    AddLine(source, Step::NoAttack, run, 1, Report{text, {}});
    return registration;
}

void Document::ShowPanels(Bitmap watermark, Bitmap extracted) {
    watermark_ = std::move(watermark);
    extracted_ = std::move(extracted);
    extractedBy_ = 0;
}

void Document::AddReports(const std::string& source, const std::vector<StepReport>& reports) {
    for (const StepReport& shown : reports) AddLine(source, std::nullopt, 0, shown.panel, shown.report);
}

// ---- Results ----------------------------------------------------------------------------------

std::vector<Report> Document::Reports() const {
    std::vector<Report> reports;
    for (const ResultLine& line : lines_) reports.push_back(line.report);
    return reports;
}

bool Document::HasLine(std::uint64_t id) const {
    return std::any_of(lines_.begin(), lines_.end(), [id](const ResultLine& line) { return line.id == id; });
}

void Document::DropStale(bool views) {
    std::vector<std::uint64_t> gone;
    std::erase_if(lines_, [this, &gone](const ResultLine& line) {
        const bool stale = line.run != 0 && !experiment_.Holds(line.run);
        if (stale) gone.push_back(line.id);
        return stale;
    });
    if (views && extractedBy_ != 0 && !experiment_.Holds(extractedBy_)) {
        extracted_ = Bitmap();
        extractedBy_ = 0;
    }
    if (listener_.removed)
        for (const std::uint64_t id : gone) listener_.removed(id);
}

const ResultLine& Document::AddLine(const std::string& source, std::optional<Step> step, std::uint64_t run,
                                    int panel, Report report) {
    lines_.push_back(
        ResultLine{++lastLine_, std::chrono::system_clock::now(), source, step, run, panel, std::move(report)});
    if (listener_.added) listener_.added(lines_.back());
    return lines_.back();
}

void Document::InsertLine(const ResultLine& line) {
    const std::uint64_t id = line.id;
    const auto at = std::find_if(lines_.begin(), lines_.end(), [id](const ResultLine& l) { return l.id > id; });
    const ResultLine& inserted = *lines_.insert(at, line);
    if (listener_.added) listener_.added(inserted);
}

void Document::RemoveLine(std::uint64_t id) {
    if (std::erase_if(lines_, [id](const ResultLine& line) { return line.id == id; }) > 0 && listener_.removed)
        listener_.removed(id);
}

}  // namespace quillfen::ui
