// The calibration: its null trials, the threshold rules, its file, and the calibration shipped
// for the bundled mark.
#include "quillfen/benchmark/calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/marking.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

// The laboratory's method calibrated with its mark.
Calibration CalibratePolarity(std::span<const NamedPicture> hosts, const NamedPicture& mark,
                              std::span<const std::uint32_t> seeds, std::span<const AttackCell> attacks,
                              const CalibrationOptions& options) {
    return Calibrate(hosts, *MakeMethod(DefaultMethod()), &mark, seeds, attacks, options);
}

NamedPicture Sample(const std::string& name) {
    return {std::filesystem::path(name).filename().string(), LoadPictureFile(test::SamplePath(name)).bitmap};
}

std::vector<NamedPicture> SmallHostSet() {
    return {Sample("hosts/astronaut.pgm"), Sample("hosts/cell.pgm"), Sample("hosts/grass.pgm")};
}

const std::vector<AttackCell>& SmallAttackList() {
    static const std::vector<AttackCell> cells = ParseAttackCells("none,real-jpeg:q=50,gauss-noise:sigma=5,rotate:deg=2");
    return cells;
}

// Three hosts, three seeds and four attacks: 9 keys, each reading the 6 marked pictures of the
// other hosts, the 2 other hosts unmarked and its own host unmarked after the 4 attacks.
const Calibration& SmallCalibration() {
    static const Calibration cal = [] {
        const std::vector<std::uint32_t> seeds = {1, 2, 3};
        CalibrationOptions options;
        options.Program = "test";
        options.Jobs = 2;
        return CalibratePolarity(SmallHostSet(), Sample("seal-128.pgm"), seeds, SmallAttackList(), options);
    }();
    return cal;
}

TEST(Calibration, CountsEveryKindOfTrial) {
    const Calibration& cal = SmallCalibration();
    EXPECT_EQ(NullTrialCount(3, 3, 4, false), 108u);
    EXPECT_EQ(NullTrialCount(1, 1, 0, false), 0u);
    EXPECT_EQ(cal.Trials, 108u);
    EXPECT_EQ(cal.KindTrials[static_cast<int>(NullTrialKind::OtherHostMarked)], 9u * 6);
    EXPECT_EQ(cal.KindTrials[static_cast<int>(NullTrialKind::OtherHostUnmarked)], 9u * 2);
    EXPECT_EQ(cal.KindTrials[static_cast<int>(NullTrialKind::OwnHostUnmarked)], 9u * 4);
    std::uint64_t counted = 0;
    for (const auto& [value, count] : cal.Histogram) counted += count;
    EXPECT_EQ(counted, cal.Trials);
    EXPECT_TRUE(std::is_sorted(cal.Histogram.begin(), cal.Histogram.end()));
    EXPECT_EQ(cal.Components.size(), 9u);
    double weights = 0;
    for (const NullComponent& c : cal.Components) {
        weights += c.Weight;
        EXPECT_EQ(c.StdDev, std::max(c.SampleStdDev, c.BinomialStdDev));
        EXPECT_GT(c.BinomialStdDev, 0.0) << c.Host << " " << NullTrialKindName(c.Kind);
    }
    EXPECT_NEAR(weights, 1.0, 1e-12);
    EXPECT_EQ(cal.Attacks, (std::vector<std::string>{"none", "real-jpeg:q=50", "gauss-noise:sigma=5", "rotate:deg=2"}));
}

// Whatever the null picture, its score stays far below a marked picture's (1 as written): the
// own host unmarked without an attack scores exactly 0 for each of the 9 keys, where NC is 1.
TEST(Calibration, NullScoresStayNearZero) {
    const Calibration& cal = SmallCalibration();
    std::uint64_t zeros = 0;
    for (const auto& [value, count] : cal.Histogram) {
        EXPECT_GT(value, -0.15);
        EXPECT_LT(value, 0.15);
        if (value == 0.0) zeros += count;
    }
    EXPECT_GE(zeros, 9u);
    EXPECT_LT(std::abs(cal.Mean), 0.05);
}

// Every component meets each rate: its normal model's tail at the threshold is at most the rate,
// and at 1e-3 at most a thousandth of its own trials reach it (with 12 trials or so per component,
// none may); the component with the highest quantile sets the threshold and is named.
TEST(Calibration, EveryComponentMeetsTheRate) {
    const Calibration& cal = SmallCalibration();
    EXPECT_GT(cal.ThresholdEmpirical, cal.Histogram.back().first);
    EXPECT_EQ(cal.EmpiricalTail(cal.ThresholdEmpirical), 0.0);
    EXPECT_GE(cal.ThresholdModelled, cal.ThresholdEmpirical);
    const NullComponent* sets6 = nullptr;
    for (const NullComponent& c : cal.Components) {
        EXPECT_LE(NormalUpperTail((cal.ThresholdModelled - c.Mean) / c.StdDev), kFprModelled * (1 + 1e-9)) << c.Host;
        EXPECT_LE(NormalUpperTail((cal.ThresholdEmpirical - c.Mean) / c.StdDev), kFprEmpirical * (1 + 1e-9)) << c.Host;
        EXPECT_LE(c.Quantile1e3, cal.ThresholdEmpirical);
        EXPECT_LE(c.Quantile1e6, cal.ThresholdModelled);
        if (sets6 == nullptr || c.Quantile1e6 > sets6->Quantile1e6) sets6 = &c;
    }
    // The mixture, weighted by the trials, lies far below the rate there: the average over
    // pictures is not what the thresholds promise.
    EXPECT_LT(cal.ModelTail(cal.ThresholdModelled), kFprModelled);
    ASSERT_NE(sets6, nullptr);
    if (cal.Source1e6.From == "model") {
        EXPECT_EQ(cal.Source1e6.Host, sets6->Host);
        EXPECT_EQ(cal.Source1e6.Kind, sets6->Kind);
        EXPECT_EQ(cal.ThresholdModelled, sets6->Quantile1e6);
    }
    EXPECT_EQ(cal.Threshold(kFprEmpirical), cal.ThresholdEmpirical);
    EXPECT_EQ(cal.Threshold(kFprModelled), cal.ThresholdModelled);
    // Other rates come from the components' models, and the threshold falls as the rate grows.
    EXPECT_LT(cal.Threshold(1e-2), cal.Threshold(1e-4));
    for (const double bad : {0.0, 1.0, -0.5, 2.0}) EXPECT_THROW(cal.Threshold(bad), ArgumentError) << bad;
    // One rule everywhere: a score at the threshold is detected, one just below is not.
    EXPECT_TRUE(cal.Detected(cal.ThresholdEmpirical, kFprEmpirical));
    EXPECT_FALSE(cal.Detected(cal.Histogram.back().first, kFprEmpirical));
    EXPECT_TRUE(cal.Detected(cal.ThresholdModelled, kFprModelled));
    EXPECT_FALSE(cal.Detected(std::nextafter(cal.ThresholdModelled, -2.0), kFprModelled));
}

// A component of 5050 trials may have 5 at or above the 1e-3 threshold: its top six scores tell
// where that is, and when its trials ask for more than its model they set the threshold.
TEST(Calibration, AComponentsOwnTrialsBindAtOneInAThousand) {
    Calibration cal;
    cal.Histogram = {{0.0, 5044}, {0.98, 1}, {0.99, 2}, {1.0, 3}};
    cal.Trials = 5050;
    NullComponent c;
    c.Host = "h";
    c.Kind = NullTrialKind::OwnHostUnmarked;
    c.Trials = 5050;
    c.Mean = 0.001;
    c.SampleStdDev = 0.01;
    c.Top = {1.0, 1.0, 1.0, 0.99, 0.99, 0.98};
    cal.Components.push_back(c);
    FitCalibration(cal);
    // floor(5050 / 1000) = 5: the three at 1.0 and the two at 0.99 reach 0.99; 0.98 would make 6.
    EXPECT_EQ(cal.ThresholdEmpirical, 0.99);
    EXPECT_EQ(cal.Source1e3.From, "trials");
    // The model alone would put 1e-6 far lower: it is raised to the 1e-3 threshold.
    EXPECT_EQ(cal.ThresholdModelled, 0.99);
    EXPECT_EQ(cal.Source1e6.From, "1e-3");
    // Six at the top: none may be reached beyond 1, and a threshold never exceeds 1.
    cal.Components[0].Top = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    FitCalibration(cal);
    EXPECT_EQ(cal.ThresholdEmpirical, 1.0);
    EXPECT_EQ(cal.Components[0].StdDev, 0.01);
}

TEST(Calibration, ThreadsDoNotChangeTheResult) {
    const std::vector<std::uint32_t> seeds = {1, 2, 3};
    CalibrationOptions options;
    options.Program = "test";
    options.Jobs = 1;
    EXPECT_EQ(CalibratePolarity(SmallHostSet(), Sample("seal-128.pgm"), seeds, SmallAttackList(), options),
              SmallCalibration());
}

TEST(Calibration, JsonRoundTrip) {
    const Calibration& cal = SmallCalibration();
    EXPECT_EQ(ParseCalibration(CalibrationJson(cal), "x"), cal);
}

TEST(Calibration, RefusesWhatCannotGiveTrials) {
    const std::vector<std::uint32_t> one = {1};
    const std::vector<std::uint32_t> twice = {1, 1};
    const std::vector<NamedPicture> single = {Sample("hosts/cell.pgm")};
    const std::vector<NamedPicture> sameName = {Sample("hosts/cell.pgm"), Sample("hosts/cell.pgm")};
    const NamedPicture white{"white.pgm", Bitmap(128, 128, 255)};
    const NamedPicture mark = Sample("seal-128.pgm");
    const std::vector<AttackCell> none;
    const AttackCell noAttack = ParseAttackCells("none").front();
    const std::vector<AttackCell> repeated = {noAttack, noAttack};
    CalibrationOptions options;
    EXPECT_THROW(CalibratePolarity(single, mark, one, none, options), ArgumentError);
    EXPECT_THROW(CalibratePolarity(SmallHostSet(), mark, twice, none, options), ArgumentError);
    EXPECT_THROW(CalibratePolarity(sameName, mark, one, none, options), ArgumentError);
    EXPECT_THROW(CalibratePolarity(SmallHostSet(), white, one, none, options), ArgumentError);
    EXPECT_THROW(CalibratePolarity(single, mark, one, repeated, options), ArgumentError);
    // One host and one seed do give trials once an attack is applied to the unmarked host.
    EXPECT_EQ(CalibratePolarity(single, mark, one, SmallAttackList(), options).Trials, 4u);
}

TEST(Calibration, ParseRefusesDamagedFiles) {
    const std::string good = CalibrationJson(SmallCalibration());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::vector<std::string> bad = {
        "",
        "[]",
        good.substr(0, good.size() / 2),
        replaced("quillfen-calibration", "something-else"),
        replaced("\"version\": 3", "\"version\": 4"),
        // Thresholds that held on average over the hosts, not for each.
        replaced("\"version\": 3", "\"version\": 2"),
        replaced("\"trials\": 108", "\"trials\": 109"),
        // Counts that are reals, negative or beyond their type are refused before any conversion.
        replaced("\"trials\": 108", "\"trials\": 1e60"),
        replaced("\"trials\": 108", "\"trials\": 108.5"),
        replaced("\"black_pixels\": ", "\"black_pixels\": -"),
        replaced("\"seeds\": [\n    1", "\"seeds\": [\n    4294967296"),
        replaced("\"fpr_1e-3\": ", "\"fpr_1e-3\": 1.5, \"x\": "),
        replaced("\"kind\": \"other-host-marked\"", "\"kind\": \"lucky\""),
        replaced("\"digest\"", "\"dijest\""),
        replaced("\"binomial_sd\"", "\"binomial\""),
        replaced("\"histogram\": [\n      [", "\"histogram\": [\n      [1, 1], ["),
        // Files of thresholds alone.
        R"({"fpr_1e-3": 0.1})",
        R"({"thresholds": {"fpr_1e-3": 0.1}})",
        R"({"thresholds": {"fpr_1e-3": "0.1", "fpr_1e-6": 0.2}})",
        R"({"thresholds": {"fpr_1e-3": 0.1, "fpr_1e-6": 3}})",
        R"({"thresholds": {"fpr_1e-3": 0.3, "fpr_1e-6": 0.2}})",
        R"({"statistic": 7, "thresholds": {"fpr_1e-3": 0.1, "fpr_1e-6": 0.2}})",
    };
    for (const std::string& text : bad) {
        try {
            ParseCalibration(text, "cal.json");
            ADD_FAILURE() << "accepted: " << text.substr(0, 80);
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find("'cal.json'"), std::string::npos) << e.what();
        }
    }
}

// A calibration of NC, from a file of thresholds or from an earlier calibrate (format 1, no
// "statistic"), is refused with a word on why: its numbers mean nothing for the score.
TEST(Calibration, RefusesCalibrationsOfNc) {
    std::string old = CalibrationJson(SmallCalibration());
    old.replace(old.find("\"version\": 3"), 12, "\"version\": 1");
    old.erase(old.find("\"statistic\""), std::string("\"statistic\": \"score\",\n  ").size());
    for (const std::string& text :
         {old, std::string(R"({"statistic": "nc", "thresholds": {"fpr_1e-3": 0.6, "fpr_1e-6": 0.7}})")}) {
        try {
            ParseCalibration(text, "nc.json");
            ADD_FAILURE() << "accepted: " << text.substr(0, 80);
        } catch (const FormatError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("'nc.json' calibrates"), std::string::npos) << message;
            EXPECT_NE(message.find("quillfen-cli calibrate"), std::string::npos) << message;
        }
    }
}

// A file of thresholds alone is read as the thresholds, with no sample; other fields are left
// to whoever wrote them.
TEST(Calibration, ReadsAFileOfThresholdsAlone) {
    const Calibration cal =
        ParseCalibration(R"({"statistic": "score", "thresholds": {"fpr_1e-3": 0.08, "fpr_1e-6": 0.2}, "x": 1})", "c");
    EXPECT_EQ(cal.ThresholdEmpirical, 0.08);
    EXPECT_EQ(cal.ThresholdModelled, 0.2);
    EXPECT_FALSE(cal.HasSample());
    EXPECT_TRUE(cal.Detected(0.2, kFprModelled));
    EXPECT_THROW(cal.Threshold(1e-4), ArgumentError);
    // At 0 or below, pictures without the mark (scores about 0) would be judged to carry it.
    EXPECT_THROW(ParseCalibration(R"({"thresholds": {"fpr_1e-3": -0.1, "fpr_1e-6": -0.1}})", "c"), FormatError);
    EXPECT_THROW(ParseCalibration(R"({"thresholds": {"fpr_1e-3": 0, "fpr_1e-6": 0.1}})", "c"), FormatError);
}

TEST(Calibration, MarkDigestFollowsTheBinarisedMark) {
    const Bitmap pgm = Sample("seal-128.pgm").Picture;
    // The same mark in colour (the blue byte is the gray value) and shades that binarise alike.
    Bitmap colour = pgm;
    for (int y = 0; y < colour.height(); ++y)
        for (int x = 0; x < colour.width(); ++x) {
            const std::uint8_t b = colour.blue(x, y);
            colour.setBgr(x, y, b < 128 ? std::uint8_t(b / 2) : std::uint8_t(200), 17, 230);
        }
    EXPECT_EQ(MarkDigest(colour), MarkDigest(pgm));
    Bitmap changed = pgm;
    changed.setGray(64, 64, changed.blue(64, 64) < 128 ? 255 : 0);
    EXPECT_NE(MarkDigest(changed), MarkDigest(pgm));
    // Pixels past 128 x 128 are not part of the mark.
    Bitmap larger = pgm;
    larger.resize(200, 200);
    larger.setGray(150, 150, 0);
    EXPECT_EQ(MarkDigest(larger), MarkDigest(pgm));
}

TEST(Calibration, ComparedBlackPixelsLeaveOutTheFirstFourRowsAndColumns) {
    Bitmap mark(128, 128, 255);
    for (int i = 0; i < 4; ++i) mark.setGray(i, 50, 0);  // columns 0..3: not compared
    for (int i = 0; i < 4; ++i) mark.setGray(50, i, 0);  // rows 0..3: not compared
    EXPECT_EQ(MarkComparedBlackPixels(mark), 0);
    mark.setGray(4, 4, 127);
    EXPECT_EQ(MarkComparedBlackPixels(mark), 1);
}

// The key holds its host's polarity map, so the unmarked host itself reads as fully marked
// by NC: the reason detection rests on the score, which gives it 0.
TEST(Calibration, TheKeysOwnUnmarkedHostReadsAsMarkedByNcOnly) {
    Experiment e;
    Bitmap host = Sample("hosts/chelsea.pgm").Picture;
    Bitmap mark = Sample("seal-128.pgm").Picture;
    e.Load(host, mark);
    e.SetFixedSeed(5);
    e.Embed();
    const std::vector<std::uint8_t> x = e.Workspace().X();
    const std::vector<double> reals(x.begin(), x.end());
    const MarkKey key = KeyFromExperiment(e, 256, 256);
    EXPECT_EQ(e.ExtractFrom(x, reals).back().nc, 1.0);
    EXPECT_EQ(ScoreExtraction(key, e.Workspace()).Value, 0.0);
}

// The calibration shipped beside the bundled mark: made from the bundled hosts, with enough
// trials, and its model and thresholds are what its own sample gives. (A Release-only ctest
// recomputes the whole file with the command that made it.)
TEST(ShippedCalibration, IsConsistentWithItsSampleAndTheBundledFiles) {
    const Calibration shipped = LoadCalibration(test::SamplePath("seal-128.calibration.json"));
    EXPECT_EQ(shipped.MarkDigestText, MarkDigest(Sample("seal-128.pgm").Picture));
    std::vector<std::string> hosts;
    for (const auto& entry : std::filesystem::directory_iterator(test::SamplePath("hosts")))
        if (entry.path().extension() == ".pgm") hosts.push_back(entry.path().filename().string());
    std::sort(hosts.begin(), hosts.end());
    EXPECT_EQ(shipped.Hosts, hosts);
    EXPECT_GE(shipped.Trials, 10000u);
    EXPECT_EQ(shipped.Trials, NullTrialCount(shipped.Hosts.size(), shipped.Seeds.size(), shipped.Attacks.size(), false));
    std::vector<std::string> grid;
    for (const AttackCell& cell : DefaultAttackGrid()) grid.push_back(cell.Name);
    EXPECT_EQ(shipped.Attacks, grid);

    Calibration refit = shipped;
    refit.Fit.clear();
    refit.ThresholdEmpirical = refit.ThresholdModelled = refit.Mean = refit.StdDev = 0;
    for (NullComponent& c : refit.Components) c.Weight = c.StdDev = 0;
    FitCalibration(refit);
    EXPECT_EQ(refit, shipped);
    EXPECT_GT(shipped.ThresholdEmpirical, shipped.Mean);
    EXPECT_GE(shipped.ThresholdModelled, shipped.ThresholdEmpirical);
    // The built-in thresholds are this file's.
    EXPECT_EQ(DefaultCalibration().ThresholdEmpirical, shipped.ThresholdEmpirical);
    EXPECT_EQ(DefaultCalibration().ThresholdModelled, shipped.ThresholdModelled);
}

// The blind methods' calibrations shipped in samples/: made by `calibrate --method` on the
// bundled hosts, and their thresholds are the methods' built-in ones.
TEST(ShippedCalibration, BlindMethodsThresholdsAreTheirFiles) {
    for (const char* name : {"spread-spectrum", "qim", "stdm", "rdm"}) {
        const Calibration shipped = LoadCalibration(test::SamplePath(std::string(name) + ".calibration.json"));
        const std::unique_ptr<WatermarkMethod> method = MakeMethod(ParseMethodSpec(name));
        EXPECT_EQ(shipped.Method, method->Name() + ":" + method->Parameters());
        EXPECT_EQ(shipped.Hosts.size(), 12u);
        EXPECT_EQ(std::make_pair(shipped.ThresholdEmpirical, shipped.ThresholdModelled), *method->Thresholds()) << name;
    }
}

// A blind key is its seed's: other hosts marked with the same seed carry its mark and are no
// null trial (with them the thresholds would stand near the marked pictures' scores).
TEST(CalibrateMethod, LeavesOutTheKeysOwnSeedAndRoundTrips) {
    std::vector<NamedPicture> hosts;
    for (const char* name : {"cell.pgm", "grass.pgm", "rocket.pgm"})
        hosts.push_back({name, LoadPictureFile(test::SamplePath(std::string("hosts/") + name)).bitmap});
    const std::vector<std::uint32_t> seeds = {1, 2};
    const std::vector<AttackCell> attacks = ParseAttackCells("none,real-jpeg:q=80");
    const std::unique_ptr<WatermarkMethod> method = MakeMethod(ParseMethodSpec("qim:bits=8"));
    const Calibration cal = Calibrate(hosts, *method, nullptr, seeds, attacks, {});
    EXPECT_EQ(cal.Trials, NullTrialCount(3, 2, 2, true));
    EXPECT_EQ(NullTrialCount(3, 2, 2, true), 36u);
    EXPECT_EQ(cal.KindTrials[static_cast<int>(NullTrialKind::OtherHostMarked)], 3u * 2 * 2 * 1);
    // Calibrated in z: the null's spread is 1 whatever the pictures' sizes, and the histogram
    // holds |z|.
    EXPECT_EQ(cal.Units, Statistic::Spread);
    EXPECT_GT(cal.ThresholdModelled, 4.0);
    EXPECT_LT(cal.ThresholdModelled, 10.0);
    EXPECT_GE(cal.Histogram.front().first, 0.0);
    EXPECT_EQ(cal.Method, "qim:step=40,bits=8,alpha=0.4");
    EXPECT_EQ(ParseCalibration(CalibrationJson(cal), "c"), cal);
    EXPECT_THROW(Calibrate(hosts, *MakeMethod(DefaultMethod()), nullptr, seeds, attacks, {}), ArgumentError);
    EXPECT_THROW(Calibrate(hosts, *method, &hosts[0], seeds, attacks, {}), ArgumentError);
}

}  // namespace
}  // namespace quillfen

