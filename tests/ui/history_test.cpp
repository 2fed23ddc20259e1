// A document's history: undo and redo over many toolbox commands, the memory budget, what
// refused and cancelled commands leave, and the unsaved-changes question on closing a
// document and on Exit.
#include <limits>
#include <memory>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "quillfen/io/pgm.h"
#include "tests/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/results_dock.h"

using namespace quillfen;
using namespace quillfen::ui;
using quillfen::test::RecordingPrompts;
using quillfen::test::ScriptedFileDialogs;
using quillfen::test::TempDir;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class HistoryTest : public quillfen::test::FrameTest<RecordingPrompts> {
    Q_OBJECT

private:

    // A PGM document of `width` x `height` in the scratch folder.
    TMDIChild* OpenRamp(const std::string& name = "ramp.pgm", int width = 40, int height = 30) {
        const std::string path = dir->file(name);
        TRixPGM().SaveToFile(path, quillfen::test::Ramp(width, height));
        return frame->OpenImageFile(Q(path));
    }
    static void Choose(TMDIChild* doc, const char* action) { doc->Action(QString::fromLatin1(action))->trigger(); }
    // The document itself, writable: for a small memory budget.
    static Document& Writable(TMDIChild* doc) { return const_cast<Document&>(doc->Model()); }
    bool Closed(QPointer<TMDIChild>& watch) {
        quillfen::test::ProcessDeferredDeletes();
        return watch.isNull();
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() {
        MakeFrame();
        frame->SetBackgroundWork(std::numeric_limits<double>::infinity());
        frame->show();
    }
    void cleanup() {
        QCOMPARE(CloseFrame(), 0);
    }

    // Every one of many commands can be taken back, in reverse order, and done again.
    void undoAndRedoWalkTheWholeHistory() {
        TMDIChild* doc = OpenRamp();
        std::vector<Bitmap> seen{doc->Picture()};
        // Alternating commands, so that every step changes the picture.
        for (int i = 0; i < 25; ++i) {
            Choose(doc, i % 2 == 0 ? "Inverse1E" : "Mean1NR");
            seen.push_back(doc->Picture());
        }
        QCOMPARE(doc->Model().UndoLevels(), 25);
        for (int i = 24; i >= 0; --i) {
            QVERIFY(Actions().Undo1->isEnabled());
            Actions().Undo1->trigger();
            QVERIFY2(doc->Picture() == seen[static_cast<std::size_t>(i)], qPrintable(QString::number(i)));
            QVERIFY(doc->Model().Image().CreateBitmap() == doc->Picture());
        }
        QVERIFY(!Actions().Undo1->isEnabled());
        for (int i = 1; i <= 25; ++i) {
            Actions().Redo1->trigger();
            QVERIFY(doc->Picture() == seen[static_cast<std::size_t>(i)]);
        }
        QVERIFY(!Actions().Redo1->isEnabled());
        // A new command after an undo drops what could have been redone.
        Actions().Undo1->trigger();
        Choose(doc, "Inverse1E");
        QVERIFY(!Actions().Redo1->isEnabled());
    }

    // Undo and Redo say what they would take back.
    void undoNamesTheCommand() {
        TMDIChild* doc = OpenRamp();
        Choose(doc, "Inverse1E");
        Choose(doc, "MedianFilter1NR");
        QCOMPARE(Actions().Undo1->statusTip(), QStringLiteral("Undo MedianFilter"));
        QCOMPARE(Actions().Undo1->text(), QStringLiteral("Undo MedianFilter"));
        Actions().Undo1->trigger();
        QCOMPARE(Actions().Undo1->statusTip(), QStringLiteral("Undo Inverse"));
        QCOMPARE(Actions().Redo1->statusTip(), QStringLiteral("Redo MedianFilter"));
        QCOMPARE(Actions().Redo1->text(), QStringLiteral("Redo MedianFilter"));
        QCOMPARE(frame->StatusText(0), QStringLiteral("Undone: MedianFilter"));
        Actions().Undo1->trigger();
        QCOMPARE(Actions().Undo1->text(), QStringLiteral("Undo"));  // nothing left to take back
    }

    // The oldest levels go first once the pictures pass the memory budget; the last command
    // can always be taken back.
    void historyStaysWithinItsBudget_data() {
        QTest::addColumn<int>("budgetPictures");  // how many 40 x 30 pictures the budget holds
        QTest::addColumn<int>("levels");
        QTest::newRow("room for 5") << 5 << 5;
        QTest::newRow("room for 1") << 1 << 1;
        QTest::newRow("room for none") << 0 << 1;
        QTest::newRow("room for 200") << 200 << Document::kHistoryLevels;
    }
    void historyStaysWithinItsBudget() {
        QFETCH(int, budgetPictures);
        QFETCH(int, levels);
        // Noise, which the history cannot pack smaller: each level costs its whole picture.
        const std::string path = dir->file("noise.pgm");
        Bitmap noise(40, 30);
        std::uint32_t state = 12345;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                state = state * 1664525u + 1013904223u;
                noise.setGray(x, y, static_cast<std::uint8_t>(state >> 24));
            }
        TRixPGM().SaveToFile(path, noise);
        TMDIChild* doc = frame->OpenImageFile(Q(path));
        Writable(doc).SetHistoryBudget(static_cast<std::size_t>(budgetPictures) * 40 * 30);
        for (int i = 0; i < Document::kHistoryLevels + 6; ++i) Choose(doc, "Inverse1E");
        QCOMPARE(doc->Model().UndoLevels(), levels);
        QVERIFY(doc->Model().HistoryBytes() <= std::max<std::size_t>(1, static_cast<std::size_t>(budgetPictures)) * 1200);
        QVERIFY(Document::kHistoryLevels >= 20);
    }
    // A command that is refused or cancelled leaves the history as it was: the earlier
    // command can still be taken back.
    void refusedCommandsSpendNothing_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("answers");  // input box answers; "<cancel>" cancels
        QTest::newRow("labeling of too many objects") << "Labeling1FD" << QStringList{};
        QTest::newRow("p-tile refused") << "PTile1S" << QStringList{"101"};
        QTest::newRow("p-tile cancelled") << "PTile1S" << QStringList{"<cancel>"};
        QTest::newRow("ends-in cancelled") << "EndsInContrast1H" << QStringList{"5", "<cancel>"};
    }
    void refusedCommandsSpendNothing() {
        QFETCH(QString, action);
        QFETCH(QStringList, answers);
        // A checkerboard of single white pixels: far more objects than labels.
        const std::string path = dir->file("dots.pgm");
        Bitmap dots(64, 64, 0);
        for (int y = 1; y < 64; y += 2)
            for (int x = 1; x < 64; x += 2) dots.setGray(x, y, 255);
        TRixPGM().SaveToFile(path, dots);
        TMDIChild* doc = frame->OpenImageFile(Q(path));
        Choose(doc, "Inverse1E");
        const Bitmap afterFirst = doc->Picture();
        Choose(doc, "Inverse1E");
        const Bitmap afterSecond = doc->Picture();
        for (const QString& a : answers)
            prompts->answers.push_back(a == "<cancel>" ? std::nullopt : std::optional<std::string>(a.toStdString()));
        doc->Action(action)->trigger();
        QVERIFY(doc->Picture() == afterSecond);
        QCOMPARE(doc->Model().UndoLevels(), 2);
        Actions().Undo1->trigger();
        QVERIFY(doc->Picture() == afterFirst);
    }

    // Undo takes the command's result line with it, and the status bar stops showing it.
    void undoTakesTheReportAlong() {
        TMDIChild* doc = OpenRamp();
        Choose(doc, "IterativeSelection1S");
        const QString first = frame->StatusText(1);
        QVERIFY(first.startsWith(QStringLiteral("Threshold value by Iterative Section = ")));
        Choose(doc, "Mean1S");
        QVERIFY(frame->StatusText(1).startsWith(QStringLiteral("threshold value by Mean = ")));
        QCOMPARE(doc->Model().Results().size(), std::size_t{2});
        Actions().Undo1->trigger();
        QCOMPARE(doc->Model().Results().size(), std::size_t{1});
        QCOMPARE(frame->StatusText(1), first);
        QCOMPARE(frame->ResultsList()->Lines().size(), std::size_t{1});
        Actions().Undo1->trigger();
        QCOMPARE(frame->StatusText(1), TfrmMain::InitialStatus(1));
        QVERIFY(frame->ResultsList()->Lines().empty());
        Actions().Redo1->trigger();
        Actions().Redo1->trigger();
        QVERIFY(frame->StatusText(1).startsWith(QStringLiteral("threshold value by Mean = ")));
        QCOMPARE(frame->ResultsList()->Lines().size(), std::size_t{2});
    }

    // What the document counts as a change: toolbox results and step views, not a refused
    // command; taking every change back, or saving, makes it unchanged again.
    void modifiedFollowsThePicture() {
        TMDIChild* doc = OpenRamp();
        QVERIFY(!doc->Modified());
        doc->StepAction(Step::GetWr)->trigger();  // refused
        QVERIFY(!doc->Modified());
        Choose(doc, "Inverse1E");
        QVERIFY(doc->Modified());
        Actions().Undo1->trigger();
        QVERIFY(!doc->Modified());
        Actions().Redo1->trigger();
        QVERIFY(doc->Modified());
        Actions().FileSave1->trigger();
        QVERIFY(!doc->Modified());
        Actions().Undo1->trigger();  // now the saved file holds the inverse
        QVERIFY(doc->Modified());
    }

    // Closing a changed document asks first: Save writes it and closes, Discard closes,
    // Cancel keeps it open; an unchanged document closes without a question.
    void closingAChangedDocumentAsks_data() {
        QTest::addColumn<int>("answer");  // SaveAnswer
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("written");
        QTest::newRow("save") << static_cast<int>(SaveAnswer::Save) << true << true;
        QTest::newRow("discard") << static_cast<int>(SaveAnswer::Discard) << true << false;
        QTest::newRow("cancel") << static_cast<int>(SaveAnswer::Cancel) << false << false;
    }
    void closingAChangedDocumentAsks() {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, written);
        TMDIChild* unchanged = OpenRamp("other.pgm");
        QPointer<TMDIChild> watchUnchanged(unchanged);
        Actions().FileClose1->trigger();
        QVERIFY(Closed(watchUnchanged));
        QVERIFY(prompts->saveQuestions.empty());

        TMDIChild* doc = OpenRamp();
        Choose(doc, "Inverse1E");
        const Bitmap inverse = doc->Picture();
        QPointer<TMDIChild> watch(doc);
        prompts->saveAnswers = {static_cast<SaveAnswer>(answer)};
        Actions().FileClose1->trigger();
        QCOMPARE(prompts->saveQuestions,
                 std::vector<std::string>{"The picture of 'ramp.pgm' has changed. Save it before closing?"});
        QCOMPARE(Closed(watch), closes);
        Bitmap back;
        TRixPGM().LoadFromFile(dir->file("ramp.pgm"), back);
        QCOMPARE(back == inverse, written);
        QCOMPARE(back == quillfen::test::Ramp(40, 30), !written);
    }

    // Save chosen for a document that has no file of its own asks for a name; cancelling
    // that dialog keeps the document open.
    void saveOnCloseWithoutAFileAsksForAName() {
        TMDIChild* doc = OpenRamp();
        Choose(doc, "Inverse1E");
        QFile::remove(Q(dir->file("ramp.pgm")));
        QPointer<TMDIChild> watch(doc);
        prompts->saveAnswers = {SaveAnswer::Save, SaveAnswer::Save};
        dialogs->Cancel();
        Actions().FileClose1->trigger();
        QVERIFY(!Closed(watch));
        dialogs->Answer(Q(dir->file("kept")), 4);
        Actions().FileClose1->trigger();
        QVERIFY(Closed(watch));
        QVERIFY(QFile::exists(Q(dir->file("kept.pgm"))));
    }

    // Exit asks about every changed document, and about a picture made in the program (a
    // robustness row) that was never saved; Cancel on any keeps the program and every
    // document open.
    void exitAsksAboutEveryChangedDocument() {
        TMDIChild* first = OpenRamp("first.pgm");
        Choose(first, "Inverse1E");
        OpenRamp("clean.pgm");
        TMDIChild* third = OpenRamp("third.pgm");
        Choose(third, "Inverse1E");
        TMDIChild* row = frame->OpenPicture(quillfen::test::Ramp(40, 30), QStringLiteral("camera.bmp - seed 5 - jpeg 50"));
        QVERIFY(row->isWindowModified());
        prompts->saveAnswers = {SaveAnswer::Discard, SaveAnswer::Discard, SaveAnswer::Cancel};
        Actions().FileExit1->trigger();
        QCOMPARE(prompts->saveQuestions.size(), std::size_t{3});
        QCOMPARE(prompts->saveQuestions.back(), std::string("The picture 'camera.bmp - seed 5 - jpeg 50' has not been saved "
                                                            "to a file. Save it before closing?"));
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->MDIChildCount(), 4);
        // Asked again, all discarded: the program closes without asking once more per window.
        prompts->saveQuestions.clear();
        prompts->saveAnswers = {SaveAnswer::Discard, SaveAnswer::Discard, SaveAnswer::Discard};
        Actions().FileExit1->trigger();
        QCOMPARE(prompts->saveQuestions.size(), std::size_t{3});
        QVERIFY(!frame->isVisible());
        for (TMDIChild* doc : frame->Documents()) doc->parentWidget()->close();
        QCOMPARE(prompts->saveQuestions.size(), std::size_t{3});
    }

    // Saving such a picture proposes its caption as the name, without the host's extension
    // inside, and afterwards it is a document like any other.
    void aPictureMadeInTheProgramIsSavedUnderItsCaption() {
        TMDIChild* row = frame->OpenPicture(quillfen::test::Ramp(40, 30), QStringLiteral("camera.bmp - seed 5 - jpeg 50"));
        dialogs->Answer(Q(dir->file("row")), 2);
        Actions().FileSave1->trigger();
        QCOMPARE(dialogs->asked.back().proposedName, QStringLiteral("camera - seed 5 - jpeg 50"));
        QCOMPARE(row->FileName(), Q(dir->file("row.png")));
        QVERIFY(!row->isWindowModified());
        QPointer<TMDIChild> watch(row);
        Actions().FileClose1->trigger();
        QVERIFY(Closed(watch));
        QVERIFY(prompts->saveQuestions.empty());
    }
};

QTEST_MAIN(HistoryTest)
#include "history_test.moc"
