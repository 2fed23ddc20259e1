#pragma once
// The command line's parser (CLI11) and what builds it: the option checks and the registration
// of each command family.
#include <cstdint>

#include <CLI/CLI.hpp>

#include "cli/cli_common.h"

namespace quillfen::cli {

// The same as an option check: `option->transform(DecimalNumber(2, 3600))` makes the option
// accept decimal numbers in 2..3600 only (CLI11 itself would read "010" as octal 8).
CLI::Validator DecimalNumber(std::int64_t min, std::int64_t max);

// The whole command line: the program's description, --version and every command family below,
// as quillfen-cli parses it and as its shell completions and manual pages are written from it
// (shell_files.cpp).
void RegisterCommands(CLI::App& app);

// Registration of each command family (one source file each).
void RegisterInfoCommand(CLI::App& app);
void RegisterExperimentCommand(CLI::App& app);
// `embed` and `extract`: marking real pictures with a key file (marking_commands.cpp).
void RegisterMarkingCommands(CLI::App& app);
// The toolbox commands, from the toolbox catalogue (toolbox_commands.cpp).
void RegisterToolboxCommands(CLI::App& app);
// `histogram show`, added to the histogram group (histogram_command.cpp).
void AddHistogramShow(CLI::App& group);
// `calibrate` and `robustness` (calibrate_command.cpp, robustness_command.cpp).
void RegisterCalibrateCommand(CLI::App& app);
void RegisterRobustnessCommand(CLI::App& app);
// `security`: attacks on a key from pictures marked with it (security_command.cpp).
void RegisterSecurityCommand(CLI::App& app);
// `attack`: a sweep's attacked pictures as files (attack_command.cpp).
void RegisterAttackCommand(CLI::App& app);

}  // namespace quillfen::cli
