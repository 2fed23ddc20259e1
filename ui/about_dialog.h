#pragma once
// TfrmAbout: the about box.
#include <QDialog>

class QLabel;
class QPushButton;

namespace quillfen::ui {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Copyright;  // the rights holders
    QLabel* Label1;     // where to report problems
    QLabel* Label2;
    QLabel* Comments;
    QLabel* Label3;     // Korean note on reports and questions
    QPushButton* BitBtn1;
};

}  // namespace quillfen::ui
