#include "ui/document.h"

#include <utility>

namespace quillfen::ui {

void Document::Open(Bitmap picture, PixelFormat format) {
    image_.LoadFromBitmap(picture);
    picture_ = std::move(picture);
    format_ = format;
}

std::optional<Report> Document::RunToolbox(const toolbox::Operation& operation, const std::vector<int>& values) {
    std::optional<Report> report = operation.run(image_, values);
    picture_ = image_.CreateBitmap();
    if (report) reports_.push_back(*report);
    return report;
}

void Document::Undo() {
    if (!image_.GetUndoReady()) return;
    image_.Undo();
    picture_ = image_.CreateBitmap();
}

void Document::LoadWatermark(Bitmap mark) {
    Bitmap host = picture_;
    experiment_.Load(host, mark);
    picture_ = std::move(host);
    watermark_ = std::move(mark);
}

void Document::DropWatermark() { watermark_ = Bitmap(); }

void Document::ClearWatermarkPanel() {
    watermark_ = Bitmap();
    experiment_.Forget();
}

void Document::ClearExtractedPanel() {
    extracted_ = Bitmap();
    experiment_.Forget();
}

StepResult Document::RunStep(Step step, ViewTarget target) {
    StepResult result = experiment_.Run(step);
    const StepView view = Experiment::Info(step).view;
    if (view != StepView::None) {
        const TWatermark::Bytes& plane = experiment_.View(view);
        Bitmap bitmap = view == StepView::Host ? TWatermark::MakeBitmap256(plane) : TWatermark::MakeBitmap128(plane);
        (target == ViewTarget::ExtractedPanel ? extracted_ : picture_) = std::move(bitmap);
    }
    for (const Report& report : result.Reports()) reports_.push_back(report);
    results_.push_back(result);
    return result;
}

}  // namespace quillfen::ui
