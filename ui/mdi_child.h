#pragma once
// TMDIChild: one document window. It owns its picture, its working gray image and its
// watermarking workspace, the watermark menus with their step marks, and the popup menu of
// image-processing commands.
#include <functional>
#include <memory>

#include <QList>
#include <QString>
#include <QWidget>

#include "image/bitmap.h"
#include "image/rix_ipa.h"
#include "watermark/watermark.h"

class QAction;
class QMenu;
class QScrollArea;

namespace quillfen::ui {

class PictureView;
class TfrmMain;

// The pixel format of a picture as it was opened; decides how Save writes it.
enum class PixelFormat { Unknown, Bit8, Bit24 };

class TMDIChild : public QWidget {
    Q_OBJECT
public:
    explicit TMDIChild(TfrmMain& frame, QWidget* parent = nullptr);
    ~TMDIChild() override;

    TfrmMain& Frame() const { return frame_; }

    // The picture the window shows (the opened image or the last step view).
    const Bitmap& Picture() const;
    void SetPicture(Bitmap picture);
    // Makes the client area as large as the picture.
    void SizeToPicture();

    // ---- Step marks -------------------------------------------------------------------
    void UncheckEmbedding();
    void UncheckExtraction();
    void UncheckAttacks();
    void UncheckAll();
    bool AnyAttackChecked() const;
    const QList<QAction*>& EmbeddingMarks() const { return embedding_; }
    const QList<QAction*>& ExtractionMarks() const { return extraction_; }
    const QList<QAction*>& AttackMarks() const { return attacks_; }

    // The menus that replace the frame's while this window is active.
    QList<QMenu*> Menus() const { return MainMenu1; }
    // An action of ActionList1 or ActionList2 by name; nullptr when there is none.
    QAction* Action(const QString& name) const;

    // ---- Watermark commands (watermark_commands.cpp) ------------------------------------
    // Each checks the mark of the step before it (refusing with its own message otherwise),
    // runs one workspace operation, shows the view it left, sets its own mark and reports.
    void actLoadWExecute();
    void actGetWrExecute();
    void actGetWaExecute();
    void actGetYExecute();
    void actGetYrExecute();
    void actGetPExecute();
    void actGetP_hatExecute();
    void actGetYr_hatExecute();
    void actGetY_hatExecute();
    void actGetX_hatExecute();
    void actGetPSNR_DiffExecute();
    void actSaveX_hatExecute();
    void actIPCopyXhToXwExecute();
    void actIPApplyJpegExecute();
    void actIPApplyBlurringExecute();
    void actIPApplyCroppingByZeroInQuarterExecute();
    void actIPApplyCroppingByImgInQuarterExecute();
    void actIPApplyCroppingByZeroInHalfExecute();
    void actIpApplyCroppingByImgInHalfExecute();
    void actGetY_waveExecute();
    void actGetYr_waveExecute();
    void actGetP_waveExecute();
    void actGetWa_waveExecute();
    void actGetWr_waveExecute();
    void actGetW_waveExecute();
    void actGetNCExecute();
    void actSaveW_waveExecute();

    // ---- Image-processing commands (toolbox_commands.cpp) ------------------------------
    // Shows FIpa's image again (CreateBitmap) after a toolbox operation.
    void RedrawFromIpa();
    // Shows the about box; kept for a popup entry, none of which calls it today.
    void pmnAboutClick();

    PictureView* imgFile;
    QMenu* PopupMnu;
    QList<QAction*> ActionList1;  // image-processing commands
    QList<QMenu*> MainMenu1;      // File, Watermark Embedment, Image Processing, Watermark Extraction, Window
    QList<QAction*> ActionList2;  // watermark commands

    QMenu* mnuFile;
    QMenu* mnuEmbedment;
    QMenu* mnuImageProcessing;
    QMenu* mnuExtraction;
    QMenu* mnuWindow;
    QAction* mnuShow;

    QAction* actLoadW;
    QAction* actGetWr;
    QAction* actGetWa;
    QAction* actGetY;
    QAction* actGetYr;
    QAction* actGetP;
    QAction* actGetP_hat;
    QAction* actGetYr_hat;
    QAction* actGetY_hat;
    QAction* actGetX_hat;
    QAction* actGetPSNR_Diff;
    QAction* actSaveX_hat;
    QAction* actIPCopyXhToXw;
    QAction* actIPApplyJpeg;
    QAction* actIPApplyBlurring;
    QAction* actIPApplyCroppingByZeroInQuarter;
    QAction* actIPApplyCroppingByImgInQuarter;
    QAction* actIPApplyCroppingByZeroInHalf;
    QAction* actIpApplyCroppingByImgInHalf;
    QAction* actGetY_wave;
    QAction* actGetYr_wave;
    QAction* actGetP_wave;
    QAction* actGetWa_wave;
    QAction* actGetWr_wave;
    QAction* actGetW_wave;
    QAction* actGetNC;
    QAction* actSaveW_wave;

    QString FStatusText;
    PixelFormat FPixelFormat = PixelFormat::Unknown;
    std::unique_ptr<TWatermark> FWatermark;
    std::unique_ptr<TRixIPA> FIpa;

private:
    void FormCreate();
    void CreateWatermarkMenus();
    void CreatePopupMenu();
    // A watermark command: checkable (its check is the step mark), and choosing it never
    // toggles the mark by itself; only the command's own code sets or clears it.
    QAction* StepAction(const char* name, const QString& caption);
    void ConnectWatermarkCommands();
    void ConnectToolboxCommands();

    // Where a step's view goes: the document's picture or the "Extracted Watermark" panel.
    enum class StepView { None, Document256, Document128, Panel128 };
    // One row of the watermark command tables.
    struct Step {
        QAction* own;                   // the command's own mark
        bool allowed;                   // the required mark is set
        const char* refusal;            // shown in a modal box when it is not
        bool busy;                      // hourglass cursor while the step runs
        const char* start;              // panel 0 before the call; nullptr for none
        std::function<void()> call;     // the one workspace operation
        StepView view;
        const char* end;                // panel 0 after the mark; nullptr for none
        std::function<void()> report;   // result reports after the end text; may be empty
    };
    void RunStep(const Step& step);
    // The attack pattern: clear the attack and extraction marks, run, show X_wave.
    void RunAttack(QAction* own, bool busy, const std::function<void()>& call, const char* end);
    // The two save commands: the save-picture dialog, then a bitmap file of `source`.
    void RunSave(QAction* own, bool allowed, const char* refusal, const char* start,
                 const std::function<const Bitmap&()>& source, const char* end);
    void ShowView(StepView view);
    // A toolbox report built in FStatusText and written to panel 1.
    void ReportInStatusText(const QString& text);

    TfrmMain& frame_;
    QScrollArea* scroll_;
    QList<QAction*> embedding_;
    QList<QAction*> extraction_;
    QList<QAction*> attacks_;
};

}  // namespace quillfen::ui
