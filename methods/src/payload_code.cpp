#include "payload_code.h"

#include <array>
#include <memory>
#include <string>

#include "bch.h"
#include "quillfen/image/errors.h"

namespace quillfen::detail {

namespace {

constexpr unsigned kFieldPolynomial = 0x43;  // x^6 + x + 1
constexpr int kLength = 63;

// The fifteen codes, made once.
const Bch& CodeOf(int t) {
    static const std::array<std::unique_ptr<Bch>, kMostCorrected> codes = [] {
        std::array<std::unique_ptr<Bch>, kMostCorrected> made;
        for (int c = 1; c <= kMostCorrected; ++c) made[static_cast<std::size_t>(c - 1)] = std::make_unique<Bch>(6, kFieldPolynomial, c);
        return made;
    }();
    if (t < 1 || t > kMostCorrected)
        throw ArgumentError("ecc=" + std::to_string(t) + ": a code corrects 1.." + std::to_string(kMostCorrected) + " errors");
    return *codes[static_cast<std::size_t>(t - 1)];
}

}  // namespace

Parameter EccParameter() {
    return {"ecc", 0, kMostCorrected, true, false, 0,
            "error-correcting code of the payload: 0 none; t = 1..15 an extended BCH code of the 64 carried bits that "
            "corrects t of them and detects t + 1 (the payload is then its message: 57, 51, 45, 39, 36, 30, 24, 18, 18, "
            "18, 16, 10, 10, 7, 7 bits for t = 1..15; needs bits=64)"};
}

int EccOf(const MethodSpec& described) {
    for (std::size_t p = 0; p < described.Info->Parameters.size(); ++p)
        if (std::string_view(described.Info->Parameters[p].Name) == "ecc") return static_cast<int>(described.Values[p]);
    return 0;
}

int MessageBitsOf(int t) { return CodeOf(t).MessageBits(); }

std::vector<std::uint8_t> EncodePayload(int t, std::span<const std::uint8_t> message) {
    const Bch& code = CodeOf(t);
    const int k = code.MessageBits();
    if (message.size() != static_cast<std::size_t>(k))
        throw ArgumentError("ecc=" + std::to_string(t) + " carries a message of " + std::to_string(k) + " bits, not " +
                            std::to_string(message.size()));
    const std::vector<std::uint8_t> word = code.Encode(message);
    // The message first: carried bit j is the codeword's coefficient (j + n - k) mod n.
    std::vector<std::uint8_t> carried(kCarriedBits);
    std::uint8_t parity = 0;
    for (int j = 0; j < kLength; ++j) {
        carried[static_cast<std::size_t>(j)] = word[static_cast<std::size_t>((j + kLength - k) % kLength)];
        parity ^= carried[static_cast<std::size_t>(j)];
    }
    carried[kLength] = parity;
    return carried;
}

DecodedPayload DecodePayload(int t, std::span<const std::uint8_t> carried) {
    const Bch& code = CodeOf(t);
    const int k = code.MessageBits();
    if (carried.size() != static_cast<std::size_t>(kCarriedBits))
        throw ArgumentError("a coded payload is carried in 64 bits, not " + std::to_string(carried.size()));
    std::vector<std::uint8_t> word(kLength);
    for (int j = 0; j < kLength; ++j) word[static_cast<std::size_t>((j + kLength - k) % kLength)] = carried[static_cast<std::size_t>(j)] & 1u;
    const Bch::Decoded decoded = code.Decode(word);
    DecodedPayload out;
    for (int i = 0; i < k; ++i) out.Message.push_back(decoded.Codeword[static_cast<std::size_t>(kLength - k + i)]);
    if (!decoded.Corrected) return out;
    // The parity bit: wrong after the correction means one more error, in the parity bit itself
    // (fine while the total stays within t) or beyond what the code corrects.
    std::uint8_t parity = carried[kLength] & 1u;
    for (const std::uint8_t b : decoded.Codeword) parity ^= b;
    const int errors = *decoded.Corrected + parity;
    if (errors > t) {
        for (int i = 0; i < k; ++i) out.Message[static_cast<std::size_t>(i)] = carried[static_cast<std::size_t>(i)] & 1u;
        return out;
    }
    out.Corrected = errors;
    return out;
}

std::vector<std::uint8_t> CarriedPayload(int t, std::span<const std::uint8_t> payload) {
    if (t == 0) return {payload.begin(), payload.end()};
    return EncodePayload(t, payload);
}

void ReadCarried(int t, MethodReading& reading, std::span<const std::uint8_t> payload) {
    reading.BitAccuracy = BitAccuracy(reading.Bits, CarriedPayload(t, payload));
    reading.Ber = 1.0 - *reading.BitAccuracy;
    if (t == 0) return;
    DecodedPayload decoded = DecodePayload(t, reading.Bits);
    reading.Message = std::move(decoded.Message);
    reading.Corrected = decoded.Corrected;
}

}  // namespace quillfen::detail
