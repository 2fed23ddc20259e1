// Fuzz entry point: the PGM reader on arbitrary bytes.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "quillfen/image/errors.h"
#include "quillfen/io/pgm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // fmemopen refuses empty buffers; the file tests cover empty files
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(
        ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb"), &std::fclose);
    if (!stream) return 0;
    quillfen::Bitmap bitmap;
    try {
        quillfen::TRixPGM().LoadFromStream(stream.get(), static_cast<std::int64_t>(size), "fuzz.pgm", bitmap);
    } catch (const quillfen::Error&) {
        // A clear refusal is the expected outcome for most inputs.
    }
    return 0;
}
