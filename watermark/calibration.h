#pragma once
// Detection thresholds for the normalized correlation (NC): how high must NC be before a
// picture may be said to carry a given watermark?
//
// NC counts, among the watermark's n black pixels where it is compared (rows and columns
// 4..127), the share k / n that the extraction reads black. A picture that does not carry the
// mark still gives some share: the calibration measures that share on many such pictures (the
// null trials), fits a model to it, and draws two thresholds from it:
//   - at a false-positive rate of 1e-3 from the trials themselves (the empirical quantile);
//   - at 1e-6 from the fitted model, as no affordable number of trials reaches that far.
// A picture is "detected" when its NC is strictly above the threshold: at most the stated
// share of the null trials (of the model's mass) lies above it.
//
// The null trials. For every host h and seed s the mark is embedded (the key (h, s)); each key
// then extracts from
//   - the same host marked with every other seed ("wrong-seed"),
//   - every other host marked with every seed ("other-host-marked"),
//   - every other host unmarked ("other-host-unmarked").
// The key's own host unmarked is left out on purpose: the key holds that host's polarity map,
// so its extraction reads every pixel black and NC is 1 by construction of the method; no
// threshold can separate it, and the README says so.
//
// The model: a mixture of normal distributions, one per (host of the key, kind of trial),
// each weighted by its share of the trials. An NC is a share of n pixels that read black by
// chance, close to a binomial share, whose normal approximation is very good for n in the
// thousands; the chance differs by kind (about one half for another picture, more for the
// key's own host marked with another seed, whose polarity map the key shares) and by host,
// hence one component for each. A component's standard deviation is the larger of its trials'
// and the binomial one, sqrt(m (1 - m) / n) for its mean m, so that a component of few trials
// is never narrower than independent pixels would make it.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image/bitmap.h"

namespace quillfen {

inline constexpr double kFprEmpirical = 1e-3;
inline constexpr double kFprModelled = 1e-6;

// A picture and the name rows and reports give it (its file name).
struct NamedPicture {
    std::string Name;
    Bitmap Picture;
};

// The watermark as the method uses it: cut or extended (with white) to 128 x 128, black below
// 128 (the binarisation of GetWr), row-major, 0 or 255.
std::vector<std::uint8_t> BinarisedMark(const Bitmap& mark);
// Its black pixels where NC compares (rows and columns 4..127): n. NC has no value when it is 0.
int MarkComparedBlackPixels(const Bitmap& mark);
// "fnv1a64:" and 16 hex digits of the FNV-1a hash of BinarisedMark: the same for every file
// holding the same mark (seal-128.pgm and seal-128.bmp).
std::string MarkDigest(const Bitmap& mark);

enum class NullTrialKind { WrongSeed, OtherHostMarked, OtherHostUnmarked };
inline constexpr int kNullTrialKinds = 3;
// "wrong-seed", "other-host-marked", "other-host-unmarked".
const char* NullTrialKindName(NullTrialKind kind);

// One normal component of the model.
struct NullComponent {
    std::string Host;        // the host of the keys
    NullTrialKind Kind = NullTrialKind::WrongSeed;
    std::uint64_t Trials = 0;
    double Weight = 0;       // Trials / all trials
    double Mean = 0;
    double SampleStdDev = 0; // of its trials (divisor trials - 1; 0 for one trial)
    double StdDev = 0;       // the model's: max(SampleStdDev, binomial)
    bool operator==(const NullComponent&) const = default;
};

// Empirical against model quantile at probability P of the null distribution.
struct QuantileFit {
    double P = 0;
    double Empirical = 0;
    double Model = 0;
    bool operator==(const QuantileFit&) const = default;
};

struct Calibration {
    std::string Program;                 // the program and version that made it
    std::string MarkFile;                // the mark's file name
    std::string MarkDigestText;          // MarkDigest of the mark
    int MarkBlackPixels = 0;             // n
    std::vector<std::string> Hosts;      // file names, in trial order
    std::vector<std::uint32_t> Seeds;
    std::uint64_t Trials = 0;
    std::uint64_t KindTrials[kNullTrialKinds] = {};
    // Every NC the null trials gave, as (value, count) pairs in increasing value.
    std::vector<std::pair<double, std::uint64_t>> Histogram;
    double Mean = 0;
    double StdDev = 0;
    std::vector<NullComponent> Components;
    std::vector<QuantileFit> Fit;
    double ThresholdEmpirical = 0;       // at kFprEmpirical
    double ThresholdModelled = 0;        // at kFprModelled

    // The threshold at false-positive rate `fpr`: the stored ones for 1e-3 and 1e-6, the
    // model's for any other rate in (0, 1) (ArgumentError outside).
    double Threshold(double fpr) const;
    // NC strictly above Threshold(fpr).
    bool Detected(double nc, double fpr) const { return nc > Threshold(fpr); }
    // The model's P(NC > x) and the share of null trials above x.
    double ModelTail(double x) const;
    double EmpiricalTail(double x) const;

    bool operator==(const Calibration&) const = default;
};

struct CalibrationOptions {
    std::string Program;   // recorded in the result
    int Jobs = 0;          // threads; 0: every core
    // Called after each key, one call at a time, from the worker threads: keys done, in all.
    std::function<void(std::size_t done, std::size_t total)> Progress;
    // When set, the run stops early and throws Cancelled.
    const std::atomic<bool>* Cancel = nullptr;
};

// Thrown by Calibrate when its cancel flag was set.
struct CalibrationCancelled {};

// The number of null trials for H hosts and S seeds: H S (H S - 1) marked pictures and
// H S (H - 1) unmarked ones.
std::uint64_t NullTrialCount(std::size_t hosts, std::size_t seeds);

// Runs the null trials, fits the model and draws the thresholds. Hosts are used in the order
// given. ArgumentError when the mark has no compared black pixel, a seed or a host name is
// repeated, or there would be no trial.
Calibration Calibrate(std::span<const NamedPicture> hosts, const NamedPicture& mark,
                      std::span<const std::uint32_t> seeds, const CalibrationOptions& options);

// Fits the model and thresholds of a calibration whose sample (Histogram, Trials, KindTrials,
// MarkBlackPixels) and components' hosts, kinds, trials, means and sample standard deviations
// are set: what Calibrate does after the trials. Exposed so that a stored calibration can be
// checked against its own sample.
void FitCalibration(Calibration& calibration);

// The JSON text of a calibration (the README documents its schema), ending in a newline.
std::string CalibrationJson(const Calibration& calibration);
// Reads it back. FormatError naming `source` for anything that is not such a calibration.
Calibration ParseCalibration(std::string_view text, const std::string& source);
// Reads a calibration file; FileError when it cannot be read, FormatError as above.
Calibration LoadCalibration(const std::filesystem::path& path);
// Writes it atomically (the file is replaced only by a complete new one).
void SaveCalibration(const std::filesystem::path& path, const Calibration& calibration);

}  // namespace quillfen
