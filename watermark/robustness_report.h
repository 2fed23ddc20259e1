#pragma once
// The HTML report of a robustness run: one self-contained file (inline SVG and CSS, no script,
// font or picture fetched from elsewhere) that any browser shows offline.
//
// Sections: the run (command, program, hosts, seeds, mark); the calibration (thresholds, the
// fitted model against the null trials' tail, on a log scale, and the quantile table); the
// embedding's cost (PSNR and SSIM of X_hat per host); one chart per attack family, NC
// (median and interquartile band over hosts and seeds) and the detection rates at both
// thresholds against the attack's strength; and the table of every cell.
//
// Families: cells of one attack alone form a family, drawn against the parameter that varies
// between them when exactly one does, and side by side otherwise; combinations of attacks
// form one family; attacks that appear in a single cell are gathered into "other attacks".
// Strengths that span orders of magnitude are drawn evenly spaced in their order.
// The text is a pure function of its input: the same rows give the same bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "watermark/attack_catalogue.h"
#include "watermark/calibration.h"
#include "watermark/robustness.h"

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
};

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

std::string RobustnessHtml(const RobustnessReport& report);

}  // namespace quillfen
