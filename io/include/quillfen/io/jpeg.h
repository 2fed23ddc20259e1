#pragma once
// TRixJPEG: JPEG files through libjpeg(-turbo). Decoding is at full scale to 24-bit pixels
// (a gray file gives three equal bytes); encoding is quality 90, baseline, three components.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

class TRixJPEG {
public:
    // Decodes the file into `bitmap`. A decoding error throws FormatError ("'<file>': JPEG
    // error #<n>: <library message>"), which the desktop program shows as a warning; a file
    // that cannot be opened throws FileError. Either way the bitmap is left as it was.
    void LoadFromFile(const std::filesystem::path& fileName, Bitmap& bitmap);

    // Encodes and writes the bitmap. Unless the lower-cased name contains ".jpg" or ".jpeg",
    // ".jpg" is appended. Returns the name written. An encoding error throws FormatError and
    // nothing is written; a file that cannot be created throws FileError. An existing file
    // is replaced only by a complete new one.
    std::string SaveToFile(const std::filesystem::path& fileName, const Bitmap& bitmap);

    // The name SaveToFile writes to for `fileName`.
    static std::string TargetName(const std::string& fileName);

    // The same in memory: FormatError carries the "JPEG error #" text, after the file's name
    // when there is one.
    // `grayFile`, when given, tells whether the file held one gray component. A progressive
    // file of more than 100 scans is refused (each scan is a pass over the whole picture).
    static Bitmap Decode(const std::filesystem::path& fileName, bool* grayFile = nullptr);
    static Bitmap DecodeMemory(const std::uint8_t* data, std::size_t size, const std::string& name,
                               bool* grayFile);
    static Bitmap DecodeMemory(const std::uint8_t* data, std::size_t size);
    static std::vector<std::uint8_t> Encode(const Bitmap& bitmap, int quality = 90);
    // A one-component (gray) file from the blue bytes: for test and fuzz seed files.
    static std::vector<std::uint8_t> EncodeGray(const Bitmap& bitmap, int quality = 90);
};

}  // namespace quillfen
QUILLFEN_API_END
