// Noise removal and inversion on a 512 x 512 random gray picture; the median in both forms.
#include "bench/bench_common.h"
#include "bench/bench_targets.h"
#include "quillfen/toolbox/noise.h"

namespace quillfen::bench {
namespace {

void BM_NoiseMean(benchmark::State& s) { RunOn(s, Noise512(), [](TRixIPA& i) { i.NoiseMean(); }); }
void BM_NoiseMedian(benchmark::State& s) { RunOn(s, Noise512(), [](TRixIPA& i) { i.NoiseMedian(); }); }
void BM_NoiseMedianLiteral(benchmark::State& s) {
    RunOnPlane(s, Noise512(), noise::literal::Median);
}
void BM_NoiseContraction(benchmark::State& s) {
    RunOn(s, test::RandomPlane(512, 512, 7, {0, 255, 255, 255, 128}), [](TRixIPA& i) { i.NoiseContraction(); });
}
void BM_NoiseExpansion(benchmark::State& s) {
    RunOn(s, test::RandomPlane(512, 512, 7, {0, 0, 0, 255, 128}), [](TRixIPA& i) { i.NoiseExpansion(); });
}
void BM_Inverse(benchmark::State& s) { RunOn(s, Noise512(), [](TRixIPA& i) { i.Inverse(); }); }

BENCHMARK(BM_NoiseMean)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NoiseMedian)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NoiseMedianLiteral)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NoiseContraction)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NoiseExpansion)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Inverse)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quillfen::bench

QUILLFEN_BENCHMARK_MAIN()
