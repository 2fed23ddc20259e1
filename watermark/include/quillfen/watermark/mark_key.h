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
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/watermark/extraction_key.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Version 1: the extraction's inputs and the two relation maps. Version 2 adds sections after
// them (docs/key-format.md), of which it knows one: the key's own calibration. A key without
// sections is written as version 1, byte for byte what earlier versions wrote.
inline constexpr std::uint16_t kMarkKeyVersion = 2;

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

// The kinds of processing of the key's own host, unmarked, that its calibration measures
// (benchmark/key_calibration.h says what each applies). The numbers are the file's.
enum class KeyTrialKind : std::uint8_t {
    Noise = 1,       // Gaussian noise of one standard deviation (the component's level)
    Jpeg = 2,        // JPEG at qualities 60..100
    NoiseJpeg = 3,   // light noise, then JPEG
    Filter = 4,      // small blurs and sharpening
    Tone = 5,        // gamma, contrast and brightness
    Rescale = 6,     // resized by a few per cent and back
    Shift = 7,       // moved by a pixel
    Resave = 8,      // saved again without loss (the picture itself)
};
inline constexpr int kKeyTrialKinds = 8;
// "noise", "jpeg", "noise+jpeg", "filter", "tone", "rescale", "shift", "resave"; null for a
// number that is none of them.
const char* KeyTrialKindName(KeyTrialKind kind);

// One kind (and, for noise, one level) of the key's null trials: their count and statistics.
struct KeyNullComponent {
    KeyTrialKind Kind = KeyTrialKind::Noise;
    std::uint16_t Level = 0;  // noise: the standard deviation in hundredths of a gray level; else 0
    std::uint32_t Trials = 0;
    double Mean = 0;
    double SampleStdDev = 0;    // of its trials (divisor trials - 1; 0 for one trial)
    double BinomialStdDev = 0;  // what independent relations alone would give (detection_thresholds.h)
    double Largest = 0;         // the highest score of its trials
    bool operator==(const KeyNullComponent&) const = default;
};

// The key's own calibration: the score of its host, unmarked, after light and heavy processing,
// one normal model per component, and the thresholds that every component's model meets
// (FitKeyCalibration, detection_thresholds.h). The verdict judges with the larger of these and
// the global calibration's.
struct KeyCalibration {
    std::vector<KeyNullComponent> Components;
    double Threshold1e3 = 0;
    double Threshold1e6 = 0;
    // All the trials: the sum of the components'.
    std::uint64_t Trials() const;
    bool operator==(const KeyCalibration&) const = default;
};

// The most trials a key's calibration may hold, and the most components.
inline constexpr std::uint32_t kMaxKeyTrials = 1000000;
inline constexpr std::size_t kMaxKeyComponents = 64;

struct MarkKey {
    // The picture the mark went into, and where: the method marks the top-left 256 x 256.
    std::int32_t HostWidth = 0;
    std::int32_t HostHeight = 0;
    std::int32_t RegionLeft = 0;
    std::int32_t RegionTop = 0;
    std::int32_t RegionSize = kMarkRegionSide;
    std::uint32_t Seed = 0;
    std::int32_t StrengthDivisor = kMarkStrengthDivisor;
    // SHA-256 of the marked region's 65536 gray bytes, row-major: tells an untouched copy.
    Sha256Digest RegionDigest{};
    // P, both block orders, the scatter positions (the first BlackCount of RandPos are used,
    // the rest are 0) and the binarised W.
    ExtractionKey Extraction;
    std::vector<std::uint8_t> Embedded;  // 128 x 128 relations the embedding set
    std::vector<std::uint8_t> Carried;   // 128 x 128 relations the marked region's bytes carry
    // Its own calibration (key format 2), or none: a key written before keys carried one, or
    // made without (the global thresholds then judge alone).
    std::optional<KeyCalibration> Calibration;

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
// range or repeated, flag bits, fewer than kMinimumRelations reversed or untouched relations,
// an unknown or repeated section, a calibration whose values are out of range or whose
// thresholds are not what its own components give).
MarkKey DecodeMarkKey(std::span<const std::uint8_t> bytes, const std::string& name);

// The same through files: SaveMarkKey writes atomically (an existing key is replaced only by
// a complete new one; FileError when it cannot be written), LoadMarkKey throws FileError when
// the file cannot be read and FormatError as DecodeMarkKey.
void SaveMarkKey(const std::filesystem::path& path, const MarkKey& key);
MarkKey LoadMarkKey(const std::filesystem::path& path);

// Keys are never large; a bigger file is refused before it is read whole.
inline constexpr std::int64_t kMaxKeyFileBytes = 1 << 20;

// The bytes of a key file of any format, refused (FileError, FormatError) as LoadMarkKey refuses
// a file that cannot be read or is larger than kMaxKeyFileBytes.
std::vector<std::uint8_t> ReadKeyFile(const std::filesystem::path& path);

}  // namespace quillfen
QUILLFEN_API_END
