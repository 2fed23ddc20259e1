#include "ui/histogram_window.h"

#include <cstdint>

#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "quillfen/image/number_format.h"
#include "ui/ui_text.h"

namespace quillfen::ui {

TfrmHistogram::TfrmHistogram(QWidget* parent) : QDialog(parent), IPA(&ownIpa_) {
    setObjectName(QStringLiteral("frmHistogram"));
    setWindowTitle(tr("Histogram "));
    setFixedSize(361, 216);

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setGeometry(361 - 67 - 8, 8, 67, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 273, 201);

    imgHist = new QLabel(Panel1);
    imgHist->setGeometry(8, 8, kChartWidth, kChartHeight);
    imgHist->setMouseTracking(true);
    imgHist->installEventFilter(this);

    pntGrayScale = new QWidget(Panel1);
    pntGrayScale->setGeometry(8, 136, 257, 16);
    pntGrayScale->installEventFilter(this);

    auto label = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, Panel1);
        l->move(x, y);
        return l;
    };
    Label1 = label(tr("Level :"), 8, 158);
    Label2 = label(tr("Count :"), 8, 178);
    Label3 = label(tr("Mean :"), 136, 158);
    Label4 = label(tr("Pixels :"), 136, 178);
    lblLevel = label(QStringLiteral("?"), 60, 158);
    lblCount = label(QStringLiteral("?"), 60, 178);
    lblMean = label(QStringLiteral("?"), 192, 158);
    lblPixels = label(QStringLiteral("?"), 192, 178);
    for (QLabel* l : {lblLevel, lblCount, lblMean, lblPixels}) l->setFixedWidth(72);

    chart_ = QImage(kChartWidth, kChartHeight, QImage::Format_RGB32);
    chart_.fill(Qt::black);
}

void TfrmHistogram::ShowModalFor(const TRixIPA& ipa) {
    IPA = &ipa;
    exec();
    IPA = &ownIpa_;
}

void TfrmHistogram::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TfrmHistogram::FormActivate() {
    pntGrayScale->update();  // DrawGrayScale runs when the paint box paints
    DrawHistogram();
}

void TfrmHistogram::DrawGrayScale(QPainter& painter) const {
    for (int i = 0; i < 256; ++i) {
        painter.setPen(QColor(i, i, i));
        painter.drawLine(i, 0, i, 14);  // (i, 0) to (i, 15), the end point not included
    }
}

void TfrmHistogram::DrawHistogram() {
    const QRgb face = palette().color(QPalette::Button).rgb();
    chart_.fill(Qt::black);
    std::int64_t max = 0;
    for (int i = 0; i < 256; ++i) max = std::max<std::int64_t>(max, IPA->GetHistogram(static_cast<std::uint8_t>(i)));
    for (int i = 0; i < 256; ++i) {
        // An image without pixels has no bars at all rather than a division by zero.
        const std::int64_t bar =
            max == 0 ? 0 : (std::int64_t{kChartHeight} * IPA->GetHistogram(static_cast<std::uint8_t>(i))) / max;
        for (std::int64_t y = 0; y < kChartHeight - bar; ++y) chart_.setPixel(i, static_cast<int>(y), face);
    }
    imgHist->setPixmap(QPixmap::fromImage(chart_));
    lblPixels->setText(LocalInt(IPA->GetPixels()));
    lblMean->setText(IPA->GetPixels() == 0 ? QStringLiteral("?")
                                           : LocalizeNumber(FormatNoLeadingZero(IPA->GetMean(), 2)));
}

void TfrmHistogram::imgHistMouseMove(int x, int /*y*/) {
    if (x < 0 || x >= kChartWidth) return;
    lblLevel->setText(LocalInt(x));
    lblCount->setText(LocalInt(IPA->GetHistogram(static_cast<std::uint8_t>(x))));
}

bool TfrmHistogram::eventFilter(QObject* watched, QEvent* event) {
    if (watched == imgHist && event->type() == QEvent::MouseMove) {
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        imgHistMouseMove(pos.x(), pos.y());
    } else if (watched == pntGrayScale && event->type() == QEvent::Paint) {
        QPainter painter(pntGrayScale);
        DrawGrayScale(painter);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace quillfen::ui
