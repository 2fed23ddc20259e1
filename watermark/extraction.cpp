// Extraction: W_wave from the attacked image, undoing the embedding step by step with what
// the embedding left in this workspace (P, the block orders, RandPos and the binarised W).
#include <cmath>

#include "watermark/watermark.h"

namespace quillfen {

namespace {

constexpr int kMark = TWatermark::kMarkSize;

int MarkBlockStart(int block) { return 4 * (block / 32) * kMark + 4 * (block % 32); }

}  // namespace

void TWatermark::GetY_wave() { FdctReals(X_wave_real, Y_wave); }

void TWatermark::GetYr_wave() {
    Reduce(Y_wave, Yr_wave);
    StretchBlock(Yr_wave, kMark, 4, Display128);
}

// The polarity comparison with the two codes exchanged (255 where |a| >= |b|), so that where
// the embedded relation survived P_wave is the complement of P_hat.
void TWatermark::GetP_wave() {
    for (int r = 0; r < kMark; ++r)
        for (int c = 0; c < kMark; ++c) {
            const double a = Yr_wave[r * kMark + c];
            const double b = Yr_wave[((r + 4) % kMark) * kMark + (c + 4) % kMark];
            P_wave[r * kMark + c] = std::fabs(a) >= std::fabs(b) ? 255 : 0;
        }
    Display128 = P_wave;
}

// Rows 0..3 and columns 0..3 are computed by the same rule as the rest, so that every pixel
// that may reach W_wave carries what the attacked image says.
void TWatermark::GetWa_wave() {
    for (int i = 0; i < kMarkPixels; ++i) Wa_wave[i] = P[i] == P_wave[i] ? 255 : 0;
    Display128 = Wa_wave;
}

void TWatermark::GetWr_wave() {
    for (int i = 0; i < kBlocks; ++i) {
        const int from = MarkBlockStart(XBlockOrder[i]);
        const int to = MarkBlockStart(WrBlockOrder[i]);
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) Wr_wave[to + a * kMark + b] = Wa_wave[from + a * kMark + b];
    }
    Display128 = Wr_wave;
}

void TWatermark::GetW_wave() {
    std::fill(W_wave.begin(), W_wave.end(), std::uint8_t{255});
    int k = 0;
    for (int j = 0; j < kMarkPixels; ++j) {
        if (W[j] == 0) {
            const auto n = static_cast<std::size_t>(std::nearbyint(RandPos[k]));
            W_wave[j] = Wr_wave[n];
            ++k;
        }
    }
    Display128 = W_wave;
}

}  // namespace quillfen
