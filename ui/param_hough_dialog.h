#pragma once
// TfrmParamHough: the parameters of the Hough transform, asked before the transform runs.
#include <optional>

#include <QDialog>

#include "quillfen/toolbox/hough.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quillfen::ui {

class UserPrompts;

// The transform's parameters: Radius is the number of distance cells (rhoCount), Theta the
// number of angle cells; "Point" or "Line" chooses lineBased.
using HoughParameters = hough::Parameters;

class TfrmParamHough : public QDialog {
    Q_OBJECT
public:
    explicit TfrmParamHough(UserPrompts& prompts, QWidget* parent = nullptr);

    // Fills the fields and shows the dialog modally. Returns the entered parameters after OK,
    // nothing after Cancel. OK with an entry that is not a valid integer is refused with a
    // message, and the dialog stays open.
    std::optional<HoughParameters> Ask(const HoughParameters& initial = HoughParameters{});

    void Fill(const HoughParameters& parameters);
    // The parameters in the fields; nothing (after telling the user why) when one is not a
    // whole number in its range.
    std::optional<HoughParameters> ReadParameters();

    void accept() override;

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLineEdit* edtRadius;
    QLabel* Label2;
    QLineEdit* edtTheta;
    QGroupBox* GroupBox2;
    QLabel* Label3;
    QLineEdit* edtLThresh;
    QLabel* Label4;
    QLineEdit* edtGThresh;
    QLabel* Label5;
    QLineEdit* edtHThresh;
    QGroupBox* rdoBased;
    QRadioButton* rdoPoint;
    QRadioButton* rdoLine;
    QPushButton* btnOk;
    QPushButton* btnCancel;

private:
    UserPrompts& prompts_;
};

}  // namespace quillfen::ui
