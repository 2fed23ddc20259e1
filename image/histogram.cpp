// Histogram of the working image and the statistics derived from it.
#include <numeric>

#include "image/errors.h"
#include "image/rix_ipa.h"
#include "image/vector_state.h"

namespace quillfen {

void TRixIPA::ComputeHistogram() {
    // Nearly every toolbox operation starts here, often right after GUI or file code.
    ClearUpperVectorState();
    Histogram.fill(0);
    const std::uint8_t* p = Image.data();
    for (int i = 0; i < PixelCount; ++i) ++Histogram[p[i]];
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
