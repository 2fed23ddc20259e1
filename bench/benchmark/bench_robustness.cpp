// Speed of the robustness benchmark's parts on the bundled host and mark: the whole default
// attack grid applied to one X_hat, the same grid with extraction and every per-cell measure
// (what one host and one seed cost), the sweep itself on one and two threads, each family of
// the grid on its own, SSIM, and a key's own calibration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_experiment.h"
#include "bench/bench_targets.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/key_calibration.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen {
namespace {

// The bundled host with the bundled mark embedded, seed fixed.
const Experiment& EmbeddedExperiment() {
    static const Experiment e = [] {
        Experiment embedded = bench::SampleExperiment();
        embedded.Embed();
        return embedded;
    }();
    return e;
}

const TWatermark& Embedded() { return EmbeddedExperiment().Workspace(); }

AttackInput InputOf(const TWatermark& w) { return {w.X(), w.X_hat(), w.X_hat_real()}; }

void RunCells(benchmark::State& state, const std::vector<AttackCell>& cells) {
    const TWatermark& w = Embedded();
    AttackedPicture picture;
    for (auto _ : state)
        for (const AttackCell& cell : cells) {
            ApplyAttackCell(cell, InputOf(w), 1, picture);
            benchmark::DoNotOptimize(picture.Bytes.data());
        }
    state.counters["cells/s"] = benchmark::Counter(static_cast<double>(cells.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DefaultGridAttacks(benchmark::State& state) { RunCells(state, DefaultAttackGrid()); }
BENCHMARK(BM_DefaultGridAttacks)->Unit(benchmark::kMillisecond);

// Per cell: the attack, the six extraction steps, NC, BER, PSNR and SSIM against X_hat.
void BM_DefaultGridRows(benchmark::State& state) {
    Experiment e = EmbeddedExperiment();
    const TWatermark& w = e.Workspace();
    const std::vector<AttackCell> grid = DefaultAttackGrid();
    AttackedPicture picture;
    for (auto _ : state)
        for (const AttackCell& cell : grid) {
            ApplyAttackCell(cell, InputOf(w), 1, picture);
            benchmark::DoNotOptimize(e.ExtractFrom(picture.Bytes, picture.Reals).back().nc);
            benchmark::DoNotOptimize(BitErrorRate(w.W_wave(), w.W()));
            benchmark::DoNotOptimize(PsnrDecibels(w.X_wave_real(), w.X_hat()));
            benchmark::DoNotOptimize(StructuralSimilarity(w.X_wave(), w.X_hat(), 256, 256));
        }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(grid.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DefaultGridRows)->Unit(benchmark::kMillisecond);

// The sweep as `robustness` runs it: the default grid for one host and one seed, embedding
// included, on `jobs` threads (wall time: the point is the gain from the second thread).
void BM_SweepDefaultGrid(benchmark::State& state) {
    static const Bitmap host = [] {
        Bitmap picture;
        TRixPGM().LoadFromFile(std::string(QUILLFEN_SAMPLES_DIR) + "/camera-256.pgm", picture);
        return picture;
    }();
    SweepPlan plan;
    plan.Hosts = {{"camera-256.pgm", [] { return host; }}};
    TRixPGM().LoadFromFile(std::string(QUILLFEN_SAMPLES_DIR) + "/seal-128.pgm", plan.Mark);
    plan.Seeds = {1};
    plan.Cells = DefaultAttackGrid();
    plan.Jobs = static_cast<int>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(RunSweep(plan, {}).Rows);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(plan.Cells.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SweepDefaultGrid)->Arg(1)->Arg(2)->ArgName("jobs")->UseRealTime()->Unit(benchmark::kMillisecond);

// The sweep on photographs, whole and in colour, as `robustness PHOTOS --method spread-spectrum
// --method qim` runs it: the pictures named by QF_BENCH_PHOTOS (paths separated by ':', e.g.
// QF_BENCH_PHOTOS=$(scripts/photos.sh develop | head -3 | paste -sd:)), seed 1, a few cells, on
// one and two threads (wall time). Megapixels per second count the pixels of every row's picture.
void BM_SweepPhotos(benchmark::State& state) {
    const char* list = std::getenv("QF_BENCH_PHOTOS");
    if (list == nullptr || *list == 0) {
        state.SkipWithError("QF_BENCH_PHOTOS names no photograph");
        return;
    }
    static std::vector<std::pair<std::string, Bitmap>> photos;
    if (photos.empty()) {
        std::string text = list;
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t colon = std::min(text.find(':', start), text.size());
            const std::string path = text.substr(start, colon - start);
            if (!path.empty()) photos.emplace_back(path, LoadPictureFile(path).bitmap);
            start = colon + 1;
        }
    }
    SweepPlan plan;
    double pixels = 0;
    for (const auto& [path, picture] : photos) {
        const Bitmap* shown = &picture;
        plan.Hosts.push_back({path, [shown] { return *shown; }});
        pixels += static_cast<double>(picture.width()) * picture.height();
    }
    plan.Seeds = {1};
    plan.Cells = ParseAttackCells("none,real-jpeg:q=75,gauss-noise:sigma=4,scale:f=0.75");
    for (const char* name : {"spread-spectrum", "qim"})
        plan.Methods.push_back(SweepMethodOf(MakeMethod(ParseMethodSpec(name)), "built in"));
    plan.Jobs = static_cast<int>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(RunSweep(plan, {}).Rows);
    const double rows = static_cast<double>(plan.RowCount());
    state.counters["rows/s"] = benchmark::Counter(rows, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["Mpx/s"] = benchmark::Counter(pixels * rows / static_cast<double>(photos.size()) / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SweepPhotos)->Arg(1)->Arg(2)->ArgName("jobs")->UseRealTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Ssim256(benchmark::State& state) {
    const TWatermark& w = Embedded();
    for (auto _ : state) benchmark::DoNotOptimize(StructuralSimilarity(w.X(), w.X_hat(), 256, 256));
}
BENCHMARK(BM_Ssim256)->Unit(benchmark::kMillisecond);

// What a key's own calibration adds to `embed` for a 256 x 256 region, on one thread: the
// fewest trials and the default (a detection score per trial, most of them on noise).
void BM_KeyCalibration(benchmark::State& state) {
    Bitmap host;
    Bitmap mark;
    TRixPGM().LoadFromFile(std::string(QUILLFEN_SAMPLES_DIR) + "/camera-256.pgm", host);
    TRixPGM().LoadFromFile(std::string(QUILLFEN_SAMPLES_DIR) + "/seal-128.pgm", mark);
    const std::unique_ptr<WatermarkMethod> method = MakeMethod(DefaultMethod());
    const MethodMarked marked = method->Embed(ViewOf(host), {mark, {}}, 20261208);
    KeyCalibrationOptions options;
    options.Trials = static_cast<std::uint32_t>(state.range(0));
    options.Jobs = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            CalibrateKey(*method, marked.Key, BlueOf(host), BlueOf(marked.Picture), options).Threshold1e6);
    state.counters["trials/s"] = benchmark::Counter(static_cast<double>(options.Trials),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_KeyCalibration)->Arg(kFewestKeyTrials)->Arg(kDefaultKeyTrials)->ArgName("trials")->Unit(benchmark::kMillisecond);

// One benchmark per family of the default grid, to show where the grid's time goes.
void RegisterFamilies() {
    for (const AttackFamily& family : DefaultAttackFamilies()) {
        std::vector<AttackCell> cells = ParseAttackCells(family.List);
        benchmark::RegisterBenchmark(("BM_Family/" + std::string(family.Family)).c_str(),
                                     [cells](benchmark::State& state) { RunCells(state, cells); })
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace
}  // namespace quillfen

int main(int argc, char** argv) {
    if (!quillfen::bench::ChooseVectorTarget()) return 1;
    benchmark::Initialize(&argc, argv);
    quillfen::RegisterFamilies();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
