// The command line's contract: exit 0 success, 1 the operation cannot run on this input, 2 bad
// usage or an unreadable or unwritable file; one error line on stderr per error, starting with
// "quillfen-cli: " and naming the file and the reason; no output file on failure; the
// original target intact.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "quillfen/io/pgm.h"
#include "quillfen/io/picture_files.h"
#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::RunCli;
using test::TempDir;

const std::string kSample = test::SamplePath("seal-128.pgm");

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

std::string Content(const std::string& path) {
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A picture of 300 one-pixel white objects: more than labeling can number.
void WriteManyObjects(const std::string& path) {
    Bitmap b(60, 40, 0);
    for (int y = 0; y < 40; y += 2)
        for (int x = 0; x < 60; x += 4) b.setGray(x, y, 255);
    TRixPGM().SaveToFile(path, b);
}

struct ContractCase {
    const char* name;
    // Prepares the folder and returns the arguments.
    std::function<std::vector<std::string>(const TempDir&)> setup;
    int code;
    std::vector<std::string> lines;  // the stderr lines, each as its start
};

TEST(CliContract, ErrorsAreOneLineEachWithTheirExitCode) {
    const std::string commands = "(commands: info, experiment, embed, extract, threshold";
    const ContractCase cases[] = {
        {"unknown command", [](const TempDir&) { return std::vector<std::string>{"bogus"}; }, 2,
         {"quillfen-cli: unknown command 'bogus' " + commands}},
        {"misspelt command", [](const TempDir&) { return std::vector<std::string>{"thresold"}; }, 2,
         {"quillfen-cli: unknown command 'thresold', did you mean 'threshold'? " + commands}},
        {"operation known elsewhere by another name",
         [](const TempDir& d) { return std::vector<std::string>{"threshold", "otsu", kSample, d.file("out.pgm")}; }, 2,
         {"quillfen-cli: threshold: unknown operation 'otsu', did you mean 'gray-level' (largest between-class "
          "variance)? (operations: mean, ptile, "}},
        {"misspelt method",
         [](const TempDir& d) {
             return std::vector<std::string>{"embed", kSample, d.file("out.png"), "--key", d.file("k"), "--method",
                                             "spred-spectrum"};
         },
         2,
         {"quillfen-cli: --method: 'spred-spectrum': unknown method 'spred-spectrum' (known: polarity, spread-spectrum, "
          "qim, stdm, rdm, spread-spectrum-sync); did you mean 'spread-spectrum'?"}},
        {"no command", [](const TempDir&) { return std::vector<std::string>{}; }, 2,
         {"quillfen-cli: no command given " + commands}},
        {"unknown operation",
         [](const TempDir& d) { return std::vector<std::string>{"threshold", "bogus", kSample, d.file("out.pgm")}; }, 2,
         {"quillfen-cli: threshold: unknown operation 'bogus' (operations: mean, ptile, "}},
        {"no operation", [](const TempDir&) { return std::vector<std::string>{"edge"}; }, 2,
         {"quillfen-cli: edge: no operation given (operations: general, "}},
        {"hexadecimal number",
         [](const TempDir& d) {
             return std::vector<std::string>{"edge", "hough", "--theta", "0x10", kSample, d.file("out.pgm")};
         },
         2, {"quillfen-cli: --theta: '0x10' is not a decimal whole number (expected 2..3600)"}},
        {"number out of range",
         [](const TempDir& d) {
             return std::vector<std::string>{"edge", "hough", "--rho", "4000", kSample, d.file("out.pgm")};
         },
         2, {"quillfen-cli: --rho: '4000' is outside 2..3600"}},
        {"a 309-digit number",
         [](const TempDir& d) {
             return std::vector<std::string>{"edge", "hough", "--votes", "1" + std::string(308, '0'), kSample,
                                             d.file("out.pgm")};
         },
         2, {"quillfen-cli: --votes: '10000000000000000000...' is outside 0..2147483647"}},
        {"exponent", [](const TempDir& d) {
             return std::vector<std::string>{"edge", "hough", "--gradient", "1e3", kSample, d.file("out.pgm")};
         },
         2, {"quillfen-cli: --gradient: '1e3' is not a decimal whole number (expected 0..2147483647)"}},
        {"P-tile percentage: Korean, then English",
         [](const TempDir& d) {
             return std::vector<std::string>{"threshold", "ptile", "--percent", "0x10", kSample, d.file("out.pgm")};
         },
         2,
         {"quillfen-cli: 입력값 페센티지에 문제가 있습니다. 다시 입력하시기 바랍니다",
          "quillfen-cli: --percent: '0x10' is not a decimal whole number (expected 0..100)"}},
        {"ends-in percentage", [](const TempDir& d) {
             return std::vector<std::string>{"histogram", "ends-in", "--low", "abc", kSample, d.file("out.pgm")};
         },
         2, {"quillfen-cli: --low: 'abc' is not a decimal whole number"}},
        {"seed", [](const TempDir&) {
             return std::vector<std::string>{"experiment", kSample, kSample, "--seed", "4294967296"};
         },
         2, {"quillfen-cli: --seed: '4294967296' is outside 0..4294967295"}},
        {"too many labels", [](const TempDir& d) {
             WriteManyObjects(d.file("many.pgm"));
             return std::vector<std::string>{"label", d.file("many.pgm"), d.file("out.pgm")};
         },
         1, {"quillfen-cli: Many Labels in this image"}},
        {"a newline in a file name", [](const TempDir& d) {
             return std::vector<std::string>{"invert", d.file("a\nb.pgm"), d.file("out.pgm")};
         },
         2, {"quillfen-cli: Cannot open file "}},
        {"a name that is not UTF-8", [](const TempDir& d) {
             return std::vector<std::string>{"info", d.file("caf\xE9.pgm")};
         },
         2, {"quillfen-cli: Cannot open file "}},
        {"a FIFO as input", [](const TempDir& d) {
             test::MakeFifo(d.file("in.pgm"));
             return std::vector<std::string>{"invert", d.file("in.pgm"), d.file("out.pgm")};
         },
         2, {"quillfen-cli: Cannot open file "}},
        {"a link to a device as output", [](const TempDir& d) {
             fs::create_symlink("/dev/null", d.file("out.png"));
             return std::vector<std::string>{"invert", kSample, d.file("out.png")};
         },
         2, {"quillfen-cli: Cannot create file "}},
        {"a truncated input", [](const TempDir& d) {
             test::WriteBytes(d.file("in.pgm"), std::string("P5\n3 2\n255\n\x01\x02"));
             return std::vector<std::string>{"invert", d.file("in.pgm"), d.file("out.pgm")};
         },
         2, {"quillfen-cli: '"}},
        {"an output folder that does not exist",
         [](const TempDir& d) { return std::vector<std::string>{"invert", kSample, d.file("none/out.pgm")}; }, 2,
         {"quillfen-cli: Cannot create file "}},
    };
    ::alarm(120);  // a FIFO that blocks the reader ends the program instead of hanging it
    for (const ContractCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::vector<std::string> args = c.setup(dir);
        std::vector<std::string> before = dir.listing();
        // An existing output file must come through a failure unchanged.
        const bool hasOutput = args.size() >= 2 && fs::path(args.back()).filename() == "out.pgm";
        if (hasOutput) test::WriteBytes(dir.file("out.pgm"), std::string("original"));
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.out, "");
        const std::vector<std::string> lines = Lines(r.err);
        ASSERT_EQ(lines.size(), c.lines.size()) << r.err;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].rfind(c.lines[i], 0), 0u) << lines[i];
            EXPECT_LT(lines[i].size(), 400u);
        }
        if (hasOutput) {
            EXPECT_EQ(Content(dir.file("out.pgm")), "original");
            before.push_back("out.pgm");
            std::sort(before.begin(), before.end());
        }
        EXPECT_EQ(dir.listing(), before);  // nothing written, no temporary file left
    }
    ::alarm(0);
}

// The file name and the reason reach the one line, with control characters and bytes that are
// not UTF-8 escaped.
TEST(CliContract, FileNamesAreShownOnOneLine) {
    TempDir dir;
    struct Case {
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"a\nb.pgm", "a\\nb.pgm"},
        {"tab\there.pgm", "tab\\there.pgm"},
        {"caf\xE9.pgm", "caf\\xE9.pgm"},
        {"\xED\x95\x9C\xEA\xB8\x80.pgm", "\xED\x95\x9C\xEA\xB8\x80.pgm"},  // UTF-8 Hangul stays as it is
    };
    for (const Case& c : cases) {
        const CliResult r = RunCli({"info", dir.file(c.name)});
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, "quillfen-cli: Cannot open file " + dir.file(c.shown) + " (No such file or directory)\n");
    }
    WriteManyObjects(dir.file("x.pgm"));
    const CliResult r = RunCli({"invert", dir.file("x.pgm"), dir.file("out\n.tiff")});
    EXPECT_EQ(r.err, "quillfen-cli: Cannot save " + dir.file("out\\n.tiff") +
                         ": unknown picture format (use .bmp, .png, .jpg, .jpeg or .pgm)\n");
}

// Numbers are read as decimal: a leading zero changes nothing.
TEST(CliContract, LeadingZerosAreDecimal) {
    TempDir dir;
    const CliResult octalLooking =
        RunCli({"edge", "hough", "--theta", "010", "--rho", "0064", kSample, dir.file("a.pgm")});
    const CliResult plain = RunCli({"edge", "hough", "--theta", "10", "--rho", "64", kSample, dir.file("b.pgm")});
    ASSERT_EQ(octalLooking.code, 0) << octalLooking.err;
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(test::ReadBytes(dir.file("a.pgm")), test::ReadBytes(dir.file("b.pgm")));
    const CliResult eight = RunCli({"edge", "hough", "--theta", "8", "--rho", "64", kSample, dir.file("c.pgm")});
    EXPECT_NE(test::ReadBytes(dir.file("a.pgm")), test::ReadBytes(dir.file("c.pgm")));
}

// Names that are not UTF-8 are used as they are: read and written under exactly that name.
TEST(CliContract, NamesThatAreNotUtf8AreUsedAsTheyAre) {
    TempDir dir;
    const std::string name = dir.file("caf\xE9.png");
    const std::string lookalike = dir.file("caf\xEF\xBF\xBD.png");
    test::WriteBytes(lookalike, std::string("unrelated"));
    CliResult r = RunCli({"invert", kSample, name});
    ASSERT_EQ(r.code, 0) << r.err;
    r = RunCli({"info", name});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("size = 128 x 128"), std::string::npos);
    EXPECT_EQ(Content(lookalike), "unrelated");
    // Except where a name goes into a UTF-8 text that must find the file again: attack's
    // manifest. Refused before any work, rather than listed as a file that does not exist.
    test::WriteBytes(dir.file("seal\xE9.pgm"), test::ReadBytes(test::SamplePath("hosts/rocket.pgm")));
    r = RunCli({"attack", "none,real-jpeg:q=50", dir.file("seal\xE9.pgm"), "--out", dir.file("out")});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "quillfen-cli: '" + dir.path().string() + "/seal\\xE9.pgm': the file name is not UTF-8, and "
                     "manifest.jsonl could not name it or the files made from it so that they are found again: rename "
                     "it (as with convmv) and run again\n");
    EXPECT_FALSE(fs::exists(dir.file("out")));
}

// ---- Standard output that cannot be written -------------------------------------------

struct ProcessResult {
    int code;
    std::string err;
};

enum class Output { DevFull, ClosedPipe };

// Runs the real program with its standard output on /dev/full or on a pipe nobody reads.
ProcessResult RunCliProcess(const std::vector<std::string>& args, Output output) {
    int errPipe[2];
    int outPipe[2] = {-1, -1};
    if (::pipe(errPipe) != 0) return {-1, "pipe"};
    if (output == Output::ClosedPipe) {
        if (::pipe(outPipe) != 0) return {-1, "pipe"};
        ::close(outPipe[0]);  // the reader is gone before the program writes
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(errPipe[1], 2);
        const int out = output == Output::DevFull ? ::open("/dev/full", O_WRONLY) : outPipe[1];
        ::dup2(out, 1);
        std::vector<char*> argv;
        std::string program = QUILLFEN_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(errPipe[1]);
    if (outPipe[1] >= 0) ::close(outPipe[1]);
    std::string err;
    char buffer[4096];
    pollfd poller{errPipe[0], POLLIN, 0};
    while (::poll(&poller, 1, 60000) > 0) {
        const ssize_t n = ::read(errPipe[0], buffer, sizeof buffer);
        if (n <= 0) break;
        err.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(errPipe[0]);
    int status = 0;
    ::kill(pid, SIGKILL);  // no effect once it has ended; ends a hung program
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

TEST(CliContract, AReportThatCannotBeWrittenExitsTwo) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        Output output;
        std::string line;
    };
    const Case cases[] = {
        {{"info", kSample}, Output::DevFull, "quillfen-cli: cannot write to standard output (No space left on device)\n"},
        {{"info", kSample}, Output::ClosedPipe, "quillfen-cli: cannot write to standard output (Broken pipe)\n"},
        {{"histogram", "show", kSample}, Output::DevFull,
         "quillfen-cli: cannot write to standard output (No space left on device)\n"},
        {{"experiment", test::SamplePath("camera-256.pgm"), kSample, "--seed", "1", "--attack", "none", "--json"},
         Output::DevFull, "quillfen-cli: cannot write to standard output (No space left on device)\n"},
        {{"--help"}, Output::DevFull, "quillfen-cli: cannot write to standard output (No space left on device)\n"},
        // A command that failed keeps its own exit code and message.
        {{"info", dir.file("missing.pgm")}, Output::DevFull,
         "quillfen-cli: Cannot open file " + dir.file("missing.pgm") + " (No such file or directory)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const ProcessResult r = RunCliProcess(c.args, c.output);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, c.line);
    }
}

// A FIFO given to the real program is refused at once (the program used to wait forever).
TEST(CliContract, AFifoDoesNotHangTheProgram) {
    TempDir dir;
    test::MakeFifo(dir.file("in.pgm"));
    const ProcessResult r = RunCliProcess({"info", dir.file("in.pgm")}, Output::DevFull);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "quillfen-cli: Cannot open file " + dir.file("in.pgm") + " (it is a FIFO, not a regular file)\n");
}

}  // namespace
}  // namespace quillfen
