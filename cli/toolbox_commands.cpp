// quillfen-cli edge, thin, noise, invert and label: each loads INPUT, runs one toolbox
// operation on it, saves OUTPUT and prints the operation's report line (toolbox_runner.h).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/toolbox_runner.h"
#include "image/errors.h"

namespace quillfen::cli {
namespace {

ToolboxOperation Reporting(std::function<void(TRixIPA&)> run, std::string report) {
    return [run = std::move(run), report = std::move(report)](TRixIPA& ipa) {
        run(ipa);
        return report;
    };
}

struct HoughOptions {
    int theta = 360;
    int rho = 300;
    int minLength = 10;
    int gradient = 10;
    int votes = 200;
    bool lineBased = false;
};

}  // namespace

void RegisterEdgeCommand(CLI::App& app) {
    CLI::App* edge = AddToolboxGroup(app, "edge", "Edge detection: gradient and Laplacian operators, Hough lines");
    struct Entry {
        const char* name;
        const char* description;
        std::function<void(TRixIPA&)> run;
        const char* report;
    };
    const std::vector<Entry> entries = {
        {"general", "sum of the right and lower neighbour differences, x 3",
         [](TRixIPA& i) { i.EdgeGeneral(3.0); }, "Edge Detection by general operator of  gradient"},
        {"general-vertical", "difference with the right neighbour, x 3",
         [](TRixIPA& i) { i.EdgeGeneralVertical(3.0); },
         "Edge Detection by vertical general operator of  gradient"},
        {"general-horizontal", "difference with the lower neighbour, x 3",
         [](TRixIPA& i) { i.EdgeGeneralHorizontal(3.0); },
         "Edge Detection by horizontal general operator of  gradient"},
        {"roberts", "Roberts gradient", [](TRixIPA& i) { i.EdgeRoberts(1.0); },
         "Edge Detection by Roberts operator of  gradient"},
        {"prewitt", "Prewitt gradient", [](TRixIPA& i) { i.EdgePrewitt(1.0); },
         "Edge Detection by Prewitt operator of  gradient"},
        {"sobel", "Sobel gradient", [](TRixIPA& i) { i.EdgeSobel(1.0); },
         "Edge Detection by Sobel operator of  gradient"},
        {"frei-chen", "Frei-Chen gradient", [](TRixIPA& i) { i.EdgeFreiChen(1.0); },
         "Edge Detection by FreiChen operator of  gradient"},
        {"laplacian1", "Laplacian mask 0 -1 0 / -1 4 -1 / 0 -1 0", [](TRixIPA& i) { i.EdgeLaplacian1(); },
         "Edge Detection by Laplacian 1"},
        {"laplacian2", "Laplacian mask -1 -1 -1 / -1 8 -1 / -1 -1 -1", [](TRixIPA& i) { i.EdgeLaplacian2(); },
         "Edge Detection by Laplacian 2"},
        {"laplacian3", "Laplacian mask 1 -2 1 / -2 4 -2 / 1 -2 1", [](TRixIPA& i) { i.EdgeLaplacian3(); },
         "Edge Detection by Laplacian 3"},
    };
    for (const Entry& e : entries) AddToolboxOperation(*edge, e.name, e.description, Reporting(e.run, e.report));

    auto options = std::make_shared<HoughOptions>();
    CLI::App* hough = AddToolboxOperation(
        *edge, "hough", "Hough transform: straight lines over Sobel edges, drawn white on black",
        ToolboxOperation([options](TRixIPA& ipa) {
            ipa.HoughTransform(options->theta, options->rho, options->minLength, options->gradient,
                               options->votes, options->lineBased);
            return std::string("Hough Transform(Edge Detection)");
        }));
    hough->add_option("--theta", options->theta, "angle cells over a full turn")
        ->transform(DecimalNumber(2, 3600))->capture_default_str();
    hough->add_option("--rho", options->rho, "distance cells over the image diagonal")
        ->transform(DecimalNumber(2, 3600))->capture_default_str();
    hough->add_option("--min-length", options->minLength, "a run is drawn only when longer than this")
        ->transform(DecimalNumber(0, 2147483647))->capture_default_str();
    hough->add_option("--gradient", options->gradient, "an edge pixel's gradient must exceed this")
        ->transform(DecimalNumber(0, 2147483647))->capture_default_str();
    hough->add_option("--votes", options->votes, "a line's votes must exceed this")
        ->transform(DecimalNumber(0, 2147483647))->capture_default_str();
    hough->add_flag("--line-based", options->lineBased,
                    "one vote per edge pixel, weighted by its gradient, at the gradient's angle");
}

void RegisterThinCommand(CLI::App& app) {
    AddToolboxOperation(app, "thin", "Zhang-Suen thinning of the non-zero regions",
                   Reporting([](TRixIPA& i) { i.ThinZhangSuen(); }, "Thinning by Zhang & Suen algorithm"));
}

void RegisterNoiseCommand(CLI::App& app) {
    CLI::App* noise = AddToolboxGroup(app, "noise", "Noise removal: 3 x 3 mean and median, contraction, expansion");
    AddToolboxOperation(*noise, "mean", "3 x 3 mean, truncated",
                   Reporting([](TRixIPA& i) { i.NoiseMean(); }, "Noise Removement by Mean algorithm"));
    AddToolboxOperation(*noise, "median", "3 x 3 median",
                   Reporting([](TRixIPA& i) { i.NoiseMedian(); }, "Noise Removement by Meadian algorithm"));
    AddToolboxOperation(*noise, "contract", "black spreads to pixels with a black diagonal neighbour",
                   Reporting([](TRixIPA& i) { i.NoiseContraction(); }, "Noise Removement by Contraction algorithm"));
    AddToolboxOperation(*noise, "expand", "white spreads to pixels with a white diagonal neighbour",
                   Reporting([](TRixIPA& i) { i.NoiseExpansion(); }, "Noise Removement by Expansion algorithm"));
}

void RegisterInvertCommand(CLI::App& app) {
    AddToolboxOperation(app, "invert", "Negative of the picture",
                   Reporting([](TRixIPA& i) { i.Inverse(); }, "Inversed image"));
}

void RegisterLabelCommand(CLI::App& app) {
    AddToolboxOperation(app, "label", "Paint each white (255) object with its own gray level, 254 downwards",
                   ToolboxOperation([](TRixIPA& ipa) {
                       StderrPrompts prompts;  // "Many Labels in this image" goes to stderr
                       const int count = ipa.Labeling(prompts);
                       if (count == -1) {
                           ipa.Undo();
                           throw CommandFailure{kExitFailed, ""};  // the message is already out
                       }
                       return "Number of Object = " + std::to_string(count);
                   }));
}

}  // namespace quillfen::cli
