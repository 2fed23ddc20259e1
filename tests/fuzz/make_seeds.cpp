// Writes the seed corpora of the fuzz targets: small valid files of each format and size
// class, and the bad inputs of the readers' tests. Run only by hand (`make fuzz-seeds`); the
// results are checked in under tests/fuzz/corpus/.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QBuffer>
#include <QImage>
#include <jpeglib.h>
#include <png.h>

#include "quillfen/benchmark/calibration.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/watermark/method_key.h"
#include "tests/crafted_files.h"
#include "tests/key_files.h"

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

// A PNG chunk of the given type and data, with a wrong CRC when `badCrc`.
Bytes PngChunk(const char* type, const std::string& data, bool badCrc) {
    std::string chunk;
    const auto length = static_cast<std::uint32_t>(data.size());
    for (int i = 3; i >= 0; --i) chunk.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    chunk.append(type, 4);
    chunk += data;
    chunk += badCrc ? std::string("\xDE\xAD\xBE\xEF") : std::string(4, '\0');
    return FromString(chunk);
}

// Position of the first chunk of `type` in a PNG file.
std::size_t FindChunk(const Bytes& png, const char* type) {
    for (std::size_t i = 8; i + 8 <= png.size(); ++i)
        if (std::memcmp(png.data() + i + 4, type, 4) == 0) return i;
    return png.size();
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
    Put("pgm", "tabs.pgm", FromString("P5\t3\t2\t255\n" + Raster(6)));
    Put("pgm", "own-lines.pgm", FromString("P5\n3\n2\n255\n" + Raster(6)));
    Put("pgm", "crlf-all.pgm", FromString("P5\r\n3 2\r\n255\r\n" + Raster(6)));
    // CR LF after the maximum value, then exactly the raster: the raster starts at the LF.
    Put("pgm", "crlf-exact.pgm", FromString("P5\r\n2 2\r\n255\r\n" + Raster(4)));
    Put("pgm", "trailing-byte.pgm", FromString("P5\n3 2\n255\n" + Raster(6) + "X"));
    Put("pgm", "two-pictures.pgm", FromString("P5\n3 2\n255\n" + Raster(6) + "P5\n2 2\n255\n" + Raster(4)));
    Put("pgm", "comment-after-max.pgm", FromString("P5\n3 2\n255\n# after\n" + Raster(6)));
    Put("pgm", "comment-in-token.pgm", FromString("P5\n3# width\n2 255#max\n" + Raster(6)));
    Put("pgm", "maxval0.pgm", FromString("P5\n3 2\n0\n" + Raster(6)));
    Put("pgm", "no-maxval.pgm", FromString("P5\n3 2\n"));
    Put("pgm", "hex-height.pgm", FromString("P5\n3 0x2\n255\n" + Raster(6)));

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
    // Scan counts around the cap: 21, exactly 100 (accepted) and 200 (refused).
    Put("jpeg", "refined-21-scans.jpg", quillfen::test::ProgressiveJpeg(Pattern(16, 16, true), 2, 2, 2));
    Put("jpeg", "100-scans.jpg", quillfen::test::ProgressiveJpeg(Pattern(16, 16, true), 0, 33, 0));
    Put("jpeg", "200-scans.jpg", quillfen::test::ProgressiveJpeg(Pattern(16, 16, true), 10, 63, 0));
    const Bytes grayJpeg = quillfen::TRixJPEG::EncodeGray(Pattern(24, 16, false));
    Put("jpeg", "gray-truncated.jpg", Truncate(grayJpeg, grayJpeg.size() - 3));

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
    using quillfen::test::BmpFile;
    using quillfen::test::BmpLayout;
    const auto ramp = [](int x, int y) { return (x * 3 + y * 5) & 255; };
    const auto bands = [](int x, int y) { return (x / 3 + y) % 16; };
    const Bytes bmp24 = BmpFile(BmpLayout{9, 7, 24, 0, false}, ramp);
    Put("qt_picture", "short-by-one.bmp", Truncate(bmp24, bmp24.size() - 1));
    Put("qt_picture", "half-missing.bmp", Truncate(bmp24, bmp24.size() / 2 + 27));
    Bytes pastEnd = bmp24;
    pastEnd[10] = 0x00; pastEnd[11] = 0x10;  // data offset 4096 in a 250-byte file
    Put("qt_picture", "offset-past-end.bmp", pastEnd);
    Bytes declares = BmpFile(BmpLayout{32, 32, 8, 0, false}, ramp);
    declares[18] = 0x00; declares[19] = 0x20; declares[22] = 0x00; declares[23] = 0x20;  // 8192 x 8192
    Put("qt_picture", "declares-8192.bmp", declares);
    const Bytes rle8 = BmpFile(BmpLayout{40, 6, 8, 1, false}, bands);
    Put("qt_picture", "rle8.bmp", rle8);
    Put("qt_picture", "rle8-truncated.bmp", Truncate(rle8, rle8.size() - 12));
    Bytes early = BmpFile(BmpLayout{40, 6, 8, 1, false}, [](int, int) { return 7; });
    early.resize(quillfen::test::BmpDataOffset(BmpLayout{40, 6, 8, 1, false}) + 4);
    early.insert(early.end(), {0, 1});  // end of picture after the first row
    Put("qt_picture", "rle8-early-end.bmp", early);
    Put("qt_picture", "rle4.bmp", BmpFile(BmpLayout{21, 5, 4, 2, false}, bands));
    const Bytes topDown = BmpFile(BmpLayout{9, 7, 8, 0, true}, ramp);
    Put("qt_picture", "top-down.bmp", topDown);
    Put("qt_picture", "top-down-short.bmp", Truncate(topDown, topDown.size() - 9));
    Put("qt_picture", "1bit-short.bmp", Truncate(BmpFile(BmpLayout{33, 9, 1, 0, false}, ramp), 100));
    using quillfen::test::PngFile;
    const auto samples = [](int x, int y, int c) { return ((x * 40 + y * 13 + c * 77) * 257) & 0xFFFF; };
    const auto indices = [](int x, int y, int) { return (x + 2 * y) & 15; };
    const Bytes rgba16 = PngFile(11, 6, PNG_COLOR_TYPE_RGB_ALPHA, 16, false, samples);
    Put("qt_picture", "rgba16.png", rgba16);
    Put("qt_picture", "gray16.png", PngFile(7, 5, PNG_COLOR_TYPE_GRAY, 16, false, samples));
    Put("qt_picture", "palette4.png", PngFile(9, 4, PNG_COLOR_TYPE_PALETTE, 4, false, indices));
    Put("qt_picture", "gray2-interlaced.png", PngFile(13, 9, PNG_COLOR_TYPE_GRAY, 2, true, indices));
    Put("qt_picture", "truncated.png", Truncate(rgba16, rgba16.size() / 2));
    Bytes crc = rgba16;
    crc[FindChunk(crc, "IDAT") + 10] ^= 0x55;
    Put("qt_picture", "idat-crc.png", crc);
    Bytes text = rgba16;
    const Bytes chunk = PngChunk("tEXt", std::string("Comment\0bad crc", 15), true);
    text.insert(text.begin() + static_cast<long>(FindChunk(text, "IDAT")), chunk.begin(), chunk.end());
    Put("qt_picture", "bad-ancillary-crc.png", text);
    Put("qt_picture", "gray-jpeg-named-bmp", grayJpeg);

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
    Put("open_path", "bmp-short", prefixed(0, Truncate(bmp24, bmp24.size() - 1)));
    Put("open_path", "rle8-truncated", prefixed(0, Truncate(rle8, rle8.size() - 12)));
    Put("open_path", "png-truncated", prefixed(2, Truncate(rgba16, rgba16.size() / 2)));
    Put("open_path", "rgba16-png", prefixed(2, rgba16));
    Put("open_path", "gray-jpg", prefixed(3, grayJpeg));
    Put("open_path", "tabs-pgm", prefixed(5, FromString("P5\t3\t2\t255\n" + Raster(6))));
    Put("open_path", "trailing-pgm", prefixed(5, FromString("P5\n3 2\n255\n" + Raster(6) + "XY")));
    Put("open_path", "two-pictures-pgm", prefixed(6, FromString("P5\n3 2\n255\n" + Raster(6) + "P5\n1 1\n255\nZ")));

    // Keys: valid ones, and each kind of damage the reader names.
    using namespace quillfen::test;
    const Bytes key = quillfen::EncodeMarkKey(SyntheticKey());
    Put("key", "valid.key", key);
    Put("key", "one-black-pixel.key", quillfen::EncodeMarkKey(SyntheticKey(1, 256, 256)));
    Put("key", "empty.key", Bytes());
    Put("key", "magic-only.key", Truncate(key, 8));
    Put("key", "truncated.key", Truncate(key, key.size() / 2));
    Put("key", "foreign.key", FromString("P5\n3 2\n255\n" + Raster(6)));
    Bytes future = key;
    future[kKeyVersionAt] = 4;
    Put("key", "future-version.key", Resealed(future));
    // A blind method's key (format 3).
    quillfen::MethodKey blind;
    blind.Method = "qim";
    blind.Parameters = "step=16,bits=12";
    blind.Seed = 7;
    blind.HostWidth = 300;
    blind.HostHeight = 257;
    blind.Payload = {1, 0, 1, 1, 0, 0, 0, 1, 1, 1, 0, 1};
    Put("key", "blind-method.key", quillfen::EncodeMethodKey(blind));
    // A key with its own calibration (format 2, one section), and one whose section is cut.
    quillfen::MarkKey calibrated = SyntheticKey();
    quillfen::KeyCalibration own;
    own.Components = {{quillfen::KeyTrialKind::Noise, 100, 1800, 0.01, 0.012, 0.011, 0.05},
                      {quillfen::KeyTrialKind::Jpeg, 0, 41, 0.02, 0.01, 0.011, 0.04}};
    quillfen::FitKeyCalibration(own);
    calibrated.Calibration = own;
    const Bytes withSection = quillfen::EncodeMarkKey(calibrated);
    Put("key", "calibrated.key", withSection);
    Bytes sectionCut = withSection;
    sectionCut.erase(sectionCut.end() - 32 - 20, sectionCut.end() - 32);
    Put("key", "section-cut.key", Resealed(sectionCut));
    Bytes damaged = key;
    damaged[kKeyPlanesAt + 5] ^= 0x10;
    Put("key", "checksum.key", damaged);
    Bytes flags = key;
    flags[kKeyFlagsAt] = 1;
    Put("key", "flags.key", Resealed(flags));
    Bytes hugeHost = key;
    PutU32(hugeHost, kKeyWidthAt, 1u << 20);
    Put("key", "huge-host.key", Resealed(hugeHost));
    Bytes region = key;
    PutU32(region, kKeyRegionSizeAt, 512);
    Put("key", "region-512.key", Resealed(region));
    Bytes order = key;
    order[kKeyOrdersAt] = order[kKeyOrdersAt + 2];
    order[kKeyOrdersAt + 1] = order[kKeyOrdersAt + 3];
    Put("key", "order-repeats.key", Resealed(order));
    Bytes positions = key;
    positions[kKeyPositionsAt] = positions[kKeyPositionsAt + 2];
    positions[kKeyPositionsAt + 1] = positions[kKeyPositionsAt + 3];
    Put("key", "position-repeats.key", Resealed(positions));
    Bytes count = key;
    PutU32(count, kKeyBlackAt, 70000);
    Put("key", "count-too-large.key", Resealed(count));
    Bytes trailing = key;
    trailing.insert(trailing.end() - 32, {1, 2});
    Put("key", "trailing.key", Resealed(trailing));
    // Damage the checksum must catch before any field is read, and keys resealed by another
    // writer with too few reversed relations for a verdict.
    Bytes versionBit = key;
    versionBit[kKeyVersionAt + 1] ^= 2;
    Put("key", "version-bit.key", versionBit);
    Bytes raised = key;
    raised[kKeyBlackAt] = static_cast<std::uint8_t>(raised[kKeyBlackAt] + 1);
    Put("key", "count-raised.key", raised);
    constexpr std::size_t kE = kKeyPlanesAt + 2 * 2048;
    constexpr std::size_t kC = kKeyPlanesAt + 3 * 2048;
    Bytes noReversal = key;
    std::copy(key.begin() + kKeyPlanesAt, key.begin() + kKeyPlanesAt + 2048, noReversal.begin() + kE);
    Put("key", "no-reversal.key", Resealed(noReversal));
    std::size_t one = 0;
    while (((key[kC + one / 8] ^ key[kKeyPlanesAt + one / 8]) >> (one % 8) & 1) == 0) ++one;
    noReversal[kE + one / 8] = static_cast<std::uint8_t>(noReversal[kE + one / 8] ^ (1u << (one % 8)));
    Put("key", "one-reversal.key", Resealed(noReversal));

    // Calibrations: a small run's file and files of thresholds alone, good and refused. The run:
    // two hosts, two seeds and two attacks, so per key 2 other hosts marked, 1 unmarked and 2
    // attacked own pictures; every count as a run makes it.
    quillfen::Calibration cal;
    cal.Program = "seed";
    cal.MarkFile = "mark.pgm";
    cal.MarkDigestText = "fnv1a64:0123456789abcdef";
    cal.MarkBlackPixels = 100;
    cal.Hosts = {"a.pgm", "b.pgm"};
    cal.Seeds = {1, 2};
    cal.Attacks = {"none", "real-jpeg:q=50"};
    cal.Histogram = {{-0.02, 5}, {0.0, 8}, {0.01, 4}, {0.03, 2}, {0.05, 1}};
    cal.Trials = 20;
    cal.KindTrials[0] = 8;
    cal.KindTrials[1] = 4;
    cal.KindTrials[2] = 8;
    // Each component keeps its highest score (a thousandth of its trials and one more).
    cal.Components = {{"a.pgm", quillfen::NullTrialKind::OtherHostMarked, 4, 0, -0.01, 0.01, 0.008, 0, {0.0}, 0, 0},
                      {"a.pgm", quillfen::NullTrialKind::OtherHostUnmarked, 2, 0, 0.0, 0.0, 0.009, 0, {0.0}, 0, 0},
                      {"a.pgm", quillfen::NullTrialKind::OwnHostUnmarked, 4, 0, 0.02, 0.02, 0.005, 0, {0.04}, 0, 0},
                      {"b.pgm", quillfen::NullTrialKind::OtherHostMarked, 4, 0, -0.005, 0.012, 0.008, 0, {0.007}, 0, 0},
                      {"b.pgm", quillfen::NullTrialKind::OtherHostUnmarked, 2, 0, 0.005, 0.004, 0.009, 0, {0.009}, 0, 0},
                      {"b.pgm", quillfen::NullTrialKind::OwnHostUnmarked, 4, 0, 0.015, 0.01, 0.005, 0, {0.025}, 0, 0}};
    quillfen::FitCalibration(cal);
    const std::string run = quillfen::CalibrationJson(cal);
    // Each a run's file changed where a reader must look: values out of range, counts that
    // disagree, statistics and thresholds its own sample does not give.
    const auto changed = [&](const char* name, void (*change)(quillfen::Calibration&)) {
        quillfen::Calibration changedCal = cal;
        change(changedCal);
        Put("calibration", name, FromString(quillfen::CalibrationJson(changedCal)));
    };
    changed("score-1e308.json", [](quillfen::Calibration& c) { c.Histogram.back().first = 1.7e308; });
    changed("score-1e16.json", [](quillfen::Calibration& c) { c.Histogram.back().first = 1e16; });
    changed("threshold-minus-1.json", [](quillfen::Calibration& c) { c.ThresholdEmpirical = -1; });
    changed("kinds.json", [](quillfen::Calibration& c) { c.KindTrials[0] += 1; });
    changed("fit-1e308.json", [](quillfen::Calibration& c) { c.Fit[0].Model = 1e308; });
    changed("mean-1e300.json", [](quillfen::Calibration& c) { c.Components[0].Mean = 1e300; });
    Put("calibration", "thresholds-minus-1.json",
        FromString(R"({"statistic": "score", "thresholds": {"fpr_1e-3": -1, "fpr_1e-6": -1}})"));
    Put("calibration", "run.json", FromString(run));
    Put("calibration", "run-cut.json", FromString(run.substr(0, run.size() / 2)));
    std::string older = run;
    older.replace(older.find("\"version\": 3"), 12, "\"version\": 1");
    older.erase(older.find("\"statistic\""), std::string("\"statistic\": \"score\",\n  ").size());
    Put("calibration", "nc-version-1.json", FromString(older));
    Put("calibration", "thresholds.json",
        FromString(R"({"statistic": "score", "thresholds": {"fpr_1e-3": 0.0769, "fpr_1e-6": 0.1248}})"));
    Put("calibration", "nc.json", FromString(R"({"statistic": "nc", "thresholds": {"fpr_1e-3": 0.6, "fpr_1e-6": 0.7}})"));
    Put("calibration", "reversed.json", FromString(R"({"thresholds": {"fpr_1e-3": 0.3, "fpr_1e-6": 0.2}})"));
    Put("calibration", "not-json.json", FromString("{\"thresholds\": "));

    // Descriptions of methods run as programs: the documented example, each optional field,
    // {dir} in its places, and what the reader refuses.
    const std::string embed = R"("embed": ["/usr/bin/python3", "{dir}/m.py", "embed", "{host}", "{out}", "{key}", "{seed}")";
    const std::string detect = R"("detect": ["/usr/bin/python3", "{dir}/m.py", "detect", "{suspect}", "{key}"])";
    Put("method_command", "example.json",
        FromString(R"({"name": "chip-spread", "embed": ["/usr/bin/python3", "{dir}/chip_spread.py", "embed", "{host}",)"
                   R"( "{out}", "{key}", "{seed}", "{payload}", "{strength}"], "detect": ["/usr/bin/python3",)"
                   R"( "{dir}/chip_spread.py", "detect", "{suspect}", "{key}"], "payload_bits": 32,)"
                   R"( "picture_format": "pgm", "time_limit_seconds": 60, "strength": {"lowest": 0.25, "highest": 40,)"
                   R"( "default": 3}, "thresholds": {"1e-3": 0.03, "1e-6": 0.045}, "description": "a test"})"));
    Put("method_command", "least.json", FromString(R"({"name": "m", "embed": ["cp", "{host}", "{out}"], "detect": ["true"]})"));
    Put("method_command", "zero-bit.json", FromString("{\"name\": \"m.1_x-y\", " + embed + "], " + detect + "}"));
    Put("method_command", "dir-words.json",
        FromString(R"({"name": "w", "embed": ["{dir}/bin/e", "--model={dir}/w.bin", "{dir}", "{dir}/", "{dir}/x/{seed}.k"],)"
                   R"( "detect": ["sh", "-c", "{dir}/d.sh {suspect}", "{dir}/../up"]})"));
    Put("method_command", "payload-without-bits.json",
        FromString("{\"name\": \"p\", " + embed + ", \"{payload}\"], " + detect + "}"));
    Put("method_command", "strength-without-strength.json",
        FromString("{\"name\": \"s\", " + embed + ", \"{strength}\"], " + detect + "}"));
    Put("method_command", "unknown-placeholder.json",
        FromString(R"({"name": "u", "embed": ["x", "{hots}"], "detect": ["y"]})"));
    Put("method_command", "unclosed-brace.json", FromString(R"({"name": "u", "embed": ["x", "{host"], "detect": ["y"]})"));
    Put("method_command", "catalogue-name.json", FromString(R"({"name": "qim", "embed": ["x"], "detect": ["y"]})"));
    Put("method_command", "thresholds-reversed.json",
        FromString(R"({"name": "t", "embed": ["x"], "detect": ["y"], "thresholds": {"1e-3": 0.5, "1e-6": 0.4}})"));
    Put("method_command", "strength-out-of-order.json",
        FromString(R"({"name": "t", "embed": ["x"], "detect": ["y"], "strength": {"lowest": 5, "highest": 4, "default": 4}})"));
    Put("method_command", "limits.json",
        FromString(R"({"name": "l", "embed": ["x"], "detect": ["y"], "payload_bits": 65, "time_limit_seconds": 3601})"));
    Put("method_command", "not-an-object.json", FromString(R"(["name", "m"])"));
    Put("method_command", "cut.json", FromString(R"({"name": "m", "embed": ["cp", "{host}")"));

    // What a detection prints: the first byte is the key's payload bits (0..64), the rest the
    // output.
    const auto output = [](const char* name, int bits, const std::string& printed) {
        Put("method_output", name, FromString(std::string(1, static_cast<char>(bits)) + printed));
    };
    output("zero-bit", 0, "{\"score\": 0.5}\n");
    output("payload", 8, "{\"score\": -0.25, \"bits\": \"10110010\"}\n");
    output("log-first", 4, "loading\nstep 1\n\n{\"score\": 1, \"bits\": \"0110\", \"note\": \"x\"}\r\n  \n");
    output("sixty-four", 64, "{\"score\": 0.01, \"bits\": \"" + std::string(32, '1') + std::string(32, '0') + "\"}");
    output("nothing", 0, "");
    output("not-json", 3, "done\n");
    output("score-outside", 0, "{\"score\": 1.5}");
    output("score-text", 0, "{\"score\": \"0.5\"}");
    output("bits-wrong-count", 5, "{\"score\": 0.5, \"bits\": \"0101\"}");
    output("bits-not-binary", 2, "{\"score\": 0.5, \"bits\": \"12\"}");
    output("bits-as-list", 2, "{\"score\": 0.5, \"bits\": [0, 1]}");
    output("huge-exponent", 0, "{\"score\": 1e400}");
    return 0;
}
