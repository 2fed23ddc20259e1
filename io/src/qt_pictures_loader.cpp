// Finds and loads the Qt picture module on first use (see qt_pictures.h). No Qt here: this
// file is what keeps Qt out of programs until a BMP file comes along.
#include "quillfen/io/detail/qt_pictures.h"

#include "quillfen/image/errors.h"

#if QF_QT_PICTURES_MODULE
#include "quillfen/image/detail/loadable_module.h"
#endif

namespace quillfen::qt_pictures {

#if QF_QT_PICTURES_MODULE

const Functions& LoadModuleFrom(const std::vector<std::string>& candidates) {
    const ModuleLoad load = LoadModule(candidates, kEntryPoint);
    const Functions* functions = load.Table<Functions>();
    if (functions == nullptr && !load.Loaded.empty())
        throw FormatError(std::string("BMP files: the module '") + load.Loaded +
                          "' is not this version's Qt picture module (no " + kEntryPoint + ")");
    if (functions == nullptr)
        throw FormatError(std::string("BMP files need the Qt picture module ") + kModuleFile +
                          ", which could not be loaded" + load.TriedText());
    return *functions;
}

const Functions& Load() {
    // A failed load throws out of the initialisation, so the next call tries again.
    static const Functions& functions =
        LoadModuleFrom(ModuleCandidates(kModuleFile, reinterpret_cast<const void*>(&Load)));
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
