#include "ui/picture_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "ui/ui_text.h"

namespace quillfen::ui {

namespace {

// The zoom steps: the factors at which pixels are drawn as squares of even size, or of one
// screen pixel per few picture pixels.
constexpr std::array<double, 17> kSteps = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1, 1.5, 2,
                                           3,        4,       6,       8,       12,      16,      24,      32};

}  // namespace

PictureView::PictureView(bool autoSize, QWidget* parent) : QLabel(parent), autoSize_(autoSize) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMargin(0);
    setContentsMargins(0, 0, 0, 0);
    setMouseTracking(true);
}

const Bitmap& PictureView::Picture() const {
    static const Bitmap empty;
    return picture_ ? *picture_ : empty;
}

void PictureView::SetPicture(Bitmap picture) { SetPicture(std::make_shared<const Bitmap>(std::move(picture))); }

void PictureView::SetPicture(std::shared_ptr<const Bitmap> picture) {
    picture_ = std::move(picture);
    UpdateSize();
    update();
    ReportHover();
}

void PictureView::SetZoom(double zoom) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom == zoom_) return;
    zoom_ = zoom;
    UpdateSize();
    update();
    ReportHover();
}

double PictureView::ZoomedIn(double zoom) {
    for (const double step : kSteps)
        if (step > zoom * 1.0001) return step;
    return kMaxZoom;
}

double PictureView::ZoomedOut(double zoom) {
    for (auto it = kSteps.rbegin(); it != kSteps.rend(); ++it)
        if (*it < zoom * 0.9999) return *it;
    return kMinZoom;
}

double PictureView::FitZoom(const QSize& area) const {
    const Bitmap& picture = Picture();
    if (picture.empty() || area.isEmpty()) return 1.0;
    const double zoom = std::min(static_cast<double>(area.width()) / picture.width(),
                                 static_cast<double>(area.height()) / picture.height());
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

void PictureView::UpdateSize() {
    if (!autoSize_) return;
    resize(static_cast<int>(std::floor(Picture().width() * zoom_)), static_cast<int>(std::floor(Picture().height() * zoom_)));
}

bool PictureView::PixelAt(const QPoint& point, int& x, int& y) const {
    const QPoint inside = point - contentsRect().topLeft();
    if (IsEmpty() || inside.x() < 0 || inside.y() < 0) return false;
    // The panels draw at 1:1 whatever the zoom; the document at its zoom.
    const double zoom = autoSize_ ? zoom_ : 1.0;
    x = static_cast<int>(std::floor(inside.x() / zoom));
    y = static_cast<int>(std::floor(inside.y() / zoom));
    return x < Picture().width() && y < Picture().height();
}

QImage PictureView::Sample(const QRect& target, double zoom) const {
    const Bitmap& picture = Picture();
    QImage image(target.size(), QImage::Format_BGR888);
    // Screen column tx shows picture column floor(tx / zoom): every picture pixel a whole
    // square at zoom >= 1, every zoom-th pixel below it.
    std::vector<int> columns(static_cast<std::size_t>(target.width()));
    for (int i = 0; i < target.width(); ++i)
        columns[static_cast<std::size_t>(i)] =
            std::min(picture.width() - 1, static_cast<int>(std::floor((target.left() + i) / zoom)));
    for (int j = 0; j < target.height(); ++j) {
        const int y = std::min(picture.height() - 1, static_cast<int>(std::floor((target.top() + j) / zoom)));
        const std::uint8_t* in = picture.row(y);
        std::uint8_t* out = image.scanLine(j);
        for (const int x : columns) {
            std::copy_n(in + 3 * static_cast<std::size_t>(x), 3, out);
            out += 3;
        }
    }
    return image;
}

void PictureView::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);  // the frame of the panels; QLabel's own text is never set
    if (IsEmpty()) return;
    const QRect contents = contentsRect();
    const double zoom = autoSize_ ? zoom_ : 1.0;
    // The picture's extent on screen, and the part of it that needs painting.
    const QRect drawn(0, 0, static_cast<int>(std::floor(Picture().width() * zoom)),
                      static_cast<int>(std::floor(Picture().height() * zoom)));
    const QRect exposed = (event->rect() & contents).translated(-contents.topLeft()) & drawn;
    if (exposed.isEmpty()) return;
    QPainter painter(this);
    painter.drawImage(exposed.topLeft() + contents.topLeft(), Sample(exposed, zoom));
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    mouse_ = event->position().toPoint();
    ReportHover();
    QLabel::mouseMoveEvent(event);
}

void PictureView::ReportHover() {
    if (!mouse_) return;
    int x = 0;
    int y = 0;
    if (PixelAt(*mouse_, x, y)) {
        emit PixelHovered(x, y, Picture().blue(x, y));
    } else {
        emit HoverLeft();
    }
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit Clicked();
    QLabel::mousePressEvent(event);
}

void PictureView::leaveEvent(QEvent* event) {
    mouse_.reset();
    emit HoverLeft();
    QLabel::leaveEvent(event);
}

}  // namespace quillfen::ui
