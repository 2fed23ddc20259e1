#include "ui/param_hough_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "quillfen/image/number_format.h"
#include "ui/ui_text.h"
#include "ui/user_prompts.h"

namespace quillfen::ui {

namespace {

QLineEdit* AddField(QGridLayout* grid, int row, const QString& caption, QLabel*& label, QWidget* parent) {
    label = new QLabel(caption, parent);
    auto* edit = new QLineEdit(parent);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
}

}  // namespace

TfrmParamHough::TfrmParamHough(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts) {
    setObjectName(QStringLiteral("frmParamHough"));
    setWindowTitle(tr("Hough Transform Parameters"));

    GroupBox1 = new QGroupBox(tr("Parameter Space"), this);
    auto* grid1 = new QGridLayout(GroupBox1);
    edtRadius = AddField(grid1, 0, tr("Radius :"), Label1, GroupBox1);
    edtTheta = AddField(grid1, 1, tr("Theta(Θ) :"), Label2, GroupBox1);

    GroupBox2 = new QGroupBox(tr("Threshold"), this);
    auto* grid2 = new QGridLayout(GroupBox2);
    edtLThresh = AddField(grid2, 0, tr("Minimum line length :"), Label3, GroupBox2);
    edtGThresh = AddField(grid2, 1, tr("Gradient magnitude :"), Label4, GroupBox2);
    edtHThresh = AddField(grid2, 2, tr("Hough Strength :"), Label5, GroupBox2);

    rdoBased = new QGroupBox(tr("Based Hough Transform : "), this);
    auto* radios = new QHBoxLayout(rdoBased);  // two columns
    rdoPoint = new QRadioButton(tr("Point"), rdoBased);
    rdoLine = new QRadioButton(tr("Line"), rdoBased);
    rdoPoint->setChecked(true);
    radios->addWidget(rdoPoint);
    radios->addWidget(rdoLine);

    btnOk = new QPushButton(tr("OK"), this);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(tr("Cancel"), this);
    connect(btnOk, &QPushButton::clicked, this, &TfrmParamHough::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addWidget(rdoBased);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmParamHough::Fill(const HoughParameters& p) {
    edtRadius->setText(LocalInt(p.rhoCount));
    edtTheta->setText(LocalInt(p.thetaCount));
    edtLThresh->setText(LocalInt(p.minLineLength));
    edtGThresh->setText(LocalInt(p.gradientThreshold));
    edtHThresh->setText(LocalInt(p.houghThreshold));
    (p.lineBased ? rdoLine : rdoPoint)->setChecked(true);
}

std::optional<HoughParameters> TfrmParamHough::ReadParameters() {
    struct Field {
        QLineEdit* edit;
        QLabel* label;
        int minimum;
        int* target;
    };
    HoughParameters p;
    p.lineBased = rdoLine->isChecked();
    // The parameter space needs at least one cell in each direction; the thresholds may be 0.
    const Field fields[] = {{edtRadius, Label1, 1, &p.rhoCount},
                           {edtTheta, Label2, 1, &p.thetaCount},
                           {edtLThresh, Label3, 0, &p.minLineLength},
                           {edtGThresh, Label4, 0, &p.gradientThreshold},
                           {edtHThresh, Label5, 0, &p.houghThreshold}};
    for (const Field& field : fields) {
        const QString text = field.edit->text().trimmed();
        int value = 0;
        bool ok = ParseLocalInt(text, value);
        if (!ok) ok = TryParseInt(S(text), value);
        // The field's label without its colon, in either language ("Radius :", "Angle cells:").
        QString name = field.label->text();
        name.remove(QRegularExpression(QStringLiteral("\\s*:\\s*$")));
        if (!ok) {
            prompts_.warning(S(tr("%1: '%2' is not a valid integer value").arg(name, field.edit->text())));
            field.edit->setFocus();
            return std::nullopt;
        }
        if (value < field.minimum) {
            prompts_.warning(S(tr("%1: %2 is too small; enter at least %3").arg(name, LocalInt(value), LocalInt(field.minimum))));
            field.edit->setFocus();
            return std::nullopt;
        }
        *field.target = value;
    }
    return p;
}

void TfrmParamHough::accept() {
    if (ReadParameters()) QDialog::accept();
}

std::optional<HoughParameters> TfrmParamHough::Ask(const HoughParameters& initial) {
    Fill(initial);
    if (exec() != QDialog::Accepted) return std::nullopt;
    return ReadParameters();
}

}  // namespace quillfen::ui
