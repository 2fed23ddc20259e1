#include "cli/cli_app.h"

#include <iostream>
#include <stdexcept>

#include "cli/cli_common.h"
#include "image/errors.h"
#include "image/vector_targets.h"

namespace quillfen::cli {

int Run(int argc, char** argv) {
    // QF_HWY_TARGET runs the vector loops on a lesser instruction set (same bytes, other speed).
    try {
        vector_targets::UseTargetFromEnvironment();
    } catch (const std::invalid_argument& e) {
        std::cerr << "quillfen-cli: " << e.what() << '\n';
        return kExitUsage;
    }
    CLI::App app{"Quillfen: DCT-domain watermarking laboratory and gray-image toolbox", "quillfen-cli"};
    // The version, and which instruction set the vector loops run on here (the speed of the
    // engine depends on it, never its results).
    app.set_version_flag("--version", [] { return "quillfen-cli 0.1.0\n" + vector_targets::Summary(); });
    app.require_subcommand(1);
    RegisterInfoCommand(app);
    RegisterExperimentCommand(app);
    RegisterThresholdCommand(app);
    RegisterHistogramCommand(app);
    RegisterEdgeCommand(app);
    RegisterThinCommand(app);
    RegisterNoiseCommand(app);
    RegisterInvertCommand(app);
    RegisterLabelCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        std::cerr << "quillfen-cli: " << e.what() << " (see quillfen-cli --help)\n";
        return kExitUsage;
    } catch (const CommandFailure& failure) {
        if (!failure.message.empty()) std::cerr << "quillfen-cli: " << failure.message << '\n';
        return failure.exitCode;
    } catch (const Error& e) {
        std::cerr << "quillfen-cli: " << e.what() << '\n';
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        std::cerr << "quillfen-cli: out of memory\n";
        return kExitFailed;
    } catch (const std::exception& e) {
        std::cerr << "quillfen-cli: " << e.what() << '\n';
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace quillfen::cli
