// The writers' rules, checked in every format: links, special files, permissions, names that
// are not UTF-8, long names, unwritable files and failed writes.
#include "quillfen/io/file_write.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// BMP only in builds that have it (not the ARM64 build, which has no Qt).
const std::vector<const char*> kExtensions = qt_pictures::Built() ? std::vector<const char*>{"bmp", "png", "pgm", "jpg"}
                                                                  : std::vector<const char*>{"png", "pgm", "jpg"};

Bitmap Picture() {
    Bitmap b(9, 7, 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) b.setGray(x, y, static_cast<std::uint8_t>(x * 28 + y));
    return b;
}

unsigned Mode(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode;
}

std::string Content(const std::string& path) {
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The saved picture reads back (exactly, but for JPEG's loss).
void ExpectPicture(const std::string& path) {
    const LoadedPicture back = LoadPictureFile(path);
    if (FormatFromFileName(path) == PictureFormat::Jpeg) {
        EXPECT_EQ(back.bitmap.width(), 9) << path;
    } else {
        EXPECT_EQ(back.bitmap, Picture()) << path;
    }
}

// Saves and returns "" on success, else the error's text.
std::string Save(const std::string& path) {
    try {
        SavePictureFile(path, Picture(), false);
        return std::string();
    } catch (const Error& e) {
        return e.what();
    }
}

struct WriterCase {
    const char* name;
    // Prepares the folder and returns the name to save to.
    std::function<std::string(const TempDir&, const std::string& ext)> setup;
    const char* messagePart;  // nullptr: the save succeeds
    std::function<void(const TempDir&, const std::string& ext)> check;
};

TEST(FileWriters, OneRuleForEveryFormat) {
    const std::string badName = "a\xE9";              // Latin-1 e-acute: not UTF-8
    const std::string replaced = "a\xEF\xBF\xBD";     // what a UTF-8 decoder makes of it
    const WriterCase cases[] = {
        {"a link to a file is kept and the file replaced",
         [](const TempDir& d, const std::string& e) {
             test::WriteBytes(d.file("real." + e), std::string("old"));
             fs::create_symlink("real." + e, d.file("link." + e));
             return d.file("link." + e);
         },
         nullptr,
         [](const TempDir& d, const std::string& e) {
             EXPECT_EQ(fs::read_symlink(d.file("link." + e)), fs::path("real." + e));
             ExpectPicture(d.file("real." + e));
             EXPECT_EQ(d.listing(), (std::vector<std::string>{"link." + e, "real." + e}));
         }},
        {"the temporary file goes to the target's folder",
         [](const TempDir& d, const std::string& e) {
             fs::create_directory(d.file("sub"));
             test::WriteBytes(d.file("sub/real." + e), std::string("old"));
             fs::create_symlink("sub/real." + e, d.file("link." + e));
             return d.file("link." + e);
         },
         nullptr,
         [](const TempDir& d, const std::string& e) {
             ExpectPicture(d.file("sub/real." + e));
             EXPECT_EQ(d.listing(), (std::vector<std::string>{"link." + e, "sub"}));
             EXPECT_EQ(std::distance(fs::directory_iterator(d.file("sub")), fs::directory_iterator()), 1);
         }},
        {"a link to a missing name creates the file it names",
         [](const TempDir& d, const std::string& e) {
             fs::create_symlink("new." + e, d.file("link." + e));
             return d.file("link." + e);
         },
         nullptr,
         [](const TempDir& d, const std::string& e) {
             EXPECT_TRUE(fs::is_symlink(d.file("link." + e)));
             ExpectPicture(d.file("new." + e));
         }},
        {"a link to a device is refused",
         [](const TempDir& d, const std::string& e) {
             fs::create_symlink("/dev/null", d.file("link." + e));
             return d.file("link." + e);
         },
         "it is a character device, not a regular file",
         [](const TempDir& d, const std::string& e) {
             EXPECT_TRUE(S_ISCHR(Mode("/dev/null")));
             EXPECT_EQ(d.listing(), std::vector<std::string>{"link." + e});
         }},
        {"a FIFO is refused", [](const TempDir& d, const std::string& e) {
             test::MakeFifo(d.file("f." + e));
             return d.file("f." + e);
         },
         "it is a FIFO, not a regular file",
         [](const TempDir& d, const std::string& e) { EXPECT_TRUE(S_ISFIFO(Mode(d.file("f." + e)))); }},
        {"a socket is refused", [](const TempDir& d, const std::string& e) {
             test::MakeSocketFile(d.file("s." + e));
             return d.file("s." + e);
         },
         "it is a socket, not a regular file",
         [](const TempDir& d, const std::string& e) { EXPECT_TRUE(S_ISSOCK(Mode(d.file("s." + e)))); }},
        {"a folder is refused", [](const TempDir& d, const std::string& e) {
             fs::create_directory(d.file("d." + e));
             return d.file("d." + e);
         },
         "it is a folder, not a regular file",
         [](const TempDir& d, const std::string& e) { EXPECT_EQ(d.listing(), std::vector<std::string>{"d." + e}); }},
        {"a replaced 0600 file stays 0600", [](const TempDir& d, const std::string& e) {
             test::WriteBytes(d.file("p." + e), std::string("old"));
             ::chmod(d.file("p." + e).c_str(), 0600);
             return d.file("p." + e);
         },
         nullptr,
         [](const TempDir& d, const std::string& e) {
             EXPECT_EQ(Mode(d.file("p." + e)) & 07777, 0600u);
             ExpectPicture(d.file("p." + e));
         }},
        {"a replaced 0754 file stays 0754", [](const TempDir& d, const std::string& e) {
             test::WriteBytes(d.file("p." + e), std::string("old"));
             ::chmod(d.file("p." + e).c_str(), 0754);
             return d.file("p." + e);
         },
         nullptr,
         [](const TempDir& d, const std::string& e) { EXPECT_EQ(Mode(d.file("p." + e)) & 07777, 0754u); }},
        {"a name that is not UTF-8 is used as it is", [&](const TempDir& d, const std::string& e) {
             test::WriteBytes(d.file(replaced + "." + e), std::string("keep"));
             return d.file(badName + "." + e);
         },
         nullptr,
         [&](const TempDir& d, const std::string& e) {
             ExpectPicture(d.file(badName + "." + e));
             EXPECT_EQ(Content(d.file(replaced + "." + e)), "keep");
         }},
        {"a 254-byte name fits with its temporary file", [](const TempDir& d, const std::string& e) {
             return d.file(std::string(250, 'n') + "." + e);
         },
         nullptr,
         [](const TempDir& d, const std::string& e) {
             EXPECT_EQ(d.listing(), std::vector<std::string>{std::string(250, 'n') + "." + e});
         }},
        {"a missing folder is refused with the system's reason",
         [](const TempDir& d, const std::string& e) { return d.file("none/x." + e); }, "No such file or directory",
         [](const TempDir& d, const std::string&) { EXPECT_TRUE(d.listing().empty()); }},
    };
    for (const char* ext : kExtensions) {
        for (const WriterCase& c : cases) {
            SCOPED_TRACE(std::string(ext) + ": " + c.name);
            TempDir dir;
            const std::string path = c.setup(dir, ext);
            const std::string error = Save(path);
            if (c.messagePart == nullptr) {
                EXPECT_EQ(error, "");
            } else {
                EXPECT_EQ(error.rfind("Cannot create file " + path + " (", 0), 0u) << error;
                EXPECT_NE(error.find(c.messagePart), std::string::npos) << error;
            }
            c.check(dir, ext);
        }
    }
}

// A new file gets 0666 less the umask, and the process's umask is left as it was.
TEST(FileWriters, NewFilesFollowTheUmask) {
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{077}}) {
        for (const char* ext : kExtensions) {
            TempDir dir;
            const mode_t old = ::umask(mask);
            const std::string error = Save(dir.file(std::string("n.") + ext));
            const mode_t after = ::umask(old);
            EXPECT_EQ(error, "");
            EXPECT_EQ(after, mask);
            EXPECT_EQ(Mode(dir.file(std::string("n.") + ext)) & 07777, 0666u & ~mask) << ext << " " << mask;
        }
    }
}

// A 0444 file the user may not write is refused in every format, untouched (as root, the
// save runs as another user).
TEST(FileWriters, ReadOnlyFilesOfOthersAreRefused) {
    for (const char* ext : kExtensions) {
        TempDir dir;
        ::chmod(dir.path().c_str(), 0777);  // the folder itself is open to everyone
        const std::string path = dir.file(std::string("ro.") + ext);
        test::WriteBytes(path, std::string("old"));
        ::chmod(path.c_str(), 0444);
        const int status = test::RunUnprivileged([&] {
            const std::string error = Save(path);
            return error.find("Cannot create file " + path + " (Permission denied)") == 0 ? 0 : 1;
        });
        EXPECT_EQ(status, 0) << ext;
        EXPECT_EQ(Content(path), "old");
        EXPECT_EQ(dir.listing(), std::vector<std::string>{std::string("ro.") + ext});
    }
}

// A write that fails midway reports the system's reason, in every format, and leaves the old
// file and no temporary file.
TEST(FileWriters, FailedWritesGiveTheSystemsReason) {
    for (const char* ext : kExtensions) {
        TempDir dir;
        const std::string path = dir.file(std::string("old.") + ext);
        test::WriteBytes(path, std::string("old"));
        const int status = test::RunInChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16, 16};  // files may not grow beyond 16 bytes
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
            const std::string error = Save(path);
            return error == "Cannot create file " + path + " (File too large)" ? 0 : 1;
        });
        EXPECT_EQ(status, 0) << ext;
        EXPECT_EQ(Content(path), "old");
        EXPECT_EQ(dir.listing(), std::vector<std::string>{std::string("old.") + ext});
    }
}

TEST(FileWriters, WorkNamesStayWithinTheNameLimit) {
    TempDir dir;
    const std::string suffix = RandomNameSuffix();
    EXPECT_EQ(suffix.size(), 6u);
    EXPECT_EQ(HiddenWorkName(dir.path(), "a.pgm", suffix), ".a.pgm.quillfen-" + suffix);
    const long limit = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
    for (const std::size_t length : {200u, 239u, 240u, 255u}) {
        const std::string name = HiddenWorkName(dir.path(), std::string(length, 'x'), suffix);
        EXPECT_LE(static_cast<long>(name.size()), limit) << length;
        EXPECT_EQ(name.substr(name.size() - 16), ".quillfen-" + suffix);
    }
    // A name is shortened between characters, never inside one (here three-byte Hangul).
    std::string hangul;
    for (int i = 0; i < 90; ++i) hangul += "\xED\x95\x9C";
    const std::string name = HiddenWorkName(dir.path(), hangul, suffix);
    const std::string kept = name.substr(1, name.size() - 17);
    EXPECT_EQ(kept.size() % 3, 0u);
    EXPECT_EQ(hangul.compare(0, kept.size(), kept), 0);
}

// A lock file is the run's plain file: an old one a killed run left is taken over; anything else
// under its name is refused with the lock file named and what to do, and the output untouched.
TEST(OutputLocks, WhatStandsInTheLockFilesPlaceIsNamed) {
    TempDir dir;
    const std::string out = dir.file("rows.jsonl");
    const std::string lock = dir.file(".rows.jsonl.quillfen-lock");
    test::WriteBytes(lock, std::string("12345 a run killed long ago\n"));
    {
        const OutputLock taken(out, "this run");
        EXPECT_EQ(Content(lock), std::to_string(::getpid()) + " this run\n");
    }
    EXPECT_FALSE(fs::exists(lock));
    const std::string remove = ", where a run makes a plain file and removes it again; remove it (no run of this program "
                               "is using it) and run again";
    auto refusal = [&] {
        try {
            const OutputLock claimed(out, "this run");
        } catch (const FileError& e) {
            return std::string(e.what());
        }
        return std::string("taken");
    };
    fs::create_symlink(dir.file("nowhere"), lock);
    EXPECT_EQ(refusal(), "Cannot lock file " + out + ": its lock file " + lock + " is a symbolic link" + remove);
    fs::remove(lock);
    fs::create_directory(lock);
    EXPECT_EQ(refusal(), "Cannot lock file " + out + ": its lock file " + lock + " is a folder" + remove);
    fs::remove(lock);
    test::MakeFifo(lock);
    EXPECT_EQ(refusal(), "Cannot lock file " + out + ": its lock file " + lock + " is a special file" + remove);
    fs::remove(lock);
    EXPECT_EQ(refusal(), "taken");
    EXPECT_EQ(dir.listing(), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillfen
