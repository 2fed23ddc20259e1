#include "quillfen/watermark/metrics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/watermark/watermark.h"
#include "vector_loops.h"

namespace quillfen {

namespace {

constexpr int kWindow = 11;
constexpr int kRadius = kWindow / 2;

// exp(-x^2 / (2 sigma^2)) for x = -5..5, sigma = 1.5, divided by their sum.
std::array<double, kWindow> GaussianWindow() {
    std::array<double, kWindow> w{};
    double sum = 0;
    for (int i = 0; i < kWindow; ++i) {
        const double x = i - kRadius;
        w[i] = PortableExp(-0.5 / (1.5 * 1.5) * (x * x));
        sum = sum + w[i];
    }
    for (double& v : w) v = v / sum;
    return w;
}

// The Gaussian-weighted mean of each window position wholly inside the picture, separably:
// rows first (into `rows`), then columns (into `means`), each sum adding its eleven terms in
// window order (the vector loops keep that order on every instruction set).
void WindowMeans(const double* plane, int width, int height, const std::array<double, kWindow>& w,
                 std::vector<double>& rows, std::vector<double>& means) {
    const std::size_t outWidth = static_cast<std::size_t>(width - kWindow + 1);
    const std::size_t outHeight = static_cast<std::size_t>(height - kWindow + 1);
    rows.resize(static_cast<std::size_t>(height) * outWidth);
    means.resize(outHeight * outWidth);
    vector_loops::WindowSums(plane, static_cast<std::size_t>(width), static_cast<std::size_t>(height), w.data(),
                             kWindow, rows.data(), means.data());
}

// Planes reused from call to call: a run measures thousands of pictures of one size, and
// fresh half-megabyte planes each time cost more in page faults than the arithmetic.
struct SsimScratch {
    std::vector<double> Picture;   // the picture measured, as reals
    std::vector<double> Products;
    std::vector<double> Rows;
    std::array<std::vector<double>, 3> Means;  // of the picture, of its squares, of the cross products
};

const std::array<double, kWindow>& Window() {
    static const std::array<double, kWindow> w = GaussianWindow();
    return w;
}

void CheckSsimSize(int width, int height) {
    if (width < kWindow || height < kWindow)
        throw ArgumentError("SSIM needs pictures of at least 11 x 11 pixels, not " + std::to_string(width) +
                            " x " + std::to_string(height));
}

// The window means of a plane and of its squares.
void MeansOf(std::span<const double> plane, int width, int height, SsimScratch& scratch, std::vector<double>& means,
             std::vector<double>& squareMeans) {
    WindowMeans(plane.data(), width, height, Window(), scratch.Rows, means);
    std::vector<double>& product = scratch.Products;
    product.resize(plane.size());
    for (std::size_t i = 0; i < plane.size(); ++i) product[i] = plane[i] * plane[i];
    WindowMeans(product.data(), width, height, Window(), scratch.Rows, squareMeans);
}

constexpr double kRange = 255;
constexpr double kC1 = (0.01 * kRange) * (0.01 * kRange);
constexpr double kC2 = (0.03 * kRange) * (0.03 * kRange);

// The mean of the SSIM map from the window means of x, y, x^2, y^2 and x y: the terms added in
// row-major order.
double MeanSsim(const std::vector<double>& ux, const std::vector<double>& uy, const std::vector<double>& uxx,
                const std::vector<double>& uyy, const std::vector<double>& uxy) {
    double sum = 0;
    for (std::size_t i = 0; i < ux.size(); ++i) {
        const double vx = uxx[i] - ux[i] * ux[i];
        const double vy = uyy[i] - uy[i] * uy[i];
        const double vxy = uxy[i] - ux[i] * uy[i];
        const double numerator = (2 * ux[i] * uy[i] + kC1) * (2 * vxy + kC2);
        const double denominator = (ux[i] * ux[i] + uy[i] * uy[i] + kC1) * (vx + vy + kC2);
        sum = sum + numerator / denominator;
    }
    return sum / static_cast<double>(ux.size());
}

// The byte form's window means, made a row at a time: the row passes of the last eleven rows
// of each quantity are kept, and each output row's column passes follow as soon as its window
// is complete. Both passes add a weight's two mirrored terms before multiplying
// (SymmetricWeightedSums): the row pass's pairs are whole numbers, exact, and a sum takes six
// products instead of eleven. No plane of means is made for the picture measured.
struct StreamScratch {
    std::array<std::vector<double>, 3> Row;                          // the quantities of one row
    std::array<std::array<std::vector<double>, kWindow>, 3> Recent;  // their row passes, by row mod 11
    std::array<std::vector<double>, 3> Means;                        // column passes of one output row
    std::vector<double> Terms;
};

// Runs the passes over a width x height picture for `count` quantities: fill(y, rows) writes
// row y of each quantity into rows[q] (width values), use(top, means) receives output row
// `top`'s window means of each (outWidth values).
template <class Fill, class Use>
void StreamMeans(StreamScratch& s, int count, std::size_t width, std::size_t height, Fill fill, Use use) {
    const std::size_t outWidth = width - kWindow + 1;
    for (int q = 0; q < count; ++q) {
        s.Row[q].resize(width);
        s.Means[q].resize(outWidth);
        for (std::vector<double>& recent : s.Recent[q]) recent.resize(outWidth);
    }
    const double* w = Window().data();
    std::array<double*, 3> rows{s.Row[0].data(), s.Row[1].data(), s.Row[2].data()};
    std::array<const double*, 3> means{s.Means[0].data(), s.Means[1].data(), s.Means[2].data()};
    for (std::size_t y = 0; y < height; ++y) {
        fill(y, rows);
        for (int q = 0; q < count; ++q) {
            const double* terms[kWindow];
            for (int i = 0; i < kWindow; ++i) terms[i] = s.Row[q].data() + i;
            vector_loops::SymmetricWeightedSums(terms, outWidth, w, kWindow, s.Recent[q][y % kWindow].data());
        }
        if (y + 1 < static_cast<std::size_t>(kWindow)) continue;
        const std::size_t top = y + 1 - kWindow;  // the output row whose window ends here
        for (int q = 0; q < count; ++q) {
            const double* terms[kWindow];
            for (int j = 0; j < kWindow; ++j) terms[j] = s.Recent[q][(top + j) % kWindow].data();
            vector_loops::SymmetricWeightedSums(terms, outWidth, w, kWindow, s.Means[q].data());
        }
        use(top, means);
    }
}

}  // namespace

double PsnrDecibels(const std::vector<double>& image, const std::vector<std::uint8_t>& reference) {
    if (image.size() != TWatermark::kHostPixels || reference.size() != TWatermark::kHostPixels)
        throw ArgumentError("PSNR needs two 256 x 256 pictures");
    const std::optional<PsnrResult> result = TWatermark::ComputePSNR(image, reference);
    return result ? result->Psnr : std::numeric_limits<double>::infinity();
}

double PsnrDecibels(std::span<const std::uint8_t> image, std::span<const std::uint8_t> reference) {
    if (image.size() != TWatermark::kHostPixels || reference.size() != TWatermark::kHostPixels)
        throw ArgumentError("PSNR needs two 256 x 256 pictures");
    const std::optional<PsnrResult> result = TWatermark::ComputePSNR(image, reference);
    return result ? result->Psnr : std::numeric_limits<double>::infinity();
}

double StructuralSimilarity(std::span<const double> a, std::span<const double> b, int width, int height) {
    CheckSsimSize(width, height);
    const std::size_t n = static_cast<std::size_t>(width) * height;
    if (a.size() != n || b.size() != n) throw ArgumentError("SSIM needs two pictures of the given size");

    thread_local SsimScratch scratch;
    thread_local std::vector<double> uy;
    thread_local std::vector<double> uyy;
    auto& [ux, uxx, uxy] = scratch.Means;
    MeansOf(a, width, height, scratch, ux, uxx);
    MeansOf(b, width, height, scratch, uy, uyy);
    std::vector<double>& product = scratch.Products;
    for (std::size_t i = 0; i < n; ++i) product[i] = a[i] * b[i];
    WindowMeans(product.data(), width, height, Window(), scratch.Rows, uxy);
    return MeanSsim(ux, uy, uxx, uyy, uxy);
}

SsimReference::SsimReference(std::span<const std::uint8_t> reference, int width, int height)
    : Reference_(reference.begin(), reference.end()), Width_(width), Height_(height) {
    CheckSsimSize(width, height);
    if (reference.size() != static_cast<std::size_t>(width) * height)
        throw ArgumentError("SSIM needs two pictures of the given size");
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t outWidth = w - kWindow + 1;
    const std::size_t outHeight = static_cast<std::size_t>(height) - kWindow + 1;
    Means_.resize(outWidth * outHeight);
    SquareMeans_.resize(outWidth * outHeight);
    thread_local StreamScratch s;
    StreamMeans(
        s, 2, w, static_cast<std::size_t>(height),
        [&](std::size_t y, const std::array<double*, 3>& rows) {
            const std::uint8_t* in = reference.data() + y * w;
            for (std::size_t x = 0; x < w; ++x) {
                const double a = in[x];
                rows[0][x] = a;
                rows[1][x] = a * a;
            }
        },
        [&](std::size_t top, const std::array<const double*, 3>& means) {
            std::copy(means[0], means[0] + outWidth, Means_.begin() + static_cast<std::ptrdiff_t>(top * outWidth));
            std::copy(means[1], means[1] + outWidth, SquareMeans_.begin() + static_cast<std::ptrdiff_t>(top * outWidth));
        });
}

// The picture's three window means (of x, x^2 and x times the reference) are streamed and used
// at once; the SSIM terms are added in four sums, each of every fourth term of each row, in
// order, and those four in pairs.
double SsimReference::Against(std::span<const std::uint8_t> picture) const {
    if (Reference_.empty()) throw ArgumentError("SSIM: no reference picture");
    if (picture.size() != Reference_.size()) throw ArgumentError("SSIM needs two pictures of the given size");
    const std::size_t width = static_cast<std::size_t>(Width_);
    const std::size_t outWidth = width - kWindow + 1;
    const std::size_t outHeight = static_cast<std::size_t>(Height_) - kWindow + 1;
    thread_local StreamScratch s;
    s.Terms.resize(outWidth);
    std::array<double, 4> sums{};
    StreamMeans(
        s, 3, width, static_cast<std::size_t>(Height_),
        [&](std::size_t y, const std::array<double*, 3>& rows) {
            const std::uint8_t* in = picture.data() + y * width;
            const std::uint8_t* reference = Reference_.data() + y * width;
            for (std::size_t x = 0; x < width; ++x) {
                const double a = in[x];
                rows[0][x] = a;
                rows[1][x] = a * a;
                rows[2][x] = a * static_cast<double>(reference[x]);
            }
        },
        [&](std::size_t top, const std::array<const double*, 3>& means) {
            const vector_loops::SsimMeans m{means[0], Means_.data() + top * outWidth, means[1],
                                            SquareMeans_.data() + top * outWidth, means[2]};
            vector_loops::SsimTerms(m, outWidth, kC1, kC2, s.Terms.data());
            const double* t = s.Terms.data();
            std::size_t x = 0;
            for (; x + 4 <= outWidth; x += 4) {
                sums[0] = sums[0] + t[x];
                sums[1] = sums[1] + t[x + 1];
                sums[2] = sums[2] + t[x + 2];
                sums[3] = sums[3] + t[x + 3];
            }
            for (std::size_t k = 0; x < outWidth; ++x, ++k) sums[k] = sums[k] + t[x];
        });
    return ((sums[0] + sums[1]) + (sums[2] + sums[3])) / static_cast<double>(outWidth * outHeight);
}

double StructuralSimilarity(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, int width,
                            int height) {
    return SsimReference(b, width, height).Against(a);
}

double BitErrorRate(std::span<const std::uint8_t> extracted, std::span<const std::uint8_t> watermark) {
    if (extracted.size() != TWatermark::kMarkPixels || watermark.size() != TWatermark::kMarkPixels)
        throw ArgumentError("the bit error rate needs two 128 x 128 watermarks");
    int differing = 0;
    for (std::size_t i = 0; i < extracted.size(); ++i)
        if ((extracted[i] < 128) != (watermark[i] < 128)) ++differing;
    return static_cast<double>(differing) / TWatermark::kMarkPixels;
}

namespace {

// The two pictures as planes of one size.
std::pair<GrayPlane, GrayPlane> SameSizePlanes(const GrayView& a, const GrayView& b, const char* measure) {
    if (a.width != b.width || a.height != b.height)
        throw ArgumentError(std::string(measure) + " compares pictures of one size, not " + std::to_string(a.width) +
                            " x " + std::to_string(a.height) + " and " + std::to_string(b.width) + " x " +
                            std::to_string(b.height));
    return {ToPlane(a), ToPlane(b)};
}

}  // namespace

double PsnrDecibels(const GrayView& picture, const GrayView& reference) {
    const auto [image, original] = SameSizePlanes(picture, reference, "PSNR");
    if (image.empty()) throw ArgumentError("PSNR needs pictures with pixels");
    return BytePsnr(image.pixels(), original.pixels());
}

double BytePsnr(std::span<const std::uint8_t> picture, std::span<const std::uint8_t> reference) {
    if (picture.size() != reference.size() || picture.empty())
        throw ArgumentError("PSNR needs two pictures of one size, with pixels");
    // The workspace's ComputePSNR, over any number of pixels: whole numbers throughout, so the
    // sum is exact (and equal to the workspace's sum of doubles for any picture it takes).
    std::int64_t sum = 0;
    for (std::size_t p = 0; p < picture.size(); ++p) {
        const int d = reference[p] - picture[p];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    const double mse = static_cast<double>(sum) / static_cast<double>(picture.size());
    return -10 * std::log10(mse / 65025);
}

double ViewerPsnr(const Bitmap& picture, const Bitmap& reference) {
    if (picture.width() != reference.width() || picture.height() != reference.height())
        throw ArgumentError("PSNR needs two pictures of one size, not " + std::to_string(picture.width()) + " x " +
                            std::to_string(picture.height()) + " and " + std::to_string(reference.width()) + " x " +
                            std::to_string(reference.height()));
    // Three times the squared differences over three times the pixels: the same quotient, so a
    // gray picture's value is its gray bytes' exactly.
    return BytePsnr(picture.bytes(), reference.bytes());
}

double StructuralSimilarity(const GrayView& a, const GrayView& b) {
    const auto [first, second] = SameSizePlanes(a, b, "SSIM");
    return StructuralSimilarity(first.pixels(), second.pixels(), first.width(), first.height());
}

double BitErrorRate(const GrayView& extracted, const GrayView& watermark) {
    const auto [first, second] = SameSizePlanes(extracted, watermark, "the bit error rate");
    return BitErrorRate(std::span<const std::uint8_t>(first.pixels()), std::span<const std::uint8_t>(second.pixels()));
}

std::optional<double> NormalizedCorrelation(const GrayView& extracted, const GrayView& watermark) {
    auto [first, second] = SameSizePlanes(extracted, watermark, "NC");
    if (first.width() != TWatermark::kMarkSize || first.height() != TWatermark::kMarkSize)
        throw ArgumentError("NC needs two 128 x 128 watermarks, not " + std::to_string(first.width()) + " x " +
                            std::to_string(first.height()));
    LevelTable binarise{};
    for (int level = 0; level < 256; ++level) binarise[level] = level < 128 ? 0 : 255;
    return TWatermark::NormalizedCorrelation(first.Mapped(binarise).pixels(), second.Mapped(binarise).pixels());
}

}  // namespace quillfen
