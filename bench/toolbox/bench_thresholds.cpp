// The thirteen threshold methods on the 512 x 512 sample, and the literal forms the fast
// ones are held against. Each iteration runs on the original picture (restored untimed).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_sample.h"
#include "bench/bench_targets.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "quillfen/toolbox/thresholds.h"

namespace {

using quillfen::TRixIPA;

const TRixIPA& Sample() { return quillfen::bench::CameraSample(); }

template <typename Run>
void RunOnSample(benchmark::State& state, Run run) {
    TRixIPA ipa = Sample();
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(ipa));
        state.PauseTiming();
        ipa = Sample();  // every run starts from the sample
        state.ResumeTiming();
    }
}

#define QF_METHOD(name, call) \
    void BM_##name(benchmark::State& state) { RunOnSample(state, [](TRixIPA& i) { return i.call; }); } \
    BENCHMARK(BM_##name)->Unit(benchmark::kMicrosecond);

QF_METHOD(Mean, ThresholdByMean())
QF_METHOD(PTile, ThresholdByPTile(50))
QF_METHOD(TwoPeaks, ThresholdByTwoPeaks())
QF_METHOD(Laplacian, ThresholdByLaplacian(85))
QF_METHOD(IterativeSelection, ThresholdByIterativeSelection())
QF_METHOD(GrayLevelHistogram, ThresholdByGrayLevelHistogram())
QF_METHOD(Johannsen, ThresholdByJohannsen())
QF_METHOD(Kapur, ThresholdByKapur())
QF_METHOD(Pun, ThresholdByPun())
QF_METHOD(FuzzyShannon, ThresholdByFuzzyShannon())
QF_METHOD(FuzzyYager, ThresholdByFuzzyYager())
QF_METHOD(MinimumError, ThresholdByMinimumError())
QF_METHOD(MovingAverage, ThresholdByMovingAverage())

// Selection alone, fast form against literal form, on the same picture (no binarising).
template <typename Select>
void RunLevel(benchmark::State& state, Select select) {
    const TRixIPA& s = Sample();
    for (auto _ : state) benchmark::DoNotOptimize(select(s.GetHistogramCounts(), s.GetPixelCount()));
}

namespace th = quillfen::thresholds;
using Counts = th::Counts;

#define QF_LEVEL(name, expr) \
    void BM_##name(benchmark::State& state) { RunLevel(state, [](const Counts& h, int n) { (void)n; return expr; }); } \
    BENCHMARK(BM_##name)->Unit(benchmark::kMicrosecond);

QF_LEVEL(KapurLevel, th::KapurLevel(h, n))
QF_LEVEL(LiteralKapurLevel, th::literal::KapurLevel(h, n))
QF_LEVEL(MinimumErrorLevel, th::MinimumErrorLevel(h))
QF_LEVEL(LiteralMinimumErrorLevel, th::literal::MinimumErrorLevel(h))
QF_LEVEL(FuzzyShannonLevel, th::FuzzyShannonLevel(h))
QF_LEVEL(LiteralFuzzyShannonLevel, th::literal::FuzzyShannonLevel(h))
QF_LEVEL(FuzzyYagerLevel, th::FuzzyYagerLevel(h))
QF_LEVEL(LiteralFuzzyYagerLevel, th::literal::FuzzyYagerLevel(h))

template <typename Level>
void RunPlane(benchmark::State& state, Level level) {
    const quillfen::GrayPlane& plane = Sample().Plane();
    Counts counts{};
    for (auto _ : state) benchmark::DoNotOptimize(level(plane, counts));
}

#define QF_PLANE(name, expr) \
    void BM_##name(benchmark::State& state) { \
        RunPlane(state, [](const quillfen::GrayPlane& p, Counts& counts) { (void)counts; return expr; }); } \
    BENCHMARK(BM_##name)->Unit(benchmark::kMicrosecond);

QF_PLANE(LaplacianLevel, th::LaplacianLevel(p, 85, counts))
QF_PLANE(LiteralLaplacianLevel, th::literal::LaplacianLevel(p, 85, counts))
QF_PLANE(MovingAverageBinarize, th::MovingAverageBinarize(p).value)
QF_PLANE(LiteralMovingAverageBinarize, th::literal::MovingAverageBinarize(p).value)

}  // namespace

QUILLFEN_BENCHMARK_MAIN()
