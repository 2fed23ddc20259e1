// The vector loops, on every vector target this CPU can run, and the plain loops of builds
// without them, against loops written here; and the engine's steps compared across those
// targets byte for byte.
#include "vector_loops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "quillfen/image/vector_targets.h"
#include "quillfen/watermark/watermark.h"
#include "tests/test_support.h"
#include "tests/watermark/sample_experiment.h"

namespace quillfen {
namespace {

using test::ForEachVectorTarget;

template <typename T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// Values of every kind the loops may meet: zeros of both signs, gray levels, coefficients of
// all magnitudes, subnormals and numbers too large for any integer type.
double AnyValue(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> real(-300.0, 600.0);
    switch (rng() % 8) {
        case 0: return 0.0;
        case 1: return -0.0;
        case 2: return static_cast<double>(rng() % 256);
        case 3: return std::ldexp(real(rng), static_cast<int>(rng() % 120) - 60);
        case 4: return std::numeric_limits<double>::denorm_min() * static_cast<double>(rng() % 1000);
        case 5: return std::ldexp(real(rng), 70);
        default: return real(rng);
    }
}

struct alignas(64) Table64 {
    double rows[64][64];
};

// ---- The transforms' accumulation ----

void PlainAccumulate(const Table64& table, const double* in, double* sums) {
    for (int j = 0; j < 64; ++j) {
        double s = 0.0;
        for (int i = 0; i < 64; ++i) s += table.rows[i][j] * in[i];
        sums[j] = s;
    }
}

TEST(VectorLoops, AccumulateGivesThePlainSumsOnEveryTarget) {
    std::mt19937_64 rng(12);
    auto table = std::make_unique<Table64>();
    for (auto& row : table->rows)
        for (double& t : row) t = AnyValue(rng) == 0 ? 0.0 : std::uniform_real_distribution<double>(-1, 1)(rng);
    // Blocks of one, two and an odd count, with inputs that are often zero (skipped), zero in
    // alternate places, or negative zeros.
    std::vector<double> in(64 * 7);
    for (std::size_t k = 0; k < in.size(); ++k) in[k] = k % 3 == 0 ? 0.0 : AnyValue(rng);
    for (int i = 0; i < 64; ++i) in[64 * 2 + i] = (i % 2) ? 0.0 : in[64 * 2 + i];
    for (int i = 0; i < 64; ++i) in[64 * 3 + i] = (i % 2) ? in[64 * 3 + i] : -0.0;
    std::vector<double> expected(in.size());
    for (int b = 0; b < 7; ++b) PlainAccumulate(*table, in.data() + 64 * b, expected.data() + 64 * b);

    std::vector<double> plain(in.size());
    vector_loops::plain::AccumulateBlocks(table->rows, in.data(), plain.data(), 7);
    EXPECT_TRUE(SameBits(plain, expected)) << "the plain loops";

    ForEachVectorTarget([&](const std::string& target) {
        std::vector<double> one(64);
        vector_loops::Accumulate(table->rows, in.data(), one.data());
        EXPECT_EQ(std::memcmp(one.data(), expected.data(), 64 * sizeof(double)), 0) << target;
        for (std::size_t count : {1, 2, 3, 7}) {
            std::vector<double> sums(64 * count);
            vector_loops::AccumulateBlocks(table->rows, in.data(), sums.data(), count);
            EXPECT_EQ(std::memcmp(sums.data(), expected.data(), sums.size() * sizeof(double)), 0)
                << target << ", " << count << " blocks";
        }
    });
}

// The mid-band form, two blocks at a time: an input is skipped only where both blocks of a
// pair are zero there, so blocks whose zeros fall in different places (and the odd block
// left at the end) must still give each block's own sums.
TEST(VectorLoops, Accumulate16BlocksGivesThePlainSumsOnEveryTarget) {
    std::mt19937_64 rng(16);
    struct alignas(64) Table16 {
        double rows[64][16];
    };
    auto table = std::make_unique<Table16>();
    for (auto& row : table->rows)
        for (double& t : row) t = std::uniform_real_distribution<double>(-1, 1)(rng);
    std::vector<double> in(64 * 5);
    for (double& v : in) v = AnyValue(rng);
    for (int i = 0; i < 64; ++i) {
        in[i] = i % 2 ? 0.0 : in[i];                 // block 0 zero where block 1 is not
        in[64 + i] = i % 2 ? in[64 + i] : -0.0;
        in[128 + i] = i % 3 ? in[128 + i] : 0.0;     // both zero at some places
        in[192 + i] = i % 3 ? in[192 + i] : -0.0;
    }
    std::vector<double> expected(16 * 5);
    for (int b = 0; b < 5; ++b)
        for (int j = 0; j < 16; ++j) {
            double s = 0.0;
            for (int i = 0; i < 64; ++i) s += table->rows[i][j] * in[64 * b + i];
            expected[16 * b + j] = s;
        }
    std::vector<double> plain(expected.size());
    vector_loops::plain::Accumulate16Blocks(table->rows, in.data(), plain.data(), 5);
    EXPECT_TRUE(SameBits(plain, expected)) << "the plain loops";
    ForEachVectorTarget([&](const std::string& target) {
        for (std::size_t count : {1, 2, 3, 5}) {
            std::vector<double> sums(16 * count);
            vector_loops::Accumulate16Blocks(table->rows, in.data(), sums.data(), count);
            EXPECT_EQ(std::memcmp(sums.data(), expected.data(), sums.size() * sizeof(double)), 0)
                << target << ", " << count << " blocks";
        }
    });
}

// ---- The JPEG quantisation ----

double PlainQuantised(double c, double step, double scale) {
    const double s = scale * step;
    const double q = c >= 0 ? std::trunc(c / s + 0.5) : std::trunc(c / s - 0.5);
    return q * step * scale;
}

TEST(VectorLoops, QuantiseRoundsLikeThePlainFormulaOnEveryTarget) {
    const double* steps = TWatermark::kJpegQuantTable.data();
    const double scale = 0.5;
    std::mt19937_64 rng(5);
    // Per row, quotients c / step that are exact halves both ways, just inside them, zeros,
    // and magnitudes beyond any 64-bit integer; then random values.
    const double factors[] = {0.5, -0.5, 1.5, -1.5, 2.5, -2.5, std::nextafter(0.5, 0.0), std::nextafter(-0.5, 0.0),
                              0.0, -0.0, 1e300, -1e300, 9.3e18, -9.3e18, std::ldexp(1.0, 60) + 0.5};
    std::vector<double> plane(16 * 16);
    std::vector<double> expected(plane.size());
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) {
            const double step = steps[8 * (r % 8) + c % 8];
            double& value = plane[r * 16 + c];
            value = c < static_cast<int>(std::size(factors)) ? factors[c] * (scale * step) : AnyValue(rng);
            expected[r * 16 + c] = PlainQuantised(value, step, scale);
        }

    std::vector<double> plain(plane);
    vector_loops::plain::Quantise(plain.data(), 16, steps, scale);
    EXPECT_TRUE(SameBits(plain, expected)) << "the plain loops";

    ForEachVectorTarget([&](const std::string& target) {
        std::vector<double> got(plane);
        vector_loops::Quantise(got.data(), 16, steps, scale);
        for (std::size_t k = 0; k < got.size(); ++k)
            ASSERT_EQ(std::memcmp(&got[k], &expected[k], sizeof(double)), 0)
                << target << ": " << plane[k] << " gave " << got[k] << ", expected " << expected[k];
    });
}

// ---- The view stretch ----

// The stretch in its plainest reading: one row-major scan for the extremes, then nearbyint.
std::vector<std::uint8_t> PlainStretch(const std::vector<double>& plane, int size, int n) {
    std::vector<std::uint8_t> view(plane.size(), 77);
    for (int top = 0; top + n <= size; top += n)
        for (int left = 0; left + n <= size; left += n) {
            double lo = 10000;
            double hi = -10000;
            for (int a = 0; a < n; ++a)
                for (int b = 0; b < n; ++b) {
                    const double v = plane[(top + a) * size + left + b];
                    if (v > hi) hi = v;
                    if (v < lo) lo = v;
                }
            for (int a = 0; a < n; ++a)
                for (int b = 0; b < n; ++b) {
                    const double v = plane[(top + a) * size + left + b];
                    view[(top + a) * size + left + b] =
                        hi - lo == 0 ? 0 : static_cast<std::uint8_t>(std::nearbyint((v - lo) * 255 / (hi - lo)));
                }
        }
    return view;
}

TEST(VectorLoops, StretchGivesThePlainBytesOnEveryTarget) {
    std::mt19937_64 rng(8);
    std::uniform_real_distribution<double> real(-500, 500);
    const int size = 36;  // not a multiple of 8: the last partial blocks are left alone
    std::vector<double> plane(size * size);
    for (std::size_t k = 0; k < plane.size(); ++k) {
        switch ((k / 8) % 5) {
            case 0: plane[k] = real(rng); break;
            case 1: plane[k] = 42.0; break;                                   // flat blocks
            case 2: plane[k] = (rng() % 2) ? 0.0 : -0.0; break;               // zero extremes
            case 3: plane[k] = 10000.0 + static_cast<double>(rng() % 100); break;  // beyond the start values
            default: plane[k] = static_cast<double>(rng() % 5);                // many ties of halves
        }
    }
    for (int n : {4, 8}) {
        const std::vector<std::uint8_t> expected = PlainStretch(plane, size, n);
        std::vector<std::uint8_t> plain(plane.size(), 77);
        vector_loops::plain::StretchPlane(plane.data(), size, n, plain.data());
        EXPECT_EQ(plain, expected) << "the plain loops, blocks of " << n;
        ForEachVectorTarget([&](const std::string& target) {
            std::vector<std::uint8_t> view(plane.size(), 77);
            vector_loops::StretchPlane(plane.data(), size, n, view.data());
            EXPECT_EQ(view, expected) << target << ", blocks of " << n;
        });
    }
}

// ---- The window sums of SSIM ----

TEST(VectorLoops, WindowSumsAddEachWindowInOrderOnEveryTarget) {
    std::mt19937_64 rng(31);
    const double weights[] = {0.1, -0.0, 0.25, 1e-300, 0.3, 3.0, 0.7};
    // Widths around the vector sizes (the last sums of a row go one at a time), a window as
    // wide as the plane, and values of every kind.
    for (const auto [width, height, n] : {std::array<std::size_t, 3>{11, 11, 7}, {7, 9, 7}, {23, 8, 5},
                                          {40, 30, 7}, {83, 12, 7}, {17, 17, 1}}) {
        std::vector<double> plane(width * height);
        for (double& v : plane) v = AnyValue(rng);
        const std::size_t outWidth = width - n + 1;
        const std::size_t outHeight = height - n + 1;
        std::vector<double> rows(height * outWidth);
        std::vector<double> means(outHeight * outWidth);
        for (std::size_t y = 0; y < height; ++y)
            for (std::size_t x = 0; x < outWidth; ++x) {
                double sum = 0.0;
                for (std::size_t i = 0; i < n; ++i) sum += weights[i] * plane[y * width + x + i];
                rows[y * outWidth + x] = sum;
            }
        for (std::size_t y = 0; y < outHeight; ++y)
            for (std::size_t x = 0; x < outWidth; ++x) {
                double sum = 0.0;
                for (std::size_t j = 0; j < n; ++j) sum += weights[j] * rows[(y + j) * outWidth + x];
                means[y * outWidth + x] = sum;
            }
        const std::string shape = std::to_string(width) + " x " + std::to_string(height) + ", window " + std::to_string(n);
        std::vector<double> gotRows(rows.size(), 9.0);
        std::vector<double> gotMeans(means.size(), 9.0);
        vector_loops::plain::WindowSums(plane.data(), width, height, weights, n, gotRows.data(), gotMeans.data());
        EXPECT_TRUE(SameBits(gotRows, rows) && SameBits(gotMeans, means)) << "the plain loops, " << shape;
        ForEachVectorTarget([&](const std::string& target) {
            std::fill(gotRows.begin(), gotRows.end(), 9.0);
            std::fill(gotMeans.begin(), gotMeans.end(), 9.0);
            vector_loops::WindowSums(plane.data(), width, height, weights, n, gotRows.data(), gotMeans.data());
            EXPECT_TRUE(SameBits(gotRows, rows)) << target << ", " << shape;
            EXPECT_TRUE(SameBits(gotMeans, means)) << target << ", " << shape;
        });
    }
}

// The mirrored window: each weight's two terms added first, the weights in order from the
// outermost pair, the centre last; the same bits on every target, whatever the width.
TEST(VectorLoops, SymmetricSumsAddMirroredPairsInOrderOnEveryTarget) {
    std::mt19937_64 rng(37);
    // Eleven is SSIM's window, which has a loop of its own.
    const double weights[] = {1.5, 0.1, -0.0, 0.25, 3.0, 0.7, 3.0, 0.25, -0.0, 0.1, 1.5};
    for (const auto [count, n] : {std::array<std::size_t, 2>{1, 9}, {3, 9}, {8, 5}, {13, 9}, {246, 9}, {17, 1},
                                  {1, 11}, {7, 11}, {246, 11}}) {
        std::vector<std::vector<double>> rows(n, std::vector<double>(count));
        for (std::vector<double>& row : rows)
            for (double& v : row) v = AnyValue(rng);
        std::vector<const double*> terms;
        for (const std::vector<double>& row : rows) terms.push_back(row.data());
        const std::size_t half = n / 2;
        const double* w = weights + (11 - n) / 2;  // the centred part of the weights
        std::vector<double> expected(count);
        for (std::size_t x = 0; x < count; ++x) {
            double sum = 0.0;
            for (std::size_t i = 0; i < half; ++i) sum = sum + w[i] * (rows[i][x] + rows[n - 1 - i][x]);
            expected[x] = sum + w[half] * rows[half][x];
        }
        std::vector<double> got(count, 9.0);
        vector_loops::plain::SymmetricWeightedSums(terms.data(), count, w, n, got.data());
        EXPECT_TRUE(SameBits(got, expected)) << "the plain loop, " << count << " sums of " << n;
        ForEachVectorTarget([&](const std::string& target) {
            std::fill(got.begin(), got.end(), 9.0);
            vector_loops::SymmetricWeightedSums(terms.data(), count, w, n, got.data());
            EXPECT_TRUE(SameBits(got, expected)) << target << ", " << count << " sums of " << n;
        });
    }
}

// ---- The engine's steps across targets ----

TEST(VectorTargets, EveryTargetGivesTheSameBytes) {
    std::mt19937_64 rng(2026);
    TWatermark::Bytes bytes(TWatermark::kHostPixels);
    TWatermark::Reals reals(TWatermark::kHostPixels);
    for (auto& v : bytes) v = static_cast<std::uint8_t>(rng() % 256);
    for (double& v : reals) v = AnyValue(rng);

    struct Result {
        TWatermark::Reals forwardBytes, forwardReals, inverseReals, jpegReals;
        TWatermark::Bytes inverseBytes, jpegBytes, view;
        test::SampleRun experiment;
    };
    std::vector<std::string> targets;
    std::vector<Result> results;
    ForEachVectorTarget([&](const std::string& target) {
        TWatermark w;
        Result r;
        r.forwardBytes.resize(TWatermark::kHostPixels);
        r.forwardReals.resize(TWatermark::kHostPixels);
        r.inverseReals.resize(TWatermark::kHostPixels);
        r.inverseBytes.resize(TWatermark::kHostPixels);
        w.FdctBytes(bytes, r.forwardBytes);
        w.FdctReals(reals, r.forwardReals);
        r.view = w.Display256();
        w.IdctToReals(r.forwardBytes, r.inverseReals);
        w.IdctToBytes(reals, r.inverseBytes);
        // The simulated JPEG on a watermarked-looking image: forward, quantise, both inverses.
        TWatermark::Reals marked(TWatermark::kHostPixels);
        for (int p = 0; p < TWatermark::kHostPixels; ++p) marked[p] = bytes[p] + 0.25;
        w.LoadMarked({}, bytes, marked);
        w.ApplyJpeg();
        r.jpegReals = w.X_wave_real();
        r.jpegBytes = w.X_wave();
        r.experiment = test::RunSampleExperiment(20261208, false);
        targets.push_back(target);
        results.push_back(std::move(r));
    });
    ASSERT_FALSE(results.empty());
    for (std::size_t t = 1; t < results.size(); ++t) {
        const Result& a = results[0];
        const Result& b = results[t];
        const std::string pair = targets[0] + " vs " + targets[t];
        EXPECT_TRUE(SameBits(a.forwardBytes, b.forwardBytes)) << pair;
        EXPECT_TRUE(SameBits(a.forwardReals, b.forwardReals)) << pair;
        EXPECT_EQ(a.view, b.view) << pair;
        EXPECT_TRUE(SameBits(a.inverseReals, b.inverseReals)) << pair;
        EXPECT_EQ(a.inverseBytes, b.inverseBytes) << pair;
        EXPECT_TRUE(SameBits(a.jpegReals, b.jpegReals)) << pair;
        EXPECT_EQ(a.jpegBytes, b.jpegBytes) << pair;
        EXPECT_EQ(a.experiment.X_hat, b.experiment.X_hat) << pair;
        EXPECT_TRUE(SameBits(a.experiment.X_hat_real, b.experiment.X_hat_real)) << pair;
        EXPECT_EQ(a.experiment.W_wave, b.experiment.W_wave) << pair;
        for (std::size_t k = 0; k < a.experiment.X_wave_real.size(); ++k)
            EXPECT_TRUE(SameBits(a.experiment.X_wave_real[k], b.experiment.X_wave_real[k])) << pair << ", attack " << k;
        EXPECT_EQ(a.experiment.nc, b.experiment.nc) << pair;
    }
}

// ---- Choosing the target ----

TEST(VectorTargets, UseSwitchesTheLoopsAndRefusesWhatCannotRun) {
    const std::vector<std::string> available = vector_targets::Available();
    ASSERT_FALSE(available.empty());
    EXPECT_EQ(vector_targets::Active(), available.front());
    ForEachVectorTarget([](const std::string& target) { EXPECT_EQ(vector_targets::Active(), target); });
    EXPECT_EQ(vector_targets::Active(), available.front());

    // Names are matched without regard to case.
    std::string lower = available.back();
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    vector_targets::Use(lower);
    EXPECT_EQ(vector_targets::Active(), available.back());
    vector_targets::UseBest();
    if (available.front() == "AVX3") {  // AVX-512 answers to its common name too
        vector_targets::Use(available.size() > 1 ? available[1] : available.front());
        vector_targets::Use("avx512");
        EXPECT_EQ(vector_targets::Active(), "AVX3");
    }

    for (const char* bad : {"MMX", "", "AVX2 ", "NEON2"}) {
        try {
            vector_targets::Use(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(available.front()), std::string::npos) << e.what();
        }
        EXPECT_EQ(vector_targets::Active(), available.front()) << "a refused name changed the target";
    }
}

TEST(VectorTargets, EnvironmentVariableChoosesOrIsRefusedByName) {
    const std::vector<std::string> available = vector_targets::Available();
    ::setenv(vector_targets::kEnvironmentVariable, "", 1);
    vector_targets::UseTargetFromEnvironment();
    EXPECT_EQ(vector_targets::Active(), available.front());

    ::setenv(vector_targets::kEnvironmentVariable, available.back().c_str(), 1);
    vector_targets::UseTargetFromEnvironment();
    EXPECT_EQ(vector_targets::Active(), available.back());
    vector_targets::UseBest();

    ::setenv(vector_targets::kEnvironmentVariable, "no-such-target", 1);
    try {
        vector_targets::UseTargetFromEnvironment();
        ADD_FAILURE() << "accepted an unknown target";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("QF_HWY_TARGET"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("no-such-target"), std::string::npos) << e.what();
    }
    ::unsetenv(vector_targets::kEnvironmentVariable);
    EXPECT_EQ(vector_targets::Active(), available.front());
}

}  // namespace
}  // namespace quillfen
