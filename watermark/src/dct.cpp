#include "quillfen/watermark/dct.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "quillfen/image/round_half_even.h"
#include "quillfen/watermark/watermark.h"
#include "vector_loops.h"

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

// The columns of the forward table that give the 16 mid-band coefficients, in mid-band order.
struct MidBandTable {
    alignas(64) double Forward[64][16];

    MidBandTable() {
        for (int i = 0; i < 64; ++i)
            for (int m = 0; m < 16; ++m) Forward[i][m] = Tables().Forward[i][TWatermark::kMidBand[m]];
    }
};

const MidBandTable& MidBand() {
    static const MidBandTable table;
    return table;
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
    vector_loops::Accumulate(Tables().Forward, samples, sums);
    FinishForward(sums, coefficients);
}

void Idct8x8(const double* coefficients, double* samples) {
    double sums[64];
    // Term order: u outer, v inner.
    vector_loops::Accumulate(Tables().Inverse, coefficients, sums);
    for (int xy = 0; xy < 64; ++xy) samples[xy] = 0.25 * sums[xy];
}

namespace {

// The mid-band transform of a plane of reals or of bytes (each byte the real of its value): a
// row of 32 blocks gathered, their sums made in one call, then finished as FinishForward does.
template <class Sample>
void MidBandOf(const Sample* plane, double* reduced) {
    constexpr int kSide = TWatermark::kHostSize;
    constexpr int kMark = TWatermark::kMarkSize;
    constexpr int kRowBlocks = kSide / 8;
    alignas(64) double blocks[kRowBlocks * 64];
    alignas(64) double sums[kRowBlocks * 16];
    for (int bi = 0; bi < kRowBlocks; ++bi) {
        for (int bj = 0; bj < kRowBlocks; ++bj) {
            const Sample* start = plane + 8 * bi * kSide + 8 * bj;
            double* block = blocks + 64 * bj;
            for (int x = 0; x < 8; ++x)
                for (int y = 0; y < 8; ++y) block[x * 8 + y] = static_cast<double>(start[x * kSide + y]);
        }
        // The sums of the whole transform for these 16 places, term for term.
        vector_loops::Accumulate16Blocks(MidBand().Forward, blocks, sums, kRowBlocks);
        for (int bj = 0; bj < kRowBlocks; ++bj)
            for (int m = 0; m < 16; ++m) {
                // FinishForward for one place.
                const int u = TWatermark::kMidBand[m] / 8;
                const int v = TWatermark::kMidBand[m] % 8;
                double value = 0.25 * sums[16 * bj + m];
                if (u == 0) value = value * kDctC0;
                if (v == 0) value = value * kDctC0;
                reduced[(4 * bi + m / 4) * kMark + 4 * bj + m % 4] = value;
            }
    }
}

}  // namespace

void MidBandTransform(const double* plane, double* reduced) { MidBandOf(plane, reduced); }

void MidBandTransform(const std::uint8_t* plane, double* reduced) { MidBandOf(plane, reduced); }

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

std::uint8_t SampleToByte(double f) {
    double t = f + 0.5;
    if (t >= 255) {
        t = 255;
    } else if (t <= 0) {
        t = 0;
    }
    return static_cast<std::uint8_t>(RoundHalfEven(t));
}

// The fast forms transform a row of 32 blocks at a time, one call into the vector loops.
constexpr int kRowBlocks = TWatermark::kHostSize / 8;

// Forward transform of every block, in raster order; bytes and reals alike.
template <typename Plane>
void ForwardBlocks(const Plane& plane, bool literalForm, TWatermark::Reals& coefficients) {
    double out[64];
    if (literalForm) {
        double block[64];
        for (int k = 0; k < TWatermark::kBlocks; ++k) {
            LoadBlock(plane, k, block);
            literal::Fdct8x8(block, out);
            StoreBlock(out, k, coefficients);
        }
        return;
    }
    alignas(64) double blocks[kRowBlocks * 64];
    alignas(64) double sums[kRowBlocks * 64];
    for (int first = 0; first < TWatermark::kBlocks; first += kRowBlocks) {
        for (int b = 0; b < kRowBlocks; ++b) LoadBlock(plane, first + b, blocks + 64 * b);
        // Term order of every sum: x outer, y inner, as in the defining sum.
        vector_loops::AccumulateBlocks(Tables().Forward, blocks, sums, kRowBlocks);
        for (int b = 0; b < kRowBlocks; ++b) {
            FinishForward(sums + 64 * b, out);
            StoreBlock(out, first + b, coefficients);
        }
    }
}

// Inverse transform of the row of blocks starting at block `first` into 32 blocks of samples
// (samples[64 b + x * 8 + y]), neither shifted nor rounded.
void InverseRow(const TWatermark::Reals& coefficients, int first, bool literalForm, double* samples) {
    alignas(64) double blocks[kRowBlocks * 64];
    for (int b = 0; b < kRowBlocks; ++b) LoadBlock(coefficients, first + b, blocks + 64 * b);
    if (literalForm) {
        for (int b = 0; b < kRowBlocks; ++b) literal::Idct8x8(blocks + 64 * b, samples + 64 * b);
        return;
    }
    // Term order: u outer, v inner.
    vector_loops::AccumulateBlocks(Tables().Inverse, blocks, samples, kRowBlocks);
    for (int i = 0; i < kRowBlocks * 64; ++i) samples[i] = 0.25 * samples[i];
}

}  // namespace

void TWatermark::FdctBytes(const Bytes& plane, Reals& coefficients) {
    ForwardBlocks(plane, Literal, coefficients);
    if (!ResultsOnly) StretchBlock(coefficients, kSize, 8, Display256_);
}

void TWatermark::FdctReals(const Reals& plane, Reals& coefficients) {
    ForwardBlocks(plane, Literal, coefficients);
    if (!ResultsOnly) StretchBlock(coefficients, kSize, 8, Display256_);
}

void TWatermark::FdctMidBand(const Reals& plane, Reals& reduced) const {
    if (Literal) {
        // The reference path: the whole transform, then the reduction.
        Reals coefficients(kHostPixels);
        ForwardBlocks(plane, true, coefficients);
        Reduce(coefficients, reduced);
        return;
    }
    MidBandTransform(plane.data(), reduced.data());
}

void TWatermark::IdctToReals(const Reals& coefficients, Reals& plane) const {
    alignas(64) double samples[kRowBlocks * 64];
    for (int first = 0; first < kBlocks; first += kRowBlocks) {
        InverseRow(coefficients, first, Literal, samples);
        for (double& f : samples) f = f + 0.5;
        for (int b = 0; b < kRowBlocks; ++b) StoreBlock(samples + 64 * b, first + b, plane);
    }
}

void TWatermark::IdctToBytes(const Reals& coefficients, Bytes& plane) const {
    alignas(64) double samples[kRowBlocks * 64];
    for (int first = 0; first < kBlocks; first += kRowBlocks) {
        InverseRow(coefficients, first, Literal, samples);
        for (int b = 0; b < kRowBlocks; ++b) {
            const int start = HostBlockStart(first + b);
            const double* out = samples + 64 * b;
            for (int x = 0; x < 8; ++x)
                for (int y = 0; y < 8; ++y) plane[start + x * kSize + y] = SampleToByte(out[x * 8 + y]);
        }
    }
}

namespace {

// Writes a row of 32 blocks of inverse-transformed samples (neither shifted nor rounded) into
// both forms, as IdctToReals and IdctToBytes would.
void StoreBoth(const double* samples, int first, TWatermark::Reals& reals, TWatermark::Bytes& bytes) {
    for (int b = 0; b < kRowBlocks; ++b) {
        const int start = TWatermark::HostBlockStart(first + b);
        const double* out = samples + 64 * b;
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y) {
                const int p = start + x * kSize + y;
                reals[p] = out[x * 8 + y] + 0.5;
                bytes[p] = SampleToByte(out[x * 8 + y]);
            }
    }
}

}  // namespace

void TWatermark::QuantisedRoundTrip(const Reals& plane, double quantScale, Reals& reals, Bytes& bytes) const {
    // Every step works on one block, so a row of blocks goes through all of them while it is
    // in the cache, and no plane of coefficients is needed: the same operations on the same
    // values as the forward transform of the whole plane, QuantiseJpeg and IdctToBoth.
    alignas(64) double blocks[kRowBlocks * 64];
    alignas(64) double sums[kRowBlocks * 64];
    for (int first = 0; first < kBlocks; first += kRowBlocks) {
        for (int b = 0; b < kRowBlocks; ++b) LoadBlock(plane, first + b, blocks + 64 * b);
        vector_loops::AccumulateBlocks(Tables().Forward, blocks, sums, kRowBlocks);
        for (int b = 0; b < kRowBlocks; ++b) {
            FinishForward(sums + 64 * b, blocks + 64 * b);
            // One block is an 8 x 8 plane of its own: the quantisation table lines up with it.
            vector_loops::Quantise(blocks + 64 * b, 8, kJpegQuantTable.data(), quantScale);
        }
        vector_loops::AccumulateBlocks(Tables().Inverse, blocks, sums, kRowBlocks);
        for (int i = 0; i < kRowBlocks * 64; ++i) sums[i] = 0.25 * sums[i];
        StoreBoth(sums, first, reals, bytes);
    }
}

void TWatermark::IdctToBoth(const Reals& coefficients, Reals& reals, Bytes& bytes) const {
    if (Literal) {
        // The reference path runs the two transforms separately, as written.
        IdctToReals(coefficients, reals);
        IdctToBytes(coefficients, bytes);
        return;
    }
    alignas(64) double samples[kRowBlocks * 64];
    for (int first = 0; first < kBlocks; first += kRowBlocks) {
        InverseRow(coefficients, first, false, samples);
        StoreBoth(samples, first, reals, bytes);
    }
}

void TWatermark::StretchBlock(const Reals& plane, int size, int blockSize, Bytes& view) {
    if (blockSize != 4 && blockSize != 8)
        throw std::invalid_argument("StretchBlock: block size " + std::to_string(blockSize) + ", expected 4 or 8");
    const std::size_t values = size < 0 ? 0 : static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
    if (size < 0 || plane.size() < values || view.size() < values)
        throw std::invalid_argument("StretchBlock: a " + std::to_string(size) + " x " + std::to_string(size) +
                                    " stretch needs that many values and bytes (plane " + std::to_string(plane.size()) +
                                    ", view " + std::to_string(view.size()) + ")");
    vector_loops::StretchPlane(plane.data(), static_cast<std::size_t>(size), blockSize, view.data());
}

}  // namespace quillfen
