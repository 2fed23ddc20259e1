#pragma once
// Shared plumbing of quillfen-cli's commands: exit codes, error lines, decimal numbers, and
// loading and saving pictures by extension. No parser here: what needs CLI11 is in
// cli/commands.h, so that only the files that build the command line pay for compiling it.
#include <cstdint>
#include <string>
#include <vector>

#include "quillfen/io/picture_files.h"
#include "quillfen/toolbox/rix_ipa.h"

namespace quillfen::cli {

// 0 success; 1 the operation could not run on this input (nothing written); 2 bad usage or
// an unreadable or unwritable file.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The program and its version, as --version prints it and reports and calibrations record it.
inline constexpr const char* kProgramVersion = "quillfen-cli 0.1.0";

// The command line of this run as a shell would take it back (words quoted where needed),
// for reports that record how they were made.
std::string CommandLineText();
void SetCommandLine(int argc, char** argv);

// Thrown by a command to end with a message on stderr and an exit code. An empty message
// prints nothing; each of `moreLines` is printed as one more error line after it.
struct CommandFailure {
    int exitCode;
    std::string message;
    std::vector<std::string> moreLines{};
};

// The one place error lines are written: "quillfen-cli: <text>" on stderr. Control characters
// (a newline in a file name, say) and bytes that are not UTF-8 are shown escaped ("\n",
// "\xE9"), so that every error stays on one line.
void PrintErrorLine(const std::string& text);
std::string EscapeForOneLine(const std::string& text);

// Checks that `text` is a decimal whole number (an optional sign, then digits: no "0x", no
// octal, no blanks) within min..max, and rewrites it in its plain form ("010" becomes "10").
// Returns "" when it is, else the reason, which names the accepted range.
std::string CheckDecimal(std::string& text, std::int64_t min, std::int64_t max);

// Loads a picture file; failures become CommandFailure with exit code 2.
LoadedPicture LoadPictureOrFail(const std::string& path);
// Saves a picture file; failures become CommandFailure with exit code 2.
void SavePictureOrFail(const std::string& path, const Bitmap& bitmap, bool eightBit);

// A working image loaded from a picture file; `eightBit`, when given, tells whether the file
// was an 8-bit one (so that results can be saved the same way).
TRixIPA LoadIpaOrFail(const std::string& path, bool* eightBit = nullptr);

// The methods and their parameters, from the method catalogue, for the help texts:
// "polarity; spread-spectrum: strength 0.1..100 (4), bits whole numbers 1..64 (64); ...".
std::string MethodListHelp();

// --target-psnr's value: a plain decimal number of decibels, 10..100 (CommandFailure, exit 2).
double TargetPsnrOrFail(const std::string& text);

// The one place commands print their reports, so that tests can capture them.
void PrintLine(const std::string& line);
// The same for a whole text that carries its own line ends (a CSV or HTML report).
void PrintText(const std::string& text);

// Whether the value of an option that names a report file asks for standard output instead:
// "-", or standard output's own names (/dev/stdout, /dev/fd/1, /proc/self/fd/1), which as files
// would be the terminal or pipe the report is printed to. (A file named "-" is "./-".)
bool NamesStandardOutput(const std::string& path);

// Flushes the report; false (with the system's reason) when it could not be written in full,
// as when standard output is a full disk or a closed pipe.
bool FinishReport(std::string& reason);
// Forgets an earlier report's failure (for a new run in the same process).
void StartReport();

}  // namespace quillfen::cli
