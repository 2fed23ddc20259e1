#pragma once
// The vector target of a benchmark run: QF_HWY_TARGET chooses it (e.g. QF_HWY_TARGET=AVX2 to
// measure an AVX2 machine on an AVX-512 one), and the report starts with it and with the
// CPU's vector features, so that figures are never read without the target they ran on.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <stdexcept>

#include "quillfen/image/vector_targets.h"

namespace quillfen::bench {

// Applies QF_HWY_TARGET, prints the target line and adds it to the report's context; false
// (after a message) when the variable names no target this CPU can run.
inline bool ChooseVectorTarget() {
    try {
        vector_targets::UseTargetFromEnvironment();
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
    std::printf("%s\n", vector_targets::Summary().c_str());
    std::fflush(stdout);
    benchmark::AddCustomContext("vector target", vector_targets::Active());
    benchmark::AddCustomContext("cpu vector features", vector_targets::CpuVectorFeatures());
    return true;
}

}  // namespace quillfen::bench

// The main of the benchmark programs that need nothing else before timing.
#define QUILLFEN_BENCHMARK_MAIN()                                              \
    int main(int argc, char** argv) {                                          \
        if (!quillfen::bench::ChooseVectorTarget()) return 1;                  \
        benchmark::Initialize(&argc, argv);                                    \
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;      \
        benchmark::RunSpecifiedBenchmarks();                                   \
        benchmark::Shutdown();                                                 \
        return 0;                                                              \
    }
