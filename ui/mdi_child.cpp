#include "ui/mdi_child.h"

#include <QAction>
#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "quillfen/image/user_prompts.h"
#include "ui/about_dialog.h"
#include "ui/background_job.h"
#include "ui/main_window.h"
#include "ui/picture_view.h"
#include "ui/results_dock.h"
#include "ui/ui_text.h"

namespace quillfen::ui {

TMDIChild::TMDIChild(TfrmMain& frame, QWidget* parent) : QWidget(parent), frame_(frame) {
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
    // The gray value under the mouse, in the panel the program has always labelled for it.
    connect(imgFile_, &PictureView::PixelHovered, this, [this](int x, int y, int gray) {
        frame_.SetPanel(3, QStringLiteral("(%1, %2) = %3").arg(x).arg(y).arg(gray));
    });
    connect(imgFile_, &PictureView::HoverLeft, this, [this] { frame_.SetPanel(3, TfrmMain::InitialStatus(3)); });
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

void TMDIChild::SizeToPicture() {
    const QSize client = imgFile_->size();
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub == nullptr) {
        resize(client);
        return;
    }
    const QSize decoration = sub->size() - size();
    sub->resize(client.expandedTo(QSize(1, 1)) + decoration);
}

void TMDIChild::SetFileName(const QString& fileName) {
    setWindowTitle(fileName);
    setToolTip(fileName);
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

void TMDIChild::pmnAboutClick() {
    if (frame_.frmAbout() != nullptr) frame_.frmAbout()->exec();
}

void TMDIChild::closeEvent(QCloseEvent* event) {
    if (!closeConfirmed_ && !frame_.ConfirmClose(*this)) {
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

void TMDIChild::Undo() {
    if (Busy()) return;
    document_.Undo();
    Redraw();
}

void TMDIChild::Redo() {
    if (Busy()) return;
    const std::optional<ResultLine> line = document_.Redo();
    Redraw();
    if (line) ShowLine(*line);
}

void TMDIChild::LoadWatermark(Bitmap mark) {
    document_.LoadWatermark(std::move(mark));
    Redraw();
}

void TMDIChild::DropWatermark() {
    document_.DropWatermark();
    Redraw();
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
    imgFile_->SetZoom(zoom);
    frame_.ShowDocument(*this);
}

void TMDIChild::ZoomIn() { SetZoom(PictureView::ZoomedIn(Zoom())); }

void TMDIChild::ZoomOut() { SetZoom(PictureView::ZoomedOut(Zoom())); }

void TMDIChild::ZoomFit() {
    // The room the window has without scroll bars.
    QSize area = scroll_->size();
    if (area.isEmpty()) area = scroll_->viewport()->size();
    SetZoom(imgFile_->FitZoom(area));
}

// ---- The status panels ------------------------------------------------------------------------

void TMDIChild::Say(int panel, const QString& text, std::uint64_t line) {
    if (panel < 0 || panel > 2) return;
    panels_[static_cast<std::size_t>(panel)] = {text, line};
    if (frame_.ActiveDocument() == this) frame_.SetPanel(panel, PanelText(panel), true);
}

QString TMDIChild::PanelText(int panel) const {
    if (panel >= 0 && panel <= 2 && !panels_[static_cast<std::size_t>(panel)].text.isEmpty())
        return panels_[static_cast<std::size_t>(panel)].text;
    if (panel == 2 && !Picture().empty()) return SizeText();
    return TfrmMain::InitialStatus(panel);
}

QString TMDIChild::SizeText() const {
    QString text = QStringLiteral("%1 × %2").arg(Picture().width()).arg(Picture().height());
    if (Zoom() != 1.0) text += QStringLiteral(" (%1%)").arg(qRound(Zoom() * 100));
    return text;
}

void TMDIChild::ShowLine(const ResultLine& line) {
    if (line.report.panel >= 0) Say(line.report.panel, ResultText(line), line.id);
}

void TMDIChild::ForgetStaleTexts() {
    for (int panel = 0; panel <= 2; ++panel) {
        PanelMemory& memory = panels_[static_cast<std::size_t>(panel)];
        if (memory.line == 0 || document_.HasLine(memory.line)) continue;
        memory = {};
        // The newest result that still holds takes its place.
        const std::vector<ResultLine>& lines = document_.Results();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            if (it->report.panel == panel) {
                memory = {ResultText(*it), it->id};
                break;
            }
        }
    }
}

void TMDIChild::ShowRowPictures(Bitmap mark, Bitmap extracted, const std::string& source,
                                const std::vector<Report>& reports) {
    const std::uint64_t before = document_.LastLineId();
    document_.ShowPanels(std::move(mark), std::move(extracted));
    document_.AddReports(source, reports);
    for (const ResultLine& line : document_.Results())
        if (line.id > before) ShowLine(line);
    Redraw();
}

// ---- Drawing ----------------------------------------------------------------------------------

void TMDIChild::Redraw() {
    if (shownVersion_ != document_.PictureVersion()) {
        // A toolbox result is drawn from the working image itself, without its 24-bit form.
        if (const GrayPlane* image = document_.ShownImage()) {
            imgFile_->SetGray(*image);
        } else {
            imgFile_->SetPicture(document_.Picture());
        }
        shownVersion_ = document_.PictureVersion();
    }
    ForgetStaleTexts();
    frame_.ShowDocument(*this);
    SyncMarks();
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
