#include "quillfen/benchmark/security.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

SecurityHost Host(const std::string& name) {
    Bitmap picture = LoadPictureFile(test::SamplePath("hosts/" + name)).bitmap;
    picture.resize(256, 256);
    return {name, GrayOf(picture).pixels()};
}

SecurityPlan Plan(const std::string& method, const std::vector<std::string>& attacks, int trials) {
    SecurityPlan plan;
    for (const char* name : {"clock.pgm", "brick.pgm", "chelsea.pgm", "coffee.pgm"}) plan.Hosts.push_back(Host(name));
    plan.Methods.push_back(SweepMethodOf(MakeMethod(ParseMethodSpec(method)), "built-in"));
    for (const std::string& text : attacks) plan.Attacks.push_back(ParseSecurityAttack(text));
    plan.Trials = trials;
    plan.Seed = 3;
    return plan;
}

TEST(SecurityAttack, ParsesTheListsUsersWriteAndRefusesTheRest) {
    EXPECT_EQ(ParseSecurityAttack("averaging:n=10,50,200"), (SecurityAttack{"averaging", {10, 50, 200}}));
    EXPECT_EQ(ParseSecurityAttack("copy"), (SecurityAttack{"copy", {1}}));
    for (const char* bad : {"averaging", "averaging:n=", "averaging:n=0", "averaging:n=1001", "averaging:n=10,,20",
                            "averaging:n=5,5", "averaging:n=ten", "copy:n=2", "mean:n=3"})
        EXPECT_THROW(ParseSecurityAttack(bad), ArgumentError) << bad;
}

// The Wilson interval at 95 %: values from its formula, the bounds pinned at 0 and 1 where
// the share is.
TEST(SecurityAttack, WilsonIntervalsArePinned) {
    const RateInterval none = WilsonInterval(0, 24);
    EXPECT_EQ(none.Rate, 0);
    EXPECT_EQ(none.Low, 0);
    EXPECT_NEAR(none.High, 0.137976, 1e-6);
    const RateInterval half = WilsonInterval(12, 24);
    EXPECT_NEAR(half.Low, 0.314274, 1e-6);
    EXPECT_NEAR(half.High, 0.685726, 1e-6);
    const RateInterval all = WilsonInterval(24, 24);
    EXPECT_NEAR(all.Low, 0.862024, 1e-6);
    EXPECT_EQ(all.High, 1);
    const RateInterval some = WilsonInterval(3, 10);
    EXPECT_NEAR(some.Low, 0.107791, 1e-6);
    EXPECT_NEAR(some.High, 0.603222, 1e-6);
    EXPECT_TRUE(std::isnan(WilsonInterval(0, 0).Rate));
}

TEST(SecurityAttack, PicturesAreTheHostsTurnedAndShifted) {
    const std::vector<SecurityHost> hosts = {Host("clock.pgm"), Host("brick.pgm")};
    EXPECT_EQ(SecurityPicture(hosts, 0), hosts[0].Gray);
    EXPECT_EQ(SecurityPicture(hosts, 1), hosts[1].Gray);
    // Picture 2 is the first host mirrored left to right; picture 16 (symmetry 0, step 1) is it
    // shifted by (97, 61).
    const std::vector<std::uint8_t> mirrored = SecurityPicture(hosts, 2);
    const std::vector<std::uint8_t> shifted = SecurityPicture(hosts, 16);
    for (int y : {0, 100, 255})
        for (int x : {0, 7, 255}) {
            EXPECT_EQ(mirrored[y * 256 + x], hosts[0].Gray[y * 256 + 255 - x]);
            EXPECT_EQ(shifted[y * 256 + x], hosts[0].Gray[((y + 61) % 256) * 256 + (x + 97) % 256]);
        }
    EXPECT_EQ(SecurityPictureName(hosts, 16), "clock.pgm#16");
}

TEST(SecurityAttack, ResidualIsThePictureMinusItsSmoothedSelf) {
    std::vector<std::uint8_t> flat(256 * 256, 90);
    for (double r : HighPassResidual(flat, 256)) EXPECT_NEAR(r, 0, 1e-12);
    std::vector<std::uint8_t> dot(256 * 256, 0);
    dot[128 * 256 + 128] = 1;
    const std::vector<double> r = HighPassResidual(dot, 256);
    // The centre keeps 1 minus the kernel's centre tap squared; its neighbour loses the product
    // of the centre and the next tap.
    EXPECT_NEAR(r[128 * 256 + 128], 0.8407588743092975, 1e-12);
    EXPECT_NEAR(r[128 * 256 + 129], -0.09658462501856413, 1e-12);
}

// The attacks on spread spectrum: the more pictures averaged, the closer the estimate; the
// estimate forges and removes; the rows are a pure function of the plan.
TEST(SecurityAttack, AveragingEstimatesSpreadSpectrumsPatternAndForgesIt) {
    const SecurityPlan plan = Plan("spread-spectrum", {"averaging:n=2,40", "copy"}, 6);
    std::vector<SecurityRow> rows;
    RunSecurity(plan, {nullptr, [&](const SecurityUnit&, const std::vector<SecurityRow>& made) {
                           rows.insert(rows.end(), made.begin(), made.end());
                       }, nullptr});
    ASSERT_EQ(rows.size(), 6u * 2 + 6u * 2 + 6u);
    for (const SecurityRow& row : rows) ASSERT_FALSE(row.Failed()) << row.Error;
    const std::vector<SecuritySummary> lines = SummariseSecurity(rows);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].Use, "removal");
    EXPECT_EQ(lines[0].Pictures, 2);
    EXPECT_EQ(lines[3].Use, "forgery");
    EXPECT_EQ(lines[3].Pictures, 40);
    EXPECT_EQ(lines[4].Attack, "copy");
    EXPECT_LT(lines[0].EstimateFit, lines[2].EstimateFit);
    EXPECT_GT(lines[2].EstimateFit, 0.5);
    // Forty pictures give an estimate that every unmarked picture reads as marked.
    EXPECT_EQ(lines[3].Rate1e6.Rate, 1.0);
    // Removal at the mark's own energy: the scores fall well below the marked pictures'.
    EXPECT_LT(lines[2].ScoreMedian, 0.5 * lines[0].ScoreMedian);
    // The same plan gives the same rows, and each row survives its JSON line.
    const std::vector<SecurityRow> again = ComputeSecurityUnit(plan, {0, "averaging", 40});
    ASSERT_EQ(again.size(), 12u);
    EXPECT_EQ(again[0], rows[12]);
    for (const SecurityRow& row : rows) {
        const SecurityRow back = SecurityRowFromJson(SecurityRowJson(row));
        EXPECT_EQ(back.Score, row.Score);
        EXPECT_EQ(back.Detected1e6, row.Detected1e6);
        EXPECT_EQ(back.Psnr, row.Psnr);
        EXPECT_EQ(back.Picture, row.Picture);
    }
}

TEST(SecurityAttack, APolarityKeyIsBoundToItsHostAndTheRowsSaySo) {
    SecurityPlan plan = Plan("polarity", {"averaging:n=10", "copy"}, 4);
    plan.Mark = LoadPictureFile(test::SamplePath("seal-128.pgm")).bitmap;
    std::vector<SecurityRow> rows;
    for (const SecurityUnit& unit : SecurityUnits(plan)) {
        const std::vector<SecurityRow> made = ComputeSecurityUnit(plan, unit);
        rows.insert(rows.end(), made.begin(), made.end());
    }
    ASSERT_EQ(rows.size(), 3u);
    for (const SecurityRow& row : rows) {
        EXPECT_FALSE(row.Applies);
        EXPECT_NE(row.Why.find("bound to its host"), std::string::npos);
    }
    const std::string html = SecurityHtmlSection(rows);
    EXPECT_NE(html.find("does not apply"), std::string::npos);
    EXPECT_EQ(SecurityRowFromJson(SecurityRowJson(rows[0])), rows[0]);
}

TEST(SecurityAttack, RowsThatAreNotRowsAreRefused) {
    for (const char* bad : {"", "{}", "[1]", "{\"kind\":\"security\"}", "{\"host\":\"a.pgm\",\"seed\":1}"})
        EXPECT_THROW(SecurityRowFromJson(bad), ArgumentError) << bad;
}

TEST(ReportNumbers, AreRoundedForPeopleWithoutNegativeZero) {
    EXPECT_EQ(PeopleNumber(18.884999999999998, 2), "18.88");
    EXPECT_EQ(PeopleNumber(-0.00001, 4), "0.0000");
    EXPECT_EQ(PeopleNumber(-0.0, 1), "0.0");
    EXPECT_EQ(PeopleNumber(-0.25, 2), "-0.25");
    EXPECT_EQ(PeopleNumber(std::nan(""), 2), "&ndash;");
}

}  // namespace
}  // namespace quillfen

namespace quillfen {
namespace {

// A comparison of two methods on two cells of one family: the first reads its marks, the
// second reads them with the sign turned (marked pictures below the unmarked ones).
RobustnessReport TwoMethodReport() {
    RobustnessReport report;
    report.Cells = ParseAttackCells("gauss-noise:sigma=5,gauss-noise:sigma=10");
    report.Methods = {"plain", "turned"};
    Calibration thresholds;
    thresholds.ThresholdEmpirical = 0.3;
    thresholds.ThresholdModelled = 0.52;
    report.MethodThresholds = {thresholds, thresholds};
    for (int host = 0; host < 10; ++host)
        for (const AttackCell& cell : report.Cells)
            for (const std::string& method : report.Methods) {
                RobustnessRow row;
                row.Host = std::string(1, static_cast<char>('a' + host));
                row.Host += ".pgm";
                row.Seed = 1;
                row.Attack = cell.Name;
                row.Methods = true;
                row.Identity.Method = method;
                const double s = 0.1 + 0.05 * host;
                row.Score = method == "plain" ? s + 0.2 : -s;
                row.ScoreNull = method == "plain" ? s - 0.1 : s;
                row.Detected1e3 = row.Score >= 0.3;
                row.Detected1e6 = row.Score >= 0.52;
                row.PsnrEmbed = 38;
                row.SsimEmbed = 0.95;
                report.Rows.push_back(row);
            }
    return report;
}

TEST(ComparisonReport, DrawsLogRocsPerMethodAndCallsAnAreaBelowOneHalfInverted) {
    const RobustnessReport report = TwoMethodReport();
    const std::vector<ReportFamily> families = ReportFamilies(report.Cells);
    ASSERT_EQ(families.size(), 1u);
    const FamilyRoc plain = RocOfFamily(report, families[0], 0);
    const FamilyRoc turned = RocOfFamily(report, families[0], 1);
    EXPECT_EQ(plain.Verdicts, 20u);
    EXPECT_GT(plain.Curve.Auc, 0.5);
    EXPECT_LT(turned.Curve.Auc, 0.5);
    const std::string html = RobustnessHtml(report);
    EXPECT_NE(html.find("ROC curves per family"), std::string::npos);
    EXPECT_NE(html.find("false-positive rate, log"), std::string::npos);
    EXPECT_NE(html.find(">1e-6</text>"), std::string::npos);
    EXPECT_NE(html.find(">1e-3</text>"), std::string::npos);
    // The one family's table line: the turned method's area flagged, the other's not.
    std::string flagged = PeopleNumber(turned.Curve.Auc, 3);
    flagged += " <b title=";
    std::string unflagged = PeopleNumber(plain.Curve.Auc, 3);
    unflagged += " <b title=";
    EXPECT_NE(html.find(flagged), std::string::npos);
    EXPECT_EQ(html.find(unflagged), std::string::npos);
    // Detected at 1e-6: 10 of 20 rows of the plain method (scores 0.55..0.75), with the interval.
    const RateInterval r = WilsonInterval(10, 20);
    std::string expected = "0.50 <span class=\"muted\">(";
    expected += PeopleNumber(r.Low, 2);
    expected += "&ndash;";
    expected += PeopleNumber(r.High, 2);
    EXPECT_NE(html.find(expected), std::string::npos) << expected;
    EXPECT_EQ(html.find("-0.00"), std::string::npos);
}

}  // namespace
}  // namespace quillfen
