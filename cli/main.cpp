// quillfen-cli: the Quillfen engine from the shell.
#include <csignal>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
    // A closed pipe on standard output becomes a write error that is reported (exit 2),
    // rather than a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    return quillfen::cli::Run(argc, argv);
}
