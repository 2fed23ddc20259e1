#pragma once
// Shared plumbing of quillfen-cli's commands: exit codes, failures, and loading and saving
// pictures by extension.
#include <string>

#include <CLI/CLI.hpp>

#include "io/picture_files.h"
#include "image/rix_ipa.h"

namespace quillfen::cli {

// 0 success; 1 the operation could not run on this input (nothing written); 2 bad usage or
// an unreadable or unwritable file.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Thrown by a command to end with a message on stderr and an exit code. An empty message
// prints nothing (for failures the operation has already told the user about).
struct CommandFailure {
    int exitCode;
    std::string message;
};

// Loads a picture file; failures become CommandFailure with exit code 2.
LoadedPicture LoadPictureOrFail(const std::string& path);
// Saves a picture file; failures become CommandFailure with exit code 2.
void SavePictureOrFail(const std::string& path, const Bitmap& bitmap, bool eightBit);

// A working image loaded from a picture file; `eightBit`, when given, tells whether the file
// was an 8-bit one (so that results can be saved the same way).
TRixIPA LoadIpaOrFail(const std::string& path, bool* eightBit = nullptr);

// The one place commands print their reports, so that tests can capture them.
void PrintLine(const std::string& line);

// Registration of each command family (one source file each).
void RegisterInfoCommand(CLI::App& app);
void RegisterExperimentCommand(CLI::App& app);
// The toolbox commands, from the toolbox catalogue (toolbox_commands.cpp).
void RegisterToolboxCommands(CLI::App& app);
// `histogram show`, added to the histogram group (histogram_command.cpp).
void AddHistogramShow(CLI::App& group);

}  // namespace quillfen::cli
