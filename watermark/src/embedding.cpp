// The embedding chain: Y = FDCT(X), Yr = Reduce(Y), P = Polarity(Yr), P_hat = P XOR Wa,
// Yr_hat = Expand(Yr, P_hat), Y_hat = MapBack(Y, Yr_hat), X_hat = IDCT(Y_hat).
#include <cmath>

#include "quillfen/image/errors.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen {

namespace {

constexpr int kHost = TWatermark::kHostSize;
constexpr int kMark = TWatermark::kMarkSize;

}  // namespace

void TWatermark::GetY() { FdctBytes(X_, Y_); }

void TWatermark::GetYr() {
    Reduce(Y_, Yr_);
    if (!ResultsOnly) StretchBlock(Yr_, kMark, 4, Display128_);
}

void TWatermark::GetP() {
    Polarity(Yr_, P_);
    if (!ResultsOnly) Display128_ = P_;
}

void TWatermark::GetP_hat() {
    for (int i = 0; i < kMarkPixels; ++i) P_hat_[i] = P_[i] == Wa_[i] ? 0 : 255;
    if (!ResultsOnly) Display128_ = P_hat_;
}

void TWatermark::GetYr_hat(int divisor) {
    Expand(Yr_, P_hat_, divisor, Yr_hat_);
    if (!ResultsOnly) StretchBlock(Yr_hat_, kMark, 4, Display128_);
}

void TWatermark::GetY_hat() {
    MapBack(Y_, Yr_hat_, Y_hat_);
    if (!ResultsOnly) StretchBlock(Y_hat_, kHost, 8, Display256_);
}

void TWatermark::GetX_hat() {
    IdctToBoth(Y_hat_, X_hat_real_, X_hat_);
    if (!ResultsOnly) Display256_ = X_hat_;
}

void TWatermark::Reduce(const Reals& coefficients, Reals& reduced) {
    for (int bi = 0; bi < 32; ++bi)
        for (int bj = 0; bj < 32; ++bj)
            for (int m = 0; m < 16; ++m) {
                const int u = kMidBand[m] / 8;
                const int v = kMidBand[m] % 8;
                reduced[(4 * bi + m / 4) * kMark + 4 * bj + m % 4] = coefficients[(8 * bi + u) * kHost + 8 * bj + v];
            }
}

void TWatermark::Polarity(const Reals& reduced, Bytes& map) {
    // Row by row, the partners' row read in two straight runs (the columns from 4 on, then
    // the four that wrap), so that the compiler compares several at a time.
    for (int i = 0; i < kMark; ++i) {
        const double* row = reduced.data() + i * kMark;
        const double* partners = reduced.data() + DiagonalPartner(i, 0);
        std::uint8_t* out = map.data() + i * kMark;
        for (int j = 0; j < kMark - 4; ++j) out[j] = std::fabs(row[j]) >= std::fabs(partners[j]) ? 0 : 255;
        for (int j = kMark - 4; j < kMark; ++j)
            out[j] = std::fabs(row[j]) >= std::fabs(partners[j - kMark]) ? 0 : 255;
    }
}

void TWatermark::Expand(const Reals& reduced, const Bytes& map, int divisor, Reals& adjusted) {
    // A zero divisor would turn every step into an infinity or a NaN and the watermarked
    // image into noise; refuse it before anything is written.
    if (divisor == 0) throw MathError(kFloatingPointDivisionByZero);
    for (int i = 0; i < kMark; ++i)
        for (int j = 0; j < kMark; ++j) {
            const double g = reduced[i * kMark + j];
            const double q = reduced[DiagonalPartner(i, j)];
            const double s = std::fabs(g - q) / divisor;
            double output = g;
            if (map[i * kMark + j] == 255) {
                if (std::fabs(g) > std::fabs(q) && g >= 0) output = std::fabs(q) - s;
            } else {
                if (std::fabs(g) <= std::fabs(q) && g >= 0) output = std::fabs(q) + s;
            }
            adjusted[i * kMark + j] = output;
        }
}

void TWatermark::MapBack(const Reals& coefficients, const Reals& reduced, Reals& mapped) {
    if (&mapped != &coefficients) mapped = coefficients;
    for (int bi = 0; bi < 32; ++bi)
        for (int bj = 0; bj < 32; ++bj)
            for (int m = 0; m < 16; ++m) {
                const int u = kMidBand[m] / 8;
                const int v = kMidBand[m] % 8;
                mapped[(8 * bi + u) * kHost + 8 * bj + v] = reduced[(4 * bi + m / 4) * kMark + 4 * bj + m % 4];
            }
}

}  // namespace quillfen
