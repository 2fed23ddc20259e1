// quillfen-cli: the Quillfen engine from the shell.
#include <csignal>

#include "cli/cli_app.h"
#include "quillfen/io/file_write.h"
#include "quillfen/methods/method_command.h"

namespace {

// A run stopped from the keyboard or by its job system kills the methods' programs it runs
// (each in a process group of its own, which the terminal's signal does not reach), removes
// their folders and its own temporary and lock files, then ends as the signal would have
// ended it.
void Stopped(int signal) {
    quillfen::StopMethodCommandsNow();
    quillfen::RemoveWorkFilesNow();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe on standard output becomes a write error that is reported (exit 2),
    // rather than a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, Stopped);
    return quillfen::cli::Run(argc, argv);
}
