// The popup menu's image-processing commands driven through their actions: every catalogue
// operation against quillfen-cli on the same pictures, the input boxes, the Hough parameter
// dialog, the histogram window, labeling's give-up path, degenerate images, Undo and the
// commands that do nothing.
#include <functional>
#include <limits>
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
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/pgm.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/toolbox/catalogue.h"
#include "tests/test_support.h"
#include "tests/ui/ui_cli.h"
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

QString T(int value) { return QString::number(value); }

// The popup menu as "Menu/Submenu/Entry" paths of its actions, by action name.
void MenuPaths(const QMenu* menu, const QString& path, std::map<QString, QString>& paths) {
    for (QAction* a : menu->actions()) {
        if (a->menu() != nullptr) {
            MenuPaths(a->menu(), path.isEmpty() ? a->text() : path + "/" + a->text(), paths);
        } else if (!a->objectName().isEmpty()) {
            paths[a->objectName()] = path + "/" + a->text();
        }
    }
}

const char* const kInert[] = {"Relaxation1S",     "Canny1e",           "Shen_Castan1e",
                              "Marr_Hildreth1e",  "Hilditch1T",        "Medial_AxisTransform1T",
                              "IterativeMorphological1T", "Stentiford_Holt_Zhang_Suen1T",
                              "Prewitt1TM1E",     "Hueckel1TM1E",      "Smoothing1NR"};

}  // namespace

class ToolboxCommandsTest : public quillfen::test::FrameTest<AskingPrompts> {
    Q_OBJECT

private:
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
    // Undo puts back `before`, and Redo can bring the result back.
    bool UndoesTo(TMDIChild* doc, const Bitmap& before) {
        if (!Actions().Undo1->isEnabled()) return false;
        Actions().Undo1->trigger();
        return doc->Picture() == before && doc->Model().Image().CreateBitmap() == before && Actions().Redo1->isEnabled();
    }

private slots:
    void init() {
        MakeFrame();
        histogram = new TfrmHistogram(frame.get());
        hough = new TfrmParamHough(*prompts, frame.get());
        frame->SetForms(nullptr, histogram, hough, nullptr);
        // Everything at once here; the background work has tests of its own.
        frame->SetBackgroundWork(std::numeric_limits<double>::infinity());
        frame->show();
    }
    void cleanup() {
        QLocale::setDefault(QLocale::c());
        QCOMPARE(CloseFrame(), 0);
    }

    // Every operation of the catalogue is on the popup menu, under its submenu and caption.
    void everyOperationIsOnThePopupMenu() {
        TMDIChild* doc = Open();
        std::map<QString, QString> paths;
        MenuPaths(doc->PopupMenu(), QString(), paths);
        for (const toolbox::Operation& op : toolbox::Operations()) {
            const QString action = QString::fromLatin1(op.action);
            QVERIFY2(paths.count(action) == 1, op.action);
            QCOMPARE(paths[action], QString::fromUtf8(op.menu) + "/" + QString::fromUtf8(op.caption));
        }
    }

    // The window and quillfen-cli give the same picture and the same report for every
    // operation on the same pictures, with the arguments' initial values; where the CLI
    // refuses, the window shows the same error and keeps the picture.
    void windowAndCliAgree_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("picture");
        for (const char* picture : {"camera", "two-level", "objects"})
            for (const toolbox::Operation& op : toolbox::Operations())
                QTest::newRow(qPrintable(QString::fromLatin1(op.action) + " " + picture))
                    << QString::fromLatin1(op.action) << QString::fromLatin1(picture);
    }
    void windowAndCliAgree() {
        QFETCH(QString, action);
        QFETCH(QString, picture);
        const toolbox::Operation& op = *toolbox::FindAction(action.toStdString());
        std::string input = quillfen::test::SamplePath("camera-256.pgm");
        if (picture == "two-level") {
            // Two levels: the fuzzy methods find no threshold; too narrow for a moving average.
            input = dir->file("two.pgm");
            quillfen::test::WriteBytes(input, std::string("P5\n4 2\n255\n\x00\x00\x00\x00\xff\xff\xff\xff", 19));
        } else if (picture == "objects") {
            input = dir->file("objects.pgm");
            Bitmap objects(40, 30, 0);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    if ((x < 6 && y < 5) || (x > 30 && y > 20) || (x == 20 && y % 7 != 0)) objects.setGray(x, y, 255);
            TRixPGM().SaveToFile(input, objects);
        }
        std::vector<std::string> args;
        if (op.group != nullptr) args.push_back(op.group);
        args.insert(args.end(), {op.command, input, dir->file("cli.pgm")});
        const quillfen::test::CliRun cli = quillfen::test::Cli(args);

        TMDIChild* doc = Open(input);
        const Bitmap before = doc->Picture();
        for (const toolbox::Argument& argument : op.arguments) prompts->answers.push_back(std::to_string(argument.initial));
        if (op.asks == toolbox::Asks::HoughDialog) QTimer::singleShot(0, hough, [this] { hough->btnOk->click(); });
        Choose(doc, qPrintable(action));

        if (cli.code != 0) {
            QCOMPARE(cli.code, 1);
            QCOMPARE(prompts->shown.size(), std::size_t{1});
            QCOMPARE(prompts->shown[0].kind, PromptKind::Error);
            const std::string said = prompts->shown[0].text;
            QVERIFY2(cli.err == "quillfen-cli: " + said + "\n" || cli.err == said + "\n", cli.err.c_str());
            QVERIFY(doc->Picture() == before);
            QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
            return;
        }
        QVERIFY(prompts->shown.empty());
        QVERIFY(doc->Picture() == LoadPictureFile(dir->file("cli.pgm")).bitmap);
        QStringList status{"p0", "p1", "p2"};
        if (!cli.out.empty()) {
            QVERIFY(!doc->Model().Results().empty());
            const ResultLine& line = doc->Model().Results().back();
            QCOMPARE(line.report.Line() + "\n", cli.out);
            status[line.panel] = Q(line.report.Line());
        } else {
            // Where the command line prints nothing, the window still says what was done.
            QCOMPARE(doc->Model().Results().size(), std::size_t{1});
            status[1] = Q(doc->Model().Results().back().report.Line());
            if (action == "Equalization1H") QCOMPARE(status[1], QStringLiteral("Histogram equalized"));
        }
        QCOMPARE(Status(), status);
        QVERIFY(doc->Model().GetExperiment().Workspace().X() == TWatermark().X());  // the experiment is not touched
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
        Choose(doc, "Inverse1E");  // a history that a refused entry must keep
        frame->ShowStatus(1, QStringLiteral("p1"));
        const Bitmap before = doc->Picture();
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
        QCOMPARE(doc->Model().UndoLevels(), 1);
        QCOMPARE(doc->Model().UndoName(), std::string("Inverse"));
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
            QVERIFY(!Actions().Undo1->isEnabled());
            QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
            return;
        }
        std::uint8_t low = 0, high = 0;
        reference.EndsInContrastStretch(low, high, static_cast<std::uint8_t>(lowPercent), static_cast<std::uint8_t>(highPercent));
        QVERIFY(doc->Picture() == reference.CreateBitmap());
        const QString report = "Ends-In Contrast Stretch, Lower Threshold = " + T(low) + " , Upper Threshold = " + T(high);
        QCOMPARE(Status(), (QStringList{"p0", report, "p2"}));
        QCOMPARE(Q(doc->Model().Reports().back().Line()), report);
        QVERIFY(UndoesTo(doc, before));
    }

    // The connected parameter dialog starts from the classic values; its values are used, and
    // the next run (of this program or a later one) starts from the values accepted last.
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
        QSettings().remove(QStringLiteral("toolbox/houghParameters"));
        // Two bright crossing lines on a dark ground.
        TMDIChild* doc = OpenPlane("lines.pgm", 96, 80, [](int x, int y) -> std::uint8_t {
            return (y == 40 || x == y + 5) ? 230 : 20;
        });
        const Bitmap before = doc->Picture();
        TRixIPA reference = Copy(doc);
        HoughParameters shown;
        QTimer::singleShot(0, hough, [&] {
            shown.rhoCount = hough->edtRadius->text().toInt();
            shown.thetaCount = hough->edtTheta->text().toInt();
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
            QVERIFY(!Actions().Undo1->isEnabled());
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
        QTimer::singleShot(0, hough, [&] {
            shown.thetaCount = hough->edtTheta->text().toInt();
            shown.houghThreshold = hough->edtHThresh->text().toInt();
            shown.lineBased = hough->rdoLine->isChecked();
            hough->btnCancel->click();
        });
        Choose(doc, "HoughTransform1E");
        QCOMPARE(shown, change ? (HoughParameters{300, 180, 10, 10, 30, true}) : (HoughParameters{300, 360, 10, 10, 200, false}));
    }

    void viewHistogramShowsTheDocumentsImage() {
        TMDIChild* doc = Open();
        Choose(doc, "Inverse1E");
        frame->ShowStatus(1, QStringLiteral("p1"));
        const Bitmap before = doc->Picture();
        bool sawDocument = false;
        QString pixels;
        QTimer::singleShot(0, histogram, [&] {
            sawDocument = histogram->isVisible() && histogram->isModal() && histogram->IPA == &doc->Model().Image();
            pixels = histogram->lblPixels->text();
            histogram->btnOK->click();
        });
        Choose(doc, "ViewHistogram1H");
        QVERIFY(sawDocument);
        QCOMPARE(pixels, QStringLiteral("65536"));
        QVERIFY(histogram->IPA != &doc->Model().Image());  // never left pointing at a document
        QVERIFY(doc->Picture() == before);
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
        QVERIFY(Actions().Undo1->isEnabled());  // the undo copy of the inversion is still there
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
        QVERIFY(doc->Picture() == before);  // the labeling gave up without a trace
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
        QVERIFY(!Actions().Undo1->isEnabled());  // no undo copy was taken
    }

    // A degenerate image: the operation's MathError reaches the error report; the picture
    // and the status bar stay as they were.
    void degenerateImagesReachTheErrorReport_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("gray");
        QTest::addColumn<QString>("error");
        QTest::newRow("stretch of one level") << "AutoContrastStretch1H" << 90 << kFloatingPointDivisionByZero;
        QTest::newRow("stretch of black") << "AutoContrastStretch1H" << 0 << kFloatingPointDivisionByZero;
    }
    void degenerateImagesReachTheErrorReport() {
        QFETCH(QString, action);
        QFETCH(int, gray);
        QFETCH(QString, error);
        TMDIChild* doc = OpenPlane("flat.pgm", 32, 32, [gray](int, int) { return static_cast<std::uint8_t>(gray); });
        const Bitmap before = doc->Picture();
        doc->Action(action)->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Error);
        QCOMPARE(Q(prompts->shown[0].text), error);
        QVERIFY(doc->Picture() == before);
        QVERIFY(doc->Model().Image().CreateBitmap() == before);
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
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
        const std::size_t reports = doc->Model().Reports().size();
        const Bitmap picture = doc->Picture();
        const std::vector<std::uint8_t> image = doc->Model().Image().GetImage();
        // Shown disabled, saying why; triggered anyway, it does nothing.
        QVERIFY(!doc->Action(action)->isEnabled());
        QCOMPARE(doc->Action(action)->toolTip(), QStringLiteral("Not available in this version"));
        doc->Action(action)->trigger();
        QVERIFY(doc->Picture() == picture);
        QVERIFY(doc->Model().Image().GetImage() == image);
        QCOMPARE(doc->Model().UndoLevels(), 1);
        QCOMPARE(Status(), (QStringList{"p0", "p1", "p2"}));
        QCOMPARE(doc->Model().Reports().size(), reports);
        QVERIFY(prompts->shown.empty());
        QVERIFY(prompts->captions.empty());
    }

    // Undo goes back one command at a time, Redo forward again.
    void undoShortcutAfterToolboxCommands() {
        TMDIChild* doc = Open();
        const Bitmap opened = doc->Picture();
        TRixIPA reference = Copy(doc);
        reference.EdgeSobel(1.0);
        const Bitmap afterSobel = reference.CreateBitmap();
        QVERIFY(!Actions().Undo1->isEnabled());
        Choose(doc, "SobelOperator1G1E");
        Choose(doc, "Inverse1E");
        QVERIFY(Actions().Undo1->isEnabled());  // the enabled state follows at once
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(doc->Picture() == afterSobel);
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(doc->Picture() == opened);
        QVERIFY(!Actions().Undo1->isEnabled());
        QVERIFY(!doc->Modified());  // back where it was opened
        QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier);
        QVERIFY(doc->Picture() == afterSobel);
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        reference.Inverse();
        QVERIFY(doc->Picture() == reference.CreateBitmap());
        QVERIFY(!Actions().Redo1->isEnabled());
    }
};

QTEST_MAIN(ToolboxCommandsTest)
#include "toolbox_commands_test.moc"
