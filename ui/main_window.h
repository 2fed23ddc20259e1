#pragma once
// TfrmMain: the multi-document frame. It owns the shared actions, the two watermark panels,
// the status bar through which every command reports, the Results dock, the file dialogs and
// the file commands that open and save documents. The documents own their data: the panels,
// the status bar and the Results dock show the active document's, and the frame forwards its
// commands to the active document. What the program remembers between runs (the last folder,
// the recent files, the window's geometry and docks) lives in QSettings.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include "quillfen/benchmark/key_calibration.h"
#include "quillfen/image/bitmap.h"
#include "ui/document.h"
#include "ui/file_dialogs.h"
#include "ui/window_host.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace quillfen::ui {

class UserPrompts;

class BackgroundJob;
class PictureView;
class ResultsDock;
class TMDIChild;
class TfrmAbout;
class TfrmHistogram;
class TfrmParamHough;
class TfrmProperties;
class TfrmRobustness;

// The frame's file dialogs, described as data: each remembers the filter chosen in it last.
struct FrameDialogs {
    FileDialogRequest openDlg;
    FileDialogRequest SaveDlg;
    FileDialogRequest OpenPDlg;
    FileDialogRequest SavePDlg;
    FileDialogRequest SaveKeyDlg;     // the key of an embedding
    FileDialogRequest SaveMarkedDlg;  // the watermarked image, in any format
    FileDialogRequest SaveMarkDlg;    // a watermark panel's picture
};

// Every action of the frame: the action list actlstMenu of the program's first design and the
// commands that forward to the active document (FrameActions, which the documents' menus
// show too), and the watermark panels' popup menu.
struct FrameActionList : FrameActions {
    QAction* EditCut1 = nullptr;
    QAction* EditCopy1 = nullptr;
    QAction* EditPaste1 = nullptr;
    QAction* HelpAbout1 = nullptr;
    QAction* Property1 = nullptr;
    QAction* PrintPreview1 = nullptr;
    QAction* CancelWork1 = nullptr;
    QAction* pmuLoadFromFile = nullptr;
    QAction* pmuSaveToFile = nullptr;
    QAction* pmuClear = nullptr;
    QList<QAction*> actlstMenu;
};

class TfrmMain : public QMainWindow, public DocumentHost, public RobustnessHost {
    Q_OBJECT
public:
    TfrmMain(UserPrompts& prompts, FileDialogs& dialogs, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The auxiliary windows created after the frame at program start.
    void SetForms(TfrmAbout* about, TfrmHistogram* histogram, TfrmParamHough* paramHough,
                  TfrmProperties* properties);

    // ---- What the windows inside the frame ask of it (window_host.h) -------------------
    // Runs one command: an error escaping it is shown in the default error report (a modal
    // error box with its text) and the program goes on; afterwards the enabled states are
    // brought up to date, since any command may change them.
    void Run(const std::function<void()>& command) override;
    UserPrompts& Prompts() const override { return prompts_; }
    // Runs a file dialog, opened in the folder of the last file chosen in any dialog (kept
    // between runs); the chosen filter index is remembered, so that the next dialog of the
    // same kind starts with the format the user chose last.
    std::optional<FileDialogResult> ExecuteDialog(FileDialogRequest& request);
    // The same over `parent` (a window of its own keeps the keyboard and stays in front).
    std::optional<FileDialogResult> ExecuteDialog(FileDialogRequest& request, QWidget* parent) override;
    // One of the frame's dialogs; a save dialog starts with `proposedName` (a picture name gets
    // the extension of the format chosen last).
    std::optional<FileDialogResult> ExecuteDialog(SharedDialog dialog, const QString& proposedName = QString()) override;
    const FrameActions& Actions() const override { return actions_; }
    // Appends the list of open documents to a "&Window" menu (after `keep` fixed items).
    void FillWindowList(QMenu* menu, int keep) override;
    // Whether work of this size (pixels times the work per pixel) goes to a worker thread
    // with progress and Cancel; smaller work runs at once.
    bool RunsInBackground(double work) const override { return work >= backgroundWork_; }
    std::uint32_t KeyCalibrationTrials() const override { return keyCalibrationTrials_; }
    // Asks whether to save `document`'s unsaved changes (Save / Discard / Cancel) and saves
    // when told to. True when the document may close.
    bool ConfirmClose(TMDIChild& document) override;
    TfrmHistogram* HistogramWindow() const override { return frmHistogram_; }
    TfrmParamHough* HoughDialog() const override { return frmParamHough_; }
    TMDIChild* ActiveDocument() const override;
    // Creates a document window for a picture made in the program (no file yet: Save asks for
    // a name), captioned `title`.
    TMDIChild* OpenPicture(Bitmap picture, const QString& title) override;

    // ---- The status bar ----------------------------------------------------------------
    // Writes a panel of the status bar. Panels 0..2 belong to the active document, which
    // keeps the text and has it shown again when it becomes active again.
    void ShowStatus(int panel, const QString& text);
    void ShowStatus(int panel, const std::string& text);
    QString StatusText(int panel) const;
    // The initial text of a panel, shown while no document says anything else.
    static QString InitialStatus(int panel);

    // ---- Its own operations ----------------------------------------------------------
    void SetBackgroundWork(double work) { backgroundWork_ = work; }
    // The null trials of the key's own calibration that Save Key measures (tests ask for few).
    void SetKeyCalibrationTrials(std::uint32_t trials) { keyCalibrationTrials_ = trials; }
    // Writes `document`'s picture to its own file, or asks for a name when it has none.
    // True once written.
    bool SaveDocument(TMDIChild& document);
    // The save dialog of Save As, started at `document`'s own name, folder and format; a
    // document without a file (a robustness row) is proposed its caption as a name, in the
    // format chosen last.
    std::optional<FileDialogResult> AskSaveName(const TMDIChild& document);
    // Creates a document window for an image file; nothing (and no window) when no file of
    // that name exists or when it cannot be read (with a warning saying why).
    TMDIChild* OpenImageFile(const QString& fileName);
    // The same for the user's commands (Open, a drop, Recent Files, the command line): a large
    // file is read on a worker thread, with the status bar's busy bar and Cancel, and its
    // window opens once it has been read; a small one opens at once.
    void OpenImageFileLater(const QString& fileName);
    // Files this large (bytes) are read on a worker thread.
    static constexpr qint64 kBackgroundOpenBytes = 2 * 1024 * 1024;
    // Files being read on a worker thread.
    int PendingOpens() const { return static_cast<int>(opening_.size()); }
    // Window > Robustness...: the robustness window, made on first use.
    TfrmRobustness* Robustness();
    // Writes the active document's picture in the format of a save filter index (1 bitmap,
    // 2 PNG, 3 JPEG, 4 PGM); the document then goes by the name written. Returns that name,
    // or nothing when nothing was written.
    std::optional<QString> SaveImageFile(int formatIndex, const QString& fileName);
    std::optional<QString> SaveImageFile(TMDIChild& document, int formatIndex, const QString& fileName);
    // The 256-level gray palette form in which 8-bit documents are saved.
    static Gray8Bitmap ConvertToGray8(const Bitmap& bitmap);
    // Decides what is enabled (Save, Save As, Close, Undo, Property) and what the panels
    // show, from the documents as they are now. Named after the idle handler it once was;
    // it runs after every command and whenever the active document changes.
    void AppIdle();

    // ---- Command handlers ------------------------------------------------------------
    void FileOpen1Execute();
    void FileSave1Execute();
    void FileSaveAs1Execute();
    void FileClose1Execute();
    void FileExit1Execute();
    void HelpAbout1Execute();
    void Property1Execute();
    void PrintPreview1Execute() {}
    void Undo1Execute();
    void Redo1Execute();
    // Stops the active document's background work (Esc, or the status bar's Cancel).
    void CancelWorkExecute();
    // The files dropped on the frame open as documents.
    void OpenDroppedFiles(const QStringList& fileNames);
    // The recent files, newest first, and a file to put at their top.
    QStringList RecentFiles() const { return recentFiles_; }
    void AddRecentFile(const QString& fileName);
    // Keeps `fileName` up to date with the active document's results as CSV (for scripts);
    // false, and nothing kept, when the file cannot be written.
    bool SetResultsCsvFile(const QString& fileName);
    // Writes the results CSV of the active document to `fileName`; false when it cannot.
    bool SaveResultsCsv(const QString& fileName);
    // The watermark panels' popup menu: LoadFromFile (into the active document), SaveToFile
    // and Clear.
    void pmuLoadFromFileClick();
    void pmuSaveToFileClick();
    void pmuClearClick();
    // The panel whose popup menu was opened last (EmbeddedPanel or ExtractedPanel).
    // SaveToFile is on while that panel shows a picture.
    void SetPopupComponent(PictureView* panel);

    // ---- Documents -------------------------------------------------------------------
    QList<TMDIChild*> Documents() const;
    int MDIChildCount() const { return static_cast<int>(Documents().size()); }
    // Puts the menus of the active document (or the frame's own) into the menu bar.
    void MergeMenus();
    // File, Edit, Window, Options, Help: the menus while no document is open.
    QList<QMenu*> FrameMenus() const { return frameMenus_; }

    // ---- Its parts, for the tests and the screenshots ----------------------------------
    const FrameActionList& AllActions() const { return actions_; }
    const FrameDialogs& Dialogs() const { return requests_; }
    QMdiArea* MdiArea() const { return mdiArea_; }
    // The watermark panels: "Embedded Watermark" (imgW0) and "Extracted Watermark" (imgW0_w).
    PictureView* EmbeddedPanel() const { return imgW0_; }
    PictureView* ExtractedPanel() const { return imgW0_w_; }
    QMenu* WatermarkMenu() const { return ppWatermark0_; }
    ResultsDock* ResultsList() const { return dockResults_; }
    QProgressBar* WorkProgress() const { return prgWork_; }
    QToolButton* CancelWorkButton() const { return btnCancelWork_; }

    // The first window's size: room for the menus, the watermark strip, a 512 x 512 picture
    // and the Results list, within nine tenths of the screen.
    static QSize DefaultSize();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

signals:
    // Emitted by ShowStatus after a panel's text changed: the sequence of reports of a
    // command, which the panels alone (each keeping only its last line) cannot show.
    void StatusShown(int panel, const QString& text);

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateWatermarkStrip();
    void CreateStatusBar();
    void CreateResultsDock();
    void RestoreSettings();
    void SaveWindowSettings() const;
    void RebuildRecentMenu();
    // Follows the active document's background work in the status bar.
    void ShowWork();
    // Sets a panel's label, without remembering the text for a document; `announce` emits
    // StatusShown, as a report does.
    void SetPanel(int panel, const QString& text, bool announce = false);
    // Shows `document`'s panels, picture size and watermark panels when it is the active one.
    void ShowDocument(const TMDIChild& document);
    // The Results dock shows the active document's lines (rebuilt when another document
    // becomes active; told of each line as it comes and goes otherwise).
    void FollowActiveResults();
    // A result line of `document` came or went: the dock (and the results CSV) follow when
    // it is the active one.
    void ResultAdded(const TMDIChild& document, const ResultLine& line);
    void ResultRemoved(const TMDIChild& document, std::uint64_t id);
    void ResultsChanged();

    void TileDocuments(bool horizontally);
    // Where a new document window goes: within the workspace, a step below and right of the
    // one before.
    void PlaceNewDocument(QMdiSubWindow* sub);
    // Window > Cascade: each window a step below and right of the one before, as large as its
    // picture within the workspace.
    void CascadeDocuments();
    void ArrangeMinimized();
    // The panels from the active document (empty without one).
    void RefreshPanels();
    // A watermark panel's picture enlarged, in a popup beside it.
    void ShowMagnified(PictureView* panel);
    // A new document window for `picture`, shown and active.
    TMDIChild* AddDocument(Bitmap picture, PixelFormat format, const QString& title);
    TMDIChild* AddDocument(PreparedPicture prepared, const QString& title);
    // A file dialog over `parent`, opened in `folder` (when it is one) or else the last folder.
    std::optional<FileDialogResult> ExecuteDialogIn(FileDialogRequest& request, const QString& folder, QWidget* parent);
    // Gives `document` its name, made unique among the open documents (" (2)", " (3)" ...).
    void TitleDocument(TMDIChild& document);
    // Tells in the new document's status bar that its file was open in another window already.
    void NoteAlreadyOpen(TMDIChild& document);
    // A file read on a worker has been read (or failed, or was cancelled).
    void FinishOpening(BackgroundJob* job);

    UserPrompts& prompts_;
    FileDialogs& dialogs_;
    TfrmAbout* frmAbout_ = nullptr;
    TfrmHistogram* frmHistogram_ = nullptr;
    TfrmParamHough* frmParamHough_ = nullptr;
    TfrmProperties* frmProperties_ = nullptr;
    FrameActionList actions_;
    FrameDialogs requests_;

    QMdiArea* mdiArea_ = nullptr;
    QToolBar* ToolBar1_ = nullptr;
    PictureView* imgW0_ = nullptr;
    PictureView* imgW0_w_ = nullptr;
    QLabel* lblInstructions_ = nullptr;
    QMenu* ppWatermark0_ = nullptr;
    // The main menu mainmnuMDI.
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuEdit_ = nullptr;
    QMenu* mnuWindow_ = nullptr;
    QMenu* mnuOptions_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    ResultsDock* dockResults_ = nullptr;
    QProgressBar* prgWork_ = nullptr;
    QToolButton* btnCancelWork_ = nullptr;

    std::array<QLabel*, 4> stsComment_{};
    QList<QMenu*> frameMenus_;
    PictureView* popupComponent_ = nullptr;
    double backgroundWork_ = 32.0 * 1024 * 1024;
    // embed's default, so that Save Key writes the key embed writes.
    std::uint32_t keyCalibrationTrials_ = kDefaultKeyTrials;
    QStringList recentFiles_;
    QString lastFolder_;
    QString resultsCsvFile_;
    QTimer* workTimer_ = nullptr;
    QLabel* magnifier_ = nullptr;  // the watermark panels' enlarged view
    TfrmRobustness* robustness_ = nullptr;
    // Files being read on worker threads, with what each gives once read.
    struct Opening {
        BackgroundJob* job = nullptr;
        QString fileName;
        std::shared_ptr<std::optional<PreparedPicture>> prepared;
    };
    QList<Opening> opening_;
    // The document whose lines the Results dock shows.
    QPointer<TMDIChild> resultsOf_;
};

}  // namespace quillfen::ui
