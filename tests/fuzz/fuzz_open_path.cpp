// Fuzz entry point: the whole open path. The first byte picks the file name's extension, the
// rest is the file; the picture is loaded by name as the program does, then into a working
// image and into a watermark workspace as host and as watermark.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "quillfen/watermark/experiment.h"

namespace {

const char* const kNames[] = {"in.bmp", "IN.BMP", "in.png", "in.jpg", "in.JPEG", "in.pgm", "in.PGM", "in.txt"};

std::string ScratchFile(std::size_t pick) {
    static const std::string dir = [] {
        char pattern[] = "/tmp/quillfen-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return dir + "/" + kNames[pick % (sizeof kNames / sizeof kNames[0])];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string path = ScratchFile(data[0]);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
    try {
        quillfen::LoadedPicture picture = quillfen::LoadPictureFile(path);
        quillfen::TRixIPA ipa;
        ipa.LoadFromBitmap(picture.bitmap);
        quillfen::Experiment experiment;
        quillfen::Bitmap host = picture.bitmap;
        quillfen::Bitmap mark = picture.bitmap;
        experiment.Load(host, mark);
    } catch (const quillfen::Error&) {
    }
    std::remove(path.c_str());
    return 0;
}
