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
// File names are bytes: nothing here decodes or re-encodes them.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

// Follows symbolic links in the last component of `path` until a name that is not a link
// (which may not exist). Throws FileError "<what> <path> (<reason>)" for a loop or an
// unreadable link.
std::filesystem::path FollowLinks(const std::filesystem::path& path, const std::string& what);

// The hidden name of a temporary file or folder for `name` inside `folder`:
// ".<name>.quillfen-<suffix>", with `name` shortened (at a UTF-8 character boundary) when the
// whole would exceed the file system's limit on one name.
std::string HiddenWorkName(const std::filesystem::path& folder, const std::string& name,
                           const std::string& suffix);

// Six random letters and digits for a temporary name.
std::string RandomNameSuffix();

// Lower-cases ASCII letters, for the extension tests.
std::string AsciiLower(std::string text);

}  // namespace quillfen
