// Hough transform with the command's parameters (360, 300, 10, 10, 200, point-based), fast
// and literal, on 512 x 512 pictures: a busy scene of overlapping rectangles and lines, and
// pure noise, where every interior pixel is an edge.
#include <cmath>

#include "bench/bench_common.h"
#include "bench/bench_targets.h"
#include "quillfen/toolbox/hough.h"

namespace quillfen::bench {
namespace {

// Share of interior pixels whose gradient magnitude (Sobel sums / 8) exceeds 10.
double EdgeShare(const test::Plane& p) {
    int edges = 0;
    for (int y = 1; y < p.height - 1; ++y)
        for (int x = 1; x < p.width - 1; ++x) {
            const int sx = p.at(x + 1, y - 1) + 2 * p.at(x + 1, y) + p.at(x + 1, y + 1) - p.at(x - 1, y - 1) -
                           2 * p.at(x - 1, y) - p.at(x - 1, y + 1);
            const int sy = p.at(x - 1, y + 1) + 2 * p.at(x, y + 1) + p.at(x + 1, y + 1) - p.at(x - 1, y - 1) -
                           2 * p.at(x, y - 1) - p.at(x + 1, y - 1);
            const double gx = sx / 8.0, gy = sy / 8.0;
            edges += std::sqrt(gx * gx + gy * gy) > 10 ? 1 : 0;
        }
    return static_cast<double>(edges) / ((p.width - 2) * (p.height - 2));
}

void Hough(benchmark::State& s, const test::Plane& p, bool literal) {
    s.counters["edge_share"] = EdgeShare(p);
    RunOnPlane(s, p, [literal](const GrayPlane& g) {
        return literal ? hough::literal::Transform(g, hough::Parameters{}) : hough::Transform(g, hough::Parameters{});
    });
}

void BM_HoughBusy(benchmark::State& s) { Hough(s, Busy512(), s.range(0) != 0); }
void BM_HoughNoise(benchmark::State& s) { Hough(s, Noise512(), s.range(0) != 0); }

BENCHMARK(BM_HoughBusy)->ArgName("literal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HoughNoise)->ArgName("literal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillfen::bench

QUILLFEN_BENCHMARK_MAIN()
