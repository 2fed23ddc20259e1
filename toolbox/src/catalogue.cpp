#include "quillfen/toolbox/catalogue.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "quillfen/image/detail/suggestions.h"
#include "quillfen/toolbox/hough.h"

namespace quillfen::toolbox {

namespace {

using Values = std::vector<int>;

constexpr const char* kSegmentation = "Segmentation (Threshold)";
constexpr const char* kEntropy = "Segmentation (Threshold)/Entropy";
constexpr const char* kFuzzy = "Segmentation (Threshold)/Fuzzy Set";
constexpr const char* kHistogram = "Histogram";
constexpr const char* kGradient = "Edge Detection/Gradient";
constexpr const char* kLaplacian = "Edge Detection/Laplacian";
constexpr const char* kEdges = "Edge Detection";
constexpr const char* kThinning = "Thinning";
constexpr const char* kNoise = "Noise Removement";
constexpr const char* kFeatures = "Feature Detection";
constexpr const char* kEtc = "Etc Algorithm";

// A whole number in a report.
ReportNumber Whole(int value) { return {static_cast<double>(value), 0}; }

// A threshold is reported as its byte: a method that found none (-1) reads 255.
std::optional<Report> Threshold(const char* words, int threshold) {
    return Report{std::string(words) + "%1", {Whole(threshold & 0xFF)}};
}

// A report of words only.
std::optional<Report> Says(std::string words) { return Report{std::move(words), {}}; }

// The operations without arguments whose report is a fixed text.
#define QF_SAYS(name, call, words)                                                      \
    std::optional<Report> name(TRixIPA& image, [[maybe_unused]] const Values& values) { \
        image.call;                                                                     \
        return Says(words);                                                             \
    }

QF_SAYS(General, EdgeGeneral(3.0), "Edge Detection by general operator of  gradient")
QF_SAYS(Roberts, EdgeRoberts(1.0), "Edge Detection by Roberts operator of  gradient")
QF_SAYS(Prewitt, EdgePrewitt(1.0), "Edge Detection by Prewitt operator of  gradient")
QF_SAYS(Sobel, EdgeSobel(1.0), "Edge Detection by Sobel operator of  gradient")
QF_SAYS(FreiChen, EdgeFreiChen(1.0), "Edge Detection by FreiChen operator of  gradient")
QF_SAYS(GeneralVertical, EdgeGeneralVertical(3.0), "Edge Detection by vertical general operator of  gradient")
QF_SAYS(GeneralHorizontal, EdgeGeneralHorizontal(3.0), "Edge Detection by horizontal general operator of  gradient")
QF_SAYS(Laplacian1, EdgeLaplacian1(), "Edge Detection by Laplacian 1")
QF_SAYS(Laplacian2, EdgeLaplacian2(), "Edge Detection by Laplacian 2")
QF_SAYS(Laplacian3, EdgeLaplacian3(), "Edge Detection by Laplacian 3")
QF_SAYS(ZhangSuen, ThinZhangSuen(), "Thinning by Zhang & Suen algorithm")
QF_SAYS(Mean, NoiseMean(), "Noise Removement by Mean algorithm")
QF_SAYS(Median, NoiseMedian(), "Noise Removement by Meadian algorithm")
QF_SAYS(Contraction, NoiseContraction(), "Noise Removement by Contraction algorithm")
QF_SAYS(Expansion, NoiseExpansion(), "Noise Removement by Expansion algorithm")
QF_SAYS(Inverse, Inverse(), "Inversed image")
QF_SAYS(Hough, HoughTransform(values[0], values[1], values[2], values[3], values[4], values[5] != 0),
        "Hough Transform(Edge Detection)")

#undef QF_SAYS

// The threshold methods: each binarises and returns the threshold.
#define QF_THRESHOLD(name, call, words)                                        \
    std::optional<Report> name(TRixIPA& image, [[maybe_unused]] const Values& values) { \
        return Threshold(words, static_cast<int>(image.call));                 \
    }

QF_THRESHOLD(TwoPeaks, ThresholdByTwoPeaks(), "threshold value by Twopeaks = ")
QF_THRESHOLD(LaplacianThreshold, ThresholdByLaplacian(85), "Threshold value by Laplacian = ")
QF_THRESHOLD(Iterative, ThresholdByIterativeSelection(), "Threshold value by Iterative Section = ")
QF_THRESHOLD(GrayLevel, ThresholdByGrayLevelHistogram(), "Threshold value by Gray Level Histogram = ")
QF_THRESHOLD(Johannsen, ThresholdByJohannsen(), "Threshold value by Entropy by Johannsen = ")
QF_THRESHOLD(Kapur, ThresholdByKapur(), "Threshold value by Entropy by Kapur = ")
QF_THRESHOLD(Pun, ThresholdByPun(), "Threshold value by Entropy by Pun = ")
QF_THRESHOLD(Shannon, ThresholdByFuzzyShannon(), "Threshold value by minimizing fuzzy by shannon = ")
QF_THRESHOLD(Yager, ThresholdByFuzzyYager(), "Threshold value by minimizing fuzzy by yager = ")
QF_THRESHOLD(MinimumError, ThresholdByMinimumError(), "Threshold value by minimum Error = ")
QF_THRESHOLD(MovingAverage, ThresholdByMovingAverage(), "Threshold value by Moving Average = ")
QF_THRESHOLD(PTile, ThresholdByPTile(values[0]), "threshold value by P-tile = ")

#undef QF_THRESHOLD

std::optional<Report> MeanThreshold(TRixIPA& image, const Values&) {
    return Report{"threshold value by Mean = %1", {{image.ThresholdByMean(), 2}}};
}

std::optional<Report> Equalize(TRixIPA& image, const Values&) {
    image.Equalize();
    return std::nullopt;
}

std::optional<Report> Specify(TRixIPA& image, const Values&) {
    image.SpecifyHistogram();
    return std::nullopt;
}

std::optional<Report> AutoStretch(TRixIPA& image, const Values&) {
    std::uint8_t low = 0;
    std::uint8_t high = 0;
    image.AutoContrastStretch(low, high);
    return Report{"Lower Threshold is %1 and Upper Threshold is %2", {Whole(low), Whole(high)}};
}

std::optional<Report> EndsIn(TRixIPA& image, const Values& values) {
    std::uint8_t low = 0;
    std::uint8_t high = 0;
    image.EndsInContrastStretch(low, high, static_cast<std::uint8_t>(values[0]), static_cast<std::uint8_t>(values[1]));
    return Report{"Ends-In Contrast Stretch, Lower Threshold = %1 , Upper Threshold = %2", {Whole(low), Whole(high)}};
}

std::optional<Report> Labeling(TRixIPA& image, const Values&) {
    return Report{"Number of Object = %1", {Whole(image.Labeling())}};
}

const hough::Parameters kHoughStart;

// Built on first use, not when the program starts: most runs of quillfen-cli never look at it.
const std::vector<Operation>& OperationTable() {
    static const std::vector<Operation> operations = {
    {"Mean1S", "Mean", kSegmentation, "threshold", "mean", "threshold at the rounded mean gray level", Asks::Nothing,
     {}, MeanThreshold},
    {"PTile1S", "P-Tile", kSegmentation, "threshold", "ptile",
     "threshold that turns about P per cent of the pixels black", Asks::InputBoxes,
     {{"--percent", "black percentage, a whole number 0..100 (default 0)", 0, Rule::Percent,
       "Threshold by P-tile method", "Black % :Ex)50",
       "입력값 페센티지에 문제가 있습니다. 다시 입력하시기 바랍니다"}},
     PTile},
    {"Twopeaks1S", "Twopeaks", kSegmentation, "threshold", "two-peaks", "valley between the two histogram peaks",
     Asks::Nothing, {}, TwoPeaks},
    {"Laplacian1S", "Laplacian", kSegmentation, "threshold", "laplacian",
     "two peaks of the pixels with the strongest Laplacian (85% left out)", Asks::Nothing, {}, LaplacianThreshold},
    {"IterativeSelection1S", "Iterative Selection", kSegmentation, "threshold", "iterative",
     "iterative selection from the mean", Asks::Nothing, {}, Iterative},
    {"GrayLevelHistogram1S", "GrayLevel Histogram", kSegmentation, "threshold", "gray-level",
     "largest between-class variance", Asks::Nothing, {}, GrayLevel},
    {"Johannsen1E", "Johannsen", kEntropy, "threshold", "johannsen", "Johannsen's entropy", Asks::Nothing, {},
     Johannsen},
    {"Kapur1E", "Kapur", kEntropy, "threshold", "kapur", "Kapur's entropy", Asks::Nothing, {}, Kapur},
    {"Pun1E", "Pun", kEntropy, "threshold", "pun", "Pun's entropy", Asks::Nothing, {}, Pun},
    {"Shannon1FS", "Shannon", kFuzzy, "threshold", "shannon", "minimised fuzziness, Shannon measure", Asks::Nothing,
     {}, Shannon},
    {"Yager1FS", "Yager", kFuzzy, "threshold", "yager", "minimised fuzziness, Yager measure", Asks::Nothing, {},
     Yager},
    {"MinimumError1S", "Minimum Error", kSegmentation, "threshold", "min-error", "minimum error", Asks::Nothing, {},
     MinimumError},
    {"MovingAverage1S", "Moving Average", kSegmentation, "threshold", "moving-average",
     "moving average along a serpentine scan", Asks::Nothing, {}, MovingAverage},

    {"Equalization1H", "Equalization", kHistogram, "histogram", "equalize", "histogram equalization", Asks::Nothing,
     {}, Equalize},
    {"Specification1H", "Specification", kHistogram, "histogram", "specify",
     "map each level to the lowest level sharing its equalized value", Asks::Nothing, {}, Specify},
    {"AutoContrastStretch1H", "AutoContrastStretch", kHistogram, "histogram", "auto-stretch",
     "stretch the occupied levels over 0..255", Asks::Nothing, {}, AutoStretch},
    // The input boxes' captions lack their closing parenthesis; they are shown as they stand.
    {"EndsInContrast1H", "EndsInContrast", kHistogram, "histogram", "ends-in",
     "set the darkest L% to 0 and the brightest H% to 255, stretch between", Asks::InputBoxes,
     {{"--low", "percentage of pixels to set to 0 (default 0; taken as its low byte)", 0, Rule::LowByte,
       "Ends-In Contrast Stretch(Percentage of pixels to set to 0", "Enter Lower Value", nullptr},
      {"--high", "percentage of pixels to set to 255 (default 255; taken as its low byte)", 255, Rule::LowByte,
       "Ends-In Contrast Stretch(Percentage of pixels to set to 255", "Enter Higher Value", nullptr}},
     EndsIn},

    {"GeneralOperator1G1E", "General Operator", kGradient, "edge", "general",
     "sum of the right and lower neighbour differences, x 3", Asks::Nothing, {}, General},
    {"RobertsOperator1G1E", "Roberts Operator", kGradient, "edge", "roberts", "Roberts gradient", Asks::Nothing, {},
     Roberts},
    {"PrewittOperator1G1E", "Prewitt Operator", kGradient, "edge", "prewitt", "Prewitt gradient", Asks::Nothing, {},
     Prewitt},
    {"SobelOperator1G1E", "Sobel Operator", kGradient, "edge", "sobel", "Sobel gradient", Asks::Nothing, {}, Sobel},
    {"FreiChen1G1E", "FreiChen", kGradient, "edge", "frei-chen", "Frei-Chen gradient", Asks::Nothing, {}, FreiChen},
    {"GeneralVerticalOperator1G1E", "General Vertical Operator", kGradient, "edge", "general-vertical",
     "difference with the right neighbour, x 3", Asks::Nothing, {}, GeneralVertical},
    {"GeneralHOrizontalOperator1G1E", "General HOrizontal Operator", kGradient, "edge", "general-horizontal",
     "difference with the lower neighbour, x 3", Asks::Nothing, {}, GeneralHorizontal},
    {"Laplacian1L1E", "Laplacian1", kLaplacian, "edge", "laplacian1", "Laplacian mask 0 -1 0 / -1 4 -1 / 0 -1 0",
     Asks::Nothing, {}, Laplacian1},
    {"Laplacian2L1E", "Laplacian2", kLaplacian, "edge", "laplacian2", "Laplacian mask -1 -1 -1 / -1 8 -1 / -1 -1 -1",
     Asks::Nothing, {}, Laplacian2},
    {"Laplacian3L1E", "Laplacian3", kLaplacian, "edge", "laplacian3", "Laplacian mask 1 -2 1 / -2 4 -2 / 1 -2 1",
     Asks::Nothing, {}, Laplacian3},
    {"HoughTransform1E", "Hough Transform", kEdges, "edge", "hough",
     "Hough transform: straight lines over Sobel edges, drawn white on black", Asks::HoughDialog,
     {{"--theta", "angle cells over a full turn", kHoughStart.thetaCount, Rule::Count, nullptr, nullptr, nullptr},
      {"--rho", "distance cells over the image diagonal", kHoughStart.rhoCount, Rule::Count, nullptr, nullptr,
       nullptr},
      {"--min-length", "a run is drawn only when longer than this", kHoughStart.minLineLength, Rule::NonNegative,
       nullptr, nullptr, nullptr},
      {"--gradient", "an edge pixel's gradient must exceed this", kHoughStart.gradientThreshold, Rule::NonNegative,
       nullptr, nullptr, nullptr},
      {"--votes", "a line's votes must exceed this", kHoughStart.houghThreshold, Rule::NonNegative, nullptr, nullptr,
       nullptr},
      {"--line-based", "one vote per edge pixel, weighted by its gradient, at the gradient's angle",
       kHoughStart.lineBased ? 1 : 0, Rule::Flag, nullptr, nullptr, nullptr}},
     Hough},

    {"Zhang_Suen1T", "Zhang_Suen", kThinning, nullptr, "thin", "Zhang-Suen thinning of the non-zero regions",
     Asks::Nothing, {}, ZhangSuen},

    {"Mean1NR", "Mean", kNoise, "noise", "mean", "3 x 3 mean, truncated", Asks::Nothing, {}, Mean},
    {"MedianFilter1NR", "MedianFilter", kNoise, "noise", "median", "3 x 3 median", Asks::Nothing, {}, Median},
    {"Contraction1NR", "Contraction", kNoise, "noise", "contract",
     "black spreads to pixels with a black diagonal neighbour", Asks::Nothing, {}, Contraction},
    {"Expansion1NR", "Expansion", kNoise, "noise", "expand", "white spreads to pixels with a white diagonal neighbour",
     Asks::Nothing, {}, Expansion},

    {"Labeling1FD", "Labeling", kFeatures, nullptr, "label",
     "Paint each white (255) object with its own gray level, 254 downwards", Asks::Nothing, {}, Labeling},

    {"Inverse1E", "Inverse", kEtc, nullptr, "invert", "Negative of the picture", Asks::Nothing, {}, Inverse},
    };
    return operations;
}

constexpr CliCommand kCliCommands[] = {
    {"threshold", "Binarise a picture with a threshold selection method"},
    {"histogram", "Show or reshape a picture's gray-level histogram"},
    {"edge", "Edge detection: gradient and Laplacian operators, Hough lines"},
    {"thin", nullptr},
    {"noise", "Noise removal: 3 x 3 mean and median, contraction, expansion"},
    {"invert", nullptr},
    {"label", nullptr},
};

// Names users know an operation by from elsewhere, offered when they type one: the method
// is the same, the name is this catalogue's (a group of nullptr: a command of its own).
struct Alias {
    const char* group;
    const char* alias;
    const char* command;
};

constexpr Alias kAliases[] = {
    {"threshold", "otsu", "gray-level"},       // the largest between-class variance
    {"threshold", "isodata", "iterative"},     // iterative selection from the mean
    {"threshold", "kittler", "min-error"},     // minimum error thresholding
    {"threshold", "percentile", "ptile"},
    {"threshold", "entropy", "kapur"},
    {"threshold", "entropy", "johannsen"},
    {"threshold", "entropy", "pun"},
    {"threshold", "fuzzy", "shannon"},
    {"threshold", "fuzzy", "yager"},
    {"threshold", "adaptive", "moving-average"},
    {"histogram", "match", "specify"},         // the command line names histogram matching so
    {"histogram", "stretch", "auto-stretch"},
    {"noise", "erode", "contract"},            // white objects shrink
    {"noise", "dilate", "expand"},             // white objects grow
    {nullptr, "negative", "invert"},
    {nullptr, "skeleton", "thin"},
};

bool Same(const char* a, std::string_view b) { return a != nullptr ? b == a : b.empty(); }

// What a rule accepts, for messages.
const char* AcceptedBy(Rule rule) {
    switch (rule) {
    case Rule::Percent: return "0..100";
    case Rule::LowByte: return "any whole number";
    case Rule::Count: return "2..3600";
    case Rule::NonNegative: return "0 or more";
    case Rule::Flag: return "0 or 1";
    }
    return "";
}

}  // namespace

const std::vector<Operation>& Operations() { return OperationTable(); }

const std::vector<CliCommand>& CliCommands() {
    static const std::vector<CliCommand> commands(std::begin(kCliCommands), std::end(kCliCommands));
    return commands;
}

std::string CommandSuggestion(std::string_view group, std::string_view typed) {
    if (FindCommand(group, typed) != nullptr) return "";
    // The group's names and the aliases, each standing for its operation.
    std::vector<std::string> names;
    std::vector<const Operation*> meant;
    for (const Operation& operation : Operations())
        if (Same(operation.group, group)) {
            names.emplace_back(operation.command);
            meant.push_back(&operation);
        }
    for (const Alias& alias : kAliases)
        if (Same(alias.group, group)) {
            names.emplace_back(alias.alias);
            meant.push_back(FindCommand(group, alias.command));
        }
    // Every operation an alias stands for (there may be several), beside the nearest names.
    std::vector<const Operation*> offered;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (NameDistance(typed, names[i]) == 0 && std::find(offered.begin(), offered.end(), meant[i]) == offered.end())
            offered.push_back(meant[i]);
    for (const std::string& name : offered.empty() ? SimilarNames(typed, names, names.size()) : std::vector<std::string>()) {
        const std::size_t at = static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
        for (std::size_t i = at; i < names.size(); ++i)
            if (names[i] == name && std::find(offered.begin(), offered.end(), meant[i]) == offered.end())
                offered.push_back(meant[i]);
        if (offered.size() >= 3) break;
    }
    if (offered.empty()) return "";
    std::string text = "did you mean ";
    for (std::size_t i = 0; i < offered.size(); ++i) {
        if (i > 0) text += i + 1 == offered.size() ? " or " : ", ";
        text.append("'").append(offered[i]->command).append("' (").append(offered[i]->help).append(")");
    }
    return text + "?";
}

const Operation* FindAction(std::string_view action) {
    for (const Operation& operation : Operations())
        if (action == operation.action) return &operation;
    return nullptr;
}

const Operation* FindCommand(std::string_view group, std::string_view command) {
    for (const Operation& operation : Operations())
        if (Same(operation.group, group) && command == operation.command) return &operation;
    return nullptr;
}

std::vector<int> InitialValues(const Operation& operation) {
    std::vector<int> values;
    for (const Argument& argument : operation.arguments) values.push_back(argument.initial);
    return values;
}

std::optional<int> Accept(const Argument& argument, std::optional<int> entered) {
    switch (argument.rule) {
    case Rule::Percent:
        if (!entered || *entered < 0 || *entered > 100) return std::nullopt;
        return entered;
    case Rule::LowByte: return entered.value_or(0) & 0xFF;
    case Rule::Count:
        if (!entered || *entered < 2 || *entered > 3600) return std::nullopt;
        return entered;
    case Rule::NonNegative:
        if (!entered || *entered < 0) return std::nullopt;
        return entered;
    case Rule::Flag:
        if (!entered || (*entered != 0 && *entered != 1)) return std::nullopt;
        return entered;
    }
    return std::nullopt;
}

Applied Apply(const Operation& operation, const GrayView& picture, std::vector<int> values) {
    if (values.empty()) values = InitialValues(operation);
    if (values.size() != operation.arguments.size())
        throw ArgumentError(std::string(operation.command) + " takes " + std::to_string(operation.arguments.size()) +
                            " values, not " + std::to_string(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::optional<int> accepted = Accept(operation.arguments[i], values[i]);
        if (!accepted)
            throw ArgumentError(std::string(operation.command) + ": " + operation.arguments[i].option + " " +
                                std::to_string(values[i]) + " is out of range (accepted: " +
                                AcceptedBy(operation.arguments[i].rule) + ")");
        values[i] = *accepted;
    }
    TRixIPA image;
    image.LoadFromView(picture);
    Applied applied;
    applied.report = operation.run(image, values);
    applied.picture = image.Plane();
    return applied;
}

}  // namespace quillfen::toolbox
