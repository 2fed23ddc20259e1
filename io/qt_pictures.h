#pragma once
// The BMP and PNG half of the file layer, which needs Qt's image I/O.
//
// Loading Qt's libraries is most of a command's start-up time, so the readers and the writer
// live in a module of their own (libquillfen_qt_pictures.so) that the file layer loads the
// first time a BMP or PNG file is read or written: commands on PGM and JPEG files never load
// Qt. The module is looked for next to the program, in ../lib/quillfen beside the program's
// folder (an installed layout) and on the library path (which, in the build tree, holds the
// folder it is built in). Builds without Qt (the ARM64 build of the core) have no module and
// refuse BMP and PNG files with a clear message; fuzzing builds link it into the program.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/picture_files.h"

namespace quillfen::qt_pictures {

struct Functions {
    LoadedPicture (*read)(const std::string& path);
    LoadedPicture (*readMemory)(const std::uint8_t* data, std::size_t size, const std::string& name);
    void (*write)(const std::string& path, const Bitmap& bitmap, bool eightBit, PictureFormat format);
};

inline constexpr const char* kModuleFile = "libquillfen_qt_pictures.so";
// The module's one exported symbol: a C function returning its Functions. The version in
// the name changes whenever Functions does, so that a stale module is refused, not misused.
inline constexpr const char* kEntryPoint = "quillfen_qt_pictures_v1";

// The module's functions, loaded on first use. Throws FormatError, saying what is missing
// and where it was looked for, when this build has no module or it cannot be loaded.
const Functions& Load();

// Whether this build reads and writes BMP and PNG files at all.
bool Built();

// The loading itself, from the first of `candidates` (paths, or a bare file name for the
// dynamic loader to find) that loads; what Load does with the usual places. Builds that
// have no module to load do not define it.
const Functions& LoadModuleFrom(const std::vector<std::string>& candidates);

}  // namespace quillfen::qt_pictures
