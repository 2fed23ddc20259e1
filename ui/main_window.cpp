#include "ui/main_window.h"

#include <algorithm>
#include <filesystem>

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/io/pgm.h"
#include "quillfen/io/picture_files.h"
#include "ui/about_dialog.h"
#include "ui/language.h"
#include "ui/background_job.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/properties_window.h"
#include "ui/results_dock.h"
#include "ui/robustness_window.h"
#include "ui/step_presentation.h"
#include "ui/ui_text.h"
#include "ui/user_prompts.h"

namespace quillfen::ui {

namespace {

// The picture formats the dialogs list; the open dialogs start at "All pictures". A save
// filter's index chooses the format written (SaveImageFile).
const QString kOpenFilter = QStringLiteral(
    "Bitmap|*.bmp|PNG|*.png|JPEG|*.jpg;*.jpeg|PGM|*.pgm|All pictures|*.bmp;*.png;*.jpg;*.jpeg;*.pgm");
constexpr int kAllPictures = 5;
const QString kSaveFilter = QString::fromLatin1(kSavePictureFilters);
const QString kSavePictureFilter = QStringLiteral("Bitmap|*.bmp");
const QString kCsvFilter = QStringLiteral("CSV|*.csv");
const QString kKeyFilter = QStringLiteral("Key|*.key|All files|*.*");
constexpr int kPngFilter = 2;

// What the program remembers between runs.
const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kStateKey = QStringLiteral("window/state");
const QString kRecentKey = QStringLiteral("files/recent");
const QString kLastFolderKey = QStringLiteral("files/lastFolder");
constexpr int kRecentCount = 8;

// The enlarged watermark panels draw each pixel as a square of this side.
constexpr int kMagnification = 4;

// A label whose text runs from bottom to top, for the captions beside the watermark panels.
class VerticalLabel : public QWidget {
public:
    VerticalLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
        setObjectName(QStringLiteral("VerticalLabel"));
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        setFont(small);
        setFixedWidth(fontMetrics().height() + 2);
    }
    QString text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.translate(0, height());
        painter.rotate(-90);
        painter.drawText(QRect(0, 0, height(), width()), Qt::AlignCenter, text_);
    }

private:
    QString text_;
};

// The enlarged watermark: a small window of its own beside the panel. It is no popup, so it
// never holds the mouse and keyboard of the main window, and it closes on Esc, a click on it
// or its close button.
class Magnifier : public QLabel {
public:
    explicit Magnifier(QWidget* parent) : QLabel(parent, Qt::Tool) {
        setObjectName(QStringLiteral("magnifier"));
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setFocusPolicy(Qt::StrongFocus);
        setToolTip(TfrmMain::tr("Esc or a click closes it"));
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            close();
            return;
        }
        QLabel::keyPressEvent(event);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            close();
            return;
        }
        QLabel::mousePressEvent(event);
    }
};

QAction* MakeAction(QObject* owner, QList<QAction*>& list, const char* name, const QString& caption,
                    const QKeySequence& shortcut = {}) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    list << action;
    return action;
}

}  // namespace

TfrmMain::TfrmMain(UserPrompts& prompts, FileDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(tr("Watermarking Simulator - by tavrenn"));
    // Room for the menus, the watermark strip, a 512 x 512 picture and the Results list,
    // within the screen and in its middle (a remembered size and place are restored below).
    resize(DefaultSize());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    requests_.openDlg = {QStringLiteral("openDlg"), FileDialogKind::Open, kOpenFilter, kAllPictures, QString(), QString()};
    requests_.SaveDlg = {QStringLiteral("SaveDlg"), FileDialogKind::Save, kSaveFilter, 1, QString(), QString()};
    requests_.OpenPDlg = {QStringLiteral("OpenPDlg"), FileDialogKind::OpenPicture, kOpenFilter, kAllPictures, QString(), QString()};
    requests_.SavePDlg = {QStringLiteral("SavePDlg"), FileDialogKind::SavePicture, kSavePictureFilter, 1, QString(), QString()};
    requests_.SaveKeyDlg = {QStringLiteral("SaveKeyDlg"), FileDialogKind::Save, kKeyFilter, 1, QString(), QString()};
    // A watermarked image is written lossless unless the user chooses otherwise.
    requests_.SaveMarkedDlg = {QStringLiteral("SaveMarkedDlg"), FileDialogKind::Save, kSaveFilter, kPngFilter, QString(), QString()};
    // A watermark panel's picture: a two-level gray picture, kept whole by PNG, PGM and bitmap.
    requests_.SaveMarkDlg = {QStringLiteral("SaveMarkDlg"), FileDialogKind::Save, kSaveFilter, kPngFilter, QString(), QString()};

    CreateActions();
    CreateResultsDock();
    CreateMenus();
    CreateToolBar();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);
    CreateWatermarkStrip();
    mdiArea_ = new QMdiArea(central);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setBackground(palette().brush(QPalette::Dark));  // the application-background colour
    layout->addWidget(mdiArea_, 1);
    // New documents zoomed to fit a small workspace follow it when it grows.
    mdiArea_->viewport()->installEventFilter(this);
    CreateStatusBar();
    setAcceptDrops(true);
    // The list starts a few lines high; the documents keep most of the room.
    resizeDocks({dockResults_}, {150}, Qt::Vertical);
    RestoreSettings();

    // The enabled states, the panels and the menu bar follow every change of the active
    // document; the document count changes are caught when a document is destroyed.
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] {
        MergeMenus();
        AppIdle();
    });
    MergeMenus();
    AppIdle();
}

QSize TfrmMain::DefaultSize() {
    QSize size(1100, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableGeometry().size();
        size = size.boundedTo(QSize(available.width() * 9 / 10, available.height() * 9 / 10));
    }
    return size;
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (mdiArea_ != nullptr && watched == mdiArea_->viewport() && event->type() == QEvent::Resize) {
        for (TMDIChild* doc : Documents()) doc->WorkspaceResized();
    }
    return QMainWindow::eventFilter(watched, event);
}

TfrmMain::~TfrmMain() {
    // The documents' menus sit in our menu bar; let the documents go first.
    menuBar()->clear();
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) delete sub;
}

void TfrmMain::SetForms(TfrmAbout* about, TfrmHistogram* histogram, TfrmParamHough* paramHough,
                        TfrmProperties* properties) {
    frmAbout_ = about;
    frmHistogram_ = histogram;
    frmParamHough_ = paramHough;
    frmProperties_ = properties;
}

void TfrmMain::CreateActions() {
    FrameActionList& act = actions_;
    auto& l = act.actlstMenu;
    act.Undo1 = MakeAction(this, l, "Undo1", tr("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    act.FileOpen1 = MakeAction(this, l, "FileOpen1", tr("&Open Image"), QKeySequence(Qt::CTRL | Qt::Key_O));
    act.FileSave1 = MakeAction(this, l, "FileSave1", tr("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    act.FileSaveAs1 = MakeAction(this, l, "FileSaveAs1", tr("Save &As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    // Both of the usual keys, whatever the platform's own.
    act.FileClose1 = MakeAction(this, l, "FileClose1", tr("&Close"), QKeySequence(Qt::CTRL | Qt::Key_W));
    act.FileClose1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4)});
    act.FileExit1 = MakeAction(this, l, "FileExit1", tr("E&xit"));
    act.EditCut1 = MakeAction(this, l, "EditCut1", tr("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X));
    act.EditCopy1 = MakeAction(this, l, "EditCopy1", tr("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    act.EditPaste1 = MakeAction(this, l, "EditPaste1", tr("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    act.WindowCascade1 = MakeAction(this, l, "WindowCascade1", tr("&Cascade"));
    act.WindowTileHorizontal1 = MakeAction(this, l, "WindowTileHorizontal1", tr("Tile &Horizontally"));
    act.WindowTileVertical1 = MakeAction(this, l, "WindowTileVertical1", tr("Tile &Vertically"));
    act.WindowMinimizeAll1 = MakeAction(this, l, "WindowMinimizeAll1", tr("&Minimize All"));
    act.WindowArrangeAll1 = MakeAction(this, l, "WindowArrangeAll1", tr("&Arrange All"));
    act.HelpAbout1 = MakeAction(this, l, "HelpAbout1", tr("&About..."));
    act.Property1 = MakeAction(this, l, "Property1", tr("Property"));
    act.Property1->setToolTip(tr("워터마킹이란?"));
    act.Redo1 = MakeAction(this, l, "Redo1", tr("Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y));
    act.Redo1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    act.CancelWork1 = MakeAction(this, l, "CancelWork1", tr("Cancel"), QKeySequence(Qt::Key_Escape));
    act.ZoomIn1 = MakeAction(this, l, "ZoomIn1", tr("Zoom &In"), QKeySequence(Qt::CTRL | Qt::Key_Plus));
    act.ZoomIn1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    act.ZoomOut1 = MakeAction(this, l, "ZoomOut1", tr("Zoom &Out"), QKeySequence(Qt::CTRL | Qt::Key_Minus));
    act.ZoomFit1 = MakeAction(this, l, "ZoomFit1", tr("Zoom to &Fit"), QKeySequence(Qt::CTRL | Qt::Key_F));
    act.ZoomActual1 = MakeAction(this, l, "ZoomActual1", tr("&Actual Size (1:1)"), QKeySequence(Qt::CTRL | Qt::Key_0));
    act.SetSeed1 = MakeAction(this, l, "SetSeed1", tr("Set &Seed..."));
    act.RunEmbedding1 = MakeAction(this, l, "RunEmbedding1", tr("Run &Embedding"), QKeySequence(Qt::CTRL | Qt::Key_E));
    act.RunExtraction1 =
        MakeAction(this, l, "RunExtraction1", tr("Run E&xtraction"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    act.RunWholeExperiment1 = MakeAction(this, l, "RunWholeExperiment1", tr("Run &Whole Experiment"),
                                     QKeySequence(Qt::CTRL | Qt::Key_R));
    act.PageSetup1 = MakeAction(this, l, "PageSetup1", tr("Page S&etup"));
    act.Print1 = MakeAction(this, l, "Print1", tr("&Print"), QKeySequence(Qt::CTRL | Qt::Key_P));
    act.PrintPreview1 = MakeAction(this, l, "PrintPreview1", tr("Print Pre&view"));
    act.PrintPreview1->setIconText(tr("Print Preview"));

    // Cut, Copy and Paste have nothing to work on in this program and stay hidden. Print and
    // page set-up are not offered.
    for (QAction* a : {act.EditCut1, act.EditCopy1, act.EditPaste1}) a->setVisible(false);
    for (QAction* a : {act.PageSetup1, act.Print1, act.PrintPreview1}) a->setEnabled(false);
    // The shortcuts work whichever menus the menu bar shows at the moment.
    addActions(act.actlstMenu);

    auto run = [this](QAction* action, void (TfrmMain::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { Run([this, handler] { (this->*handler)(); }); });
    };
    run(act.Undo1, &TfrmMain::Undo1Execute);
    run(act.FileOpen1, &TfrmMain::FileOpen1Execute);
    run(act.FileSave1, &TfrmMain::FileSave1Execute);
    run(act.FileSaveAs1, &TfrmMain::FileSaveAs1Execute);
    run(act.FileClose1, &TfrmMain::FileClose1Execute);
    run(act.FileExit1, &TfrmMain::FileExit1Execute);
    run(act.HelpAbout1, &TfrmMain::HelpAbout1Execute);
    run(act.Property1, &TfrmMain::Property1Execute);
    run(act.PrintPreview1, &TfrmMain::PrintPreview1Execute);
    run(act.Redo1, &TfrmMain::Redo1Execute);
    run(act.CancelWork1, &TfrmMain::CancelWorkExecute);
    // The document commands of the frame's actions go to the active document.
    const auto forward = [this](QAction* action, void (TMDIChild::*command)()) {
        connect(action, &QAction::triggered, this, [this, command] {
            Run([this, command] {
                if (TMDIChild* doc = ActiveDocument()) (doc->*command)();
            });
        });
    };
    forward(act.ZoomIn1, &TMDIChild::ZoomIn);
    forward(act.ZoomOut1, &TMDIChild::ZoomOut);
    forward(act.ZoomFit1, &TMDIChild::ZoomFit);
    connect(act.ZoomActual1, &QAction::triggered, this, [this] {
        if (TMDIChild* doc = ActiveDocument()) doc->SetZoom(1.0);
    });
    forward(act.SetSeed1, &TMDIChild::SetSeedCommand);
    forward(act.RunEmbedding1, &TMDIChild::RunEmbeddingCommand);
    forward(act.RunExtraction1, &TMDIChild::RunExtractionCommand);
    forward(act.RunWholeExperiment1, &TMDIChild::RunWholeExperimentCommand);
    connect(act.WindowCascade1, &QAction::triggered, this, [this] { CascadeDocuments(); });
    connect(act.WindowTileHorizontal1, &QAction::triggered, this, [this] { TileDocuments(true); });
    connect(act.WindowTileVertical1, &QAction::triggered, this, [this] { TileDocuments(false); });
    connect(act.WindowMinimizeAll1, &QAction::triggered, this, [this] {
        for (QMdiSubWindow* sub : mdiArea_->subWindowList()) sub->showMinimized();
    });
    connect(act.WindowArrangeAll1, &QAction::triggered, this, [this] { ArrangeMinimized(); });
}

void TfrmMain::CreateMenus() {
    FrameActionList& act = actions_;
    mnuFile_ = new QMenu(tr("&File"), this);
    act.mnuRecent = new QMenu(tr("Recent &Files"), this);
    act.mnuRecent->setObjectName(QStringLiteral("mnuRecent"));
    mnuFile_->addActions({act.FileOpen1, act.FileSave1, act.FileSaveAs1});
    mnuFile_->addMenu(act.mnuRecent);
    mnuFile_->addAction(act.FileClose1);
    mnuFile_->addSeparator();
    mnuFile_->addActions({act.PageSetup1, act.PrintPreview1, act.Print1});
    mnuFile_->addSeparator();
    mnuFile_->addAction(act.FileExit1);

    mnuEdit_ = new QMenu(tr("&Edit"), this);
    mnuEdit_->addActions({act.Undo1, act.Redo1});
    mnuEdit_->addSeparator();
    mnuEdit_->addActions({act.EditCut1, act.EditCopy1, act.EditPaste1});

    mnuWindow_ = new QMenu(tr("&Window"), this);
    mnuWindow_->addActions({act.WindowCascade1, act.WindowTileHorizontal1, act.WindowTileVertical1,
                            act.WindowMinimizeAll1, act.WindowArrangeAll1});
    mnuWindow_->addSeparator();
    mnuWindow_->addActions({act.WindowResults1, act.WindowRobustness1});
    const int fixedItems = static_cast<int>(mnuWindow_->actions().size());
    connect(mnuWindow_, &QMenu::aboutToShow, this, [this, fixedItems] { FillWindowList(mnuWindow_, fixedItems); });

    mnuOptions_ = new QMenu(tr("&Options"), this);
    // The windows' language, remembered for the next start (the windows are made in it).
    QMenu* language = mnuOptions_->addMenu(tr("&Language"));
    language->setObjectName(QStringLiteral("mnuLanguage"));
    auto* languages = new QActionGroup(this);
    const QString current = QSettings().value(QString::fromLatin1(kLanguageKey)).toString();
    for (const auto& [name, caption] : {std::pair{kLanguageOriginal, tr("&Original Texts (Korean and English)")},
                                        std::pair{kLanguageEnglish, tr("&English")}}) {
        QAction* choice = language->addAction(caption);
        const QString id = QString::fromLatin1(name);
        choice->setObjectName(QStringLiteral("actLanguage_") + id);
        choice->setCheckable(true);
        choice->setChecked(current == id);
        languages->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, id] {
            if (QSettings().value(QString::fromLatin1(kLanguageKey)).toString() == id) return;
            QSettings().setValue(QString::fromLatin1(kLanguageKey), id);
            prompts_.information(S(tr("The windows will show the chosen language from the next start of the program.")));
        });
    }
    // The method's description is help on the program, beside the about box.
    mnuHelp_ = new QMenu(tr("&Help"), this);
    mnuHelp_->addActions({act.Property1, act.HelpAbout1});

    frameMenus_ = {mnuFile_, mnuEdit_, mnuWindow_, mnuOptions_, mnuHelp_};
    menuBar()->setObjectName(QStringLiteral("mainmnuMDI"));
}

void TfrmMain::CreateToolBar() {
    const FrameActionList& act = actions_;
    ToolBar1_ = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1_->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1_->setMovable(false);
    ToolBar1_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // A button that is never shown, in its place in the order (Save, Undo): a hidden stand-in
    // keeps the real action visible in the menus and its shortcut working.
    auto hiddenButton = [this](QAction* real) {
        auto* standIn = new QAction(real->iconText(), ToolBar1_);
        standIn->setObjectName(QStringLiteral("tb") + real->objectName());
        standIn->setVisible(false);
        connect(standIn, &QAction::triggered, real, &QAction::trigger);
        ToolBar1_->addAction(standIn);
    };
    ToolBar1_->addAction(act.FileOpen1);
    hiddenButton(act.FileSave1);
    ToolBar1_->addSeparator();
    ToolBar1_->addActions({act.EditCut1, act.EditCopy1, act.EditPaste1});
    ToolBar1_->addSeparator();
    hiddenButton(act.Undo1);
    ToolBar1_->addSeparator();
    ToolBar1_->addActions({act.WindowCascade1, act.WindowTileHorizontal1, act.WindowTileVertical1});
    ToolBar1_->addSeparator();
    ToolBar1_->addAction(act.PrintPreview1);
    ToolBar1_->addSeparator();
    ToolBar1_->addAction(act.Property1);
    ToolBar1_->addSeparator();
    ToolBar1_->addAction(act.HelpAbout1);
}

void TfrmMain::CreateWatermarkStrip() {
    FrameActionList& act = actions_;
    auto* strip = new QFrame(centralWidget());
    strip->setObjectName(QStringLiteral("pnlWatermarks"));
    // As tall as the panels need: the whole 128 x 128 mark inside its frame, under its caption.
    strip->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(4);

    auto panel = [&](const char* name, const QString& caption, const QString& side, PictureView*& image,
                     const char* imageName) {
        auto* box = new QGroupBox(caption, strip);
        box->setObjectName(QString::fromLatin1(name));
        box->setFlat(true);
        auto* inner = new QHBoxLayout(box);
        inner->setContentsMargins(2, 0, 2, 1);
        inner->setSpacing(2);
        image = new PictureView(false, box);
        image->setObjectName(QString::fromLatin1(imageName));
        image->setFrameStyle(QFrame::Box | QFrame::Plain);
        // The mark's 128 x 128 pixels inside the frame, none of them under it.
        const int frame = image->frameWidth();
        image->setFixedSize(128 + 2 * frame, 128 + 2 * frame);
        image->setContextMenuPolicy(Qt::CustomContextMenu);
        PictureView* target = image;
        connect(image, &QWidget::customContextMenuRequested, this, [this, target](const QPoint& pos) {
            SetPopupComponent(target);
            ppWatermark0_->popup(target->mapToGlobal(pos));
        });
        // The 128 x 128 planes are small: a click shows them enlarged, pixels kept sharp, and
        // the mouse reads their gray values as it does on a document.
        connect(image, &PictureView::Clicked, this, [this, target] { ShowMagnified(target); });
        connect(image, &PictureView::PixelHovered, this, [this](int x, int y, int gray) {
            SetPanel(3, QStringLiteral("(%1, %2) = %3").arg(x).arg(y).arg(gray));
        });
        connect(image, &PictureView::HoverLeft, this, [this] { SetPanel(3, InitialStatus(3)); });
        inner->addWidget(image);
        inner->addWidget(new VerticalLabel(side, box));
        row->addWidget(box);
    };
    panel("pnlW0", tr("Embedded Watermark"), tr("원워터마크영상"), imgW0_, "imgW0");
    panel("Panel2", tr("Extracted Watermark"), tr("추출된 워터마크된 영상"), imgW0_w_,
          "imgW0_w");

    lblInstructions_ = new QLabel(strip);
    lblInstructions_->setObjectName(QStringLiteral("lblInstructions"));
    lblInstructions_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblInstructions_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInstructions_->setWordWrap(true);
    lblInstructions_->setText(tr(
        "★ 워터마킹 작업 순서\n"
        "1. File->Open메뉴에서 영상을 로드한다.\n"
        "2. 'Watermark Embedment->Load Watermark' 메뉴에서 워터마크를 로드한다.\n"
        "3. 단계별로 워터마킹 삽입과정을 수행한다.\n"
        "4. 영상처리 과정중 한 가지를 수행한다.\n"
        "5. 단계별로 워터마킹 추출과정을 수행한다.\n"
        "6. 삽입 및 검출의 마지막 단계에서 평가 결과값이 상태바에 출력된다."));
    QFont small = lblInstructions_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    lblInstructions_->setFont(small);
    row->addWidget(lblInstructions_, 1);
    static_cast<QVBoxLayout*>(centralWidget()->layout())->addWidget(strip);

    ppWatermark0_ = new QMenu(this);
    ppWatermark0_->setObjectName(QStringLiteral("ppWatermark0"));
    act.pmuLoadFromFile = ppWatermark0_->addAction(tr("LoadFromFile"));
    act.pmuSaveToFile = ppWatermark0_->addAction(tr("SaveToFile"));
    act.pmuClear = ppWatermark0_->addAction(tr("Clear"));
    act.pmuSaveToFile->setEnabled(false);
    connect(act.pmuLoadFromFile, &QAction::triggered, this, [this] { Run([this] { pmuLoadFromFileClick(); }); });
    connect(act.pmuSaveToFile, &QAction::triggered, this, [this] { Run([this] { pmuSaveToFileClick(); }); });
    connect(act.pmuClear, &QAction::triggered, this, [this] { Run([this] { pmuClearClick(); }); });
}

void TfrmMain::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("stsComment"));
    bar->setSizeGripEnabled(true);
    // Panel 0 takes the room the others leave; each panel is at least as wide as it always
    // was and grows to show its latest text whole.
    const int minimumWidths[4] = {120, 120, 120, 120};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(InitialStatus(i), bar);
        label->setObjectName(QStringLiteral("stsComment%1").arg(i));
        label->setMinimumWidth(minimumWidths[i]);
        // Panel 0 has no bevel; the others are sunken.
        label->setFrameStyle(i == 0 ? QFrame::NoFrame : (QFrame::Panel | QFrame::Sunken));
        bar->addWidget(label, i == 0 ? 1 : 0);
        stsComment_[static_cast<std::size_t>(i)] = label;
    }
    prgWork_ = new QProgressBar(bar);
    prgWork_->setObjectName(QStringLiteral("prgWork"));
    prgWork_->setRange(0, 1000);
    prgWork_->setMaximumWidth(160);
    prgWork_->setTextVisible(false);
    prgWork_->hide();
    bar->addPermanentWidget(prgWork_);
    btnCancelWork_ = new QToolButton(bar);
    btnCancelWork_->setObjectName(QStringLiteral("btnCancelWork"));
    btnCancelWork_->setDefaultAction(actions_.CancelWork1);
    btnCancelWork_->hide();
    bar->addPermanentWidget(btnCancelWork_);
    workTimer_ = new QTimer(this);
    workTimer_->setInterval(100);
    connect(workTimer_, &QTimer::timeout, this, [this] { ShowWork(); });
}

void TfrmMain::CreateResultsDock() {
    FrameActionList& act = actions_;
    dockResults_ = new ResultsDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, dockResults_);
    act.WindowResults1 = dockResults_->toggleViewAction();
    act.WindowRobustness1 = new QAction(tr("R&obustness..."), this);
    act.WindowRobustness1->setObjectName(QStringLiteral("WindowRobustness1"));
    connect(act.WindowRobustness1, &QAction::triggered, this, [this] {
        Run([this] {
            TfrmRobustness* window = Robustness();
            window->show();
            window->raise();
            window->activateWindow();
        });
    });
    act.WindowResults1->setObjectName(QStringLiteral("WindowResults1"));
    act.WindowResults1->setText(tr("&Results"));
    connect(dockResults_, &ResultsDock::SaveCsvRequested, this, [this] {
        Run([this] {
            FileDialogRequest request{QStringLiteral("SaveCsvDlg"), FileDialogKind::Save, kCsvFilter, 1, QString(), QString()};
            if (const auto chosen = ExecuteDialog(request)) {
                QString name = chosen->fileName;
                if (!name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) name += QStringLiteral(".csv");
                if (!SaveResultsCsv(name)) throw FileError(S(tr("Cannot write %1").arg(name)));
            }
        });
    });
}

QString TfrmMain::InitialStatus(int panel) {
    const QString texts[4] = {tr("수행정보출력"), tr("위치정보"), tr("영상 정보"), tr("칼라정보")};
    return panel >= 0 && panel <= 3 ? texts[panel] : QString();
}

void TfrmMain::Run(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        prompts_.error(e.what());
    } catch (...) {
        prompts_.error("Unknown error");
    }
    AppIdle();
}

void TfrmMain::ShowStatus(int panel, const QString& text) {
    if (panel < 0 || panel > 3) return;
    // The active document keeps what its commands said, to show it again when it is active
    // again; nothing of a closed or another document stays.
    if (TMDIChild* doc = ActiveDocument(); doc != nullptr && panel <= 2) {
        doc->Say(panel, text);
        return;
    }
    SetPanel(panel, text, true);
}

void TfrmMain::SetPanel(int panel, const QString& text, bool announce) {
    if (panel < 0 || panel > 3) return;
    QLabel* label = stsComment_[static_cast<std::size_t>(panel)];
    if (label->text() != text) {
        label->setText(text);
        label->setToolTip(text);
    }
    if (announce) emit StatusShown(panel, text);
}

void TfrmMain::ShowStatus(int panel, const std::string& text) { ShowStatus(panel, Q(text)); }

QString TfrmMain::StatusText(int panel) const {
    if (panel < 0 || panel > 3) return {};
    return stsComment_[static_cast<std::size_t>(panel)]->text();
}

TMDIChild* TfrmMain::ActiveDocument() const {
    // currentSubWindow, unlike activeSubWindow, stays set while another window (a message
    // box, a dialog) has the focus.
    QMdiSubWindow* sub = mdiArea_->currentSubWindow();
    return sub != nullptr ? qobject_cast<TMDIChild*>(sub->widget()) : nullptr;
}

QList<TMDIChild*> TfrmMain::Documents() const {
    QList<TMDIChild*> documents;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        if (auto* child = qobject_cast<TMDIChild*>(sub->widget())) documents << child;
    }
    return documents;
}

void TfrmMain::MergeMenus() {
    const TMDIChild* active = ActiveDocument();
    // Options and Help stay in reach beside a document's own menus.
    const QList<QMenu*> wanted = active != nullptr ? active->Menus() + QList<QMenu*>{mnuOptions_, mnuHelp_} : frameMenus_;
    QList<QAction*> current;
    for (QAction* a : menuBar()->actions()) current << a;
    QList<QAction*> next;
    for (QMenu* m : wanted) next << m->menuAction();
    if (current == next) return;
    menuBar()->clear();
    for (QMenu* m : wanted) menuBar()->addMenu(m);
}

void TfrmMain::FillWindowList(QMenu* menu, int keep) {
    const QList<QAction*> items = menu->actions();
    for (qsizetype i = keep; i < items.size(); ++i) {
        menu->removeAction(items[i]);
        if (items[i]->parent() == menu) delete items[i];
    }
    const QList<QMdiSubWindow*> subs = mdiArea_->subWindowList();
    if (subs.isEmpty()) return;
    menu->addSeparator()->setParent(menu);
    int number = 1;
    for (QMdiSubWindow* sub : subs) {
        const auto* doc = qobject_cast<const TMDIChild*>(sub->widget());
        const QString title = doc != nullptr ? doc->Title() : sub->widget()->windowTitle();
        QAction* item = menu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(title));
        item->setCheckable(true);
        item->setChecked(sub == mdiArea_->currentSubWindow());
        connect(item, &QAction::triggered, mdiArea_, [this, sub] { mdiArea_->setActiveSubWindow(sub); });
    }
}

void TfrmMain::AppIdle() {
    const FrameActionList& act = actions_;
    const TMDIChild* active = ActiveDocument();
    const bool any = !mdiArea_->subWindowList().isEmpty();
    const bool ready = active != nullptr && !active->Busy();
    act.FileSave1->setEnabled(any && (active == nullptr || !active->Busy()));
    act.FileSaveAs1->setEnabled(act.FileSave1->isEnabled());
    act.FileClose1->setEnabled(any);
    act.Undo1->setEnabled(ready && active->CanUndo());
    act.Redo1->setEnabled(ready && active->CanRedo());
    act.Property1->setEnabled(any);
    for (QAction* a : {act.SetSeed1, act.RunEmbedding1, act.RunExtraction1, act.RunWholeExperiment1}) a->setEnabled(ready);
    for (QAction* a : {act.ZoomIn1, act.ZoomOut1, act.ZoomFit1, act.ZoomActual1}) a->setEnabled(active != nullptr);
    // Undo and Redo say what they would take back or do again, in the menu and as tips.
    const bool undo = ready && active->CanUndo();
    const bool redo = ready && active->CanRedo();
    act.Undo1->setStatusTip(undo ? tr("Undo ") + Tr("Toolbox", active->Model().UndoName()) : QString());
    act.Redo1->setStatusTip(redo ? tr("Redo ") + Tr("Toolbox", active->Model().RedoName()) : QString());
    act.Undo1->setText(undo ? tr("Undo %1").arg(Tr("Toolbox", active->Model().UndoName())) : tr("Undo"));
    act.Redo1->setText(redo ? tr("Redo %1").arg(Tr("Toolbox", active->Model().RedoName())) : tr("Redo"));
    act.Undo1->setToolTip(act.Undo1->statusTip().isEmpty() ? act.Undo1->text() : act.Undo1->statusTip());
    // The seed every Get Wr takes, while one is set.
    const std::optional<std::uint32_t> seed = active != nullptr ? active->Model().FixedSeed() : std::nullopt;
    act.SetSeed1->setText(seed ? tr("Set &Seed... (%1)").arg(*seed) : tr("Set &Seed..."));
    act.Redo1->setToolTip(act.Redo1->statusTip().isEmpty() ? act.Redo1->text() : act.Redo1->statusTip());
    FollowActiveResults();
    if (active != nullptr) {
        ShowDocument(*active);
    } else {
        for (int panel = 0; panel <= 3; ++panel) SetPanel(panel, InitialStatus(panel));
        RefreshPanels();
    }
    ShowWork();
}

void TfrmMain::ShowDocument(const TMDIChild& document) {
    if (ActiveDocument() != &document) return;
    for (int panel = 0; panel <= 2; ++panel) {
        const QString text = document.PanelText(panel);
        SetPanel(panel, text.isEmpty() ? InitialStatus(panel) : text);
    }
    RefreshPanels();
}

void TfrmMain::FollowActiveResults() {
    TMDIChild* active = ActiveDocument();
    if (resultsOf_ == active && (active != nullptr || dockResults_->Lines().empty())) return;
    resultsOf_ = active;
    dockResults_->Show(active != nullptr ? active->Model().Results() : std::vector<ResultLine>{});
    ResultsChanged();
}

void TfrmMain::ResultAdded(const TMDIChild& document, const ResultLine& line) {
    if (resultsOf_ != &document) return;
    dockResults_->Add(line);
    ResultsChanged();
}

void TfrmMain::ResultRemoved(const TMDIChild& document, std::uint64_t id) {
    if (resultsOf_ != &document) return;
    dockResults_->Remove(id);
    ResultsChanged();
}

void TfrmMain::ResultsChanged() {
    if (!resultsCsvFile_.isEmpty()) SaveResultsCsv(resultsCsvFile_);
}

void TfrmMain::ShowWork() {
    const TMDIChild* active = ActiveDocument();
    const BackgroundJob* job = active != nullptr ? active->Job() : nullptr;
    // A file being read shows as work of its own while the active document has none.
    if (job == nullptr && !opening_.isEmpty()) job = opening_.front().job;
    actions_.CancelWork1->setEnabled(job != nullptr || (magnifier_ != nullptr && magnifier_->isVisible()));
    prgWork_->setVisible(job != nullptr);
    btnCancelWork_->setVisible(job != nullptr);
    bool anyBusy = !opening_.isEmpty();
    for (const TMDIChild* doc : Documents()) anyBusy = anyBusy || doc->Busy();
    if (anyBusy && !workTimer_->isActive()) workTimer_->start();
    if (!anyBusy) workTimer_->stop();
    if (job == nullptr) return;
    // Work that does not say how far it has got shows a busy bar.
    const double fraction = job->Fraction();
    if (fraction > 0) {
        prgWork_->setRange(0, 1000);
        prgWork_->setValue(static_cast<int>(fraction * 1000));
    } else {
        prgWork_->setRange(0, 0);
    }
}

void TfrmMain::RefreshPanels() {
    const TMDIChild* active = ActiveDocument();
    bool changed = false;
    const auto show = [&changed](PictureView* panel, const Bitmap& picture) {
        if (panel->Picture() == picture) return;
        panel->SetPicture(picture);
        changed = true;
    };
    show(imgW0_, active != nullptr ? active->Model().Watermark() : Bitmap());
    show(imgW0_w_, active != nullptr ? active->Model().ExtractedView() : Bitmap());
    // The enlarged view shows what a panel showed: it goes when the panels change.
    if (changed && magnifier_ != nullptr && magnifier_->isVisible()) magnifier_->hide();
}

void TfrmMain::ShowMagnified(PictureView* panel) {
    if (panel->IsEmpty()) return;
    if (magnifier_ == nullptr) magnifier_ = new Magnifier(this);
    const QImage image = ToQImage(panel->Picture());
    magnifier_->setPixmap(QPixmap::fromImage(image.scaled(image.size() * kMagnification, Qt::IgnoreAspectRatio,
                                                          Qt::FastTransformation)));
    magnifier_->setWindowTitle(panel == imgW0_ ? tr("Embedded Watermark") : tr("Extracted Watermark"));
    magnifier_->adjustSize();
    magnifier_->move(panel->mapToGlobal(QPoint(panel->width() + 4, 0)));
    magnifier_->show();
    magnifier_->raise();
    magnifier_->activateWindow();
    magnifier_->setFocus();
    ShowWork();
}

std::optional<FileDialogResult> TfrmMain::ExecuteDialog(SharedDialog dialog, const QString& proposedName) {
    FileDialogRequest* request = nullptr;
    switch (dialog) {
    case SharedDialog::OpenPicture: request = &requests_.OpenPDlg; break;
    case SharedDialog::SavePicture: request = &requests_.SavePDlg; break;
    case SharedDialog::SaveKey: request = &requests_.SaveKeyDlg; break;
    case SharedDialog::SaveMarked: request = &requests_.SaveMarkedDlg; break;
    case SharedDialog::SaveMark: request = &requests_.SaveMarkDlg; break;
    }
    if (request == nullptr) return std::nullopt;
    // A proposed picture name takes the extension of the format chosen last in that dialog.
    request->proposedName = proposedName;
    if (!proposedName.isEmpty() && (dialog == SharedDialog::SaveMarked || dialog == SharedDialog::SaveMark))
        request->proposedName = WithPictureExtension(proposedName, request->filterIndex);
    std::optional<FileDialogResult> chosen = ExecuteDialogIn(*request, QString(), this);
    request->proposedName.clear();
    return chosen;
}

std::optional<FileDialogResult> TfrmMain::ExecuteDialog(FileDialogRequest& request, QWidget* parent) {
    return ExecuteDialogIn(request, QString(), parent != nullptr ? parent : this);
}

std::optional<FileDialogResult> TfrmMain::ExecuteDialog(FileDialogRequest& request) {
    return ExecuteDialogIn(request, QString(), this);
}

std::optional<FileDialogResult> TfrmMain::ExecuteDialogIn(FileDialogRequest& request, const QString& folder,
                                                          QWidget* parent) {
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) request.initialDir = folder;
    else request.initialDir = !lastFolder_.isEmpty() && QFileInfo(lastFolder_).isDir() ? lastFolder_ : QDir::currentPath();
    std::optional<FileDialogResult> result = dialogs_.Execute(request, parent);
    if (result) {
        request.filterIndex = result->filterIndex;
        const QString chosenFolder = QFileInfo(result->fileName).absolutePath();
        if (chosenFolder != lastFolder_) {
            lastFolder_ = chosenFolder;
            QSettings().setValue(kLastFolderKey, lastFolder_);
        }
    }
    return result;
}

void TfrmMain::FileOpen1Execute() {
    if (const auto chosen = ExecuteDialog(requests_.openDlg)) OpenImageFileLater(chosen->fileName);
}

void TfrmMain::OpenImageFileLater(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.exists() || info.isDir()) return;
    if (info.size() < kBackgroundOpenBytes) {
        OpenImageFile(fileName);
        return;
    }
    Opening opening{nullptr, fileName, std::make_shared<std::optional<PreparedPicture>>()};
    const std::filesystem::path path = FilePath(fileName);
    opening.job = new BackgroundJob(
        [path, prepared = opening.prepared](ProgressSink&) {
            LoadedPicture loaded = LoadPictureFile(path);
            const PixelFormat format = loaded.eightBit ? PixelFormat::Bit8 : PixelFormat::Bit24;
            *prepared = PreparePicture(std::move(loaded.bitmap), format);
        },
        this);
    BackgroundJob* job = opening.job;
    connect(job, &BackgroundJob::Done, this, [this, job] { FinishOpening(job); });
    opening_ << opening;
    SetPanel(0, tr("Reading %1... (Esc cancels)").arg(info.fileName()), true);
    ShowWork();
}

void TfrmMain::FinishOpening(BackgroundJob* job) {
    const auto at = std::find_if(opening_.begin(), opening_.end(), [job](const Opening& o) { return o.job == job; });
    if (at == opening_.end()) return;
    const Opening opening = *at;
    opening_.erase(at);
    job->deleteLater();  // it is still sending Done
    ShowWork();
    const QString shortName = QFileInfo(opening.fileName).fileName();
    if (job->CancelRequested()) {
        SetPanel(0, tr("Reading %1 cancelled.").arg(shortName), true);
        return;
    }
    SetPanel(0, InitialStatus(0));
    if (const std::exception_ptr failure = job->Failure()) {
        // The readers' refusal is a warning, as for a file opened at once.
        try {
            std::rethrow_exception(failure);
        } catch (const FormatError& e) {
            prompts_.warning(e.what());
        } catch (const std::exception& e) {
            prompts_.error(e.what());
        }
        return;
    }
    if (!*opening.prepared) return;
    Run([&] {
        NoteAlreadyOpen(*AddDocument(std::move(**opening.prepared), opening.fileName));
        AddRecentFile(QFileInfo(opening.fileName).absoluteFilePath());
    });
}

TMDIChild* TfrmMain::OpenImageFile(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.exists() || info.isDir()) return nullptr;

    // The reader is chosen by the file name's own extension, whatever its case. A picture the
    // readers refuse opens no window: the warning says why.
    LoadedPicture loaded;
    try {
        loaded = LoadPictureFile(FilePath(fileName));
    } catch (const FormatError& e) {
        prompts_.warning(e.what());
        return nullptr;
    }
    const PixelFormat format = loaded.eightBit ? PixelFormat::Bit8 : PixelFormat::Bit24;
    TMDIChild* child = AddDocument(std::move(loaded.bitmap), format, fileName);
    NoteAlreadyOpen(*child);
    AddRecentFile(info.absoluteFilePath());
    return child;
}

TMDIChild* TfrmMain::OpenPicture(Bitmap picture, const QString& title) {
    TMDIChild* child = AddDocument(std::move(picture), PixelFormat::Bit8, title);
    child->MarkNeverSaved();
    return child;
}

TfrmRobustness* TfrmMain::Robustness() {
    if (robustness_ == nullptr) robustness_ = new TfrmRobustness(static_cast<RobustnessHost&>(*this), this);
    return robustness_;
}

TMDIChild* TfrmMain::AddDocument(Bitmap picture, PixelFormat format, const QString& title) {
    return AddDocument(PreparePicture(std::move(picture), format), title);
}

TMDIChild* TfrmMain::AddDocument(PreparedPicture prepared, const QString& title) {
    auto* child = new TMDIChild(static_cast<DocumentHost&>(*this));
    child->SetFileName(title);
    // What the document says reaches the status bar, the panels and the Results dock while it
    // is the active one.
    connect(child, &TMDIChild::StatusSaid, this, [this, child](int panel, const QString& text) {
        if (ActiveDocument() == child) SetPanel(panel, text.isEmpty() ? InitialStatus(panel) : text, true);
    });
    connect(child, &TMDIChild::Changed, this, [this, child] { ShowDocument(*child); });
    connect(child, &TMDIChild::ResultAdded, this, [this, child](const ResultLine& line) { ResultAdded(*child, line); });
    connect(child, &TMDIChild::ResultRemoved, this, [this, child](quint64 id) { ResultRemoved(*child, id); });
    connect(child, &TMDIChild::BusyChanged, this, [this] { AppIdle(); });
    // The gray value under the mouse, in the panel the program has always labelled for it.
    connect(child->View(), &PictureView::PixelHovered, this, [this](int x, int y, int gray) {
        SetPanel(3, QStringLiteral("(%1, %2) = %3").arg(x).arg(y).arg(gray));
    });
    connect(child->View(), &PictureView::HoverLeft, this, [this] { SetPanel(3, InitialStatus(3)); });
    QMdiSubWindow* sub = mdiArea_->addSubWindow(child);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // The window's own menu gives its Close the platform's keys, which would make File >
    // Close's keys ambiguous (and so do nothing): File > Close answers them, asking first.
    if (QMenu* system = sub->systemMenu()) {
        for (QAction* item : system->actions()) {
            for (const QKeySequence& key : item->shortcuts()) {
                if (actions_.FileClose1->shortcuts().contains(key)) {
                    item->setShortcuts({});
                    break;
                }
            }
        }
    }
    TitleDocument(*child);
    // The document count changed: menus and enabled states follow once the window is gone
    // (queued, because the sub-window is still being torn down when the child goes).
    connect(child, &QObject::destroyed, this, [this] {
        QMetaObject::invokeMethod(this, [this] {
            MergeMenus();
            AppIdle();
        }, Qt::QueuedConnection);
    });
    child->Open(std::move(prepared));
    PlaceNewDocument(sub);
    sub->show();
    mdiArea_->setActiveSubWindow(sub);
    child->FitNewDocument();
    MergeMenus();
    AppIdle();
    return child;
}

void TfrmMain::TitleDocument(TMDIChild& document) {
    QStringList taken;
    for (const TMDIChild* other : Documents())
        if (other != &document) taken << other->Title();
    const QString base = document.BaseTitle();
    QString title = base;
    for (int n = 2; taken.contains(title); ++n) title = QStringLiteral("%1 (%2)").arg(base).arg(n);
    if (title != document.Title()) document.SetTitle(title);
}

void TfrmMain::NoteAlreadyOpen(TMDIChild& document) {
    const QString path = QFileInfo(document.FileName()).canonicalFilePath();
    if (path.isEmpty()) return;
    for (const TMDIChild* other : Documents()) {
        if (other == &document || other->Model().NeverSaved()) continue;
        if (QFileInfo(other->FileName()).canonicalFilePath() != path) continue;
        document.Say(0, tr("%1 was open already, as %2: this is another window of it.")
                            .arg(document.BaseTitle(), other->Title()));
        return;
    }
}

void TfrmMain::FileSave1Execute() {
    if (TMDIChild* doc = ActiveDocument()) SaveDocument(*doc);
}

bool TfrmMain::SaveDocument(TMDIChild& document) {
    const QString name = document.FileName();
    if (!QFileInfo::exists(name)) {
        const auto chosen = AskSaveName(document);
        return chosen && SaveImageFile(document, chosen->filterIndex, chosen->fileName);
    }
    // An unchanged document is its file already: writing it again could change nothing of the
    // picture, only the file's bytes (another writer's header and palette fields).
    if (!document.Modified()) {
        document.Say(0, tr("%1 has no changes to save.").arg(document.Title()));
        return true;
    }
    // The same extension test as opening, so every document that could be opened can be
    // saved back to its own file.
    switch (FormatFromFileName(FilePath(name))) {
    case PictureFormat::Bmp: return SaveImageFile(document, 1, name).has_value();
    case PictureFormat::Png: return SaveImageFile(document, 2, name).has_value();
    case PictureFormat::Jpeg: return SaveImageFile(document, 3, name).has_value();
    case PictureFormat::Pgm: return SaveImageFile(document, 4, name).has_value();
    case PictureFormat::Unknown: break;
    }
    prompts_.information(S(tr("Not Founded Image Format File")));
    return false;
}

void TfrmMain::FileSaveAs1Execute() {
    TMDIChild* doc = ActiveDocument();
    if (doc == nullptr) return;
    if (const auto chosen = AskSaveName(*doc)) SaveImageFile(*doc, chosen->filterIndex, chosen->fileName);
}

std::optional<FileDialogResult> TfrmMain::AskSaveName(const TMDIChild& document) {
    FileDialogRequest& request = requests_.SaveDlg;
    const QFileInfo file(document.FileName());
    QString folder;
    if (file.exists()) {
        request.proposedName = file.fileName();
        folder = file.absolutePath();
        switch (FormatFromFileName(FilePath(document.FileName()))) {
        case PictureFormat::Bmp: request.filterIndex = 1; break;
        case PictureFormat::Png: request.filterIndex = 2; break;
        case PictureFormat::Jpeg: request.filterIndex = 3; break;
        case PictureFormat::Pgm: request.filterIndex = 4; break;
        case PictureFormat::Unknown: break;
        }
    } else {
        request.proposedName = FileStem(document.FileName());
    }
    std::optional<FileDialogResult> chosen = ExecuteDialogIn(request, folder, this);
    request.proposedName.clear();
    return chosen;
}

Gray8Bitmap TfrmMain::ConvertToGray8(const Bitmap& bitmap) { return quillfen::ConvertToGray8(bitmap); }

std::optional<QString> TfrmMain::SaveImageFile(int formatIndex, const QString& fileName) {
    TMDIChild* doc = ActiveDocument();
    if (doc == nullptr) return std::nullopt;
    return SaveImageFile(*doc, formatIndex, fileName);
}

std::optional<QString> TfrmMain::SaveImageFile(TMDIChild& document, int formatIndex, const QString& fileName) {
    if (FormatOfSaveFilter(formatIndex) == PictureFormat::Unknown) return std::nullopt;  // nothing is written
    // The document's picture, never the view of a step the window may be showing.
    const Bitmap& picture = document.Model().Picture();
    if (picture.empty()) {
        throw FormatError(S(tr("Cannot save %1: the document has no picture").arg(fileName)));
    }
    // A name typed with a picture extension says the format itself, whatever filter the
    // dialog showed ("big.png" with the PGM filter is a PNG file named big.png); a name
    // without one gets the filter's format and extension.
    const QString target = WithPictureExtension(fileName, formatIndex);
    const std::string written = FilePath(target).native();
    const PictureFormat format = FormatFromFileName(written);
    const bool eightBit = document.Model().Format() == PixelFormat::Bit8;
    // An 8-bit document is written through the gray palette, so every writer sees each
    // pixel's gray value.
    const Bitmap bitmap = eightBit ? FromGray8(ConvertToGray8(picture)) : picture;
    switch (format) {
    case PictureFormat::Bmp: WriteQtPicture(written, bitmap, eightBit, PictureFormat::Bmp); break;
    case PictureFormat::Png: WriteQtPicture(written, bitmap, eightBit, PictureFormat::Png); break;
    case PictureFormat::Jpeg:
        // The encoder's refusal is a warning, as for pictures the readers refuse.
        try {
            TRixJPEG().SaveToFile(written, bitmap);
        } catch (const FormatError& e) {
            prompts_.warning(e.what());
            return std::nullopt;
        }
        break;
    case PictureFormat::Pgm: TRixPGM().SaveToFile(written, bitmap); break;
    case PictureFormat::Unknown: return std::nullopt;
    }
    // From now on the document is the file just written: Save writes there again.
    document.SetFileName(target);
    document.MarkSaved();
    TitleDocument(document);
    AddRecentFile(QFileInfo(target).absoluteFilePath());
    return target;
}

void TfrmMain::FileClose1Execute() {
    if (QMdiSubWindow* sub = mdiArea_->currentSubWindow()) sub->close();
}

void TfrmMain::FileExit1Execute() { close(); }

void TfrmMain::HelpAbout1Execute() {
    if (frmAbout_ != nullptr) frmAbout_->exec();
}

void TfrmMain::Property1Execute() {
    if (frmProperties_ != nullptr) frmProperties_->exec();
}

void TfrmMain::Undo1Execute() {
    TMDIChild* doc = ActiveDocument();
    if (doc == nullptr || !doc->CanUndo()) return;
    doc->Undo();
}

void TfrmMain::Redo1Execute() {
    TMDIChild* doc = ActiveDocument();
    if (doc == nullptr || !doc->CanRedo()) return;
    doc->Redo();
}

void TfrmMain::CancelWorkExecute() {
    // Esc closes the enlarged watermark too, wherever the keyboard is, and stops the reading
    // of files.
    if (magnifier_ != nullptr && magnifier_->isVisible()) magnifier_->close();
    for (const Opening& opening : opening_) opening.job->Cancel();
    if (TMDIChild* doc = ActiveDocument()) doc->CancelWork(false);
}

bool TfrmMain::ConfirmClose(TMDIChild& document) {
    document.CancelWork();
    if (!document.Modified()) return true;
    const QString name = document.Title();
    const QString question = document.Model().NeverSaved()
                                 ? tr("The picture '%1' has not been saved to a file. Save it before closing?")
                                 : tr("The picture of '%1' has changed. Save it before closing?");
    switch (prompts_.askSave(S(question.arg(name)))) {
    case SaveAnswer::Save:
        // A failed save keeps the document open: nothing is lost.
        try {
            return SaveDocument(document);
        } catch (const std::exception& e) {
            prompts_.error(e.what());
            return false;
        }
    case SaveAnswer::Discard: return true;
    case SaveAnswer::Cancel: return false;
    }
    return false;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Every document with changes is asked about first; Cancel on any keeps them all open.
    const QList<TMDIChild*> documents = Documents();
    for (TMDIChild* doc : documents) {
        mdiArea_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(doc->parentWidget()));
        if (!ConfirmClose(*doc)) {
            event->ignore();
            return;
        }
    }
    for (TMDIChild* doc : documents) doc->SetCloseConfirmed();
    SaveWindowSettings();
    QMainWindow::closeEvent(event);
}

// ---- Files dropped on the frame, recent files, settings ---------------------------------------

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void TfrmMain::dropEvent(QDropEvent* event) {
    QStringList names;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) names << url.toLocalFile();
    if (names.isEmpty()) return;
    event->acceptProposedAction();
    // The drag source waits for the drop to be answered: the files open once it has been.
    QMetaObject::invokeMethod(this, [this, names] { OpenDroppedFiles(names); }, Qt::QueuedConnection);
}

void TfrmMain::OpenDroppedFiles(const QStringList& fileNames) {
    for (const QString& name : fileNames) {
        Run([this, &name] {
            if (!QFileInfo::exists(name)) throw FileError(S(tr("Cannot open '%1': there is no such file").arg(name)));
            if (!QFileInfo(name).isFile()) throw FileError(S(tr("Cannot open '%1': it is not a file").arg(name)));
            OpenImageFileLater(name);
        });
    }
}

void TfrmMain::AddRecentFile(const QString& fileName) {
    recentFiles_.removeAll(fileName);
    recentFiles_.prepend(fileName);
    while (recentFiles_.size() > kRecentCount) recentFiles_.removeLast();
    QSettings().setValue(kRecentKey, recentFiles_);
    RebuildRecentMenu();
}

void TfrmMain::RebuildRecentMenu() {
    actions_.mnuRecent->clear();
    int number = 1;
    for (const QString& name : recentFiles_) {
        QAction* item = actions_.mnuRecent->addAction(QStringLiteral("&%1 %2").arg(number++).arg(name));
        item->setData(name);
        connect(item, &QAction::triggered, this, [this, name] {
            Run([this, name] {
                if (!QFileInfo(name).isFile()) {
                    // A file that has gone since leaves the list.
                    recentFiles_.removeAll(name);
                    QSettings().setValue(kRecentKey, recentFiles_);
                    RebuildRecentMenu();
                    throw FileError(S(tr("Cannot open '%1': the file no longer exists").arg(name)));
                }
                OpenImageFileLater(name);
            });
        });
    }
    actions_.mnuRecent->setEnabled(!recentFiles_.isEmpty());
}

void TfrmMain::RestoreSettings() {
    const QSettings settings;
    restoreGeometry(settings.value(kGeometryKey).toByteArray());
    restoreState(settings.value(kStateKey).toByteArray());
    recentFiles_ = settings.value(kRecentKey).toStringList();
    while (recentFiles_.size() > kRecentCount) recentFiles_.removeLast();
    lastFolder_ = settings.value(kLastFolderKey).toString();
    RebuildRecentMenu();
}

void TfrmMain::SaveWindowSettings() const {
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kStateKey, saveState());
}

bool TfrmMain::SetResultsCsvFile(const QString& fileName) {
    resultsCsvFile_.clear();
    if (fileName.isEmpty() || !SaveResultsCsv(fileName)) return false;
    resultsCsvFile_ = fileName;
    return true;
}

bool TfrmMain::SaveResultsCsv(const QString& fileName) {
    const TMDIChild* active = ActiveDocument();
    const QString csv = ResultsCsv(active != nullptr ? active->Model().Results() : std::vector<ResultLine>{});
    // Written whole or not at all: a reader never sees half a table.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(csv.toUtf8());
    return file.commit();
}

void TfrmMain::pmuLoadFromFileClick() {
    if (TMDIChild* doc = ActiveDocument()) {
        doc->LoadWatermarkFromFile();
    } else {
        prompts_.message(S(Tr("Step", PresentationOf(Step::LoadWatermark).refusal)));
    }
}

void TfrmMain::pmuSaveToFileClick() {
    PictureView* source = popupComponent_ == imgW0_ ? imgW0_ : imgW0_w_;
    const bool extracted = source == imgW0_w_;
    const TMDIChild* doc = ActiveDocument();
    const QString stem = doc != nullptr ? FileStem(doc->BaseTitle()) : QString();
    const QString proposed =
        stem.isEmpty() ? QString() : stem + (extracted ? QStringLiteral("-extracted-mark") : QStringLiteral("-watermark"));
    const auto chosen = ExecuteDialog(SharedDialog::SaveMark, proposed);
    if (!chosen) return;
    if (source->IsEmpty()) throw FormatError(S(tr("Cannot save %1: the panel has no picture").arg(chosen->fileName)));
    // A two-level mark as an 8-bit gray file, as `quillfen-cli extract --mark-out` writes it.
    const QString name = WithPictureExtension(chosen->fileName, chosen->filterIndex);
    SavePictureFile(FilePath(name), source->Picture(), true);
    // The same words for both panels in the original texts; English names which mark it was.
    ShowStatus(0, (extracted ? tr("Watermark image Saved to", "the extracted mark") : tr("Watermark image Saved to")) + name);
}

void TfrmMain::SetPopupComponent(PictureView* panel) {
    popupComponent_ = panel;
    // The watermark, or the mark extracted from a picture, can be kept in a file of its own.
    actions_.pmuSaveToFile->setEnabled(panel != nullptr && !panel->IsEmpty());
}

void TfrmMain::pmuClearClick() {
    // The panels show the active document's pictures; without a document they are empty.
    if (TMDIChild* doc = ActiveDocument())
        doc->ClearPanel(popupComponent_ == imgW0_ ? WatermarkPanel::Embedded : WatermarkPanel::Extracted);
}

void TfrmMain::TileDocuments(bool horizontally) {
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        if (!sub->isMinimized()) subs << sub;
    }
    if (subs.isEmpty()) return;
    const QRect area = mdiArea_->viewport()->rect();
    const int n = static_cast<int>(subs.size());
    for (int i = 0; i < n; ++i) {
        subs[i]->showNormal();
        // Horizontally: one above the other, each as wide as the area; vertically: side by side.
        const QRect r = horizontally
                            ? QRect(0, area.height() * i / n, area.width(), area.height() * (i + 1) / n - area.height() * i / n)
                            : QRect(area.width() * i / n, 0, area.width() * (i + 1) / n - area.width() * i / n, area.height());
        subs[i]->setGeometry(r);
    }
}

namespace {

// The step between cascaded windows: a title bar's height, so that each title stays readable.
int CascadeStep(const QWidget* widget) { return widget->fontMetrics().height() + 10; }

}  // namespace

void TfrmMain::PlaceNewDocument(QMdiSubWindow* sub) {
    // Each new document a step further down and right, starting again at the corner before
    // the windows would march off the workspace.
    const int step = CascadeStep(this);
    const QSize area = mdiArea_->viewport()->size();
    const int room = std::max(1, std::min(area.width(), area.height()) / 3 / step);
    const int n = static_cast<int>(mdiArea_->subWindowList().size()) - 1;
    sub->move(step * (n % room), step * (n % room));
}

void TfrmMain::CascadeDocuments() {
    const QSize area = mdiArea_->viewport()->size();
    const int step = CascadeStep(this);
    int i = 0;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        if (sub->isMinimized()) continue;
        sub->showNormal();
        const int offset = step * i++;
        sub->move(offset, offset);
        // As large as its picture, never smaller than a readable window, within the workspace.
        if (auto* child = qobject_cast<TMDIChild*>(sub->widget())) child->SizeToPicture();
        const QSize room(std::max(area.width() - offset, 160), std::max(area.height() - offset, 120));
        sub->resize(sub->size().boundedTo(room).expandedTo(QSize(160, 120)));
        sub->raise();
    }
}

void TfrmMain::ArrangeMinimized() {
    const QRect area = mdiArea_->viewport()->rect();
    int x = 0;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        if (!sub->isMinimized()) continue;
        const QSize size = sub->size();
        sub->move(x, area.height() - size.height());
        x += size.width();
    }
}

}  // namespace quillfen::ui
