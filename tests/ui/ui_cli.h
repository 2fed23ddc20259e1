#pragma once
// quillfen-cli run in the window test's own process, for holding a window's files and numbers
// against the command line's. The window tests have no GoogleTest to capture the output with,
// so the standard streams are redirected around the run.
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace quillfen::test {

struct CliRun {
    int code = 0;
    std::string out;
    std::string err;
};

inline CliRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "quillfen-cli");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* savedOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* savedErr = std::cerr.rdbuf(err.rdbuf());
    const int code = cli::Run(static_cast<int>(argv.size()), argv.data());
    std::cout.rdbuf(savedOut);
    std::cerr.rdbuf(savedErr);
    return {code, out.str(), err.str()};
}

}  // namespace quillfen::test
