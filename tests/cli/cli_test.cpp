#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

// Runs the CLI in-process and captures its standard output and error.
struct CliResult {
    int code;
    std::string out;
    std::string err;
};

CliResult RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), "quillfen-cli");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = cli::Run(static_cast<int>(argv.size()), argv.data());
    CliResult result{code, ::testing::internal::GetCapturedStdout(), ::testing::internal::GetCapturedStderr()};
    return result;
}

TEST(Cli, InfoPrintsSizeAndHistogramSummary) {
    const CliResult r = RunCli({"info", test::SamplePath("camera-256.pgm")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("size = 256 x 256"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("pixels = 65536"), std::string::npos);
}

TEST(Cli, UsageErrorsExitWithTwoAndOneLine) {
    CliResult r = RunCli({"info"});
    EXPECT_EQ(r.code, 2);
    r = RunCli({"no-such-command"});
    EXPECT_EQ(r.code, 2);
    r = RunCli({"info", "/nonexistent/file.pgm"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Cannot open file /nonexistent/file.pgm"), std::string::npos) << r.err;
}

TEST(Cli, HelpAndVersionSucceed) {
    EXPECT_EQ(RunCli({"--help"}).code, 0);
    const CliResult r = RunCli({"--version"});
    EXPECT_EQ(r.code, 0);
}

}  // namespace
}  // namespace quillfen
