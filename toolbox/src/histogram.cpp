// Histogram of a gray plane and the statistics derived from it.
#include "quillfen/toolbox/histogram.h"

#include <cstring>
#include <numeric>

#include "quillfen/image/detail/vector_state.h"
#include "quillfen/image/errors.h"

namespace quillfen::histogram {

Counts CountLevels(const GrayPlane& plane) {
    // Counting starts nearly every toolbox operation, often right after GUI or file code.
    ClearUpperVectorState();
    // Eight partial tables, one per byte of an eight-pixel word: in flat regions each counter
    // then waits on its own increment only every eighth pixel.
    std::array<Counts, 8> partial{};
    const std::uint8_t* p = plane.data();
    const std::size_t n = plane.pixels().size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, p + i, 8);
        ++partial[0][eight & 255];
        ++partial[1][(eight >> 8) & 255];
        ++partial[2][(eight >> 16) & 255];
        ++partial[3][(eight >> 24) & 255];
        ++partial[4][(eight >> 32) & 255];
        ++partial[5][(eight >> 40) & 255];
        ++partial[6][(eight >> 48) & 255];
        ++partial[7][eight >> 56];
    }
    for (; i < n; ++i) ++partial[0][p[i]];
    Counts counts{};
    for (int g = 0; g < 256; ++g) {
        std::int32_t sum = 0;
        for (const Counts& table : partial) sum += table[g];
        counts[g] = sum;
    }
    return counts;
}

Counts MappedCounts(const Counts& counts, const LevelTable& table) {
    Counts mapped{};
    for (int g = 0; g < 256; ++g) mapped[table[g]] += counts[g];
    return mapped;
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
