#pragma once
// An image control: shows a Bitmap from the top-left corner at a zoom factor, with
// nearest-neighbour scaling so that every pixel stays a sharp square, and keeps the Bitmap
// so that commands can read back exactly what is shown. It tells which pixel the mouse is
// over, for the gray-value readout.
//
// It shares the picture rather than copying it, and draws only what is exposed, sampled to
// the screen's pixels: a 64-megapixel picture costs no more per paint than a small one.
#include <memory>
#include <optional>

#include <QImage>
#include <QLabel>

#include "quillfen/image/bitmap.h"

namespace quillfen::ui {

class PictureView : public QLabel {
    Q_OBJECT
public:
    // With `autoSize` the control takes the picture's size times the zoom (the document's
    // imgFile); without it the control keeps its fixed size and shows the picture's top-left
    // part (the panels).
    explicit PictureView(bool autoSize, QWidget* parent = nullptr);

    const Bitmap& Picture() const;
    const std::shared_ptr<const Bitmap>& SharedPicture() const { return picture_; }
    bool IsEmpty() const { return Picture().empty(); }
    void SetPicture(Bitmap picture);
    void SetPicture(std::shared_ptr<const Bitmap> picture);
    void Clear() { SetPicture(Bitmap()); }

    // The zoom factor: 1 shows one screen pixel per picture pixel.
    double Zoom() const { return zoom_; }
    void SetZoom(double zoom);
    // The zoom steps of Zoom In and Zoom Out, and the limits of every zoom.
    static constexpr double kMinZoom = 1.0 / 16;
    static constexpr double kMaxZoom = 32;
    static double ZoomedIn(double zoom);
    static double ZoomedOut(double zoom);
    // The largest zoom at which the whole picture fits `area`, within the limits.
    double FitZoom(const QSize& area) const;

    // The picture's pixel under a point of the control; false outside the picture.
    bool PixelAt(const QPoint& point, int& x, int& y) const;

signals:
    // The mouse is over pixel (x, y) of gray value `gray`.
    void PixelHovered(int x, int y, int gray);
    // The mouse left the picture.
    void HoverLeft();
    // A left click on the picture.
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void UpdateSize();
    // After the picture or the zoom changed under a resting mouse: the readout follows at
    // once, without waiting for the mouse to move.
    void ReportHover();
    // The picture's pixels under `target` (in the control's picture coordinates at `zoom`),
    // one sample per screen pixel.
    QImage Sample(const QRect& target, double zoom) const;

    bool autoSize_;
    std::shared_ptr<const Bitmap> picture_;
    double zoom_ = 1.0;
    std::optional<QPoint> mouse_;  // where the mouse rests on the control; none while it is elsewhere
};

}  // namespace quillfen::ui
