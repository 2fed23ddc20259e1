// The null trials of a calibration; the fit of their model is detection_thresholds.cpp's.
#include "quillfen/benchmark/calibration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include "quillfen/image/errors.h"
#include "quillfen/image/image_view.h"
#include "quillfen/image/progress.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/marking.h"

namespace quillfen {

namespace {

constexpr int kMark = TWatermark::kMarkSize;
constexpr int kSide = TWatermark::kHostSize;

// One trial: the key's score of a picture, and the variance chance alone gives it.
struct TrialResult {
    double Score = 0;
    double BinomialVariance = 0;
};

// The inputs of a calibration: no seed, host name or attack twice, and at least one trial.
void CheckTrialInputs(std::span<const NamedPicture> hosts, std::span<const std::uint32_t> seeds,
                      std::span<const AttackCell> attacks, bool blind) {
    std::set<std::uint32_t> seedSet(seeds.begin(), seeds.end());
    if (seedSet.size() != seeds.size()) throw ArgumentError("a seed is listed twice");
    std::set<std::string> names;
    for (const NamedPicture& h : hosts)
        if (!names.insert(h.Name).second) throw ArgumentError("two hosts are named '" + h.Name + "'");
    std::set<std::string> cells;
    for (const AttackCell& c : attacks)
        if (!cells.insert(c.Name).second) throw ArgumentError("attack '" + c.Name + "' is listed twice");
    if (NullTrialCount(hosts.size(), seeds.size(), attacks.size(), blind) == 0)
        throw ArgumentError("no null trial: give two hosts or an attack at least");
}

// The components of the trials, each key's in key order, and the model and thresholds fitted
// to them.
void Summarise(Calibration& cal, std::span<const NamedPicture> hosts, std::span<const std::uint32_t> seeds,
               std::span<const AttackCell> attacks,
               const std::vector<std::array<std::vector<TrialResult>, kNullTrialKinds>>& results) {
    const std::size_t H = hosts.size();
    const std::size_t S = seeds.size();
    for (const NamedPicture& h : hosts) cal.Hosts.push_back(h.Name);
    cal.Seeds.assign(seeds.begin(), seeds.end());
    for (const AttackCell& c : attacks) cal.Attacks.push_back(c.Name);
    // The trials of each component, keys in order.
    std::map<double, std::uint64_t> histogram;
    for (std::size_t h = 0; h < H; ++h) {
        for (int kind = 0; kind < kNullTrialKinds; ++kind) {
            std::vector<const TrialResult*> values;
            for (std::size_t s = 0; s < S; ++s)
                for (const TrialResult& t : results[h * S + s][kind]) values.push_back(&t);
            if (values.empty()) continue;
            NullComponent c;
            c.Host = hosts[h].Name;
            c.Kind = static_cast<NullTrialKind>(kind);
            c.Trials = values.size();
            const double count = static_cast<double>(values.size());
            double sum = 0;
            double variance = 0;
            for (const TrialResult* t : values) {
                sum = sum + t->Score;
                variance = variance + t->BinomialVariance;
            }
            c.Mean = sum / count;
            c.BinomialStdDev = std::sqrt(variance / count);
            double squares = 0;
            for (const TrialResult* t : values) squares = squares + (t->Score - c.Mean) * (t->Score - c.Mean);
            c.SampleStdDev = values.size() > 1 ? std::sqrt(squares / (count - 1)) : 0.0;
            // The top values and the histogram hold what the verdict compares: |z| for a
            // two-sided statistic, whose model still fits the signed values.
            const bool twoSided = cal.Units == Statistic::Spread;
            const auto judged = [&](double v) { return twoSided ? std::fabs(v) : v; };
            std::vector<double> scores;
            for (const TrialResult* t : values) scores.push_back(judged(t->Score));
            const std::size_t kept = std::min<std::size_t>(scores.size(), scores.size() / 1000 + 1);
            std::partial_sort(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(kept), scores.end(),
                              std::greater<>());
            c.Top.assign(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(kept));
            cal.Components.push_back(c);
            cal.KindTrials[kind] += values.size();
            cal.Trials += values.size();
            for (const TrialResult* t : values) ++histogram[judged(t->Score)];
        }
    }
    cal.Histogram.assign(histogram.begin(), histogram.end());
    FitCalibration(cal);
}

using TrialSets = std::vector<std::array<std::vector<TrialResult>, kNullTrialKinds>>;

// A trial's statistic: a method judged in units of the chance spread is calibrated in them (each
// trial's z, whose chance variance is 1 by construction), the others in their score.
TrialResult TrialOf(const WatermarkMethod& method, const MethodReading& reading) {
    if (method.Describe().Info->ThresholdUnits == Statistic::Spread)
        return TrialResult{SpreadOf(reading.Score, reading.ChanceVariance), 1.0};
    return TrialResult{reading.Score, reading.ChanceVariance};
}

// The trials of a method that marks whole pictures, on the hosts as they are (any size, in
// colour when they are), as a sweep gives them to it. The marked pictures of a calibration of
// photographs would not all fit in memory at once: each key is made first, and each marked
// picture is made again when it is read (marking is a pure function of host, payload and
// seed), so at most one marked picture per thread is kept. The trials are stored by their
// place, so their order is the one of the 256 x 256 form whatever the threads.
TrialSets WholePictureTrials(std::span<const NamedPicture> hosts, const WatermarkMethod& method,
                             const NamedPicture* mark, std::span<const std::uint32_t> seeds,
                             std::span<const AttackCell> attacks, const CalibrationOptions& options) {
    const bool blind = method.Capabilities().Blind;
    const std::size_t H = hosts.size();
    const std::size_t S = seeds.size();
    const std::size_t keys = H * S;
    std::vector<MethodKey> keyOf(keys);
    auto cancelled = [&] { return options.Cancel != nullptr && options.Cancel->load(); };
    auto embed = [&](std::size_t k) {
        const std::uint32_t seed = seeds[k % S];
        MethodPayload payload;
        if (mark != nullptr) payload.Mark = mark->Picture;
        payload.Bits = PayloadFromSeed(seed, method.PayloadBits());
        return method.Embed(ViewOf(hosts[k / S].Picture), payload, seed);
    };
    auto trial = [&](const MethodKey& key, const Bitmap& suspect) {
        return TrialOf(method, method.Detect(ViewOf(suspect), key, ReadDepth::Score));
    };
    // Whether key k reads the marked picture m: another host's, and for a blind method not of
    // its own seed (those carry its mark).
    auto reads = [&](std::size_t k, std::size_t m) { return m / S != k / S && (!blind || m % S != k % S); };
    std::vector<TrialResult> markedTrials(keys * keys);  // [key][marked picture]
    TrialSets results(keys);
    std::mutex progressLock;
    std::size_t done = 0;
    tbb::task_arena arena(options.Jobs > 0 ? options.Jobs : tbb::task_arena::automatic);
    arena.execute([&] {
        tbb::parallel_for(std::size_t{0}, keys, [&](std::size_t k) {
            if (!cancelled()) keyOf[k] = embed(k).Key;
        });
        tbb::parallel_for(std::size_t{0}, keys, [&](std::size_t m) {
            if (cancelled()) return;
            const Bitmap markedPicture = embed(m).Picture;
            for (std::size_t k = 0; k < keys; ++k)
                if (reads(k, m)) markedTrials[k * keys + m] = trial(keyOf[k], markedPicture);
            // Key m reads every other host unmarked, and its own after each cell.
            const std::size_t h = m / S;
            auto& out = results[m];
            for (std::size_t other = 0; other < H; ++other)
                if (other != h)
                    out[static_cast<int>(NullTrialKind::OtherHostUnmarked)].push_back(trial(keyOf[m], hosts[other].Picture));
            for (const AttackCell& cell : attacks)
                out[static_cast<int>(NullTrialKind::OwnHostUnmarked)].push_back(
                    trial(keyOf[m], ApplyAttackCell(cell, hosts[h].Picture, seeds[m % S], hosts[h].Picture)));
            if (options.Progress) {
                const std::lock_guard<std::mutex> lock(progressLock);
                options.Progress(++done, keys);
            }
        });
    });
    if (cancelled()) throw Cancelled();
    for (std::size_t k = 0; k < keys; ++k)
        for (std::size_t m = 0; m < keys; ++m)
            if (reads(k, m)) results[k][static_cast<int>(NullTrialKind::OtherHostMarked)].push_back(markedTrials[k * keys + m]);
    return results;
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

std::uint64_t NullTrialCount(std::size_t hosts, std::size_t seeds, std::size_t attacks, bool blind) {
    const std::uint64_t keys = static_cast<std::uint64_t>(hosts) * seeds;
    const std::uint64_t marked = static_cast<std::uint64_t>(hosts - (hosts > 0 ? 1 : 0)) * (blind ? seeds - 1 : seeds);
    return keys == 0 ? 0 : keys * (marked + (hosts - 1) + attacks);
}


std::uint64_t CalibrationMemory(std::size_t hosts, std::size_t seeds, std::size_t attacks, int threads) {
    constexpr std::uint64_t kPixels = TWatermark::kHostPixels;
    // A picture in bytes (and the reals a trial makes of it).
    constexpr std::uint64_t kSuspect = kPixels * (1 + sizeof(double)) + 64;
    // A key kept for its trials: the polarity method's planes, block orders and scatter
    // positions are the largest.
    constexpr std::uint64_t kKey = std::uint64_t{128} << 10;
    // A trial's result (its vector may hold twice what it uses), its pointer while the
    // components are summed up, and a histogram node of its own in the worst case.
    constexpr std::uint64_t kTrial = 2 * sizeof(TrialResult) + sizeof(void*) + 64;
    // A thread's workspace (its planes) and attacked picture. The upper bound of the trials is
    // the polarity method's, whose keys read every other host's marking.
    constexpr std::uint64_t kThread = std::uint64_t{16} << 20;
    // In doubles, as the counts of a huge run overflow 64 bits: an estimate needs no more.
    const double H = static_cast<double>(hosts);
    const double S = static_cast<double>(seeds);
    const double keys = H * S;
    const double trials = H == 0 ? 0.0 : keys * ((H - 1) * S + (H - 1) + static_cast<double>(attacks));
    const double total = keys * (kSuspect + kKey) + H * (kSuspect + 3 * kPixels) + trials * kTrial +
                         static_cast<double>(std::max(threads, 1)) * kThread;
    return total >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(total);
}

Calibration Calibrate(std::span<const NamedPicture> hosts, const WatermarkMethod& method, const NamedPicture* mark,
                      std::span<const std::uint32_t> seeds, std::span<const AttackCell> attacks,
                      const CalibrationOptions& options) {
    const bool usesMark = method.Capabilities().UsesMark;
    const bool blind = method.Capabilities().Blind;
    int black = 0;
    if (usesMark) {
        if (mark == nullptr) throw ArgumentError(method.Name() + " embeds a mark picture: give its mark");
        black = MarkComparedBlackPixels(mark->Picture);
        if (black == 0)
            throw ArgumentError("the watermark '" + mark->Name +
                                "' has no black pixel (below 128) in rows and columns 4..127 of its 128 x 128 "
                                "part, where NC compares");
    } else if (mark != nullptr) {
        throw ArgumentError(method.Name() + " embeds payload bits, not a mark picture");
    }
    CheckTrialInputs(hosts, seeds, attacks, blind);
    const std::size_t H = hosts.size();
    const std::size_t S = seeds.size();
    const bool whole = method.Capabilities().RegionSide == 0;
    for (const NamedPicture& h : hosts) {
        if (whole && (h.Picture.width() < kSide || h.Picture.height() < kSide))
            throw ArgumentError("the host '" + h.Name + "' is " + std::to_string(h.Picture.width()) + " x " +
                                std::to_string(h.Picture.height()) + "; a host must be at least 256 x 256");
        if (!whole && (h.Picture.width() != kSide || h.Picture.height() != kSide))
            throw ArgumentError("the host '" + h.Name + "' is not 256 x 256, as a sweep uses its hosts");
    }
    auto finish = [&](const std::vector<std::array<std::vector<TrialResult>, kNullTrialKinds>>& results) {
        Calibration cal;
        cal.Units = method.Describe().Info->ThresholdUnits;
        cal.Program = options.Program;
        if (usesMark) {
            cal.MarkFile = mark->Name;
            cal.MarkDigestText = MarkDigest(mark->Picture);
            cal.MarkBlackPixels = black;
        } else {
            cal.Method = method.Name() + ":" + method.Parameters();
        }
        Summarise(cal, hosts, seeds, attacks, results);
        return cal;
    };
    if (whole) return finish(WholePictureTrials(hosts, method, mark, seeds, attacks, options));

    const std::size_t keys = H * S;
    // Each key, and the pictures the keys read: every host marked with every seed, and every
    // host unmarked, as gray bytes (the files they would be).
    std::vector<MethodKey> keyOf(keys);
    std::vector<std::vector<std::uint8_t>> marked(keys);
    std::vector<std::vector<std::uint8_t>> unmarked(H);
    for (std::size_t h = 0; h < H; ++h) unmarked[h] = GrayOf(hosts[h].Picture).pixels();
    std::vector<std::array<std::vector<TrialResult>, kNullTrialKinds>> results(keys);
    std::mutex progressLock;
    std::size_t done = 0;
    auto cancelled = [&] { return options.Cancel != nullptr && options.Cancel->load(); };
    auto view = [](const std::vector<std::uint8_t>& bytes, std::span<const double> reals = {}) {
        return ImageView(GrayView(bytes.data(), kSide, kSide, kSide), reals);
    };
    auto trial = [&](const MethodKey& key, const ImageView& suspect) {
        return TrialOf(method, method.Detect(suspect, key, ReadDepth::Score));
    };

    tbb::task_arena arena(options.Jobs > 0 ? options.Jobs : tbb::task_arena::automatic);
    arena.execute([&] {
        tbb::parallel_for(std::size_t{0}, keys, [&](std::size_t k) {
            if (cancelled()) return;
            const std::uint32_t seed = seeds[k % S];
            MethodPayload payload;
            if (usesMark) payload.Mark = mark->Picture;
            payload.Bits = PayloadFromSeed(seed, method.PayloadBits());
            MethodMarked embedded = method.Embed(view(unmarked[k / S]), payload, seed);
            marked[k] = GrayOf(embedded.Picture).pixels();
            keyOf[k] = std::move(embedded.Key);
        });
        // Each key in turn reads every picture it did not make, and its own host unmarked
        // after each attack.
        tbb::parallel_for(std::size_t{0}, keys, [&](std::size_t k) {
            if (cancelled()) return;
            const std::size_t h = k / S;
            auto& out = results[k];
            for (std::size_t other = 0; other < H; ++other)
                if (other != h)
                    out[static_cast<int>(NullTrialKind::OtherHostUnmarked)].push_back(trial(keyOf[k], view(unmarked[other])));
            // A blind key is its seed's: another host marked with the same seed carries this key's
            // mark. A key that keeps its host's data reads every other host's marking as a null.
            for (std::size_t other = 0; other < keys; ++other)
                if (other / S != h && (!blind || other % S != k % S))
                    out[static_cast<int>(NullTrialKind::OtherHostMarked)].push_back(trial(keyOf[k], view(marked[other])));
            const std::vector<double> reals(unmarked[h].begin(), unmarked[h].end());
            AttackedPicture attacked;
            for (const AttackCell& cell : attacks) {
                // The pictures the sweep scores: a file's bytes, the experiment's attacks aside.
                ApplyAttackCell(cell, {unmarked[h], unmarked[h], reals}, seeds[k % S], attacked);
                out[static_cast<int>(NullTrialKind::OwnHostUnmarked)].push_back(
                    trial(keyOf[k], view(attacked.Bytes, attacked.Reals)));
            }
            if (options.Progress) {
                const std::lock_guard<std::mutex> lock(progressLock);
                options.Progress(++done, keys);
            }
        });
    });
    if (cancelled()) throw Cancelled();
    return finish(results);
}

}  // namespace quillfen
