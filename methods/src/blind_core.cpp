// The blind methods' common ground: the band coefficients of a picture's luminance, the way
// a change of them goes back into the picture, and the lattices the quantisers read.
#include "blind_core.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "quillfen/image/errors.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/watermark/dct.h"  // kDctC0
#include "quillfen/watermark/metrics.h"

namespace quillfen::detail {

namespace {

// cos(u pi (2x + 1) / 16) and the normalisers, for the band's frequencies (u, v <= 6).
struct BandTables {
    double Cos[7][8];  // [frequency][sample]
    double Scale[7];   // sqrt(1/2) for frequency 0, else 1; times 1/2 (the 1/4 split between the two axes)
    BandTables() {
        for (int u = 0; u < 7; ++u) {
            for (int x = 0; x < 8; ++x) Cos[u][x] = std::cos(u * M_PI * (2 * x + 1) / 16);
            Scale[u] = (u == 0 ? kDctC0 : 1.0) * 0.5;
        }
    }
};

const BandTables& Tables() {
    static const BandTables tables;
    return tables;
}

}  // namespace


Luma LumaOf(const ImageView& picture) {
    Luma luma;
    luma.Width = picture.width();
    luma.Height = picture.height();
    luma.Values.resize(static_cast<std::size_t>(luma.Width) * luma.Height);
    for (int y = 0; y < luma.Height; ++y) {
        double* out = luma.Values.data() + static_cast<std::size_t>(y) * luma.Width;
        if (!picture.Colour) {
            // 299 g + 587 g + 114 g is 1000 g exactly: the gray itself.
            for (int x = 0; x < luma.Width; ++x) out[x] = picture.Blue.at(x, y);
            continue;
        }
        for (int x = 0; x < luma.Width; ++x) {
            const int b = picture.Blue.at(x, y), g = picture.Green.at(x, y), r = picture.Red.at(x, y);
            if (b != g || g != r) luma.Gray = false;
            out[x] = (299 * r + 587 * g + 114 * b) / 1000.0;
        }
    }
    return luma;
}

std::size_t CoefficientCount(int width, int height) {
    return static_cast<std::size_t>(width / kBlock) * static_cast<std::size_t>(height / kBlock) * kBand.size();
}

// The band coefficients of every whole block, in sequence order: the orthonormal DCT-II of the
// block (dct.h's), computed only where the band needs it, rows first (frequencies 0..6 of each
// row), then the band's columns.
namespace {

void AppendBand(const double* plane, int width, int height, std::vector<double>& out) {
    const BandTables& t = Tables();
    double rows[8][7];
    for (int by = 0; by + kBlock <= height; by += kBlock)
        for (int bx = 0; bx + kBlock <= width; bx += kBlock) {
            for (int x = 0; x < kBlock; ++x) {
                const double* f = plane + static_cast<std::size_t>(by + x) * width + bx;
                for (int v = 0; v < 7; ++v) {
                    double sum = 0;
                    for (int y = 0; y < kBlock; ++y) sum = sum + f[y] * t.Cos[v][y];
                    rows[x][v] = sum * t.Scale[v];
                }
            }
            for (const int k : kBand) {
                const int u = k / 8, v = k % 8;
                double sum = 0;
                for (int x = 0; x < kBlock; ++x) sum = sum + rows[x][v] * t.Cos[u][x];
                out.push_back(sum * t.Scale[u]);
            }
        }
}

// Adds the inverse transform of each block's change of band coefficients to the plane; returns
// how many changes it took.
std::size_t AddBand(double* plane, int width, int height, const double* change) {
    const BandTables& t = Tables();
    std::size_t i = 0;
    double columns[7][8];  // [u][y]: sum over v of F(u, v) C(v) cos(v, y)
    for (int by = 0; by + kBlock <= height; by += kBlock)
        for (int bx = 0; bx + kBlock <= width; bx += kBlock) {
            double block[7][7] = {};
            for (const int k : kBand) block[k / 8][k % 8] = change[i++];
            for (int u = 0; u < 7; ++u)
                for (int y = 0; y < kBlock; ++y) {
                    double sum = 0;
                    for (int v = 0; v < 7; ++v) sum = sum + block[u][v] * t.Scale[v] * t.Cos[v][y];
                    columns[u][y] = sum;
                }
            for (int x = 0; x < kBlock; ++x) {
                double* f = plane + static_cast<std::size_t>(by + x) * width + bx;
                for (int y = 0; y < kBlock; ++y) {
                    double sum = 0;
                    for (int u = 0; u < 7; ++u) sum = sum + t.Scale[u] * t.Cos[u][x] * columns[u][y];
                    f[y] += sum;
                }
            }
        }
    return i;
}

}  // namespace

bool LumaRow(const ImageView& picture, int y, double* out) {
    const int width = picture.width();
    if (!picture.Colour) {
        for (int x = 0; x < width; ++x) out[x] = picture.Blue.at(x, y);
        return true;
    }
    bool gray = true;
    for (int x = 0; x < width; ++x) {
        const int b = picture.Blue.at(x, y), g = picture.Green.at(x, y), r = picture.Red.at(x, y);
        if (b != g || g != r) gray = false;
        out[x] = (299 * r + 587 * g + 114 * b) / 1000.0;
    }
    return gray;
}

std::vector<double> BandCoefficients(const double* plane, int width, int height) {
    std::vector<double> out;
    out.reserve(CoefficientCount(width, height));
    AppendBand(plane, width, height, out);
    return out;
}

void AddBandChange(double* plane, int width, int height, const std::vector<double>& change) {
    AddBand(plane, width, height, change.data());
}

void AdviseHugePages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
    if (bytes < 2 * kHuge) return;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);  // advice only
#else
    (void)data, (void)bytes;
#endif
}

Band BandOf(const ImageView& picture, bool sums) {
    const int width = picture.width(), height = picture.height();
    Band band;
    ReserveLarge(band.Coefficients, CoefficientCount(width, height));
    std::vector<double> strip(static_cast<std::size_t>(width) * kBlock);
    for (int by = 0; by < height; by += kBlock) {
        const int rows = std::min(kBlock, height - by);
        for (int y = 0; y < rows; ++y)
            if (!LumaRow(picture, by + y, strip.data() + static_cast<std::size_t>(y) * width)) band.Gray = false;
        if (rows < kBlock) continue;
        const std::size_t filled = band.Coefficients.size();
        band.Coefficients.resize(filled + static_cast<std::size_t>(width / kBlock) * kBand.size());
        blind_loops::BandStrip(strip.data(), width, Tables().Cos, Tables().Scale, band.Coefficients.data() + filled);
        if (!sums) continue;
        for (int bx = 0; bx + kBlock <= width; bx += kBlock) {
            double sum = 0;
            for (int y = 0; y < kBlock; ++y)
                for (int x = 0; x < kBlock; ++x) sum = sum + strip[static_cast<std::size_t>(y) * width + bx + x];
            band.BlockSums.push_back(sum);
        }
    }
    return band;
}

std::int64_t WriteBandChange(const ImageView& host, bool gray, const double* change, Bitmap* out) {
    const int width = host.width(), height = host.height();
    std::vector<double> before(static_cast<std::size_t>(width) * kBlock), after(before.size());
    std::int64_t squares = 0;
    for (int by = 0; by < height; by += kBlock) {
        const int rows = std::min(kBlock, height - by);
        for (int y = 0; y < rows; ++y) LumaRow(host, by + y, before.data() + static_cast<std::size_t>(y) * width);
        std::copy(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(rows) * width, after.begin());
        if (rows == kBlock) {
            blind_loops::AddBandStrip(after.data(), width, change, Tables().Cos, Tables().Scale);
            change += static_cast<std::size_t>(width / kBlock) * kBand.size();
        }
        for (int y = 0; y < rows; ++y) {
            const double* was = before.data() + static_cast<std::size_t>(y) * width;
            const double* now = after.data() + static_cast<std::size_t>(y) * width;
            std::uint8_t* row = out ? out->row(by + y) : nullptr;
            for (int x = 0; x < width; ++x) {
                const int b = host.Blue.at(x, by + y), g = host.Green.at(x, by + y), r = host.Red.at(x, by + y);
                std::uint8_t nb, ng, nr;
                if (gray) {
                    nb = ng = nr = ToByte(now[x]);
                } else {
                    const double moved = now[x] - was[x];
                    nb = ToByte(b + moved);
                    ng = ToByte(g + moved);
                    nr = ToByte(r + moved);
                }
                squares += PutPixel(row, x, b, g, r, nb, ng, nr);
            }
        }
    }
    return squares;
}

std::int64_t WriteBlockChange(const ImageView& host, bool gray, int bx, int by, const double* change, Bitmap* out) {
    const int x0 = bx * kBlock, y0 = by * kBlock;
    double before[kBlock * kBlock], after[kBlock * kBlock];  // row by row
    for (int y = 0; y < kBlock; ++y) {
        for (int x = 0; x < kBlock; ++x) {
            const int b = host.Blue.at(x0 + x, y0 + y), g = host.Green.at(x0 + x, y0 + y), r = host.Red.at(x0 + x, y0 + y);
            before[y * kBlock + x] = host.Colour ? (299 * r + 587 * g + 114 * b) / 1000.0 : b;
        }
    }
    std::copy(before, before + kBlock * kBlock, after);
    blind_loops::AddBandStrip(after, kBlock, change, Tables().Cos, Tables().Scale);
    std::int64_t squares = 0;
    for (int y = 0; y < kBlock; ++y) {
        std::uint8_t* row = out ? out->row(y0 + y) + 3 * x0 : nullptr;
        for (int x = 0; x < kBlock; ++x) {
            const int b = host.Blue.at(x0 + x, y0 + y), g = host.Green.at(x0 + x, y0 + y), r = host.Red.at(x0 + x, y0 + y);
            const double now = after[y * kBlock + x];
            std::uint8_t nb, ng, nr;
            if (gray) {
                nb = ng = nr = ToByte(now);
            } else {
                const double moved = now - before[y * kBlock + x];
                nb = ToByte(b + moved);
                ng = ToByte(g + moved);
                nr = ToByte(r + moved);
            }
            squares += PutPixel(row, x, b, g, r, nb, ng, nr);
        }
    }
    return squares;
}

std::int64_t RdmPass(const ImageView& host, bool gray, const double* coefficients, const std::uint8_t* bit,
                     const std::uint8_t* payload, RandomStream& dithers, RdmRecursion& recursion, Grid grid,
                     Bitmap& out) {
    return blind_loops::RdmPass(host, gray, coefficients, bit, payload, dithers, recursion, grid.Across, grid.Down,
                                Tables().Cos, Tables().Scale, out);
}

void CopyBeyondBlocks(const ImageView& host, Bitmap& out) {
    const int width = host.width(), height = host.height();
    const int wholeWidth = width / kBlock * kBlock, wholeHeight = height / kBlock * kBlock;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = out.row(y);
        for (int x = y < wholeHeight ? wholeWidth : 0; x < width; ++x) {
            row[3 * x] = host.Blue.at(x, y);
            row[3 * x + 1] = host.Green.at(x, y);
            row[3 * x + 2] = host.Red.at(x, y);
        }
    }
}

double PsnrOfSquares(std::int64_t squares, int width, int height) {
    if (squares == 0) return std::numeric_limits<double>::infinity();
    const double mse = static_cast<double>(squares) / (3.0 * static_cast<double>(width) * height);
    return -10 * std::log10(mse / 65025);
}

std::uint8_t ToByte(double value) {
    const double rounded = RoundHalfEven(value);
    return static_cast<std::uint8_t>(rounded < 0 ? 0 : rounded > 255 ? 255 : rounded);
}

namespace {

// The host with each pixel's luminance changed: a gray picture takes its new gray, a colour
// picture has the change added to each of its colours (its hue and saturation kept).
// Returns the sum of the squared differences of the written bytes from the host's; with `out`
// null, writes nothing.
template <class NewGray, class ChangeOf>
std::int64_t WriteBackInto(const ImageView& host, const Luma& before, NewGray newGray, ChangeOf changeOf, Bitmap* out) {
    std::int64_t squares = 0;
    for (int y = 0; y < before.Height; ++y) {
        std::uint8_t* row = out ? out->row(y) : nullptr;
        for (int x = 0; x < before.Width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * before.Width + x;
            std::uint8_t b, g, r;
            if (before.Gray) {
                b = g = r = ToByte(newGray(i));
            } else {
                const double change = changeOf(i);
                b = ToByte(host.Blue.at(x, y) + change);
                g = ToByte(host.Green.at(x, y) + change);
                r = ToByte(host.Red.at(x, y) + change);
            }
            const int db = b - host.Blue.at(x, y), dg = g - host.Green.at(x, y), dr = r - host.Red.at(x, y);
            squares += db * db + dg * dg + dr * dr;
            if (row) {
                row[3 * x] = b;
                row[3 * x + 1] = g;
                row[3 * x + 2] = r;
            }
        }
    }
    return squares;
}

template <class NewGray, class ChangeOf>
Bitmap WriteBackBy(const ImageView& host, const Luma& before, NewGray newGray, ChangeOf changeOf) {
    Bitmap out(before.Width, before.Height);
    WriteBackInto(host, before, newGray, changeOf, &out);
    return out;
}

}  // namespace

Bitmap WriteBack(const ImageView& host, const Luma& before, const std::vector<double>& after) {
    return WriteBackBy(
        host, before, [&](std::size_t i) { return after[i]; },
        [&](std::size_t i) { return after[i] - before.Values[i]; });
}

Bitmap WriteBackChange(const ImageView& host, const Luma& before, const std::vector<double>& change) {
    return WriteBackBy(
        host, before, [&](std::size_t i) { return before.Values[i] + change[i]; },
        [&](std::size_t i) { return change[i]; });
}

double WrittenPsnr(const ImageView& host, const Bitmap& written) {
    std::int64_t sum = 0;
    for (int y = 0; y < written.height(); ++y) {
        const std::uint8_t* row = written.row(y);
        for (int x = 0; x < written.width(); ++x) {
            const int db = row[3 * x] - host.Blue.at(x, y), dg = row[3 * x + 1] - host.Green.at(x, y),
                      dr = row[3 * x + 2] - host.Red.at(x, y);
            sum += db * db + dg * dg + dr * dr;
        }
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    const double mse = static_cast<double>(sum) / (3.0 * static_cast<double>(written.width()) * written.height());
    return -10 * std::log10(mse / 65025);
}

// The common part of the two methods: the key, the checks, and the luminance's way in and out.
Parameter Described(const char* name, double lowest, double highest, bool whole, double fallback, const char* meaning) {
    return {name, lowest, highest, whole, false, fallback, meaning};
}

}  // namespace quillfen::detail
