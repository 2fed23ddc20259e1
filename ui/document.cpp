#include "ui/document.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include <zlib.h>

#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"
#include "ui/step_presentation.h"

namespace quillfen::ui {

// ---- Packed planes -----------------------------------------------------------------------------

namespace {

// Whether packing is worth its time: the first kSample bytes must shrink to half. A
// photograph or a noisy result shrinks by a tenth or two at best, and compressing all of it
// costs milliseconds per command for little room; the pictures that pay (thresholded, edge
// and labelled pictures) shrink to a few per cent from their first rows on.
bool WorthPacking(const GrayPlane& plane) {
    constexpr std::size_t kSample = 16384;
    const std::size_t size = plane.pixels().size();
    if (size <= kSample) return size > 0;
    uLongf length = compressBound(static_cast<uLong>(kSample));
    std::vector<std::uint8_t> compressed(length);
    return compress2(compressed.data(), &length, plane.data(), static_cast<uLong>(kSample), 1) == Z_OK &&
           length < kSample / 2;
}

}  // namespace

PackedPlane PackedPlane::Of(const GrayPlane& plane) {
    PackedPlane packed;
    packed.width_ = plane.width();
    packed.height_ = plane.height();
    const std::size_t size = plane.pixels().size();
    // The fastest level: the history is packed while the user waits, and the pictures that
    // shrink at all (few gray levels, large even areas) shrink most at any level.
    if (!WorthPacking(plane)) {
        packed.bytes_ = plane.pixels();
        return packed;
    }
    uLongf length = compressBound(static_cast<uLong>(size));
    std::vector<std::uint8_t> compressed(length);
    if (size > 0 && compress2(compressed.data(), &length, plane.data(), static_cast<uLong>(size), 1) == Z_OK &&
        length < size) {
        compressed.resize(length);
        compressed.shrink_to_fit();
        packed.bytes_ = std::move(compressed);
        packed.compressed_ = true;
    } else {
        packed.bytes_ = plane.pixels();
    }
    return packed;
}

GrayPlane PackedPlane::Unpack() const {
    if (!compressed_) return GrayPlane(width_, height_, bytes_);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    uLongf length = static_cast<uLongf>(pixels.size());
    if (uncompress(pixels.data(), &length, bytes_.data(), static_cast<uLong>(bytes_.size())) != Z_OK ||
        length != pixels.size())
        throw Error("the history of the picture is damaged");  // memory we wrote ourselves
    return GrayPlane(width_, height_, std::move(pixels));
}

PreparedPicture PreparePicture(Bitmap picture, PixelFormat format) {
    PreparedPicture prepared;
    prepared.image.LoadFromBitmap(picture);
    prepared.picture = std::make_shared<const Bitmap>(std::move(picture));
    prepared.format = format;
    return prepared;
}

const Bitmap& Document::Empty() {
    static const Bitmap empty;
    return empty;
}

void Document::Open(Bitmap picture, PixelFormat format) { Open(PreparePicture(std::move(picture), format)); }

void Document::Open(PreparedPicture prepared) {
    image_ = std::make_shared<const TRixIPA>(std::move(prepared.image));
    picture_ = std::move(prepared.picture);
    format_ = prepared.format;
    ShowPicture();
    undo_.clear();
    redo_.clear();
    revision_ = savedRevision_ = lastRevision_ = 0;
}

void Document::ShowView(Bitmap view, std::string name) {
    view_ = std::make_shared<const Bitmap>(std::move(view));
    viewName_ = std::move(name);
}

// ---- The toolbox ------------------------------------------------------------------------------

ToolboxOutcome Document::ComputeToolbox(TRixIPA image, const toolbox::Operation& operation,
                                        const std::vector<int>& values, ProgressSink* progress) {
    ToolboxOutcome outcome{std::move(image), std::nullopt, nullptr, {}};
    outcome.image.SetProgress(progress);
    outcome.report = operation.run(outcome.image, values);
    outcome.image.SetProgress(nullptr);
    return outcome;
}

std::optional<ResultLine> Document::ApplyToolbox(const toolbox::Operation& operation, ToolboxOutcome outcome,
                                                 int panel) {
    // What the worker did not make yet is made here (small pictures run on this thread).
    if (!outcome.picture) outcome.picture = std::make_shared<const Bitmap>(outcome.image.CreateBitmap());
    if (outcome.before.Bytes() == 0 && !image_->Plane().empty()) outcome.before = PackedPlane::Of(image_->Plane());
    HistoryEntry before{operation.caption, std::move(outcome.before), revision_, std::nullopt};
    image_ = std::make_shared<const TRixIPA>(std::move(outcome.image));
    picture_ = std::move(outcome.picture);
    ShowPicture();
    Touch();
    EndEmbedding();
    // Every command says what it did, those whose operation reports nothing too.
    const Report report = outcome.report ? *outcome.report : DoneReport(operation);
    std::optional<ResultLine> line = AddLine(operation.caption, std::nullopt, 0, panel, report);
    before.line = line;
    undo_.push_back(std::move(before));
    redo_.clear();
    TrimHistory();
    return line;
}

std::optional<ResultLine> Document::RunToolbox(const toolbox::Operation& operation, const std::vector<int>& values,
                                               int panel) {
    return ApplyToolbox(operation, ComputeToolbox(*image_, operation, values), panel);
}

// ---- History ----------------------------------------------------------------------------------

void Document::Undo() {
    if (!undo_.empty()) ApplySwap(true, PrepareSwap(true));
}

std::optional<ResultLine> Document::Redo() {
    if (redo_.empty()) return std::nullopt;
    return ApplySwap(false, PrepareSwap(false));
}

PreparedSwap Document::PrepareSwap(bool undoing) const {
    const std::deque<HistoryEntry>& from = undoing ? undo_ : redo_;
    if (from.empty()) return {};
    PreparedSwap prepared;
    const GrayPlane plane = from.back().image.Unpack();
    prepared.image.LoadFromGray(plane.width(), plane.height(), plane.data());
    prepared.picture = std::make_shared<const Bitmap>(prepared.image.CreateBitmap());
    prepared.current = PackedPlane::Of(image_->Plane());
    return prepared;
}

std::optional<ResultLine> Document::ApplySwap(bool undoing, PreparedSwap prepared) {
    std::deque<HistoryEntry>& from = undoing ? undo_ : redo_;
    std::deque<HistoryEntry>& to = undoing ? redo_ : undo_;
    if (from.empty() || !prepared.picture) return std::nullopt;
    HistoryEntry entry = std::move(from.back());
    from.pop_back();
    HistoryEntry other{entry.name, std::move(prepared.current), revision_, entry.line};
    image_ = std::make_shared<const TRixIPA>(std::move(prepared.image));
    picture_ = std::move(prepared.picture);
    ShowPicture();
    revision_ = entry.revision;
    EndEmbedding();
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
        for (const HistoryEntry& entry : *stack) bytes += entry.image.Bytes();
    return bytes;
}

void Document::TrimHistory() {
    while (undo_.size() > 1 && (undo_.size() > static_cast<std::size_t>(kHistoryLevels) || HistoryBytes() > budget_))
        undo_.pop_front();
}

// ---- The watermark ----------------------------------------------------------------------------

namespace {

// The top-left size x size part of a picture, extended with white where it is smaller: the
// part the method reads, copied without copying the rest of a large picture.
Bitmap TopLeft(const Bitmap& picture, int size) {
    Bitmap part(std::min(picture.width(), size), std::min(picture.height(), size));
    for (int y = 0; y < part.height(); ++y) std::copy_n(picture.row(y), part.rowBytes(), part.row(y));
    part.resize(size, size);
    return part;
}

}  // namespace

void Document::LoadWatermark(Bitmap mark) {
    LoadExperiment(std::move(mark));
    DropStale();
}

void Document::LoadExperiment(Bitmap mark) {
    Bitmap host = TopLeft(Picture(), TWatermark::kHostSize);
    experiment_.Load(host, mark);
    host_ = picture_;
    hostRevision_ = revision_;
    ShowView(std::move(host), "X");
    watermark_ = std::move(mark);
}

void Document::EndEmbedding() {
    if (!host_) return;  // no experiment yet
    // The experiment's host is the picture as it was: nothing made from it belongs to the
    // picture now. A loaded watermark stays loaded, on the picture as it is, for the next
    // embedding; everything the steps found goes, as after a new load.
    if (!watermark_.empty() && experiment_.HasRun(Step::LoadWatermark)) {
        Bitmap host = TopLeft(Picture(), TWatermark::kHostSize);
        Bitmap mark = watermark_;
        experiment_.Load(host, mark);
    } else {
        experiment_.Forget();
    }
    host_ = picture_;
    hostRevision_ = revision_;
    DropStale();
}

Report DoneReport(const toolbox::Operation& operation) {
    const std::string_view action = operation.action;
    if (action == "Equalization1H") return {"Histogram equalized", {}};
    if (action == "Specification1H") return {"Histogram specified: each level mapped to the lowest level of its equalized value", {}};
    return {operation.caption, {}};
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
    // A new embedding after the picture changed takes the picture as it is now, so that every
    // seed of the Results list repeats its run from the document's picture.
    if (step == Step::GetWr && host_ && revision_ != hostRevision_ && experiment_.CanRun(step) &&
        !watermark_.empty())
        LoadExperiment(watermark_);
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
            ShowView(std::move(bitmap), Experiment::Info(step).viewName);
        }
    }
    const std::string source = StepName(step);
    // The seed of the positions that hold, to repeat the run with; it goes with them.
    if (step == Step::GetWr) AddLine(source, step, result.run, kListOnly, SeedReport(result.seed));
    for (const StepReport& shown : ReportsOf(result)) AddLine(source, step, result.run, shown.panel, shown.report);
    // Every extraction is judged as `quillfen-cli extract` judges a picture, with its bit
    // error rate: NC alone cannot tell a marked copy from an unmarked one.
    if (step == Step::GetNC) {
        if (const std::optional<double> ber = BerOfExtraction())
            AddLine(source, step, result.run, kListOnly, Report{"BER = %1", {{*ber, 5}}});
        AddLine(source, step, result.run, 2, VerdictOfExtraction());
    }
    results_.push_back(result);
    return result;
}

Report Document::VerdictOfExtraction() const {
    if (!experiment_.EmbeddingInOrder()) return {kNoVerdictOrderText, {}};
    try {
        // The score reads relations only: the key's host size plays no part in it.
        const MarkKey key = KeyFromExperiment(experiment_, TWatermark::kHostSize, TWatermark::kHostSize);
        return VerdictReport(Judge(ScoreExtraction(key, experiment_.Workspace()).Value, DefaultCalibration()));
    } catch (const ArgumentError&) {
        return {kNoVerdictRelationsText, {}};
    }
}

std::optional<double> Document::BerOfExtraction() const {
    // The rate reads the positions the key scatters the mark to: only an embedding in order has them.
    if (!experiment_.EmbeddingInOrder()) return std::nullopt;
    try {
        const MarkKey key = KeyFromExperiment(experiment_, TWatermark::kHostSize, TWatermark::kHostSize);
        return WholeMarkBitErrorRate(experiment_.Workspace().Wr_wave(), key.Extraction);
    } catch (const ArgumentError&) {
        return std::nullopt;
    }
}

bool Document::HasBlackToFind(const Bitmap& mark) {
    // The pixels NC compares: rows and columns 4..127 of the mark at 128 x 128, black below 128.
    const int rows = std::min(mark.height(), TWatermark::kMarkSize);
    const int columns = std::min(mark.width(), TWatermark::kMarkSize);
    for (int y = 4; y < rows; ++y)
        for (int x = 4; x < columns; ++x)
            if (mark.blue(x, y) < 128) return true;
    return false;
}

MarkedHost Document::Marked() const {
    if (!experiment_.HasRun(Step::GetX_hat)) throw StepRefused(Step::SaveX_hat);
    // X_hat follows from the key only when each step of the embedding last ran after the one
    // before it.
    if (!experiment_.EmbeddingInOrder())
        throw Error("X_hat no longer follows from the embedding's steps (a step ran again after a later one): "
                    "run the embedding again (Run Embedding) before saving");
    return MarkHost(experiment_, Host());
}

std::optional<Registration> Document::LoadAttacked(const Bitmap& attacked, const std::string& source) {
    if (!experiment_.CanRun(Step::NoAttack)) throw StepRefused(Step::NoAttack);
    constexpr int kRegion = TWatermark::kHostSize;
    const GrayPlane suspect = GrayOf(attacked);
    const bool hostSized = attacked.width() == Host().width() && attacked.height() == Host().height();
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
        const bool whole = Host().width() >= kRegion && Host().height() >= kRegion;
        GrayPlane reference = whole ? GrayOf(Host()) : GrayPlane(kRegion, kRegion);
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
    ShowView(TWatermark::MakeBitmap256(region), "X_wave");
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
