// Fuzz entry point: the JPEG decoder on arbitrary bytes.
#include <cstdint>

#include "quillfen/image/errors.h"
#include "quillfen/io/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const quillfen::Bitmap bitmap = quillfen::TRixJPEG::DecodeMemory(data, size);
        (void)bitmap;
    } catch (const quillfen::Error&) {
    }
    return 0;
}
