#pragma once
// TMDIChild: one document window. It draws its Document (document.h) and carries its
// commands: the watermark menus, whose check marks show which steps of the experiment have
// run, and the popup menu of image-processing commands built from the toolbox catalogue.
// The main frame reaches the document through the few commands below and never writes into
// it.
//
// Naming: the classes and components keep the names of the program's first design, which the
// rest of the code and the action names follow: a T prefix for classes, frm for forms,
// act/mnu/pmu for actions and menu entries, img for pictures; the toolbox actions carry the
// menu they belong to as a suffix ("1S" Segmentation, "1E" Entropy or Edge Detection, "1FS"
// Fuzzy Set, "1H" Histogram, "1G1E" Gradient in Edge Detection, "1L1E" Laplacian in Edge
// Detection, "1T" Thinning, "1NR" Noise Removement, "1FD" Feature Detection).
#include <QList>
#include <QString>
#include <QWidget>

#include "image/bitmap.h"
#include "ui/document.h"
#include "watermark/experiment.h"

class QAction;
class QMenu;
class QScrollArea;

namespace quillfen::toolbox {
struct Operation;
}

namespace quillfen::ui {

class PictureView;
class TfrmMain;

// The two watermark panels of the main frame.
enum class WatermarkPanel { Embedded, Extracted };

class TMDIChild : public QWidget {
    Q_OBJECT
public:
    explicit TMDIChild(TfrmMain& frame, QWidget* parent = nullptr);
    ~TMDIChild() override;

    // The document, read only.
    const Document& Model() const { return document_; }
    // The picture on screen (the document's, once a command has finished).
    const Bitmap& Picture() const;
    // Makes the client area as large as the picture.
    void SizeToPicture();

    // The menus that replace the frame's while this window is active: File, Watermark
    // Embedment, Image Processing, Watermark Extraction, Window.
    const QList<QMenu*>& Menus() const { return menus_; }
    QMenu* PopupMenu() const { return popup_; }
    // An action of the popup menu or of the watermark menus by name; nullptr when there is none.
    QAction* Action(const QString& name) const;
    // The watermark menus' action of a step.
    QAction* StepAction(Step step) const;

    // ---- Commands the main frame forwards ------------------------------------------------
    // A newly opened picture; an empty one when the file could not be read.
    void Open(Bitmap picture, PixelFormat format);
    void Undo();
    bool CanUndo() const { return document_.CanUndo(); }
    // The watermark picture chosen in the frame's load dialog, or the dialog cancelled.
    void LoadWatermark(Bitmap mark);
    void DropWatermark();
    // "Clear" on one of the frame's watermark panels.
    void ClearPanel(WatermarkPanel panel);
    // The generator's seed for the next Get Wr (nullopt: the clock), for repeatable runs.
    void SetFixedSeed(std::optional<std::uint32_t> seed) { document_.SetFixedSeed(seed); }

    // ---- The commands of the window's own menus -------------------------------------------
    // Load Watermark (W): the frame's load dialog, then a fresh start of the steps.
    void LoadWatermarkCommand();
    // One step of the watermark menus: refused with its message when its predecessor has not
    // run; otherwise it runs, shows its view, sets its mark and reports.
    void StepCommand(Step step);
    // One image-processing command: asks for its arguments, runs, draws again and reports.
    void ToolboxCommand(const toolbox::Operation& operation);
    // Shows the about box; kept for a popup entry, none of which calls it today.
    void pmnAboutClick();

private:
    void CreateWatermarkMenus();
    void CreatePopupMenu();
    // A checkable action of the watermark menus for `step`, connected to StepCommand.
    QAction* CreateStepAction(Step step);
    void RunAttack(Step step);
    void RunSave(Step step);
    // Shows the document again: the picture, the frame's panels and the step marks.
    void Redraw();
    void SyncMarks();
    // A report in its status panel, its real number in the user's notation.
    void ShowReport(const Report& report);

    TfrmMain& frame_;
    Document document_;
    PictureView* imgFile_;
    QScrollArea* scroll_;
    QMenu* popup_;
    QList<QMenu*> menus_;
    QList<QAction*> toolboxActions_;  // the popup menu's actions, and those on no menu
    QList<QAction*> stepActions_;     // one per step, in step order
};

}  // namespace quillfen::ui
