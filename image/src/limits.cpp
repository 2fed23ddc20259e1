#include "quillfen/image/limits.h"

#include "quillfen/image/errors.h"

namespace quillfen {

void CheckImageSize(std::int64_t width, std::int64_t height, const std::string& what) {
    if (width <= 0 || height <= 0) {
        throw FormatError(what + ": invalid image size " + std::to_string(width) + " x " +
                          std::to_string(height) + " (both sides must be at least 1)");
    }
    if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
        throw FormatError(what + ": image of " + std::to_string(width) + " x " +
                          std::to_string(height) + " pixels is too large (at most " +
                          std::to_string(kMaxSide) + " pixels a side and " +
                          std::to_string(kMaxPixels / (1024 * 1024)) + " megapixels)");
    }
}

}  // namespace quillfen
