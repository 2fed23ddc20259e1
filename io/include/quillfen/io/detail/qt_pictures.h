#pragma once
// The part of the file layer that needs Qt: decoding and encoding BMP files through Qt's image
// I/O (after bmp.h's checks of the file).
//
// Loading Qt's libraries is most of a command's start-up time, so the decoder and the encoder
// live in a module of their own (libquillfen_qt_pictures.so) that the file layer loads the
// first time a BMP file is read or written: commands on PGM, PNG and JPEG files never load
// Qt. The module is looked for as quillfen/image/detail/loadable_module.h says: in
// QUILLFEN_MODULE_PATH, beside the file layer's shared library, then through the run path of
// the program. Builds without Qt (the ARM64 build of the core) have no module and refuse BMP
// files with a clear message; fuzzing builds link it into the program.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/io/picture_files.h"

QUILLFEN_API_BEGIN
namespace quillfen::qt_pictures {

struct Functions {
    // The picture of a BMP file's bytes (already checked by CheckBmpData); `name` is used in
    // the messages. Throws FormatError.
    LoadedPicture (*decodeBmp)(const std::uint8_t* data, std::size_t size, const std::string& name);
    // The bytes of a BMP file, 24-bit or, with `eightBit`, 8-bit with the gray palette; `path`
    // is used in the messages. Throws FileError.
    std::vector<std::uint8_t> (*encodeBmp)(const Bitmap& bitmap, bool eightBit, const std::filesystem::path& path);
};

inline constexpr const char* kModuleFile = "libquillfen_qt_pictures.so";
// The module's one exported symbol: a C function returning its Functions. The version in
// the name changes whenever Functions does, so that a stale module is refused, not misused.
inline constexpr const char* kEntryPoint = "quillfen_qt_pictures_v1";

// The module's functions, loaded on first use. Throws FormatError, saying what is missing
// and where it was looked for, when this build has no module or it cannot be loaded.
const Functions& Load();

// Whether this build reads and writes BMP files at all.
bool Built();

// The loading itself, from the first of `candidates` (paths, or a bare file name for the
// dynamic loader to find) that loads; what Load does with the usual places. Builds that
// have no module to load do not define it.
const Functions& LoadModuleFrom(const std::vector<std::string>& candidates);

}  // namespace quillfen::qt_pictures
QUILLFEN_API_END
