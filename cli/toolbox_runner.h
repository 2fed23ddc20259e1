#pragma once
// The shape shared by the toolbox commands: `quillfen-cli GROUP OP INPUT OUTPUT [options]`
// loads INPUT into a TRixIPA, runs one operation, writes OUTPUT and prints the operation's
// report line. A command family makes its group with AddToolboxGroup and adds one OP per
// operation with AddToolboxOperation.
#include <functional>
#include <string>

#include <CLI/CLI.hpp>

#include "quillfen/toolbox/rix_ipa.h"

namespace quillfen::cli {

// Runs one operation on the loaded image and returns its report line ("" for none). It may
// throw quillfen::Error (MathError for a degenerate image: exit 1) or CommandFailure.
using ToolboxOperation = std::function<std::string(TRixIPA& ipa)>;

// Called once the command line is parsed, before INPUT is read: checks the OP's own options
// (throwing CommandFailure for bad ones) and returns the operation to run.
using ToolboxOperationFactory = std::function<ToolboxOperation()>;

// Loads INPUT (any supported format), runs `operation`, writes OUTPUT in the format of its
// extension (8-bit when INPUT was an 8-bit file) and prints the report, if any. OUTPUT's
// extension is checked before anything is read; when the operation fails no file is written.
void RunToolboxOperation(const std::string& input, const std::string& output,
                         const ToolboxOperation& operation);

// A group subcommand (`threshold`, `histogram`, `edge`, ...) that requires one OP.
CLI::App* AddToolboxGroup(CLI::App& app, const std::string& name, const std::string& description);

// `GROUP NAME INPUT OUTPUT`. Returns the OP's subcommand so that the caller can add options;
// bind them to storage that the factory (or the operation) captures, e.g. a shared_ptr.
CLI::App* AddToolboxOperation(CLI::App& group, const std::string& name,
                              const std::string& description, ToolboxOperationFactory factory);
// The same for an operation without options.
CLI::App* AddToolboxOperation(CLI::App& group, const std::string& name,
                              const std::string& description, ToolboxOperation operation);

}  // namespace quillfen::cli
