// Speed of the watermarking engine: every step, every attack, one whole experiment, and the
// same experiment with the literal forms (cosines per term, linear duplicate scan, repeated
// maximum selection) in the same run. The fast and literal experiments are checked to give
// the same bytes before anything is timed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_experiment.h"
#include "bench/bench_targets.h"
#include "quillfen/watermark/dct.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/marking.h"
#include "tests/watermark/workspace_buffers.h"

namespace quillfen {
namespace {

// Embedding, the seven attacks each followed by the six extraction steps and NC.
void WholeExperiment(Experiment& e) {
    benchmark::DoNotOptimize(e.Embed());
    for (const Step attack : Experiment::Attacks()) benchmark::DoNotOptimize(e.AttackAndExtract(attack));
}

// A workspace that has run everything once, so any single step can be timed on real data.
TWatermark& Prepared() {
    static TWatermark w = [] {
        Experiment e = bench::SampleExperiment();
        WholeExperiment(e);
        e.Run(Step::NoAttack);
        return e.Workspace();
    }();
    return w;
}

#define QF_STEP(name, call)                            \
    void BM_##name(benchmark::State& state) {          \
        TWatermark& w = Prepared();                    \
        for (auto _ : state) {                         \
            call;                                      \
            benchmark::ClobberMemory();                \
        }                                              \
    }                                                  \
    BENCHMARK(BM_##name)->Unit(benchmark::kMicrosecond)

QF_STEP(GetWr, w.GetWr());
QF_STEP(GetWa, w.GetWa());
QF_STEP(GetY, w.GetY());
QF_STEP(GetYr, w.GetYr());
QF_STEP(GetP, w.GetP());
QF_STEP(GetP_hat, w.GetP_hat());
QF_STEP(GetYr_hat, w.GetYr_hat(TWatermark::kStrengthDivisor));
QF_STEP(GetY_hat, w.GetY_hat());
QF_STEP(GetX_hat, w.GetX_hat());
QF_STEP(GetPSNR_Diff, benchmark::DoNotOptimize(w.GetPSNR_Diff()));
QF_STEP(CopyXhToXw, w.CopyXhToXw());
QF_STEP(ApplyJpeg, benchmark::DoNotOptimize(w.ApplyJpeg()));
QF_STEP(ApplyBlurring, w.ApplyBlurring());
QF_STEP(ApplyCroppingByZeroInQuarter, w.ApplyCroppingByZeroInQuarter());
QF_STEP(ApplyCroppingByImgInQuarter, w.ApplyCroppingByImgInQuarter());
QF_STEP(ApplyCroppingByZeroInHalf, w.ApplyCroppingByZeroInHalf());
QF_STEP(ApplyCroppingByImgInHalf, w.ApplyCroppingByImgInHalf());
QF_STEP(GetY_wave, w.GetY_wave());
QF_STEP(GetYr_wave, w.GetYr_wave());
QF_STEP(GetP_wave, w.GetP_wave());
QF_STEP(GetWa_wave, w.GetWa_wave());
QF_STEP(GetWr_wave, w.GetWr_wave());
QF_STEP(GetW_wave, w.GetW_wave());
QF_STEP(GetNC, benchmark::DoNotOptimize(w.GetNC()));

// One block, table form against per-term form.
void BM_Fdct8x8(benchmark::State& state) {
    double in[64];
    double out[64];
    for (int k = 0; k < 64; ++k) in[k] = (k * 37) % 256;
    const bool literal = state.range(0) != 0;
    for (auto _ : state) {
        if (literal) {
            literal::Fdct8x8(in, out);
        } else {
            Fdct8x8(in, out);
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetLabel(literal ? "literal" : "table");
}
BENCHMARK(BM_Fdct8x8)->Arg(0)->Arg(1);

// GetWr on an all-black-heavy watermark: the linear duplicate scan is quadratic.
void BM_GetWrForms(benchmark::State& state) {
    TWatermark w = bench::SampleExperiment().Workspace();
    w.SetFixedSeed(20261208);
    for (int i = 0; i < TWatermark::kMarkPixels; i += 2) Buffers(w).W[i] = 0;  // 8192 black pixels
    w.SetLiteralForms(state.range(0) != 0);
    for (auto _ : state) w.GetWr();
    state.SetLabel(w.LiteralForms() ? "literal, 8192 black" : "bitset, 8192 black");
}
BENCHMARK(BM_GetWrForms)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RankBlocks(benchmark::State& state) {
    TWatermark& w = Prepared();
    TWatermark::Orders order(TWatermark::kBlocks);
    const bool literal = state.range(0) != 0;
    for (auto _ : state) {
        if (literal) {
            TWatermark::RankBlocksLiteral(w.XBlockVar(), order);
        } else {
            TWatermark::RankBlocks(w.XBlockVar(), order);
        }
        benchmark::DoNotOptimize(order.data());
    }
    state.SetLabel(literal ? "repeated selection" : "stable sort");
}
BENCHMARK(BM_RankBlocks)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The whole experiment, fast (0) and literal (1) forms.
void BM_WholeExperiment(benchmark::State& state) {
    const bool literal = state.range(0) != 0;
    Experiment e = bench::SampleExperiment(literal);
    for (auto _ : state) WholeExperiment(e);
    state.SetLabel(literal ? "literal forms" : "fast forms");
}
BENCHMARK(BM_WholeExperiment)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Reading a mark and its verdict from a 256 x 256 suspect with a key (one without a calibration
// of its own): the call that bench/python/bench_python.py times from Python, for the binding's
// overhead.
void BM_ReadMarkAndJudge(benchmark::State& state) {
    const GrayPlane host = LoadGrayPicture(std::string(QUILLFEN_SAMPLES_DIR) + "/hosts/astronaut.pgm");
    const GrayPlane mark = LoadGrayPicture(std::string(QUILLFEN_SAMPLES_DIR) + "/seal-128.pgm");
    const MarkedPicture marked = EmbedIntoHost(host, mark, 1);
    const Calibration calibration = DefaultCalibration();
    for (auto _ : state) {
        const MarkReading reading = ReadMark(marked.Picture, marked.Key);
        benchmark::DoNotOptimize(Judge(reading.Score.Value, ThresholdsOf(marked.Key.Calibration, calibration)));
    }
}
BENCHMARK(BM_ReadMarkAndJudge)->Unit(benchmark::kMicrosecond);

// Before timing: both forms must leave the same bytes everywhere.
bool FormsAgree() {
    Experiment fastRun = bench::SampleExperiment(false);
    Experiment slowRun = bench::SampleExperiment(true);
    WholeExperiment(fastRun);
    WholeExperiment(slowRun);
    const TWatermark& fast = fastRun.Workspace();
    const TWatermark& slow = slowRun.Workspace();
    auto same = [](const auto& a, const auto& b) {
        return std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
    };
    return same(fast.X_hat(), slow.X_hat()) && same(fast.X_hat_real(), slow.X_hat_real()) &&
           same(fast.Y_wave(), slow.Y_wave()) && same(fast.W_wave(), slow.W_wave()) &&
           same(fast.RandPos(), slow.RandPos()) && same(fast.XBlockOrder(), slow.XBlockOrder()) &&
           same(fast.Display256(), slow.Display256());
}

}  // namespace
}  // namespace quillfen

int main(int argc, char** argv) {
    if (!quillfen::bench::ChooseVectorTarget()) return 1;
    if (!quillfen::FormsAgree()) {
        std::fprintf(stderr, "bench_watermark: the fast and literal forms disagree\n");
        return 1;
    }
    std::printf("fast and literal forms: identical bytes\n");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
