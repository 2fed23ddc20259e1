#pragma once
// The file layer: picks a reader or writer by the file name's own extension (case-
// insensitively) and moves pictures between files and the 24-bit Bitmap. BMP and PNG go
// through Qt's image I/O; PGM and JPEG through TRixPGM and TRixJPEG.
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/bitmap.h"

namespace quillfen {

class UserPrompts;

enum class PictureFormat { Unknown, Bmp, Jpeg, Pgm, Png };

// The format named by the extension of the last path component (".jpg" and ".jpeg" are
// both JPEG), case-insensitively; Unknown for anything else.
PictureFormat FormatFromFileName(const std::string& path);

// What a loaded file was, so that saving can keep 8-bit files 8-bit.
struct LoadedPicture {
    Bitmap bitmap;
    bool eightBit = false;  // PGM files and 8-bit (or less) palette files
};

// Reads a BMP or PNG file through Qt, loading the Qt picture module on first use (see
// qt_pictures.h). Throws FileError if the file cannot be opened and FormatError if it is not a
// readable picture or exceeds the size limits, or if this build cannot read BMP or PNG files.
LoadedPicture ReadQtPicture(const std::string& path);
// The same from bytes in memory; `name` is used in the messages.
LoadedPicture ReadQtPictureMemory(const std::uint8_t* data, std::size_t size, const std::string& name);

// Writes a BMP (format Bmp) or PNG (format Png) file, 24-bit or, with `eightBit`, 8-bit with
// the gray palette. The old file is replaced only by a complete new one.
void WriteQtPicture(const std::string& path, const Bitmap& bitmap, bool eightBit, PictureFormat format);

// Reads any supported file, choosing the reader by extension. Every failure throws
// (FileError, FormatError, ConvertError) and leaves nothing changed.
LoadedPicture LoadPictureFile(const std::string& path);

// Writes any supported file, choosing the writer by extension; FormatError for an unknown
// extension or an empty picture.
void SavePictureFile(const std::string& path, const Bitmap& bitmap, bool eightBit = false);

}  // namespace quillfen
