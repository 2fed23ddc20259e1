#pragma once
// What an operation reports, as values: its words with a place for each number ("%1", "%2",
// ...) and the numbers themselves, each with the decimals it is written with. Nothing here is
// formatted and nothing says where the line is shown: quillfen-cli writes the numbers with '.'
// (Line), the windows in the user's notation, each front end where it shows its reports.
#include <functional>
#include <string>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct ReportNumber {
    double value = 0;
    int decimals = 0;  // 0: a whole number
    bool operator==(const ReportNumber&) const = default;
};

struct Report {
    std::string words;                  // "Threshold value by Kapur = %1"
    std::vector<ReportNumber> numbers;  // in the order of their places

    // The line with each number written by `write`. A '%' not followed by the number of a
    // place stays as it is.
    std::string Phrase(const std::function<std::string(const ReportNumber&)>& write) const;
    // The line with '.' as the decimal point and no grouping, as "%.Nf" and "%d" write them.
    std::string Line() const;
    bool operator==(const Report&) const = default;
};

// A number as Line writes it.
std::string PlainNumber(const ReportNumber& number);

}  // namespace quillfen
QUILLFEN_API_END
