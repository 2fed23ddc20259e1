#include "vector_loops.h"

#include <cmath>
#include <vector>

#include "quillfen/image/round_half_even.h"

// Shared by the vector and the plain forms: the stretch's rounding of one block.
#ifndef QUILLFEN_VECTOR_LOOPS_SHARED
#define QUILLFEN_VECTOR_LOOPS_SHARED
namespace quillfen::vector_loops::shared {

// The extremes of a block, given its per-column extremes: a scan over the columns in order,
// as one scan of the block in row-major order would give them (the order could only decide
// the sign of a zero extreme, which changes no byte).
inline void Extremes(const double* los, const double* his, int n, double& lo, double& hi) {
    lo = los[0];
    hi = his[0];
    for (int b = 1; b < n; ++b) {
        if (his[b] > hi) hi = his[b];
        if (los[b] < lo) lo = los[b];
    }
}

// One term of the SSIM map from the window means at x, in the order the formula writes it.
inline double SsimTerm(const SsimMeans& m, std::size_t x, double c1, double c2) {
    const double vx = m.XX[x] - m.X[x] * m.X[x];
    const double vy = m.YY[x] - m.Y[x] * m.Y[x];
    const double vxy = m.XY[x] - m.X[x] * m.Y[x];
    const double numerator = (2 * m.X[x] * m.Y[x] + c1) * (2 * vxy + c2);
    const double denominator = (m.X[x] * m.X[x] + m.Y[x] * m.Y[x] + c1) * (vx + vy + c2);
    return numerator / denominator;
}

}  // namespace quillfen::vector_loops::shared
#endif

#if QF_SIMD

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "vector_loops.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace quillfen::vector_loops {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// At most eight doubles per vector: 64 sums are then a whole number of 8-vector passes.
using D8 = hn::CappedTag<double, 8>;
using D4 = hn::CappedTag<double, 4>;

// The accumulators are named variables, not an array: scalable vectors (SVE) cannot be held
// in arrays, and named ones are what compilers keep in registers most reliably.
#define QF_EACH_ACCUMULATOR(X) X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7)

// The accumulators of the transforms must stay in registers, and the smallest register files
// (x86 up to AVX2, and its one-lane fallback) have sixteen: eight accumulators then leave room
// for the broadcast input and the table values. Each pass over the 64 inputs gives 8 x lanes
// sums: one pass on AVX-512, two on AVX2, four on SSE4, NEON and 128-bit SVE, eight with one
// lane.
void Accumulate(const double (*table)[64], const double* HWY_RESTRICT in, double* HWY_RESTRICT sums) {
    const D8 d;
    const std::size_t lanes = hn::Lanes(d);
    for (std::size_t j0 = 0; j0 < 64; j0 += 8 * lanes) {
#define QF_ZERO(k) auto s##k = hn::Zero(d);
        QF_EACH_ACCUMULATOR(QF_ZERO)
#undef QF_ZERO
        for (int i = 0; i < 64; ++i) {
            const double f = in[i];
            // A zero input adds a zero to every sum, which changes no sum (none is ever -0:
            // they start at +0, and an IEEE sum is -0 only when both terms are).
            if (f == 0) continue;
            const auto broadcast = hn::Set(d, f);
            const double* row = table[i] + j0;
#define QF_TERM(k) s##k = hn::Add(s##k, hn::Mul(hn::Load(d, row + (k) * lanes), broadcast));
            QF_EACH_ACCUMULATOR(QF_TERM)
#undef QF_TERM
        }
#define QF_STORE(k) hn::StoreU(s##k, d, sums + j0 + (k) * lanes);
        QF_EACH_ACCUMULATOR(QF_STORE)
#undef QF_STORE
    }
}

#undef QF_EACH_ACCUMULATOR

// The same for 16 sums (a table of 64 x 16): four accumulators of up to four lanes, one pass
// over the inputs where vectors hold four doubles or more.
void Accumulate16(const double (*table)[16], const double* HWY_RESTRICT in, double* HWY_RESTRICT sums) {
    const D4 d;
    const std::size_t lanes = hn::Lanes(d);
    for (std::size_t j0 = 0; j0 < 16; j0 += 4 * lanes) {
        auto s0 = hn::Zero(d);
        auto s1 = hn::Zero(d);
        auto s2 = hn::Zero(d);
        auto s3 = hn::Zero(d);
        for (int i = 0; i < 64; ++i) {
            const double f = in[i];
            if (f == 0) continue;  // adds nothing: see Accumulate
            const auto broadcast = hn::Set(d, f);
            const double* row = table[i] + j0;
            s0 = hn::Add(s0, hn::Mul(hn::LoadU(d, row), broadcast));
            s1 = hn::Add(s1, hn::Mul(hn::LoadU(d, row + lanes), broadcast));
            s2 = hn::Add(s2, hn::Mul(hn::LoadU(d, row + 2 * lanes), broadcast));
            s3 = hn::Add(s3, hn::Mul(hn::LoadU(d, row + 3 * lanes), broadcast));
        }
        hn::StoreU(s0, d, sums + j0);
        hn::StoreU(s1, d, sums + j0 + lanes);
        hn::StoreU(s2, d, sums + j0 + 2 * lanes);
        hn::StoreU(s3, d, sums + j0 + 3 * lanes);
    }
}

// Accumulate16 for `count` blocks laid end to end, two at a time: the four sums of one block
// wait on each other's additions, and a second block's four beside them keep the adders busy
// (each table row loaded once serves both). An input is skipped only where both blocks have a
// zero: a zero product added to a sum never changes it (see Accumulate).
void Accumulate16Blocks(const double (*table)[16], const double* HWY_RESTRICT in, double* HWY_RESTRICT sums,
                        std::size_t count) {
    const D4 d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t b = 0;
    for (; b + 2 <= count; b += 2) {
        const double* in0 = in + 64 * b;
        const double* in1 = in0 + 64;
        for (std::size_t j0 = 0; j0 < 16; j0 += 4 * lanes) {
            auto s0 = hn::Zero(d);
            auto s1 = hn::Zero(d);
            auto s2 = hn::Zero(d);
            auto s3 = hn::Zero(d);
            auto t0 = hn::Zero(d);
            auto t1 = hn::Zero(d);
            auto t2 = hn::Zero(d);
            auto t3 = hn::Zero(d);
            for (int i = 0; i < 64; ++i) {
                const double f0 = in0[i];
                const double f1 = in1[i];
                if (f0 == 0 && f1 == 0) continue;
                const double* row = table[i] + j0;
                const auto r0 = hn::LoadU(d, row);
                const auto r1 = hn::LoadU(d, row + lanes);
                const auto r2 = hn::LoadU(d, row + 2 * lanes);
                const auto r3 = hn::LoadU(d, row + 3 * lanes);
                const auto b0 = hn::Set(d, f0);
                const auto b1 = hn::Set(d, f1);
                s0 = hn::Add(s0, hn::Mul(r0, b0));
                s1 = hn::Add(s1, hn::Mul(r1, b0));
                s2 = hn::Add(s2, hn::Mul(r2, b0));
                s3 = hn::Add(s3, hn::Mul(r3, b0));
                t0 = hn::Add(t0, hn::Mul(r0, b1));
                t1 = hn::Add(t1, hn::Mul(r1, b1));
                t2 = hn::Add(t2, hn::Mul(r2, b1));
                t3 = hn::Add(t3, hn::Mul(r3, b1));
            }
            double* out0 = sums + 16 * b + j0;
            double* out1 = out0 + 16;
            hn::StoreU(s0, d, out0);
            hn::StoreU(s1, d, out0 + lanes);
            hn::StoreU(s2, d, out0 + 2 * lanes);
            hn::StoreU(s3, d, out0 + 3 * lanes);
            hn::StoreU(t0, d, out1);
            hn::StoreU(t1, d, out1 + lanes);
            hn::StoreU(t2, d, out1 + 2 * lanes);
            hn::StoreU(t3, d, out1 + 3 * lanes);
        }
    }
    if (b < count) Accumulate16(table, in + 64 * b, sums + 16 * b);
}

// (Sharing each loaded table row between two blocks was tried for the 64 sums: no faster on
// any target, as their eight accumulators already keep the adders busy.)
void AccumulateBlocks(const double (*table)[64], const double* in, double* sums, std::size_t count) {
    for (std::size_t b = 0; b < count; ++b) Accumulate(table, in + 64 * b, sums + 64 * b);
}

void Quantise(double* plane, std::size_t size, const double* steps, double scale) {
    const D8 d;
    const std::size_t lanes = hn::Lanes(d);
    const auto vscale = hn::Set(d, scale);
    const auto half = hn::Set(d, 0.5);
    const auto zero = hn::Zero(d);
    for (std::size_t r = 0; r < size; ++r) {
        const double* rowSteps = steps + 8 * (r % 8);
        double* row = plane + r * size;
        for (std::size_t c = 0; c < size; c += 8)
            for (std::size_t y = 0; y < 8; y += lanes) {
                const auto coefficient = hn::LoadU(d, row + c + y);
                const auto tableStep = hn::LoadU(d, rowSteps + y);
                const auto ratio = hn::Div(coefficient, hn::Mul(vscale, tableStep));
                const auto up = hn::Trunc(hn::Add(ratio, half));
                const auto down = hn::Trunc(hn::Sub(ratio, half));
                const auto q = hn::IfThenElse(hn::Ge(coefficient, zero), up, down);
                hn::StoreU(hn::Mul(hn::Mul(q, tableStep), vscale), d, row + c + y);
            }
    }
}

template <int n, class D>
void StretchOne(D d, const double* values, std::size_t stride, std::uint8_t* view) {
    constexpr std::size_t kN = n;
    const std::size_t lanes = hn::Lanes(d);
    HWY_ALIGN double los[n];
    HWY_ALIGN double his[n];
    for (std::size_t b = 0; b < kN; b += lanes) {
        auto lo = hn::Set(d, 10000.0);
        auto hi = hn::Set(d, -10000.0);
        for (int a = 0; a < n; ++a) {
            const auto v = hn::LoadU(d, values + a * stride + b);
            // The comparisons of the plain form, lane by lane (not a min/max instruction,
            // whose choice between equal zeros or a NaN differs between instruction sets).
            hi = hn::IfThenElse(hn::Gt(v, hi), v, hi);
            lo = hn::IfThenElse(hn::Lt(v, lo), v, lo);
        }
        hn::Store(lo, d, los + b);
        hn::Store(hi, d, his + b);
    }
    double lo;
    double hi;
    shared::Extremes(los, his, n, lo, hi);
    const double range = hi - lo;
    if (range == 0) {
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < n; ++b) view[a * stride + b] = 0;
        return;
    }
    const auto vlo = hn::Set(d, lo);
    const auto vrange = hn::Set(d, range);
    const auto v255 = hn::Set(d, 255.0);
    // RoundHalfEven's shift, so that the lanes round exactly as the plain form does.
    const auto shift = hn::Set(d, 6755399441055744.0);
    HWY_ALIGN double rounded[n];
    for (int a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < kN; b += lanes) {
            const auto v = hn::LoadU(d, values + a * stride + b);
            const auto scaled = hn::Div(hn::Mul(hn::Sub(v, vlo), v255), vrange);
            hn::Store(hn::Sub(hn::Add(scaled, shift), shift), d, rounded + b);
        }
        for (int b = 0; b < n; ++b)
            view[a * stride + b] = static_cast<std::uint8_t>(static_cast<int>(rounded[b]));
    }
}

void StretchPlane(const double* plane, std::size_t size, int n, std::uint8_t* view) {
    const std::size_t step = static_cast<std::size_t>(n);
    for (std::size_t top = 0; top + step <= size; top += step)
        for (std::size_t left = 0; left + step <= size; left += step) {
            const std::size_t start = top * size + left;
            if (n == 8) {
                StretchOne<8>(D8(), plane + start, size, view + start);
            } else {
                StretchOne<4>(D4(), plane + start, size, view + start);
            }
        }
}

// out[x] = sum over i of weights[i] * terms[i][x]. The n terms of a vector of sums are added in
// a register; the outputs past the last whole vector go one at a time, by the same operations.
// Four vectors of sums are built side by side: each is a chain of dependent additions, and four
// chains keep the adder busy where one would wait on it.
void WeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n, double* out) {
    const hn::ScalableTag<double> d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t x = 0;
    for (; x + 4 * lanes <= count; x += 4 * lanes) {
        auto sum0 = hn::Zero(d);
        auto sum1 = hn::Zero(d);
        auto sum2 = hn::Zero(d);
        auto sum3 = hn::Zero(d);
        for (std::size_t i = 0; i < n; ++i) {
            const auto weight = hn::Set(d, weights[i]);
            const double* row = terms[i] + x;
            sum0 = hn::Add(sum0, hn::Mul(weight, hn::LoadU(d, row)));
            sum1 = hn::Add(sum1, hn::Mul(weight, hn::LoadU(d, row + lanes)));
            sum2 = hn::Add(sum2, hn::Mul(weight, hn::LoadU(d, row + 2 * lanes)));
            sum3 = hn::Add(sum3, hn::Mul(weight, hn::LoadU(d, row + 3 * lanes)));
        }
        hn::StoreU(sum0, d, out + x);
        hn::StoreU(sum1, d, out + x + lanes);
        hn::StoreU(sum2, d, out + x + 2 * lanes);
        hn::StoreU(sum3, d, out + x + 3 * lanes);
    }
    for (; x + lanes <= count; x += lanes) {
        auto sum = hn::Zero(d);
        for (std::size_t i = 0; i < n; ++i) sum = hn::Add(sum, hn::Mul(hn::Set(d, weights[i]), hn::LoadU(d, terms[i] + x)));
        hn::StoreU(sum, d, out + x);
    }
    for (; x < count; ++x) {
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) sum = sum + weights[i] * terms[i][x];
        out[x] = sum;
    }
}

// SymmetricWeightedSums for the SSIM window of eleven, unrolled: the six weights stay in
// registers and the eleven rows' addresses are read once per call, not once per output
// vector. The same operations in the same order as the loop below.
void SymmetricWeightedSums11(const double* const* terms, std::size_t count, const double* weights, double* out) {
    const hn::ScalableTag<double> d;
    const std::size_t lanes = hn::Lanes(d);
    const double* t0 = terms[0];
    const double* t1 = terms[1];
    const double* t2 = terms[2];
    const double* t3 = terms[3];
    const double* t4 = terms[4];
    const double* t5 = terms[5];
    const double* t6 = terms[6];
    const double* t7 = terms[7];
    const double* t8 = terms[8];
    const double* t9 = terms[9];
    const double* t10 = terms[10];
    const auto w0 = hn::Set(d, weights[0]);
    const auto w1 = hn::Set(d, weights[1]);
    const auto w2 = hn::Set(d, weights[2]);
    const auto w3 = hn::Set(d, weights[3]);
    const auto w4 = hn::Set(d, weights[4]);
    const auto w5 = hn::Set(d, weights[5]);
    std::size_t x = 0;
    for (; x + 2 * lanes <= count; x += 2 * lanes) {
#define QF_PAIR(w, low, high, at) hn::Mul(w, hn::Add(hn::LoadU(d, low + (at)), hn::LoadU(d, high + (at))))
        auto sum0 = hn::Zero(d);
        auto sum1 = hn::Zero(d);
        sum0 = hn::Add(sum0, QF_PAIR(w0, t0, t10, x));
        sum1 = hn::Add(sum1, QF_PAIR(w0, t0, t10, x + lanes));
        sum0 = hn::Add(sum0, QF_PAIR(w1, t1, t9, x));
        sum1 = hn::Add(sum1, QF_PAIR(w1, t1, t9, x + lanes));
        sum0 = hn::Add(sum0, QF_PAIR(w2, t2, t8, x));
        sum1 = hn::Add(sum1, QF_PAIR(w2, t2, t8, x + lanes));
        sum0 = hn::Add(sum0, QF_PAIR(w3, t3, t7, x));
        sum1 = hn::Add(sum1, QF_PAIR(w3, t3, t7, x + lanes));
        sum0 = hn::Add(sum0, QF_PAIR(w4, t4, t6, x));
        sum1 = hn::Add(sum1, QF_PAIR(w4, t4, t6, x + lanes));
#undef QF_PAIR
        sum0 = hn::Add(sum0, hn::Mul(w5, hn::LoadU(d, t5 + x)));
        sum1 = hn::Add(sum1, hn::Mul(w5, hn::LoadU(d, t5 + x + lanes)));
        hn::StoreU(sum0, d, out + x);
        hn::StoreU(sum1, d, out + x + lanes);
    }
    for (; x < count; ++x) {
        double sum = 0.0;
        for (std::size_t i = 0; i < 5; ++i) sum = sum + weights[i] * (terms[i][x] + terms[10 - i][x]);
        out[x] = sum + weights[5] * terms[5][x];
    }
}

// The same for a window of odd length n whose weights mirror about its centre: the two terms
// of each weight are added first, so a sum takes (n + 1) / 2 products instead of n. The sums
// start from the outermost pair and end with the centre term.
void SymmetricWeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n,
                           double* out) {
    if (n == 11) return SymmetricWeightedSums11(terms, count, weights, out);
    const hn::ScalableTag<double> d;
    const std::size_t lanes = hn::Lanes(d);
    const std::size_t half = n / 2;
    std::size_t x = 0;
    for (; x + 2 * lanes <= count; x += 2 * lanes) {
        auto sum0 = hn::Zero(d);
        auto sum1 = hn::Zero(d);
        for (std::size_t i = 0; i < half; ++i) {
            const auto weight = hn::Set(d, weights[i]);
            const double* low = terms[i] + x;
            const double* high = terms[n - 1 - i] + x;
            sum0 = hn::Add(sum0, hn::Mul(weight, hn::Add(hn::LoadU(d, low), hn::LoadU(d, high))));
            sum1 = hn::Add(sum1, hn::Mul(weight, hn::Add(hn::LoadU(d, low + lanes), hn::LoadU(d, high + lanes))));
        }
        const auto centre = hn::Set(d, weights[half]);
        sum0 = hn::Add(sum0, hn::Mul(centre, hn::LoadU(d, terms[half] + x)));
        sum1 = hn::Add(sum1, hn::Mul(centre, hn::LoadU(d, terms[half] + x + lanes)));
        hn::StoreU(sum0, d, out + x);
        hn::StoreU(sum1, d, out + x + lanes);
    }
    for (; x < count; ++x) {
        double sum = 0.0;
        for (std::size_t i = 0; i < half; ++i) sum = sum + weights[i] * (terms[i][x] + terms[n - 1 - i][x]);
        out[x] = sum + weights[half] * terms[half][x];
    }
}

// One pass of the window sums: out[y * count + x] = sum over i of weights[i] *
// in[y * inRow + i * termStep + x], for y < outRows and x < count.
void WindowPass(const double* in, std::size_t inRow, std::size_t termStep, std::size_t outRows, std::size_t count,
                const double* weights, std::size_t n, double* out) {
    std::vector<const double*> terms(n);
    for (std::size_t y = 0; y < outRows; ++y) {
        for (std::size_t i = 0; i < n; ++i) terms[i] = in + y * inRow + i * termStep;
        WeightedSums(terms.data(), count, weights, n, out + y * count);
    }
}

void WindowSums(const double* plane, std::size_t width, std::size_t height, const double* weights, std::size_t n,
                double* rows, double* means) {
    const std::size_t outWidth = width - n + 1;
    // Rows: the terms of a sum are neighbours in a row of the plane.
    WindowPass(plane, width, 1, height, outWidth, weights, n, rows);
    // Columns: the terms are neighbours in a column of `rows`.
    WindowPass(rows, outWidth, outWidth, height - n + 1, outWidth, weights, n, means);
}

void SsimTerms(const SsimMeans& m, std::size_t count, double c1, double c2, double* terms) {
    const hn::ScalableTag<double> d;
    const std::size_t lanes = hn::Lanes(d);
    const auto two = hn::Set(d, 2.0);
    const auto vc1 = hn::Set(d, c1);
    const auto vc2 = hn::Set(d, c2);
    std::size_t x = 0;
    for (; x + lanes <= count; x += lanes) {
        const auto ux = hn::LoadU(d, m.X + x);
        const auto uy = hn::LoadU(d, m.Y + x);
        const auto vx = hn::Sub(hn::LoadU(d, m.XX + x), hn::Mul(ux, ux));
        const auto vy = hn::Sub(hn::LoadU(d, m.YY + x), hn::Mul(uy, uy));
        const auto vxy = hn::Sub(hn::LoadU(d, m.XY + x), hn::Mul(ux, uy));
        const auto numerator = hn::Mul(hn::Add(hn::Mul(hn::Mul(two, ux), uy), vc1), hn::Add(hn::Mul(two, vxy), vc2));
        const auto denominator = hn::Mul(hn::Add(hn::Add(hn::Mul(ux, ux), hn::Mul(uy, uy)), vc1),
                                         hn::Add(hn::Add(vx, vy), vc2));
        hn::StoreU(hn::Div(numerator, denominator), d, terms + x);
    }
    for (; x < count; ++x) terms[x] = shared::SsimTerm(m, x, c1, c2);
}

}  // namespace HWY_NAMESPACE
}  // namespace quillfen::vector_loops
HWY_AFTER_NAMESPACE();

#endif  // QF_SIMD

#if !QF_SIMD || HWY_ONCE
namespace quillfen::vector_loops::plain {

void Accumulate(Table table, const double* in, double* sums) {
    for (int j = 0; j < 64; ++j) sums[j] = 0.0;
    for (int i = 0; i < 64; ++i) {
        const double f = in[i];
        if (f == 0) continue;  // adds nothing: see the vector form
        for (int j = 0; j < 64; ++j) sums[j] = sums[j] + table[i][j] * f;
    }
}

void AccumulateBlocks(Table table, const double* in, double* sums, std::size_t count) {
    for (std::size_t b = 0; b < count; ++b) Accumulate(table, in + 64 * b, sums + 64 * b);
}

void Accumulate16(Table16 table, const double* in, double* sums) {
    for (int j = 0; j < 16; ++j) sums[j] = 0.0;
    for (int i = 0; i < 64; ++i) {
        const double f = in[i];
        if (f == 0) continue;
        for (int j = 0; j < 16; ++j) sums[j] = sums[j] + table[i][j] * f;
    }
}

void Accumulate16Blocks(Table16 table, const double* in, double* sums, std::size_t count) {
    for (std::size_t b = 0; b < count; ++b) Accumulate16(table, in + 64 * b, sums + 16 * b);
}

void WeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n, double* out) {
    for (std::size_t x = 0; x < count; ++x) {
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) sum = sum + weights[i] * terms[i][x];
        out[x] = sum;
    }
}

void SymmetricWeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n,
                           double* out) {
    const std::size_t half = n / 2;
    for (std::size_t x = 0; x < count; ++x) {
        double sum = 0.0;
        for (std::size_t i = 0; i < half; ++i) sum = sum + weights[i] * (terms[i][x] + terms[n - 1 - i][x]);
        out[x] = sum + weights[half] * terms[half][x];
    }
}

void SsimTerms(const SsimMeans& m, std::size_t count, double c1, double c2, double* terms) {
    for (std::size_t x = 0; x < count; ++x) terms[x] = shared::SsimTerm(m, x, c1, c2);
}

void Quantise(double* plane, std::size_t size, const double* steps, double scale) {
    for (std::size_t r = 0; r < size; ++r)
        for (std::size_t c = 0; c < size; ++c) {
            const double tableStep = steps[8 * (r % 8) + c % 8];
            double& coefficient = plane[r * size + c];
            const double ratio = coefficient / (scale * tableStep);
            const double q = coefficient >= 0 ? std::trunc(ratio + 0.5) : std::trunc(ratio - 0.5);
            coefficient = q * tableStep * scale;
        }
}

void StretchPlane(const double* plane, std::size_t size, int n, std::uint8_t* view) {
    const std::size_t step = static_cast<std::size_t>(n);
    for (std::size_t top = 0; top + step <= size; top += step)
        for (std::size_t left = 0; left + step <= size; left += step) {
            const double* values = plane + top * size + left;
            std::uint8_t* out = view + top * size + left;
            double los[8];
            double his[8];
            for (int b = 0; b < n; ++b) {
                los[b] = 10000;
                his[b] = -10000;
            }
            for (int a = 0; a < n; ++a)
                for (int b = 0; b < n; ++b) {
                    const double v = values[a * size + b];
                    his[b] = v > his[b] ? v : his[b];
                    los[b] = v < los[b] ? v : los[b];
                }
            double lo;
            double hi;
            shared::Extremes(los, his, n, lo, hi);
            const double range = hi - lo;
            for (int a = 0; a < n; ++a)
                for (int b = 0; b < n; ++b)
                    out[a * size + b] = range == 0 ? 0
                                                   : static_cast<std::uint8_t>(static_cast<int>(
                                                         RoundHalfEven((values[a * size + b] - lo) * 255 / range)));
        }
}

void WindowSums(const double* plane, std::size_t width, std::size_t height, const double* weights, std::size_t n,
                double* rows, double* means) {
    const std::size_t outWidth = width - n + 1;
    const std::size_t outHeight = height - n + 1;
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < outWidth; ++x) {
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) sum = sum + weights[i] * plane[y * width + x + i];
            rows[y * outWidth + x] = sum;
        }
    for (std::size_t y = 0; y < outHeight; ++y)
        for (std::size_t x = 0; x < outWidth; ++x) {
            double sum = 0.0;
            for (std::size_t j = 0; j < n; ++j) sum = sum + weights[j] * rows[(y + j) * outWidth + x];
            means[y * outWidth + x] = sum;
        }
}

}  // namespace quillfen::vector_loops::plain

#if QF_SIMD
namespace quillfen::vector_loops {

// The dispatch tables, one per loop; HWY_DYNAMIC_DISPATCH must name them from this namespace.
HWY_EXPORT(Accumulate);
HWY_EXPORT(AccumulateBlocks);
HWY_EXPORT(Accumulate16);
HWY_EXPORT(Accumulate16Blocks);
HWY_EXPORT(Quantise);
HWY_EXPORT(StretchPlane);
HWY_EXPORT(WindowSums);
HWY_EXPORT(WeightedSums);
HWY_EXPORT(SymmetricWeightedSums);
HWY_EXPORT(SsimTerms);

void Accumulate(Table table, const double* in, double* sums) { HWY_DYNAMIC_DISPATCH(Accumulate)(table, in, sums); }

void AccumulateBlocks(Table table, const double* in, double* sums, std::size_t count) {
    HWY_DYNAMIC_DISPATCH(AccumulateBlocks)(table, in, sums, count);
}

void Accumulate16(Table16 table, const double* in, double* sums) { HWY_DYNAMIC_DISPATCH(Accumulate16)(table, in, sums); }

void Accumulate16Blocks(Table16 table, const double* in, double* sums, std::size_t count) {
    HWY_DYNAMIC_DISPATCH(Accumulate16Blocks)(table, in, sums, count);
}

void Quantise(double* plane, std::size_t size, const double* steps, double scale) {
    HWY_DYNAMIC_DISPATCH(Quantise)(plane, size, steps, scale);
}

void StretchPlane(const double* plane, std::size_t size, int n, std::uint8_t* view) {
    HWY_DYNAMIC_DISPATCH(StretchPlane)(plane, size, n, view);
}

void WindowSums(const double* plane, std::size_t width, std::size_t height, const double* weights, std::size_t n,
                double* rows, double* means) {
    HWY_DYNAMIC_DISPATCH(WindowSums)(plane, width, height, weights, n, rows, means);
}

void WeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n, double* out) {
    HWY_DYNAMIC_DISPATCH(WeightedSums)(terms, count, weights, n, out);
}

void SymmetricWeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n,
                           double* out) {
    HWY_DYNAMIC_DISPATCH(SymmetricWeightedSums)(terms, count, weights, n, out);
}

void SsimTerms(const SsimMeans& means, std::size_t count, double c1, double c2, double* terms) {
    HWY_DYNAMIC_DISPATCH(SsimTerms)(means, count, c1, c2, terms);
}

}  // namespace quillfen::vector_loops
#else
namespace quillfen::vector_loops {

void Accumulate(Table table, const double* in, double* sums) { plain::Accumulate(table, in, sums); }

void Accumulate16(Table16 table, const double* in, double* sums) { plain::Accumulate16(table, in, sums); }

void Accumulate16Blocks(Table16 table, const double* in, double* sums, std::size_t count) {
    plain::Accumulate16Blocks(table, in, sums, count);
}

void AccumulateBlocks(Table table, const double* in, double* sums, std::size_t count) {
    plain::AccumulateBlocks(table, in, sums, count);
}

void Quantise(double* plane, std::size_t size, const double* steps, double scale) {
    plain::Quantise(plane, size, steps, scale);
}

void StretchPlane(const double* plane, std::size_t size, int n, std::uint8_t* view) {
    plain::StretchPlane(plane, size, n, view);
}

void WindowSums(const double* plane, std::size_t width, std::size_t height, const double* weights, std::size_t n,
                double* rows, double* means) {
    plain::WindowSums(plane, width, height, weights, n, rows, means);
}

void WeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n, double* out) {
    plain::WeightedSums(terms, count, weights, n, out);
}

void SymmetricWeightedSums(const double* const* terms, std::size_t count, const double* weights, std::size_t n,
                           double* out) {
    plain::SymmetricWeightedSums(terms, count, weights, n, out);
}

void SsimTerms(const SsimMeans& means, std::size_t count, double c1, double c2, double* terms) {
    plain::SsimTerms(means, count, c1, c2, terms);
}

}  // namespace quillfen::vector_loops
#endif
#endif  // !QF_SIMD || HWY_ONCE
