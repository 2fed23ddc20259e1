#pragma once
// Which instruction set the vector loops of the engine run on.
//
// The loops are compiled for several instruction sets (on x86-64: SSSE3, SSE4, AVX2, AVX-512
// and a one-lane fallback; on ARM64: NEON and SVE) and the best one this CPU supports is taken
// at the first call. Every one of them gives the same bytes, so choosing another one changes
// only the speed: benchmarks use it to measure an AVX2 machine on an AVX-512 one, and tests to
// compare the bytes of all of them. A build configured with QF_SIMD=OFF has plain loops and
// a single target named "PLAIN".
//
// The names are those of the vector library: "AVX3" is AVX-512 ("AVX512" is accepted too),
// "SCALAR" the one-lane fallback. Names are matched without regard to case.
#include <string>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen::vector_targets {

// The environment variable that programs read at start to choose a target (see
// UseTargetFromEnvironment).
inline constexpr const char* kEnvironmentVariable = "QF_HWY_TARGET";

// The target the vector loops run on now.
std::string Active();

// Every target compiled into this program that this CPU can run, best first.
std::vector<std::string> Available();

// Runs the vector loops on `name` from now on. Throws std::invalid_argument, naming the
// available targets, when this program has no such target or this CPU cannot run it.
void Use(const std::string& name);

// Returns to the best target this CPU supports.
void UseBest();

// Applies QF_HWY_TARGET when it is set and not empty (see Use); otherwise leaves the best
// target. Throws std::invalid_argument with a message that names the variable.
void UseTargetFromEnvironment();

// The vector instruction-set extensions this CPU reports, space-separated (e.g. "sse2 ssse3
// sse4.1 sse4.2 avx avx2 fma avx512f"), for benchmark reports.
std::string CpuVectorFeatures();

// One line for reports: the active target, the available ones and the CPU's features.
std::string Summary();

}  // namespace quillfen::vector_targets
QUILLFEN_API_END
