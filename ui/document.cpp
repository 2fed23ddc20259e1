#include "ui/document.h"

#include <algorithm>
#include <utility>

#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"

namespace quillfen::ui {

void Document::Open(Bitmap picture, PixelFormat format) {
    image_.LoadFromBitmap(picture);
    SetPicture(std::move(picture));
    format_ = format;
    undo_.clear();
    redo_.clear();
    revision_ = savedRevision_ = lastRevision_ = 0;
}

const Bitmap& Document::Picture() const {
    if (!pictureMade_) {
        picture_ = image_.CreateBitmap();
        pictureMade_ = true;
    }
    return picture_;
}

void Document::SetPicture(Bitmap picture) {
    picture_ = std::move(picture);
    showsImage_ = false;
    pictureMade_ = true;
    ++pictureVersion_;
}

void Document::ShowImage() {
    picture_ = Bitmap();
    showsImage_ = true;
    pictureMade_ = false;
    ++pictureVersion_;
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

std::optional<ResultLine> Document::ApplyToolbox(const toolbox::Operation& operation, ToolboxOutcome outcome) {
    // The outcome was computed on a copy of the working image, which is its undo copy.
    GrayPlane before = outcome.image.ReleaseUndo();
    image_ = std::move(outcome.image);
    return Applied(operation, std::move(before), outcome.report);
}

std::optional<ResultLine> Document::RunToolbox(const toolbox::Operation& operation, const std::vector<int>& values) {
    const std::optional<Report> report = operation.run(image_, values);
    return Applied(operation, image_.ReleaseUndo(), report);
}

std::optional<ResultLine> Document::Applied(const toolbox::Operation& operation, GrayPlane before,
                                            const std::optional<Report>& report) {
    HistoryEntry entry{operation.caption, std::move(before), revision_, std::nullopt};
    ShowImage();
    Touch();
    std::optional<ResultLine> line;
    if (report) line = AddLine(operation.caption, std::nullopt, *report);
    entry.line = line;
    undo_.push_back(std::move(entry));
    redo_.clear();
    TrimHistory();
    return line;
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
    HistoryEntry other{entry.name, std::move(entry.image), revision_, entry.line};
    image_.ExchangeImage(other.image);  // the entry's image in, the current one into `other`
    ShowImage();
    revision_ = entry.revision;
    if (entry.line) {
        const std::uint64_t id = entry.line->id;
        if (undoing) {
            std::erase_if(lines_, [id](const ResultLine& line) { return line.id == id; });
        } else {
            // Back in its place among the others, which are in the order they were made.
            const auto at = std::find_if(lines_.begin(), lines_.end(), [id](const ResultLine& l) { return l.id > id; });
            lines_.insert(at, *entry.line);
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
    host_ = Picture();
    ForgetWritten();
    Bitmap host = Picture();
    experiment_.Load(host, mark);
    if (!(host == Picture())) Touch();
    SetPicture(std::move(host));
    watermark_ = std::move(mark);
    // A new host and a new watermark at once.
    DropResults(Experiment::MadeStaleBy(Change::Picture));
    DropResults(Experiment::MadeStaleBy(Change::Watermark));
}

void Document::DropWatermark() { watermark_ = Bitmap(); }

void Document::ClearWatermarkPanel() {
    watermark_ = Bitmap();
    ForgetSteps();
}

void Document::ClearExtractedPanel() {
    extracted_ = Bitmap();
    extractedBy_.reset();
    ForgetSteps();
}

void Document::ForgetSteps() {
    experiment_.Forget();
    ForgetWritten();
    // "Clear" empties only the panel it was chosen on: the other keeps its picture.
    DropResults(Experiment::MadeStaleBy(Change::Watermark), false);
}

void Document::SetFixedSeed(std::optional<std::uint32_t> seed) {
    fixedSeed_ = seed;
    experiment_.SetFixedSeed(seed);
}

StepResult Document::RunStep(Step step, ViewTarget target, const std::string& source) {
    const bool scatter = step == Step::GetWr && nextSeed_.has_value();
    if (scatter) experiment_.SetFixedSeed(nextSeed_);
    StepResult result;
    try {
        result = experiment_.Run(step);
    } catch (...) {
        if (scatter) experiment_.SetFixedSeed(fixedSeed_);
        throw;
    }
    if (scatter) {
        experiment_.SetFixedSeed(fixedSeed_);
        nextSeed_.reset();
    }
    // An attack starts again from X_hat: what the last attack and its extraction found no
    // longer holds. A step run again replaces what it found before.
    if (Experiment::Info(step).kind == StepKind::Attack) DropResults(Experiment::MadeStaleBy(Change::Attack));
    if (Experiment::Info(step).group == StepGroup::Embedding && Experiment::Info(step).kind == StepKind::Compute)
        ForgetWritten();
    StepSet again;
    again.Add(step);
    DropResults(again);

    const StepView view = Experiment::Info(step).view;
    if (view != StepView::None) {
        const TWatermark::Bytes& plane = experiment_.View(view);
        Bitmap bitmap = view == StepView::Host ? TWatermark::MakeBitmap256(plane) : TWatermark::MakeBitmap128(plane);
        if (target == ViewTarget::ExtractedPanel) {
            extracted_ = std::move(bitmap);
            extractedBy_ = step;
        } else {
            if (!(bitmap == Picture())) Touch();
            SetPicture(std::move(bitmap));
        }
    }
    if (step == Step::GetWr) AddLine(source, step, Report{kListOnly, "seed = " + std::to_string(experiment_.Seed()), ""});
    for (const Report& report : result.Reports()) AddLine(source, step, report);
    results_.push_back(result);
    return result;
}

MarkedHost Document::Marked() const {
    if (!experiment_.HasRun(Step::GetX_hat)) throw StepRefused(Step::SaveX_hat);
    // X_hat follows from the key only when each step of the embedding last ran after the one
    // before it: a Get Wr run again after Get X_hat has drawn positions X_hat never saw.
    std::ptrdiff_t previous = -1;
    for (const Step step : Experiment::EmbeddingChain()) {
        std::ptrdiff_t last = -1;
        for (std::size_t i = 0; i < results_.size(); ++i)
            if (results_[i].step == step) last = static_cast<std::ptrdiff_t>(i);
        if (last <= previous)
            throw Error("X_hat no longer follows from the embedding's steps (a step ran again after a later one): "
                        "run the embedding again (Run Embedding) before saving");
        previous = last;
    }
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
    experiment_.LoadAttacked(region, reals);
    // It stands for an attack: what the last attack and its extraction found goes, and so do
    // its own lines with the next attack (they carry the step a copy of X_hat would have).
    DropResults(Experiment::MadeStaleBy(Change::Attack));
    Bitmap shown = TWatermark::MakeBitmap256(region);
    if (!(shown == Picture())) Touch();
    SetPicture(std::move(shown));
    AddLine(source, Step::NoAttack, Report{1, text, ""});
    return registration;
}

void Document::ShowPanels(Bitmap watermark, Bitmap extracted) {
    watermark_ = std::move(watermark);
    extracted_ = std::move(extracted);
    extractedBy_.reset();
}

void Document::AddReports(const std::string& source, const std::vector<Report>& reports) {
    for (const Report& report : reports) AddLine(source, std::nullopt, report);
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

void Document::DropResults(const StepSet& stale, bool views) {
    // The seeds stay: every seed used remains there to repeat its run with.
    std::erase_if(lines_, [&stale](const ResultLine& line) {
        return line.step && stale.Has(*line.step) && line.report.panel != kListOnly;
    });
    if (views && extractedBy_ && stale.Has(*extractedBy_)) {
        extracted_ = Bitmap();
        extractedBy_.reset();
    }
}

ResultLine& Document::AddLine(const std::string& source, std::optional<Step> step, Report report) {
    lines_.push_back(ResultLine{++lastLine_, std::chrono::system_clock::now(), source, step, std::move(report)});
    return lines_.back();
}

}  // namespace quillfen::ui
