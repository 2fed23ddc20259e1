// The toolbox catalogue: names that identify one operation each, the argument rules, and the
// reports of the operations.
#include "quillfen/toolbox/catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "quillfen/image/errors.h"
#include "tests/toolbox/toolbox_images.h"

namespace quillfen {
namespace {

using toolbox::Operation;
using toolbox::Rule;

std::string Name(const char* text) { return text != nullptr ? text : ""; }

TEST(Catalogue, SuggestsOperationsByNearNamesAndByNamesKnownElsewhere) {
    using toolbox::CommandSuggestion;
    EXPECT_EQ(CommandSuggestion("threshold", "otsu"), "did you mean 'gray-level' (largest between-class variance)?");
    EXPECT_EQ(CommandSuggestion("threshold", "Otsus"), "did you mean 'gray-level' (largest between-class variance)?");
    EXPECT_EQ(CommandSuggestion("threshold", "entropy"),
              "did you mean 'kapur' (Kapur's entropy), 'johannsen' (Johannsen's entropy) or 'pun' (Pun's entropy)?");
    EXPECT_EQ(CommandSuggestion("edge", "sobell"), "did you mean 'sobel' (Sobel gradient)?");
    EXPECT_EQ(CommandSuggestion("noise", "dilate"),
              "did you mean 'expand' (white spreads to pixels with a white diagonal neighbour)?");
    EXPECT_EQ(CommandSuggestion("", "negative"), "did you mean 'invert' (Negative of the picture)?");
    // An alias belongs to its group only; a known name and a far one get nothing.
    EXPECT_EQ(CommandSuggestion("edge", "otsu"), "");
    EXPECT_EQ(CommandSuggestion("threshold", "kapur"), "");
    EXPECT_EQ(CommandSuggestion("threshold", "bogus"), "");
    // A name of the group's own is no slip.
    for (const char* group : {"threshold", "histogram", "noise", ""})
        for (const Operation& op : toolbox::Operations()) {
            if (Name(op.group) != group) continue;
            EXPECT_EQ(CommandSuggestion(group, op.command), "") << op.command;
        }
}

TEST(Catalogue, EveryActionAndCommandNamesOneOperation) {
    std::set<std::string> actions;
    std::set<std::pair<std::string, std::string>> commands;
    for (const Operation& op : toolbox::Operations()) {
        EXPECT_TRUE(actions.insert(op.action).second) << op.action;
        EXPECT_TRUE(commands.insert({Name(op.group), op.command}).second) << op.command;
        EXPECT_EQ(toolbox::FindAction(op.action), &op);
        EXPECT_EQ(toolbox::FindCommand(Name(op.group), op.command), &op);
        // Every operation is reachable from the command line.
        bool listed = false;
        for (const toolbox::CliCommand& command : toolbox::CliCommands())
            listed = listed || (command.help != nullptr ? Name(op.group) == command.name
                                                        : op.group == nullptr && Name(op.command) == command.name);
        EXPECT_TRUE(listed) << op.action;
        // Input boxes need their texts; the Hough dialog asks for exactly its six values.
        for (const toolbox::Argument& argument : op.arguments) {
            EXPECT_EQ(argument.caption != nullptr, op.asks == toolbox::Asks::InputBoxes) << op.action;
            EXPECT_EQ(argument.refusal != nullptr, argument.rule == Rule::Percent) << op.action;
            EXPECT_EQ(toolbox::Accept(argument, argument.initial), argument.initial) << op.action;
        }
        if (op.asks == toolbox::Asks::HoughDialog) {
            EXPECT_EQ(op.arguments.size(), 6u);
        }
    }
    EXPECT_EQ(toolbox::FindAction("Relaxation1S"), nullptr);  // on the menu, but not offered
    EXPECT_EQ(toolbox::FindCommand("edge", "canny"), nullptr);
}

TEST(Catalogue, ArgumentRules) {
    struct Case {
        Rule rule;
        std::optional<int> entered;
        std::optional<int> value;
    };
    const Case cases[] = {
        {Rule::Percent, 0, 0},           {Rule::Percent, 100, 100},      {Rule::Percent, 101, std::nullopt},
        {Rule::Percent, -1, std::nullopt}, {Rule::Percent, std::nullopt, std::nullopt},
        {Rule::LowByte, std::nullopt, 0}, {Rule::LowByte, 266, 10},       {Rule::LowByte, -246, 10},
        {Rule::LowByte, 255, 255},
        {Rule::Count, 1, std::nullopt},  {Rule::Count, 2, 2},            {Rule::Count, 3600, 3600},
        {Rule::Count, 3601, std::nullopt},
        {Rule::NonNegative, -1, std::nullopt}, {Rule::NonNegative, 0, 0},
        {Rule::Flag, 1, 1},              {Rule::Flag, 2, std::nullopt},
    };
    for (const Case& c : cases) {
        const toolbox::Argument argument{"--x", "", 0, c.rule, nullptr, nullptr, nullptr};
        EXPECT_EQ(toolbox::Accept(argument, c.entered), c.value)
            << static_cast<int>(c.rule) << " " << c.entered.value_or(-999);
    }
}

// Thresholds are reported as their byte on either front end: the fuzzy methods find no
// level on a two-level picture and report 255, and the whole picture turns white.
TEST(Catalogue, ThresholdReportsAreBytes) {
    test::Plane two(4, 2, 0);
    two.fillRect(0, 1, 3, 1, 255);
    for (const char* action : {"Shannon1FS", "Yager1FS"}) {
        TRixIPA image = two.ipa();
        const Operation& op = *toolbox::FindAction(action);
        const std::optional<Report> report = op.run(image, toolbox::InitialValues(op));
        ASSERT_TRUE(report.has_value());
        EXPECT_EQ(report->Line().substr(report->Line().size() - 6), " = 255") << action;
        EXPECT_EQ(image.GetHistogram(255), 8) << action;
    }
    TRixIPA image = two.ipa();
    const Operation& mean = *toolbox::FindAction("Mean1S");
    const std::optional<Report> meanReport = mean.run(image, {});
    EXPECT_EQ(meanReport, (Report{"threshold value by Mean = %1", {{127.5, 2}}}));
    EXPECT_EQ(meanReport->Line(), "threshold value by Mean = 127.50");
    image = two.ipa();
    const Operation& hough = *toolbox::FindAction("HoughTransform1E");
    EXPECT_EQ(hough.run(image, toolbox::InitialValues(hough)), (Report{"Hough Transform(Edge Detection)", {}}));
    image = two.ipa();
    EXPECT_EQ(toolbox::FindAction("Equalization1H")->run(image, {}), std::nullopt);
    image = two.ipa();
    const Operation& endsIn = *toolbox::FindAction("EndsInContrast1H");
    EXPECT_EQ(endsIn.run(image, toolbox::InitialValues(endsIn))->Line(),
              "Ends-In Contrast Stretch, Lower Threshold = 0 , Upper Threshold = 255");
}

TEST(Catalogue, ApplyRunsAnOperationOnACallersPicture) {
    const test::Plane picture = test::RandomPlane(9, 7, 3, {0, 60, 200});
    // Rows padded to 16 bytes, as image libraries hand them over.
    std::vector<std::uint8_t> padded(16 * 7, 0xEE);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) padded[static_cast<std::size_t>(y) * 16 + x] = picture.at(x, y);
    const Operation& ptile = *toolbox::FindCommand("threshold", "ptile");
    const toolbox::Applied applied = toolbox::Apply(ptile, GrayView(padded.data(), 9, 7, 16), {30});
    TRixIPA image = picture.ipa();
    EXPECT_EQ(applied.report, ptile.run(image, {30}));
    EXPECT_EQ(applied.picture, image.Plane());
    EXPECT_THROW(toolbox::Apply(ptile, picture.gray(), {101}), ArgumentError);
    EXPECT_THROW(toolbox::Apply(ptile, picture.gray(), {1, 2}), ArgumentError);
}

// A refused operation passes its error on and leaves the image as it was.
TEST(Catalogue, ErrorsPassThroughWithTheImageUnchanged) {
    TRixIPA flat = test::Plane(6, 6, 90).ipa();
    EXPECT_THROW(toolbox::FindAction("AutoContrastStretch1H")->run(flat, {}), MathError);
    EXPECT_EQ(flat.GetImage(), test::Plane(6, 6, 90).pixels);
    TRixIPA dots = test::Dots(60, 60, 255).ipa();
    EXPECT_THROW(toolbox::FindAction("Labeling1FD")->run(dots, {}), TooManyObjectsError);
    EXPECT_EQ(dots.GetImage(), test::Dots(60, 60, 255).pixels);
    EXPECT_THROW(toolbox::FindAction("HoughTransform1E")->run(flat, {1, 300, 10, 10, 200, 0}), ArgumentError);
}

}  // namespace
}  // namespace quillfen
