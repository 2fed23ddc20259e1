#pragma once
// The one way picture files are opened and saved, whatever their format.
//
// Reading never blocks: the file is opened without waiting (O_NONBLOCK) and anything but a
// regular file (folder, FIFO, socket, device) is refused before a byte is read.
//
// Saving never damages an existing file: the bytes go to a temporary file in the target's own
// folder, named ".NAME.quillfen-XXXXXX", which replaces the target only once everything was
// written. A symbolic link is followed and the file it points to is replaced (the link stays);
// a target that is, after the links, neither a regular file nor a missing name is refused
// untouched. A replaced file keeps its permission bits (and, where the system allows, its
// owner and group); a new file gets 0666 less the umask, as any program's new file does.
//
// Links are followed by this program itself (the file it points to is replaced), so the rule
// by which the kernel refuses to follow links in shared folders (protected_symlinks) is applied
// here too: a link in a sticky, world-writable folder (/tmp) that belongs neither to that
// folder's owner nor to the one running the program is refused, so that another user cannot
// plant one there and have a file of ours replaced.
//
// File names are bytes: nothing here decodes or re-encodes them.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// An open file descriptor, closed with its owner.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Opens a regular file for reading, blocking in no case. Throws FileError "Cannot open file
// <path> (<reason>)"; a folder, FIFO, socket or device gives the reason "it is a ..., not a
// regular file". `size`, when given, receives the file's size in bytes.
FileDescriptor OpenFileForReading(const std::filesystem::path& path, std::int64_t* size = nullptr);

// Reads a whole regular file (OpenFileForReading's rules); FileError when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Writes `bytes` to `path` atomically under the rules above. Throws FileError "Cannot create
// file <path> (<reason>)" when the file cannot be written; the old file, if any, is then
// untouched and no temporary file is left behind.
void WriteFileAtomically(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A file written whole at the end of a long run, with its temporary file made at the start:
// a target that cannot be written (a read-only folder, a device, a file of another user) is
// found before the work, not after it. The rules are WriteFileAtomically's, which is this
// class in one go.
class PendingFile {
public:
    // Checks the target and creates the temporary file beside it. FileError "Cannot create
    // file <path> (<reason>)" when either fails.
    explicit PendingFile(const std::filesystem::path& path);
    // Removes the temporary file unless it was committed.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Writes `bytes` into the temporary file and renames it over the target (FileError as
    // above; the target is then as it was). At most once.
    void Commit(const std::vector<std::uint8_t>& bytes);

private:
    std::filesystem::path path_;    // as given, for the messages
    std::filesystem::path target_;  // after the links
    std::filesystem::path temp_;
    FileDescriptor fd_;
    int slot_ = -1;  // in the list RemoveWorkFilesNow removes
};

// Follows symbolic links in the last component of `path` until a name that is not a link
// (which may not exist). Throws FileError "<what> <path> (<reason>)" for a loop, an
// unreadable link, or a link in a shared folder that the kernel would not follow (above).
std::filesystem::path FollowLinks(const std::filesystem::path& path, const std::string& what);

// The name a file is known by once every link is followed: the real folder and the last
// name after the links in it, whether or not the file exists. "rows.csv", "./rows.csv",
// "$PWD/rows.csv" and a link to it give one path. FileError as FollowLinks.
std::filesystem::path ResolvedFileName(const std::filesystem::path& path);

// Whether two names lead to one file: the same resolved name, or (hard links) one existing
// file. False when either cannot be resolved.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// A run's claim on an output file, so that two runs never write one file at once: the lock
// file ".NAME.quillfen-lock" beside the target (after the links), locked (flock) for as long
// as this object lives and holding the process id and `holder` (the command line). A second
// claim, by this or another process, is refused at once with FileError "'<path>' is in use by
// another run (process <pid>: <holder>)". The lock file is removed on release; a killed run
// leaves it behind unlocked, and the next claim takes it over.
class OutputLock {
public:
    OutputLock(const std::filesystem::path& path, const std::string& holder);
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

private:
    std::filesystem::path lockFile_;
    FileDescriptor fd_;
    int slot_ = -1;
};

// The hidden name of a temporary file or folder for `name` inside `folder`:
// ".<name>.quillfen-<suffix>", with `name` shortened (at a UTF-8 character boundary) when the
// whole would exceed the file system's limit on one name.
std::string HiddenWorkName(const std::filesystem::path& folder, const std::string& name,
                           const std::string& suffix);

// Removes the temporary files of the PendingFile objects alive and the lock files of the
// OutputLock objects alive, for a program's handler of SIGINT, SIGTERM and SIGHUP: a run
// stopped by the user leaves nothing behind. Async-signal-safe.
void RemoveWorkFilesNow();

// Six random letters and digits for a temporary name.
std::string RandomNameSuffix();

// Lower-cases ASCII letters, for the extension tests.
std::string AsciiLower(std::string text);

}  // namespace quillfen
QUILLFEN_API_END
