#pragma once
// Optional parts of the program (Qt's BMP codec, the OpenCV registration) are shared modules
// loaded on first use, so that a command that never needs them starts without loading their
// libraries. This is the one way such a module is found and opened; each user turns a failure
// into its own message.
#include <string>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// The environment variable that names folders (separated by ':') in which modules are looked
// for before anywhere else.
inline constexpr const char* kModulePathVariable = "QUILLFEN_MODULE_PATH";

// Where a module file may be, in the order tried:
//   1. each folder of QUILLFEN_MODULE_PATH;
//   2. beside the library that loads the module, found through dladdr on `anchor` (a function
//      of that library):
//      - in a shared object, its folder's quillfen/ (where an installed prefix keeps the
//        modules beside the libraries, and the build tree's lib/ the same way), then the
//        folder itself;
//      - linked into the program (a static library), the program's ../lib/quillfen/ (the
//        platform's library folder in place of lib/): where the prefix's bin/ and the build
//        tree's program folders find them; the program's file is the one it was started
//        from, taken as the program starts;
//   3. the bare name, for the dynamic loader's own search: the run path of the object that
//      loads it (a program linked to the installed static libraries carries the prefix's
//      module folder), LD_LIBRARY_PATH and the system's folders.
// A library inside another program (an interpreter, say) therefore looks beside itself, never
// beside that program.
std::vector<std::string> ModuleCandidates(const std::string& moduleFile, const void* anchor);

struct ModuleLoad {
    std::string Loaded;     // the candidate that loaded, empty when none did
    void* Entry = nullptr;  // its entry point, null when it has none (a foreign library)
    std::string Tried;      // the candidates that did not load, comma-separated
    std::string LastError;  // the loader's message for the last of them

    // The module's table: its entry point called through its own type. Null when nothing
    // loaded, or when what loaded is not the expected module.
    template <class Functions>
    const Functions* Table() const {
        using EntryFunction = const Functions* (*)();
        return Entry != nullptr ? reinterpret_cast<EntryFunction>(Entry)() : nullptr;
    }

    // " (tried A, B): reason" for a message about a module that could not be loaded.
    std::string TriedText() const;
};

// Opens the first candidate that loads and looks up its entry point, a function without
// arguments returning a pointer to the module's table of functions. A module once opened
// stays loaded for the life of the process (Qt and OpenCV cannot be unloaded safely).
ModuleLoad LoadModule(const std::vector<std::string>& candidates, const char* entryPoint);

}  // namespace quillfen
QUILLFEN_API_END
