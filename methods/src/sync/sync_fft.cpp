#include "sync_fft.h"

#include <string>
#include <utility>

#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"

namespace quillfen::sync {

Fft::Fft(int n) : n_(n) {
    if (n < 1 || n > (1 << 20) || (n & (n - 1)) != 0)
        throw ArgumentError("a transform of " + std::to_string(n) + " values: the size is not a power of two up to 2^20");
    cos_.resize(static_cast<std::size_t>(n / 2));
    sin_.resize(static_cast<std::size_t>(n / 2));
    for (int k = 0; k < n / 2; ++k) SinCosDegrees(360.0 * k / n, sin_[k], cos_[k]);
    reversed_.resize(static_cast<std::size_t>(n));
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        reversed_[i] = r;
    }
}

void Fft::Transform(double* re, double* im, int stride, bool inverse) const {
    const std::size_t s = static_cast<std::size_t>(stride);
    for (int i = 0; i < n_; ++i) {
        const int j = reversed_[i];
        if (j > i) {
            std::swap(re[i * s], re[j * s]);
            std::swap(im[i * s], im[j * s]);
        }
    }
    const double sign = inverse ? -1.0 : 1.0;
    for (int half = 1; half < n_; half *= 2) {
        const int step = n_ / (2 * half);
        for (int start = 0; start < n_; start += 2 * half)
            for (int k = 0; k < half; ++k) {
                const double wr = cos_[k * step], wi = -sign * sin_[k * step];
                const std::size_t a = (start + k) * s, b = (start + k + half) * s;
                const double tr = re[b] * wr - im[b] * wi;
                const double ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] = re[a] + tr;
                im[a] = im[a] + ti;
            }
    }
}

Fft2::Fft2(int nx, int ny) : x_(nx), y_(ny) {}

void Fft2::Transform(std::vector<double>& re, std::vector<double>& im, bool inverse) const {
    const int nx = x_.Size(), ny = y_.Size();
    for (int y = 0; y < ny; ++y) x_.Transform(re.data() + static_cast<std::size_t>(y) * nx, im.data() + static_cast<std::size_t>(y) * nx, 1, inverse);
    // Columns through a contiguous copy: strided access of a large picture misses the cache.
    std::vector<double> cr(static_cast<std::size_t>(ny)), ci(static_cast<std::size_t>(ny));
    for (int x = 0; x < nx; ++x) {
        for (int y = 0; y < ny; ++y) {
            cr[y] = re[static_cast<std::size_t>(y) * nx + x];
            ci[y] = im[static_cast<std::size_t>(y) * nx + x];
        }
        y_.Transform(cr.data(), ci.data(), 1, inverse);
        for (int y = 0; y < ny; ++y) {
            re[static_cast<std::size_t>(y) * nx + x] = cr[y];
            im[static_cast<std::size_t>(y) * nx + x] = ci[y];
        }
    }
}

}  // namespace quillfen::sync
