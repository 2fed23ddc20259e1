// Fuzz entry point: key files of every kind, read through the methods' registry. Every input is
// either refused with one FormatError (or, for a method this program does not have, one
// ArgumentError) or gives a key that encodes back to exactly the same bytes and that its method
// can read a picture with.
//
// Random bytes almost never carry a right SHA-256, so each input is also tried with its last
// 32 bytes replaced by the checksum of the rest: that is how the checks behind the checksum
// (sizes, block orders, scatter positions, flags) meet inputs the fuzzer shapes.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/image/vector_targets.h"
#include "quillfen/methods/method.h"

namespace {

void Check(std::span<const std::uint8_t> bytes) {
    const quillfen::MethodRegistry& registry = quillfen::MethodRegistry::BuiltIn();
    quillfen::MethodKey key;
    try {
        key = registry.ReadKey(bytes, "fuzz.key");
    } catch (const quillfen::FormatError&) {
        return;  // a one-line refusal is the expected outcome for most inputs
    } catch (const quillfen::ArgumentError&) {
        return;  // the key of a method this program does not have
    }
    // A key that reads encodes back to exactly its bytes, through the method that wrote it.
    const std::vector<std::uint8_t> again = registry.KeyBytes(key);
    if (again.size() != bytes.size() || !std::equal(again.begin(), again.end(), bytes.begin())) __builtin_trap();
    // And it reads a picture: the polarity method's keys hold enough reversed and untouched
    // relations for a score, so reading with any key that reads never fails.
    static const quillfen::GrayPlane suspect(256, 256, 128);
    (void)quillfen::MakeMethod(registry.SpecOf(key))->Detect(quillfen::ImageView(suspect), key);
}

}  // namespace

// QF_HWY_TARGET runs the extraction's vector loops on a lesser instruction set, so that the
// key reader is fuzzed on the code paths of machines without AVX-512 too.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quillfen::vector_targets::UseTargetFromEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    Check(bytes);
    if (size >= quillfen::kSha256Size) {
        std::vector<std::uint8_t> sealed(data, data + size);
        const std::size_t body = size - quillfen::kSha256Size;
        const quillfen::Sha256Digest check = quillfen::Sha256(std::span<const std::uint8_t>(sealed.data(), body));
        std::copy(check.begin(), check.end(), sealed.begin() + static_cast<std::ptrdiff_t>(body));
        Check(sealed);
    }
    return 0;
}
