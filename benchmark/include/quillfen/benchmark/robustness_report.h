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
// form one family per group ("combinations" for those that mix groups, "geometric
// combinations" for those of one); attacks that appear in a single cell are gathered per group
// ("other geometric attacks"; a group's only such attack keeps its own name). Each family
// belongs to one group of the catalogue (AttackGroup: photometric, degradation, geometric,
// combined, and `none` alone in none), and the report shows the families group by group, with
// a summary per group. Strengths that span orders of magnitude are drawn evenly spaced in
// their order.
//
// Rates are drawn with their Wilson 95 % intervals as error bars; a payload method's mean bit
// accuracy with a bootstrap interval over rows (a row's bits are not independent draws: a
// picture the reader loses loses all of them). A strip of small pictures shows each family's
// strongest cell applied to one host, and a run over pictures of several sizes shows detection
// per size group.
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
#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// One picture of the strip: a family's strongest cell applied to the example host, as a small
// PNG (embedded in the report as data, so that it stays one file).
struct ReportExample {
    std::string Family;
    std::string Cell;
    int Width = 0;  // of the thumbnail
    int Height = 0;
    std::vector<std::uint8_t> Png;
    bool operator==(const ReportExample&) const = default;
};

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
    // The strip of examples (AddReportExamples) and the host they show; none: no strip.
    std::string ExampleHost;
    std::vector<ReportExample> Examples;
};

// The report of a run: its rows, and what its plan says of them (cells, hosts, seeds,
// methods and their thresholds). Every front end makes its report here.
RobustnessReport ReportOf(const SweepPlan& plan, std::vector<RobustnessRow> rows, std::string mark = {},
                          std::string command = {}, std::string program = {});

// One family of the report's charts.
struct ReportFamily {
    std::string Name;
    AttackGroup Group = AttackGroup::None;
    std::vector<std::size_t> Cells;  // indices into RobustnessReport::Cells, in order
    std::string Parameter;           // the varying parameter, empty when drawn side by side
    std::vector<double> Strengths;   // its value per cell, when Parameter is set
};
// In the order of the groups (none, photometric, degradation, geometric, combined), and within
// a group in the order of their first cells.
std::vector<ReportFamily> ReportFamilies(const std::vector<AttackCell>& cells);

// The report's groups in the order it shows them, and a group's name as a heading ("photometric").
const std::vector<AttackGroup>& ReportGroups();

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
    // The counts behind the rates (for their intervals): rows with verdicts, and of them
    // those detected at each threshold.
    std::size_t Verdicts = 0;
    std::size_t Hits3 = 0;
    std::size_t Hits6 = 0;
    // A payload method's mean bit accuracy over the rows that read bits; NaN elsewhere.
    double BitAccuracyMean = std::numeric_limits<double>::quiet_NaN();
    std::size_t BitRows = 0;
    // The same over the rows read a second time after registration (geometric cells of a
    // registering run); Registered is 0 and the rest NaN elsewhere.
    std::size_t Registered = 0;
    double RegisteredNcMedian = std::numeric_limits<double>::quiet_NaN();
    double RegisteredScoreMedian = std::numeric_limits<double>::quiet_NaN();
    double RegisteredTpr3 = std::numeric_limits<double>::quiet_NaN();
    double RegisteredTpr6 = std::numeric_limits<double>::quiet_NaN();
    std::size_t RegisteredVerdicts = 0;
    std::size_t RegisteredHits6 = 0;
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

// A mean of values in [0, 1] (a payload method's bit accuracies, one per row) with a 95 %
// percentile bootstrap interval: the rows resampled with replacement 2000 times from a fixed
// seed, so the same values give the same interval. NaN for no values; a single value is its
// own interval.
struct MeanInterval {
    double Mean = std::numeric_limits<double>::quiet_NaN();
    double Low = std::numeric_limits<double>::quiet_NaN();
    double High = std::numeric_limits<double>::quiet_NaN();
    std::size_t Count = 0;
};
MeanInterval BootstrapMeanInterval(const std::vector<double>& values);

// The size group of a marked picture of width x height, as the report heads it: "up to 256 x
// 256" (at most 65,536 pixels), "up to 1 MP", "1 to 4 MP", "4 to 16 MP", "over 16 MP"
// (MP: 2^20 pixels); "size not recorded" for rows that do not say (0 x 0). The groups in
// this order, and a group's place in it (0..5).
const std::vector<std::string>& SizeGroupNames();
std::size_t SizeGroupOf(int width, int height);

// Each family's strongest cell (an index into the report's cells): the one whose attacked
// pictures differ most from the marked ones, the lowest median PSNR over the report's rows;
// the family's last cell where no row says.
std::vector<std::size_t> StrongestCells(const RobustnessReport& report, const std::vector<ReportFamily>& families);

// The strip: each family's strongest cell applied to `host` with `seed`, in the families'
// order. The cells attack the host's centred part of at most 256 x 256 pixels (the size the
// charts' cells are usually read at; a photograph whole would take long and show its detail
// no better at this size), reduced by whole-pixel averaging to at most 128 pixels a side. A
// gray host gives gray pictures. A cell that fails on the picture is left out.
std::vector<ReportExample> ReportExamples(const RobustnessReport& report, const Bitmap& host, std::uint32_t seed);
// For the front ends: the strip of the plan's first host that loads, with the run's first
// seed, into the report (ExampleHost names it); no strip when no host loads.
void AddReportExamples(RobustnessReport& report, const SweepPlan& plan);

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
