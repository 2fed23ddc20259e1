// Histogram of a gray plane and the statistics derived from it.
#include "quillfen/toolbox/histogram.h"

#include <numeric>

#include "quillfen/image/detail/vector_state.h"
#include "quillfen/image/errors.h"

namespace quillfen::histogram {

Counts CountLevels(const GrayPlane& plane) {
    // Counting starts nearly every toolbox operation, often right after GUI or file code.
    ClearUpperVectorState();
    // Four partial tables, so that runs of equal pixels do not wait on one counter.
    std::array<Counts, 4> partial{};
    const std::uint8_t* p = plane.data();
    const int n = plane.size();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        ++partial[0][p[i]];
        ++partial[1][p[i + 1]];
        ++partial[2][p[i + 2]];
        ++partial[3][p[i + 3]];
    }
    for (; i < n; ++i) ++partial[0][p[i]];
    Counts counts{};
    for (int g = 0; g < 256; ++g) counts[g] = partial[0][g] + partial[1][g] + partial[2][g] + partial[3][g];
    return counts;
}

std::int32_t Total(const Counts& counts) { return std::accumulate(counts.begin(), counts.end(), std::int32_t{0}); }

double Mean(const Counts& counts, int pixelCount) {
    if (pixelCount == 0) throw MathError(kInvalidFloatingPointOperation);
    // Every product and partial sum is an integer below 2^53: exact in doubles.
    double sum = 0.0;
    for (int g = 0; g < 256; ++g) sum += static_cast<double>(std::int64_t{g} * counts[g]);
    return sum / pixelCount;
}

}  // namespace quillfen::histogram
