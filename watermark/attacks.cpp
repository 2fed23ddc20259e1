// Attack simulation: each attack makes X_wave (bytes) from X_hat and X_wave_real from
// X_hat_real by the same rule, separately, and leaves X_wave in Display256.
#include <stdexcept>
#include <string>

#include "watermark/vector_loops.h"
#include "watermark/watermark.h"

namespace quillfen {

namespace {

constexpr int kHost = TWatermark::kHostSize;

}  // namespace

std::optional<PsnrResult> TWatermark::ApplyJpeg(UserPrompts& prompts) {
    Reals scratch(kHostPixels);
    FdctReals(X_hat_real, scratch);
    QuantiseJpeg(scratch, QuantScale);
    IdctToBoth(scratch, X_wave_real, X_wave);
    const std::optional<PsnrResult> result = ComputePSNR(X_wave_real, X_hat, prompts);
    Display256 = X_wave;
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
    for (int r = 1; r < kHost - 1; ++r)
        for (int c = 1; c < kHost - 1; ++c) {
            const std::uint8_t* p = &X_hat[r * kHost + c];
            const int sum = p[-kHost - 1] + 2 * p[-kHost] + p[-kHost + 1] + 2 * p[-1] + 4 * p[0] + 2 * p[1] +
                            p[kHost - 1] + 2 * p[kHost] + p[kHost + 1];
            X_wave[r * kHost + c] = static_cast<std::uint8_t>(sum / 16);
            const double* q = &X_hat_real[r * kHost + c];
            const double real = q[-kHost - 1] + 2 * q[-kHost] + q[-kHost + 1] + 2 * q[-1] + 4 * q[0] + 2 * q[1] +
                                q[kHost - 1] + 2 * q[kHost] + q[kHost + 1];
            X_wave_real[r * kHost + c] = real / 16;
        }
    // The one-pixel frame is copied, not blurred.
    for (int r = 0; r < kHost; ++r)
        for (int c : {0, kHost - 1}) {
            X_wave[r * kHost + c] = X_hat[r * kHost + c];
            X_wave_real[r * kHost + c] = X_hat_real[r * kHost + c];
        }
    for (int r : {0, kHost - 1})
        for (int c = 0; c < kHost; ++c) {
            X_wave[r * kHost + c] = X_hat[r * kHost + c];
            X_wave_real[r * kHost + c] = X_hat_real[r * kHost + c];
        }
    Display256 = X_wave;
}

// Quarter: rows 0..127 x columns 0..127. Half: rows 0..63 and 192..255, every column.
void TWatermark::CropInto(bool half, bool withImage) {
    for (int r = 0; r < kHost; ++r)
        for (int c = 0; c < kHost; ++c) {
            const int p = r * kHost + c;
            const bool inside = half ? (r < 64 || r > 191) : (r < 128 && c < 128);
            if (!inside) {
                X_wave[p] = X_hat[p];
                X_wave_real[p] = X_hat_real[p];
            } else if (withImage) {
                X_wave[p] = X[p];
                X_wave_real[p] = X[p];
            } else {
                X_wave[p] = 0;
                X_wave_real[p] = 0.0;
            }
        }
    Display256 = X_wave;
}

void TWatermark::ApplyCroppingByZeroInQuarter() { CropInto(false, false); }
void TWatermark::ApplyCroppingByImgInQuarter() { CropInto(false, true); }
void TWatermark::ApplyCroppingByZeroInHalf() { CropInto(true, false); }
void TWatermark::ApplyCroppingByImgInHalf() { CropInto(true, true); }

}  // namespace quillfen
