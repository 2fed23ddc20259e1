// The histogram window: the chart drawing rule, the labels, the mouse readout and the
// empty image.
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "quillfen/image/bitmap.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "ui/histogram_window.h"

using namespace quillfen;
using namespace quillfen::ui;

namespace {

TRixIPA ImageOf(const std::vector<std::uint8_t>& pixels, int width) {
    TRixIPA ipa;
    ipa.LoadFromGray(width, static_cast<int>(pixels.size()) / width, pixels.data());
    return ipa;
}

// The black pixels of one chart column (the bar's height, since bars rise from the bottom).
int BarHeight(const QImage& chart, int column) {
    int black = 0;
    for (int y = 0; y < chart.height(); ++y) {
        if (chart.pixel(column, y) == qRgb(0, 0, 0)) ++black;
    }
    return black;
}

}  // namespace

class HistogramWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void layoutAndTexts() {
        TfrmHistogram window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Histogram "));
        QCOMPARE(window.size(), QSize(361, 216));
        QCOMPARE(window.imgHist->size(), QSize(256, 127));
        QCOMPARE(window.pntGrayScale->geometry(), QRect(8, 136, 257, 16));
        QCOMPARE(window.btnOK->size(), QSize(67, 25));
        QCOMPARE(window.btnOK->text(), QStringLiteral("OK"));
        QCOMPARE(window.Label1->text(), QStringLiteral("Level :"));
        QCOMPARE(window.Label2->text(), QStringLiteral("Count :"));
        QCOMPARE(window.Label3->text(), QStringLiteral("Mean :"));
        QCOMPARE(window.Label4->text(), QStringLiteral("Pixels :"));
        for (QLabel* l : {window.lblLevel, window.lblCount, window.lblMean, window.lblPixels}) {
            QCOMPARE(l->text(), QStringLiteral("?"));
        }
    }

    void singleLevelDrawsOneFullColumn_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("mean");
        QTest::newRow("black") << 0 << ".00";
        QTest::newRow("middle") << 128 << "128.00";
        QTest::newRow("white") << 255 << "255.00";
    }
    void singleLevelDrawsOneFullColumn() {
        QFETCH(int, level);
        QFETCH(QString, mean);
        TRixIPA ipa = ImageOf(std::vector<std::uint8_t>(60, static_cast<std::uint8_t>(level)), 10);
        TfrmHistogram window;
        window.IPA = &ipa;
        window.FormActivate();
        const QImage& chart = window.ChartImage();
        const QRgb face = window.palette().color(QPalette::Button).rgb();
        for (int i = 0; i < 256; ++i) {
            QCOMPARE(BarHeight(chart, i), i == level ? 127 : 0);
            if (i != level) QCOMPARE(chart.pixel(i, 126), face);
        }
        QCOMPARE(window.lblPixels->text(), QStringLiteral("60"));
        QCOMPARE(window.lblMean->text(), mean);
    }

    void barsAreTruncatedProportions() {
        // Counts 254 (max), 127, 2 and 1: bars 127, 63 (127 * 127 / 254 = 63.5), 1 and 0.
        std::vector<std::uint8_t> pixels;
        pixels.insert(pixels.end(), 254, 10);
        pixels.insert(pixels.end(), 127, 20);
        pixels.insert(pixels.end(), 2, 30);
        pixels.insert(pixels.end(), 1, 40);
        TRixIPA ipa = ImageOf(pixels, static_cast<int>(pixels.size()));
        TfrmHistogram window;
        window.IPA = &ipa;
        window.DrawHistogram();
        QCOMPARE(BarHeight(window.ChartImage(), 10), 127);
        QCOMPARE(BarHeight(window.ChartImage(), 20), 63);
        QCOMPARE(BarHeight(window.ChartImage(), 30), 1);
        QCOMPARE(BarHeight(window.ChartImage(), 40), 0);
        // The black part is at the bottom of the column.
        QCOMPARE(window.ChartImage().pixel(30, 126), qRgb(0, 0, 0));
        QVERIFY(window.ChartImage().pixel(30, 125) != qRgb(0, 0, 0));
    }

    void meanUsesTheUsersDecimalSeparator() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TRixIPA ipa = ImageOf({0, 1}, 2);  // mean 0.5
        TfrmHistogram window;
        window.IPA = &ipa;
        window.DrawHistogram();
        QCOMPARE(window.lblMean->text(), QStringLiteral(",50"));
    }

    void emptyImageShowsAnEmptyChart() {
        TRixIPA empty;
        TfrmHistogram window;
        window.IPA = &empty;
        window.FormActivate();  // no division by zero
        for (int i = 0; i < 256; ++i) QCOMPARE(BarHeight(window.ChartImage(), i), 0);
        QCOMPARE(window.lblPixels->text(), QStringLiteral("0"));
        QCOMPARE(window.lblMean->text(), QStringLiteral("?"));
    }

    void mouseReadout() {
        std::vector<std::uint8_t> pixels(30, 255);
        pixels[0] = 3;
        TRixIPA ipa = ImageOf(pixels, 30);
        TfrmHistogram window;
        window.IPA = &ipa;
        window.FormActivate();
        window.imgHistMouseMove(255, 50);
        QCOMPARE(window.lblLevel->text(), QStringLiteral("255"));
        QCOMPARE(window.lblCount->text(), QStringLiteral("29"));
        window.imgHistMouseMove(256, 50);  // outside the chart: the labels keep their text
        window.imgHistMouseMove(-1, 50);
        QCOMPARE(window.lblLevel->text(), QStringLiteral("255"));
        // A real mouse move over the chart goes the same way.
        window.show();
        QTest::mouseMove(window.imgHist, QPoint(3, 100));
        QCOMPARE(window.lblLevel->text(), QStringLiteral("3"));
        QCOMPARE(window.lblCount->text(), QStringLiteral("1"));
    }

    void grayScaleRampLinesUpWithTheChart() {
        TfrmHistogram window;
        window.show();
        const QImage ramp = window.pntGrayScale->grab().toImage();
        for (int i : {0, 1, 127, 254, 255}) {
            QCOMPARE(qGray(ramp.pixel(i, 0)), i);
            QCOMPARE(qGray(ramp.pixel(i, 14)), i);
        }
    }

    // Showing, changing the image and showing again draws the new histogram; afterwards the
    // window no longer refers to the document's image.
    void showModalForRedrawsAndLetsGo() {
        std::vector<std::uint8_t> pixels(100);
        for (int i = 0; i < 100; ++i) pixels[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 2);
        TRixIPA ipa = ImageOf(pixels, 10);
        TfrmHistogram window;
        QTimer::singleShot(0, &window, [&] { window.btnOK->click(); });
        window.ShowModalFor(ipa);
        QCOMPARE(BarHeight(window.ChartImage(), 0), 127);
        QCOMPARE(BarHeight(window.ChartImage(), 255), 0);
        QVERIFY(window.IPA != &ipa);

        for (std::uint8_t& p : pixels) p = p < 100 ? 0 : 255;  // as a threshold leaves it
        ipa.LoadFromGray(10, 10, pixels.data());
        QTimer::singleShot(0, &window, [&] { window.btnOK->click(); });
        window.ShowModalFor(ipa);
        QCOMPARE(BarHeight(window.ChartImage(), 0), 127);
        QCOMPARE(BarHeight(window.ChartImage(), 255), 127);
        QCOMPARE(BarHeight(window.ChartImage(), 2), 0);
    }
};

QTEST_MAIN(HistogramWindowTest)
#include "histogram_window_test.moc"
