#pragma once
// The quantisers' reading loop (blind_core.h's ReadLattices), written once with portable
// vectors and compiled for every instruction set of the build (quillfen/image/vector_targets.h);
// a build with QF_SIMD=OFF has it as a plain loop. Each item's values are computed in its own
// lane with the IEEE operations LatticeSide writes, in its order, so every target gives the
// same bits as the plain form.
#include <cstddef>

namespace quillfen::lattice_loops {

// For k < count, with side(x) = LatticeSide(x, dither[k], step):
//     sides[k] = side(value[k])
//     terms[k] = sides[k] - ((((0 + side(twin0[k])) + side(twin1[k])) + side(twin2[k])) + side(twin3[k])) / 4
// (twinD: twins[D]). The outputs may not overlap the inputs.
void Sides(const double* value, const double* const* twins, const double* dither, double step, std::size_t count,
           double* sides, double* terms);

}  // namespace quillfen::lattice_loops
