// Histogram of the working image and the statistics derived from it.
#include <array>
#include <numeric>

#include "image/errors.h"
#include "image/rix_ipa.h"
#include "image/vector_state.h"

namespace quillfen {

void TRixIPA::ComputeHistogram() {
    // Nearly every toolbox operation starts here, often right after GUI or file code.
    ClearUpperVectorState();
    // Four partial tables, so that runs of equal pixels do not wait on one counter.
    std::array<std::array<std::int32_t, 256>, 4> partial{};
    const std::uint8_t* p = Image.data();
    int i = 0;
    for (; i + 4 <= PixelCount; i += 4) {
        ++partial[0][p[i]];
        ++partial[1][p[i + 1]];
        ++partial[2][p[i + 2]];
        ++partial[3][p[i + 3]];
    }
    for (; i < PixelCount; ++i) ++partial[0][p[i]];
    for (int g = 0; g < 256; ++g) Histogram[g] = partial[0][g] + partial[1][g] + partial[2][g] + partial[3][g];
}

double TRixIPA::GetMean() const {
    // 0/0 on an empty image has no value: say so instead of returning NaN.
    if (PixelCount == 0) throw MathError(kInvalidFloatingPointOperation);
    double sum = 0.0;
    for (int g = 0; g < 256; ++g) sum += static_cast<double>(std::int64_t{g} * Histogram[g]);
    return sum / PixelCount;
}

std::int32_t TRixIPA::GetPixels() const {
    return std::accumulate(Histogram.begin(), Histogram.end(), std::int32_t{0});
}

}  // namespace quillfen
