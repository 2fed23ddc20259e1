// The document window's three watermark menus: embedding, attacks and extraction. The steps,
// their order and what each needs first come from the Experiment, how the window presents
// each (its action and caption, the texts around it, its refusal) from step_presentation.h;
// this file builds the menus and runs the commands.
#include <optional>

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>

#include "quillfen/benchmark/key_calibration.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/mark_key.h"
#include "quillfen/watermark/marking.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/step_presentation.h"
#include "ui/ui_text.h"
#include "ui/user_prompts.h"

namespace quillfen::ui {

namespace {

// The hourglass cursor for the length of one step, given back however the step ends.
class BusyCursor {
public:
    explicit BusyCursor(bool on) : on_(on) {
        if (on_) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor() {
        if (on_) QApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool on_;
};

}  // namespace

void TMDIChild::MarkUnavailable(QAction* action) {
    action->setEnabled(false);
    action->setToolTip(tr("Not available in this version"));
}

QAction* TMDIChild::CreateStepAction(Step step) {
    const StepPresentation& p = PresentationOf(step);
    auto* action = new QAction(Tr("Step", p.caption), this);
    action->setObjectName(QString::fromLatin1(p.action));
    action->setCheckable(true);
    action->setVisible(!p.hidden);
    // Qt toggles a checkable action before `triggered`; the marks show only what the
    // experiment has run, so the toggle is taken back at once, before the command runs.
    connect(action, &QAction::triggered, action, [action](bool checked) { action->setChecked(!checked); });
    if (step == Step::LoadWatermark) {
        connect(action, &QAction::triggered, this, [this] { host_.Run([this] { LoadWatermarkCommand(); }); });
    } else {
        connect(action, &QAction::triggered, this, [this, step] { host_.Run([this, step] { StepCommand(step); }); });
    }
    return action;
}

void TMDIChild::CreateWatermarkMenus() {
    const FrameActions& f = host_.Actions();
    auto* file = new QMenu(tr("&File"));
    file->addActions({f.FileOpen1, f.FileSave1, f.FileSaveAs1});
    file->addMenu(f.mnuRecent);
    file->addAction(f.FileClose1);
    file->addSeparator();
    file->addActions({f.Print1, f.PageSetup1});
    file->addSeparator();
    file->addAction(f.FileExit1);

    // Undo and Redo stay in reach while the document's menus replace the frame's.
    auto* edit = new QMenu(tr("&Edit"));
    edit->addActions({f.Undo1, f.Redo1});
    auto* view = new QMenu(tr("&View"));
    view->addActions({f.ZoomIn1, f.ZoomOut1, f.ZoomFit1, f.ZoomActual1});

    // One menu per group of steps, in the experiment's order.
    auto* embedment = new QMenu(tr("Watermark Embedment"));
    auto* imageProcessing = new QMenu(tr("Image Processing"));
    auto* extraction = new QMenu(tr("Watermark Extraction"));
    for (const StepInfo& info : Experiment::Steps()) {
        QMenu* menu = info.group == StepGroup::Embedding ? embedment
                      : info.group == StepGroup::Attack  ? imageProcessing
                                                         : extraction;
        QAction* action = CreateStepAction(info.step);
        stepActions_ << action;
        menu->addAction(action);
        if (PresentationOf(info.step).separatorAfter) menu->addSeparator();
    }
    // The files of a finished embedding, and a picture attacked elsewhere. Checkable like the
    // steps: the mark shows what holds for the current embedding and attack.
    const auto fileAction = [this](const char* name, const QString& caption, void (TMDIChild::*command)()) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        connect(action, &QAction::triggered, action, [action](bool checked) { action->setChecked(!checked); });
        connect(action, &QAction::triggered, this, [this, command] {
            host_.Run([this, command] {
                (this->*command)();
                SyncMarks();
            });
        });
        fileActions_ << action;
        return action;
    };
    embedment->addSeparator();
    embedment->addAction(fileAction("actSaveKey", tr("Save &Key..."), &TMDIChild::SaveKeyCommand));
    embedment->addAction(fileAction("actSaveWatermarked", tr("Save Watermarked &Image..."),
                                    &TMDIChild::SaveWatermarkedImageCommand));
    imageProcessing->addSeparator();
    imageProcessing->addAction(fileAction("actLoadAttacked", tr("Load &Attacked Image..."),
                                          &TMDIChild::LoadAttackedImageCommand));

    // The whole chains at once, after the steps they run.
    embedment->addSeparator();
    embedment->addActions({f.SetSeed1, f.RunEmbedding1, f.RunWholeExperiment1});
    extraction->addSeparator();
    extraction->addAction(f.RunExtraction1);

    auto* window = new QMenu(tr("&Window"));
    window->addActions({f.WindowTileHorizontal1, f.WindowTileVertical1, f.WindowCascade1, f.WindowArrangeAll1});
    window->addSeparator();
    window->addAction(f.WindowMinimizeAll1);
    QAction* show = window->addAction(tr("&Show..."));  // no command behind it
    show->setObjectName(QStringLiteral("mnuShow"));
    MarkUnavailable(show);
    window->addSeparator();
    window->addActions({f.WindowResults1, f.WindowRobustness1});
    const int fixedItems = static_cast<int>(window->actions().size());
    connect(window, &QMenu::aboutToShow, this, [this, window, fixedItems] { host_.FillWindowList(window, fixedItems); });

    menus_ = {file, edit, view, embedment, imageProcessing, extraction, window};
}

// ---- The commands -----------------------------------------------------------------------------

void TMDIChild::LoadWatermarkCommand() {
    if (document_.Picture().empty()) {
        host_.Prompts().message(S(Tr("Step", PresentationOf(Step::LoadWatermark).refusal)));
        return;
    }
    LoadWatermarkFromFile();
    Say(0, Tr("Step", PresentationOf(Step::LoadWatermark).end));
    // A cancelled dialog has emptied the panel: nothing is loaded, every step must wait.
    if (document_.Watermark().empty()) document_.ForgetSteps();
    Redraw();
}

bool TMDIChild::StepCommand(Step step) {
    if (Busy()) return false;
    if (!document_.GetExperiment().CanRun(step)) {
        host_.Prompts().message(S(Tr("Step", PresentationOf(step).refusal)));
        return false;
    }
    switch (Experiment::Info(step).kind) {
    case StepKind::Attack: RunAttack(step); return true;
    case StepKind::Save: RunSave(step); return true;
    default: break;
    }
    const StepPresentation& p = PresentationOf(step);
    const BusyCursor busy(p.busy);
    if (p.start != nullptr) Say(0, Tr("Step", p.start));
    const std::uint64_t before = document_.LastLineId();
    const StepResult result = document_.RunStep(step);
    if (result.ImagesEqual()) host_.Prompts().message(S(Tr("Step", kImagesEqualText)));
    Redraw();
    if (p.end != nullptr) Say(0, Tr("Step", p.end));
    ShowNewLines(before);
    return true;
}

// The result lines made after line `before`, in their panels.
void TMDIChild::ShowNewLines(std::uint64_t before) {
    for (const ResultLine& line : document_.Results())
        if (line.id > before) ShowLine(line);
}

std::vector<Step> TMDIChild::EmbeddingSteps() {
    std::vector<Step> steps = Experiment::EmbeddingChain();
    steps.push_back(Step::GetPSNR);
    return steps;
}

std::vector<Step> TMDIChild::ExtractionSteps() {
    std::vector<Step> steps = Experiment::ExtractionChain();
    steps.push_back(Step::GetNC);
    return steps;
}

bool TMDIChild::RunSteps(const std::vector<Step>& steps) {
    for (const Step step : steps)
        if (!StepCommand(step)) return false;
    return true;
}

void TMDIChild::RunEmbeddingCommand() { RunSteps(EmbeddingSteps()); }

void TMDIChild::RunExtractionCommand() { RunSteps(ExtractionSteps()); }

void TMDIChild::RunWholeExperimentCommand() {
    // The attack the user chose last stays checked through a new embedding; without one the
    // watermarked picture is extracted as it is.
    Step attack = Step::NoAttack;
    for (const Step a : Experiment::Attacks())
        if (document_.GetExperiment().HasRun(a)) attack = a;
    std::vector<Step> steps = EmbeddingSteps();
    steps.push_back(attack);
    for (const Step step : ExtractionSteps()) steps.push_back(step);
    RunSteps(steps);
}

void TMDIChild::SetSeedCommand() {
    const std::optional<std::uint32_t> current = document_.FixedSeed();
    std::string typed = current ? std::to_string(*current) : std::string();
    const QString prompt = tr("Seed of every Get Wr until it is changed, 0..4294967295 (empty: the clock)");
    QString reason;
    // A refused entry asks again, with the reason and the text as it was typed.
    for (;;) {
        const std::optional<std::string> entered =
            host_.Prompts().input(S(tr("Set Seed")), S(reason.isEmpty() ? prompt : reason + QLatin1Char('\n') + prompt),
                                  typed);
        if (!entered) return;
        const QString text = Q(*entered).trimmed();
        if (text.isEmpty()) {
            document_.SetFixedSeed(std::nullopt);
            Say(0, tr("Every Get Wr takes its seed from the clock."));
            emit Changed();
            return;
        }
        bool ok = false;
        const qulonglong value = text.toULongLong(&ok);
        if (ok && value <= 4294967295ULL) {
            document_.SetFixedSeed(static_cast<std::uint32_t>(value));
            Say(0, tr("Every Get Wr uses the seed %1 until it is changed or cleared.").arg(value));
            emit Changed();
            return;
        }
        reason = tr("'%1' is not a seed (expected a whole number 0..4294967295).").arg(text);
        typed = *entered;
    }
}

// An attack makes a new X_wave: the experiment forgets what was extracted from the old one.
// Its results are on screen before X_wave is.
void TMDIChild::RunAttack(Step step) {
    const StepPresentation& p = PresentationOf(step);
    const BusyCursor busy(p.busy);
    const std::uint64_t before = document_.LastLineId();
    const StepResult result = document_.RunStep(step);
    if (result.ImagesEqual()) host_.Prompts().message(S(Tr("Step", kImagesEqualText)));
    // The attack's results replace the stale ones first; then the new X_wave is shown.
    ShowNewLines(before);
    Redraw();
    Say(0, Tr("Step", p.end));
}

// The two saves: the save-picture dialog, then a bitmap file of the picture shown or of the
// extracted watermark. A cancelled dialog still counts as the step having run.
void TMDIChild::RunSave(Step step) {
    const StepPresentation& p = PresentationOf(step);
    Say(0, Tr("Step", p.start));
    if (const auto chosen = host_.ExecuteDialog(SharedDialog::SavePicture)) {
        const Bitmap& picture = step == Step::SaveX_hat ? Picture() : document_.ExtractedView();
        // A panel cleared since the step ran has nothing to write; say so rather than
        // writing an empty file or reporting success.
        if (picture.empty()) throw FormatError(S(tr("Cannot save %1: there is no picture to save").arg(chosen->fileName)));
        WriteQtPicture(FilePath(chosen->fileName), picture, false, PictureFormat::Bmp);
    }
    document_.RunStep(step);
    Redraw();
    Say(0, Tr("Step", p.end));
}

// ---- The files of an embedding, and pictures attacked elsewhere ---------------------------------

namespace {

bool SameFile(const QString& a, const QString& b) {
    const QFileInfo first(a);
    const QFileInfo second(b);
    return first.exists() && second.exists() && first.canonicalFilePath() == second.canonicalFilePath();
}

}  // namespace

void TMDIChild::SaveKeyCommand() {
    if (Busy()) return;
    if (!document_.GetExperiment().HasRun(Step::GetX_hat)) {
        host_.Prompts().message(S(Tr("Step", PresentationOf(Step::SaveX_hat).refusal)));
        return;
    }
    // Whatever refuses the key does so before the dialog.
    MarkedHost marked = document_.Marked();
    const auto chosen = host_.ExecuteDialog(SharedDialog::SaveKey, FileStem(BaseTitle()) + QStringLiteral(".key"));
    if (!chosen) return;
    QString name = chosen->fileName;
    if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".key");
    if (SameFile(name, FileName()))
        throw FileError(S(tr("Cannot write the key to %1: it is this document's picture file").arg(name)));
    // The key's own calibration, as embed measures it, takes from half a second to a few: it
    // runs on a worker with the busy bar, on its own copy of the marked host, and the key is
    // written once it is done (nothing is written when it is cancelled).
    auto calibrated = std::make_shared<MarkedHost>(std::move(marked));
    const PictureRef hostPicture = document_.SharedHost();
    const std::uint32_t trials = host_.KeyCalibrationTrials();
    const std::uint64_t embedding = document_.GetExperiment().EmbeddingRun();
    StartJob(tr("Writing the key"), [this, calibrated, hostPicture, trials, embedding, name](ProgressSink&) -> Apply {
        KeyCalibrationOptions options;
        options.Trials = trials;
        CalibrateMarkedHost(*calibrated, *hostPicture, options);
        return [this, calibrated, embedding, name] {
            SaveMarkKey(FilePath(name), calibrated->Key);
            // The mark shows what was written for the embedding that still holds.
            if (document_.GetExperiment().EmbeddingRun() == embedding) document_.MarkWritten(Document::Written::Key);
            Redraw();
            Say(0, tr("Key saved to %1 (seed %2).").arg(name).arg(calibrated->Key.Seed));
        };
    });
}

void TMDIChild::SaveWatermarkedImageCommand() {
    if (Busy()) return;
    if (!document_.GetExperiment().HasRun(Step::GetX_hat)) {
        host_.Prompts().message(S(Tr("Step", PresentationOf(Step::SaveX_hat).refusal)));
        return;
    }
    const MarkedHost marked = document_.Marked();
    const auto chosen = host_.ExecuteDialog(SharedDialog::SaveMarked, FileStem(BaseTitle()) + QStringLiteral("-marked"));
    if (!chosen) return;
    const QString name = WithPictureExtension(chosen->fileName, chosen->filterIndex);
    // The unmarked original would be lost: it is the one picture the user cannot make again.
    if (SameFile(name, FileName()))
        throw FileError(S(tr("Cannot write the watermarked image to %1: it is this document's own picture file, "
                             "the unmarked host (choose another name)")
                              .arg(name)));
    SavePictureFile(FilePath(name), marked.Picture, document_.Format() == PixelFormat::Bit8);
    document_.MarkWritten(Document::Written::MarkedImage);
    Say(0, tr("Watermarked image saved to %1.").arg(name));
    if (FormatFromFileName(FilePath(name)) == PictureFormat::Jpeg) {
        // Read back what was written: the JPEG encoding's loss is the first attack on the mark.
        const MarkReading reading = ReadMark(GrayOf(LoadPictureFile(FilePath(name)).bitmap), marked.Key);
        host_.Prompts().warning(
            S(tr("A JPEG file is itself an attack on the mark (use PNG, PGM or bitmap to keep it whole): after "
                 "saving, NC = %1, score %2 (1.000 before saving).")
                  .arg(reading.Nc ? LocalizeNumber(FormatFixed(*reading.Nc, 5)) : tr("undefined"))
                  .arg(LocalizeNumber(FormatFixed(reading.Score.Value, 3)))));
    }
}

void TMDIChild::LoadAttackedImageCommand() {
    if (Busy()) return;
    if (!document_.GetExperiment().CanRun(Step::NoAttack)) {
        host_.Prompts().message(S(Tr("Step", PresentationOf(Step::NoAttack).refusal)));
        return;
    }
    const auto chosen = host_.ExecuteDialog(SharedDialog::OpenPicture);
    if (!chosen) return;
    // Any picture the readers know; one they refuse changes nothing.
    const LoadedPicture loaded = LoadPictureFile(FilePath(chosen->fileName));
    const BusyCursor busy(true);
    const std::uint64_t before = document_.LastLineId();
    const std::optional<Registration> registration =
        document_.LoadAttacked(loaded.bitmap, kLoadAttackedSource);
    ShowNewLines(before);
    Redraw();
    Say(0, tr("successfully loaded X_wave from %1.").arg(chosen->fileName));
    if (registration && registration->Fit < kPoorFit)
        host_.Prompts().warning(S(tr("%1 fits the watermarked image poorly (fit %2); it may not be a copy of it.")
                                       .arg(chosen->fileName)
                                       .arg(registration->Fit, 0, 'f', 3)));
}

}  // namespace quillfen::ui
