// quillfen-cli histogram OP ...: histogram modification, and `show`, the histogram window's
// figures and chart.
#include <cstdint>
#include <memory>

#include "cli/cli_common.h"
#include "cli/toolbox_runner.h"
#include "toolbox/histogram_chart.h"
#include "image/number_format.h"

namespace quillfen::cli {
namespace {

// The percentages are read as the input boxes read them: a whole number or else 0, kept to
// its low eight bits.
std::uint8_t PercentByte(const std::string& text) {
    int value = 0;
    if (!TryParseInt(text, value)) value = 0;
    return static_cast<std::uint8_t>(value & 0xFF);
}

void RegisterShow(CLI::App& group) {
    auto input = std::make_shared<std::string>();
    auto chart = std::make_shared<std::string>();
    CLI::App* cmd = group.add_subcommand("show", "Print the pixel count, mean and 256 counts; optionally draw the chart");
    cmd->add_option("INPUT", *input, "picture file (.pgm, .bmp, .png, .jpg, .jpeg)")->required();
    cmd->add_option("CHART", *chart, "chart picture to write (.png, or any picture extension)");
    cmd->callback([input, chart] {
        TRixIPA ipa = LoadIpaOrFail(*input);
        ipa.ComputeHistogram();
        const std::string mean = FormatNoLeadingZero(ipa.GetMean(), 2);
        if (!chart->empty()) SavePictureOrFail(*chart, DrawHistogramChart(ipa.GetHistogramCounts()), false);
        PrintLine("Pixels : " + std::to_string(ipa.GetPixels()));
        PrintLine("Mean : " + mean);
        for (int g = 0; g < 256; ++g)
            PrintLine("Level : " + std::to_string(g) + " Count : " +
                      std::to_string(ipa.GetHistogram(static_cast<std::uint8_t>(g))));
    });
}

}  // namespace

void RegisterHistogramCommand(CLI::App& app) {
    CLI::App* group = AddToolboxGroup(app, "histogram", "Show or reshape a picture's gray-level histogram");
    RegisterShow(*group);

    AddToolboxOperation(*group, "equalize", "histogram equalization", ToolboxOperation([](TRixIPA& ipa) {
                            ipa.Equalize();
                            return std::string();
                        }));
    AddToolboxOperation(*group, "specify", "map each level to the lowest level sharing its equalized value",
                        ToolboxOperation([](TRixIPA& ipa) {
                            ipa.SpecifyHistogram();
                            return std::string();
                        }));
    AddToolboxOperation(*group, "auto-stretch", "stretch the occupied levels over 0..255",
                        ToolboxOperation([](TRixIPA& ipa) {
                            std::uint8_t low = 0, high = 0;
                            ipa.AutoContrastStretch(low, high);
                            return "Lower Threshold is " + std::to_string(low) + " and" +
                                   " Upper Threshold is " + std::to_string(high);
                        }));

    auto lowText = std::make_shared<std::string>("0");
    auto highText = std::make_shared<std::string>("255");
    CLI::App* endsIn = AddToolboxOperation(
        *group, "ends-in", "set the darkest L% to 0 and the brightest H% to 255, stretch between",
        ToolboxOperationFactory([lowText, highText]() -> ToolboxOperation {
            const std::uint8_t lowPercent = PercentByte(*lowText);
            const std::uint8_t highPercent = PercentByte(*highText);
            return [lowPercent, highPercent](TRixIPA& ipa) {
                std::uint8_t low = 0, high = 0;
                ipa.EndsInContrastStretch(low, high, lowPercent, highPercent);
                return "Ends-In Contrast Stretch, Lower Threshold = " + std::to_string(low) + " ," +
                       " Upper Threshold = " + std::to_string(high);
            };
        }));
    endsIn->add_option("--low", *lowText, "percentage of pixels to set to 0 (default 0; taken as its low byte)")
        ->transform(DecimalNumber(-2147483648LL, 2147483647));
    endsIn->add_option("--high", *highText, "percentage of pixels to set to 255 (default 255; taken as its low byte)")
        ->transform(DecimalNumber(-2147483648LL, 2147483647));
}

}  // namespace quillfen::cli
