#include "cli/cli_common.h"

#include <cstdio>
#include <iostream>

#include "image/errors.h"

namespace quillfen::cli {

LoadedPicture LoadPictureOrFail(const std::string& path) {
    try {
        return LoadPictureFile(path);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
}

void SavePictureOrFail(const std::string& path, const Bitmap& bitmap, bool eightBit) {
    try {
        SavePictureFile(path, bitmap, eightBit);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
}

TRixIPA LoadIpaOrFail(const std::string& path, bool* eightBit) {
    const LoadedPicture picture = LoadPictureOrFail(path);
    if (eightBit) *eightBit = picture.eightBit;
    TRixIPA ipa;
    try {
        ipa.LoadFromBitmap(picture.bitmap);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    return ipa;
}

void PrintLine(const std::string& line) {
    std::cout << line << '\n';
}

}  // namespace quillfen::cli
