// The popup menu's image-processing commands driven through their actions: each one against
// the same operation run on a copy of the image, its report and panel, Undo afterwards, the
// input boxes, the Hough parameter dialog, the histogram window, labeling's give-up path,
// degenerate images and the commands that do nothing.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "image/errors.h"
#include "image/number_format.h"
#include "io/pgm.h"
#include "tests/test_support.h"
#include "tests/watermark/workspace_buffers.h"
#include "tests/ui/ui_test_support.h"
#include "ui/histogram_window.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/param_hough_dialog.h"

using namespace quillfen;
using namespace quillfen::ui;
using quillfen::test::RecordingPrompts;
using quillfen::test::ScriptedFileDialogs;
using quillfen::test::TempDir;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Also keeps the prompt and the text each input box started with.
class AskingPrompts : public RecordingPrompts {
public:
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override {
        prompts.push_back(prompt);
        initials.push_back(initial);
        return RecordingPrompts::input(caption, prompt, initial);
    }
    std::vector<std::string> prompts;
    std::vector<std::string> initials;
};

// The expected outcome of a command without input: the same operation on a copy, and its
// report (panel 1, built in FStatusText unless noted).
struct Expected {
    std::function<std::optional<QString>(TRixIPA&)> run;
    bool viaStatusText = true;
};

QString T(int value) { return QString::number(value); }

const std::map<QString, Expected>& Commands() {
    static const std::map<QString, Expected> commands = {
        {"Mean1S", {[](TRixIPA& i) -> std::optional<QString> {
             return "threshold value by Mean = " + Q(FormatFixed(i.ThresholdByMean(), 2)).replace('.', QLocale().decimalPoint());
         }}},
        {"Twopeaks1S", {[](TRixIPA& i) -> std::optional<QString> { return "threshold value by Twopeaks = " + T(i.ThresholdByTwoPeaks()); }}},
        {"Laplacian1S", {[](TRixIPA& i) -> std::optional<QString> { return "Threshold value by Laplacian = " + T(i.ThresholdByLaplacian(85)); }}},
        {"IterativeSelection1S", {[](TRixIPA& i) -> std::optional<QString> {
             return "Threshold value by Iterative Section = " + T(i.ThresholdByIterativeSelection());
         }}},
        {"GrayLevelHistogram1S", {[](TRixIPA& i) -> std::optional<QString> {
             return "Threshold value by Gray Level Histogram = " + T(i.ThresholdByGrayLevelHistogram());
         }}},
        {"Johannsen1E", {[](TRixIPA& i) -> std::optional<QString> { return "Threshold value by Entropy by Johannsen = " + T(i.ThresholdByJohannsen()); }}},
        {"Kapur1E", {[](TRixIPA& i) -> std::optional<QString> { return "Threshold value by Entropy by Kapur = " + T(i.ThresholdByKapur()); }}},
        {"Pun1E", {[](TRixIPA& i) -> std::optional<QString> { return "Threshold value by Entropy by Pun = " + T(i.ThresholdByPun()); }}},
        {"Shannon1FS", {[](TRixIPA& i) -> std::optional<QString> {
             return "Threshold value by minimizing fuzzy by shannon = " + T(i.ThresholdByFuzzyShannon());
         }}},
        {"Yager1FS", {[](TRixIPA& i) -> std::optional<QString> {
             return "Threshold value by minimizing fuzzy by yager = " + T(i.ThresholdByFuzzyYager());
         }}},
        {"MinimumError1S", {[](TRixIPA& i) -> std::optional<QString> { return "Threshold value by minimum Error = " + T(i.ThresholdByMinimumError()); }}},
        {"MovingAverage1S", {[](TRixIPA& i) -> std::optional<QString> { return "Threshold value by Moving Average = " + T(i.ThresholdByMovingAverage()); }}},
        {"Equalization1H", {[](TRixIPA& i) -> std::optional<QString> { i.Equalize(); return std::nullopt; }}},
        {"Specification1H", {[](TRixIPA& i) -> std::optional<QString> { i.SpecifyHistogram(); return std::nullopt; }}},
        {"AutoContrastStretch1H", {[](TRixIPA& i) -> std::optional<QString> {
             std::uint8_t low = 0, high = 0;
             i.AutoContrastStretch(low, high);
             return "Lower Threshold is " + T(low) + " and Upper Threshold is " + T(high);
         }}},
        {"GeneralOperator1G1E", {[](TRixIPA& i) -> std::optional<QString> { i.EdgeGeneral(3.0); return "Edge Detection by general operator of  gradient"; }}},
        {"RobertsOperator1G1E", {[](TRixIPA& i) -> std::optional<QString> { i.EdgeRoberts(1.0); return "Edge Detection by Roberts operator of  gradient"; }}},
        {"PrewittOperator1G1E", {[](TRixIPA& i) -> std::optional<QString> { i.EdgePrewitt(1.0); return "Edge Detection by Prewitt operator of  gradient"; }}},
        {"SobelOperator1G1E", {[](TRixIPA& i) -> std::optional<QString> { i.EdgeSobel(1.0); return "Edge Detection by Sobel operator of  gradient"; }}},
        {"FreiChen1G1E", {[](TRixIPA& i) -> std::optional<QString> { i.EdgeFreiChen(1.0); return "Edge Detection by FreiChen operator of  gradient"; }}},
        {"GeneralVerticalOperator1G1E", {[](TRixIPA& i) -> std::optional<QString> {
             i.EdgeGeneralVertical(3.0);
             return "Edge Detection by vertical general operator of  gradient";
         }}},
        {"GeneralHOrizontalOperator1G1E", {[](TRixIPA& i) -> std::optional<QString> {
             i.EdgeGeneralHorizontal(3.0);
             return "Edge Detection by horizontal general operator of  gradient";
         }}},
        {"Laplacian1L1E", {[](TRixIPA& i) -> std::optional<QString> { i.EdgeLaplacian1(); return "Edge Detection by Laplacian 1"; }}},
        {"Laplacian2L1E", {[](TRixIPA& i) -> std::optional<QString> { i.EdgeLaplacian2(); return "Edge Detection by Laplacian 2"; }}},
        {"Laplacian3L1E", {[](TRixIPA& i) -> std::optional<QString> { i.EdgeLaplacian3(); return "Edge Detection by Laplacian 3"; }}},
        {"Zhang_Suen1T", {[](TRixIPA& i) -> std::optional<QString> { i.ThinZhangSuen(); return "Thinning by Zhang & Suen algorithm"; }}},
        {"Mean1NR", {[](TRixIPA& i) -> std::optional<QString> { i.NoiseMean(); return "Noise Removement by Mean algorithm"; }}},
        {"MedianFilter1NR", {[](TRixIPA& i) -> std::optional<QString> { i.NoiseMedian(); return "Noise Removement by Meadian algorithm"; }}},
        {"Contraction1NR", {[](TRixIPA& i) -> std::optional<QString> { i.NoiseContraction(); return "Noise Removement by Contraction algorithm"; }}},
        {"Expansion1NR", {[](TRixIPA& i) -> std::optional<QString> { i.NoiseExpansion(); return "Noise Removement by Expansion algorithm"; }}},
        {"Inverse1E", {[](TRixIPA& i) -> std::optional<QString> { i.Inverse(); return "Inversed image"; }, false}},
    };
    return commands;
}

// The popup menu as lines "Menu/Submenu/Entry [action]".
void Flatten(const QMenu* menu, const QString& path, QStringList& lines) {
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            lines << path + "-";
        } else if (a->menu() != nullptr) {
            lines << path + a->text() + "/";
            Flatten(a->menu(), path + a->text() + "/", lines);
        } else {
            lines << path + a->text() + (a->objectName().isEmpty() ? QString() : " [" + a->objectName() + "]");
        }
    }
}

const char* const kInert[] = {"Relaxation1S",     "Canny1e",           "Shen_Castan1e",
                              "Marr_Hildreth1e",  "Hilditch1T",        "Medial_AxisTransform1T",
                              "IterativeMorphological1T", "Stentiford_Holt_Zhang_Suen1T",
                              "Prewitt1TM1E",     "Hueckel1TM1E",      "Smoothing1NR"};

}  // namespace

class ToolboxCommandsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AskingPrompts> prompts;
    std::unique_ptr<ScriptedFileDialogs> dialogs;
    std::unique_ptr<TfrmMain> frame;
    std::unique_ptr<TempDir> dir;
    TfrmHistogram* histogram = nullptr;
    TfrmParamHough* hough = nullptr;

    TMDIChild* Open(const std::string& path = quillfen::test::SamplePath("camera-256.pgm")) {
        TMDIChild* doc = frame->OpenImageFile(Q(path));
        for (int panel = 0; panel < 3; ++panel) frame->ShowStatus(panel, QStringLiteral("p%1").arg(panel));
        return doc;
    }
    TMDIChild* OpenPlane(const char* name, int width, int height, const std::function<std::uint8_t(int, int)>& gray) {
        Bitmap bitmap(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) bitmap.setGray(x, y, gray(x, y));
        }
        const std::string path = dir->file(name);
        TRixPGM().SaveToFile(path, bitmap);
        return Open(path);
    }
    static TRixIPA Copy(const TMDIChild* doc) {
        TRixIPA copy;
        copy.LoadFromBitmap(doc->Picture());
        return copy;
    }
    QStringList Status() const { return {frame->StatusText(0), frame->StatusText(1), frame->StatusText(2)}; }
    void Choose(TMDIChild* doc, const char* action) { doc->Action(QString::fromLatin1(action))->trigger(); }
    // Undo puts back `before` once and is then off.
    bool UndoesTo(TMDIChild* doc, const Bitmap& before) {
        if (!frame->Undo1->isEnabled()) return false;
        frame->Undo1->trigger();
        return doc->Picture() == before && doc->FIpa->CreateBitmap() == before && !frame->Undo1->isEnabled();
    }

private slots:
    void init() {
        prompts = std::make_unique<AskingPrompts>();
        dialogs = std::make_unique<ScriptedFileDialogs>();
        frame = std::make_unique<TfrmMain>(*prompts, *dialogs);
        histogram = new TfrmHistogram(frame.get());
        hough = new TfrmParamHough(*prompts, frame.get());
        frame->SetForms(nullptr, histogram, hough, nullptr);
        frame->show();
        dir = std::make_unique<TempDir>();
    }
    void cleanup() {
        frame.reset();
        QLocale::setDefault(QLocale::c());
        quillfen::test::ProcessDeferredDeletes();
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }

    void popupMenuHoldsEveryEntryInOrder() {
        TMDIChild* doc = Open();
        QStringList lines;
        Flatten(doc->PopupMnu, QString(), lines);
        const QStringList expected = {
            "Image Size", "-", "Segmentation (Threshold)/",
            "Segmentation (Threshold)/Mean [Mean1S]", "Segmentation (Threshold)/P-Tile [PTile1S]",
            "Segmentation (Threshold)/Twopeaks [Twopeaks1S]", "Segmentation (Threshold)/Laplacian [Laplacian1S]",
            "Segmentation (Threshold)/Iterative Selection [IterativeSelection1S]",
            "Segmentation (Threshold)/GrayLevel Histogram [GrayLevelHistogram1S]",
            "Segmentation (Threshold)/Entropy/", "Segmentation (Threshold)/Entropy/Johannsen [Johannsen1E]",
            "Segmentation (Threshold)/Entropy/Kapur [Kapur1E]", "Segmentation (Threshold)/Entropy/Pun [Pun1E]",
            "Segmentation (Threshold)/Fuzzy Set/", "Segmentation (Threshold)/Fuzzy Set/Shannon [Shannon1FS]",
            "Segmentation (Threshold)/Fuzzy Set/Yager [Yager1FS]",
            "Segmentation (Threshold)/Minimum Error [MinimumError1S]",
            "Segmentation (Threshold)/Moving Average [MovingAverage1S]",
            "Segmentation (Threshold)/Relaxation [Relaxation1S]",
            "Histogram/", "Histogram/View Histogram [ViewHistogram1H]", "Histogram/Equalization [Equalization1H]",
            "Histogram/Specification [Specification1H]", "Histogram/AutoContrastStretch [AutoContrastStretch1H]",
            "Histogram/EndsInContrast [EndsInContrast1H]",
            "Edge Detection/", "Edge Detection/Gradient/",
            "Edge Detection/Gradient/General Operator [GeneralOperator1G1E]",
            "Edge Detection/Gradient/Roberts Operator [RobertsOperator1G1E]",
            "Edge Detection/Gradient/Prewitt Operator [PrewittOperator1G1E]",
            "Edge Detection/Gradient/Sobel Operator [SobelOperator1G1E]",
            "Edge Detection/Gradient/FreiChen [FreiChen1G1E]",
            "Edge Detection/Gradient/General Vertical Operator [GeneralVerticalOperator1G1E]",
            "Edge Detection/Gradient/General HOrizontal Operator [GeneralHOrizontalOperator1G1E]",
            "Edge Detection/Laplacian/", "Edge Detection/Laplacian/Laplacian1 [Laplacian1L1E]",
            "Edge Detection/Laplacian/Laplacian2 [Laplacian2L1E]", "Edge Detection/Laplacian/Laplacian3 [Laplacian3L1E]",
            "Edge Detection/Template Matching/", "Edge Detection/Template Matching/Prewitt",
            "Edge Detection/Template Matching/Hueckel", "Edge Detection/Canny [Canny1e]",
            "Edge Detection/Shen_Castan [Shen_Castan1e]", "Edge Detection/Marr_Hildreth [Marr_Hildreth1e]",
            "Edge Detection/Hough Transform [HoughTransform1E]",
            "Thinning/", "Thinning/Hilditch [Hilditch1T]", "Thinning/Medial_AxisTransform [Medial_AxisTransform1T]",
            "Thinning/IterativeMorphological [IterativeMorphological1T]",
            "Thinning/Stentiford_Holt_Zhang_Suen [Stentiford_Holt_Zhang_Suen1T]", "Thinning/Zhang_Suen [Zhang_Suen1T]",
            "Noise Removement/", "Noise Removement/Mean [Mean1NR]", "Noise Removement/MedianFilter [MedianFilter1NR]",
            "Noise Removement/Contraction [Contraction1NR]", "Noise Removement/Expansion [Expansion1NR]",
            "Feature Detection/", "Feature Detection/Labeling [Labeling1FD]", "Feature Detection/Feature parameter/",
            "Feature Detection/Feature parameter/Size", "Feature Detection/Feature parameter/Ratio",
            "Feature Detection/Feature parameter/Round length", "Feature Detection/Feature parameter/Center",
            "Texture/", "Texture/Co-occurency/", "Texture/Co-occurency/Maximum Probability", "Texture/Co-occurency/Moments",
            "Texture/Co-occurency/Contrast", "Texture/Co-occurency/Homogeneity", "Texture/Co-occurency/Entropy",
            "Texture/Co-occurency/Mean",
            "Image Restoration/", "Image Restoration/Frequency Processing/",
            "Image Restoration/Frequency Processing/Discreate Fourier Transform",
            "Image Restoration/Frequency Processing/Fast Fourier Transform",
            "Image Restoration/Frequency Processing/Inverse Fourier Transform",
            "Image Restoration/Frequency Processing/Two-Dimensional Fourier Transform",
            "Image Restoration/Frequency Processing/Creating Artificial Blur", "Image Restoration/Filtering/",
            "Image Restoration/Filtering/Inverse Filter", "Image Restoration/Filtering/Wiener Filter",
            "Image Restoration/Filtering/Structured Noise", "Image Restoration/Filtering/Montion Blur-Special Case",
            "Image Restoration/Filtering/Homomorphie Filter",
            "Geometrical Transform/", "Geometrical Transform/Size Transform", "Geometrical Transform/Location Transform",
            "Geometrical Transform/Rotation Transform", "Geometrical Transform/Projection Transform",
            "Image Compression/", "Image Compression/Run-Length EnCoding", "Image Compression/DPCM",
            "Image Compression/Variable Encoding",
            "Etc Algorithm/", "Etc Algorithm/Constrast", "Etc Algorithm/Inverse [Inverse1E]"};
        QCOMPARE(lines, expected);
    }

    // The actions kept without behaviour: in the list, on no menu, captions = names.
    void actionsWithoutBehaviourAreDeclared() {
        TMDIChild* doc = Open();
        QStringList lines;
        Flatten(doc->PopupMnu, QString(), lines);
        const QString names[] = {"Size1FP", "FeatureParameter1FD", "Ratio1FP", "RoundLength1FP", "Center1FP",
                                 "FrequencyProcessing1IR", "DiscreteFourierTransform1FP", "FastFourierTransform1FP",
                                 "InverseFourierTransform1FP", "TwoDimensionalFourierTransform1FP",
                                 "CreatingArtificialBlur1FP", "Filtering1IR", "InverseFilter1F", "WienerFilter1F",
                                 "StructuredNoise1F", "MontionBlur_SpecialCase1F", "HomomorphieFilter1F", "Cooccurency1T",
                                 "MaximumProbability1CO", "Moments1CO", "Contrast1CO", "Homogeneity1CO", "Entropy1CO",
                                 "Mean1CO", "SizeTransform1GT", "LocationTranform1GT", "RotationTransform1GT",
                                 "ProjectionTranform1GT", "RunLengthEdcoding1IC", "DPCM1IC", "VariableEncoding1IC",
                                 "Constrast1E", "Prewitt1TM1E", "Hueckel1TM1E", "Smoothing1NR"};
        for (const QString& name : names) {
            QAction* a = doc->Action(name);
            QVERIFY2(a != nullptr, qPrintable(name));
            QVERIFY2(!lines.join('\n').contains("[" + name + "]"), qPrintable(name));
            const bool kept = name.endsWith("TM1E") || name == "Smoothing1NR";
            if (!kept) QCOMPARE(a->text(), name == "FeatureParameter1FD" ? QStringLiteral("FeatureParameter") : name);
        }
        QCOMPARE(doc->Action("Prewitt1TM1E")->property("category").toString(), QStringLiteral("TemplateMatching1E"));
        QCOMPARE(doc->Action("Smoothing1NR")->text(), QStringLiteral("Smoothing"));
    }

    // Every command without input once on the sample picture, against the operation itself.
    void commandMatchesItsOperation_data() {
        QTest::addColumn<QString>("action");
        for (const auto& [name, expected] : Commands()) QTest::newRow(qPrintable(name)) << name;
    }
    void commandMatchesItsOperation() {
        QFETCH(QString, action);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // "0.00" with a decimal comma
        TMDIChild* doc = Open();
        const Bitmap before = doc->Picture();
        TRixIPA reference = Copy(doc);
        const Expected& expected = Commands().at(action);
        const std::optional<QString> report = expected.run(reference);

        doc->Action(action)->trigger();
        QVERIFY(prompts->shown.empty());
        QVERIFY(doc->Picture() == reference.CreateBitmap());
        QStringList status{"p0", "p1", "p2"};
        if (report) status[1] = *report;
        QCOMPARE(Status(), status);
        if (report && expected.viaStatusText) QCOMPARE(doc->FStatusText, *report);
        QVERIFY(Buffers(*doc->FWatermark).X == TWatermark().X());  // the workspace is not touched
        QVERIFY(UndoesTo(doc, before));
    }

    void pTileInput_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("default 0") << "0" << false << true;
        QTest::newRow("50") << "50" << false << true;
        QTest::newRow("100") << "100" << false << true;
        QTest::newRow("blank-led 7") << " 7" << false << true;
        QTest::newRow("101") << "101" << false << false;
        QTest::newRow("-1") << "-1" << false << false;
        QTest::newRow("abc") << "abc" << false << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("5.5") << "5.5" << false << false;
        QTest::newRow("cancel") << "" << true << false;
    }
    void pTileInput() {
        QFETCH(QString, answer);
        QFETCH(bool, cancel);
        QFETCH(bool, accepted);
        TMDIChild* doc = Open();
        Choose(doc, "Inverse1E");  // an undo copy that a refused entry must keep
        frame->ShowStatus(1, QStringLiteral("p1"));
        const Bitmap before = doc->Picture();
        const std::vector<std::uint8_t> undoCopy = doc->FIpa->GetUndoImage();
        TRixIPA reference = Copy(doc);
        prompts->answers.push_back(cancel ? std::nullopt : std::optional<std::string>(answer.toStdString()));

        Choose(doc, "PTile1S");
        QCOMPARE(prompts->captions, std::vector<std::string>{"Threshold by P-tile method"});
        QCOMPARE(prompts->prompts, std::vector<std::string>{"Black % :Ex)50"});
        QCOMPARE(prompts->initials, std::vector<std::string>{"0"});
        if (accepted) {
            const int t = reference.ThresholdByPTile(answer.trimmed().toInt());
            QVERIFY(prompts->shown.empty());
            QVERIFY(doc->Picture() == reference.CreateBitmap());
            QCOMPARE(frame->StatusText(1), "threshold value by P-tile = " + T(t));
            if (answer == "0") {
                QCOMPARE(t, 0);
                QVERIFY(doc->Picture() == Bitmap(256, 256, 255));  // all white
            }
            QVERIFY(UndoesTo(doc, before));
            return;
        }
        if (cancel) {
            QVERIFY(prompts->shown.empty());
        } else {
            QCOMPARE(prompts->shown.size(), std::size_t{1});
            QCOMPARE(prompts->shown[0].kind, PromptKind::Confirmation);
            QCOMPARE(prompts->shown[0].text, std::string("입력값 페센티지에 문제가 있습니다. 다시 입력하시기 바랍니다"));
        }
        QVERIFY(doc->Picture() == before);
        QVERIFY(doc->FIpa->GetUndoImage() == undoCopy);
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
    }

    void endsInContrastInput_data() {
        QTest::addColumn<QStringList>("answers");  // "<cancel>" cancels that box
        QTest::addColumn<int>("lowPercent");       // -1: nothing runs
        QTest::addColumn<int>("highPercent");
        QTest::newRow("defaults") << QStringList{"0", "255"} << 0 << 255;
        QTest::newRow("10 and 20") << QStringList{"10", "20"} << 10 << 20;
        QTest::newRow("not numbers count as 0") << QStringList{"abc", "x"} << 0 << 0;
        QTest::newRow("low bytes") << QStringList{"266", "-246"} << 10 << 10;
        QTest::newRow("first cancelled") << QStringList{"<cancel>"} << -1 << -1;
        QTest::newRow("second cancelled") << QStringList{"5", "<cancel>"} << -1 << -1;
    }
    void endsInContrastInput() {
        QFETCH(QStringList, answers);
        QFETCH(int, lowPercent);
        QFETCH(int, highPercent);
        TMDIChild* doc = Open();
        const Bitmap before = doc->Picture();
        TRixIPA reference = Copy(doc);
        for (const QString& a : answers) {
            prompts->answers.push_back(a == "<cancel>" ? std::nullopt : std::optional<std::string>(a.toStdString()));
        }
        Choose(doc, "EndsInContrast1H");
        const std::vector<std::string> captions = {"Ends-In Contrast Stretch(Percentage of pixels to set to 0",
                                                   "Ends-In Contrast Stretch(Percentage of pixels to set to 255"};
        const std::vector<std::string> asked = {"Enter Lower Value", "Enter Higher Value"};
        const std::vector<std::string> initials = {"0", "255"};
        const std::size_t boxes = static_cast<std::size_t>(answers.size());
        QCOMPARE(prompts->captions, std::vector<std::string>(captions.begin(), captions.begin() + static_cast<long>(boxes)));
        QCOMPARE(prompts->prompts, std::vector<std::string>(asked.begin(), asked.begin() + static_cast<long>(boxes)));
        QCOMPARE(prompts->initials, std::vector<std::string>(initials.begin(), initials.begin() + static_cast<long>(boxes)));
        QVERIFY(prompts->shown.empty());
        if (lowPercent < 0) {
            QVERIFY(doc->Picture() == before);
            QVERIFY(!frame->Undo1->isEnabled());
            QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
            return;
        }
        std::uint8_t low = 0, high = 0;
        reference.EndsInContrastStretch(low, high, static_cast<std::uint8_t>(lowPercent), static_cast<std::uint8_t>(highPercent));
        QVERIFY(doc->Picture() == reference.CreateBitmap());
        const QString report = "Ends-In Contrast Stretch, Lower Threshold = " + T(low) + " , Upper Threshold = " + T(high);
        QCOMPARE(Status(), (QStringList{"p0", report, "p2"}));
        QCOMPARE(doc->FStatusText, report);
        QVERIFY(UndoesTo(doc, before));
    }

    // The connected parameter dialog starts from the classic values; its values are used.
    void houghUsesTheParameterDialog_data() {
        QTest::addColumn<bool>("change");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("classic values") << false << false;
        QTest::newRow("changed values") << true << false;
        QTest::newRow("cancelled") << false << true;
    }
    void houghUsesTheParameterDialog() {
        QFETCH(bool, change);
        QFETCH(bool, cancel);
        // Two bright crossing lines on a dark ground.
        TMDIChild* doc = OpenPlane("lines.pgm", 96, 80, [](int x, int y) -> std::uint8_t {
            return (y == 40 || x == y + 5) ? 230 : 20;
        });
        const Bitmap before = doc->Picture();
        TRixIPA reference = Copy(doc);
        HoughParameters shown;
        QTimer::singleShot(0, hough, [&] {
            shown.radius = hough->edtRadius->text().toInt();
            shown.theta = hough->edtTheta->text().toInt();
            shown.minLineLength = hough->edtLThresh->text().toInt();
            shown.gradientThreshold = hough->edtGThresh->text().toInt();
            shown.houghThreshold = hough->edtHThresh->text().toInt();
            shown.lineBased = hough->rdoLine->isChecked();
            if (change) {
                hough->edtTheta->setText(QStringLiteral("180"));
                hough->edtHThresh->setText(QStringLiteral("30"));
                hough->rdoLine->setChecked(true);
            }
            (cancel ? hough->btnCancel : hough->btnOk)->click();
        });
        Choose(doc, "HoughTransform1E");
        QCOMPARE(shown, (HoughParameters{300, 360, 10, 10, 200, false}));
        QVERIFY(!hough->isVisible());
        QVERIFY(prompts->shown.empty());
        if (cancel) {
            QVERIFY(doc->Picture() == before);
            QVERIFY(!frame->Undo1->isEnabled());
            QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
            return;
        }
        if (change) {
            reference.HoughTransform(180, 300, 10, 10, 30, true);
        } else {
            reference.HoughTransform(360, 300, 10, 10, 200, false);
        }
        QVERIFY(doc->Picture() == reference.CreateBitmap());
        QCOMPARE(Status(), (QStringList{"Hough Transform(Edge Detection)", "p1", "p2"}));
        QVERIFY(UndoesTo(doc, before));
    }

    void viewHistogramShowsTheDocumentsImage() {
        TMDIChild* doc = Open();
        Choose(doc, "Inverse1E");
        frame->ShowStatus(1, QStringLiteral("p1"));
        const Bitmap before = doc->Picture();
        bool sawDocument = false;
        QString pixels;
        QTimer::singleShot(0, histogram, [&] {
            sawDocument = histogram->isVisible() && histogram->isModal() && histogram->IPA == doc->FIpa.get();
            pixels = histogram->lblPixels->text();
            histogram->btnOK->click();
        });
        Choose(doc, "ViewHistogram1H");
        QVERIFY(sawDocument);
        QCOMPARE(pixels, QStringLiteral("65536"));
        QVERIFY(histogram->IPA != doc->FIpa.get());  // never left pointing at a document
        QVERIFY(doc->Picture() == before);
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
        QVERIFY(frame->Undo1->isEnabled());  // the undo copy of the inversion is still there
    }

    void labelingCountsOrGivesUp_data() {
        QTest::addColumn<int>("pattern");
        QTest::addColumn<int>("objects");  // -1: too many
        QTest::newRow("three squares") << 0 << 3;
        QTest::newRow("no white pixel") << 1 << 0;
        QTest::newRow("961 dots") << 2 << -1;
    }
    void labelingCountsOrGivesUp() {
        QFETCH(int, pattern);
        QFETCH(int, objects);
        TMDIChild* doc = OpenPlane("objects.pgm", 64, 64, [pattern](int x, int y) -> std::uint8_t {
            switch (pattern) {
            case 0: return ((x >= 5 && x < 15) || (x >= 30 && x < 40) || (x >= 50 && x < 55)) && y > 10 && y < 20 ? 255 : 0;
            case 1: return 100;
            default: return (x % 2 == 1 && y % 2 == 1 && x < 63 && y < 63) ? 255 : 0;
            }
        });
        const Bitmap before = doc->Picture();
        TRixIPA reference = Copy(doc);
        int counted = -1;
        try {
            counted = reference.Labeling();
        } catch (const TooManyObjectsError&) {
        }
        QCOMPARE(counted, objects);
        Choose(doc, "Labeling1FD");
        if (objects >= 0) {
            QVERIFY(prompts->shown.empty());
            QVERIFY(doc->Picture() == reference.CreateBitmap());
            QCOMPARE(Status(), (QStringList{"p0", "Number of Object = " + T(objects), "p2"}));
            QVERIFY(UndoesTo(doc, before));
            return;
        }
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].text, std::string("Many Labels in this image"));
        QVERIFY(doc->Picture() == before);  // put back with Undo, and redrawn
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
        QVERIFY(!frame->Undo1->isEnabled());  // that Undo used the copy
    }

    // A degenerate image: the operation's MathError reaches the error report; the picture
    // and the status bar stay as they were.
    void degenerateImagesReachTheErrorReport_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("gray");  // -1: a document whose picture could not be read
        QTest::addColumn<QString>("error");
        QTest::newRow("stretch of one level") << "AutoContrastStretch1H" << 90 << kFloatingPointDivisionByZero;
        QTest::newRow("mean of no pixels") << "Mean1S" << -1 << kInvalidFloatingPointOperation;
        QTest::newRow("equalization of no pixels") << "Equalization1H" << -1 << kFloatingPointDivisionByZero;
    }
    void degenerateImagesReachTheErrorReport() {
        QFETCH(QString, action);
        QFETCH(int, gray);
        QFETCH(QString, error);
        TMDIChild* doc = nullptr;
        if (gray >= 0) {
            doc = OpenPlane("flat.pgm", 32, 32, [gray](int, int) { return static_cast<std::uint8_t>(gray); });
        } else {
            const std::string broken = dir->file("broken.pgm");
            quillfen::test::WriteBytes(broken, std::string("P5\n4 4\n255\nxx"));
            doc = Open(broken);
            prompts->shown.clear();  // the reader's own warning
        }
        const Bitmap before = doc->Picture();
        doc->Action(action)->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Error);
        QCOMPARE(Q(prompts->shown[0].text), error);
        QVERIFY(doc->Picture() == before);
        QVERIFY(doc->FIpa->CreateBitmap() == before);
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
    }

    // A document whose file could not be read has an image without pixels: every command
    // either does nothing or is refused through the error report, never a crash.
    void everyCommandOnAnEmptyDocument() {
        const std::string broken = dir->file("broken.pgm");
        quillfen::test::WriteBytes(broken, std::string("P5\n4 4\n255\nxx"));
        TMDIChild* doc = Open(broken);
        QStringList names;
        for (const auto& [name, expected] : Commands()) names << name;
        names << "PTile1S" << "EndsInContrast1H" << "Labeling1FD" << "HoughTransform1E";
        for (const QString& name : names) {
            prompts->shown.clear();
            prompts->answers = {std::string("50"), std::string("5"), std::string("95")};
            if (name == "HoughTransform1E") QTimer::singleShot(0, hough, [this] { hough->btnOk->click(); });
            doc->Action(name)->trigger();
            QVERIFY2(doc->Picture().empty(), qPrintable(name));
            for (const auto& shown : prompts->shown) QVERIFY2(shown.kind == PromptKind::Error || shown.kind == PromptKind::Warning, qPrintable(name));
        }
    }

    void inertCommandsChangeNothing_data() {
        QTest::addColumn<QString>("action");
        for (const char* name : kInert) QTest::newRow(name) << QString::fromLatin1(name);
    }
    void inertCommandsChangeNothing() {
        QFETCH(QString, action);
        TMDIChild* doc = Open();
        Choose(doc, "Inverse1E");
        frame->ShowStatus(1, QStringLiteral("p1"));
        doc->FStatusText = QStringLiteral("scratch");
        const Bitmap picture = doc->Picture();
        const std::vector<std::uint8_t> image = doc->FIpa->GetImage();
        const std::vector<std::uint8_t> undo = doc->FIpa->GetUndoImage();
        doc->Action(action)->trigger();
        QVERIFY(doc->Picture() == picture);
        QVERIFY(doc->FIpa->GetImage() == image);
        QVERIFY(doc->FIpa->GetUndoImage() == undo);
        QVERIFY(doc->FIpa->GetUndoReady());
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
        QCOMPARE(doc->FStatusText, QStringLiteral("scratch"));
        QVERIFY(prompts->shown.empty());
        QVERIFY(prompts->captions.empty());
    }

    // Undo restores once: to the image before the last command, not the opened one.
    void undoShortcutAfterToolboxCommands() {
        TMDIChild* doc = Open();
        TRixIPA reference = Copy(doc);
        reference.EdgeSobel(1.0);
        const Bitmap afterSobel = reference.CreateBitmap();
        QVERIFY(!frame->Undo1->isEnabled());
        Choose(doc, "SobelOperator1G1E");
        Choose(doc, "Inverse1E");
        QVERIFY(frame->Undo1->isEnabled());  // the enabled state follows at once
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(doc->Picture() == afterSobel);
        QVERIFY(!frame->Undo1->isEnabled());
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);  // only one level
        QVERIFY(doc->Picture() == afterSobel);
    }
};

QTEST_MAIN(ToolboxCommandsTest)
#include "toolbox_commands_test.moc"
