#include "io/pgm.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "image/errors.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::string Raster(int count, int start = 0) {
    std::string r;
    for (int i = 0; i < count; ++i) r.push_back(static_cast<char>((start + i * 37) & 255));
    return r;
}

Bitmap LoadString(const TempDir& dir, const std::string& content) {
    const std::string path = dir.file("in.pgm");
    WriteBytes(path, content);
    Bitmap b;
    TRixPGM().LoadFromFile(path, b);
    return b;
}

TEST(TRixPGM, SaveWritesExactHeaderAndBlueBytes) {
    TempDir dir;
    Bitmap b(3, 2, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) b.setBgr(x, y, static_cast<std::uint8_t>(10 * x + y), 200, 100);
    TRixPGM().SaveToFile(dir.file("out.pgm"), b);
    const std::vector<std::uint8_t> bytes = ReadBytes(dir.file("out.pgm"));
    const std::string expected = std::string("P5\n3 2\n255\n") + std::string{0, 10, 20, 1, 11, 21};
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
    EXPECT_EQ(bytes.size(), 17u);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"out.pgm"});  // no temporary left
}

TEST(TRixPGM, RoundTripIsExact) {
    TempDir dir;
    Bitmap b(7, 5, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) b.setGray(x, y, static_cast<std::uint8_t>(x * 31 + y * 17));
    TRixPGM().SaveToFile(dir.file("r.pgm"), b);
    Bitmap back;
    TRixPGM().LoadFromFile(dir.file("r.pgm"), back);
    EXPECT_EQ(back, b);
}

TEST(TRixPGM, HeaderVariantsThatLoad) {
    TempDir dir;
    const std::string r = Raster(6);
    const std::string cases[] = {
        "P5\n# a comment\n3 2\n255\n" + r,           // comment before the dimensions
        "# leading comment\nP5\n3 2\n255\n" + r,     // comment before P5
        "P5\n3 2\n65\n" + r,                          // other maximum value: raster from the end
        "P5\n3 2\n255\n# trailing comment\n" + r,     // comment after the maximum value
        "P5\n3    2\n255\n" + r,                      // several spaces between the numbers
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const Bitmap b = LoadString(dir, cases[i]);
        ASSERT_EQ(b.width(), 3);
        ASSERT_EQ(b.height(), 2);
        EXPECT_EQ(b.blue(2, 1), static_cast<std::uint8_t>(r[5]));
        EXPECT_EQ(b.row(1)[3 * 2 + 1], static_cast<std::uint8_t>(r[5]));
    }
}

TEST(TRixPGM, CommentSwallowsTheRestOfItsLineAndTheTextBeforeIt) {
    TempDir dir;
    // "3 2 # size" becomes a comment as a whole: the next line is taken as the dimensions.
    const Bitmap b = LoadString(dir, "P5\n9 9 # size\n3 2\n255\n" + Raster(6));
    EXPECT_EQ(b.width(), 3);
}

// Each bad file gives its own clear error and leaves the target bitmap untouched.
struct BadPgm {
    const char* name;
    std::string content;
    const char* errorType;  // "format", "convert"
    const char* messagePart;
};

void PrintTo(const BadPgm& param, std::ostream* os) { *os << param.name; }

class TRixPGMBadInput : public ::testing::TestWithParam<BadPgm> {};

TEST_P(TRixPGMBadInput, IsRefusedClearly) {
    const BadPgm& param = GetParam();
    TempDir dir;
    const std::string path = dir.file("bad.pgm");
    WriteBytes(path, param.content);
    Bitmap target(2, 2, 77);
    const Bitmap before = target;
    try {
        TRixPGM().LoadFromFile(path, target);
        ADD_FAILURE() << "loaded";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(param.errorType, "convert");
        EXPECT_NE(std::string(e.what()).find(param.messagePart), std::string::npos) << e.what();
    } catch (const FormatError& e) {
        EXPECT_STREQ(param.errorType, "format");
        EXPECT_NE(std::string(e.what()).find(param.messagePart), std::string::npos) << e.what();
    }
    EXPECT_EQ(target, before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TRixPGMBadInput,
    ::testing::Values(
        BadPgm{"CrLfFirstLine", "P5\r\n3 2\n255\n" + Raster(6), "format", "not a binary PGM file"},
        BadPgm{"AsciiPgm", "P2\n3 2\n255\n1 2 3 4 5 6\n", "format", "not a binary PGM file"},
        BadPgm{"CarriageReturnAfterHeight", "P5\n3 2\r\n255\n" + Raster(6), "convert", "'2\r' is not a valid integer value"},
        BadPgm{"NoSpaceInDimensions", "P5\n32\n255\n" + Raster(6), "convert", "'' is not a valid integer value"},
        BadPgm{"BlankBeforeWidth", "P5\n 3 2\n255\n" + Raster(6), "convert", "'' is not a valid integer value"},
        BadPgm{"NonNumeric", "P5\nabc 2\n255\n" + Raster(6), "convert", "'abc' is not a valid integer value"},
        BadPgm{"Overflow", "P5\n3 99999999999\n255\n" + Raster(6), "convert", "'99999999999' is not a valid integer value"},
        BadPgm{"ZeroWidth", "P5\n0 2\n255\n" + Raster(6), "format", "bad.pgm"},
        BadPgm{"NegativeHeight", "P5\n3 -2\n255\n" + Raster(6), "format", "invalid image size"},
        BadPgm{"HugeDimensions", "P5\n30000 30000\n255\n" + Raster(6), "format", "too large"},
        BadPgm{"Truncated", "P5\n3 2\n255\n" + Raster(1), "format", "too short"},
        BadPgm{"MissingRaster", "P5\n3 2\n", "format", "too short"},
        BadPgm{"EmptyFile", "", "format", "ends inside its header"},
        BadPgm{"EofInFirstLine", "P5", "format", "ends inside its header"},
        BadPgm{"EofInDimensions", "P5\n3 2", "format", "ends inside its header"},
        BadPgm{"EofInComment", "P5\n# never ends", "format", "ends inside a header comment"},
        BadPgm{"TwoByteSamples", "P5\n3 2\n65535\n" + Raster(12), "format", "maximum gray value 65535"}),
    [](const ::testing::TestParamInfo<BadPgm>& p) { return std::string(p.param.name); });

TEST(TRixPGM, ValidMaximumValuesBelow256StillLoad) {
    TempDir dir;
    const Bitmap b = LoadString(dir, "P5\n3 2\n15\n" + Raster(6));
    EXPECT_EQ(b.blue(0, 0), static_cast<std::uint8_t>(Raster(6)[0]));
}

TEST(TRixPGM, UnreadableAndUnwritablePaths) {
    TempDir dir;
    Bitmap b;
    EXPECT_THROW(TRixPGM().LoadFromFile(dir.file("missing.pgm"), b), FileError);
    EXPECT_THROW(TRixPGM().LoadFromFile(dir.path().string(), b), FileError);  // a folder
    EXPECT_THROW(TRixPGM().SaveToFile(dir.file("no/such/folder.pgm"), Bitmap(2, 2)), FileError);
}

TEST(TRixPGM, FailedSaveLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    // A folder in the target's place: the rename fails after the image was written.
    std::filesystem::create_directory(dir.file("target.pgm"));
    EXPECT_THROW(TRixPGM().SaveToFile(dir.file("target.pgm"), Bitmap(2, 2)), FileError);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"target.pgm"});
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("target.pgm")));
}

}  // namespace
}  // namespace quillfen
