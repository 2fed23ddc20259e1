// Writes the seed corpora of the fuzz targets: small valid files of each format and size
// class, and the bad inputs of the readers' tests. Run only by hand (`make fuzz-seeds`); the
// results are checked in under tests/fuzz/corpus/.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QBuffer>
#include <QImage>
#include <jpeglib.h>

#include "image/bitmap.h"
#include "io/jpeg.h"

namespace fs = std::filesystem;
using quillfen::Bitmap;
using Bytes = std::vector<std::uint8_t>;

namespace {

fs::path gRoot;

void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path dir = gRoot / target;
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes FromString(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bitmap Pattern(int w, int h, bool colour) {
    Bitmap b(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto v = static_cast<std::uint8_t>((x * 37 + y * 11) & 255);
            if (colour) b.setBgr(x, y, v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(x * 8));
            else b.setGray(x, y, v);
        }
    return b;
}

std::string Raster(int count) {
    std::string r;
    for (int i = 0; i < count; ++i) r.push_back(static_cast<char>((i * 37) & 255));
    return r;
}

Bytes Progressive(const Bitmap& bitmap) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 75, TRUE);
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(bitmap.rowBytes());
    while (cinfo.next_scanline < cinfo.image_height) {
        std::memcpy(row.data(), bitmap.row(static_cast<int>(cinfo.next_scanline)), row.size());
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

Bytes QtEncode(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return Bytes(data.begin(), data.end());
}

QImage ToQImage(const Bitmap& b) {
    QImage image(b.width(), b.height(), QImage::Format_BGR888);
    for (int y = 0; y < b.height(); ++y) std::memcpy(image.scanLine(y), b.row(y), b.rowBytes());
    return image;
}

Bytes Truncate(Bytes b, std::size_t keep) {
    b.resize(std::min(keep, b.size()));
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_ROOT\n", argv[0]);
        return 2;
    }
    gRoot = argv[1];

    // PGM
    Put("pgm", "1x1.pgm", FromString("P5\n1 1\n255\n" + Raster(1)));
    Put("pgm", "3x2.pgm", FromString("P5\n3 2\n255\n" + Raster(6)));
    Put("pgm", "17x5-comments.pgm", FromString("# lead\nP5\n# size\n17 5\n255\n# after\n" + Raster(85)));
    Put("pgm", "64x64.pgm", FromString("P5\n64 64\n255\n" + Raster(4096)));
    Put("pgm", "maxval15.pgm", FromString("P5\n3 2\n15\n" + Raster(6)));
    Put("pgm", "crlf.pgm", FromString("P5\r\n3 2\n255\n" + Raster(6)));
    Put("pgm", "truncated.pgm", FromString("P5\n3 2\n255\n" + Raster(1)));
    Put("pgm", "huge.pgm", FromString("P5\n30000 30000\n255\n" + Raster(6)));
    Put("pgm", "nonnumeric.pgm", FromString("P5\nabc 2\n255\n" + Raster(6)));
    Put("pgm", "eof-header.pgm", FromString("P5\n3 2"));
    Put("pgm", "two-byte.pgm", FromString("P5\n3 2\n65535\n" + Raster(12)));

    // JPEG
    const Bytes colour = quillfen::TRixJPEG::Encode(Pattern(16, 16, true));
    Put("jpeg", "colour-16.jpg", colour);
    Put("jpeg", "gray-8.jpg", quillfen::TRixJPEG::EncodeGray(Pattern(8, 8, false)));
    Put("jpeg", "odd-33x17.jpg", quillfen::TRixJPEG::Encode(Pattern(33, 17, true), 20));
    Put("jpeg", "progressive-24.jpg", Progressive(Pattern(24, 24, true)));
    Put("jpeg", "truncated.jpg", Truncate(colour, colour.size() / 2));
    Bytes corrupt = colour;
    corrupt[corrupt.size() - 12] = 0xFF;
    corrupt[corrupt.size() - 11] = 0xD0;
    Put("jpeg", "corrupt.jpg", corrupt);
    Put("jpeg", "not-jpeg.jpg", FromString("BM this is not a JPEG file"));

    // BMP and PNG
    const QImage rgb = ToQImage(Pattern(13, 7, true));
    Put("qt_picture", "24bit.bmp", QtEncode(rgb, "BMP"));
    Put("qt_picture", "32bit.bmp", QtEncode(rgb.convertToFormat(QImage::Format_ARGB32), "BMP"));
    Put("qt_picture", "8bit.bmp", QtEncode(rgb.convertToFormat(QImage::Format_Indexed8), "BMP"));
    Put("qt_picture", "1bit.bmp", QtEncode(rgb.convertToFormat(QImage::Format_Mono), "BMP"));
    Put("qt_picture", "gray.png", QtEncode(rgb.convertToFormat(QImage::Format_Grayscale8), "PNG"));
    Put("qt_picture", "rgb.png", QtEncode(rgb, "PNG"));
    const Bytes bmp = QtEncode(rgb, "BMP");
    Put("qt_picture", "truncated.bmp", Truncate(bmp, 60));
    Bytes huge(54, 0);
    huge[0] = 'B'; huge[1] = 'M'; huge[10] = 54; huge[14] = 40;
    huge[18] = 0x30; huge[19] = 0x75; huge[22] = 0x30; huge[23] = 0x75; huge[26] = 1; huge[28] = 24;
    Put("qt_picture", "huge.bmp", huge);
    Put("qt_picture", "corrupt.bmp", FromString(std::string("BM\x10\0\0\0garbage-not-a-bitmap", 24)));

    // The open path: first byte picks the name (0 .bmp, 2 .png, 3 .jpg, 5 .pgm, 7 .txt).
    auto prefixed = [](std::uint8_t pick, Bytes body) {
        body.insert(body.begin(), pick);
        return body;
    };
    Put("open_path", "bmp", prefixed(0, bmp));
    Put("open_path", "png", prefixed(2, QtEncode(rgb, "PNG")));
    Put("open_path", "jpg", prefixed(3, colour));
    Put("open_path", "pgm", prefixed(5, FromString("P5\n300 20\n255\n" + Raster(6000))));
    Put("open_path", "pgm-as-bmp", prefixed(0, FromString("P5\n3 2\n255\n" + Raster(6))));
    Put("open_path", "txt", prefixed(7, FromString("hello")));
    return 0;
}
