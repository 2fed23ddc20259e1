#pragma once
// Experiment: one run of the watermarking method on one workspace. It knows the steps and
// their order (Steps(), written once here), what each needs before it may run, which have
// run, and which results a change of input makes stale. The document window's menu marks,
// `quillfen-cli experiment`, the benchmarks, the tests and the screenshots all drive the
// method through it.
//
// The rules the step marks follow:
//   - a step may run once its prerequisite has run (GetY_wave: once any attack has run);
//     otherwise Run throws StepRefused with the step's refusal text;
//   - running a step marks it and never clears a later mark, so an earlier step run again
//     leaves later steps available on what they computed before;
//   - an attack clears the attack and extraction marks first: each attack starts again from
//     X_hat, which no attack or extraction step changes;
//   - a picture attacked elsewhere (LoadAttacked) stands for an attack: it clears the attack
//     and extraction marks, and GetY_wave may run on it until the next attack or load;
//   - loading a picture and a watermark clears every mark and marks the load.
//
// An Experiment is a value: a copy carries its own workspace and continues independently,
// and nothing is shared between copies, so copies may run on several threads at once.
#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/export.h"
#include "quillfen/image/report.h"
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
    SaveW_wave,
};
inline constexpr int kStepCount = 27;

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
    const char* refusal;   // why the step cannot run yet, for the user
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

// What one step found.
struct StepResult {
    Step step = Step::LoadWatermark;
    std::int32_t blackCount = 0;      // GetWr, GetWa: black pixels of Wr, Wa
    std::optional<PsnrResult> psnr;   // GetPSNR, Jpeg: nullopt when the images are equal
    std::optional<double> nc;         // GetNC: nullopt when W has no black pixel to compare

    // A PSNR step that found the compared images equal, so PSNR has no value.
    bool ImagesEqual() const { return (step == Step::GetPSNR || step == Step::Jpeg) && !psnr; }
    // The step's result reports: "Wr count =", "Wa count =", "PSNR = " and "Diff = ", "NC =".
    std::vector<Report> Reports() const;
};

// Thrown by Experiment::Run for a step whose prerequisite has not run; what() is the
// step's refusal text.
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
    static const std::vector<StepInfo>& Steps();
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

    // ---- The inputs ----
    // Takes the host picture into X and the watermark into W, each cut or extended to its
    // size (the bitmaps themselves too, as the windows then show them); every mark is
    // cleared, then the load is marked.
    void Load(Bitmap& picture, Bitmap& watermark);
    void SetFixedSeed(std::optional<std::uint32_t> seed) { workspace_.SetFixedSeed(seed); }
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
    // extraction marks are cleared and GetY_wave may run next. StepRefused (the attacks'
    // refusal) before X_hat exists; ArgumentError, before anything changes, for planes of the
    // wrong size.
    void LoadAttacked(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal);
    // X_wave came from LoadAttacked (or ExtractFrom), and no attack of the menu has run since.
    bool AttackedElsewhere() const { return attackedElsewhere_; }
    // Extraction with a key kept from an embedding elsewhere (a key file): the key is restored
    // (RestoreKey: every mark cleared), the picture becomes X_wave in both forms, and the
    // extraction chain and NC run as for ExtractFrom. Only the extraction's marks are set:
    // nothing of the embedding but the key is in this workspace. ArgumentError, before
    // anything changes, for a key or planes of the wrong size.
    std::vector<StepResult> ExtractWithKey(const ExtractionKey& key, std::span<const std::uint8_t> attacked,
                                           std::span<const double> attackedReal);

    // ---- State ----
    bool HasRun(Step step) const { return done_.Has(step); }
    const StepSet& Done() const { return done_; }
    // Clears every mark (the windows' "Clear" of a watermark panel); the buffers stay.
    void Forget() {
        done_ = StepSet();
        attackedElsewhere_ = false;
    }
    // The seed of the last GetWr.
    std::uint32_t Seed() const { return workspace_.LastSeed(); }
    const TWatermark& Workspace() const { return workspace_; }
    // The view a step leaves, right after it ran: Display256 or Display128.
    const TWatermark::Bytes& View(StepView view) const;

private:
    // One step's work, without the checks and marks of Run.
    StepResult Perform(Step step);
    // Runs what is left of the extraction chain, and NC, once X_wave is there.
    std::vector<StepResult> Extract(std::vector<StepResult> results);

    // The window tests set up rare workspace states (equal images) through it.
    friend struct TestAccess;

    TWatermark workspace_;
    StepSet done_;
    // Stands in the marks for the attack that made X_wave when no attack of the menu did.
    bool attackedElsewhere_ = false;
};

}  // namespace quillfen
QUILLFEN_API_END
