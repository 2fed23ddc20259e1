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
#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/marking.h"

namespace quillfen {

namespace {

constexpr int kMark = TWatermark::kMarkSize;

// One trial: the key scores the relations the suspect carries.
struct TrialResult {
    double Score = 0;
    double BinomialVariance = 0;  // f (1 - f) (1/R + 1/U)
};

TrialResult ScoreTrial(RelationScorer& scorer, std::span<const double> reals) {
    const DetectionScore score = scorer.Score(reals);
    const double f = static_cast<double>(score.UntouchedReversed) / score.Untouched;
    const double inverse = 1.0 / score.Reversed + 1.0 / score.Untouched;
    return {score.Value, f * (1 - f) * inverse};
}

Experiment Embedded(const NamedPicture& host, const NamedPicture& mark, std::uint32_t seed) {
    Experiment e(TWatermark::Planes::ResultsOnly);
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

std::uint64_t NullTrialCount(std::size_t hosts, std::size_t seeds, std::size_t attacks) {
    const std::uint64_t keys = static_cast<std::uint64_t>(hosts) * seeds;
    return keys == 0 ? 0 : keys * ((hosts - 1) * seeds + (hosts - 1) + attacks);
}


std::uint64_t CalibrationMemory(std::size_t hosts, std::size_t seeds, std::size_t attacks, int threads) {
    constexpr std::uint64_t kPixels = TWatermark::kHostPixels;
    // A picture in bytes and reals, as Suspect holds it.
    constexpr std::uint64_t kSuspect = kPixels * (1 + sizeof(double)) + 64;
    // A trial's result (its vector may hold twice what it uses), its pointer while the
    // components are summed up, and a histogram node of its own in the worst case.
    constexpr std::uint64_t kTrial = 2 * sizeof(TrialResult) + sizeof(void*) + 64;
    // A thread's experiment (its workspace's planes), key and attacked picture.
    constexpr std::uint64_t kThread = std::uint64_t{16} << 20;
    // In doubles, as the counts of a huge run overflow 64 bits: an estimate needs no more.
    const double H = static_cast<double>(hosts);
    const double S = static_cast<double>(seeds);
    const double keys = H * S;
    const double trials = H == 0 ? 0.0 : keys * ((H - 1) * S + (H - 1) + static_cast<double>(attacks));
    const double total = keys * kSuspect + H * (kSuspect + 3 * kPixels) + trials * kTrial +
                         static_cast<double>(std::max(threads, 1)) * kThread;
    return total >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(total);
}

Calibration Calibrate(std::span<const NamedPicture> hosts, const NamedPicture& mark,
                      std::span<const std::uint32_t> seeds, std::span<const AttackCell> attacks,
                      const CalibrationOptions& options) {
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
    std::set<std::string> cells;
    for (const AttackCell& c : attacks)
        if (!cells.insert(c.Name).second) throw ArgumentError("attack '" + c.Name + "' is listed twice");
    const std::size_t H = hosts.size();
    const std::size_t S = seeds.size();
    const std::size_t C = attacks.size();
    if (NullTrialCount(H, S, C) == 0)
        throw ArgumentError("no null trial: give two hosts or an attack at least");

    const std::size_t keys = H * S;
    std::vector<Suspect> marked(keys);
    std::vector<Suspect> unmarked(H);
    // Per key, its trials by kind, each kind in the order the loops below visit them.
    std::vector<std::array<std::vector<TrialResult>, kNullTrialKinds>> results(keys);
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
            // The marked picture as its file holds it.
            marked[k] = {w.X_hat(), std::vector<double>(w.X_hat().begin(), w.X_hat().end())};
            if (k % S == 0) unmarked[k / S] = {w.X(), std::vector<double>(w.X().begin(), w.X().end())};
        });
        // Each key in turn reads every picture it did not make, and its own host unmarked
        // after each attack.
        tbb::parallel_for(std::size_t{0}, keys, [&](std::size_t k) {
            if (cancelled()) return;
            const std::size_t h = k / S;
            const Experiment key = Embedded(hosts[h], mark, seeds[k % S]);
            const MarkKey markKey = KeyFromExperiment(key, TWatermark::kHostSize, TWatermark::kHostSize);
            RelationScorer scorer(markKey);
            auto& out = results[k];
            for (std::size_t other = 0; other < H; ++other)
                if (other != h)
                    out[static_cast<int>(NullTrialKind::OtherHostUnmarked)].push_back(
                        ScoreTrial(scorer, unmarked[other].Reals));
            for (std::size_t other = 0; other < keys; ++other)
                if (other / S != h)
                    out[static_cast<int>(NullTrialKind::OtherHostMarked)].push_back(
                        ScoreTrial(scorer, marked[other].Reals));
            const Suspect& own = unmarked[h];
            AttackedPicture attacked;
            for (const AttackCell& cell : attacks) {
                // The pictures the sweep scores: a file's bytes, the experiment's attacks aside.
                ApplyAttackCell(cell, {own.Bytes, own.Bytes, own.Reals}, seeds[k % S], attacked);
                out[static_cast<int>(NullTrialKind::OwnHostUnmarked)].push_back(ScoreTrial(scorer, attacked.Reals));
            }
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
            std::vector<double> scores;
            for (const TrialResult* t : values) scores.push_back(t->Score);
            const std::size_t kept = std::min<std::size_t>(scores.size(), scores.size() / 1000 + 1);
            std::partial_sort(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(kept), scores.end(),
                              std::greater<>());
            c.Top.assign(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(kept));
            cal.Components.push_back(c);
            cal.KindTrials[kind] += values.size();
            cal.Trials += values.size();
            for (const TrialResult* t : values) ++histogram[t->Score];
        }
    }
    cal.Histogram.assign(histogram.begin(), histogram.end());
    FitCalibration(cal);
    return cal;
}

}  // namespace quillfen
