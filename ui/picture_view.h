#pragma once
// An image control: shows a Bitmap at its own size from the top-left corner, and keeps the
// Bitmap so that commands can read back exactly what is shown.
#include <QLabel>

#include "image/bitmap.h"

namespace quillfen::ui {

class PictureView : public QLabel {
    Q_OBJECT
public:
    // With `autoSize` the control takes the picture's size (the document's imgFile); without
    // it the control keeps its fixed size and shows the picture's top-left part (the panels).
    explicit PictureView(bool autoSize, QWidget* parent = nullptr);

    const Bitmap& Picture() const { return picture_; }
    bool IsEmpty() const { return picture_.empty(); }
    void SetPicture(Bitmap picture);
    void Clear() { SetPicture(Bitmap()); }

private:
    bool autoSize_;
    Bitmap picture_;
};

}  // namespace quillfen::ui
