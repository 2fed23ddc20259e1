// The document window's files of an embedding and its pictures attacked elsewhere: Save Key...
// and Save Watermarked Image... write what `quillfen-cli embed` writes for the same seed, and
// a picture changed outside the program, loaded with Load Attacked Image... and scored with
// the extraction steps, gives the NC that `quillfen-cli extract` finds in it.
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>
#include <QTest>

#include <nlohmann/json.hpp>

#include "quillfen/benchmark/sweep_inputs.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "tests/test_support.h"
#include "tests/ui/ui_cli.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/ui_text.h"

using namespace quillfen;
using namespace quillfen::ui;
using quillfen::test::RecordingPrompts;
using quillfen::test::ScriptedFileDialogs;
using quillfen::test::TempDir;
using quillfen::test::Cli;
using quillfen::test::CliRun;

namespace {


const std::string kHost = quillfen::test::SamplePath("camera-512.bmp");
const std::string kMark = quillfen::test::SamplePath("seal-128.pgm");
constexpr std::uint32_t kSeed = 977;

// The suspect as a changed copy of the watermarked file.
enum class Outside { None, Jpeg, Crop, Shrink, Unmarked };

Bitmap Changed(const Bitmap& marked, Outside change) {
    switch (change) {
    case Outside::Unmarked: return LoadPictureFile(kHost).bitmap;  // the host before marking
    case Outside::None:
    case Outside::Jpeg: return marked;
    case Outside::Crop: {
        // Seven columns and five rows gone from the top left: the picture has moved.
        Bitmap cropped(marked.width() - 7, marked.height() - 5);
        for (int y = 0; y < cropped.height(); ++y)
            for (int x = 0; x < cropped.width(); ++x) cropped.setGray(x, y, marked.row(y + 5)[3 * (x + 7)]);
        return cropped;
    }
    case Outside::Shrink: {
        // Resized to 90 % (nearest pixel), as a careless resize would.
        Bitmap smaller(marked.width() * 9 / 10, marked.height() * 9 / 10);
        for (int y = 0; y < smaller.height(); ++y)
            for (int x = 0; x < smaller.width(); ++x)
                smaller.setGray(x, y, marked.row(y * 10 / 9)[3 * (x * 10 / 9)]);
        return smaller;
    }
    }
    return marked;
}

}  // namespace

class MarkingCommandsTest : public quillfen::test::FrameTest<RecordingPrompts> {
    Q_OBJECT

private:

    // A document of `host` with the mark loaded and the embedding run with the test's seed.
    TMDIChild* Embedded(const std::string& host = kHost) {
        TMDIChild* doc = frame->OpenImageFile(Q(host));
        doc->SetFixedSeed(kSeed);
        dialogs->Answer(Q(kMark));
        doc->Action("actLoadW")->trigger();
        Actions().RunEmbedding1->trigger();
        return doc;
    }
    void RunExtraction() { Actions().RunExtraction1->trigger(); }
    // Save Key calibrates the key on a worker: the key is written once it is done.
    static bool WaitForWork(const TMDIChild* doc) {
        for (int i = 0; i < 6000 && doc->Busy(); ++i) QTest::qWait(10);
        return !doc->Busy();
    }
    void SaveKey(TMDIChild* doc, const QString& name) {
        dialogs->Answer(name);
        doc->Action("actSaveKey")->trigger();
        QVERIFY(WaitForWork(doc));
    }
    static std::optional<double> Nc(const TMDIChild* doc) {
        const std::vector<StepResult>& results = doc->Model().StepResults();
        return results.back().step == Step::GetNC ? results.back().nc : std::nullopt;
    }

private slots:
    void init() {
        MakeFrame();
        // Few null trials: the key's own calibration is measured as embed measures it, only
        // faster (the CLI is asked for as many).
        frame->SetKeyCalibrationTrials(kFewestKeyTrials);
        frame->show();
    }
    void cleanup() { QCOMPARE(CloseFrame(), 0); }

    // The two files are those `embed` writes for the same host, mark and seed, byte for
    // byte, in every lossless format.
    void savedFilesAreEmbedsFiles_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("filter");
        QTest::newRow("png") << "png" << 2;
        QTest::newRow("pgm") << "pgm" << 4;
        QTest::newRow("bmp") << "bmp" << 1;
    }
    void savedFilesAreEmbedsFiles() {
        QFETCH(QString, extension);
        QFETCH(int, filter);
        const std::string cliPicture = dir->file("cli." + extension.toStdString());
        const std::string cliKey = dir->file("cli.key");
        QCOMPARE(Cli({"embed", kHost, kMark, cliPicture, "--key", cliKey, "--seed", std::to_string(kSeed),
                     "--calibration-trials", std::to_string(kFewestKeyTrials)}).code, 0);

        TMDIChild* doc = Embedded();
        // The key gets its extension; the picture the filter's, when the name has none.
        SaveKey(doc, Q(dir->file("window")));
        dialogs->Answer(Q(dir->file("window")), filter);
        doc->Action("actSaveWatermarked")->trigger();
        QVERIFY2(prompts->shown.empty(), prompts->shown.empty() ? "" : prompts->shown[0].text.c_str());
        QCOMPARE(quillfen::test::ReadBytes(dir->file("window.key")), quillfen::test::ReadBytes(cliKey));
        QCOMPARE(quillfen::test::ReadBytes(dir->file("window." + extension.toStdString())),
                 quillfen::test::ReadBytes(cliPicture));
        QCOMPARE(dialogs->asked[1].name, QStringLiteral("SaveKeyDlg"));
        QCOMPARE(dialogs->asked[2].name, QStringLiteral("SaveMarkedDlg"));
        // Both dialogs propose names after the host.
        QCOMPARE(dialogs->asked[1].proposedName, QStringLiteral("camera-512.key"));
        QCOMPARE(dialogs->asked[2].proposedName, QStringLiteral("camera-512-marked.png"));
        QVERIFY(doc->Action("actSaveKey")->isChecked());
        QVERIFY(doc->Action("actSaveWatermarked")->isChecked());
        // Another embedding: what was written belongs to the old one.
        doc->Action("actGetWr")->trigger();
        QVERIFY(!doc->Action("actSaveKey")->isChecked());
        QVERIFY(!doc->Action("actSaveWatermarked")->isChecked());
    }

    // Saved, changed outside the program, loaded back and scored step by step: the NC and the
    // verdict of `extract` on the same file (registered with --host when its size differs),
    // and the extracted mark saved from its panel is the one `extract --mark-out` writes.
    void attackedElsewhereGivesTheClisNc_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("registered");
        QTest::newRow("unchanged") << static_cast<int>(Outside::None) << false;
        QTest::newRow("jpeg") << static_cast<int>(Outside::Jpeg) << false;
        QTest::newRow("cropped") << static_cast<int>(Outside::Crop) << true;
        QTest::newRow("resized") << static_cast<int>(Outside::Shrink) << true;
        QTest::newRow("unmarked") << static_cast<int>(Outside::Unmarked) << false;
    }
    void attackedElsewhereGivesTheClisNc() {
        QFETCH(int, change);
        QFETCH(bool, registered);
        TMDIChild* doc = Embedded();
        const QString key = Q(dir->file("mark.key"));
        const QString marked = Q(dir->file("marked.png"));
        SaveKey(doc, key);
        dialogs->Answer(marked, 2);
        doc->Action("actSaveWatermarked")->trigger();

        const Bitmap suspect = Changed(LoadPictureFile(FilePath(marked)).bitmap, static_cast<Outside>(change));
        const std::string suspectFile = dir->file(change == static_cast<int>(Outside::Jpeg) ? "suspect.jpg" : "suspect.pgm");
        SavePictureFile(suspectFile, suspect, true);
        const std::string cliMark = dir->file("cli-mark.pgm");
        std::vector<std::string> args = {"extract", suspectFile, "--key", key.toStdString(), "--json",
                                         "--mark-out", cliMark};
        if (registered) args.insert(args.end(), {"--host", marked.toStdString()});
        const CliRun cli = Cli(args);
        QCOMPARE(cli.code, 0);
        const nlohmann::json report = nlohmann::json::parse(cli.out);

        // An attack from the menu first: the loaded picture takes its place and its results.
        doc->Action("actIPApplyBlurring")->trigger();
        RunExtraction();
        QVERIFY(doc->Action("actGetNC")->isChecked());
        dialogs->Answer(Q(suspectFile));
        doc->Action("actLoadAttacked")->trigger();
        QVERIFY2(prompts->shown.empty(), prompts->shown.empty() ? "" : prompts->shown[0].text.c_str());
        QVERIFY(doc->Action("actLoadAttacked")->isChecked());
        QVERIFY(!doc->Action("actIPApplyBlurring")->isChecked());
        QVERIFY(!doc->Action("actGetNC")->isChecked());
        QVERIFY(doc->Model().ExtractedView().empty());
        QVERIFY(doc->Picture() == TWatermark::MakeBitmap256(doc->Model().GetExperiment().Workspace().X_wave()));
        const std::vector<ResultLine>& lines = doc->Model().Results();
        QCOMPARE(lines.back().source, std::string("Load Attacked Image"));
        QCOMPARE(lines.back().report.words.starts_with("registration: rotation "), registered);
        for (const ResultLine& line : lines) QVERIFY(line.source != "Get Normalized Correlation");

        // Step by step, as the menus run them.
        for (const Step step : TMDIChild::ExtractionSteps()) {
            doc->StepAction(step)->trigger();
            QVERIFY(doc->StepAction(step)->isChecked());
        }
        const std::optional<double> nc = Nc(doc);
        QVERIFY(nc.has_value());
        QCOMPARE(FormatFixed(*nc, 12), FormatFixed(report["nc"].get<double>(), 12));
        QCOMPARE(frame->StatusText(1), QStringLiteral("NC =") + LocalizeNumber(FormatFixed(*nc, 5)));
        const std::string score = FormatFixed(report["score"].get<double>(), 3);
        const std::string threshold = FormatFixed(report["threshold"].get<double>(), 3);
        QCOMPARE(report["present"].get<bool>(), change != static_cast<int>(Outside::Unmarked));
        const std::string verdict = report["present"].get<bool>()
                                        ? "mark present: score " + score + " ≥ " + threshold + " (false alarms ≤ 1e-6)"
                                        : "no mark found: score " + score + " < " + threshold +
                                              " (the threshold for false alarms ≤ 1e-6)";
        QCOMPARE(doc->Model().Results().back().report.Line(), verdict);
        QCOMPARE(frame->StatusText(2), Q(verdict));
        frame->SetPopupComponent(frame->ExtractedPanel());
        dialogs->Answer(Q(dir->file("window-mark.pgm")));
        Actions().pmuSaveToFile->trigger();
        QCOMPARE(quillfen::test::ReadBytes(dir->file("window-mark.pgm")), quillfen::test::ReadBytes(cliMark));

        // The next attack makes the loaded picture and its lines stale.
        doc->Action("actIPApplyJpeg")->trigger();
        QVERIFY(!doc->Action("actLoadAttacked")->isChecked());
        for (const ResultLine& line : doc->Model().Results()) QVERIFY(line.source != "Load Attacked Image");
    }

    // Each command is refused with the message of the step it follows, before any dialog.
    void refusedBeforeTheirStep_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("message");
        QTest::newRow("key") << "actSaveKey" << "먼저 Get X_hat을 수행하세요";
        QTest::newRow("image") << "actSaveWatermarked" << "먼저 Get X_hat을 수행하세요";
        QTest::newRow("attacked") << "actLoadAttacked" << "먼저 워터마킹을 완료하세요";
    }
    void refusedBeforeTheirStep() {
        QFETCH(QString, action);
        QFETCH(QString, message);
        TMDIChild* doc = frame->OpenImageFile(Q(kHost));
        dialogs->Answer(Q(kMark));
        doc->Action("actLoadW")->trigger();
        for (const Step step : {Step::GetWr, Step::GetWa, Step::GetY}) doc->StepAction(step)->trigger();
        const std::size_t asked = dialogs->asked.size();
        doc->Action(action)->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(Q(prompts->shown[0].text), message);
        QCOMPARE(dialogs->asked.size(), asked);
        QVERIFY(!doc->Action(action)->isChecked());
    }

    // What cannot be written whole and true is refused, and nothing is written.
    void unsoundSavesAreRefused() {
        // A host smaller than the marked region: a watermarked image would have to be padded.
        TMDIChild* small = Embedded(quillfen::test::SamplePath("camera-256.pgm"));
        QVERIFY(small->Action("actGetX_hat")->isChecked());
        Actions().FileClose1->trigger();
        quillfen::test::ProcessDeferredDeletes();

        // The document's own file is the unmarked original: never overwritten.
        const std::string own = dir->file("host.png");
        SavePictureFile(own, LoadPictureFile(kHost).bitmap, true);
        const std::vector<std::uint8_t> before = quillfen::test::ReadBytes(own);
        TMDIChild* doc = Embedded(own);
        dialogs->Answer(Q(own), 2);
        doc->Action("actSaveWatermarked")->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QVERIFY(prompts->shown[0].text.find("unmarked host") != std::string::npos);
        QCOMPARE(quillfen::test::ReadBytes(own), before);
        QVERIFY(!doc->Action("actSaveWatermarked")->isChecked());

        // Get Wr again after Get X_hat: X_hat no longer follows from the positions drawn.
        prompts->shown.clear();
        doc->Action("actGetWr")->trigger();
        const std::size_t asked = dialogs->asked.size();
        doc->Action("actSaveKey")->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QVERIFY(prompts->shown[0].text.find("run the embedding again") != std::string::npos);
        QCOMPARE(dialogs->asked.size(), asked);
        Actions().RunEmbedding1->trigger();
        SaveKey(doc, Q(dir->file("again.key")));
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QVERIFY(QFile::exists(Q(dir->file("again.key"))));
    }

    // The key's calibration runs on a worker: the window goes on, with the busy bar and
    // Cancel, and the key is written when it is done; Esc writes nothing.
    void saveKeyRunsOnAWorker() {
        TMDIChild* doc = Embedded();
        const QString first = Q(dir->file("first.key"));
        dialogs->Answer(first);
        doc->Action("actSaveKey")->trigger();
        QVERIFY(doc->Busy());
        QVERIFY(frame->WorkProgress()->isVisible());
        QVERIFY(frame->CancelWorkButton()->isVisible());
        QCOMPARE(frame->StatusText(0), QStringLiteral("Writing the key... (Esc cancels)"));
        QVERIFY(!QFile::exists(first));
        QVERIFY(!doc->Menus()[3]->menuAction()->isEnabled());  // the embedding's commands wait
        QVERIFY(WaitForWork(doc));
        QVERIFY(QFile::exists(first));
        QVERIFY(doc->Action("actSaveKey")->isChecked());
        QVERIFY(!frame->WorkProgress()->isVisible());
        QCOMPARE(frame->StatusText(0), QStringLiteral("Key saved to %1 (seed 977).").arg(first));
        QVERIFY(prompts->shown.empty());

        const QString second = Q(dir->file("second.key"));
        dialogs->Answer(second);
        doc->Action("actSaveKey")->trigger();
        QVERIFY(doc->Busy());
        Actions().CancelWork1->trigger();
        QVERIFY(!doc->Busy());
        QCOMPARE(frame->StatusText(0), QStringLiteral("Writing the key cancelled."));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(second));
        QVERIFY(prompts->shown.empty());
    }

    // A change of the picture (a toolbox command, Undo) ends the embedding as a new picture
    // does: nothing of it stays, its files are refused until it has run again, and then they
    // are embed's files of the picture as it is now.
    void aChangeOfThePictureEndsTheEmbedding() {
        TMDIChild* doc = Embedded();
        QVERIFY(frame->StatusText(1).startsWith(QStringLiteral("PSNR = ")));
        doc->Action("Inverse1E")->trigger();
        QCOMPARE(quillfen::test::CheckedSteps(*doc), QStringList{"actLoadW"});
        QCOMPARE(doc->Model().Results().size(), std::size_t{1});
        QCOMPARE(doc->Model().Results()[0].source, std::string("Inverse"));
        QCOMPARE(frame->StatusText(1), QStringLiteral("Inversed image"));
        QVERIFY(frame->StatusText(0).startsWith(QStringLiteral("The picture has changed")));
        QVERIFY(frame->ExtractedPanel()->IsEmpty());
        QVERIFY(!frame->EmbeddedPanel()->IsEmpty());  // the watermark stays loaded
        QVERIFY(doc->Picture() == doc->Model().Picture());
        const std::size_t asked = dialogs->asked.size();
        for (const char* action : {"actSaveWatermarked", "actSaveKey"}) {
            prompts->shown.clear();
            doc->Action(action)->trigger();
            QCOMPARE(prompts->shown.size(), std::size_t{1});
            QCOMPARE(prompts->shown[0].text, std::string("먼저 Get X_hat을 수행하세요"));
        }
        QCOMPARE(dialogs->asked.size(), asked);

        // Embedded again: the files are those embed writes for the inverted picture.
        prompts->shown.clear();
        Actions().RunEmbedding1->trigger();
        const QString inverted = Q(dir->file("inverted.png"));
        dialogs->Answer(inverted, 2);
        Actions().FileSaveAs1->trigger();
        const std::string cliPicture = dir->file("cli.png");
        QCOMPARE(Cli({"embed", S(inverted), kMark, cliPicture, "--key", dir->file("cli.key"), "--seed",
                      std::to_string(kSeed), "--calibration-trials", std::to_string(kFewestKeyTrials)}).code, 0);
        dialogs->Answer(Q(dir->file("window.png")), 2);
        doc->Action("actSaveWatermarked")->trigger();
        SaveKey(doc, Q(dir->file("window.key")));
        QVERIFY2(prompts->shown.empty(), prompts->shown.empty() ? "" : prompts->shown[0].text.c_str());
        QCOMPARE(quillfen::test::ReadBytes(dir->file("window.png")), quillfen::test::ReadBytes(cliPicture));
        QCOMPARE(quillfen::test::ReadBytes(dir->file("window.key")), quillfen::test::ReadBytes(dir->file("cli.key")));

        // Undo changes the picture too.
        Actions().Undo1->trigger();
        QCOMPARE(quillfen::test::CheckedSteps(*doc), QStringList{"actLoadW"});
        QVERIFY(!doc->Action("actSaveWatermarked")->isChecked());
    }

    // Every attack of the menus is scored as the robustness rows score its cell: NC, the BER
    // of the whole mark (in the Results list) and the verdict (beside NC), with the numbers
    // of the sweep's row for the same host, seed and attack.
    void builtInAttacksGetTheRowsVerdictAndBer() {
        SweepInputs inputs;
        inputs.Hosts = {kHost};
        inputs.Mark = kMark;
        inputs.Seeds = std::to_string(kSeed);
        QStringList cells;
        for (const Step attack : Experiment::Attacks()) cells << QString::fromLatin1(Experiment::Info(attack).id);
        inputs.Attacks = {S(cells.join(QLatin1Char(',')))};
        inputs.Calibration = "";
        const PreparedSweep prepared = PrepareSweep(inputs);
        std::vector<RobustnessRow> rows;
        SweepCallbacks callbacks;
        callbacks.Row = [&rows](std::uint64_t, const RobustnessRow& row) { rows.push_back(row); };
        RunSweep(prepared.Plan, callbacks);
        QCOMPARE(rows.size(), Experiment::Attacks().size());

        TMDIChild* doc = Embedded();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const Step attack = Experiment::Attacks()[i];
            const RobustnessRow& row = rows[i];
            QCOMPARE(row.Attack, std::string(Experiment::Info(attack).id));
            doc->StepAction(attack)->trigger();
            RunExtraction();
            std::vector<std::string> said;
            for (const ResultLine& line : doc->Model().Results())
                if (line.step == Step::GetNC) said.push_back(line.report.Line());
            QCOMPARE(said.size(), std::size_t{3});
            QCOMPARE(said[0], "NC =" + FormatFixed(*row.Nc, 5));
            QCOMPARE(said[1], "BER = " + FormatFixed(row.Ber, 5));
            const std::string score = "score " + FormatFixed(row.Score, 3);
            QVERIFY2(said[2].starts_with((*row.Detected1e6 ? "mark present: " : "no mark found: ") + score), said[2].c_str());
            QCOMPARE(frame->StatusText(2), Q(said[2]));
        }
        QVERIFY(prompts->shown.empty());
    }

    // A JPEG watermarked image is allowed, with a warning of what the saving cost.
    void jpegWatermarkedImageWarns() {
        TMDIChild* doc = Embedded();
        dialogs->Answer(Q(dir->file("marked.jpg")), 3);
        doc->Action("actSaveWatermarked")->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Warning);
        QVERIFY(prompts->shown[0].text.find("after saving, NC = 0.") != std::string::npos);
        QVERIFY(QFile::exists(Q(dir->file("marked.jpg"))));
    }

    // A file the readers refuse changes nothing; a picture too small to register neither.
    void unreadableAttackedPictureChangesNothing() {
        TMDIChild* doc = Embedded();
        doc->Action("actIPCopyXhToXw")->trigger();
        RunExtraction();
        const std::size_t lines = doc->Model().Results().size();
        const Bitmap shown = doc->Picture();
        quillfen::test::WriteBytes(dir->file("broken.png"), std::string("not a picture"));
        SavePictureFile(dir->file("tiny.pgm"), Bitmap(20, 20), true);
        for (const std::string name : {"broken.png", "tiny.pgm"}) {
            prompts->shown.clear();
            dialogs->Answer(Q(dir->file(name)));
            doc->Action("actLoadAttacked")->trigger();
            QCOMPARE(prompts->shown.size(), std::size_t{1});
            QVERIFY(doc->Action("actGetNC")->isChecked());
            QVERIFY(doc->Action("actIPCopyXhToXw")->isChecked());
            QVERIFY(!doc->Action("actLoadAttacked")->isChecked());
            QCOMPARE(doc->Model().Results().size(), lines);
            QVERIFY(doc->Picture() == shown);
        }
    }
};

QTEST_MAIN(MarkingCommandsTest)
#include "marking_commands_test.moc"
