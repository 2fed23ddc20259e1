// The document window's watermark menus driven through their actions: a whole experiment
// with a fixed seed held against quillfen-cli, the refusals, the mark chains, the reports of
// identical images and the two save commands.
#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include <nlohmann/json.hpp>

#include "cli/cli_app.h"
#include "cli/experiment_report.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "tests/watermark/workspace_buffers.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"

using namespace quillfen;
using namespace quillfen::ui;
using quillfen::test::RecordingPrompts;
using quillfen::test::ScriptedFileDialogs;
using quillfen::test::TempDir;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const std::string kHost = quillfen::test::SamplePath("camera-512.bmp");
const std::string kMark = quillfen::test::SamplePath("seal-128.bmp");
constexpr std::uint32_t kSeed = 4242;

// One ShowStatus call as the command made it, with what the user saw at that moment.
struct StatusEvent {
    int panel;
    QString text;
    bool busy;      // the hourglass was showing
    bool markSet;   // the mark of the command under watch was already set
    Bitmap picture; // the document's picture
};

// What a message box saw when it was shown.
class WatchingPrompts : public RecordingPrompts {
public:
    void show(PromptKind kind, const std::string& text) override {
        RecordingPrompts::show(kind, text);
        busyAtShow.push_back(QApplication::overrideCursor() != nullptr &&
                             QApplication::overrideCursor()->shape() == Qt::WaitCursor);
    }
    std::vector<bool> busyAtShow;
};

// The JSON report of `quillfen-cli experiment` for the same inputs, as printed ("" when the
// run failed).
std::string CliExperiment(std::uint32_t seed) {
    std::vector<std::string> args = {"quillfen-cli", "experiment", kHost, kMark, "--seed", std::to_string(seed), "--json"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::ostringstream out;
    std::streambuf* saved = std::cout.rdbuf(out.rdbuf());
    const int code = cli::Run(static_cast<int>(argv.size()), argv.data());
    std::cout.rdbuf(saved);
    return code == 0 ? out.str() : std::string();
}

// A report number as the windows write it: "0.00000" with the user's decimal separator.
QString Fixed5(double value) { return Q(FormatFixed(value, 5)).replace(QLatin1Char('.'), QLocale().decimalPoint()); }

}  // namespace

class WatermarkCommandsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WatchingPrompts> prompts;
    std::unique_ptr<ScriptedFileDialogs> dialogs;
    std::unique_ptr<TfrmMain> frame;
    std::vector<StatusEvent> events;
    TMDIChild* watched = nullptr;
    QAction* watchedMark = nullptr;

    TMDIChild* OpenHost(const std::string& host = kHost) {
        watched = frame->OpenImageFile(Q(host));
        return watched;
    }
    // A document with the watermark loaded and the generator seeded.
    TMDIChild* Loaded(const std::string& mark = kMark) {
        TMDIChild* doc = OpenHost();
        doc->SetFixedSeed(kSeed);
        dialogs->Answer(Q(mark));
        doc->Action("actLoadW")->trigger();
        return doc;
    }
    // Runs the embedding chain up to and including `last`.
    void EmbedUpTo(TMDIChild* doc, QAction* last) {
        for (const Step step : Experiment::EmbeddingChain()) {
            doc->StepAction(step)->trigger();
            if (doc->StepAction(step) == last) return;
        }
    }
    // Triggers an action and returns the status reports it made.
    std::vector<StatusEvent> Choose(QAction* action) {
        events.clear();
        watchedMark = action;
        action->trigger();
        return events;
    }
    static QStringList Texts(const std::vector<StatusEvent>& list) {
        QStringList texts;
        for (const StatusEvent& e : list) texts << QStringLiteral("%1:%2").arg(e.panel).arg(e.text);
        return texts;
    }
    QStringList CheckedNames(TMDIChild* doc) { return quillfen::test::CheckedSteps(*doc); }

private slots:
    void init() {
        prompts = std::make_unique<WatchingPrompts>();
        dialogs = std::make_unique<ScriptedFileDialogs>();
        frame = std::make_unique<TfrmMain>(*prompts, *dialogs);
        frame->show();
        events.clear();
        connect(frame.get(), &TfrmMain::StatusShown, frame.get(), [this](int panel, const QString& text) {
            const QCursor* cursor = QApplication::overrideCursor();
            events.push_back({panel, text, cursor != nullptr && cursor->shape() == Qt::WaitCursor,
                              watchedMark != nullptr && watchedMark->isChecked(),
                              watched != nullptr ? watched->Picture() : Bitmap()});
        });
    }
    void cleanup() {
        watched = nullptr;
        watchedMark = nullptr;
        frame.reset();
        QLocale::setDefault(QLocale::c());
        quillfen::test::ProcessDeferredDeletes();
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }

    // The whole method from the menus, in a locale with a decimal comma, against the CLI.
    void wholeExperimentMatchesTheCli() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const std::string printed = CliExperiment(kSeed);
        QVERIFY(!printed.empty());
        const nlohmann::json cli = nlohmann::json::parse(printed);

        TMDIChild* doc = Loaded();
        QCOMPARE(frame->StatusText(0), QStringLiteral("Loaded watermark image."));
        QCOMPARE(CheckedNames(doc), QStringList{"actLoadW"});
        const QString wrCount = QStringLiteral("Wr count =") + QString::number(cli["wr_count"].get<int>());
        const QString waCount = QStringLiteral("Wa count =") + QString::number(cli["wa_count"].get<int>());
        const QString psnr = QStringLiteral("PSNR = ") + Fixed5(cli["psnr"].get<double>());

        enum Target { Document256, Document128, Panel };
        struct Row {
            QAction* action;
            QStringList reports;  // "panel:text" in the order written
            bool busy;
            Target target;
        };
        const Row embedding[] = {
            // The embedding's planes show in the document: the Extracted Watermark panel is the
            // extraction's.
            {doc->Action("actGetWr"), {"0:Get Wr", "0:Complete to get Wr", "1:" + wrCount}, true, Document128},
            {doc->Action("actGetWa"), {"0:Get Wa", "0:Complete to get Wa", "1:" + waCount}, true, Document128},
            {doc->Action("actGetY"), {"0:get Y by executing Foward-DCT to X.", "0:Successfully got Y by executing Foward-DCT to X..."}, true, Document256},
            {doc->Action("actGetYr"), {"0:Get Yr", "0:Successfully got Yr"}, true, Document128},
            {doc->Action("actGetP"), {"0:Get P", "0:Successfully got P"}, true, Document128},
            {doc->Action("actGetP_hat"), {"0:Get P_hat", "0:Successfully got P_hat"}, true, Document128},
            {doc->Action("actGetYr_hat"), {"0:Get Yr_hat", "0:Successfully got Yr_hat"}, true, Document128},
            {doc->Action("actGetY_hat"), {"0:Get Y_hat", "0:Successfully got Y_hat"}, true, Document256},
            {doc->Action("actGetX_hat"), {"0:Get X_hat", "0:Successfully got X_hat"}, true, Document256},
            {doc->Action("actGetPSNR_Diff"), {"0:Get PSNR & sum of Difference", "0:successfully got PSNR & sum of Difference", "1:" + psnr}, false, Document256},
        };
        QStringList marks{"actLoadW"};
        for (const Row& row : embedding) {
            const std::vector<StatusEvent> made = Choose(row.action);
            const char* name = qPrintable(row.action->objectName());
            QVERIFY2(prompts->shown.empty(), name);
            QCOMPARE(Texts(made), row.reports);
            for (std::size_t i = 0; i < made.size(); ++i) {
                QVERIFY2(made[i].busy == row.busy, name);
                // The start text comes before the mark, the end text and results after it.
                QVERIFY2(made[i].markSet == (i > 0), name);
            }
            QVERIFY2(QApplication::overrideCursor() == nullptr, name);
            marks << row.action->objectName();
            QCOMPARE(CheckedNames(doc), marks);
            switch (row.target) {
            case Panel: QVERIFY2(frame->ExtractedPanel()->Picture() == TWatermark::MakeBitmap128(doc->Model().GetExperiment().Workspace().Display128()), name); break;
            case Document128: QVERIFY2(doc->Picture() == TWatermark::MakeBitmap128(doc->Model().GetExperiment().Workspace().Display128()), name); break;
            case Document256: QVERIFY2(doc->Picture() == TWatermark::MakeBitmap256(doc->Model().GetExperiment().Workspace().Display256()), name); break;
            }
            if (row.action == doc->Action("actGetX_hat")) QVERIFY(doc->Picture() == TWatermark::MakeBitmap256(doc->Model().GetExperiment().Workspace().X_hat()));
            QVERIFY2(frame->ExtractedPanel()->IsEmpty(), name);
        }

        const Row extraction[] = {
            {doc->Action("actGetY_wave"), {"0:get Y_wave.", "0:successfully got Y_wave."}, true, Document256},
            {doc->Action("actGetYr_wave"), {"0:get Yr_wave.", "0:successfully got Yr_wave."}, true, Document128},
            {doc->Action("actGetP_wave"), {"0:get P_wave.", "0:successfully got P_wave."}, true, Document128},
            {doc->Action("actGetWa_wave"), {"0:get Wa_wave.", "0:successfully got Wa_wave."}, true, Panel},
            {doc->Action("actGetWr_wave"), {"0:get Wr_wave.", "0:successfully got Wr_wave."}, true, Panel},
            {doc->Action("actGetW_wave"), {"0:get W_wave.", "0:successfully got W_wave."}, true, Panel},
        };
        struct Attack {
            QAction* action;
            const char* cli;
            const char* end;
            bool busy;
        };
        const Attack attacks[] = {
            {doc->Action("actIPCopyXhToXw"), "none", "successfully copy X_hat to X_wave.", false},
            {doc->Action("actIPApplyJpeg"), "jpeg", "successfully Apply JPEG lossy compression.", true},
            {doc->Action("actIPApplyBlurring"), "blur", "successfully Apply Blurring operation.", true},
            {doc->Action("actIPApplyCroppingByZeroInQuarter"), "crop-zero-quarter", "successfully Apply Cropping with Zero In Quarter percentage.", false},
            {doc->Action("actIPApplyCroppingByImgInQuarter"), "crop-image-quarter", "successfully Apply Cropping with Image In Quarter percentage.", false},
            {doc->Action("actIPApplyCroppingByZeroInHalf"), "crop-zero-half", "successfully Apply Cropping with zero In Half percentage.", false},
            {doc->Action("actIpApplyCroppingByImgInHalf"), "crop-image-half", "successfully Apply Cropping with Image In Half percentage.", false},
        };
        const QStringList embedded = marks;
        for (const Attack& attack : attacks) {
            const char* name = attack.cli;
            const nlohmann::json& expected = cli["attacks"][attack.cli];
            const Bitmap before = doc->Picture();
            const std::vector<StatusEvent> made = Choose(attack.action);
            QStringList reports;
            if (QByteArray(name) == "jpeg") {
                reports << "1:PSNR = " + Fixed5(expected["psnr"].get<double>())
                        << "2:Diff = " + Fixed5(expected["diff"].get<double>());
                // Both results are on screen before X_wave is.
                QVERIFY(made[0].picture == before);
                QVERIFY(made[1].picture == before);
            }
            reports << QStringLiteral("0:") + attack.end;
            QCOMPARE(Texts(made), reports);
            for (const StatusEvent& e : made) QVERIFY2(e.busy == attack.busy, name);
            QVERIFY2(doc->Picture() == TWatermark::MakeBitmap256(doc->Model().GetExperiment().Workspace().X_wave()), name);
            // Exactly this attack's mark in its group, nothing of the extraction group.
            QCOMPARE(CheckedNames(doc), embedded + QStringList{attack.action->objectName()});

            for (const Row& row : extraction) {
                const std::vector<StatusEvent> step = Choose(row.action);
                QCOMPARE(Texts(step), row.reports);
                for (const StatusEvent& e : step) QVERIFY2(e.busy == row.busy, name);
            }
            QVERIFY2(frame->ExtractedPanel()->Picture() == TWatermark::MakeBitmap128(doc->Model().GetExperiment().Workspace().W_wave()), name);

            const std::vector<StatusEvent> nc = Choose(doc->Action("actGetNC"));
            // NC, then the verdict on its panel (the BER goes to the Results list only).
            QCOMPARE(Texts(nc).mid(0, 2), (QStringList{"0:get the normalized cross-correlation.",
                                                       "1:NC =" + Fixed5(expected["nc"].get<double>())}));
            QCOMPARE(Texts(nc).size(), 3);
            QVERIFY2(Texts(nc)[2].startsWith(QStringLiteral("2:mark present: score ")) ||
                         Texts(nc)[2].startsWith(QStringLiteral("2:no mark found: score ")),
                     qPrintable(Texts(nc)[2]));
            QVERIFY(!nc[0].markSet && nc[1].markSet);
            QVERIFY(!nc[1].busy);
            QCOMPARE(frame->StatusText(0), QStringLiteral("get the normalized cross-correlation."));
        }
        QVERIFY(prompts->shown.empty());

        // The document's results give the CLI's JSON, byte for byte.
        cli::ExperimentOutcome outcome;
        outcome.seed = doc->Model().GetExperiment().Seed();
        for (const StepResult& result : doc->Model().StepResults()) {
            const StepInfo& info = Experiment::Info(result.step);
            if (info.group == StepGroup::Embedding) outcome.embedding.push_back(result);
            if (info.kind == StepKind::Attack) outcome.attacks.push_back({result.step, result, {}});
            if (result.step == Step::GetNC) outcome.attacks.back().nc = result;
        }
        QCOMPARE(Q(cli::ExperimentJson(outcome) + "\n"), Q(printed));
    }

    // A fresh document refuses every command but the load, each with its own message, and
    // changes nothing else.
    void freshDocumentRefuses_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("message");
        const char* rows[][2] = {
            {"actGetWr", "워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요"},
            {"actGetWa", "먼저 Get Wr을 수행하세요"},
            {"actGetY", "먼저 Get Wa을 수행하세요"},
            {"actGetYr", "먼저 Get Y을 수행하세요"},
            {"actGetP", "먼저 Get Yr을 수행하세요"},
            {"actGetP_hat", "먼저 Get P을 수행하세요"},
            {"actGetYr_hat", "먼저 Get P_hat을 수행하세요"},
            {"actGetY_hat", "먼저 Get Yr_hat을 수행하세요"},
            {"actGetX_hat", "먼저 Get Y_hat을 수행하세요"},
            {"actGetPSNR_Diff", "먼저 Get X_hat을 수행하세요"},
            {"actSaveX_hat", "먼저 Get X_hat을 수행하세요"},
            {"actIPCopyXhToXw", "먼저 워터마킹을 완료하세요"},
            {"actIPApplyJpeg", "먼저 워터마킹을 완료하세요"},
            {"actIPApplyBlurring", "먼저 워터마킹을 완료하세요"},
            {"actIPApplyCroppingByZeroInQuarter", "먼저 워터마킹을 완료하세요"},
            {"actIPApplyCroppingByImgInQuarter", "먼저 워터마킹을 완료하세요"},
            {"actIPApplyCroppingByZeroInHalf", "먼저 워터마킹을 완료하세요"},
            {"actIpApplyCroppingByImgInHalf", "먼저 워터마킹을 완료하세요"},
            {"actGetY_wave", "먼저 X_hat을 X_wave로 복사한 후 수행하세요"},
            {"actGetYr_wave", "먼저 Get Y_wave를 수행하세요"},
            {"actGetP_wave", "먼저 Get Yr_wave를 수행하세요"},
            {"actGetWa_wave", "먼저 Get P_wave를 수행하세요"},
            {"actGetWr_wave", "먼저 Get Wa_wave를 수행하세요"},
            {"actGetW_wave", "먼저 Get Wr_wave를 수행하세요"},
            {"actGetNC", "먼저 Get W_wave를 수행하세요"},
            {"actSaveW_wave", "먼저 Get W_wave를 수행하세요"},
        };
        for (const auto& row : rows) QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromUtf8(row[1]);
    }
    void freshDocumentRefuses() {
        QFETCH(QString, action);
        QFETCH(QString, message);
        TMDIChild* doc = OpenHost();
        const Bitmap before = doc->Picture();
        const std::vector<StatusEvent> made = Choose(doc->Action(action));
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Plain);
        QCOMPARE(Q(prompts->shown[0].text), message);
        QVERIFY(made.empty());
        QVERIFY(CheckedNames(doc).isEmpty());
        QVERIFY(doc->Picture() == before);
        QVERIFY(frame->ExtractedPanel()->IsEmpty());
        QVERIFY(dialogs->asked.empty());  // the save commands open no dialog
    }

    // A broken host opens no document, so there is nothing to load a watermark into: the
    // panels' LoadFromFile refuses as without any document.
    void loadingWithoutAHostRefuses() {
        TempDir dir;
        const std::string bad = dir.file("broken.pgm");
        quillfen::test::WriteBytes(bad, std::string("P5\n4 4\n255\nxx"));
        QVERIFY(OpenHost(bad) == nullptr);
        prompts->shown.clear();
        dialogs->Answer(Q(kMark));
        frame->AllActions().pmuLoadFromFile->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].text, std::string("워터마킹 대상 이미지를 먼저 로딩하세요"));
        QVERIFY(dialogs->asked.empty());
        QVERIFY(events.empty());
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
    }

    void cancellingTheWatermarkDialog() {
        TMDIChild* doc = Loaded();
        EmbedUpTo(doc, doc->Action("actGetWa"));
        dialogs->Cancel();
        doc->Action("actLoadW")->trigger();
        QCOMPARE(frame->StatusText(0), QStringLiteral("Loaded watermark image."));
        QVERIFY(CheckedNames(doc).isEmpty());
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
        doc->Action("actGetWr")->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].text, std::string("워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요"));
    }

    // Every experiment starts from the document's picture: a second one with the same seed
    // after a new load of the watermark finds what the first found and the CLI finds, and the
    // host stays the picture at its full size.
    void aSecondExperimentStartsFromThePicture() {
        const nlohmann::json cli = nlohmann::json::parse(CliExperiment(kSeed));
        const QString nc = QStringLiteral("NC =") + Fixed5(cli["attacks"]["none"]["nc"].get<double>());
        TMDIChild* doc = Loaded();
        const Bitmap host = doc->Model().Picture();
        for (int run = 0; run < 2; ++run) {
            if (run == 1) {
                dialogs->Answer(Q(kMark));
                doc->Action("actLoadW")->trigger();
                QCOMPARE(doc->Picture().width(), 256);  // X, never the last view on white
            }
            frame->AllActions().RunWholeExperiment1->trigger();
            QCOMPARE(frame->StatusText(1), nc);
            QVERIFY(doc->Model().Host() == host);
            QVERIFY(doc->Model().Marked().Picture.width() == host.width());
        }
        QVERIFY(!doc->Modified());
        QVERIFY(prompts->shown.empty());
    }

    // Running an earlier step again leaves the later marks, and Get Wr counts the same.
    void getWrTwiceKeepsLaterMarks() {
        TMDIChild* doc = Loaded();
        EmbedUpTo(doc, doc->Action("actGetWr"));
        const QString first = frame->StatusText(1);
        QVERIFY(first.startsWith(QStringLiteral("Wr count =")));
        EmbedUpTo(doc, doc->Action("actGetY"));
        doc->SetFixedSeed(std::nullopt);  // the second run draws other positions
        const std::vector<StatusEvent> again = Choose(doc->Action("actGetWr"));
        QCOMPARE(again.back().text, first);
        QVERIFY(prompts->shown.empty());
        QCOMPARE(CheckedNames(doc), (QStringList{"actLoadW", "actGetWr", "actGetWa", "actGetY"}));
        doc->Action("actGetYr")->trigger();  // later commands still run on what is there
        QVERIFY(doc->Action("actGetYr")->isChecked());
    }

    void attackThenNoAttack() {
        TMDIChild* doc = Loaded();
        EmbedUpTo(doc, doc->Action("actGetX_hat"));
        doc->Action("actIPApplyBlurring")->trigger();
        doc->Action("actGetY_wave")->trigger();
        doc->Action("actGetYr_wave")->trigger();
        QVERIFY(doc->Action("actGetYr_wave")->isChecked());
        frame->ShowStatus(1, QStringLiteral("one"));
        frame->ShowStatus(2, QStringLiteral("two"));
        doc->Action("actIPCopyXhToXw")->trigger();
        QStringList attacks;
        for (const Step attack : Experiment::Attacks()) {
            if (doc->StepAction(attack)->isChecked()) attacks << doc->StepAction(attack)->objectName();
        }
        QCOMPARE(attacks, QStringList{"actIPCopyXhToXw"});
        for (const StepInfo& info : Experiment::Steps()) {
            if (info.group == StepGroup::Extraction) QVERIFY2(!doc->StepAction(info.step)->isChecked(), info.id);
        }
        QVERIFY(doc->Action("actGetX_hat")->isChecked());
        // Attacks other than JPEG leave the result panels alone.
        QCOMPARE(frame->StatusText(1), QStringLiteral("one"));
        QCOMPARE(frame->StatusText(2), QStringLiteral("two"));
        QVERIFY(doc->Model().GetExperiment().Workspace().X_wave() == doc->Model().GetExperiment().Workspace().X_hat());
    }

    // Identical images have no PSNR: the workspace's box, then "infinite" (and a zero Diff).
    void identicalImagesReportInfinitePsnr() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TMDIChild* doc = Loaded();
        EmbedUpTo(doc, doc->Action("actGetX_hat"));
        WorkspaceBuffers w = TestAccess::Workspace(*doc);
        for (std::size_t p = 0; p < w.X.size(); ++p) w.X_hat_real[p] = w.X[p];
        const std::vector<StatusEvent> psnr = Choose(doc->Action("actGetPSNR_Diff"));
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].text, std::string("Watermarked image is equal to Original image\rPSNR is infinite value"));
        QCOMPARE(prompts->busyAtShow[0], false);
        QCOMPARE(Texts(psnr), (QStringList{"0:Get PSNR & sum of Difference", "0:successfully got PSNR & sum of Difference",
                                           "1:PSNR = infinite"}));

        // A flat X_hat that the quantisation steps of this scale carry exactly.
        std::fill(w.X_hat.begin(), w.X_hat.end(), std::uint8_t{1});
        std::fill(w.X_hat_real.begin(), w.X_hat_real.end(), 0.5);
        TestAccess::SetQuantScale(*doc, 0.0625);
        frame->ShowStatus(0, QStringLiteral("before"));
        const std::vector<StatusEvent> jpeg = Choose(doc->Action("actIPApplyJpeg"));
        QCOMPARE(prompts->shown.size(), std::size_t{2});
        QCOMPARE(prompts->shown[1].text, prompts->shown[0].text);
        QCOMPARE(prompts->busyAtShow[1], true);  // the JPEG attack runs under the hourglass
        QCOMPARE(Texts(jpeg), (QStringList{"1:PSNR = infinite", "2:Diff = 0,00000",
                                           "0:successfully Apply JPEG lossy compression."}));
        QVERIFY(doc->Action("actIPApplyJpeg")->isChecked());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // A watermark without black pixels where NC compares (white but for its first four rows
    // and columns) is refused as `embed` refuses it, and the document stays as it was.
    void aMarkWithoutBlackIsRefused() {
        TempDir dir;
        const std::string white = dir.file("white.bmp");
        Bitmap mark(128, 128, 255);
        for (int i = 0; i < 128; ++i) mark.setGray(i, 2, 0);  // black only outside the compared part
        WriteQtPicture(white, mark, false, PictureFormat::Bmp);
        TMDIChild* doc = Loaded();
        EmbedUpTo(doc, doc->Action("actGetWa"));
        const QStringList before = CheckedNames(doc);
        const Bitmap panel = frame->EmbeddedPanel()->Picture();
        dialogs->Answer(Q(white));
        doc->Action("actLoadW")->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Error);
        QVERIFY(prompts->shown[0].text.find("no black pixel") != std::string::npos);
        QCOMPARE(CheckedNames(doc), before);
        QVERIFY(frame->EmbeddedPanel()->Picture() == panel);
    }

    void saveCommandsWriteBitmapsAsTyped() {
        TempDir dir;
        TMDIChild* doc = Loaded();
        EmbedUpTo(doc, doc->Action("actGetX_hat"));
        const Bitmap xHat = doc->Picture();
        const QString xFile = Q(dir.file("watermarked"));  // no extension is added
        dialogs->Answer(xFile);
        QCOMPARE(Texts(Choose(doc->Action("actSaveX_hat"))),
                 (QStringList{"0:save X_hat to file.", "0:successfully saved X_hat to file."}));
        QCOMPARE(dialogs->asked.back().name, QStringLiteral("SavePDlg"));
        QCOMPARE(dir.listing(), std::vector<std::string>{"watermarked"});
        QVERIFY(ReadQtPicture(xFile.toStdString()).bitmap == xHat);
        QVERIFY(doc->Action("actSaveX_hat")->isChecked());

        for (QAction* a : {doc->Action("actIpApplyCroppingByImgInHalf"), doc->Action("actGetY_wave"), doc->Action("actGetYr_wave"), doc->Action("actGetP_wave"),
                           doc->Action("actGetWa_wave"), doc->Action("actGetWr_wave"), doc->Action("actGetW_wave")}) {
            a->trigger();
        }
        // Cancelled: no file, yet the step counts as done.
        dialogs->Cancel();
        QCOMPARE(Texts(Choose(doc->Action("actSaveW_wave"))), (QStringList{"0:save W_wave.", "0:successfully saved W_wave."}));
        QVERIFY(doc->Action("actSaveW_wave")->isChecked());
        QCOMPARE(dir.listing().size(), std::size_t{1});

        const QString wFile = Q(dir.file("extracted.bmp"));
        dialogs->Answer(wFile);
        doc->Action("actSaveW_wave")->trigger();
        QVERIFY(ReadQtPicture(wFile.toStdString()).bitmap == TWatermark::MakeBitmap128(doc->Model().GetExperiment().Workspace().W_wave()));

        // The panel cleared since: the steps must run again, so the save is refused before
        // any dialog, and no file is written.
        frame->SetPopupComponent(frame->ExtractedPanel());
        frame->AllActions().pmuClear->trigger();
        QVERIFY(frame->ExtractedPanel()->IsEmpty());
        const QString gone = Q(dir.file("gone.bmp"));
        dialogs->Answer(gone);
        const std::size_t asked = dialogs->asked.size();
        const std::vector<StatusEvent> made = Choose(doc->Action("actSaveW_wave"));
        QVERIFY(made.empty());
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].text, std::string("먼저 Get W_wave를 수행하세요"));
        QCOMPARE(dialogs->asked.size(), asked);
        QVERIFY(!QFile::exists(gone));
    }

    // Each document runs its own experiment and shows its own watermark in the panels.
    void documentsKeepTheirOwnSteps() {
        TMDIChild* first = Loaded();
        EmbedUpTo(first, first->Action("actGetWa"));
        TMDIChild* second = OpenHost(quillfen::test::SamplePath("camera-256.pgm"));
        second->Action("actGetY")->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].text, std::string("먼저 Get Wa을 수행하세요"));
        QVERIFY(first->Action("actGetWa")->isChecked());
        first->Action("actGetY")->trigger();
        QVERIFY(first->Action("actGetY")->isChecked());
        QVERIFY(!second->Action("actGetY")->isChecked());
    }

    // The panels show the active document's watermark and extracted view: a second document
    // shows neither the first one's pictures nor lets their steps run on its own data.
    void panelsShowTheActiveDocument() {
        TMDIChild* first = Loaded();
        first->SetFixedSeed(5);
        frame->AllActions().RunWholeExperiment1->trigger();
        const Bitmap mark = frame->EmbeddedPanel()->Picture();
        const Bitmap wr = frame->ExtractedPanel()->Picture();
        QCOMPARE(mark.width(), 128);
        QVERIFY(mark == first->Model().Watermark());
        QVERIFY(wr == TWatermark::MakeBitmap128(first->Model().GetExperiment().Workspace().W_wave()));

        TMDIChild* second = OpenHost(quillfen::test::SamplePath("camera-256.pgm"));
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
        QVERIFY(frame->ExtractedPanel()->IsEmpty());
        second->Action("actGetWr")->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].text, std::string("워터마킹 대상 이미지와 워터마크 이미지를 먼저 로딩하세요"));

        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
        QVERIFY(frame->EmbeddedPanel()->Picture() == mark);
        QVERIFY(frame->ExtractedPanel()->Picture() == wr);
        // Clear on the first one's panel forgets its steps and leaves the second alone.
        frame->SetPopupComponent(frame->EmbeddedPanel());
        frame->AllActions().pmuClear->trigger();
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
        QVERIFY(quillfen::test::CheckedSteps(*first).isEmpty());
        QVERIFY(first->Model().Watermark().empty());
        // Without a document the panels are empty.
        frame->AllActions().FileClose1->trigger();
        frame->AllActions().FileClose1->trigger();
        quillfen::test::ProcessDeferredDeletes();
        QVERIFY(frame->EmbeddedPanel()->IsEmpty() && frame->ExtractedPanel()->IsEmpty());
    }
};

QTEST_MAIN(WatermarkCommandsTest)
#include "watermark_commands_test.moc"
