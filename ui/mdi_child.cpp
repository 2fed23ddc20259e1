#include "ui/mdi_child.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/about_dialog.h"
#include "ui/main_window.h"
#include "ui/picture_view.h"
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
    SyncMarks();
}

TMDIChild::~TMDIChild() {
    // The menus have no parent widget of their own while they sit in the frame's menu bar.
    qDeleteAll(menus_);
    delete popup_;
}

const Bitmap& TMDIChild::Picture() const { return imgFile_->Picture(); }

void TMDIChild::SizeToPicture() {
    const QSize client(Picture().width(), Picture().height());
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub == nullptr) {
        resize(client);
        return;
    }
    const QSize decoration = sub->size() - size();
    sub->resize(client.expandedTo(QSize(1, 1)) + decoration);
}

QAction* TMDIChild::Action(const QString& name) const {
    for (const QList<QAction*>* list : {&toolboxActions_, &stepActions_}) {
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

// ---- Commands the main frame forwards --------------------------------------------------------

void TMDIChild::Open(Bitmap picture, PixelFormat format) {
    document_.Open(std::move(picture), format);
    Redraw();
}

void TMDIChild::Undo() {
    document_.Undo();
    Redraw();
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

// ---- Drawing ----------------------------------------------------------------------------------

void TMDIChild::Redraw() {
    if (!(imgFile_->Picture() == document_.Picture())) imgFile_->SetPicture(document_.Picture());
    frame_.ShowPanelsOf(*this);
    SyncMarks();
}

void TMDIChild::SyncMarks() {
    for (const StepInfo& info : Experiment::Steps())
        StepAction(info.step)->setChecked(document_.GetExperiment().HasRun(info.step));
}

void TMDIChild::ShowReport(const Report& report) {
    frame_.ShowStatus(report.panel, Q(report.text) + LocalizeNumber(report.number));
}

}  // namespace quillfen::ui
