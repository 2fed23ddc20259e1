// The robustness window: its rows and its three files are those of `quillfen-cli robustness`
// for the same inputs, a run can be cancelled with the rows so far kept, refused inputs start
// nothing, and a double-click on a row opens that cell's pictures as a document.
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QTabWidget>
#include <QLogValueAxis>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QAction>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QXYSeries>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"
#include "tests/ui/ui_cli.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/robustness_window.h"
#include "ui/ui_text.h"

using namespace quillfen;
using namespace quillfen::ui;
using quillfen::test::RecordingPrompts;
using quillfen::test::ScriptedFileDialogs;
using quillfen::test::TempDir;
using quillfen::test::Cli;

namespace {

namespace fs = std::filesystem;

const std::string kMark = quillfen::test::SamplePath("seal-128.pgm");  // its calibration lies beside it
// Cells of several kinds: the workspace's own, a seeded one, a geometric one, a combination.
const QString kCells = QStringLiteral("jpeg,gauss-noise:sigma=5,rotate:deg=2,scale:f=0.9+real-jpeg:q=75");

std::string ReadText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = quillfen::test::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// The report's header names the program and its command line; the rest must be the same.
std::string WithoutHeader(std::string html, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        if (const std::size_t at = html.find(line); at != std::string::npos) html.erase(at, line.size());
    return html;
}

}  // namespace

class RobustnessWindowTest : public quillfen::test::FrameTest<RecordingPrompts> {
    Q_OBJECT

private:

    TfrmRobustness* Window() {
        Actions().WindowRobustness1->trigger();
        return frame->Robustness();
    }
    // Two hosts in a folder of their own.
    QString HostFolder() {
        const fs::path folder = dir->file("hosts");
        fs::create_directory(folder);
        fs::copy_file(quillfen::test::SamplePath("camera-256.pgm"), folder / "camera.pgm");
        fs::copy_file(quillfen::test::SamplePath("hosts/coffee.pgm"), folder / "coffee.pgm");
        return QString::fromStdString(folder.string());
    }
    void Prepare(TfrmRobustness* w, const QString& seeds, const QString& cells) {
        w->rbFiles->setChecked(true);
        w->SetHostPaths({HostFolder()});
        w->edtMark->setText(QString::fromStdString(kMark));
        w->edtSeeds->setText(seeds);
        w->CheckWholeGrid(false);
        w->edtMoreAttacks->setText(cells);
        w->spnJobs->setValue(2);
    }

private slots:
    void init() {
        // Each test starts from the window's first opening: the inputs a test before chose are
        // remembered (the register box, the methods) and would change its runs.
        QSettings().remove(QStringLiteral("robustness"));
        MakeFrame();
        frame->show();
    }
    void cleanup() { QCOMPARE(CloseFrame(), 0); }

    // The window opens from the Window menu of the frame and of every document, with the
    // default grid chosen.
    void opensWithTheDefaultGrid() {
        QVERIFY(frame->FrameMenus()[2]->actions().contains(Actions().WindowRobustness1));
        TMDIChild* doc = frame->OpenImageFile(QString::fromStdString(quillfen::test::SamplePath("camera-256.pgm")));
        QVERIFY(doc->Menus().back()->actions().contains(Actions().WindowRobustness1));
        TfrmRobustness* w = Window();
        QVERIFY(w->isVisible());
        QVERIFY(w->ChosenCells() == DefaultAttackGrid());
        w->CheckGridCells({QStringLiteral("median:k=5"), QStringLiteral("none")});
        const std::vector<AttackCell> chosen = w->ChosenCells();
        QCOMPARE(chosen.size(), std::size_t{2});
        QCOMPARE(chosen[0].Name, std::string("none"));  // grid order, not the order named
        QCOMPARE(chosen[1].Name, std::string("median:k=5"));
    }

    // The rows and the CSV, JSON Lines and HTML files are the command line's for the same
    // hosts, mark, seeds and cells.
    void rowsAndFilesAreTheClis_data() {
        QTest::addColumn<bool>("registering");
        QTest::newRow("plain") << false;
        QTest::newRow("registered") << true;
    }
    void rowsAndFilesAreTheClis() {
        QFETCH(bool, registering);
        TfrmRobustness* w = Window();
        Prepare(w, QStringLiteral("3,8"), kCells);
        w->chkRegister->setChecked(registering);
        QSignalSpy finished(w, &TfrmRobustness::Finished);
        QVERIFY(w->Start());
        QVERIFY(w->Running());
        QVERIFY(!w->btnRun->isEnabled());
        w->Wait();
        QCOMPARE(finished.count(), 1);
        QVERIFY(!w->Running());
        QVERIFY(!w->WasCancelled());
        QCOMPARE(w->Rows().size(), std::size_t{2 * 2 * 4});
        QCOMPARE(w->tblRows->rowCount(), 16);
        QVERIFY(w->Rows()[0].Detected1e6.has_value());  // the calibration beside the mark was found
        QCOMPARE(w->Rows()[2].Registered.has_value(), registering);  // rotate:deg=2 is geometric
        // The schema's columns but the row identity, which the files carry.
        int shown = 0;
        for (const RowField& f : RowFields(registering)) shown += f.InTable ? 1 : 0;
        QCOMPARE(w->tblRows->columnCount(), shown);
        QCOMPARE(w->tblRows->horizontalHeaderItem(shown - 1)->text(), QStringLiteral("error"));

        std::vector<std::string> args(w->CommandWords().begin() + 1, w->CommandWords().end());
        const std::string jsonl = dir->file("cli.jsonl");
        const std::string csv = dir->file("cli.csv");
        const std::string html = dir->file("cli.html");
        args.insert(args.end(), {"--jsonl", jsonl, "--csv", csv, "--html", html});
        QCOMPARE(Cli(args).code, 0);
        QCOMPARE(w->ExportText(TfrmRobustness::Export::Jsonl), ReadText(jsonl));
        QCOMPARE(w->ExportText(TfrmRobustness::Export::Csv), ReadText(csv));
        // The table shows the rows in order, their measures rounded.
        QCOMPARE(w->tblRows->item(5, 2)->text(), QString::fromStdString(w->Rows()[5].Attack));
        int ncColumn = -1;
        for (int c = 0; c < w->tblRows->columnCount(); ++c)
            if (w->tblRows->horizontalHeaderItem(c)->text() == QStringLiteral("nc")) ncColumn = c;
        QVERIFY(ncColumn >= 0);
        QCOMPARE(w->tblRows->item(5, ncColumn)->text(), QString::fromStdString(FormatFixed(*w->Rows()[5].Nc, 4)));

        // Through the dialogs, each file gets its extension.
        dialogs->Answer(QString::fromStdString(dir->file("window")));
        w->btnExportJsonl->click();
        QCOMPARE(ReadText(dir->file("window.jsonl")), ReadText(jsonl));
        dialogs->Answer(QString::fromStdString(dir->file("window")));
        w->btnExportCsv->click();
        QCOMPARE(ReadText(dir->file("window.csv")), ReadText(csv));
        dialogs->Answer(QString::fromStdString(dir->file("window")));
        w->btnExportHtml->click();
        const std::string cliCommand = w->CommandText() + " --jsonl " + jsonl + " --csv " + csv + " --html " + html;
        const std::string windowHtml = WithoutHeader(ReadText(dir->file("window.html")),
                                                     {w->CommandText(), "quillfen (desktop)"});
        QVERIFY(windowHtml.find("quillfen-cli robustness") == std::string::npos);
        const std::string cliHtml = WithoutHeader(ReadText(html), {cliCommand, "quillfen-cli 0.1.0"});
        QCOMPARE(windowHtml, cliHtml);
        QVERIFY(prompts->shown.empty());
        // Never onto a file the run read, by whatever name it is chosen.
        const std::string host = dir->file("hosts/camera.pgm");
        const std::string hostBytes = ReadText(host);
        dialogs->Answer(QString::fromStdString(dir->file("hosts/../hosts/camera.pgm")));
        w->btnExportCsv->click();
        QCOMPARE(ReadText(host), hostBytes);
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QVERIFY2(QString::fromStdString(prompts->shown[0].text).contains(QStringLiteral("is the host picture of the run")),
                 prompts->shown[0].text.c_str());
        prompts->shown.clear();

        // The charts: one family per kind of cell, NC's median at each strength.
        QCOMPARE(w->cmbFamily->count(), static_cast<int>(ReportFamilies(ParseAttackCells(S(kCells))).size()));
        QChart* chart = w->chartView->chart();
        QVERIFY(chart != nullptr);
        QVERIFY(!chart->series().isEmpty());
        QStringList names;
        for (QAbstractSeries* series : chart->series()) names << series->name();
        QVERIFY(names.contains(QStringLiteral("NC (median)")));
        QVERIFY(names.contains(QStringLiteral("detected at 1e-6")));
        // Each rate's Wilson interval as a bar from its low to its high bound around the rate.
        const auto* tpr6 = [&]() -> QXYSeries* {
            for (QAbstractSeries* series : chart->series())
                if (series->name() == QStringLiteral("detected at 1e-6")) return qobject_cast<QXYSeries*>(series);
            return nullptr;
        }();
        QVERIFY(tpr6 != nullptr && tpr6->count() > 0);
        int bars = 0;
        for (QAbstractSeries* series : chart->series()) {
            if (series->objectName() != QStringLiteral("rateBar")) continue;
            ++bars;
            const auto* bar = qobject_cast<QXYSeries*>(series);
            QCOMPARE(bar->count(), 6);
            QVERIFY(bar->at(2).y() <= bar->at(3).y());
        }
        // Two thresholds' rates per cell (and the registered one where it is read).
        QVERIFY2(bars >= 2 * tpr6->count(), qPrintable(QString::number(bars)));
        // The chooser lists the families under their groups.
        QVERIFY2(w->cmbFamily->itemText(0).startsWith(QStringLiteral("degradation: ")), qPrintable(w->cmbFamily->itemText(0)));
        // A registering run draws the rotated cell's second reading too.
        bool registeredCurve = false;
        for (int i = 0; i < w->cmbFamily->count(); ++i) {
            w->cmbFamily->setCurrentIndex(i);
            for (QAbstractSeries* series : w->chartView->chart()->series())
                registeredCurve = registeredCurve || series->name() == QStringLiteral("NC, registered");
        }
        QCOMPARE(registeredCurve, registering);
        // Each family's ROC curve beside its chart, its AUC the report's.
        RobustnessReport report;
        report.Rows = w->Rows();
        report.Cells = ParseAttackCells(S(kCells));
        const std::vector<ReportFamily> families = ReportFamilies(report.Cells);
        w->cmbFamily->setCurrentIndex(0);
        const FamilyRoc roc = RocOfFamily(report, families[0]);
        QVERIFY(!w->rocView->chart()->series().isEmpty());
        QVERIFY2(w->rocView->chart()->title().endsWith(QString::fromStdString("AUC " + FormatFixed(roc.Curve.Auc, 3))),
                 qPrintable(w->rocView->chart()->title()));
        QVERIFY2(w->lblRoc->text().contains(QStringLiteral("at 1e-6")), qPrintable(w->lblRoc->text()));
        // The false-positive axis is logarithmic down to 1e-6, so that the thresholds' points stand apart.
        const QList<QAbstractAxis*> across = w->rocView->chart()->axes(Qt::Horizontal);
        QCOMPARE(across.size(), 1);
        const auto* logAxis = qobject_cast<QLogValueAxis*>(across.first());
        QVERIFY(logAxis != nullptr);
        QVERIFY(logAxis->min() <= 1e-6 && logAxis->max() == 1.0);
        // For looking at the window as a person sees it: its charts, and its ROC.
        if (const QByteArray png = qgetenv("QF_ROBUSTNESS_WINDOW_CHARTS_PNG"); !png.isEmpty()) {
            for (QTabWidget* tabs : w->findChildren<QTabWidget*>())
                for (int i = 0; i < tabs->count(); ++i)
                    if (tabs->widget(i)->isAncestorOf(w->chartView)) tabs->setCurrentIndex(i);
            w->resize(1400, 900);
            QApplication::processEvents();
            w->grab().save(QString::fromLocal8Bit(png));
        }
        if (const QByteArray png = qgetenv("QF_ROBUSTNESS_WINDOW_PNG"); !png.isEmpty())
        {
            for (QTabWidget* tabs : w->findChildren<QTabWidget*>())
                for (int i = 0; i < tabs->count(); ++i)
                    if (tabs->widget(i)->isAncestorOf(w->rocView)) tabs->setCurrentIndex(i);
            w->resize(1400, 900);
            QApplication::processEvents();
            w->grab().save(QString::fromLocal8Bit(png));
        }

        // However long the command line, the window fits a 1280-pixel screen: the command
        // scrolls in its field, the state wraps.
        QCOMPARE(w->edtCommand->text(), QString::fromStdString(w->CommandText()));
        QVERIFY(w->edtCommand->isReadOnly());
        QVERIFY2(w->minimumSizeHint().width() <= 1280, qPrintable(QString::number(w->minimumSizeHint().width())));
    }

    // Cancel stops the run; the rows delivered stay, each the row of the whole run.
    void cancelKeepsTheRowsSoFar() {
        TfrmRobustness* w = Window();
        Prepare(w, QStringLiteral("1..40"), QString());
        w->CheckWholeGrid(true);
        w->spnJobs->setValue(1);
        QVERIFY(w->Start());
        QVERIFY(w->btnCancel->isEnabled());
        w->btnCancel->click();
        w->Wait();
        QVERIFY(!w->Running());
        QVERIFY(w->WasCancelled());
        const std::size_t total = 2 * 40 * DefaultAttackGrid().size();
        QVERIFY(w->Rows().size() < total);
        QCOMPARE(static_cast<std::size_t>(w->tblRows->rowCount()), w->Rows().size());
        QVERIFY(w->lblState->text().startsWith(QStringLiteral("Cancelled after")));
        QVERIFY(w->btnRun->isEnabled());
        // A new run after the cancel starts afresh.
        w->CheckWholeGrid(false);
        w->edtMoreAttacks->setText(QStringLiteral("none"));
        w->edtSeeds->setText(QStringLiteral("5"));
        QVERIFY(w->Start());
        w->Wait();
        QCOMPARE(w->Rows().size(), std::size_t{2});
        QVERIFY(!w->WasCancelled());
    }

    // The inputs of the last run are offered again in the next session.
    void inputsOfTheLastRunComeBack() {
        TfrmRobustness* w = Window();
        Prepare(w, QStringLiteral("4..6"), QStringLiteral("none"));
        const QStringList hosts = w->HostPaths();
        QVERIFY(w->Start());
        w->Wait();
        QCOMPARE(CloseFrame(), 0);
        MakeFrame();
        frame->show();
        TfrmRobustness* again = Window();
        QCOMPARE(again->HostPaths(), hosts);
        QCOMPARE(again->edtMark->text(), QString::fromStdString(kMark));
        QCOMPARE(again->edtSeeds->text(), QStringLiteral("4..6"));
        QCOMPARE(again->edtCalibration->text(), QString());
    }

    // A double-click on a row opens its attacked picture as a document, with the watermark
    // and the mark extracted from it in the panels and its NC in the Results list.
    void doubleClickOpensTheRowsPictures() {
        TMDIChild* host = frame->OpenImageFile(QString::fromStdString(quillfen::test::SamplePath("camera-256.pgm")));
        TfrmRobustness* w = Window();
        w->rbDocument->setChecked(true);
        w->edtMark->setText(QString::fromStdString(kMark));
        w->edtSeeds->setText(QStringLiteral("11"));
        w->CheckWholeGrid(false);
        w->edtMoreAttacks->setText(QStringLiteral("none,rotate:deg=5"));
        QVERIFY(w->Start());
        w->Wait();
        QCOMPARE(w->Rows().size(), std::size_t{2});
        QCOMPARE(w->Rows()[1].Host, std::string("camera-256.pgm"));

        SweepPlan plan;
        plan.Hosts.push_back({"camera-256.pgm", [] { return LoadPictureFile(quillfen::test::SamplePath("camera-256.pgm")).bitmap; }});
        plan.Mark = LoadPictureFile(kMark).bitmap;
        plan.Seeds = {11};
        plan.Cells = ParseAttackCells("none,rotate:deg=5");
        const RowPictures expected = ComputeRowPictures(plan, 1);

        const int before = frame->MDIChildCount();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->tblRows->scrollToItem(w->tblRows->item(1, 0));
        const QRect cell = w->tblRows->visualItemRect(w->tblRows->item(1, 0));
        // A double-click as the item views see it: a press first, then the double-click.
        QTest::mousePress(w->tblRows->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(w->tblRows->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(frame->MDIChildCount(), before + 1);
        TMDIChild* doc = frame->ActiveDocument();
        QVERIFY(doc != host);
        QVERIFY(doc->Picture() == expected.Attacked);
        QVERIFY(doc->Model().ExtractedView() == expected.Extracted);
        QVERIFY(frame->ExtractedPanel()->Picture() == expected.Extracted);
        QCOMPARE(frame->EmbeddedPanel()->Picture().width(), 128);
        QVERIFY(doc->FileName().contains(QStringLiteral("rotate:deg=5")));
        QCOMPARE(doc->Model().Results().front().report.Line(), "NC =" + FormatFixed(*w->Rows()[1].Nc, 5));
        QVERIFY(prompts->shown.empty());
    }

    // Inputs that cannot make a run are refused with the reason; nothing starts.
    void refusedInputsStartNothing_data() {
        QTest::addColumn<QString>("seeds");
        QTest::addColumn<QString>("cells");
        QTest::addColumn<QString>("mark");
        QTest::addColumn<QString>("reason");
        const QString mark = QString::fromStdString(kMark);
        QTest::newRow("seeds") << "3..1" << "none" << mark << "Seeds: the range '3..1' goes down";
        QTest::newRow("cells") << "1" << "median:k=4" << mark << "More cells: ";
        QTest::newRow("no cell") << "1" << "" << mark << "no attack";
        QTest::newRow("no mark") << "1" << "none" << "" << "Choose the watermark picture";
    }
    void refusedInputsStartNothing() {
        QFETCH(QString, seeds);
        QFETCH(QString, cells);
        QFETCH(QString, mark);
        QFETCH(QString, reason);
        TfrmRobustness* w = Window();
        Prepare(w, seeds, cells);
        w->edtMark->setText(mark);
        QVERIFY(!w->Start());
        QVERIFY(!w->Running());
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QVERIFY2(QString::fromStdString(prompts->shown[0].text).startsWith(reason), prompts->shown[0].text.c_str());
        // Without a document to take the host from.
        prompts->shown.clear();
        w->rbDocument->setChecked(true);
        QVERIFY(!w->Start());
        QVERIFY(QString::fromStdString(prompts->shown[0].text).startsWith(QStringLiteral("There is no active document")));
    }

    // Methods chosen in the window, with a target PSNR: the rows carry the method fields, the
    // chart draws one detection line and one ROC curve per method and the report compares them.
    void methodsAreCompared() {
        TfrmRobustness* w = Window();
        Prepare(w, QStringLiteral("3"), QStringLiteral("none,real-jpeg:q=70"));
        w->edtMethods->setText(QStringLiteral("qim:bits=16 polarity"));
        // Within the polarity method's reach on both hosts (its own PSNR: 34.5 and 36.0 dB).
        w->edtTargetPsnr->setText(QStringLiteral("34"));
        QVERIFY(w->Start());
        w->Wait();
        QCOMPARE(w->Rows().size(), std::size_t{8});
        QCOMPARE(QString::fromStdString(w->Rows()[0].Identity.Method), QStringLiteral("qim:bits=16"));
        QVERIFY(w->Rows()[0].Strength.has_value());
        QVERIFY(std::fabs(w->Rows()[0].PsnrEmbed - 34) <= 0.1);
        for (const auto& row : w->Rows()) QVERIFY2(!row.Failed(), row.Error.c_str());
        QStringList columns;
        for (int c = 0; c < w->tblRows->columnCount(); ++c) columns << w->tblRows->horizontalHeaderItem(c)->text();
        QVERIFY(columns.contains(QStringLiteral("bit_accuracy")));
        QVERIFY(!columns.contains(QStringLiteral("message_ok")));  // no method decodes a message
        // The no-attack family: each method's rate with its Wilson bar (out of the legend), and
        // the payload method's bit accuracy.
        w->cmbFamily->setCurrentIndex(0);
        QStringList named;
        int bars = 0;
        for (QAbstractSeries* series : w->chartView->chart()->series()) {
            if (series->objectName() != QStringLiteral("rateBar")) {
                named << series->name();
                continue;
            }
            ++bars;
            for (QLegendMarker* marker : w->chartView->chart()->legend()->markers(series)) QVERIFY(!marker->isVisible());
        }
        QCOMPARE(named, QStringList({QStringLiteral("qim:bits=16"), QStringLiteral("qim:bits=16: bit accuracy"),
                                     QStringLiteral("polarity")}));
        QCOMPARE(bars, 2);
        // The ROC tab has a curve for each method, not the first one's alone.
        QVERIFY2(w->lblRoc->text().startsWith(QStringLiteral("qim:bits=16: AUC")) &&
                     w->lblRoc->text().contains(QStringLiteral("\npolarity: AUC")),
                 qPrintable(w->lblRoc->text()));
        QVERIFY(w->ExportText(TfrmRobustness::Export::Html).find("family &times; method") != std::string::npos);
        // A payload method's row opens as a document too: its attacked picture, no extracted mark.
        TMDIChild* doc = w->OpenRow(0);
        QVERIFY(doc != nullptr);
        QCOMPARE(doc->Model().Picture().width(), 256);
        // A target the window cannot read starts nothing.
        w->edtTargetPsnr->setText(QStringLiteral("loud"));
        QVERIFY(!w->Start());
        QVERIFY(QString::fromStdString(prompts->shown.back().text).startsWith(QStringLiteral("Target PSNR: 'loud'")));
    }

    // The command shown gives the rows shown: an unchanged document is read from its file; a
    // changed one is written as it is into a file the command names (and the window says so),
    // and the rows, the CSV and the command's CSV name that file.
    void theShownCommandGivesTheRowsShown() {
        const std::string host = dir->file("y.pgm");
        fs::copy_file(quillfen::test::SamplePath("camera-256.pgm"), host);
        TMDIChild* doc = frame->OpenImageFile(QString::fromStdString(host));
        TfrmRobustness* w = Window();
        w->SetUnsavedFolder(QString::fromStdString(dir->file("unsaved")));
        w->rbDocument->setChecked(true);
        w->edtMark->setText(QString::fromStdString(kMark));
        w->edtSeeds->setText(QStringLiteral("3"));
        w->CheckWholeGrid(false);
        w->edtMoreAttacks->setText(QStringLiteral("real-jpeg:q=50"));
        const auto runAndCompare = [&](const std::string& csv) {
            QVERIFY(w->Start());
            w->Wait();
            std::vector<std::string> args(w->CommandWords().begin() + 1, w->CommandWords().end());
            args.insert(args.end(), {"--csv", csv});
            QCOMPARE(Cli(args).code, 0);
            QCOMPARE(w->ExportText(TfrmRobustness::Export::Csv), ReadText(csv));
        };
        runAndCompare(dir->file("unchanged.csv"));
        QCOMPARE(w->CommandWords()[2], host);
        QCOMPARE(w->Rows()[0].Host, std::string("y.pgm"));
        QVERIFY(w->HostFileWritten().isEmpty());
        QVERIFY(w->lblHostFile->isHidden());
        w->btnCopyCommand->click();
        QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(w->CommandText()));
        const std::string unchangedDigest = w->Rows()[0].Identity.HostDigest;

        // Inverted and not saved: the window runs on the inverted picture, and so does the
        // command it shows.
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        QVERIFY(doc->Modified());
        runAndCompare(dir->file("changed.csv"));
        const QString written = w->HostFileWritten();
        QVERIFY(written.startsWith(QString::fromStdString(dir->file("unsaved/y-unsaved-"))));
        QVERIFY(written.endsWith(QStringLiteral(".png")));
        QCOMPARE(QString::fromStdString(w->CommandWords()[2]), written);
        QCOMPARE(QString::fromStdString(w->Rows()[0].Host), QFileInfo(written).fileName());
        QVERIFY(w->Rows()[0].Identity.HostDigest != unchangedDigest);
        QVERIFY(LoadPictureFile(FilePath(written)).bitmap == doc->Model().Picture());
        QVERIFY(!w->lblHostFile->isHidden());
        QVERIFY(w->lblHostFile->text().contains(written));
        QVERIFY(ReadText(dir->file("changed.csv")).find(QFileInfo(written).fileName().toStdString()) != std::string::npos);
        // The same picture again: the same file; the host file is never overwritten by an export.
        QVERIFY(w->Start());
        w->Wait();
        QCOMPARE(w->HostFileWritten(), written);
        dialogs->Answer(written);
        w->btnExportCsv->click();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QVERIFY(LoadPictureFile(FilePath(written)).bitmap == doc->Model().Picture());
    }

    // The choices are offered again at the next opening, run or not; the export dialogs open
    // over the window, which stays in front.
    void choicesAreKeptAndDialogsStayInFront() {
        TfrmRobustness* w = Window();
        Prepare(w, QStringLiteral("2"), QStringLiteral("median:k=3"));
        w->CheckGridCells({QStringLiteral("real-jpeg:q=50"), QStringLiteral("none")});
        w->edtMethods->setText(QStringLiteral("polarity qim"));
        w->edtTargetPsnr->setText(QStringLiteral("40"));
        w->chkRegister->setChecked(true);
        w->close();  // closed without a run
        QCOMPARE(CloseFrame(), 0);
        MakeFrame();
        frame->show();
        TfrmRobustness* again = Window();
        QVERIFY(again->rbFiles->isChecked());
        QCOMPARE(again->edtMethods->text(), QStringLiteral("polarity qim"));
        QCOMPARE(again->edtTargetPsnr->text(), QStringLiteral("40"));
        QCOMPARE(again->edtMoreAttacks->text(), QStringLiteral("median:k=3"));
        QVERIFY(again->chkRegister->isChecked());
        QCOMPARE(again->spnJobs->value(), 2);
        QStringList chosen;
        for (const AttackCell& cell : again->ChosenCells()) chosen << QString::fromStdString(cell.Name);
        QCOMPARE(chosen, (QStringList{"none", "real-jpeg:q=50", "median:k=3"}));

        again->SetHostPaths({HostFolder()});  // the first test folder has gone
        again->chkRegister->setChecked(false);
        again->edtMethods->clear();
        again->edtTargetPsnr->clear();
        QVERIFY(again->Start());
        again->Wait();
        dialogs->Cancel();
        again->btnExportHtml->click();
        QCOMPARE(dialogs->parents.back(), static_cast<QWidget*>(again));
    }

    // A row of a run that compares methods opens with its method in its name; a payload
    // method's row shows no watermark picture, which it never embedded. Rows of one name get
    // names of their own.
    void rowsOfOtherMethodsSayTheirMethod() {
        TfrmRobustness* w = Window();
        Prepare(w, QStringLiteral("3"), QStringLiteral("none"));
        w->edtMethods->setText(QStringLiteral("polarity spread-spectrum:bits=32"));
        QVERIFY(w->Start());
        w->Wait();
        QCOMPARE(w->Rows().size(), std::size_t{4});
        TMDIChild* polarity = w->OpenRow(0);
        QCOMPARE(polarity->Title(), QStringLiteral("camera.pgm - polarity - seed 3 - none"));
        QCOMPARE(frame->EmbeddedPanel()->Picture().width(), 128);
        TMDIChild* spread = w->OpenRow(1);
        QCOMPARE(spread->Title(), QStringLiteral("camera.pgm - spread-spectrum:bits=32 - seed 3 - none"));
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
        QVERIFY(frame->ExtractedPanel()->IsEmpty());
        QCOMPARE(spread->Model().Results().front().source, std::string("Robustness: none (spread-spectrum:bits=32)"));
        QCOMPARE(w->OpenRow(1)->Title(), QStringLiteral("camera.pgm - spread-spectrum:bits=32 - seed 3 - none (2)"));
    }

    // A method under a code gets the message_ok column when its first row comes, placed as the
    // exported files place it; the rows of a method without a code leave it empty.
    void codedRowsSayWhetherTheMessageWasRead() {
        TfrmRobustness* w = Window();
        Prepare(w, QStringLiteral("3"), QStringLiteral("none,gauss-noise:sigma=4"));
        w->edtMethods->setText(QStringLiteral("polarity spread-spectrum:ecc=3"));
        QVERIFY(w->Start());
        w->Wait();
        QCOMPARE(w->Rows().size(), std::size_t{8});
        QStringList columns;
        for (int c = 0; c < w->tblRows->columnCount(); ++c) columns << w->tblRows->horizontalHeaderItem(c)->text();
        const int ok = static_cast<int>(columns.indexOf(QStringLiteral("message_ok")));
        QCOMPARE(ok, static_cast<int>(columns.indexOf(QStringLiteral("bit_accuracy"))) + 1);
        QCOMPARE(columns.size(), static_cast<qsizetype>(w->tblRows->columnCount()));
        for (int r = 0; r < w->tblRows->rowCount(); ++r) {
            const RobustnessRow& row = w->Rows()[static_cast<std::size_t>(r)];
            QCOMPARE(w->tblRows->item(r, ok)->text(),
                     row.MessageOk.has_value() ? QStringLiteral("true") : QString());
            QCOMPARE(row.MessageOk.has_value(), row.Identity.Method == "spread-spectrum:ecc=3");
            // The columns after it still hold their own fields.
            QCOMPARE(w->tblRows->item(r, static_cast<int>(columns.indexOf(QStringLiteral("attack"))))->text(),
                     QString::fromStdString(row.Attack));
        }
        // A run after it without a code starts without the column.
        w->edtMethods->setText(QStringLiteral("polarity spread-spectrum"));
        QVERIFY(w->Start());
        w->Wait();
        for (int c = 0; c < w->tblRows->columnCount(); ++c)
            QVERIFY(w->tblRows->horizontalHeaderItem(c)->text() != QStringLiteral("message_ok"));
    }

    // The document's picture is a host by the rule of every front end: at least 256 x 256.
    void aSmallDocumentIsNoHost() {
        frame->OpenImageFile(QString::fromStdString(kMark));
        TfrmRobustness* w = Window();
        w->rbDocument->setChecked(true);
        w->edtMark->setText(QString::fromStdString(kMark));
        w->edtSeeds->setText(QStringLiteral("1"));
        w->CheckWholeGrid(false);
        w->edtMoreAttacks->setText(QStringLiteral("none"));
        QVERIFY(!w->Start());
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QVERIFY2(QString::fromStdString(prompts->shown[0].text)
                     .startsWith(QStringLiteral("Hosts: the host picture 'seal-128.pgm' is 128 x 128; a host must be at least 256 x 256")),
                 prompts->shown[0].text.c_str());
    }
};

QTEST_MAIN(RobustnessWindowTest)
#include "robustness_window_test.moc"
