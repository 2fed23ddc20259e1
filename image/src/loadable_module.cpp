#include "quillfen/image/detail/loadable_module.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace quillfen {

namespace {

// The folder of the file the program was started from: the path execve received, made
// absolute against the working folder the program started in. Taken when the library is
// loaded, before a program can change its working folder; empty when it cannot be told.
std::filesystem::path StartedProgramFolder() {
    const auto* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    if (started == nullptr || *started == '\0') return {};
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::absolute(started, ec);
    return ec ? std::filesystem::path() : program.parent_path();
}

const std::filesystem::path kProgramFolder = StartedProgramFolder();

// The file of the object that holds `address`: a shared object's path, or nothing for the
// program itself (whose name the loader does not record) or an address it cannot place.
bool InSharedObject(const void* address, std::filesystem::path& file) {
    Dl_info info{};
    link_map* object = nullptr;
    if (address == nullptr || dladdr1(address, &info, reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) == 0 ||
        object == nullptr || object->l_name == nullptr || object->l_name[0] == '\0')
        return false;
    file = object->l_name;
    return true;
}

}  // namespace

std::vector<std::string> ModuleCandidates(const std::string& moduleFile, const void* anchor) {
    std::vector<std::string> candidates;
    if (const char* path = std::getenv(kModulePathVariable)) {
        std::string_view folders(path);
        while (!folders.empty()) {
            const std::size_t colon = folders.find(':');
            const std::string_view folder = folders.substr(0, colon);
            if (!folder.empty()) candidates.push_back((std::filesystem::path(folder) / moduleFile).string());
            folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        }
    }
    std::filesystem::path library;
    if (InSharedObject(anchor, library)) {
        candidates.push_back((library.parent_path() / "quillfen" / moduleFile).string());
        candidates.push_back((library.parent_path() / moduleFile).string());
    } else if (anchor != nullptr && !kProgramFolder.empty()) {
        candidates.push_back((kProgramFolder / QF_PROGRAM_TO_MODULES / moduleFile).lexically_normal().string());
    }
    candidates.push_back(moduleFile);
    return candidates;
}

std::string ModuleLoad::TriedText() const {
    return " (tried " + Tried + ")" + (LastError.empty() ? std::string() : ": " + LastError);
}

ModuleLoad LoadModule(const std::vector<std::string>& candidates, const char* entryPoint) {
    ModuleLoad load;
    for (const std::string& candidate : candidates) {
        // An explicit path that does not exist is not worth a loader message.
        if (candidate.find('/') != std::string::npos && access(candidate.c_str(), F_OK) != 0) {
            load.Tried += (load.Tried.empty() ? "" : ", ") + candidate;
            continue;
        }
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = dlerror();
            load.LastError = error != nullptr ? error : "unknown error";
            load.Tried += (load.Tried.empty() ? "" : ", ") + candidate;
            continue;
        }
        load.Loaded = candidate;
        load.Entry = dlsym(handle, entryPoint);
        return load;
    }
    return load;
}

}  // namespace quillfen
