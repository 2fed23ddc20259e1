#include "lattice_loops.h"

#include "blind_core.h"

#if QF_SIMD

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "lattice_loops.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quillfen::lattice_loops {
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

}  // namespace HWY_NAMESPACE
}  // namespace quillfen::lattice_loops
HWY_AFTER_NAMESPACE();

#endif  // QF_SIMD

#if !QF_SIMD || HWY_ONCE
namespace quillfen::lattice_loops {

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

}  // namespace plain

#if QF_SIMD
HWY_EXPORT(Sides);

void Sides(const double* value, const double* const* twins, const double* dither, double step, std::size_t count,
           double* sides, double* terms) {
    HWY_DYNAMIC_DISPATCH(Sides)(value, twins, dither, step, count, sides, terms);
}
#else
void Sides(const double* value, const double* const* twins, const double* dither, double step, std::size_t count,
           double* sides, double* terms) {
    plain::Sides(value, twins, dither, step, count, sides, terms);
}
#endif

}  // namespace quillfen::lattice_loops
#endif  // !QF_SIMD || HWY_ONCE
