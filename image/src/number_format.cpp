#include "quillfen/image/number_format.h"

#include <charconv>
#include <cstdint>
#include <system_error>

#include "quillfen/image/errors.h"

namespace quillfen {

std::string FormatFixed(double value, int decimals) {
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                decimals);
    if (result.ec != std::errc()) return "?";
    return std::string(buffer, result.ptr);
}

std::string FormatNoLeadingZero(double value, int decimals) {
    std::string text = FormatFixed(value, decimals);
    if (text.rfind("0.", 0) == 0) text.erase(0, 1);
    else if (text.rfind("-0.", 0) == 0) text.erase(1, 1);
    return text;
}

bool TryParseInt(const std::string& text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > std::int64_t{2147483648}) return false;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > 2147483647 || signedValue < -2147483648LL) return false;
    value = static_cast<int>(signedValue);
    return true;
}

int ParseInt(const std::string& text) {
    int value = 0;
    if (!TryParseInt(text, value)) throw ConvertError("'" + text + "' is not a valid integer value");
    return value;
}

}  // namespace quillfen
