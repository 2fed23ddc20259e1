// What the window shows of a document's results: the Results dock, results that go stale,
// the status bar's panels (their widths, the picture's size, the gray value under the mouse),
// the run-all commands and the seed, zoom and the enlarged watermark panels.
#include <memory>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

#include "tests/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/results_dock.h"

using namespace quillfen;
using namespace quillfen::ui;
using quillfen::test::RecordingPrompts;
using quillfen::test::ScriptedFileDialogs;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const QString kHost = Q(quillfen::test::SamplePath("camera-256.pgm"));
const QString kMark = Q(quillfen::test::SamplePath("seal-128.pgm"));

// The dock's lines as "step|text".
QStringList Lines(const std::vector<ResultLine>& lines) {
    QStringList out;
    for (const ResultLine& line : lines) out << Q(line.source) + "|" + Q(line.report.Line());
    return out;
}

// What a document shows and holds after its commands: marks, pictures and results.
struct Seen {
    QStringList marks;
    Bitmap picture;
    Bitmap extracted;
    QStringList results;
    bool operator==(const Seen&) const = default;
};

}  // namespace

class ResultsTest : public quillfen::test::FrameTest<RecordingPrompts> {
    Q_OBJECT

private:

    TMDIChild* Loaded(std::optional<std::uint32_t> seed = 4242) {
        TMDIChild* doc = frame->OpenImageFile(kHost);
        doc->SetFixedSeed(seed);
        dialogs->Answer(kMark);
        doc->StepAction(Step::LoadWatermark)->trigger();
        return doc;
    }
    static void Run(TMDIChild* doc, const std::vector<Step>& steps) {
        for (const Step step : steps) doc->StepAction(step)->trigger();
    }
    static Seen SeenIn(const TMDIChild* doc) {
        return {quillfen::test::CheckedSteps(*doc), doc->Picture(), doc->Model().ExtractedView(),
                Lines(doc->Model().Results())};
    }
    void Activate(TMDIChild* doc) {
        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(doc->parentWidget()));
    }
    QLabel* Panel(int i) const { return frame->statusBar()->findChild<QLabel*>(QStringLiteral("stsComment%1").arg(i)); }

private slots:
    void init() {
        MakeFrame();
        // Room for the 512 x 512 host at 1:1 (a larger picture opens zoomed to fit).
        frame->resize(1000, 1100);
        frame->show();
    }
    void cleanup() {
        QCOMPARE(CloseFrame(), 0);
    }

    // The dock is there from the start and the Window menu toggles it.
    void resultsDockIsShownAndToggled() {
        QVERIFY(frame->ResultsList()->isVisible());
        QVERIFY(Actions().WindowResults1->isChecked());
        Actions().WindowResults1->trigger();
        QVERIFY(!frame->ResultsList()->isVisible());
        Actions().WindowResults1->trigger();
        QVERIFY(frame->ResultsList()->isVisible());
        QCOMPARE(frame->ResultsList()->Table()->columnCount(), 3);
    }

    // Every result of the document, in the order made, the seed included; the extraction
    // ends with its BER and its verdict.
    void resultsDockListsTheResultsInOrder() {
        TMDIChild* doc = Loaded();
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        Actions().RunWholeExperiment1->trigger();
        const QStringList lines = Lines(frame->ResultsList()->Lines());
        QVERIFY2(lines.size() == 8, qPrintable(lines.join(QLatin1Char('/'))));
        QCOMPARE(lines[0], QStringLiteral("Inverse|Inversed image"));
        QCOMPARE(lines[1], QStringLiteral("Get Wr|seed = 4242"));
        QVERIFY(lines[2].startsWith(QStringLiteral("Get Wr|Wr count =")));
        QVERIFY(lines[3].startsWith(QStringLiteral("Get Wa|Wa count =")));
        QVERIFY(lines[4].startsWith(QStringLiteral("Get PSNR,  Difference Between  X and X_hat|PSNR = ")));
        QVERIFY2(lines[5].startsWith(QStringLiteral("Get Normalized Correlation|NC =")), qPrintable(lines[5]));
        QVERIFY2(lines[6].startsWith(QStringLiteral("Get Normalized Correlation|BER = 0.")), qPrintable(lines[6]));
        QVERIFY2(lines[7].startsWith(QStringLiteral("Get Normalized Correlation|mark present: score ")),
                 qPrintable(lines[7]));
        QCOMPARE(frame->ResultsList()->Table()->rowCount(), 8);
        QCOMPARE(frame->ResultsList()->Table()->item(5, 1)->text(), QStringLiteral("Get Normalized Correlation"));
        QCOMPARE(frame->ResultsList()->Table()->item(5, 2)->text(), lines[5].section(QLatin1Char('|'), 1));
        QCOMPARE(frame->StatusText(2), lines[7].section(QLatin1Char('|'), 1));
    }

    // The CSV has a header, ISO times, and quotes exactly the fields that need it; the text
    // copy has one tab-separated line per result.
    void csvAndTextCopies_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("csvFields");  // step and text as the CSV writes them
        QTest::newRow("plain") << "Get Wr" << "Wr count =1234" << "Get Wr,Wr count =1234";
        QTest::newRow("comma") << "Get PSNR, X" << "PSNR = 31.5" << "\"Get PSNR, X\",PSNR = 31.5";
        QTest::newRow("quote") << "say \"hi\"" << "a\"b" << "\"say \"\"hi\"\"\",\"a\"\"b\"";
        QTest::newRow("line break") << "x" << "one\ntwo" << "x,\"one\ntwo\"";
    }
    void csvAndTextCopies() {
        QFETCH(QString, source);
        QFETCH(QString, text);
        QFETCH(QString, csvFields);
        const auto time = std::chrono::system_clock::time_point(std::chrono::seconds(1700000000));
        const std::vector<ResultLine> lines = {{1, time, source.toStdString(), Step::GetWr, 0, 1, {text.toStdString(), {}}}};
        const QString csv = ResultsCsv(lines);
        const QString stamp = QDateTime::fromSecsSinceEpoch(1700000000).toString(Qt::ISODate);
        QCOMPARE(csv, "time,step,text\r\n" + stamp + "," + csvFields + "\r\n");
        const QString copied = ResultsText(lines);
        QCOMPARE(copied.count(QLatin1Char('\n')), 1);
        QCOMPARE(copied.split(QLatin1Char('\t')).size(), 3);
        QVERIFY(copied.startsWith(QDateTime::fromSecsSinceEpoch(1700000000).toString(QStringLiteral("HH:mm:ss")) + "\t" + source));
    }

    // The dock's copy commands put the selected lines, or all of them, on the clipboard.
    void copyCommandsFillTheClipboard() {
        TMDIChild* doc = Loaded();
        Run(doc, {Step::GetWr, Step::GetWa});
        frame->ResultsList()->CopyCsv();
        QCOMPARE(QApplication::clipboard()->text(), ResultsCsv(doc->Model().Results()));
        frame->ResultsList()->Table()->selectRow(2);
        frame->ResultsList()->CopyText();
        QCOMPARE(QApplication::clipboard()->text(), ResultsText({doc->Model().Results()[2]}));
    }

    // A new attack drops what the last attack and its extraction found: NC, Diff and the
    // extracted mark; the embedding's results stay.
    void aNewAttackClearsTheStaleResults() {
        TMDIChild* doc = Loaded();
        Run(doc, TMDIChild::EmbeddingSteps());
        doc->StepAction(Step::Jpeg)->trigger();
        Run(doc, TMDIChild::ExtractionSteps());
        QVERIFY(frame->StatusText(1).startsWith(QStringLiteral("NC =")));
        QVERIFY(frame->StatusText(2).startsWith(QStringLiteral("mark present: score ")));
        QVERIFY(!frame->ExtractedPanel()->IsEmpty());
        const QString embeddingPsnr = Q(doc->Model().Results()[3].report.Line());

        doc->StepAction(Step::Blurring)->trigger();
        QCOMPARE(Lines(doc->Model().Results()).size(), 4);  // seed, Wr, Wa and PSNR
        QCOMPARE(frame->StatusText(1), embeddingPsnr);
        QCOMPARE(frame->StatusText(2), QStringLiteral("256 × 256"));
        QVERIFY(frame->ExtractedPanel()->IsEmpty());
        QVERIFY(!frame->EmbeddedPanel()->IsEmpty());
        QCOMPARE(frame->ResultsList()->Lines().size(), std::size_t{4});
    }

    // A new watermark (a new load) makes every step's result stale, the seed's too; the
    // toolbox's stay.
    void aNewWatermarkClearsEveryStepResult() {
        TMDIChild* doc = Loaded();
        doc->Action(QStringLiteral("Mean1S"))->trigger();
        Actions().RunWholeExperiment1->trigger();
        QCOMPARE(doc->Model().Results().size(), std::size_t{8});
        dialogs->Answer(kMark);
        doc->StepAction(Step::LoadWatermark)->trigger();
        QCOMPARE(Lines(doc->Model().Results()).size(), 1);
        QVERIFY(Lines(doc->Model().Results())[0].startsWith(QStringLiteral("Mean|")));
        QVERIFY(frame->ExtractedPanel()->IsEmpty());
        QVERIFY(frame->StatusText(1).startsWith(QStringLiteral("threshold value by Mean = ")));
    }

    // A step run again replaces what it found before, Get Wr its seed too: the list holds
    // the seed of the positions that hold, no other.
    void aStepRunAgainReplacesItsResults() {
        TMDIChild* doc = Loaded(std::nullopt);
        doc->StepAction(Step::GetWr)->trigger();
        doc->StepAction(Step::GetWr)->trigger();
        const QStringList lines = Lines(doc->Model().Results());
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("Get Wr|seed = %1").arg(doc->Model().GetExperiment().Seed()));
        QVERIFY(lines[1].startsWith(QStringLiteral("Get Wr|Wr count =")));
    }

    // The dock is told of each line as it comes and goes, and keeps the document's order: a
    // toolbox command done again goes back before the lines made after it was taken back, and
    // the table shows what the list holds.
    void theDockFollowsTheDocumentLineByLine() {
        TMDIChild* doc = Loaded();
        const auto same = [&] {
            const std::vector<ResultLine>& lines = frame->ResultsList()->Lines();
            QTableWidget* table = frame->ResultsList()->Table();
            if (Lines(lines) != Lines(doc->Model().Results()) || table->rowCount() != static_cast<int>(lines.size()))
                return false;
            for (int row = 0; row < table->rowCount(); ++row)
                if (table->item(row, 2)->text() != ResultText(lines[static_cast<std::size_t>(row)])) return false;
            return true;
        };
        doc->Action(QStringLiteral("Mean1S"))->trigger();
        QVERIFY(same());
        Actions().Undo1->trigger();
        QVERIFY(same());
        Run(doc, {Step::GetWr, Step::GetWa});
        QVERIFY(same());
        Actions().Redo1->trigger();
        QVERIFY(same());
        QVERIFY(Lines(doc->Model().Results())[0].startsWith(QStringLiteral("Mean|")));
        // Redo changed the picture: the embedding's lines went with it; Get Wr starts again.
        QCOMPARE(frame->ResultsList()->Lines().size(), std::size_t{1});
        doc->StepAction(Step::GetWr)->trigger();
        QVERIFY(same());
        QCOMPARE(frame->ResultsList()->Lines().size(), std::size_t{3});
    }

    // Each document shows its own panels, results and watermark panels; nothing of a closed
    // document stays on screen.
    void switchingDocumentsShowsTheirOwnResults() {
        TMDIChild* first = Loaded();
        Actions().RunWholeExperiment1->trigger();
        const QStringList firstPanels{frame->StatusText(0), frame->StatusText(1), frame->StatusText(2)};
        TMDIChild* second = frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.bmp")));
        QCOMPARE(frame->StatusText(0), TfrmMain::InitialStatus(0));
        QCOMPARE(frame->StatusText(1), TfrmMain::InitialStatus(1));
        QCOMPARE(frame->StatusText(2), QStringLiteral("128 × 128"));
        QVERIFY(frame->ResultsList()->Lines().empty());
        QVERIFY(frame->EmbeddedPanel()->IsEmpty() && frame->ExtractedPanel()->IsEmpty());
        second->Action(QStringLiteral("Inverse1E"))->trigger();
        QCOMPARE(frame->StatusText(1), QStringLiteral("Inversed image"));

        Activate(first);
        QCOMPARE((QStringList{frame->StatusText(0), frame->StatusText(1), frame->StatusText(2)}), firstPanels);
        QCOMPARE(frame->ResultsList()->Lines().size(), first->Model().Results().size());
        QVERIFY(!frame->EmbeddedPanel()->IsEmpty());
        Activate(second);
        QCOMPARE(frame->StatusText(1), QStringLiteral("Inversed image"));

        Actions().FileClose1->trigger();  // the second: answered Discard
        quillfen::test::ProcessDeferredDeletes();
        QCOMPARE(frame->ActiveDocument(), first);
        QCOMPARE(frame->StatusText(1), firstPanels[1]);
        Actions().FileClose1->trigger();
        quillfen::test::ProcessDeferredDeletes();
        for (int panel = 0; panel < 4; ++panel) QCOMPARE(frame->StatusText(panel), TfrmMain::InitialStatus(panel));
        QVERIFY(frame->ResultsList()->Lines().empty());
    }

    // A panel grows to show its text whole, however long.
    void statusPanelsWidenToTheirText() {
        frame->OpenImageFile(kHost);
        const QString text = QStringLiteral("Ends-In Contrast Stretch, Lower Threshold = 12 , Upper Threshold = 240");
        frame->resize(1400, 600);
        frame->ShowStatus(1, text);
        QApplication::processEvents();
        QVERIFY2(Panel(1)->width() >= Panel(1)->fontMetrics().horizontalAdvance(text),
                 qPrintable(QString::number(Panel(1)->width())));
        QCOMPARE(Panel(1)->text(), text);
    }

    // Panel 2 shows the picture's size (and zoom), panel 3 the gray value under the mouse, at
    // once after a command or a zoom under a mouse that does not move.
    void panelsShowSizeAndGrayValue() {
        TMDIChild* doc = frame->OpenImageFile(kHost);
        QCOMPARE(frame->StatusText(2), QStringLiteral("256 × 256"));
        PictureView* view = doc->View();
        QTest::mouseMove(view, QPoint(10, 20));
        QCOMPARE(frame->StatusText(3), QStringLiteral("(10, 20) = %1").arg(doc->Picture().blue(10, 20)));
        doc->SetZoom(2.0);
        QCOMPARE(frame->StatusText(2), QStringLiteral("256 × 256 (200%)"));
        QTest::mouseMove(view, QPoint(21, 41));
        QCOMPARE(frame->StatusText(3), QStringLiteral("(10, 20) = %1").arg(doc->Picture().blue(10, 20)));
        const int before = doc->Picture().blue(10, 20);
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        QCOMPARE(frame->StatusText(3), QStringLiteral("(10, 20) = %1").arg(255 - before));
        doc->SetZoom(1.0);
        QCOMPARE(frame->StatusText(3), QStringLiteral("(21, 41) = %1").arg(doc->Picture().blue(21, 41)));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view, &leave);
        QCOMPARE(frame->StatusText(3), TfrmMain::InitialStatus(3));
    }

    // Zoom in and out walk the steps, 1:1 and Fit set the zoom, and every picture pixel is
    // drawn as a sharp square of its own gray value.
    void zoomKeepsPixelsSharp() {
        TMDIChild* doc = frame->OpenImageFile(kMark);
        Actions().ZoomIn1->trigger();
        QCOMPARE(doc->Zoom(), 1.5);
        Actions().ZoomIn1->trigger();
        QCOMPARE(doc->Zoom(), 2.0);
        Actions().ZoomOut1->trigger();
        Actions().ZoomOut1->trigger();
        Actions().ZoomOut1->trigger();
        QCOMPARE(doc->Zoom(), 2.0 / 3);
        Actions().ZoomActual1->trigger();
        QCOMPARE(doc->Zoom(), 1.0);
        doc->parentWidget()->resize(600, 500);
        Actions().ZoomFit1->trigger();
        QVERIFY(doc->Zoom() > 2.0);
        QVERIFY(doc->View()->width() <= doc->findChild<QScrollArea*>()->width());

        doc->SetZoom(4.0);
        QCOMPARE(doc->View()->size(), QSize(512, 512));
        const QImage drawn = doc->View()->grab().toImage();
        for (const QPoint p : {QPoint(0, 0), QPoint(37, 90), QPoint(127, 127), QPoint(64, 3)}) {
            const int gray = doc->Picture().blue(p.x(), p.y());
            for (const QPoint corner : {QPoint(0, 0), QPoint(3, 0), QPoint(0, 3), QPoint(3, 3)}) {
                const QPoint at = p * 4 + corner;
                QCOMPARE(qBlue(drawn.pixel(at)), gray);
            }
        }
    }

    // A click on a watermark panel shows its picture four times as large, pixels kept sharp.
    void watermarkPanelsEnlargeOnClick() {
        Loaded();
        QTest::mouseClick(frame->EmbeddedPanel(), Qt::LeftButton, {}, QPoint(5, 5));
        auto* magnifier = frame->findChild<QLabel*>(QStringLiteral("magnifier"));
        QVERIFY(magnifier != nullptr);
        QVERIFY(magnifier->isVisible());
        const QImage shown = magnifier->pixmap().toImage();
        QCOMPARE(shown.size(), QSize(512, 512));
        for (const QPoint p : {QPoint(10, 10), QPoint(64, 70), QPoint(127, 0)})
            QCOMPARE(qBlue(shown.pixel(p * 4 + QPoint(3, 3))), static_cast<int>(frame->EmbeddedPanel()->Picture().blue(p.x(), p.y())));
        // A window of its own, never a popup holding the main window's input.
        QCOMPARE(magnifier->windowType(), Qt::Tool);
        QVERIFY(QApplication::activePopupWidget() == nullptr);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        // It closes on Esc (its own, or the frame's), and on a click.
        QTest::keyClick(magnifier, Qt::Key_Escape);
        QVERIFY(!magnifier->isVisible());
        QTest::mouseClick(frame->EmbeddedPanel(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(magnifier->isVisible());
        QTest::mouseClick(magnifier, Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(!magnifier->isVisible());
        QTest::mouseClick(frame->EmbeddedPanel(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(Actions().CancelWork1->isEnabled());
        Actions().CancelWork1->trigger();
        QVERIFY(!magnifier->isVisible());
        QTest::mouseClick(frame->ExtractedPanel(), Qt::LeftButton, {}, QPoint(5, 5));  // empty: nothing
        QVERIFY(!magnifier->isVisible());
    }

    // The run commands run the same steps as the menu items, with the same marks, pictures,
    // panels and results.
    void runCommandsMatchTheMenuItems_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("embedding") << "RunEmbedding1";
        QTest::newRow("whole experiment") << "RunWholeExperiment1";
        QTest::newRow("extraction after an attack") << "RunExtraction1";
    }
    void runCommandsMatchTheMenuItems() {
        QFETCH(QString, command);
        std::vector<Step> steps = TMDIChild::EmbeddingSteps();
        if (command != "RunEmbedding1") {
            steps.push_back(Step::NoAttack);
            for (const Step step : TMDIChild::ExtractionSteps()) steps.push_back(step);
        }
        TMDIChild* byMenus = Loaded();
        Run(byMenus, steps);
        const Seen menus = SeenIn(byMenus);

        TMDIChild* byCommand = Loaded();
        QAction* action = frame->findChild<QAction*>(command);
        if (command == "RunExtraction1") {
            Run(byCommand, TMDIChild::EmbeddingSteps());
            byCommand->StepAction(Step::NoAttack)->trigger();
        }
        action->trigger();
        QVERIFY(prompts->shown.empty());
        const Seen run = SeenIn(byCommand);
        QCOMPARE(run.marks, menus.marks);
        QCOMPARE(run.results, menus.results);
        QVERIFY(run.picture == menus.picture);
        QVERIFY(run.extracted == menus.extracted);
        // The last result on its panel: PSNR after the embedding, the verdict after NC.
        QCOMPARE(frame->StatusText(command == "RunEmbedding1" ? 1 : 2), run.results.back().section(QLatin1Char('|'), 1));
    }

    // Run Whole Experiment attacks with the attack checked last, or with No Attack.
    void wholeExperimentKeepsTheChosenAttack() {
        TMDIChild* doc = Loaded();
        Run(doc, TMDIChild::EmbeddingSteps());
        doc->StepAction(Step::CropZeroQuarter)->trigger();
        Actions().RunWholeExperiment1->trigger();
        QVERIFY(doc->StepAction(Step::CropZeroQuarter)->isChecked());
        QVERIFY(!doc->StepAction(Step::NoAttack)->isChecked());
        QVERIFY(doc->StepAction(Step::GetNC)->isChecked());
        QVERIFY(doc->Model().GetExperiment().Workspace().X_wave() != doc->Model().GetExperiment().Workspace().X_hat());
    }

    // The run commands stop at the first step that may not run yet, with its message.
    void runCommandsRefuseLikeTheirFirstStep_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("message");
        QTest::newRow("embedding without a watermark") << "RunEmbedding1" << false
                                                       << "워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요";
        QTest::newRow("whole without a watermark") << "RunWholeExperiment1" << false
                                                   << "워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요";
        QTest::newRow("extraction without an attack") << "RunExtraction1" << true
                                                      << "먼저 X_hat을 X_wave로 복사한 후 수행하세요";
    }
    void runCommandsRefuseLikeTheirFirstStep() {
        QFETCH(QString, command);
        QFETCH(bool, loaded);
        QFETCH(QString, message);
        TMDIChild* doc = loaded ? Loaded() : frame->OpenImageFile(kHost);
        const QStringList marks = quillfen::test::CheckedSteps(*doc);
        frame->findChild<QAction*>(command)->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(Q(prompts->shown[0].text), message);
        QCOMPARE(quillfen::test::CheckedSteps(*doc), marks);
        QVERIFY(doc->Model().Results().empty());
    }

    // Set Seed fixes the seed of every Get Wr until it is changed or cleared, and the Results
    // list shows it: the same seed gives the same scattering as the command line's --seed. A
    // refused entry asks again with the reason, the text kept as typed.
    void setSeedKeepsTheSeed_data() {
        QTest::addColumn<QString>("entered");
        QTest::addColumn<qlonglong>("seed");  // -1: refused, -2: the clock
        QTest::newRow("seed") << "1234" << 1234LL;
        QTest::newRow("blanks around") << " 99 " << 99LL;
        QTest::newRow("largest") << "4294967295" << 4294967295LL;
        QTest::newRow("zero") << "0" << 0LL;
        QTest::newRow("empty: the clock") << "" << -2LL;
        QTest::newRow("too large") << "4294967296" << -1LL;
        QTest::newRow("negative") << "-1" << -1LL;
        QTest::newRow("not a number") << "abc" << -1LL;
        QTest::newRow("fraction") << "1.5" << -1LL;
    }
    void setSeedKeepsTheSeed() {
        QFETCH(QString, entered);
        QFETCH(qlonglong, seed);
        TMDIChild* doc = Loaded(std::nullopt);
        prompts->answers.push_back(entered.toStdString());
        Actions().SetSeed1->trigger();
        QCOMPARE(prompts->captions.front(), std::string("Set Seed"));
        if (seed == -1) {
            // Asked again (then cancelled), with why and with the text as typed.
            QCOMPARE(prompts->captions.size(), std::size_t{2});
            QVERIFY(Q(prompts->inputPrompts[1])
                        .startsWith(QStringLiteral("'%1' is not a seed (expected a whole number 0..4294967295).")
                                        .arg(entered.trimmed())));
            QCOMPARE(Q(prompts->initials[1]), entered);
            QVERIFY(prompts->shown.empty());
            QVERIFY(!doc->Model().FixedSeed());
            return;
        }
        QVERIFY(prompts->shown.empty());
        doc->StepAction(Step::GetWr)->trigger();
        if (seed == -2) {
            QVERIFY(!doc->Model().FixedSeed());
            return;
        }
        QCOMPARE(static_cast<qlonglong>(doc->Model().GetExperiment().Seed()), seed);
        QCOMPARE(Lines(frame->ResultsList()->Lines())[0], QStringLiteral("Get Wr|seed = %1").arg(seed));
        // Kept: the next Get Wr takes it again, and the menu shows it.
        QCOMPARE(static_cast<qlonglong>(*doc->Model().FixedSeed()), seed);
        QVERIFY(Actions().SetSeed1->text().contains(QString::number(seed)));
        doc->StepAction(Step::GetWr)->trigger();
        QCOMPARE(static_cast<qlonglong>(doc->Model().GetExperiment().Seed()), seed);
        // The same seed fixed for good gives the same scattering.
        TMDIChild* fixed = Loaded(static_cast<std::uint32_t>(seed));
        fixed->StepAction(Step::GetWr)->trigger();
        QVERIFY(fixed->Model().GetExperiment().Workspace().Wr() == doc->Model().GetExperiment().Workspace().Wr());
    }
};

QTEST_MAIN(ResultsTest)
#include "results_test.moc"
