#pragma once
// The HTML report of a robustness run: one self-contained file (inline SVG and CSS, no script,
// font or picture fetched from elsewhere) that any browser shows offline.
//
// Sections: the run (command, program, hosts, seeds, mark); the calibration (thresholds, the
// fitted model against the null trials' tail, on a log scale, and the quantile table); the
// embedding's cost (PSNR and SSIM of X_hat per host); one chart per attack family, NC
// (median and interquartile band over hosts and seeds) and the detection rates at both
// thresholds against the attack's strength, and for a registering run the same read again
// after registration; and the table of every cell.
//
// Families: cells of one attack alone form a family, drawn against the parameter that varies
// between them when exactly one does, and side by side otherwise; combinations of attacks
// form one family; attacks that appear in a single cell are gathered into "other attacks".
// Strengths that span orders of magnitude are drawn evenly spaced in their order.
// The text is a pure function of its input: the same rows give the same bytes.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct RobustnessReport {
    std::vector<RobustnessRow> Rows;  // in row order
    std::vector<AttackCell> Cells;    // the run's cells, in order
    std::vector<std::string> Hosts;
    std::vector<std::uint32_t> Seeds;
    std::optional<Calibration> Thresholds;
    std::string Mark;      // the watermark's file name
    std::string Command;   // the command line that made the rows
    std::string Program;   // program and version
    std::string Shard;     // "2/3" for a shard's report, empty for a whole run
    // A run that names its methods (rows with method fields): each method as its rows name it,
    // in the run's order, and the thresholds that judged its rows. The report then compares
    // them: per attack family one detection line per method, the table of families by methods
    // at 1e-6, and the cost of embedding per method. Empty: the polarity method's report.
    std::vector<std::string> Methods;
    std::vector<std::optional<Calibration>> MethodThresholds;
};

// The report of a run: its rows, and what its plan says of them (cells, hosts, seeds,
// methods and their thresholds). Every front end makes its report here.
RobustnessReport ReportOf(const SweepPlan& plan, std::vector<RobustnessRow> rows, std::string mark = {},
                          std::string command = {}, std::string program = {});

// One family of the report's charts.
struct ReportFamily {
    std::string Name;
    std::vector<std::size_t> Cells;  // indices into RobustnessReport::Cells, in order
    std::string Parameter;           // the varying parameter, empty when drawn side by side
    std::vector<double> Strengths;   // its value per cell, when Parameter is set
};
std::vector<ReportFamily> ReportFamilies(const std::vector<AttackCell>& cells);

// Median and quartiles by linear interpolation between order statistics (the values need
// not be sorted): {q1, median, q3}. Empty input gives NaN.
struct Quartiles {
    double Q1;
    double Median;
    double Q3;
};
Quartiles QuartilesOf(std::vector<double> values);

// What the report shows of one cell, over its rows: NC's quartiles, the mean BER, the median
// detection score, the median PSNR and SSIM of the attacked pictures, and the detection rates at 1e-3 and 1e-6 (over the
// rows with verdicts). NaN where no row gives a value.
struct CellSummary {
    std::size_t Rows = 0;
    std::size_t Failed = 0;
    Quartiles Nc{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN(),
                 std::numeric_limits<double>::quiet_NaN()};
    double BerMean = std::numeric_limits<double>::quiet_NaN();
    double ScoreMedian = std::numeric_limits<double>::quiet_NaN();
    double PsnrMedian = std::numeric_limits<double>::quiet_NaN();
    double SsimMedian = std::numeric_limits<double>::quiet_NaN();
    double Tpr3 = std::numeric_limits<double>::quiet_NaN();
    double Tpr6 = std::numeric_limits<double>::quiet_NaN();
    // The same over the rows read a second time after registration (geometric cells of a
    // registering run); Registered is 0 and the rest NaN elsewhere.
    std::size_t Registered = 0;
    double RegisteredNcMedian = std::numeric_limits<double>::quiet_NaN();
    double RegisteredScoreMedian = std::numeric_limits<double>::quiet_NaN();
    double RegisteredTpr3 = std::numeric_limits<double>::quiet_NaN();
    double RegisteredTpr6 = std::numeric_limits<double>::quiet_NaN();
};
// One per cell of the report, in the order of its cells; of one method's rows only when
// `method` is given (the label its rows carry).
std::vector<CellSummary> SummariseCells(const RobustnessReport& report, const std::string& method = "");

// A ROC curve: the detection scores of marked pictures (positives) against those of pictures
// without the mark (negatives), over every threshold.
struct RocCurve {
    std::size_t Positives = 0;
    std::size_t Negatives = 0;
    // (false-positive rate, true-positive rate) at each distinct score from the highest down,
    // after (0, 0): the shares of negatives and positives at or above it. Ends at (1, 1).
    std::vector<std::pair<double, double>> Points;
    // The area under the curve: the chance that a positive scores above a negative, a tie
    // counting half (Mann and Whitney). NaN without positives or negatives.
    double Auc = std::numeric_limits<double>::quiet_NaN();
};
RocCurve RocOf(std::vector<double> positives, std::vector<double> negatives);

// The ROC curve of one family of a report: every row of its cells, marked pictures after the
// attack (score) against the key's own host unmarked after the same attack and seed
// (score_null; rows of earlier schemas have none). With a calibration, the true-positive rates
// at its two thresholds (the share of the rows detected) and the share of the null side that
// reaches each; NaN without.
struct FamilyRoc {
    RocCurve Curve;
    double Tpr1e3 = std::numeric_limits<double>::quiet_NaN();
    double Tpr1e6 = std::numeric_limits<double>::quiet_NaN();
    double Fpr1e3 = std::numeric_limits<double>::quiet_NaN();
    double Fpr1e6 = std::numeric_limits<double>::quiet_NaN();
    std::size_t Verdicts = 0;  // rows with verdicts, the true-positive rates' denominator
};
FamilyRoc RocOfFamily(const RobustnessReport& report, const ReportFamily& family);
// The same for method `method` (an index into Methods) of a report that compares methods.
FamilyRoc RocOfFamily(const RobustnessReport& report, const ReportFamily& family, std::size_t method);

std::string RobustnessHtml(const RobustnessReport& report);

// A number as the report shows it to people: `decimals` places, "&ndash;" for NaN, never a
// negative zero ("-0.00" reads as a sign that is not there).
std::string PeopleNumber(double value, int decimals);
// The report's style sheet (a <style> element), shared by the pages made beside it.
const char* ReportStyle();

// A command line as a shell reads it back, for the report's "command" and the desktop's
// equivalent command: each word plain when it is safe, otherwise in single quotes.
std::string ShellCommandLine(const std::vector<std::string>& words);

}  // namespace quillfen
QUILLFEN_API_END
