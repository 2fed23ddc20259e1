#pragma once
// The 512 x 512 bundled photograph as a working image, loaded once per benchmark program.
#include <string>

#include "quillfen/io/picture_files.h"
#include "quillfen/toolbox/rix_ipa.h"

namespace quillfen::bench {

inline const TRixIPA& CameraSample() {
    static const TRixIPA ipa = [] {
        TRixIPA loaded;
        loaded.LoadFromBitmap(LoadPictureFile(std::string(QUILLFEN_SAMPLES_DIR) + "/camera-512.bmp").bitmap);
        return loaded;
    }();
    return ipa;
}

}  // namespace quillfen::bench
