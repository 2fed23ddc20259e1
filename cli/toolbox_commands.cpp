// quillfen-cli's toolbox commands (threshold, histogram, edge, thin, noise, invert, label),
// built from the toolbox catalogue: each loads INPUT, runs one operation on it, saves OUTPUT
// and prints the operation's report (toolbox_runner.h).
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/toolbox_runner.h"
#include "quillfen/image/number_format.h"
#include "quillfen/toolbox/catalogue.h"

namespace quillfen::cli {
namespace {

// Where an argument's option stores what the command line gives it.
struct Slot {
    std::string text;  // Percent (checked once the command line is parsed) and LowByte
    int number = 0;    // Count and NonNegative
    bool flag = false;
};

void AddOperation(CLI::App& parent, const toolbox::Operation& operation) {
    const std::vector<toolbox::Argument>& arguments = operation.arguments;
    auto slots = std::make_shared<std::vector<Slot>>(arguments.size());  // sized once: options keep pointers
    CLI::App* command = AddToolboxOperation(
        parent, operation.command, operation.help,
        ToolboxOperationFactory([&operation, slots]() -> ToolboxOperation {
            std::vector<int> values;
            for (std::size_t i = 0; i < operation.arguments.size(); ++i) {
                const toolbox::Argument& argument = operation.arguments[i];
                const Slot& slot = (*slots)[i];
                switch (argument.rule) {
                case toolbox::Rule::Percent: {
                    // The input box's refusal, then what exactly is wrong with the number.
                    std::string text = slot.text;
                    const std::string problem = CheckDecimal(text, 0, 100);
                    if (!problem.empty())
                        throw CommandFailure{kExitUsage, argument.refusal, {std::string(argument.option) + ": " + problem}};
                    values.push_back(*toolbox::Accept(argument, std::stoi(text)));
                    break;
                }
                case toolbox::Rule::LowByte: {
                    int entered = 0;  // the option has checked that it is a decimal number
                    values.push_back(*toolbox::Accept(
                        argument, TryParseInt(slot.text, entered) ? std::optional<int>(entered) : std::nullopt));
                    break;
                }
                case toolbox::Rule::Count:
                case toolbox::Rule::NonNegative: values.push_back(slot.number); break;
                case toolbox::Rule::Flag: values.push_back(slot.flag ? 1 : 0); break;
                }
            }
            return [&operation, values](TRixIPA& ipa) {
                const std::optional<Report> report = operation.run(ipa, values);
                return report ? report->Line() : std::string();
            };
        }));
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const toolbox::Argument& argument = arguments[i];
        Slot& slot = (*slots)[i];
        // Numbers are decimal only (CLI11 itself would read "010" as octal 8).
        switch (argument.rule) {
        case toolbox::Rule::Percent:
            slot.text = std::to_string(argument.initial);
            command->add_option(argument.option, slot.text, argument.help);
            break;
        case toolbox::Rule::LowByte:
            slot.text = std::to_string(argument.initial);
            command->add_option(argument.option, slot.text, argument.help)
                ->transform(DecimalNumber(-2147483648LL, 2147483647));
            break;
        case toolbox::Rule::Count:
        case toolbox::Rule::NonNegative: {
            const bool count = argument.rule == toolbox::Rule::Count;
            slot.number = argument.initial;
            command->add_option(argument.option, slot.number, argument.help)
                ->transform(count ? DecimalNumber(2, 3600) : DecimalNumber(0, 2147483647))
                ->capture_default_str();
            break;
        }
        case toolbox::Rule::Flag:
            slot.flag = argument.initial != 0;
            command->add_flag(argument.option, slot.flag, argument.help);
            break;
        }
    }
}

}  // namespace

void RegisterToolboxCommands(CLI::App& app) {
    for (const toolbox::CliCommand& entry : toolbox::CliCommands()) {
        if (entry.help == nullptr) {
            AddOperation(app, *toolbox::FindCommand("", entry.name));
            continue;
        }
        CLI::App* group = AddToolboxGroup(app, entry.name, entry.help);
        // The histogram window's figures come first in their group.
        if (std::string_view(entry.name) == "histogram") AddHistogramShow(*group);
        for (const toolbox::Operation& operation : toolbox::Operations())
            if (operation.group != nullptr && std::string_view(entry.name) == operation.group)
                AddOperation(*group, operation);
    }
}

}  // namespace quillfen::cli
