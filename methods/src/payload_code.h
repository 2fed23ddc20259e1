#pragma once
// The payload methods' error-correcting code (their `ecc` parameter). With ecc = t > 0 the 64
// carried bits are one word of the extended BCH code of length 64: a codeword of the
// narrow-sense primitive BCH code of length 63 that corrects t errors (GF(2^6), alpha a root of
// x^6 + x + 1), its k message bits first and its 63 - k parity bits next, and last the parity
// of those 63 bits. The word is decoded to the nearest codeword within t errors; the extra
// parity bit makes the minimum distance at least 2t + 2, so that t + 1 errors are always
// detected (refused) rather than corrected into another message. The payload a user gives and
// a key holds is then the k message bits.
//
// Both the code of length 63 and the all-ones word are codewords, so the complement of a coded
// word decodes to the complement of its message with as many corrections: a mark read inverted
// is turned back after decoding as before it.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "quillfen/image/parameters.h"
#include "quillfen/methods/method.h"

namespace quillfen::detail {

constexpr int kCarriedBits = 64;     // the bits a coded payload is carried in
constexpr int kMostCorrected = 15;  // the largest t of a BCH code of length 63 (k = 7)

// The `ecc` parameter as the payload methods describe it.
Parameter EccParameter();
// A method's t (0: no code, also for a method without the parameter).
int EccOf(const MethodSpec& described);
// The message bits of the code correcting t errors (1 <= t <= 15): 57, 51, 45, 39, 36, 30, ...
int MessageBitsOf(int t);

// The 64 carried bits of a k-bit message (t >= 1).
std::vector<std::uint8_t> EncodePayload(int t, std::span<const std::uint8_t> message);
struct DecodedPayload {
    std::vector<std::uint8_t> Message;  // decoded; the message's bits as read when not decodable
    std::optional<int> Corrected;       // carried bits corrected; none: more than t wrong, detected
};
DecodedPayload DecodePayload(int t, std::span<const std::uint8_t> carried);

// The key's payload as the method carries it: its message encoded under a code, else itself.
std::vector<std::uint8_t> CarriedPayload(int t, std::span<const std::uint8_t> payload);
// What a reading of the carried Bits says of the key's payload: the bit accuracy (and BER) of
// the carried bits against what the key's payload puts there, and under a code the message
// decoded and the bits corrected.
void ReadCarried(int t, MethodReading& reading, std::span<const std::uint8_t> payload);

}  // namespace quillfen::detail
