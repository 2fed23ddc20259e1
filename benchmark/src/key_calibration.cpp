// A key's own calibration: the plan of its trials, their pictures and scores, and the fit.
#include "quillfen/benchmark/key_calibration.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/marking.h"

namespace quillfen {

namespace {

constexpr int kSide = TWatermark::kHostSize;
constexpr std::size_t kPixels = TWatermark::kHostPixels;

// The table the noise trials read their deviates from.
constexpr std::size_t kPoolSize = std::size_t{1} << 18;
constexpr std::uint64_t kPoolSeed = 0x51C0FFEE2026ULL;

const std::vector<double>& NoisePool() {
    static const std::vector<double> pool = [] {
        std::vector<double> deviates(kPoolSize);
        RandomStream random(kPoolSeed);
        for (double& d : deviates) d = random.Gaussian();
        return deviates;
    }();
    return pool;
}

enum class Op { Noise, NoiseJpeg, Jpeg, GaussianBlur, Sharpen, Median, Gamma, Contrast, Brightness, Scale, Shift, Resave };

struct Trial {
    std::size_t Component;
    Op Operation;
    double A = 0;
    double B = 0;
    std::uint64_t Seed = 0;
};

struct Component {
    KeyTrialKind Kind;
    std::uint16_t Level;
};

constexpr double kNoiseLevels[] = {0.25, 0.5, 1, 1.5, 2, 3};
constexpr std::size_t kNoiseComponents = std::size(kNoiseLevels);

// Components in the order the key stores them: noise by level, then the other kinds.
std::vector<Component> Components() {
    std::vector<Component> components;
    for (const double sigma : kNoiseLevels)
        components.push_back({KeyTrialKind::Noise, static_cast<std::uint16_t>(RoundHalfEven(sigma * 100))});
    for (const KeyTrialKind kind : {KeyTrialKind::NoiseJpeg, KeyTrialKind::Jpeg, KeyTrialKind::Filter, KeyTrialKind::Tone,
                                    KeyTrialKind::Rescale, KeyTrialKind::Shift, KeyTrialKind::Resave})
        components.push_back({kind, 0});
    return components;
}

std::size_t ComponentOf(KeyTrialKind kind) {
    const std::vector<Component> components = Components();
    for (std::size_t i = 0; i < components.size(); ++i)
        if (components[i].Kind == kind) return i;
    return 0;
}

// The stream the key's trials draw from: its seed and the marked picture's region (the SHA-256
// of its top-left 256 x 256 gray bytes), so that two keys of one seed on different pictures
// draw differently.
std::uint64_t StreamSeed(std::uint32_t keySeed, const GrayView& marked) {
    const Sha256Digest digest = Sha256(MarkedRegion(marked));
    std::uint64_t seed = keySeed;
    for (int i = 0; i < 8; ++i) seed ^= static_cast<std::uint64_t>(digest[i]) << (8 * i);
    return seed ^ 0x6B65792D6E756C6CULL;  // "key-null"
}

std::vector<Trial> Plan(std::uint32_t trials, std::uint64_t seed) {
    std::vector<Trial> plan;
    RandomStream random(seed);
    const std::uint32_t seeded = trials - kFixedKeyTrials;
    const std::uint32_t noiseJpeg = seeded / 10;
    const std::uint32_t noise = seeded - noiseJpeg;
    for (std::size_t level = 0; level < kNoiseComponents; ++level) {
        const std::uint32_t count = static_cast<std::uint32_t>(noise / kNoiseComponents + (level < noise % kNoiseComponents ? 1 : 0));
        for (std::uint32_t i = 0; i < count; ++i)
            plan.push_back({level, Op::Noise, kNoiseLevels[level], 0, random.Next()});
    }
    const std::size_t mixed = ComponentOf(KeyTrialKind::NoiseJpeg);
    for (std::uint32_t i = 0; i < noiseJpeg; ++i) {
        const double sigma = 0.5 + random.Uniform();
        const double quality = 60 + std::floor(random.Uniform() * 41);
        plan.push_back({mixed, Op::NoiseJpeg, sigma, quality, random.Next()});
    }
    const std::size_t jpeg = ComponentOf(KeyTrialKind::Jpeg);
    for (int q = 60; q <= 100; ++q) plan.push_back({jpeg, Op::Jpeg, static_cast<double>(q)});
    const std::size_t filter = ComponentOf(KeyTrialKind::Filter);
    for (const double sigma : {0.4, 0.5, 0.6, 0.7, 0.8, 1.0}) plan.push_back({filter, Op::GaussianBlur, sigma});
    for (const double amount : {0.25, 0.5, 1.0}) plan.push_back({filter, Op::Sharpen, amount});
    plan.push_back({filter, Op::Median, 3});
    const std::size_t tone = ComponentOf(KeyTrialKind::Tone);
    for (const double g : {0.8, 0.9, 1.1, 1.25}) plan.push_back({tone, Op::Gamma, g});
    for (const double c : {0.8, 0.9, 1.1, 1.2}) plan.push_back({tone, Op::Contrast, c});
    for (const double d : {-8.0, -2.0, 2.0, 8.0}) plan.push_back({tone, Op::Brightness, d});
    const std::size_t rescale = ComponentOf(KeyTrialKind::Rescale);
    for (const double f : {0.9, 0.95, 0.97, 0.98, 0.99, 1.01, 1.02, 1.03, 1.05, 1.1}) plan.push_back({rescale, Op::Scale, f});
    const std::size_t shift = ComponentOf(KeyTrialKind::Shift);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx != 0 || dy != 0) plan.push_back({shift, Op::Shift, static_cast<double>(dx), static_cast<double>(dy)});
    plan.push_back({ComponentOf(KeyTrialKind::Resave), Op::Resave});
    return plan;
}

// The host (in reals) plus sigma times 65,536 consecutive deviates of the table (wrapping at its
// end), from a start and with a sign drawn from the trial's seed, as a file would hold it:
// clamped to 0..255 and rounded half to even (clamping first changes nothing, as 0 and 255 are
// whole), in reals.
void AddPooledNoise(const std::vector<double>& host, double sigma, std::uint64_t seed, std::vector<double>& out) {
    const std::vector<double>& pool = NoisePool();
    RandomStream random(seed);
    const std::uint64_t draw = random.Next();
    std::size_t at = static_cast<std::size_t>(draw) & (kPoolSize - 1);
    const double scale = (draw >> 63) != 0 ? -sigma : sigma;
    for (std::size_t done = 0; done < kPixels;) {
        // A run up to the table's end: plain loads and arithmetic that the compiler vectorises.
        const std::size_t run = std::min(kPixels - done, kPoolSize - at);
        const double* deviates = pool.data() + at;
        const double* source = host.data() + done;
        double* target = out.data() + done;
        for (std::size_t i = 0; i < run; ++i)
            target[i] = RoundHalfEven(std::min(std::max(source[i] + scale * deviates[i], 0.0), 255.0));
        done += run;
        at = 0;
    }
}

GrayPlane BytesOf(const std::vector<double>& reals) {
    GrayPlane plane(kSide, kSide);
    for (std::size_t i = 0; i < kPixels; ++i) plane.data()[i] = static_cast<std::uint8_t>(reals[i]);
    return plane;
}

// The trial's picture, into a plane of reals.
void TrialPicture(const Trial& trial, const GrayPlane& host, const std::vector<double>& hostReals,
                  std::vector<double>& out) {
    GrayPlane picture;
    switch (trial.Operation) {
    case Op::Noise: AddPooledNoise(hostReals, trial.A, trial.Seed, out); return;
    case Op::NoiseJpeg:
        AddPooledNoise(hostReals, trial.A, trial.Seed, out);
        picture = JpegRoundTrip(BytesOf(out), static_cast<int>(trial.B));
        break;
    case Op::Jpeg: picture = JpegRoundTrip(host, static_cast<int>(trial.A)); break;
    case Op::GaussianBlur: picture = GaussianBlur(host, trial.A); break;
    case Op::Sharpen: picture = Sharpen(host, trial.A); break;
    case Op::Median: picture = MedianFilter(host, static_cast<int>(trial.A)); break;
    case Op::Gamma: picture = AdjustGamma(host, trial.A); break;
    case Op::Contrast: picture = AdjustContrast(host, trial.A); break;
    case Op::Brightness: picture = AdjustBrightness(host, trial.A); break;
    case Op::Scale: picture = ScaleAndBack(host, trial.A); break;
    case Op::Shift: picture = Shift(host, static_cast<int>(trial.A), static_cast<int>(trial.B)); break;
    case Op::Resave: picture = host; break;
    }
    std::copy(picture.pixels().begin(), picture.pixels().end(), out.begin());
}

struct Outcome {
    double Score = 0;
    double BinomialVariance = 0;  // f (1 - f) (1/R + 1/U), as the global calibration's trials
};

}  // namespace

KeyCalibration CalibrateKey(const WatermarkMethod& method, const MethodKey& key, const GrayView& host,
                            const GrayView& marked, const KeyCalibrationOptions& options) {
    if (options.Trials < kFewestKeyTrials || options.Trials > kMaxKeyTrials)
        throw ArgumentError("a key's calibration takes " + std::to_string(kFewestKeyTrials) + ".." +
                            std::to_string(kMaxKeyTrials) + " trials, not " + std::to_string(options.Trials));
    const std::vector<std::uint8_t> hostRegion = MarkedRegion(host);
    const GrayPlane region(kSide, kSide, hostRegion);
    const std::vector<double> regionReals(hostRegion.begin(), hostRegion.end());
    const std::vector<Trial> plan = Plan(options.Trials, StreamSeed(key.Seed, marked));
    NoisePool();  // made once, before the threads need it
    std::vector<Outcome> outcomes(plan.size());
    // Each thread's trial picture, in reals and as the bytes they round to.
    struct Picture {
        std::vector<double> Reals = std::vector<double>(kPixels);
        std::vector<std::uint8_t> Bytes = std::vector<std::uint8_t>(kPixels);
    };
    tbb::enumerable_thread_specific<Picture> pictures;
    tbb::task_arena arena(options.Jobs > 0 ? options.Jobs : tbb::task_arena::automatic);
    arena.execute([&] {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, plan.size(), 16), [&](const tbb::blocked_range<std::size_t>& range) {
            Picture& picture = pictures.local();
            for (std::size_t t = range.begin(); t != range.end(); ++t) {
                TrialPicture(plan[t], region, regionReals, picture.Reals);
                for (std::size_t i = 0; i < kPixels; ++i) picture.Bytes[i] = static_cast<std::uint8_t>(picture.Reals[i]);
                const MethodReading reading = method.Detect(
                    ImageView(GrayView(picture.Bytes.data(), kSide, kSide, kSide), picture.Reals), key, ReadDepth::Score);
                outcomes[t] = {reading.Score, reading.ChanceVariance};
            }
        });
    });

    // Each component's statistics over its trials in plan order: the same sums whatever the
    // threads did.
    const std::vector<Component> components = Components();
    KeyCalibration cal;
    for (std::size_t c = 0; c < components.size(); ++c) {
        std::vector<const Outcome*> mine;
        for (std::size_t t = 0; t < plan.size(); ++t)
            if (plan[t].Component == c) mine.push_back(&outcomes[t]);
        KeyNullComponent k;
        k.Kind = components[c].Kind;
        k.Level = components[c].Level;
        k.Trials = static_cast<std::uint32_t>(mine.size());
        const double count = static_cast<double>(mine.size());
        double sum = 0;
        double variance = 0;
        k.Largest = -1;
        for (const Outcome* o : mine) {
            sum = sum + o->Score;
            variance = variance + o->BinomialVariance;
            k.Largest = std::max(k.Largest, o->Score);
        }
        k.Mean = sum / count;
        k.BinomialStdDev = std::sqrt(variance / count);
        double squares = 0;
        for (const Outcome* o : mine) squares = squares + (o->Score - k.Mean) * (o->Score - k.Mean);
        k.SampleStdDev = mine.size() > 1 ? std::sqrt(squares / (count - 1)) : 0.0;
        cal.Components.push_back(k);
    }
    FitKeyCalibration(cal);
    return cal;
}

void CalibrateMarkedKey(const WatermarkMethod& method, MethodMarked& marked, const ImageView& host,
                        const KeyCalibrationOptions& options) {
    marked.Key.Calibration.reset();
    if (options.Trials == 0 || !method.Capabilities().CalibratesKeys) return;
    marked.Key.Calibration = CalibrateKey(method, marked.Key, host.Gray(), ViewOf(marked.Picture).Gray(), options);
}

void CalibrateMarkedHost(MarkedHost& marked, const Bitmap& host, const KeyCalibrationOptions& options) {
    const std::unique_ptr<WatermarkMethod> laboratory = MakeMethod(DefaultMethod());
    MethodMarked read;
    read.Picture = marked.Picture;
    read.Key = laboratory->KeyFromBytes(EncodeMarkKey(marked.Key), "the key");
    CalibrateMarkedKey(*laboratory, read, ViewOf(host), options);
    marked.Key.Calibration = read.Key.Calibration;
}

}  // namespace quillfen
