#include "quillfen/watermark/metrics.h"

#include <array>
#include <limits>
#include <string>

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
    std::vector<double> Products;
    std::vector<double> Rows;
    std::array<std::vector<double>, 5> Means;
};

}  // namespace

double PsnrDecibels(const std::vector<double>& image, const std::vector<std::uint8_t>& reference) {
    if (image.size() != TWatermark::kHostPixels || reference.size() != TWatermark::kHostPixels)
        throw ArgumentError("PSNR needs two 256 x 256 pictures");
    const std::optional<PsnrResult> result = TWatermark::ComputePSNR(image, reference);
    return result ? result->Psnr : std::numeric_limits<double>::infinity();
}

double StructuralSimilarity(std::span<const double> a, std::span<const double> b, int width, int height) {
    if (width < kWindow || height < kWindow)
        throw ArgumentError("SSIM needs pictures of at least 11 x 11 pixels, not " + std::to_string(width) +
                            " x " + std::to_string(height));
    const std::size_t n = static_cast<std::size_t>(width) * height;
    if (a.size() != n || b.size() != n) throw ArgumentError("SSIM needs two pictures of the given size");

    static const std::array<double, kWindow> w = GaussianWindow();
    thread_local SsimScratch scratch;
    auto& [ux, uy, uxx, uyy, uxy] = scratch.Means;
    WindowMeans(a.data(), width, height, w, scratch.Rows, ux);
    WindowMeans(b.data(), width, height, w, scratch.Rows, uy);
    std::vector<double>& product = scratch.Products;
    product.resize(n);
    for (std::size_t i = 0; i < n; ++i) product[i] = a[i] * a[i];
    WindowMeans(product.data(), width, height, w, scratch.Rows, uxx);
    for (std::size_t i = 0; i < n; ++i) product[i] = b[i] * b[i];
    WindowMeans(product.data(), width, height, w, scratch.Rows, uyy);
    for (std::size_t i = 0; i < n; ++i) product[i] = a[i] * b[i];
    WindowMeans(product.data(), width, height, w, scratch.Rows, uxy);

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
    thread_local std::vector<double> ra;
    thread_local std::vector<double> rb;
    ra.assign(a.begin(), a.end());
    rb.assign(b.begin(), b.end());
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
