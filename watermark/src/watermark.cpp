#include "quillfen/watermark/watermark.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

#include "quillfen/image/errors.h"

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
// attack's literal scratch plane aside). A results-only workspace leaves out the planes it never
// writes (Y_wave, the views): memory never touched costs nothing, zeroed memory costs its
// page faults.
TWatermark::TWatermark(Planes planes)
    : X_(kHostPixels),
      XBlockVar_(kBlocks),
      XBlockOrder_(kBlocks),
      W_(kMarkPixels),
      RandPos_(kMarkPixels),
      WrBlockWeight_(kBlocks),
      WrBlockOrder_(kBlocks),
      Y_(kHostPixels),
      Yr_(kMarkPixels),
      P_(kMarkPixels),
      P_hat_(kMarkPixels),
      Yr_hat_(kMarkPixels),
      Y_hat_(kHostPixels),
      X_hat_(kHostPixels),
      X_hat_real_(kHostPixels),
      Wr_(kMarkPixels),
      Wa_(kMarkPixels),
      X_wave_(kHostPixels),
      X_wave_real_(kHostPixels),
      Y_wave_(planes == Planes::All ? kHostPixels : 0),
      Yr_wave_(kMarkPixels),
      P_wave_(kMarkPixels),
      Wa_wave_(kMarkPixels),
      Wr_wave_(kMarkPixels),
      W_wave_(kMarkPixels),
      Display256_(planes == Planes::All ? kHostPixels : 0),
      Display128_(planes == Planes::All ? kMarkPixels : 0),
      ResultsOnly(planes == Planes::ResultsOnly) {}

void TWatermark::SetResultsOnly(bool on) {
    ResultsOnly = on;
    if (!on) {
        Y_wave_.resize(kHostPixels);
        Display256_.resize(kHostPixels);
        Display128_.resize(kMarkPixels);
    }
}

void TWatermark::LoadX(Bitmap& bitmap) { LoadSquare(bitmap, kHostSize, X_); }

void TWatermark::LoadW(Bitmap& bitmap) { LoadSquare(bitmap, kMarkSize, W_); }

namespace {

void CheckHostPlane(const char* name, std::size_t size) {
    if (size != static_cast<std::size_t>(TWatermark::kHostPixels))
        throw ArgumentError(std::string(name) + ": " + std::to_string(size) + " values, expected 256 x 256");
}

}  // namespace

void TWatermark::LoadMarked(std::span<const std::uint8_t> host, std::span<const std::uint8_t> marked,
                            std::span<const double> markedReal) {
    if (!host.empty()) CheckHostPlane("host", host.size());
    CheckHostPlane("watermarked picture", marked.size());
    CheckHostPlane("watermarked picture (reals)", markedReal.size());
    if (!host.empty()) X_.assign(host.begin(), host.end());
    X_hat_.assign(marked.begin(), marked.end());
    X_hat_real_.assign(markedReal.begin(), markedReal.end());
}

void TWatermark::CheckAttackedPlanes(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal) {
    CheckHostPlane("attacked picture", attacked.size());
    CheckHostPlane("attacked picture (reals)", attackedReal.size());
}

void TWatermark::SwapAttacked(Bytes& attacked, Reals& attackedReal) {
    CheckAttackedPlanes(attacked, attackedReal);
    X_wave_.swap(attacked);
    X_wave_real_.swap(attackedReal);
}

void TWatermark::LoadAttacked(std::span<const std::uint8_t> attacked, std::span<const double> attackedReal) {
    CheckAttackedPlanes(attacked, attackedReal);
    X_wave_.assign(attacked.begin(), attacked.end());
    X_wave_real_.assign(attackedReal.begin(), attackedReal.end());
}

Bitmap TWatermark::MakeBitmap256(const std::vector<std::uint8_t>& buffer) {
    return Bitmap::fromGray(kHostSize, kHostSize, buffer.data());
}

Bitmap TWatermark::MakeBitmap128(const std::vector<std::uint8_t>& buffer) {
    return Bitmap::fromGray(kMarkSize, kMarkSize, buffer.data());
}

void TWatermark::CountBlack(const Bytes& buffer) {
    BlackCount_ = static_cast<std::int32_t>(std::count(buffer.begin(), buffer.begin() + kMarkPixels, 0));
}

void TWatermark::CopyXhToXw() {
    X_wave_ = X_hat_;
    X_wave_real_ = X_hat_real_;
    if (!ResultsOnly) Display256_ = X_wave_;
}

ExtractionKey TWatermark::Key() const { return {P_, XBlockOrder_, WrBlockOrder_, RandPos_, W_}; }

void TWatermark::RestoreKey(const ExtractionKey& key) {
    const auto check = [](const char* name, std::size_t size, std::size_t expected) {
        if (size != expected)
            throw ArgumentError(std::string("extraction key: ") + name + " holds " + std::to_string(size) +
                                " values, expected " + std::to_string(expected));
    };
    check("P", key.P.size(), kMarkPixels);
    check("XBlockOrder", key.XBlockOrder.size(), kBlocks);
    check("WrBlockOrder", key.WrBlockOrder.size(), kBlocks);
    check("RandPos", key.RandPos.size(), kMarkPixels);
    check("W", key.W.size(), kMarkPixels);
    for (const double position : key.RandPos)
        if (!(std::nearbyint(position) >= 0 && std::nearbyint(position) < kMarkPixels))
            throw ArgumentError("extraction key: a scatter position lies outside the watermark");
    for (const auto* order : {&key.XBlockOrder, &key.WrBlockOrder})
        for (const std::uint16_t block : *order)
            if (block >= kBlocks) throw ArgumentError("extraction key: a block order names a block beyond 1023");
    P_ = key.P;
    XBlockOrder_ = key.XBlockOrder;
    WrBlockOrder_ = key.WrBlockOrder;
    RandPos_ = key.RandPos;
    W_ = key.W;
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
