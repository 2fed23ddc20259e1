#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quillfen/image/vector_targets.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

TEST(Cli, InfoPrintsSizeAndHistogramSummary) {
    const CliResult r = RunCli({"info", test::SamplePath("camera-256.pgm")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("size = 256 x 256"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("pixels = 65536"), std::string::npos);
}

TEST(Cli, UsageErrorsExitWithTwoAndOneLine) {
    CliResult r = RunCli({"info"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
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
    EXPECT_EQ(r.out.rfind("quillfen-cli 0.1.0\nvector loops: " + vector_targets::Available().front() + " ", 0), 0u)
        << r.out;
}

// QF_HWY_TARGET chooses the instruction set of the vector loops for one run; a name this CPU
// cannot run is a usage error that names the variable, and nothing runs.
TEST(Cli, VectorTargetFromTheEnvironment) {
    const std::string lowest = vector_targets::Available().back();
    ::setenv(vector_targets::kEnvironmentVariable, lowest.c_str(), 1);
    CliResult r = RunCli({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("vector loops: " + lowest + " "), std::string::npos) << r.out;
    ::setenv(vector_targets::kEnvironmentVariable, "VAX", 1);
    r = RunCli({"info", test::SamplePath("camera-256.pgm")});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("quillfen-cli: QF_HWY_TARGET: vector target 'VAX'", 0), 0u) << r.err;
    EXPECT_TRUE(r.out.empty());
    ::unsetenv(vector_targets::kEnvironmentVariable);
    vector_targets::UseBest();
}

}  // namespace
}  // namespace quillfen
