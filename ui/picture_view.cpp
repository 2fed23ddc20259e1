#include "ui/picture_view.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>


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
    if (gray_ && picture_.empty() && !image_.isNull()) {
        // The gray levels are the blue bytes of the drawn pixels.
        Bitmap picture(image_.width(), image_.height(), 0);
        for (int y = 0; y < image_.height(); ++y) {
            const auto* in = reinterpret_cast<const quint32*>(image_.constScanLine(y));
            for (int x = 0; x < image_.width(); ++x) picture.setGray(x, y, static_cast<std::uint8_t>(qBlue(in[x])));
        }
        picture_ = std::move(picture);
    }
    return picture_;
}

void PictureView::SetPicture(Bitmap picture) {
    picture_ = std::move(picture);
    gray_ = false;
    if (picture_.empty()) {
        Show(QImage());
        return;
    }
    // The bitmap's own bytes, read in place and converted once.
    const QImage bytes(picture_.bytes().data(), picture_.width(), picture_.height(),
                       static_cast<qsizetype>(picture_.rowBytes()), QImage::Format_BGR888);
    Show(bytes.convertToFormat(QImage::Format_RGB32));
}

void PictureView::SetGray(const GrayPlane& plane) {
    picture_ = Bitmap();
    gray_ = true;
    if (plane.empty()) {
        Show(QImage());
        return;
    }
    // The image drawn before is written over when it has the size and nothing else holds it
    // (no new memory to fault in, nothing copied).
    QImage image = std::move(image_);
    if (image.width() != plane.width() || image.height() != plane.height() ||
        image.format() != QImage::Format_RGB32 || !image.isDetached())
        image = QImage(plane.width(), plane.height(), QImage::Format_RGB32);
    static const std::array<quint32, 256> kGray = [] {
        std::array<quint32, 256> gray{};
        for (quint32 g = 0; g < 256; ++g) gray[g] = 0xFF000000u | g * 0x010101u;
        return gray;
    }();
    const int width = plane.width();  // not read again after each store
    for (int y = 0; y < plane.height(); ++y) {
        const std::uint8_t* in = plane.row(y);
        auto* out = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) out[x] = kGray[in[x]];
    }
    Show(std::move(image));
}

void PictureView::Show(QImage image) {
    image_ = std::move(image);
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
    if (image_.isNull() || area.isEmpty()) return 1.0;
    const double zoom = std::min(static_cast<double>(area.width()) / image_.width(),
                                 static_cast<double>(area.height()) / image_.height());
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

void PictureView::UpdateSize() {
    if (!autoSize_) return;
    resize(static_cast<int>(std::floor(image_.width() * zoom_)), static_cast<int>(std::floor(image_.height() * zoom_)));
}

bool PictureView::PixelAt(const QPoint& point, int& x, int& y) const {
    const QPoint inside = point - contentsRect().topLeft();
    if (image_.isNull() || inside.x() < 0 || inside.y() < 0) return false;
    // The panels draw at 1:1 whatever the zoom; the document at its zoom.
    const double zoom = autoSize_ ? zoom_ : 1.0;
    x = static_cast<int>(std::floor(inside.x() / zoom));
    y = static_cast<int>(std::floor(inside.y() / zoom));
    return x < image_.width() && y < image_.height();
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
        emit PixelHovered(x, y, qBlue(image_.pixel(x, y)));
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
