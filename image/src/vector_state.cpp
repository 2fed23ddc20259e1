#include "quillfen/image/detail/vector_state.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace quillfen {
namespace {

__attribute__((target("avx"))) void ZeroUpper() { _mm256_zeroupper(); }

bool HasAvx() {
    static const bool hasAvx = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return hasAvx;
}

}  // namespace

void ClearUpperVectorState() {
    if (HasAvx()) ZeroUpper();
}

}  // namespace quillfen

#else

namespace quillfen {
void ClearUpperVectorState() {}
}  // namespace quillfen

#endif
