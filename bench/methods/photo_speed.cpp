// Not a benchmark of the google-benchmark kind: the blind methods on whole photographs as a
// user meets them. For each picture and method it prints the CPU time of marking at a target
// PSNR (the strength search and the marking at the strength found, MarkAtPsnr, as
// `embed --target-psnr` runs them), of reading the marked picture with the key (Detect), and the peak memory the marking
// adds to the process (the picture is already loaded: its bytes are not counted, the marked
// copy is), per picture and per megapixel. bench/photos/speed.sh runs it on the held-out
// photographs.
//
//   photo_speed [--target DB | --fixed] [--reads N] [--method SETTING]... PICTURE...
//
// --fixed marks at each method's own strength, without the search (for profiles).
// --reads N reads the marked picture N times and prints the mean (for profiles of reading).
// Peak memory: the kernel's high-water mark is reset before each marking (/proc/self/clear_refs,
// 5) and read after it (VmHWM), less the resident size before it (VmRSS). Where the reset is
// refused the figure is printed as "-".
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/image/image_view.h"
#include "quillfen/image/vector_targets.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/method.h"

namespace {

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double WallSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A field of /proc/self/status in kB, -1 when absent.
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return -1;
}

bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

}  // namespace

int main(int argc, char** argv) {
    double target = 40;
    bool fixed = false;  // --fixed: mark at the method's own strength, no search
    int reads = 1;
    std::vector<std::string> methods;
    std::vector<std::string> pictures;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--target" && i + 1 < argc) target = std::atof(argv[++i]);
        else if (arg == "--method" && i + 1 < argc) methods.emplace_back(argv[++i]);
        else if (arg == "--fixed") fixed = true;
        else if (arg == "--reads" && i + 1 < argc) reads = std::max(1, std::atoi(argv[++i]));
        else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "usage: photo_speed [--target DB | --fixed] [--reads N] [--method SETTING]... PICTURE...\n");
            return 2;
        } else pictures.push_back(arg);
    }
    if (pictures.empty()) {
        std::fprintf(stderr, "usage: photo_speed [--target DB | --fixed] [--reads N] [--method SETTING]... PICTURE...\n");
        return 2;
    }
    if (methods.empty()) methods = {"spread-spectrum", "qim", "stdm", "rdm", "spread-spectrum-sync"};
    // QF_HWY_TARGET chooses the vector loops' target, as in every program (on stderr: the table
    // on stdout stays as scripts read it).
    try {
        quillfen::vector_targets::UseTargetFromEnvironment();
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "vector target: %s\n", quillfen::vector_targets::Active().c_str());
    std::printf("%-34s %-22s %7s %8s %8s %9s %9s %8s %7s %9s\n", "picture", "method", "MP", "embed s", "s/MP",
                "extract s", "s/MP", "peak MB", "x RGB", "PSNR dB");
    int status = 0;
    for (const std::string& path : pictures) {
        quillfen::LoadedPicture loaded;
        try {
            loaded = quillfen::LoadPictureFile(path);
        } catch (const quillfen::Error& e) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), e.what());
            status = 1;
            continue;
        }
        const quillfen::ImageView host = quillfen::ViewOf(loaded.bitmap);
        const double megapixels = static_cast<double>(host.width()) * host.height() / 1e6;
        const double rgbMb = 3 * megapixels;
        std::string name = path.substr(path.find_last_of('/') + 1);
        if (name.size() > 34) name.resize(34);
        for (const std::string& setting : methods) {
            try {
                const auto method = quillfen::MakeMethod(setting);
                quillfen::MethodPayload payload;
                payload.Bits = quillfen::PayloadFromSeed(5, method->PayloadBits());
                const bool reset = ResetPeak();
                const long before = StatusKb("VmRSS");
                const double cpu0 = CpuSeconds(), wall0 = WallSeconds();
                std::unique_ptr<quillfen::WatermarkMethod> found;
                quillfen::MethodMarked marked;
                if (fixed) {
                    found = method->With(method->Describe());
                    marked = found->Embed(host, payload, 5);
                } else {
                    quillfen::MarkedAtPsnr at = quillfen::MarkAtPsnr(*method, host, payload, 5, target);
                    found = std::move(at.Method);
                    marked = std::move(at.Marked);
                }
                const double embedCpu = CpuSeconds() - cpu0, embedWall = WallSeconds() - wall0;
                const long peak = StatusKb("VmHWM");
                const quillfen::ImageView suspect = quillfen::ViewOf(marked.Picture);
                const double cpu1 = CpuSeconds();
                quillfen::MethodReading reading = found->Detect(suspect, marked.Key);
                for (int r = 1; r < reads; ++r) reading = found->Detect(suspect, marked.Key);
                const double readCpu = (CpuSeconds() - cpu1) / reads;
                char peakText[32] = "-", ratioText[32] = "-";
                if (reset && peak >= 0 && before >= 0) {
                    const double mb = static_cast<double>(peak - before) / 1000.0;
                    std::snprintf(peakText, sizeof peakText, "%.0f", mb);
                    std::snprintf(ratioText, sizeof ratioText, "%.2f", mb / rgbMb);
                }
                std::printf("%-34s %-22s %7.2f %8.3f %8.4f %9.3f %9.4f %8s %7s %9.4f  (wall %.3f s, %s, score %.3f)\n",
                            name.c_str(), method->Name().c_str(), megapixels, embedCpu, embedCpu / megapixels, readCpu,
                            readCpu / megapixels, peakText, ratioText, marked.Psnr, embedWall,
                            (found->Name() + ":" + found->Parameters()).c_str(), reading.Score);
                std::fflush(stdout);
            } catch (const quillfen::Error& e) {
                std::printf("%-34s %-22s %s\n", name.c_str(), setting.c_str(), e.what());
                status = 1;
            }
        }
    }
    return status;
}
