// quillfen-cli histogram show INPUT [CHART]: the histogram window's figures and chart. The
// group's other commands come from the toolbox catalogue (toolbox_commands.cpp).
#include <cstdint>
#include <memory>

#include "cli/commands.h"
#include "cli/toolbox_runner.h"
#include "quillfen/image/number_format.h"
#include "quillfen/toolbox/histogram_chart.h"

namespace quillfen::cli {

void AddHistogramShow(CLI::App& group) {
    auto input = std::make_shared<std::string>();
    auto chart = std::make_shared<std::string>();
    CLI::App* cmd = group.add_subcommand("show", "Print the pixel count, mean and 256 counts; optionally draw the chart");
    cmd->add_option("INPUT", *input, "picture file (.pgm, .bmp, .png, .jpg, .jpeg)")->required();
    cmd->add_option("CHART", *chart, "chart picture to write (.png, or any picture extension)");
    cmd->callback([input, chart] {
        TRixIPA ipa = LoadIpaOrFail(*input);
        const std::string mean = FormatNoLeadingZero(ipa.GetMean(), 2);
        if (!chart->empty()) SavePictureOrFail(*chart, DrawHistogramChart(ipa.GetHistogramCounts()), false);
        PrintLine("Pixels : " + std::to_string(ipa.GetPixels()));
        PrintLine("Mean : " + mean);
        for (int g = 0; g < 256; ++g)
            PrintLine("Level : " + std::to_string(g) + " Count : " +
                      std::to_string(ipa.GetHistogram(static_cast<std::uint8_t>(g))));
    });
}

}  // namespace quillfen::cli
