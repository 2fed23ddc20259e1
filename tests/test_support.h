#pragma once
// Helpers shared by the test programs: a scratch folder and small file utilities.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "quillfen/io/detail/qt_pictures.h"

// Skips the calling test in a build that reads and writes no BMP files (built without Qt, as
// the ARM64 build is); such a build refuses them, which tests/io/qt_pictures_test.cpp checks.
#define QF_SKIP_WITHOUT_BMP()                                              \
    if (!::quillfen::qt_pictures::Built())                                         \
    GTEST_SKIP() << "this build reads and writes no BMP files (no Qt)"

namespace quillfen::test {

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Names of the files in the folder, sorted.
    std::vector<std::string> listing() const;

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);

// "'text'": how messages quote a file name. (Built step by step: GCC 12 gives a false
// -Wrestrict warning for "'" + std::string.)
inline std::string Quoted(const std::string& text) {
    std::string quoted(1, '\'');
    quoted += text;
    quoted += '\'';
    return quoted;
}

// The folder of the bundled sample pictures.
std::string SamplePath(const std::string& name);

// SHA-256 of some bytes, as 64 lowercase hexadecimal digits.
std::string Sha256Hex(const void* data, std::size_t size);
template <typename T>
std::string Sha256Hex(const std::vector<T>& values) {
    return Sha256Hex(values.data(), values.size() * sizeof(T));
}

// Runs `body` once on every vector target this CPU can run, best first, with the target's
// name; the best target is in use again afterwards, even when `body` throws.
void ForEachVectorTarget(const std::function<void(const std::string&)>& body);

// Special files for the tests of what the readers and writers refuse.
void MakeFifo(const std::string& path);
// A socket file (its listening socket is closed again; the name stays).
void MakeSocketFile(const std::string& path);

// Runs `body` in a child process that may not write other users' files: as the user
// "nobody" when the tests run as root, as this user otherwise. Returns the child's exit
// status, or -1 when it did not exit normally. What the child prints goes where this
// process's output goes.
int RunUnprivileged(const std::function<int()>& body);
// Runs `body` in a child process and returns its exit status (-1: it did not exit normally).
int RunInChild(const std::function<int()>& body);

}  // namespace quillfen::test
