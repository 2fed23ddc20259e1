// BMP and PNG files through the Qt picture module: Qt is loaded only when such a file comes
// along, a missing or foreign module is reported by name, and a build without Qt refuses
// those files without writing anything.
#include "io/qt_pictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "image/errors.h"
#include "io/picture_files.h"
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

TEST(QtPictures, OnlyBmpAndPngFilesLoadQt) {
    // ctest runs each test in a process of its own; a whole-program run may have loaded Qt.
    if (QtIsLoaded()) GTEST_SKIP() << "Qt was loaded by an earlier test of this process";
    test::TempDir dir;
    const Bitmap picture = Bitmap::fromGray(2, 2, std::vector<std::uint8_t>{1, 2, 3, 4}.data());
    SavePictureFile(dir.file("a.pgm"), picture);
    SavePictureFile(dir.file("a.jpg"), picture);
    LoadPictureFile(dir.file("a.pgm"));
    LoadPictureFile(dir.file("a.jpg"));
    LoadPictureFile(test::SamplePath("camera-256.pgm"));
    EXPECT_FALSE(QtIsLoaded());
    QF_SKIP_WITHOUT_QT_PICTURES();
    EXPECT_EQ(LoadPictureFile(test::SamplePath("seal-128.bmp")).bitmap.width(), 128);
    EXPECT_TRUE(QtIsLoaded());
}

TEST(QtPictures, MissingOrForeignModulesAreNamedInTheError) {
    QF_SKIP_WITHOUT_QT_PICTURES();
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

TEST(QtPictures, BuildsWithoutQtRefuseBmpAndPngAndWriteNothing) {
    if (qt_pictures::Built()) GTEST_SKIP() << "this build reads BMP and PNG files";
    test::TempDir dir;
    for (const char* name : {"x.bmp", "x.png", "X.PNG"}) {
        const std::string read = MessageOf([&] { LoadPictureFile(dir.file(name)); });
        EXPECT_NE(read.find("not supported by this build"), std::string::npos) << read;
        const std::string write = MessageOf([&] { SavePictureFile(dir.file(name), Bitmap(2, 2, 7)); });
        EXPECT_NE(write.find("not supported by this build"), std::string::npos) << write;
    }
    EXPECT_TRUE(dir.listing().empty());
}

}  // namespace
}  // namespace quillfen
