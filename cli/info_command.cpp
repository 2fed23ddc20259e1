// quillfen-cli info INPUT: size and histogram summary of a picture.
#include <algorithm>
#include <memory>

#include "cli/commands.h"
#include "quillfen/image/number_format.h"

namespace quillfen::cli {

void RegisterInfoCommand(CLI::App& app) {
    auto input = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand("info", "Print a picture's size and histogram summary");
    cmd->add_option("INPUT", *input, "picture file (.pgm, .bmp, .png, .jpg, .jpeg)")->required();
    cmd->callback([input] {
        TRixIPA ipa = LoadIpaOrFail(*input);
        const auto& counts = ipa.GetHistogramCounts();
        int lowest = 255;
        int highest = 0;
        for (int g = 0; g < 256; ++g) {
            if (counts[g] > 0) {
                lowest = std::min(lowest, g);
                highest = std::max(highest, g);
            }
        }
        PrintLine("size = " + std::to_string(ipa.GetWidth()) + " x " + std::to_string(ipa.GetHeight()));
        PrintLine("pixels = " + std::to_string(ipa.GetPixels()));
        if (ipa.GetPixels() > 0) {
            PrintLine("mean = " + FormatFixed(ipa.GetMean(), 2));
            PrintLine("levels = " + std::to_string(lowest) + ".." + std::to_string(highest));
        }
    });
}

}  // namespace quillfen::cli
