#pragma once
// TRixPGM: binary portable graymap ("P5") files, 8 bits per sample.
//
// Reading follows the Netpbm rules: "P5", then the width, the height and the maximum gray
// value as decimal numbers separated by any whitespace (space, tab, CR, LF), with comments
// from "#" to the end of the line between them; exactly one whitespace character after the
// maximum value, and the raster right after it. Bytes after the width x height raster bytes
// are ignored (a file holding several pictures gives the first). A maximum value of 0, or
// none, is refused, and so is one over 255 (two bytes per sample). Samples are taken as they
// are stored, whatever the maximum value.
//
// One layout that older readers took the raster of from the end of the file still reads the
// same: comment lines right after the maximum value, when what follows them is exactly the
// raster. Comment lines before "P5" are skipped too. A CR LF after the maximum value is read
// as the rules say: the CR is the one whitespace, and the raster starts at the LF.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

class TRixPGM {
public:
    // Reads the file into `bitmap` (24 bits per pixel, three equal bytes per pixel). The
    // bitmap changes only when the whole file was read. Throws FileError when the file
    // cannot be opened (or is not a regular file) and FormatError, naming the file, when it
    // is not a readable 8-bit P5 file.
    void LoadFromFile(const std::filesystem::path& fileName, Bitmap& bitmap);

    // The same from an open stream positioned at the start of a file of `fileSize` bytes;
    // `fileName` is used in the messages.
    void LoadFromStream(std::FILE* stream, std::int64_t fileSize, const std::string& fileName,
                        Bitmap& bitmap);

    // Writes the blue byte of each pixel as its gray value ("P5", width, height, 255, one line
    // each, then the raster). The old file, if any, is replaced only once the whole image was
    // written (see file_write.h).
    void SaveToFile(const std::filesystem::path& fileName, const Bitmap& bitmap);

    // The maximum-value text of the last header read, or "255" after a save.
    const std::string& GetLine() const { return Line; }

private:
    // Reads the next header number: skips whitespace and comments, then reads decimal
    // digits. `what` names the number in the messages. Returns the character that ended it
    // (whitespace, or the line end of a comment that followed it directly; EOF at the end).
    int ReadHeaderNumber(const char* what, std::int64_t& value);
    int SkipComment();
    [[noreturn]] void Refuse(const std::string& reason) const;

    std::string Line;
    std::FILE* Stream = nullptr;
    std::string FileName;
    int Width = 0;
    int Height = 0;
};

}  // namespace quillfen
QUILLFEN_API_END
