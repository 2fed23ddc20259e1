// Rows as JSON Lines and CSV, their reading back, and the HTML report's families, quartiles
// and self-containment.
#include "quillfen/benchmark/robustness_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include <nlohmann/json.hpp>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/image/errors.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

RobustnessRow Measured() {
    RobustnessRow row;
    row.Host = "astronaut.pgm";
    row.Seed = 4294967295u;
    row.Attack = "shift:dx=2,dy=2";
    row.Width = 256;
    row.Height = 256;
    row.Region = "256x256";
    row.PsnrEmbed = 33.12332307301937;
    row.PsnrEmbedReals = 33.25;
    row.SsimEmbed = 0.9346702189187707;
    row.PsnrY = 33.12332307301937;
    row.Psnr = kInf;
    row.Ssim = 1;
    row.Nc = 0.8951531129588319;
    row.Ber = 0.03155517578125;
    row.Score = -0.0125;
    row.ScoreNull = 0.0375;
    row.Detected1e3 = true;
    row.Detected1e6 = false;
    row.Identity.Method = "dct-polarity:divisor=10000";
    row.Identity.HostDigest = "0123456789abcdef";
    row.Identity.MarkDigest = "fedcba9876543210";
    row.Identity.CalibrationDigest = "00112233445566ff";
    return row;
}

RobustnessRow Failed() {
    RobustnessRow row;
    row.Host = "odd, \"name\".pgm";
    row.Seed = 1;
    row.Attack = "none";
    row.Error = "Cannot open file x (gone)\nsecond line";
    row.Identity.Method = "dct-polarity:divisor=10000";
    row.Identity.MarkDigest = "fedcba9876543210";
    return row;
}

TEST(RobustnessRows, JsonHoldsTheDocumentedFieldsInOrder) {
    const nlohmann::ordered_json j = nlohmann::ordered_json::parse(RowJson(Measured()));
    std::vector<std::string> keys;
    for (const auto& item : j.items()) keys.push_back(item.key());
    const std::vector<std::string> expected = {"host",          "seed",          "attack",        "width",
                                               "height",        "region",        "psnr_embed",
                                               "psnr_embed_reals", "ssim_embed", "psnr_y",        "psnr",          "ssim",
                                               "nc",            "ber",           "score",         "score_null",
                                               "detected_1e-3", "detected_1e-6", "schema",        "method",
                                               "host_digest",   "mark_digest",   "calibration_digest"};
    EXPECT_EQ(keys, expected);
    EXPECT_TRUE(j["psnr"].is_null());  // +infinity
    const nlohmann::ordered_json f = nlohmann::ordered_json::parse(RowJson(Failed()));
    EXPECT_EQ(f.size(), expected.size() + 1);
    EXPECT_EQ(f["error"], Failed().Error);
    EXPECT_TRUE(f["nc"].is_null());
    EXPECT_TRUE(f["host_digest"].is_null());  // the host could not be read
    EXPECT_EQ(j["schema"], kRowSchemaVersion);
    // The CSV header names the same columns, and error last.
    std::string header;
    for (const std::string& k : expected) header += k + ",";
    EXPECT_EQ(CsvHeader(), header + "error");
}

TEST(RobustnessRows, JsonReadsBackTheSameRow) {
    RobustnessRow noVerdict = Measured();
    noVerdict.Detected1e3.reset();
    noVerdict.Detected1e6.reset();
    noVerdict.Psnr = 12.5;
    RobustnessRow unicode = Measured();
    unicode.Host = "h\xC3\xA9te \xE2\x80\x94 1.pgm";
    for (const RobustnessRow& row : {Measured(), Failed(), noVerdict, unicode})
        EXPECT_EQ(ParseRowJson(RowJson(row), "x"), row) << RowJson(row);
}

TEST(RobustnessRows, CsvQuotesWhatNeedsIt) {
    EXPECT_EQ(RowCsv(Measured()),
              "astronaut.pgm,4294967295,\"shift:dx=2,dy=2\",256,256,256x256,33.12332307301937,33.25,0.9346702189187707,"
              "33.12332307301937,inf,1,0.8951531129588319,0.03155517578125,-0.0125,0.0375,true,false,4,"
              "dct-polarity:divisor=10000,"
              "0123456789abcdef,fedcba9876543210,00112233445566ff,");
    EXPECT_EQ(RowCsv(Failed()), "\"odd, \"\"name\"\".pgm\",1,none,,,,,,,,,,,,,,,,4,dct-polarity:divisor=10000,,fedcba9876543210,,"
                                "\"Cannot open file x (gone)\nsecond line\"");
}

// What a method's program wrote into an error, bytes that are not UTF-8 and terminal escapes
// among them, reaches neither file raw: JSON escapes the escapes, and both replace the bytes.
TEST(RobustnessRows, NoRawBytesOrEscapesReachEitherFile) {
    RobustnessRow row = Failed();
    row.Host = "caf\xE9.pgm";
    row.Error = "method m: detect exited with 1: \x1B[31mred\x1B[0m\rback \xC2\x9B" "2J \xFF\xFE caf\xC3\xA9\tend";
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(RowCsv(row), "caf" + r + ".pgm,1,none,,,,,,,,,,,,,,,,4,dct-polarity:divisor=10000,,fedcba9876543210,,"
                           "method m: detect exited with 1: " + r + "[31mred" + r + "[0m" + r + "back " + r + "2J " +
                           r + r + " caf\xC3\xA9\tend");
    EXPECT_EQ(RowsCsv({row}).find('\x1B'), std::string::npos);
    const std::string json = RowJson(row);
    EXPECT_NE(json.find(R"(\u001b[31mred\u001b[0m\rback )"), std::string::npos) << json;
    EXPECT_NE(json.find(r + r + " caf\xC3\xA9\\tend"), std::string::npos) << json;
    EXPECT_EQ(json.find('\x1B'), std::string::npos);
}

// A registering run adds its fields before "error", null where a cell is not geometric, and
// reads them back; rows of a run without registration do not mention them.
TEST(RobustnessRows, RegisteredFieldsFollowTheVerdicts) {
    RobustnessRow geometric = Measured();
    geometric.Registering = true;
    geometric.Registered = RegisteredReading{0.99, 0.86, 0.04, 0.97, true, true};
    RobustnessRow other = Measured();
    other.Registering = true;
    RobustnessRow failed = Failed();
    failed.Registering = true;
    const nlohmann::ordered_json j = nlohmann::ordered_json::parse(RowJson(geometric));
    std::vector<std::string> keys;
    for (const auto& item : j.items()) keys.push_back(item.key());
    const std::vector<std::string> following = {"detected_1e-6",     "registration_fit",         "nc_registered",
                                                "ber_registered",    "score_registered",         "detected_1e-3_registered",
                                                "detected_1e-6_registered", "schema"};
    const auto at = std::find(keys.begin(), keys.end(), "detected_1e-6");
    ASSERT_LE(following.size(), static_cast<std::size_t>(keys.end() - at));
    EXPECT_EQ(std::vector<std::string>(at, at + static_cast<std::ptrdiff_t>(following.size())), following);
    EXPECT_TRUE(nlohmann::json::parse(RowJson(other))["score_registered"].is_null());
    EXPECT_EQ(RowJson(Measured()).find("registered"), std::string::npos);
    for (const RobustnessRow& row : {geometric, other, failed}) EXPECT_EQ(ParseRowJson(RowJson(row), "x"), row);
    EXPECT_EQ(RowCsv(geometric),
              "astronaut.pgm,4294967295,\"shift:dx=2,dy=2\",256,256,256x256,33.12332307301937,33.25,0.9346702189187707,"
              "33.12332307301937,inf,1,0.8951531129588319,0.03155517578125,-0.0125,0.0375,true,false,0.99,0.86,0.04,"
              "0.97,true,true,4,"
              "dct-polarity:divisor=10000,0123456789abcdef,fedcba9876543210,00112233445566ff,");
    EXPECT_NE(RowCsv(other).find(",false,,,,,,,4,"), std::string::npos) << RowCsv(other);
    EXPECT_EQ(CsvHeader(true).find("detected_1e-6,registration_fit,"), CsvHeader().find("detected_1e-6,"));
    EXPECT_THROW(ParseRowJson(R"({"host":"h","seed":1,"attack":"none","psnr_embed":1,"ssim_embed":1,"psnr":1,)"
                              R"("ssim":1,"nc":1,"ber":0,"score":1,"detected_1e-3":null,"detected_1e-6":null,)"
                              R"("registration_fit":"x","nc_registered":1,"ber_registered":0,"score_registered":1,)"
                              R"("detected_1e-3_registered":null,"detected_1e-6_registered":null})",
                              "x"),
                 FormatError);
}

// A seed that is not a whole number 0..4294967295 is refused, never converted.
TEST(RobustnessRows, SeedsOutOfRangeAreRefused) {
    const std::string good = RowJson(Measured());
    for (const char* seed : {"1e60", "-1", "4294967296", "2.5", "\"7\""}) {
        std::string text = good;
        text.replace(text.find("4294967295"), 10, seed);
        EXPECT_THROW(ParseRowJson(text, "x"), FormatError) << seed;
    }
    EXPECT_EQ(ParseRowJson(good, "x").Seed, 4294967295u);
}

TEST(RobustnessRows, HostNamesThatAreNotUtf8AreReplacedTheSameWayEverywhere) {
    const std::string bad = "caf\xE9.pgm";
    const std::string shown = RowHostName(bad);
    EXPECT_EQ(shown, "caf\xEF\xBF\xBD.pgm");
    RobustnessRow row = Measured();
    row.Host = bad;
    EXPECT_EQ(ParseRowJson(RowJson(row), "x").Host, shown);
    EXPECT_EQ(RowHostName(shown), shown);
}

// The shortest text that reads back exactly: against strtod on random doubles, and literally.
TEST(FormatMeasure, ShortestExactText) {
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 20000; ++i) {
        const double v = i % 2 ? unit(random) : unit(random) * 100;
        EXPECT_EQ(std::strtod(FormatMeasure(v).c_str(), nullptr), v);
    }
    const std::vector<std::pair<double, const char*>> literal = {
        {0.9, "0.9"}, {41.25, "41.25"}, {1, "1"}, {0, "0"}, {-0.0, "0"}, {1e-05, "1e-05"}, {0.1 + 0.2, "0.30000000000000004"}};
    for (const auto& [v, text] : literal) EXPECT_EQ(FormatMeasure(v), text);
}

TEST(ReadRowsFile, CompleteLinesTornTailAndDamage) {
    test::TempDir dir;
    const std::string path = dir.file("rows.jsonl");
    EXPECT_TRUE(ReadRowsFile(path).Rows.empty());  // no file yet

    const std::string two = RowJson(Measured()) + "\n" + RowJson(Failed()) + "\n";
    test::WriteBytes(path, two + "{\"host\":\"a.pgm\",\"se");
    RowsFile file = ReadRowsFile(path);
    ASSERT_EQ(file.Rows.size(), 2u);
    EXPECT_EQ(file.Rows[1], Failed());
    EXPECT_EQ(file.Tail, "{\"host\":\"a.pgm\",\"se");
    EXPECT_EQ(file.CompleteBytes, two.size());

    test::WriteBytes(path, two);
    file = ReadRowsFile(path);
    EXPECT_TRUE(file.Tail.empty());
    EXPECT_EQ(file.CompleteBytes, two.size());

    // A row that no run writes: measures out of their range, a row twice (two runs on one
    // file), a newer schema.
    auto changed = [](const std::string& from, const std::string& to) {
        std::string line = RowJson(Measured());
        return line.replace(line.find(from), from.size(), to) + "\n";
    };
    for (const std::string& damage : {std::string("not json\n"), std::string("{\"host\":\"a\"}\n"), std::string("[1]\n"),
                                      changed("\"nc\":", "\"nc\":null,\"x\":"), changed("\"nc\":0.8951531129588319", "\"nc\":5"),
                                      changed("\"score\":-0.0125", "\"score\":-7"), changed("\"ssim\":1", "\"ssim\":1.5"),
                                      changed("\"schema\":4", "\"schema\":5"), changed("0123456789abcdef", "xyz"),
                                      RowJson(Measured()) + "\n"}) {
        test::WriteBytes(path, two + damage);
        try {
            ReadRowsFile(path);
            ADD_FAILURE() << damage;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find("line 3 of"), std::string::npos) << e.what();
        }
    }
}

// What a stopped run leaves at the end of its file is any beginning of one of its rows, plain,
// failed or registered; nothing else may be taken for one (and dropped).
TEST(ReadRowsFile, OnlyABeginningOfARowOfThisRunIsACutRow) {
    SweepPlan plan;
    plan.Hosts = {{"astronaut.pgm", {}}, {"odd, \"name\".pgm", {}}};
    plan.Seeds = {1, 4294967295u};
    plan.Cells = ParseAttackCells("none,shift:dx=2,dy=2");
    const RowRange all{0, plan.RowCount()};
    RobustnessRow registered = Measured();
    registered.Registering = true;
    registered.Registered = RegisteredReading{0.99, 0.86, 0.04, 0.97, true, std::nullopt};
    for (const bool registering : {false, true}) {
        plan.Register = registering;
        for (RobustnessRow row : {Measured(), Failed(), registered}) {
            row.Registering = registering;
            if (!registering) row.Registered.reset();
            const std::string line = RowJson(row);
            for (std::size_t n = 1; n <= line.size(); ++n)
                ASSERT_TRUE(IsCutRow(line.substr(0, n), plan, all)) << line.substr(0, n);
            EXPECT_FALSE(IsCutRow(line + " ", plan, all));
            // Only rows of this run's part.
            EXPECT_FALSE(IsCutRow(line, plan, RowRange{0, 1})) << line;
        }
    }
    plan.Register = false;
    for (const std::string& tail :
         {std::string("my notes"), std::string("\x89PNG\r"), std::string("{\"host\":\"gravel.pgm\""),
          std::string("{\"host\":\"astronaut.pgm\",\"seed\":2,"), std::string("{\"host\":\"astronaut.pgm\",\"seed\":1,\"attack\":\"blur\""),
          RowJson(Measured()).substr(0, 120) + "x"})
        EXPECT_FALSE(IsCutRow(tail, plan, all)) << tail;
}

TEST(ReportFamilies, TheDefaultGridsFamilies) {
    const std::vector<ReportFamily> families = ReportFamilies(DefaultAttackGrid());
    std::map<std::string, std::string> parameter;
    for (const ReportFamily& f : families) parameter[f.Name] = f.Parameter;
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"jpeg", "scale"},       {"blur", "passes"},       {"real-jpeg", "q"},   {"median", "k"},
        {"gauss-noise", "sigma"}, {"salt-pepper", "p"},     {"rotate", "deg"},    {"scale", "f"},
        {"remove-rows", "n"},     {"crop", "frac"},         {"shift", ""},        {"combinations", ""},
        {"other geometric attacks", ""}, {"quantize", "levels"},   {"gamma", "g"},       {"contrast", "c"},
    };
    for (const auto& [name, param] : expected) {
        ASSERT_TRUE(parameter.count(name)) << name;
        EXPECT_EQ(parameter[name], param) << name;
    }
    // Every cell in exactly one family; the single cells are the lone attacks.
    std::vector<int> seen(DefaultAttackGrid().size());
    for (const ReportFamily& f : families)
        for (const std::size_t c : f.Cells) ++seen[c];
    for (const int s : seen) EXPECT_EQ(s, 1);
    // The single cells are the lone attacks, gathered per group; a group's only one keeps its name.
    const std::vector<AttackCell> grid = DefaultAttackGrid();
    std::vector<std::string> singles;
    for (const ReportFamily& f : families)
        if (f.Name == "other geometric attacks" || f.Name == "none" || f.Name == "equalize")
            for (const std::size_t c : f.Cells) singles.push_back(grid[c].Name);
    const std::vector<std::string> lone = {"none", "equalize", "crop-zero-quarter", "crop-image-quarter",
                                           "crop-zero-half", "crop-image-half"};
    EXPECT_EQ(singles, lone);
}

// A ROC curve whose points and area are known: positives 0.9, 0.5, 0.3 against negatives 0.5,
// 0.1. Of the six pairs the positive scores higher in four and ties in one: AUC 4.5 / 6.
TEST(RocOf, KnownCurveAreaAndTies) {
    const RocCurve roc = RocOf({0.3, 0.9, 0.5}, {0.1, 0.5});
    const std::vector<std::pair<double, double>> points = {{0, 0}, {0, 1.0 / 3}, {0.5, 2.0 / 3}, {0.5, 1}, {1, 1}};
    EXPECT_EQ(roc.Points, points);
    EXPECT_EQ(roc.Auc, 0.75);
    EXPECT_EQ(RocOf({0.2, 0.3}, {0.1, 0.1}).Auc, 1.0);
    EXPECT_EQ(RocOf({0.1, 0.1}, {0.1}).Auc, 0.5);
    EXPECT_EQ(RocOf({0.1}, {0.2, 0.3}).Auc, 0.0);
    EXPECT_TRUE(std::isnan(RocOf({0.5}, {}).Auc));

    // A family's curve: each row's score against its null side, the rates at the thresholds.
    RobustnessReport report;
    report.Cells = ParseAttackCells("shift:dx=1,shift:dx=2,none");
    report.Thresholds = ParseCalibration(R"({"thresholds": {"fpr_1e-3": 0.2, "fpr_1e-6": 0.4}})", "t");
    const double scores[][2] = {{0.9, 0.1}, {0.3, 0.25}, {0.1, 0.5}};
    for (std::size_t i = 0; i < 3; ++i) {
        RobustnessRow row = Measured();
        row.Attack = report.Cells[i].Name;
        row.Score = scores[i][0];
        row.ScoreNull = scores[i][1];
        row.Detected1e3 = row.Score >= 0.2;
        row.Detected1e6 = row.Score >= 0.4;
        report.Rows.push_back(row);
    }
    // The families come group by group: the no-attack reference first.
    const FamilyRoc shift = RocOfFamily(report, ReportFamilies(report.Cells)[1]);
    ASSERT_EQ(ReportFamilies(report.Cells)[1].Name, "shift");
    EXPECT_EQ(shift.Curve.Positives, 2u);
    EXPECT_EQ(shift.Curve.Auc, 1.0);
    EXPECT_EQ(shift.Tpr1e3, 1.0);
    EXPECT_EQ(shift.Tpr1e6, 0.5);
    EXPECT_EQ(shift.Fpr1e3, 0.5);
    EXPECT_EQ(shift.Fpr1e6, 0.0);
}

TEST(QuartilesOf, LinearInterpolationBetweenOrderStatistics) {
    // numpy.percentile([4, 1, 3, 2], [25, 50, 75]) = 1.75, 2.5, 3.25
    const Quartiles q = QuartilesOf({4, 1, 3, 2});
    EXPECT_EQ(q.Q1, 1.75);
    EXPECT_EQ(q.Median, 2.5);
    EXPECT_EQ(q.Q3, 3.25);
    const Quartiles one = QuartilesOf({0.5});
    EXPECT_EQ(one.Q1, 0.5);
    EXPECT_EQ(one.Q3, 0.5);
    EXPECT_TRUE(std::isinf(QuartilesOf({kInf, kInf, 30}).Median));
    EXPECT_TRUE(std::isnan(QuartilesOf({}).Median));
}

TEST(RobustnessHtml, SelfContainedEscapedAndRepeatable) {
    RobustnessReport report;
    report.Cells = ParseAttackCells("none,real-jpeg:q=50,70,shift:dx=1,shift:dx=2,dy=2,blur+none");
    report.Hosts = {"<b>.pgm"};
    report.Seeds = {1, 2, 3, 5};
    report.Mark = "seal-128.pgm";
    report.Command = "quillfen-cli robustness '<b>.pgm'";
    report.Program = "quillfen-cli test";
    report.Thresholds = LoadCalibration(test::SamplePath("seal-128.calibration.json"));
    for (const std::uint32_t seed : report.Seeds)
        for (const AttackCell& cell : report.Cells) {
            RobustnessRow row = Measured();
            row.Host = "<b>.pgm";
            row.Seed = seed;
            row.Attack = cell.Name;
            row.Nc = 0.5 + 0.1 * seed;
            report.Rows.push_back(row);
        }
    report.Rows.back() = Failed();
    report.Rows.back().Host = "<b>.pgm";
    const std::string html = RobustnessHtml(report);
    EXPECT_EQ(RobustnessHtml(report), html);
    EXPECT_EQ(html.find("<b>.pgm"), std::string::npos);
    EXPECT_NE(html.find("&lt;b&gt;.pgm"), std::string::npos);
    for (const char* remote : {"<script", "https:", "@import", "url(", "<link", "<img"})
        EXPECT_EQ(html.find(remote), std::string::npos) << remote;
    // Only the SVG namespace names a web address.
    std::size_t http = 0;
    for (std::size_t at = html.find("http:"); at != std::string::npos; at = html.find("http:", at + 1)) {
        EXPECT_EQ(html.compare(at, 27, "http://www.w3.org/2000/svg\""), 0);
        ++http;
    }
    // Per family a chart and a ROC curve, and the tail of the calibration.
    std::size_t charts = 0;
    for (std::size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1)) ++charts;
    EXPECT_EQ(charts, 2 * ReportFamilies(report.Cells).size() + 1);
    EXPECT_EQ(http, charts);
    EXPECT_NE(html.find("1..3, 5"), std::string::npos);
    EXPECT_NE(html.find("Failed rows"), std::string::npos);
}

// A registering run's second reading is summarised from the rows that carry one and drawn as
// its own curves and columns; a run without registration shows neither.
TEST(RobustnessHtml, RegisteredReadingsGetTheirOwnCurvesAndColumns) {
    RobustnessReport report;
    report.Cells = ParseAttackCells("none,shift:dx=1,shift:dx=4");
    report.Hosts = {"astronaut.pgm"};
    report.Seeds = {1, 2};
    report.Thresholds = LoadCalibration(test::SamplePath("seal-128.calibration.json"));
    for (const std::uint32_t seed : report.Seeds)
        for (const AttackCell& cell : report.Cells) {
            RobustnessRow row = Measured();
            row.Seed = seed;
            row.Attack = cell.Name;
            report.Rows.push_back(row);
        }
    const std::string plain = RobustnessHtml(report);
    EXPECT_EQ(plain.find("after registration"), std::string::npos);
    EXPECT_EQ(plain.find("registered:"), std::string::npos);

    for (RobustnessRow& row : report.Rows) {
        row.Registering = true;
        if (row.Attack == "none") continue;
        const double shift = row.Attack == "shift:dx=1" ? 1 : 4;
        row.Registered = RegisteredReading{0.99, 0.9 - 0.1 * shift - 0.01 * row.Seed, 0.05, 0.8, true, row.Seed == 1};
    }
    report.Rows[4] = Failed();  // seed 2, shift:dx=1: a failed row counts nowhere
    report.Rows[4].Attack = "shift:dx=1";
    report.Rows[4].Registering = true;
    const std::vector<CellSummary> s = SummariseCells(report);
    EXPECT_EQ(s[0].Registered, 0u);
    EXPECT_TRUE(std::isnan(s[0].RegisteredNcMedian));
    EXPECT_TRUE(std::isnan(s[0].RegisteredTpr6));
    EXPECT_EQ(s[1].Registered, 1u);
    EXPECT_DOUBLE_EQ(s[1].RegisteredNcMedian, 0.79);
    EXPECT_EQ(s[1].RegisteredTpr6, 1.0);
    EXPECT_EQ(s[2].Registered, 2u);
    EXPECT_DOUBLE_EQ(s[2].RegisteredNcMedian, 0.485);
    EXPECT_EQ(s[2].RegisteredScoreMedian, 0.8);
    EXPECT_EQ(s[2].RegisteredTpr3, 1.0);
    EXPECT_EQ(s[2].RegisteredTpr6, 0.5);
    // The unregistered reading is summarised as before.
    EXPECT_EQ(s[2].Nc.Median, Measured().Nc);

    const std::string html = RobustnessHtml(report);
    EXPECT_NE(html.find("NC median after registration (&#9671;)"), std::string::npos);
    EXPECT_NE(html.find("<th>registered: NC median</th>"), std::string::npos);
    EXPECT_NE(html.find("shift:dx=4: NC median after registration 0.485"), std::string::npos);
    EXPECT_NE(html.find("shift:dx=4: detected at FPR 1e-6 after registration 0.500"), std::string::npos);
    EXPECT_EQ(html.find("none: NC median after registration"), std::string::npos);
}

// A blind method's row of schema 4: its z fields and the two verdict words are written where
// the documentation puts them, read back as written, and left out of rows of schema 3.
TEST(RobustnessRows, BlindVerdictFieldsOfSchema4) {
    RobustnessRow row = Measured();
    row.Methods = true;
    row.Nc.reset();
    row.MethodParams = "step=16,bits=64";
    row.Strength = 16;
    row.PayloadBits = 64;
    row.BitAccuracy = 0.96875;
    row.PayloadMatch = false;
    row.Z = -14.25;
    row.ZNull = 0.5;
    row.Inverted = true;
    row.Registering = true;
    row.Registered = RegisteredReading{0.99, std::nullopt, 0.03125, -0.05, true, true, -12.5};
    row.Identity.Method = "qim";
    row.Identity.MarkDigest.clear();
    const std::string json = RowJson(row);
    EXPECT_NE(json.find("\"bit_accuracy\":0.96875,\"payload_match\":false,\"z\":-14.25,\"z_null\":0.5,\"inverted\":true,"
                        "\"z_registered\":-12.5,\"registration_fit\":0.99"),
              std::string::npos)
        << json;
    EXPECT_EQ(ParseRowJson(json, "x"), row);
    EXPECT_NE(CsvHeader(true, true).find("bit_accuracy,payload_match,z,z_null,inverted,z_registered,registration_fit"),
              std::string::npos);
    // Without registering, no z_registered.
    EXPECT_EQ(CsvHeader(false, true).find("z_registered"), std::string::npos);
    // A payload method's verdict words are null where it has none (a zero-bit method).
    RobustnessRow zeroBit = row;
    zeroBit.PayloadMatch.reset();
    zeroBit.Z.reset();
    zeroBit.ZNull.reset();
    zeroBit.Inverted.reset();
    zeroBit.Registered->Z.reset();
    EXPECT_NE(RowJson(zeroBit).find("\"payload_match\":null,\"z\":null,\"z_null\":null,\"inverted\":null"),
              std::string::npos);
    EXPECT_EQ(ParseRowJson(RowJson(zeroBit), "x"), zeroBit);
    // A row of schema 3 has none of them, and reads back without them.
    RobustnessRow old = zeroBit;
    old.Identity.Schema = 3;
    old.Width = old.Height = 0;
    old.Region.clear();
    old.PsnrY.reset();
    EXPECT_EQ(RowJson(old).find("payload_match"), std::string::npos);
    EXPECT_EQ(ParseRowJson(RowJson(old), "x"), old);
    // A z that is no number is refused.
    std::string bad = json;
    bad.replace(bad.find("-14.25"), 6, "\"x\"");
    EXPECT_THROW(ParseRowJson(bad, "x"), FormatError);
}

// The geometry a method that synchronises found ends its rows as one object; rows without it
// keep their bytes, and a stopped run's last line may end anywhere inside it.
TEST(RobustnessRows, FoundGeometryEndsTheRowsOfAMethodThatSynchronises) {
    RobustnessRow row = Measured();
    row.Methods = true;
    row.Nc.reset();
    row.MethodParams = "strength=2.55";
    row.Strength = 2.55;
    row.PayloadBits = 64;
    row.BitAccuracy = 1;
    row.PayloadMatch = true;
    row.Identity.Method = "spread-spectrum-sync";
    row.Identity.MarkDigest.clear();
    const std::string without = RowJson(row);
    row.Found = FoundGeometry{-5.25, 0.5, 0.4375, 0.0078125, -12.5, 3, 0.375, 1e-30};
    const std::string json = RowJson(row);
    EXPECT_EQ(json, without.substr(0, without.size() - 1) +
                        ",\"found\":{\"rotation_degrees\":-5.25,\"scale_x\":0.5,\"scale_y\":0.4375,\"shear\":0.0078125,"
                        "\"shift_x\":-12.5,\"shift_y\":3,\"peak\":0.375,\"false_alarm\":1e-30}}");
    EXPECT_EQ(ParseRowJson(json, "x"), row);
    EXPECT_FALSE(ParseRowJson(without, "x").Found);
    // Not in the CSV: its columns are the same for every method of a run.
    EXPECT_EQ(RowCsv(row), [&] { RobustnessRow plain = row; plain.Found.reset(); return RowCsv(plain); }());

    SweepPlan plan;
    plan.Hosts = {{"astronaut.pgm", {}}};
    plan.Seeds = {4294967295u};
    plan.Cells = ParseAttackCells("shift:dx=2,dy=2");
    plan.Methods.resize(1);
    for (std::size_t n = 1; n <= json.size(); ++n)
        ASSERT_TRUE(IsCutRow(json.substr(0, n), plan, RowRange{0, 1})) << json.substr(0, n);
    EXPECT_FALSE(IsCutRow(json + "}", plan, RowRange{0, 1}));

    // A found object that no run writes: a member missing or of the wrong kind, a false-alarm
    // bound above 1, on a failed row.
    auto changed = [&](const std::string& from, const std::string& to) {
        std::string line = json;
        return line.replace(line.find(from), from.size(), to);
    };
    for (const std::string& damage :
         {changed("\"shear\":0.0078125,", ""), changed("\"peak\":0.375", "\"peak\":\"high\""),
          changed("\"false_alarm\":1e-30", "\"false_alarm\":2"), changed(",\"found\":{", ",\"found\":7,\"x\":{")})
        EXPECT_THROW(ParseRowJson(damage, "x"), FormatError) << damage;
    std::string failed = RowJson(Failed());
    failed.insert(failed.size() - 1, ",\"found\":{}");
    EXPECT_THROW(ParseRowJson(failed, "x"), FormatError);
}

}  // namespace
}  // namespace quillfen
