// Connected-component labeling, fast and literal. The one-pixel spiral is the worst case of
// the literal scans (the label moves one pixel per scan on every arm that runs left or up),
// so the literal form is measured on smaller spirals only; 254 squares fill the label range.
#include "bench/bench_common.h"
#include "bench/bench_targets.h"
#include "quillfen/toolbox/labeling.h"

namespace quillfen::bench {
namespace {

void Label(benchmark::State& s, const test::Plane& p, bool literal) {
    RunOnPlane(s, p, [literal](const GrayPlane& g) {
        return literal ? labeling::literal::Label(g).plane : labeling::Label(g).plane;
    });
}

// Arguments: spiral size, 0 fast / 1 literal.
void BM_LabelSpiral(benchmark::State& s) {
    Label(s, test::Spiral(static_cast<int>(s.range(0))), s.range(1) != 0);
}
void BM_Label254Squares(benchmark::State& s) { Label(s, Squares512(), s.range(0) != 0); }

BENCHMARK(BM_LabelSpiral)
    ->ArgNames({"size", "literal"})
    ->Args({128, 0})->Args({128, 1})->Args({256, 0})->Args({256, 1})->Args({512, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Label254Squares)->ArgName("literal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillfen::bench

QUILLFEN_BENCHMARK_MAIN()
