// Not a benchmark: the rates of the blind methods' verdicts on pictures of several sizes, and on
// flat and smooth pictures, and how often a polarity key finds the mark another seed embedded
// in its host. Prints one table per figure.
//
//   verdict_rates [--keys K] PICTURE...     (scripts/photos.sh held-out gives the photographs)
//
// Per method, picture and size (the centred square of 256, 512 and 1024 and the whole picture):
// K keys of other seeds read the unmarked picture (null reads: how many reach the thresholds at
// 1e-3 and 1e-6, and the largest |z|), the picture marked with one seed is read by its key, and
// the same mark turned over (its pattern subtracted twice) is read again; the thresholds in score
// units are the picture's own (their mean is printed).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/extraction.h"
#include "quillfen/methods/method.h"

using namespace quillfen;

namespace {

Bitmap Centre(const Bitmap& picture, int side) {
    if (side <= 0) return picture;
    Bitmap out(side, side);
    const int x0 = (picture.width() - side) / 2, y0 = (picture.height() - side) / 2;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const std::uint8_t* p = picture.row(y0 + y) + 3 * (x0 + x);
            out.setBgr(x, y, p[0], p[1], p[2]);
        }
    return out;
}

// host - (marked - host), per colour, clamped.
Bitmap TurnedOver(const Bitmap& host, const Bitmap& marked) {
    Bitmap out(host.width(), host.height());
    for (int y = 0; y < host.height(); ++y)
        for (int x = 0; x < host.width(); ++x) {
            const std::uint8_t* h = host.row(y) + 3 * x;
            const std::uint8_t* m = marked.row(y) + 3 * x;
            std::uint8_t v[3];
            for (int c = 0; c < 3; ++c) v[c] = static_cast<std::uint8_t>(std::clamp(2 * h[c] - m[c], 0, 255));
            out.setBgr(x, y, v[0], v[1], v[2]);
        }
    return out;
}

MethodKey KeyOf(const WatermarkMethod& method, std::uint32_t seed, int width, int height) {
    MethodKey key;
    key.Method = method.Name();
    key.Parameters = method.Parameters();
    key.Seed = seed;
    key.HostWidth = width;
    key.HostHeight = height;
    key.Payload = PayloadFromSeed(seed, method.PayloadBits());
    return key;
}

struct Tally {
    long Reads = 0, At1e3 = 0, At1e6 = 0;
    double LargestZ = 0, ThresholdSum = 0;
    void Add(const Extraction& x) {
        ++Reads;
        At1e3 += x.Judged.Detected1e3 ? 1 : 0;
        At1e6 += x.Judged.Present ? 1 : 0;
        LargestZ = std::max(LargestZ, std::fabs(x.Judged.Z));
        ThresholdSum += x.Judged.Threshold;
    }
};

void NullReads(const WatermarkMethod& method, const Bitmap& picture, int keys, Tally& tally) {
    for (int k = 0; k < keys; ++k) {
        const MethodKey key = KeyOf(method, static_cast<std::uint32_t>(1000 + k), picture.width(), picture.height());
        tally.Add(Extract(method, key, ViewOf(picture)));
    }
}

}  // namespace

int main(int argc, char** argv) {
    int keys = 40;
    std::vector<std::string> pictures;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--keys" && i + 1 < argc) keys = std::atoi(argv[++i]);
        else pictures.push_back(a);
    }
    const int sides[] = {256, 512, 1024, 0};
    for (const char* name : {"spread-spectrum", "qim"}) {
        const std::unique_ptr<WatermarkMethod> method = MakeMethod(name);
        std::printf("%s (|z| thresholds %.3f at 1e-3, %.3f at 1e-6), %d null keys a picture\n", name,
                    method->Thresholds()->first, method->Thresholds()->second, keys);
        std::printf("%-8s %8s %9s %9s %9s %9s %9s %9s %9s\n", "size", "pictures", "null", "at 1e-3", "at 1e-6",
                    "max |z|", "thr 1e-6", "marked", "inverted");
        for (const int side : sides) {
            Tally null, marked, inverted;
            long count = 0;
            for (const std::string& path : pictures) {
                const Bitmap whole = LoadPictureFile(path).bitmap;
                if (side > 0 && (whole.width() < side || whole.height() < side)) continue;
                const Bitmap picture = Centre(whole, side);
                ++count;
                NullReads(*method, picture, keys, null);
                const MethodMarked m = method->Embed(ViewOf(picture), {Bitmap(), PayloadFromSeed(7, method->PayloadBits())}, 7);
                const Extraction read = Extract(*method, m.Key, ViewOf(m.Picture));
                marked.Add(read);
                const Extraction turned = Extract(*method, m.Key, ViewOf(TurnedOver(picture, m.Picture)));
                inverted.Add(turned);
            }
            if (count == 0) continue;
            std::printf("%-8s %8ld %9ld %9ld %9ld %9.2f %9.5f %6ld/%-3ld %5ld/%-3ld\n",
                        side > 0 ? (std::to_string(side) + "^2").c_str() : "whole", count, null.Reads, null.At1e3,
                        null.At1e6, null.LargestZ, null.ThresholdSum / static_cast<double>(null.Reads), marked.At1e6,
                        marked.Reads, inverted.At1e6, inverted.Reads);
        }
        // Flat pictures (every gray level in steps of 17) and smooth ones (ramps, a radial
        // gradient), at 256 and 512.
        for (const int side : {256, 512}) {
            Tally flat, smooth;
            for (int level = 0; level <= 255; level += 17) {
                Bitmap picture(side, side);
                for (int y = 0; y < side; ++y)
                    for (int x = 0; x < side; ++x) picture.setGray(x, y, static_cast<std::uint8_t>(level));
                NullReads(*method, picture, keys, flat);
            }
            for (int kind = 0; kind < 3; ++kind) {
                Bitmap picture(side, side);
                for (int y = 0; y < side; ++y)
                    for (int x = 0; x < side; ++x) {
                        const double r = std::hypot(x - side / 2.0, y - side / 2.0) / side;
                        const double v = kind == 0 ? 255.0 * x / side : kind == 1 ? 127.5 * (x + y) / side : 255.0 * r;
                        picture.setGray(x, y, static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)));
                    }
                NullReads(*method, picture, keys, smooth);
            }
            std::printf("flat   %d^2: %ld reads, %ld at 1e-3, %ld at 1e-6, max |z| %.2f\n", side, flat.Reads, flat.At1e3,
                        flat.At1e6, flat.LargestZ);
            std::printf("smooth %d^2: %ld reads, %ld at 1e-3, %ld at 1e-6, max |z| %.2f\n", side, smooth.Reads,
                        smooth.At1e3, smooth.At1e6, smooth.LargestZ);
        }
        std::printf("\n");
    }

    // The polarity method: a key of seed B reading its host marked with seed A (the bundled
    // hosts and mark, the global thresholds).
    const std::unique_ptr<WatermarkMethod> polarity = MakeMethod("polarity");
    const Bitmap mark = LoadPictureFile(QUILLFEN_SAMPLES_DIR "/seal-128.pgm").bitmap;
    long reads = 0, present = 0, ownPresent = 0, hosts = 0;
    for (const char* host : {"astronaut", "brick", "cell", "chelsea", "clock", "coffee", "grass", "gravel",
                             "hubble-deep-field", "immunohistochemistry", "retina", "rocket"}) {
        const Bitmap picture = LoadPictureFile(std::string(QUILLFEN_SAMPLES_DIR "/hosts/") + host + ".pgm").bitmap;
        ++hosts;
        std::vector<MethodMarked> marked;
        for (std::uint32_t seed = 1; seed <= 4; ++seed) marked.push_back(polarity->Embed(ViewOf(picture), {mark, {}}, seed));
        for (std::size_t a = 0; a < marked.size(); ++a)
            for (std::size_t b = 0; b < marked.size(); ++b) {
                const bool present_ = Extract(*polarity, marked[b].Key, ViewOf(marked[a].Picture)).Judged.Present;
                if (a == b) ownPresent += present_ ? 1 : 0;
                else {
                    ++reads;
                    present += present_ ? 1 : 0;
                }
            }
    }
    std::printf("polarity: a key of another seed of the same host and mark finds the mark in %ld of %ld reads "
                "(%ld hosts); its own seed's in %ld of %ld\n",
                present, reads, hosts, ownPresent, hosts * 4);
    return 0;
}
