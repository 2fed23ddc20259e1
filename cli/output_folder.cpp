#include "cli/output_folder.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli_common.h"
#include "quillfen/io/file_write.h"

namespace quillfen::cli {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Refuse(const std::string& message) { throw CommandFailure{kExitUsage, "--out: " + message}; }

std::string Reason(int err) { return std::strerror(err); }

// 0 when the folder holds nothing, else an errno value (ENOTEMPTY when it holds something).
int EmptinessOf(const fs::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return errno;
    int result = 0;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            result = ENOTEMPTY;
            break;
        }
    }
    if (result == 0 && errno != 0) result = errno;
    ::closedir(dir);
    return result;
}

// True when `inner` is `outer` or lies inside it (both absolute, links resolved).
bool IsWithin(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty()) continue;  // a trailing separator
        if (i == inner.end() || *i != *o) return false;
    }
    return true;
}

}  // namespace

OutputFolder::OutputFolder(const std::string& given) : given_(given) {
    if (given.empty()) Refuse("the folder name is empty");
    fs::path path(given);
    while (path.has_relative_path() && path.filename().empty()) path = path.parent_path();  // "DIR/"

    struct stat info {};
    const int statError = ::stat(path.c_str(), &info) == 0 ? 0 : errno;
    if (statError == 0) {
        if (!S_ISDIR(info.st_mode)) Refuse("'" + given + "' exists and is not a folder");
        std::error_code ec;
        target_ = fs::canonical(path, ec);  // a link to a folder stands for that folder
        if (ec) Refuse("cannot use folder '" + given + "' (" + ec.message() + ")");
        const fs::path here = fs::canonical(fs::current_path(ec), ec);
        if (!ec && IsWithin(here, target_)) {
            Refuse("'" + given + "' is the working folder or holds it (give a new or an empty folder)");
        }
        const int emptiness = EmptinessOf(target_);
        if (emptiness == ENOTEMPTY) Refuse("folder '" + given + "' is not empty (give a new or an empty folder)");
        if (emptiness != 0) Refuse("cannot read folder '" + given + "' (" + Reason(emptiness) + ")");
        if (info.st_uid != ::geteuid() && ::geteuid() != 0) {
            Refuse("folder '" + given + "' belongs to another user (give a folder of your own or a new name)");
        }
        existing_ = true;
        mode_ = info.st_mode & 07777;
        owner_ = info.st_uid;
        group_ = info.st_gid;
    } else if (statError == ENOENT && !fs::is_symlink(path)) {
        const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
        std::error_code ec;
        if (!fs::is_directory(parent, ec)) {
            Refuse("cannot create folder '" + given + "': its parent folder does not exist");
        }
        long limit = ::pathconf(parent.c_str(), _PC_NAME_MAX);
        if (limit <= 0) limit = 255;
        if (path.filename().native().size() > static_cast<std::size_t>(limit)) {
            Refuse("cannot create folder '" + given + "' (" + Reason(ENAMETOOLONG) + ")");
        }
        target_ = fs::canonical(parent, ec) / path.filename();
        if (ec) Refuse("cannot create folder '" + given + "' (" + ec.message() + ")");
    } else if (statError == ENOENT) {
        Refuse("'" + given + "' is a link to a missing folder");
    } else {
        Refuse("cannot use folder '" + given + "' (" + Reason(statError) + ")");
    }

    const fs::path beside = target_.parent_path();
    for (int attempt = 0; work_.empty(); ++attempt) {
        const fs::path candidate = beside / HiddenWorkName(beside, target_.filename().native(), RandomNameSuffix());
        if (::mkdir(candidate.c_str(), 0777) == 0) {
            work_ = candidate;
        } else if (errno != EEXIST || attempt == 100) {
            Refuse("cannot create a folder beside '" + given + "' (" + Reason(errno) + ")");
        }
    }
}

OutputFolder::~OutputFolder() {
    if (committed_ || work_.empty()) return;
    std::error_code ignored;
    fs::remove_all(work_, ignored);
}

void OutputFolder::Commit() {
    int err = 0;
    if (existing_) {
        struct stat info {};
        if (::stat(work_.c_str(), &info) == 0 && (info.st_uid != owner_ || info.st_gid != group_)) {
            // The owner was checked up front; a group the user does not belong to cannot be kept.
            if (::chown(work_.c_str(), owner_, group_) != 0 && info.st_uid != owner_) err = errno;
        }
        if (err == 0 && ::chmod(work_.c_str(), mode_) != 0) err = errno;
    }
    // rename(2) replaces an empty folder in one step, so DIR is never missing or partial.
    if (err == 0 && ::rename(work_.c_str(), target_.c_str()) != 0) err = errno;
    if (err != 0) {
        std::error_code ignored;
        fs::remove_all(work_, ignored);
        work_.clear();
        Refuse("cannot put the views into '" + given_ + "' (" + Reason(err) + ")");
    }
    committed_ = true;
}

}  // namespace quillfen::cli
