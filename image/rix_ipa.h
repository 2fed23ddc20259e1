#pragma once
// TRixIPA: the working gray image of a document, with its histogram, one undo level and the
// toolbox operations. The core (this header's first block, rix_ipa.cpp) loads and draws the
// image and keeps the undo copy; each family of operations lives in its own source file.
//
// Planes are sized to the picture (at least the classic 512 x 512 capacity is not needed:
// a 1024 x 768 photo simply gets 786432-byte planes); pictures beyond the limits of
// limits.h are refused before anything is allocated.
#include <array>
#include <cstdint>
#include <vector>

#include "image/bitmap.h"

namespace quillfen {

class UserPrompts;

class TRixIPA {
public:
    TRixIPA() = default;

    // ---- Core -------------------------------------------------------------------------
    int GetSize() const { return Size; }
    void SetSize(int value) { Size = value; }
    int GetWidth() const { return Width; }
    void SetWidth(int value) { Width = value; }
    int GetHeight() const { return Height; }
    void SetHeight(int value) { Height = value; }
    int GetPixelCount() const { return PixelCount; }
    double GetScale() const { return Scale; }

    bool GetUndoReady() const { return UndoReady; }
    // With true, first copies the whole image plane into the undo plane.
    void SetUndoReady(bool ready);

    // Takes size and pixels (the blue byte of each) from a 24-bit bitmap, then computes
    // the histogram. Throws FormatError for pictures beyond the size limits, leaving the
    // object unchanged.
    void LoadFromBitmap(const Bitmap& bitmap);
    // The same from a row-major gray plane.
    void LoadFromGray(int width, int height, const std::uint8_t* gray);
    // A new gray 24-bit bitmap of the working image.
    Bitmap CreateBitmap() const;
    // Restores the undo copy once; does nothing without one. Leaves Histogram alone.
    void Undo();

    const std::vector<std::uint8_t>& GetImage() const { return Image; }
    const std::vector<std::uint8_t>& GetUndoImage() const { return UndoImage; }
    std::uint8_t Pixel(int x, int y) const { return Image[static_cast<std::size_t>(y) * Width + x]; }

    // ---- Histogram and statistics (histogram.cpp) -------------------------------------
    void ComputeHistogram();
    std::int32_t GetHistogram(std::uint8_t level) const { return Histogram[level]; }
    // Mean gray level from the histogram; MathError on an empty image.
    double GetMean() const;
    std::int32_t GetPixels() const;
    const std::array<std::int32_t, 256>& GetHistogramCounts() const { return Histogram; }

    // ---- Threshold selection (thresholds.cpp) -----------------------------------------
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
    int ThresholdByMovingAverage();
    static int TwoPeaksValley(const std::array<std::int32_t, 256>& counts);
    // Pixels below the threshold become 0, the others 255.
    void Binarize(int threshold);

    // ---- Histogram modification (histogram_modification.cpp) --------------------------
    void Equalize();
    void SpecifyHistogram();
    void AutoContrastStretch(std::uint8_t& low, std::uint8_t& high);
    void EndsInContrastStretch(std::uint8_t& low, std::uint8_t& high, std::uint8_t lowPercent,
                               std::uint8_t highPercent);

    // ---- Edge operators (edges.cpp) ---------------------------------------------------
    // The general operators compute every pixel, a neighbour beyond the last pixel counting
    // as 0; the 3 x 3 operators leave the border 0. Gradients store M x scale rounded half
    // to even and clamped to 0..255 (a negative scale gives 0, never a wrapped byte).
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

    // ---- Thinning (thinning.cpp) ------------------------------------------------------
    // Revisits only the pixels next to a deletion; same bytes as ThinZhangSuenLiteral.
    void ThinZhangSuen();
    // Reference form: rescans the whole interior twice per iteration.
    void ThinZhangSuenLiteral();

    // ---- Noise removal and inversion (noise.cpp) --------------------------------------
    // The four filters change interior pixels only: the border rows and columns, and the
    // whole of an image narrower or lower than 3 pixels, keep their input values.
    void NoiseMean();
    void NoiseMedian();
    void NoiseContraction();
    void NoiseExpansion();
    void Inverse();
    static void SortWindow(std::int32_t values[], int left, int right);
    // Reference form of NoiseMedian: SortWindow on every window.
    void NoiseMedianLiteral();

    // ---- Connected-component labeling (labeling.cpp) ----------------------------------
    // Number of objects, or -1 after telling the user "Many Labels in this image" (the
    // image is then partly labelled; the caller restores it with Undo).
    int Labeling(UserPrompts& prompts);
    // Gives `label` to the object holding (x, y): a queue-based fill reaching the same fixed
    // point as FillLabelLiteral's repeated scans.
    void FillLabel(int x, int y, std::uint8_t label);
    // Reference forms: one full interior scan per propagation step.
    int LabelingLiteral(UserPrompts& prompts);
    void FillLabelLiteral(int x, int y, std::uint8_t label);

    // ---- Hough transform (hough.cpp) --------------------------------------------------
    // Counts must lie in 2..3600 and the length and thresholds must not be negative;
    // ArgumentError otherwise, before anything is changed. Angle tables and half-table
    // voting; same bytes as HoughTransformLiteral.
    void HoughTransform(int thetaCount, int rhoCount, int minLineLength, int gradientThreshold,
                        int houghThreshold, bool lineBased);
    // Reference form: a sine and a cosine per edge pixel and angle, every vote cast twice.
    void HoughTransformLiteral(int thetaCount, int rhoCount, int minLineLength,
                               int gradientThreshold, int houghThreshold, bool lineBased);

private:
    // Thinning helpers on the work image B (same layout as Image).
    int CountNeighbours(const std::vector<std::uint8_t>& b, int x, int y) const;
    int CountTransitions(const std::vector<std::uint8_t>& b, int x, int y) const;
    void DeleteMarked(std::vector<std::uint8_t>& b, std::vector<std::uint8_t>& marks) const;
    // Shared start and end of both thinning forms.
    std::vector<std::uint8_t> ThinningWorkImage() const;
    void ThinningFinish(std::vector<std::uint8_t>& b);

    // Hough helpers (hough.cpp).
    void HoughRun(int thetaCount, int rhoCount, int minLineLength, int gradientThreshold,
                  int houghThreshold, bool lineBased, bool literal);
    void TraceLine(std::vector<std::uint8_t>& canvas, int minLineLength, double theta,
                   double rho) const;

    // Fills from the seed and every interior pixel in `sources` (pixels already holding the
    // label); shared by FillLabel and Labeling.
    void FillFrom(int seed, const std::int32_t* sources, std::size_t sourceCount,
                  std::uint8_t label, std::vector<std::int32_t>& queue);

    double Scale = 0.0;
    int Size = 0;
    int Width = 0;
    int Height = 0;
    bool UndoReady = false;
    int PixelCount = 0;
    std::array<std::int32_t, 256> Histogram{};
    std::vector<std::uint8_t> UndoImage;
    std::vector<std::uint8_t> Image;
    std::vector<double> LaplacianMap;  // allocated by ThresholdByLaplacian when first used
};

}  // namespace quillfen
