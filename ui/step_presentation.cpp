#include "ui/step_presentation.h"

#include <array>

namespace quillfen::ui {

namespace {

constexpr ViewTarget kPicture = ViewTarget::Picture;
constexpr ViewTarget kPanel = ViewTarget::ExtractedPanel;

constexpr std::array<StepPresentation, kStepCount> kPresentations = {{
    {Step::LoadWatermark, "actLoadW", "Load Watermark (W)", nullptr, "Loaded watermark image.", false, kPicture, true,
     false, "워터마킹 대상 이미지를 먼저 로딩하세요"},
    {Step::GetWr, "actGetWr", "Get Wr ( Pseudo Random)", "Get Wr", "Complete to get Wr", true, kPanel, false, false,
     "워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요"},
    {Step::GetWa, "actGetWa", "Get Wa ( Adaptive )", "Get Wa", "Complete to get Wa", true, kPanel, true, false,
     "먼저 Get Wr을 수행하세요"},
    {Step::GetY, "actGetY", "Get Y ( = FDCT(X) )", "get Y by executing Foward-DCT to X.",
     "Successfully got Y by executing Foward-DCT to X...", true, kPicture, false, false, "먼저 Get Wa을 수행하세요"},
    {Step::GetYr, "actGetYr", "Get Yr ( = Reduce Y)", "Get Yr", "Successfully got Yr", true, kPicture, false, false,
     "먼저 Get Y을 수행하세요"},
    {Step::GetP, "actGetP", "Get P ( = Polarity Yr )", "Get P", "Successfully got P", true, kPicture, false, false,
     "먼저 Get Yr을 수행하세요"},
    {Step::GetP_hat, "actGetP_hat", "Get P_hat ( = XOR(P, Wa) )", "Get P_hat", "Successfully got P_hat", true,
     kPicture, false, false, "먼저 Get P을 수행하세요"},
    {Step::GetYr_hat, "actGetYr_hat", "Get Yr_hat ( = Expand P_hat )", "Get Yr_hat", "Successfully got Yr_hat", true,
     kPicture, false, false, "먼저 Get P_hat을 수행하세요"},
    {Step::GetY_hat, "actGetY_hat", "Get Y_hat ( = Map Yr_hat to Y_hat )", "Get Y_hat", "Successfully got Y_hat",
     true, kPicture, false, false, "먼저 Get Yr_hat을 수행하세요"},
    {Step::GetX_hat, "actGetX_hat", "Get X_hat ( = IDCT (Y_hat) )", "Get X_hat", "Successfully got X_hat", true,
     kPicture, true, false, "먼저 Get Y_hat을 수행하세요"},
    {Step::GetPSNR, "actGetPSNR_Diff", "Get PSNR,  Difference Between  X and X_hat", "Get PSNR & sum of Difference",
     "successfully got PSNR & sum of Difference", false, kPicture, false, false, "먼저 Get X_hat을 수행하세요"},
    {Step::SaveX_hat, "actSaveX_hat", "Save X_hat to Bitmap File", "save X_hat to file.",
     "successfully saved X_hat to file.", false, kPicture, false, true, "먼저 Get X_hat을 수행하세요"},
    {Step::NoAttack, "actIPCopyXhToXw", "No Attack to X_hat", nullptr, "successfully copy X_hat to X_wave.", false,
     kPicture, true, false, "먼저 워터마킹을 완료하세요"},
    {Step::Jpeg, "actIPApplyJpeg", "Apply Jpeg to X_hat", nullptr, "successfully Apply JPEG lossy compression.", true,
     kPicture, false, false, "먼저 워터마킹을 완료하세요"},
    {Step::Blurring, "actIPApplyBlurring", "Apply Blurring to X_hat", nullptr,
     "successfully Apply Blurring operation.", true, kPicture, false, false, "먼저 워터마킹을 완료하세요"},
    {Step::CropZeroQuarter, "actIPApplyCroppingByZeroInQuarter", "Apply Cropping to X_hat with Zero Quarter", nullptr,
     "successfully Apply Cropping with Zero In Quarter percentage.", false, kPicture, false, false, "먼저 워터마킹을 완료하세요"},
    {Step::CropImageQuarter, "actIPApplyCroppingByImgInQuarter", "Apply Cropping to X_hat with Image quarter",
     nullptr, "successfully Apply Cropping with Image In Quarter percentage.", false, kPicture, false, false,
     "먼저 워터마킹을 완료하세요"},
    {Step::CropZeroHalf, "actIPApplyCroppingByZeroInHalf", "Apply Cropping to X_hat with Zero Half", nullptr,
     "successfully Apply Cropping with zero In Half percentage.", false, kPicture, false, false, "먼저 워터마킹을 완료하세요"},
    {Step::CropImageHalf, "actIpApplyCroppingByImgInHalf", "Apply Cropping to X_hat with Image Half", nullptr,
     "successfully Apply Cropping with Image In Half percentage.", false, kPicture, false, false, "먼저 워터마킹을 완료하세요"},
    {Step::GetY_wave, "actGetY_wave", "Get Y ( = FDCT(X_wave) )", "get Y_wave.", "successfully got Y_wave.", true,
     kPicture, false, false, "먼저 X_hat을 X_wave로 복사한 후 수행하세요"},
    {Step::GetYr_wave, "actGetYr_wave", "Get Yr_wave ( = Reduce (Y_wave) )", "get Yr_wave.",
     "successfully got Yr_wave.", true, kPicture, false, false, "먼저 Get Y_wave를 수행하세요"},
    {Step::GetP_wave, "actGetP_wave", "Get P_wave ( =  Polarity( Yr_wave) )", "get P_wave.",
     "successfully got P_wave.", true, kPicture, false, false, "먼저 Get Yr_wave를 수행하세요"},
    {Step::GetWa_wave, "actGetWa_wave", "Get Wa_wave ( = XOR(P, P_wave) )", "get Wa_wave.",
     "successfully got Wa_wave.", true, kPanel, false, false, "먼저 Get P_wave를 수행하세요"},
    {Step::GetWr_wave, "actGetWr_wave", "Get Wr_wave ( reverse adaptive )", "get Wr_wave.",
     "successfully got Wr_wave.", true, kPanel, false, false, "먼저 Get Wa_wave를 수행하세요"},
    {Step::GetW_wave, "actGetW_wave", "Get W_wave ( reverse random number )", "get W_wave.",
     "successfully got W_wave.", true, kPanel, true, false, "먼저 Get Wr_wave를 수행하세요"},
    {Step::GetNC, "actGetNC", "Get Normalized Correlation", "get the normalized cross-correlation.", nullptr, false,
     kPicture, false, false, "먼저 Get W_wave를 수행하세요"},
    {Step::SaveW_wave, "actSaveW_wave", "Save W_wave to File", "save W_wave.", "successfully saved W_wave.", false,
     kPicture, false, true, "먼저 Get W_wave를 수행하세요"},
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
    return psnr ? Report{"PSNR = %1", {Fixed5(psnr->Psnr)}} : Report{"PSNR = infinite", {}};
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
    case Step::GetWr: return {{1, {"Wr count =%1", {whole(result.blackCount)}}}};
    case Step::GetWa: return {{1, {"Wa count =%1", {whole(result.blackCount)}}}};
    case Step::GetPSNR: return {{1, Psnr(result.psnr)}};
    case Step::Jpeg:
        // Unchanged by the quantisation: no PSNR, and the sum of squared differences is 0.
        return {{1, Psnr(result.psnr)}, {2, {"Diff = %1", {Fixed5(result.psnr ? result.psnr->SumSq : 0.0)}}}};
    case Step::GetNC:
        // A watermark without black pixels in the compared area has no NC.
        return {{1, result.nc ? Report{"NC =%1", {Fixed5(*result.nc)}} : Report{"NC =undefined", {}}}};
    default: return {};
    }
}

Report SeedReport(std::uint32_t seed) { return {"seed = %1", {{static_cast<double>(seed), 0}}}; }

}  // namespace quillfen::ui
