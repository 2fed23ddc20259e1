// quillfen-cli threshold OP INPUT OUTPUT: the thirteen threshold selection methods, each
// reporting the line the document window writes to its status bar.
#include <memory>

#include "cli/cli_common.h"
#include "cli/toolbox_runner.h"
#include "image/number_format.h"

namespace quillfen::cli {
namespace {

// Thresholds are reported as the byte the window shows: -1 ("none found") reads 255.
std::string ByteText(int value) { return std::to_string(value & 0xFF); }

// A report "<prefix><threshold byte>" after one threshold method.
template <typename Method>
ToolboxOperation Reporting(std::string prefix, Method method) {
    return [prefix = std::move(prefix), method](TRixIPA& ipa) {
        return prefix + ByteText(static_cast<int>((ipa.*method)()));
    };
}

constexpr const char* kPercentRefused =
    "입력값 페센티지에 문제가 있습니다. 다시 입력하시기 바랍니다";

}  // namespace

void RegisterThresholdCommand(CLI::App& app) {
    CLI::App* group = AddToolboxGroup(app, "threshold", "Binarise a picture with a threshold selection method");

    AddToolboxOperation(*group, "mean", "threshold at the rounded mean gray level",
                        ToolboxOperation([](TRixIPA& ipa) {
                            return "threshold value by Mean = " + FormatFixed(ipa.ThresholdByMean(), 2);
                        }));

    auto percent = std::make_shared<std::string>("0");
    CLI::App* ptile = AddToolboxOperation(
        *group, "ptile", "threshold that turns about P per cent of the pixels black",
        ToolboxOperationFactory([percent]() -> ToolboxOperation {
            std::string text = *percent;
            const std::string problem = CheckDecimal(text, 0, 100);
            if (!problem.empty()) throw CommandFailure{kExitUsage, kPercentRefused, {"--percent: " + problem}};
            const int value = std::stoi(text);
            return [value](TRixIPA& ipa) {
                return "threshold value by P-tile = " + ByteText(ipa.ThresholdByPTile(value));
            };
        }));
    ptile->add_option("--percent", *percent, "black percentage, a whole number 0..100 (default 0)");

    AddToolboxOperation(*group, "two-peaks", "valley between the two histogram peaks",
                        Reporting("threshold value by Twopeaks = ", &TRixIPA::ThresholdByTwoPeaks));
    AddToolboxOperation(*group, "laplacian", "two peaks of the pixels with the strongest Laplacian (85% left out)",
                        ToolboxOperation([](TRixIPA& ipa) {
                            return "Threshold value by Laplacian = " + ByteText(ipa.ThresholdByLaplacian(85));
                        }));
    AddToolboxOperation(*group, "iterative", "iterative selection from the mean",
                        Reporting("Threshold value by Iterative Section = ",
                                  &TRixIPA::ThresholdByIterativeSelection));
    AddToolboxOperation(*group, "gray-level", "largest between-class variance",
                        Reporting("Threshold value by Gray Level Histogram = ",
                                  &TRixIPA::ThresholdByGrayLevelHistogram));
    AddToolboxOperation(*group, "johannsen", "Johannsen's entropy",
                        Reporting("Threshold value by Entropy by Johannsen = ", &TRixIPA::ThresholdByJohannsen));
    AddToolboxOperation(*group, "kapur", "Kapur's entropy",
                        Reporting("Threshold value by Entropy by Kapur = ", &TRixIPA::ThresholdByKapur));
    AddToolboxOperation(*group, "pun", "Pun's entropy",
                        Reporting("Threshold value by Entropy by Pun = ", &TRixIPA::ThresholdByPun));
    AddToolboxOperation(*group, "shannon", "minimised fuzziness, Shannon measure",
                        Reporting("Threshold value by minimizing fuzzy by shannon = ",
                                  &TRixIPA::ThresholdByFuzzyShannon));
    AddToolboxOperation(*group, "yager", "minimised fuzziness, Yager measure",
                        Reporting("Threshold value by minimizing fuzzy by yager = ",
                                  &TRixIPA::ThresholdByFuzzyYager));
    AddToolboxOperation(*group, "min-error", "minimum error",
                        Reporting("Threshold value by minimum Error = ", &TRixIPA::ThresholdByMinimumError));
    AddToolboxOperation(*group, "moving-average", "moving average along a serpentine scan",
                        Reporting("Threshold value by Moving Average = ", &TRixIPA::ThresholdByMovingAverage));
}

}  // namespace quillfen::cli
