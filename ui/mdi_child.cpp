#include "ui/mdi_child.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "ui/background_job.h"
#include "ui/picture_view.h"
#include "ui/results_dock.h"
#include "ui/ui_text.h"
#include "ui/user_prompts.h"

namespace quillfen::ui {

TMDIChild::TMDIChild(DocumentHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("MDIChild"));
    setWindowTitle(QStringLiteral("MDI Child"));
    setAttribute(Qt::WA_DeleteOnClose);  // closing destroys the window, never hides it

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgFile_ = new PictureView(true);
    imgFile_->setObjectName(QStringLiteral("imgFile"));
    imgFile_->resize(0, 0);
    scroll_->setWidget(imgFile_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);

    CreateWatermarkMenus();
    CreatePopupMenu();
    // The picture carries the popup menu of image-processing commands: a right click on it
    // opens the menu where the mouse is.
    imgFile_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(imgFile_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup_->popup(imgFile_->mapToGlobal(pos)); });
    // The keyboard's way to it (Shift+F10, the menu key), opened at the picture's corner.
    auto* popupKey = new QAction(this);
    popupKey->setObjectName(QStringLiteral("actToolboxMenu"));
    popupKey->setShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)});
    popupKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(popupKey, &QAction::triggered, this, [this] {
        popup_->popup(scroll_->viewport()->mapToGlobal(QPoint(8, 8)));
    });
    addAction(popupKey);
    // The lines come and go in the document; the window passes each change on as it happens.
    document_.Listen({[this](const ResultLine& line) { emit ResultAdded(line); },
                      [this](std::uint64_t id) {
                          LineGone(id);
                          emit ResultRemoved(id);
                      }});
    SyncMarks();
}

TMDIChild::~TMDIChild() {
    // The work on a copy has nothing to give back any more.
    delete job_;
    job_ = nullptr;
    // The menus have no parent widget of their own while they sit in the frame's menu bar.
    qDeleteAll(menus_);
    delete popup_;
}

const Bitmap& TMDIChild::Picture() const { return imgFile_->Picture(); }

void TMDIChild::MarkSaved() {
    document_.MarkSaved();
    setWindowModified(document_.Modified());
}

void TMDIChild::MarkNeverSaved() {
    document_.MarkNeverSaved();
    setWindowModified(true);
}

namespace {

// The room of the frame's document area a subwindow may take, and its frame and title bar.
QSize Workspace(const QMdiSubWindow* sub) {
    const QMdiArea* area = sub->mdiArea();
    return area != nullptr ? area->viewport()->size() : QSize();
}

}  // namespace

void TMDIChild::SizeToPicture() {
    const QSize client = imgFile_->size();
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub == nullptr) {
        resize(client);
        return;
    }
    if (sub->isMaximized()) return;
    const QSize decoration = sub->size() - size();
    QSize wanted = client.expandedTo(QSize(1, 1)) + decoration;
    const QSize workspace = Workspace(sub);
    if (workspace.isValid() && !workspace.isEmpty()) {
        wanted = wanted.boundedTo(workspace);
        // Back inside the workspace, title bar and close button on screen.
        QPoint at = sub->pos();
        at.setX(std::clamp(at.x(), 0, std::max(0, workspace.width() - wanted.width())));
        at.setY(std::clamp(at.y(), 0, std::max(0, workspace.height() - wanted.height())));
        sub->move(at);
    }
    sub->resize(wanted);
}

void TMDIChild::FitNewDocument() {
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub != nullptr && !sub->isMaximized()) {
        const QSize room = Workspace(sub) - (sub->size() - size());
        const Bitmap& picture = Picture();
        if (room.isValid() && (picture.width() > room.width() || picture.height() > room.height())) {
            imgFile_->SetZoom(imgFile_->FitZoom(room));
            fittedToWorkspace_ = true;
        } else {
            imgFile_->SetZoom(1.0);
            fittedToWorkspace_ = false;
        }
    }
    SizeToPicture();
    emit Changed();
}

void TMDIChild::WorkspaceResized() {
    // A window made smaller than its picture because the workspace was small (the frame not
    // yet laid out or maximized, say) takes the room it is given, up to 1:1; one the user
    // has zoomed keeps its zoom.
    if (fittedToWorkspace_) FitNewDocument();
}

void TMDIChild::SetFileName(const QString& fileName) {
    fileName_ = fileName;
    setToolTip(fileName);
    SetTitle(BaseTitle());
}

QString TMDIChild::BaseTitle() const {
    // A picture made in the program has a caption, not a file: its caption is its name.
    if (document_.NeverSaved() || !fileName_.contains(QLatin1Char('/'))) return fileName_;
    return QFileInfo(fileName_).fileName();
}

void TMDIChild::SetTitle(const QString& title) {
    title_ = title;
    // "[*]" is where Qt puts the "*" of a changed document; a literal one is doubled.
    QString shown = title;
    setWindowTitle(shown.replace(QStringLiteral("[*]"), QStringLiteral("[[*]]")) + QStringLiteral("[*]"));
}

QAction* TMDIChild::Action(const QString& name) const {
    for (const QList<QAction*>* list : {&toolboxActions_, &stepActions_, &fileActions_}) {
        for (QAction* a : *list) {
            if (a->objectName() == name) return a;
        }
    }
    return nullptr;
}

QAction* TMDIChild::StepAction(Step step) const { return stepActions_[static_cast<qsizetype>(step)]; }

void TMDIChild::closeEvent(QCloseEvent* event) {
    if (!closeConfirmed_ && !host_.ConfirmClose(*this)) {
        event->ignore();
        return;
    }
    CancelWork();
    QWidget::closeEvent(event);
}

// ---- Commands the main frame forwards --------------------------------------------------------

void TMDIChild::Open(Bitmap picture, PixelFormat format) {
    document_.Open(std::move(picture), format);
    Redraw();
}

void TMDIChild::Open(PreparedPicture prepared) {
    document_.Open(std::move(prepared));
    Redraw();
}

void TMDIChild::Undo() { Swap(true); }

void TMDIChild::Redo() { Swap(false); }

void TMDIChild::Swap(bool undoing) {
    if (Busy() || !(undoing ? document_.CanUndo() : document_.CanRedo())) return;
    const QString name = Tr("Toolbox", undoing ? document_.UndoName() : document_.RedoName());
    const auto apply = [this, undoing, name](PreparedSwap prepared) {
        const bool embedded = EmbeddingRan();
        const std::optional<ResultLine> line = document_.ApplySwap(undoing, std::move(prepared));
        Redraw();
        if (line && !undoing) ShowLine(*line);
        Say(0, (undoing ? tr("Undone: %1") : tr("Redone: %1")).arg(name));
        if (embedded) SayEmbeddingEnded();
    };
    // Unpacking one picture, packing the other and drawing the result cost a few passes over
    // the pixels each.
    if (!host_.RunsInBackground(8.0 * document_.Image().GetPixelCount())) {
        apply(document_.PrepareSwap(undoing));
        return;
    }
    const Document* document = &document_;
    StartJob((undoing ? tr("Undo %1") : tr("Redo %1")).arg(name),
             [document, undoing, apply](ProgressSink&) -> Apply {
                 auto prepared = std::make_shared<PreparedSwap>(document->PrepareSwap(undoing));
                 return [apply, prepared] { apply(std::move(*prepared)); };
             }, false);
}

bool TMDIChild::EmbeddingRan() const { return document_.GetExperiment().HasRun(Step::GetWr); }

void TMDIChild::SayEmbeddingEnded() {
    Say(0, tr("The picture has changed: what the embedding made from it is gone (run the embedding again)."));
}

void TMDIChild::LoadWatermarkFromFile() {
    if (document_.Picture().empty()) {
        host_.Prompts().message(S(Tr("Step", PresentationOf(Step::LoadWatermark).refusal)));
        return;
    }
    const auto chosen = host_.ExecuteDialog(SharedDialog::OpenPicture);
    if (!chosen) {
        document_.DropWatermark();
        Redraw();
        return;
    }
    // Bitmap, JPEG and PGM watermarks are all decoded (and so reach W). A file that cannot
    // be read changes nothing.
    LoadedPicture loaded = LoadPictureFile(FilePath(chosen->fileName));
    // A mark without black where NC compares would run to "NC =undefined": refused as
    // `quillfen-cli embed` refuses it, with the document as it was.
    if (!Document::HasBlackToFind(loaded.bitmap))
        throw ArgumentError(S(tr("Cannot use %1 as the watermark: it has no black pixel (below 128) outside its first "
                                 "four rows and columns, so there is nothing to find again.")
                                  .arg(chosen->fileName)));
    // The document takes its host from the picture it shows, which then shows the 256 x 256
    // part used as X, and keeps the watermark at 128 x 128 for its panel.
    document_.LoadWatermark(std::move(loaded.bitmap));
    Redraw();
    Say(0, tr("Watermark image[0] is loaded %1").arg(chosen->fileName));
}

void TMDIChild::ClearPanel(WatermarkPanel panel) {
    if (panel == WatermarkPanel::Embedded) {
        document_.ClearWatermarkPanel();
    } else {
        document_.ClearExtractedPanel();
    }
    Redraw();
}

// ---- Zoom -------------------------------------------------------------------------------------

double TMDIChild::Zoom() const { return imgFile_->Zoom(); }

void TMDIChild::SetZoom(double zoom) {
    fittedToWorkspace_ = false;
    imgFile_->SetZoom(zoom);
    emit Changed();
}

void TMDIChild::ZoomIn() { SetZoom(PictureView::ZoomedIn(Zoom())); }

void TMDIChild::ZoomOut() { SetZoom(PictureView::ZoomedOut(Zoom())); }

void TMDIChild::ZoomFit() {
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub != nullptr && !sub->isMaximized() && !Workspace(sub).isEmpty()) {
        // The whole workspace, less the window's frame and title bar; then the window
        // follows the picture.
        SetZoom(imgFile_->FitZoom(Workspace(sub) - (sub->size() - size())));
        SizeToPicture();
        return;
    }
    // The room the window has without scroll bars.
    QSize area = scroll_->size();
    if (area.isEmpty()) area = scroll_->viewport()->size();
    SetZoom(imgFile_->FitZoom(area));
}

// ---- The status panels ------------------------------------------------------------------------

void TMDIChild::Say(int panel, const QString& text, std::uint64_t line) {
    if (panel < 0 || panel > 2) return;
    panels_[static_cast<std::size_t>(panel)] = {text, line};
    emit StatusSaid(panel, PanelText(panel));
}

QString TMDIChild::PanelText(int panel) const {
    if (panel >= 0 && panel <= 2 && !panels_[static_cast<std::size_t>(panel)].text.isEmpty())
        return panels_[static_cast<std::size_t>(panel)].text;
    if (panel == 2 && !Picture().empty()) return SizeText();
    return QString();
}

QString TMDIChild::SizeText() const {
    QString text = QStringLiteral("%1 × %2").arg(Picture().width()).arg(Picture().height());
    if (Zoom() != 1.0) text += QStringLiteral(" (%1%)").arg(qRound(Zoom() * 100));
    return text;
}

void TMDIChild::ShowLine(const ResultLine& line) {
    if (line.panel >= 0) Say(line.panel, ResultText(line), line.id);
}

void TMDIChild::LineGone(std::uint64_t id) {
    for (int panel = 0; panel <= 2; ++panel) {
        PanelMemory& memory = panels_[static_cast<std::size_t>(panel)];
        if (memory.line != id) continue;
        memory = {};
        // The newest result left for the panel takes its place; the frame shows it when the
        // document is drawn again.
        const std::vector<ResultLine>& lines = document_.Results();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            if (it->panel == panel) {
                memory = {ResultText(*it), it->id};
                break;
            }
        }
    }
}

void TMDIChild::ShowRowPictures(Bitmap mark, Bitmap extracted, const std::string& source,
                                const std::vector<StepReport>& reports) {
    const std::uint64_t before = document_.LastLineId();
    document_.ShowPanels(std::move(mark), std::move(extracted));
    document_.AddReports(source, reports);
    for (const ResultLine& line : document_.Results())
        if (line.id > before) ShowLine(line);
    Redraw();
}

// ---- Drawing ----------------------------------------------------------------------------------

void TMDIChild::Redraw() {
    if (imgFile_->SharedPicture() != document_.ShownShared()) imgFile_->SetPicture(document_.ShownShared());
    setWindowModified(document_.Modified());
    SyncMarks();
    emit Changed();
}

void TMDIChild::SyncMarks() {
    for (const StepInfo& info : Experiment::Steps())
        StepAction(info.step)->setChecked(document_.GetExperiment().HasRun(info.step));
    // The files of the current embedding, and a picture attacked elsewhere standing for the
    // attack.
    Action(QStringLiteral("actSaveKey"))->setChecked(document_.HasWritten(Document::Written::Key));
    Action(QStringLiteral("actSaveWatermarked"))->setChecked(document_.HasWritten(Document::Written::MarkedImage));
    Action(QStringLiteral("actLoadAttacked"))->setChecked(document_.GetExperiment().AttackedElsewhere());
}

}  // namespace quillfen::ui
