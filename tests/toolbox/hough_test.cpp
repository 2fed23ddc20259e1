#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/toolbox/hough.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "tests/toolbox/toolbox_images.h"

namespace quillfen {
namespace {

using test::Plane;

// The command's parameters.
void Command(TRixIPA& ipa) { ipa.HoughTransform(360, 300, 10, 10, 200, false); }

int WhiteCount(const TRixIPA& ipa) {
    int n = 0;
    for (const std::uint8_t v : ipa.GetImage()) n += v == 255 ? 1 : 0;
    return n;
}

bool OnlyBlackAndWhite(const TRixIPA& ipa) {
    for (const std::uint8_t v : ipa.GetImage())
        if (v != 0 && v != 255) return false;
    return true;
}

// A black picture with a one-pixel-wide white vertical line of `length` rows at column 20.
// Its left neighbour column holds length + 2 edge pixels (the ends add one each), all with
// the same distance at the row of angle -pi, so that cell gets exactly length + 2 votes;
// traced along that column, the run over non-zero counts is length + 4 steps long.
Plane VerticalLine(int width, int height, int length) {
    Plane p(width, height, 0);
    p.fillRect(20, 30, 20, 30 + length - 1, 255);
    return p;
}

TEST(Hough, FlatAndTinyImagesComeOutBlack) {
    // A flat picture has no edges; a picture narrower or lower than 3 has no interior, so
    // even a textured one casts no votes.
    for (const Plane& in : {Plane(40, 30, 90), test::RandomGray(2, 50, 1), test::RandomGray(50, 2, 1),
                            test::RandomGray(1, 1, 1)}) {
        TRixIPA ipa = in.ipa();
        Command(ipa);
        EXPECT_EQ(WhiteCount(ipa), 0) << in.width << "x" << in.height;
        EXPECT_TRUE(OnlyBlackAndWhite(ipa));
    }
}

TEST(Hough, GradientMustExceedTheThreshold) {
    // A step of h gives a magnitude of h / 2 beside it: 20 is not an edge, 21 is.
    for (const auto& [step, drawn] : {std::pair{20, false}, std::pair{21, true}}) {
        Plane in(64, 256, 0);
        in.fillRect(32, 0, 63, 255, static_cast<std::uint8_t>(step));
        TRixIPA ipa = in.ipa();
        Command(ipa);
        EXPECT_EQ(WhiteCount(ipa) > 0, drawn) << step;
        EXPECT_TRUE(OnlyBlackAndWhite(ipa));
    }
}

TEST(Hough, VotesMustExceedTheThreshold) {
    TRixIPA exactly200 = VerticalLine(64, 256, 198).ipa();
    Command(exactly200);
    EXPECT_EQ(WhiteCount(exactly200), 0);
    TRixIPA votes201 = VerticalLine(64, 256, 199).ipa();
    Command(votes201);
    EXPECT_GT(WhiteCount(votes201), 0);
    // The traced segments run along the two edge columns, one step per row.
    for (int y = 0; y < 256; ++y) {
        const bool inRun = y >= 28 && y <= 30 + 199 + 1;
        EXPECT_EQ(votes201.Pixel(19, y), inRun ? 255 : 0) << y;
    }
}

TEST(Hough, RunsMustBeLongerThanTheMinimumLength) {
    // Runs of exactly 10 steps are not drawn, 11 steps are.
    TRixIPA ten = VerticalLine(64, 64, 6).ipa();
    ten.HoughTransform(360, 300, 10, 10, 5, false);
    EXPECT_EQ(WhiteCount(ten), 0);
    TRixIPA eleven = VerticalLine(64, 64, 7).ipa();
    eleven.HoughTransform(360, 300, 10, 10, 5, false);
    int column19 = 0;
    for (int y = 0; y < 64; ++y) column19 += eleven.Pixel(19, y) == 255 ? 1 : 0;
    EXPECT_EQ(column19, 11);
    // The same boundary with a long line and a long minimum: 204 steps.
    TRixIPA drawn = VerticalLine(64, 256, 200).ipa();
    drawn.HoughTransform(360, 300, 203, 10, 200, false);
    EXPECT_GT(WhiteCount(drawn), 0);
    TRixIPA notDrawn = VerticalLine(64, 256, 200).ipa();
    notDrawn.HoughTransform(360, 300, 204, 10, 200, false);
    EXPECT_EQ(WhiteCount(notDrawn), 0);
}

TEST(Hough, NonsensicalParametersAreRefusedBeforeAnythingChanges) {
    struct Case {
        int theta, rho, length, gradient, votes;
        const char* names;
    };
    const std::vector<Case> cases = {
        {1, 300, 10, 10, 200, "ThetaCount"},   {3601, 300, 10, 10, 200, "ThetaCount"},
        {360, 1, 10, 10, 200, "RhoCount"},     {360, 3601, 10, 10, 200, "RhoCount"},
        {360, 300, -1, 10, 200, "MinLineLength"}, {360, 300, 10, -1, 200, "GradientThreshold"},
        {360, 300, 10, 10, -1, "HoughThreshold"},
    };
    const Plane in = test::RandomGray(20, 20, 2);
    for (const Case& c : cases) {
        TRixIPA ipa = in.ipa();
        try {
            ipa.HoughTransform(c.theta, c.rho, c.length, c.gradient, c.votes, false);
            ADD_FAILURE() << "accepted " << c.names;
        } catch (const ArgumentError& e) {
            EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos) << e.what();
        }
        EXPECT_EQ(ipa.GetImage(), in.pixels);
    }
    // The extremes of the accepted range work.
    TRixIPA small = in.ipa();
    small.HoughTransform(2, 2, 0, 0, 0, false);
    EXPECT_TRUE(OnlyBlackAndWhite(small));
}

TEST(Hough, FastFormEqualsLiteralOnNoisyAndLinedImages) {
    struct Case {
        int theta, rho, length, gradient, votes;
        bool lineBased;
    };
    const std::vector<Case> cases = {
        {360, 300, 10, 10, 200, false}, {360, 300, 3, 10, 40, false}, {361, 299, 5, 20, 30, false},
        {90, 64, 2, 5, 20, false},      {720, 600, 4, 10, 25, false}, {2, 3, 0, 0, 0, false},
        {360, 300, 3, 10, 300, true},   {45, 33, 2, 10, 100, true},
    };
    std::vector<Plane> inputs;
    inputs.push_back(test::RandomGray(96, 80, 1));              // every pixel an edge
    inputs.push_back(test::RandomPlane(64, 72, 2, {0, 0, 0, 40, 255}));
    Plane lines(128, 96, 20);
    for (int i = 0; i < 96; ++i) {
        lines.at(i, i) = 220;
        lines.at(127 - i / 2, i) = 200;
        lines.at(10 + i / 3, 95 - i) = 180;
    }
    lines.fillRect(60, 10, 63, 90, 140);
    inputs.push_back(lines);
    int drawn = 0;
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        for (const Case& c : cases) {
            TRixIPA fast = inputs[k].ipa();
            fast.HoughTransform(c.theta, c.rho, c.length, c.gradient, c.votes, c.lineBased);
            hough::Parameters parameters;
            parameters.thetaCount = c.theta;
            parameters.rhoCount = c.rho;
            parameters.minLineLength = c.length;
            parameters.gradientThreshold = c.gradient;
            parameters.houghThreshold = c.votes;
            parameters.lineBased = c.lineBased;
            EXPECT_EQ(fast.Plane(), hough::literal::Transform(inputs[k].gray(), parameters))
                << "input " << k << " theta " << c.theta << " rho " << c.rho << " votes " << c.votes;
            EXPECT_TRUE(OnlyBlackAndWhite(fast));
            drawn += WhiteCount(fast) > 0 ? 1 : 0;
        }
    }
    // Most comparisons must have lines in them, or they would prove little.
    EXPECT_GE(drawn, 18) << drawn << " of " << inputs.size() * cases.size();
}

// Records every fraction and says stop after `stopAfter` of them (never when negative).
class ScriptedProgress : public ProgressSink {
public:
    explicit ScriptedProgress(int stopAfter = -1) : stopAfter_(stopAfter) {}
    bool Advance(double fraction) override {
        fractions.push_back(fraction);
        return stopAfter_ < 0 || static_cast<int>(fractions.size()) <= stopAfter_;
    }
    std::vector<double> fractions;

private:
    int stopAfter_;
};

TEST(HoughProgress, ASinkHearsEveryRowAndChangesNothing) {
    // Point- and line-based voting, on a picture with lines and on one of noise.
    for (const bool lineBased : {false, true}) {
        for (const Plane& in : {VerticalLine(80, 120, 60), test::RandomGray(70, 50, 7)}) {
            TRixIPA plain = in.ipa();
            plain.HoughTransform(360, 300, 10, 10, lineBased ? 20 : 60, lineBased);
            TRixIPA watched = in.ipa();
            ScriptedProgress progress;
            watched.SetProgress(&progress);
            watched.HoughTransform(360, 300, 10, 10, lineBased ? 20 : 60, lineBased);
            EXPECT_EQ(watched.Plane(), plain.Plane()) << lineBased;
            // 0 first, one report per voted row, 1 last, never going back.
            ASSERT_EQ(progress.fractions.size(), static_cast<std::size_t>(in.height - 2 + 2));
            EXPECT_EQ(progress.fractions.front(), 0.0);
            EXPECT_EQ(progress.fractions.back(), 1.0);
            for (std::size_t i = 1; i < progress.fractions.size(); ++i)
                EXPECT_LE(progress.fractions[i - 1], progress.fractions[i]) << i;
        }
    }
}

TEST(HoughProgress, StoppedTransformsLeaveTheImageAsItWas) {
    // Stopped before the first row, in the middle and at the last report.
    const Plane in = VerticalLine(64, 64, 30);
    for (const int stopAfter : {0, 10, 63}) {
        TRixIPA ipa = in.ipa();
        const std::vector<std::uint8_t> image = ipa.GetImage();
        const auto histogram = ipa.GetHistogramCounts();
        ScriptedProgress progress(stopAfter);
        ipa.SetProgress(&progress);
        EXPECT_THROW(Command(ipa), Cancelled) << stopAfter;
        EXPECT_EQ(ipa.GetImage(), image);
        EXPECT_EQ(ipa.GetHistogramCounts(), histogram);
        EXPECT_EQ(progress.fractions.size(), static_cast<std::size_t>(stopAfter + 1));
    }
}

TEST(HoughProgress, SharedProgressStopsFromAnotherOwner) {
    SharedProgress shared;
    EXPECT_TRUE(shared.Advance(0.25));
    EXPECT_EQ(shared.Fraction(), 0.25);
    shared.RequestStop();
    EXPECT_FALSE(shared.Advance(0.5));
    EXPECT_THROW(hough::Transform(VerticalLine(40, 40, 10).gray(), hough::Parameters{}, &shared), Cancelled);
}

}  // namespace
}  // namespace quillfen
