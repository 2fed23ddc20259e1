#pragma once
// PNG files through libpng, read and written in memory. Every PNG colour type and bit depth
// is read: palettes are expanded, 16-bit samples scaled to 8 bits (rounded), alpha dropped,
// gray copied into the three bytes. libpng's messages never reach the terminal; an error
// becomes one FormatError that names the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quillfen/io/picture_files.h"

namespace quillfen {

// True when `data` starts with the PNG signature.
bool IsPngData(const std::uint8_t* data, std::size_t size);

// Decodes a PNG file held in memory; `name` is used in the messages. eightBit is set for
// gray files of at most 8 bits and palette files. Throws FormatError "'<name>' is truncated:
// ..." for a file that ends early, "'<name>' is not a readable PNG file: ..." for other
// damage, and the size-limit error for pictures beyond the limits (checked before any pixel
// memory is taken).
LoadedPicture DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name);

// Encodes a 24-bit PNG file, or with `gray` an 8-bit gray one from the blue bytes.
std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap, bool gray);

}  // namespace quillfen
