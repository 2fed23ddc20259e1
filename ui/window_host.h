#pragma once
// What the windows inside the frame need of it, and all they know of it. A document window
// (TMDIChild) and the robustness window talk to the frame through these two small
// interfaces, which TfrmMain implements, and through their own signals, which the frame
// connects; neither includes the frame, so that ui/ has no cycle of includes.
#include <cstdint>
#include <functional>
#include <optional>

#include <QString>

#include "quillfen/image/bitmap.h"
#include "ui/file_dialogs.h"

class QAction;
class QMenu;
class QWidget;

namespace quillfen::ui {

class TMDIChild;
class TfrmHistogram;
class TfrmParamHough;
class UserPrompts;

// The frame's own file dialogs that the documents open. Each remembers the format chosen in
// it last, for every document.
enum class SharedDialog {
    OpenPicture,  // a picture to read (a watermark, a picture attacked elsewhere)
    SavePicture,  // a bitmap file (the steps' saves)
    SaveKey,      // the key of an embedding
    SaveMarked,   // the watermarked image, in any format
    SaveMark,     // a watermark panel's picture (the watermark, the mark extracted)
};

// The frame's actions that a document's menus show beside its own. They work on the active
// document or on the frame, whichever document's menus show them.
struct FrameActions {
    QAction* FileOpen1 = nullptr;
    QAction* FileSave1 = nullptr;
    QAction* FileSaveAs1 = nullptr;
    QMenu* mnuRecent = nullptr;  // File > Recent Files
    QAction* FileClose1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* PageSetup1 = nullptr;
    QAction* FileExit1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* ZoomIn1 = nullptr;
    QAction* ZoomOut1 = nullptr;
    QAction* ZoomFit1 = nullptr;
    QAction* ZoomActual1 = nullptr;
    QAction* SetSeed1 = nullptr;
    QAction* RunEmbedding1 = nullptr;
    QAction* RunWholeExperiment1 = nullptr;
    QAction* RunExtraction1 = nullptr;
    QAction* WindowTileHorizontal1 = nullptr;
    QAction* WindowTileVertical1 = nullptr;
    QAction* WindowCascade1 = nullptr;
    QAction* WindowArrangeAll1 = nullptr;
    QAction* WindowMinimizeAll1 = nullptr;
    QAction* WindowResults1 = nullptr;
    QAction* WindowRobustness1 = nullptr;
};

// What a document window asks of the frame. What it has to say goes the other way, as its
// signals (mdi_child.h).
class DocumentHost {
public:
    // Runs one command under the frame's error report: an error escaping it is shown in a
    // modal error box and the program goes on; the enabled states follow afterwards.
    virtual void Run(const std::function<void()>& command) = 0;
    virtual UserPrompts& Prompts() const = 0;
    // Runs one of the frame's file dialogs, opened in the folder of the last file chosen; a
    // save dialog starts with `proposedName` when there is one.
    virtual std::optional<FileDialogResult> ExecuteDialog(SharedDialog dialog, const QString& proposedName = QString()) = 0;
    // The frame's actions, for the document's menus.
    virtual const FrameActions& Actions() const = 0;
    // Appends the list of open documents to a Window menu (after `keep` fixed items).
    virtual void FillWindowList(QMenu* menu, int keep) = 0;
    // Whether work of this size (pixels times the work per pixel) goes to a worker thread.
    virtual bool RunsInBackground(double work) const = 0;
    // The null trials of the key's own calibration that Save Key measures.
    virtual std::uint32_t KeyCalibrationTrials() const = 0;
    // Asks whether to save the document's unsaved changes and saves when told to. True when
    // the document may close.
    virtual bool ConfirmClose(TMDIChild& document) = 0;
    // The shared histogram window and Hough parameter dialog; nullptr before they exist.
    virtual TfrmHistogram* HistogramWindow() const = 0;
    virtual TfrmParamHough* HoughDialog() const = 0;

protected:
    ~DocumentHost() = default;
};

// What the robustness window asks of the frame.
class RobustnessHost {
public:
    virtual void Run(const std::function<void()>& command) = 0;
    virtual UserPrompts& Prompts() const = 0;
    // Runs a file dialog over `parent`, opened in the folder of the last file chosen in any
    // dialog.
    virtual std::optional<FileDialogResult> ExecuteDialog(FileDialogRequest& request, QWidget* parent) = 0;
    // The document the sweep may take its host from; nullptr for none.
    virtual TMDIChild* ActiveDocument() const = 0;
    // A new document window showing `picture`, with no file yet.
    virtual TMDIChild* OpenPicture(Bitmap picture, const QString& title) = 0;

protected:
    ~RobustnessHost() = default;
};

}  // namespace quillfen::ui
