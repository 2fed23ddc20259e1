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

// The same for a family function on the gray plane (no working image around it), so that
// a fast form and its literal twin are timed alike.
inline void RunOnPlane(benchmark::State& state, const test::Plane& picture,
                       const std::function<GrayPlane(const GrayPlane&)>& op) {
    const GrayPlane plane = picture.gray();
    for (auto _ : state) {
        GrayPlane out = op(plane);
        benchmark::DoNotOptimize(out.data());
    }
}

inline const test::Plane& Noise512() {
    static const test::Plane p = test::RandomGray(512, 512, 42);
    return p;
}

}  // namespace quillfen::bench
