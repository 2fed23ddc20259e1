#include "bmp.h"

#include <cstdlib>

#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"

namespace quillfen {

namespace {

constexpr std::size_t kFileHeader = 14;

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// The header fields the pixel data depends on, read as the decoder reads them: the four
// Windows and OS/2 2.x header sizes have 32-bit sizes, anything else is taken for the old
// OS/2 layout with 16-bit sizes and a 3-byte colour table.
struct BmpHeader {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // rows, whatever the direction
    int planes = 0;
    int bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
};

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

bool ReadHeader(const std::uint8_t* data, std::size_t size, BmpHeader& h) {
    if (size < kFileHeader + 4 || data[0] != 'B' || data[1] != 'M') return false;
    h.headerSize = Le32(data + 14);
    const std::uint8_t* info = data + kFileHeader;
    if (h.headerSize == 40 || h.headerSize == 64 || h.headerSize == 108 || h.headerSize == 124) {
        if (size < kFileHeader + 40) return false;
        h.width = static_cast<std::int32_t>(Le32(info + 4));
        h.height = std::llabs(static_cast<std::int32_t>(Le32(info + 8)));
        h.planes = Le16(info + 12);
        h.bits = Le16(info + 14);
        h.compression = Le32(info + 16);
        h.coloursUsed = Le32(info + 32);
    } else {
        if (size < kFileHeader + 12) return false;
        h.width = static_cast<std::int16_t>(Le16(info + 4));
        h.height = std::llabs(static_cast<std::int16_t>(Le16(info + 6)));
        h.planes = Le16(info + 8);
        h.bits = Le16(info + 10);
    }
    const int b = h.bits;
    const bool knownBits = b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32;
    const bool knownCompression = h.compression == kRgb || (b == 8 && h.compression == kRle8) ||
                                  (b == 4 && h.compression == kRle4) ||
                                  ((b == 16 || b == 32) && h.compression == kBitfields);
    return knownBits && knownCompression && h.planes == 1 && h.width > 0 && h.height > 0 &&
           h.height <= std::int64_t{0x7FFFFFFF};
}

// Walks run-length data as the decoder does and refuses it when it ends, or its end-of-picture
// mark comes, before the last row.
void CheckRunLengths(const std::uint8_t* data, std::size_t size, std::size_t start, const BmpHeader& h,
                     const std::string& name) {
    const bool fourBit = h.compression == kRle4;
    std::int64_t x = 0;
    std::int64_t y = 0;  // rows done, counted from the first row stored
    std::size_t p = start;
    auto truncated = [&] {
        throw FormatError("'" + name + "' is truncated: its run-length pixel data ends in row " + std::to_string(y + 1) +
                          " of " + std::to_string(h.height));
    };
    auto corrupt = [&](const char* what) {
        throw FormatError("'" + name + "' is not a readable picture: its run-length pixel data " + what +
                          " (row " + std::to_string(y + 1) + ")");
    };
    while (y < h.height) {
        if (p >= size) {
            if (y == h.height - 1 && x == h.width) return;  // complete, only the end mark is missing
            truncated();
        }
        const std::uint8_t count = data[p++];
        if (p >= size) truncated();
        const std::uint8_t second = data[p++];
        if (count != 0) {  // a run of one value (two alternating nibbles for 4 bits)
            if (x + count > h.width) corrupt("runs past the end of a row");
            x += count;
        } else if (second == 0) {  // end of row
            x = 0;
            ++y;
        } else if (second == 1) {  // end of picture
            if (y < h.height - 1) truncated();
            return;
        } else if (second == 2) {  // move right and up
            if (p + 2 > size) truncated();
            x += data[p];
            y += data[p + 1];
            p += 2;
            if (x > h.width || y >= h.height) corrupt("moves past the picture");
        } else {  // `second` pixels stored as they are, padded to a 16-bit boundary
            const std::size_t bytes = fourBit ? (second + 1u) / 2 : second;
            const std::size_t padded = bytes + (bytes & 1);
            if (x + second > h.width) corrupt("runs past the end of a row");
            if (size - p < padded) truncated();
            p += padded;
            x += second;
        }
    }
}

}  // namespace

void CheckBmpData(const std::uint8_t* data, std::size_t size, const std::string& name) {
    BmpHeader h;
    if (!ReadHeader(data, size, h)) return;
    CheckImageSize(h.width, h.height, "'" + name + "'");

    // The colour table (or the three masks) follows the header; the pixel data starts at the
    // offset the file header gives, or right after the table when the offset lies before it.
    std::uint64_t tableEnd = kFileHeader + std::uint64_t{h.headerSize};
    if (h.headerSize < 108 && h.compression == kBitfields) tableEnd += 12;
    if (h.bits <= 8) {
        const std::uint64_t colours = h.coloursUsed != 0 ? h.coloursUsed : std::uint64_t{1} << h.bits;
        if (colours > 256) return;  // refused by the decoder
        tableEnd += colours * (h.headerSize == 12 ? 3 : 4);
    }
    if (tableEnd > size) {
        throw FormatError("'" + name + "' is truncated: it ends inside its header or colour table");
    }
    const std::uint64_t offset = Le32(data + 10);
    if (offset > size) {
        throw FormatError("'" + name + "' is truncated: its pixel data would start at byte " + std::to_string(offset) +
                          ", past its end (" + std::to_string(size) + " bytes)");
    }
    const std::uint64_t start = offset > tableEnd ? offset : tableEnd;

    if (h.compression == kRle8 || h.compression == kRle4) {
        CheckRunLengths(data, size, static_cast<std::size_t>(start), h, name);
        return;
    }
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.bits) + 31) / 32 * 4;
    const std::uint64_t needed = rowBytes * static_cast<std::uint64_t>(h.height);
    if (size - start < needed) {
        throw FormatError("'" + name + "' is truncated: " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                          " pixels of " + std::to_string(h.bits) + " bits need " + std::to_string(needed) +
                          " bytes of pixel data, the file holds " + std::to_string(size - start));
    }
}

}  // namespace quillfen
