#include "warp_loops.h"

#include <bit>

#if QF_SIMD
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "warp_loops.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quillfen::warp_loops {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// The two neighbours of a row are read as one 32-bit word at the first one's byte (the low
// byte first): the bytes of the picture, whatever the word's other two hold.
static_assert(std::endian::native == std::endian::little, "the neighbours are read from little-endian words");

std::size_t BilinearInside(const std::uint8_t* const* planes, std::uint8_t* const* targets, std::size_t count,
                           const double* sx, const double* sy, std::size_t from, std::size_t end, int width,
                           int height) {
    const hn::ScalableTag<double> d;
    const hn::Rebind<std::int32_t, decltype(d)> di;
    const hn::Rebind<std::uint8_t, decltype(d)> du8;
    const std::size_t lanes = hn::Lanes(d);
    const auto zero = hn::Zero(d);
    const auto one = hn::Set(d, 1.0);
    const auto w = hn::Set(d, static_cast<double>(width));
    const auto h = hn::Set(d, static_cast<double>(height));
    const auto lastRow = hn::Set(d, static_cast<double>(height) - 2);  // the top row of the last pair of rows
    const auto wordEnd = hn::Set(d, static_cast<double>(width) - 3);
    const auto top = hn::Set(d, 255.0);
    const auto shift = hn::Set(d, 6755399441055744.0);  // RoundHalfEven's 1.5 * 2^52
    const auto low = hn::Set(di, 0xFF);
    const auto stride = hn::Set(di, width);
    std::size_t x = from;
    for (; x + lanes <= end; x += lanes) {
        const auto px = hn::LoadU(d, sx + x);
        const auto py = hn::LoadU(d, sy + x);
        const auto x0 = hn::Floor(px);
        const auto y0 = hn::Floor(py);
        // All four neighbours inside (false for a NaN), and the word read at the lower right
        // neighbour ends inside the picture.
        const auto inside = hn::And(hn::And(hn::Ge(x0, zero), hn::Ge(y0, zero)),
                                    hn::And(hn::Lt(hn::Add(x0, one), w), hn::Lt(hn::Add(y0, one), h)));
        const auto wordInside = hn::Or(hn::Lt(y0, lastRow), hn::Lt(x0, wordEnd));
        if (!hn::AllTrue(d, hn::And(inside, wordInside))) break;
        const auto fx = hn::Sub(px, x0);
        const auto fy = hn::Sub(py, y0);
        const auto gx = hn::Sub(one, fx);
        const auto gy = hn::Sub(one, fy);
        const auto offsets = hn::Add(hn::Mul(hn::DemoteTo(di, y0), stride), hn::DemoteTo(di, x0));
        for (std::size_t k = 0; k < count; ++k) {
            const auto* base = reinterpret_cast<const std::int32_t*>(planes[k]);
            const auto upper = hn::GatherOffset(di, base, offsets);
            const auto lower = hn::GatherOffset(di, base, hn::Add(offsets, stride));
            const auto p00 = hn::PromoteTo(d, hn::And(upper, low));
            const auto p01 = hn::PromoteTo(d, hn::And(hn::ShiftRight<8>(upper), low));
            const auto p10 = hn::PromoteTo(d, hn::And(lower, low));
            const auto p11 = hn::PromoteTo(d, hn::And(hn::ShiftRight<8>(lower), low));
            const auto upperRow = hn::Add(hn::Mul(gx, p00), hn::Mul(fx, p01));
            const auto lowerRow = hn::Add(hn::Mul(gx, p10), hn::Mul(fx, p11));
            const auto v = hn::Add(hn::Mul(gy, upperRow), hn::Mul(fy, lowerRow));
            // ToByte: 0 for what is not above 0 (a NaN too), 255 from 255 up, else rounded half
            // to even.
            const auto held = hn::Min(hn::IfThenElseZero(hn::Gt(v, zero), v), top);
            const auto rounded = hn::Sub(hn::Add(held, shift), shift);
            hn::StoreU(hn::DemoteTo(du8, hn::DemoteTo(di, rounded)), du8, targets[k] + x);
        }
    }
    return x;
}

}  // namespace HWY_NAMESPACE
}  // namespace quillfen::warp_loops
HWY_AFTER_NAMESPACE();
#endif  // QF_SIMD

#if !QF_SIMD || HWY_ONCE
namespace quillfen::warp_loops {

#if QF_SIMD
HWY_EXPORT(BilinearInside);

std::size_t BilinearInside(const std::uint8_t* const* planes, std::uint8_t* const* targets, std::size_t count,
                           const double* sx, const double* sy, std::size_t from, std::size_t end, int width,
                           int height) {
    return HWY_DYNAMIC_DISPATCH(BilinearInside)(planes, targets, count, sx, sy, from, end, width, height);
}
#else
std::size_t BilinearInside(const std::uint8_t* const*, std::uint8_t* const*, std::size_t, const double*,
                           const double*, std::size_t from, std::size_t, int, int) {
    return from;
}
#endif

}  // namespace quillfen::warp_loops
#endif  // !QF_SIMD || HWY_ONCE
