#include "quillfen/image/parameters.h"

#include <charconv>
#include <cmath>

namespace quillfen {

std::optional<std::string> CheckParameterValue(const Parameter& parameter, double value) {
    if (!std::isfinite(value)) return std::string("is not a number");
    if (value < parameter.Lowest || value > parameter.Highest) return std::string("is out of range");
    if ((parameter.Whole || parameter.Odd) && value != std::floor(value))
        return std::string("is not a whole number");
    if (parameter.Odd && std::fmod(value, 2.0) == 0) return std::string("is not odd");
    return std::nullopt;
}

std::string AcceptedValues(const Parameter& parameter) {
    std::string kind = parameter.Odd ? "odd whole numbers " : parameter.Whole ? "whole numbers " : "";
    return kind + FormatNumber(parameter.Lowest) + ".." + FormatNumber(parameter.Highest);
}

std::string FormatNumber(double value) {
    char buffer[512];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0, std::chars_format::fixed);
    if (result.ec != std::errc()) return "?";
    return std::string(buffer, result.ptr);
}

std::optional<double> ParsePlainNumber(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789.") != std::string_view::npos ||
        digits.find('.') != digits.rfind('.') || digits == ".")
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace quillfen
