#pragma once
// Write access to a workspace's buffers for the engine's unit tests, which set up the inputs
// of a single step by hand. Buffers(w).X_hat[p] = 3; reads can go through w.X_hat() too.
#include "quillfen/watermark/watermark.h"

namespace quillfen {

struct WorkspaceBuffers {
    explicit WorkspaceBuffers(TWatermark& w)
        : X(w.X_), XBlockVar(w.XBlockVar_), XBlockOrder(w.XBlockOrder_), W(w.W_), RandPos(w.RandPos_),
          WrBlockWeight(w.WrBlockWeight_), WrBlockOrder(w.WrBlockOrder_), Y(w.Y_), Yr(w.Yr_), P(w.P_),
          P_hat(w.P_hat_), Yr_hat(w.Yr_hat_), Y_hat(w.Y_hat_), X_hat(w.X_hat_), X_hat_real(w.X_hat_real_),
          Wr(w.Wr_), Wa(w.Wa_), X_wave(w.X_wave_), X_wave_real(w.X_wave_real_), Y_wave(w.Y_wave_),
          Yr_wave(w.Yr_wave_), P_wave(w.P_wave_), Wa_wave(w.Wa_wave_), Wr_wave(w.Wr_wave_), W_wave(w.W_wave_),
          Display256(w.Display256_), Display128(w.Display128_), BlackCount(w.BlackCount_) {}

    TWatermark::Bytes& X;
    TWatermark::Reals& XBlockVar;
    TWatermark::Orders& XBlockOrder;
    TWatermark::Bytes& W;
    TWatermark::Reals& RandPos;
    TWatermark::Reals& WrBlockWeight;
    TWatermark::Orders& WrBlockOrder;
    TWatermark::Reals& Y;
    TWatermark::Reals& Yr;
    TWatermark::Bytes& P;
    TWatermark::Bytes& P_hat;
    TWatermark::Reals& Yr_hat;
    TWatermark::Reals& Y_hat;
    TWatermark::Bytes& X_hat;
    TWatermark::Reals& X_hat_real;
    TWatermark::Bytes& Wr;
    TWatermark::Bytes& Wa;
    TWatermark::Bytes& X_wave;
    TWatermark::Reals& X_wave_real;
    TWatermark::Reals& Y_wave;
    TWatermark::Reals& Yr_wave;
    TWatermark::Bytes& P_wave;
    TWatermark::Bytes& Wa_wave;
    TWatermark::Bytes& Wr_wave;
    TWatermark::Bytes& W_wave;
    TWatermark::Bytes& Display256;
    TWatermark::Bytes& Display128;
    std::int32_t& BlackCount;
};

inline WorkspaceBuffers Buffers(TWatermark& w) { return WorkspaceBuffers(w); }

}  // namespace quillfen
