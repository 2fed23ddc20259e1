#include "quillfen/image/detail/loadable_module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace quillfen {

namespace {

// The folder of the shared object that holds `address`; empty when it lies in the program
// itself (a static library linked into it: the loader's search through the program's run
// path finds the modules then) or cannot be told.
std::filesystem::path SharedObjectFolder(const void* address) {
    Dl_info info{};
    link_map* object = nullptr;
    if (address == nullptr || dladdr1(address, &info, reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) == 0 ||
        object == nullptr || object->l_name == nullptr || object->l_name[0] == '\0')
        return {};
    return std::filesystem::path(object->l_name).parent_path();
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
    const std::filesystem::path library = SharedObjectFolder(anchor);
    if (!library.empty()) {
        candidates.push_back((library / "quillfen" / moduleFile).string());
        candidates.push_back((library / moduleFile).string());
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
