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
#include <string>

#include <QList>
#include <QMainWindow>
#include <QStringList>

#include "quillfen/benchmark/key_calibration.h"
#include "quillfen/image/bitmap.h"
#include "ui/document.h"
#include "ui/file_dialogs.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace quillfen {
class UserPrompts;
}

namespace quillfen::ui {

class PictureView;
class ResultsDock;
class TMDIChild;
class TfrmAbout;
class TfrmHistogram;
class TfrmParamHough;
class TfrmProperties;
class TfrmRobustness;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    TfrmMain(UserPrompts& prompts, FileDialogs& dialogs, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The auxiliary windows created after the frame at program start.
    void SetForms(TfrmAbout* about, TfrmHistogram* histogram, TfrmParamHough* paramHough,
                  TfrmProperties* properties);
    TfrmAbout* frmAbout() const { return frmAbout_; }
    TfrmHistogram* frmHistogram() const { return frmHistogram_; }
    TfrmParamHough* frmParamHough() const { return frmParamHough_; }
    TfrmProperties* frmProperties() const { return frmProperties_; }

    UserPrompts& Prompts() const { return prompts_; }

    // Runs one command: an error escaping it is shown in the default error report (a modal
    // error box with its text) and the program goes on; afterwards the enabled states are
    // brought up to date, since any command may change them.
    void Run(const std::function<void()>& command);

    // ---- Operations used by the documents -------------------------------------------
    // Writes a panel of the status bar. Panels 0..2 belong to the active document, which
    // keeps the text and has it shown again when it becomes active again.
    void ShowStatus(int panel, const QString& text);
    void ShowStatus(int panel, const std::string& text);
    QString StatusText(int panel) const;
    // Sets a panel's label, without remembering the text for a document; `announce` emits
    // StatusShown, as a report does.
    void SetPanel(int panel, const QString& text, bool announce = false);
    // The initial text of a panel, shown while no document says anything else.
    static QString InitialStatus(int panel);
    // Shows `document`'s panels, results, picture size and watermark panels when it is the
    // active one.
    void ShowDocument(const TMDIChild& document);
    // The watermark load: the picture dialog, then the chosen picture into `document`
    // (refused when it shows no picture; a cancelled dialog empties its panel).
    void LoadWatermarkInto(TMDIChild* document);
    // Shows `document`'s watermark and extracted view in the panels when it is the active one.
    void ShowPanelsOf(const TMDIChild& document);
    // Runs a file dialog, opened in the folder of the last file chosen in any dialog (kept
    // between runs); the chosen filter index is remembered, so that the next dialog of the
    // same kind starts with the format the user chose last.
    std::optional<FileDialogResult> ExecuteDialog(FileDialogRequest& request);
    // Whether work of this size (pixels times the work per pixel) goes to a worker thread
    // with progress and Cancel; smaller work runs at once.
    bool RunsInBackground(double work) const { return work >= backgroundWork_; }
    void SetBackgroundWork(double work) { backgroundWork_ = work; }
    // Asks whether to save `document`'s unsaved changes (Save / Discard / Cancel) and saves
    // when told to. True when the document may close.
    bool ConfirmClose(TMDIChild& document);
    // Writes `document`'s picture to its own file, or asks for a name when it has none.
    // True once written.
    bool SaveDocument(TMDIChild& document);

    // ---- Its own operations ----------------------------------------------------------
    // Creates a document window for an image file; nothing (and no window) when no file of
    // that name exists or when it cannot be read (with a warning saying why).
    TMDIChild* OpenImageFile(const QString& fileName);
    // Creates a document window for a picture made in the program (no file yet: Save asks for
    // a name), captioned `title`.
    TMDIChild* OpenPicture(Bitmap picture, const QString& title);
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
    // The panel whose popup menu was opened last (imgW0 or imgW0_w).
    void SetPopupComponent(PictureView* panel) { popupComponent_ = panel; }

    // ---- Documents -------------------------------------------------------------------
    TMDIChild* ActiveDocument() const;
    QList<TMDIChild*> Documents() const;
    int MDIChildCount() const { return static_cast<int>(Documents().size()); }
    // Puts the menus of the active document (or the frame's own) into the menu bar.
    void MergeMenus();
    QList<QMenu*> FrameMenus() const { return frameMenus_; }
    // Appends the list of open documents to a "&Window" menu (after `keep` fixed items).
    void FillWindowList(QMenu* menu, int keep);

    QMdiArea* mdiArea;
    QToolBar* ToolBar1;
    PictureView* imgW0;
    PictureView* imgW0_w;
    QLabel* lblInstructions;
    QMenu* ppWatermark0;
    QAction* pmuLoadFromFile;
    QAction* pmuSaveToFile;
    QAction* pmuClear;

    // The action list actlstMenu.
    QAction* Undo1;
    QAction* FileOpen1;
    QAction* FileSave1;
    QAction* FileSaveAs1;
    QAction* FileClose1;
    QAction* FileExit1;
    QAction* EditCut1;
    QAction* EditCopy1;
    QAction* EditPaste1;
    QAction* WindowCascade1;
    QAction* WindowTileHorizontal1;
    QAction* WindowTileVertical1;
    QAction* WindowMinimizeAll1;
    QAction* WindowArrangeAll1;
    QAction* HelpAbout1;
    QAction* Property1;
    QAction* PageSetup1;
    QAction* Print1;
    QAction* PrintPreview1;
    QAction* Redo1;
    QAction* CancelWork1;
    // The commands that forward to the active document.
    QAction* ZoomIn1;
    QAction* ZoomOut1;
    QAction* ZoomFit1;
    QAction* ZoomActual1;
    QAction* SetSeed1;
    QAction* RunEmbedding1;
    QAction* RunExtraction1;
    QAction* RunWholeExperiment1;
    QAction* WindowResults1;  // shows or hides the Results dock
    QAction* WindowRobustness1;
    QList<QAction*> actlstMenu;

    // The main menu mainmnuMDI.
    QMenu* mnuFile;
    QMenu* mnuEdit;
    QMenu* mnuWindow;
    QMenu* mnuOptions;
    QMenu* mnuHelp;
    QMenu* mnuRecent;  // File > Recent Files, in the frame's and every document's File menu

    ResultsDock* dockResults;
    QProgressBar* prgWork;
    QToolButton* btnCancelWork;

    FileDialogRequest openDlg;
    FileDialogRequest SaveDlg;
    FileDialogRequest OpenPDlg;
    FileDialogRequest SavePDlg;
    FileDialogRequest SaveKeyDlg;     // the key of an embedding
    // The null trials of the key's own calibration that Save Key measures: embed's default, so
    // that the two write the same key (tests ask for fewer).
    std::uint32_t KeyCalibrationTrials = kDefaultKeyTrials;
    FileDialogRequest SaveMarkedDlg;  // the watermarked image, in any format

protected:
    void closeEvent(QCloseEvent* event) override;
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

    void TileDocuments(bool horizontally);
    void ArrangeMinimized();
    // The panels from the active document (empty without one).
    void RefreshPanels();
    // A watermark panel's picture enlarged, in a popup beside it.
    void ShowMagnified(PictureView* panel);

    UserPrompts& prompts_;
    FileDialogs& dialogs_;
    TfrmAbout* frmAbout_ = nullptr;
    TfrmHistogram* frmHistogram_ = nullptr;
    TfrmParamHough* frmParamHough_ = nullptr;
    TfrmProperties* frmProperties_ = nullptr;
    std::array<QLabel*, 4> stsComment_{};
    QList<QMenu*> frameMenus_;
    PictureView* popupComponent_ = nullptr;
    double backgroundWork_ = 32.0 * 1024 * 1024;
    QStringList recentFiles_;
    QString lastFolder_;
    QString resultsCsvFile_;
    QTimer* workTimer_ = nullptr;
    QLabel* magnifier_ = nullptr;  // the watermark panels' enlarged view
    TfrmRobustness* robustness_ = nullptr;
    // A new document window for `picture`, shown and active.
    TMDIChild* AddDocument(Bitmap picture, PixelFormat format, const QString& title);
};

}  // namespace quillfen::ui
