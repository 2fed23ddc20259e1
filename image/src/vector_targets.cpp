#include "quillfen/image/vector_targets.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#if defined(__aarch64__) && defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

#if QF_SIMD
// Compiled once per target, like every vector loop of the engine, so that it reports the
// target those loops are dispatched to (they share the target list of this build).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "vector_targets.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quillfen::vector_targets {
namespace HWY_NAMESPACE {

std::int64_t CompiledTarget() { return HWY_TARGET; }

}  // namespace HWY_NAMESPACE
}  // namespace quillfen::vector_targets
HWY_AFTER_NAMESPACE();
#endif  // QF_SIMD

#if !QF_SIMD || HWY_ONCE

namespace quillfen::vector_targets {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
    return text;
}

}  // namespace

#if QF_SIMD

HWY_EXPORT(CompiledTarget);

namespace {

// The single targets of a mask, best (lowest bit) first.
std::vector<std::int64_t> Split(std::int64_t mask) {
    std::vector<std::int64_t> targets;
    for (; mask != 0; mask &= mask - 1) targets.push_back(mask & -mask);
    return targets;
}

void Allow(std::int64_t mask) {
    hwy::SetSupportedTargetsForTest(mask);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}

// What this CPU supports among the targets of this build, before any restriction; taken
// once, since the vector library's hook that restricts the targets replaces its detection.
// The dispatcher is then pointed at the best of them explicitly: left to itself, Highway 1.0.3
// was seen to dispatch to SVE2 on a 128-bit SVE2 CPU that it reports as SVE2_128, and "best"
// should mean the same for the loops as in Available().
std::int64_t Detected() {
    static const std::int64_t detected = [] {
        hwy::SetSupportedTargetsForTest(0);
        const std::int64_t supported = hwy::SupportedTargets() & HWY_TARGETS;
        Allow(supported);
        return supported;
    }();
    return detected;
}

}  // namespace

std::string Active() {
    Detected();  // the detection must be taken before any restriction
    return hwy::TargetName(HWY_DYNAMIC_DISPATCH(CompiledTarget)());
}

std::vector<std::string> Available() {
    std::vector<std::string> names;
    for (std::int64_t target : Split(Detected())) names.emplace_back(hwy::TargetName(target));
    return names;
}

void Use(const std::string& name) {
    std::string wanted = Upper(name);
    if (wanted == "AVX512" || wanted == "AVX-512") wanted = "AVX3";
    for (std::int64_t target : Split(HWY_TARGETS)) {
        if (hwy::TargetName(target) != wanted) continue;
        if ((Detected() & target) == 0)
            throw std::invalid_argument("vector target '" + name + "': this CPU cannot run it (available: " +
                                        Joined(Available()) + ")");
        // The dispatcher takes the best allowed target: allow this one and the ones below it.
        Allow(Detected() & ~(target - 1));
        return;
    }
    throw std::invalid_argument("vector target '" + name + "': not built into this program (available: " +
                                Joined(Available()) + ")");
}

void UseBest() { Allow(Detected()); }

#else  // plain loops only

std::string Active() { return "PLAIN"; }

std::vector<std::string> Available() { return {"PLAIN"}; }

void Use(const std::string& name) {
    if (Upper(name) != "PLAIN")
        throw std::invalid_argument("vector target '" + name +
                                    "': this program was built without vector loops (available: PLAIN)");
}

void UseBest() {}

#endif  // QF_SIMD

void UseTargetFromEnvironment() {
    Active();  // the best target from the start, whatever the variable says
    const char* value = std::getenv(kEnvironmentVariable);
    if (value == nullptr || *value == '\0') return;
    try {
        Use(value);
    } catch (const std::invalid_argument& e) {
        throw std::invalid_argument(std::string(kEnvironmentVariable) + ": " + e.what());
    }
}

std::string CpuVectorFeatures() {
    std::vector<std::string> found;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    // __builtin_cpu_supports needs a literal, hence one line per name.
#define QF_FEATURE(name) \
    if (__builtin_cpu_supports(name)) found.emplace_back(name)
    QF_FEATURE("sse2");
    QF_FEATURE("ssse3");
    QF_FEATURE("sse4.1");
    QF_FEATURE("sse4.2");
    QF_FEATURE("avx");
    QF_FEATURE("avx2");
    QF_FEATURE("fma");
    QF_FEATURE("avx512f");
    QF_FEATURE("avx512dq");
    QF_FEATURE("avx512bw");
    QF_FEATURE("avx512vl");
#undef QF_FEATURE
#elif defined(__aarch64__) && defined(__linux__)
    const unsigned long caps = getauxval(AT_HWCAP);
    const unsigned long caps2 = getauxval(AT_HWCAP2);
    if (caps & HWCAP_ASIMD) found.emplace_back("asimd");
#ifdef HWCAP_SVE
    if (caps & HWCAP_SVE) found.emplace_back("sve");
#endif
#ifdef HWCAP2_SVE2
    if (caps2 & HWCAP2_SVE2) found.emplace_back("sve2");
#endif
    (void)caps2;
#endif
    return found.empty() ? std::string("none known") : Joined(found);
}

#if QF_SIMD && HWY_MAJOR == 1 && HWY_MINOR == 0
}  // namespace quillfen::vector_targets

// Highway 1.0's shared library calibrates its benchmarking timer while it is being loaded: a
// static initialiser spins in hwy::platform::TimerResolution() for 2 to 3 ms, a fifth of a
// whole experiment run from the shell. Nothing here uses that timer (it serves hwy::Measure
// only), so the program defines the function itself; the dynamic loader binds the library's
// call to the program's definition, which returns at once. Later Highway versions measure
// the timer lazily, hence the version check. The definition must be visible to the loader
// although the library's symbols are hidden; the shared libraries keep it to themselves
// (cmake/shared_libraries.map), as their callers' use of Highway is none of theirs.
namespace hwy::platform {
__attribute__((visibility("default"))) std::uint64_t TimerResolution() { return 1; }
}  // namespace hwy::platform

namespace quillfen::vector_targets {
#endif

std::string Summary() {
    return "vector loops: " + Active() + " (this CPU can run: " + Joined(Available()) +
           "); CPU vector features: " + CpuVectorFeatures();
}

}  // namespace quillfen::vector_targets

#endif  // !QF_SIMD || HWY_ONCE
