#pragma once
// The robustness sweep: every attack cell applied to every host marked with every seed, one
// row of measures per (host, seed, cell). The command line's `robustness` and the desktop
// program's robustness window run this same code.
//
// Row order: hosts in the order given (the front ends sort them by name), then seeds in the
// order given, then cells in the order given; row r is host r / (S C), seed (r / C) mod S,
// cell r mod C. Every row is a pure function of its host, seed and cell, so the rows are the
// same whatever the number of threads and however the run is cut into shards.
//
// Per (host, seed) the mark is embedded once with that seed (the generator's fixed seed), and
// the threads computing its rows share that embedding;
// per cell the attack draws from the same seed (ApplyAttackCell), the extraction runs on the
// attacked picture, and the row holds:
//   psnr_embed, ssim_embed  X_hat as written (its bytes) against the host X: PSNR and SSIM;
//   psnr_embed_reals        the experiment's "PSNR =" (of X_hat_real, before the rounding to
//                           bytes), for the record;
//   psnr, ssim              the attacked picture's bytes against X_hat's, as files hold
//                           them; PSNR is +infinity for an unchanged picture;
//   nc, ber                 the workspace's NC and the bit error rate over the whole mark
//                           (WholeMarkBitErrorRate, marking.h);
//   score                   the detection score (marking.h) of the relations the extraction
//                           observed, against the key of this (host, seed);
//   score_null              the same key's score of its own host, unmarked, after the same
//                           cell with the same seed: the null side of the family's ROC curve;
//   detected at 1e-3, 1e-6  the score reaches the calibration's thresholds, when one is given
//                           (NC cannot say whether a mark is there: calibration.h).
// On a whole picture the measures are of what a viewer sees: PSNR over the red, green and blue
// bytes (psnr_y beside it: of the luminance, LuminanceOf), SSIM on the luminance; for a gray
// picture these are the gray measures above. Rows say what was marked: width, height and
// region ("whole" or "256x256").
// The attacked picture is what a file would hold (its reals are its bytes), except for the
// seven attacks of the experiment, which keep the workspace's definition (IsExperimentAttack).
// With registration (SweepPlan::Register) each geometric cell (IsGeometricCell) is read a
// second time: the attacked picture is registered to X_hat (registration.h: the similarity
// transform estimated and undone) and extracted again, giving the registered NC, BER, score
// and verdicts beside the plain ones, which keep their meaning. The estimate is OpenCV's, in
// single precision with the machine's SIMD, so registered measures may differ in their last
// digits between machines; the plain ones never do.
// A host that cannot be loaded, or a step that fails, gives rows with an error text instead
// of measures, and the sweep goes on.
//
// Methods. Every method runs through the method interface (method.h), the polarity method
// among them. A plan may name the methods it compares: then per (host, seed) each method marks
// the host once, every cell attacks each marked picture with the same seed (so every method is
// scored on the same attacks of the same host), and the rows carry the method fields; a plan
// that names none runs the polarity method alone, in rows without them. A method marks the
// region its capabilities name (RegionSide): the polarity method the host's top-left 256 x 256
// gray (its blue bytes, by its definition), every other method the whole picture, in colour
// when it is in colour. Each reads each attacked picture with its key: score, NC where it has one, bits read and their accuracy (for a payload
// method ber is 1 - bit accuracy; nc has no value). The calibration of the mark judges a
// method that embeds the mark; the others are judged by their own thresholds.
//
// Each row also carries the identity of what made it (RowIdentity): the version of the row
// schema, the method and its parameters, and digests of the host picture, the watermark and
// the calibration. Rows of equal host name, seed and attack but of another identity are
// other rows, and a resumed run refuses them.
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/methods/method.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// A geometric cell's picture read again after registration to X_hat.
struct RegisteredReading {
    double Fit = 0;  // the registration's correlation coefficient (registration.h)
    std::optional<double> Nc;  // none for a method without NC
    double Ber = 0;
    double Score = 0;
    std::optional<bool> Detected1e3;  // none without a calibration
    std::optional<bool> Detected1e6;
    std::optional<double> Z = std::nullopt;  // its z, where thresholds of z judge it (schema 4)
    bool operator==(const RegisteredReading&) const = default;
};

// The version of the rows' schema (robustness_rows.h). 1 was the schema before rows carried
// their identity, 2 the one before psnr_embed was the written bytes', BER counted the whole mark
// and rows carried their null side, 3 the one before rows said the size and region marked and
// judged in units of the chance spread (z, z_null, inverted and payload_match).
inline constexpr int kRowSchemaVersion = 4;

// What a row was made from, beyond its host name, seed and attack. Digests are the first 16
// hex digits of a SHA-256: of the host as the method reads it (HostDigest: the 256 x 256 gray
// region for the polarity method, WholeHostDigest for the others; the same picture in another
// file format has the same digest), of the binarised 128 x 128
// watermark, and of the calibration's content (CalibrationJson; empty without one).
struct RowIdentity {
    int Schema = kRowSchemaVersion;  // 1: a row written before rows had an identity (no fields)
    std::string Method;              // MethodName()
    std::string HostDigest;          // empty when the host could not be read
    std::string MarkDigest;
    std::string CalibrationDigest;   // empty without a calibration
    // A method run as programs: the digest of its description and the files it names
    // (MethodCommandSource); empty for any other method.
    std::string MethodDigest;
    bool operator==(const RowIdentity&) const = default;
};

// The method and its parameters as the rows name them: "dct-polarity:divisor=10000".
std::string MethodName();
// The digests of RowIdentity.
std::string HostDigest(const Bitmap& host);
// The digest of a whole host: of its gray bytes for a 256 x 256 gray picture (so that its
// region's digest and this one agree), else of the text "WIDTHxHEIGHT gray\n" or
// "WIDTHxHEIGHT bgr\n" followed by its gray bytes or its 24-bit pixels.
std::string WholeHostDigest(const Bitmap& host);
// The region a method marks, as rows name it: "256x256" or "whole".
std::string RegionName(const WatermarkMethod& method);
std::string WatermarkDigest(const Bitmap& mark);

struct RobustnessRow {
    std::string Host;
    std::uint32_t Seed = 0;
    std::string Attack;  // the cell's canonical name
    // The picture the method marked: its size and which part of the host it is ("whole",
    // "256x256"); 0 and "" in rows of schemas before 4 and in failed rows.
    int Width = 0;
    int Height = 0;
    std::string Region;
    double PsnrEmbed = 0;
    std::optional<double> PsnrEmbedReals;  // none in rows of schema 1 and 2
    double SsimEmbed = 0;
    std::optional<double> PsnrY;  // the embedding's PSNR of the luminance; none before schema 4
    double Psnr = 0;
    double Ssim = 0;
    std::optional<double> Nc;  // none for a method without NC (a payload method)
    double Ber = 0;  // the polarity method: of the whole mark; a payload method: of its payload
    double Score = 0;
    std::optional<double> ScoreNull;  // none in rows of schema 1 and 2
    std::optional<bool> Detected1e3;  // none without a calibration
    std::optional<bool> Detected1e6;
    // Where thresholds of z judge the row (detection_thresholds.h): the z of the score and of
    // the null side's, and whether the mark read inverted (detected below 0). None otherwise,
    // and in rows of schemas before 4.
    std::optional<double> Z;
    std::optional<double> ZNull;
    std::optional<bool> Inverted;
    // The run registers geometric cells: the row has the registered fields (empty for a cell
    // that is not geometric, or a failed row).
    bool Registering = false;
    std::optional<RegisteredReading> Registered;
    // The run names its methods (SweepPlan::Methods): the row has the method fields. Its
    // identity's Method is then the method as the run names it ("qim", "qim:bits=32").
    bool Methods = false;
    std::string MethodParams;            // every parameter as used ("step=21.3,bits=64"); "" for none
    std::optional<double> Strength;      // the strength parameter's value, for a method that has one
    int PayloadBits = 0;                 // 0 for a zero-bit method
    std::optional<double> BitAccuracy;   // share of the payload read right, for a payload method
    // A payload method's (schema 4): the payload read, flipped back when inverted, is the key's
    // bit for bit. The verdicts attest the key's carrier, not its payload.
    std::optional<bool> PayloadMatch;
    // A method whose payload goes through an error-correcting code (its `ecc`): the message
    // decoded (flipped back when inverted) is the key's payload; none for other methods, whose
    // payload_match says the same of their raw bits.
    std::optional<bool> MessageOk;
    // A method that synchronises (Capabilities::Synchronises): the geometry it found in the
    // attacked picture; none where it found none, and for every other method.
    std::optional<FoundGeometry> Found;
    RowIdentity Identity;
    std::string Error;  // empty for a row with measures

    bool Failed() const { return !Error.empty(); }
    bool operator==(const RobustnessRow&) const = default;
};

// A host of the sweep: its name in the rows and how to get its picture. Load may throw (a
// file that went away since it was checked); its rows then carry the error.
struct SweepHost {
    std::string Name;
    std::function<Bitmap()> Load;
};

// Shard `index` (1..count) of `count`: the rows from floor((index - 1) N / count) up to
// floor(index N / count), so the shards in order are the whole run in order.
struct Shard {
    std::uint64_t Index = 1;
    std::uint64_t Count = 1;
};

struct RowRange {
    std::uint64_t Begin = 0;
    std::uint64_t End = 0;
};
RowRange ShardRows(std::uint64_t rowCount, const Shard& shard);

// A method of a sweep that names its methods.
struct SweepMethod {
    // As the rows name it: the method list's text without its strength under a target PSNR
    // ("polarity", "qim", "qim:bits=32"), or an external method's name.
    std::string Label;
    std::shared_ptr<const WatermarkMethod> Method;
    // The thresholds its verdicts use; a method that embeds the mark is judged by the plan's
    // Thresholds instead.
    std::optional<Calibration> Thresholds;
    // This method marks at this embedding PSNR instead of the plan's TargetPsnr: one method at
    // several distortions in one run (a quality against robustness comparison).
    std::optional<double> TargetPsnr;
};

// A sweep's method under its name, judged by its own thresholds (a Calibration of them alone,
// whose Source is `source`) when it has some.
SweepMethod SweepMethodOf(std::shared_ptr<const WatermarkMethod> method, const std::string& source);

struct SweepPlan {
    std::vector<SweepHost> Hosts;
    Bitmap Mark;
    std::vector<std::uint32_t> Seeds;
    std::vector<AttackCell> Cells;
    std::optional<Calibration> Thresholds;
    Shard Part;
    int Jobs = 0;  // threads; 0: every core
    bool Register = false;  // read geometric cells again after registration
    // The methods compared, in order; none: the polarity method alone, whose rows have no
    // method fields (as before methods could be named).
    std::vector<SweepMethod> Methods;
    // Each method with a strength parameter marks each (host, seed) at the strength that gives
    // this embedding PSNR (FindStrength); the others at their own.
    std::optional<double> TargetPsnr;

    std::uint64_t MethodCount() const { return Methods.empty() ? 1 : Methods.size(); }
    std::uint64_t RowCount() const {
        return static_cast<std::uint64_t>(Hosts.size()) * Seeds.size() * MethodCount() * Cells.size();
    }
    // Host, seed, method and cell of row r, as named in the row: rows run through the cells of
    // each method of each seed of each host.
    std::string HostOf(std::uint64_t r) const { return Hosts[r / (Seeds.size() * MethodCount() * Cells.size())].Name; }
    std::uint32_t SeedOf(std::uint64_t r) const { return Seeds[(r / (MethodCount() * Cells.size())) % Seeds.size()]; }
    std::size_t MethodIndexOf(std::uint64_t r) const { return (r / Cells.size()) % MethodCount(); }
    // The method's label ("" in a plan without methods).
    std::string MethodOf(std::uint64_t r) const { return Methods.empty() ? std::string() : Methods[MethodIndexOf(r)].Label; }
    const std::string& AttackOf(std::uint64_t r) const { return Cells[r % Cells.size()].Name; }
};

struct SweepCallbacks {
    // Rows of the shard for which this returns true are not computed (a resumed run's rows
    // already written). A pure predicate: it is asked once per row to count the work, and
    // again in row order as rows start.
    std::function<bool(std::uint64_t row)> Skip;
    // Each computed row, in row order, one call at a time (from any of the sweep's threads).
    std::function<void(std::uint64_t row, const RobustnessRow&)> Row;
    // Rows done and rows to do, after each row, one call at a time.
    std::function<void(std::uint64_t done, std::uint64_t total)> Progress;
    // When set, no new row starts; rows already started are finished and delivered.
    const std::atomic<bool>* Cancel = nullptr;
};

struct SweepSummary {
    std::uint64_t Rows = 0;    // delivered
    std::uint64_t Failed = 0;  // of which error rows
    bool Cancelled = false;
};

// The identity the rows of the plan carry, but for the host digest (a row's own host's).
RowIdentity PlanIdentity(const SweepPlan& plan);
// The same for the rows of method `method` of a plan that names its methods: the method as the
// run names it, no mark digest for a method that embeds no mark, the digest of its thresholds.
RowIdentity PlanIdentity(const SweepPlan& plan, std::size_t method);
// The thresholds that judge the rows of method `method` (the plan's Thresholds for the polarity
// method, and in a plan without methods).
const std::optional<Calibration>& PlanThresholds(const SweepPlan& plan, std::size_t method);

// Checks the plan before any work: ArgumentError for no host, seed or cell, a host name or
// seed listed twice, a mark without a black pixel where NC compares, a calibration made for
// another mark, or a shard outside 1..count.
void CheckSweepPlan(const SweepPlan& plan);

// The threads a sweep or a calibration can run at once on this machine (its cores, as far as
// this process may use them): more are never faster.
int AvailableThreads();

// Ends the pool of threads that sweeps and calibrations keep between runs, waiting for each to
// end (a later run starts them again). For a program's exit: ended then, they end while all
// they use still exists, rather than during the exit's teardown of the libraries, where a
// thread that ends late (and destroys its thread-local workspaces then) may find them gone.
// False, with the threads left, while a run is still going on.
bool EndPooledThreads();

// Runs the rows of the plan's shard (CheckSweepPlan first).
SweepSummary RunSweep(const SweepPlan& plan, const SweepCallbacks& callbacks);

// A list of seeds as the command line writes it: whole numbers 0..4294967295 and inclusive
// ranges, comma-separated ("1..20", "1..5,7", "42"), in the order written. ArgumentError for
// anything else, a range that goes down, a seed listed twice or more than kMaxSeeds seeds.
inline constexpr std::size_t kMaxSeeds = 1000000;
std::vector<std::uint32_t> ParseSeedList(std::string_view text);

// Whether a cell moves the picture's pixels (rotate, scale, shift, crop, remove-rows,
// remove-cols, alone or in a combination): the cells registration may help.
bool IsGeometricCell(const AttackCell& cell);

// One row computed on its own, as RunSweep computes it (for tests and single looks).
RobustnessRow ComputeRow(const SweepPlan& plan, std::uint64_t row);

// A row computed again with the pictures behind its measures: the attacked picture (X_wave,
// 256 x 256 for the polarity method, else the whole picture) and the mark extracted from it
// (W_wave, 128 x 128). Both are empty for a failed
// row. Every row is a pure function of its host, seed and cell, so this is the row of the run.
struct RowPictures {
    RobustnessRow Row;
    Bitmap Marked;     // the marked picture the cell attacked
    Bitmap Attacked;
    Bitmap Extracted;  // empty for a method that reads no mark picture
};
RowPictures ComputeRowPictures(const SweepPlan& plan, std::uint64_t row);

}  // namespace quillfen
QUILLFEN_API_END
