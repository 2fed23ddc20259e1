// Attacks on the 8-bit picture; see picture_attacks.h for the rules each one follows.
#include "quillfen/attacks/picture_attacks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/toolbox/histogram_modification.h"

namespace quillfen {

namespace {

// Every attack value is rounded half to even and then limited to the byte range; limiting
// first keeps the rounding inside RoundHalfEven's domain for any finite real.
std::uint8_t ToByte(double v) {
    if (!(v > 0)) return 0;  // also NaN
    if (v >= 255) return 255;
    return static_cast<std::uint8_t>(RoundHalfEven(v));
}

void CheckSameSize(const GrayPlane& a, const GrayPlane& b) {
    if (a.width() != b.width() || a.height() != b.height())
        throw ArgumentError("two pictures attacked together must have one size");
}

// Where output sample i of n falls among m input samples, pixel centres aligned, clamped to
// the first and last centre: the lower neighbour and the weight of the upper one.
struct Tap {
    int Low;
    int High;
    double Weight;
};

Tap TapAt(int m, int n, int i) {
    double s = (i + 0.5) * m / n - 0.5;
    if (s < 0) s = 0;
    if (s > m - 1) s = m - 1;
    const int low = static_cast<int>(std::floor(s));
    return {low, std::min(low + 1, m - 1), s - low};
}

std::vector<Tap> Taps(int m, int n) {
    std::vector<Tap> taps(n);
    for (int i = 0; i < n; ++i) taps[i] = TapAt(m, n, i);
    return taps;
}

// One bilinear sample: the two rows blended first, then the columns.
double Bilinear(double p00, double p01, double p10, double p11, double fx, double fy) {
    const double top = (1 - fx) * p00 + fx * p01;
    const double bottom = (1 - fx) * p10 + fx * p11;
    return (1 - fy) * top + fy * bottom;
}

// A table of 256 outputs, one per input gray level, applied to every pixel.
GrayPlane MapLevels(const GrayPlane& in, const std::array<std::uint8_t, 256>& table) { return in.Mapped(table); }

// The input with its rows (or, transposed, its columns) listed in `keep` stacked together.
GrayPlane KeepRows(const GrayPlane& in, const std::vector<int>& keep) {
    GrayPlane out(in.width(), static_cast<int>(keep.size()));
    for (std::size_t r = 0; r < keep.size(); ++r)
        std::copy_n(in.row(keep[r]), in.width(), out.row(static_cast<int>(r)));
    return out;
}

GrayPlane Transpose(const GrayPlane& in) {
    GrayPlane out(in.height(), in.width());
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) out.at(y, x) = in.at(x, y);
    return out;
}

}  // namespace

// A running histogram per row (Huang's method): moving one pixel right takes one window
// column out and one in, and the median moves from the last one by the few levels the
// histogram changed. The value is the one a full sort of the window puts in the middle.
GrayPlane MedianFilter(const GrayPlane& in, int k) {
    const int r = k / 2;
    const int half = k * k / 2;  // the median is the value at this index of the sorted window
    GrayPlane out(in.width(), in.height());
    std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(k));
    for (int y = 0; y < in.height(); ++y) {
        for (int j = 0; j < k; ++j) rows[j] = in.row(std::clamp(y - r + j, 0, in.height() - 1));
        std::array<int, 256> histogram{};
        const auto column = [&](int x, int change) {
            const int c = std::clamp(x, 0, in.width() - 1);
            for (int j = 0; j < k; ++j) histogram[rows[j][c]] += change;
        };
        for (int x = -r; x <= r; ++x) column(x, 1);
        int median = 0;
        int below = 0;  // window values below `median`
        for (int x = 0; x < in.width(); ++x) {
            if (x > 0) {
                // Count how the moving columns change `below` before the histogram forgets.
                const int outColumn = std::clamp(x - r - 1, 0, in.width() - 1);
                const int inColumn = std::clamp(x + r, 0, in.width() - 1);
                for (int j = 0; j < k; ++j) {
                    below -= rows[j][outColumn] < median;
                    below += rows[j][inColumn] < median;
                }
                column(x - r - 1, -1);
                column(x + r, 1);
            }
            while (below > half) {
                --median;
                below -= histogram[median];
            }
            while (below + histogram[median] <= half) {
                below += histogram[median];
                ++median;
            }
            out.at(x, y) = static_cast<std::uint8_t>(median);
        }
    }
    return out;
}

GrayPlane AddGaussianNoise(const GrayPlane& in, double sigma, RandomStream& random) {
    GrayPlane out(in.width(), in.height());
    for (std::size_t i = 0; i < in.pixels().size(); ++i) {
        const double noise = sigma * random.Gaussian();
        out.data()[i] = ToByte(in.pixels()[i] + noise);
    }
    return out;
}

std::array<GrayPlane, 2> AddGaussianNoise(const GrayPlane& a, const GrayPlane& b, double sigma, RandomStream& random) {
    CheckSameSize(a, b);
    std::array<GrayPlane, 2> out{GrayPlane(a.width(), a.height()), GrayPlane(b.width(), b.height())};
    for (std::size_t i = 0; i < a.pixels().size(); ++i) {
        const double noise = sigma * random.Gaussian();
        out[0].data()[i] = ToByte(a.pixels()[i] + noise);
        out[1].data()[i] = ToByte(b.pixels()[i] + noise);
    }
    return out;
}

GrayPlane AddSaltPepper(const GrayPlane& in, double p, RandomStream& random) {
    GrayPlane out = in;
    for (std::uint8_t* v = out.data(); v != out.data() + out.size(); ++v) {
        const std::uint64_t draw = random.Next();
        const double u = static_cast<double>(draw >> 11) * 0x1.0p-53;
        if (u < p) *v = (draw & 1) ? 255 : 0;
    }
    return out;
}

std::array<GrayPlane, 2> AddSaltPepper(const GrayPlane& a, const GrayPlane& b, double p, RandomStream& random) {
    CheckSameSize(a, b);
    std::array<GrayPlane, 2> out{a, b};
    for (std::size_t i = 0; i < out[0].pixels().size(); ++i) {
        const std::uint64_t draw = random.Next();
        const double u = static_cast<double>(draw >> 11) * 0x1.0p-53;
        if (u < p) out[0].data()[i] = out[1].data()[i] = (draw & 1) ? 255 : 0;
    }
    return out;
}

GrayPlane Sharpen(const GrayPlane& in, double amount) {
    GrayPlane out(in.width(), in.height());
    const auto at = [&](int x, int y) {
        return in.at(std::clamp(x, 0, in.width() - 1), std::clamp(y, 0, in.height() - 1));
    };
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) {
            const int sum = at(x - 1, y - 1) + 2 * at(x, y - 1) + at(x + 1, y - 1) + 2 * at(x - 1, y) +
                            4 * at(x, y) + 2 * at(x + 1, y) + at(x - 1, y + 1) + 2 * at(x, y + 1) +
                            at(x + 1, y + 1);
            const double blurred = sum / 16.0;
            const double v = in.at(x, y);
            out.at(x, y) = ToByte(v + amount * (v - blurred));
        }
    return out;
}

GrayPlane GaussianBlur(const GrayPlane& in, double sigma) {
    // OpenCV's radius for 8-bit pictures: ksize = round(6 sigma + 1) | 1, r = ksize / 2.
    const int radius = (static_cast<int>(RoundHalfEven(6 * sigma + 1)) | 1) / 2;
    const std::size_t taps = static_cast<std::size_t>(2 * radius + 1);
    std::vector<double> weights(taps);
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        const double w = PortableExp(-(static_cast<double>(i) * i) / (2 * sigma * sigma));
        weights[static_cast<std::size_t>(i + radius)] = w;
        sum = sum + w;
    }
    for (double& w : weights) w = w / sum;
    const std::size_t width = static_cast<std::size_t>(in.width());
    const std::size_t height = static_cast<std::size_t>(in.height());
    // Along the rows, then along the columns, each sum adding its terms in order from -r to r
    // (0 + w[0] t[0], then the next term). The sums run a tap at a time over a whole row, which
    // adds each pixel's terms in that same order but lets the loops run over neighbours in
    // memory; the edge pixels, repeated, are laid out beside each row once. An output row reads
    // the row sums of the 2r + 1 rows around it, so only those are kept, in a ring of 2r + 1
    // rows (row y in slot y mod 2r + 1), each made when a row first needs it: the memory is that
    // of a few rows, not of a plane of doubles.
    std::vector<double> padded(width + taps - 1);
    std::vector<double> ring(width * taps);
    std::vector<std::ptrdiff_t> ringRow(taps, -1);  // which row each slot holds
    std::vector<double> sums(width);
    const auto rowSums = [&](std::size_t y) -> const double* {
        double* out = ring.data() + (y % taps) * width;
        if (ringRow[y % taps] == static_cast<std::ptrdiff_t>(y)) return out;
        ringRow[y % taps] = static_cast<std::ptrdiff_t>(y);
        const std::uint8_t* row = in.row(static_cast<int>(y));
        for (std::size_t x = 0; x < padded.size(); ++x)
            padded[x] = row[std::clamp<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(x) - radius, 0,
                                                       static_cast<std::ptrdiff_t>(width) - 1)];
        for (std::size_t x = 0; x < width; ++x) out[x] = 0;
        for (std::size_t i = 0; i < taps; ++i) {
            const double w = weights[i];
            const double* terms = padded.data() + i;
            for (std::size_t x = 0; x < width; ++x) out[x] = out[x] + w * terms[x];
        }
        return out;
    };
    GrayPlane out(static_cast<int>(width), static_cast<int>(height));
    const std::size_t r = static_cast<std::size_t>(radius);
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) sums[x] = 0;
        for (std::size_t i = 0; i < taps; ++i) {
            const double w = weights[i];
            const std::size_t source = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(
                static_cast<std::ptrdiff_t>(y + i) - static_cast<std::ptrdiff_t>(r), 0,
                static_cast<std::ptrdiff_t>(height) - 1));
            const double* terms = rowSums(source);
            for (std::size_t x = 0; x < width; ++x) sums[x] = sums[x] + w * terms[x];
        }
        std::uint8_t* bytes = out.row(static_cast<int>(y));
        for (std::size_t x = 0; x < width; ++x) bytes[x] = ToByte(sums[x]);
    }
    return out;
}

GrayPlane Resample(const GrayPlane& in, int width, int height) {
    const std::vector<Tap> columns = Taps(in.width(), width);
    const std::vector<Tap> rows = Taps(in.height(), height);
    GrayPlane out(width, height);
    for (int y = 0; y < height; ++y) {
        const Tap& ty = rows[y];
        for (int x = 0; x < width; ++x) {
            const Tap& tx = columns[x];
            const double v = Bilinear(in.at(tx.Low, ty.Low), in.at(tx.High, ty.Low), in.at(tx.Low, ty.High),
                                      in.at(tx.High, ty.High), tx.Weight, ty.Weight);
            out.at(x, y) = ToByte(v);
        }
    }
    return out;
}

// The way there and back without the picture in between: an output pixel reads two rows and
// two columns of the intermediate picture, so only the intermediate columns the way back reads
// are made (at most two per output column), and only its rows the way back reads, each once
// (the rows an output row reads never go back up, so the last two made are all that is kept).
// Each intermediate byte is the one the way there gives, so the result is that of the two
// Resample calls, bit for bit, in memory of a few rows: an enlargement by 10 of a large picture
// would otherwise hold a picture a hundred times its size.
GrayPlane ScaleAndBack(const GrayPlane& in, double f) {
    const int width = in.width();
    const int height = in.height();
    const int midWidth = std::max(1, static_cast<int>(RoundHalfEven(width * f)));
    const int midHeight = std::max(1, static_cast<int>(RoundHalfEven(height * f)));
    const std::vector<Tap> backColumns = Taps(midWidth, width);
    const std::vector<Tap> backRows = Taps(midHeight, height);
    // The intermediate columns read, in order, and where each output column finds its two.
    std::vector<int> midColumns;
    std::vector<std::array<std::size_t, 2>> columnAt(static_cast<std::size_t>(width));
    // The columns read never go back by more than one, so each is appended once, in order.
    const auto indexOf = [&](int column) {
        if (midColumns.empty() || column > midColumns.back()) {
            midColumns.push_back(column);
            return midColumns.size() - 1;
        }
        std::size_t i = midColumns.size() - 1;
        while (midColumns[i] != column) --i;
        return i;
    };
    for (int x = 0; x < width; ++x) {
        const Tap& t = backColumns[static_cast<std::size_t>(x)];
        columnAt[static_cast<std::size_t>(x)] = {indexOf(t.Low), indexOf(t.High)};
    }
    std::vector<Tap> thereColumns(midColumns.size());
    for (std::size_t i = 0; i < midColumns.size(); ++i) thereColumns[i] = TapAt(width, midWidth, midColumns[i]);
    // Two intermediate rows, each the bytes of the columns read.
    struct MidRow {
        int Row = -1;
        std::vector<std::uint8_t> Bytes;
    };
    MidRow slots[2];
    const auto midRow = [&](int row, int keep) -> const std::uint8_t* {
        for (MidRow& slot : slots)
            if (slot.Row == row) return slot.Bytes.data();
        MidRow& slot = slots[0].Row == keep ? slots[1] : slots[0];
        slot.Row = row;
        slot.Bytes.resize(midColumns.size());
        const Tap ty = TapAt(height, midHeight, row);
        const std::uint8_t* top = in.row(ty.Low);
        const std::uint8_t* bottom = in.row(ty.High);
        for (std::size_t i = 0; i < midColumns.size(); ++i) {
            const Tap& tx = thereColumns[i];
            slot.Bytes[i] = ToByte(Bilinear(top[tx.Low], top[tx.High], bottom[tx.Low], bottom[tx.High], tx.Weight,
                                            ty.Weight));
        }
        return slot.Bytes.data();
    };
    GrayPlane out(width, height);
    for (int y = 0; y < height; ++y) {
        const Tap& ty = backRows[static_cast<std::size_t>(y)];
        const std::uint8_t* top = midRow(ty.Low, -1);
        const std::uint8_t* bottom = midRow(ty.High, ty.Low);
        std::uint8_t* target = out.row(y);
        for (int x = 0; x < width; ++x) {
            const Tap& tx = backColumns[static_cast<std::size_t>(x)];
            const auto& at = columnAt[static_cast<std::size_t>(x)];
            target[x] = ToByte(Bilinear(top[at[0]], top[at[1]], bottom[at[0]], bottom[at[1]], tx.Weight, ty.Weight));
        }
    }
    return out;
}

namespace {

// Rotates `count` pictures of one size (1 or 2), each source position found once for all.
void RotateInto(const GrayPlane* const* ins, GrayPlane* const* outs, int count, double degrees) {
    const GrayPlane& in = *ins[0];
    double sine = 0;
    double cosine = 0;
    SinCosDegrees(degrees, sine, cosine);
    const int width = in.width();
    const int height = in.height();
    const double cx = (width - 1) / 2.0;
    const double cy = (height - 1) / 2.0;
    const auto pixel = [&](const GrayPlane& source, int x, int y) -> double {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0.0;
        return source.at(x, y);
    };
    // The products with a column's offset are the same on every row: made once, they give the
    // source position the same value as the whole expression written per pixel.
    thread_local std::vector<double> cosineU;
    thread_local std::vector<double> sineU;
    cosineU.resize(static_cast<std::size_t>(width));
    sineU.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const double u = x - cx;
        cosineU[static_cast<std::size_t>(x)] = cosine * u;
        sineU[static_cast<std::size_t>(x)] = sine * u;
    }
    for (int k = 0; k < count; ++k) *outs[k] = GrayPlane(width, height);
    for (int y = 0; y < height; ++y) {
        const double v = y - cy;
        const double sineV = sine * v;
        const double cosineV = cosine * v;
        for (int x = 0; x < width; ++x) {
            const double sx = cosineU[static_cast<std::size_t>(x)] - sineV + cx;
            const double sy = sineU[static_cast<std::size_t>(x)] + cosineV + cy;
            // Beyond a pixel outside the picture every neighbour is black.
            if (sx <= -1 || sy <= -1 || sx >= width || sy >= height) continue;
            // The floor: within (-1, size) the truncation toward zero, one less on (-1, 0).
            int x0 = static_cast<int>(sx);
            int y0 = static_cast<int>(sy);
            x0 -= x0 > sx ? 1 : 0;
            y0 -= y0 > sy ? 1 : 0;
            const double fx = sx - x0;
            const double fy = sy - y0;
            const bool inside = x0 >= 0 && y0 >= 0 && x0 + 1 < width && y0 + 1 < height;
            for (int k = 0; k < count; ++k) {
                const GrayPlane& source = *ins[k];
                std::uint8_t& target = outs[k]->row(y)[x];
                if (inside) {
                    const std::uint8_t* p = source.row(y0) + x0;
                    target = ToByte(Bilinear(p[0], p[1], p[width], p[width + 1], fx, fy));
                } else {
                    target = ToByte(Bilinear(pixel(source, x0, y0), pixel(source, x0 + 1, y0),
                                             pixel(source, x0, y0 + 1), pixel(source, x0 + 1, y0 + 1), fx, fy));
                }
            }
        }
    }
}

}  // namespace

GrayPlane Rotate(const GrayPlane& in, double degrees) {
    GrayPlane out;
    const GrayPlane* ins[] = {&in};
    GrayPlane* outs[] = {&out};
    RotateInto(ins, outs, 1, degrees);
    return out;
}

std::array<GrayPlane, 2> Rotate(const GrayPlane& a, const GrayPlane& b, double degrees) {
    CheckSameSize(a, b);
    std::array<GrayPlane, 2> out;
    const GrayPlane* ins[] = {&a, &b};
    GrayPlane* outs[] = {&out[0], &out[1]};
    RotateInto(ins, outs, 2, degrees);
    return out;
}

GrayPlane Shift(const GrayPlane& in, int dx, int dy) {
    GrayPlane out(in.width(), in.height());
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) {
            const int sx = x - dx;
            const int sy = y - dy;
            if (sx >= 0 && sy >= 0 && sx < in.width() && sy < in.height()) out.at(x, y) = in.at(sx, sy);
        }
    return out;
}

GrayPlane RemoveRows(const GrayPlane& in, int n) {
    if (n <= 0) return in;
    if (n >= in.height()) return GrayPlane(in.width(), in.height());  // nothing left to stretch
    std::vector<int> keep;
    int next = 0;  // index of the next row to remove
    for (int y = 0; y < in.height(); ++y) {
        const int removed = next < n ? static_cast<int>((2LL * next + 1) * in.height() / (2LL * n)) : -1;
        if (y == removed) {
            ++next;
            continue;
        }
        keep.push_back(y);
    }
    return Resample(KeepRows(in, keep), in.width(), in.height());
}

GrayPlane RemoveColumns(const GrayPlane& in, int n) { return Transpose(RemoveRows(Transpose(in), n)); }

GrayPlane CropCentre(const GrayPlane& in, double removedShare) {
    const double side = std::sqrt(1 - removedShare);
    const int keptWidth = static_cast<int>(RoundHalfEven(in.width() * side));
    const int keptHeight = static_cast<int>(RoundHalfEven(in.height() * side));
    const int left = (in.width() - keptWidth) / 2;
    const int top = (in.height() - keptHeight) / 2;
    GrayPlane out(in.width(), in.height());
    for (int y = top; y < top + keptHeight; ++y)
        for (int x = left; x < left + keptWidth; ++x) out.at(x, y) = in.at(x, y);
    return out;
}

GrayPlane AdjustBrightness(const GrayPlane& in, double delta) {
    std::array<std::uint8_t, 256> table{};
    for (int g = 0; g < 256; ++g) table[g] = ToByte(g + delta);
    return MapLevels(in, table);
}

GrayPlane AdjustContrast(const GrayPlane& in, double factor) {
    std::int64_t sum = 0;
    for (std::uint8_t v : in.pixels()) sum += v;
    const double mean = static_cast<double>(sum) / static_cast<double>(in.pixels().size());
    std::array<std::uint8_t, 256> table{};
    for (int g = 0; g < 256; ++g) table[g] = ToByte(mean + factor * (g - mean));
    return MapLevels(in, table);
}

GrayPlane AdjustGamma(const GrayPlane& in, double gamma) {
    std::array<std::uint8_t, 256> table{};
    for (int g = 0; g < 256; ++g) table[g] = ToByte(255 * PortablePow(g / 255.0, gamma));
    return MapLevels(in, table);
}

GrayPlane EqualizeHistogram(const GrayPlane& in) { return histogram::Equalize(in); }

GrayPlane QuantizeLevels(const GrayPlane& in, int levels) {
    std::array<std::uint8_t, 256> table{};
    const int steps = levels - 1;
    for (int g = 0; g < 256; ++g) {
        const double level = RoundHalfEven(static_cast<double>(g * steps) / 255);
        table[g] = ToByte(level * 255 / steps);
    }
    return MapLevels(in, table);
}

GrayPlane JpegRoundTrip(const GrayPlane& in, int quality) {
    const std::vector<std::uint8_t> file =
        TRixJPEG::EncodeGray(Bitmap::fromGray(in.width(), in.height(), in.data()), quality);
    const Bitmap decoded = TRixJPEG::DecodeMemory(file.data(), file.size());
    GrayPlane out(in.width(), in.height());
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) out.at(x, y) = decoded.blue(x, y);
    return out;
}

}  // namespace quillfen
