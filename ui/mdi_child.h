#pragma once
// TMDIChild: one document window. It draws its Document (document.h) and carries its
// commands: the watermark menus, whose check marks show which steps of the experiment have
// run, and the popup menu of image-processing commands built from the toolbox catalogue.
// The main frame reaches the document through the few commands below and never writes into
// it; the document reaches the frame through DocumentHost (window_host.h) only, and tells it
// what changed through its signals: what it says in the status bar, that it was drawn again,
// each result line that comes and goes, and when background work starts or ends.
//
// Naming: the classes and components keep the names of the program's first design, which the
// rest of the code and the action names follow: a T prefix for classes, frm for forms,
// act/mnu/pmu for actions and menu entries, img for pictures; the toolbox actions carry the
// menu they belong to as a suffix ("1S" Segmentation, "1E" Entropy or Edge Detection, "1FS"
// Fuzzy Set, "1H" Histogram, "1G1E" Gradient in Edge Detection, "1L1E" Laplacian in Edge
// Detection, "1T" Thinning, "1NR" Noise Removement, "1FD" Feature Detection).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QList>
#include <QString>
#include <QWidget>

#include "quillfen/image/bitmap.h"
#include "quillfen/watermark/experiment.h"
#include "ui/document.h"
#include "ui/window_host.h"

class QAction;
class QMenu;
class QScrollArea;

namespace quillfen::toolbox {
struct Operation;
}

namespace quillfen::ui {

class BackgroundJob;
class PictureView;

// The two watermark panels of the main frame.
enum class WatermarkPanel { Embedded, Extracted };

class TMDIChild : public QWidget {
    Q_OBJECT
public:
    explicit TMDIChild(DocumentHost& host, QWidget* parent = nullptr);
    ~TMDIChild() override;

    // The document, read only.
    const Document& Model() const { return document_; }
    // The picture on screen: the view the last step left, or the document's picture
    // (Model().Picture(), what Save writes).
    const Bitmap& Picture() const;
    // Makes the client area as large as the picture at its zoom, within the workspace: a
    // window never grows past the frame's document area, and one that would leave it moves
    // back in.
    void SizeToPicture();
    // A new document's zoom and size: at 1:1 when it fits the workspace, zoomed to fit it
    // otherwise (Zoom to Fit).
    void FitNewDocument();
    // The workspace has changed its size: a new document zoomed to fit it is fitted again.
    void WorkspaceResized();
    // The file the document was opened from or last saved to (its caption, with "*" while
    // the picture has changes that are not saved).
    QString FileName() const { return fileName_; }
    void SetFileName(const QString& fileName);
    // The name the window goes by: the file's name without its folder (the whole name is the
    // window's tooltip), or the caption of a picture without a file; the frame adds " (2)",
    // " (3)" ... while other open documents go by the same name.
    QString Title() const { return title_; }
    QString BaseTitle() const;
    void SetTitle(const QString& title);
    // The picture differs from the file's.
    bool Modified() const { return document_.Modified(); }
    void MarkSaved();
    // A picture made in the program, with no file yet (Document::MarkNeverSaved).
    void MarkNeverSaved();

    // ---- The status bar's panels 0..2 as this document last wrote them ------------------
    // A text written to a panel (StatusSaid); `line` is the result line it shows (0 for
    // none), so that the text goes when the line goes.
    void Say(int panel, const QString& text, std::uint64_t line = 0);
    // What the panel shows for this document: its text, for panel 2 else the picture's size
    // and zoom; empty when it has said nothing there (the frame shows the panel's own text).
    QString PanelText(int panel) const;
    QString SizeText() const;

    // ---- Zoom ---------------------------------------------------------------------------
    double Zoom() const;
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();
    // Zoom to Fit: the largest zoom at which the whole picture fits the visible workspace
    // (a maximized window: its own area), the window sized to it.
    void ZoomFit();
    PictureView* View() const { return imgFile_; }

    // ---- Background work ----------------------------------------------------------------
    bool Busy() const { return job_ != nullptr; }
    const BackgroundJob* Job() const { return job_; }
    // Stops the work (nothing changes) and, with `wait`, waits until it has ended; without,
    // the work ends on its own and nothing it makes is used.
    void CancelWork(bool wait = true);

    // The menus that replace the frame's while this window is active: File, Edit, View,
    // Watermark Embedment, Image Processing, Watermark Extraction, Window.
    const QList<QMenu*>& Menus() const { return menus_; }
    QMenu* PopupMenu() const { return popup_; }
    // An action of the popup menu or of the watermark menus by name; nullptr when there is none.
    QAction* Action(const QString& name) const;
    // The watermark menus' action of a step.
    QAction* StepAction(Step step) const;

    // ---- Commands the main frame forwards ------------------------------------------------
    // A newly opened picture; an empty one when the file could not be read.
    void Open(Bitmap picture, PixelFormat format);
    void Open(PreparedPicture prepared);
    void Undo();
    void Redo();
    bool CanUndo() const { return document_.CanUndo(); }
    bool CanRedo() const { return document_.CanRedo(); }
    // The watermark panels' LoadFromFile: the picture dialog, then the chosen picture as the
    // watermark (refused while the document shows no picture; a cancelled dialog empties the
    // panel).
    void LoadWatermarkFromFile();
    // "Clear" on one of the frame's watermark panels.
    void ClearPanel(WatermarkPanel panel);
    // The generator's seed for every Get Wr (nullopt: the clock), for repeatable runs.
    void SetFixedSeed(std::optional<std::uint32_t> seed) { document_.SetFixedSeed(seed); }

    // A row of the robustness window: the watermark and the extracted mark in the panels, the
    // row's measures in the Results list and the status bar.
    void ShowRowPictures(Bitmap mark, Bitmap extracted, const std::string& source,
                         const std::vector<StepReport>& reports);

    // ---- The commands of the window's own menus -------------------------------------------
    // Load Watermark (W): the picture dialog (LoadWatermarkFromFile), then a fresh start of the steps.
    void LoadWatermarkCommand();
    // One step of the watermark menus: refused with its message when its predecessor has not
    // run; otherwise it runs, shows its view, sets its mark and reports. False when refused.
    bool StepCommand(Step step);
    // Several steps in a row, exactly as their menu items run them, up to the first refusal:
    // Run Embedding (Get Wr .. Get X_hat, Get PSNR), Run Extraction (Get Y_wave .. Get NC)
    // and Run Whole Experiment (both, with the attack checked in the Image Processing menu,
    // or No Attack when none is).
    bool RunSteps(const std::vector<Step>& steps);
    void RunEmbeddingCommand();
    void RunExtractionCommand();
    void RunWholeExperimentCommand();
    static std::vector<Step> EmbeddingSteps();
    static std::vector<Step> ExtractionSteps();
    // Set Seed...: the seed of the next Get Wr, from an input box (empty: the clock).
    void SetSeedCommand();
    // After Get X_hat: Save Key... writes the key of the embedding, Save Watermarked Image...
    // the host at full size with the marked region in place, each as `quillfen-cli embed`
    // writes it. Refused before Get X_hat with Save X_hat's message, before any dialog.
    void SaveKeyCommand();
    void SaveWatermarkedImageCommand();
    // Load Attacked Image...: a picture attacked outside the program, from any picture file,
    // becomes X_wave (registered to the watermarked image when its size differs), so that the
    // extraction steps score it. Refused before Get X_hat with the attacks' message.
    void LoadAttackedImageCommand();
    // One image-processing command: asks for its arguments, runs, draws again and reports.
    void ToolboxCommand(const toolbox::Operation& operation);

    // The frame's close on Exit has already asked about this document's changes.
    void SetCloseConfirmed() { closeConfirmed_ = true; }

signals:
    // A status panel's text changed (Say): the frame shows it while this document is active.
    void StatusSaid(int panel, const QString& text);
    // The document was drawn again (its picture, zoom, panels or marks may have changed).
    void Changed();
    // A result line joined the document's results, or left them.
    void ResultAdded(const ResultLine& line);
    void ResultRemoved(quint64 id);
    // Background work started or ended.
    void BusyChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateWatermarkMenus();
    void CreatePopupMenu();
    // A checkable action of the watermark menus for `step`, connected to StepCommand.
    QAction* CreateStepAction(Step step);
    void RunAttack(Step step);
    void RunSave(Step step);
    // Shows the document again: the picture and the step marks; the frame follows (Changed).
    void Redraw();
    void SyncMarks();
    // A result line in its status panel, its real number in the user's notation.
    void ShowLine(const ResultLine& line);
    void ShowNewLines(std::uint64_t before);
    // An entry without a command: shown, but disabled and saying so.
    static void MarkUnavailable(QAction* action);
    // A result line has gone: a panel that showed it shows the newest line left for it.
    void LineGone(std::uint64_t id);
    // Work on the document's pixels, on a worker thread with progress and Cancel: `work`
    // runs there (on copies, or reading a document nothing changes meanwhile) and returns
    // what is then done here with its result, unless the work was cancelled or failed.
    using Apply = std::function<void()>;
    // `onCopies`: the work reads nothing the document may change meanwhile (only copies and
    // pictures that never change), so a cancel need not wait for it to end.
    void StartJob(const QString& caption, std::function<Apply(ProgressSink&)> work, bool onCopies = true);
    void FinishJob();
    // Whether an embedding has begun on the picture (a change of the picture ends it), and the
    // status text that says it has ended.
    bool EmbeddingRan() const;
    void SayEmbeddingEnded();
    // Undo or Redo, on a worker for large pictures.
    void Swap(bool undoing);
    // The document's commands are off while background work runs on it.
    void SetCommandsEnabled(bool enabled);

    DocumentHost& host_;
    Document document_;
    PictureView* imgFile_;
    QScrollArea* scroll_;
    QMenu* popup_;
    QList<QMenu*> menus_;
    QList<QAction*> toolboxActions_;  // the popup menu's actions, and those on no menu
    QList<QAction*> stepActions_;     // one per step, in step order
    QList<QAction*> fileActions_;     // Save Key, Save Watermarked Image, Load Attacked Image
    struct PanelMemory {
        QString text;  // empty: the panel's initial text
        std::uint64_t line = 0;
    };
    std::array<PanelMemory, 3> panels_;
    BackgroundJob* job_ = nullptr;
    std::shared_ptr<Apply> jobApply_;
    QString jobCaption_;
    bool jobOnCopies_ = true;
    QString fileName_;
    QString title_;
    bool fittedToWorkspace_ = false;  // zoomed out by FitNewDocument, not zoomed since
    bool closeConfirmed_ = false;
};

}  // namespace quillfen::ui
