// The document window's three watermark menus: embedding, attacks and extraction. Every
// command checks the mark of the step before it, runs one operation of the window's
// workspace, shows the view that operation left, sets its own mark and reports in the frame's
// status bar. The marks are the only record of which steps have run.
#include <optional>

#include <QAction>
#include <QApplication>

#include "image/errors.h"
#include "image/number_format.h"
#include "io/picture_files.h"
#include "image/user_prompts.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/ui_text.h"

namespace quillfen::ui {

namespace {

// The hourglass cursor for the length of one step, given back however the step ends.
class BusyCursor {
public:
    explicit BusyCursor(bool on) : on_(on) {
        if (on_) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor() {
        if (on_) QApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool on_;
};

QString Fixed5(double value) { return LocalizeNumber(FormatFixed(value, 5)); }

const char* const kLoadFirst = "워터마킹 대상 이미지를 먼저 로딩하세요";

}  // namespace

void TMDIChild::ConnectWatermarkCommands() {
    const std::pair<QAction*, void (TMDIChild::*)()> handlers[] = {
        {actLoadW, &TMDIChild::actLoadWExecute},
        {actGetWr, &TMDIChild::actGetWrExecute},
        {actGetWa, &TMDIChild::actGetWaExecute},
        {actGetY, &TMDIChild::actGetYExecute},
        {actGetYr, &TMDIChild::actGetYrExecute},
        {actGetP, &TMDIChild::actGetPExecute},
        {actGetP_hat, &TMDIChild::actGetP_hatExecute},
        {actGetYr_hat, &TMDIChild::actGetYr_hatExecute},
        {actGetY_hat, &TMDIChild::actGetY_hatExecute},
        {actGetX_hat, &TMDIChild::actGetX_hatExecute},
        {actGetPSNR_Diff, &TMDIChild::actGetPSNR_DiffExecute},
        {actSaveX_hat, &TMDIChild::actSaveX_hatExecute},
        {actIPCopyXhToXw, &TMDIChild::actIPCopyXhToXwExecute},
        {actIPApplyJpeg, &TMDIChild::actIPApplyJpegExecute},
        {actIPApplyBlurring, &TMDIChild::actIPApplyBlurringExecute},
        {actIPApplyCroppingByZeroInQuarter, &TMDIChild::actIPApplyCroppingByZeroInQuarterExecute},
        {actIPApplyCroppingByImgInQuarter, &TMDIChild::actIPApplyCroppingByImgInQuarterExecute},
        {actIPApplyCroppingByZeroInHalf, &TMDIChild::actIPApplyCroppingByZeroInHalfExecute},
        {actIpApplyCroppingByImgInHalf, &TMDIChild::actIpApplyCroppingByImgInHalfExecute},
        {actGetY_wave, &TMDIChild::actGetY_waveExecute},
        {actGetYr_wave, &TMDIChild::actGetYr_waveExecute},
        {actGetP_wave, &TMDIChild::actGetP_waveExecute},
        {actGetWa_wave, &TMDIChild::actGetWa_waveExecute},
        {actGetWr_wave, &TMDIChild::actGetWr_waveExecute},
        {actGetW_wave, &TMDIChild::actGetW_waveExecute},
        {actGetNC, &TMDIChild::actGetNCExecute},
        {actSaveW_wave, &TMDIChild::actSaveW_waveExecute},
    };
    // Connected after StepAction's own slot, which has already taken back Qt's toggle.
    for (const auto& [action, handler] : handlers) {
        connect(action, &QAction::triggered, this,
                [this, handler = handler] { frame_.Run([this, handler] { (this->*handler)(); }); });
    }
}

// ---- The common patterns ------------------------------------------------------------------

void TMDIChild::ShowView(StepView view) {
    switch (view) {
    case StepView::None: break;
    case StepView::Document256: SetPicture(TWatermark::MakeBitmap256(FWatermark->GetDisplay256())); break;
    case StepView::Document128: SetPicture(TWatermark::MakeBitmap128(FWatermark->GetDisplay128())); break;
    case StepView::Panel128: frame_.imgW0_w->SetPicture(TWatermark::MakeBitmap128(FWatermark->GetDisplay128())); break;
    }
}

void TMDIChild::RunStep(const Step& step) {
    if (!step.allowed) {
        frame_.Prompts().message(step.refusal);
        return;
    }
    const BusyCursor busy(step.busy);
    if (step.start != nullptr) frame_.ShowStatus(0, Q(step.start));
    step.call();
    ShowView(step.view);
    step.own->setChecked(true);
    if (step.end != nullptr) frame_.ShowStatus(0, Q(step.end));
    if (step.report) step.report();
}

void TMDIChild::RunAttack(QAction* own, bool busy, const std::function<void()>& call, const char* end) {
    if (!actGetX_hat->isChecked()) {
        frame_.Prompts().message("먼저 워터마킹을 완료하세요");
        return;
    }
    // A new X_wave: whatever was extracted from the old one no longer belongs to it.
    UncheckAttacks();
    UncheckExtraction();
    const BusyCursor cursor(busy);
    call();
    ShowView(StepView::Document256);
    own->setChecked(true);
    frame_.ShowStatus(0, Q(end));
}

void TMDIChild::RunSave(QAction* own, bool allowed, const char* refusal, const char* start,
                        const std::function<const Bitmap&()>& source, const char* end) {
    if (!allowed) {
        frame_.Prompts().message(refusal);
        return;
    }
    frame_.ShowStatus(0, Q(start));
    if (const auto chosen = frame_.ExecuteDialog(frame_.SavePDlg)) {
        const Bitmap& picture = source();
        // A panel cleared since the step ran has nothing to write; say so rather than
        // writing an empty file or reporting success.
        if (picture.empty()) throw FormatError("Cannot save " + S(chosen->fileName) + ": there is no picture to save");
        WriteQtPicture(FilePath(chosen->fileName), picture, false, PictureFormat::Bmp);
    }
    // A cancelled dialog still counts as the step having run.
    own->setChecked(true);
    frame_.ShowStatus(0, Q(end));
}

// ---- Watermark Embedment -----------------------------------------------------------------

void TMDIChild::actLoadWExecute() {
    if (Picture().empty()) {
        frame_.Prompts().message(kLoadFirst);
        return;
    }
    frame_.pmuLoadFromFileClick();
    frame_.ShowStatus(0, QStringLiteral("Loaded watermark image."));
    UncheckAll();
    if (!frame_.imgW0->IsEmpty()) actLoadW->setChecked(true);
}

void TMDIChild::actGetWrExecute() {
    RunStep({.own = actGetWr,
             .allowed = actLoadW->isChecked(),
             .refusal = "워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요",
             .busy = true,
             .start = "Get Wr",
             .call = [this] { FWatermark->GetWr(); },
             .view = StepView::Panel128,
             .end = "Complete to get Wr",
             .report = [this] { frame_.ShowStatus(1, QStringLiteral("Wr count =") + QString::number(FWatermark->BlackCount)); }});
}

void TMDIChild::actGetWaExecute() {
    RunStep({.own = actGetWa,
             .allowed = actGetWr->isChecked(),
             .refusal = "먼저 Get Wr을 수행하세요",
             .busy = true,
             .start = "Get Wa",
             .call = [this] { FWatermark->GetWa(); },
             .view = StepView::Panel128,
             .end = "Complete to get Wa",
             .report = [this] { frame_.ShowStatus(1, QStringLiteral("Wa count =") + QString::number(FWatermark->BlackCount)); }});
}

void TMDIChild::actGetYExecute() {
    RunStep({actGetY, actGetWa->isChecked(), "먼저 Get Wa을 수행하세요", true, "get Y by executing Foward-DCT to X.",
             [this] { FWatermark->GetY(); }, StepView::Document256, "Successfully got Y by executing Foward-DCT to X...",
             {}});
}

void TMDIChild::actGetYrExecute() {
    RunStep({actGetYr, actGetY->isChecked(), "먼저 Get Y을 수행하세요", true, "Get Yr", [this] { FWatermark->GetYr(); },
             StepView::Document128, "Successfully got Yr", {}});
}

void TMDIChild::actGetPExecute() {
    RunStep({actGetP, actGetYr->isChecked(), "먼저 Get Yr을 수행하세요", true, "Get P", [this] { FWatermark->GetP(); },
             StepView::Document128, "Successfully got P", {}});
}

void TMDIChild::actGetP_hatExecute() {
    RunStep({actGetP_hat, actGetP->isChecked(), "먼저 Get P을 수행하세요", true, "Get P_hat",
             [this] { FWatermark->GetP_hat(); }, StepView::Document128, "Successfully got P_hat", {}});
}

void TMDIChild::actGetYr_hatExecute() {
    RunStep({actGetYr_hat, actGetP_hat->isChecked(), "먼저 Get P_hat을 수행하세요", true, "Get Yr_hat",
             [this] { FWatermark->GetYr_hat(TWatermark::kStrengthDivisor); }, StepView::Document128,
             "Successfully got Yr_hat", {}});
}

void TMDIChild::actGetY_hatExecute() {
    RunStep({actGetY_hat, actGetYr_hat->isChecked(), "먼저 Get Yr_hat을 수행하세요", true, "Get Y_hat",
             [this] { FWatermark->GetY_hat(); }, StepView::Document256, "Successfully got Y_hat", {}});
}

void TMDIChild::actGetX_hatExecute() {
    RunStep({actGetX_hat, actGetY_hat->isChecked(), "먼저 Get Y_hat을 수행하세요", true, "Get X_hat",
             [this] { FWatermark->GetX_hat(); }, StepView::Document256, "Successfully got X_hat", {}});
}

void TMDIChild::actGetPSNR_DiffExecute() {
    std::optional<PsnrResult> result;
    RunStep({.own = actGetPSNR_Diff,
             .allowed = actGetX_hat->isChecked(),
             .refusal = "먼저 Get X_hat을 수행하세요",
             .busy = false,
             .start = "Get PSNR & sum of Difference",
             .call = [this, &result] { result = FWatermark->GetPSNR_Diff(frame_.Prompts()); },
             .view = StepView::Document256,
             .end = "successfully got PSNR & sum of Difference",
             // Identical images have no PSNR; the workspace has already said so in a box.
             .report = [this, &result] {
                 frame_.ShowStatus(1, QStringLiteral("PSNR = ") + (result ? Fixed5(result->Psnr) : QStringLiteral("infinite")));
             }});
}

void TMDIChild::actSaveX_hatExecute() {
    RunSave(actSaveX_hat, actGetX_hat->isChecked(), "먼저 Get X_hat을 수행하세요", "save X_hat to file.",
            [this]() -> const Bitmap& { return Picture(); }, "successfully saved X_hat to file.");
}

// ---- Image Processing (attacks) ----------------------------------------------------------

void TMDIChild::actIPCopyXhToXwExecute() {
    RunAttack(actIPCopyXhToXw, false, [this] { FWatermark->CopyXhToXw(); }, "successfully copy X_hat to X_wave.");
}

void TMDIChild::actIPApplyJpegExecute() {
    RunAttack(actIPApplyJpeg, true,
              [this] {
                  const std::optional<PsnrResult> result = FWatermark->ApplyJpeg(frame_.Prompts());
                  // Written before X_wave is shown. Unchanged by the quantisation: no PSNR,
                  // and the sum of squared differences is exactly 0.
                  frame_.ShowStatus(1, QStringLiteral("PSNR = ") + (result ? Fixed5(result->Psnr) : QStringLiteral("infinite")));
                  frame_.ShowStatus(2, QStringLiteral("Diff = ") + Fixed5(result ? result->SumSq : 0.0));
              },
              "successfully Apply JPEG lossy compression.");
}

void TMDIChild::actIPApplyBlurringExecute() {
    RunAttack(actIPApplyBlurring, true, [this] { FWatermark->ApplyBlurring(); }, "successfully Apply Blurring operation.");
}

void TMDIChild::actIPApplyCroppingByZeroInQuarterExecute() {
    RunAttack(actIPApplyCroppingByZeroInQuarter, false, [this] { FWatermark->ApplyCroppingByZeroInQuarter(); },
              "successfully Apply Cropping with Zero In Quarter percentage.");
}

void TMDIChild::actIPApplyCroppingByImgInQuarterExecute() {
    RunAttack(actIPApplyCroppingByImgInQuarter, false, [this] { FWatermark->ApplyCroppingByImgInQuarter(); },
              "successfully Apply Cropping with Image In Quarter percentage.");
}

void TMDIChild::actIPApplyCroppingByZeroInHalfExecute() {
    RunAttack(actIPApplyCroppingByZeroInHalf, false, [this] { FWatermark->ApplyCroppingByZeroInHalf(); },
              "successfully Apply Cropping with zero In Half percentage.");
}

void TMDIChild::actIpApplyCroppingByImgInHalfExecute() {
    RunAttack(actIpApplyCroppingByImgInHalf, false, [this] { FWatermark->ApplyCroppingByImgInHalf(); },
              "successfully Apply Cropping with Image In Half percentage.");
}

// ---- Watermark Extraction ----------------------------------------------------------------

void TMDIChild::actGetY_waveExecute() {
    RunStep({actGetY_wave, AnyAttackChecked(), "먼저 X_hat을 X_wave로 복사한 후 수행하세요", true, "get Y_wave.",
             [this] { FWatermark->GetY_wave(); }, StepView::Document256, "successfully got Y_wave.", {}});
}

void TMDIChild::actGetYr_waveExecute() {
    RunStep({actGetYr_wave, actGetY_wave->isChecked(), "먼저 Get Y_wave를 수행하세요", true, "get Yr_wave.",
             [this] { FWatermark->GetYr_wave(); }, StepView::Document128, "successfully got Yr_wave.", {}});
}

void TMDIChild::actGetP_waveExecute() {
    RunStep({actGetP_wave, actGetYr_wave->isChecked(), "먼저 Get Yr_wave를 수행하세요", true, "get P_wave.",
             [this] { FWatermark->GetP_wave(); }, StepView::Document128, "successfully got P_wave.", {}});
}

void TMDIChild::actGetWa_waveExecute() {
    RunStep({actGetWa_wave, actGetP_wave->isChecked(), "먼저 Get P_wave를 수행하세요", true, "get Wa_wave.",
             [this] { FWatermark->GetWa_wave(); }, StepView::Panel128, "successfully got Wa_wave.", {}});
}

void TMDIChild::actGetWr_waveExecute() {
    RunStep({actGetWr_wave, actGetWa_wave->isChecked(), "먼저 Get Wa_wave를 수행하세요", true, "get Wr_wave.",
             [this] { FWatermark->GetWr_wave(); }, StepView::Panel128, "successfully got Wr_wave.", {}});
}

void TMDIChild::actGetW_waveExecute() {
    RunStep({actGetW_wave, actGetWr_wave->isChecked(), "먼저 Get Wr_wave를 수행하세요", true, "get W_wave.",
             [this] { FWatermark->GetW_wave(); }, StepView::Panel128, "successfully got W_wave.", {}});
}

void TMDIChild::actGetNCExecute() {
    std::optional<double> nc;
    RunStep({.own = actGetNC,
             .allowed = actGetW_wave->isChecked(),
             .refusal = "먼저 Get W_wave를 수행하세요",
             .busy = false,
             .start = "get the normalized cross-correlation.",
             .call = [this, &nc] { nc = FWatermark->GetNC(); },
             .view = StepView::None,
             .end = nullptr,  // panel 0 keeps the start text
             // A watermark without black pixels in the compared area has no NC.
             .report = [this, &nc] { frame_.ShowStatus(1, QStringLiteral("NC =") + (nc ? Fixed5(*nc) : QStringLiteral("undefined"))); }});
}

void TMDIChild::actSaveW_waveExecute() {
    RunSave(actSaveW_wave, actGetW_wave->isChecked(), "먼저 Get W_wave를 수행하세요", "save W_wave.",
            [this]() -> const Bitmap& { return frame_.imgW0_w->Picture(); }, "successfully saved W_wave.");
}

}  // namespace quillfen::ui
