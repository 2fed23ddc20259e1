#include "ui/main_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "image/errors.h"
#include "io/file_write.h"
#include "io/jpeg.h"
#include "io/pgm.h"
#include "io/picture_files.h"
#include "image/user_prompts.h"
#include "ui/about_dialog.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/properties_window.h"
#include "ui/ui_text.h"

namespace quillfen::ui {

namespace {

const QString kOpenFilter = QStringLiteral(
    "Bitmap(*.bmp)|*.bmp|Jpeg(*.jpg; *.jpeg)|*.jpg;*.jpeg|PortableGrayscaleMap P5(*.pgm)|*.pgm|All files (*.*)|*.*");
const QString kSaveFilter = QStringLiteral(
    "Bitmap Image File(*.bmp)|*.bmp|Jpeg Image File(*.jpg)|*.jpg|Portable Grayscale Map P5 (*.pgm)|*.pgm");
const QString kSavePictureFilter = QStringLiteral("Bitmap(*.bmp)|*.bmp");

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
    setWindowTitle(QStringLiteral("Watermarking Simulator - by tavrenn"));
    resize(681, 552);

    const QString programFolder = QCoreApplication::applicationDirPath();
    openDlg = {QStringLiteral("openDlg"), FileDialogKind::Open, kOpenFilter, 1, programFolder};
    SaveDlg = {QStringLiteral("SaveDlg"), FileDialogKind::Save, kSaveFilter, 1, programFolder};
    OpenPDlg = {QStringLiteral("OpenPDlg"), FileDialogKind::OpenPicture, kOpenFilter, 1, programFolder};
    SavePDlg = {QStringLiteral("SavePDlg"), FileDialogKind::SavePicture, kSavePictureFilter, 1, programFolder};

    CreateActions();
    CreateMenus();
    CreateToolBar();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);
    CreateWatermarkStrip();
    mdiArea = new QMdiArea(central);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(palette().brush(QPalette::Dark));  // the application-background colour
    layout->addWidget(mdiArea, 1);
    CreateStatusBar();

    // The enabled states, the panels and the menu bar follow every change of the active
    // document; the document count changes are caught when a document is destroyed.
    connect(mdiArea, &QMdiArea::subWindowActivated, this, [this] {
        MergeMenus();
        AppIdle();
    });
    MergeMenus();
    AppIdle();
}

TfrmMain::~TfrmMain() {
    // The documents' menus sit in our menu bar; let the documents go first.
    menuBar()->clear();
    for (QMdiSubWindow* sub : mdiArea->subWindowList()) delete sub;
}

void TfrmMain::SetForms(TfrmAbout* about, TfrmHistogram* histogram, TfrmParamHough* paramHough,
                        TfrmProperties* properties) {
    frmAbout_ = about;
    frmHistogram_ = histogram;
    frmParamHough_ = paramHough;
    frmProperties_ = properties;
}

void TfrmMain::CreateActions() {
    auto& l = actlstMenu;
    Undo1 = MakeAction(this, l, "Undo1", QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    FileOpen1 = MakeAction(this, l, "FileOpen1", QStringLiteral("&Open Image"), QKeySequence(Qt::CTRL | Qt::Key_O));
    FileSave1 = MakeAction(this, l, "FileSave1", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    FileSaveAs1 = MakeAction(this, l, "FileSaveAs1", QStringLiteral("Save &As..."), QKeySequence(Qt::CTRL | Qt::Key_A));
    FileClose1 = MakeAction(this, l, "FileClose1", QStringLiteral("&Close"));
    FileExit1 = MakeAction(this, l, "FileExit1", QStringLiteral("E&xit"));
    EditCut1 = MakeAction(this, l, "EditCut1", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X));
    EditCopy1 = MakeAction(this, l, "EditCopy1", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    EditPaste1 = MakeAction(this, l, "EditPaste1", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    WindowCascade1 = MakeAction(this, l, "WindowCascade1", QStringLiteral("&Cascade"));
    WindowTileHorizontal1 = MakeAction(this, l, "WindowTileHorizontal1", QStringLiteral("Tile &Horizontally"));
    WindowTileVertical1 = MakeAction(this, l, "WindowTileVertical1", QStringLiteral("Tile &Vertically"));
    WindowMinimizeAll1 = MakeAction(this, l, "WindowMinimizeAll1", QStringLiteral("&Minimize All"));
    WindowArrangeAll1 = MakeAction(this, l, "WindowArrangeAll1", QStringLiteral("&Arrange All"));
    HelpAbout1 = MakeAction(this, l, "HelpAbout1", QStringLiteral("&About..."));
    Property1 = MakeAction(this, l, "Property1", QStringLiteral("Property"));
    Property1->setToolTip(QStringLiteral("워터마킹이란?"));
    PageSetup1 = MakeAction(this, l, "PageSetup1", QStringLiteral("Page S&etup"));
    Print1 = MakeAction(this, l, "Print1", QStringLiteral("&Print"), QKeySequence(Qt::CTRL | Qt::Key_P));
    PrintPreview1 = MakeAction(this, l, "PrintPreview1", QStringLiteral("Print Pre&view"));
    PrintPreview1->setIconText(QStringLiteral("Print Preview"));

    // Cut, Copy and Paste have nothing to work on in this program and stay hidden. Print and
    // page set-up are not offered.
    for (QAction* a : {EditCut1, EditCopy1, EditPaste1}) a->setVisible(false);
    for (QAction* a : {PageSetup1, Print1, PrintPreview1}) a->setEnabled(false);
    // The shortcuts work whichever menus the menu bar shows at the moment.
    addActions(actlstMenu);

    auto run = [this](QAction* action, void (TfrmMain::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { Run([this, handler] { (this->*handler)(); }); });
    };
    run(Undo1, &TfrmMain::Undo1Execute);
    run(FileOpen1, &TfrmMain::FileOpen1Execute);
    run(FileSave1, &TfrmMain::FileSave1Execute);
    run(FileSaveAs1, &TfrmMain::FileSaveAs1Execute);
    run(FileClose1, &TfrmMain::FileClose1Execute);
    run(FileExit1, &TfrmMain::FileExit1Execute);
    run(HelpAbout1, &TfrmMain::HelpAbout1Execute);
    run(Property1, &TfrmMain::Property1Execute);
    run(PrintPreview1, &TfrmMain::PrintPreview1Execute);
    connect(WindowCascade1, &QAction::triggered, this, [this] { mdiArea->cascadeSubWindows(); });
    connect(WindowTileHorizontal1, &QAction::triggered, this, [this] { TileDocuments(true); });
    connect(WindowTileVertical1, &QAction::triggered, this, [this] { TileDocuments(false); });
    connect(WindowMinimizeAll1, &QAction::triggered, this, [this] {
        for (QMdiSubWindow* sub : mdiArea->subWindowList()) sub->showMinimized();
    });
    connect(WindowArrangeAll1, &QAction::triggered, this, [this] { ArrangeMinimized(); });
}

void TfrmMain::CreateMenus() {
    mnuFile = new QMenu(QStringLiteral("&File"), this);
    mnuFile->addActions({FileOpen1, FileSave1, FileSaveAs1, FileClose1});
    mnuFile->addSeparator();
    mnuFile->addActions({PageSetup1, PrintPreview1, Print1});
    mnuFile->addSeparator();
    mnuFile->addAction(FileExit1);

    mnuEdit = new QMenu(QStringLiteral("&Edit"), this);
    mnuEdit->addAction(Undo1);
    mnuEdit->addSeparator();
    mnuEdit->addActions({EditCut1, EditCopy1, EditPaste1});

    mnuWindow = new QMenu(QStringLiteral("&Window"), this);
    mnuWindow->addActions({WindowCascade1, WindowTileHorizontal1, WindowTileVertical1, WindowMinimizeAll1,
                           WindowArrangeAll1});
    const int fixedItems = static_cast<int>(mnuWindow->actions().size());
    connect(mnuWindow, &QMenu::aboutToShow, this, [this, fixedItems] { FillWindowList(mnuWindow, fixedItems); });

    mnuOptions = new QMenu(QStringLiteral("&Options"), this);
    mnuOptions->addAction(Property1);
    mnuHelp = new QMenu(QStringLiteral("&Help"), this);
    mnuHelp->addAction(HelpAbout1);

    frameMenus_ = {mnuFile, mnuEdit, mnuWindow, mnuOptions, mnuHelp};
    menuBar()->setObjectName(QStringLiteral("mainmnuMDI"));
}

void TfrmMain::CreateToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // A button that is never shown, in its place in the order (Save, Undo): a hidden stand-in
    // keeps the real action visible in the menus and its shortcut working.
    auto hiddenButton = [this](QAction* real) {
        auto* standIn = new QAction(real->iconText(), ToolBar1);
        standIn->setObjectName(QStringLiteral("tb") + real->objectName());
        standIn->setVisible(false);
        connect(standIn, &QAction::triggered, real, &QAction::trigger);
        ToolBar1->addAction(standIn);
    };
    ToolBar1->addAction(FileOpen1);
    hiddenButton(FileSave1);
    ToolBar1->addSeparator();
    ToolBar1->addActions({EditCut1, EditCopy1, EditPaste1});
    ToolBar1->addSeparator();
    hiddenButton(Undo1);
    ToolBar1->addSeparator();
    ToolBar1->addActions({WindowCascade1, WindowTileHorizontal1, WindowTileVertical1});
    ToolBar1->addSeparator();
    ToolBar1->addAction(PrintPreview1);
    ToolBar1->addSeparator();
    ToolBar1->addAction(Property1);
    ToolBar1->addSeparator();
    ToolBar1->addAction(HelpAbout1);
}

void TfrmMain::CreateWatermarkStrip() {
    auto* strip = new QFrame(centralWidget());
    strip->setObjectName(QStringLiteral("pnlWatermarks"));
    strip->setFixedHeight(148);
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
        image->setFixedSize(128, 128);
        image->setFrameStyle(QFrame::Box | QFrame::Plain);
        image->setContextMenuPolicy(Qt::CustomContextMenu);
        PictureView* target = image;
        connect(image, &QWidget::customContextMenuRequested, this, [this, target](const QPoint& pos) {
            SetPopupComponent(target);
            ppWatermark0->popup(target->mapToGlobal(pos));
        });
        inner->addWidget(image);
        inner->addWidget(new VerticalLabel(side, box));
        row->addWidget(box);
    };
    panel("pnlW0", QStringLiteral("Embedded Watermark"), QStringLiteral("원워터마크영상"), imgW0, "imgW0");
    panel("Panel2", QStringLiteral("Extracted Watermark"), QStringLiteral("추출된 워터마크된 영상"), imgW0_w,
          "imgW0_w");

    lblInstructions = new QLabel(strip);
    lblInstructions->setObjectName(QStringLiteral("lblInstructions"));
    lblInstructions->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblInstructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInstructions->setWordWrap(true);
    lblInstructions->setText(QStringLiteral(
        "★ 워터마킹 작업 순서\n"
        "1. File->Open메뉴에서 영상을 로드한다.\n"
        "2. 'Watermark Embedment->Load Watermark' 메뉴에서 워터마크를 로드한다.\n"
        "3. 단계별로 워터마킹 삽입과정을 수행한다.\n"
        "4. 영상처리 과정중 한 가지를 수행한다.\n"
        "5. 단계별로 워터마킹 추출과정을 수행한다.\n"
        "6. 삽입 및 검출의 마지막 단계에서 평가 결과값이 상태바에 출력된다."));
    QFont small = lblInstructions->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    lblInstructions->setFont(small);
    row->addWidget(lblInstructions, 1);
    static_cast<QVBoxLayout*>(centralWidget()->layout())->addWidget(strip);

    ppWatermark0 = new QMenu(this);
    ppWatermark0->setObjectName(QStringLiteral("ppWatermark0"));
    pmuLoadFromFile = ppWatermark0->addAction(QStringLiteral("LoadFromFile"));
    pmuSaveToFile = ppWatermark0->addAction(QStringLiteral("SaveToFile"));
    pmuClear = ppWatermark0->addAction(QStringLiteral("Clear"));
    pmuSaveToFile->setEnabled(false);
    connect(pmuLoadFromFile, &QAction::triggered, this, [this] { Run([this] { pmuLoadFromFileClick(); }); });
    connect(pmuSaveToFile, &QAction::triggered, this, [this] { Run([this] { pmuSaveToFileClick(); }); });
    connect(pmuClear, &QAction::triggered, this, [this] { Run([this] { pmuClearClick(); }); });
}

void TfrmMain::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("stsComment"));
    bar->setSizeGripEnabled(true);
    const QString texts[4] = {QStringLiteral("수행정보출력"), QStringLiteral("위치정보"), QStringLiteral("영상 정보"),
                              QStringLiteral("칼라정보")};
    const int widths[4] = {350, 120, 120, 120};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(texts[i], bar);
        label->setObjectName(QStringLiteral("stsComment%1").arg(i));
        label->setFixedWidth(widths[i]);
        // Panel 0 has no bevel; the others are sunken.
        label->setFrameStyle(i == 0 ? QFrame::NoFrame : (QFrame::Panel | QFrame::Sunken));
        bar->addWidget(label);
        stsComment_[static_cast<std::size_t>(i)] = label;
    }
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
    QLabel* label = stsComment_[static_cast<std::size_t>(panel)];
    label->setText(text);
    // The panels have fixed widths; a longer report can still be read in full.
    label->setToolTip(text);
    emit StatusShown(panel, text);
}

void TfrmMain::ShowStatus(int panel, const std::string& text) { ShowStatus(panel, Q(text)); }

QString TfrmMain::StatusText(int panel) const {
    if (panel < 0 || panel > 3) return {};
    return stsComment_[static_cast<std::size_t>(panel)]->text();
}

TMDIChild* TfrmMain::ActiveDocument() const {
    // currentSubWindow, unlike activeSubWindow, stays set while another window (a message
    // box, a dialog) has the focus.
    QMdiSubWindow* sub = mdiArea->currentSubWindow();
    return sub != nullptr ? qobject_cast<TMDIChild*>(sub->widget()) : nullptr;
}

QList<TMDIChild*> TfrmMain::Documents() const {
    QList<TMDIChild*> documents;
    for (QMdiSubWindow* sub : mdiArea->subWindowList()) {
        if (auto* child = qobject_cast<TMDIChild*>(sub->widget())) documents << child;
    }
    return documents;
}

void TfrmMain::MergeMenus() {
    const TMDIChild* active = ActiveDocument();
    const QList<QMenu*> wanted = active != nullptr ? active->Menus() : frameMenus_;
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
    const QList<QMdiSubWindow*> subs = mdiArea->subWindowList();
    if (subs.isEmpty()) return;
    menu->addSeparator()->setParent(menu);
    int number = 1;
    for (QMdiSubWindow* sub : subs) {
        QAction* item = menu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(sub->widget()->windowTitle()));
        item->setCheckable(true);
        item->setChecked(sub == mdiArea->currentSubWindow());
        connect(item, &QAction::triggered, mdiArea, [this, sub] { mdiArea->setActiveSubWindow(sub); });
    }
}

void TfrmMain::AppIdle() {
    const TMDIChild* active = ActiveDocument();
    const bool any = !mdiArea->subWindowList().isEmpty();
    FileSave1->setEnabled(any);
    FileSaveAs1->setEnabled(any);
    FileClose1->setEnabled(any);
    Undo1->setEnabled(any && active != nullptr && active->CanUndo());
    Property1->setEnabled(any);
    RefreshPanels();
}

void TfrmMain::RefreshPanels() {
    const TMDIChild* active = ActiveDocument();
    const auto show = [](PictureView* panel, const Bitmap& picture) {
        if (!(panel->Picture() == picture)) panel->SetPicture(picture);
    };
    show(imgW0, active != nullptr ? active->Model().Watermark() : Bitmap());
    show(imgW0_w, active != nullptr ? active->Model().ExtractedView() : Bitmap());
}

void TfrmMain::ShowPanelsOf(const TMDIChild& document) {
    if (ActiveDocument() == &document) RefreshPanels();
}

std::optional<FileDialogResult> TfrmMain::ExecuteDialog(FileDialogRequest& request) {
    request.initialDir = QCoreApplication::applicationDirPath();
    std::optional<FileDialogResult> result = dialogs_.Execute(request, this);
    if (result) request.filterIndex = result->filterIndex;
    return result;
}

void TfrmMain::FileOpen1Execute() {
    if (const auto chosen = ExecuteDialog(openDlg)) OpenImageFile(chosen->fileName);
}

TMDIChild* TfrmMain::OpenImageFile(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.exists() || info.isDir()) return nullptr;

    auto* child = new TMDIChild(*this);
    child->setWindowTitle(fileName);
    child->setToolTip(fileName);
    QMdiSubWindow* sub = mdiArea->addSubWindow(child);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // The document count changed: menus and enabled states follow once the window is gone
    // (queued, because the sub-window is still being torn down when the child goes).
    connect(child, &QObject::destroyed, this, [this] {
        QMetaObject::invokeMethod(this, [this] {
            MergeMenus();
            AppIdle();
        }, Qt::QueuedConnection);
    });
    sub->show();
    mdiArea->setActiveSubWindow(sub);
    MergeMenus();
    AppIdle();

    // The reader is chosen by the file name's own extension, whatever its case: a picture
    // the readers refuse leaves the window open and empty, with the reason in a warning.
    Bitmap working;
    PixelFormat format = PixelFormat::Unknown;
    try {
        LoadedPicture loaded = LoadPictureFile(FilePath(fileName));
        format = loaded.eightBit ? PixelFormat::Bit8 : PixelFormat::Bit24;
        working = std::move(loaded.bitmap);
    } catch (const FormatError& e) {
        prompts_.warning(e.what());
    }
    child->Open(std::move(working), format);
    child->SizeToPicture();
    AppIdle();
    return child;
}

void TfrmMain::FileSave1Execute() {
    TMDIChild* doc = ActiveDocument();
    if (doc == nullptr) return;
    const QString caption = doc->windowTitle();
    if (!QFileInfo::exists(caption)) {
        if (const auto chosen = ExecuteDialog(SaveDlg)) SaveImageFile(chosen->filterIndex, chosen->fileName);
        return;
    }
    // The same extension test as opening, so every document that could be opened can be
    // saved back to its own file.
    switch (FormatFromFileName(S(caption))) {
    case PictureFormat::Bmp: SaveImageFile(1, caption); return;
    case PictureFormat::Jpeg: SaveImageFile(2, caption); return;
    case PictureFormat::Pgm: SaveImageFile(3, caption); return;
    case PictureFormat::Png: SaveImageFile(4, caption); return;
    case PictureFormat::Unknown: break;
    }
    prompts_.information("Not Founded Image Format File");
}

void TfrmMain::FileSaveAs1Execute() {
    if (const auto chosen = ExecuteDialog(SaveDlg)) SaveImageFile(chosen->filterIndex, chosen->fileName);
}

Gray8Bitmap TfrmMain::ConvertToGray8(const Bitmap& bitmap) { return quillfen::ConvertToGray8(bitmap); }

void TfrmMain::SaveImageFile(int formatIndex, const QString& fileName) {
    TMDIChild* doc = ActiveDocument();
    if (doc == nullptr) return;
    if (formatIndex < 1 || formatIndex > 4) return;  // nothing is written
    if (doc->Picture().empty()) {
        throw FormatError("Cannot save " + S(fileName) + ": the document has no picture");
    }
    const std::string name = FilePath(fileName).native();
    const std::string lower = AsciiLower(name);
    const bool eightBit = doc->Model().Format() == PixelFormat::Bit8;
    // An 8-bit document is written through the gray palette, so every writer sees each
    // pixel's gray value.
    const Bitmap bitmap = eightBit ? FromGray8(ConvertToGray8(doc->Picture())) : doc->Picture();
    switch (formatIndex) {
    case 1:
        WriteQtPicture(lower.find(".bmp") != std::string::npos ? name : name + ".bmp", bitmap, eightBit,
                       PictureFormat::Bmp);
        break;
    case 2:
        // The encoder's refusal is a warning, as for pictures the readers refuse.
        try {
            TRixJPEG().SaveToFile(name, bitmap);
        } catch (const FormatError& e) {
            prompts_.warning(e.what());
        }
        break;
    case 3: {
        TRixPGM pgm;
        pgm.SaveToFile(lower.find(".pgm") != std::string::npos ? name : name + ".pgm", bitmap);
        break;
    }
    case 4:  // PNG, for documents opened from PNG files (Save only)
        WriteQtPicture(name, bitmap, eightBit, PictureFormat::Png);
        break;
    default:
        break;
    }
}

void TfrmMain::FileClose1Execute() {
    if (QMdiSubWindow* sub = mdiArea->currentSubWindow()) sub->close();
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

void TfrmMain::pmuLoadFromFileClick() { LoadWatermarkInto(ActiveDocument()); }

void TfrmMain::LoadWatermarkInto(TMDIChild* document) {
    if (document == nullptr || document->Picture().empty()) {
        prompts_.message(Experiment::Info(Step::LoadWatermark).refusal);
        return;
    }
    const auto chosen = ExecuteDialog(OpenPDlg);
    if (!chosen) {
        document->DropWatermark();
        return;
    }
    // Bitmap, JPEG and PGM watermarks are all decoded (and so reach W). A file that cannot
    // be read changes nothing.
    LoadedPicture loaded = LoadPictureFile(FilePath(chosen->fileName));
    // The document takes its host from the picture it shows, which then shows the 256 x 256
    // part used as X, and keeps the watermark at 128 x 128 for its panel.
    document->LoadWatermark(std::move(loaded.bitmap));
    ShowStatus(0, QStringLiteral("Watermark image[0] is loaded ") + chosen->fileName);
}

void TfrmMain::pmuSaveToFileClick() {
    PictureView* source = popupComponent_ == imgW0 ? imgW0 : imgW0_w;
    const auto chosen = ExecuteDialog(SavePDlg);
    if (!chosen) return;
    if (source->IsEmpty()) throw FormatError("Cannot save " + S(chosen->fileName) + ": the panel has no picture");
    WriteQtPicture(FilePath(chosen->fileName), source->Picture(), false, PictureFormat::Bmp);
    ShowStatus(0, QStringLiteral("Watermark image Saved to") + chosen->fileName);
}

void TfrmMain::pmuClearClick() {
    // The panels show the active document's pictures; without a document they are empty.
    if (TMDIChild* doc = ActiveDocument())
        doc->ClearPanel(popupComponent_ == imgW0 ? WatermarkPanel::Embedded : WatermarkPanel::Extracted);
}

void TfrmMain::TileDocuments(bool horizontally) {
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* sub : mdiArea->subWindowList()) {
        if (!sub->isMinimized()) subs << sub;
    }
    if (subs.isEmpty()) return;
    const QRect area = mdiArea->viewport()->rect();
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

void TfrmMain::ArrangeMinimized() {
    const QRect area = mdiArea->viewport()->rect();
    int x = 0;
    for (QMdiSubWindow* sub : mdiArea->subWindowList()) {
        if (!sub->isMinimized()) continue;
        const QSize size = sub->size();
        sub->move(x, area.height() - size.height());
        x += size.width();
    }
}

}  // namespace quillfen::ui
