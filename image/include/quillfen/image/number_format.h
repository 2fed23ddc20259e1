#pragma once
// Number formats of the reports, independent of the C locale (the GUI localises the decimal
// separator itself). Values are printed from their exact binary value, exact ties to even,
// as C's "%.Nf" does.
#include <string>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// "0.00", "0.00000": at least one integer digit, exactly `decimals` decimals.
std::string FormatFixed(double value, int decimals);

// "#.00": like FormatFixed(value, 2) but without the leading zero of values below 1
// (0 gives ".00", 0.5 gives ".50").
std::string FormatNoLeadingZero(double value, int decimals);

// Parses a whole decimal integer: leading blanks skipped, an optional sign, digits and nothing
// after them (no trailing blank), within 32 bits. Throws ConvertError "'<text>' is not a valid
// integer value" otherwise, the text the program has always shown for a bad number.
int ParseInt(const std::string& text);

// The same, returning false instead of throwing.
bool TryParseInt(const std::string& text, int& value);

}  // namespace quillfen
QUILLFEN_API_END
