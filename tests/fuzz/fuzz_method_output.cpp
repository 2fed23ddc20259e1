// Fuzz entry point: what a method run as a program prints as its detection. The first byte
// chooses the key's payload (0..64 bits, drawn from a seed), the rest is the output. Every
// input is either refused with one Error or read as a score in -1..1 with as many bits as the
// payload, their accuracy counted right.
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/methods/method.h"
#include "quillfen/methods/method_command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int bits = data[0] % (quillfen::kMaxPayloadBits + 1);
    const std::vector<std::uint8_t> payload = quillfen::PayloadFromSeed(data[0], bits);
    const std::string_view output(reinterpret_cast<const char*>(data + 1), size - 1);
    quillfen::MethodReading reading;
    try {
        reading = quillfen::ReadDetectionOutput(output, payload);
    } catch (const quillfen::Error&) {
        return 0;
    }
    if (!(reading.Score >= -1 && reading.Score <= 1)) __builtin_trap();
    if (reading.Bits.size() != payload.size()) __builtin_trap();
    if (bits == 0) {
        if (reading.BitAccuracy || reading.Ber) __builtin_trap();
        return 0;
    }
    std::size_t right = 0;
    for (std::size_t b = 0; b < payload.size(); ++b) {
        if (reading.Bits[b] > 1) __builtin_trap();
        right += reading.Bits[b] == payload[b] ? 1 : 0;
    }
    if (!reading.BitAccuracy || *reading.BitAccuracy != static_cast<double>(right) / static_cast<double>(bits) ||
        !reading.Ber || *reading.Ber != 1 - *reading.BitAccuracy)
        __builtin_trap();
    return 0;
}
