#include "blind_loops.h"

#include "blind_core.h"

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

}  // namespace plain

#if QF_SIMD
HWY_EXPORT(Sides);
HWY_EXPORT(AddBandStrip);
HWY_EXPORT(BandStrip);

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
