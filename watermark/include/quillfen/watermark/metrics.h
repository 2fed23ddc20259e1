#pragma once
// The per-cell measures of a robustness run: PSNR (the workspace's own), SSIM and the bit
// error rate of the extracted watermark. NC is the workspace's NormalizedCorrelation.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "quillfen/image/export.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/image/gray_view.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// PSNR in decibels of a 256 x 256 real picture against a byte reference, by the workspace's
// ComputePSNR (the sum of squared differences in row-major order, peak 255). Identical
// pictures give +infinity.
double PsnrDecibels(const std::vector<double>& image, const std::vector<std::uint8_t>& reference);
// The same of a byte picture: the value the real form gives for its bytes as reals.
double PsnrDecibels(std::span<const std::uint8_t> image, std::span<const std::uint8_t> reference);

// Mean structural similarity (Wang, Bovik, Sheikh and Simoncelli, "Image quality assessment:
// from error visibility to structural similarity", IEEE TIP 13(4), 2004): an 11 x 11 Gaussian
// window of sigma 1.5 normalised to sum 1, K1 = 0.01, K2 = 0.03, data range 255, population
// (not sample) variances. The mean is taken over the window positions that lie wholly inside
// the picture, (width - 10) x (height - 10) of them, so no border rule enters the value; this
// is also the value scikit-image's structural_similarity gives with gaussian_weights=True,
// sigma=1.5, use_sample_covariance=False, data_range=255, as it crops the border before
// averaging. Both pictures are width x height, row-major, each at least 11 x 11
// (ArgumentError otherwise). Symmetric in its two pictures; 1 for identical ones.
double StructuralSimilarity(std::span<const double> a, std::span<const double> b, int width, int height);
double StructuralSimilarity(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, int width,
                            int height);

// The reference's half of the byte form computed once, for measuring many pictures against one
// (a sweep measures every attacked picture against its X_hat): Against(a) is
// StructuralSimilarity(a, reference, width, height), bit for bit. One reference may be used
// from several threads at once.
class SsimReference {
public:
    SsimReference() = default;
    SsimReference(std::span<const std::uint8_t> reference, int width, int height);
    double Against(std::span<const std::uint8_t> picture) const;

private:
    std::vector<std::uint8_t> Reference_;
    std::vector<double> Means_;        // window means of the reference
    std::vector<double> SquareMeans_;  // and of its squares
    int Width_ = 0;
    int Height_ = 0;
};

// Share of the 128 x 128 watermark's pixels whose extracted value differs from the binarised
// watermark, both read as black below 128 and white from 128 (the binarisation of GetWr), so
// the binarised or the original watermark may be passed. 0 when every pixel agrees.
double BitErrorRate(std::span<const std::uint8_t> extracted, std::span<const std::uint8_t> watermark);

// The same measures of a caller's pictures, of any one size (ArgumentError for pictures of
// different sizes or a view CheckView refuses). PSNR compares the bytes as the workspace's
// does (for 256 x 256 pictures it is PsnrDecibels of the first one's bytes as reals), over
// all width x height pixels; SSIM and the bit error rate are the functions above.
QUILLFEN_EXPORT double PsnrDecibels(const GrayView& picture, const GrayView& reference);
// The same of two byte planes of any one length (ArgumentError for lengths that differ or are 0):
// the sum of squares in whole numbers, so exact for any picture within the size limits.
double BytePsnr(std::span<const std::uint8_t> picture, std::span<const std::uint8_t> reference);
// SSIM and the bit error rate of two views of one size, as the span forms above compute them.
QUILLFEN_EXPORT double StructuralSimilarity(const GrayView& a, const GrayView& b);
// PSNR of what a viewer sees: over the red, green and blue bytes of two 24-bit pictures of one
// size (ArgumentError otherwise). For gray pictures (three equal bytes a pixel) it is BytePsnr
// of their gray bytes, to the bit.
QUILLFEN_EXPORT double ViewerPsnr(const Bitmap& picture, const Bitmap& reference);
QUILLFEN_EXPORT double BitErrorRate(const GrayView& extracted, const GrayView& watermark);
// The laboratory's NC (as its extraction step computes it) of an extracted 128 x 128 mark against
// the watermark, each read as black below 128 and white from 128 as BitErrorRate reads them
// (so the original watermark may be passed: the workspace compares with its binarisation);
// none when the watermark has no black pixel in rows and columns 4..127. ArgumentError for
// pictures that are not 128 x 128.
QUILLFEN_EXPORT std::optional<double> NormalizedCorrelation(const GrayView& extracted, const GrayView& watermark);

}  // namespace quillfen
QUILLFEN_API_END
