// Extraction: W_wave from the attacked image, undoing the embedding step by step with what
// the embedding left in this workspace (P, the block orders, RandPos and the binarised W).
#include <cmath>

#include "quillfen/watermark/watermark.h"

namespace quillfen {

namespace {

constexpr int kMark = TWatermark::kMarkSize;

}  // namespace

void TWatermark::GetY_wave() {
    // Results only: Yr_wave is all the extraction reads of Y_wave.
    if (ResultsOnly)
        FdctMidBand(X_wave_real_, Yr_wave_);
    else
        FdctReals(X_wave_real_, Y_wave_);
}

void TWatermark::GetYr_wave() {
    if (ResultsOnly) return;  // GetY_wave made it
    Reduce(Y_wave_, Yr_wave_);
    StretchBlock(Yr_wave_, kMark, 4, Display128_);
}

// The polarity comparison with the two codes exchanged (255 where |a| >= |b|), so that where
// the embedded relation survived P_wave is the complement of P_hat.
void TWatermark::GetP_wave() {
    for (int r = 0; r < kMark; ++r)
        for (int c = 0; c < kMark; ++c) {
            const double a = Yr_wave_[r * kMark + c];
            const double b = Yr_wave_[DiagonalPartner(r, c)];
            P_wave_[r * kMark + c] = std::fabs(a) >= std::fabs(b) ? 255 : 0;
        }
    if (!ResultsOnly) Display128_ = P_wave_;
}

// Rows 0..3 and columns 0..3 are computed by the same rule as the rest, so that every pixel
// that may reach W_wave carries what the attacked image says.
void TWatermark::GetWa_wave() {
    for (int i = 0; i < kMarkPixels; ++i) Wa_wave_[i] = P_[i] == P_wave_[i] ? 255 : 0;
    if (!ResultsOnly) Display128_ = Wa_wave_;
}

// The adaptive ordering undone: each block goes back from its host position to its own.
void TWatermark::GetWr_wave() {
    MoveMarkBlocks(Wa_wave_, XBlockOrder_, Wr_wave_, WrBlockOrder_);
    if (!ResultsOnly) Display128_ = Wr_wave_;
}

void TWatermark::GetW_wave() {
    std::fill(W_wave_.begin(), W_wave_.end(), std::uint8_t{255});
    int k = 0;
    for (int j = 0; j < kMarkPixels; ++j) {
        if (W_[j] == 0) {
            const auto n = static_cast<std::size_t>(std::nearbyint(RandPos_[k]));
            W_wave_[j] = Wr_wave_[n];
            ++k;
        }
    }
    if (!ResultsOnly) Display128_ = W_wave_;
}

}  // namespace quillfen
