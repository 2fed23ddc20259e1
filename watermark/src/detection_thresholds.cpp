// The detection thresholds: the fit of the null trials' mixture model and the calibration file.
#include "quillfen/watermark/detection_thresholds.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/io/file_write.h"
#include "quillfen/watermark/mark_key.h"

namespace quillfen {

namespace {

constexpr const char* kFormatName = "quillfen-calibration";
// Version 1 files calibrated NC, version 2 files drew their thresholds from the mixture of all
// trials (a rate on average over hosts); both are refused with a word on why.
constexpr int kFormatVersion = 3;
constexpr const char* kStatistic = "score";
constexpr const char* kSpreadStatistic = "z";
// The largest |z| a Spread calibration or threshold may hold: far beyond any null, and short of
// where doubles of squares would lose the tails.
constexpr double kLargestSpread = 1e6;
constexpr const char* kBuiltIn = "built-in thresholds";
// Files written by `calibrate` run to about a megabyte (one line per distinct score).
constexpr std::int64_t kMaxCalibrationBytes = std::int64_t{64} << 20;

// Where "the next double above" looks: upward from any score and any |z|.
constexpr double kAbove = std::numeric_limits<double>::infinity();

// The tail shares at which the fit is shown, as 1 / D so that the number of trials allowed
// above a quantile, N / D, is exact integer arithmetic.
constexpr std::uint64_t kFitDivisors[] = {2, 10, 100, 1000, 10000, 100000};

// The lowest value that at most count / divisor of the histogram's values reach (value >= it).
// When even the largest value is reached by more, the next double above it.
double TailQuantile(const std::vector<std::pair<double, std::uint64_t>>& histogram, std::uint64_t count,
                    std::uint64_t divisor) {
    const std::uint64_t allowed = count / divisor;
    std::uint64_t reaching = 0;
    double lowest = histogram.empty() ? 0.0 : std::nextafter(histogram.back().first, kAbove);
    for (auto it = histogram.rbegin(); it != histogram.rend(); ++it) {
        if (reaching + it->second > allowed) return lowest;
        reaching += it->second;
        lowest = it->first;
    }
    return lowest;
}

// P(value >= x) of one normal component; for Spread, P(|z| >= x) (x >= 0), both tails.
double ComponentTail(const NullComponent& c, double x, Statistic units) {
    const auto above = [&](double mean) {
        return c.StdDev > 0 ? NormalUpperTail((x - mean) / c.StdDev) : (x <= mean ? 1.0 : 0.0);
    };
    if (units == Statistic::Score) return above(c.Mean);
    return std::min(1.0, above(c.Mean) + above(-c.Mean));
}

double MixtureTail(const std::vector<NullComponent>& components, double x, Statistic units) {
    double tail = 0;
    for (const NullComponent& c : components) tail = tail + c.Weight * ComponentTail(c, x, units);
    return tail;
}

// Where a component meets tail share `share`: mean + z sd, or for Spread, whose verdict takes
// both tails, |mean| + z(share / 2) sd.
double ComponentQuantile(const NullComponent& c, double share, Statistic units) {
    if (units == Statistic::Score) return c.Mean + NormalUpperQuantile(share) * c.StdDev;
    return std::fabs(c.Mean) + NormalUpperQuantile(share / 2) * c.StdDev;
}

// A threshold above 1 would refuse even the marked picture as written, which scores 1; a
// Spread threshold has no such bound (a marked picture's z grows with its size).
double Capped(double value, Statistic units) { return units == Statistic::Score ? std::min(value, 1.0) : value; }

// The least x (to the last bit bisection reaches) with a model tail at most `share`, in
// [-1, 1] for the score, in [0, kLargestSpread] for |z|.
double MixtureQuantile(const std::vector<NullComponent>& components, double share, Statistic units) {
    double lo = units == Statistic::Score ? -1 : 0;
    double hi = units == Statistic::Score ? 1 : kLargestSpread;
    if (MixtureTail(components, lo, units) <= share) return lo;
    if (MixtureTail(components, hi, units) > share) return hi;
    for (int i = 0; i < 200; ++i) {
        const double mid = lo + (hi - lo) / 2;
        if (mid <= lo || mid >= hi) break;
        if (MixtureTail(components, mid, units) > share) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return hi;
}

// The lowest value that at most `allowed` of a component's trials reach, from its highest
// `allowed + 1` scores (highest first): TailQuantile of its whole sample.
double TopQuantile(const std::vector<double>& top, std::uint64_t allowed) {
    if (top.empty()) return -1;
    // The highest score more than `allowed` trials reach; the threshold is the lowest score
    // above it (as TailQuantile, a score the trials gave), or just above it when none is.
    const double below = top[std::min<std::size_t>(allowed, top.size() - 1)];
    double lowest = std::numeric_limits<double>::infinity();
    for (const double v : top)
        if (v > below) lowest = std::min(lowest, v);
    return std::isinf(lowest) ? std::nextafter(below, kAbove) : lowest;
}


std::string FormatError_(const std::string& source, const std::string& reason) {
    return "'" + source + "' is not a calibration file: " + reason;
}

// A whole number 0..highest. nlohmann's own conversion of a real as large as 1e60 to an
// integer is undefined behaviour, so the kind and range are checked first.
std::uint64_t WholeNumber(const nlohmann::json& value, std::uint64_t highest, const std::string& source,
                          const char* what) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > highest)
        throw FormatError(FormatError_(source, std::string(what) + " is not a whole number 0.." + std::to_string(highest)));
    return value.get<std::uint64_t>();
}

// A product of counts, or nothing when it does not fit in 64 bits.
std::optional<std::uint64_t> Product(std::initializer_list<std::uint64_t> factors) {
    std::uint64_t product = 1;
    for (const std::uint64_t f : factors)
        if (__builtin_mul_overflow(product, f, &product)) return std::nullopt;
    return product;
}

bool Close(double stored, double computed) {
    return std::fabs(stored - computed) <= 1e-12 * std::max(1.0, std::fabs(computed));
}

// The shortest text that reads back as the value ("-1", "1.7e+308").
std::string Shown(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : "?";
}

}  // namespace

namespace {

// A calibration run's file must be what a run writes: every value in its range, the counts of
// its trials those of its hosts, seeds and attacks, and its statistics, model and thresholds
// those that its own histogram and components give. A file changed by hand or by damage would
// otherwise move the thresholds, or make the report draw what no run gives.
void CheckConsistency(const Calibration& cal, const std::string& source) {
    auto refuse = [&](const std::string& reason) { throw FormatError(FormatError_(source, reason)); };
    const bool spread = cal.Units == Statistic::Spread;
    // The range of a value: a score in -1..1 (a difference of two shares or a correlation), |z|
    // in 0..kLargestSpread; and of a component's signed mean.
    const double lowest = spread ? 0.0 : -1.0, highest = spread ? kLargestSpread : 1.0;
    const double lowestMean = spread ? -kLargestSpread : -1.0, widest = spread ? kLargestSpread : 2.0;
    for (const auto& [value, count] : cal.Histogram)
        if (!(value >= lowest && value <= highest))
            refuse(spread ? "a histogram |z| is " + Shown(value) + ", outside 0.." + Shown(highest)
                          : "a histogram score is " + Shown(value) +
                                ", outside -1..1 (a score is a difference of two shares)");
    const std::uint64_t H = cal.Hosts.size(), S = cal.Seeds.size(), C = cal.Attacks.size();
    if (H == 0 || S == 0) refuse("it names no host or no seed");
    // Per key (H S of them): (H - 1) S other hosts marked, H - 1 unmarked, C own attacked. A
    // blind method's key is its seed's, so its other hosts marked are those of the other seeds:
    // (H - 1) (S - 1).
    const std::uint64_t markedSeeds = cal.Method.empty() ? S : S - 1;
    const std::optional<std::uint64_t> perHost[kNullTrialKinds] = {Product({S, H - 1, markedSeeds}),
                                                                   Product({S, H - 1}), Product({S, C})};
    std::uint64_t all = 0;
    for (int k = 0; k < kNullTrialKinds; ++k) {
        const std::optional<std::uint64_t> kind = perHost[k] ? Product({*perHost[k], H}) : std::nullopt;
        if (!kind || cal.KindTrials[k] != *kind)
            refuse(std::string("its \"trial_kinds\" count ") + std::to_string(cal.KindTrials[k]) + " " +
                   NullTrialKindName(static_cast<NullTrialKind>(k)) + " trials; its hosts, seeds and attacks make " +
                   (kind ? std::to_string(*kind) : std::string("more than can be counted")));
        all += cal.KindTrials[k];
    }
    if (cal.Trials != all)
        refuse("it counts " + std::to_string(cal.Trials) + " trials, its kinds " + std::to_string(all));
    std::set<std::pair<std::string, int>> seen;
    const std::set<std::string> hosts(cal.Hosts.begin(), cal.Hosts.end());
    for (const NullComponent& c : cal.Components) {
        const int kind = static_cast<int>(c.Kind);
        if (hosts.count(c.Host) == 0) refuse("a model component's host '" + c.Host + "' is none of its hosts");
        if (!seen.insert({c.Host, kind}).second)
            refuse("the model has two components of host '" + c.Host + "' and kind " + NullTrialKindName(c.Kind));
        if (c.Trials != *perHost[kind])
            refuse("the model component of host '" + c.Host + "' and kind " + NullTrialKindName(c.Kind) + " has " +
                   std::to_string(c.Trials) + " trials, not " + std::to_string(*perHost[kind]));
        if (!(c.Mean >= lowestMean && c.Mean <= highest) || !(c.SampleStdDev >= 0 && c.SampleStdDev <= widest) ||
            !(c.BinomialStdDev >= 0 && c.BinomialStdDev <= widest))
            refuse("the model component of host '" + c.Host + "' has a mean or standard deviation out of range (" +
                   Shown(c.Mean) + ", " + Shown(c.SampleStdDev) + ", " + Shown(c.BinomialStdDev) + ")");
        if (c.Top.size() != std::min<std::uint64_t>(c.Trials, c.Trials / 1000 + 1))
            refuse("the model component of host '" + c.Host + "' and kind " + NullTrialKindName(c.Kind) + " keeps " +
                   std::to_string(c.Top.size()) + " top scores, not " + std::to_string(c.Trials / 1000 + 1));
        for (std::size_t i = 0; i < c.Top.size(); ++i)
            if (!(c.Top[i] >= lowest && c.Top[i] <= highest) || (i > 0 && !(c.Top[i] <= c.Top[i - 1])))
                refuse("the top scores of the model component of host '" + c.Host + "' are not values in " +
                       Shown(lowest) + ".." + Shown(highest) + ", highest first");
        // The largest |z| is never below the signed mean's distance from 0.
        if (!c.Top.empty() && !(c.Top[0] >= (spread ? std::fabs(c.Mean) : c.Mean) - 1e-9))
            refuse("the model component of host '" + c.Host + "' has a highest score below its mean");
    }
    for (int k = 0; k < kNullTrialKinds; ++k) {
        std::uint64_t counted = 0;
        for (const NullComponent& c : cal.Components) counted += static_cast<int>(c.Kind) == k ? c.Trials : 0;
        if (counted != cal.KindTrials[k])
            refuse(std::string("the model's components hold ") + std::to_string(counted) + " " +
                   NullTrialKindName(static_cast<NullTrialKind>(k)) + " trials, not " + std::to_string(cal.KindTrials[k]));
    }
    // What its own sample and components give.
    Calibration fitted = cal;
    FitCalibration(fitted);
    if (!Close(cal.Mean, fitted.Mean) || !Close(cal.StdDev, fitted.StdDev))
        refuse("its null mean and sd (" + Shown(cal.Mean) + ", " + Shown(cal.StdDev) + ") are not those of its histogram (" +
               Shown(fitted.Mean) + ", " + Shown(fitted.StdDev) + ")");
    for (std::size_t i = 0; i < cal.Components.size(); ++i)
        if (!Close(cal.Components[i].Weight, fitted.Components[i].Weight) ||
            !Close(cal.Components[i].StdDev, fitted.Components[i].StdDev) ||
            !Close(cal.Components[i].Quantile1e3, fitted.Components[i].Quantile1e3) ||
            !Close(cal.Components[i].Quantile1e6, fitted.Components[i].Quantile1e6))
            refuse("the weight, sd or quantiles of the model component of host '" + cal.Components[i].Host +
                   "' are not what its trials give");
    bool fitAgrees = cal.Fit.size() == fitted.Fit.size();
    for (std::size_t i = 0; fitAgrees && i < cal.Fit.size(); ++i)
        fitAgrees = Close(cal.Fit[i].P, fitted.Fit[i].P) && Close(cal.Fit[i].Empirical, fitted.Fit[i].Empirical) &&
                    Close(cal.Fit[i].Model, fitted.Fit[i].Model);
    if (!fitAgrees) refuse("its \"fit\" table is not what its histogram and model give");
    if (!Close(cal.ThresholdEmpirical, fitted.ThresholdEmpirical))
        refuse("its threshold at 1e-3 is " + Shown(cal.ThresholdEmpirical) + ", its trials give " +
               Shown(fitted.ThresholdEmpirical));
    if (!Close(cal.ThresholdModelled, fitted.ThresholdModelled))
        refuse("its threshold at 1e-6 is " + Shown(cal.ThresholdModelled) + ", its model gives " +
               Shown(fitted.ThresholdModelled));
    if (cal.Source1e3 != fitted.Source1e3 || cal.Source1e6 != fitted.Source1e6)
        refuse("its \"threshold_sources\" do not name the components that set its thresholds");
}

}  // namespace

const char* NullTrialKindName(NullTrialKind kind) {
    switch (kind) {
    case NullTrialKind::OtherHostMarked: return "other-host-marked";
    case NullTrialKind::OtherHostUnmarked: return "other-host-unmarked";
    case NullTrialKind::OwnHostUnmarked: return "own-host-unmarked";
    }
    return "?";
}

double Calibration::ModelTail(double x) const { return MixtureTail(Components, x, Units); }

double Calibration::EmpiricalTail(double x) const {
    if (Trials == 0) return 0;
    std::uint64_t reaching = 0;
    for (const auto& [value, count] : Histogram)
        if (value >= x) reaching += count;
    return static_cast<double>(reaching) / static_cast<double>(Trials);
}

Calibration DefaultCalibration() {
    Calibration cal;
    cal.ThresholdEmpirical = kDefaultThreshold1e3;
    cal.ThresholdModelled = kDefaultThreshold1e6;
    cal.Source = kBuiltIn;
    return cal;
}

double Calibration::Threshold(double fpr) const {
    if (fpr == kFprEmpirical) return ThresholdEmpirical;
    if (fpr == kFprModelled) return ThresholdModelled;
    if (!(fpr > 0 && fpr < 1))
        throw ArgumentError("false-positive rate " + std::to_string(fpr) + " is outside (0, 1)");
    if (Components.empty())
        throw ArgumentError("this calibration holds the thresholds at 1e-3 and 1e-6 only, no model for other rates");
    const double share = Units == Statistic::Score ? std::min(fpr, 0.5) : fpr;
    double highest = -1;
    for (const NullComponent& c : Components) highest = std::max(highest, ComponentQuantile(c, share, Units));
    return Capped(highest, Units);
}

bool Calibration::Detected(double value, double fpr) const {
    return Reaches(Units == Statistic::Spread ? std::fabs(value) : value, Threshold(fpr));
}

const char* StatisticName(Statistic statistic) { return statistic == Statistic::Spread ? kSpreadStatistic : kStatistic; }

double SpreadOf(double score, double chanceVariance) {
    if (!(chanceVariance > 0) || !std::isfinite(chanceVariance) || !std::isfinite(score)) return 0.0;
    return score / std::sqrt(chanceVariance);
}

KeyThresholds ThresholdsOf(const std::optional<KeyCalibration>& own, const Calibration& global) {
    KeyThresholds t;
    t.Units = global.Units;
    if (own && global.Units != Statistic::Score)
        throw ArgumentError("a key's own calibration measures the detection score; the global calibration measures z");
    t.At1e3 = global.Threshold(kFprEmpirical);
    t.At1e6 = global.Threshold(kFprModelled);
    if (own) {
        t.OwnCalibration = true;
        t.KeySets1e3 = own->Threshold1e3 > t.At1e3;
        t.KeySets1e6 = own->Threshold1e6 > t.At1e6;
        t.At1e3 = std::max(t.At1e3, own->Threshold1e3);
        t.At1e6 = std::max(t.At1e6, own->Threshold1e6);
    }
    return t;
}

Verdict Judge(double score, const KeyThresholds& thresholds) {
    if (thresholds.Units != Statistic::Score)
        throw ArgumentError("thresholds of z judge a score with the chance variance of its reading");
    return Judge(score, 0.0, thresholds);
}

Verdict Judge(double score, double chanceVariance, const KeyThresholds& thresholds) {
    Verdict verdict;
    verdict.Score = score;
    verdict.Units = thresholds.Units;
    verdict.FalseAlarmRate = kFprModelled;
    verdict.OwnCalibration = thresholds.OwnCalibration;
    if (thresholds.Units == Statistic::Score) {
        verdict.Threshold = thresholds.At1e6;
        verdict.Present = Reaches(score, thresholds.At1e6);
        verdict.Threshold1e3 = thresholds.At1e3;
        verdict.Detected1e3 = Reaches(score, thresholds.At1e3);
        return verdict;
    }
    verdict.Z = SpreadOf(score, chanceVariance);
    const double spread = chanceVariance > 0 && std::isfinite(chanceVariance) ? std::sqrt(chanceVariance) : 0.0;
    verdict.Threshold = thresholds.At1e6 * spread;
    verdict.Threshold1e3 = thresholds.At1e3 * spread;
    verdict.Present = Reaches(std::fabs(verdict.Z), thresholds.At1e6);
    verdict.Detected1e3 = Reaches(std::fabs(verdict.Z), thresholds.At1e3);
    verdict.Inverted = verdict.Detected1e3 && verdict.Z < 0;
    return verdict;
}

Verdict Judge(double score, const Calibration& calibration) { return Judge(score, ThresholdsOf(std::nullopt, calibration)); }

Verdict Judge(double score, double chanceVariance, const Calibration& calibration) {
    return Judge(score, chanceVariance, ThresholdsOf(std::nullopt, calibration));
}

double NormalUpperQuantile(double share) {
    if (!(share > 0 && share <= 0.5)) throw ArgumentError("a normal quantile needs a tail share in (0, 0.5]");
    double lo = 0;
    double hi = 40;
    for (int i = 0; i < 200; ++i) {
        const double mid = lo + (hi - lo) / 2;
        if (mid <= lo || mid >= hi) break;
        if (NormalUpperTail(mid) > share) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return hi;
}

void FitKeyCalibration(KeyCalibration& cal) {
    if (cal.Components.empty()) throw ArgumentError("a key's calibration needs at least one kind of trial");
    const double z3 = NormalUpperQuantile(kFprEmpirical);
    const double z6 = NormalUpperQuantile(kFprModelled);
    double at3 = -1;
    double at6 = -1;
    for (const KeyNullComponent& c : cal.Components) {
        // Trials of random noise scatter about their mean; the fixed operations each give one
        // score, whose chance is only which relations happen to turn: the highest of them with
        // the spread of independent relations.
        const bool random = c.Kind == KeyTrialKind::Noise || c.Kind == KeyTrialKind::NoiseJpeg;
        const double centre = random ? c.Mean : c.Largest;
        const double sd = random ? std::max(c.SampleStdDev, c.BinomialStdDev) : c.BinomialStdDev;
        at3 = std::max({at3, centre + z3 * sd, std::nextafter(c.Largest, 2.0)});
        at6 = std::max(at6, centre + z6 * sd);
    }
    cal.Threshold1e3 = Capped(at3, Statistic::Score);
    cal.Threshold1e6 = Capped(std::max(at6, at3), Statistic::Score);
}

void FitCalibration(Calibration& cal) {
    if (cal.Trials == 0 || cal.Histogram.empty()) throw ArgumentError("a calibration needs at least one null trial");
    double sum = 0;
    for (const auto& [value, count] : cal.Histogram) sum = sum + value * static_cast<double>(count);
    cal.Mean = sum / static_cast<double>(cal.Trials);
    double squares = 0;
    for (const auto& [value, count] : cal.Histogram)
        squares = squares + (value - cal.Mean) * (value - cal.Mean) * static_cast<double>(count);
    cal.StdDev = cal.Trials > 1 ? std::sqrt(squares / static_cast<double>(cal.Trials - 1)) : 0.0;

    for (NullComponent& c : cal.Components) {
        c.Weight = static_cast<double>(c.Trials) / static_cast<double>(cal.Trials);
        c.StdDev = std::max(c.SampleStdDev, c.BinomialStdDev);
    }

    cal.Fit.clear();
    for (const std::uint64_t divisor : kFitDivisors) {
        if (cal.Trials < divisor) break;
        const double share = 1.0 / static_cast<double>(divisor);
        cal.Fit.push_back({1.0 - share, TailQuantile(cal.Histogram, cal.Trials, divisor),
                           MixtureQuantile(cal.Components, share, cal.Units)});
    }
    // Every component meets each rate: the highest of their quantiles.
    const NullComponent* sets3 = nullptr;
    const NullComponent* sets6 = nullptr;
    bool fromTrials = false;
    for (NullComponent& c : cal.Components) {
        const double model3 = ComponentQuantile(c, kFprEmpirical, cal.Units);
        const double trials3 = TopQuantile(c.Top, c.Trials / 1000);
        c.Quantile1e3 = Capped(std::max(model3, trials3), cal.Units);
        c.Quantile1e6 = Capped(ComponentQuantile(c, kFprModelled, cal.Units), cal.Units);
        if (sets3 == nullptr || c.Quantile1e3 > sets3->Quantile1e3) {
            sets3 = &c;
            fromTrials = trials3 > model3;
        }
        if (sets6 == nullptr || c.Quantile1e6 > sets6->Quantile1e6) sets6 = &c;
    }
    if (sets3 == nullptr) throw ArgumentError("a calibration needs at least one model component");
    cal.ThresholdEmpirical = sets3->Quantile1e3;
    cal.Source1e3 = {sets3->Host, sets3->Kind, fromTrials ? "trials" : "model"};
    // A rarer false alarm never asks for a lower score, whatever the model says.
    if (sets6->Quantile1e6 >= cal.ThresholdEmpirical) {
        cal.ThresholdModelled = sets6->Quantile1e6;
        cal.Source1e6 = {sets6->Host, sets6->Kind, "model"};
    } else {
        cal.ThresholdModelled = cal.ThresholdEmpirical;
        cal.Source1e6 = {sets3->Host, sets3->Kind, "1e-3"};
    }
}

std::string CalibrationJson(const Calibration& cal) {
    using Json = nlohmann::ordered_json;
    Json j;
    j["format"] = kFormatName;
    j["version"] = kFormatVersion;
    j["statistic"] = StatisticName(cal.Units);
    j["rule"] = cal.Units == Statistic::Score ? "detected when score >= threshold"
                                              : "detected when |z| >= threshold, z = score / sqrt(chance variance)";
    j["thresholds"] = {{"fpr_1e-3", cal.ThresholdEmpirical}, {"fpr_1e-6", cal.ThresholdModelled}};
    const auto source = [](const ThresholdSource& t) {
        return Json{{"host", t.Host}, {"kind", NullTrialKindName(t.Kind)}, {"from", t.From}};
    };
    j["threshold_sources"] = {{"fpr_1e-3", source(cal.Source1e3)}, {"fpr_1e-6", source(cal.Source1e6)}};
    j["program"] = cal.Program;
    if (!cal.Method.empty()) j["method"] = cal.Method;
    j["mark"] = {{"file", cal.MarkFile}, {"digest", cal.MarkDigestText}, {"black_pixels", cal.MarkBlackPixels}};
    j["hosts"] = cal.Hosts;
    j["seeds"] = cal.Seeds;
    j["attacks"] = cal.Attacks;
    j["trials"] = cal.Trials;
    Json kinds = Json::object();
    for (int k = 0; k < kNullTrialKinds; ++k) kinds[NullTrialKindName(static_cast<NullTrialKind>(k))] = cal.KindTrials[k];
    j["trial_kinds"] = kinds;
    Json components = Json::array();
    for (const NullComponent& c : cal.Components)
        components.push_back({{"host", c.Host},
                              {"kind", NullTrialKindName(c.Kind)},
                              {"trials", c.Trials},
                              {"weight", c.Weight},
                              {"mean", c.Mean},
                              {"sample_sd", c.SampleStdDev},
                              {"binomial_sd", c.BinomialStdDev},
                              {"sd", c.StdDev},
                              {"top", c.Top},
                              {"quantile_1e-3", c.Quantile1e3},
                              {"quantile_1e-6", c.Quantile1e6}});
    j["model"] = {{"name", "normal-per-component"},
                  {"description",
                   "one normal per (key host, trial kind); sd = max(sample sd, binomial_sd), binomial_sd = sqrt(mean "
                   "over the trials of f (1 - f) (1/R + 1/U)); a component meets rate r at mean + z(r) sd and, at "
                   "1e-3, above its own trials' quantile (from its top scores); each threshold is the highest over "
                   "the components; the fit table compares the trials with the mixture weighted by the trials"},
                  {"components", components}};
    Json fit = Json::array();
    for (const QuantileFit& q : cal.Fit) fit.push_back({{"p", q.P}, {"empirical", q.Empirical}, {"model", q.Model}});
    j["fit"] = fit;
    // The histogram has a bin per distinct score, thousands of them: one line each, spliced
    // in where a placeholder stands, keeps the file readable and a fraction of the size.
    constexpr const char* kPlaceholder = "@histogram@";
    j["null"] = {{"mean", cal.Mean}, {"sd", cal.StdDev}, {"histogram", kPlaceholder}};
    std::string text = j.dump(2);
    std::string bins = "[";
    for (std::size_t i = 0; i < cal.Histogram.size(); ++i) {
        bins += i == 0 ? "\n      " : ",\n      ";
        // Appended piece by piece: GCC 12 misreads "[" + a temporary string as an overlapping copy.
        bins += '[';
        bins += Json(cal.Histogram[i].first).dump();
        bins += ", ";
        bins += std::to_string(cal.Histogram[i].second);
        bins += ']';
    }
    bins += cal.Histogram.empty() ? "]" : "\n    ]";
    const std::string quoted = std::string("\"") + kPlaceholder + "\"";
    text.replace(text.find(quoted), quoted.size(), bins);
    return text + "\n";
}

Calibration ParseCalibration(std::string_view text, const std::string& source) {
    using Json = nlohmann::json;
    Json j;
    try {
        j = Json::parse(text);
    } catch (const Json::exception&) {
        throw FormatError(FormatError_(source, "it is not valid JSON"));
    }
    if (!j.is_object()) throw FormatError(FormatError_(source, "it does not hold a JSON object"));
    try {
        const bool calibrationRun = j.contains("format");
        Statistic units = Statistic::Score;
        if (j.contains("statistic")) {
            if (!j["statistic"].is_string()) throw FormatError(FormatError_(source, "\"statistic\" is not a text"));
            const std::string statistic = j["statistic"].get<std::string>();
            if (statistic == kSpreadStatistic) units = Statistic::Spread;
            else if (statistic != kStatistic)
                throw FormatError("'" + source + "' calibrates \"" + statistic +
                                  "\", not the detection score the verdict uses; make a new one with "
                                  "quillfen-cli calibrate");
        } else if (calibrationRun && j["format"] == kFormatName) {
            throw FormatError("'" + source +
                              "' calibrates NC (made by an earlier quillfen-cli calibrate); detection now judges "
                              "the detection score, whose thresholds differ: make a new one with quillfen-cli "
                              "calibrate");
        }
        if (calibrationRun) {
            if (j["format"] != kFormatName)
                throw FormatError(FormatError_(source, std::string("no \"format\": \"") + kFormatName + "\""));
            if (j.at("version").is_number_unsigned() && j.at("version").get<std::uint64_t>() == 2)
                throw FormatError("'" + source +
                                  "' was made by an earlier quillfen-cli calibrate, whose thresholds held on average "
                                  "over its hosts rather than for each of them; make a new one with quillfen-cli "
                                  "calibrate");
            if (!j.at("version").is_number_unsigned() || j.at("version").get<std::uint64_t>() != kFormatVersion)
                throw FormatError(FormatError_(source, "version " + j.at("version").dump() + " (this program reads " +
                                                           std::to_string(kFormatVersion) + ")"));
        }
        if (!j.contains("thresholds") || !j["thresholds"].is_object())
            throw FormatError(FormatError_(source, "it has no \"thresholds\" object"));
        const Json& thresholds = j["thresholds"];
        const auto threshold = [&](const char* field) {
            if (!thresholds.contains(field) || !thresholds[field].is_number())
                throw FormatError(FormatError_(source, std::string("\"thresholds\" has no number \"") + field + "\""));
            const double value = thresholds[field].get<double>();
            if (units == Statistic::Spread ? !(value > 0 && value <= kLargestSpread)
                                           : (!std::isfinite(value) || value < -1.0 || value > 1.0))
                throw FormatError(FormatError_(source, std::string("\"") + field + "\" is " + thresholds[field].dump() +
                                                           (units == Statistic::Spread ? ", not a |z| above 0" : ", outside -1..1")));
            return value;
        };
        Calibration cal;
        cal.Units = units;
        cal.ThresholdEmpirical = threshold("fpr_1e-3");
        cal.ThresholdModelled = threshold("fpr_1e-6");
        if (cal.ThresholdModelled < cal.ThresholdEmpirical)
            throw FormatError(FormatError_(source, "the threshold at 1e-6 is below the one at 1e-3"));
        if (!calibrationRun) {
            // Thresholds alone cannot be checked against trials; at 0 or below, pictures without
            // the mark (whose scores lie about 0) would be judged to carry it.
            if (!(cal.ThresholdEmpirical > 0))
                throw FormatError(FormatError_(source, "the threshold at 1e-3 is " + thresholds["fpr_1e-3"].dump() +
                                                           "; a threshold must lie above 0, where pictures without "
                                                           "the mark score"));
            return cal;
        }

        cal.Program = j.at("program").get<std::string>();
        if (j.contains("method")) cal.Method = j.at("method").get<std::string>();
        cal.MarkFile = j.at("mark").at("file").get<std::string>();
        cal.MarkDigestText = j.at("mark").at("digest").get<std::string>();
        cal.MarkBlackPixels =
            static_cast<int>(WholeNumber(j.at("mark").at("black_pixels"), 128 * 128, source, "\"black_pixels\""));
        cal.Hosts = j.at("hosts").get<std::vector<std::string>>();
        for (const Json& seed : j.at("seeds"))
            cal.Seeds.push_back(static_cast<std::uint32_t>(WholeNumber(seed, 0xFFFFFFFFu, source, "a seed")));
        cal.Attacks = j.at("attacks").get<std::vector<std::string>>();
        constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
        cal.Trials = WholeNumber(j.at("trials"), kMost, source, "\"trials\"");
        for (int k = 0; k < kNullTrialKinds; ++k)
            cal.KindTrials[k] = WholeNumber(j.at("trial_kinds").at(NullTrialKindName(static_cast<NullTrialKind>(k))),
                                            kMost, source, "a count of trials");
        for (const Json& c : j.at("model").at("components")) {
            NullComponent component;
            component.Host = c.at("host").get<std::string>();
            const std::string kind = c.at("kind").get<std::string>();
            bool known = false;
            for (int k = 0; k < kNullTrialKinds; ++k)
                if (kind == NullTrialKindName(static_cast<NullTrialKind>(k))) {
                    component.Kind = static_cast<NullTrialKind>(k);
                    known = true;
                }
            if (!known) throw FormatError(FormatError_(source, "unknown trial kind '" + kind + "'"));
            component.Trials = WholeNumber(c.at("trials"), kMost, source, "a component's \"trials\"");
            component.Weight = c.at("weight").get<double>();
            component.Mean = c.at("mean").get<double>();
            component.SampleStdDev = c.at("sample_sd").get<double>();
            component.BinomialStdDev = c.at("binomial_sd").get<double>();
            component.StdDev = c.at("sd").get<double>();
            component.Top = c.at("top").get<std::vector<double>>();
            component.Quantile1e3 = c.at("quantile_1e-3").get<double>();
            component.Quantile1e6 = c.at("quantile_1e-6").get<double>();
            if (!(component.StdDev >= 0) || !std::isfinite(component.StdDev) || !std::isfinite(component.Mean) ||
                !(component.Weight >= 0 && component.Weight <= 1))
                throw FormatError(FormatError_(source, "a model component has a weight, mean or sd out of range"));
            cal.Components.push_back(component);
        }
        const auto sourceOf = [&](const char* field) {
            const Json& t = j.at("threshold_sources").at(field);
            ThresholdSource read;
            read.Host = t.at("host").get<std::string>();
            const std::string kind = t.at("kind").get<std::string>();
            bool known = false;
            for (int k = 0; k < kNullTrialKinds; ++k)
                if (kind == NullTrialKindName(static_cast<NullTrialKind>(k))) {
                    read.Kind = static_cast<NullTrialKind>(k);
                    known = true;
                }
            if (!known) throw FormatError(FormatError_(source, "unknown trial kind '" + kind + "'"));
            read.From = t.at("from").get<std::string>();
            return read;
        };
        cal.Source1e3 = sourceOf("fpr_1e-3");
        cal.Source1e6 = sourceOf("fpr_1e-6");
        for (const Json& q : j.at("fit"))
            cal.Fit.push_back({q.at("p").get<double>(), q.at("empirical").get<double>(), q.at("model").get<double>()});
        cal.Mean = j.at("null").at("mean").get<double>();
        cal.StdDev = j.at("null").at("sd").get<double>();
        std::uint64_t counted = 0;
        for (const Json& bin : j.at("null").at("histogram")) {
            if (!bin.is_array() || bin.size() != 2) throw FormatError(FormatError_(source, "a histogram bin is not [score, count]"));
            cal.Histogram.emplace_back(bin.at(0).get<double>(), WholeNumber(bin.at(1), kMost, source, "a histogram count"));
            if (cal.Histogram.size() > 1 && !(cal.Histogram.back().first > cal.Histogram[cal.Histogram.size() - 2].first))
                throw FormatError(FormatError_(source, "the histogram's scores are not in increasing order"));
            if (cal.Histogram.back().second == 0 || counted + cal.Histogram.back().second < counted)
                throw FormatError(FormatError_(source, "a histogram bin has no trial or too many"));
            counted += cal.Histogram.back().second;
        }
        if (counted != cal.Trials || cal.Trials == 0)
            throw FormatError(FormatError_(source, "the histogram holds " + std::to_string(counted) + " trials, not " +
                                                       std::to_string(cal.Trials)));
        if (cal.Components.empty()) throw FormatError(FormatError_(source, "the model has no component"));
        CheckConsistency(cal, source);
        return cal;
    } catch (const Json::exception& e) {
        throw FormatError(FormatError_(source, std::string("a field is missing or of the wrong type (") + e.what() + ")"));
    }
}

std::string CalibrationDigest(const Calibration& calibration) {
    const std::string text = CalibrationJson(calibration);
    return HexDigest(Sha256(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))).substr(0, 16);
}

Calibration LoadCalibration(const std::filesystem::path& path) {
    std::int64_t size = 0;
    OpenFileForReading(path, &size);
    if (size > kMaxCalibrationBytes)
        throw FormatError(FormatError_(path.string(), "it is larger than 64 MiB"));
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    Calibration cal =
        ParseCalibration(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path.string());
    cal.Source = path.string();
    return cal;
}

void SaveCalibration(const std::filesystem::path& path, const Calibration& calibration) {
    const std::string text = CalibrationJson(calibration);
    WriteFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace quillfen
