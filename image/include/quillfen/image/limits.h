#pragma once
// Size limits shared by every reader and by the working image.
#include <cstdint>
#include <string>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Larger pictures are refused before anything is allocated for them.
inline constexpr std::int64_t kMaxSide = 32768;
inline constexpr std::int64_t kMaxPixels = std::int64_t{64} * 1024 * 1024;

// Throws FormatError naming `what` unless 1 <= width, height <= kMaxSide and
// width * height <= kMaxPixels (computed in 64 bits, so no overflow can hide a huge size).
QUILLFEN_EXPORT void CheckImageSize(std::int64_t width, std::int64_t height, const std::string& what);

}  // namespace quillfen
QUILLFEN_API_END
