#include "watermark/metrics.h"

#include <array>
#include <limits>
#include <string>

#include "image/errors.h"
#include "image/user_prompts.h"
#include "watermark/portable_math.h"
#include "watermark/watermark.h"

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
// rows first, then columns.
std::vector<double> WindowMeans(const std::vector<double>& plane, int width, int height,
                                const std::array<double, kWindow>& w) {
    const int outWidth = width - kWindow + 1;
    const int outHeight = height - kWindow + 1;
    std::vector<double> rows(static_cast<std::size_t>(height) * outWidth);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < outWidth; ++x) {
            const double* p = &plane[static_cast<std::size_t>(y) * width + x];
            double s = 0;
            for (int i = 0; i < kWindow; ++i) s = s + w[i] * p[i];
            rows[static_cast<std::size_t>(y) * outWidth + x] = s;
        }
    std::vector<double> means(static_cast<std::size_t>(outHeight) * outWidth);
    for (int y = 0; y < outHeight; ++y)
        for (int x = 0; x < outWidth; ++x) {
            double s = 0;
            for (int j = 0; j < kWindow; ++j) s = s + w[j] * rows[static_cast<std::size_t>(y + j) * outWidth + x];
            means[static_cast<std::size_t>(y) * outWidth + x] = s;
        }
    return means;
}

}  // namespace

double PsnrDecibels(const std::vector<double>& image, const std::vector<std::uint8_t>& reference) {
    if (image.size() != TWatermark::kHostPixels || reference.size() != TWatermark::kHostPixels)
        throw ArgumentError("PSNR needs two 256 x 256 pictures");
    SilentPrompts silent;  // the "images are equal" message is the infinite value here
    const std::optional<PsnrResult> result = TWatermark::ComputePSNR(image, reference, silent);
    return result ? result->Psnr : std::numeric_limits<double>::infinity();
}

double StructuralSimilarity(std::span<const double> a, std::span<const double> b, int width, int height) {
    if (width < kWindow || height < kWindow)
        throw ArgumentError("SSIM needs pictures of at least 11 x 11 pixels, not " + std::to_string(width) +
                            " x " + std::to_string(height));
    const std::size_t n = static_cast<std::size_t>(width) * height;
    if (a.size() != n || b.size() != n) throw ArgumentError("SSIM needs two pictures of the given size");

    static const std::array<double, kWindow> w = GaussianWindow();
    std::vector<double> planeA(a.begin(), a.end());
    std::vector<double> planeB(b.begin(), b.end());
    std::vector<double> aa(n), bb(n), ab(n);
    for (std::size_t i = 0; i < n; ++i) {
        aa[i] = a[i] * a[i];
        bb[i] = b[i] * b[i];
        ab[i] = a[i] * b[i];
    }
    const std::vector<double> ux = WindowMeans(planeA, width, height, w);
    const std::vector<double> uy = WindowMeans(planeB, width, height, w);
    const std::vector<double> uxx = WindowMeans(aa, width, height, w);
    const std::vector<double> uyy = WindowMeans(bb, width, height, w);
    const std::vector<double> uxy = WindowMeans(ab, width, height, w);

    constexpr double kRange = 255;
    constexpr double c1 = (0.01 * kRange) * (0.01 * kRange);
    constexpr double c2 = (0.03 * kRange) * (0.03 * kRange);
    double sum = 0;
    for (std::size_t i = 0; i < ux.size(); ++i) {
        const double vx = uxx[i] - ux[i] * ux[i];
        const double vy = uyy[i] - uy[i] * uy[i];
        const double vxy = uxy[i] - ux[i] * uy[i];
        const double numerator = (2 * ux[i] * uy[i] + c1) * (2 * vxy + c2);
        const double denominator = (ux[i] * ux[i] + uy[i] * uy[i] + c1) * (vx + vy + c2);
        sum = sum + numerator / denominator;
    }
    return sum / static_cast<double>(ux.size());
}

double StructuralSimilarity(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, int width,
                            int height) {
    const std::vector<double> ra(a.begin(), a.end());
    const std::vector<double> rb(b.begin(), b.end());
    return StructuralSimilarity(ra, rb, width, height);
}

double BitErrorRate(std::span<const std::uint8_t> extracted, std::span<const std::uint8_t> watermark) {
    if (extracted.size() != TWatermark::kMarkPixels || watermark.size() != TWatermark::kMarkPixels)
        throw ArgumentError("the bit error rate needs two 128 x 128 watermarks");
    int differing = 0;
    for (std::size_t i = 0; i < extracted.size(); ++i)
        if ((extracted[i] < 128) != (watermark[i] < 128)) ++differing;
    return static_cast<double>(differing) / TWatermark::kMarkPixels;
}

}  // namespace quillfen
