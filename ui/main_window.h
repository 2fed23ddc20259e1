#pragma once
// TfrmMain: the multi-document frame. It owns the shared actions, the two watermark panels,
// the status bar through which every command reports, the file dialogs and the file
// commands that open and save documents. The documents own their data: the panels show the
// active document's watermark and extracted view, and the frame forwards its commands to
// the active document.
#include <array>
#include <functional>
#include <string>

#include <QList>
#include <QMainWindow>

#include "image/bitmap.h"
#include "ui/file_dialogs.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace quillfen {
class UserPrompts;
}

namespace quillfen::ui {

class PictureView;
class TMDIChild;
class TfrmAbout;
class TfrmHistogram;
class TfrmParamHough;
class TfrmProperties;

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
    void ShowStatus(int panel, const QString& text);
    void ShowStatus(int panel, const std::string& text);
    QString StatusText(int panel) const;
    // The watermark load: the picture dialog, then the chosen picture into `document`
    // (refused when it shows no picture; a cancelled dialog empties its panel).
    void LoadWatermarkInto(TMDIChild* document);
    // Shows `document`'s watermark and extracted view in the panels when it is the active one.
    void ShowPanelsOf(const TMDIChild& document);
    // Runs a file dialog (with its initial folder set to the program's folder); the chosen
    // filter index is remembered, so that the next dialog of the same kind starts with the
    // format the user chose last.
    std::optional<FileDialogResult> ExecuteDialog(FileDialogRequest& request);

    // ---- Its own operations ----------------------------------------------------------
    // Creates a document window for an image file; nothing (and no window) when no file of
    // that name exists.
    TMDIChild* OpenImageFile(const QString& fileName);
    void SaveImageFile(int formatIndex, const QString& fileName);
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
    QList<QAction*> actlstMenu;

    // The main menu mainmnuMDI.
    QMenu* mnuFile;
    QMenu* mnuEdit;
    QMenu* mnuWindow;
    QMenu* mnuOptions;
    QMenu* mnuHelp;

    FileDialogRequest openDlg;
    FileDialogRequest SaveDlg;
    FileDialogRequest OpenPDlg;
    FileDialogRequest SavePDlg;

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
    void TileDocuments(bool horizontally);
    void ArrangeMinimized();
    // The panels from the active document (empty without one).
    void RefreshPanels();

    UserPrompts& prompts_;
    FileDialogs& dialogs_;
    TfrmAbout* frmAbout_ = nullptr;
    TfrmHistogram* frmHistogram_ = nullptr;
    TfrmParamHough* frmParamHough_ = nullptr;
    TfrmProperties* frmProperties_ = nullptr;
    std::array<QLabel*, 4> stsComment_{};
    QList<QMenu*> frameMenus_;
    PictureView* popupComponent_ = nullptr;
};

}  // namespace quillfen::ui
