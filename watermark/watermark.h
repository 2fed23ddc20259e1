#pragma once
// TWatermark: the watermarking workspace of one document. It owns every intermediate plane of
// the method (host X, watermark W, their transforms, polarity maps, the watermarked image, the
// attacked image and the extracted planes) in fixed-size buffers named after the symbols of
// the method, and two view buffers that the windows draw.
//
// Geometry: the host is 256 x 256 in 1024 blocks of 8 x 8, the watermark 128 x 128 in 1024
// blocks of 4 x 4; block k = blockRow * 32 + blockColumn.
#include <array>
#include <cstdint>
#include <vector>

#include "image/bitmap.h"

namespace quillfen {

class TWatermark {
public:
    static constexpr int kHostSize = 256;
    static constexpr int kMarkSize = 128;
    static constexpr int kHostPixels = kHostSize * kHostSize;
    static constexpr int kMarkPixels = kMarkSize * kMarkSize;

    TWatermark();

    // Loads X from the document's picture. The picture itself is cut or extended (with white)
    // to 256 x 256, as the document then shows it; the blue byte is the gray value.
    void LoadX(Bitmap& bitmap);
    // Loads W from the watermark panel's picture, cut or extended to 128 x 128. W is not
    // binarised here (GetWr does that).
    void LoadW(Bitmap& bitmap);

    // New gray pictures of a 256 x 256 or 128 x 128 byte buffer (Display256, Display128).
    static Bitmap MakeBitmap256(const std::vector<std::uint8_t>& buffer);
    static Bitmap MakeBitmap128(const std::vector<std::uint8_t>& buffer);

    const std::vector<std::uint8_t>& GetDisplay256() const { return Display256; }
    const std::vector<std::uint8_t>& GetDisplay128() const { return Display128; }
    const std::vector<std::uint8_t>& GetX() const { return X; }
    const std::vector<std::uint8_t>& GetW() const { return W; }

private:
    std::vector<std::uint8_t> X;
    std::vector<std::uint8_t> W;
    std::vector<std::uint8_t> Display256;
    std::vector<std::uint8_t> Display128;
};

}  // namespace quillfen
