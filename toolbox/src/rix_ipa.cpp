#include "quillfen/toolbox/rix_ipa.h"

#include <cmath>
#include <utility>

#include "quillfen/image/detail/vector_state.h"
#include "quillfen/image/limits.h"
#include "quillfen/toolbox/edges.h"
#include "quillfen/toolbox/histogram.h"
#include "quillfen/toolbox/histogram_modification.h"
#include "quillfen/toolbox/hough.h"
#include "quillfen/toolbox/labeling.h"
#include "quillfen/toolbox/noise.h"
#include "quillfen/toolbox/thinning.h"
#include "quillfen/toolbox/thresholds.h"

namespace quillfen {

// ---- The image ---------------------------------------------------------------------------

void TRixIPA::Load(GrayPlane plane) {
    image_ = std::move(plane);
    histogram_ = histogram::CountLevels(image_);
}

void TRixIPA::LoadFromBitmap(const Bitmap& bitmap) {
    if (bitmap.empty()) {
        Load(GrayPlane());
        return;
    }
    CheckImageSize(bitmap.width(), bitmap.height(), "picture");
    GrayPlane gray(bitmap.width(), bitmap.height());
    for (int y = 0; y < bitmap.height(); ++y) {
        const std::uint8_t* in = bitmap.row(y);
        std::uint8_t* out = gray.row(y);
        for (int x = 0; x < bitmap.width(); ++x) out[x] = in[3 * x];  // blue byte
    }
    Load(std::move(gray));
}

void TRixIPA::LoadFromGray(int width, int height, const std::uint8_t* gray) {
    if (width != 0 || height != 0) CheckImageSize(width, height, "picture");
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    Load(GrayPlane(width, height, std::vector<std::uint8_t>(gray, gray + count)));
}

void TRixIPA::LoadFromView(const GrayView& view) { Load(ToPlane(view)); }

Bitmap TRixIPA::CreateBitmap() const {
    if (image_.empty()) return Bitmap();
    return Bitmap::fromGray(image_.width(), image_.height(), image_.data());
}

void TRixIPA::Commit(GrayPlane next) { Load(std::move(next)); }

int TRixIPA::BinarizeAt(int threshold) {
    Commit(thresholds::Binarize(image_, threshold));
    return threshold;
}

// Operations often run right after GUI or file code, which may leave the vector state that
// slows every floating-point instruction down (quillfen/image/vector_state.h): each reads its input
// through one of these two.
const GrayPlane& TRixIPA::Source() const {
    ClearUpperVectorState();
    return image_;
}

const std::array<std::int32_t, 256>& TRixIPA::Levels() const {
    ClearUpperVectorState();
    return histogram_;
}

// ---- Histogram and statistics ------------------------------------------------------------

double TRixIPA::GetMean() const { return histogram::Mean(histogram_, image_.size()); }

std::int32_t TRixIPA::GetPixels() const { return histogram::Total(histogram_); }

// ---- Threshold selection -----------------------------------------------------------------

double TRixIPA::ThresholdByMean() {
    const double mean = histogram::Mean(Levels(), image_.size());
    BinarizeAt(static_cast<int>(std::nearbyint(mean)));
    return mean;
}

int TRixIPA::ThresholdByPTile(int percent) {
    return BinarizeAt(thresholds::PTileLevel(Levels(), image_.size(), percent));
}

int TRixIPA::ThresholdByTwoPeaks() { return BinarizeAt(thresholds::TwoPeaksValley(Levels())); }

std::uint8_t TRixIPA::ThresholdByLaplacian(int percent) {
    thresholds::Counts kept{};
    return static_cast<std::uint8_t>(BinarizeAt(thresholds::LaplacianLevel(Source(), percent, kept)));
}

int TRixIPA::ThresholdByIterativeSelection() {
    const auto start = static_cast<std::uint8_t>(std::nearbyint(histogram::Mean(Levels(), image_.size())));
    return BinarizeAt(thresholds::IterativeSelectionLevel(Levels(), start));
}

int TRixIPA::ThresholdByGrayLevelHistogram() {
    return BinarizeAt(thresholds::GrayLevelHistogramLevel(Levels(), image_.size()));
}

std::uint8_t TRixIPA::ThresholdByJohannsen() {
    return static_cast<std::uint8_t>(BinarizeAt(thresholds::JohannsenLevel(Levels(), image_.size())));
}

std::uint8_t TRixIPA::ThresholdByKapur() {
    return static_cast<std::uint8_t>(BinarizeAt(thresholds::KapurLevel(Levels(), image_.size())));
}

std::uint8_t TRixIPA::ThresholdByPun() {
    return static_cast<std::uint8_t>(BinarizeAt(thresholds::PunLevel(Levels(), image_.size())));
}

int TRixIPA::ThresholdByFuzzyShannon() {
    return BinarizeAt(thresholds::FuzzyShannonLevel(Levels()));
}

int TRixIPA::ThresholdByFuzzyYager() {
    return BinarizeAt(thresholds::FuzzyYagerLevel(Levels()));
}

int TRixIPA::ThresholdByMinimumError() {
    return BinarizeAt(thresholds::MinimumErrorLevel(Levels()));
}

int TRixIPA::ThresholdByMovingAverage() {
    thresholds::Binarized result = thresholds::MovingAverageBinarize(Source());
    Commit(std::move(result.plane));
    return result.value;
}

// ---- Histogram modification --------------------------------------------------------------

void TRixIPA::Equalize() { Commit(histogram::Equalize(Source())); }

void TRixIPA::SpecifyHistogram() { Commit(histogram::Specify(Source())); }

void TRixIPA::AutoContrastStretch(std::uint8_t& low, std::uint8_t& high) {
    histogram::Stretched result = histogram::AutoContrastStretch(Source());
    low = result.low;
    high = result.high;
    Commit(std::move(result.plane));
}

void TRixIPA::EndsInContrastStretch(std::uint8_t& low, std::uint8_t& high, std::uint8_t lowPercent,
                                    std::uint8_t highPercent) {
    histogram::Stretched result = histogram::EndsInContrastStretch(Source(), lowPercent, highPercent);
    low = result.low;
    high = result.high;
    Commit(std::move(result.plane));
}

// ---- Edge operators ----------------------------------------------------------------------

void TRixIPA::EdgeGeneralVertical(double scale) { Commit(edges::GeneralVertical(Source(), scale)); }
void TRixIPA::EdgeGeneralHorizontal(double scale) { Commit(edges::GeneralHorizontal(Source(), scale)); }
void TRixIPA::EdgeGeneral(double scale) { Commit(edges::General(Source(), scale)); }
void TRixIPA::EdgeRoberts(double scale) { Commit(edges::Roberts(Source(), scale)); }
void TRixIPA::EdgePrewitt(double scale) { Commit(edges::Prewitt(Source(), scale)); }
void TRixIPA::EdgeSobel(double scale) { Commit(edges::Sobel(Source(), scale)); }
void TRixIPA::EdgeFreiChen(double scale) { Commit(edges::FreiChen(Source(), scale)); }
void TRixIPA::EdgeLaplacian1() { Commit(edges::Laplacian1(Source())); }
void TRixIPA::EdgeLaplacian2() { Commit(edges::Laplacian2(Source())); }
void TRixIPA::EdgeLaplacian3() { Commit(edges::Laplacian3(Source())); }

// ---- Thinning, noise removal and inversion -----------------------------------------------

void TRixIPA::ThinZhangSuen() { Commit(thinning::ZhangSuen(Source())); }
void TRixIPA::NoiseMean() { Commit(noise::Mean(Source())); }
void TRixIPA::NoiseMedian() { Commit(noise::Median(Source())); }
void TRixIPA::NoiseContraction() { Commit(noise::Contraction(Source())); }
void TRixIPA::NoiseExpansion() { Commit(noise::Expansion(Source())); }
void TRixIPA::Inverse() { Commit(noise::Inverse(Source())); }

// ---- Labeling and Hough ------------------------------------------------------------------

int TRixIPA::Labeling() {
    labeling::Labelled result = labeling::Label(Source());
    Commit(std::move(result.plane));
    return result.count;
}

void TRixIPA::HoughTransform(int thetaCount, int rhoCount, int minLineLength, int gradientThreshold,
                             int houghThreshold, bool lineBased) {
    hough::Parameters parameters;
    parameters.thetaCount = thetaCount;
    parameters.rhoCount = rhoCount;
    parameters.minLineLength = minLineLength;
    parameters.gradientThreshold = gradientThreshold;
    parameters.houghThreshold = houghThreshold;
    parameters.lineBased = lineBased;
    Commit(hough::Transform(Source(), parameters, progress_));
}

}  // namespace quillfen
