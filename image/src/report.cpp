#include "quillfen/image/report.h"

#include <cmath>

#include "quillfen/image/number_format.h"

namespace quillfen {

std::string Report::Phrase(const std::function<std::string(const ReportNumber&)>& write) const {
    std::string line;
    line.reserve(words.size() + 16 * numbers.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        const char next = i + 1 < words.size() ? words[i + 1] : '\0';
        const std::size_t place = static_cast<std::size_t>(next - '1');
        if (words[i] == '%' && next >= '1' && next <= '9' && place < numbers.size()) {
            line += write(numbers[place]);
            ++i;
        } else {
            line += words[i];
        }
    }
    return line;
}

std::string Report::Line() const { return Phrase(PlainNumber); }

std::string PlainNumber(const ReportNumber& number) {
    if (number.decimals > 0) return FormatFixed(number.value, number.decimals);
    return std::to_string(static_cast<long long>(std::llround(number.value)));
}

}  // namespace quillfen
