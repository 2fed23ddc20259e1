// Rows of a method with a coded payload (message_ok), and the polarity method marking at a
// sweep's target PSNR.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

Bitmap Host(const std::string& name) { return LoadPictureFile(test::SamplePath("hosts/" + name + ".pgm")).bitmap; }

std::vector<RobustnessRow> RowsOf(const SweepPlan& plan) {
    std::vector<RobustnessRow> rows;
    SweepCallbacks callbacks;
    callbacks.Row = [&](std::uint64_t, const RobustnessRow& row) { rows.push_back(row); };
    RunSweep(plan, callbacks);
    return rows;
}

SweepPlan PlanOf(const std::string& host, const std::vector<std::string>& methods, const std::string& cells) {
    SweepPlan plan;
    const Bitmap picture = Host(host);
    plan.Hosts = {{host + ".pgm", [picture] { return picture; }}};
    plan.Mark = LoadPictureFile(test::SamplePath("seal-128.pgm")).bitmap;
    plan.Seeds = {1};
    plan.Cells = ParseAttackCells(cells);
    for (const std::string& name : methods) plan.Methods.push_back(SweepMethodOf(MakeMethod(ParseMethodSpec(name)), "built in"));
    plan.Jobs = 1;
    return plan;
}

TEST(CodedRows, MessageOkFollowsBitAccuracyOnlyOnCodedRows) {
    const std::vector<RobustnessRow> rows =
        RowsOf(PlanOf("rocket", {"spread-spectrum:ecc=3", "qim"}, "none,real-jpeg:q=20,real-jpeg:q=10"));
    ASSERT_EQ(rows.size(), 6u);
    // The coded method's rows: 45 message bits in 64 carried; unattacked the message is whole.
    const RobustnessRow& clean = rows[0];
    EXPECT_EQ(clean.MethodParams, "strength=4,bits=64,shaping=2,ecc=3");
    EXPECT_EQ(clean.PayloadBits, 45);
    EXPECT_EQ(clean.MessageOk, true);
    EXPECT_EQ(clean.PayloadMatch, true);
    const std::string json = RowJson(clean);
    EXPECT_NE(json.find("\"payload_bits\":45,\"bit_accuracy\":1,\"message_ok\":true,\"payload_match\":true"),
              std::string::npos)
        << json;
    EXPECT_EQ(RowJson(ParseRowJson(json, "x")), json);
    // JPEG 20 gets 3 carried bits wrong, which the code corrects; JPEG 10 more than it can.
    EXPECT_EQ(rows[1].BitAccuracy, 61 / 64.0);
    EXPECT_EQ(rows[1].MessageOk, true);
    ASSERT_TRUE(rows[2].BitAccuracy);
    EXPECT_LT(*rows[2].BitAccuracy, 60 / 64.0);
    EXPECT_EQ(rows[2].MessageOk, false);
    EXPECT_EQ(rows[2].PayloadMatch, false);
    // The uncoded method's rows have no such field, as before.
    EXPECT_FALSE(rows[3].MessageOk);
    EXPECT_EQ(RowJson(rows[3]).find("message_ok"), std::string::npos);
    EXPECT_EQ(RowJson(ParseRowJson(RowJson(rows[3]), "x")), RowJson(rows[3]));
    // The CSV has the column when one of its rows is coded, empty on the others.
    const std::string csv = RowsCsv(rows, false, true);
    EXPECT_NE(csv.find("bit_accuracy,message_ok,payload_match"), std::string::npos);
    EXPECT_EQ(RowsCsv({rows[3], rows[4]}, false, true).find("message_ok"), std::string::npos);
    const auto commas = [](const std::string& line) { return std::count(line.begin(), line.end(), ','); };
    EXPECT_EQ(commas(RowCsv(rows[3], true)), commas(RowCsv(rows[3], false)) + 1);
}

// A sweep's target PSNR sets the polarity method's divisor as it does the blind methods'
// strengths, and the rows record it.
TEST(CodedRows, ThePolarityMethodMarksAtTheSweepsTarget) {
    SweepPlan plan = PlanOf("chelsea", {"polarity", "qim"}, "none");
    plan.TargetPsnr = 40;
    const std::vector<RobustnessRow> rows = RowsOf(plan);
    ASSERT_EQ(rows.size(), 2u);
    const RobustnessRow& polarity = rows[0];
    ASSERT_FALSE(polarity.Failed()) << polarity.Error;
    EXPECT_EQ(polarity.Identity.Method, "polarity");
    EXPECT_EQ(polarity.MethodParams, "divisor=46");
    EXPECT_EQ(polarity.Strength, 46);
    EXPECT_NEAR(polarity.PsnrEmbed, 40.02367, 1e-5);
    EXPECT_NEAR(rows[1].PsnrEmbed, 40, 0.1);
    // Without a target it marks at its own divisor, and its rows say nothing of it, as before.
    plan.TargetPsnr.reset();
    const RobustnessRow own = RowsOf(plan)[0];
    EXPECT_EQ(own.MethodParams, "");
    EXPECT_FALSE(own.Strength);
    EXPECT_NEAR(own.PsnrEmbed, 40.26752, 1e-5);
}

}  // namespace
}  // namespace quillfen
