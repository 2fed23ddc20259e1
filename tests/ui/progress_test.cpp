// Long toolbox work on a worker thread: the window stays responsive, shows progress, applies
// the same result as work done at once, and Esc or the Cancel button stops it with nothing
// changed. Closing a document or the program while it works stops it too.
#include <memory>

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "quillfen/io/pgm.h"
#include "quillfen/toolbox/catalogue.h"
#include "tests/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/background_job.h"
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

// A picture with edges everywhere, so that the Hough transform has votes to cast.
Bitmap Busy(int side) {
    Bitmap bitmap(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) bitmap.setGray(x, y, static_cast<std::uint8_t>(((x / 3 + y / 5) % 2) * 200 + (x * y) % 37));
    return bitmap;
}

}  // namespace

class ProgressTest : public quillfen::test::FrameTest<RecordingPrompts> {
    Q_OBJECT

private:
    TfrmParamHough* hough = nullptr;

    TMDIChild* OpenBusy(int side) {
        const std::string path = dir->file(QStringLiteral("busy%1.pgm").arg(side).toStdString());
        TRixPGM().SaveToFile(path, Busy(side));
        return frame->OpenImageFile(Q(path));
    }
    // Starts the Hough transform with the dialog's initial values, or with the most angle
    // cells for work that lasts (the dialog is answered as soon as it shows).
    void StartHough(TMDIChild* doc, bool long_ = false) {
        QTimer::singleShot(0, hough, [this, long_] {
            if (long_) hough->edtTheta->setText(QStringLiteral("3600"));
            hough->btnOk->click();
        });
        doc->Action(QStringLiteral("HoughTransform1E"))->trigger();
    }
    // Lets the event loop run until the document's work has ended (two minutes at most).
    static bool WaitUntilIdle(const TMDIChild* doc) {
        QElapsedTimer waited;
        waited.start();
        while (doc->Busy() && waited.elapsed() < 120000) QTest::qWait(10);
        return !doc->Busy();
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() {
        MakeFrame();
        hough = new TfrmParamHough(*prompts, frame.get());
        frame->SetForms(nullptr, nullptr, hough, nullptr);
        frame->SetBackgroundWork(0);  // every command on the worker
        frame->show();
    }
    void cleanup() {
        QCOMPARE(CloseFrame(), 0);
    }

    // Small work runs at once; the Hough transform of a large picture goes to the worker.
    void onlyLargeWorkGoesToTheWorker() {
        frame->SetBackgroundWork(32.0 * 1024 * 1024);
        TMDIChild* doc = OpenBusy(64);
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        QVERIFY(!doc->Busy());
        StartHough(doc);
        QVERIFY(!doc->Busy());  // 64 x 64 pixels in 180 angle cells
        QVERIFY(!frame->RunsInBackground(1024.0 * 1024));
        QVERIFY(frame->RunsInBackground(512.0 * 512 * 180));
    }

    // A large file is read on the worker: the busy bar shows meanwhile, its window opens once
    // it has been read, and one the readers refuse opens none but a warning; Esc cancels.
    void largeFilesAreReadOnTheWorker() {
        const std::string path = dir->file("large.pgm");
        TRixPGM().SaveToFile(path, Busy(1500));  // 2.25 MB
        const QString damaged = Q(dir->file("damaged.pgm"));
        QFile::copy(Q(path), damaged);
        QFile::resize(damaged, QFileInfo(damaged).size() - 100);  // its raster cut short
        for (const QString& name : {Q(path), damaged}) {
            frame->OpenImageFileLater(name);
            QCOMPARE(frame->PendingOpens(), 1);
            QVERIFY(frame->WorkProgress()->isVisible());
            QVERIFY(Actions().CancelWork1->isEnabled());
            QTRY_COMPARE_WITH_TIMEOUT(frame->PendingOpens(), 0, 60000);
            QVERIFY(!frame->WorkProgress()->isVisible());
        }
        QCOMPARE(frame->MDIChildCount(), 1);
        QVERIFY(frame->ActiveDocument()->Model().Picture() == Busy(1500));
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Warning);
        QVERIFY(QString::fromStdString(prompts->shown[0].text).contains(QStringLiteral("truncated")));
        frame->OpenImageFileLater(Q(path));
        QCOMPARE(frame->PendingOpens(), 1);
        QVERIFY(Actions().CancelWork1->isEnabled());
        Actions().CancelWork1->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(frame->PendingOpens(), 0, 60000);
        QCOMPARE(frame->MDIChildCount(), 1);
    }

    // The result of work on the worker is the result of the same work done at once, with
    // its report, its undo step and the progress shown meanwhile.
    void workOnTheWorkerGivesTheSameResult_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("hough") << "HoughTransform1E";
        QTest::newRow("threshold") << "IterativeSelection1S";
        QTest::newRow("labeling") << "Labeling1FD";
        QTest::newRow("thinning") << "Zhang_Suen1T";
        QTest::newRow("stretch of a flat picture (refused)") << "AutoContrastStretch1H";
    }
    void workOnTheWorkerGivesTheSameResult() {
        QFETCH(QString, action);
        TMDIChild* doc = nullptr;
        if (action == "AutoContrastStretch1H") {
            const std::string path = dir->file("flat.pgm");
            TRixPGM().SaveToFile(path, Bitmap(64, 64, 90));
            doc = frame->OpenImageFile(Q(path));
        } else {
            doc = OpenBusy(160);
        }
        const Bitmap before = doc->Picture();
        const toolbox::Operation& op = *toolbox::FindAction(action.toStdString());
        TRixIPA reference;
        reference.LoadFromBitmap(before);
        std::optional<Report> report;
        try {
            report = op.run(reference, toolbox::InitialValues(op));
        } catch (const Error&) {
        }
        if (action == "HoughTransform1E") {
            StartHough(doc);
        } else {
            doc->Action(action)->trigger();
        }
        QVERIFY(doc->Busy());
        QVERIFY(frame->WorkProgress()->isVisible());
        QVERIFY(frame->CancelWorkButton()->isVisible());
        QVERIFY(Actions().CancelWork1->isEnabled());
        QVERIFY(!Actions().Undo1->isEnabled());  // the document's commands wait
        QVERIFY(!doc->PopupMenu()->isEnabled());
        QVERIFY(WaitUntilIdle(doc));
        QVERIFY(!frame->WorkProgress()->isVisible());
        QVERIFY(!Actions().CancelWork1->isEnabled());
        if (report) {
            QVERIFY(doc->Picture() == reference.CreateBitmap());
            QCOMPARE(doc->Model().Results().back().report, *report);
            QVERIFY(Actions().Undo1->isEnabled());
            Actions().Undo1->trigger();  // a worker's too
            QVERIFY(WaitUntilIdle(doc));
            QVERIFY(doc->Picture() == before);
        } else {
            // Refused on the worker as it is at once: the error report, nothing changed.
            QCOMPARE(prompts->shown.size(), std::size_t{1});
            QCOMPARE(prompts->shown[0].kind, PromptKind::Error);
            QVERIFY(doc->Picture() == before);
            QVERIFY(!Actions().Undo1->isEnabled());
        }
        QVERIFY(doc->PopupMenu()->isEnabled());
    }

    // Esc, the Cancel button or Cancel from the code stop the work: nothing changes and the
    // history is as it was.
    void cancelledWorkChangesNothing_data() {
        QTest::addColumn<int>("how");  // 0 Esc, 1 the button, 2 CancelWork
        QTest::newRow("escape") << 0;
        QTest::newRow("button") << 1;
        QTest::newRow("call") << 2;
    }
    void cancelledWorkChangesNothing() {
        QFETCH(int, how);
        TMDIChild* doc = OpenBusy(1024);
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        QVERIFY(WaitUntilIdle(doc));
        const Bitmap before = doc->Picture();
        frame->ShowStatus(1, QStringLiteral("p1"));
        StartHough(doc, true);
        QVERIFY(doc->Busy());
        switch (how) {
        case 0:
            // The offscreen platform leaves the closed parameter dialog active; a window
            // manager gives the activation back to the frame.
            QApplication::setActiveWindow(frame.get());
            QVERIFY(QTest::qWaitForWindowActive(frame.get()));
            QTest::keyClick(frame.get(), Qt::Key_Escape);
            break;
        case 1: frame->CancelWorkButton()->click(); break;
        default: doc->CancelWork(); break;
        }
        QVERIFY(WaitUntilIdle(doc));
        QVERIFY(doc->Picture() == before);
        QCOMPARE(doc->Model().UndoLevels(), 1);
        QCOMPARE(frame->StatusText(0), QStringLiteral("Hough Transform cancelled."));
        QCOMPARE(frame->StatusText(1), QStringLiteral("p1"));
        QVERIFY(prompts->shown.empty());
        // The document works on as before.
        Actions().Undo1->trigger();
        QVERIFY(WaitUntilIdle(doc));
        QVERIFY(!(doc->Picture() == before));
    }

    // The window answers while the worker runs: the progress grows and other documents take
    // commands.
    void theWindowStaysResponsive() {
        TMDIChild* other = OpenBusy(32);
        TMDIChild* doc = OpenBusy(1024);
        StartHough(doc, true);
        QTRY_VERIFY_WITH_TIMEOUT(doc->Job() == nullptr || doc->Job()->Fraction() > 0, 60000);
        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(other->parentWidget()));
        // The other document is not busy: its commands run and the progress bar is its own.
        QVERIFY(!frame->WorkProgress()->isVisible());
        other->Action(QStringLiteral("Inverse1E"))->trigger();
        QVERIFY(WaitUntilIdle(other));
        QVERIFY(other->CanUndo());
        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(doc->parentWidget()));
        doc->CancelWork();
        QVERIFY(!doc->Busy());
    }

    // Closing a busy document stops its work first; so does Exit.
    void closingStopsTheWork_data() {
        QTest::addColumn<bool>("exit");
        QTest::newRow("close") << false;
        QTest::newRow("exit") << true;
    }
    void closingStopsTheWork() {
        QFETCH(bool, exit);
        TMDIChild* doc = OpenBusy(1024);
        StartHough(doc, true);
        QPointer<TMDIChild> watch(doc);
        if (exit) {
            Actions().FileExit1->trigger();
            QVERIFY(!frame->isVisible());
            QVERIFY(!doc->Busy());
        } else {
            Actions().FileClose1->trigger();
            quillfen::test::ProcessDeferredDeletes();
            QVERIFY(watch.isNull());
        }
        QVERIFY(prompts->saveQuestions.empty());  // nothing had changed
    }
};

QTEST_MAIN(ProgressTest)
#include "progress_test.moc"
