#pragma once
// Experiment: one run of the watermarking method on one workspace. It knows the steps and
// their order (Steps(), the one table of the steps, written once here), what each needs
// before it may run, which have run, which results still hold and which seed the next Get Wr
// takes. The document window's menu marks, `quillfen-cli experiment`, the benchmarks, the
// tests and the screenshots all drive the method through it. It returns values: how a step is
// named, worded or refused on screen is the front ends' business.
//
// The rules the step marks follow:
//   - a step may run once its prerequisite has run (GetY_wave: once any attack has run);
//     otherwise Run throws StepRefused naming the step;
//   - running a step marks it and never clears a later mark, so an earlier step run again
//     leaves later steps available on what they computed before;
//   - an attack clears the attack and extraction marks first: each attack starts again from
//     X_hat, which no attack or extraction step changes;
//   - a picture attacked elsewhere (LoadAttacked) stands for an attack: it clears the attack
//     and extraction marks, and GetY_wave may run on it until the next attack or load;
//   - loading a picture and a watermark clears every mark and marks the load.
//
// A step's mark and its result are the same thing: every run gets a number (StepResult::run),
// and a result holds (Holds) exactly while its step is marked by that run. Running the step
// again, or any change above that clears its mark, makes the result stale; the front ends ask
// Holds instead of keeping rules of their own.
//
// An Experiment is a value: a copy carries its own workspace and continues independently,
// and nothing is shared between copies, so copies may run on several threads at once.
#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/export.h"
#include "quillfen/watermark/watermark.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Every step of the method, in menu order.
enum class Step : std::uint8_t {
    LoadWatermark,
    GetWr,
    GetWa,
    GetY,
    GetYr,
    GetP,
    GetP_hat,
    GetYr_hat,
    GetY_hat,
    GetX_hat,
    GetPSNR,
    SaveX_hat,
    NoAttack,
    Jpeg,
    Blurring,
    CropZeroQuarter,
    CropImageQuarter,
    CropZeroHalf,
    CropImageHalf,
    GetY_wave,
    GetYr_wave,
    GetP_wave,
    GetWa_wave,
    GetWr_wave,
    GetW_wave,
    GetNC,
    SaveW_wave,  // the last: the table below has one row per step, in this order
};
inline constexpr int kStepCount = static_cast<int>(Step::SaveW_wave) + 1;

enum class StepGroup : std::uint8_t { Embedding, Attack, Extraction };

enum class StepKind : std::uint8_t {
    Load,     // takes the picture and the watermark in
    Compute,  // one step of the embedding or extraction chain
    Attack,   // makes X_wave from X_hat
    Score,    // PSNR or NC
    Save,     // the front end writes a picture; the step only records that it did
};

// The view a step leaves: Display256 (the host's size), Display128 (the watermark's) or none.
enum class StepView : std::uint8_t { None, Host, Mark };

// What must have run before a step.
enum class Needs : std::uint8_t {
    Picture,    // a host picture (the front end checks it: the load has no prerequisite step)
    Step,       // StepInfo::prerequisite
    AnyAttack,  // one of the seven attacks
};

struct StepInfo {
    Step step;
    StepGroup group;
    StepKind kind;
    const char* id;        // stable lower-case name; the attacks' are quillfen-cli's attack names
    StepView view;
    const char* viewName;  // the name of the view it leaves (file name in `experiment --out`)
    Needs needs;
    Step prerequisite;     // when needs is Needs::Step
};

// A set of steps.
class StepSet {
public:
    bool Has(Step step) const { return bits_[Index(step)]; }
    void Add(Step step) { bits_[Index(step)] = true; }
    void Remove(const StepSet& other) { bits_ &= ~other.bits_; }
    bool Empty() const { return bits_.none(); }
    bool operator==(const StepSet&) const = default;

private:
    static std::size_t Index(Step step) { return static_cast<std::size_t>(step); }
    std::bitset<kStepCount> bits_;
};

// What one step found, as values; the front ends word them.
struct StepResult {
    Step step = Step::LoadWatermark;
    std::uint64_t run = 0;            // this run's number in its experiment (Experiment::Holds)
    std::int32_t blackCount = 0;      // GetWr, GetWa: black pixels of Wr, Wa
    std::uint32_t seed = 0;           // GetWr: the seed it drew the positions with
    std::optional<PsnrResult> psnr;   // GetPSNR, Jpeg: nullopt when the images are equal
    std::optional<double> nc;         // GetNC: nullopt when W has no black pixel to compare

    // A PSNR step that found the compared images equal, so PSNR has no value.
    bool ImagesEqual() const { return (step == Step::GetPSNR || step == Step::Jpeg) && !psnr; }
};

// Thrown by Experiment::Run for a step whose prerequisite has not run. what() names the step
// by its id, for logs; the front ends tell the user why in words of their own.
class StepRefused : public Error {
public:
    explicit StepRefused(Step refusedStep);
    Step step;
};

// The changes of input after which earlier results no longer hold.
enum class Change : std::uint8_t {
    Picture,    // a new host picture
    Watermark,  // a new watermark picture
    Attack,     // a new attack on X_hat
};

class Experiment {
public:
    Experiment() = default;
    // A results-only experiment (SetResultsOnly(true)) made without the buffers it never writes.
    explicit Experiment(TWatermark::Planes planes) : workspace_(planes) {}

    // ---- The steps ----
    static const std::array<StepInfo, kStepCount>& Steps();
    static const StepInfo& Info(Step step);
    // GetWr .. GetX_hat, the seven attacks, GetY_wave .. GetW_wave: in order.
    static const std::vector<Step>& EmbeddingChain();
    static const std::vector<Step>& Attacks();
    static const std::vector<Step>& ExtractionChain();
    // The step with this id; nullopt for an unknown id.
    static std::optional<Step> Find(std::string_view id);
    // The steps whose results a change makes stale. Attack: the attack and extraction
    // groups. Picture and Watermark: every step, the load included (every result derives
    // from both inputs through the chain, and the load took both at once).
    static StepSet MadeStaleBy(Change change);
    // The result of this run still holds: its step has not run again since, and no change
    // has made it stale. False for 0 (no run).
    bool Holds(std::uint64_t run) const;
    bool Holds(const StepResult& result) const { return Holds(result.run); }
    // The number of the embedding that holds: the latest run among the steps of the
    // embedding chain, 0 while one of them has not run. Any of them run again, or a new load,
    // gives another number; what was made from one embedding is made from this one as long
    // as the number is the same.
    std::uint64_t EmbeddingRun() const;
    // X_hat follows from the steps that hold: each step of the embedding chain ran after the
    // one before it (a Get Wr run again after Get X_hat has drawn positions X_hat never saw).
    bool EmbeddingInOrder() const;

    // ---- The inputs ----
    // Takes the host picture into X and the watermark into W, each cut or extended to its
    // size (the bitmaps themselves too, as the windows then show them); every mark is
    // cleared, then the load is marked.
    void Load(Bitmap& picture, Bitmap& watermark);
    // The seed of every Get Wr from now on (nullopt: the clock). The experiment is the one
    // holder of the seed: its workspace draws with it and nothing else keeps a copy.
    void SetFixedSeed(std::optional<std::uint32_t> seed) {
        workspace_.SetFixedSeed(seed);
        seedOnce_ = false;
    }
    // The seed of the next Get Wr only; the ones after it take the clock. Nullopt: the clock
    // from now on.
    void SetNextSeed(std::optional<std::uint32_t> seed) {
        workspace_.SetFixedSeed(seed);
        seedOnce_ = seed.has_value();
    }
    // The seed set for the next Get Wr only, until that Get Wr has used it.
    std::optional<std::uint32_t> NextSeed() const {
        return seedOnce_ ? workspace_.GetFixedSeed() : std::nullopt;
    }
    void SetLiteralForms(bool on) { workspace_.SetLiteralForms(on); }
    // On: no views and no Y_wave (TWatermark::SetResultsOnly); View() then shows what was
    // there before.
    void SetResultsOnly(bool on) { workspace_.SetResultsOnly(on); }
    void SetQuantScale(double scale) { workspace_.SetQuantScale(scale); }
    // Restores what the extraction reads from an embedding (see TWatermark::RestoreKey).
    // Every mark is cleared: nothing computed before derives from this key.
    void RestoreKey(const ExtractionKey& key);

    // ---- Running ----
    bool CanRun(Step step) const;
    // Runs one step; StepRefused when CanRun is false. A save step only records that the
    // front end has saved.
    StepResult Run(Step step);
    // Runs the embedding chain after the load and scores X_hat (GetPSNR): one result per step.
    std::vector<StepResult> Embed();
    // Runs `attack` on X_hat, then the extraction chain and NC: one result per step. Neither
    // X_hat nor anything else the extraction reads changes, so any number of these can
    // follow one Embed, each from the same X_hat.
    std::vector<StepResult> AttackAndExtract(Step attack);
    // The same for a picture attacked elsewhere (by the robustness benchmark's attacks): it
    // becomes X_wave in both forms (TWatermark::LoadAttacked), then the extraction chain and
    // NC run. It stands for the attack, so the attack and extraction marks are cleared first;
    // the extraction's are set as its steps run. StepRefused before X_hat exists.
    std::vector<StepResult> ExtractFrom(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal);
    // ExtractFrom for planes the caller gives up: they become X_wave without a copy, and the
    // caller's vectors come back holding the previous X_wave planes, for the next attack to
    // overwrite (TWatermark::SwapAttacked).
    std::vector<StepResult> ExtractFromSwapped(TWatermark::Bytes& attacked, TWatermark::Reals& attackedReal);
    // A picture attacked elsewhere (a file the user brings) as X_wave in both forms, for the
    // extraction steps to run one at a time: it stands for an attack, so the attack and
    // extraction marks are cleared and GetY_wave may run next. StepRefused (for NoAttack, as
    // the attacks are refused) before X_hat exists; ArgumentError, before anything changes, for planes of the
    // wrong size. Returns the number of this run, which holds as an attack's would.
    std::uint64_t LoadAttacked(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal);
    // X_wave came from LoadAttacked (or ExtractFrom), and no attack of the menu has run since.
    bool AttackedElsewhere() const { return attackedElsewhere_ != 0; }
    // Extraction with a key kept from an embedding elsewhere (a key file): the key is restored
    // (RestoreKey: every mark cleared), the picture becomes X_wave in both forms, and the
    // extraction chain and NC run as for ExtractFrom. Only the extraction's marks are set:
    // nothing of the embedding but the key is in this workspace. ArgumentError, before
    // anything changes, for a key or planes of the wrong size.
    std::vector<StepResult> ExtractWithKey(const ExtractionKey& key, std::span<const std::uint8_t> attacked,
                                           std::span<const double> attackedReal);

    // ---- State ----
    bool HasRun(Step step) const { return current_[Index(step)] != 0; }
    StepSet Done() const;
    // Clears every mark (the windows' "Clear" of a watermark panel); the buffers stay, and
    // no result holds any more.
    void Forget() {
        current_ = {};
        attackedElsewhere_ = 0;
    }
    // The seed of the last GetWr.
    std::uint32_t Seed() const { return workspace_.LastSeed(); }
    // The divisor of the strength Get Yr_hat embeds with (a larger one changes the host less):
    // kStrengthDivisor unless a method asks for another (whole numbers 1..1000000, as keys hold
    // it; ArgumentError otherwise). It takes effect at the next Get Yr_hat.
    void SetStrengthDivisor(int divisor);
    int StrengthDivisor() const { return divisor_; }
    const TWatermark& Workspace() const { return workspace_; }
    // The view a step leaves, right after it ran: Display256 or Display128.
    const TWatermark::Bytes& View(StepView view) const;

private:
    static std::size_t Index(Step step) { return static_cast<std::size_t>(step); }
    // One step's work, without the checks and marks of Run.
    StepResult Perform(Step step);
    // Marks `step` with a new run number, which `result` takes.
    void Mark(Step step, StepResult& result);
    // Clears the marks `stale` holds: their results no longer hold.
    void Unmark(const StepSet& stale);
    // Runs what is left of the extraction chain, and NC, once X_wave is there.
    std::vector<StepResult> Extract(std::vector<StepResult> results);

    // The window tests set up rare workspace states (equal images) through it.
    friend struct TestAccess;

    TWatermark workspace_;
    // Per step, the number of the run whose result holds; 0: not marked.
    std::array<std::uint64_t, kStepCount> current_{};
    // The run that loaded X_wave attacked elsewhere, standing in the marks for the attack
    // that made it when no attack of the menu did; 0 for none.
    std::uint64_t attackedElsewhere_ = 0;
    std::uint64_t lastRun_ = 0;
    // The fixed seed of the workspace serves the next Get Wr only.
    bool seedOnce_ = false;
    int divisor_ = TWatermark::kStrengthDivisor;
};

}  // namespace quillfen
QUILLFEN_API_END
