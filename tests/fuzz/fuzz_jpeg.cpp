// Fuzz entry point: the JPEG decoder on arbitrary bytes.
#include <cstdint>

#include "image/errors.h"
#include "io/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const quillfen::Bitmap bitmap = quillfen::TRixJPEG::DecodeMemory(data, size);
        (void)bitmap;
    } catch (const quillfen::Error&) {
    }
    return 0;
}
