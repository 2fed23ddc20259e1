#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>

#include "quillfen/watermark/watermark.h"
#include "tests/watermark/workspace_buffers.h"

namespace quillfen {
namespace {

int Zeros(const TWatermark::Bytes& b) { return static_cast<int>(std::count(b.begin(), b.end(), 0)); }

void FillRandomMark(TWatermark& w, unsigned seed, int blackPercent) {
    std::mt19937 rng(seed);
    for (auto& v : Buffers(w).W) v = static_cast<std::uint8_t>(static_cast<int>(rng() % 100) < blackPercent ? rng() % 128 : 128 + rng() % 128);
}

TEST(GetWr, BinarisesAtThreshold128) {
    TWatermark w;
    std::fill(Buffers(w).W.begin(), Buffers(w).W.end(), std::uint8_t{200});
    Buffers(w).W[0] = 127;
    Buffers(w).W[1] = 128;
    Buffers(w).W[2] = 0;
    Buffers(w).W[3] = 1;
    w.SetFixedSeed(1);
    w.GetWr();
    EXPECT_EQ(Buffers(w).W[0], 0);
    EXPECT_EQ(Buffers(w).W[1], 255);
    EXPECT_EQ(Buffers(w).W[2], 0);
    EXPECT_EQ(Buffers(w).W[3], 0);
    EXPECT_EQ(Buffers(w).BlackCount, 3);
    for (auto v : Buffers(w).W) ASSERT_TRUE(v == 0 || v == 255);
}

TEST(GetWr, AllWhiteDrawsNothing) {
    TWatermark w;
    std::fill(Buffers(w).W.begin(), Buffers(w).W.end(), std::uint8_t{255});
    w.GetWr();
    EXPECT_EQ(Buffers(w).BlackCount, 0);
    EXPECT_EQ(Zeros(Buffers(w).Wr), 0);
    EXPECT_TRUE(std::all_of(Buffers(w).RandPos.begin(), Buffers(w).RandPos.end(), [](double p) { return p == 0; }));
    EXPECT_EQ(Buffers(w).Display128, Buffers(w).Wr);
}

// The first draws of seed 0: the generator is seed * 134775813 + 1 modulo 2^32.
TEST(GetWr, FollowsTheGeneratorExactly) {
    TWatermark w;
    std::fill(Buffers(w).W.begin(), Buffers(w).W.end(), std::uint8_t{255});
    Buffers(w).W[0] = 0;
    Buffers(w).W[1] = 0;
    Buffers(w).W[2] = 0;
    w.SetFixedSeed(0);
    w.GetWr();
    std::uint32_t seed = 0;
    for (int i = 0; i < 3; ++i) {
        seed = seed * 134775813u + 1u;
        const double expected = std::nearbyint(seed / 4294967296.0 * 16383 + 0.5);
        EXPECT_EQ(Buffers(w).RandPos[i], expected) << i;
    }
    EXPECT_EQ(w.LastSeed(), 0u);
}

TEST(GetWr, ScatterIsDistinctCompleteAndInvertible) {
    for (int percent : {1, 30, 70, 99}) {
        TWatermark w;
        FillRandomMark(w, static_cast<unsigned>(percent), percent);
        w.SetFixedSeed(static_cast<std::uint32_t>(1000 + percent));
        w.GetWr();
        const int black = Zeros(Buffers(w).W);
        EXPECT_EQ(Buffers(w).BlackCount, black);
        EXPECT_EQ(Zeros(Buffers(w).Wr), black);
        std::set<double> positions(Buffers(w).RandPos.begin(), Buffers(w).RandPos.begin() + black);
        EXPECT_EQ(static_cast<int>(positions.size()), black);
        // The extraction's gathering, applied to Wr itself, gives back W.
        Buffers(w).Wr_wave = Buffers(w).Wr;
        w.GetW_wave();
        EXPECT_EQ(Buffers(w).W_wave, Buffers(w).W) << percent;
    }
}

// The bitset's accept/reject decisions are the linear scan's: same RandPos, same Wr.
TEST(GetWr, BitsetGivesTheLinearScansScatter) {
    for (int percent : {5, 50, 95}) {
        TWatermark fast;
        FillRandomMark(fast, 77u + static_cast<unsigned>(percent), percent);
        TWatermark slow;
        Buffers(slow).W = Buffers(fast).W;
        slow.SetLiteralForms(true);
        for (auto* w : {&fast, &slow}) {
            w->SetFixedSeed(86399999u);
            w->GetWr();
        }
        EXPECT_EQ(std::memcmp(Buffers(fast).RandPos.data(), Buffers(slow).RandPos.data(), Buffers(fast).RandPos.size() * sizeof(double)), 0);
        EXPECT_EQ(Buffers(fast).Wr, Buffers(slow).Wr);
    }
}

// The draw alone would need a generator value of exactly 0; the step still completes and
// every position is used once.
TEST(GetWr, AllBlackWatermarkTakesEveryPosition) {
    TWatermark w;
    std::fill(Buffers(w).W.begin(), Buffers(w).W.end(), std::uint8_t{0});
    w.SetFixedSeed(12345);
    w.GetWr();
    EXPECT_EQ(Buffers(w).BlackCount, TWatermark::kMarkPixels);
    std::set<double> positions(Buffers(w).RandPos.begin(), Buffers(w).RandPos.end());
    EXPECT_EQ(positions.size(), static_cast<std::size_t>(TWatermark::kMarkPixels));
    EXPECT_EQ(Buffers(w).RandPos.back(), 0.0);
}

TEST(GetWr, SeedsChooseTheScatter) {
    TWatermark a;
    FillRandomMark(a, 5, 40);
    TWatermark b;
    Buffers(b).W = Buffers(a).W;
    a.SetFixedSeed(1);
    b.SetFixedSeed(2);
    a.GetWr();
    b.GetWr();
    EXPECT_NE(Buffers(a).Wr, Buffers(b).Wr);
    b.SetFixedSeed(1);
    b.GetWr();
    EXPECT_EQ(Buffers(a).Wr, Buffers(b).Wr);
    EXPECT_EQ(b.LastSeed(), 1u);
    // Back to the clock: the seed used is a millisecond of the day.
    b.SetFixedSeed(std::nullopt);
    b.GetWr();
    EXPECT_LT(b.LastSeed(), 86400000u);
}

}  // namespace
}  // namespace quillfen
