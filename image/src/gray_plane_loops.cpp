#include "gray_plane_loops.h"

#include <algorithm>
#include <array>
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
// sixteen answers in four rounds of halving, one bit a round, by the sign of the byte
// shifted to bring that bit to the top.
void MapLevels(const std::uint8_t* in, std::uint8_t* out, std::size_t count, const std::uint8_t* table) {
    const hn::ScalableTag<std::uint8_t> d;
    const hn::RebindToSigned<decltype(d)> di;
    using V = hn::Vec<decltype(d)>;
    std::array<V, 16> part;
    for (std::size_t k = 0; k < 16; ++k) part[k] = hn::LoadDup128(d, table + 16 * k);
    const std::size_t N = hn::Lanes(d);
    const V lowBits = hn::Set(d, 0x0F);
    std::size_t i = 0;
    for (; i + N <= count; i += N) {
        const V v = hn::LoadU(d, in + i);
        const V index = hn::And(v, lowBits);
        std::array<V, 16> r;
        for (std::size_t k = 0; k < 16; ++k) r[k] = hn::TableLookupBytes(part[k], index);
        // Bit 4, 5, 6 and then 7 of each byte to its sign, to pick the upper half of each pair.
        const auto pick = [&](const V bits, std::size_t pairs) {
            for (std::size_t k = 0; k < pairs; ++k)
                r[k] = hn::BitCast(d, hn::IfNegativeThenElse(hn::BitCast(di, bits), hn::BitCast(di, r[2 * k + 1]),
                                                             hn::BitCast(di, r[2 * k])));
        };
        pick(hn::ShiftLeft<3>(v), 8);
        pick(hn::ShiftLeft<2>(v), 4);
        pick(hn::ShiftLeft<1>(v), 2);
        pick(v, 1);
        hn::StoreU(r[0], d, out + i);
    }
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
#endif
