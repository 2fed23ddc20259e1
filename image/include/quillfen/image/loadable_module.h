#pragma once
// Optional parts of the program (Qt's BMP codec, the OpenCV registration) are shared modules
// loaded on first use, so that a command that never needs them starts without loading their
// libraries. This is the one way such a module is found and opened; each user turns a failure
// into its own message.
#include <string>
#include <vector>

namespace quillfen {

// Where a module file may be, in the order tried: beside the program, in an installed layout
// (../lib/quillfen/), in the build tree that made the program, and last the bare name, so that
// the dynamic loader's own search (LD_LIBRARY_PATH, the system's folders) decides.
std::vector<std::string> ModuleCandidates(const std::string& moduleFile, const std::string& buildFolder);

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
