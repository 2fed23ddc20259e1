#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

using test::CliResult;
using test::RunCli;

const std::string kHostA = test::SamplePath("hosts/astronaut.pgm");
const std::string kHostB = test::SamplePath("hosts/gravel.pgm");

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t LineCount(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n' ? 1 : 0;
    return n;
}

TEST(SecurityCommand, PrintsOneLinePerAttackAndUseAndResumesWholeEstimates) {
    test::TempDir dir;
    const std::string rows = dir.file("s.jsonl");
    const std::vector<std::string> base = {"security", kHostA, kHostB, "--method", "spread-spectrum", "--trials", "3",
                                           "--jsonl", rows};
    std::vector<std::string> first = base;
    first.insert(first.end(), {"--attack", "averaging:n=4"});
    const CliResult r = RunCli(first);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("spread-spectrum averaging n=4 removal: judged marked at 1e-6 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("spread-spectrum averaging n=4 forgery: "), std::string::npos) << r.out;
    EXPECT_EQ(LineCount(ReadText(rows)), 6u);
    const std::string before = ReadText(rows);

    // Resumed with one more n and the copy attack: the rows held stay as they are, the rest follow.
    std::vector<std::string> more = base;
    more.insert(more.end(), {"--attack", "averaging:n=4,8", "--attack", "copy", "--resume", "--html", dir.file("s.html")});
    const CliResult resumed = RunCli(more);
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    const std::string after = ReadText(rows);
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(LineCount(after), 6u + 6u + 3u);
    EXPECT_NE(resumed.out.find("spread-spectrum copy forgery: "), std::string::npos) << resumed.out;
    EXPECT_NE(ReadText(dir.file("s.html")).find("Security: attacks on the key"), std::string::npos);

    // The same estimates with another number of suspects are not this file's.
    std::vector<std::string> other = {"security", kHostA, kHostB, "--method", "spread-spectrum", "--trials", "2",
                                      "--jsonl", rows, "--attack", "averaging:n=4", "--resume"};
    const CliResult refused = RunCli(other);
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("another --trials"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadText(rows), after);
}

TEST(SecurityCommand, BadArgumentsAreUsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"security", kHostA, "--attack", "averaging:n=0"},
          std::vector<std::string>{"security", kHostA, "--attack", "mean"},
          std::vector<std::string>{"security", kHostA, "--trials", "0"},
          std::vector<std::string>{"security", kHostA, "--resume"},
          std::vector<std::string>{"security", kHostA, "--seed", "1,2"}}) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 2) << args[2] << " " << args[3];
        EXPECT_FALSE(r.err.empty());
    }
}

// A key bound to its host: one line saying so, and the run succeeds.
TEST(SecurityCommand, PolarityIsReportedAsNotApplying) {
    const CliResult r = RunCli({"security", kHostA, "--method", "polarity", "--attack", "copy"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("polarity: the security attacks do not apply (its key is bound to its host"), 0u) << r.out;
    EXPECT_EQ(LineCount(r.out), 1u);
}

}  // namespace
}  // namespace quillfen
