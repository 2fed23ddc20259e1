#pragma once
// MarkKey: what a later extraction needs from one embedding, kept in a small file beside the
// marked picture (the method is not blind: P, the block orders, the scatter positions and the
// binarised mark never travel inside the picture). docs/key-format.md describes the bytes.
//
// Besides the extraction's own inputs the key keeps two relation maps for the verdict
// (marking.h): the relation between each mid-band coefficient and its diagonal partner as
// the embedding set it (polarity of Yr_hat) and as the marked region's bytes carry it. Both
// are in P's coding: 0 where |a| >= |b|, 255 where |a| < |b|.
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/watermark/watermark.h"

QUILLFEN_API_BEGIN
namespace quillfen {

inline constexpr std::uint16_t kMarkKeyVersion = 1;

// The fewest reversed and untouched relations a key must have (marking.h): below that a score
// is too noisy for the thresholds, which were set for marks of ordinary darkness. Embedding
// refuses such marks, and reading refuses such keys.
inline constexpr int kMinimumRelations = 1024;
inline constexpr std::size_t kSha256Size = 32;
using Sha256Digest = std::array<std::uint8_t, kSha256Size>;

// SHA-256 of a byte string.
Sha256Digest Sha256(std::span<const std::uint8_t> bytes);
// The digest as 64 lower-case hex digits.
std::string HexDigest(const Sha256Digest& digest);

struct MarkKey {
    // The picture the mark went into, and where: the method marks the top-left 256 x 256.
    std::int32_t HostWidth = 0;
    std::int32_t HostHeight = 0;
    std::int32_t RegionLeft = 0;
    std::int32_t RegionTop = 0;
    std::int32_t RegionSize = TWatermark::kHostSize;
    std::uint32_t Seed = 0;
    std::int32_t StrengthDivisor = TWatermark::kStrengthDivisor;
    // SHA-256 of the marked region's 65536 gray bytes, row-major: tells an untouched copy.
    Sha256Digest RegionDigest{};
    // P, both block orders, the scatter positions (the first BlackCount of RandPos are used,
    // the rest are 0) and the binarised W.
    ExtractionKey Extraction;
    std::vector<std::uint8_t> Embedded;  // 128 x 128 relations the embedding set
    std::vector<std::uint8_t> Carried;   // 128 x 128 relations the marked region's bytes carry

    // Black pixels of W: how many scatter positions are in use.
    int BlackCount() const;
    bool operator==(const MarkKey&) const = default;
};

// The key's bytes. ArgumentError for a key whose planes have the wrong size.
std::vector<std::uint8_t> EncodeMarkKey(const MarkKey& key);

// Reads a key from its bytes; `name` is used in the messages. Throws FormatError with one
// line naming the file and what is wrong: not a key (wrong magic), truncated, damaged
// (checksum, checked before any field is read), a newer format version, or fields that no
// embedding writes (sizes, block orders that are not permutations, scatter positions out of
// range or repeated, flag bits, fewer than kMinimumRelations reversed or untouched relations).
MarkKey DecodeMarkKey(std::span<const std::uint8_t> bytes, const std::string& name);

// The same through files: SaveMarkKey writes atomically (an existing key is replaced only by
// a complete new one; FileError when it cannot be written), LoadMarkKey throws FileError when
// the file cannot be read and FormatError as DecodeMarkKey.
void SaveMarkKey(const std::filesystem::path& path, const MarkKey& key);
MarkKey LoadMarkKey(const std::filesystem::path& path);

// Keys are never large; a bigger file is refused before it is read whole.
inline constexpr std::int64_t kMaxKeyFileBytes = 1 << 20;

}  // namespace quillfen
QUILLFEN_API_END
