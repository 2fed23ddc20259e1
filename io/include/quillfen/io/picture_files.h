#pragma once
// The file layer: picks a reader or writer by the file name's own extension (case-
// insensitively) and moves pictures between files and the 24-bit Bitmap. BMP goes through
// Qt's image I/O (after the checks of bmp.h) in a module loaded on the first BMP file
// (qt_pictures.h), PNG through libpng (png.h), PGM and JPEG through TRixPGM and TRixJPEG.
// Every file is opened and saved by file_write.h's rules.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/gray_view.h"

QUILLFEN_API_BEGIN
namespace quillfen {

enum class PictureFormat { Unknown, Bmp, Jpeg, Pgm, Png };

// The format named by the extension of the last path component (".jpg" and ".jpeg" are
// both JPEG), case-insensitively; Unknown for anything else.
PictureFormat FormatFromFileName(const std::filesystem::path& path);

// What a loaded file was, so that saving can keep 8-bit files 8-bit.
struct LoadedPicture {
    Bitmap bitmap;
    bool eightBit = false;  // PGM files, gray JPEG and PNG files, 8-bit (or less) palette files
};

// Reads a file named .bmp or .png; its content decides between BMP and PNG (a JPEG file so
// named is read too). Throws FileError if the file cannot be opened and FormatError if it is
// not a readable picture, is truncated or exceeds the size limits.
LoadedPicture ReadQtPicture(const std::filesystem::path& path);
// The same from bytes in memory; `name` is used in the messages.
LoadedPicture ReadQtPictureMemory(const std::uint8_t* data, std::size_t size, const std::string& name);

// Writes a BMP (format Bmp) or PNG (format Png) file, 24-bit or, with `eightBit`, 8-bit gray
// (a gray palette in a BMP file). The old file is replaced only by a complete new one.
void WriteQtPicture(const std::filesystem::path& path, const Bitmap& bitmap, bool eightBit, PictureFormat format);

// The bytes of a PNG file of the picture, 24-bit or, with `gray`, 8-bit gray of its blue bytes
// (for pictures embedded in a page rather than written to a file).
std::vector<std::uint8_t> PngBytes(const Bitmap& bitmap, bool gray = false);

// Reads any supported file, choosing the reader by extension. Every failure throws
// (FileError, FormatError) and leaves nothing changed.
QUILLFEN_EXPORT LoadedPicture LoadPictureFile(const std::filesystem::path& path);

// Writes any supported file, choosing the writer by extension; FormatError for an unknown
// extension or an empty picture.
QUILLFEN_EXPORT void SavePictureFile(const std::filesystem::path& path, const Bitmap& bitmap, bool eightBit = false);

// The gray picture of any supported file: its blue bytes, the gray value this system reads
// (the gray itself for gray files). Throws as LoadPictureFile.
QUILLFEN_EXPORT GrayPlane LoadGrayPicture(const std::filesystem::path& path);

// Writes a gray picture as an 8-bit gray file of the extension's format (a gray palette in a
// BMP file); throws as SavePictureFile, and ArgumentError for a view CheckView refuses.
QUILLFEN_EXPORT void SaveGrayPicture(const std::filesystem::path& path, const GrayView& picture);

}  // namespace quillfen
QUILLFEN_API_END
