#include "cli/toolbox_runner.h"

#include <memory>

#include "cli/commands.h"
#include "quillfen/image/errors.h"

namespace quillfen::cli {

void RunToolboxOperation(const std::string& input, const std::string& output,
                         const ToolboxOperation& operation) {
    // Refuse an unwritable format before any work is done.
    if (FormatFromFileName(output) == PictureFormat::Unknown)
        throw CommandFailure{kExitUsage, "Cannot save " + output +
                                             ": unknown picture format (use .bmp, .png, .jpg, .jpeg or .pgm)"};
    bool eightBit = false;
    TRixIPA ipa = LoadIpaOrFail(input, &eightBit);
    const std::string report = operation(ipa);
    SavePictureOrFail(output, ipa.CreateBitmap(), eightBit);
    if (!report.empty()) PrintLine(report);
}

CLI::App* AddToolboxGroup(CLI::App& app, const std::string& name, const std::string& description) {
    CLI::App* group = app.add_subcommand(name, description);
    group->require_subcommand(1);
    return group;
}

CLI::App* AddToolboxOperation(CLI::App& group, const std::string& name,
                              const std::string& description, ToolboxOperationFactory factory) {
    auto input = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    CLI::App* cmd = group.add_subcommand(name, description);
    cmd->add_option("INPUT", *input, "picture file (.pgm, .bmp, .png, .jpg, .jpeg)")->required();
    cmd->add_option("OUTPUT", *output, "result picture, format by extension")->required();
    cmd->callback([input, output, factory = std::move(factory)] {
        const ToolboxOperation operation = factory();
        RunToolboxOperation(*input, *output, operation);
    });
    return cmd;
}

CLI::App* AddToolboxOperation(CLI::App& group, const std::string& name,
                              const std::string& description, ToolboxOperation operation) {
    return AddToolboxOperation(group, name, description,
                               ToolboxOperationFactory([operation = std::move(operation)] { return operation; }));
}

}  // namespace quillfen::cli
