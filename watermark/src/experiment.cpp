#include "quillfen/watermark/experiment.h"

#include <algorithm>

#include "quillfen/image/number_format.h"

namespace quillfen {

namespace {

constexpr const char* kAttackFirst = "먼저 워터마킹을 완료하세요";

using G = StepGroup;
using K = StepKind;
using V = StepView;

// The method, step by step, in menu order: the one list of the steps.
const std::vector<StepInfo> kSteps = {
    {Step::LoadWatermark, G::Embedding, K::Load, "load-watermark", V::None, nullptr, Needs::Picture, Step::LoadWatermark,
     "워터마킹 대상 이미지를 먼저 로딩하세요"},
    {Step::GetWr, G::Embedding, K::Compute, "get-wr", V::Mark, "Wr", Needs::Step, Step::LoadWatermark,
     "워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요"},
    {Step::GetWa, G::Embedding, K::Compute, "get-wa", V::Mark, "Wa", Needs::Step, Step::GetWr, "먼저 Get Wr을 수행하세요"},
    {Step::GetY, G::Embedding, K::Compute, "get-y", V::Host, "Y", Needs::Step, Step::GetWa, "먼저 Get Wa을 수행하세요"},
    {Step::GetYr, G::Embedding, K::Compute, "get-yr", V::Mark, "Yr", Needs::Step, Step::GetY, "먼저 Get Y을 수행하세요"},
    {Step::GetP, G::Embedding, K::Compute, "get-p", V::Mark, "P", Needs::Step, Step::GetYr, "먼저 Get Yr을 수행하세요"},
    {Step::GetP_hat, G::Embedding, K::Compute, "get-p-hat", V::Mark, "P_hat", Needs::Step, Step::GetP,
     "먼저 Get P을 수행하세요"},
    {Step::GetYr_hat, G::Embedding, K::Compute, "get-yr-hat", V::Mark, "Yr_hat", Needs::Step, Step::GetP_hat,
     "먼저 Get P_hat을 수행하세요"},
    {Step::GetY_hat, G::Embedding, K::Compute, "get-y-hat", V::Host, "Y_hat", Needs::Step, Step::GetYr_hat,
     "먼저 Get Yr_hat을 수행하세요"},
    {Step::GetX_hat, G::Embedding, K::Compute, "get-x-hat", V::Host, "X_hat", Needs::Step, Step::GetY_hat,
     "먼저 Get Y_hat을 수행하세요"},
    {Step::GetPSNR, G::Embedding, K::Score, "get-psnr", V::Host, "difference", Needs::Step, Step::GetX_hat,
     "먼저 Get X_hat을 수행하세요"},
    {Step::SaveX_hat, G::Embedding, K::Save, "save-x-hat", V::None, nullptr, Needs::Step, Step::GetX_hat,
     "먼저 Get X_hat을 수행하세요"},
    {Step::NoAttack, G::Attack, K::Attack, "none", V::Host, "X_wave", Needs::Step, Step::GetX_hat, kAttackFirst},
    {Step::Jpeg, G::Attack, K::Attack, "jpeg", V::Host, "X_wave", Needs::Step, Step::GetX_hat, kAttackFirst},
    {Step::Blurring, G::Attack, K::Attack, "blur", V::Host, "X_wave", Needs::Step, Step::GetX_hat, kAttackFirst},
    {Step::CropZeroQuarter, G::Attack, K::Attack, "crop-zero-quarter", V::Host, "X_wave", Needs::Step, Step::GetX_hat,
     kAttackFirst},
    {Step::CropImageQuarter, G::Attack, K::Attack, "crop-image-quarter", V::Host, "X_wave", Needs::Step,
     Step::GetX_hat, kAttackFirst},
    {Step::CropZeroHalf, G::Attack, K::Attack, "crop-zero-half", V::Host, "X_wave", Needs::Step, Step::GetX_hat,
     kAttackFirst},
    {Step::CropImageHalf, G::Attack, K::Attack, "crop-image-half", V::Host, "X_wave", Needs::Step, Step::GetX_hat,
     kAttackFirst},
    {Step::GetY_wave, G::Extraction, K::Compute, "get-y-wave", V::Host, "Y_wave", Needs::AnyAttack, Step::NoAttack,
     "먼저 X_hat을 X_wave로 복사한 후 수행하세요"},
    {Step::GetYr_wave, G::Extraction, K::Compute, "get-yr-wave", V::Mark, "Yr_wave", Needs::Step, Step::GetY_wave,
     "먼저 Get Y_wave를 수행하세요"},
    {Step::GetP_wave, G::Extraction, K::Compute, "get-p-wave", V::Mark, "P_wave", Needs::Step, Step::GetYr_wave,
     "먼저 Get Yr_wave를 수행하세요"},
    {Step::GetWa_wave, G::Extraction, K::Compute, "get-wa-wave", V::Mark, "Wa_wave", Needs::Step, Step::GetP_wave,
     "먼저 Get P_wave를 수행하세요"},
    {Step::GetWr_wave, G::Extraction, K::Compute, "get-wr-wave", V::Mark, "Wr_wave", Needs::Step, Step::GetWa_wave,
     "먼저 Get Wa_wave를 수행하세요"},
    {Step::GetW_wave, G::Extraction, K::Compute, "get-w-wave", V::Mark, "W_wave", Needs::Step, Step::GetWr_wave,
     "먼저 Get Wr_wave를 수행하세요"},
    {Step::GetNC, G::Extraction, K::Score, "get-nc", V::None, nullptr, Needs::Step, Step::GetW_wave,
     "먼저 Get W_wave를 수행하세요"},
    {Step::SaveW_wave, G::Extraction, K::Save, "save-w-wave", V::None, nullptr, Needs::Step, Step::GetW_wave,
     "먼저 Get W_wave를 수행하세요"},
};

// The steps of one group and kind, in table order.
std::vector<Step> Select(StepGroup group, StepKind kind) {
    std::vector<Step> steps;
    for (const StepInfo& info : kSteps)
        if (info.group == group && info.kind == kind) steps.push_back(info.step);
    return steps;
}

std::string Fixed5(double value) { return FormatFixed(value, 5); }

}  // namespace

StepRefused::StepRefused(Step refusedStep) : Error(Experiment::Info(refusedStep).refusal), step(refusedStep) {}

std::vector<Report> StepResult::Reports() const {
    switch (step) {
    case Step::GetWr: return {{1, "Wr count =" + std::to_string(blackCount), ""}};
    case Step::GetWa: return {{1, "Wa count =" + std::to_string(blackCount), ""}};
    case Step::GetPSNR:
        // Equal images have no PSNR.
        return {psnr ? Report{1, "PSNR = ", Fixed5(psnr->Psnr)} : Report{1, "PSNR = infinite", ""}};
    case Step::Jpeg:
        // Unchanged by the quantisation: no PSNR, and the sum of squared differences is 0.
        return {psnr ? Report{1, "PSNR = ", Fixed5(psnr->Psnr)} : Report{1, "PSNR = infinite", ""},
                Report{2, "Diff = ", Fixed5(psnr ? psnr->SumSq : 0.0)}};
    case Step::GetNC:
        // A watermark without black pixels in the compared area has no NC.
        return {nc ? Report{1, "NC =", Fixed5(*nc)} : Report{1, "NC =undefined", ""}};
    default: return {};
    }
}

const std::vector<StepInfo>& Experiment::Steps() { return kSteps; }

const StepInfo& Experiment::Info(Step step) { return kSteps[static_cast<std::size_t>(step)]; }

const std::vector<Step>& Experiment::EmbeddingChain() {
    static const std::vector<Step> chain = Select(StepGroup::Embedding, StepKind::Compute);
    return chain;
}

const std::vector<Step>& Experiment::Attacks() {
    static const std::vector<Step> attacks = Select(StepGroup::Attack, StepKind::Attack);
    return attacks;
}

const std::vector<Step>& Experiment::ExtractionChain() {
    static const std::vector<Step> chain = Select(StepGroup::Extraction, StepKind::Compute);
    return chain;
}

std::optional<Step> Experiment::Find(std::string_view id) {
    for (const StepInfo& info : kSteps)
        if (id == info.id) return info.step;
    return std::nullopt;
}

StepSet Experiment::MadeStaleBy(Change change) {
    StepSet stale;
    for (const StepInfo& info : kSteps)
        if (change != Change::Attack || info.group != StepGroup::Embedding) stale.Add(info.step);
    return stale;
}

void Experiment::Load(Bitmap& picture, Bitmap& watermark) {
    workspace_.LoadX(picture);
    workspace_.LoadW(watermark);
    done_ = StepSet();
    done_.Add(Step::LoadWatermark);
    attackedElsewhere_ = false;
}

void Experiment::RestoreKey(const ExtractionKey& key) {
    workspace_.RestoreKey(key);
    done_ = StepSet();
    attackedElsewhere_ = false;
}

bool Experiment::CanRun(Step step) const {
    const StepInfo& info = Info(step);
    switch (info.needs) {
    case Needs::Picture: return true;
    case Needs::Step: return done_.Has(info.prerequisite);
    case Needs::AnyAttack:
        return attackedElsewhere_ || std::any_of(Attacks().begin(), Attacks().end(), [this](Step attack) { return done_.Has(attack); });
    }
    return false;
}

StepResult Experiment::Run(Step step) {
    if (!CanRun(step)) throw StepRefused(step);
    if (Info(step).kind == StepKind::Attack) {
        done_.Remove(MadeStaleBy(Change::Attack));
        attackedElsewhere_ = false;
    }
    StepResult result = Perform(step);
    done_.Add(step);
    return result;
}

StepResult Experiment::Perform(Step step) {
    TWatermark& w = workspace_;
    StepResult result;
    result.step = step;
    switch (step) {
    case Step::LoadWatermark: break;  // Load takes the pictures
    case Step::GetWr:
        w.GetWr();
        result.blackCount = w.BlackCount();
        break;
    case Step::GetWa:
        w.GetWa();
        result.blackCount = w.BlackCount();
        break;
    case Step::GetY: w.GetY(); break;
    case Step::GetYr: w.GetYr(); break;
    case Step::GetP: w.GetP(); break;
    case Step::GetP_hat: w.GetP_hat(); break;
    case Step::GetYr_hat: w.GetYr_hat(TWatermark::kStrengthDivisor); break;
    case Step::GetY_hat: w.GetY_hat(); break;
    case Step::GetX_hat: w.GetX_hat(); break;
    case Step::GetPSNR: result.psnr = w.GetPSNR_Diff(); break;
    case Step::NoAttack: w.CopyXhToXw(); break;
    case Step::Jpeg: result.psnr = w.ApplyJpeg(); break;
    case Step::Blurring: w.ApplyBlurring(); break;
    case Step::CropZeroQuarter: w.ApplyCroppingByZeroInQuarter(); break;
    case Step::CropImageQuarter: w.ApplyCroppingByImgInQuarter(); break;
    case Step::CropZeroHalf: w.ApplyCroppingByZeroInHalf(); break;
    case Step::CropImageHalf: w.ApplyCroppingByImgInHalf(); break;
    case Step::GetY_wave: w.GetY_wave(); break;
    case Step::GetYr_wave: w.GetYr_wave(); break;
    case Step::GetP_wave: w.GetP_wave(); break;
    case Step::GetWa_wave: w.GetWa_wave(); break;
    case Step::GetWr_wave: w.GetWr_wave(); break;
    case Step::GetW_wave: w.GetW_wave(); break;
    case Step::GetNC: result.nc = w.GetNC(); break;
    case Step::SaveX_hat:
    case Step::SaveW_wave: break;  // the front end has written the file
    }
    return result;
}

std::vector<StepResult> Experiment::Embed() {
    std::vector<StepResult> results;
    for (const Step step : EmbeddingChain()) results.push_back(Run(step));
    results.push_back(Run(Step::GetPSNR));
    return results;
}

std::vector<StepResult> Experiment::AttackAndExtract(Step attack) {
    if (Info(attack).kind != StepKind::Attack)
        throw ArgumentError(std::string("AttackAndExtract: '") + Info(attack).id + "' is not an attack");
    return Extract({Run(attack)});
}

std::vector<StepResult> Experiment::ExtractFrom(std::span<const std::uint8_t> attacked,
                                                std::span<const double> attackedReal) {
    LoadAttacked(attacked, attackedReal);
    return Extract({});
}

std::vector<StepResult> Experiment::ExtractFromSwapped(TWatermark::Bytes& attacked, TWatermark::Reals& attackedReal) {
    if (!CanRun(Step::NoAttack)) throw StepRefused(Step::NoAttack);
    workspace_.SwapAttacked(attacked, attackedReal);
    done_.Remove(MadeStaleBy(Change::Attack));
    attackedElsewhere_ = true;
    return Extract({});
}

void Experiment::LoadAttacked(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal) {
    // The attacks need X_hat; a picture attacked elsewhere stands for one of them.
    if (!CanRun(Step::NoAttack)) throw StepRefused(Step::NoAttack);
    workspace_.LoadAttacked(attacked, attackedReal);
    done_.Remove(MadeStaleBy(Change::Attack));
    attackedElsewhere_ = true;
}

std::vector<StepResult> Experiment::ExtractWithKey(const ExtractionKey& key, std::span<const std::uint8_t> attacked,
                                                   std::span<const double> attackedReal) {
    // Both checks come before either change, so a refusal leaves the workspace as it was.
    TWatermark::CheckAttackedPlanes(attacked, attackedReal);
    RestoreKey(key);
    workspace_.LoadAttacked(attacked, attackedReal);
    const Step first = ExtractionChain().front();
    StepResult result = Perform(first);
    done_.Add(first);
    return Extract({result});
}

// Runs the rest of the extraction chain and NC after the steps already in `results`.
std::vector<StepResult> Experiment::Extract(std::vector<StepResult> results) {
    for (const Step step : ExtractionChain())
        if (!done_.Has(step)) results.push_back(Run(step));
    results.push_back(Run(Step::GetNC));
    return results;
}

const TWatermark::Bytes& Experiment::View(StepView view) const {
    return view == StepView::Host ? workspace_.Display256() : workspace_.Display128();
}

}  // namespace quillfen
