#include "ui/picture_view.h"

#include <algorithm>
#include <array>
#include <cmath>

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

void PictureView::SetPicture(Bitmap picture) {
    picture_ = std::move(picture);
    image_ = ToQImage(picture_);
    UpdateSize();
    update();
}

void PictureView::SetZoom(double zoom) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom == zoom_) return;
    zoom_ = zoom;
    UpdateSize();
    update();
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
    if (picture_.empty() || area.isEmpty()) return 1.0;
    const double zoom = std::min(static_cast<double>(area.width()) / picture_.width(),
                                 static_cast<double>(area.height()) / picture_.height());
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

void PictureView::UpdateSize() {
    if (!autoSize_) return;
    resize(static_cast<int>(std::floor(picture_.width() * zoom_)), static_cast<int>(std::floor(picture_.height() * zoom_)));
}

bool PictureView::PixelAt(const QPoint& point, int& x, int& y) const {
    const QPoint inside = point - contentsRect().topLeft();
    if (picture_.empty() || inside.x() < 0 || inside.y() < 0) return false;
    // The panels draw at 1:1 whatever the zoom; the document at its zoom.
    const double zoom = autoSize_ ? zoom_ : 1.0;
    x = static_cast<int>(std::floor(inside.x() / zoom));
    y = static_cast<int>(std::floor(inside.y() / zoom));
    return x < picture_.width() && y < picture_.height();
}

void PictureView::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);  // the frame of the panels; QLabel's own text is never set
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRect contents = contentsRect();
    painter.setClipRect(contents & event->rect());
    const double zoom = autoSize_ ? zoom_ : 1.0;
    if (zoom == 1.0) {
        painter.drawImage(contents.topLeft(), image_);
        return;
    }
    // Only the part that needs painting, each source pixel a whole square of the target.
    const QRect exposed = (event->rect() & contents).translated(-contents.topLeft());
    const int x0 = std::max(0, static_cast<int>(std::floor(exposed.left() / zoom)));
    const int y0 = std::max(0, static_cast<int>(std::floor(exposed.top() / zoom)));
    const int x1 = std::min(image_.width(), static_cast<int>(std::ceil((exposed.right() + 1) / zoom)) + 1);
    const int y1 = std::min(image_.height(), static_cast<int>(std::ceil((exposed.bottom() + 1) / zoom)) + 1);
    if (x1 <= x0 || y1 <= y0) return;
    painter.translate(contents.topLeft());
    painter.scale(zoom, zoom);
    painter.drawImage(QRectF(x0, y0, x1 - x0, y1 - y0), image_, QRectF(x0, y0, x1 - x0, y1 - y0));
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    int x = 0;
    int y = 0;
    if (PixelAt(event->position().toPoint(), x, y)) {
        emit PixelHovered(x, y, picture_.blue(x, y));
    } else {
        emit HoverLeft();
    }
    QLabel::mouseMoveEvent(event);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit Clicked();
    QLabel::mousePressEvent(event);
}

void PictureView::leaveEvent(QEvent* event) {
    emit HoverLeft();
    QLabel::leaveEvent(event);
}

}  // namespace quillfen::ui
