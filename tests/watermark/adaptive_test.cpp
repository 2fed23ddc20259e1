#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "quillfen/watermark/watermark.h"
#include "tests/watermark/workspace_buffers.h"

namespace quillfen {
namespace {

TWatermark::Orders Identity() {
    TWatermark::Orders order(TWatermark::kBlocks);
    std::iota(order.begin(), order.end(), std::uint16_t{0});
    return order;
}

// The sorting form must rank exactly as repeated maximum selection, on random values and on
// adversarial ones: all equal, all zero, few distinct levels, extremes and subnormals.
TEST(RankBlocks, SortGivesRepeatedSelectionsOrder) {
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> any(0.0, 5000.0);
    for (int trial = 0; trial < 40; ++trial) {
        TWatermark::Reals values(TWatermark::kBlocks);
        for (double& v : values) {
            switch (trial % 5) {
                case 0: v = any(rng); break;
                case 1: v = static_cast<double>(rng() % 17); break;  // black counts, many ties
                case 2: v = 0.0; break;
                case 3: v = 7.25; break;
                default: {
                    const double pool[] = {0.0, 4.9e-324, 1e-300, 1e300, 1.7976931348623157e308, 0.5};
                    v = pool[rng() % 6];
                }
            }
        }
        TWatermark::Orders fast(TWatermark::kBlocks);
        TWatermark::Orders slow(TWatermark::kBlocks);
        TWatermark::RankBlocks(values, fast);
        TWatermark::RankBlocksLiteral(values, slow);
        ASSERT_EQ(fast, slow) << "trial " << trial;
    }
}

TEST(RankBlocks, TiesGoToTheLowerIndex) {
    TWatermark::Reals values(TWatermark::kBlocks, 0.0);
    values[10] = 3;
    values[5] = 3;
    values[700] = 4;
    TWatermark::Orders order(TWatermark::kBlocks);
    TWatermark::RankBlocks(values, order);
    EXPECT_EQ(order[0], 700);
    EXPECT_EQ(order[1], 5);
    EXPECT_EQ(order[2], 10);
    EXPECT_EQ(order[3], 0);
    EXPECT_EQ(order[1023], 1023);
}

TEST(GetWa, FlatHostKeepsBlockPositionsInRankOrder) {
    TWatermark w;
    std::fill(Buffers(w).X.begin(), Buffers(w).X.end(), std::uint8_t{90});
    std::fill(Buffers(w).Wr.begin(), Buffers(w).Wr.end(), std::uint8_t{255});
    // Block 3 gets two black pixels, block 9 one.
    Buffers(w).Wr[0 * 128 + 12] = 0;
    Buffers(w).Wr[1 * 128 + 13] = 0;
    Buffers(w).Wr[2 * 128 + 36] = 0;
    w.GetWa();
    EXPECT_EQ(Buffers(w).XBlockOrder, Identity());
    EXPECT_EQ(Buffers(w).WrBlockOrder[0], 3);
    EXPECT_EQ(Buffers(w).WrBlockOrder[1], 9);
    // Block 3's pattern now sits in block 0, block 9's in block 1.
    EXPECT_EQ(Buffers(w).Wa[0 * 128 + 0], 0);
    EXPECT_EQ(Buffers(w).Wa[1 * 128 + 1], 0);
    EXPECT_EQ(Buffers(w).Wa[2 * 128 + 4], 0);
    EXPECT_EQ(Buffers(w).BlackCount, 3);
    EXPECT_EQ(Buffers(w).Display128, Buffers(w).Wa);
}

TEST(GetWa, OnlyTexturedBlockRanksFirst) {
    TWatermark w;
    std::fill(Buffers(w).X.begin(), Buffers(w).X.end(), std::uint8_t{90});
    const int top = 8 * (37 / 32);
    const int left = 8 * (37 % 32);
    Buffers(w).X[top * 256 + left] = 0;
    std::fill(Buffers(w).Wr.begin(), Buffers(w).Wr.end(), std::uint8_t{255});
    w.GetWa();
    EXPECT_EQ(Buffers(w).XBlockOrder[0], 37);
    EXPECT_EQ(Buffers(w).XBlockOrder[1], 0);
    EXPECT_EQ(Buffers(w).XBlockOrder[37], 36);
    EXPECT_EQ(Buffers(w).XBlockOrder[38], 38);
    EXPECT_EQ(Buffers(w).WrBlockOrder, Identity());
    EXPECT_TRUE(std::all_of(Buffers(w).Wa.begin(), Buffers(w).Wa.end(), [](auto v) { return v == 255; }));
}

TEST(BlockVariance, IsThePopulationVariance) {
    TWatermark w;
    std::fill(Buffers(w).X.begin(), Buffers(w).X.end(), std::uint8_t{0});
    // Block 1: half the pixels 0, half 10 -> mean 5, variance 25.
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 4; ++y) Buffers(w).X[x * 256 + 8 + y] = 10;
    EXPECT_EQ(w.BlockVariance(1), 25.0);
    EXPECT_EQ(w.BlockVariance(0), 0.0);
}

// The extraction's block move, applied to Wa itself, restores Wr; on random inputs the literal
// ranking gives the same Wa.
TEST(GetWa, InverseRestoresWrAndLiteralAgrees) {
    std::mt19937 rng(4);
    TWatermark w;
    TWatermark slow;
    slow.SetLiteralForms(true);
    for (auto& v : Buffers(w).X) v = static_cast<std::uint8_t>(rng() % 256);
    for (auto& v : Buffers(w).Wr) v = rng() % 3 == 0 ? 0 : 255;
    Buffers(slow).X = Buffers(w).X;
    Buffers(slow).Wr = Buffers(w).Wr;
    w.GetWa();
    slow.GetWa();
    EXPECT_EQ(Buffers(w).Wa, Buffers(slow).Wa);
    EXPECT_EQ(Buffers(w).XBlockOrder, Buffers(slow).XBlockOrder);
    EXPECT_EQ(Buffers(w).WrBlockOrder, Buffers(slow).WrBlockOrder);
    Buffers(w).Wa_wave = Buffers(w).Wa;
    w.GetWr_wave();
    EXPECT_EQ(Buffers(w).Wr_wave, Buffers(w).Wr);
}

}  // namespace
}  // namespace quillfen
