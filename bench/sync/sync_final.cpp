// Not a benchmark: the figures of spread-spectrum-sync on camera photographs, through the one
// method interface (the registry's method, FindStrength, Extract), as a user meets it.
//
//   sync_final [--trials N] [--jobs J] [--psnr DB] PHOTO...
//
// Marked: each photograph marked at DB (40) with a seed and payload of its own, then each of
// crop 10 % and resize back, crop 20 % at a random place, scale 0.5, rotation 5 degrees with
// the corners cut away (and resized back), aspect 0.9, each followed by JPEG 75 of the colour
// picture: one line each (verdict at 1e-6, bits right, the geometry found, detection time on
// one core), and the share detected per attack.
// Unmarked: the photographs under the same attacks, each attacked picture read with N / (5
// photographs) keys of random seeds (N = 10,000): how many reach each threshold, against the
// binomial bound at 1e-3 (the count that N trials at a true rate of 1e-3 exceed with
// probability below 1e-3).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/methods/extraction.h"
#include "quillfen/methods/method.h"
#include "sync/sync_mark.h"
#include <time.h>

using namespace quillfen;

namespace {

using PlaneOp = std::function<GrayPlane(const GrayPlane&)>;

Bitmap PerChannel(const Bitmap& in, const PlaneOp& op) {
    GrayPlane planes[3];
    for (int c = 0; c < 3; ++c) {
        GrayPlane p(in.width(), in.height());
        for (int j = 0; j < in.height(); ++j)
            for (int i = 0; i < in.width(); ++i) p.data()[static_cast<std::size_t>(j) * in.width() + i] = in.row(j)[3 * i + c];
        planes[c] = op(p);
    }
    Bitmap out(planes[0].width(), planes[0].height());
    for (int j = 0; j < out.height(); ++j)
        for (int i = 0; i < out.width(); ++i)
            for (int c = 0; c < 3; ++c) out.row(j)[3 * i + c] = planes[c].data()[static_cast<std::size_t>(j) * out.width() + i];
    return out;
}

Bitmap Crop(const Bitmap& in, int x0, int y0, int w, int h) {
    Bitmap out(w, h);
    for (int j = 0; j < h; ++j) std::copy(in.row(y0 + j) + 3 * x0, in.row(y0 + j) + 3 * (x0 + w), out.row(j));
    return out;
}

int Round(double v) { return static_cast<int>(std::lround(v)); }

Bitmap Resize(const Bitmap& in, int w, int h) {
    return PerChannel(in, [&](const GrayPlane& p) { return Resample(p, w, h); });
}

Bitmap Jpeg(const Bitmap& in, int quality) {
    const std::vector<std::uint8_t> file = TRixJPEG::Encode(in, quality);
    return TRixJPEG::DecodeMemory(file.data(), file.size());
}

struct Attack {
    const char* Name;
    // `place` in 0..1: where an off-centre crop puts its window.
    std::function<Bitmap(const Bitmap&, double, double)> Apply;
};

const std::vector<Attack>& Attacks() {
    static const std::vector<Attack> attacks = {
        {"crop10-resize",
         [](const Bitmap& b, double, double) {
             const double k = std::sqrt(0.9);
             const int w = Round(b.width() * k), h = Round(b.height() * k);
             return Resize(Crop(b, (b.width() - w) / 2, (b.height() - h) / 2, w, h), b.width(), b.height());
         }},
        {"crop20-offcentre",
         [](const Bitmap& b, double px, double py) {
             const double k = std::sqrt(0.8);
             const int w = Round(b.width() * k), h = Round(b.height() * k);
             return Crop(b, static_cast<int>(px * (b.width() - w + 1)), static_cast<int>(py * (b.height() - h + 1)), w, h);
         }},
        {"scale0.5", [](const Bitmap& b, double, double) { return Resize(b, Round(b.width() * 0.5), Round(b.height() * 0.5)); }},
        {"rotate5-crop",
         [](const Bitmap& b, double, double) { return PerChannel(b, [](const GrayPlane& p) { return RotateCrop(p, 5); }); }},
        {"aspect0.9", [](const Bitmap& b, double, double) { return Resize(b, Round(b.width() * 0.9), b.height()); }},
    };
    return attacks;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The calling thread's processor time: what one core spends, whatever else the machine runs.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find("/contents/");
    const std::string shorter = slash == std::string::npos ? path : path.substr(0, slash);
    return shorter.substr(shorter.find_last_of('/') + 1);
}

// The least count k with P(X >= k) <= alpha for X binomial (n, p).
int BinomialBound(int n, double p, double alpha) {
    double tail = 1;  // P(X >= k)
    double term = std::pow(1 - p, n);  // P(X = 0)
    for (int k = 0; k <= n; ++k) {
        if (tail <= alpha) return k;
        tail -= term;
        term *= static_cast<double>(n - k) / (k + 1) * p / (1 - p);
    }
    return n + 1;
}

}  // namespace

int main(int argc, char** argv) {
    int trials = 10000, jobs = 1;
    double psnr = 40;
    std::vector<std::string> photos;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--trials" && i + 1 < argc) trials = std::stoi(argv[++i]);
        else if (a == "--jobs" && i + 1 < argc) jobs = std::max(1, std::stoi(argv[++i]));
        else if (a == "--psnr" && i + 1 < argc) psnr = std::stod(argv[++i]);
        else photos.push_back(a);
    }
    if (photos.empty()) {
        std::fprintf(stderr, "usage: sync_final [--trials N] [--jobs J] [--psnr DB] PHOTO...\n");
        return 2;
    }
    const auto method = MakeMethod("spread-spectrum-sync");
    const auto thresholds = *method->Thresholds();
    std::printf("spread-spectrum-sync, thresholds 1e-3 %.4f, 1e-6 %.4f; marked at %.1f dB\n", thresholds.first,
                thresholds.second, psnr);
    const std::vector<Attack>& attacks = Attacks();
    std::vector<int> present(attacks.size(), 0), exact(attacks.size(), 0), count(attacks.size(), 0);
    // The unmarked photographs under the same attacks, each prepared for reading (the
    // key-independent part of detection) as soon as it is made: then each key costs a fraction
    // of a detection and gives the same score as the method's Detect (the core's cosine).
    std::vector<std::unique_ptr<sync::PreparedSuspect>> prepared;
    RandomStream random(20261209);
    double slowest = 0;
    std::string slowestName;
    for (const std::string& path : photos) {
        const Bitmap host = TRixJPEG::Decode(path);
        const std::uint32_t seed = static_cast<std::uint32_t>(random.Next() >> 40);
        const MethodPayload payload{Bitmap(), PayloadFromSeed(seed, 64)};
        auto start = std::chrono::steady_clock::now();
        const auto at = FindStrength(*method, ViewOf(host), payload, seed, psnr);
        const MethodMarked marked = at->Embed(ViewOf(host), payload, seed);
        const double embedSeconds = Seconds(start);
        std::printf("%s %dx%d: strength %.3f, PSNR %.2f dB (strength search and embedding %.2f s)\n", NameOf(path).c_str(),
                    host.width(), host.height(), *at->Strength(), marked.Psnr, embedSeconds);
        const double px = random.Uniform(), py = random.Uniform();
        for (std::size_t a = 0; a < attacks.size(); ++a) {
            const Bitmap attacked = Jpeg(attacks[a].Apply(marked.Picture, px, py), 75);
            if (trials > 0) {
                const Bitmap unmarked = Jpeg(attacks[a].Apply(host, px, py), 75);
                std::vector<double> luma(static_cast<std::size_t>(unmarked.width()) * unmarked.height());
                for (int y = 0; y < unmarked.height(); ++y)
                    for (int x = 0; x < unmarked.width(); ++x) {
                        const std::uint8_t* p = unmarked.row(y) + 3 * x;
                        luma[static_cast<std::size_t>(y) * unmarked.width() + x] = (299 * p[2] + 587 * p[1] + 114 * p[0]) / 1000.0;
                    }
                prepared.push_back(std::make_unique<sync::PreparedSuspect>(luma.data(), unmarked.width(), unmarked.height()));
            }
            const double cpu = CpuSeconds();
            const Extraction x = Extract(*at, marked.Key, ViewOf(attacked));
            const double seconds = CpuSeconds() - cpu;
            const double rightShare = x.Reading.BitAccuracy.value_or(0);
            ++count[a];
            present[a] += x.Judged.Present;
            exact[a] += x.Judged.Present && rightShare == 1.0;
            std::printf("  %-17s %5dx%-5d score %.4f %s bits right %2d", attacks[a].Name, attacked.width(), attacked.height(),
                        x.Reading.Score, x.Judged.Present ? "present" : "absent ", Round(rightShare * 64));
            if (x.Reading.Found) {
                const FoundGeometry& f = *x.Reading.Found;
                std::printf("  rot %6.2f scale %.4f x %.4f shear %6.3f shift %7.1f %7.1f peak %.2f", f.RotationDegrees, f.ScaleX,
                            f.ScaleY, f.Shear, f.ShiftX, f.ShiftY, f.Peak);
            }
            std::printf("  %.3f s CPU\n", seconds);
            if (seconds > slowest) {
                slowest = seconds;
                slowestName = NameOf(path) + " " + attacks[a].Name;
            }
            std::fflush(stdout);
        }
    }
    std::printf("detected at 1e-6 (and every bit right), per attack:\n");
    int all = 0, allPresent = 0;
    for (std::size_t a = 0; a < attacks.size(); ++a) {
        std::printf("  %-17s %d / %d (%d)\n", attacks[a].Name, present[a], count[a], exact[a]);
        all += count[a];
        allPresent += present[a];
    }
    std::printf("  all               %d / %d (%.1f %%)\n", allPresent, all, 100.0 * allPresent / all);
    std::printf("slowest detection: %.3f s of one core (%s)\n", slowest, slowestName.c_str());

    if (trials <= 0) return 0;
    // Unmarked: each attacked photograph read with keys of random seeds (the score does not
    // depend on the key's payload: the detector decodes whatever payload it finds).
    std::vector<double> scores(static_cast<std::size_t>(trials));
    std::vector<std::uint32_t> seeds(static_cast<std::size_t>(trials));
    RandomStream keys(77);
    for (auto& s : seeds) s = static_cast<std::uint32_t>(keys.Next() >> 32);
    std::atomic<int> next{0};
    auto work = [&] {
        for (int t = next++; t < trials; t = next++)
            scores[static_cast<std::size_t>(t)] =
                sync::Detect(*prepared[static_cast<std::size_t>(t) % prepared.size()], seeds[static_cast<std::size_t>(t)]).Cosine;
    };
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; ++j) threads.emplace_back(work);
    for (auto& t : threads) t.join();
    int over3 = 0, over6 = 0;
    double highest = -1, mean = 0;
    for (const double s : scores) {
        over3 += s >= thresholds.first;
        over6 += s >= thresholds.second;
        highest = std::max(highest, s);
        mean += s;
    }
    mean /= trials;
    std::vector<double> sorted = scores;
    std::sort(sorted.begin(), sorted.end());
    std::printf("unmarked: %d trials (%zu attacked photographs, %.0f s on %d threads); score mean %.4f, 99th percentile %.4f, "
                "highest %.4f\n",
                trials, prepared.size(), Seconds(start), jobs, mean,
                sorted[static_cast<std::size_t>(0.99 * (trials - 1))], highest);
    std::printf("  at 1e-3 (%.4f): %d reach it (expected %.1f, binomial bound %d)\n", thresholds.first, over3, trials * 1e-3,
                BinomialBound(trials, 1e-3, 1e-3));
    std::printf("  at 1e-6 (%.4f): %d reach it\n", thresholds.second, over6);
    return 0;
}
