#pragma once
// Number formats of the reports, independent of the C locale (the GUI localises the decimal
// separator itself). Values are printed from their exact binary value, exact ties to even,
// as C's "%.Nf" does.
#include <string>

namespace quillfen {

// "0.00", "0.00000": at least one integer digit, exactly `decimals` decimals.
std::string FormatFixed(double value, int decimals);

// "#.00": like FormatFixed(value, 2) but without the leading zero of values below 1
// (0 gives ".00", 0.5 gives ".50").
std::string FormatNoLeadingZero(double value, int decimals);

// Parses a whole decimal integer as the platform's StrToInt does: leading blanks skipped,
// optional sign, digits and nothing after them, within 32 bits. Throws ConvertError
// "'<text>' is not a valid integer value" otherwise.
int ParseInt(const std::string& text);

// The same, returning false instead of throwing.
bool TryParseInt(const std::string& text, int& value);

}  // namespace quillfen
