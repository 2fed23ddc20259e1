// Attacks on the 8-bit picture; see picture_attacks.h for the rules each one follows.
#include "quillfen/attacks/picture_attacks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plane_attacks.h"
#include "warp_loops.h"
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

void planes::AddGaussianNoise(std::span<GrayPlane* const> planes, std::size_t channels, double sigma,
                              RandomStream& random) {
    const std::size_t pictures = planes.size() / channels;
    const std::size_t pixels = planes.empty() ? 0 : planes[0]->pixels().size();
    for (std::size_t i = 0; i < pixels; ++i)
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const double noise = sigma * random.Gaussian();
            for (std::size_t k = 0; k < pictures; ++k) {
                std::uint8_t& v = planes[k * channels + channel]->data()[i];
                v = ToByte(v + noise);
            }
        }
}

void planes::AddSaltPepper(std::span<GrayPlane* const> planes, std::size_t channels, double p, RandomStream& random) {
    const std::size_t pictures = planes.size() / channels;
    const std::size_t pixels = planes.empty() ? 0 : planes[0]->pixels().size();
    for (std::size_t i = 0; i < pixels; ++i)
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const std::uint64_t draw = random.Next();
            const double u = static_cast<double>(draw >> 11) * 0x1.0p-53;
            if (!(u < p)) continue;
            for (std::size_t k = 0; k < pictures; ++k) planes[k * channels + channel]->data()[i] = (draw & 1) ? 255 : 0;
        }
}

GrayPlane AddGaussianNoise(const GrayPlane& in, double sigma, RandomStream& random) {
    GrayPlane out = in;
    GrayPlane* const planes[] = {&out};
    planes::AddGaussianNoise(planes, 1, sigma, random);
    return out;
}

std::array<GrayPlane, 2> AddGaussianNoise(const GrayPlane& a, const GrayPlane& b, double sigma, RandomStream& random) {
    CheckSameSize(a, b);
    std::array<GrayPlane, 2> out{a, b};
    GrayPlane* const planes[] = {&out[0], &out[1]};
    planes::AddGaussianNoise(planes, 1, sigma, random);
    return out;
}

GrayPlane AddSaltPepper(const GrayPlane& in, double p, RandomStream& random) {
    GrayPlane out = in;
    GrayPlane* const planes[] = {&out};
    planes::AddSaltPepper(planes, 1, p, random);
    return out;
}

std::array<GrayPlane, 2> AddSaltPepper(const GrayPlane& a, const GrayPlane& b, double p, RandomStream& random) {
    CheckSameSize(a, b);
    std::array<GrayPlane, 2> out{a, b};
    GrayPlane* const planes[] = {&out[0], &out[1]};
    planes::AddSaltPepper(planes, 1, p, random);
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

// Fills row y's source positions, x by x, for an output row of `width` pixels.
using SourceRow = std::function<void(int y, double* sx, double* sy)>;

// Samples every input of the batch at the positions `source` gives, row by row, each position
// found once for all of them. Beyond a pixel outside the picture every neighbour is black; a
// position within a pixel of the edge blends the edge pixels with that black (Black), or
// positions are held to the outer pixel centres (Edge).
enum class Outside { Black, Edge };

// One row of the warp for every plane, the way of sampling fixed at compile time.
template <Outside outside>
void WarpRow(const planes::Batch& batch, std::uint8_t* const* targets, const double* sxRow, const double* syRow,
             int width, int height) {
    const std::size_t count = batch.In.size();
    const auto pixel = [&](const GrayPlane& plane, int x, int y) -> double {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0.0;
        return plane.at(x, y);
    };
    const auto sample = [&](int x) {
        double sx = sxRow[x];
        double sy = syRow[x];
        if constexpr (outside == Outside::Edge) {
            if (!(sx > 0)) sx = 0;  // also NaN
            if (sx > width - 1) sx = width - 1;
            if (!(sy > 0)) sy = 0;
            if (sy > height - 1) sy = height - 1;
            const int x0 = static_cast<int>(sx);
            const int y0 = static_cast<int>(sy);
            const int x1 = std::min(x0 + 1, width - 1);
            const int y1 = std::min(y0 + 1, height - 1);
            const double fx = sx - x0;
            const double fy = sy - y0;
            for (std::size_t k = 0; k < count; ++k) {
                const GrayPlane& in = *batch.In[k];
                const std::uint8_t* top = in.row(y0);
                const std::uint8_t* bottom = in.row(y1);
                targets[k][x] = ToByte(Bilinear(top[x0], top[x1], bottom[x0], bottom[x1], fx, fy));
            }
        } else {
            // Beyond a pixel outside the picture every neighbour is black (and so is a NaN).
            if (!(sx > -1 && sy > -1 && sx < width && sy < height)) return;
            // The floor: within (-1, size) the truncation toward zero, one less on (-1, 0).
            int x0 = static_cast<int>(sx);
            int y0 = static_cast<int>(sy);
            x0 -= x0 > sx ? 1 : 0;
            y0 -= y0 > sy ? 1 : 0;
            const double fx = sx - x0;
            const double fy = sy - y0;
            if (x0 >= 0 && y0 >= 0 && x0 + 1 < width && y0 + 1 < height) {
                for (std::size_t k = 0; k < count; ++k) {
                    const std::uint8_t* p = batch.In[k]->row(y0) + x0;
                    targets[k][x] = ToByte(Bilinear(p[0], p[1], p[width], p[width + 1], fx, fy));
                }
            } else {
                for (std::size_t k = 0; k < count; ++k) {
                    const GrayPlane& in = *batch.In[k];
                    targets[k][x] = ToByte(Bilinear(pixel(in, x0, y0), pixel(in, x0 + 1, y0), pixel(in, x0, y0 + 1),
                                                    pixel(in, x0 + 1, y0 + 1), fx, fy));
                }
            }
        }
    };
    // Runs of positions whose four neighbours all lie inside go to the vector loop, which
    // samples them as both ways above do there; the rest, a few at a time, are sampled here.
    std::array<const std::uint8_t*, 4> planes{};
    const bool vectors = count <= planes.size();
    for (std::size_t k = 0; k < count && vectors; ++k) planes[k] = batch.In[k]->data();
    const std::size_t end = static_cast<std::size_t>(width);
    for (std::size_t x = 0; x < end;) {
        if (vectors) x = warp_loops::BilinearInside(planes.data(), targets, count, sxRow, syRow, x, end, width, height);
        for (const std::size_t stop = std::min(end, x + 8); x < stop; ++x) sample(static_cast<int>(x));
    }
}

void Warp(const planes::Batch& batch, const SourceRow& source, Outside outside) {
    const GrayPlane& first = *batch.In[0];
    const int width = first.width();
    const int height = first.height();
    for (const GrayPlane* in : batch.In) CheckSameSize(*in, first);
    const std::size_t count = batch.In.size();
    std::vector<GrayPlane> made(count);
    for (GrayPlane& plane : made) plane = GrayPlane(width, height);
    thread_local std::vector<double> sxRow;
    thread_local std::vector<double> syRow;
    sxRow.resize(static_cast<std::size_t>(width));
    syRow.resize(static_cast<std::size_t>(width));
    std::vector<std::uint8_t*> targets(count);
    for (int y = 0; y < height; ++y) {
        source(y, sxRow.data(), syRow.data());
        for (std::size_t k = 0; k < count; ++k) targets[k] = made[k].row(y);
        if (outside == Outside::Edge)
            WarpRow<Outside::Edge>(batch, targets.data(), sxRow.data(), syRow.data(), width, height);
        else
            WarpRow<Outside::Black>(batch, targets.data(), sxRow.data(), syRow.data(), width, height);
    }
    for (std::size_t k = 0; k < count; ++k) *batch.Out[k] = std::move(made[k]);
}

// Offsets from the centre: the products with a column's offset are the same on every row, made
// once (they give the position the same value as the whole expression written per pixel).
struct Centred {
    double Cx;
    double Cy;
    std::vector<double> U;  // x - cx for each column
    explicit Centred(const GrayPlane& in) : Cx((in.width() - 1) / 2.0), Cy((in.height() - 1) / 2.0) {
        U.resize(static_cast<std::size_t>(in.width()));
        for (int x = 0; x < in.width(); ++x) U[static_cast<std::size_t>(x)] = x - Cx;
    }
};

// The rotation's source positions for output offsets scaled by k (1: the plain rotation).
SourceRow RotationSource(const GrayPlane& in, double degrees, double k) {
    double sine = 0;
    double cosine = 0;
    SinCosDegrees(degrees, sine, cosine);
    auto centred = std::make_shared<Centred>(in);
    auto cosineU = std::make_shared<std::vector<double>>(centred->U.size());
    auto sineU = std::make_shared<std::vector<double>>(centred->U.size());
    for (std::size_t x = 0; x < centred->U.size(); ++x) {
        const double u = centred->U[x] * k;
        (*cosineU)[x] = cosine * u;
        (*sineU)[x] = sine * u;
    }
    return [=](int y, double* sx, double* sy) {
        const double v = (y - centred->Cy) * k;
        const double sineV = sine * v;
        const double cosineV = cosine * v;
        for (std::size_t x = 0; x < cosineU->size(); ++x) {
            sx[x] = (*cosineU)[x] - sineV + centred->Cx;
            sy[x] = (*sineU)[x] + cosineV + centred->Cy;
        }
    };
}

}  // namespace

void planes::Rotate(const Batch& batch, double degrees) {
    Warp(batch, RotationSource(*batch.In[0], degrees, 1), Outside::Black);
}

GrayPlane Rotate(const GrayPlane& in, double degrees) {
    GrayPlane out;
    const GrayPlane* ins[] = {&in};
    GrayPlane* outs[] = {&out};
    planes::Rotate({ins, outs}, degrees);
    return out;
}

std::array<GrayPlane, 2> Rotate(const GrayPlane& a, const GrayPlane& b, double degrees) {
    CheckSameSize(a, b);
    std::array<GrayPlane, 2> out;
    const GrayPlane* ins[] = {&a, &b};
    GrayPlane* outs[] = {&out[0], &out[1]};
    planes::Rotate({ins, outs}, degrees);
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
    return AdjustContrastAbout(in, factor, mean);
}

GrayPlane AdjustContrastAbout(const GrayPlane& in, double factor, double mean) {
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

namespace {

// The planes of a one-plane batch.
struct One {
    const GrayPlane* In[1];
    GrayPlane* Out[1];
    GrayPlane Result;
    explicit One(const GrayPlane& in) : In{&in}, Out{&Result} {}
    planes::Batch Batch() { return {In, Out}; }
};

}  // namespace

void planes::StretchAspect(const Batch& batch, double r) {
    const Centred centred(*batch.In[0]);
    Warp(
        batch,
        [&](int y, double* sx, double* sy) {
            for (std::size_t x = 0; x < centred.U.size(); ++x) {
                sx[x] = centred.U[x] / r + centred.Cx;
                sy[x] = y;
            }
        },
        Outside::Black);
}

GrayPlane StretchAspect(const GrayPlane& in, double r) {
    One one(in);
    planes::StretchAspect(one.Batch(), r);
    return std::move(one.Result);
}

void planes::AffineMap(const Batch& batch, double a, double b, double c, double d) {
    const double determinant = a * d - b * c;
    if (!(std::fabs(determinant) > 1e-9))
        throw ArgumentError("an affine map must be invertible (its determinant is " + std::to_string(determinant) + ")");
    const Centred centred(*batch.In[0]);
    // The content at offset u goes to M u: output offset v shows the content at M^-1 v.
    Warp(
        batch,
        [&](int y, double* sx, double* sy) {
            const double v = y - centred.Cy;
            for (std::size_t x = 0; x < centred.U.size(); ++x) {
                const double u = centred.U[x];
                sx[x] = (d * u - b * v) / determinant + centred.Cx;
                sy[x] = (a * v - c * u) / determinant + centred.Cy;
            }
        },
        Outside::Black);
}

GrayPlane AffineMap(const GrayPlane& in, double a, double b, double c, double d) {
    One one(in);
    planes::AffineMap(one.Batch(), a, b, c, d);
    return std::move(one.Result);
}

double RotationKeptShare(int width, int height, double degrees) {
    double sine = 0;
    double cosine = 0;
    SinCosDegrees(degrees, sine, cosine);
    const double across = (width - 1) / 2.0;
    const double down = (height - 1) / 2.0;
    const double c = std::fabs(cosine);
    const double s = std::fabs(sine);
    double k = 1;
    if (across > 0) k = std::min(k, across / (across * c + down * s));
    if (down > 0) k = std::min(k, down / (across * s + down * c));
    return k;
}

void planes::RotateScale(const Batch& batch, double degrees) {
    const GrayPlane& in = *batch.In[0];
    Warp(batch, RotationSource(in, degrees, RotationKeptShare(in.width(), in.height(), degrees)), Outside::Edge);
}

GrayPlane RotateScale(const GrayPlane& in, double degrees) {
    One one(in);
    planes::RotateScale(one.Batch(), degrees);
    return std::move(one.Result);
}

namespace {

GrayPlane Cut(const GrayPlane& in, int left, int top, int width, int height) {
    GrayPlane out(width, height);
    for (int y = 0; y < height; ++y) std::copy_n(in.row(top + y) + left, width, out.row(y));
    return out;
}

}  // namespace

GrayPlane RotateCrop(const GrayPlane& in, double degrees) {
    const GrayPlane rotated = Rotate(in, degrees);
    const double k = RotationKeptShare(in.width(), in.height(), degrees);
    // The pixel centres within k A of the centre across and k B down: symmetric about it.
    const double cx = (in.width() - 1) / 2.0;
    const double cy = (in.height() - 1) / 2.0;
    const int left = std::clamp(static_cast<int>(std::ceil(cx - k * cx)), 0, (in.width() - 1) / 2);
    const int top = std::clamp(static_cast<int>(std::ceil(cy - k * cy)), 0, (in.height() - 1) / 2);
    return Resample(Cut(rotated, left, top, in.width() - 2 * left, in.height() - 2 * top), in.width(), in.height());
}

GrayPlane CropResize(const GrayPlane& in, double removedShare, double x, double y) {
    const double side = std::sqrt(1 - removedShare);
    const int keptWidth = std::max(1, static_cast<int>(RoundHalfEven(in.width() * side)));
    const int keptHeight = std::max(1, static_cast<int>(RoundHalfEven(in.height() * side)));
    const int left = std::min(static_cast<int>(std::floor((in.width() - keptWidth) * x)), in.width() - keptWidth);
    const int top = std::min(static_cast<int>(std::floor((in.height() - keptHeight) * y)), in.height() - keptHeight);
    return Resample(Cut(in, left, top, keptWidth, keptHeight), in.width(), in.height());
}

void planes::RandomBending(const Batch& batch, double s, RandomStream& random) {
    const GrayPlane& in = *batch.In[0];
    const int width = in.width();
    const int height = in.height();
    const double side = std::min(width, height);
    const double inside = 0.02 * side;  // StirMark's -i 2 %
    const double outside = 0.7;         // and its -o 0.7
    // Corner displacements towards the inside: top-left, top-right, bottom-left, bottom-right.
    const double towardsX[4] = {1, -1, 1, -1};
    const double towardsY[4] = {1, 1, -1, -1};
    double cornerX[4];
    double cornerY[4];
    for (int corner = 0; corner < 4; ++corner) {
        cornerX[corner] = towardsX[corner] * (s * (random.Uniform() * (inside + outside) - outside));
        cornerY[corner] = towardsY[corner] * (s * (random.Uniform() * (inside + outside) - outside));
    }
    const double bendX = s * (2 * random.Uniform() - 1) * (0.01 * side);
    const double bendY = s * (2 * random.Uniform() - 1) * (0.01 * side);
    const double waveX = s * (2 * random.Uniform() - 1) * (0.0025 * side);
    const double waveY = s * (2 * random.Uniform() - 1) * (0.0025 * side);
    const double periodsXAcross = 2 + 2 * random.Uniform();
    const double periodsXDown = 2 + 2 * random.Uniform();
    const double periodsYAcross = 2 + 2 * random.Uniform();
    const double periodsYDown = 2 + 2 * random.Uniform();
    const double jitter = s * 0.1;
    // The factors that depend on the column alone, and those of the row alone.
    const auto position = [](int i, int n) { return n > 1 ? static_cast<double>(i) / (n - 1) : 0.0; };
    const auto sine = [](double degrees) {
        double sineValue = 0;
        double cosineValue = 0;
        SinCosDegrees(degrees, sineValue, cosineValue);
        return sineValue;
    };
    std::vector<double> a(static_cast<std::size_t>(width));
    std::vector<double> bendAcross(a.size());
    std::vector<double> waveXAcross(a.size());
    std::vector<double> waveYAcross(a.size());
    for (int x = 0; x < width; ++x) {
        const std::size_t i = static_cast<std::size_t>(x);
        a[i] = position(x, width);
        bendAcross[i] = sine(180 * a[i]);
        waveXAcross[i] = sine(360 * periodsXAcross * x / width);
        waveYAcross[i] = sine(360 * periodsYAcross * x / width);
    }
    Warp(
        batch,
        [&](int y, double* sx, double* sy) {
            const double b = position(y, height);
            const double bendDown = sine(180 * b);
            const double waveXDown = sine(360 * periodsXDown * y / height);
            const double waveYDown = sine(360 * periodsYDown * y / height);
            for (std::size_t x = 0; x < a.size(); ++x) {
                const double ax = a[x];
                const double w00 = (1 - ax) * (1 - b);
                const double w10 = ax * (1 - b);
                const double w01 = (1 - ax) * b;
                const double w11 = ax * b;
                double dx = w00 * cornerX[0] + w10 * cornerX[1] + w01 * cornerX[2] + w11 * cornerX[3];
                double dy = w00 * cornerY[0] + w10 * cornerY[1] + w01 * cornerY[2] + w11 * cornerY[3];
                const double bend = bendAcross[x] * bendDown;
                dx = dx + bendX * bend;
                dy = dy + bendY * bend;
                dx = dx + waveX * (waveXAcross[x] * waveXDown);
                dy = dy + waveY * (waveYAcross[x] * waveYDown);
                dx = dx + jitter * (2 * random.Uniform() - 1);
                dy = dy + jitter * (2 * random.Uniform() - 1);
                sx[x] = static_cast<double>(x) + dx;
                sy[x] = y + dy;
            }
        },
        Outside::Edge);
}

GrayPlane RandomBending(const GrayPlane& in, double s, RandomStream& random) {
    One one(in);
    planes::RandomBending(one.Batch(), s, random);
    return std::move(one.Result);
}

GrayPlane PrintScan(const GrayPlane& in, double degrees, double sigma, double noiseSigma, double g,
                    RandomStream& random) {
    GrayPlane out = RotateScale(in, degrees);
    if (sigma > 0) out = GaussianBlur(out, sigma);
    out = AdjustGamma(out, g);
    return AddGaussianNoise(out, noiseSigma, random);
}

}  // namespace quillfen
