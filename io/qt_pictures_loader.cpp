// Finds and loads the Qt picture module on first use (see qt_pictures.h). No Qt here: this
// file is what keeps Qt out of programs until a BMP file comes along.
#include "io/qt_pictures.h"

#include "image/errors.h"

#if QF_QT_PICTURES_MODULE
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#endif

namespace quillfen::qt_pictures {

#if QF_QT_PICTURES_MODULE

namespace {

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : program.parent_path();
}

// Where the module may be, in the order tried: beside the program, in an installed layout,
// in the build tree that made this program, and last the bare name, so that the dynamic
// loader's own search (LD_LIBRARY_PATH, the system's folders) decides.
std::vector<std::string> Candidates() {
    std::vector<std::string> candidates;
    const std::filesystem::path folder = ProgramFolder();
    if (!folder.empty()) {
        candidates.push_back((folder / kModuleFile).string());
        candidates.push_back((folder.parent_path() / "lib" / "quillfen" / kModuleFile).string());
    }
    candidates.push_back((std::filesystem::path(QF_QT_PICTURES_BUILD_FOLDER) / kModuleFile).string());
    candidates.emplace_back(kModuleFile);
    return candidates;
}

}  // namespace

const Functions& LoadModuleFrom(const std::vector<std::string>& candidates) {
    std::string tried;
    std::string lastError;
    for (const std::string& candidate : candidates) {
        // An explicit path that does not exist is not worth a loader message.
        if (candidate.find('/') != std::string::npos && access(candidate.c_str(), F_OK) != 0) {
            tried += (tried.empty() ? "" : ", ") + candidate;
            continue;
        }
        // Kept loaded for the life of the process: Qt cannot be unloaded safely.
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
            throw FormatError(std::string("BMP files: the module '") + candidate +
                              "' is not this version's Qt picture module (no " + kEntryPoint + ")");
        return *entry();
    }
    throw FormatError(std::string("BMP files need the Qt picture module ") + kModuleFile +
                      ", which could not be loaded (tried " + tried + ")" +
                      (lastError.empty() ? std::string() : ": " + lastError));
}

const Functions& Load() {
    // A failed load throws out of the initialisation, so the next call tries again.
    static const Functions& functions = LoadModuleFrom(Candidates());
    return functions;
}

bool Built() { return true; }

#elif !QF_QT_PICTURES_LINKED

const Functions& LoadModuleFrom(const std::vector<std::string>&) {
    throw FormatError("BMP files are not supported by this build (it was made without Qt); "
                      "use PGM, PNG or JPEG files");
}

const Functions& Load() { return LoadModuleFrom({}); }

bool Built() { return false; }

#endif

}  // namespace quillfen::qt_pictures
