#include "watermark/watermark.h"

#include <algorithm>
#include <chrono>

namespace quillfen {

namespace {

void LoadSquare(Bitmap& bitmap, int size, std::vector<std::uint8_t>& target) {
    bitmap.resize(size, size);  // keeps the top-left part, extends with white
    for (int i = 0; i < size; ++i) {
        const std::uint8_t* row = bitmap.row(i);
        for (int j = 0; j < size; ++j) target[static_cast<std::size_t>(i) * size + j] = row[3 * j];
    }
}

}  // namespace

// Every buffer at its full size once; the steps never allocate planes of their own (the JPEG
// attack's scratch plane aside).
TWatermark::TWatermark()
    : X(kHostPixels),
      XBlockVar(kBlocks),
      XBlockOrder(kBlocks),
      W(kMarkPixels),
      RandPos(kMarkPixels),
      WrBlockWeight(kBlocks),
      WrBlockOrder(kBlocks),
      Y(kHostPixels),
      Yr(kMarkPixels),
      P(kMarkPixels),
      P_hat(kMarkPixels),
      Yr_hat(kMarkPixels),
      Y_hat(kHostPixels),
      X_hat(kHostPixels),
      X_hat_real(kHostPixels),
      Wr(kMarkPixels),
      Wa(kMarkPixels),
      X_wave(kHostPixels),
      X_wave_real(kHostPixels),
      Y_wave(kHostPixels),
      Yr_wave(kMarkPixels),
      P_wave(kMarkPixels),
      Wa_wave(kMarkPixels),
      Wr_wave(kMarkPixels),
      W_wave(kMarkPixels),
      Display256(kHostPixels),
      Display128(kMarkPixels) {}

void TWatermark::LoadX(Bitmap& bitmap) { LoadSquare(bitmap, kHostSize, X); }

void TWatermark::LoadW(Bitmap& bitmap) { LoadSquare(bitmap, kMarkSize, W); }

Bitmap TWatermark::MakeBitmap256(const std::vector<std::uint8_t>& buffer) {
    return Bitmap::fromGray(kHostSize, kHostSize, buffer.data());
}

Bitmap TWatermark::MakeBitmap128(const std::vector<std::uint8_t>& buffer) {
    return Bitmap::fromGray(kMarkSize, kMarkSize, buffer.data());
}

void TWatermark::CountBlack(const Bytes& buffer) {
    BlackCount = static_cast<std::int32_t>(std::count(buffer.begin(), buffer.begin() + kMarkPixels, 0));
}

void TWatermark::CopyXhToXw() {
    X_wave = X_hat;
    X_wave_real = X_hat_real;
    Display256 = X_wave;
}

std::uint32_t TWatermark::ClockSeed() {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    // Milliseconds since UTC midnight equal ((h * 60 + m) * 60 + s) * 1000 + ms.
    constexpr long long kDay = 24LL * 60 * 60 * 1000;
    long long ofDay = static_cast<long long>(sinceEpoch) % kDay;
    if (ofDay < 0) ofDay += kDay;
    return static_cast<std::uint32_t>(ofDay);
}

}  // namespace quillfen
