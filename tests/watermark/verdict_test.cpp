// The thresholds and the one verdict: values pinned for fixed inputs, so that a fault in the
// fit (a spread taken too small, a tail taken once where both count) or in a verdict's path
// moves a number a test holds.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "quillfen/image/errors.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/mark_key.h"

namespace quillfen {
namespace {

KeyNullComponent KeyComponent(KeyTrialKind kind, double mean, double sample, double binomial, double largest) {
    KeyNullComponent c;
    c.Kind = kind;
    c.Trials = 30;
    c.Mean = mean;
    c.SampleStdDev = sample;
    c.BinomialStdDev = binomial;
    c.Largest = largest;
    return c;
}

// A key's own thresholds from two kinds of trial. Noise scatters about its mean with the larger
// of its two spreads (0.02): 0.01 + z(1e-6) 0.02 sets the one at 1e-6. JPEG gives one score, so
// its highest (0.04) with the binomial spread alone (0.012): 0.04 + z(1e-3) 0.012 sets the one
// at 1e-3. Taking the smaller spread of the noise (0.015) lowers the one at 1e-6 to 0.0813.
TEST(KeyThresholdsFit, PinnedForFixedTrials) {
    KeyCalibration cal;
    cal.Components = {KeyComponent(KeyTrialKind::Noise, 0.01, 0.02, 0.015, 0.05),
                      KeyComponent(KeyTrialKind::Jpeg, 0.03, 0.03, 0.012, 0.04)};
    FitKeyCalibration(cal);
    EXPECT_NEAR(cal.Threshold1e3, 0.04 + 3.090232306167813 * 0.012, 1e-12);
    EXPECT_NEAR(cal.Threshold1e6, 0.01 + 4.753424308817089 * 0.02, 1e-12);
    EXPECT_NEAR(cal.Threshold1e3, 0.0770827876740, 1e-12);
    EXPECT_NEAR(cal.Threshold1e6, 0.1050684861765, 1e-12);

    // A fixed operation's own scatter is not its chance: a larger sample spread moves nothing.
    KeyCalibration wider = cal;
    wider.Components[1].SampleStdDev = 0.5;
    FitKeyCalibration(wider);
    EXPECT_EQ(wider.Threshold1e3, cal.Threshold1e3);
    // Every trial stays below the threshold at 1e-3, however narrow the model.
    KeyCalibration narrow;
    narrow.Components = {KeyComponent(KeyTrialKind::Noise, 0.0, 0.001, 0.001, 0.2)};
    FitKeyCalibration(narrow);
    EXPECT_EQ(narrow.Threshold1e3, std::nextafter(0.2, 1.0));
    EXPECT_EQ(narrow.Threshold1e6, std::nextafter(0.2, 1.0));
    KeyCalibration none;
    EXPECT_THROW(FitKeyCalibration(none), ArgumentError);
}

// A global calibration of one host's three kinds: each component's spread is the larger of its
// sample's and the binomial one, and the highest quantile over them sets each threshold.
Calibration ThreeComponents(Statistic units) {
    Calibration cal;
    cal.Units = units;
    const double scale = units == Statistic::Spread ? 50.0 : 1.0;
    const struct {
        NullTrialKind Kind;
        double Mean, Sample, Binomial;
    } parts[] = {{NullTrialKind::OtherHostMarked, 0.001, 0.010, 0.008},
                 {NullTrialKind::OtherHostUnmarked, -0.004, 0.006, 0.009},
                 {NullTrialKind::OwnHostUnmarked, 0.002, 0.012, 0.004}};
    for (const auto& p : parts) {
        NullComponent c;
        c.Host = "h";
        c.Kind = p.Kind;
        c.Trials = 10;
        c.Mean = p.Mean * scale;
        c.SampleStdDev = p.Sample * scale;
        c.BinomialStdDev = p.Binomial * scale;
        c.Top = {std::fabs(p.Mean * scale) + 0.001};
        cal.Components.push_back(c);
        cal.Trials += c.Trials;
        cal.KindTrials[static_cast<int>(p.Kind)] = c.Trials;
    }
    cal.Histogram = {{0.0, 30}};
    return cal;
}

TEST(GlobalThresholdsFit, PinnedOneSidedAndTwoSided) {
    Calibration score = ThreeComponents(Statistic::Score);
    FitCalibration(score);
    // Own host: 0.002 + z 0.012 (its sample spread, the larger).
    EXPECT_NEAR(score.ThresholdEmpirical, 0.002 + 3.090232306167813 * 0.012, 1e-12);
    EXPECT_NEAR(score.ThresholdModelled, 0.002 + 4.753424308817089 * 0.012, 1e-12);
    EXPECT_EQ(score.Source1e6.Kind, NullTrialKind::OwnHostUnmarked);
    // Other host unmarked: its binomial spread (0.009) is the larger.
    EXPECT_NEAR(score.Components[1].StdDev, 0.009, 0);

    // The same in z (50 times the values): both tails count, at half the rate each, from the
    // mean's distance to 0 (the other host unmarked's |-0.2|).
    Calibration spread = ThreeComponents(Statistic::Spread);
    FitCalibration(spread);
    EXPECT_NEAR(spread.Components[2].Quantile1e6, 0.1 + 4.891638475714779 * 0.6, 1e-9);
    EXPECT_NEAR(spread.ThresholdEmpirical, 0.1 + 3.2905267314919255 * 0.6, 1e-9);
    EXPECT_NEAR(spread.ThresholdModelled, 0.1 + 4.891638475714779 * 0.6, 1e-9);
    // Beyond 1: a threshold of z is not capped as a score is.
    EXPECT_GT(spread.ThresholdModelled, 1.0);
    // Other rates: two-sided as well.
    EXPECT_NEAR(spread.Threshold(0.05), 0.1 + 1.9599639845400536 * 0.6, 1e-9);
    EXPECT_NEAR(spread.Components[1].Quantile1e6, 0.2 + 4.891638475714779 * 0.45, 1e-9);
}

// Every path of the verdict, each checked against the value that sends it the other way.
TEST(Verdict, ScorePathIsOneSided) {
    KeyThresholds t;
    t.At1e3 = 0.1;
    t.At1e6 = 0.135;
    const Verdict at = Judge(0.135, t);
    EXPECT_TRUE(at.Present);
    EXPECT_TRUE(at.Detected1e3);
    EXPECT_EQ(at.Threshold, 0.135);
    const Verdict between = Judge(0.12, t);
    EXPECT_FALSE(between.Present);
    EXPECT_TRUE(between.Detected1e3);
    // A score far below 0 is no mark of a one-sided statistic, nor inverted.
    const Verdict below = Judge(-0.9, t);
    EXPECT_FALSE(below.Present);
    EXPECT_FALSE(below.Detected1e3);
    EXPECT_FALSE(below.Inverted);
    // The chance variance plays no part in it.
    EXPECT_TRUE(Judge(0.135, 1e-9, t).Present);
}

TEST(Verdict, SpreadPathIsTwoSidedAndSizeAware) {
    KeyThresholds t;
    t.Units = Statistic::Spread;
    t.At1e3 = 4.0;
    t.At1e6 = 6.0;
    // A 256 x 256 picture's chance variance of the score, and a 512 x 512's: a quarter of it.
    const double small = 1.0 / 40000, large = small / 4;
    const Verdict upright = Judge(0.031, small, t);
    EXPECT_NEAR(upright.Z, 6.2, 1e-12);
    EXPECT_TRUE(upright.Present);
    EXPECT_FALSE(upright.Inverted);
    // The thresholds in score units are this picture's: halved on four times the coefficients.
    EXPECT_NEAR(upright.Threshold, 0.03, 1e-15);
    EXPECT_NEAR(upright.Threshold1e3, 0.02, 1e-15);
    EXPECT_NEAR(Judge(0.0, large, t).Threshold, 0.015, 1e-15);
    // The same score on the larger picture is twice as far from chance.
    EXPECT_NEAR(Judge(0.016, large, t).Z, 6.4, 1e-12);
    EXPECT_FALSE(Judge(0.016, small, t).Present);
    EXPECT_TRUE(Judge(0.016, large, t).Present);
    // Read inverted: present, and said so; at 1e-3 only, still inverted.
    const Verdict inverted = Judge(-0.031, small, t);
    EXPECT_TRUE(inverted.Present);
    EXPECT_TRUE(inverted.Inverted);
    const Verdict weak = Judge(-0.025, small, t);
    EXPECT_FALSE(weak.Present);
    EXPECT_TRUE(weak.Detected1e3);
    EXPECT_TRUE(weak.Inverted);
    EXPECT_FALSE(Judge(-0.019, small, t).Inverted);
    // Nothing to read (no chance spread, or a score that is no number) is no mark.
    EXPECT_FALSE(Judge(0.5, 0.0, t).Present);
    EXPECT_FALSE(Judge(std::nan(""), small, t).Present);
    // A verdict of z needs the reading's chance variance.
    EXPECT_THROW(Judge(0.031, t), ArgumentError);
}

TEST(Verdict, KeyCalibrationPath) {
    Calibration global;
    global.ThresholdEmpirical = 0.1;
    global.ThresholdModelled = 0.135;
    KeyCalibration own;
    own.Threshold1e3 = 0.12;
    own.Threshold1e6 = 0.13;
    const KeyThresholds t = ThresholdsOf(own, global);
    // The larger at each rate, and whose it is.
    EXPECT_EQ(t.At1e3, 0.12);
    EXPECT_EQ(t.At1e6, 0.135);
    EXPECT_TRUE(t.KeySets1e3);
    EXPECT_FALSE(t.KeySets1e6);
    EXPECT_FALSE(Judge(0.11, t).Detected1e3);
    EXPECT_TRUE(Judge(0.11, ThresholdsOf(std::nullopt, global)).Detected1e3);
    // A key's own calibration is of the score: it cannot stand beside thresholds of z.
    global.Units = Statistic::Spread;
    EXPECT_THROW(ThresholdsOf(own, global), ArgumentError);
}

// Files of z: thresholds above 1 read; the old files of the score still read as they were.
TEST(CalibrationFiles, ThresholdsOfZAndOfTheScore) {
    const Calibration z =
        ParseCalibration(R"({"statistic": "z", "thresholds": {"fpr_1e-3": 4.05, "fpr_1e-6": 5.88}})", "z.json");
    EXPECT_EQ(z.Units, Statistic::Spread);
    EXPECT_EQ(z.ThresholdModelled, 5.88);
    EXPECT_TRUE(z.Detected(-5.9, kFprModelled));
    EXPECT_FALSE(z.Detected(5.8, kFprModelled));
    const Calibration old =
        ParseCalibration(R"({"statistic": "score", "thresholds": {"fpr_1e-3": 0.02, "fpr_1e-6": 0.03}})", "old.json");
    EXPECT_EQ(old.Units, Statistic::Score);
    EXPECT_FALSE(old.Detected(-0.5, kFprModelled));
    EXPECT_TRUE(old.Detected(0.03, kFprModelled));
    EXPECT_THROW(ParseCalibration(R"({"statistic": "z", "thresholds": {"fpr_1e-3": 0, "fpr_1e-6": 5}})", "bad.json"),
                 FormatError);
    EXPECT_THROW(ParseCalibration(R"({"statistic": "p", "thresholds": {"fpr_1e-3": 1, "fpr_1e-6": 5}})", "bad.json"),
                 FormatError);
    // A fitted calibration of z goes through its file and back unchanged.
    Calibration spread = ThreeComponents(Statistic::Spread);
    spread.Program = "test";
    spread.Method = "m:x=1";
    spread.Hosts = {"h", "g"};
    spread.Seeds = {1, 2};
    FitCalibration(spread);
    const std::string text = CalibrationJson(spread);
    EXPECT_NE(text.find("\"statistic\": \"z\""), std::string::npos);
    EXPECT_NE(text.find("detected when |z| >= threshold"), std::string::npos);
}

}  // namespace
}  // namespace quillfen
