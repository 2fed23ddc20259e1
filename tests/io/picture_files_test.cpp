#include "io/picture_files.h"

#include <gtest/gtest.h>

#include "image/errors.h"
#include "image/rix_ipa.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::TempDir;
using test::WriteBytes;

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
    QF_SKIP_WITHOUT_QT_PICTURES();
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
    QF_SKIP_WITHOUT_QT_PICTURES();
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
    QF_SKIP_WITHOUT_QT_PICTURES();
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
    QF_SKIP_WITHOUT_QT_PICTURES();
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
    QF_SKIP_WITHOUT_QT_PICTURES();
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
    QF_SKIP_WITHOUT_QT_PICTURES();
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

}  // namespace
}  // namespace quillfen
