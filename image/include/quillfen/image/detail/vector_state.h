#pragma once
// Keeps the floating-point code of the toolbox at full speed after third-party code.
//
// Code built for AVX (Qt's image routines among it) may return with the upper halves of the
// vector registers still in use. Until something clears them, every SSE instruction of ours
// and of the maths library pays a transition penalty: a threshold method doing 64K log10
// calls was measured 40 times slower right after a picture had been read through Qt.
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Clears the upper vector state on CPUs that have AVX; does nothing elsewhere. Cheap: call
// it after third-party code and at the start of floating-point-heavy operations.
void ClearUpperVectorState();

// Clears the state when leaving a scope that calls third-party code, thrown or not.
struct VectorStateReset {
    VectorStateReset() = default;
    VectorStateReset(const VectorStateReset&) = delete;
    VectorStateReset& operator=(const VectorStateReset&) = delete;
    ~VectorStateReset() { ClearUpperVectorState(); }
};

}  // namespace quillfen
QUILLFEN_API_END
