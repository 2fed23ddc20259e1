#include "quillfen/watermark/experiment.h"

#include <algorithm>
#include <string>

#include "quillfen/image/errors.h"

namespace quillfen {

namespace {

using G = StepGroup;
using K = StepKind;
using V = StepView;

// The method, step by step, in menu order: the one table of the steps, one row per value of
// Step in its order.
constexpr std::array<StepInfo, kStepCount> kSteps = {{
    {Step::LoadWatermark, G::Embedding, K::Load, "load-watermark", V::None, nullptr, Needs::Picture, Step::LoadWatermark},
    {Step::GetWr, G::Embedding, K::Compute, "get-wr", V::Mark, "Wr", Needs::Step, Step::LoadWatermark},
    {Step::GetWa, G::Embedding, K::Compute, "get-wa", V::Mark, "Wa", Needs::Step, Step::GetWr},
    {Step::GetY, G::Embedding, K::Compute, "get-y", V::Host, "Y", Needs::Step, Step::GetWa},
    {Step::GetYr, G::Embedding, K::Compute, "get-yr", V::Mark, "Yr", Needs::Step, Step::GetY},
    {Step::GetP, G::Embedding, K::Compute, "get-p", V::Mark, "P", Needs::Step, Step::GetYr},
    {Step::GetP_hat, G::Embedding, K::Compute, "get-p-hat", V::Mark, "P_hat", Needs::Step, Step::GetP},
    {Step::GetYr_hat, G::Embedding, K::Compute, "get-yr-hat", V::Mark, "Yr_hat", Needs::Step, Step::GetP_hat},
    {Step::GetY_hat, G::Embedding, K::Compute, "get-y-hat", V::Host, "Y_hat", Needs::Step, Step::GetYr_hat},
    {Step::GetX_hat, G::Embedding, K::Compute, "get-x-hat", V::Host, "X_hat", Needs::Step, Step::GetY_hat},
    {Step::GetPSNR, G::Embedding, K::Score, "get-psnr", V::Host, "difference", Needs::Step, Step::GetX_hat},
    {Step::SaveX_hat, G::Embedding, K::Save, "save-x-hat", V::None, nullptr, Needs::Step, Step::GetX_hat},
    {Step::NoAttack, G::Attack, K::Attack, "none", V::Host, "X_wave", Needs::Step, Step::GetX_hat},
    {Step::Jpeg, G::Attack, K::Attack, "jpeg", V::Host, "X_wave", Needs::Step, Step::GetX_hat},
    {Step::Blurring, G::Attack, K::Attack, "blur", V::Host, "X_wave", Needs::Step, Step::GetX_hat},
    {Step::CropZeroQuarter, G::Attack, K::Attack, "crop-zero-quarter", V::Host, "X_wave", Needs::Step, Step::GetX_hat},
    {Step::CropImageQuarter, G::Attack, K::Attack, "crop-image-quarter", V::Host, "X_wave", Needs::Step,
     Step::GetX_hat},
    {Step::CropZeroHalf, G::Attack, K::Attack, "crop-zero-half", V::Host, "X_wave", Needs::Step, Step::GetX_hat},
    {Step::CropImageHalf, G::Attack, K::Attack, "crop-image-half", V::Host, "X_wave", Needs::Step, Step::GetX_hat},
    {Step::GetY_wave, G::Extraction, K::Compute, "get-y-wave", V::Host, "Y_wave", Needs::AnyAttack, Step::NoAttack},
    {Step::GetYr_wave, G::Extraction, K::Compute, "get-yr-wave", V::Mark, "Yr_wave", Needs::Step, Step::GetY_wave},
    {Step::GetP_wave, G::Extraction, K::Compute, "get-p-wave", V::Mark, "P_wave", Needs::Step, Step::GetYr_wave},
    {Step::GetWa_wave, G::Extraction, K::Compute, "get-wa-wave", V::Mark, "Wa_wave", Needs::Step, Step::GetP_wave},
    {Step::GetWr_wave, G::Extraction, K::Compute, "get-wr-wave", V::Mark, "Wr_wave", Needs::Step, Step::GetWa_wave},
    {Step::GetW_wave, G::Extraction, K::Compute, "get-w-wave", V::Mark, "W_wave", Needs::Step, Step::GetWr_wave},
    {Step::GetNC, G::Extraction, K::Score, "get-nc", V::None, nullptr, Needs::Step, Step::GetW_wave},
    {Step::SaveW_wave, G::Extraction, K::Save, "save-w-wave", V::None, nullptr, Needs::Step, Step::GetW_wave},
}};

constexpr bool RowsInStepOrder() {
    for (std::size_t i = 0; i < kSteps.size(); ++i)
        if (static_cast<std::size_t>(kSteps[i].step) != i) return false;
    return true;
}
static_assert(RowsInStepOrder(), "Experiment::Info(step) indexes the table by the step");

// The steps of one group and kind, in table order.
std::vector<Step> Select(StepGroup group, StepKind kind) {
    std::vector<Step> steps;
    for (const StepInfo& info : kSteps)
        if (info.group == group && info.kind == kind) steps.push_back(info.step);
    return steps;
}

}  // namespace

namespace {

std::string RefusalText(Step step) {
    const StepInfo& info = Experiment::Info(step);
    switch (info.needs) {
    case Needs::Picture: break;
    case Needs::Step: return std::string(info.id) + " cannot run before " + Experiment::Info(info.prerequisite).id;
    case Needs::AnyAttack: return std::string(info.id) + " cannot run before an attack";
    }
    return std::string(info.id) + " cannot run yet";
}

}  // namespace

StepRefused::StepRefused(Step refusedStep) : Error(RefusalText(refusedStep)), step(refusedStep) {}

const std::array<StepInfo, kStepCount>& Experiment::Steps() { return kSteps; }

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

bool Experiment::Holds(std::uint64_t run) const {
    if (run == 0) return false;
    return run == attackedElsewhere_ || std::find(current_.begin(), current_.end(), run) != current_.end();
}

std::uint64_t Experiment::EmbeddingRun() const {
    std::uint64_t latest = 0;
    for (const Step step : EmbeddingChain()) {
        if (current_[Index(step)] == 0) return 0;
        latest = std::max(latest, current_[Index(step)]);
    }
    return latest;
}

bool Experiment::EmbeddingInOrder() const {
    std::uint64_t previous = 0;
    for (const Step step : EmbeddingChain()) {
        if (current_[Index(step)] <= previous) return false;
        previous = current_[Index(step)];
    }
    return true;
}

StepSet Experiment::Done() const {
    StepSet done;
    for (const StepInfo& info : kSteps)
        if (HasRun(info.step)) done.Add(info.step);
    return done;
}

void Experiment::Mark(Step step, StepResult& result) {
    result.run = ++lastRun_;
    current_[Index(step)] = result.run;
}

void Experiment::Unmark(const StepSet& stale) {
    for (const StepInfo& info : kSteps)
        if (stale.Has(info.step)) current_[Index(info.step)] = 0;
}

void Experiment::Load(Bitmap& picture, Bitmap& watermark) {
    workspace_.LoadX(picture);
    workspace_.LoadW(watermark);
    Forget();
    StepResult load;
    Mark(Step::LoadWatermark, load);
}

void Experiment::RestoreKey(const ExtractionKey& key) {
    workspace_.RestoreKey(key);
    Forget();
}

bool Experiment::CanRun(Step step) const {
    const StepInfo& info = Info(step);
    switch (info.needs) {
    case Needs::Picture: return true;
    case Needs::Step: return HasRun(info.prerequisite);
    case Needs::AnyAttack:
        return AttackedElsewhere() ||
               std::any_of(Attacks().begin(), Attacks().end(), [this](Step attack) { return HasRun(attack); });
    }
    return false;
}

StepResult Experiment::Run(Step step) {
    if (!CanRun(step)) throw StepRefused(step);
    if (Info(step).kind == StepKind::Attack) {
        Unmark(MadeStaleBy(Change::Attack));
        attackedElsewhere_ = 0;
    }
    StepResult result = Perform(step);
    Mark(step, result);
    if (step == Step::GetWr && seedOnce_) {
        // A seed set for one Get Wr is used up.
        workspace_.SetFixedSeed(std::nullopt);
        seedOnce_ = false;
    }
    return result;
}

void Experiment::SetStrengthDivisor(int divisor) {
    if (divisor < 1 || divisor > kMostStrengthDivisor)
        throw ArgumentError("a strength divisor of " + std::to_string(divisor) + " is outside 1.." +
                            std::to_string(kMostStrengthDivisor));
    divisor_ = divisor;
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
        result.seed = w.LastSeed();
        break;
    case Step::GetWa:
        w.GetWa();
        result.blackCount = w.BlackCount();
        break;
    case Step::GetY: w.GetY(); break;
    case Step::GetYr: w.GetYr(); break;
    case Step::GetP: w.GetP(); break;
    case Step::GetP_hat: w.GetP_hat(); break;
    case Step::GetYr_hat: w.GetYr_hat(divisor_); break;
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
    Unmark(MadeStaleBy(Change::Attack));
    attackedElsewhere_ = ++lastRun_;
    return Extract({});
}

std::uint64_t Experiment::LoadAttacked(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal) {
    // The attacks need X_hat; a picture attacked elsewhere stands for one of them.
    if (!CanRun(Step::NoAttack)) throw StepRefused(Step::NoAttack);
    workspace_.LoadAttacked(attacked, attackedReal);
    Unmark(MadeStaleBy(Change::Attack));
    attackedElsewhere_ = ++lastRun_;
    return attackedElsewhere_;
}

std::vector<StepResult> Experiment::ExtractWithKey(const ExtractionKey& key, std::span<const std::uint8_t> attacked,
                                                   std::span<const double> attackedReal) {
    // Both checks come before either change, so a refusal leaves the workspace as it was.
    TWatermark::CheckAttackedPlanes(attacked, attackedReal);
    RestoreKey(key);
    workspace_.LoadAttacked(attacked, attackedReal);
    const Step first = ExtractionChain().front();
    StepResult result = Perform(first);
    Mark(first, result);
    return Extract({result});
}

// Runs the rest of the extraction chain and NC after the steps already in `results`.
std::vector<StepResult> Experiment::Extract(std::vector<StepResult> results) {
    for (const Step step : ExtractionChain())
        if (!HasRun(step)) results.push_back(Run(step));
    results.push_back(Run(Step::GetNC));
    return results;
}

const TWatermark::Bytes& Experiment::View(StepView view) const {
    return view == StepView::Host ? workspace_.Display256() : workspace_.Display128();
}

}  // namespace quillfen
