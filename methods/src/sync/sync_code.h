#pragma once
// The error-correcting code of the payload: 64 bits through the rate-1/3 convolutional code of
// constraint length 7 with the generators 133, 171 and 165 (octal), six zero tail bits closing
// the trellis: 210 coded bits, each carried by its own pattern in the tile. Decoding is the
// max-log BCJR algorithm on the correlations, so that every payload bit comes with a soft value
// and the hard bits are those of the most likely path (the Viterbi path).
#include <array>
#include <cstdint>

namespace quillfen::sync {

inline constexpr int kPayloadBits = 64;
inline constexpr int kTailBits = 6;
inline constexpr int kCodeRate = 3;
inline constexpr int kCodedBits = kCodeRate * (kPayloadBits + kTailBits);  // 210

using PayloadBits = std::array<std::uint8_t, kPayloadBits>;
// A coded bit as the sign it adds its pattern with: +1 for a 0, -1 for a 1.
using CodedSigns = std::array<std::int8_t, kCodedBits>;

CodedSigns Encode(const PayloadBits& payload);

struct DecodedPayload {
    PayloadBits Bits{};
    // Per bit, the best path's correlation with the bit 0 less the best with the bit 1:
    // positive where the bit reads 0, its size how far the next best reading lies.
    std::array<double, kPayloadBits> Soft{};
    CodedSigns Codeword{};  // the decoded bits encoded again
    double Correlation = 0;  // sum over coded bits of Codeword[c] * z[c]
};

// z: the 210 correlations of the coded bits' patterns, positive for a 0.
DecodedPayload Decode(const double* z);

}  // namespace quillfen::sync
