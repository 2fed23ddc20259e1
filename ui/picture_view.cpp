#include "ui/picture_view.h"

#include <QPixmap>

#include "ui/ui_text.h"

namespace quillfen::ui {

PictureView::PictureView(bool autoSize, QWidget* parent) : QLabel(parent), autoSize_(autoSize) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMargin(0);
    setContentsMargins(0, 0, 0, 0);
}

void PictureView::SetPicture(Bitmap picture) {
    picture_ = std::move(picture);
    if (picture_.empty()) {
        QLabel::clear();
    } else {
        setPixmap(QPixmap::fromImage(ToQImage(picture_)));
    }
    if (autoSize_) resize(picture_.width(), picture_.height());
}

}  // namespace quillfen::ui
