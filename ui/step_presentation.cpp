#include "ui/step_presentation.h"

#include <array>

// The table's texts are marked for the translation tools; the windows look them up when they
// show them (this file stays free of Qt).
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

namespace quillfen::ui {

namespace {

constexpr ViewTarget kPicture = ViewTarget::Picture;
constexpr ViewTarget kPanel = ViewTarget::ExtractedPanel;

constexpr std::array<StepPresentation, kStepCount> kPresentations = {{
    {Step::LoadWatermark, "actLoadW", QT_TRANSLATE_NOOP("Step", "Load Watermark (W)"), nullptr, QT_TRANSLATE_NOOP("Step", "Loaded watermark image."), false, kPicture, true,
     false, QT_TRANSLATE_NOOP("Step", "워터마킹 대상 이미지를 먼저 로딩하세요")},
    {Step::GetWr, "actGetWr", QT_TRANSLATE_NOOP("Step", "Get Wr ( Pseudo Random)"), QT_TRANSLATE_NOOP("Step", "Get Wr"), QT_TRANSLATE_NOOP("Step", "Complete to get Wr"), true, kPicture, false, false,
     QT_TRANSLATE_NOOP("Step", "워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요")},
    {Step::GetWa, "actGetWa", QT_TRANSLATE_NOOP("Step", "Get Wa ( Adaptive )"), QT_TRANSLATE_NOOP("Step", "Get Wa"), QT_TRANSLATE_NOOP("Step", "Complete to get Wa"), true, kPicture, true, false,
     QT_TRANSLATE_NOOP("Step", "먼저 Get Wr을 수행하세요")},
    {Step::GetY, "actGetY", QT_TRANSLATE_NOOP("Step", "Get Y ( = FDCT(X) )"), QT_TRANSLATE_NOOP("Step", "get Y by executing Foward-DCT to X."),
     QT_TRANSLATE_NOOP("Step", "Successfully got Y by executing Foward-DCT to X..."), true, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get Wa을 수행하세요")},
    {Step::GetYr, "actGetYr", QT_TRANSLATE_NOOP("Step", "Get Yr ( = Reduce Y)"), QT_TRANSLATE_NOOP("Step", "Get Yr"), QT_TRANSLATE_NOOP("Step", "Successfully got Yr"), true, kPicture, false, false,
     QT_TRANSLATE_NOOP("Step", "먼저 Get Y을 수행하세요")},
    {Step::GetP, "actGetP", QT_TRANSLATE_NOOP("Step", "Get P ( = Polarity Yr )"), QT_TRANSLATE_NOOP("Step", "Get P"), QT_TRANSLATE_NOOP("Step", "Successfully got P"), true, kPicture, false, false,
     QT_TRANSLATE_NOOP("Step", "먼저 Get Yr을 수행하세요")},
    {Step::GetP_hat, "actGetP_hat", QT_TRANSLATE_NOOP("Step", "Get P_hat ( = XOR(P, Wa) )"), QT_TRANSLATE_NOOP("Step", "Get P_hat"), QT_TRANSLATE_NOOP("Step", "Successfully got P_hat"), true,
     kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get P을 수행하세요")},
    {Step::GetYr_hat, "actGetYr_hat", QT_TRANSLATE_NOOP("Step", "Get Yr_hat ( = Expand P_hat )"), QT_TRANSLATE_NOOP("Step", "Get Yr_hat"), QT_TRANSLATE_NOOP("Step", "Successfully got Yr_hat"), true,
     kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get P_hat을 수행하세요")},
    {Step::GetY_hat, "actGetY_hat", QT_TRANSLATE_NOOP("Step", "Get Y_hat ( = Map Yr_hat to Y_hat )"), QT_TRANSLATE_NOOP("Step", "Get Y_hat"), QT_TRANSLATE_NOOP("Step", "Successfully got Y_hat"),
     true, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get Yr_hat을 수행하세요")},
    {Step::GetX_hat, "actGetX_hat", QT_TRANSLATE_NOOP("Step", "Get X_hat ( = IDCT (Y_hat) )"), QT_TRANSLATE_NOOP("Step", "Get X_hat"), QT_TRANSLATE_NOOP("Step", "Successfully got X_hat"), true,
     kPicture, true, false, QT_TRANSLATE_NOOP("Step", "먼저 Get Y_hat을 수행하세요")},
    {Step::GetPSNR, "actGetPSNR_Diff", QT_TRANSLATE_NOOP("Step", "Get PSNR,  Difference Between  X and X_hat"), QT_TRANSLATE_NOOP("Step", "Get PSNR & sum of Difference"),
     QT_TRANSLATE_NOOP("Step", "successfully got PSNR & sum of Difference"), false, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get X_hat을 수행하세요")},
    {Step::SaveX_hat, "actSaveX_hat", QT_TRANSLATE_NOOP("Step", "Save X_hat to Bitmap File"), QT_TRANSLATE_NOOP("Step", "save X_hat to file."),
     QT_TRANSLATE_NOOP("Step", "successfully saved X_hat to file."), false, kPicture, false, true, QT_TRANSLATE_NOOP("Step", "먼저 Get X_hat을 수행하세요")},
    {Step::NoAttack, "actIPCopyXhToXw", QT_TRANSLATE_NOOP("Step", "No Attack to X_hat"), nullptr, QT_TRANSLATE_NOOP("Step", "successfully copy X_hat to X_wave."), false,
     kPicture, true, false, QT_TRANSLATE_NOOP("Step", "먼저 워터마킹을 완료하세요")},
    {Step::Jpeg, "actIPApplyJpeg", QT_TRANSLATE_NOOP("Step", "Apply Jpeg to X_hat"), nullptr, QT_TRANSLATE_NOOP("Step", "successfully Apply JPEG lossy compression."), true,
     kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 워터마킹을 완료하세요")},
    {Step::Blurring, "actIPApplyBlurring", QT_TRANSLATE_NOOP("Step", "Apply Blurring to X_hat"), nullptr,
     QT_TRANSLATE_NOOP("Step", "successfully Apply Blurring operation."), true, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 워터마킹을 완료하세요")},
    {Step::CropZeroQuarter, "actIPApplyCroppingByZeroInQuarter", QT_TRANSLATE_NOOP("Step", "Apply Cropping to X_hat with Zero Quarter"), nullptr,
     QT_TRANSLATE_NOOP("Step", "successfully Apply Cropping with Zero In Quarter percentage."), false, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 워터마킹을 완료하세요")},
    {Step::CropImageQuarter, "actIPApplyCroppingByImgInQuarter", QT_TRANSLATE_NOOP("Step", "Apply Cropping to X_hat with Image quarter"),
     nullptr, QT_TRANSLATE_NOOP("Step", "successfully Apply Cropping with Image In Quarter percentage."), false, kPicture, false, false,
     QT_TRANSLATE_NOOP("Step", "먼저 워터마킹을 완료하세요")},
    {Step::CropZeroHalf, "actIPApplyCroppingByZeroInHalf", QT_TRANSLATE_NOOP("Step", "Apply Cropping to X_hat with Zero Half"), nullptr,
     QT_TRANSLATE_NOOP("Step", "successfully Apply Cropping with zero In Half percentage."), false, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 워터마킹을 완료하세요")},
    {Step::CropImageHalf, "actIpApplyCroppingByImgInHalf", QT_TRANSLATE_NOOP("Step", "Apply Cropping to X_hat with Image Half"), nullptr,
     QT_TRANSLATE_NOOP("Step", "successfully Apply Cropping with Image In Half percentage."), false, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 워터마킹을 완료하세요")},
    {Step::GetY_wave, "actGetY_wave", QT_TRANSLATE_NOOP("Step", "Get Y ( = FDCT(X_wave) )"), QT_TRANSLATE_NOOP("Step", "get Y_wave."), QT_TRANSLATE_NOOP("Step", "successfully got Y_wave."), true,
     kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 X_hat을 X_wave로 복사한 후 수행하세요")},
    {Step::GetYr_wave, "actGetYr_wave", QT_TRANSLATE_NOOP("Step", "Get Yr_wave ( = Reduce (Y_wave) )"), QT_TRANSLATE_NOOP("Step", "get Yr_wave."),
     QT_TRANSLATE_NOOP("Step", "successfully got Yr_wave."), true, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get Y_wave를 수행하세요")},
    {Step::GetP_wave, "actGetP_wave", QT_TRANSLATE_NOOP("Step", "Get P_wave ( =  Polarity( Yr_wave) )"), QT_TRANSLATE_NOOP("Step", "get P_wave."),
     QT_TRANSLATE_NOOP("Step", "successfully got P_wave."), true, kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get Yr_wave를 수행하세요")},
    {Step::GetWa_wave, "actGetWa_wave", QT_TRANSLATE_NOOP("Step", "Get Wa_wave ( = XOR(P, P_wave) )"), QT_TRANSLATE_NOOP("Step", "get Wa_wave."),
     QT_TRANSLATE_NOOP("Step", "successfully got Wa_wave."), true, kPanel, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get P_wave를 수행하세요")},
    {Step::GetWr_wave, "actGetWr_wave", QT_TRANSLATE_NOOP("Step", "Get Wr_wave ( reverse adaptive )"), QT_TRANSLATE_NOOP("Step", "get Wr_wave."),
     QT_TRANSLATE_NOOP("Step", "successfully got Wr_wave."), true, kPanel, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get Wa_wave를 수행하세요")},
    {Step::GetW_wave, "actGetW_wave", QT_TRANSLATE_NOOP("Step", "Get W_wave ( reverse random number )"), QT_TRANSLATE_NOOP("Step", "get W_wave."),
     QT_TRANSLATE_NOOP("Step", "successfully got W_wave."), true, kPanel, true, false, QT_TRANSLATE_NOOP("Step", "먼저 Get Wr_wave를 수행하세요")},
    {Step::GetNC, "actGetNC", QT_TRANSLATE_NOOP("Step", "Get Normalized Correlation"), QT_TRANSLATE_NOOP("Step", "get the normalized cross-correlation."), nullptr, false,
     kPicture, false, false, QT_TRANSLATE_NOOP("Step", "먼저 Get W_wave를 수행하세요")},
    {Step::SaveW_wave, "actSaveW_wave", QT_TRANSLATE_NOOP("Step", "Save W_wave to File"), QT_TRANSLATE_NOOP("Step", "save W_wave."), QT_TRANSLATE_NOOP("Step", "successfully saved W_wave."), false,
     kPicture, false, true, QT_TRANSLATE_NOOP("Step", "먼저 Get W_wave를 수행하세요")},
}};

constexpr bool RowsInStepOrder() {
    for (std::size_t i = 0; i < kPresentations.size(); ++i)
        if (static_cast<std::size_t>(kPresentations[i].step) != i) return false;
    return true;
}
static_assert(RowsInStepOrder(), "PresentationOf(step) indexes the table by the step");

// A real number of the status texts: five decimals.
ReportNumber Fixed5(double value) { return {value, 5}; }

Report Psnr(const std::optional<PsnrResult>& psnr) {
    // Equal images have no PSNR.
    return psnr ? Report{QT_TRANSLATE_NOOP("Step", "PSNR = %1"), {Fixed5(psnr->Psnr)}} : Report{QT_TRANSLATE_NOOP("Step", "PSNR = infinite"), {}};
}

}  // namespace

const StepPresentation& PresentationOf(Step step) { return kPresentations[static_cast<std::size_t>(step)]; }

std::string StepName(Step step) {
    // Two steps share "Get Y": the extraction's is named after what it transforms.
    if (step == Step::GetY_wave) return "Get Y_wave";
    std::string caption = PresentationOf(step).caption;
    const std::size_t bracket = caption.find('(');
    if (bracket != std::string::npos && bracket > 0) caption.erase(bracket);
    while (!caption.empty() && caption.back() == ' ') caption.pop_back();
    return caption;
}

std::vector<StepReport> ReportsOf(const StepResult& result) {
    const auto whole = [](std::int32_t value) { return ReportNumber{static_cast<double>(value), 0}; };
    switch (result.step) {
    case Step::GetWr: return {{1, {QT_TRANSLATE_NOOP("Step", "Wr count =%1"), {whole(result.blackCount)}}}};
    case Step::GetWa: return {{1, {QT_TRANSLATE_NOOP("Step", "Wa count =%1"), {whole(result.blackCount)}}}};
    case Step::GetPSNR: return {{1, Psnr(result.psnr)}};
    case Step::Jpeg:
        // Unchanged by the quantisation: no PSNR, and the sum of squared differences is 0.
        return {{1, Psnr(result.psnr)}, {2, {QT_TRANSLATE_NOOP("Step", "Diff = %1"), {Fixed5(result.psnr ? result.psnr->SumSq : 0.0)}}}};
    case Step::GetNC:
        // A watermark without black pixels in the compared area has no NC.
        return {{1, result.nc ? Report{QT_TRANSLATE_NOOP("Step", "NC =%1"), {Fixed5(*result.nc)}} : Report{QT_TRANSLATE_NOOP("Step", "NC =undefined"), {}}}};
    default: return {};
    }
}

Report SeedReport(std::uint32_t seed) { return {QT_TRANSLATE_NOOP("Step", "seed = %1"), {{static_cast<double>(seed), 0}}}; }

Report VerdictReport(const Verdict& verdict) {
    // The verdict is always taken at the rate the words name (Judge).
    const std::vector<ReportNumber> numbers = {{verdict.Score, 3}, {verdict.Threshold, 3}};
    if (verdict.Present)
        return {QT_TRANSLATE_NOOP("Step", "mark present: score %1 ≥ %2 (false alarms ≤ 1e-6)"), numbers};
    return {QT_TRANSLATE_NOOP("Step", "no mark found: score %1 < %2 (the threshold for false alarms ≤ 1e-6)"),
            numbers};
}

}  // namespace quillfen::ui
