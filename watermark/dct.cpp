#include "watermark/dct.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "image/round_half_even.h"
#include "watermark/watermark.h"

namespace quillfen {

namespace {

// cos(u * pi * (2x + 1) / 16), evaluated exactly as the per-term form writes it.
double Cosine(int u, int x) {
    return std::cos(u * M_PI * (2 * x + 1) / 16);
}

double Normaliser(int k) { return k == 0 ? kDctC0 : 1.0; }

// Forward[xy][uv] = c(u, x) * c(v, y) and Inverse[uv][xy] = ((c(u, x) * C(u)) * C(v)) * c(v, y):
// the products each term of the sums starts with, laid out so that the inner loop runs over
// 64 independent sums. Vectorising across those sums never reorders the terms of any one.
struct DctTables {
    alignas(64) double Forward[64][64];
    alignas(64) double Inverse[64][64];

    DctTables() {
        double c[8][8];
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x) c[u][x] = Cosine(u, x);
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y)
                for (int u = 0; u < 8; ++u)
                    for (int v = 0; v < 8; ++v) {
                        Forward[x * 8 + y][u * 8 + v] = c[u][x] * c[v][y];
                        Inverse[u * 8 + v][x * 8 + y] = c[u][x] * Normaliser(u) * Normaliser(v) * c[v][y];
                    }
    }
};

const DctTables& Tables() {
    static const DctTables tables;
    return tables;
}

// Eight lanes of doubles; each lane is one IEEE sum, so the width of the machine's vectors
// changes the speed and never the bits (products and sums stay separate: no contraction).
typedef double V8 __attribute__((vector_size(64)));

// sums[j] = sum over i = 0..63 in order of table[i][j] * in[i], for the 64 j at once, in
// registers. Compiled for AVX-512, AVX2 and the baseline; the loader picks one at start.
__attribute__((target_clones("avx512f", "avx2", "default")))
void Accumulate(const double (*table)[64], const double* in, double* sums) {
    V8 s[8] = {};
    for (int i = 0; i < 64; ++i) {
        const double f = in[i];
        // A zero input adds a zero to every sum, which changes no sum (none is ever -0), so
        // its terms are skipped: quantised and cropped blocks are mostly zeros.
        if (f == 0) continue;
        const V8 broadcast = {f, f, f, f, f, f, f, f};
        for (int j = 0; j < 8; ++j) {
            V8 t;
            __builtin_memcpy(&t, &table[i][8 * j], sizeof t);
            s[j] += t * broadcast;
        }
    }
    __builtin_memcpy(sums, s, sizeof s);
}

void FinishForward(const double* sums, double* coefficients) {
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) {
            double value = 0.25 * sums[u * 8 + v];
            if (u == 0) value = value * kDctC0;
            if (v == 0) value = value * kDctC0;
            coefficients[u * 8 + v] = value;
        }
}

}  // namespace

void Fdct8x8(const double* samples, double* coefficients) {
    double sums[64];
    // Term order of every sum: x outer, y inner, as in the defining sum.
    Accumulate(Tables().Forward, samples, sums);
    FinishForward(sums, coefficients);
}

void Idct8x8(const double* coefficients, double* samples) {
    double sums[64];
    // Term order: u outer, v inner.
    Accumulate(Tables().Inverse, coefficients, sums);
    for (int xy = 0; xy < 64; ++xy) samples[xy] = 0.25 * sums[xy];
}

namespace literal {

void Fdct8x8(const double* samples, double* coefficients) {
    double sums[64];
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) {
            double s = 0.0;
            for (int x = 0; x < 8; ++x)
                for (int y = 0; y < 8; ++y)
                    s += std::cos(u * M_PI * (2 * x + 1) / 16) * std::cos(v * M_PI * (2 * y + 1) / 16) *
                         samples[x * 8 + y];
            sums[u * 8 + v] = s;
        }
    FinishForward(sums, coefficients);
}

void Idct8x8(const double* coefficients, double* samples) {
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) {
            double s = 0.0;
            for (int u = 0; u < 8; ++u)
                for (int v = 0; v < 8; ++v)
                    s += std::cos(u * M_PI * (2 * x + 1) / 16) * Normaliser(u) * Normaliser(v) *
                         std::cos(v * M_PI * (2 * y + 1) / 16) * coefficients[u * 8 + v];
            samples[x * 8 + y] = 0.25 * s;
        }
}

}  // namespace literal

// ---- Whole planes ----

namespace {

constexpr int kSize = TWatermark::kHostSize;

template <typename Sample>
void LoadBlock(const std::vector<Sample>& plane, int block, double* out) {
    const int start = TWatermark::HostBlockStart(block);
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) out[x * 8 + y] = static_cast<double>(plane[start + x * kSize + y]);
}

void StoreBlock(const double* in, int block, std::vector<double>& plane) {
    const int start = TWatermark::HostBlockStart(block);
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) plane[start + x * kSize + y] = in[x * 8 + y];
}

// The stretch rule of one n x n block of a plane with `stride` values per row. Each value is
// one division and one rounding, so vectorised lanes give the scalar bits.
template <int n>
void StretchOne(const double* values, int stride, std::uint8_t* view) {
    // Smallest and largest value, starting from 10000 and -10000. Taken per column first, then
    // across the columns: the same extremes as one scan in row-major order (the order can
    // only decide the sign of a zero extreme, which never changes an output byte).
    double los[n];
    double his[n];
    for (int b = 0; b < n; ++b) {
        los[b] = 10000;
        his[b] = -10000;
    }
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            const double value = values[a * stride + b];
            his[b] = value > his[b] ? value : his[b];
            los[b] = value < los[b] ? value : los[b];
        }
    double lo = los[0];
    double hi = his[0];
    for (int b = 1; b < n; ++b) {
        if (his[b] > hi) hi = his[b];
        if (los[b] < lo) lo = los[b];
    }
    const double d = hi - lo;
    if (d == 0) {
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < n; ++b) view[a * stride + b] = 0;
        return;
    }
    for (int a = 0; a < n; ++a) {
        const double* row = values + a * stride;
        std::uint8_t* out = view + a * stride;
        int scaled[n];
        for (int b = 0; b < n; ++b) scaled[b] = static_cast<int>(RoundHalfEven((row[b] - lo) * 255 / d));
        for (int b = 0; b < n; ++b) out[b] = static_cast<std::uint8_t>(scaled[b]);
    }
}

std::uint8_t SampleToByte(double f) {
    double t = f + 0.5;
    if (t >= 255) {
        t = 255;
    } else if (t <= 0) {
        t = 0;
    }
    return static_cast<std::uint8_t>(RoundHalfEven(t));
}

}  // namespace

namespace {

// Forward transform of every block, in raster order; bytes and reals alike.
template <typename Plane>
void ForwardBlocks(const Plane& plane, bool literalForm, TWatermark::Reals& coefficients) {
    double block[64];
    double out[64];
    for (int k = 0; k < TWatermark::kBlocks; ++k) {
        LoadBlock(plane, k, block);
        if (literalForm) {
            literal::Fdct8x8(block, out);
        } else {
            Fdct8x8(block, out);
        }
        StoreBlock(out, k, coefficients);
    }
}

}  // namespace

void TWatermark::FdctBytes(const Bytes& plane, Reals& coefficients) {
    ForwardBlocks(plane, Literal, coefficients);
    StretchBlock(coefficients, kSize, 8, Display256_);
}

void TWatermark::FdctReals(const Reals& plane, Reals& coefficients) {
    ForwardBlocks(plane, Literal, coefficients);
    StretchBlock(coefficients, kSize, 8, Display256_);
}

namespace {

// Inverse transform of block k of a coefficient plane.
void InverseBlock(const TWatermark::Reals& coefficients, int k, bool literalForm, double* out) {
    double block[64];
    LoadBlock(coefficients, k, block);
    if (literalForm) {
        literal::Idct8x8(block, out);
    } else {
        Idct8x8(block, out);
    }
}

}  // namespace

void TWatermark::IdctToReals(const Reals& coefficients, Reals& plane) const {
    double out[64];
    for (int k = 0; k < kBlocks; ++k) {
        InverseBlock(coefficients, k, Literal, out);
        for (double& f : out) f = f + 0.5;
        StoreBlock(out, k, plane);
    }
}

void TWatermark::IdctToBytes(const Reals& coefficients, Bytes& plane) const {
    double out[64];
    for (int k = 0; k < kBlocks; ++k) {
        InverseBlock(coefficients, k, Literal, out);
        const int start = HostBlockStart(k);
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y) plane[start + x * kSize + y] = SampleToByte(out[x * 8 + y]);
    }
}

void TWatermark::IdctToBoth(const Reals& coefficients, Reals& reals, Bytes& bytes) const {
    if (Literal) {
        // The reference path runs the two transforms separately, as written.
        IdctToReals(coefficients, reals);
        IdctToBytes(coefficients, bytes);
        return;
    }
    double block[64];
    double out[64];
    for (int k = 0; k < kBlocks; ++k) {
        LoadBlock(coefficients, k, block);
        Idct8x8(block, out);
        const int start = HostBlockStart(k);
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y) {
                const int p = start + x * kSize + y;
                reals[p] = out[x * 8 + y] + 0.5;
                bytes[p] = SampleToByte(out[x * 8 + y]);
            }
    }
}

void TWatermark::StretchBlock(const Reals& plane, int size, int blockSize, Bytes& view) {
    if (blockSize != 4 && blockSize != 8)
        throw std::invalid_argument("StretchBlock: block size " + std::to_string(blockSize) + ", expected 4 or 8");
    const int perRow = size / blockSize;
    for (int bi = 0; bi < perRow; ++bi)
        for (int bj = 0; bj < perRow; ++bj) {
            const std::size_t start = static_cast<std::size_t>(bi * blockSize) * size + bj * blockSize;
            if (blockSize == 8) {
                StretchOne<8>(plane.data() + start, size, view.data() + start);
            } else {
                StretchOne<4>(plane.data() + start, size, view.data() + start);
            }
        }
}

}  // namespace quillfen
