// Not a benchmark: measures the periodic mark (methods/src/sync) on camera photographs.
//
//   sync_trials marked [--seeds N] [--attack NAME]... [--psnr DB] PHOTO...
//                                 each photograph marked at 40 dB with N seeds and payloads of
//                                 its own, then every attack of the list followed by real
//                                 JPEG 75 of the colour picture; one line per (photo, attack):
//                                 score, bits wrong, transform found, detection time.
//                                 --unmarked: the same on the photographs as they are (each
//                                 read with the seed it would have been marked with).
//                                 --piece N: a centred N x N piece of each photograph instead
//   sync_trials null N [--side SMALLEST LARGEST] [--keys K] [--draw SEED] PHOTO...
//                                 N unmarked pieces (512 to 1024 pixels a side unless given,
//                                 at random places) of the photographs, each under one of the
//                                 attacks and JPEG 75, each read with K random keys (1 unless
//                                 given): the distribution of the score and how many reach the
//                                 thresholds. --draw seeds the pieces, places and keys (77), so
//                                 that runs in parallel draw different ones.
//
//   sync_trials mark PHOTO OUT.png [PSNR]   the photograph marked (seed 1), to look at
//
// The attacks work on the colour picture (each colour through the same geometric operation,
// picture_attacks.h's bilinear resampling and rotation), as an editor would.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "sync/sync_mark.h"
#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/io/picture_files.h"

using namespace quillfen;

namespace {

std::vector<double> Luma(const Bitmap& b) {
    std::vector<double> y(static_cast<std::size_t>(b.width()) * b.height());
    for (int j = 0; j < b.height(); ++j) {
        const std::uint8_t* row = b.row(j);
        for (int i = 0; i < b.width(); ++i)
            y[static_cast<std::size_t>(j) * b.width() + i] = (299 * row[3 * i + 2] + 587 * row[3 * i + 1] + 114 * row[3 * i]) / 1000.0;
    }
    return y;
}

std::uint8_t Byte(double v) {
    const double r = RoundHalfEven(v);
    return static_cast<std::uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
}

Bitmap AddChange(const Bitmap& host, const std::vector<double>& change) {
    Bitmap out = host;
    for (int j = 0; j < host.height(); ++j) {
        std::uint8_t* row = out.row(j);
        for (int i = 0; i < host.width(); ++i)
            for (int c = 0; c < 3; ++c) row[3 * i + c] = Byte(row[3 * i + c] + change[static_cast<std::size_t>(j) * host.width() + i]);
    }
    return out;
}

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

Bitmap Resize(const Bitmap& in, int w, int h) {
    return PerChannel(in, [&](const GrayPlane& p) { return Resample(p, w, h); });
}

Bitmap RotateKeep(const Bitmap& in, double degrees) {
    return PerChannel(in, [&](const GrayPlane& p) { return Rotate(p, degrees); });
}

// Rotated, then cut to the largest centred rectangle of the picture's aspect free of the corners.
Bitmap RotateCrop(const Bitmap& in, double degrees) {
    const Bitmap r = RotateKeep(in, degrees);
    double s, c;
    SinCosDegrees(std::abs(degrees), s, c);
    const double lo = std::min(in.width(), in.height()), hi = std::max(in.width(), in.height());
    const double k = lo / (lo * c + hi * s);
    const int w = static_cast<int>(in.width() * k), h = static_cast<int>(in.height() * k);
    return Crop(r, (in.width() - w) / 2, (in.height() - h) / 2, w, h);
}

// Rotated on a canvas enlarged to hold the whole picture (black around it).
Bitmap RotateEnlarge(const Bitmap& in, double degrees) {
    double s, c;
    SinCosDegrees(std::abs(degrees), s, c);
    const int w = static_cast<int>(std::ceil(in.width() * c + in.height() * s));
    const int h = static_cast<int>(std::ceil(in.width() * s + in.height() * c));
    Bitmap canvas(w, h, 0);
    const int x0 = (w - in.width()) / 2, y0 = (h - in.height()) / 2;
    for (int j = 0; j < in.height(); ++j) std::copy(in.row(j), in.row(j) + 3 * in.width(), canvas.row(y0 + j) + 3 * x0);
    return RotateKeep(canvas, degrees);
}

Bitmap Jpeg(const Bitmap& in, int quality) {
    const std::vector<std::uint8_t> file = TRixJPEG::Encode(in, quality);
    return TRixJPEG::DecodeMemory(file.data(), file.size());
}

struct Attack {
    std::string Name;
    std::function<Bitmap(const Bitmap&, RandomStream&)> Apply;
};

int Round(double v) { return static_cast<int>(std::lround(v)); }

// Removes `share` of the area: a window of the picture's aspect at a random place.
Bitmap CropAnywhere(const Bitmap& in, double share, RandomStream& random) {
    const double k = std::sqrt(1 - share);
    const int w = Round(in.width() * k), h = Round(in.height() * k);
    const int x0 = static_cast<int>(random.Uniform() * (in.width() - w + 1));
    const int y0 = static_cast<int>(random.Uniform() * (in.height() - h + 1));
    return Crop(in, x0, y0, w, h);
}

std::vector<Attack> Attacks() {
    std::vector<Attack> a;
    a.push_back({"none", [](const Bitmap& b, RandomStream&) { return b; }});
    a.push_back({"crop10-resize", [](const Bitmap& b, RandomStream&) {
                     const double k = std::sqrt(0.9);
                     const int w = Round(b.width() * k), h = Round(b.height() * k);
                     return Resize(Crop(b, (b.width() - w) / 2, (b.height() - h) / 2, w, h), b.width(), b.height());
                 }});
    a.push_back({"crop20-offcentre", [](const Bitmap& b, RandomStream& r) { return CropAnywhere(b, 0.2, r); }});
    a.push_back({"scale0.5", [](const Bitmap& b, RandomStream&) { return Resize(b, Round(b.width() * 0.5), Round(b.height() * 0.5)); }});
    a.push_back({"rotate5-crop", [](const Bitmap& b, RandomStream&) { return RotateCrop(b, 5); }});
    a.push_back({"aspect0.9", [](const Bitmap& b, RandomStream&) { return Resize(b, Round(b.width() * 0.9), b.height()); }});
    a.push_back({"crop1", [](const Bitmap& b, RandomStream& r) { return CropAnywhere(b, 0.01, r); }});
    a.push_back({"crop25", [](const Bitmap& b, RandomStream& r) { return CropAnywhere(b, 0.25, r); }});
    a.push_back({"scale2", [](const Bitmap& b, RandomStream&) { return Resize(b, Round(b.width() * 2.0), Round(b.height() * 2.0)); }});
    a.push_back({"scale0.7", [](const Bitmap& b, RandomStream&) { return Resize(b, Round(b.width() * 0.7), Round(b.height() * 0.7)); }});
    a.push_back({"aspect1.25", [](const Bitmap& b, RandomStream&) { return Resize(b, Round(b.width() * 1.25), b.height()); }});
    a.push_back({"aspect0.8", [](const Bitmap& b, RandomStream&) { return Resize(b, b.width(), Round(b.height() * 0.8)); }});
    a.push_back({"rotate-15-crop", [](const Bitmap& b, RandomStream&) { return RotateCrop(b, -15); }});
    a.push_back({"rotate15-enlarge", [](const Bitmap& b, RandomStream&) { return RotateEnlarge(b, 15); }});
    a.push_back({"rotate2-keep", [](const Bitmap& b, RandomStream&) { return RotateKeep(b, 2); }});
    a.push_back({"shift", [](const Bitmap& b, RandomStream& r) {
                     const int dx = 1 + static_cast<int>(r.Uniform() * 40), dy = 1 + static_cast<int>(r.Uniform() * 40);
                     return Crop(b, dx, dy, b.width() - dx, b.height() - dy);
                 }});
    // StirMark's random bending at its default strength, every colour bent alike.
    a.push_back({"bending", [](const Bitmap& b, RandomStream& r) {
                     const std::uint64_t draw = r.Next();
                     return PerChannel(b, [&](const GrayPlane& p) {
                         RandomStream same(draw);
                         return RandomBending(p, 1.0, same);
                     });
                 }});
    return a;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Marked(const std::vector<std::string>& photos, const std::vector<std::string>& only, double psnr, int seedsEach,
           bool unmarked, int piece) {
    const std::vector<Attack> attacks = Attacks();
    const double t6 = sync::Threshold(1e-6), t3 = sync::Threshold(1e-3);
    std::printf("thresholds: 1e-3 %.3f, 1e-6 %.3f\n", t3, t6);
    RandomStream seeds(20261209);
    std::vector<int> hits(attacks.size(), 0), exact(attacks.size(), 0), count(attacks.size(), 0);
    for (const std::string& path : photos) {
      const Bitmap whole = TRixJPEG::Decode(path);
      const Bitmap host = piece > 0 ? Crop(whole, (whole.width() - piece) / 2, (whole.height() - piece) / 2, piece, piece) : whole;
      for (int round = 0; round < seedsEach; ++round) {
        const std::uint32_t seed = static_cast<std::uint32_t>(seeds.Next() >> 40);
        sync::PayloadBits payload{};
        const std::uint64_t word = seeds.Next();
        for (int b = 0; b < 64; ++b) payload[b] = (word >> b) & 1;
        const std::vector<double> luma = Luma(host);
        auto start = std::chrono::steady_clock::now();
        const std::vector<double> change =
            sync::EmbedChange(luma.data(), host.width(), host.height(), payload, seed, sync::StrengthForPsnr(psnr));
        const Bitmap marked = unmarked ? host : AddChange(host, change);
        const double embedSeconds = Seconds(start);
        const std::vector<double> after = Luma(marked);
        double se = 0;
        for (std::size_t i = 0; i < luma.size(); ++i) se += (RoundHalfEven(after[i]) - RoundHalfEven(luma[i])) * (RoundHalfEven(after[i]) - RoundHalfEven(luma[i]));
        const double written = 10 * std::log10(255.0 * 255.0 / (se / static_cast<double>(luma.size())));
        std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%s %dx%d level %d: PSNR %.2f dB, embedding %.3f s\n", name.c_str(), host.width(), host.height(),
                    sync::LevelFor(host.width(), host.height()), written, embedSeconds);
        RandomStream random(seed);
        for (std::size_t a = 0; a < attacks.size(); ++a) {
            if (!only.empty() && std::find(only.begin(), only.end(), attacks[a].Name) == only.end()) continue;
            Bitmap attacked;
            try {
                attacked = Jpeg(attacks[a].Apply(marked, random), 75);
            } catch (const std::exception& e) {
                std::printf("  %-17s skipped: %s\n", attacks[a].Name.c_str(), e.what());
                continue;
            }
            const std::vector<double> y = Luma(attacked);
            start = std::chrono::steady_clock::now();
            const sync::SyncReading r = sync::Detect(y.data(), attacked.width(), attacked.height(), seed);
            const double seconds = Seconds(start);
            int wrong = 0;
            for (int b = 0; b < 64; ++b) wrong += r.Bits[b] != payload[b];
            ++count[a];
            hits[a] += r.Score >= t6;
            exact[a] += r.Score >= t6 && wrong == 0;
            const auto& t = r.Transform;
            std::printf("  %-17s %5dx%-5d score %6.2f (next %5.2f) wrong %2d  rot %6.2f scale %.3f x %.3f shear %6.3f "
                        "shift %7.1f %7.1f level %d peak %.2f  %.3f s\n",
                        attacks[a].Name.c_str(), attacked.width(), attacked.height(), r.Score, r.RunnerUp, wrong,
                        t.RotationDegrees, t.ScaleX, t.ScaleY, t.Shear, t.ShiftX, t.ShiftY, t.Level, r.LatticePeak, seconds);
            std::fflush(stdout);
        }
      }
    }
    std::printf("detected at 1e-6 (and every bit right), per attack:\n");
    for (std::size_t a = 0; a < attacks.size(); ++a)
        if (count[a] > 0) std::printf("  %-17s %d / %d (%d)\n", attacks[a].Name.c_str(), hits[a], count[a], exact[a]);
    return 0;
}

int Null(int trials, int smallest, int largest, int keys, std::uint64_t draw, const std::vector<std::string>& photos) {
    // The 16 attacks the null was first measured under: the bending, added later, is left out
    // so that the same command draws the same pieces.
    std::vector<Attack> attacks = Attacks();
    attacks.pop_back();
    const double t6 = sync::Threshold(1e-6), t3 = sync::Threshold(1e-3);
    std::vector<Bitmap> hosts;
    for (const std::string& p : photos) hosts.push_back(TRixJPEG::Decode(p));
    RandomStream random(draw);
    std::vector<double> scores;
    int over3 = 0, over6 = 0;
    double worst = -1;
    for (int i = 0; i < trials; ++i) {
        const Bitmap& host = hosts[static_cast<std::size_t>(i) % hosts.size()];
        // A piece of smallest..largest pixels a side at a random place.
        const int w = std::min(host.width(), smallest + static_cast<int>(random.Uniform() * (largest - smallest + 1)));
        const int h = std::min(host.height(), smallest + static_cast<int>(random.Uniform() * (largest - smallest + 1)));
        const int x0 = static_cast<int>(random.Uniform() * (host.width() - w + 1));
        const int y0 = static_cast<int>(random.Uniform() * (host.height() - h + 1));
        const Attack& attack = attacks[static_cast<std::size_t>(i / static_cast<int>(hosts.size())) % attacks.size()];
        const Bitmap piece = Jpeg(attack.Apply(Crop(host, x0, y0, w, h), random), 75);
        const std::vector<double> y = Luma(piece);
        // The key-independent part of detection once, then `keys` readings with random keys
        // (the same readings as sync::Detect's, bit for bit).
        const sync::PreparedSuspect prepared(y.data(), piece.width(), piece.height());
        for (int k = 0; k < keys; ++k) {
            const std::uint32_t seed = static_cast<std::uint32_t>(random.Next() >> 32);
            const sync::SyncReading r = sync::Detect(prepared, seed);
            scores.push_back(r.Score);
            over3 += r.Score >= t3;
            over6 += r.Score >= t6;
            worst = std::max(worst, r.Score);
        }
        if ((i + 1) % 100 == 0) {
            std::printf("%d trials: highest %.3f, at 1e-3 %d, at 1e-6 %d\n", i + 1, worst, over3, over6);
            std::fflush(stdout);
        }
    }
    std::sort(scores.begin(), scores.end());
    auto q = [&](double p) { return scores[static_cast<std::size_t>(p * static_cast<double>(scores.size() - 1))]; };
    double mean = 0;
    for (const double s : scores) mean += s;
    mean /= static_cast<double>(scores.size());
    std::printf("null: %d pieces x %d keys; score mean %.3f, median %.3f, 99th percentile %.3f, highest %.3f\n", trials, keys, mean, q(0.5),
                q(0.99), worst);
    std::printf("thresholds 1e-3 %.3f: %d reach it; 1e-6 %.3f: %d reach it\n", t3, over3, t6, over6);
    return 0;
}

// Writes the photograph marked at `psnr` dB (seed 1, payload drawn from it) as a PNG file, to
// look at the mark.
int Mark(const std::string& photo, const std::string& out, double psnr) {
    const Bitmap host = TRixJPEG::Decode(photo);
    RandomStream random(1);
    sync::PayloadBits payload{};
    const std::uint64_t word = random.Next();
    for (int b = 0; b < 64; ++b) payload[b] = (word >> b) & 1;
    const std::vector<double> luma = Luma(host);
    const std::vector<double> change =
        sync::EmbedChange(luma.data(), host.width(), host.height(), payload, 1, sync::StrengthForPsnr(psnr));
    SavePictureFile(out, AddChange(host, change));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "mark") return Mark(args[1], args[2], args.size() >= 4 ? std::stod(args[3]) : 40.0);
    if (args.size() >= 2 && args[0] == "marked") {
        std::vector<std::string> photos, only;
        double psnr = 40;
        int seedsEach = 1;
        bool unmarked = false;
        int piece = 0;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--attack" && i + 1 < args.size()) only.push_back(args[++i]);
            else if (args[i] == "--psnr" && i + 1 < args.size()) psnr = std::stod(args[++i]);
            else if (args[i] == "--seeds" && i + 1 < args.size()) seedsEach = std::stoi(args[++i]);
            else if (args[i] == "--unmarked") unmarked = true;
            else if (args[i] == "--piece" && i + 1 < args.size()) piece = std::stoi(args[++i]);
            else photos.push_back(args[i]);
        }
        return Marked(photos, only, psnr, seedsEach, unmarked, piece);
    }
    if (args.size() >= 3 && args[0] == "null") {
        int smallest = 512, largest = 1024, keys = 1;
        std::uint64_t draw = 77;
        std::size_t first = 2;
        for (;;) {
            if (args.size() >= first + 3 && args[first] == "--side") {
                smallest = std::stoi(args[first + 1]);
                largest = std::stoi(args[first + 2]);
                first += 3;
            } else if (args.size() >= first + 2 && args[first] == "--keys") {
                keys = std::stoi(args[first + 1]);
                first += 2;
            } else if (args.size() >= first + 2 && args[first] == "--draw") {
                draw = std::stoull(args[first + 1]);
                first += 2;
            } else {
                break;
            }
        }
        return Null(std::stoi(args[1]), smallest, largest, keys, draw, {args.begin() + static_cast<long>(first), args.end()});
    }
    std::fprintf(stderr, "usage: sync_trials marked [--seeds N] [--attack NAME]... [--psnr DB] [--unmarked] [--piece N] PHOTO... |\n"
                         "       sync_trials null N [--side SMALLEST LARGEST] [--keys K] [--draw SEED] PHOTO... |\n"
                         "       sync_trials mark PHOTO OUT.png [PSNR]\n");
    return 2;
}
