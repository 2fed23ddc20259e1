#include "tests/crafted_files.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace quillfen::test {

namespace {

void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

int PaletteSize(const BmpLayout& layout) { return layout.bits <= 8 ? 1 << layout.bits : 0; }

int PaletteGray(const BmpLayout& layout, int index) { return index * 255 / ((1 << layout.bits) - 1); }

// The pixels of one stored row (row y of the picture) without compression.
Bytes PlainRow(const BmpLayout& layout, const PixelFunction& pixel, int y) {
    const std::size_t stride = (static_cast<std::size_t>(layout.width) * layout.bits + 31) / 32 * 4;
    Bytes row(stride, 0);
    for (int x = 0; x < layout.width; ++x) {
        const int v = pixel(x, y);
        switch (layout.bits) {
        case 1: row[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<std::uint8_t>((v & 15) << (x % 2 == 0 ? 4 : 0)); break;
        case 8: row[x] = static_cast<std::uint8_t>(v); break;
        default:
            row[3 * x] = static_cast<std::uint8_t>(v);
            row[3 * x + 1] = static_cast<std::uint8_t>(255 - v);
            row[3 * x + 2] = static_cast<std::uint8_t>(v / 2);
        }
    }
    return row;
}

// Runs of equal values, at most 255 long, each followed by nothing (the caller adds the marks).
Bytes RunLengthRow(const BmpLayout& layout, const PixelFunction& pixel, int y) {
    Bytes row;
    for (int x = 0; x < layout.width;) {
        const int v = pixel(x, y);
        int n = 1;
        while (x + n < layout.width && n < 255 && pixel(x + n, y) == v) ++n;
        row.push_back(static_cast<std::uint8_t>(n));
        row.push_back(static_cast<std::uint8_t>(layout.compression == 2 ? (v & 15) << 4 | (v & 15) : v));
        x += n;
    }
    return row;
}

}  // namespace

std::size_t BmpDataOffset(const BmpLayout& layout) { return 14 + 40 + 4 * static_cast<std::size_t>(PaletteSize(layout)); }

Bytes BmpFile(const BmpLayout& layout, const PixelFunction& pixel) {
    Bytes data;
    for (int i = 0; i < layout.height; ++i) {
        const int y = layout.topDown ? i : layout.height - 1 - i;
        const Bytes row = layout.compression == 0 ? PlainRow(layout, pixel, y) : RunLengthRow(layout, pixel, y);
        data.insert(data.end(), row.begin(), row.end());
        if (layout.compression != 0) {
            data.push_back(0);
            data.push_back(i + 1 == layout.height ? 1 : 0);  // end of picture after the last row
        }
    }
    const std::size_t offset = BmpDataOffset(layout);
    Bytes file;
    file.push_back('B');
    file.push_back('M');
    Put32(file, static_cast<std::uint32_t>(offset + data.size()));
    Put32(file, 0);
    Put32(file, static_cast<std::uint32_t>(offset));
    Put32(file, 40);
    Put32(file, static_cast<std::uint32_t>(layout.width));
    Put32(file, static_cast<std::uint32_t>(layout.topDown ? -layout.height : layout.height));
    Put16(file, 1);
    Put16(file, static_cast<unsigned>(layout.bits));
    Put32(file, static_cast<std::uint32_t>(layout.compression));
    Put32(file, static_cast<std::uint32_t>(data.size()));
    Put32(file, 2835);
    Put32(file, 2835);
    Put32(file, static_cast<std::uint32_t>(PaletteSize(layout)));
    Put32(file, 0);
    for (int i = 0; i < PaletteSize(layout); ++i) {
        const auto g = static_cast<std::uint8_t>(PaletteGray(layout, i));
        file.insert(file.end(), {g, g, g, 0});
    }
    file.insert(file.end(), data.begin(), data.end());
    Set32(file, 2, static_cast<std::uint32_t>(file.size()));
    return file;
}

Bitmap ExpectedBmp(const BmpLayout& layout, const PixelFunction& pixel) {
    Bitmap b(layout.width, layout.height, 0);
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x) {
            const int v = pixel(x, y);
            if (layout.bits <= 8) {
                b.setGray(x, y, static_cast<std::uint8_t>(PaletteGray(layout, v)));
            } else {
                b.setBgr(x, y, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(255 - v),
                         static_cast<std::uint8_t>(v / 2));
            }
        }
    return b;
}

namespace {

void PngWrite(png_structp png, png_bytep data, std::size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}
void PngFlush(png_structp) {}
void PngFail(png_structp, png_const_charp message) { throw std::runtime_error(message); }

int Channels(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // palette
    }
}

}  // namespace

Bytes PngFile(int width, int height, int colourType, int depth, bool interlaced, const SampleFunction& sample) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> palette(static_cast<std::size_t>(1) << depth);
        for (std::size_t i = 0; i < palette.size(); ++i) {
            palette[i] = png_color{static_cast<png_byte>(i), static_cast<png_byte>(255 - i),
                                   static_cast<png_byte>((i * 7) & 255)};
        }
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    png_write_info(png, info);
    const int channels = Channels(colourType);
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * channels * depth + 7) / 8;
    std::vector<Bytes> rows(static_cast<std::size_t>(height), Bytes(rowBytes, 0));
    for (int y = 0; y < height; ++y) {
        Bytes& row = rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const int v = sample(x, y, c);
                const std::size_t index = static_cast<std::size_t>(x) * channels + c;
                if (depth == 16) {
                    row[2 * index] = static_cast<std::uint8_t>(v >> 8);
                    row[2 * index + 1] = static_cast<std::uint8_t>(v & 0xFF);
                } else if (depth == 8) {
                    row[index] = static_cast<std::uint8_t>(v);
                } else {
                    const std::size_t bit = index * static_cast<std::size_t>(depth);
                    row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - depth - bit % 8));
                }
            }
    }
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows) pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes PngFileOfOneRow(int width, int height, int colourType, int depth, const Bytes& row) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), depth, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bitmap ExpectedPng(int width, int height, int colourType, int depth, const SampleFunction& sample) {
    const int maxValue = (1 << depth) - 1;
    auto to8 = [&](int v) {
        // Low depths stretch over 0..255; 16-bit samples are rounded to the nearest 8-bit level.
        return depth == 16 ? (v * 255 + 32767) / 65535 : v * 255 / maxValue;
    };
    Bitmap b(width, height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (colourType == PNG_COLOR_TYPE_PALETTE) {
                const int i = sample(x, y, 0);
                b.setBgr(x, y, static_cast<std::uint8_t>((i * 7) & 255), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i));
            } else if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
                b.setGray(x, y, static_cast<std::uint8_t>(to8(sample(x, y, 0))));
            } else {
                b.setBgr(x, y, static_cast<std::uint8_t>(to8(sample(x, y, 2))),
                         static_cast<std::uint8_t>(to8(sample(x, y, 1))), static_cast<std::uint8_t>(to8(sample(x, y, 0))));
            }
        }
    return b;
}

Bytes ProgressiveJpeg(const Bitmap& picture, int dcRefinements, int acBands, int acRefinements) {
    std::vector<jpeg_scan_info> scans;
    jpeg_scan_info dc{};
    dc.comps_in_scan = 3;
    for (int i = 0; i < 3; ++i) dc.component_index[i] = i;
    dc.Al = dcRefinements;
    scans.push_back(dc);
    for (int al = dcRefinements - 1; al >= 0; --al) {
        jpeg_scan_info refine = dc;
        refine.Ah = al + 1;
        refine.Al = al;
        scans.push_back(refine);
    }
    for (int component = 0; component < 3; ++component)
        for (int band = 0; band < acBands; ++band) {
            jpeg_scan_info ac{};
            ac.comps_in_scan = 1;
            ac.component_index[0] = component;
            ac.Ss = 1 + band * 63 / acBands;
            ac.Se = (band + 1) * 63 / acBands;
            ac.Al = acRefinements;
            scans.push_back(ac);
            for (int al = acRefinements - 1; al >= 0; --al) {
                jpeg_scan_info refine = ac;
                refine.Ah = al + 1;
                refine.Al = al;
                scans.push_back(refine);
            }
        }

    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width());
    cinfo.image_height = static_cast<JDIMENSION>(picture.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.scan_info = scans.data();
    cinfo.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(picture.rowBytes());
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* in = picture.row(static_cast<int>(cinfo.next_scanline));
        for (int x = 0; x < picture.width(); ++x) {
            row[3 * x] = in[3 * x + 2];
            row[3 * x + 1] = in[3 * x + 1];
            row[3 * x + 2] = in[3 * x];
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

Bytes Truncated(Bytes bytes, std::size_t keep) {
    bytes.resize(std::min(keep, bytes.size()));
    return bytes;
}

}  // namespace quillfen::test
