#pragma once
// Checks of a BMP file's pixel data before it is decoded. The decoder (Qt's) reads as many
// rows as the file holds and leaves the rest black, so a cut file would load as a picture
// with black rows; these checks refuse such files first.
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillfen {

// Throws FormatError "'<name>' is truncated: ..." when the pixel data of the BMP file in
// `data` ends before the rows its header declares: uncompressed rows that need more bytes
// than the file holds, run-length data that ends before its last row (or before its
// end-of-picture mark), or a data offset past the end of the file. Throws FormatError
// "'<name>' is not a readable picture: ..." for run-length data that runs past a row or the
// picture. Throws FormatError for pictures beyond the size limits. Files whose header it does
// not understand are left to the decoder, which refuses them.
void CheckBmpData(const std::uint8_t* data, std::size_t size, const std::string& name);

}  // namespace quillfen
