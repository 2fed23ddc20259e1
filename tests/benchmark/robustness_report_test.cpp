// The report's groups of attacks, its error bars, its strip of examples, its size groups and
// the bit accuracy of payload methods.
#include "quillfen/benchmark/robustness_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/security.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/picture_files.h"

namespace quillfen {
namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

RobustnessRow Row(const std::string& attack, std::uint32_t seed, bool detected, double psnr = 30) {
    RobustnessRow row;
    row.Host = "astronaut.pgm";
    row.Seed = seed;
    row.Attack = attack;
    row.Width = 256;
    row.Height = 256;
    row.Region = "256x256";
    row.PsnrEmbed = 40;
    row.SsimEmbed = 0.98;
    row.Psnr = psnr;
    row.Ssim = 0.9;
    row.Nc = 0.9;
    row.Score = detected ? 0.5 : 0.01;
    row.ScoreNull = 0.0;
    row.Detected1e3 = detected;
    row.Detected1e6 = detected;
    return row;
}

// Every family of the default grid in the group its cells belong to, the groups in the
// report's order, and the lone attacks gathered per group.
TEST(ReportFamilies, EachFamilyInItsGroup) {
    const std::vector<AttackCell> grid = DefaultAttackGrid();
    const std::vector<ReportFamily> families = ReportFamilies(grid);
    std::map<std::string, AttackGroup> groupOf;
    for (const ReportFamily& f : families) groupOf[f.Name] = f.Group;
    const std::map<std::string, AttackGroup> expected = {
        {"none", AttackGroup::None},
        {"brightness", AttackGroup::Photometric},
        {"contrast", AttackGroup::Photometric},
        {"gamma", AttackGroup::Photometric},
        {"equalize", AttackGroup::Photometric},
        {"jpeg", AttackGroup::Degradation},
        {"blur", AttackGroup::Degradation},
        {"real-jpeg", AttackGroup::Degradation},
        {"median", AttackGroup::Degradation},
        {"gauss-noise", AttackGroup::Degradation},
        {"salt-pepper", AttackGroup::Degradation},
        {"gaussian-blur", AttackGroup::Degradation},
        {"sharpen", AttackGroup::Degradation},
        {"quantize", AttackGroup::Degradation},
        {"rotate", AttackGroup::Geometric},
        {"scale", AttackGroup::Geometric},
        {"remove-rows", AttackGroup::Geometric},
        {"remove-cols", AttackGroup::Geometric},
        {"crop", AttackGroup::Geometric},
        {"shift", AttackGroup::Geometric},
        {"other geometric attacks", AttackGroup::Geometric},
        {"geometric combinations", AttackGroup::Geometric},
        {"random-bending", AttackGroup::Geometric},
        {"affine", AttackGroup::Geometric},
        {"aspect", AttackGroup::Geometric},
        {"rotate-crop", AttackGroup::Geometric},
        {"rotate-scale", AttackGroup::Geometric},
        {"crop-resize", AttackGroup::Geometric},
        {"degradation combinations", AttackGroup::Degradation},
        {"combinations", AttackGroup::Combined},
        {"print-scan", AttackGroup::Combined},
    };
    EXPECT_EQ(groupOf, expected);
    // Group by group, in the report's order.
    const std::vector<AttackGroup>& order = ReportGroups();
    for (std::size_t f = 1; f < families.size(); ++f)
        EXPECT_LE(std::find(order.begin(), order.end(), families[f - 1].Group),
                  std::find(order.begin(), order.end(), families[f].Group))
            << families[f].Name;
    // A family's cells are all of its group.
    for (const ReportFamily& f : families)
        for (const std::size_t c : f.Cells) EXPECT_EQ(AttackGroupOf(grid[c]), f.Group) << grid[c].Name;
    std::map<std::string, std::vector<std::string>> cellsOf;
    for (const ReportFamily& f : families)
        for (const std::size_t c : f.Cells) cellsOf[f.Name].push_back(grid[c].Name);
    EXPECT_EQ(cellsOf["other geometric attacks"],
              (std::vector<std::string>{"crop-zero-quarter", "crop-image-quarter", "crop-zero-half", "crop-image-half"}));
    EXPECT_EQ(cellsOf["geometric combinations"], std::vector<std::string>{"crop:frac=0.25+scale:f=0.75"});
    EXPECT_EQ(cellsOf["degradation combinations"], std::vector<std::string>{"gauss-noise:sigma=5+real-jpeg:q=75"});
    EXPECT_EQ(cellsOf["combinations"].size(), 8u);
    EXPECT_EQ(families.front().Name, "none");
}

// A small grid: combinations within one group join that group; mixed ones are combined.
TEST(ReportFamilies, CombinationsByTheirGroup) {
    const std::vector<ReportFamily> families =
        ReportFamilies(ParseAttackCells("gamma:g=2+brightness:d=3,median:k=3,scale:f=0.9+real-jpeg:q=75,none+median:k=5"));
    ASSERT_EQ(families.size(), 4u);
    EXPECT_EQ(families[0].Name, "photometric combinations");
    EXPECT_EQ(families[0].Group, AttackGroup::Photometric);
    EXPECT_EQ(families[1].Name, "median");  // its only cell: a family of one attack, named by it
    EXPECT_EQ(families[2].Name, "degradation combinations");
    EXPECT_EQ(families[3].Name, "combinations");
    EXPECT_EQ(families[3].Group, AttackGroup::Combined);
}

// The rates' error bars are their Wilson intervals, in the chart's coordinates, and the
// summaries keep the counts behind them.
TEST(RobustnessHtml, RateBarsAreWilsonIntervals) {
    RobustnessReport report;
    report.Cells = ParseAttackCells("none,median:k=3,median:k=5");
    report.Hosts = {"astronaut.pgm"};
    report.Seeds = {1, 2, 3, 4};
    report.Thresholds = ParseCalibration(R"({"thresholds": {"fpr_1e-3": 0.2, "fpr_1e-6": 0.4}})", "t");
    for (const std::uint32_t seed : report.Seeds)
        for (const AttackCell& cell : report.Cells)
            report.Rows.push_back(Row(cell.Name, seed, cell.Name != "median:k=5" || seed != 4));
    const std::vector<CellSummary> s = SummariseCells(report);
    EXPECT_EQ(s[2].Verdicts, 4u);
    EXPECT_EQ(s[2].Hits3, 3u);
    EXPECT_EQ(s[2].Hits6, 3u);
    EXPECT_EQ(s[2].Tpr6, 0.75);
    const RateInterval r = WilsonInterval(3, 4);
    EXPECT_NEAR(r.Low, 0.3006, 1e-4);
    EXPECT_NEAR(r.High, 0.9544, 1e-4);
    const std::string html = RobustnessHtml(report);
    // The point's title gives the interval and its counts; the bar runs between its bounds on
    // the rate axis (top 14, height 240; the 1e-6 series 2 pixels right of its strength).
    EXPECT_NE(html.find("median:k=5: detected at FPR 1e-6 0.750 (0.30&ndash;0.95, 3 of 4)"), std::string::npos);
    const auto y = [](double v) { return FormatFixed(14 + (1 - v) * 240, 2); };
    EXPECT_NE(html.find("," + y(r.Low) + " L"), std::string::npos) << y(r.Low);
    EXPECT_NE(html.find("," + y(r.High) + " M"), std::string::npos) << y(r.High);
    // Every rate point has its bar: 2 rates x 2 median cells, and the none family's 2.
    EXPECT_EQ(Count(html, "class=\"bar\""), 6u);
    // The group table adds up its cells.
    EXPECT_NE(html.find("<td class=\"n\">Degradation</td><td class=\"n\">median</td><td>2</td><td>8</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<h3>Degradation</h3>"), std::string::npos);
}

TEST(BootstrapMeanInterval, RepeatableAndAroundTheMean) {
    EXPECT_TRUE(std::isnan(BootstrapMeanInterval({}).Mean));
    const MeanInterval one = BootstrapMeanInterval({0.75});
    EXPECT_EQ(one.Mean, 0.75);
    EXPECT_EQ(one.Low, 0.75);
    EXPECT_EQ(one.High, 0.75);
    EXPECT_EQ(BootstrapMeanInterval({0.5, 0.5, 0.5}).High, 0.5);
    std::vector<double> values;
    for (int i = 0; i < 100; ++i) values.push_back(i % 2 == 0 ? 1.0 : 0.0);
    const MeanInterval v = BootstrapMeanInterval(values);
    EXPECT_EQ(v.Count, 100u);
    EXPECT_EQ(v.Mean, 0.5);
    // The normal approximation: 0.5 +- 1.96 * 0.05.
    EXPECT_NEAR(v.Low, 0.402, 0.015);
    EXPECT_NEAR(v.High, 0.598, 0.015);
    const MeanInterval again = BootstrapMeanInterval(values);
    EXPECT_EQ(again.Low, v.Low);
    EXPECT_EQ(again.High, v.High);
}

TEST(SizeGroupOf, BoundsOfEachGroup) {
    EXPECT_EQ(SizeGroupOf(256, 256), 0u);
    EXPECT_EQ(SizeGroupOf(128, 512), 0u);
    EXPECT_EQ(SizeGroupOf(257, 256), 1u);
    EXPECT_EQ(SizeGroupOf(1024, 1024), 1u);
    EXPECT_EQ(SizeGroupOf(1025, 1024), 2u);
    EXPECT_EQ(SizeGroupOf(2048, 2048), 2u);
    EXPECT_EQ(SizeGroupOf(4096, 4096), 3u);
    EXPECT_EQ(SizeGroupOf(4097, 4096), 4u);
    EXPECT_EQ(SizeGroupOf(0, 0), 5u);
    EXPECT_EQ(SizeGroupNames().size(), 6u);
    EXPECT_EQ(SizeGroupNames()[2], "1 to 4 MP");
}

// Hosts of several sizes: detection per size group, each method's own; one size: a line.
TEST(RobustnessHtml, HostsGroupedBySize) {
    RobustnessReport report;
    report.Cells = ParseAttackCells("none,median:k=3");
    report.Hosts = {"small.pgm", "photo.jpg"};
    report.Seeds = {1, 2};
    report.Methods = {"qim", "spread-spectrum"};
    report.MethodThresholds = {std::nullopt, std::nullopt};
    for (const std::string& method : report.Methods)
        for (const std::string& host : report.Hosts)
            for (const std::uint32_t seed : report.Seeds)
                for (const AttackCell& cell : report.Cells) {
                    RobustnessRow row = Row(cell.Name, seed, host == "photo.jpg" || method == "qim");
                    row.Host = host;
                    row.Methods = true;
                    row.Identity.Method = method;
                    row.Region = "whole";
                    if (host == "photo.jpg") {
                        row.Width = 3000;
                        row.Height = 2000;
                    }
                    report.Rows.push_back(row);
                }
    std::string html = RobustnessHtml(report);
    ASSERT_NE(html.find("<h2>Detection by picture size</h2>"), std::string::npos);
    // up to 256 x 256: qim all 4 detected, spread-spectrum none; 4 to 16 MP: both all.
    EXPECT_NE(html.find("<td class=\"n\">up to 256 \u00d7 256</td><td class=\"n\">256 &times; 256 (whole)</td><td>1</td>"
                        "<td>1.00 <span class=\"muted\">(0.51&ndash;1.00)</span></td><td>0.00 <span "
                        "class=\"muted\">(0.00&ndash;0.49)</span></td>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"n\">4 to 16 MP</td><td class=\"n\">3000 &times; 2000 (whole)</td><td>1</td>"),
              std::string::npos);
    EXPECT_NE(html.find("256 &times; 256 (whole), 3000 &times; 2000 (whole)</td></tr>"), std::string::npos);
    for (RobustnessRow& row : report.Rows) row.Width = row.Height = 256;
    html = RobustnessHtml(report);
    EXPECT_EQ(html.find("Detection by picture size"), std::string::npos);
    EXPECT_NE(html.find("<th class=\"n\">pictures marked</th><td class=\"n\">256 &times; 256 (whole)</td>"),
              std::string::npos);
}

// A payload method's bit accuracy per family and per group, only when a method has a payload.
TEST(RobustnessHtml, BitAccuracyOfPayloadMethods) {
    RobustnessReport report;
    report.Cells = ParseAttackCells("none,median:k=3,rotate:deg=2,rotate:deg=5");
    report.Hosts = {"astronaut.pgm"};
    report.Seeds = {1, 2};
    report.Methods = {"spread-spectrum", "qim"};
    report.MethodThresholds = {std::nullopt, std::nullopt};
    for (const std::string& method : report.Methods)
        for (const std::uint32_t seed : report.Seeds)
            for (const AttackCell& cell : report.Cells) {
                RobustnessRow row = Row(cell.Name, seed, true);
                row.Methods = true;
                row.Identity.Method = method;
                report.Rows.push_back(row);
            }
    EXPECT_EQ(RobustnessHtml(report).find("Bit accuracy of the payload methods"), std::string::npos);
    for (RobustnessRow& row : report.Rows)
        if (row.Identity.Method == "qim") {
            row.PayloadBits = 64;
            row.BitAccuracy = row.Attack == "rotate:deg=5" ? 0.5 : 1.0;
        }
    const std::vector<CellSummary> s = SummariseCells(report, "qim");
    EXPECT_EQ(s[3].BitAccuracyMean, 0.5);
    EXPECT_EQ(s[3].BitRows, 2u);
    EXPECT_TRUE(std::isnan(SummariseCells(report, "spread-spectrum")[3].BitAccuracyMean));
    const std::string html = RobustnessHtml(report);
    ASSERT_NE(html.find("Bit accuracy of the payload methods"), std::string::npos);
    // The geometric group: rotate 2 at 1, rotate 5 at 0.5: a mean of 0.75 over its 4 rows.
    EXPECT_NE(html.find("<td class=\"n\">&emsp;rotate</td><td>0.750 <span class=\"muted\">("), std::string::npos);
    EXPECT_NE(html.find("all geometric: mean bit accuracy 0.750"), std::string::npos);
    EXPECT_NE(html.find("<tr class=\"group\"><td class=\"n\">Geometric (all)</td><td>2</td>"), std::string::npos);
}

Bitmap Gradient(int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) b.row(y)[3 * x + c] = static_cast<std::uint8_t>((x + 2 * y) % 256);
    return b;
}

// The strip: one small picture per family, of its strongest cell, carried in the page.
TEST(ReportExamples, OnePicturePerFamilyOfItsStrongestCell) {
    RobustnessReport report;
    report.Cells = ParseAttackCells("none,real-jpeg:q=50,real-jpeg:q=70,median:k=3,median:k=5,brightness:d=20");
    report.Hosts = {"gradient.pgm"};
    report.Seeds = {7};
    // The lower PSNR is the stronger cell; median has no row and takes its last cell.
    report.Rows = {Row("none", 7, true, std::numeric_limits<double>::infinity()), Row("real-jpeg:q=50", 7, true, 31), Row("real-jpeg:q=70", 7, true, 29),
                   Row("brightness:d=20", 7, true, 22)};
    const std::vector<ReportFamily> families = ReportFamilies(report.Cells);
    const std::vector<std::size_t> strongest = StrongestCells(report, families);
    std::vector<std::string> names;
    for (const std::size_t c : strongest) names.push_back(report.Cells[c].Name);
    EXPECT_EQ(names, (std::vector<std::string>{"none", "brightness:d=20", "real-jpeg:q=70", "median:k=5"}));

    const Bitmap host = Gradient(299, 280);
    const std::vector<ReportExample> examples = ReportExamples(report, host, 7);
    ASSERT_EQ(examples.size(), families.size());
    for (std::size_t f = 0; f < examples.size(); ++f) {
        EXPECT_EQ(examples[f].Family, families[f].Name);
        EXPECT_EQ(examples[f].Cell, names[f]);
        EXPECT_EQ(examples[f].Width, 128);  // the centred 256 x 256, halved
        EXPECT_EQ(examples[f].Height, 128);
    }
    // The unchanged picture's thumbnail: each pixel the mean of a 2 x 2 block of the centred
    // part (from x 21, y 12), halves to even: (45 + 46 + 47 + 48) / 4 = 46.5 -> 46.
    const LoadedPicture none = ReadQtPictureMemory(examples[0].Png.data(), examples[0].Png.size(), "none");
    EXPECT_TRUE(none.eightBit);  // a gray host gives gray pictures
    ASSERT_EQ(none.bitmap.width(), 128);
    EXPECT_EQ(none.bitmap.blue(0, 0), 46);
    EXPECT_EQ(none.bitmap.blue(1, 0), 48);  // (47 + 48 + 49 + 50) / 4 = 48.5 -> 48
    EXPECT_EQ(none.bitmap.blue(0, 1), 50);  // (49 + 50 + 51 + 52) / 4 = 50.5 -> 50
    EXPECT_EQ(none.bitmap.blue(2, 3), 62);  // x 25, 26, y 18, 19: (61 + 62 + 63 + 64) / 4 = 62.5 -> 62
    const LoadedPicture bright = ReadQtPictureMemory(examples[1].Png.data(), examples[1].Png.size(), "bright");
    EXPECT_EQ(bright.bitmap.blue(0, 0), 66);  // 20 brighter: 66.5 -> 66

    report.ExampleHost = "gradient.pgm";
    report.Examples = examples;
    const std::string html = RobustnessHtml(report);
    EXPECT_EQ(Count(html, "<img "), families.size());
    // Only pictures carried in the page: PNG data (its signature in base64).
    EXPECT_EQ(Count(html, "<img src=\"data:image/png;base64,iVBORw0KGgo"), families.size());
    EXPECT_NE(html.find("alt=\"real-jpeg:q=70\"><figcaption>real-jpeg<br><code>real-jpeg:q=70</code>"), std::string::npos);
    EXPECT_NE(html.find("<b>gradient.pgm</b>"), std::string::npos);
}

// The front ends' strip: the first host that loads, with the run's first seed.
TEST(ReportExamples, FromThePlansFirstHostThatLoads) {
    SweepPlan plan;
    plan.Cells = ParseAttackCells("none,median:k=3");
    plan.Seeds = {3, 4};
    plan.Hosts = {{"gone.pgm", []() -> Bitmap { throw std::runtime_error("gone"); }},
                  {"small.pgm", [] { return Gradient(64, 32); }}};
    RobustnessReport report = ReportOf(plan, {});
    AddReportExamples(report, plan);
    EXPECT_EQ(report.ExampleHost, "small.pgm");
    ASSERT_EQ(report.Examples.size(), 2u);
    EXPECT_EQ(report.Examples[1].Width, 64);  // small enough to stay whole
    EXPECT_EQ(report.Examples[1].Height, 32);
    RobustnessReport none = ReportOf(plan, {});
    plan.Hosts.erase(plan.Hosts.begin() + 1);
    AddReportExamples(none, plan);
    EXPECT_TRUE(none.Examples.empty());
    EXPECT_EQ(RobustnessHtml(none).find("What the attacks do"), std::string::npos);
}

}  // namespace
}  // namespace quillfen
