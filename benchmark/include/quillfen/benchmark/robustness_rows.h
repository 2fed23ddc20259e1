#pragma once
// The rows of a robustness run as JSON Lines and CSV, and the reading back of a JSON Lines
// file (for a resumed run and for reports made from merged shards).
//
// One row per line, the fields in this order (the CSV header names the same columns):
//   host, seed, attack, psnr_embed, ssim_embed, psnr, ssim, nc, ber, score, detected_1e-3,
//   detected_1e-6, and error on a failed row.
// A run that registers geometric cells adds, before error, registration_fit, nc_registered,
// ber_registered, score_registered, detected_1e-3_registered and detected_1e-6_registered:
// null (CSV: empty) on cells that are not geometric and on failed rows. Rows of a run
// without registration are the same bytes as if these fields did not exist.
// Numbers are written in their shortest form that reads back as the same double, so the
// same rows give the same bytes everywhere. A PSNR of identical pictures (+infinity) is
// null in JSON and "inf" in CSV; a verdict without a calibration is null in JSON and empty
// in CSV; a failed row has null measures (empty in CSV) and its "error" text.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/benchmark/robustness.h"

namespace quillfen {

// The shortest decimal text that reads back as the same double ("0.9", "41.25", "1e-05").
std::string FormatMeasure(double value);

// One JSON object, without the line's newline.
std::string RowJson(const RobustnessRow& row);
// The CSV header and one CSV line, without the newline. Fields holding a comma, a quote or a
// line break are quoted, quotes doubled.
std::string CsvHeader(bool registering = false);
std::string RowCsv(const RobustnessRow& row);

// Whole files of rows, as `quillfen-cli robustness` writes them: one JSON object a line, and
// the CSV header (with the registered columns for a run that registers) followed by one line
// a row; every line ends in a newline.
std::string RowsJsonl(const std::vector<RobustnessRow>& rows);
std::string RowsCsv(const std::vector<RobustnessRow>& rows, bool registering = false);

// A row from its JSON object; FormatError naming `where` for anything else.
RobustnessRow ParseRowJson(std::string_view line, const std::string& where);

// The name a host has in the rows once written: a file name that is not UTF-8 has its bad
// bytes replaced (U+FFFD), as JSON text must be UTF-8.
std::string RowHostName(const std::string& name);

// What a JSON Lines file of rows holds.
struct RowsFile {
    std::vector<RobustnessRow> Rows;  // every complete line, in file order
    std::uint64_t CompleteBytes = 0;  // the length of the complete lines
    bool TornTail = false;            // bytes after the last newline (a killed write)
};

// Reads a rows file; a missing file is empty. FileError when it cannot be read, FormatError
// for a complete line that is not a row (naming the file and the line number).
RowsFile ReadRowsFile(const std::filesystem::path& path);

}  // namespace quillfen
