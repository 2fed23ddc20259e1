#include "quillfen/watermark/dct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "quillfen/image/round_half_even.h"
#include "quillfen/watermark/watermark.h"
#include "tests/test_support.h"
#include "tests/watermark/workspace_buffers.h"

namespace quillfen {
namespace {

bool SameBits(const double* a, const double* b, int n) { return std::memcmp(a, b, sizeof(double) * n) == 0; }

// The table form must give the per-term form's bits, on random blocks of every kind the
// engine feeds it (bytes, reals around the gray range, coefficients of all magnitudes) and
// on adversarial ones (signed zeros, huge and tiny values).
TEST(Dct8x8, TableFormGivesTheLiteralBitsOnRandomBlocks) {
    std::mt19937_64 rng(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_real_distribution<double> real(-300.0, 600.0);
    std::uniform_real_distribution<double> wide(-1e6, 1e6);
    for (int trial = 0; trial < 400; ++trial) {
        double in[64];
        for (double& v : in) {
            switch (trial % 4) {
                case 0: v = byte(rng); break;
                case 1: v = real(rng); break;
                case 2: v = wide(rng); break;
                default: v = (rng() % 3 == 0) ? -0.0 : std::ldexp(real(rng), static_cast<int>(rng() % 200) - 100);
            }
        }
        double fast[64];
        double slow[64];
        Fdct8x8(in, fast);
        literal::Fdct8x8(in, slow);
        ASSERT_TRUE(SameBits(fast, slow, 64)) << "forward, trial " << trial;
        Idct8x8(in, fast);
        literal::Idct8x8(in, slow);
        ASSERT_TRUE(SameBits(fast, slow, 64)) << "inverse, trial " << trial;
    }
}

// The inline rounding must be nearbyint (halves to even) over the ranges the views use.
TEST(RoundHalfEven, MatchesNearbyint) {
    const double ties[] = {0.5, 1.5, 2.5, 127.5, 254.5, -0.5, -1.5, -2.5, 1023.5, 0.49999999999999994, 255.0};
    for (double x : ties) EXPECT_EQ(RoundHalfEven(x), std::nearbyint(x)) << x;
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> any(-2000.0, 2000.0);
    for (int i = 0; i < 100000; ++i) {
        const double x = any(rng);
        ASSERT_EQ(RoundHalfEven(x), std::nearbyint(x)) << x;
    }
}

TEST(Dct8x8, ConstantAndZeroBlocks) {
    double zeros[64] = {};
    double out[64];
    Fdct8x8(zeros, out);
    for (double v : out) EXPECT_EQ(v, 0.0);

    double constant[64];
    for (double& v : constant) v = 100;
    Fdct8x8(constant, out);
    EXPECT_NEAR(out[0], 800.0, 1e-9);
    for (int k = 1; k < 64; ++k) EXPECT_NEAR(out[k], 0.0, 1e-9) << k;
}

TEST(Dct8x8, InverseUndoesForward) {
    std::mt19937 rng(7);
    double in[64];
    for (double& v : in) v = static_cast<double>(rng() % 256);
    double coefficients[64];
    double back[64];
    Fdct8x8(in, coefficients);
    Idct8x8(coefficients, back);
    for (int k = 0; k < 64; ++k) EXPECT_NEAR(back[k], in[k], 1e-9);
}

TEST(DctPlanes, FdctBytesThenIdctToBytesGivesInputOrOneMore) {
    TWatermark w;
    std::mt19937 rng(3);
    for (auto& v : Buffers(w).X) v = static_cast<std::uint8_t>(rng() % 256);
    w.FdctBytes(Buffers(w).X, Buffers(w).Y);
    w.IdctToBytes(Buffers(w).Y, Buffers(w).X_hat);
    for (int p = 0; p < TWatermark::kHostPixels; ++p) {
        const int diff = Buffers(w).X_hat[p] - Buffers(w).X[p];
        ASSERT_TRUE(diff == 0 || (diff == 1 && Buffers(w).X[p] < 255)) << p << ": " << int(Buffers(w).X[p]) << " -> " << int(Buffers(w).X_hat[p]);
    }
}

// A block holding only a DC coefficient inverts to a constant DC / 8.
TEST(DctPlanes, IdctToBytesClampsAndRounds) {
    struct Case {
        double sample;  // what the inverse transform gives everywhere
        int expected;
    };
    const Case cases[] = {{254.6, 255}, {-3.0, 0}, {254.5, 255}, {100.3, 101}, {99.4, 100}, {0.0, 0}};
    for (const Case& c : cases) {
        TWatermark w;
        std::fill(Buffers(w).Y.begin(), Buffers(w).Y.end(), 0.0);
        Buffers(w).Y[0] = c.sample * 8;
        w.IdctToBytes(Buffers(w).Y, Buffers(w).X_hat);
        EXPECT_EQ(Buffers(w).X_hat[0], c.expected) << c.sample;
        EXPECT_EQ(Buffers(w).X_hat[7 * 256 + 7], c.expected) << c.sample;
        w.IdctToReals(Buffers(w).Y, Buffers(w).X_hat_real);
        EXPECT_NEAR(Buffers(w).X_hat_real[0], c.sample + 0.5, 1e-9);  // not clamped
    }
}

TEST(DctPlanes, LiteralAndFastPlaneTransformsAgree) {
    TWatermark fast;
    TWatermark slow;
    slow.SetLiteralForms(true);
    std::mt19937 rng(11);
    for (auto& v : Buffers(fast).X) v = static_cast<std::uint8_t>(rng() % 256);
    fast.FdctBytes(Buffers(fast).X, Buffers(fast).Y);
    slow.FdctBytes(Buffers(fast).X, Buffers(slow).Y);
    EXPECT_EQ(std::memcmp(Buffers(fast).Y.data(), Buffers(slow).Y.data(), Buffers(fast).Y.size() * sizeof(double)), 0);
    EXPECT_EQ(Buffers(fast).Display256, Buffers(slow).Display256);
    fast.IdctToReals(Buffers(fast).Y, Buffers(fast).X_hat_real);
    slow.IdctToReals(Buffers(fast).Y, Buffers(slow).X_hat_real);
    EXPECT_EQ(std::memcmp(Buffers(fast).X_hat_real.data(), Buffers(slow).X_hat_real.data(), Buffers(fast).Y.size() * sizeof(double)), 0);
}

// The mid-band transform of a results-only extraction gives, on every vector target, the bits
// that the whole transform followed by Reduce gives in the literal form: on reals with zeros
// (skipped terms), negative zeros, fractions and large values.
TEST(DctPlanes, MidBandTransformIsTheReducedWholeTransform) {
    std::mt19937_64 rng(23);
    TWatermark::Reals plane(TWatermark::kHostPixels);
    for (std::size_t i = 0; i < plane.size(); ++i) {
        const std::uint64_t r = rng();
        plane[i] = r % 5 == 0 ? 0.0 : r % 7 == 0 ? -0.0 : std::ldexp(static_cast<double>(r % 100000) - 50000, -9);
    }
    TWatermark slow;
    slow.SetLiteralForms(true);
    TWatermark::Reals whole(TWatermark::kHostPixels);
    slow.FdctReals(plane, whole);
    TWatermark::Reals expected(TWatermark::kMarkPixels);
    TWatermark::Reduce(whole, expected);
    TWatermark::Reals got(TWatermark::kMarkPixels, 9.0);
    slow.FdctMidBand(plane, got);
    EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0) << "the literal form";
    test::ForEachVectorTarget([&](const std::string& target) {
        TWatermark fast;
        std::fill(got.begin(), got.end(), 9.0);
        fast.FdctMidBand(plane, got);
        EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0) << target;
    });
}

// A plane of bytes is read as the reals of its values, with nothing lost at 0 or 255.
TEST(DctPlanes, MidBandTransformOfBytesIsThatOfTheirReals) {
    std::mt19937_64 rng(29);
    std::vector<std::uint8_t> bytes(TWatermark::kHostPixels);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = i % 11 == 0 ? 0 : i % 13 == 0 ? 255 : rng() % 256;
    const TWatermark::Reals reals(bytes.begin(), bytes.end());
    TWatermark::Reals expected(TWatermark::kMarkPixels);
    MidBandTransform(reals.data(), expected.data());
    test::ForEachVectorTarget([&](const std::string& target) {
        TWatermark::Reals got(TWatermark::kMarkPixels, 9.0);
        MidBandTransform(bytes.data(), got.data());
        EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0) << target;
    });
}

TEST(StretchBlock, MapsEachBlockToItsOwnRange) {
    TWatermark::Reals plane(16 * 16, 0.0);
    TWatermark::Bytes view(16 * 16, 99);
    // Block (0, 0) of size 4 spans -2..6; block (0, 1) is flat.
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) plane[a * 16 + b] = 1.0;
    plane[0] = -2;
    plane[1] = 6;
    plane[2] = 2;
    for (int a = 0; a < 4; ++a)
        for (int b = 4; b < 8; ++b) plane[a * 16 + b] = 42.0;
    TWatermark::StretchBlock(plane, 16, 4, view);
    EXPECT_EQ(view[0], 0);
    EXPECT_EQ(view[1], 255);
    EXPECT_EQ(view[2], 128);  // 127.5, half to even
    EXPECT_EQ(view[3], 96);   // 3 * 255 / 8 = 95.625
    EXPECT_EQ(view[4], 0);    // flat block
    EXPECT_EQ(view[3 * 16 + 7], 0);
}

}  // namespace
}  // namespace quillfen
