#include "blind_loops.h"

#include "blind_core.h"

#include <algorithm>
#include <vector>

#if QF_SIMD

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "blind_loops.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quillfen::blind_loops {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// LatticeSide in lanes: the same division, floor, comparison and products (no fused
// multiply-add: Mul and Sub are rounded one by one, as the plain form's -ffp-contract=off is).
template <class D, class V>
HWY_INLINE V Side(D d, V x, V dither, V step) {
    const V position = hn::Div(hn::Sub(x, dither), step);
    const V fraction = hn::Sub(position, hn::Floor(position));
    const V one = hn::Set(d, 1.0);
    const V distance = hn::IfThenElse(hn::Lt(fraction, hn::Set(d, 0.5)), fraction, hn::Sub(one, fraction));
    return hn::Sub(one, hn::Mul(hn::Set(d, 4.0), distance));
}

void Sides(const double* HWY_RESTRICT value, const double* const* twins, const double* HWY_RESTRICT dither, double step,
           std::size_t count, double* HWY_RESTRICT sides, double* HWY_RESTRICT terms) {
    const hn::ScalableTag<double> d;
    const std::size_t lanes = hn::Lanes(d);
    const auto vstep = hn::Set(d, step);
    const auto quarter = hn::Set(d, 4.0);
    const double* t0 = twins[0];
    const double* t1 = twins[1];
    const double* t2 = twins[2];
    const double* t3 = twins[3];
    std::size_t k = 0;
    for (; k + lanes <= count; k += lanes) {
        const auto di = hn::LoadU(d, dither + k);
        const auto side = Side(d, hn::LoadU(d, value + k), di, vstep);
        auto around = hn::Add(hn::Zero(d), Side(d, hn::LoadU(d, t0 + k), di, vstep));
        around = hn::Add(around, Side(d, hn::LoadU(d, t1 + k), di, vstep));
        around = hn::Add(around, Side(d, hn::LoadU(d, t2 + k), di, vstep));
        around = hn::Add(around, Side(d, hn::LoadU(d, t3 + k), di, vstep));
        hn::StoreU(side, d, sides + k);
        hn::StoreU(hn::Sub(side, hn::Div(around, quarter)), d, terms + k);
    }
    for (; k < count; ++k) {  // the rest, as the plain form computes it
        const double di = dither[k];
        const double side = detail::LatticeSide(value[k], di, step);
        double around = 0;
        for (const double* twin : {t0, t1, t2, t3}) around = around + detail::LatticeSide(twin[k], di, step);
        sides[k] = side;
        terms[k] = side - around / 4;
    }
}

// Lanes run along a block's row (y): eight doubles, or two, four or eight vectors of fewer.
void AddBandStrip(double* HWY_RESTRICT strip, int width, const double* HWY_RESTRICT change, const double (*cosine)[8],
                  const double* HWY_RESTRICT scale) {
    const hn::CappedTag<double, 8> d;
    const std::size_t lanes = hn::Lanes(d);
    HWY_ALIGN double columns[7][8];
    std::size_t i = 0;
    for (int bx = 0; bx + 8 <= width; bx += 8) {
        double block[7][7] = {};
        for (const int k : detail::kBand) block[k / 8][k % 8] = change[i++];
        for (int u = 0; u < 7; ++u)
            for (std::size_t y = 0; y < 8; y += lanes) {
                auto sum = hn::Zero(d);
                for (int v = 0; v < 7; ++v)
                    sum = hn::Add(sum, hn::Mul(hn::Set(d, block[u][v] * scale[v]), hn::LoadU(d, cosine[v] + y)));
                hn::StoreU(sum, d, columns[u] + y);
            }
        for (int x = 0; x < 8; ++x) {
            double* f = strip + static_cast<std::size_t>(x) * static_cast<std::size_t>(width) + bx;
            for (std::size_t y = 0; y < 8; y += lanes) {
                auto sum = hn::Zero(d);
                for (int u = 0; u < 7; ++u)
                    sum = hn::Add(sum, hn::Mul(hn::Set(d, scale[u] * cosine[u][x]), hn::LoadU(d, columns[u] + y)));
                hn::StoreU(hn::Add(hn::LoadU(d, f + y), sum), d, f + y);
            }
        }
    }
}

// Lanes run along the frequencies (v, then v of each u): seven of them, an eighth lane of
// zeros beside them.
void BandStrip(const double* HWY_RESTRICT strip, int width, const double (*cosine)[8], const double* HWY_RESTRICT scale,
               double* HWY_RESTRICT out) {
    const hn::CappedTag<double, 8> d;
    const std::size_t lanes = hn::Lanes(d);
    HWY_ALIGN double across[8][8];  // [y][v]: cosine[v][y], v = 7 zero
    HWY_ALIGN double scales[8];
    for (int y = 0; y < 8; ++y) {
        for (int v = 0; v < 7; ++v) across[y][v] = cosine[v][y];
        across[y][7] = 0;
    }
    for (int v = 0; v < 7; ++v) scales[v] = scale[v];
    scales[7] = 0;
    HWY_ALIGN double rows[8][8];  // [x][v]
    HWY_ALIGN double band[7][8];  // [u][v]
    std::size_t i = 0;
    for (int bx = 0; bx + 8 <= width; bx += 8) {
        for (int x = 0; x < 8; ++x) {
            const double* f = strip + static_cast<std::size_t>(x) * static_cast<std::size_t>(width) + bx;
            for (std::size_t v = 0; v < 8; v += lanes) {
                auto sum = hn::Zero(d);
                for (int y = 0; y < 8; ++y) sum = hn::Add(sum, hn::Mul(hn::Set(d, f[y]), hn::LoadU(d, across[y] + v)));
                hn::StoreU(hn::Mul(sum, hn::LoadU(d, scales + v)), d, rows[x] + v);
            }
        }
        for (int u = 0; u < 7; ++u)
            for (std::size_t v = 0; v < 8; v += lanes) {
                auto sum = hn::Zero(d);
                for (int x = 0; x < 8; ++x)
                    sum = hn::Add(sum, hn::Mul(hn::LoadU(d, rows[x] + v), hn::Set(d, cosine[u][x])));
                hn::StoreU(hn::Mul(sum, hn::Set(d, scale[u])), d, band[u] + v);
            }
        for (const int k : detail::kBand) out[i++] = band[k / 8][k % 8];
    }
}

// The place in kBand of frequency (u, v), 3 <= u + v <= 6: the sums 3 .. u + v - 1 take 4, 5
// and 6 places before it, then u.
constexpr int BandIndex(int u, int v) {
    const int sum = u + v;
    return (sum - 3) * (sum + 4) / 2 + u;
}
static_assert([] {
    for (int j = 0; j < 22; ++j)
        if (BandIndex(detail::kBand[j] / 8, detail::kBand[j] % 8) != j) return false;
    return true;
}());

// Between the recursion's steps on block b (22 of them), block b - 1 is written in 22 pieces:
// steps 0 to 7 read its rows' bytes and luminance, 8 to 14 make the inverse transform's
// columns (as AddBandStrip makes them), 15 to 21 its rows 0 to 6 and step 21 row 7 as well:
// each row's sums added to its luminance, its new bytes written and their squares summed.
// Lanes run along a row's eight pixels, as AddBandStrip's do.
std::int64_t RdmPass(const ImageView& host, bool gray, const double* HWY_RESTRICT coefficients,
                     const std::uint8_t* HWY_RESTRICT bit, const std::uint8_t* HWY_RESTRICT payload,
                     RandomStream& dithers, detail::RdmRecursion& recursion, int across, int down,
                     const double (*cosine)[8], const double* HWY_RESTRICT scale, Bitmap& out) {
    const hn::CappedTag<double, 8> d;
    const hn::Rebind<std::int32_t, decltype(d)> di;
    const hn::Rebind<std::uint8_t, decltype(d)> db;
    const std::size_t lanes = hn::Lanes(d);
    constexpr int kItems = static_cast<int>(detail::kBand.size());
    static_assert(kItems == 22, "the pieces below are laid out for 22 steps a block");
    const bool colour = host.Colour;
    double changes[2][kItems];  // the block being made, and the block being written
    HWY_ALIGN std::int32_t bytes[3][64];  // the written block's blue, green and red, row by row
    HWY_ALIGN double before[64];
    HWY_ALIGN double after[64];
    HWY_ALIGN double columns[7][8];
    const double* written = nullptr;  // the written block's change (none before the first)
    int wx = 0, wy = 0;               // its top-left pixel
    std::int64_t squares = 0;
    auto blockSquares = hn::Zero(di);
    const auto shift = hn::Set(d, 6755399441055744.0);  // RoundHalfEven's
    const auto zero = hn::Zero(d), top = hn::Set(d, 255.0), thousand = hn::Set(d, 1000.0);
    const auto w299 = hn::Set(di, 299), w587 = hn::Set(di, 587), w114 = hn::Set(di, 114);
    const auto toByte = [&](hn::Vec<decltype(d)> v) {
        return hn::DemoteTo(di, hn::Min(hn::Max(hn::Sub(hn::Add(v, shift), shift), zero), top));
    };
    // A picture of BGR pixels (a Bitmap's view) is read from one row pointer.
    const bool bgr = host.Blue.pixelStride == 3 && host.Green.data == host.Blue.data + 1 &&
                     host.Red.data == host.Blue.data + 2 && host.Green.pixelStride == 3 && host.Red.pixelStride == 3 &&
                     host.Green.rowStride == host.Blue.rowStride && host.Red.rowStride == host.Blue.rowStride;
    const auto readRow = [&](int row) {
        const int y = wy + row;
        std::int32_t* blues = bytes[0] + row * 8;
        std::int32_t* greens = bytes[1] + row * 8;
        std::int32_t* reds = bytes[2] + row * 8;
        if (bgr) {
            const std::uint8_t* p = host.Blue.data + y * host.Blue.rowStride + 3 * wx;
            for (int x = 0; x < 8; ++x) {
                blues[x] = p[3 * x];
                greens[x] = p[3 * x + 1];
                reds[x] = p[3 * x + 2];
            }
        } else {
            for (int x = 0; x < 8; ++x) {
                blues[x] = host.Blue.at(wx + x, y);
                greens[x] = host.Green.at(wx + x, y);
                reds[x] = host.Red.at(wx + x, y);
            }
        }
        for (std::size_t k = static_cast<std::size_t>(row) * 8; k < static_cast<std::size_t>(row) * 8 + 8; k += lanes) {
            const auto b = hn::Load(di, bytes[0] + k);
            hn::Vec<decltype(d)> value;
            if (colour) {
                const auto weighted = hn::Add(hn::Add(hn::Mul(w299, hn::Load(di, bytes[2] + k)),
                                                      hn::Mul(w587, hn::Load(di, bytes[1] + k))),
                                              hn::Mul(w114, b));
                value = hn::Div(hn::PromoteTo(d, weighted), thousand);
            } else {
                value = hn::PromoteTo(d, b);
            }
            hn::Store(value, d, before + k);
            hn::Store(value, d, after + k);
        }
    };
    // AddBandStrip sums over every v < 7, the frequencies outside the band (u + v < 3 or > 6)
    // included: their terms are 0 times a finite number, a zero, and a sum that starts at +0
    // never is -0 (x + -x is +0), so adding a zero changes no bit of it. Only the band's
    // terms are summed here, in the same order of v.
    const auto makeColumn = [&](int u) {
        const int first = u < 3 ? 3 - u : 0, last = 6 - u;  // the band's v in row u
        for (std::size_t y = 0; y < 8; y += lanes) {
            auto sum = hn::Zero(d);
            for (int v = first; v <= last; ++v)
                sum = hn::Add(sum, hn::Mul(hn::Set(d, written[BandIndex(u, v)] * scale[v]), hn::LoadU(d, cosine[v] + y)));
            hn::Store(sum, d, columns[u] + y);
        }
    };
    const auto writeRow = [&](int x) {
        double* f = after + x * 8;
        std::uint8_t* row = out.row(wy + x) + 3 * wx;
        for (std::size_t y = 0; y < 8; y += lanes) {
            auto sum = hn::Zero(d);
            for (int u = 0; u < 7; ++u)
                sum = hn::Add(sum, hn::Mul(hn::Set(d, scale[u] * cosine[u][x]), hn::Load(d, columns[u] + y)));
            const auto now = hn::Add(hn::Load(d, f + y), sum);
            const std::size_t k = static_cast<std::size_t>(x) * 8 + y;
            const auto b = hn::Load(di, bytes[0] + k), g = hn::Load(di, bytes[1] + k), r = hn::Load(di, bytes[2] + k);
            hn::Vec<decltype(di)> nb, ng, nr;
            if (gray) {
                nb = ng = nr = toByte(now);
            } else {
                const auto moved = hn::Sub(now, hn::Load(d, before + k));
                nb = toByte(hn::Add(hn::PromoteTo(d, b), moved));
                ng = toByte(hn::Add(hn::PromoteTo(d, g), moved));
                nr = toByte(hn::Add(hn::PromoteTo(d, r), moved));
            }
            const auto db_ = hn::Sub(nb, b), dg = hn::Sub(ng, g), dr = hn::Sub(nr, r);
            blockSquares =
                hn::Add(blockSquares, hn::Add(hn::Add(hn::Mul(db_, db_), hn::Mul(dg, dg)), hn::Mul(dr, dr)));
            hn::StoreInterleaved3(hn::DemoteTo(db, nb), hn::DemoteTo(db, ng), hn::DemoteTo(db, nr), db, row + 3 * y);
        }
    };
    const auto piece = [&](int k) {
        if (k < 8) {
            readRow(k);
        } else if (k < 15) {
            makeColumn(k - 8);
        } else {
            writeRow(k - 15);
            if (k == kItems - 1) {
                writeRow(7);
                squares += hn::GetLane(hn::SumOfLanes(di, blockSquares));  // a block's sum is below 2^24
                blockSquares = hn::Zero(di);
            }
        }
    };
    // A copy whose address nothing else knows: its running sum stays in a register, not
    // stored and loaded again around each call for the uniforms (that would lengthen the
    // chain every step waits on).
    detail::RdmRecursion chain = recursion;
    const int blocks = across * down;
    std::size_t i = 0;
    double uniforms[kItems];
    for (int b = 0; b < blocks; ++b) {
        double* made = changes[b & 1];
        dithers.Uniforms(uniforms, kItems);
        for (int k = 0; k < kItems; ++k, ++i) {
            const double c = coefficients[i];
            made[k] = chain.Mark(c, uniforms[k], payload[bit[i]]) - c;
            if (written) piece(k);
        }
        written = made;
        wx = b % across * 8;
        wy = b / across * 8;
    }
    if (written)
        for (int k = 0; k < kItems; ++k) piece(k);
    recursion = chain;
    return squares;
}

// RdmStretches: the whole vectors of recursions step by step, all of them at item k before any
// at item k + 1 (each vector's step waits on its last; the others' fill the wait), their
// running sums and rings side by side.
void RdmStretches(const double* HWY_RESTRICT c, const double* HWY_RESTRICT u, const std::uint8_t* HWY_RESTRICT bit,
                  std::size_t count, std::size_t length, std::size_t counted, double alpha, double step,
                  std::size_t memory, double* HWY_RESTRICT squared) {
    const hn::ScalableTag<double> d;
    const hn::Rebind<std::int32_t, decltype(d)> di;
    const hn::Rebind<std::uint8_t, decltype(d)> db;
    const std::size_t lanes = hn::Lanes(d);
    const std::size_t first = length - counted;
    const std::size_t whole = count / lanes * lanes;
    const auto half = hn::Set(d, 0.5), vstep = hn::Set(d, step), halfStep = hn::Set(d, step / 2);
    const auto valpha = hn::Set(d, alpha), vmemory = hn::Set(d, static_cast<double>(memory));
    const auto least = hn::Set(d, detail::RdmRecursion::kLeastGain), zero = hn::Zero(d);
    const auto shift = hn::Set(d, 6755399441055744.0);  // RoundHalfEven's
    std::vector<double> ring(memory * count, 0.0), energies(count, 0.0);
    std::size_t at = 0;  // the rings' slot of item k
    for (std::size_t k = 0; k < length && whole > 0; ++k) {
        double* slot = ring.data() + at * count;
        for (std::size_t s = 0; s < whole; s += lanes) {
            const std::size_t from = k * count + s;
            const auto cv = hn::LoadU(d, c + from);
            auto energy = hn::LoadU(d, energies.data() + s);
            auto marked = cv;
            if (k >= memory) {
                const auto dither = hn::Mul(hn::Sub(hn::LoadU(d, u + from), half), vstep);
                const auto bits = hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(db, bit + from)));
                const auto root = hn::Sqrt(hn::Div(energy, vmemory));
                const auto marks = hn::And(hn::Gt(energy, zero), hn::Ge(root, least));
                const auto gain = hn::IfThenElseZero(marks, root);
                const auto z = hn::Div(cv, gain);  // where nothing is marked, unused
                const auto offset = hn::Add(dither, hn::Mul(bits, halfStep));
                const auto position = hn::Div(hn::Sub(z, offset), vstep);
                const auto q = hn::Add(hn::Mul(vstep, hn::Sub(hn::Add(position, shift), shift)), offset);
                marked = hn::IfThenElse(marks, hn::Mul(gain, hn::Add(z, hn::Mul(valpha, hn::Sub(q, z)))), cv);
                const auto old = hn::LoadU(d, slot + s);
                energy = hn::Sub(energy, hn::Mul(old, old));
            }
            hn::StoreU(hn::Add(energy, hn::Mul(marked, marked)), d, energies.data() + s);
            hn::StoreU(marked, d, slot + s);
            if (k >= first) {
                const auto moved = hn::Sub(marked, cv);
                hn::StoreU(hn::Mul(moved, moved), d, squared + (k - first) * count + s);
            }
        }
        if (++at == memory) at = 0;
    }
    for (std::size_t s = whole; s < count; ++s) {
        detail::RdmRecursion recursion(alpha, step, memory);
        for (std::size_t k = 0; k < length; ++k) {
            const std::size_t from = k * count + s;
            const double marked = recursion.Mark(c[from], u[from], bit[from]);
            if (k >= first) squared[(k - first) * count + s] = (marked - c[from]) * (marked - c[from]);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace quillfen::blind_loops
HWY_AFTER_NAMESPACE();

#endif  // QF_SIMD

#if !QF_SIMD || HWY_ONCE
namespace quillfen::blind_loops {

namespace plain {

void Sides(const double* value, const double* const* twins, const double* dither, double step, std::size_t count,
           double* sides, double* terms) {
    for (std::size_t k = 0; k < count; ++k) {
        const double di = dither[k];
        const double side = detail::LatticeSide(value[k], di, step);
        double around = 0;
        for (int t = 0; t < 4; ++t) around = around + detail::LatticeSide(twins[t][k], di, step);
        sides[k] = side;
        terms[k] = side - around / 4;
    }
}

void AddBandStrip(double* strip, int width, const double* change, const double (*cosine)[8], const double* scale) {
    std::size_t i = 0;
    double columns[7][8];
    for (int bx = 0; bx + 8 <= width; bx += 8) {
        double block[7][7] = {};
        for (const int k : detail::kBand) block[k / 8][k % 8] = change[i++];
        for (int u = 0; u < 7; ++u)
            for (int y = 0; y < 8; ++y) {
                double sum = 0;
                for (int v = 0; v < 7; ++v) sum = sum + block[u][v] * scale[v] * cosine[v][y];
                columns[u][y] = sum;
            }
        for (int x = 0; x < 8; ++x) {
            double* f = strip + static_cast<std::size_t>(x) * static_cast<std::size_t>(width) + bx;
            for (int y = 0; y < 8; ++y) {
                double sum = 0;
                for (int u = 0; u < 7; ++u) sum = sum + scale[u] * cosine[u][x] * columns[u][y];
                f[y] += sum;
            }
        }
    }
}

void BandStrip(const double* strip, int width, const double (*cosine)[8], const double* scale, double* out) {
    double rows[8][7];
    std::size_t i = 0;
    for (int bx = 0; bx + 8 <= width; bx += 8) {
        for (int x = 0; x < 8; ++x) {
            const double* f = strip + static_cast<std::size_t>(x) * static_cast<std::size_t>(width) + bx;
            for (int v = 0; v < 7; ++v) {
                double sum = 0;
                for (int y = 0; y < 8; ++y) sum = sum + f[y] * cosine[v][y];
                rows[x][v] = sum * scale[v];
            }
        }
        for (const int k : detail::kBand) {
            const int u = k / 8, v = k % 8;
            double sum = 0;
            for (int x = 0; x < 8; ++x) sum = sum + rows[x][v] * cosine[u][x];
            out[i++] = sum * scale[u];
        }
    }
}

std::int64_t RdmPass(const ImageView& host, bool gray, const double* coefficients, const std::uint8_t* bit,
                     const std::uint8_t* payload, RandomStream& dithers, detail::RdmRecursion& recursion, int across,
                     int down, const double (*)[8], const double*, Bitmap& out) {
    constexpr std::size_t kItems = detail::kBand.size();
    double change[kItems];
    std::int64_t squares = 0;
    std::size_t i = 0;
    for (int b = 0; b < across * down; ++b) {
        for (std::size_t k = 0; k < kItems; ++k, ++i) {
            const double c = coefficients[i];
            change[k] = recursion.Mark(c, dithers.Uniform(), payload[bit[i]]) - c;
        }
        squares += detail::WriteBlockChange(host, gray, b % across, b / across, change, &out);
    }
    return squares;
}

void RdmStretches(const double* c, const double* u, const std::uint8_t* bit, std::size_t count, std::size_t length,
                  std::size_t counted, double alpha, double step, std::size_t memory, double* squared) {
    const std::size_t first = length - counted;
    for (std::size_t s = 0; s < count; ++s) {
        detail::RdmRecursion recursion(alpha, step, memory);
        for (std::size_t k = 0; k < length; ++k) {
            const std::size_t from = k * count + s;
            const double marked = recursion.Mark(c[from], u[from], bit[from]);
            if (k >= first) squared[(k - first) * count + s] = (marked - c[from]) * (marked - c[from]);
        }
    }
}

}  // namespace plain

#if QF_SIMD
HWY_EXPORT(Sides);
HWY_EXPORT(AddBandStrip);
HWY_EXPORT(BandStrip);
HWY_EXPORT(RdmPass);
HWY_EXPORT(RdmStretches);

void RdmStretches(const double* c, const double* u, const std::uint8_t* bit, std::size_t count, std::size_t length,
                  std::size_t counted, double alpha, double step, std::size_t memory, double* squared) {
    HWY_DYNAMIC_DISPATCH(RdmStretches)(c, u, bit, count, length, counted, alpha, step, memory, squared);
}

std::int64_t RdmPass(const ImageView& host, bool gray, const double* coefficients, const std::uint8_t* bit,
                     const std::uint8_t* payload, RandomStream& dithers, detail::RdmRecursion& recursion, int across,
                     int down, const double (*cosine)[8], const double* scale, Bitmap& out) {
    return HWY_DYNAMIC_DISPATCH(RdmPass)(host, gray, coefficients, bit, payload, dithers, recursion, across, down,
                                         cosine, scale, out);
}

void BandStrip(const double* strip, int width, const double (*cosine)[8], const double* scale, double* out) {
    HWY_DYNAMIC_DISPATCH(BandStrip)(strip, width, cosine, scale, out);
}

void AddBandStrip(double* strip, int width, const double* change, const double (*cosine)[8], const double* scale) {
    HWY_DYNAMIC_DISPATCH(AddBandStrip)(strip, width, change, cosine, scale);
}

void Sides(const double* value, const double* const* twins, const double* dither, double step, std::size_t count,
           double* sides, double* terms) {
    HWY_DYNAMIC_DISPATCH(Sides)(value, twins, dither, step, count, sides, terms);
}
#else
void RdmStretches(const double* c, const double* u, const std::uint8_t* bit, std::size_t count, std::size_t length,
                  std::size_t counted, double alpha, double step, std::size_t memory, double* squared) {
    plain::RdmStretches(c, u, bit, count, length, counted, alpha, step, memory, squared);
}

std::int64_t RdmPass(const ImageView& host, bool gray, const double* coefficients, const std::uint8_t* bit,
                     const std::uint8_t* payload, RandomStream& dithers, detail::RdmRecursion& recursion, int across,
                     int down, const double (*cosine)[8], const double* scale, Bitmap& out) {
    return plain::RdmPass(host, gray, coefficients, bit, payload, dithers, recursion, across, down, cosine, scale, out);
}

void BandStrip(const double* strip, int width, const double (*cosine)[8], const double* scale, double* out) {
    plain::BandStrip(strip, width, cosine, scale, out);
}

void AddBandStrip(double* strip, int width, const double* change, const double (*cosine)[8], const double* scale) {
    plain::AddBandStrip(strip, width, change, cosine, scale);
}

void Sides(const double* value, const double* const* twins, const double* dither, double step, std::size_t count,
           double* sides, double* terms) {
    plain::Sides(value, twins, dither, step, count, sides, terms);
}
#endif

}  // namespace quillfen::blind_loops
#endif  // !QF_SIMD || HWY_ONCE
