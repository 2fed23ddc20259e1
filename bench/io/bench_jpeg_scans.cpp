// What a progressive JPEG at the size limit (8192 x 8192, noise, so that every coefficient is
// set) costs to decode, by its number of scans: an ordinary progressive file (10 scans), the
// worst file the scan cap accepts (100 scans, with every successive-approximation refinement),
// and files over the cap, which are refused as soon as their 101st scan starts.
//
//   build/bench/bench_jpeg_scans
#include <benchmark/benchmark.h>

#include <random>

#include "bench/bench_targets.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/jpeg.h"
#include "tests/crafted_files.h"

namespace quillfen {
namespace {

constexpr int kSide = 8192;

const Bitmap& Noise() {
    static const Bitmap picture = [] {
        Bitmap b(kSide, kSide, 0);
        std::mt19937 random(7);
        for (std::uint8_t& byte : b.bytes()) byte = static_cast<std::uint8_t>(random());
        return b;
    }();
    return picture;
}

void Decode(benchmark::State& state, int dcRefinements, int acBands, int acRefinements) {
    const test::Bytes file = test::ProgressiveJpeg(Noise(), dcRefinements, acBands, acRefinements);
    state.counters["scans"] = 1 + dcRefinements + 3 * acBands * (1 + acRefinements);
    state.counters["MB"] = static_cast<double>(file.size()) / (1024 * 1024);
    for (auto _ : state) {
        try {
            const Bitmap b = TRixJPEG::DecodeMemory(file.data(), file.size());
            benchmark::DoNotOptimize(b.bytes().data());
        } catch (const FormatError&) {
            state.counters["refused"] = 1;
        }
    }
}

void BM_Progressive10Scans(benchmark::State& state) { Decode(state, 0, 3, 0); }
void BM_WorstAtTheCap100Scans(benchmark::State& state) { Decode(state, 9, 3, 9); }
void BM_OverTheCap200Scans(benchmark::State& state) { Decode(state, 10, 63, 0); }
void BM_OverTheCap704Scans(benchmark::State& state) { Decode(state, 10, 33, 6); }

BENCHMARK(BM_Progressive10Scans)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WorstAtTheCap100Scans)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OverTheCap200Scans)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OverTheCap704Scans)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace quillfen

QUILLFEN_BENCHMARK_MAIN()
