// Edge operators on a 512 x 512 random gray picture.
#include "bench/bench_common.h"
#include "bench/bench_targets.h"

namespace quillfen::bench {
namespace {

#define QF_EDGE_BENCH(Name, Call)                                                   \
    void BM_##Name(benchmark::State& state) {                                       \
        RunOn(state, Noise512(), [](TRixIPA& ipa) { ipa.Call; });                   \
    }                                                                               \
    BENCHMARK(BM_##Name)->Unit(benchmark::kMicrosecond)

QF_EDGE_BENCH(EdgeGeneral, EdgeGeneral(3.0));
QF_EDGE_BENCH(EdgeGeneralVertical, EdgeGeneralVertical(3.0));
QF_EDGE_BENCH(EdgeGeneralHorizontal, EdgeGeneralHorizontal(3.0));
QF_EDGE_BENCH(EdgeRoberts, EdgeRoberts(1.0));
QF_EDGE_BENCH(EdgePrewitt, EdgePrewitt(1.0));
QF_EDGE_BENCH(EdgeSobel, EdgeSobel(1.0));
QF_EDGE_BENCH(EdgeFreiChen, EdgeFreiChen(1.0));
QF_EDGE_BENCH(EdgeLaplacian1, EdgeLaplacian1());
QF_EDGE_BENCH(EdgeLaplacian2, EdgeLaplacian2());
QF_EDGE_BENCH(EdgeLaplacian3, EdgeLaplacian3());

}  // namespace
}  // namespace quillfen::bench

QUILLFEN_BENCHMARK_MAIN()
