// Fuzz entry point: the BMP/PNG reader of the file layer on arbitrary bytes.
#include <cstdint>

#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const quillfen::LoadedPicture picture = quillfen::ReadQtPictureMemory(data, size, "fuzz.bmp");
        (void)picture;
    } catch (const quillfen::Error&) {
    }
    return 0;
}
