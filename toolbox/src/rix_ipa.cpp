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
    histogram_.reset();
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

void TRixIPA::Commit(GrayPlane next, std::optional<Counts> counts) {
    image_ = std::move(next);
    histogram_ = std::move(counts);
}

void TRixIPA::CommitMapped(const LevelTable& table) {
    GrayPlane next = image_.Mapped(table);
    std::optional<Counts> counts;
    if (histogram_) counts = histogram::MappedCounts(*histogram_, table);
    Commit(std::move(next), counts);
}

int TRixIPA::BinarizeAt(int threshold) {
    Commit(thresholds::Binarize(image_, threshold),
           histogram_ ? std::optional<Counts>(thresholds::BinarizedCounts(*histogram_, threshold)) : std::nullopt);
    return threshold;
}

// Operations often run right after GUI or file code, which may leave the vector state that
// slows every floating-point instruction down (quillfen/image/vector_state.h): each reads its input
// through one of these two.
const GrayPlane& TRixIPA::Source() const {
    ClearUpperVectorState();
    return image_;
}

const TRixIPA::Counts& TRixIPA::Levels() const {
    ClearUpperVectorState();
    if (!histogram_) histogram_ = histogram::CountLevels(image_);
    return *histogram_;
}

// ---- Histogram and statistics ------------------------------------------------------------

double TRixIPA::GetMean() const { return histogram::Mean(Levels(), image_.size()); }

std::int32_t TRixIPA::GetPixels() const { return histogram::Total(Levels()); }

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

void TRixIPA::Equalize() { CommitMapped(histogram::EqualizationTable(Levels(), image_.size())); }

void TRixIPA::SpecifyHistogram() { CommitMapped(histogram::SpecificationTable(Levels(), image_.size())); }

void TRixIPA::AutoContrastStretch(std::uint8_t& low, std::uint8_t& high) {
    // The stretch needs only the ends of the histogram: where it is not counted yet, the
    // plane's smallest and largest levels are found without counting it.
    const auto table = [this] {
        if (histogram_ || image_.empty()) return histogram::AutoContrastTable(Levels(), image_.size());
        const auto [first, last] = Source().LevelRange();
        return histogram::AutoContrastTable(first, last);
    };
    const histogram::Stretch stretch = table();
    CommitMapped(stretch.table);
    low = stretch.low;
    high = stretch.high;
}

void TRixIPA::EndsInContrastStretch(std::uint8_t& low, std::uint8_t& high, std::uint8_t lowPercent,
                                    std::uint8_t highPercent) {
    const histogram::Stretch stretch = histogram::EndsInTable(Levels(), image_.size(), lowPercent, highPercent);
    CommitMapped(stretch.table);
    low = stretch.low;
    high = stretch.high;
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
void TRixIPA::Inverse() {
    std::optional<Counts> counts;
    if (histogram_) {
        counts.emplace();
        for (int g = 0; g < 256; ++g) (*counts)[255 - g] = (*histogram_)[g];
    }
    Commit(noise::Inverse(Source()), counts);
}

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
