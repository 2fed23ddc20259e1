// Fuzz entry point: key files. Every input is either refused with one FormatError or gives a
// key that encodes back to exactly the same bytes and that extraction can use.
#include <cstdint>
#include <span>

#include "image/errors.h"
#include "watermark/marking.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quillfen::MarkKey key;
    try {
        key = quillfen::DecodeMarkKey(std::span<const std::uint8_t>(data, size), "fuzz.key");
    } catch (const quillfen::FormatError&) {
        return 0;  // a one-line refusal is the expected outcome for most inputs
    }
    const std::vector<std::uint8_t> again = quillfen::EncodeMarkKey(key);
    if (again.size() != size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
    try {
        static const quillfen::GrayPlane suspect(256, 256, 128);
        (void)quillfen::ReadMark(suspect, key);
    } catch (const quillfen::ArgumentError&) {
        // A key whose relation maps hold no reversed (or no untouched) relation has no score.
    }
    return 0;
}
