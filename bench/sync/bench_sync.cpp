// The periodic mark's cost on a 12-megapixel picture (4000 x 3000): the change that marks it,
// and the detection (reduction, lattice search, folding, correlations, decoding).
#include <benchmark/benchmark.h>

#include <vector>

#include "quillfen/image/portable_math.h"
#include "sync/sync_mark.h"

namespace {

using namespace quillfen;

constexpr int kWidth = 4000, kHeight = 3000;

// A textured picture: smooth gradients and noise, so that the mask and the whitening work as
// on a photograph.
const std::vector<double>& Host() {
    static const std::vector<double> host = [] {
        std::vector<double> v(static_cast<std::size_t>(kWidth) * kHeight);
        RandomStream random(3);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                v[static_cast<std::size_t>(y) * kWidth + x] = 60 + 0.02 * x + 0.03 * y + 12 * random.Gaussian();
        return v;
    }();
    return host;
}

sync::PayloadBits Payload() {
    sync::PayloadBits p{};
    for (int b = 0; b < sync::kPayloadBits; ++b) p[b] = static_cast<std::uint8_t>((b * 7 + 3) % 5 < 2);
    return p;
}

void BM_Embed12MP(benchmark::State& state) {
    const std::vector<double>& host = Host();
    for (auto _ : state) {
        std::vector<double> change = sync::EmbedChange(host.data(), kWidth, kHeight, Payload(), 7, 2.55);
        benchmark::DoNotOptimize(change.data());
    }
}
BENCHMARK(BM_Embed12MP)->Unit(benchmark::kMillisecond);

void BM_Detect12MP(benchmark::State& state) {
    const std::vector<double>& host = Host();
    std::vector<double> marked = sync::EmbedChange(host.data(), kWidth, kHeight, Payload(), 7, 2.55);
    for (std::size_t i = 0; i < marked.size(); ++i) marked[i] += host[i];
    for (auto _ : state) {
        const sync::SyncReading r = sync::Detect(marked.data(), kWidth, kHeight, 7);
        benchmark::DoNotOptimize(r.Score);
    }
}
BENCHMARK(BM_Detect12MP)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
