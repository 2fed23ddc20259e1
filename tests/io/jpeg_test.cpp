#include "quillfen/io/jpeg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "quillfen/image/errors.h"
#include "tests/crafted_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

Bitmap Gradient(int w, int h) {
    Bitmap b(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setGray(x, y, static_cast<std::uint8_t>((x * 255) / (w - 1)));
    return b;
}

TEST(TRixJPEG, RoundTripKeepsSizeWithinQuality90Loss) {
    TempDir dir;
    const Bitmap original = Gradient(40, 24);
    const std::string written = TRixJPEG().SaveToFile(dir.file("g.jpg"), original);
    EXPECT_EQ(written, dir.file("g.jpg"));
    Bitmap back;
    TRixJPEG().LoadFromFile(written, back);
    ASSERT_EQ(back.width(), 40);
    ASSERT_EQ(back.height(), 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) EXPECT_NEAR(back.blue(x, y), original.blue(x, y), 6);
}

TEST(TRixJPEG, GrayFilesDecodeToThreeEqualBytes) {
    Bitmap source(48, 40, 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x) source.setGray(x, y, static_cast<std::uint8_t>(x * 5 + y));
    const std::vector<std::uint8_t> gray = TRixJPEG::EncodeGray(source);
    const Bitmap b = TRixJPEG::DecodeMemory(gray.data(), gray.size());
    ASSERT_EQ(b.width(), 48);
    for (int y = 0; y < b.height(); y += 17)
        for (int x = 0; x < b.width(); x += 13) {
            const std::uint8_t* p = b.row(y) + 3 * x;
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[1], p[2]);
        }
}

TEST(TRixJPEG, ColourChannelsKeepTheirPlaces) {
    Bitmap blue(16, 16, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) blue.setBgr(x, y, 255, 0, 0);
    const Bitmap back = TRixJPEG::DecodeMemory(TRixJPEG::Encode(blue).data(), TRixJPEG::Encode(blue).size());
    EXPECT_GT(back.blue(8, 8), 240);
    EXPECT_LT(back.row(8)[3 * 8 + 2], 15);  // red stays dark
}

TEST(TRixJPEG, TargetNameAppendsJpgOnlyWithoutAJpegName) {
    EXPECT_EQ(TRixJPEG::TargetName("out"), "out.jpg");
    EXPECT_EQ(TRixJPEG::TargetName("out.bmp"), "out.bmp.jpg");
    EXPECT_EQ(TRixJPEG::TargetName("OUT.JPG"), "OUT.JPG");
    EXPECT_EQ(TRixJPEG::TargetName("a.jpeg"), "a.jpeg");
    EXPECT_EQ(TRixJPEG::TargetName("a.jpg.bak"), "a.jpg.bak");  // anywhere in the name
    EXPECT_EQ(TRixJPEG::TargetName("Mixed"), "Mixed.jpg");
}

TEST(TRixJPEG, SaveToANameWithoutJpegExtensionWritesNamePlusJpg) {
    TempDir dir;
    EXPECT_EQ(TRixJPEG().SaveToFile(dir.file("result"), Gradient(8, 8)), dir.file("result.jpg"));
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"result.jpg"});
}

// Bad inputs are refused with "'<file>': JPEG error", the target bitmap untouched.
TEST(TRixJPEG, BadFilesAreRefusedWithTheLibrarysReason) {
    TempDir dir;
    const std::vector<std::uint8_t> good = TRixJPEG::Encode(Gradient(64, 64));
    std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    std::vector<std::uint8_t> corrupt = good;
    // A stray marker in the middle of the entropy-coded data.
    corrupt[good.size() - 12] = 0xFF;
    corrupt[good.size() - 11] = 0xD0;
    std::vector<std::uint8_t> noMarker(good.begin(), good.begin() + 20);
    const std::string notJpeg = "BM this is not a JPEG file at all";

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"truncated", truncated},
        {"corrupt", corrupt},
        {"header only", noMarker},
        {"not a jpeg", std::vector<std::uint8_t>(notJpeg.begin(), notJpeg.end())},
        {"empty", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.file("bad.jpg"), c.bytes);
        Bitmap target(3, 3, 1);
        try {
            TRixJPEG().LoadFromFile(dir.file("bad.jpg"), target);
            ADD_FAILURE() << "decoded";
        } catch (const FormatError& e) {
            // One message that names the file, then the library's verdict.
            EXPECT_EQ(std::string(e.what()).rfind("'" + dir.file("bad.jpg") + "': JPEG error", 0), 0u) << e.what();
        }
        EXPECT_EQ(target, Bitmap(3, 3, 1));
    }
}

TEST(TRixJPEG, OversizedImagesAreRefusedBeforeDecoding) {
    std::vector<std::uint8_t> bytes = TRixJPEG::Encode(Gradient(16, 16));
    // Patch the frame header (SOF0) to announce 40000 x 40000 pixels.
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = 0x9C; bytes[i + 6] = 0x40;  // height 40000
            bytes[i + 7] = 0x9C; bytes[i + 8] = 0x40;  // width 40000
            break;
        }
    }
    try {
        TRixJPEG::DecodeMemory(bytes.data(), bytes.size());
        ADD_FAILURE() << "decoded";
    } catch (const FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
    }
}

// Progressive files are decoded up to 100 scans; one more is refused before the picture is
// built (each scan is a pass over the whole picture).
TEST(TRixJPEG, ProgressiveScansAreCappedAtOneHundred) {
    const Bitmap picture = Gradient(24, 16);
    struct Case {
        int dcRefinements, acBands, acRefinements;
        int scans;
        bool accepted;
    };
    const Case cases[] = {
        {1, 1, 1, 8, true},      // an ordinary progressive file
        {0, 33, 0, 100, true},   // at the cap
        {1, 33, 0, 101, false},  // one over
        {10, 63, 0, 200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scans);
        ASSERT_EQ(1 + c.dcRefinements + 3 * c.acBands * (1 + c.acRefinements), c.scans);
        const test::Bytes bytes = test::ProgressiveJpeg(picture, c.dcRefinements, c.acBands, c.acRefinements);
        try {
            const Bitmap back = TRixJPEG::DecodeMemory(bytes.data(), bytes.size(), "p.jpg", nullptr);
            EXPECT_TRUE(c.accepted);
            ASSERT_EQ(back.width(), 24);
            for (int x = 0; x < 24; x += 5) EXPECT_NEAR(back.blue(x, 8), picture.blue(x, 8), 8) << x;
        } catch (const FormatError& e) {
            EXPECT_FALSE(c.accepted) << e.what();
            EXPECT_EQ(std::string(e.what()), "'p.jpg': JPEG error: too many scans in a progressive file (over 100)");
        }
    }
}

TEST(TRixJPEG, TellsGrayFilesFromColourFiles) {
    const Bitmap picture = Gradient(16, 8);
    const std::vector<std::uint8_t> gray = TRixJPEG::EncodeGray(picture);
    const std::vector<std::uint8_t> colour = TRixJPEG::Encode(picture);
    bool isGray = false;
    TRixJPEG::DecodeMemory(gray.data(), gray.size(), "g.jpg", &isGray);
    EXPECT_TRUE(isGray);
    TRixJPEG::DecodeMemory(colour.data(), colour.size(), "c.jpg", &isGray);
    EXPECT_FALSE(isGray);
}

TEST(TRixJPEG, MissingFileAndFailedSave) {
    TempDir dir;
    Bitmap b;
    EXPECT_THROW(TRixJPEG().LoadFromFile(dir.file("none.jpg"), b), FileError);
    std::filesystem::create_directory(dir.file("busy.jpg"));
    EXPECT_THROW(TRixJPEG().SaveToFile(dir.file("busy.jpg"), Gradient(8, 8)), FileError);
    EXPECT_THROW(TRixJPEG().SaveToFile(dir.file("empty.jpg"), Bitmap()), FormatError);  // nothing to encode
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"busy.jpg"});
}

}  // namespace
}  // namespace quillfen
