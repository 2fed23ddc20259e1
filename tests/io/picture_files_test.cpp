#include "quillfen/io/picture_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <filesystem>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include "quillfen/image/errors.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "tests/crafted_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::BmpFile;
using test::BmpLayout;
using test::Bytes;
using test::TempDir;
using test::Truncated;
using test::WriteBytes;

// Loads `bytes` saved as `name`; the error's text when it is refused ("" when it loads).
std::string RefusalOf(const TempDir& dir, const std::string& name, const Bytes& bytes) {
    WriteBytes(dir.file(name), bytes);
    try {
        LoadPictureFile(dir.file(name));
        return std::string();
    } catch (const Error& e) {
        return e.what();
    }
}

// Sets the big-endian 32-bit value at `at`.
void SetBig32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// Recomputes the CRC of the PNG chunk starting at `at` (after its data was changed).
void FixPngCrc(Bytes& png, std::size_t at) {
    const std::uint32_t length = static_cast<std::uint32_t>(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    const uLong crc = crc32(0L, png.data() + at + 4, length + 4);
    SetBig32(png, at + 8 + length, static_cast<std::uint32_t>(crc));
}

std::size_t FindChunk(const Bytes& png, const char* type) {
    for (std::size_t i = 8; i + 8 <= png.size(); ++i)
        if (std::memcmp(png.data() + i + 4, type, 4) == 0) return i;
    return png.size();
}

TEST(PictureFiles, FormatComesFromTheNamesOwnExtension) {
    EXPECT_EQ(FormatFromFileName("PHOTO.JPG"), PictureFormat::Jpeg);
    EXPECT_EQ(FormatFromFileName("a.jpeg"), PictureFormat::Jpeg);
    EXPECT_EQ(FormatFromFileName("scan.BMP"), PictureFormat::Bmp);
    EXPECT_EQ(FormatFromFileName("/tmp/x.bmp.d/x.pgm"), PictureFormat::Pgm);
    EXPECT_EQ(FormatFromFileName("/tmp/x.pgm.d/readme"), PictureFormat::Unknown);
    EXPECT_EQ(FormatFromFileName("shot.Png"), PictureFormat::Png);
    EXPECT_EQ(FormatFromFileName("notes.txt"), PictureFormat::Unknown);
}

TEST(PictureFiles, BundledSamplesLoad) {
    QF_SKIP_WITHOUT_BMP();
    const LoadedPicture camera = LoadPictureFile(test::SamplePath("camera-512.bmp"));
    EXPECT_EQ(camera.bitmap.width(), 512);
    EXPECT_TRUE(camera.eightBit);
    const LoadedPicture pgm = LoadPictureFile(test::SamplePath("camera-256.pgm"));
    EXPECT_EQ(pgm.bitmap.height(), 256);
    EXPECT_TRUE(pgm.eightBit);
    const LoadedPicture seal = LoadPictureFile(test::SamplePath("seal-128.bmp"));
    const LoadedPicture sealPgm = LoadPictureFile(test::SamplePath("seal-128.pgm"));
    EXPECT_EQ(seal.bitmap, sealPgm.bitmap);
}

TEST(PictureFiles, EveryFormatRoundTrips) {
    QF_SKIP_WITHOUT_BMP();
    TempDir dir;
    Bitmap b(9, 7, 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) b.setGray(x, y, static_cast<std::uint8_t>(x * 28 + y));
    for (const char* name : {"a.bmp", "b.BMP", "c.png", "d.pgm"}) {
        for (bool eightBit : {false, true}) {
            SCOPED_TRACE(std::string(name) + (eightBit ? " 8-bit" : " 24-bit"));
            SavePictureFile(dir.file(name), b, eightBit);
            EXPECT_EQ(LoadPictureFile(dir.file(name)).bitmap, b);
        }
    }
    SavePictureFile(dir.file("e.jpg"), b);
    EXPECT_EQ(LoadPictureFile(dir.file("e.jpg")).bitmap.width(), 9);
}

TEST(PictureFiles, EightBitBmpIsWrittenWithAPalette) {
    QF_SKIP_WITHOUT_BMP();
    TempDir dir;
    SavePictureFile(dir.file("g.bmp"), Bitmap(4, 4, 100), true);
    const std::vector<std::uint8_t> bytes = test::ReadBytes(dir.file("g.bmp"));
    ASSERT_GT(bytes.size(), 30u);
    EXPECT_EQ(bytes[28], 8);  // bits per pixel in the info header
    EXPECT_TRUE(LoadPictureFile(dir.file("g.bmp")).eightBit);
    SavePictureFile(dir.file("c.bmp"), Bitmap(4, 4, 100), false);
    EXPECT_EQ(test::ReadBytes(dir.file("c.bmp"))[28], 24);
}

TEST(PictureFiles, ColourBmpGivesTheBlueChannelToTheWorkingImage) {
    QF_SKIP_WITHOUT_BMP();
    TempDir dir;
    Bitmap colour(2, 1, 0);
    colour.setBgr(0, 0, 10, 20, 30);
    colour.setBgr(1, 0, 250, 0, 255);
    SavePictureFile(dir.file("c.bmp"), colour);
    TRixIPA ipa;
    ipa.LoadFromBitmap(LoadPictureFile(dir.file("c.bmp")).bitmap);
    EXPECT_EQ(ipa.Pixel(0, 0), 10);
    EXPECT_EQ(ipa.Pixel(1, 0), 250);
}

TEST(PictureFiles, BadFilesGiveClearErrors) {
    QF_SKIP_WITHOUT_BMP();
    TempDir dir;
    WriteBytes(dir.file("corrupt.bmp"), std::string("BM\x10\0\0\0garbage-not-a-bitmap", 24));
    EXPECT_THROW(LoadPictureFile(dir.file("corrupt.bmp")), FormatError);
    WriteBytes(dir.file("text.jpg"), std::string("hello"));
    EXPECT_THROW(LoadPictureFile(dir.file("text.jpg")), FormatError);
    EXPECT_THROW(LoadPictureFile(dir.file("missing.bmp")), FileError);
    EXPECT_THROW(LoadPictureFile(dir.file("notes.txt")), FormatError);
    EXPECT_THROW(SavePictureFile(dir.file("x.tiff"), Bitmap(2, 2)), FormatError);
    EXPECT_THROW(SavePictureFile(dir.file("x.bmp"), Bitmap()), FormatError);
    EXPECT_THROW(SavePictureFile(dir.file("no/dir/x.bmp"), Bitmap(2, 2)), FileError);
    std::vector<std::string> expected{"corrupt.bmp", "text.jpg"};
    EXPECT_EQ(dir.listing(), expected);
}

TEST(PictureFiles, HugeBmpHeaderIsRefused) {
    QF_SKIP_WITHOUT_BMP();
    TempDir dir;
    // A BMP header announcing 30000 x 30000 pixels at 24 bits, with no pixel data.
    std::vector<std::uint8_t> h(54, 0);
    h[0] = 'B'; h[1] = 'M';
    h[10] = 54; h[14] = 40;
    h[18] = 0x30; h[19] = 0x75;  // width 30000
    h[22] = 0x30; h[23] = 0x75;  // height 30000
    h[26] = 1; h[28] = 24;
    WriteBytes(dir.file("huge.bmp"), h);
    EXPECT_THROW(LoadPictureFile(dir.file("huge.bmp")), FormatError);
}

// Every BMP layout the readers meet loads with the right pixels: the crafted file's own
// pixel function is the reference.
TEST(PictureFiles, BmpLayoutsLoadWithTheRightPixels) {
    QF_SKIP_WITHOUT_BMP();
    const auto ramp = [](int x, int y) { return (x * 7 + y * 13) & 255; };
    const auto bands = [](int x, int y) { return (x / 5 + y) % 16; };
    const auto bits = [](int x, int y) { return (x + y / 2) % 2; };
    struct Case {
        const char* name;
        BmpLayout layout;
        test::PixelFunction pixel;
    };
    const Case cases[] = {
        {"24-bit", {9, 7, 24, 0, false}, ramp},
        {"24-bit, top row first", {9, 7, 24, 0, true}, ramp},
        {"8-bit", {10, 6, 8, 0, false}, ramp},
        {"8-bit, top row first", {10, 6, 8, 0, true}, ramp},
        {"4-bit", {11, 5, 4, 0, false}, bands},
        {"1-bit", {37, 4, 1, 0, false}, bits},
        {"8-bit run lengths", {40, 6, 8, 1, false}, bands},
        {"8-bit run lengths, rows longer than a run", {600, 3, 8, 1, false}, [](int x, int) { return x / 300; }},
        {"4-bit run lengths", {21, 5, 4, 2, false}, bands},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.file("in.bmp"), BmpFile(c.layout, c.pixel));
        const LoadedPicture loaded = LoadPictureFile(dir.file("in.bmp"));
        EXPECT_EQ(loaded.bitmap, test::ExpectedBmp(c.layout, c.pixel));
        EXPECT_EQ(loaded.eightBit, c.layout.bits <= 8);
    }
}

// BMP files whose pixel data ends before the rows their header declares are refused, never
// loaded with black rows. Each damaged file is one of the layouts above, cut or patched.
TEST(PictureFiles, DamagedBmpFilesAreRefused) {
    const auto ramp = [](int x, int y) { return (x * 7 + y * 13) & 255; };
    const auto bands = [](int x, int y) { return (x / 5 + y) % 16; };
    const BmpLayout rgb{9, 7, 24, 0, false};
    const BmpLayout gray{10, 6, 8, 0, false};
    const BmpLayout topDown{10, 6, 8, 0, true};
    const BmpLayout rle8{40, 6, 8, 1, false};
    const BmpLayout rle4{21, 5, 4, 2, false};
    const Bytes rgbFile = BmpFile(rgb, ramp);
    const Bytes rle8File = BmpFile(rle8, bands);
    const std::size_t rle8Data = test::BmpDataOffset(rle8);

    Bytes offsetPastEnd = rgbFile;
    offsetPastEnd[10] = 0x00;
    offsetPastEnd[11] = 0x10;  // pixel data at byte 4096 of a 250-byte file
    // A 4 KB file whose header declares 8192 x 8192 pixels.
    Bytes declaresHuge = BmpFile(BmpLayout{64, 48, 8, 0, false}, ramp);
    declaresHuge[18] = 0x00; declaresHuge[19] = 0x20; declaresHuge[20] = 0; declaresHuge[21] = 0;
    declaresHuge[22] = 0x00; declaresHuge[23] = 0x20; declaresHuge[24] = 0; declaresHuge[25] = 0;
    // Run-length data: the first row as written, then the end-of-picture mark.
    Bytes earlyEnd(rle8File.begin(), rle8File.begin() + static_cast<long>(rle8Data));
    const Bytes oneValue = BmpFile(rle8, [](int, int) { return 3; });
    earlyEnd.insert(earlyEnd.end(), oneValue.begin() + static_cast<long>(rle8Data),
                    oneValue.begin() + static_cast<long>(rle8Data) + 4);
    earlyEnd.insert(earlyEnd.end(), {0, 1});
    // A run longer than the row, and a move past the last row.
    Bytes longRun(rle8File.begin(), rle8File.begin() + static_cast<long>(rle8Data));
    longRun.insert(longRun.end(), {41, 5, 0, 1});
    Bytes farMove(rle8File.begin(), rle8File.begin() + static_cast<long>(rle8Data));
    farMove.insert(farMove.end(), {0, 2, 0, 9, 0, 1});

    struct Case {
        const char* name;
        Bytes bytes;
        const char* messagePart;
    };
    const Case cases[] = {
        {"24-bit, one byte short", Truncated(rgbFile, rgbFile.size() - 1), "is truncated: 9 x 7 pixels of 24 bits need 196 bytes of pixel data, the file holds 195"},
        {"24-bit, half the rows missing", Truncated(rgbFile, 54 + 98), "is truncated"},
        {"8-bit, last row missing", Truncated(BmpFile(gray, ramp), BmpFile(gray, ramp).size() - 12), "is truncated"},
        {"8-bit top row first, one byte short", Truncated(BmpFile(topDown, ramp), BmpFile(topDown, ramp).size() - 1), "is truncated"},
        {"4-bit, one byte short", Truncated(BmpFile(BmpLayout{11, 5, 4, 0, false}, bands), BmpFile(BmpLayout{11, 5, 4, 0, false}, bands).size() - 1), "is truncated"},
        {"1-bit, one byte short", Truncated(BmpFile(BmpLayout{37, 4, 1, 0, false}, ramp), BmpFile(BmpLayout{37, 4, 1, 0, false}, ramp).size() - 1), "is truncated"},
        {"pixel data offset past the end", offsetPastEnd, "its pixel data would start at byte 4096, past its end (250 bytes)"},
        {"4 KB file declaring 8192 x 8192", declaresHuge, "8192 x 8192 pixels of 8 bits need 67108864 bytes"},
        {"colour table cut", Truncated(BmpFile(gray, ramp), 14 + 40 + 100), "it ends inside its header or colour table"},
        {"run lengths, last rows missing", Truncated(rle8File, (rle8Data + rle8File.size()) / 2), "is truncated: its run-length pixel data ends in row"},
        {"run lengths, end mark missing", Truncated(rle8File, rle8File.size() - 3), "is truncated"},
        {"run lengths, cut inside a run", Truncated(rle8File, rle8Data + 1), "is truncated"},
        {"run lengths, picture ends after the first row", earlyEnd, "ends in row 2 of 6"},
        {"4-bit run lengths, cut", Truncated(BmpFile(rle4, bands), BmpFile(rle4, bands).size() - 5), "is truncated"},
        {"run longer than its row", longRun, "runs past the end of a row"},
        {"move past the last row", farMove, "moves past the picture"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string message = RefusalOf(dir, "bad.bmp", c.bytes);
        EXPECT_EQ(message.rfind(test::Quoted(dir.file("bad.bmp")), 0), 0u) << message;
        EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
    }
}

// Every PNG colour type and bit depth, interlaced or not, loads with the right pixels.
TEST(PictureFiles, PngColourTypesAndDepthsLoad) {
    struct Case {
        int colourType;
        int depth;
        bool interlaced;
    };
    const Case cases[] = {
        {PNG_COLOR_TYPE_GRAY, 1, false},       {PNG_COLOR_TYPE_GRAY, 2, false},
        {PNG_COLOR_TYPE_GRAY, 4, false},       {PNG_COLOR_TYPE_GRAY, 8, false},
        {PNG_COLOR_TYPE_GRAY, 16, false},      {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 16, false}, {PNG_COLOR_TYPE_RGB, 8, false},
        {PNG_COLOR_TYPE_RGB, 16, false},       {PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
        {PNG_COLOR_TYPE_RGB_ALPHA, 16, false}, {PNG_COLOR_TYPE_PALETTE, 1, false},
        {PNG_COLOR_TYPE_PALETTE, 2, false},    {PNG_COLOR_TYPE_PALETTE, 4, false},
        {PNG_COLOR_TYPE_PALETTE, 8, false},    {PNG_COLOR_TYPE_GRAY, 2, true},
        {PNG_COLOR_TYPE_RGB, 16, true},        {PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
        {PNG_COLOR_TYPE_PALETTE, 4, true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE("colour type " + std::to_string(c.colourType) + ", depth " + std::to_string(c.depth) +
                     (c.interlaced ? ", interlaced" : ""));
        const int depth = c.depth;
        // 16-bit samples lie within 60 of a multiple of 257, so their 8-bit level is clear.
        const test::SampleFunction sample = [depth](int x, int y, int channel) {
            if (depth == 16) return std::clamp(((x * 37 + y * 11 + channel * 53) % 256) * 257 + (x + y + channel) % 120 - 60, 0, 65535);
            return (x * 7 + y * 3 + channel * 5) % (1 << depth);
        };
        WriteBytes(dir.file("in.png"), test::PngFile(13, 9, c.colourType, c.depth, c.interlaced, sample));
        const LoadedPicture loaded = LoadPictureFile(dir.file("in.png"));
        EXPECT_EQ(loaded.bitmap, test::ExpectedPng(13, 9, c.colourType, c.depth, sample));
        EXPECT_EQ(loaded.eightBit, c.colourType == PNG_COLOR_TYPE_PALETTE || (c.colourType == PNG_COLOR_TYPE_GRAY && c.depth <= 8));
    }
}

// A 16-bit RGBA file at the size limit loads: its memory is bounded by the picture limit,
// not by the bytes per pixel of the file.
TEST(PictureFiles, SixteenBitRgbaPngAtTheSizeLimitLoads) {
    constexpr int kSide = 8192;
    Bytes row(static_cast<std::size_t>(kSide) * 8);
    for (int x = 0; x < kSide; ++x) {
        const int level = x % 256;
        const int samples[4] = {level * 257, (255 - level) * 257, (level / 2) * 257 + 100, 65535};
        for (int c = 0; c < 4; ++c) {
            row[8 * x + 2 * c] = static_cast<std::uint8_t>(samples[c] >> 8);
            row[8 * x + 2 * c + 1] = static_cast<std::uint8_t>(samples[c] & 0xFF);
        }
    }
    TempDir dir;
    WriteBytes(dir.file("big.png"), test::PngFileOfOneRow(kSide, kSide, PNG_COLOR_TYPE_RGB_ALPHA, 16, row));
    const LoadedPicture loaded = LoadPictureFile(dir.file("big.png"));
    ASSERT_EQ(loaded.bitmap.width(), kSide);
    ASSERT_EQ(loaded.bitmap.height(), kSide);
    for (const int y : {0, 4097, kSide - 1})
        for (const int x : {0, 300, kSide - 1}) {
            const int level = x % 256;
            const std::uint8_t* p = loaded.bitmap.row(y) + 3 * x;
            EXPECT_EQ(p[0], level / 2) << x << "," << y;  // blue
            EXPECT_EQ(p[1], 255 - level);
            EXPECT_EQ(p[2], level);
        }
}

// A damaged PNG file gives one message naming the file; libpng itself prints nothing, on
// failure or on success.
TEST(PictureFiles, PngMessagesAreOneLineNamingTheFile) {
    const test::SampleFunction sample = [](int x, int y, int c) { return (x * 5 + y + c * 9) & 255; };
    const Bytes good = test::PngFile(20, 10, PNG_COLOR_TYPE_RGB, 8, false, sample);
    Bytes idatCrc = good;
    idatCrc[FindChunk(idatCrc, "IDAT") + 8 + 3] ^= 0x10;
    Bytes zeroWidth = good;
    SetBig32(zeroWidth, 16, 0);
    FixPngCrc(zeroWidth, 8);
    Bytes tooLarge = good;
    SetBig32(tooLarge, 16, 40000);
    SetBig32(tooLarge, 20, 40000);
    FixPngCrc(tooLarge, 8);
    Bytes noEnd = Truncated(good, FindChunk(good, "IEND"));
    // A text chunk with a wrong CRC: an ancillary chunk, skipped without a word.
    Bytes badText = good;
    const Bytes text = {0, 0, 0, 3, 't', 'E', 'X', 't', 'a', 0, 'b', 1, 2, 3, 4};
    badText.insert(badText.begin() + static_cast<long>(FindChunk(badText, "IDAT")), text.begin(), text.end());

    struct Case {
        const char* name;
        Bytes bytes;
        const char* messagePart;  // nullptr: loads
    };
    const Case cases[] = {
        {"half the file", Truncated(good, good.size() / 2), "is truncated: the file ends inside its PNG data"},
        {"no end chunk", noEnd, "is truncated"},
        {"image data damaged", idatCrc, "is not a readable PNG file: "},
        {"width 0", zeroWidth, "is not a readable PNG file: "},
        {"beyond the size limits", tooLarge, "image of 40000 x 40000 pixels is too large"},
        {"bad ancillary chunk", badText, nullptr},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::testing::internal::CaptureStderr();
        const std::string message = RefusalOf(dir, "p.png", c.bytes);
        const std::string printed = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed, "");
        if (c.messagePart == nullptr) {
            EXPECT_EQ(message, "");
        } else {
            EXPECT_EQ(message.rfind(test::Quoted(dir.file("p.png")), 0), 0u) << message;
            EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
}

// A FIFO, socket, device or folder given as a picture is refused at once in every format,
// without waiting for a writer.
TEST(PictureFiles, SpecialFilesAreRefusedAtOnce) {
    struct Kind {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* reason;
    };
    const Kind kinds[] = {
        {"FIFO", [](const std::string& p) { test::MakeFifo(p); }, "it is a FIFO, not a regular file"},
        {"socket", [](const std::string& p) { test::MakeSocketFile(p); }, "it is a socket, not a regular file"},
        {"device", [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); },
         "it is a character device, not a regular file"},
        {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }, "it is a folder, not a regular file"},
    };
    ::alarm(60);  // a reader that waits for a FIFO's writer ends the test program instead of hanging it
    for (const char* ext : {"bmp", "png", "pgm", "jpg", "jpeg"}) {
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(std::string(ext) + " " + kind.name);
            TempDir dir;
            const std::string path = dir.file(std::string("in.") + ext);
            kind.make(path);
            try {
                LoadPictureFile(path);
                ADD_FAILURE() << "loaded";
            } catch (const FileError& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot open file " + path + " (" + kind.reason + ")");
            }
        }
    }
    ::alarm(0);
}

// An 8-bit gray file (PGM, gray JPEG, gray PNG, 8-bit BMP) is saved as an 8-bit gray file;
// colour files stay 24-bit.
TEST(PictureFiles, GrayFilesStayGray) {
    QF_SKIP_WITHOUT_BMP();
    Bitmap ramp(16, 8, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) ramp.setGray(x, y, static_cast<std::uint8_t>(x * 16 + y));
    const test::SampleFunction sample = [](int x, int y, int c) { return (x * 16 + y + c * 40) & 255; };
    struct Case {
        const char* name;
        const char* file;
        Bytes bytes;
        bool gray;
    };
    const Case cases[] = {
        {"gray JPEG", "in.jpg", TRixJPEG::EncodeGray(ramp), true},
        {"colour JPEG", "in.jpg", TRixJPEG::Encode(ramp), false},
        {"8-bit gray PNG", "in.png", test::PngFile(16, 8, PNG_COLOR_TYPE_GRAY, 8, false, sample), true},
        {"16-bit gray PNG", "in.png", test::PngFile(16, 8, PNG_COLOR_TYPE_GRAY, 16, false, sample), false},
        {"palette PNG", "in.png", test::PngFile(16, 8, PNG_COLOR_TYPE_PALETTE, 8, false, sample), true},
        {"RGB PNG", "in.png", test::PngFile(16, 8, PNG_COLOR_TYPE_RGB, 8, false, sample), false},
        {"8-bit BMP", "in.bmp", BmpFile(BmpLayout{16, 8, 8, 0, false}, [](int x, int) { return x; }), true},
        {"24-bit BMP", "in.bmp", BmpFile(BmpLayout{16, 8, 24, 0, false}, [](int x, int) { return x; }), false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.file(c.file), c.bytes);
        const LoadedPicture loaded = LoadPictureFile(dir.file(c.file));
        EXPECT_EQ(loaded.eightBit, c.gray);
        SavePictureFile(dir.file("out.png"), loaded.bitmap, loaded.eightBit);
        SavePictureFile(dir.file("out.bmp"), loaded.bitmap, loaded.eightBit);
        const Bytes png = test::ReadBytes(dir.file("out.png"));
        const Bytes bmp = test::ReadBytes(dir.file("out.bmp"));
        EXPECT_EQ(png[24], 8);                                                        // bit depth
        EXPECT_EQ(png[25], c.gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB);        // colour type
        EXPECT_EQ(bmp[28], c.gray ? 8 : 24);                                          // bits per pixel
        // Gray files keep their gray levels through the 8-bit files.
        if (c.gray) {
            EXPECT_EQ(LoadPictureFile(dir.file("out.png")).bitmap, FromGray8(ConvertToGray8(loaded.bitmap)));
            EXPECT_EQ(LoadPictureFile(dir.file("out.bmp")).bitmap, FromGray8(ConvertToGray8(loaded.bitmap)));
        }
    }
}

}  // namespace
}  // namespace quillfen
