#pragma once
// What an extraction of the polarity method needs from its embedding, apart from the suspect:
// a key file holds it (mark_key.h), and the workspace (watermark.h) fills and reads it. Kept
// apart from the workspace so that a key can be held without the workspace's buffers, which
// are the engine's own.
#include <cstdint>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Everything the extraction reads from the embedding besides the attacked image: the
// polarity map P, the two block orders, the scatter positions and the binarised watermark W.
struct ExtractionKey {
    std::vector<std::uint8_t> P;
    std::vector<std::uint16_t> XBlockOrder;
    std::vector<std::uint16_t> WrBlockOrder;
    std::vector<double> RandPos;
    std::vector<std::uint8_t> W;

    bool operator==(const ExtractionKey&) const = default;
};

// The region the polarity method marks (the host's top-left square) and the divisor of its
// strength: the workspace's geometry, which a key records.
inline constexpr int kMarkRegionSide = 256;
inline constexpr int kMarkStrengthDivisor = 10000;
// The largest divisor a key holds.
inline constexpr int kMostStrengthDivisor = 1000000;

}  // namespace quillfen
QUILLFEN_API_END
