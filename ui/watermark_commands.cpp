// The document window's three watermark menus: embedding, attacks and extraction. The steps,
// their order, what each needs first and the refusals come from the Experiment; this file
// adds how the window presents each step: its action and caption, the texts written to the
// status bar around it, whether it shows the hourglass, and where its view goes.
#include <optional>

#include <QAction>
#include <QApplication>
#include <QMenu>

#include "image/errors.h"
#include "image/user_prompts.h"
#include "io/picture_files.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/ui_text.h"

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

// How the window presents a step.
struct Presentation {
    const char* action;   // the action's object name
    const char* caption;  // its menu entry
    const char* start;    // panel 0 before the step runs; nullptr for none
    const char* end;      // panel 0 once it has run; nullptr keeps the start text
    bool busy;            // the hourglass while it runs
    ViewTarget target;    // where a 128 x 128 view goes
    bool separatorAfter;  // a menu separator follows its entry
    bool hidden;          // its menu entry is hidden (the two saves)
};

constexpr ViewTarget kPicture = ViewTarget::Picture;
constexpr ViewTarget kPanel = ViewTarget::ExtractedPanel;

Presentation PresentationOf(Step step) {
    switch (step) {
    case Step::LoadWatermark:
        return {"actLoadW", "Load Watermark (W)", nullptr, "Loaded watermark image.", false, kPicture, true, false};
    case Step::GetWr:
        return {"actGetWr", "Get Wr ( Pseudo Random)", "Get Wr", "Complete to get Wr", true, kPanel, false, false};
    case Step::GetWa:
        return {"actGetWa", "Get Wa ( Adaptive )", "Get Wa", "Complete to get Wa", true, kPanel, true, false};
    case Step::GetY:
        return {"actGetY", "Get Y ( = FDCT(X) )", "get Y by executing Foward-DCT to X.",
                "Successfully got Y by executing Foward-DCT to X...", true, kPicture, false, false};
    case Step::GetYr:
        return {"actGetYr", "Get Yr ( = Reduce Y)", "Get Yr", "Successfully got Yr", true, kPicture, false, false};
    case Step::GetP:
        return {"actGetP", "Get P ( = Polarity Yr )", "Get P", "Successfully got P", true, kPicture, false, false};
    case Step::GetP_hat:
        return {"actGetP_hat", "Get P_hat ( = XOR(P, Wa) )", "Get P_hat", "Successfully got P_hat", true, kPicture,
                false, false};
    case Step::GetYr_hat:
        return {"actGetYr_hat", "Get Yr_hat ( = Expand P_hat )", "Get Yr_hat", "Successfully got Yr_hat", true,
                kPicture, false, false};
    case Step::GetY_hat:
        return {"actGetY_hat", "Get Y_hat ( = Map Yr_hat to Y_hat )", "Get Y_hat", "Successfully got Y_hat", true,
                kPicture, false, false};
    case Step::GetX_hat:
        return {"actGetX_hat", "Get X_hat ( = IDCT (Y_hat) )", "Get X_hat", "Successfully got X_hat", true, kPicture,
                true, false};
    case Step::GetPSNR:
        return {"actGetPSNR_Diff", "Get PSNR,  Difference Between  X and X_hat", "Get PSNR & sum of Difference",
                "successfully got PSNR & sum of Difference", false, kPicture, false, false};
    case Step::SaveX_hat:
        return {"actSaveX_hat", "Save X_hat to Bitmap File", "save X_hat to file.", "successfully saved X_hat to file.",
                false, kPicture, false, true};
    case Step::NoAttack:
        return {"actIPCopyXhToXw", "No Attack to X_hat", nullptr, "successfully copy X_hat to X_wave.", false,
                kPicture, true, false};
    case Step::Jpeg:
        return {"actIPApplyJpeg", "Apply Jpeg to X_hat", nullptr, "successfully Apply JPEG lossy compression.", true,
                kPicture, false, false};
    case Step::Blurring:
        return {"actIPApplyBlurring", "Apply Blurring to X_hat", nullptr, "successfully Apply Blurring operation.",
                true, kPicture, false, false};
    case Step::CropZeroQuarter:
        return {"actIPApplyCroppingByZeroInQuarter", "Apply Cropping to X_hat with Zero Quarter", nullptr,
                "successfully Apply Cropping with Zero In Quarter percentage.", false, kPicture, false, false};
    case Step::CropImageQuarter:
        return {"actIPApplyCroppingByImgInQuarter", "Apply Cropping to X_hat with Image quarter", nullptr,
                "successfully Apply Cropping with Image In Quarter percentage.", false, kPicture, false, false};
    case Step::CropZeroHalf:
        return {"actIPApplyCroppingByZeroInHalf", "Apply Cropping to X_hat with Zero Half", nullptr,
                "successfully Apply Cropping with zero In Half percentage.", false, kPicture, false, false};
    case Step::CropImageHalf:
        return {"actIpApplyCroppingByImgInHalf", "Apply Cropping to X_hat with Image Half", nullptr,
                "successfully Apply Cropping with Image In Half percentage.", false, kPicture, false, false};
    case Step::GetY_wave:
        return {"actGetY_wave", "Get Y ( = FDCT(X_wave) )", "get Y_wave.", "successfully got Y_wave.", true, kPicture,
                false, false};
    case Step::GetYr_wave:
        return {"actGetYr_wave", "Get Yr_wave ( = Reduce (Y_wave) )", "get Yr_wave.", "successfully got Yr_wave.", true,
                kPicture, false, false};
    case Step::GetP_wave:
        return {"actGetP_wave", "Get P_wave ( =  Polarity( Yr_wave) )", "get P_wave.", "successfully got P_wave.", true,
                kPicture, false, false};
    case Step::GetWa_wave:
        return {"actGetWa_wave", "Get Wa_wave ( = XOR(P, P_wave) )", "get Wa_wave.", "successfully got Wa_wave.", true,
                kPanel, false, false};
    case Step::GetWr_wave:
        return {"actGetWr_wave", "Get Wr_wave ( reverse adaptive )", "get Wr_wave.", "successfully got Wr_wave.", true,
                kPanel, false, false};
    case Step::GetW_wave:
        return {"actGetW_wave", "Get W_wave ( reverse random number )", "get W_wave.", "successfully got W_wave.", true,
                kPanel, true, false};
    case Step::GetNC:
        return {"actGetNC", "Get Normalized Correlation", "get the normalized cross-correlation.", nullptr, false,
                kPicture, false, false};
    case Step::SaveW_wave:
        return {"actSaveW_wave", "Save W_wave to File", "save W_wave.", "successfully saved W_wave.", false, kPicture,
                false, true};
    }
    return {};
}

// The measurement of equal images, which has no PSNR.
constexpr const char* kImagesEqual = "Watermarked image is equal to Original image\rPSNR is infinite value";

}  // namespace

QAction* TMDIChild::CreateStepAction(Step step) {
    const Presentation p = PresentationOf(step);
    auto* action = new QAction(QString::fromUtf8(p.caption), this);
    action->setObjectName(QString::fromLatin1(p.action));
    action->setCheckable(true);
    action->setVisible(!p.hidden);
    // Qt toggles a checkable action before `triggered`; the marks show only what the
    // experiment has run, so the toggle is taken back at once, before the command runs.
    connect(action, &QAction::triggered, action, [action](bool checked) { action->setChecked(!checked); });
    if (step == Step::LoadWatermark) {
        connect(action, &QAction::triggered, this, [this] { frame_.Run([this] { LoadWatermarkCommand(); }); });
    } else {
        connect(action, &QAction::triggered, this, [this, step] { frame_.Run([this, step] { StepCommand(step); }); });
    }
    return action;
}

void TMDIChild::CreateWatermarkMenus() {
    TfrmMain& f = frame_;
    auto* file = new QMenu(QStringLiteral("&File"));
    file->addActions({f.FileOpen1, f.FileSave1, f.FileSaveAs1});
    file->addSeparator();
    file->addActions({f.Print1, f.PageSetup1});
    file->addSeparator();
    file->addAction(f.FileExit1);

    // One menu per group of steps, in the experiment's order.
    auto* embedment = new QMenu(QStringLiteral("Watermark Embedment"));
    auto* imageProcessing = new QMenu(QStringLiteral("Image Processing"));
    auto* extraction = new QMenu(QStringLiteral("Watermark Extraction"));
    for (const StepInfo& info : Experiment::Steps()) {
        QMenu* menu = info.group == StepGroup::Embedding ? embedment
                      : info.group == StepGroup::Attack  ? imageProcessing
                                                         : extraction;
        QAction* action = CreateStepAction(info.step);
        stepActions_ << action;
        menu->addAction(action);
        if (PresentationOf(info.step).separatorAfter) menu->addSeparator();
    }

    auto* window = new QMenu(QStringLiteral("&Window"));
    window->addActions({f.WindowTileHorizontal1, f.WindowTileVertical1, f.WindowCascade1, f.WindowArrangeAll1});
    window->addSeparator();
    window->addAction(f.WindowMinimizeAll1);
    QAction* show = window->addAction(QStringLiteral("&Show..."));  // no command behind it
    show->setObjectName(QStringLiteral("mnuShow"));
    const int fixedItems = static_cast<int>(window->actions().size());
    connect(window, &QMenu::aboutToShow, this, [this, window, fixedItems] { frame_.FillWindowList(window, fixedItems); });

    menus_ = {file, embedment, imageProcessing, extraction, window};
}

// ---- The commands -----------------------------------------------------------------------------

void TMDIChild::LoadWatermarkCommand() {
    if (document_.Picture().empty()) {
        frame_.Prompts().message(Experiment::Info(Step::LoadWatermark).refusal);
        return;
    }
    frame_.LoadWatermarkInto(this);
    frame_.ShowStatus(0, QString::fromUtf8(PresentationOf(Step::LoadWatermark).end));
    // A cancelled dialog has emptied the panel: nothing is loaded, every step must wait.
    if (document_.Watermark().empty()) document_.ForgetSteps();
    SyncMarks();
}

void TMDIChild::StepCommand(Step step) {
    if (!document_.GetExperiment().CanRun(step)) {
        frame_.Prompts().message(Experiment::Info(step).refusal);
        return;
    }
    switch (Experiment::Info(step).kind) {
    case StepKind::Attack: RunAttack(step); return;
    case StepKind::Save: RunSave(step); return;
    default: break;
    }
    const Presentation p = PresentationOf(step);
    const BusyCursor busy(p.busy);
    if (p.start != nullptr) frame_.ShowStatus(0, QString::fromUtf8(p.start));
    const StepResult result = document_.RunStep(step, p.target);
    if (result.ImagesEqual()) frame_.Prompts().message(kImagesEqual);
    Redraw();
    if (p.end != nullptr) frame_.ShowStatus(0, QString::fromUtf8(p.end));
    for (const Report& report : result.Reports()) ShowReport(report);
}

// An attack makes a new X_wave: the experiment forgets what was extracted from the old one.
// Its results are on screen before X_wave is.
void TMDIChild::RunAttack(Step step) {
    const Presentation p = PresentationOf(step);
    const BusyCursor busy(p.busy);
    const StepResult result = document_.RunStep(step, p.target);
    if (result.ImagesEqual()) frame_.Prompts().message(kImagesEqual);
    for (const Report& report : result.Reports()) ShowReport(report);
    Redraw();
    frame_.ShowStatus(0, QString::fromUtf8(p.end));
}

// The two saves: the save-picture dialog, then a bitmap file of the picture shown or of the
// extracted watermark. A cancelled dialog still counts as the step having run.
void TMDIChild::RunSave(Step step) {
    const Presentation p = PresentationOf(step);
    frame_.ShowStatus(0, QString::fromUtf8(p.start));
    if (const auto chosen = frame_.ExecuteDialog(frame_.SavePDlg)) {
        const Bitmap& picture = step == Step::SaveX_hat ? Picture() : document_.ExtractedView();
        // A panel cleared since the step ran has nothing to write; say so rather than
        // writing an empty file or reporting success.
        if (picture.empty()) throw FormatError("Cannot save " + S(chosen->fileName) + ": there is no picture to save");
        WriteQtPicture(FilePath(chosen->fileName), picture, false, PictureFormat::Bmp);
    }
    document_.RunStep(step, p.target);
    SyncMarks();
    frame_.ShowStatus(0, QString::fromUtf8(p.end));
}

}  // namespace quillfen::ui
