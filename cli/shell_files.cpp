// quillfen-cli-shell-files OUTDIR: the shell completions (bash, zsh, fish) and the manual pages
// of quillfen-cli, written from the program's own command-line definitions and catalogues (the
// commands and their options, the toolbox's operations, the attacks and the methods), so that
// they cannot drift from the program. Run by the build; its files are installed with the
// program (cli/CMakeLists.txt).
//
//   OUTDIR/quillfen-cli.bash, OUTDIR/_quillfen-cli (zsh), OUTDIR/quillfen-cli.fish
//   OUTDIR/man1/quillfen-cli.1 and OUTDIR/man1/quillfen-cli-COMMAND.1 for each command
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/experiment.h"

namespace quillfen::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "quillfen-cli";

// ---- What the program's definitions say ----

struct OptionInfo {
    std::vector<std::string> names;  // "-h", "--help"
    std::string value;               // the value's name ("" for a flag)
    std::string help;
};

struct CommandInfo {
    std::string path;  // "" for the program, "threshold ptile"
    std::string name;
    std::string help;
    std::string footer;
    std::vector<OptionInfo> options;
    std::vector<OptionInfo> positionals;
    std::vector<CommandInfo> commands;
};

CommandInfo Describe(CLI::App& app, const std::string& path) {
    CommandInfo info{path, app.get_name(), app.get_description(), app.get_footer(), {}, {}, {}};
    for (const CLI::Option* option : app.get_options()) {
        OptionInfo o;
        o.help = option->get_description();
        if (!option->nonpositional()) {
            o.names.push_back(option->get_name());
            info.positionals.push_back(o);
            continue;
        }
        for (const std::string& s : option->get_snames()) o.names.push_back("-" + s);
        for (const std::string& l : option->get_lnames()) o.names.push_back("--" + l);
        if (option->get_items_expected_max() > 0) o.value = "VALUE";
        info.options.push_back(o);
    }
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
        info.commands.push_back(Describe(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name()));
    return info;
}

void Collect(const CommandInfo& command, std::vector<const CommandInfo*>& all) {
    all.push_back(&command);
    for (const CommandInfo& sub : command.commands) Collect(sub, all);
}

// The values an option (or a command's first positional, named "") takes from a catalogue,
// and whether they are written as lists ("real-jpeg:q=50,median:k=3", "none,jpeg").
struct Values {
    std::vector<std::string> words;
    bool list = false;
};

std::map<std::pair<std::string, std::string>, Values> CatalogueValues(const std::vector<const CommandInfo*>& all) {
    std::vector<std::string> attacks, experimentAttacks, methods;
    for (const AttackInfo& a : AttackCatalogue()) attacks.emplace_back(a.Name);
    for (const Step step : Experiment::Attacks()) experimentAttacks.emplace_back(Experiment::Info(step).id);
    for (const auto& m : MethodRegistry::BuiltIn().Entries()) methods.emplace_back(m->Name);
    std::map<std::pair<std::string, std::string>, Values> values;
    for (const CommandInfo* command : all)
        for (const OptionInfo& option : command->options)
            for (const std::string& name : option.names) {
                if (name == "--attacks") values[{command->path, name}] = {attacks, true};
                if (name == "--method") values[{command->path, name}] = {methods, false};
                if (name == "--attack" && command->path == "experiment")
                    values[{command->path, name}] = {experimentAttacks, true};
            }
    values[{"attack", ""}] = {attacks, true};  // attack LIST PICTURE...
    return values;
}

std::string Joined(const std::vector<std::string>& words, const char* between = " ") {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : between) + w;
    return text;
}

std::vector<std::string> SubcommandNames(const CommandInfo& command) {
    std::vector<std::string> names;
    for (const CommandInfo& sub : command.commands) names.push_back(sub.name);
    return names;
}

std::vector<std::string> OptionNames(const CommandInfo& command) {
    std::vector<std::string> names;
    for (const OptionInfo& option : command.options) names.insert(names.end(), option.names.begin(), option.names.end());
    return names;
}

// A text in single quotes for any of the three shells ('it'\''s').
std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string FishQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

// ---- bash and zsh: one set of lookup functions by command path ----

// The case arms of a lookup by command path: `"threshold") reply=(mean ptile ...);;`.
std::string CaseArms(const std::vector<const CommandInfo*>& all,
                     const std::vector<std::string> (*words)(const CommandInfo&)) {
    std::string text;
    for (const CommandInfo* command : all) {
        const std::vector<std::string> listed = words(*command);
        if (listed.empty()) continue;
        text += "    " + ShellQuoted(command->path) + ") reply=(" + Joined(listed) + ") ;;\n";
    }
    return text;
}

std::string ValueArms(const std::map<std::pair<std::string, std::string>, Values>& values) {
    std::string text;
    for (const auto& [key, v] : values)
        text += "    " + ShellQuoted(key.first + " " + key.second) + ") reply=(" + Joined(v.words) + "); list=" +
                (v.list ? "1" : "0") + " ;;\n";
    return text;
}

std::string TakesValueArms(const std::vector<const CommandInfo*>& all) {
    std::string words;
    for (const CommandInfo* command : all)
        for (const OptionInfo& option : command->options)
            if (!option.value.empty())
                for (const std::string& name : option.names)
                    words += (words.empty() ? "" : "|") + ShellQuoted(command->path + " " + name);
    return words.empty() ? "" : "    " + words + ") return 0 ;;\n";
}

const std::vector<std::string> Subs(const CommandInfo& c) { return SubcommandNames(c); }
const std::vector<std::string> Opts(const CommandInfo& c) { return OptionNames(c); }

// The lookups both shells share (POSIX case statements over arrays, which bash and zsh read
// alike).
std::string Lookups(const std::vector<const CommandInfo*>& all,
                    const std::map<std::pair<std::string, std::string>, Values>& values) {
    return "# The commands below a command path (\"\" is the program), its options, the values an\n"
           "# option takes from the catalogues (list=1: a comma- or plus-separated list of them), and\n"
           "# the options that take a value.\n"
           "_quillfen_cli_commands() {\n  reply=()\n  case $1 in\n" +
           CaseArms(all, Subs) + "  esac\n}\n\n_quillfen_cli_options() {\n  reply=()\n  case $1 in\n" +
           CaseArms(all, Opts) +
           "  esac\n}\n\n_quillfen_cli_values() {\n  reply=()\n  list=0\n  case \"$1 $2\" in\n" + ValueArms(values) +
           "  esac\n}\n\n_quillfen_cli_takes_value() {\n  case \"$1 $2\" in\n" + TakesValueArms(all) +
           "  esac\n  return 1\n}\n";
}

std::string Header(const char* comment) {
    return std::string(comment) + " Completion of quillfen-cli's commands, options and catalogue names.\n" + comment +
           " Written by quillfen-cli-shell-files from the program's own definitions: do not edit.\n";
}

std::string BashFile(const std::vector<const CommandInfo*>& all,
                     const std::map<std::pair<std::string, std::string>, Values>& values) {
    return Header("#") + "\n" + Lookups(all, values) + R"(
_quillfen_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local path="" after=0 i w list reply
  # The command path: the words that name a command below the one before.
  for ((i = 1; i < COMP_CWORD; i++)); do
    w=${COMP_WORDS[i]}
    _quillfen_cli_commands "$path"
    if [[ " ${reply[*]} " == *" $w "* ]]; then
      path=${path:+$path }$w
      after=$i
    fi
  done
  COMPREPLY=()
  _quillfen_cli_values "$path" "$prev"
  # A command's first word (attack LIST) or an option's value from a catalogue.
  if ((${#reply[@]} == 0)) && ((after == COMP_CWORD - 1)) && [[ $cur != -* ]]; then
    _quillfen_cli_values "$path" ""
  fi
  if ((${#reply[@]} > 0)); then
    local start="" word=$cur
    if ((list)); then
      word=${cur##*[,+]}
      start=${cur:0:${#cur}-${#word}}
      compopt -o nospace 2>/dev/null
    fi
    COMPREPLY=($(compgen -P "$start" -W "${reply[*]}" -- "$word"))
    return 0
  fi
  if _quillfen_cli_takes_value "$path" "$prev"; then
    COMPREPLY=($(compgen -f -- "$cur"))
    return 0
  fi
  if [[ $cur == -* ]]; then
    _quillfen_cli_options "$path"
    COMPREPLY=($(compgen -W "${reply[*]}" -- "$cur"))
    return 0
  fi
  _quillfen_cli_commands "$path"
  if ((${#reply[@]} > 0)); then
    COMPREPLY=($(compgen -W "${reply[*]}" -- "$cur"))
    return 0
  fi
  COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _quillfen_cli quillfen-cli
)";
}

std::string ZshFile(const std::vector<const CommandInfo*>& all,
                    const std::map<std::pair<std::string, std::string>, Values>& values) {
    return "#compdef quillfen-cli\n" + Header("#") + "\n" + Lookups(all, values) + R"(
_quillfen-cli() {
  # cmdpath, not path: zsh ties path to PATH.
  local cmdpath="" after=1 i w list
  local -a reply
  local cur=${words[CURRENT]} prev=${words[CURRENT-1]}
  for ((i = 2; i < CURRENT; i++)); do
    w=${words[i]}
    _quillfen_cli_commands "$cmdpath"
    if (( ${reply[(Ie)$w]} )); then
      cmdpath=${cmdpath:+$cmdpath }$w
      after=$i
    fi
  done
  _quillfen_cli_values "$cmdpath" "$prev"
  if (( ${#reply} == 0 && after == CURRENT - 1 )) && [[ $cur != -* ]]; then
    _quillfen_cli_values "$cmdpath" ""
  fi
  if (( ${#reply} > 0 )); then
    if (( list )); then
      compset -P '*[,+]'
      compadd -S '' -a reply
    else
      compadd -a reply
    fi
    return
  fi
  if _quillfen_cli_takes_value "$cmdpath" "$prev"; then
    _files
    return
  fi
  if [[ $cur == -* ]]; then
    _quillfen_cli_options "$cmdpath"
    compadd -a reply
    return
  fi
  _quillfen_cli_commands "$cmdpath"
  if (( ${#reply} > 0 )); then
    compadd -a reply
    return
  fi
  _files
}

_quillfen-cli "$@"
)";
}

// ---- fish: one `complete` line per command, option and value list ----

std::string FishFile(const std::vector<const CommandInfo*>& all,
                     const std::map<std::pair<std::string, std::string>, Values>& values) {
    std::string text = Header("#") + "\n";
    text += "# The command path so far: the words that name a command below the one before.\n";
    text += "function __quillfen_cli_path\n";
    text += "    set -l words (commandline -opc)\n    set -l path ''\n";
    text += "    for w in $words[2..-1]\n        set -l below (__quillfen_cli_commands $path)\n";
    text += "        if contains -- $w $below\n            set path (string trim -- \"$path $w\")\n        end\n";
    text += "    end\n    echo $path\nend\n\n";
    text += "function __quillfen_cli_commands\n    switch \"$argv\"\n";
    for (const CommandInfo* command : all) {
        if (command->commands.empty()) continue;
        text += "        case " + FishQuoted(command->path) + "\n            echo " + Joined(SubcommandNames(*command)) +
                " | string split ' '\n";
    }
    text += "    end\nend\n\n";
    text += "function __quillfen_cli_at\n    test (__quillfen_cli_path) = \"$argv\"\nend\n\n";
    text += "complete -c quillfen-cli -f\n";
    for (const CommandInfo* command : all) {
        const std::string at = "-n " + FishQuoted("__quillfen_cli_at " + ShellQuoted(command->path));
        for (const CommandInfo& sub : command->commands)
            text += "complete -c quillfen-cli " + at + " -a " + FishQuoted(sub.name) + " -d " +
                    FishQuoted(sub.help.substr(0, 80)) + "\n";
        // Pictures and other files where the command takes them.
        if (!command->positionals.empty() && command->commands.empty())
            text += "complete -c quillfen-cli " + at + " -F\n";
        for (const OptionInfo& option : command->options) {
            std::string line = "complete -c quillfen-cli " + at;
            for (const std::string& name : option.names)
                line += name.rfind("--", 0) == 0 ? " -l " + name.substr(2) : " -s " + name.substr(1);
            const std::string longName = option.names.empty() ? "" : option.names.back();
            const auto found = values.find({command->path, longName});
            if (found != values.end()) line += " -x -a " + FishQuoted(Joined(found->second.words));
            else if (!option.value.empty()) line += " -r -F";
            line += " -d " + FishQuoted(option.help.substr(0, 80));
            text += line + "\n";
        }
        const auto first = values.find({command->path, ""});
        if (first != values.end())
            text += "complete -c quillfen-cli " + at + " -a " + FishQuoted(Joined(first->second.words)) + "\n";
    }
    return text;
}

// ---- manual pages ----

// Text for roff: backslashes written as \e, a line that would start a request kept as text.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        else if (c == ' ') c = '-';
    return text;
}

std::string OptionsSection(const CommandInfo& command) {
    std::string text;
    for (const OptionInfo& p : command.positionals) text += ".TP\n.I " + Roff(p.names.front()) + "\n" + Roff(p.help) + "\n";
    for (const OptionInfo& o : command.options) {
        text += ".TP\n.B " + Roff(Joined(o.names, ", "));
        if (!o.value.empty()) text += " \" \\fI" + o.value + "\\fR\"";
        text += "\n" + Roff(o.help) + "\n";
    }
    return text;
}

std::string Synopsis(const CommandInfo& command) {
    std::string text = ".B " + Roff(std::string(kProgram) + (command.path.empty() ? "" : " " + command.path)) + "\n";
    if (!command.commands.empty()) return text + ".I " + (command.path.empty() ? "COMMAND" : "OPERATION") + "\n[\\fIOPTIONS\\fR]\n";
    text += "[\\fIOPTIONS\\fR]";
    for (const OptionInfo& p : command.positionals) text += " \\fI" + Roff(p.names.front()) + "\\fR";
    return text + "\n";
}

std::string ManPage(const CommandInfo& command, const CommandInfo& program) {
    const std::string title = command.path.empty() ? kProgram : std::string(kProgram) + "-" + Upper(command.path);
    const std::string name = command.path.empty() ? kProgram : std::string(kProgram) + " " + command.path;
    std::string text = ".\\\" Written by quillfen-cli-shell-files from the program's own definitions: do not edit.\n";
    text += ".TH " + Upper(title) + " 1 \"\" \"" + kProgramVersion + "\" \"Quillfen\"\n";
    text += ".SH NAME\n" + Roff(name) + " \\- " + Roff(command.help) + "\n";
    text += ".SH SYNOPSIS\n" + Synopsis(command);
    if (command.path.empty()) {
        text += ".SH DESCRIPTION\n" + Roff(command.help) + ".\nEach command has a page of its own, "
                "\\fBquillfen\\-cli\\-\\fICOMMAND\\fR(1), and prints its help with \\fB\\-\\-help\\fR.\n";
        text += ".SH COMMANDS\n";
        for (const CommandInfo& sub : command.commands)
            text += ".TP\n.B " + Roff(sub.name) + "\n" + Roff(sub.help) + "\n";
    } else {
        text += ".SH DESCRIPTION\n" + Roff(command.help) + "\n";
        if (!command.footer.empty()) text += ".PP\n" + Roff(command.footer) + "\n";
    }
    if (!command.options.empty() || !command.positionals.empty()) text += ".SH OPTIONS\n" + OptionsSection(command);
    if (!command.commands.empty() && !command.path.empty()) {
        text += ".SH OPERATIONS\n";
        for (const CommandInfo& op : command.commands) {
            text += ".SS " + Roff(op.name) + "\n" + Roff(op.help) + "\n.PP\n" + Synopsis(op) + ".RS\n" +
                    OptionsSection(op) + ".RE\n";
        }
    }
    text += ".SH EXIT STATUS\n0 on success; 1 when the work could not be done on this input; 2 for bad usage or a "
            "file that cannot be read or written (one line on standard error names it).\n";
    text += ".SH SEE ALSO\n";
    if (command.path.empty()) {
        std::string pages;
        for (const CommandInfo& sub : program.commands)
            pages += (pages.empty() ? "" : ",\n") + std::string(".BR quillfen\\-cli\\-") + Roff(sub.name) + " (1)";
        text += pages + "\n";
    } else {
        text += ".BR quillfen\\-cli (1)\n";
    }
    return text;
}

void Write(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace
}  // namespace quillfen::cli

int main(int argc, char** argv) {
    using namespace quillfen::cli;
    if (argc != 2) {
        std::cerr << "usage: quillfen-cli-shell-files OUTDIR\n";
        return 2;
    }
    try {
        CLI::App app{"", kProgram};
        RegisterCommands(app);
        const CommandInfo program = Describe(app, "");
        std::vector<const CommandInfo*> all;
        Collect(program, all);
        const auto values = CatalogueValues(all);
        const fs::path out = argv[1];
        fs::create_directories(out / "man1");
        Write(out / "quillfen-cli.bash", BashFile(all, values));
        Write(out / "_quillfen-cli", ZshFile(all, values));
        Write(out / "quillfen-cli.fish", FishFile(all, values));
        Write(out / "man1" / "quillfen-cli.1", ManPage(program, program));
        for (const CommandInfo& command : program.commands)
            Write(out / "man1" / ("quillfen-cli-" + command.name + ".1"), ManPage(command, program));
    } catch (const std::exception& e) {
        std::cerr << "quillfen-cli-shell-files: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
