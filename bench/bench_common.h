#pragma once
// Runs one toolbox operation per iteration on the working image of a picture, and the
// pictures the toolbox benchmarks share.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "tests/toolbox/toolbox_images.h"

namespace quillfen::bench {

// The operation on a working image loaded (untimed) with the picture each time: one
// object, as a document keeps it, rather than a new one made and destroyed per run.
inline void RunOn(benchmark::State& state, const test::Plane& picture,
                  const std::function<void(TRixIPA&)>& op) {
    TRixIPA ipa;
    for (auto _ : state) {
        state.PauseTiming();
        ipa.LoadFromGray(picture.width, picture.height, picture.pixels.data());
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

// 254 white squares on black: labeling's whole range of labels.
inline const test::Plane& Squares512() {
    static const test::Plane p = [] {
        test::Plane q(512, 512, 0);
        int placed = 0;
        for (int y = 4; y + 24 < 512 && placed < 254; y += 30)
            for (int x = 4; x + 24 < 512 && placed < 254; x += 30, ++placed) q.fillRect(x, y, x + 24, y + 24, 255);
        return q;
    }();
    return p;
}

// A busy scene for the Hough transform: overlapping rectangles of many grays and white lines
// at every angle.
inline const test::Plane& Busy512() {
    static const test::Plane p = [] {
        test::Plane b(512, 512, 128);
        std::mt19937 rng(5);
        for (int k = 0; k < 60; ++k) {
            const int x0 = static_cast<int>(rng() % 480), y0 = static_cast<int>(rng() % 480);
            b.fillRect(x0, y0, std::min(511, x0 + 8 + static_cast<int>(rng() % 120)),
                       std::min(511, y0 + 8 + static_cast<int>(rng() % 120)), static_cast<std::uint8_t>(rng() & 255u));
        }
        for (int k = 0; k < 30; ++k) {
            const double x0 = static_cast<int>(rng() % 512), y0 = static_cast<int>(rng() % 512);
            const double a = static_cast<int>(rng() % 3600) * 0.1 * 3.141592653589793 / 180;
            for (int s = -400; s <= 400; ++s) {
                const int x = static_cast<int>(x0 + s * std::cos(a)), y = static_cast<int>(y0 + s * std::sin(a));
                if (x >= 0 && y >= 0 && x < 512 && y < 512) b.at(x, y) = 255;
            }
        }
        return b;
    }();
    return p;
}

}  // namespace quillfen::bench
