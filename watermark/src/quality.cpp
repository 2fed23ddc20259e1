// Quality measures: PSNR with the sum of squared differences, the stretched difference
// image, and the normalized correlation of the extracted watermark.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "quillfen/image/round_half_even.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen {

namespace {

constexpr int kMark = TWatermark::kMarkSize;

}  // namespace

namespace {

std::optional<PsnrResult> PsnrOfSum(double s) {
    const double mse = s / 65536;
    if (mse == 0) return std::nullopt;  // -10 log10(0) has no value
    return PsnrResult{-10 * std::log10(mse / 65025), s};
}

}  // namespace

std::optional<PsnrResult> TWatermark::ComputePSNR(const Reals& image, const Bytes& reference) {
    double s = 0;
    for (int p = 0; p < kHostPixels; ++p) {
        const double d = reference[p] - image[p];
        s = s + d * d;
    }
    return PsnrOfSum(s);
}

std::optional<PsnrResult> TWatermark::ComputePSNR(std::span<const std::uint8_t> image,
                                                  std::span<const std::uint8_t> reference) {
    // Between bytes every difference, its square and every partial sum is a whole number far
    // below 2^53, so the real form's sum is exact: it equals this integer sum.
    std::int64_t s = 0;
    for (int p = 0; p < kHostPixels; ++p) {
        const int d = reference[p] - image[p];
        s += d * d;
    }
    return PsnrOfSum(static_cast<double>(s));
}

std::optional<PsnrResult> TWatermark::GetPSNR_Diff() {
    const std::optional<PsnrResult> result = ComputePSNR(X_hat_real_, X_);
    if (!ResultsOnly) MakeDifferenceImage();
    return result;
}

void TWatermark::MakeDifferenceImage() {
    Display256_.resize(kHostPixels);  // a results-only workspace has no view yet
    for (int p = 0; p < kHostPixels; ++p) {
        // Any real further than 255 from every byte gives the same clamped difference, so
        // limiting it first keeps the integer conversion defined without changing a pixel.
        const double r = RoundHalfEven(std::clamp(X_hat_real_[p], -1024.0, 1024.0));
        long long d = std::llabs(static_cast<long long>(X_[p]) - static_cast<long long>(r));
        if (d > 255) d = 255;
        Display256_[p] = static_cast<std::uint8_t>(d);
    }
    const auto [lowest, highest] = std::minmax_element(Display256_.begin(), Display256_.end());
    const int minimum = *lowest;
    const int maximum = *highest;
    if (maximum == minimum) {
        std::fill(Display256_.begin(), Display256_.end(), std::uint8_t{0});
        return;
    }
    for (std::uint8_t& v : Display256_) {
        const int scaled = (v - minimum) * 255;
        v = static_cast<std::uint8_t>(RoundHalfEven(static_cast<double>(scaled) / (maximum - minimum)));
    }
}

std::optional<double> TWatermark::NormalizedCorrelation(const Bytes& extracted, const Bytes& reference) {
    double a = 0;
    double b = 0;
    for (int r = 4; r < kMark; ++r)
        for (int c = 4; c < kMark; ++c) {
            const double ref = 255 - reference[r * kMark + c];
            const double ext = 255 - extracted[r * kMark + c];
            a = a + ref * ext;
            b = b + ref * ref;
        }
    // With no black reference pixel in the window the ratio has no value.
    if (b == 0) return std::nullopt;
    return a / b;
}

std::optional<double> TWatermark::GetNC() const { return NormalizedCorrelation(W_wave_, W_); }

}  // namespace quillfen
