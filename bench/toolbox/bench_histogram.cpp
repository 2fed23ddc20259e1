// Histogram, histogram modification and the chart on the 512 x 512 sample. Each iteration
// runs on the original picture (restored untimed).
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_sample.h"
#include "bench/bench_targets.h"
#include "quillfen/toolbox/histogram.h"
#include "quillfen/toolbox/histogram_chart.h"
#include "quillfen/toolbox/rix_ipa.h"

namespace {

using quillfen::TRixIPA;

const TRixIPA& Sample() { return quillfen::bench::CameraSample(); }

template <typename Run>
void RunOnSample(benchmark::State& state, Run run) {
    TRixIPA ipa = Sample();
    for (auto _ : state) {
        run(ipa);
        benchmark::ClobberMemory();
        state.PauseTiming();
        ipa = Sample();  // every run starts from the sample
        state.ResumeTiming();
    }
}

void BM_CountLevels(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(quillfen::histogram::CountLevels(Sample().Plane()));
}
BENCHMARK(BM_CountLevels)->Unit(benchmark::kMicrosecond);

void BM_Equalize(benchmark::State& state) { RunOnSample(state, [](TRixIPA& i) { i.Equalize(); }); }
BENCHMARK(BM_Equalize)->Unit(benchmark::kMicrosecond);

void BM_SpecifyHistogram(benchmark::State& state) { RunOnSample(state, [](TRixIPA& i) { i.SpecifyHistogram(); }); }
BENCHMARK(BM_SpecifyHistogram)->Unit(benchmark::kMicrosecond);

void BM_AutoContrastStretch(benchmark::State& state) {
    RunOnSample(state, [](TRixIPA& i) {
        std::uint8_t low, high;
        i.AutoContrastStretch(low, high);
    });
}
BENCHMARK(BM_AutoContrastStretch)->Unit(benchmark::kMicrosecond);

void BM_EndsInContrastStretch(benchmark::State& state) {
    RunOnSample(state, [](TRixIPA& i) {
        std::uint8_t low, high;
        i.EndsInContrastStretch(low, high, 5, 5);
    });
}
BENCHMARK(BM_EndsInContrastStretch)->Unit(benchmark::kMicrosecond);

void BM_DrawHistogramChart(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(quillfen::DrawHistogramChart(Sample().GetHistogramCounts()));
}
BENCHMARK(BM_DrawHistogramChart)->Unit(benchmark::kMicrosecond);

}  // namespace

QUILLFEN_BENCHMARK_MAIN()
