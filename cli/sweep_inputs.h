#pragma once
// The inputs `calibrate` and `robustness` share: host pictures named by files and folders,
// the watermark, and the seed list.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "quillfen/benchmark/calibration.h"

namespace quillfen::cli {

struct HostFile {
    std::string Name;  // the file name, which rows and reports show
    std::filesystem::path Path;
};

// Each argument is a picture file or a folder; a folder gives every file in it (not in its
// subfolders) whose extension names a picture format. Every picture is read once here, so
// that an unreadable one is refused before any work (CommandFailure, exit 2), as is a folder
// without pictures or two pictures of the same file name. Sorted by file name, byte-wise.
std::vector<HostFile> FindHostPictures(const std::vector<std::string>& arguments);

// The watermark picture under its file name; exit 2 when it cannot be read, and when it has
// no black pixel where NC compares (every measure would be void).
NamedPicture LoadMarkOrFail(const std::string& path);

// ParseSeedList, its refusals as CommandFailure (exit 2) naming the option.
std::vector<std::uint32_t> SeedsOrFail(const std::string& option, const std::string& text);

// Before a long run, the checks an output file written at its end can have now: its folder
// exists and it is not itself a folder (CommandFailure, exit 2, naming the option).
void CheckOutputFile(const std::string& option, const std::string& path);

// The --jobs check: a decimal number of threads, 1..1024.
CLI::Validator JobCount();

}  // namespace quillfen::cli
