#include "quillfen/image/loadable_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

namespace quillfen {

namespace {

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : program.parent_path();
}

}  // namespace

std::vector<std::string> ModuleCandidates(const std::string& moduleFile, const std::string& buildFolder) {
    std::vector<std::string> candidates;
    const std::filesystem::path folder = ProgramFolder();
    if (!folder.empty()) {
        candidates.push_back((folder / moduleFile).string());
        candidates.push_back((folder.parent_path() / "lib" / "quillfen" / moduleFile).string());
    }
    candidates.push_back((std::filesystem::path(buildFolder) / moduleFile).string());
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
