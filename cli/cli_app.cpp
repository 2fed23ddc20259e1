#include "cli/cli_app.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string_view>

#include "cli/commands.h"
#include "quillfen/image/detail/suggestions.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/vector_targets.h"
#include "quillfen/toolbox/catalogue.h"

namespace quillfen::cli {

namespace {

std::vector<CLI::App*> Subcommands(CLI::App& app) {
    return app.get_subcommands([](CLI::App*) { return true; });
}

std::string NameList(const std::vector<CLI::App*>& apps) {
    std::string names;
    for (const CLI::App* sub : apps) names += (names.empty() ? "" : ", ") + sub->get_name();
    return names;
}

// ", did you mean ...?" for a word that names no command of `parent` (the program or a group):
// the toolbox's names and the names it knows its operations by elsewhere first, then any
// command's.
std::string CommandHint(CLI::App& parent, bool top, const std::string& word) {
    std::string hint = toolbox::CommandSuggestion(top ? std::string() : parent.get_name(), word);
    if (hint.empty()) {
        std::vector<std::string> names;
        for (const CLI::App* sub : Subcommands(parent)) names.push_back(sub->get_name());
        hint = DidYouMean(word, names);
    }
    return hint.empty() ? hint : ", " + hint;
}

// Before the parser sees the words, checks that each command word names a command (and each
// operation word an operation of its group), so that a typing error is named as such rather
// than reported as a missing command. Stops at the first command without subcommands: its
// own arguments are the parser's business.
void CheckCommandWords(CLI::App& app, int argc, char** argv) {
    CLI::App* current = &app;
    bool sawWord = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") break;
        if (word == "-h" || word == "--help" || word == "--version") return;  // the parser answers
        if (word.size() > 1 && word[0] == '-') continue;  // an option: the parser checks it
        const std::vector<CLI::App*> subs = Subcommands(*current);
        if (subs.empty()) return;
        CLI::App* found = nullptr;
        for (CLI::App* sub : subs) {
            if (sub->get_name() == word) found = sub;
        }
        if (found == nullptr) {
            const std::string hint = CommandHint(*current, current == &app, word);
            if (current == &app)
                throw CommandFailure{kExitUsage,
                                     "unknown command '" + word + "'" + hint + " (commands: " + NameList(subs) + ")"};
            throw CommandFailure{kExitUsage, current->get_name() + ": unknown operation '" + word + "'" + hint +
                                                 " (operations: " + NameList(subs) + ")"};
        }
        current = found;
        sawWord = true;
    }
    const std::vector<CLI::App*> subs = Subcommands(*current);
    if (subs.empty() || current->get_require_subcommand_min() == 0) return;
    if (!sawWord) throw CommandFailure{kExitUsage, "no command given (commands: " + NameList(subs) + ")"};
    throw CommandFailure{kExitUsage, current->get_name() + ": no operation given (operations: " + NameList(subs) + ")"};
}

int Report(const CommandFailure& failure) {
    if (!failure.message.empty()) PrintErrorLine(failure.message);
    for (const std::string& line : failure.moreLines) PrintErrorLine(line);
    return failure.exitCode;
}

int ParseAndRun(CLI::App& app, int argc, char** argv) {
    try {
        CheckCommandWords(app, argc, argv);
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        PrintErrorLine(std::string(e.what()) + " (see quillfen-cli --help)");
        return kExitUsage;
    } catch (const CommandFailure& failure) {
        return Report(failure);
    } catch (const Error& e) {
        PrintErrorLine(e.what());
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        PrintErrorLine("out of memory");
        return kExitFailed;
    } catch (const std::exception& e) {
        PrintErrorLine(e.what());
        return kExitFailed;
    }
    return kExitOk;
}

// The version, and which instruction set the vector loops run on here (the speed of the
// engine depends on it, never its results).
std::string VersionText() { return std::string(kProgramVersion) + "\n" + vector_targets::Summary(); }

using Registration = void (*)(CLI::App&);

// Each command family with the commands it registers, in the order of the help.
struct Family {
    Registration add;
    std::vector<std::string> commands;
};

std::vector<Family> Families() {
    std::vector<std::string> toolboxCommands;
    for (const toolbox::CliCommand& command : toolbox::CliCommands()) toolboxCommands.emplace_back(command.name);
    return {{RegisterInfoCommand, {"info"}},
            {RegisterExperimentCommand, {"experiment"}},
            {RegisterMarkingCommands, {"embed", "extract"}},
            {RegisterToolboxCommands, toolboxCommands},
            {RegisterCalibrateCommand, {"calibrate"}},
            {RegisterRobustnessCommand, {"robustness"}},
            {RegisterSecurityCommand, {"security"}},
            {RegisterAttackCommand, {"attack"}}};
}

// The command word of the command line, or "" when the program's own help or version comes
// first or no word is given.
std::string CommandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--" || word == "-h" || word == "--help" || word == "--version") return "";
        if (word.size() > 1 && word[0] == '-') continue;
        return std::string(word);
    }
    return "";
}

void RegisterProgram(CLI::App& app) {
    app.description("Quillfen: DCT-domain watermarking laboratory and gray-image toolbox");
    app.set_version_flag("--version", [] { return VersionText(); });
    app.require_subcommand(1);
}

int BuildAndRun(int argc, char** argv) {
    CLI::App app{"", "quillfen-cli"};
    // A run of one command builds the parser of its family alone: the others' (their options,
    // checks and help texts, some made from the catalogues) would cost the start of every run.
    // Without a known command word, every family is there for the help and the messages.
    const std::string word = CommandWord(argc, argv);
    for (const Family& family : Families()) {
        if (std::find(family.commands.begin(), family.commands.end(), word) == family.commands.end()) continue;
        RegisterProgram(app);
        family.add(app);
        return ParseAndRun(app, argc, argv);
    }
    RegisterCommands(app);
    return ParseAndRun(app, argc, argv);
}

}  // namespace

void RegisterCommands(CLI::App& app) {
    RegisterProgram(app);
    for (const Family& family : Families()) family.add(app);
}

CLI::Validator DecimalNumber(std::int64_t min, std::int64_t max) {
    return CLI::Validator([min, max](std::string& text) { return CheckDecimal(text, min, max); },
                          "decimal " + std::to_string(min) + ".." + std::to_string(max));
}

int Run(int argc, char** argv) {
    // QF_HWY_TARGET runs the vector loops on a lesser instruction set (same bytes, other speed).
    try {
        vector_targets::UseTargetFromEnvironment();
    } catch (const std::invalid_argument& e) {
        PrintErrorLine(e.what());
        return kExitUsage;
    }
    SetCommandLine(argc, argv);

    StartReport();
    // `--version` alone is answered without building the parser of every command, which costs
    // more than the answer (the parser would print the same line).
    int code = kExitOk;
    if (argc == 2 && std::string_view(argv[1]) == "--version")
        PrintLine(VersionText());
    else
        code = BuildAndRun(argc, argv);
    // A report that did not reach its reader is a failure, never a success.
    std::string reason;
    if (!FinishReport(reason)) {
        PrintErrorLine("cannot write to standard output (" + reason + ")");
        if (code == kExitOk) code = kExitUsage;
    }
    return code;
}

}  // namespace quillfen::cli
