#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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
}

}  // namespace
}  // namespace quillfen
