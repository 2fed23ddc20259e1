#pragma once
// Detection thresholds for the detection score (marking.h): how high must the score be before
// a picture may be said to carry a given key's mark?
//
// Why the score and not NC. The method is not blind: the key holds the host's polarity map,
// and a black mark pixel is read wherever a coefficient keeps the relation the host had. An
// unmarked copy of the key's own host therefore reads the whole mark back (NC 1), better than
// the marked picture, and a picture marked with another seed still reads about 0.7: NC tells
// how much a picture resembles the host, not whether the mark is in it. The score looks only
// at the relations the embedding reversed, against the attack's own reversals elsewhere, and
// gives about 0 for all of these pictures.
//
// A picture that does not carry the mark still gives some score: the calibration measures it
// on many such pictures (the null trials), fits a model to each kind of them, and draws two
// thresholds, at false-positive rates 1e-3 and 1e-6, that hold for **every** component of the
// model, not on average over them: the worst null a user can meet (an unmarked copy of the
// key's own picture after light processing) sets them, not the many other pictures that score
// about 0. A picture is "detected" when its score reaches the threshold (score >= threshold):
// one rule for the verdict of `extract` and the robustness rows.
//
// The model: one normal distribution per component, a (host of the key, kind of trial) of the
// global calibration or a kind of processing of a key's own calibration (mark_key.h). A score
// is the difference of two shares of relations that read reversed, each close to a binomial
// share over thousands of relations; the chance differs by kind and host, hence one component
// for each. A component's standard deviation is the larger of its trials' and the binomial
// one, sqrt(f (1 - f) (1/R + 1/U)), averaged over its trials, for the share f of untouched
// relations read reversed and the counts R and U of reversed and untouched relations, so that
// a component of few trials is never narrower than independent relations would make it.
//
// A component meets a rate r at mean + z(r) sd, z(r) the standard normal's upper quantile; at
// 1e-3 it also needs no more than a thousandth of its own trials at or above the threshold.
// Each threshold is the highest such value over the components (and the one at 1e-6 never
// below the one at 1e-3); the component that gives it "sets" it. Neither exceeds 1, the score
// of the marked picture as written.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

inline constexpr double kFprEmpirical = 1e-3;
inline constexpr double kFprModelled = 1e-6;

// What a calibration's values and thresholds measure. Score: the detection score itself, one-
// sided (a score at or above the threshold is detected): the polarity method's, whose
// reversed relations can only be counted one way, and a method's whose thresholds already
// take in what its reading does (a search over positions, a program's own scale). Spread:
// the score's distance from 0 in units of the chance spread of the picture read,
// z = score / sqrt(ChanceVariance), two-sided: a blind correlation or lattice score narrows
// as a picture holds more coefficients, so one threshold in score units would be set for
// one size of picture only; and a mark turned over (JPEG pulling coefficients onto the other
// bit's lattice, a shift of half a period) reads as far below 0 as a mark reads above it.
enum class Statistic { Score, Spread };
// "score" or "z", as calibration files name them.
const char* StatisticName(Statistic statistic);

// The thresholds that stand when no calibration is given: those of the calibration shipped
// beside the bundled mark (samples/seal-128.calibration.json, made by `make calibration`; a
// test holds the two equal).
inline constexpr double kDefaultThreshold1e3 = 0.0968119010893656;
inline constexpr double kDefaultThreshold1e6 = 0.1303562908439012;

enum class NullTrialKind { OtherHostMarked, OtherHostUnmarked, OwnHostUnmarked };
inline constexpr int kNullTrialKinds = 3;
// "other-host-marked", "other-host-unmarked", "own-host-unmarked".
const char* NullTrialKindName(NullTrialKind kind);

// One normal component of the model.
struct NullComponent {
    std::string Host;        // the host of the keys
    NullTrialKind Kind = NullTrialKind::OtherHostMarked;
    std::uint64_t Trials = 0;
    double Weight = 0;       // Trials / all trials
    double Mean = 0;
    double SampleStdDev = 0; // of its trials (divisor trials - 1; 0 for one trial)
    double BinomialStdDev = 0;  // what independent relations alone would give
    double StdDev = 0;       // the model's: max(SampleStdDev, BinomialStdDev)
    // Its highest scores, Trials / 1000 + 1 of them, highest first: enough to tell the lowest
    // score that at most a thousandth of its trials reach.
    std::vector<double> Top;
    // Where it meets each rate (see above): the model's quantile, at 1e-3 also its trials'.
    double Quantile1e3 = 0;
    double Quantile1e6 = 0;
    bool operator==(const NullComponent&) const = default;
};

// Which component sets a threshold, and by what: "model" (its normal quantile), "trials" (at
// 1e-3, its own trials' quantile) or "1e-3" (the threshold at 1e-6 raised to the one at 1e-3).
struct ThresholdSource {
    std::string Host;
    NullTrialKind Kind = NullTrialKind::OtherHostMarked;
    std::string From;
    bool operator==(const ThresholdSource&) const = default;
};

// Empirical against model quantile at probability P of the null distribution.
struct QuantileFit {
    double P = 0;
    double Empirical = 0;
    double Model = 0;
    bool operator==(const QuantileFit&) const = default;
};

// The thresholds and, for a calibration run, the sample and model they come from. A file
// holding only "statistic" and "thresholds" (written by hand or by other tools) gives the
// thresholds alone: no trials, components or histogram.
struct QUILLFEN_EXPORT Calibration {
    std::string Program;                 // the program and version that made it
    // What its values and thresholds measure. For Spread, the histogram and each component's
    // top values hold |z| (what the two-sided verdict compares), the components' means and
    // spreads signed z: a component meets a rate r at |mean| + z(r / 2) sd.
    Statistic Units = Statistic::Score;
    // The method and its parameters ("qim:step=16,bits=64") for a calibration of a method other
    // than the polarity method, which has none (its files have no "method").
    std::string Method;
    std::string MarkFile;                // the mark's file name
    std::string MarkDigestText;          // MarkDigest of the mark; empty when not recorded
    int MarkBlackPixels = 0;             // n
    std::vector<std::string> Hosts;      // file names, in trial order
    std::vector<std::uint32_t> Seeds;
    std::vector<std::string> Attacks;    // the cells applied to the own unmarked hosts
    std::uint64_t Trials = 0;
    std::uint64_t KindTrials[kNullTrialKinds] = {};
    // Every score the null trials gave, as (value, count) pairs in increasing value.
    std::vector<std::pair<double, std::uint64_t>> Histogram;
    double Mean = 0;
    double StdDev = 0;
    std::vector<NullComponent> Components;
    std::vector<QuantileFit> Fit;
    double ThresholdEmpirical = 0;       // at kFprEmpirical
    double ThresholdModelled = 0;        // at kFprModelled
    // The components that set them (a calibration run's; empty for thresholds alone).
    ThresholdSource Source1e3;
    ThresholdSource Source1e6;
    // Where it comes from, for reports: the file's path, or "built-in thresholds". Not part
    // of the file.
    std::string Source;

    // Whether the trials are known (a calibration run's file), not only the thresholds.
    bool HasSample() const { return Trials > 0; }
    // The threshold at false-positive rate `fpr`: the stored ones for 1e-3 and 1e-6, the
    // highest of the components' normal quantiles for any other rate in (0, 1) (ArgumentError
    // outside, or without a model).
    double Threshold(double fpr) const;
    // The value (a score, or a signed z for Spread) reaches Threshold(fpr) (Reaches; |z| for
    // Spread).
    bool Detected(double value, double fpr) const;
    // The mixture of the components, each weighted by its share of the trials: P(score >= x)
    // over all the trials (for the fit table and the report's tail chart), and the share of
    // null trials at or above x.
    double ModelTail(double x) const;
    double EmpiricalTail(double x) const;

    bool operator==(const Calibration&) const = default;
};

// Whether a score reaches a threshold: the one comparison behind every detection (of a
// Spread statistic, its distance from 0: Reaches(|z|, threshold)).
inline bool Reaches(double score, double threshold) { return score >= threshold; }
// z of a score: score / sqrt(chance variance); 0 for a reading without a chance spread (no
// coefficient to read) or a score that is no number, which nothing can call present.
double SpreadOf(double score, double chanceVariance);

// The built-in thresholds (kDefaultThreshold1e3, kDefaultThreshold1e6), Source "built-in
// thresholds".
QUILLFEN_EXPORT Calibration DefaultCalibration();

// z with P(Z > z) = share for a standard normal Z, share in (0, 0.5]: the least z (to the
// last bit bisection reaches) whose NormalUpperTail is at most share. The same bits everywhere.
double NormalUpperQuantile(double share);

// Fits the model and thresholds of a calibration whose sample (Histogram, Trials, KindTrials)
// and components' hosts, kinds, trials, means, sample and binomial standard deviations and top
// scores are set: what Calibrate (quillfen/benchmark/calibration.h) does after the trials.
// Exposed so that a stored calibration can be checked against its own sample.
void FitCalibration(Calibration& calibration);

struct KeyCalibration;
// The thresholds of a key's own calibration (mark_key.h) from its components, by the rule
// above, with two differences. The trials of the noise kinds are random and scatter about their
// mean (the normal of their mean and sd); each of the fixed operations (JPEG at a quality, a
// blur, a rescale) gives one score, whose only chance is which relations happen to turn, so a
// fixed kind is the normal of its highest score and the binomial sd. At 1e-3 each threshold is
// also above every trial's score (Largest: a kind of a key has far fewer than a thousand
// trials). ArgumentError without a component.
void FitKeyCalibration(KeyCalibration& calibration);

// The thresholds a key's verdicts use: at each rate the larger of the key's own calibration's
// and the global calibration's (the global ones alone for a key without a calibration of its
// own), and whose each is.
struct KeyThresholds {
    Statistic Units = Statistic::Score;  // what At1e3 and At1e6 measure (the global calibration's)
    double At1e3 = 0.0;
    double At1e6 = 0.0;
    bool OwnCalibration = false;  // the key has one ("key"; otherwise "global")
    // Whose threshold is the larger: the key's own (true) or the global one.
    bool KeySets1e3 = false;
    bool KeySets1e6 = false;
};
// `own` is none for a key without a calibration of its own (the key's Calibration field). A
// key's own calibration measures the score: ArgumentError beside a global one of Spread.
QUILLFEN_EXPORT KeyThresholds ThresholdsOf(const std::optional<KeyCalibration>& own, const Calibration& global);

// The verdict on a score: present when it reaches the threshold at 1e-6 false alarms, and
// whether it reaches the one at 1e-3. Every verdict of every method, front end and row is this
// one comparison. What the rates bound is the chance that a picture without the key's carrier
// reaches the threshold; they say nothing of a payload (a payload method's reading says
// whether the key's payload was read).
struct Verdict {
    bool Present = false;  // at 1e-6
    double Score = 0.0;
    // In score units, for this picture: a Spread threshold times the picture's chance spread
    // (a larger picture has a narrower null, hence a lower threshold); for Spread the score
    // reaches it in absolute value.
    double Threshold = 0.0;  // at 1e-6
    double FalseAlarmRate = kFprModelled;
    bool Detected1e3 = false;
    double Threshold1e3 = 0.0;
    bool OwnCalibration = false;  // the key's own calibration took part
    Statistic Units = Statistic::Score;
    double Z = 0.0;  // Spread: the score's z (SpreadOf); 0 otherwise
    // Spread: detected (at 1e-3) below 0, the mark read turned over (its payload reads back
    // flipped). Never for a Score verdict.
    bool Inverted = false;
};
// A Score verdict (ArgumentError for thresholds of Spread, which need the chance variance).
QUILLFEN_EXPORT Verdict Judge(double score, const KeyThresholds& thresholds);
// Any verdict: `chanceVariance` is the reading's (MethodReading::ChanceVariance); a Score
// verdict ignores it.
QUILLFEN_EXPORT Verdict Judge(double score, double chanceVariance, const KeyThresholds& thresholds);
// The same with a calibration's thresholds alone.
QUILLFEN_EXPORT Verdict Judge(double score, const Calibration& calibration);
QUILLFEN_EXPORT Verdict Judge(double score, double chanceVariance, const Calibration& calibration);

// The JSON text of a calibration (docs/detection.md documents its schema), ending in a
// newline. The histogram is written one bin per line.
QUILLFEN_EXPORT std::string CalibrationJson(const Calibration& calibration);
// Reads it back, or a file of thresholds alone ({"statistic": "score" or "z", "thresholds":
// {"fpr_1e-3": x, "fpr_1e-6": y}}; a file without "statistic" is of the score). FormatError naming `source` for anything else, among it
// a calibration of NC (made by earlier versions: its numbers mean nothing for the score).
QUILLFEN_EXPORT Calibration ParseCalibration(std::string_view text, const std::string& source);
// The first 16 hex digits of the SHA-256 of CalibrationJson: the calibration as the robustness
// rows it judged record it (the same content in another layout has the same digest).
std::string CalibrationDigest(const Calibration& calibration);
// Reads a calibration file (Source set to its path); FileError when it cannot be read,
// FormatError as above.
QUILLFEN_EXPORT Calibration LoadCalibration(const std::filesystem::path& path);
// Writes it atomically (the file is replaced only by a complete new one).
QUILLFEN_EXPORT void SaveCalibration(const std::filesystem::path& path, const Calibration& calibration);

}  // namespace quillfen
QUILLFEN_API_END
