#pragma once
// TRixPGM: binary portable graymap ("P5") files, 8 bits per sample.
//
// Reading follows the classic layout: "P5", a line with width and height, a maximum-value
// line, then the raster. The raster is taken from the end of the file (the last
// width x height bytes), so comments anywhere in the header are skipped.
#include <cstdint>
#include <cstdio>
#include <string>

#include "image/bitmap.h"

namespace quillfen {

class TRixPGM {
public:
    // Reads the file into `bitmap` (24 bits per pixel, three equal bytes per pixel). The
    // bitmap changes only when the whole file was read. Throws FileError when the file
    // cannot be opened, FormatError when it is not a readable 8-bit P5 file and
    // ConvertError when a dimension is not a decimal integer.
    void LoadFromFile(const std::string& fileName, Bitmap& bitmap);

    // The same from an open stream positioned at the start of a file of `fileSize` bytes;
    // `fileName` is used in the messages.
    void LoadFromStream(std::FILE* stream, std::int64_t fileSize, const std::string& fileName,
                        Bitmap& bitmap);

    // Writes the blue byte of each pixel as its gray value. The old file, if any, is
    // replaced only once the whole image was written.
    void SaveToFile(const std::string& fileName, const Bitmap& bitmap);

    // The last header line read or written.
    const std::string& GetLine() const { return Line; }

private:
    // Reads one header line without its line feed; a line starting with '#' (or the rest of
    // a line from a '#') is a comment and is skipped together with what came before it.
    std::string ReadHeaderLine();

    std::string Line;
    std::FILE* Stream = nullptr;
    std::string FileName;
    int Width = 0;
    int Height = 0;
};

}  // namespace quillfen
