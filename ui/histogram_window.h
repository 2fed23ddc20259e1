#pragma once
// TfrmHistogram: the modal window with the gray-level histogram of a document's image.
#include <QDialog>
#include <QImage>

#include "quillfen/toolbox/rix_ipa.h"

class QFrame;
class QLabel;
class QPushButton;

namespace quillfen::ui {

class TfrmHistogram : public QDialog {
    Q_OBJECT
public:
    static constexpr int kChartWidth = 256;
    static constexpr int kChartHeight = 127;

    explicit TfrmHistogram(QWidget* parent = nullptr);

    // The image whose histogram is shown. The window never owns it: ShowModalFor points the
    // window at a document's image only while the dialog is open, and back to the window's
    // own empty image afterwards, so a closed document is never read.
    const TRixIPA* IPA;
    void ShowModalFor(const TRixIPA& ipa);

    // What showing the window does (also run from showEvent).
    void FormActivate();
    void DrawGrayScale(QPainter& painter) const;
    void DrawHistogram();
    void imgHistMouseMove(int x, int y);

    const QImage& ChartImage() const { return chart_; }

    QPushButton* btnOK;
    QFrame* Panel1;
    QLabel* imgHist;
    QWidget* pntGrayScale;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* lblLevel;
    QLabel* lblCount;
    QLabel* lblMean;
    QLabel* lblPixels;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TRixIPA ownIpa_;
    QImage chart_;
};

}  // namespace quillfen::ui
