#include "gray_plane_loops.h"

#include "quillfen/image/errors.h"

#include "quillfen/image/gray_plane.h"

#include <algorithm>
#include <cstring>

#if QF_SIMD
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "gray_plane_loops.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quillfen::gray_plane_loops {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// A table of 256 levels as sixteen tables of sixteen: each byte looks its low four bits up
// in all sixteen at once (one byte shuffle each), and its high four bits pick among the
// sixteen answers in four rounds of halving, one bit a round. Vectors of a size known only
// at run time cannot be kept in arrays: those targets map one by one.
void MapLevels(const std::uint8_t* in, std::uint8_t* out, std::size_t count, const std::uint8_t* table) {
    std::size_t i = 0;
#if !HWY_HAVE_SCALABLE
    const hn::ScalableTag<std::uint8_t> d;
    using V = hn::Vec<decltype(d)>;
    V part[16];  // arrays of plain vectors: std::array's constructor is not compiled for the target
    for (std::size_t k = 0; k < 16; ++k) part[k] = hn::LoadDup128(d, table + 16 * k);
    const std::size_t N = hn::Lanes(d);
    const V lowBits = hn::Set(d, 0x0F);
    // The byte shuffle looks up sixteen bytes: a target with narrower vectors maps one by one.
    for (; N >= 16 && i + N <= count; i += N) {
        const V v = hn::LoadU(d, in + i);
        const V index = hn::And(v, lowBits);
        V r[16];
        for (std::size_t k = 0; k < 16; ++k) r[k] = hn::TableLookupBytes(part[k], index);
        // Bit 4, 5, 6 and then 7 of each byte pick the upper half of each pair.
        const auto pick = [&](unsigned bit, std::size_t pairs) {
            const auto upper = hn::TestBit(v, hn::Set(d, static_cast<std::uint8_t>(bit)));
            for (std::size_t k = 0; k < pairs; ++k) r[k] = hn::IfThenElse(upper, r[2 * k + 1], r[2 * k]);
        };
        pick(0x10, 8);
        pick(0x20, 4);
        pick(0x40, 2);
        pick(0x80, 1);
        hn::StoreU(r[0], d, out + i);
    }
#endif
    for (; i < count; ++i) out[i] = table[in[i]];
}

void LevelRange(const std::uint8_t* in, std::size_t count, std::uint8_t& low, std::uint8_t& high) {
    const hn::ScalableTag<std::uint8_t> d;
    const std::size_t N = hn::Lanes(d);
    auto lo = hn::Set(d, 255);
    auto hi = hn::Zero(d);
    std::size_t i = 0;
    for (; i + N <= count; i += N) {
        const auto v = hn::LoadU(d, in + i);
        lo = hn::Min(lo, v);
        hi = hn::Max(hi, v);
    }
    HWY_ALIGN std::uint8_t los[hn::MaxLanes(d)], his[hn::MaxLanes(d)];
    hn::Store(lo, d, los);
    hn::Store(hi, d, his);
    std::uint8_t l = 255, h = 0;
    for (std::size_t k = 0; k < N; ++k) {
        l = std::min(l, los[k]);
        h = std::max(h, his[k]);
    }
    for (; i < count; ++i) {
        l = std::min(l, in[i]);
        h = std::max(h, in[i]);
    }
    low = l;
    high = h;
}

}  // namespace HWY_NAMESPACE
}  // namespace quillfen::gray_plane_loops
HWY_AFTER_NAMESPACE();
#endif  // QF_SIMD

#if !QF_SIMD || HWY_ONCE
namespace quillfen::gray_plane_loops {

#if QF_SIMD
HWY_EXPORT(MapLevels);
HWY_EXPORT(LevelRange);

void MapLevels(const std::uint8_t* in, std::uint8_t* out, std::size_t count, const std::uint8_t* table) {
    HWY_DYNAMIC_DISPATCH(MapLevels)(in, out, count, table);
}

void LevelRange(const std::uint8_t* in, std::size_t count, std::uint8_t& low, std::uint8_t& high) {
    HWY_DYNAMIC_DISPATCH(LevelRange)(in, count, low, high);
}
#else
void MapLevels(const std::uint8_t* in, std::uint8_t* out, std::size_t count, const std::uint8_t* table) {
    std::size_t i = 0;
    // Eight pixels read and written at a time: the table lookups are then most of the work.
    for (; i + 8 <= count; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, in + i, 8);
        std::uint64_t mapped = 0;
        for (int k = 0; k < 8; ++k) mapped |= std::uint64_t{table[(eight >> (8 * k)) & 255]} << (8 * k);
        std::memcpy(out + i, &mapped, 8);
    }
    for (; i < count; ++i) out[i] = table[in[i]];
}

void LevelRange(const std::uint8_t* in, std::size_t count, std::uint8_t& low, std::uint8_t& high) {
    const auto [lo, hi] = std::minmax_element(in, in + count);
    low = *lo;
    high = *hi;
}
#endif

}  // namespace quillfen::gray_plane_loops

// The plane's whole-plane maps live here, beside their loops, and not in gray_plane.cpp:
// modules that carry their own copy of the plane then need no vector loops.
namespace quillfen {

GrayPlane GrayPlane::Mapped(const LevelTable& table) const {
    GrayPlane out(width_, height_);
    gray_plane_loops::MapLevels(pixels_.data(), out.pixels_.data(), pixels_.size(), table.data());
    return out;
}

std::pair<std::uint8_t, std::uint8_t> GrayPlane::LevelRange() const {
    if (pixels_.empty()) throw ArgumentError("GrayPlane: no levels in an empty plane");
    std::pair<std::uint8_t, std::uint8_t> range;
    gray_plane_loops::LevelRange(pixels_.data(), pixels_.size(), range.first, range.second);
    return range;
}

}  // namespace quillfen
#endif
