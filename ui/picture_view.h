#pragma once
// An image control: shows a Bitmap or a gray plane from the top-left corner at a zoom
// factor, with nearest-neighbour scaling so that every pixel stays a sharp square, and keeps
// a Bitmap it was given so that commands can read back exactly what is shown. It tells which
// pixel the mouse is over, for the gray-value readout. The picture is converted once, when
// it is set, into the form the screen is drawn in.
#include <QImage>
#include <QLabel>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/gray_plane.h"

namespace quillfen::ui {

class PictureView : public QLabel {
    Q_OBJECT
public:
    // With `autoSize` the control takes the picture's size times the zoom (the document's
    // imgFile); without it the control keeps its fixed size and shows the picture's top-left
    // part (the panels).
    explicit PictureView(bool autoSize, QWidget* parent = nullptr);

    // What is shown, as a Bitmap (made from a gray plane when first asked for).
    const Bitmap& Picture() const;
    bool IsEmpty() const { return image_.isNull(); }
    void SetPicture(Bitmap picture);
    // Shows a gray plane; its Bitmap is made only if Picture() is asked for.
    void SetGray(const GrayPlane& plane);
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

    // The picture set, made ready to draw: 32-bit, the form of the window's backing store,
    // so that painting copies pixels rather than converting them every time.
    void Show(QImage image);

    bool autoSize_;
    mutable Bitmap picture_;  // the picture set, or (gray_) made from image_ when asked for
    bool gray_ = false;       // a gray plane was set: image_ holds it
    QImage image_;  // the picture as drawn, RGB32
    double zoom_ = 1.0;
};

}  // namespace quillfen::ui
