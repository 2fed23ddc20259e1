#pragma once
// The one schema of a robustness row: its fields, in order, from which the JSON Lines and CSV
// files, the desktop's table and the report's lists of rows are all written, and through which
// a JSON Lines file is read back (for a resumed run and for reports made from merged shards).
//
// One row per line, the fields in this order (the CSV header names the same columns):
//   host, seed, attack, width, height, region, psnr_embed, psnr_embed_reals, ssim_embed,
//   psnr_y, psnr, ssim, nc, ber, score, score_null, detected_1e-3, detected_1e-6, schema,
//   method, host_digest, mark_digest, calibration_digest, and error on a failed row.
// Rows read from files of schema 1 and 2 have no psnr_embed_reals and score_null, rows of
// schemas before 4 no width, height, region and psnr_y; each is written back without them.
// A run that names its methods (robustness.h) adds, after detected_1e-6, method_params,
// strength, payload_bits and bit_accuracy (null where a method has none), and its rows' method
// is the method as the run names it; nc is null for a method without NC, and mark_digest for a
// method that embeds no mark picture. A row is then told from another by its host, seed,
// method and attack.
// A run that registers geometric cells adds, after detected_1e-6 (and the method fields), registration_fit,
// nc_registered, ber_registered, score_registered, detected_1e-3_registered and
// detected_1e-6_registered: null (CSV: empty) on cells that are not geometric and on failed
// rows.
// schema .. calibration_digest are the row's identity (RowIdentity, robustness.h): what made
// it, beyond its host name, seed and attack.
// Numbers are written in their shortest form that reads back as the same double, so the
// same rows give the same bytes everywhere. A PSNR of identical pictures (+infinity) is
// null in JSON and "inf" in CSV; a verdict without a calibration is null in JSON and empty
// in CSV; a failed row has null measures (empty in CSV) and its "error" text.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

enum class RowFieldId {
    Host,
    Seed,
    Attack,
    Width,
    Height,
    Region,
    PsnrEmbed,
    PsnrEmbedReals,
    SsimEmbed,
    PsnrY,
    Psnr,
    Ssim,
    Nc,
    Ber,
    Score,
    ScoreNull,
    Detected1e3,
    Detected1e6,
    MethodParams,
    Strength,
    PayloadBits,
    BitAccuracy,
    // Only in rows of a method whose payload goes through an error-correcting code.
    MessageOk,
    // Schema 4, in runs that name their methods.
    PayloadMatch,
    Z,
    ZNull,
    Inverted,
    ZRegistered,  // and only in runs that register
    RegistrationFit,
    NcRegistered,
    BerRegistered,
    ScoreRegistered,
    Detected1e3Registered,
    Detected1e6Registered,
    Schema,
    Method,
    HostDigest,
    MarkDigest,
    CalibrationDigest,
    Error,
};

struct RowField {
    RowFieldId Id;
    const char* Name;  // in the JSON object and the CSV header
    // A measure's accepted values when read back (a row outside them was not written by a run).
    double Lowest;
    double Highest;
    // The places the desktop's table rounds a measure to (the files keep every digit); -1 for
    // fields that are not measures.
    int Decimals;
    bool InTable;  // a column of the desktop's table (the identity is not)
};

// The fields of a run's rows, in order; the registered ones only when `registering`, the
// method fields only for a run that names its methods, message_ok only for rows (or a file of
// rows) of a method with a payload code (`coded`).
std::vector<RowField> RowFields(bool registering, bool methods = false, bool coded = false);

// The value of one field of a row, as the files write it.
struct RowValue {
    enum class Kind { Null, Text, Whole, Real, Flag };
    Kind Type = Kind::Null;
    std::string Text;
    std::uint64_t Whole = 0;
    double Real = 0;  // +infinity for the PSNR of unchanged pictures
    bool Flag = false;
};
RowValue FieldValue(const RobustnessRow& row, RowFieldId field);

// The shortest decimal text that reads back as the same double ("0.9", "41.25", "1e-05").
std::string FormatMeasure(double value);

// One JSON object, without the line's newline.
std::string RowJson(const RobustnessRow& row);
// The CSV header and one CSV line, without the newline. Fields holding a comma, a quote or a
// line break are quoted, quotes doubled.
// A file with a row of a coded method (`coded`) has the message_ok column.
std::string CsvHeader(bool registering = false, bool methods = false, bool coded = false);
std::string RowCsv(const RobustnessRow& row, bool coded = false);

// Whole files of rows, as `quillfen-cli robustness` writes them: one JSON object a line, and
// the CSV header (with the registered columns for a run that registers) followed by one line
// a row; every line ends in a newline.
std::string RowsJsonl(const std::vector<RobustnessRow>& rows);
std::string RowsCsv(const std::vector<RobustnessRow>& rows, bool registering = false, bool methods = false);

// A row from its JSON object; FormatError naming `where` for anything else, among it a
// measure outside its range (an NC of 5), and a row of a newer schema. A row without the
// identity fields is read as one of schema 1.
RobustnessRow ParseRowJson(std::string_view line, const std::string& where);

// The name a host has in the rows once written: a file name that is not UTF-8 has its bad
// bytes replaced (U+FFFD), as JSON text must be UTF-8.
std::string RowHostName(const std::string& name);

// What a JSON Lines file of rows holds.
struct RowsFile {
    std::vector<RobustnessRow> Rows;  // every complete line, in file order
    std::uint64_t CompleteBytes = 0;  // the length of the complete lines
    std::string Tail;                 // the bytes after the last newline (a killed write), if any
};

// Reads a rows file; a missing file is empty. FileError when it cannot be read, FormatError
// for a complete line that is not a row or repeats the host, seed and attack of an earlier
// one (naming the file and the line numbers).
RowsFile ReadRowsFile(const std::filesystem::path& path);

// Whether `tail`, the last line of a rows file without its newline, is the beginning of a row
// of the plan's rows `range`, as a run stopped while writing it leaves it: its host, seed and
// attack those of such a row (or a beginning of them), the rest of the fields in order with
// values of their kind. Anything else is no row of this run.
bool IsCutRow(std::string_view tail, const SweepPlan& plan, const RowRange& range);

}  // namespace quillfen
QUILLFEN_API_END
