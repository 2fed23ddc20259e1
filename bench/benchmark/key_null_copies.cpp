// key_null_copies: how often unmarked copies of a key's own host reach the key's thresholds.
// Usage: key_null_copies MARK COPIES SEED HOST...
//
// For each host, the key `embed --seed SEED` writes (its own calibration of the default number
// of trials included) judges COPIES copies of the host's region, unmarked, with Gaussian noise
// of one gray level, COPIES copies with that noise and then JPEG at a quality of 80..100 (in
// turn), and the host after JPEG at each quality 80..100 alone, each as a file would hold it.
// The noise is drawn per pixel from a stream of its own (RandomStream seeded by the host's
// index and the copy's number), not from the table the key's calibration reads: the copies are
// pictures the calibration never saw. One line per host: the key's thresholds (the larger of
// its own and the built-in ones, as `extract` judges) and, per kind of copy, how many reach
// each threshold and the highest score. scripts/key-null-copies.sh runs it on the bundled hosts.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/benchmark/key_calibration.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"

namespace quillfen {
namespace {

struct Count {
    int Copies = 0;
    int Reach1e3 = 0;
    int Reach1e6 = 0;
    double Highest = -1;
};

void Judge(const GrayPlane& copy, const MarkKey& key, const KeyThresholds& t, Count& count) {
    const double score = ReadMark(copy, key).Score.Value;
    ++count.Copies;
    const Verdict verdict = quillfen::Judge(score, t);
    count.Reach1e3 += verdict.Detected1e3 ? 1 : 0;
    count.Reach1e6 += verdict.Present ? 1 : 0;
    count.Highest = std::max(count.Highest, score);
}

int Run(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: key_null_copies MARK COPIES SEED HOST...\n");
        return 2;
    }
    const Bitmap mark = LoadPictureFile(argv[1]).bitmap;
    const int copies = std::atoi(argv[2]);
    const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    std::printf("| host | key's threshold 1e-3 | 1e-6 | noise: >= 1e-3 | >= 1e-6 | highest | noise + JPEG: >= 1e-3 | "
                ">= 1e-6 | highest | JPEG 80..100: >= 1e-3 | >= 1e-6 | highest |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (int h = 4; h < argc; ++h) {
        const Bitmap host = LoadPictureFile(argv[h]).bitmap;
        MarkedHost marked = EmbedIntoHost(host, mark, seed);
        CalibrateMarkedHost(marked, host);
        const KeyThresholds t = ThresholdsOf(marked.Key.Calibration, DefaultCalibration());
        const GrayPlane region(TWatermark::kHostSize, TWatermark::kHostSize, MarkedRegion(GrayOf(host)));
        Count noise;
        Count noiseJpeg;
        Count jpeg;
        for (int i = 0; i < copies; ++i) {
            RandomStream random(0x636F706965730000ULL + static_cast<std::uint64_t>(h) * 1000003 + static_cast<std::uint64_t>(i));
            const GrayPlane noisy = AddGaussianNoise(region, 1.0, random);
            Judge(noisy, marked.Key, t, noise);
            Judge(JpegRoundTrip(noisy, 80 + i % 21), marked.Key, t, noiseJpeg);
        }
        for (int q = 80; q <= 100; ++q) Judge(JpegRoundTrip(region, q), marked.Key, t, jpeg);
        std::printf("| %s | %.4f | %.4f", std::filesystem::path(argv[h]).filename().string().c_str(), t.At1e3, t.At1e6);
        for (const Count* c : {&noise, &noiseJpeg, &jpeg})
            std::printf(" | %d / %d | %d | %.4f", c->Reach1e3, c->Copies, c->Reach1e6, c->Highest);
        std::printf(" |\n");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace
}  // namespace quillfen

int main(int argc, char** argv) {
    try {
        return quillfen::Run(argc, argv);
    } catch (const quillfen::Error& e) {
        std::fprintf(stderr, "key_null_copies: %s\n", e.what());
        return 1;
    }
}
