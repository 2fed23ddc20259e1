#pragma once

namespace quillfen::cli {

// Parses the command line, runs one command and returns the process exit code.
int Run(int argc, char** argv);

}  // namespace quillfen::cli
