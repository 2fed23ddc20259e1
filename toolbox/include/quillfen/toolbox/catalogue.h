#pragma once
// The toolbox catalogue: every image operation of the desktop program's popup menu and of
// quillfen-cli, once. Each entry gives the operation's menu action and caption, its command
// under quillfen-cli with the help text, its arguments with their rule, input boxes and
// options, the TRixIPA operation to run and the report it makes. The popup menu, the CLI's
// toolbox commands and their help, and the tests that hold the two front ends against each
// other are all built from this list, so the window and the command line cannot disagree.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/gray_view.h"
#include "quillfen/image/report.h"
#include "quillfen/toolbox/rix_ipa.h"

QUILLFEN_API_BEGIN
namespace quillfen::toolbox {

// How an entered whole number becomes an argument's value.
enum class Rule {
    Percent,      // 0..100; anything else (or no number at all) is refused
    LowByte,      // any whole number, taken as its low eight bits; no number counts as 0
    Count,        // 2..3600 (the core refuses anything else)
    NonNegative,  // 0 or more (the core refuses anything else)
    Flag,         // 0 (off) or 1 (on)
};

struct Argument {
    const char* option;   // the quillfen-cli option, "--percent"
    const char* help;     // its help text
    int initial;          // the value the input box (or dialog) starts from, and the CLI's default
    Rule rule;
    const char* caption;  // the input box's caption; nullptr when the operation's dialog asks
    const char* prompt;   // the input box's prompt
    const char* refusal;  // what the user is told about a refused value (Rule::Percent)
};

// How the desktop program asks for the arguments.
enum class Asks {
    Nothing,
    InputBoxes,   // one input box per argument, in order
    HoughDialog,  // the Hough parameter dialog, for the six arguments in order
};

// Runs the operation on the image with the arguments' values (in argument order) and returns
// its report, if it has one. Errors of the operation (MathError, ArgumentError,
// TooManyObjectsError) pass through with the image unchanged.
using Run = std::optional<Report> (*)(TRixIPA& image, const std::vector<int>& values);

struct Operation {
    const char* action;   // the popup menu's action, "Kapur1E"
    const char* caption;  // its menu entry, "Kapur"
    const char* menu;     // the submenu it sits in, "Segmentation (Threshold)/Entropy"
    const char* group;    // the quillfen-cli command group; nullptr for a command of its own
    const char* command;  // its quillfen-cli name, "kapur"
    const char* help;     // quillfen-cli's help text for it
    Asks asks;
    std::vector<Argument> arguments;
    Run run;
};

// A quillfen-cli command holding toolbox operations: a group of them (with its help), or,
// with help nullptr, the one operation whose command has that name.
struct CliCommand {
    const char* name;
    const char* help;
};

// Every operation, in the order of the popup menu.
const std::vector<Operation>& Operations();
// The toolbox commands of quillfen-cli, in the order its help lists them.
const std::vector<CliCommand>& CliCommands();

// The operation of a menu action, or of a CLI command (group nullptr or empty for a command
// of its own); nullptr when there is none.
const Operation* FindAction(std::string_view action);
const Operation* FindCommand(std::string_view group, std::string_view command);

// For a command typed in a group (group empty for the commands of their own) that is none of
// its operations: "did you mean 'gray-level' (largest between-class variance)?", offering the
// operations whose names are near the typed one and those known elsewhere by it ("otsu"); ""
// when none is.
std::string CommandSuggestion(std::string_view group, std::string_view typed);

// The arguments' initial values.
std::vector<int> InitialValues(const Operation& operation);

// The value an argument takes from what the user entered (nullopt when the entry is not a
// whole number); nullopt when the argument's rule refuses it.
std::optional<int> Accept(const Argument& argument, std::optional<int> entered);

// An operation's result on a caller's picture: the new picture and the report, if any.
struct Applied {
    GrayPlane picture;
    std::optional<Report> report;
};

// Runs the operation on a copy of `picture`, with `values` for its arguments in their order
// (none: the initial values), each taken through Accept. ArgumentError for a wrong number of
// values, a value its argument's rule refuses, or a view CheckView refuses; the operation's
// own errors (MathError, TooManyObjectsError, ...) pass through.
Applied Apply(const Operation& operation, const GrayView& picture, std::vector<int> values = {});

}  // namespace quillfen::toolbox
QUILLFEN_API_END
