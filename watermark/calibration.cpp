// The null trials, the fit of their mixture model, the thresholds and the calibration file.
#include "watermark/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include "image/errors.h"
#include "io/file_write.h"
#include "watermark/experiment.h"
#include "watermark/portable_math.h"

namespace quillfen {

namespace {

constexpr int kMark = TWatermark::kMarkSize;
constexpr const char* kFormatName = "quillfen-calibration";
constexpr int kFormatVersion = 1;

// The tail shares at which the fit is shown, as 1 / D so that the number of trials allowed
// above a quantile, N / D, is exact integer arithmetic.
constexpr std::uint64_t kFitDivisors[] = {2, 10, 100, 1000, 10000, 100000};

// One trial's extraction: X_wave := the suspect, then the chain and NC.
double ExtractedNc(Experiment& key, const std::vector<std::uint8_t>& bytes, const std::vector<double>& reals) {
    const std::optional<double> nc = key.ExtractFrom(bytes, reals).back().nc;
    // The mark was checked to have compared black pixels, so NC always has a value.
    return nc ? *nc : 0.0;
}

Experiment Embedded(const NamedPicture& host, const NamedPicture& mark, std::uint32_t seed) {
    Experiment e;
    Bitmap picture = host.Picture;
    Bitmap watermark = mark.Picture;
    e.Load(picture, watermark);
    e.SetFixedSeed(seed);
    e.Embed();
    return e;
}

struct Suspect {
    std::vector<std::uint8_t> Bytes;
    std::vector<double> Reals;
};

// The largest value with at most count / divisor values of the sorted histogram above it.
double TailQuantile(const std::vector<std::pair<double, std::uint64_t>>& histogram, std::uint64_t count,
                    std::uint64_t divisor) {
    const std::uint64_t allowedAbove = count / divisor;
    std::uint64_t above = 0;
    for (auto it = histogram.rbegin(); it != histogram.rend(); ++it) {
        if (above + it->second > allowedAbove) return it->first;
        above += it->second;
    }
    return histogram.empty() ? 0.0 : histogram.front().first;
}

double MixtureTail(const std::vector<NullComponent>& components, double x) {
    double tail = 0;
    for (const NullComponent& c : components) {
        const double q = c.StdDev > 0 ? NormalUpperTail((x - c.Mean) / c.StdDev) : (x < c.Mean ? 1.0 : 0.0);
        tail = tail + c.Weight * q;
    }
    return tail;
}

// The least x in [0, 1] (to the last bit bisection reaches) with a model tail at most `share`.
double MixtureQuantile(const std::vector<NullComponent>& components, double share) {
    double lo = 0;
    double hi = 1;
    if (MixtureTail(components, lo) <= share) return lo;
    if (MixtureTail(components, hi) > share) return hi;
    for (int i = 0; i < 200; ++i) {
        const double mid = lo + (hi - lo) / 2;
        if (mid <= lo || mid >= hi) break;
        if (MixtureTail(components, mid) > share) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return hi;
}

std::string FormatError_(const std::string& source, const std::string& reason) {
    return "'" + source + "' is not a calibration file: " + reason;
}

}  // namespace

std::vector<std::uint8_t> BinarisedMark(const Bitmap& mark) {
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(kMark) * kMark, 255);
    for (int r = 0; r < std::min(kMark, mark.height()); ++r)
        for (int c = 0; c < std::min(kMark, mark.width()); ++c)
            bits[static_cast<std::size_t>(r) * kMark + c] = mark.blue(c, r) < 128 ? 0 : 255;
    return bits;
}

int MarkComparedBlackPixels(const Bitmap& mark) {
    const std::vector<std::uint8_t> bits = BinarisedMark(mark);
    int count = 0;
    for (int r = 4; r < kMark; ++r)
        for (int c = 4; c < kMark; ++c) count += bits[static_cast<std::size_t>(r) * kMark + c] == 0;
    return count;
}

std::string MarkDigest(const Bitmap& mark) {
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const std::uint8_t b : BinarisedMark(mark)) hash = (hash ^ b) * 0x100000001B3ULL;
    char text[40];
    std::snprintf(text, sizeof text, "fnv1a64:%016llx", static_cast<unsigned long long>(hash));
    return text;
}

const char* NullTrialKindName(NullTrialKind kind) {
    switch (kind) {
    case NullTrialKind::WrongSeed: return "wrong-seed";
    case NullTrialKind::OtherHostMarked: return "other-host-marked";
    case NullTrialKind::OtherHostUnmarked: return "other-host-unmarked";
    }
    return "?";
}

double Calibration::ModelTail(double x) const { return MixtureTail(Components, x); }

double Calibration::EmpiricalTail(double x) const {
    if (Trials == 0) return 0;
    std::uint64_t above = 0;
    for (const auto& [value, count] : Histogram)
        if (value > x) above += count;
    return static_cast<double>(above) / static_cast<double>(Trials);
}

double Calibration::Threshold(double fpr) const {
    if (fpr == kFprEmpirical) return ThresholdEmpirical;
    if (fpr == kFprModelled) return ThresholdModelled;
    if (!(fpr > 0 && fpr < 1))
        throw ArgumentError("false-positive rate " + std::to_string(fpr) + " is outside (0, 1)");
    return MixtureQuantile(Components, fpr);
}

std::uint64_t NullTrialCount(std::size_t hosts, std::size_t seeds) {
    const std::uint64_t keys = static_cast<std::uint64_t>(hosts) * seeds;
    return keys == 0 ? 0 : keys * (keys - 1) + keys * (hosts - 1);
}

void FitCalibration(Calibration& cal) {
    if (cal.Trials == 0 || cal.Histogram.empty()) throw ArgumentError("a calibration needs at least one null trial");
    const double n = cal.MarkBlackPixels;
    double sum = 0;
    for (const auto& [value, count] : cal.Histogram) sum = sum + value * static_cast<double>(count);
    cal.Mean = sum / static_cast<double>(cal.Trials);
    double squares = 0;
    for (const auto& [value, count] : cal.Histogram)
        squares = squares + (value - cal.Mean) * (value - cal.Mean) * static_cast<double>(count);
    cal.StdDev = cal.Trials > 1 ? std::sqrt(squares / static_cast<double>(cal.Trials - 1)) : 0.0;

    for (NullComponent& c : cal.Components) {
        c.Weight = static_cast<double>(c.Trials) / static_cast<double>(cal.Trials);
        const double binomial = n > 0 ? std::sqrt(c.Mean * (1 - c.Mean) / n) : 0.0;
        c.StdDev = std::max(c.SampleStdDev, binomial);
    }

    cal.Fit.clear();
    for (const std::uint64_t divisor : kFitDivisors) {
        if (cal.Trials < divisor) break;
        const double share = 1.0 / static_cast<double>(divisor);
        cal.Fit.push_back({1.0 - share, TailQuantile(cal.Histogram, cal.Trials, divisor),
                           MixtureQuantile(cal.Components, share)});
    }
    cal.ThresholdEmpirical = TailQuantile(cal.Histogram, cal.Trials, 1000);
    cal.ThresholdModelled = MixtureQuantile(cal.Components, kFprModelled);
}

Calibration Calibrate(std::span<const NamedPicture> hosts, const NamedPicture& mark,
                      std::span<const std::uint32_t> seeds, const CalibrationOptions& options) {
    const int black = MarkComparedBlackPixels(mark.Picture);
    if (black == 0)
        throw ArgumentError("the watermark '" + mark.Name +
                            "' has no black pixel (below 128) in rows and columns 4..127 of its 128 x 128 "
                            "part, where NC compares");
    std::set<std::uint32_t> seedSet(seeds.begin(), seeds.end());
    if (seedSet.size() != seeds.size()) throw ArgumentError("a seed is listed twice");
    std::set<std::string> names;
    for (const NamedPicture& h : hosts)
        if (!names.insert(h.Name).second) throw ArgumentError("two hosts are named '" + h.Name + "'");
    const std::size_t H = hosts.size();
    const std::size_t S = seeds.size();
    if (NullTrialCount(H, S) == 0)
        throw ArgumentError("no null trial: give two hosts or two seeds at least");

    const std::size_t keys = H * S;
    std::vector<Suspect> marked(keys);
    std::vector<Suspect> unmarked(H);
    std::vector<std::vector<double>> results(keys);
    std::mutex progressLock;
    std::size_t done = 0;
    auto cancelled = [&] { return options.Cancel != nullptr && options.Cancel->load(); };

    tbb::task_arena arena(options.Jobs > 0 ? options.Jobs : tbb::task_arena::automatic);
    arena.execute([&] {
        // The pictures every key extracts from: each host marked with each seed, and unmarked.
        tbb::parallel_for(std::size_t{0}, keys, [&](std::size_t k) {
            if (cancelled()) return;
            const Experiment e = Embedded(hosts[k / S], mark, seeds[k % S]);
            const TWatermark& w = e.Workspace();
            marked[k] = {w.X_hat(), w.X_hat_real()};
            if (k % S == 0) unmarked[k / S] = {w.X(), std::vector<double>(w.X().begin(), w.X().end())};
        });
        // Each key in turn extracts from every picture it did not make.
        tbb::parallel_for(std::size_t{0}, keys, [&](std::size_t k) {
            if (cancelled()) return;
            const std::size_t h = k / S;
            Experiment key = Embedded(hosts[h], mark, seeds[k % S]);
            std::vector<double>& out = results[k];
            for (std::size_t other = 0; other < H; ++other)
                if (other != h) out.push_back(ExtractedNc(key, unmarked[other].Bytes, unmarked[other].Reals));
            for (std::size_t other = 0; other < keys; ++other)
                if (other != k) out.push_back(ExtractedNc(key, marked[other].Bytes, marked[other].Reals));
            if (options.Progress) {
                const std::lock_guard<std::mutex> lock(progressLock);
                options.Progress(++done, keys);
            }
        });
    });
    if (cancelled()) throw CalibrationCancelled{};

    Calibration cal;
    cal.Program = options.Program;
    cal.MarkFile = mark.Name;
    cal.MarkDigestText = MarkDigest(mark.Picture);
    cal.MarkBlackPixels = black;
    for (const NamedPicture& h : hosts) cal.Hosts.push_back(h.Name);
    cal.Seeds.assign(seeds.begin(), seeds.end());

    // The trials of each component, in trial order: unmarked others, then marked pictures.
    std::map<double, std::uint64_t> histogram;
    for (std::size_t h = 0; h < H; ++h) {
        std::vector<double> byKind[kNullTrialKinds];
        for (std::size_t s = 0; s < S; ++s) {
            const std::size_t k = h * S + s;
            std::size_t i = 0;
            for (std::size_t other = 0; other < H; ++other)
                if (other != h) byKind[static_cast<int>(NullTrialKind::OtherHostUnmarked)].push_back(results[k][i++]);
            for (std::size_t other = 0; other < keys; ++other)
                if (other != k) {
                    const NullTrialKind kind =
                        other / S == h ? NullTrialKind::WrongSeed : NullTrialKind::OtherHostMarked;
                    byKind[static_cast<int>(kind)].push_back(results[k][i++]);
                }
        }
        for (int kind = 0; kind < kNullTrialKinds; ++kind) {
            const std::vector<double>& values = byKind[kind];
            if (values.empty()) continue;
            NullComponent c;
            c.Host = hosts[h].Name;
            c.Kind = static_cast<NullTrialKind>(kind);
            c.Trials = values.size();
            double sum = 0;
            for (const double v : values) sum = sum + v;
            c.Mean = sum / static_cast<double>(values.size());
            double squares = 0;
            for (const double v : values) squares = squares + (v - c.Mean) * (v - c.Mean);
            c.SampleStdDev = values.size() > 1 ? std::sqrt(squares / static_cast<double>(values.size() - 1)) : 0.0;
            cal.Components.push_back(c);
            cal.KindTrials[kind] += values.size();
            cal.Trials += values.size();
            for (const double v : values) ++histogram[v];
        }
    }
    cal.Histogram.assign(histogram.begin(), histogram.end());
    FitCalibration(cal);
    return cal;
}

std::string CalibrationJson(const Calibration& cal) {
    using Json = nlohmann::ordered_json;
    Json j;
    j["format"] = kFormatName;
    j["version"] = kFormatVersion;
    j["program"] = cal.Program;
    j["mark"] = {{"file", cal.MarkFile}, {"digest", cal.MarkDigestText}, {"black_pixels", cal.MarkBlackPixels}};
    j["hosts"] = cal.Hosts;
    j["seeds"] = cal.Seeds;
    j["trials"] = cal.Trials;
    Json kinds = Json::object();
    for (int k = 0; k < kNullTrialKinds; ++k) kinds[NullTrialKindName(static_cast<NullTrialKind>(k))] = cal.KindTrials[k];
    j["trial_kinds"] = kinds;
    j["rule"] = "detected when nc > threshold";
    j["thresholds"] = {{"fpr_1e-3", cal.ThresholdEmpirical}, {"fpr_1e-6", cal.ThresholdModelled}};
    j["threshold_sources"] = {{"fpr_1e-3", "empirical"}, {"fpr_1e-6", "model"}};
    Json components = Json::array();
    for (const NullComponent& c : cal.Components)
        components.push_back({{"host", c.Host},
                              {"kind", NullTrialKindName(c.Kind)},
                              {"trials", c.Trials},
                              {"weight", c.Weight},
                              {"mean", c.Mean},
                              {"sample_sd", c.SampleStdDev},
                              {"sd", c.StdDev}});
    j["model"] = {{"name", "normal-mixture"},
                  {"description",
                   "one normal per (key host, trial kind), weighted by its share of the trials; sd = max(sample "
                   "sd, sqrt(mean (1 - mean) / black_pixels))"},
                  {"components", components}};
    Json fit = Json::array();
    for (const QuantileFit& q : cal.Fit) fit.push_back({{"p", q.P}, {"empirical", q.Empirical}, {"model", q.Model}});
    j["fit"] = fit;
    Json histogram = Json::array();
    for (const auto& [value, count] : cal.Histogram) histogram.push_back(Json::array({value, count}));
    j["null"] = {{"mean", cal.Mean}, {"sd", cal.StdDev}, {"histogram", histogram}};
    return j.dump(2) + "\n";
}

Calibration ParseCalibration(std::string_view text, const std::string& source) {
    using Json = nlohmann::json;
    Json j;
    try {
        j = Json::parse(text);
    } catch (const Json::exception& e) {
        throw FormatError(FormatError_(source, std::string("not JSON (") + e.what() + ")"));
    }
    try {
        if (!j.is_object() || j.value("format", "") != kFormatName)
            throw FormatError(FormatError_(source, std::string("no \"format\": \"") + kFormatName + "\""));
        if (j.at("version").get<int>() != kFormatVersion)
            throw FormatError(FormatError_(source, "version " + j.at("version").dump() + " (this program reads 1)"));
        Calibration cal;
        cal.Program = j.at("program").get<std::string>();
        cal.MarkFile = j.at("mark").at("file").get<std::string>();
        cal.MarkDigestText = j.at("mark").at("digest").get<std::string>();
        cal.MarkBlackPixels = j.at("mark").at("black_pixels").get<int>();
        cal.Hosts = j.at("hosts").get<std::vector<std::string>>();
        cal.Seeds = j.at("seeds").get<std::vector<std::uint32_t>>();
        cal.Trials = j.at("trials").get<std::uint64_t>();
        for (int k = 0; k < kNullTrialKinds; ++k)
            cal.KindTrials[k] = j.at("trial_kinds").at(NullTrialKindName(static_cast<NullTrialKind>(k))).get<std::uint64_t>();
        cal.ThresholdEmpirical = j.at("thresholds").at("fpr_1e-3").get<double>();
        cal.ThresholdModelled = j.at("thresholds").at("fpr_1e-6").get<double>();
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
            component.Trials = c.at("trials").get<std::uint64_t>();
            component.Weight = c.at("weight").get<double>();
            component.Mean = c.at("mean").get<double>();
            component.SampleStdDev = c.at("sample_sd").get<double>();
            component.StdDev = c.at("sd").get<double>();
            cal.Components.push_back(component);
        }
        for (const Json& q : j.at("fit"))
            cal.Fit.push_back({q.at("p").get<double>(), q.at("empirical").get<double>(), q.at("model").get<double>()});
        cal.Mean = j.at("null").at("mean").get<double>();
        cal.StdDev = j.at("null").at("sd").get<double>();
        std::uint64_t counted = 0;
        for (const Json& bin : j.at("null").at("histogram")) {
            cal.Histogram.emplace_back(bin.at(0).get<double>(), bin.at(1).get<std::uint64_t>());
            counted += cal.Histogram.back().second;
        }
        if (counted != cal.Trials)
            throw FormatError(FormatError_(source, "the histogram holds " + std::to_string(counted) + " trials, not " +
                                                       std::to_string(cal.Trials)));
        for (const double t : {cal.ThresholdEmpirical, cal.ThresholdModelled})
            if (!(t >= 0 && t <= 1)) throw FormatError(FormatError_(source, "a threshold lies outside 0..1"));
        if (cal.Components.empty()) throw FormatError(FormatError_(source, "the model has no component"));
        return cal;
    } catch (const Json::exception& e) {
        throw FormatError(FormatError_(source, std::string("a field is missing or of the wrong type (") + e.what() + ")"));
    }
}

Calibration LoadCalibration(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    return ParseCalibration(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path.string());
}

void SaveCalibration(const std::filesystem::path& path, const Calibration& calibration) {
    const std::string text = CalibrationJson(calibration);
    WriteFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace quillfen
