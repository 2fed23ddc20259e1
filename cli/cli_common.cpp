#include "cli/cli_common.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/image/detail/suggestions.h"
#include "quillfen/image/errors.h"
#include "quillfen/methods/method.h"

namespace quillfen::cli {

namespace {

// The first failure to write the report, as an errno value (0: none yet).
int gReportError = 0;

std::vector<std::string> gCommandLine;

// Length of the valid UTF-8 sequence starting at text[i], or 0 when there is none.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string EscapeForOneLine(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            shown += code;
        } else if (c >= 0x80) {
            const std::size_t length = Utf8SequenceAt(text, i);
            if (length == 0) {
                char code[8];
                std::snprintf(code, sizeof code, "\\x%02X", c);
                shown += code;
            } else {
                shown.append(text, i, length);
                i += length;
                continue;
            }
        } else {
            shown.push_back(static_cast<char>(c));
        }
        ++i;
    }
    return shown;
}

void SetCommandLine(int argc, char** argv) {
    gCommandLine.assign(argv, argv + argc);
    if (!gCommandLine.empty()) gCommandLine.front() = "quillfen-cli";
}

std::string CommandLineText() { return ShellCommandLine(gCommandLine); }

void PrintErrorLine(const std::string& text) {
    std::cerr << "quillfen-cli: " << EscapeForOneLine(text) << '\n';
}

std::string CheckDecimal(std::string& text, std::int64_t min, std::int64_t max) {
    const std::string range = std::to_string(min) + ".." + std::to_string(max);
    // A long text is shown by its start only: the range says what was expected.
    std::string shown = "'";
    shown += text.size() > 24 ? text.substr(0, 20) + "..." : text;
    shown += "'";
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) ++i;
    const bool allDigits = i < text.size() && text.find_first_not_of("0123456789", i) == std::string::npos;
    if (!allDigits) return shown + " is not a decimal whole number (expected " + range + ")";
    while (i + 1 < text.size() && text[i] == '0') ++i;
    if (text.size() - i > 18) return shown + " is outside " + range;
    std::int64_t value = std::stoll(text.substr(i));
    if (negative) value = -value;
    if (value < min || value > max) return shown + " is outside " + range;
    text = std::to_string(value);
    return std::string();
}

LoadedPicture LoadPictureOrFail(const std::string& path) {
    try {
        return LoadPictureFile(path);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
}

void SavePictureOrFail(const std::string& path, const Bitmap& bitmap, bool eightBit) {
    try {
        SavePictureFile(path, bitmap, eightBit);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
}

TRixIPA LoadIpaOrFail(const std::string& path, bool* eightBit) {
    const LoadedPicture picture = LoadPictureOrFail(path);
    if (eightBit) *eightBit = picture.eightBit;
    TRixIPA ipa;
    try {
        ipa.LoadFromBitmap(picture.bitmap);
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    return ipa;
}

void PrintLine(const std::string& line) {
    std::cout << line << '\n';
    if (!std::cout && gReportError == 0) gReportError = errno != 0 ? errno : EIO;
}

void PrintText(const std::string& text) {
    std::cout << text;
    if (!std::cout && gReportError == 0) gReportError = errno != 0 ? errno : EIO;
}

bool NamesStandardOutput(const std::string& path) {
    return path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
}

void StartReport() {
    std::cout.clear();
    std::clearerr(stdout);
    gReportError = 0;
}

bool FinishReport(std::string& reason) {
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    int err = gReportError;
    if (err == 0 && (!flushed || std::ferror(stdout) || !std::cout)) err = errno != 0 ? errno : EIO;
    if (err == 0) return true;
    reason = std::strerror(err);
    return false;
}

std::string MethodListHelp() {
    std::string text = "methods: ";
    bool first = true;
    for (const auto& entry : MethodRegistry::BuiltIn().Entries()) {
        const MethodInfo& method = *entry;
        if (!first) text += "; ";
        first = false;
        text += method.Name;
        bool firstParameter = true;
        for (const Parameter& p : method.Parameters) {
            text += firstParameter ? ": " : ", ";
            firstParameter = false;
            text += p.Name;
            text += " ";
            text += AcceptedValues(p);
            if (p.Default) text += " (" + FormatNumber(*p.Default) + ")";
        }
    }
    return text;
}

// A PSNR in decibels as --target-psnr takes it: a plain decimal number, 10..100.
double TargetPsnrOrFail(const std::string& text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos || ec != std::errc() ||
        end != text.data() + text.size() || !(value >= kLowestTargetPsnr && value <= kHighestTargetPsnr))
        throw CommandFailure{kExitUsage, "--target-psnr: '" + text + "' is not a PSNR in decibels (" +
                                             FormatNumber(kLowestTargetPsnr) + ".." + FormatNumber(kHighestTargetPsnr) +
                                             ", as 38 or 40.5)"};
    return value;
}

}  // namespace quillfen::cli
