#include "watermark/dct.h"

#include <cmath>

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
// 64 independent sums (which the compiler can vectorise without reordering any one sum).
struct DctTables {
    double Forward[64][64];
    double Inverse[64][64];

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
    const DctTables& t = Tables();
    double sums[64] = {};
    // Term order of every sum: x outer, y inner, as in the defining sum.
    for (int xy = 0; xy < 64; ++xy) {
        const double f = samples[xy];
        const double* row = t.Forward[xy];
        for (int uv = 0; uv < 64; ++uv) sums[uv] += row[uv] * f;
    }
    FinishForward(sums, coefficients);
}

void Idct8x8(const double* coefficients, double* samples) {
    const DctTables& t = Tables();
    double sums[64] = {};
    // Term order: u outer, v inner.
    for (int uv = 0; uv < 64; ++uv) {
        const double F = coefficients[uv];
        const double* row = t.Inverse[uv];
        for (int xy = 0; xy < 64; ++xy) sums[xy] += row[xy] * F;
    }
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
    const int top = 8 * (block / 32);
    const int left = 8 * (block % 32);
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) out[x * 8 + y] = static_cast<double>(plane[(top + x) * kSize + left + y]);
}

void StoreBlock(const double* in, int block, std::vector<double>& plane) {
    const int top = 8 * (block / 32);
    const int left = 8 * (block % 32);
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) plane[(top + x) * kSize + left + y] = in[x * 8 + y];
}

// The stretch rule of one block of n x n values starting at (top, left) of a size-wide plane.
void StretchOne(const double* values, int stride, int n, std::uint8_t* view) {
    double lo = 10000;
    double hi = -10000;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            const double value = values[a * stride + b];
            if (value > hi) hi = value;
            if (value < lo) lo = value;
        }
    const double d = hi - lo;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            if (d == 0) {
                view[a * stride + b] = 0;
            } else {
                view[a * stride + b] =
                    static_cast<std::uint8_t>(std::nearbyint((values[a * stride + b] - lo) * 255 / d));
            }
        }
}

std::uint8_t SampleToByte(double f) {
    double t = f + 0.5;
    if (t >= 255) {
        t = 255;
    } else if (t <= 0) {
        t = 0;
    }
    return static_cast<std::uint8_t>(std::nearbyint(t));
}

}  // namespace

void TWatermark::FdctBytes(const Bytes& plane, Reals& coefficients) {
    double block[64];
    double out[64];
    for (int k = 0; k < kBlocks; ++k) {
        LoadBlock(plane, k, block);
        if (Literal) {
            literal::Fdct8x8(block, out);
        } else {
            Fdct8x8(block, out);
        }
        StoreBlock(out, k, coefficients);
    }
    StretchBlock(coefficients, kSize, 8, Display256);
}

void TWatermark::FdctReals(const Reals& plane, Reals& coefficients) {
    double block[64];
    double out[64];
    for (int k = 0; k < kBlocks; ++k) {
        LoadBlock(plane, k, block);
        if (Literal) {
            literal::Fdct8x8(block, out);
        } else {
            Fdct8x8(block, out);
        }
        StoreBlock(out, k, coefficients);
    }
    StretchBlock(coefficients, kSize, 8, Display256);
}

void TWatermark::IdctToReals(const Reals& coefficients, Reals& plane) const {
    double block[64];
    double out[64];
    for (int k = 0; k < kBlocks; ++k) {
        LoadBlock(coefficients, k, block);
        if (Literal) {
            literal::Idct8x8(block, out);
        } else {
            Idct8x8(block, out);
        }
        for (double& f : out) f = f + 0.5;
        StoreBlock(out, k, plane);
    }
}

void TWatermark::IdctToBytes(const Reals& coefficients, Bytes& plane) const {
    double block[64];
    double out[64];
    for (int k = 0; k < kBlocks; ++k) {
        LoadBlock(coefficients, k, block);
        if (Literal) {
            literal::Idct8x8(block, out);
        } else {
            Idct8x8(block, out);
        }
        const int top = 8 * (k / 32);
        const int left = 8 * (k % 32);
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y) plane[(top + x) * kSize + left + y] = SampleToByte(out[x * 8 + y]);
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
        const int top = 8 * (k / 32);
        const int left = 8 * (k % 32);
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y) {
                const int p = (top + x) * kSize + left + y;
                reals[p] = out[x * 8 + y] + 0.5;
                bytes[p] = SampleToByte(out[x * 8 + y]);
            }
    }
}

void TWatermark::StretchBlock(const Reals& plane, int size, int blockSize, Bytes& view) {
    const int perRow = size / blockSize;
    for (int bi = 0; bi < perRow; ++bi)
        for (int bj = 0; bj < perRow; ++bj) {
            const std::size_t start = static_cast<std::size_t>(bi * blockSize) * size + bj * blockSize;
            StretchOne(plane.data() + start, size, blockSize, view.data() + start);
        }
}

}  // namespace quillfen
