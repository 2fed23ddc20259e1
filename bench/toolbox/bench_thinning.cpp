// Zhang-Suen thinning, fast and literal, on 512 x 512 pictures: all white (one pass finds
// nothing to delete), a solid white block inside a 16-pixel black margin (about 120
// iterations, each peeling one layer), and the one-pixel spiral.
#include "bench/bench_common.h"
#include "bench/bench_targets.h"
#include "quillfen/toolbox/thinning.h"

namespace quillfen::bench {
namespace {

const test::Plane& Block() {
    static const test::Plane p = [] {
        test::Plane b(512, 512, 0);
        b.fillRect(16, 16, 495, 495, 255);
        return b;
    }();
    return p;
}

void Thin(benchmark::State& s, const test::Plane& p, bool literal) {
    RunOnPlane(s, p, literal ? thinning::literal::ZhangSuen : thinning::ZhangSuen);
}

void BM_ThinAllWhite(benchmark::State& s) { Thin(s, test::Plane(512, 512, 255), s.range(0) != 0); }
void BM_ThinBlock(benchmark::State& s) { Thin(s, Block(), s.range(0) != 0); }
void BM_ThinSpiral(benchmark::State& s) { Thin(s, test::Spiral(512), s.range(0) != 0); }

// Argument: 0 fast, 1 literal.
BENCHMARK(BM_ThinAllWhite)->ArgName("literal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThinBlock)->ArgName("literal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThinSpiral)->ArgName("literal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillfen::bench

QUILLFEN_BENCHMARK_MAIN()
