#include "ui/about_dialog.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillfen::ui {

namespace {

// The program icon: a quill-coloured square with a gray ramp, drawn here so that the program
// ships no image files of its own.
QPixmap MakeProgramIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    for (int x = 0; x < 28; ++x) {
        const int g = x * 255 / 27;
        painter.setPen(QColor(g, g, g));
        painter.drawLine(2 + x, 2, 2 + x, 29);
    }
    painter.setPen(QPen(QColor(0, 0, 128), 2));
    painter.drawRect(2, 2, 28, 28);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(18);
    painter.setFont(font);
    painter.drawText(QRect(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("Q"));
    return pixmap;
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About"));

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* panelLayout = new QVBoxLayout(panel);

    auto* top = new QHBoxLayout;
    ProductName = new QLabel(tr("Quillfen — DCT-domain watermarking laboratory"), panel);
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);
    ProductName->setWordWrap(true);
    top->addWidget(ProductName, 1);
    ProgramIcon = new QLabel(panel);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(MakeProgramIcon());
    ProgramIcon->setAttribute(Qt::WA_TranslucentBackground);
    top->addWidget(ProgramIcon, 0, Qt::AlignRight | Qt::AlignTop);
    panelLayout->addLayout(top);

    // The version, as `quillfen --version` and the exported reports give it.
    Version = new QLabel(tr("Version %1").arg(QCoreApplication::applicationVersion()), panel);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setVisible(!QCoreApplication::applicationVersion().isEmpty());
    Copyright = new QLabel(tr("Copyright © the Quillfen project contributors"), panel);
    Label1 = new QLabel(tr("Problems and questions: the Quillfen project's issue tracker"), panel);
    Label2 = new QLabel(tr("Please attach the picture and the steps that lead to the problem."), panel);
    Comments = new QLabel(
        tr("Comments : : 영상데이타 저작권 보호를 위한 DCT영역에서의 적응적 워터마킹 방법."), panel);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setWordWrap(true);
    Label3 = new QLabel(tr(
        "프로그램의 오류나 궁금한 점은 Quillfen 프로젝트의 이슈 트래커에 남겨 주시기 바랍니다. "
        "워터마킹 이론에 관한 질문과 소스 코드에 관한 질문 모두 그곳에서 답변합니다."), panel);
    Label3->setWordWrap(true);
    for (QLabel* label : {Copyright, Label1, Label2}) label->setWordWrap(true);
    panelLayout->addWidget(Version);
    panelLayout->addWidget(Copyright);
    panelLayout->addWidget(Label1);
    panelLayout->addWidget(Label2);
    panelLayout->addSpacing(6);
    panelLayout->addWidget(Comments);
    panelLayout->addWidget(Label3);

    BitBtn1 = new QPushButton(tr("OK"), this);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    setFixedSize(440, 340);
}

}  // namespace quillfen::ui
