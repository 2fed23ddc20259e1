#pragma once
// Saving never damages an existing file: the bytes go to a temporary file beside the target,
// which replaces the target only once everything was written.
#include <cstdint>
#include <string>
#include <vector>

namespace quillfen {

// Writes `bytes` to `path` atomically. Throws FileError "Cannot create file <path>" (with
// the system's reason) when the file cannot be written; the old file is then untouched and
// no temporary file is left behind.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Reads a whole file; FileError "Cannot open file <path>" when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Lower-cases ASCII letters, for the extension tests.
std::string AsciiLower(std::string text);

}  // namespace quillfen
