// The popup menu's image-processing commands. Each reads its inputs (an input box or the
// Hough parameter dialog for a few), runs one operation of the window's working image (which
// takes the undo copy itself), draws the image again and writes one report line. Errors of
// the operations (a MathError on a degenerate image) go to the frame's error report through
// its command guard, with the image as it was.
#include <cstdint>
#include <optional>
#include <string>

#include <QAction>

#include "image/number_format.h"
#include "image/user_prompts.h"
#include "ui/histogram_window.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/param_hough_dialog.h"
#include "ui/ui_text.h"

namespace quillfen::ui {

namespace {

// The threshold methods that need no input: each binarises the image and returns T.
struct ThresholdCommand {
    const char* action;
    const char* report;
    int (*run)(TRixIPA&);
};
const ThresholdCommand kThresholdCommands[] = {
    {"Twopeaks1S", "threshold value by Twopeaks = ", [](TRixIPA& i) { return i.ThresholdByTwoPeaks(); }},
    {"Laplacian1S", "Threshold value by Laplacian = ", [](TRixIPA& i) -> int { return i.ThresholdByLaplacian(85); }},
    {"IterativeSelection1S", "Threshold value by Iterative Section = ",
     [](TRixIPA& i) { return i.ThresholdByIterativeSelection(); }},
    {"GrayLevelHistogram1S", "Threshold value by Gray Level Histogram = ",
     [](TRixIPA& i) { return i.ThresholdByGrayLevelHistogram(); }},
    {"Johannsen1E", "Threshold value by Entropy by Johannsen = ", [](TRixIPA& i) -> int { return i.ThresholdByJohannsen(); }},
    {"Kapur1E", "Threshold value by Entropy by Kapur = ", [](TRixIPA& i) -> int { return i.ThresholdByKapur(); }},
    {"Pun1E", "Threshold value by Entropy by Pun = ", [](TRixIPA& i) -> int { return i.ThresholdByPun(); }},
    {"Shannon1FS", "Threshold value by minimizing fuzzy by shannon = ", [](TRixIPA& i) { return i.ThresholdByFuzzyShannon(); }},
    {"Yager1FS", "Threshold value by minimizing fuzzy by yager = ", [](TRixIPA& i) { return i.ThresholdByFuzzyYager(); }},
    {"MinimumError1S", "Threshold value by minimum Error = ", [](TRixIPA& i) { return i.ThresholdByMinimumError(); }},
    {"MovingAverage1S", "Threshold value by Moving Average = ", [](TRixIPA& i) { return i.ThresholdByMovingAverage(); }},
};

// The operations with a fixed report (nullptr: none).
struct PlainCommand {
    const char* action;
    const char* report;
    void (*run)(TRixIPA&);
};
const PlainCommand kPlainCommands[] = {
    {"Equalization1H", nullptr, [](TRixIPA& i) { i.Equalize(); }},
    {"Specification1H", nullptr, [](TRixIPA& i) { i.SpecifyHistogram(); }},
    {"GeneralOperator1G1E", "Edge Detection by general operator of  gradient", [](TRixIPA& i) { i.EdgeGeneral(3.0); }},
    {"RobertsOperator1G1E", "Edge Detection by Roberts operator of  gradient", [](TRixIPA& i) { i.EdgeRoberts(1.0); }},
    {"PrewittOperator1G1E", "Edge Detection by Prewitt operator of  gradient", [](TRixIPA& i) { i.EdgePrewitt(1.0); }},
    {"SobelOperator1G1E", "Edge Detection by Sobel operator of  gradient", [](TRixIPA& i) { i.EdgeSobel(1.0); }},
    {"FreiChen1G1E", "Edge Detection by FreiChen operator of  gradient", [](TRixIPA& i) { i.EdgeFreiChen(1.0); }},
    {"GeneralVerticalOperator1G1E", "Edge Detection by vertical general operator of  gradient",
     [](TRixIPA& i) { i.EdgeGeneralVertical(3.0); }},
    {"GeneralHOrizontalOperator1G1E", "Edge Detection by horizontal general operator of  gradient",
     [](TRixIPA& i) { i.EdgeGeneralHorizontal(3.0); }},
    {"Laplacian1L1E", "Edge Detection by Laplacian 1", [](TRixIPA& i) { i.EdgeLaplacian1(); }},
    {"Laplacian2L1E", "Edge Detection by Laplacian 2", [](TRixIPA& i) { i.EdgeLaplacian2(); }},
    {"Laplacian3L1E", "Edge Detection by Laplacian 3", [](TRixIPA& i) { i.EdgeLaplacian3(); }},
    {"Zhang_Suen1T", "Thinning by Zhang & Suen algorithm", [](TRixIPA& i) { i.ThinZhangSuen(); }},
    {"Mean1NR", "Noise Removement by Mean algorithm", [](TRixIPA& i) { i.NoiseMean(); }},
    {"MedianFilter1NR", "Noise Removement by Meadian algorithm", [](TRixIPA& i) { i.NoiseMedian(); }},
    {"Contraction1NR", "Noise Removement by Contraction algorithm", [](TRixIPA& i) { i.NoiseContraction(); }},
    {"Expansion1NR", "Noise Removement by Expansion algorithm", [](TRixIPA& i) { i.NoiseExpansion(); }},
};

// An entered whole number, in the user's digits or plain ASCII ones.
std::optional<int> EnteredInt(const std::string& text) {
    int value = 0;
    if (ParseLocalInt(Q(text), value) || TryParseInt(text, value)) return value;
    return std::nullopt;
}

QString Num(int value) { return QString::number(value); }

}  // namespace

void TMDIChild::RedrawFromIpa() { SetPicture(FIpa->CreateBitmap()); }

void TMDIChild::ReportInStatusText(const QString& text) {
    FStatusText = text;
    frame_.ShowStatus(1, FStatusText);
}

void TMDIChild::ConnectToolboxCommands() {
    auto on = [this](const char* name, std::function<void()> command) {
        connect(Action(QString::fromLatin1(name)), &QAction::triggered, this,
                [this, command = std::move(command)] { frame_.Run(command); });
    };

    on("Mean1S", [this] {
        const double mean = FIpa->ThresholdByMean();
        RedrawFromIpa();
        ReportInStatusText(QStringLiteral("threshold value by Mean = ") + LocalizeNumber(FormatFixed(mean, 2)));
    });

    on("PTile1S", [this] {
        FStatusText = QStringLiteral("0");
        const auto entered = frame_.Prompts().input("Threshold by P-tile method", "Black % :Ex)50", S(FStatusText));
        if (!entered) return;
        FStatusText = Q(*entered);
        const std::optional<int> percent = EnteredInt(*entered);
        if (!percent || *percent < 0 || *percent > 100) {
            frame_.Prompts().confirm("입력값 페센티지에 문제가 있습니다. 다시 입력하시기 바랍니다");
            return;
        }
        const int t = FIpa->ThresholdByPTile(*percent);
        RedrawFromIpa();
        ReportInStatusText(QStringLiteral("threshold value by P-tile = ") + Num(t));
    });

    for (const ThresholdCommand& c : kThresholdCommands) {
        on(c.action, [this, c] {
            const int t = c.run(*FIpa);
            RedrawFromIpa();
            ReportInStatusText(QString::fromLatin1(c.report) + Num(t));
        });
    }

    for (const PlainCommand& c : kPlainCommands) {
        on(c.action, [this, c] {
            c.run(*FIpa);
            RedrawFromIpa();
            if (c.report != nullptr) ReportInStatusText(QString::fromLatin1(c.report));
        });
    }

    on("ViewHistogram1H", [this] {
        if (frame_.frmHistogram() != nullptr) frame_.frmHistogram()->ShowModalFor(*FIpa);
    });

    on("AutoContrastStretch1H", [this] {
        std::uint8_t low = 0;
        std::uint8_t high = 0;
        FIpa->AutoContrastStretch(low, high);
        RedrawFromIpa();
        ReportInStatusText(QStringLiteral("Lower Threshold is ") + Num(low) + QStringLiteral(" and") +
                           QStringLiteral(" Upper Threshold is ") + Num(high));
    });

    on("EndsInContrast1H", [this] {
        // Each percentage: a number that is not one counts as 0; only its low byte is used.
        FStatusText = QStringLiteral("0");
        const auto lower = frame_.Prompts().input("Ends-In Contrast Stretch(Percentage of pixels to set to 0",
                                                  "Enter Lower Value", S(FStatusText));
        if (!lower) return;
        FStatusText = Q(*lower);
        const auto lowPercent = static_cast<std::uint8_t>(EnteredInt(*lower).value_or(0));
        FStatusText = QStringLiteral("255");
        const auto upper = frame_.Prompts().input("Ends-In Contrast Stretch(Percentage of pixels to set to 255",
                                                  "Enter Higher Value", S(FStatusText));
        if (!upper) return;
        FStatusText = Q(*upper);
        const auto highPercent = static_cast<std::uint8_t>(EnteredInt(*upper).value_or(0));
        std::uint8_t low = 0;
        std::uint8_t high = 0;
        FIpa->EndsInContrastStretch(low, high, lowPercent, highPercent);
        RedrawFromIpa();
        ReportInStatusText(QStringLiteral("Ends-In Contrast Stretch, Lower Threshold = ") + Num(low) +
                           QStringLiteral(" ,") + QStringLiteral(" Upper Threshold = ") + Num(high));
    });

    on("HoughTransform1E", [this] {
        // The parameter dialog starts from the command's classic values every time.
        HoughParameters p;
        if (TfrmParamHough* dialog = frame_.frmParamHough()) {
            const std::optional<HoughParameters> chosen = dialog->Ask(p);
            if (!chosen) return;
            p = *chosen;
        }
        FIpa->HoughTransform(p.theta, p.radius, p.minLineLength, p.gradientThreshold, p.houghThreshold, p.lineBased);
        RedrawFromIpa();
        frame_.ShowStatus(0, QStringLiteral("Hough Transform(Edge Detection)"));
    });

    on("Labeling1FD", [this] {
        const int n = FIpa->Labeling();
        RedrawFromIpa();
        frame_.ShowStatus(1, QStringLiteral("Number of Object = ") + Num(n));
    });

    on("Inverse1E", [this] {
        FIpa->Inverse();
        RedrawFromIpa();
        frame_.ShowStatus(1, QStringLiteral("Inversed image"));
    });

    // Relaxation1S, Canny1e, Shen_Castan1e, Marr_Hildreth1e, Hilditch1T,
    // Medial_AxisTransform1T, IterativeMorphological1T, Stentiford_Holt_Zhang_Suen1T,
    // Prewitt1TM1E, Hueckel1TM1E and Smoothing1NR name methods this laboratory does not
    // implement: choosing one does nothing at all.
}

}  // namespace quillfen::ui
