// The calibration: its null trials, the threshold rules, its file, and the calibration shipped
// for the bundled mark.
#include "watermark/calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "image/errors.h"
#include "io/picture_files.h"
#include "tests/test_support.h"
#include "watermark/experiment.h"

namespace quillfen {
namespace {

NamedPicture Sample(const std::string& name) {
    return {std::filesystem::path(name).filename().string(), LoadPictureFile(test::SamplePath(name)).bitmap};
}

std::vector<NamedPicture> SmallHostSet() {
    return {Sample("hosts/astronaut.pgm"), Sample("hosts/cell.pgm"), Sample("hosts/grass.pgm")};
}

// Three hosts and three seeds: 9 keys, 9 x 8 marked and 9 x 2 unmarked trials.
const Calibration& SmallCalibration() {
    static const Calibration cal = [] {
        const std::vector<std::uint32_t> seeds = {1, 2, 3};
        CalibrationOptions options;
        options.Program = "test";
        options.Jobs = 2;
        return Calibrate(SmallHostSet(), Sample("seal-128.pgm"), seeds, options);
    }();
    return cal;
}

TEST(Calibration, CountsEveryKindOfTrial) {
    const Calibration& cal = SmallCalibration();
    EXPECT_EQ(NullTrialCount(3, 3), 90u);
    EXPECT_EQ(cal.Trials, 90u);
    EXPECT_EQ(cal.KindTrials[0], 9u * 2);  // wrong seed: the two other seeds of the key's host
    EXPECT_EQ(cal.KindTrials[1], 9u * 6);  // the six marked pictures of the other hosts
    EXPECT_EQ(cal.KindTrials[2], 9u * 2);  // the two other hosts unmarked
    std::uint64_t counted = 0;
    for (const auto& [value, count] : cal.Histogram) counted += count;
    EXPECT_EQ(counted, cal.Trials);
    EXPECT_TRUE(std::is_sorted(cal.Histogram.begin(), cal.Histogram.end()));
    EXPECT_EQ(cal.Components.size(), 9u);
    double weights = 0;
    for (const NullComponent& c : cal.Components) weights += c.Weight;
    EXPECT_NEAR(weights, 1.0, 1e-12);
}

// NC is k / n for the mark's n compared black pixels: every trial lands on that grid.
TEST(Calibration, NullValuesAreSharesOfTheComparedPixels) {
    const Calibration& cal = SmallCalibration();
    EXPECT_EQ(cal.MarkBlackPixels, MarkComparedBlackPixels(Sample("seal-128.pgm").Picture));
    for (const auto& [value, count] : cal.Histogram) {
        const double k = value * cal.MarkBlackPixels;
        EXPECT_NEAR(k, std::nearbyint(k), 1e-6) << value;
    }
}

// At most floor(N / 1000) trials above the 1e-3 threshold, and it is one of the values seen
// (here, with 90 trials, the largest).
TEST(Calibration, ThresholdRules) {
    const Calibration& cal = SmallCalibration();
    EXPECT_EQ(cal.ThresholdEmpirical, cal.Histogram.back().first);
    EXPECT_EQ(cal.EmpiricalTail(cal.ThresholdEmpirical), 0.0);
    EXPECT_LE(cal.ModelTail(cal.ThresholdModelled), kFprModelled);
    EXPECT_GT(cal.ModelTail(cal.ThresholdModelled - 1e-9), kFprModelled);
    EXPECT_EQ(cal.Threshold(kFprEmpirical), cal.ThresholdEmpirical);
    EXPECT_EQ(cal.Threshold(kFprModelled), cal.ThresholdModelled);
    // Other rates come from the model, and the threshold falls as the rate grows.
    EXPECT_LT(cal.Threshold(1e-2), cal.Threshold(1e-4));
    EXPECT_NEAR(cal.ModelTail(cal.Threshold(1e-4)), 1e-4, 1e-10);
    for (const double bad : {0.0, 1.0, -0.5, 2.0}) EXPECT_THROW(cal.Threshold(bad), ArgumentError) << bad;
    EXPECT_TRUE(cal.Detected(std::nextafter(cal.ThresholdEmpirical, 2.0), kFprEmpirical));
    EXPECT_FALSE(cal.Detected(cal.ThresholdEmpirical, kFprEmpirical));
}

// A larger sample checks the 1e-3 rule where it allows trials above the threshold.
TEST(Calibration, EmpiricalThresholdLeavesAtMostTheRateAbove) {
    Calibration cal;
    cal.MarkBlackPixels = 100;
    for (int k = 0; k <= 100; ++k) cal.Histogram.emplace_back(k / 100.0, 50);  // 5050 trials
    cal.Trials = 5050;
    cal.Components.push_back({"h", NullTrialKind::OtherHostMarked, 5050, 0, 0.5, 0.29, 0});
    FitCalibration(cal);
    // floor(5050 / 1000) = 5 trials may lie above: the top value holds 50, so it is the threshold.
    EXPECT_EQ(cal.ThresholdEmpirical, 1.0);
    cal.Histogram.back().second = 3;
    cal.Histogram[99].second = 2;
    cal.Trials = 5050 - 47 - 48;
    cal.Components[0].Trials = cal.Trials;
    FitCalibration(cal);
    // floor(4955 / 1000) = 4: the 3 at 1.0 fit, the 2 at 0.99 would make 5.
    EXPECT_EQ(cal.ThresholdEmpirical, 0.99);
    EXPECT_LE(cal.EmpiricalTail(cal.ThresholdEmpirical) * static_cast<double>(cal.Trials), 4.0);
}

TEST(Calibration, ThreadsDoNotChangeTheResult) {
    const std::vector<std::uint32_t> seeds = {1, 2, 3};
    CalibrationOptions options;
    options.Program = "test";
    options.Jobs = 1;
    EXPECT_EQ(Calibrate(SmallHostSet(), Sample("seal-128.pgm"), seeds, options), SmallCalibration());
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
    CalibrationOptions options;
    EXPECT_THROW(Calibrate(single, mark, one, options), ArgumentError);
    EXPECT_THROW(Calibrate(SmallHostSet(), mark, twice, options), ArgumentError);
    EXPECT_THROW(Calibrate(sameName, mark, one, options), ArgumentError);
    EXPECT_THROW(Calibrate(SmallHostSet(), white, one, options), ArgumentError);
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
        replaced("\"version\": 1", "\"version\": 2"),
        replaced("\"trials\": 90", "\"trials\": 91"),
        replaced("\"fpr_1e-3\": ", "\"fpr_1e-3\": 1.5, \"x\": "),
        replaced("\"kind\": \"wrong-seed\"", "\"kind\": \"lucky\""),
        replaced("\"digest\"", "\"dijest\""),
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

// The key holds its host's polarity map, so the unmarked host itself reads as fully marked:
// the reason the calibration leaves that pair out.
TEST(Calibration, TheKeysOwnUnmarkedHostReadsAsMarked) {
    Experiment e;
    Bitmap host = Sample("hosts/chelsea.pgm").Picture;
    Bitmap mark = Sample("seal-128.pgm").Picture;
    e.Load(host, mark);
    e.SetFixedSeed(5);
    e.Embed();
    const std::vector<std::uint8_t> x = e.Workspace().X();
    const std::vector<double> reals(x.begin(), x.end());
    EXPECT_EQ(e.ExtractFrom(x, reals).back().nc, 1.0);
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
    EXPECT_EQ(shipped.Trials, NullTrialCount(shipped.Hosts.size(), shipped.Seeds.size()));

    Calibration refit = shipped;
    refit.Fit.clear();
    refit.ThresholdEmpirical = refit.ThresholdModelled = refit.Mean = refit.StdDev = 0;
    for (NullComponent& c : refit.Components) c.Weight = c.StdDev = 0;
    FitCalibration(refit);
    EXPECT_EQ(refit, shipped);
    // The thresholds separate the trials from an unattacked marked picture (NC about 0.89).
    EXPECT_GT(shipped.ThresholdEmpirical, shipped.Mean);
    EXPECT_GE(shipped.ThresholdModelled, shipped.ThresholdEmpirical);
    EXPECT_LT(shipped.ThresholdModelled, 0.8);
}

}  // namespace
}  // namespace quillfen
