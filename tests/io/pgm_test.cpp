#include "quillfen/io/pgm.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "quillfen/image/errors.h"
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

// The gray bytes of a loaded picture, row by row, as one string.
std::string GrayBytes(const Bitmap& b) {
    std::string gray;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) gray.push_back(static_cast<char>(b.blue(x, y)));
    return gray;
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

// Every picture the program writes reads back the same, whatever its gray values (a raster
// starting with '#' or a line feed included).
TEST(TRixPGM, RoundTripIsExact) {
    TempDir dir;
    for (const std::uint8_t first : {std::uint8_t{0}, std::uint8_t{'#'}, std::uint8_t{'\n'}, std::uint8_t{' '}}) {
        Bitmap b(7, 5, 0);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) b.setGray(x, y, static_cast<std::uint8_t>(x * 31 + y * 17));
        b.setGray(0, 0, first);
        b.setGray(1, 0, '\n');
        TRixPGM().SaveToFile(dir.file("r.pgm"), b);
        Bitmap back;
        TRixPGM().LoadFromFile(dir.file("r.pgm"), back);
        EXPECT_EQ(back, b) << int{first};
    }
}

// What each header layout reads as: the Netpbm rules, plus the layouts older readers took the
// raster of from the end of the file.
TEST(TRixPGM, HeaderLayoutsAndTheRasterTheyGive) {
    const std::string r = Raster(6);
    const std::string other = Raster(6, 5);
    struct Case {
        const char* name;
        std::string content;
        std::string raster;  // the expected 3 x 2 gray bytes
    };
    const Case cases[] = {
        {"as written", "P5\n3 2\n255\n" + r, r},
        {"tabs between the numbers", "P5\t3\t2\t255\n" + r, r},
        {"each number on its own line", "P5\n3\n2\n255\n" + r, r},
        {"one space everywhere", "P5 3 2 255 " + r, r},
        {"several blanks", "P5  \t\n3    2\r\n 255\n" + r, r},
        {"comments between the numbers", "P5 # magic\n3 # width\n# alone\n2\n# max\n255\n" + r, r},
        {"comment ending in CR", "P5\n# note\r3 2\n255\n" + r, r},
        {"comment right after the maximum value", "P5\n3 2\n255# note\n" + r, r},
        {"maximum value below 255: samples as stored", "P5\n3 2\n15\n" + r, r},
        {"one trailing byte is ignored", "P5\n3 2\n255\n" + r + "X", r},
        {"two pictures give the first", "P5\n3 2\n255\n" + r + "P5\n3 2\n255\n" + other, r},
        {"raster starting with '#', exactly sized", "P5\n3 2\n255\n#\nabcd", "#\nabcd"},
        {"raster starting with '#', one byte more", "P5\n3 2\n255\n#abcdeZ", "#abcde"},
        {"raster starting with a line feed after CR", "P5\n3 2\n255\r\nabcde", "\nabcde"},
        // Older layouts, read as before.
        {"comment line before P5", "# leading comment\nP5\n3 2\n255\n" + r, r},
        {"comment line after the maximum value", "P5\n3 2\n255\n# trailing comment\n" + r, r},
        {"comment after a blank on the maximum-value line", "P5\n3 2\n255 # note\n" + r, r},
        // After the maximum value the CR is the one whitespace: the raster starts at the LF.
        {"CR LF line ends", "P5\r\n3 2\r\n255\r\n" + r, "\n" + r.substr(0, 5)},
        {"CR LF, then a comment line", "P5\r\n3 2\r\n255\r\n# note\r\n" + r, "\n# not"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.file("in.pgm"), c.content);
        Bitmap b;
        TRixPGM().LoadFromFile(dir.file("in.pgm"), b);
        ASSERT_EQ(b.width(), 3);
        ASSERT_EQ(b.height(), 2);
        EXPECT_EQ(GrayBytes(b), c.raster);
        EXPECT_EQ(b.row(1)[3 * 2 + 1], static_cast<std::uint8_t>(c.raster[5]));  // all three bytes set
    }
}

// Each bad file is refused with one FormatError that starts with the file's name, and the
// target bitmap is left untouched.
TEST(TRixPGM, BadFilesAreRefusedNamingTheFile) {
    const std::string r = Raster(6);
    struct Case {
        const char* name;
        std::string content;
        const char* messagePart;
    };
    const Case cases[] = {
        {"ASCII graymap", "P2\n3 2\n255\n1 2 3 4 5 6\n", "not a binary PGM file"},
        {"no blank after P5", "P53 2\n255\n" + r, "not a binary PGM file"},
        {"not a picture", "hello world", "not a binary PGM file"},
        {"letters for the width", "P5\nabc 2\n255\n" + r, "its width 'abc' is not a decimal whole number"},
        {"hexadecimal height", "P5\n3 0x2\n255\n" + r, "its height '0x2' is not a decimal whole number"},
        {"negative height", "P5\n3 -2\n255\n" + r, "its height '-2' is not a decimal whole number"},
        {"fraction", "P5\n3.0 2\n255\n" + r, "its width '3.0'"},
        {"huge number", "P5\n3 99999999999\n255\n" + r, "too large"},
        {"zero width", "P5\n0 2\n255\n" + r, "invalid image size"},
        {"beyond the size limits", "P5\n30000 30000\n255\n" + r, "too large"},
        {"maximum value 0", "P5\n3 2\n0\n" + r, "maximum gray value 0"},
        {"two-byte samples", "P5\n3 2\n65535\n" + Raster(12), "maximum gray value 65535"},
        {"no maximum value", "P5\n3 2\n", "before the maximum gray value"},
        {"raster one byte short", "P5\n3 2\n255\n" + Raster(5), "is truncated: 3 x 2 needs 6 bytes"},
        {"no raster", "P5\n3 2\n255\n", "is truncated"},
        {"no whitespace after the maximum value", "P5\n3 2\n255", "is truncated"},
        {"empty file", "", "ends inside its header"},
        {"only the magic number", "P5", "ends inside its header"},
        {"ends after the width", "P5\n3 ", "ends inside its header, before the height"},
        {"ends inside a comment", "P5\n# never ends", "ends inside a header comment"},
    };
    TempDir dir;
    const std::string path = dir.file("bad.pgm");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.content);
        Bitmap target(2, 2, 77);
        const Bitmap before = target;
        try {
            TRixPGM().LoadFromFile(path, target);
            ADD_FAILURE() << "loaded";
        } catch (const FormatError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(test::Quoted(path), 0), 0u) << message;
            EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
        EXPECT_EQ(target, before);
    }
}

// The same reader on a stream (as the fuzz target uses it) agrees with the file reader.
TEST(TRixPGM, StreamAndFileReadersAgree) {
    std::string content = "P5\n3 2\n255\n# trailing\n" + Raster(6);
    std::FILE* stream = ::fmemopen(content.data(), content.size(), "rb");
    ASSERT_NE(stream, nullptr);
    Bitmap fromStream;
    TRixPGM().LoadFromStream(stream, static_cast<std::int64_t>(content.size()), "mem.pgm", fromStream);
    std::fclose(stream);
    TempDir dir;
    WriteBytes(dir.file("f.pgm"), content);
    Bitmap fromFile;
    TRixPGM().LoadFromFile(dir.file("f.pgm"), fromFile);
    EXPECT_EQ(fromStream, fromFile);
    EXPECT_EQ(GrayBytes(fromFile), Raster(6));
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
    std::filesystem::create_directory(dir.file("target.pgm"));
    EXPECT_THROW(TRixPGM().SaveToFile(dir.file("target.pgm"), Bitmap(2, 2)), FileError);
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"target.pgm"});
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("target.pgm")));
}

}  // namespace
}  // namespace quillfen
