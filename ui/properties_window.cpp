#include "ui/properties_window.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace quillfen::ui {

namespace {

QLineEdit* MakeHeading(const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setStyleSheet(QStringLiteral("QLineEdit { color: white; background: navy; border: none; "
                                       "font-weight: bold; padding: 2px; }"));
    return edit;
}

QPlainTextEdit* MakeMemo(const QString& text, QWidget* parent) {
    auto* memo = new QPlainTextEdit(text, parent);
    memo->setReadOnly(true);
    return memo;
}

}  // namespace

TfrmProperties::TfrmProperties(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmProperties"));
    setWindowTitle(tr("워터마킹이란?"));
    setSizeGripEnabled(true);
    // A Korean face first, so that the text never falls back to boxes.
    QFont korean = font();
    korean.setFamilies({QStringLiteral("NanumGothic"), QStringLiteral("Nanum Gothic"), korean.family()});
    setFont(korean);

    Edit2 = MakeHeading(tr("1. 워터마킹의 개요"), this);
    Memo2 = MakeMemo(tr(
        "인터넷과 같은 네트워크를 통해 영상, 음성, 동영상 같은 멀티미디어 데이터를 누구나 손쉽게 "
        "대량으로 복제하고 배포할 수 있게 되면서, 디지털 저작물을 만든 사람과 소유한 사람의 권리를 "
        "보호하는 일이 중요한 과제가 되었다. 디지털 워터마킹은 저작권자나 소유자를 나타내는 정보를 "
        "사람이 알아차릴 수 없도록 데이터 속에 숨겨 두는 기술이다. 분쟁이 생기면 숨겨 둔 정보를 "
        "추출하여 그 데이터의 소유권을 증명할 수 있다."), this);
    Edit1 = MakeHeading(tr("2. DCT영역에서 이진 워터마크의 적응적 영상 삽입"), this);
    Memo1 = MakeMemo(tr(
        "이 프로그램은 서명이나 도장처럼 눈으로 알아볼 수 있는 이진 워터마크 영상을 8×8 블록 DCT의 "
        "중간 주파수 계수의 극성을 이용하여 영상에 삽입하고 검출한다. 워터마크는 의사 난수로 흩뜨린 뒤 "
        "원 영상 블록의 분산에 따라 적응적으로 재배치하여 삽입한다. 강인성은 처리하지 않은 경우, JPEG "
        "압축, 블러링, 크로핑 공격으로 시험한다. 워터마크가 삽입된 영상은 좋은 화질(PSNR)을 유지하며, "
        "추출된 워터마크는 정규화 상관값(NC)과 함께 뚜렷하게 식별할 수 있다."), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Edit2);
    layout->addWidget(Memo2, 1);
    layout->addWidget(Edit1);
    layout->addWidget(Memo1, 1);
    resize(480, 360);
}

}  // namespace quillfen::ui
