// Finds and loads the registration module on first use (see registration.h). No OpenCV here:
// this file is what keeps OpenCV out of programs until a picture is registered.
#include "watermark/registration.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "image/errors.h"

namespace quillfen {

namespace registration {

namespace {

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : program.parent_path();
}

std::vector<std::string> Candidates() {
    std::vector<std::string> candidates;
    const std::filesystem::path folder = ProgramFolder();
    if (!folder.empty()) {
        candidates.push_back((folder / kModuleFile).string());
        candidates.push_back((folder.parent_path() / "lib" / "quillfen" / kModuleFile).string());
    }
    candidates.push_back((std::filesystem::path(QF_REGISTRATION_BUILD_FOLDER) / kModuleFile).string());
    candidates.emplace_back(kModuleFile);
    return candidates;
}

}  // namespace

const Functions& LoadModuleFrom(const std::vector<std::string>& candidates) {
    std::string tried;
    std::string lastError;
    for (const std::string& candidate : candidates) {
        if (candidate.find('/') != std::string::npos && access(candidate.c_str(), F_OK) != 0) {
            tried += (tried.empty() ? "" : ", ") + candidate;
            continue;
        }
        // Kept loaded for the life of the process, like any library OpenCV itself loads.
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = dlerror();
            lastError = error != nullptr ? error : "unknown error";
            tried += (tried.empty() ? "" : ", ") + candidate;
            continue;
        }
        using Entry = const Functions* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(handle, kEntryPoint));
        if (entry == nullptr || entry() == nullptr)
            throw Error(std::string("registration: the module '") + candidate +
                        "' is not this version's registration module (no " + kEntryPoint + ")");
        return *entry();
    }
    throw Error(std::string("registration needs the module ") + kModuleFile + ", which could not be loaded (tried " +
                tried + ")" + (lastError.empty() ? std::string() : ": " + lastError));
}

}  // namespace registration

Registration RegisterAndUndo(const GrayPlane& suspect, const GrayPlane& reference) {
    for (const GrayPlane* plane : {&suspect, &reference})
        if (plane->width() < 32 || plane->height() < 32)
            throw ArgumentError("registration needs pictures of at least 32 x 32, not " +
                                std::to_string(plane->width()) + " x " + std::to_string(plane->height()));
    // A failed load throws out of the initialisation, so the next call tries again.
    static const registration::Functions& functions = registration::LoadModuleFrom(registration::Candidates());
    return functions.registerAndUndo(suspect, reference);
}

}  // namespace quillfen
