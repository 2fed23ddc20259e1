#pragma once
// Runs quillfen-cli in-process, capturing what it prints, for the command-line tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace quillfen::test {

// The null trials of a key's own calibration that tests which do not look at it ask embed for:
// the fewest it takes, a small fraction of the default's time.
inline const std::string kFewTrials = "100";

struct CliResult {
    int code;
    std::string out;
    std::string err;
};

inline CliResult RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), "quillfen-cli");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = cli::Run(static_cast<int>(argv.size()), argv.data());
    CliResult result{code, ::testing::internal::GetCapturedStdout(), ::testing::internal::GetCapturedStderr()};
    return result;
}

}  // namespace quillfen::test
