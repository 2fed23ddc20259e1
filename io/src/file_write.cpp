#include "quillfen/io/file_write.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "quillfen/image/errors.h"

namespace quillfen {

namespace fs = std::filesystem;

namespace {

std::string Reason(int err) { return std::strerror(err); }

// What a file that is not a regular file is, for the messages.
std::string NotRegularReason(mode_t mode) {
    const char* kind = "a special file";
    if (S_ISDIR(mode)) kind = "a folder";
    else if (S_ISFIFO(mode)) kind = "a FIFO";
    else if (S_ISSOCK(mode)) kind = "a socket";
    else if (S_ISCHR(mode)) kind = "a character device";
    else if (S_ISBLK(mode)) kind = "a block device";
    return std::string("it is ") + kind + ", not a regular file";
}

// "<what> <path> (<reason>)", with the system's error number (0: none) and the path.
FileError Failure(const std::string& what, const fs::path& path, const std::string& reason, int err = 0) {
    return FileError(what + " " + path.string() + " (" + reason + ")", err, path.string());
}

FileError Failure(const std::string& what, const fs::path& path, int err) {
    return Failure(what, path, Reason(err), err);
}

// The same for a name that is no regular file: a folder is the system's EISDIR, the others have
// no error number of their own.
FileError NotRegular(const std::string& what, const fs::path& path, mode_t mode) {
    return FileError(what + " " + path.string() + " (" + NotRegularReason(mode) + ")", S_ISDIR(mode) ? EISDIR : 0,
                     path.string());
}

// Length in bytes of the UTF-8 sequence a lead byte starts; 1 for anything else.
std::size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

// Cuts `text` to at most `limit` bytes without leaving a partial UTF-8 character at its end.
std::string CutAtCharacter(std::string text, std::size_t limit) {
    if (text.size() <= limit) return text;
    text.resize(limit);
    std::size_t lead = text.size();
    for (int steps = 0; lead > 0 && steps < 4; ++steps) {
        --lead;
        if ((static_cast<unsigned char>(text[lead]) & 0xC0) != 0x80) break;
    }
    const std::size_t expected = Utf8Length(static_cast<unsigned char>(text[lead]));
    if (expected > 1 && text.size() - lead < expected) text.resize(lead);
    return text;
}

// The work files a stopped program must remove: names that stay valid while registered.
constexpr int kWorkFileSlots = 64;
std::atomic<const char*> gWorkFiles[kWorkFileSlots];

int RegisterWorkFile(const fs::path& path) {
    for (int i = 0; i < kWorkFileSlots; ++i) {
        const char* expected = nullptr;
        if (gWorkFiles[i].compare_exchange_strong(expected, path.c_str())) return i;
    }
    return -1;  // more than can be tracked: such a file is left behind if the program is stopped
}

void UnregisterWorkFile(int& slot) {
    if (slot >= 0) gWorkFiles[slot].store(nullptr);
    slot = -1;
}

}  // namespace

void RemoveWorkFilesNow() {
    for (std::atomic<const char*>& file : gWorkFiles)
        if (const char* name = file.load()) ::unlink(name);
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor OpenFileForReading(const fs::path& path, std::int64_t* size) {
    const std::string what = "Cannot open file";
    // Look before opening: opening a device may have effects of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) throw Failure(what, path, errno);
    if (!S_ISREG(info.st_mode)) throw NotRegular(what, path, info.st_mode);
    // O_NONBLOCK: should the name have become a FIFO meanwhile, open() must not wait for a
    // writer; fstat() then tells what was opened.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) throw Failure(what, path, errno);
    if (::fstat(fd.get(), &info) != 0) throw Failure(what, path, errno);
    if (!S_ISREG(info.st_mode)) throw NotRegular(what, path, info.st_mode);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    if (size) *size = static_cast<std::int64_t>(info.st_size);
    return fd;
}

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path) {
    std::int64_t size = 0;
    const FileDescriptor fd = OpenFileForReading(path, &size);
    std::vector<std::uint8_t> bytes;
    // The size is a hint only (the file may change while it is read), and a huge one must not
    // be reserved up front.
    bytes.reserve(static_cast<std::size_t>(std::min<std::int64_t>(size, std::int64_t{256} << 20)));
    std::vector<std::uint8_t> chunk(std::size_t{1} << 16);
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Failure("Cannot read file", path, errno);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    }
    return bytes;
}

namespace {

// The kernel's protected_symlinks rule, for the links this program follows itself: a link in
// a sticky, world-writable folder is followed only when it belongs to the folder's owner or
// to whoever follows it.
void RefuseForeignLinkInSharedFolder(const fs::path& link, const struct stat& info, const std::string& what,
                                     const fs::path& path) {
    const fs::path folder = link.parent_path().empty() ? fs::path(".") : link.parent_path();
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) return;
    const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
    if (!shared || info.st_uid == dir.st_uid || info.st_uid == ::geteuid()) return;
    throw Failure(what, path,
                  "it is a symbolic link in the shared folder " + folder.string() +
                      " that belongs to another user; such links are not followed",
                  EACCES);  // what the kernel answers for such a link
}

}  // namespace

fs::path FollowLinks(const fs::path& path, const std::string& what) {
    fs::path current = path;
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        if (hops == 40) throw Failure(what, path, ELOOP);
        RefuseForeignLinkInSharedFolder(current, info, what, path);
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        ssize_t n = 0;
        for (;;) {
            n = ::readlink(current.c_str(), target.data(), target.size());
            if (n < 0) throw Failure(what, path, errno);
            if (static_cast<std::size_t>(n) < target.size()) break;
            target.resize(target.size() * 2);  // the link changed meanwhile
        }
        target.resize(static_cast<std::size_t>(n));
        const fs::path next(target);
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
}

fs::path ResolvedFileName(const fs::path& path) {
    const fs::path target = FollowLinks(path, "Cannot resolve");
    std::error_code error;
    const fs::path name = target.filename();
    if (name.empty() || name == "." || name == "..") {
        const fs::path whole = fs::weakly_canonical(fs::absolute(target, error), error);
        return error ? target : whole;
    }
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const fs::path real = fs::weakly_canonical(fs::absolute(folder, error), error);
    return (error ? folder : real) / name;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    if (a == b) return true;
    try {
        if (ResolvedFileName(a) == ResolvedFileName(b)) return true;
    } catch (const Error&) {
        return false;
    }
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

std::string HiddenWorkName(const fs::path& folder, const std::string& name, const std::string& suffix) {
    long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = 255;
    const std::string tail = ".quillfen-" + suffix;
    const std::size_t room = static_cast<std::size_t>(limit) > tail.size() + 2
                                 ? static_cast<std::size_t>(limit) - tail.size() - 1
                                 : 1;
    std::string hidden(1, '.');
    hidden += CutAtCharacter(name, room);
    hidden += tail;
    return hidden;
}

std::string RandomNameSuffix() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::string suffix(6, 'x');
    for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
    return suffix;
}

void WriteFileAtomically(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    PendingFile(path).Commit(bytes);
}

namespace {

// The target as it is now: false when it does not exist; FileError when it is no regular
// file or one we may not write.
bool ExistingTarget(const fs::path& target, const fs::path& path, const std::string& what, struct stat& old) {
    if (::stat(target.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode)) throw NotRegular(what, path, old.st_mode);
        // The rename needs only the folder's permission; the file's own must count too.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) throw Failure(what, path, errno);
        return true;
    }
    if (errno != ENOENT) throw Failure(what, path, errno);
    return false;
}

constexpr const char* kCreate = "Cannot create file";

}  // namespace

PendingFile::PendingFile(const fs::path& path) : path_(path), target_(FollowLinks(path, kCreate)) {
    struct stat old {};
    ExistingTarget(target_, path_, kCreate, old);
    const std::string name = target_.filename().native();
    if (name.empty() || name == "." || name == "..") throw Failure(kCreate, path_, EISDIR);
    const fs::path folder = target_.parent_path();
    // Created exclusively, with the permissions a new file gets (the kernel applies the umask).
    for (int attempt = 0; fd_.get() < 0; ++attempt) {
        temp_ = folder / HiddenWorkName(folder, name, RandomNameSuffix());
        fd_ = FileDescriptor(::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (fd_.get() < 0 && (errno != EEXIST || attempt == 100)) {
            const int err = errno;
            temp_.clear();
            throw Failure(kCreate, path_, err);
        }
    }
    slot_ = RegisterWorkFile(temp_);
}

PendingFile::~PendingFile() {
    UnregisterWorkFile(slot_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void PendingFile::Commit(const std::vector<std::uint8_t>& bytes) {
    if (temp_.empty()) throw Failure(kCreate, path_, "it was written already");
    int err = 0;
    struct stat old {};
    bool replacing = false;
    UnregisterWorkFile(slot_);
    try {
        // Looked at again: the target may have changed during the run.
        replacing = ExistingTarget(target_, path_, kCreate, old);
    } catch (const FileError&) {
        ::unlink(temp_.c_str());
        temp_.clear();
        throw;
    }
    if (replacing) {
        struct stat mine {};
        if (::fstat(fd_.get(), &mine) == 0 && (mine.st_uid != old.st_uid || mine.st_gid != old.st_gid)) {
            // Keeping the owner is possible only for the superuser, the group only for its
            // members; otherwise the file becomes ours, as with any editor's save.
            if (::fchown(fd_.get(), old.st_uid, old.st_gid) != 0) {
                const int groupOnly = ::fchown(fd_.get(), static_cast<uid_t>(-1), old.st_gid);
                (void)groupOnly;
            }
        }
        if (::fchmod(fd_.get(), old.st_mode & 07777) != 0) err = errno;
    }
    std::size_t done = 0;
    while (err == 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // When an existing file is replaced, its new content must be on the disk before the
    // rename: otherwise a crash could leave an empty file where the old one was.
    if (err == 0 && replacing && ::fsync(fd_.get()) != 0) err = errno;
    if (::close(fd_.release()) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp_.c_str());
        temp_.clear();
        throw Failure(kCreate, path_, err);
    }
    temp_.clear();
}

namespace {

// Why the lock file of `path` cannot be taken, naming it and what to do: a run makes it as a
// plain file and removes it, so anything else under its name was put there otherwise.
FileError LockFailure(const fs::path& path, const fs::path& lockFile, int err) {
    std::string message = "Cannot lock file " + path.string() + ": its lock file " + lockFile.string();
    struct stat info {};
    if (::lstat(lockFile.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        const char* kind = S_ISLNK(info.st_mode)   ? "a symbolic link"
                           : S_ISDIR(info.st_mode) ? "a folder"
                                                   : "a special file";
        message += " is ";
        message += kind;
        message += ", where a run makes a plain file and removes it again; remove it (no run of this program is "
                   "using it) and run again";
    } else {
        message += " cannot be made or opened (" + Reason(err) + ")";
        if (err == EACCES || err == EPERM || err == EROFS)
            message += "; the folder must let you create files, as the output itself needs";
    }
    return FileError(message);
}

}  // namespace

OutputLock::OutputLock(const fs::path& path, const std::string& holder) {
    const std::string what = "Cannot lock file";
    const fs::path target = ResolvedFileName(path);
    const fs::path folder = target.parent_path();
    lockFile_ = folder / HiddenWorkName(folder, target.filename().native(), "lock");
    for (int attempt = 0;; ++attempt) {
        FileDescriptor fd(::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666));
        if (fd.get() < 0) throw LockFailure(path, lockFile_, errno);
        struct stat opened {};
        if (::fstat(fd.get(), &opened) == 0 && !S_ISREG(opened.st_mode)) throw LockFailure(path, lockFile_, EINVAL);
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            if (err != EWOULDBLOCK) throw Failure(what, path, err);
            // The holder wrote who it is; it may not have yet.
            char text[512] = {};
            const ssize_t n = ::pread(fd.get(), text, sizeof text - 1, 0);
            std::string running = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
            while (!running.empty() && (running.back() == '\n' || running.back() == '\r')) running.pop_back();
            // Appended piece by piece (GCC 12 warns falsely about "x" + std::string here).
            std::string message = "'";
            message += path.string();
            message += "' is in use by another run";
            if (!running.empty()) {
                const std::size_t space = running.find(' ');
                message += " (process ";
                message += running.substr(0, space);
                if (space != std::string::npos) {
                    message += ": ";
                    message += running.substr(space + 1);
                }
                message += ')';
            }
            message += "; wait for it to end, or choose another file";
            lockFile_.clear();
            throw FileError(message);
        }
        // The lock file may have been removed by the run that held it just before we locked it:
        // ours must still be the one under its name.
        struct stat mine {}, named {};
        if (::fstat(fd.get(), &mine) == 0 && ::stat(lockFile_.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
            mine.st_ino == named.st_ino) {
            fd_ = std::move(fd);
            break;
        }
        if (attempt == 100) throw Failure(what, path, EAGAIN);
    }
    slot_ = RegisterWorkFile(lockFile_);
    const std::string text = std::to_string(::getpid()) + " " + holder + "\n";
    if (::ftruncate(fd_.get(), 0) == 0) {
        const ssize_t written = ::pwrite(fd_.get(), text.data(), text.size(), 0);
        (void)written;  // who holds it is for the message only
    }
}

OutputLock::~OutputLock() {
    UnregisterWorkFile(slot_);
    // Removed while still locked, so that no other run takes a lock on a name that goes.
    if (!lockFile_.empty() && fd_.get() >= 0) ::unlink(lockFile_.c_str());
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace quillfen
