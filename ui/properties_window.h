#pragma once
// TfrmProperties: the read-only window that explains the watermarking method.
#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

namespace quillfen::ui {

class TfrmProperties : public QDialog {
    Q_OBJECT
public:
    explicit TfrmProperties(QWidget* parent = nullptr);

    QLineEdit* Edit2;       // heading of the first paragraph
    QPlainTextEdit* Memo2;  // why watermarking is needed
    QLineEdit* Edit1;       // heading of the second paragraph
    QPlainTextEdit* Memo1;  // the method of this program
};

}  // namespace quillfen::ui
