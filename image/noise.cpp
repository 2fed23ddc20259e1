// Noise removal (3 x 3 mean and median, contraction, expansion) and inversion.
#include "image/rix_ipa.h"

namespace quillfen {

void TRixIPA::Inverse() {
    SetUndoReady(true);
    std::uint8_t* p = Image.data();
    for (int i = 0; i < PixelCount; ++i) p[i] = static_cast<std::uint8_t>(255 - p[i]);
}

}  // namespace quillfen
