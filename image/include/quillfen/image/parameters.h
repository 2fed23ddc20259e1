#pragma once
// Described parameters: a name, the values accepted, a default and a meaning. Attacks and
// methods describe their parameters alike, so that the command line's help, the desktop's
// forms and the Python package's catalogues are made from one description, and values are
// checked and written the same way everywhere.
#include <optional>
#include <string>
#include <string_view>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct Parameter {
    const char* Name;
    double Lowest;   // inclusive
    double Highest;  // inclusive
    bool Whole;      // whole numbers only
    bool Odd;        // odd whole numbers only
    std::optional<double> Default;  // none: the parameter must be given
    const char* Meaning;
};

// Why `value` is refused for the parameter ("is out of range", "is not odd"), or nothing.
QUILLFEN_EXPORT std::optional<std::string> CheckParameterValue(const Parameter& parameter, double value);
// The accepted values as a user reads them: "whole numbers 1..100", "odd whole numbers
// 1..15", "0..1".
QUILLFEN_EXPORT std::string AcceptedValues(const Parameter& parameter);

// The shortest decimal text that reads back as the same double, never in exponent form, and
// "0" for a negative zero: 50, 0.9, -0.25, 0.30000000000000004.
QUILLFEN_EXPORT std::string FormatNumber(double value);

// A plain decimal number as parameter texts write them: an optional "-", digits with at most
// one ".", no "+" and no exponent; nothing for any other text.
std::optional<double> ParsePlainNumber(std::string_view text);

}  // namespace quillfen
QUILLFEN_API_END
