#pragma once
// Hand-built picture files for the reader tests and the fuzz seeds: BMP files of every layout
// the readers meet (palettes, run lengths, top-down rows), PNG files of every colour type and
// bit depth, and progressive JPEG files with a chosen number of scans. Each builder writes the
// file from first principles (no reader of ours involved), and the matching Expected...
// function gives the picture a correct reader must produce.
#include <cstdint>
#include <functional>
#include <vector>

#include "quillfen/image/bitmap.h"

namespace quillfen::test {

using Bytes = std::vector<std::uint8_t>;

// The value of pixel (x, y): a palette index for BMP files of at most 8 bits, a gray level for
// 24-bit ones.
using PixelFunction = std::function<int(int x, int y)>;

struct BmpLayout {
    int width = 8;
    int height = 6;
    int bits = 24;          // 1, 4, 8 or 24
    int compression = 0;    // 0 none, 1 RLE8 (8 bits), 2 RLE4 (4 bits)
    bool topDown = false;   // rows stored top first (negative height)
};

// A BMP file with a 40-byte header. Files of at most 8 bits get a full palette in which index
// i is the gray i * 255 / (2^bits - 1); a 24-bit pixel of value v is blue v, green 255 - v,
// red v / 2. Run-length files end each row with an end-of-row mark and the picture with an
// end-of-picture mark.
Bytes BmpFile(const BmpLayout& layout, const PixelFunction& pixel);
Bitmap ExpectedBmp(const BmpLayout& layout, const PixelFunction& pixel);

// Offset of the pixel data in a BmpFile.
std::size_t BmpDataOffset(const BmpLayout& layout);

// A PNG file; `sample(x, y, channel)` gives each stored sample (0 .. 2^depth - 1; for palette
// files an index). Palette entry i is red i, green 255 - i, blue i * 7 mod 256.
using SampleFunction = std::function<int(int x, int y, int channel)>;
Bytes PngFile(int width, int height, int colourType, int depth, bool interlaced, const SampleFunction& sample);
// A large PNG whose rows all hold the same stored bytes (`row`, in PNG order), written fast.
Bytes PngFileOfOneRow(int width, int height, int colourType, int depth, const Bytes& row);
// What a reader must make of it: 8-bit samples (16-bit ones rounded, low depths scaled to
// 0..255), alpha dropped, gray in all three bytes.
Bitmap ExpectedPng(int width, int height, int colourType, int depth, const SampleFunction& sample);

// A progressive JPEG of the picture: one DC scan with `dcRefinements` refinement scans, then
// per component `acBands` spectral bands each with `acRefinements` refinement scans:
// 1 + dcRefinements + 3 x acBands x (1 + acRefinements) scans in all.
Bytes ProgressiveJpeg(const Bitmap& picture, int dcRefinements, int acBands, int acRefinements);

// The first `keep` bytes.
Bytes Truncated(Bytes bytes, std::size_t keep);

}  // namespace quillfen::test
