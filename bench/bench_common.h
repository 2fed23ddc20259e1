#pragma once
// Runs one toolbox operation per iteration on a fresh copy of a picture; the copy is made
// with the clock stopped.
#include <benchmark/benchmark.h>

#include <functional>

#include "tests/toolbox/toolbox_images.h"

namespace quillfen::bench {

inline void RunOn(benchmark::State& state, const test::Plane& picture,
                  const std::function<void(TRixIPA&)>& op) {
    for (auto _ : state) {
        state.PauseTiming();
        TRixIPA ipa = picture.ipa();
        state.ResumeTiming();
        op(ipa);
        benchmark::DoNotOptimize(ipa.GetImage().data());
    }
}

inline const test::Plane& Noise512() {
    static const test::Plane p = test::RandomGray(512, 512, 42);
    return p;
}

}  // namespace quillfen::bench
