#pragma once
// Security attacks: what an attacker who holds pictures marked with one key can do to that key,
// as opposed to what processing does to one marked picture (robustness.h).
//
// A blind method marks every picture of one key and seed with the same pattern, whatever the
// picture. Averaging the high-pass residuals (picture minus its denoised self) of n pictures
// marked with that key lets the pictures' own detail cancel and the common pattern stand out:
//   averaging  the estimate of n marked pictures, scaled to the mark's own energy, is
//              (a) removal: subtracted from other pictures marked with the key (the detection
//                  rate that is left, and the PSNR the subtraction costs), and
//              (b) forgery: added to unmarked pictures (the rate at which they are judged
//                  marked, and the forgery's PSNR against the unmarked picture);
//   copy       the residual of one marked picture, as it is, added to another unmarked
//              picture (a forgery from a single picture).
// A method whose key is not blind (it reads a suspect against its own host's relations, as the
// polarity method does) has no pattern common to pictures of other hosts: its rows say so.
//
// The pictures. The n marked pictures and the trials' pictures are the run's hosts (their
// 256 x 256 gray regions), each turned or flipped (the eight symmetries of the square) and
// shifted cyclically, so that a run on a dozen hosts still has hundreds of pictures whose
// detail differs. Picture k is host k mod H under symmetry (k / H) mod 8, shifted by a step
// that grows with k / 8H; the estimates use pictures 0..n-1, removal trials pictures from 5000,
// forgeries from 7000, copies from 9000 (the next picture the unmarked target): no trial picture
// is one the estimate was made from.
//
// Rows: one per (method, attack, use, n, trial). Each row is a pure function of the plan and
// its unit (method, attack, n): the rows are the same whatever the threads, and a resumed run
// computes only the units it does not hold.
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// One attack as the command line names it: "averaging:n=10,50,200" (n 1..1000 pictures each)
// or "copy".
struct SecurityAttack {
    std::string Kind;         // "averaging" or "copy"
    std::vector<int> Counts;  // averaging: the numbers of pictures; copy: {1}
    bool operator==(const SecurityAttack&) const = default;
};
inline constexpr int kMostSecurityPictures = 1000;
// ArgumentError for anything else.
SecurityAttack ParseSecurityAttack(std::string_view text);

// A host as the attacks use it: its name and its 256 x 256 gray region.
struct SecurityHost {
    std::string Name;
    std::vector<std::uint8_t> Gray;
};

struct SecurityPlan {
    std::vector<SecurityHost> Hosts;
    Bitmap Mark;  // for a method that embeds a mark
    std::vector<SweepMethod> Methods;
    std::vector<SecurityAttack> Attacks;
    std::uint32_t Seed = 1;  // the key's seed (and the payload it draws)
    int Trials = 24;         // suspect pictures per use
    // Each method with a strength marks at this embedding PSNR (the strength found on the
    // first picture, used for every picture: one key, one strength).
    std::optional<double> TargetPsnr;
};

struct SecurityRow {
    std::string Method;  // the method's label in the run
    std::string MethodParams;
    std::string Attack;  // "averaging" or "copy"
    std::string Use;     // "removal" or "forgery"
    int Pictures = 0;    // marked pictures the estimate came from
    int Trial = 0;
    std::uint32_t Seed = 0;
    std::string Picture;  // the suspect's host and variant ("clock.pgm#5000")
    bool Applies = true;
    std::string Why;  // when it does not apply
    // The attacked (removal) or forged picture against the picture it was made from.
    double Psnr = 0;
    double Ssim = 0;
    // The estimate's normalised correlation with the pattern the key really added (the mean
    // of marked minus host over the n pictures): 1 for a perfect estimate.
    double EstimateFit = 0;
    double Score = 0;
    std::optional<bool> Detected1e3;
    std::optional<bool> Detected1e6;
    int Schema = kRowSchemaVersion;
    std::string Error;
    bool Failed() const { return !Error.empty(); }
    bool operator==(const SecurityRow&) const = default;
};

// A unit of work: one attack at one n for one method. Its key for resuming.
struct SecurityUnit {
    std::size_t Method = 0;
    std::string Attack;
    int Pictures = 0;
};
std::vector<SecurityUnit> SecurityUnits(const SecurityPlan& plan);
std::string SecurityUnitKey(const std::string& method, const std::string& attack, int pictures);

struct SecurityCallbacks {
    // Units for which this returns true are not computed (a resumed run's).
    std::function<bool(const SecurityUnit&)> Skip;
    // Each unit's rows, in unit order.
    std::function<void(const SecurityUnit&, const std::vector<SecurityRow>&)> Rows;
    std::function<void(std::size_t done, std::size_t total)> Progress;
};

// ArgumentError for no host, method or attack, a host that is not 256 x 256 gray, trials
// outside 1..1000.
void CheckSecurityPlan(const SecurityPlan& plan);
void RunSecurity(const SecurityPlan& plan, const SecurityCallbacks& callbacks);
std::vector<SecurityRow> ComputeSecurityUnit(const SecurityPlan& plan, const SecurityUnit& unit);

// Picture k of the plan's hosts (see above).
std::vector<std::uint8_t> SecurityPicture(const std::vector<SecurityHost>& hosts, std::uint64_t k);
std::string SecurityPictureName(const std::vector<SecurityHost>& hosts, std::uint64_t k);
// A 256 x 256 picture minus its Gaussian-smoothed self (sigma 1, mirrored edges): the detail a
// denoiser would take away, in which a mark lives.
std::vector<double> HighPassResidual(const std::vector<std::uint8_t>& picture, int side);

// Rows as JSON Lines and back (ArgumentError naming the line for a line that is not a row).
std::string SecurityRowJson(const SecurityRow& row);
SecurityRow SecurityRowFromJson(std::string_view line);

// A share and its Wilson score interval at 95 %: {rate, low, high}; NaN for no trials.
struct RateInterval {
    double Rate = std::numeric_limits<double>::quiet_NaN();
    double Low = std::numeric_limits<double>::quiet_NaN();
    double High = std::numeric_limits<double>::quiet_NaN();
};
RateInterval WilsonInterval(std::size_t hits, std::size_t trials);

// One line of the report's security table: a (method, attack, use, n) over its trials.
struct SecuritySummary {
    std::string Method;
    std::string Attack;
    std::string Use;
    int Pictures = 0;
    bool Applies = true;
    std::string Why;
    std::size_t Trials = 0;
    std::size_t Failed = 0;
    RateInterval Rate1e3;  // judged marked at 1e-3 (removal: still detected; forgery: fooled)
    RateInterval Rate1e6;
    double PsnrMedian = std::numeric_limits<double>::quiet_NaN();
    double SsimMedian = std::numeric_limits<double>::quiet_NaN();
    double ScoreMedian = std::numeric_limits<double>::quiet_NaN();
    double EstimateFit = std::numeric_limits<double>::quiet_NaN();
};
// In the order of the rows' first appearance.
std::vector<SecuritySummary> SummariseSecurity(const std::vector<SecurityRow>& rows);

// The report's section on the security rows (an HTML fragment; empty for no rows).
std::string SecurityHtmlSection(const std::vector<SecurityRow>& rows);
// A whole page of it, for a security run of its own.
std::string SecurityHtml(const std::vector<SecurityRow>& rows, const std::string& command, const std::string& program);

}  // namespace quillfen
QUILLFEN_API_END
