#pragma once
// Keys for the key reader's tests and fuzz seeds: a real key of a small synthetic embedding,
// and damaged or foreign variants of its bytes.
#include <cstdint>
#include <vector>

#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/mark_key.h"
#include "quillfen/watermark/marking.h"

namespace quillfen::test {

using KeyBytes = std::vector<std::uint8_t>;

// Byte offsets of the key's header fields (docs/key-format.md).
inline constexpr std::size_t kKeyVersionAt = 8;
inline constexpr std::size_t kKeyFlagsAt = 10;
inline constexpr std::size_t kKeyWidthAt = 12;
inline constexpr std::size_t kKeyRegionSizeAt = 28;
inline constexpr std::size_t kKeyDivisorAt = 40;
inline constexpr std::size_t kKeyBlackAt = 44;
inline constexpr std::size_t kKeyPlanesAt = 80;
inline constexpr std::size_t kKeyOrdersAt = kKeyPlanesAt + 4 * 2048;
inline constexpr std::size_t kKeyPositionsAt = kKeyOrdersAt + 2 * 2048;

// The key of a textured 256 x 256 host marked with a 128 x 128 mark holding a black square of
// `side` pixels (at (20, 20)), seed 11, for a host picture of width x height.
inline MarkKey SyntheticKey(int side = 24, int width = 300, int height = 280) {
    Bitmap host(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            host.setGray(x, y, static_cast<std::uint8_t>((x * 7 + y * 13 + (x * y) % 31) & 255));
    Bitmap mark(128, 128, 255);
    for (int y = 20; y < 20 + side; ++y)
        for (int x = 20; x < 20 + side; ++x) mark.setGray(x, y, 0);
    Experiment experiment;
    experiment.Load(host, mark);
    experiment.SetFixedSeed(11);
    experiment.Embed();
    return KeyFromExperiment(experiment, width, height);
}

inline void PutU32(KeyBytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The bytes with their trailing checksum made right again: a file some other writer made.
inline KeyBytes Resealed(KeyBytes bytes) {
    const std::size_t body = bytes.size() - kSha256Size;
    const Sha256Digest check = Sha256(std::span<const std::uint8_t>(bytes.data(), body));
    std::copy(check.begin(), check.end(), bytes.begin() + static_cast<std::ptrdiff_t>(body));
    return bytes;
}

}  // namespace quillfen::test
