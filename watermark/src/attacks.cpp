// Attack simulation: each attack makes X_wave (bytes) from X_hat and X_wave_real from
// X_hat_real by the same rule, separately, and leaves X_wave in Display256.
#include <stdexcept>
#include <string>

#include "quillfen/watermark/watermark.h"
#include "vector_loops.h"

namespace quillfen {

namespace {

constexpr int kHost = TWatermark::kHostSize;

}  // namespace

std::optional<PsnrResult> TWatermark::ApplyJpeg() {
    if (Literal) {
        // The reference path: the whole plane transformed, quantised and transformed back.
        Reals scratch(kHostPixels);
        FdctReals(X_hat_real_, scratch);
        QuantiseJpeg(scratch, QuantScale_);
        IdctToBoth(scratch, X_wave_real_, X_wave_);
    } else {
        QuantisedRoundTrip(X_hat_real_, QuantScale_, X_wave_real_, X_wave_);
    }
    const std::optional<PsnrResult> result = ComputePSNR(X_wave_real_, X_hat_);
    if (!ResultsOnly) Display256_ = X_wave_;
    return result;
}

void TWatermark::QuantiseJpeg(Reals& coefficients, double quantScale) {
    if (coefficients.size() != static_cast<std::size_t>(kHostPixels))
        throw std::invalid_argument("QuantiseJpeg: " + std::to_string(coefficients.size()) + " coefficients, expected " +
                                    std::to_string(kHostPixels));
    // Each coefficient is its own few operations, so the vector lanes give the plain bits.
    vector_loops::Quantise(coefficients.data(), kHost, kJpegQuantTable.data(), quantScale);
}

void TWatermark::ApplyBlurring() {
    // The bytes and the reals in loops of their own, which the compiler runs several pixels at
    // a time (each pixel's sum in the order written).
    for (int r = 1; r < kHost - 1; ++r) {
        const std::uint8_t* in = &X_hat_[r * kHost];
        std::uint8_t* out = &X_wave_[r * kHost];
        for (int c = 1; c < kHost - 1; ++c) {
            const std::uint8_t* p = in + c;
            const int sum = p[-kHost - 1] + 2 * p[-kHost] + p[-kHost + 1] + 2 * p[-1] + 4 * p[0] + 2 * p[1] +
                            p[kHost - 1] + 2 * p[kHost] + p[kHost + 1];
            out[c] = static_cast<std::uint8_t>(sum / 16);
        }
        const double* reals = &X_hat_real_[r * kHost];
        double* blurred = &X_wave_real_[r * kHost];
        for (int c = 1; c < kHost - 1; ++c) {
            const double* q = reals + c;
            const double real = q[-kHost - 1] + 2 * q[-kHost] + q[-kHost + 1] + 2 * q[-1] + 4 * q[0] + 2 * q[1] +
                                q[kHost - 1] + 2 * q[kHost] + q[kHost + 1];
            blurred[c] = real / 16;
        }
    }
    // The one-pixel frame is copied, not blurred.
    for (int r = 0; r < kHost; ++r)
        for (int c : {0, kHost - 1}) {
            X_wave_[r * kHost + c] = X_hat_[r * kHost + c];
            X_wave_real_[r * kHost + c] = X_hat_real_[r * kHost + c];
        }
    for (int r : {0, kHost - 1})
        for (int c = 0; c < kHost; ++c) {
            X_wave_[r * kHost + c] = X_hat_[r * kHost + c];
            X_wave_real_[r * kHost + c] = X_hat_real_[r * kHost + c];
        }
    if (!ResultsOnly) Display256_ = X_wave_;
}

// Quarter: rows 0..127 x columns 0..127. Half: rows 0..63 and 192..255, every column.
void TWatermark::CropInto(bool half, bool withImage) {
    for (int r = 0; r < kHost; ++r)
        for (int c = 0; c < kHost; ++c) {
            const int p = r * kHost + c;
            const bool inside = half ? (r < 64 || r > 191) : (r < 128 && c < 128);
            if (!inside) {
                X_wave_[p] = X_hat_[p];
                X_wave_real_[p] = X_hat_real_[p];
            } else if (withImage) {
                X_wave_[p] = X_[p];
                X_wave_real_[p] = X_[p];
            } else {
                X_wave_[p] = 0;
                X_wave_real_[p] = 0.0;
            }
        }
    if (!ResultsOnly) Display256_ = X_wave_;
}

void TWatermark::ApplyCroppingByZeroInQuarter() { CropInto(false, false); }
void TWatermark::ApplyCroppingByImgInQuarter() { CropInto(false, true); }
void TWatermark::ApplyCroppingByZeroInHalf() { CropInto(true, false); }
void TWatermark::ApplyCroppingByImgInHalf() { CropInto(true, true); }

}  // namespace quillfen
