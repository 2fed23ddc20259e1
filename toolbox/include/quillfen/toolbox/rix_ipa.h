#pragma once
// TRixIPA: the working gray image of a document, with its histogram and the toolbox
// operations under the names the windows and the command line use.
//
// It is a thin facade: each operation hands the current plane to one function of its family
// (quillfen/toolbox/*.h), which returns a new plane, and only then makes the new plane
// current. An operation that throws therefore leaves the image and the histogram as they were.
// The histogram always describes the current image; nothing else is kept between calls.
// Taking an operation back is the document's history (the program has one undo system),
// which keeps the planes it needs itself.
//
// Planes are sized to the picture; pictures beyond the limits of limits.h are refused
// before anything is allocated.
#include <array>
#include <cstdint>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/gray_view.h"
#include "quillfen/image/progress.h"

QUILLFEN_API_BEGIN
namespace quillfen {

class TRixIPA {
public:
    TRixIPA() = default;

    // ---- The image -------------------------------------------------------------------
    int GetWidth() const { return image_.width(); }
    int GetHeight() const { return image_.height(); }
    // Both give the number of pixels, width * height.
    int GetSize() const { return image_.size(); }
    int GetPixelCount() const { return image_.size(); }

    // Where the long operations (the Hough transform) report their progress and learn that
    // they should stop (Cancelled, with everything as it was); nullptr for none. Not owned.
    void SetProgress(ProgressSink* sink) { progress_ = sink; }

    // Takes size and pixels (the blue byte of each) from a 24-bit bitmap. Throws FormatError
    // for pictures beyond the size limits, leaving the object unchanged.
    void LoadFromBitmap(const Bitmap& bitmap);
    // The same from a row-major gray plane of width x height bytes.
    void LoadFromGray(int width, int height, const std::uint8_t* gray);
    // The same from a caller's pixels, copied (ArgumentError for a view CheckView refuses).
    void LoadFromView(const GrayView& view);
    // A new gray 24-bit bitmap of the working image.
    Bitmap CreateBitmap() const;

    const GrayPlane& Plane() const { return image_; }
    const std::vector<std::uint8_t>& GetImage() const { return image_.pixels(); }
    std::uint8_t Pixel(int x, int y) const { return image_.at(x, y); }

    // ---- Histogram and statistics (histogram.h) ----------------------------------------
    std::int32_t GetHistogram(std::uint8_t level) const { return histogram_[level]; }
    const std::array<std::int32_t, 256>& GetHistogramCounts() const { return histogram_; }
    // Mean gray level; MathError on an empty image.
    double GetMean() const;
    std::int32_t GetPixels() const;

    // ---- Threshold selection (thresholds.h) --------------------------------------------
    // Each binarises the image (pixels below the threshold 0, the others 255) and returns
    // the threshold, or for the mean the mean itself. The fuzzy methods return -1 when no
    // level qualifies (the whole image turns white).
    double ThresholdByMean();
    int ThresholdByPTile(int percent);
    int ThresholdByTwoPeaks();
    std::uint8_t ThresholdByLaplacian(int percent);
    int ThresholdByIterativeSelection();
    int ThresholdByGrayLevelHistogram();
    std::uint8_t ThresholdByJohannsen();
    std::uint8_t ThresholdByKapur();
    std::uint8_t ThresholdByPun();
    int ThresholdByFuzzyShannon();
    int ThresholdByFuzzyYager();
    int ThresholdByMinimumError();
    // Returns the rounded last running average.
    int ThresholdByMovingAverage();

    // ---- Histogram modification (histogram_modification.h) -----------------------------
    void Equalize();
    void SpecifyHistogram();
    // `low` and `high` receive the levels the stretch ran between.
    void AutoContrastStretch(std::uint8_t& low, std::uint8_t& high);
    void EndsInContrastStretch(std::uint8_t& low, std::uint8_t& high, std::uint8_t lowPercent,
                               std::uint8_t highPercent);

    // ---- Edge operators (edges.h) -----------------------------------------------------
    void EdgeGeneralVertical(double scale);
    void EdgeGeneralHorizontal(double scale);
    void EdgeGeneral(double scale);
    void EdgeRoberts(double scale);
    void EdgePrewitt(double scale);
    void EdgeSobel(double scale);
    void EdgeFreiChen(double scale);
    void EdgeLaplacian1();
    void EdgeLaplacian2();
    void EdgeLaplacian3();

    // ---- Thinning, noise removal and inversion (thinning.h, noise.h) --------------------
    void ThinZhangSuen();
    void NoiseMean();
    void NoiseMedian();
    void NoiseContraction();
    void NoiseExpansion();
    void Inverse();

    // ---- Connected-component labeling (labeling.h) -------------------------------------
    // Number of objects. More than 254 objects throw TooManyObjectsError with the image as
    // it was.
    int Labeling();

    // ---- Hough transform (hough.h) ----------------------------------------------------
    // ArgumentError for counts outside 2..3600 or negative lengths and thresholds, before
    // anything changes.
    void HoughTransform(int thetaCount, int rhoCount, int minLineLength, int gradientThreshold,
                        int houghThreshold, bool lineBased);

private:
    // Makes `next` the current image and counts the histogram again. Every operation ends
    // here, and only once its result exists.
    void Commit(GrayPlane next);
    // Binarises at `threshold` through Commit and returns it.
    int BinarizeAt(int threshold);
    // The current image and its histogram as an operation's input.
    const GrayPlane& Source() const;
    const std::array<std::int32_t, 256>& Levels() const;
    void Load(GrayPlane plane);

    GrayPlane image_;
    ProgressSink* progress_ = nullptr;
    std::array<std::int32_t, 256> histogram_{};
};

}  // namespace quillfen
QUILLFEN_API_END
