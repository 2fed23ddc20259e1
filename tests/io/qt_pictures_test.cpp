// BMP files through the Qt picture module: Qt is loaded only when such a file comes along, a
// missing or foreign module is reported by name, and a build without Qt refuses BMP files
// without writing anything (and still reads and writes the other formats).
#include "quillfen/io/detail/qt_pictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

bool QtIsLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libQt6Core") != std::string::npos) return true;
    return false;
}

std::string MessageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const FormatError& e) {
        return e.what();
    }
    return "(no FormatError)";
}

TEST(QtPictures, OnlyBmpFilesLoadQt) {
    // ctest runs each test in a process of its own; a whole-program run may have loaded Qt.
    if (QtIsLoaded()) GTEST_SKIP() << "Qt was loaded by an earlier test of this process";
    test::TempDir dir;
    const Bitmap picture = Bitmap::fromGray(2, 2, std::vector<std::uint8_t>{1, 2, 3, 4}.data());
    SavePictureFile(dir.file("a.pgm"), picture);
    SavePictureFile(dir.file("a.jpg"), picture);
    SavePictureFile(dir.file("a.png"), picture, true);
    LoadPictureFile(dir.file("a.pgm"));
    LoadPictureFile(dir.file("a.jpg"));
    EXPECT_EQ(LoadPictureFile(dir.file("a.png")).bitmap, picture);
    LoadPictureFile(test::SamplePath("camera-256.pgm"));
    EXPECT_FALSE(QtIsLoaded());
    QF_SKIP_WITHOUT_BMP();
    EXPECT_EQ(LoadPictureFile(test::SamplePath("seal-128.bmp")).bitmap.width(), 128);
    EXPECT_TRUE(QtIsLoaded());
}

TEST(QtPictures, MissingOrForeignModulesAreNamedInTheError) {
    QF_SKIP_WITHOUT_BMP();
    const std::string missing = MessageOf([] {
        qt_pictures::LoadModuleFrom({"/nonexistent/folder/libquillfen_qt_pictures.so", "libquillfen-no-such-module.so"});
    });
    EXPECT_NE(missing.find("need the Qt picture module libquillfen_qt_pictures.so"), std::string::npos) << missing;
    EXPECT_NE(missing.find("/nonexistent/folder/libquillfen_qt_pictures.so"), std::string::npos) << missing;
    EXPECT_NE(missing.find("libquillfen-no-such-module.so"), std::string::npos) << missing;
    // A library that loads but is not the module (the C maths library has no entry point).
    const std::string foreign = MessageOf([] { qt_pictures::LoadModuleFrom({"libm.so.6"}); });
    EXPECT_NE(foreign.find("is not this version's Qt picture module"), std::string::npos) << foreign;
}

TEST(QtPictures, BuildsWithoutQtRefuseBmpAndWriteNothing) {
    if (qt_pictures::Built()) GTEST_SKIP() << "this build reads BMP files";
    const std::string read = MessageOf([] { LoadPictureFile(test::SamplePath("seal-128.bmp")); });
    EXPECT_NE(read.find("BMP files are not supported by this build"), std::string::npos) << read;
    test::TempDir dir;
    for (const char* name : {"x.bmp", "X.BMP"}) {
        const std::string write = MessageOf([&] { SavePictureFile(dir.file(name), Bitmap(2, 2, 7)); });
        EXPECT_NE(write.find("BMP files are not supported by this build"), std::string::npos) << write;
    }
    EXPECT_TRUE(dir.listing().empty());
    // The other formats need no Qt.
    SavePictureFile(dir.file("x.png"), Bitmap(2, 2, 7));
    EXPECT_EQ(LoadPictureFile(dir.file("x.png")).bitmap, Bitmap(2, 2, 7));
}

}  // namespace
}  // namespace quillfen
