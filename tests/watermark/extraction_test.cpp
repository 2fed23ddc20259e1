#include <gtest/gtest.h>

#include <algorithm>

#include "quillfen/watermark/watermark.h"
#include "tests/watermark/workspace_buffers.h"

namespace quillfen {
namespace {

TEST(GetP_wave, ExchangesThePolarityCodesAndWraps) {
    struct Case {
        int r, c, pr, pc;
        double a, b;
        int expected;
    };
    const Case cases[] = {
        {10, 10, 14, 14, 3, -3, 255},  // equal magnitudes: 255 (P would be 0)
        {10, 10, 14, 14, 2, -3, 0},
        {124, 5, 0, 9, 8, 1, 255},     // last block row pairs with row 0
        {127, 127, 3, 3, 1, 8, 0},     // corner pairs with (3, 3)
    };
    for (const Case& k : cases) {
        TWatermark w;
        std::fill(Buffers(w).Yr_wave.begin(), Buffers(w).Yr_wave.end(), 50.0);
        Buffers(w).Yr_wave[k.r * 128 + k.c] = k.a;
        Buffers(w).Yr_wave[k.pr * 128 + k.pc] = k.b;
        w.GetP_wave();
        EXPECT_EQ(Buffers(w).P_wave[k.r * 128 + k.c], k.expected) << k.r << "," << k.c;
        EXPECT_EQ(Buffers(w).Display128, Buffers(w).P_wave);
    }
}

TEST(GetWa_wave, MarksAgreementWhite) {
    TWatermark w;
    std::fill(Buffers(w).P.begin(), Buffers(w).P.end(), std::uint8_t{0});
    std::fill(Buffers(w).P_wave.begin(), Buffers(w).P_wave.end(), std::uint8_t{0});
    Buffers(w).P_wave[5 * 128 + 5] = 255;
    Buffers(w).P[6 * 128 + 6] = 255;
    Buffers(w).P_wave[6 * 128 + 6] = 255;
    Buffers(w).P_wave[1 * 128 + 1] = 255;  // inside rows 0..3: computed by the same rule
    w.GetWa_wave();
    EXPECT_EQ(Buffers(w).Wa_wave[5 * 128 + 5], 0);
    EXPECT_EQ(Buffers(w).Wa_wave[6 * 128 + 6], 255);
    EXPECT_EQ(Buffers(w).Wa_wave[7 * 128 + 7], 255);
    EXPECT_EQ(Buffers(w).Wa_wave[1 * 128 + 1], 0);
    EXPECT_EQ(Buffers(w).Wa_wave[0], 255);
}

TEST(GetW_wave, GathersOnlyWsBlackPixels) {
    TWatermark w;
    std::fill(Buffers(w).W.begin(), Buffers(w).W.end(), std::uint8_t{255});
    std::fill(Buffers(w).RandPos.begin(), Buffers(w).RandPos.end(), 0.0);
    Buffers(w).W[100] = 0;
    Buffers(w).W[200] = 0;
    Buffers(w).RandPos[0] = 7;
    Buffers(w).RandPos[1] = 9;
    std::fill(Buffers(w).Wr_wave.begin(), Buffers(w).Wr_wave.end(), std::uint8_t{255});
    Buffers(w).Wr_wave[9] = 0;
    Buffers(w).Wr_wave[8] = 0;  // not among the positions used: never reaches W_wave
    w.GetW_wave();
    EXPECT_EQ(Buffers(w).W_wave[100], 255);
    EXPECT_EQ(Buffers(w).W_wave[200], 0);
    EXPECT_EQ(std::count(Buffers(w).W_wave.begin(), Buffers(w).W_wave.end(), 0), 1);

    // An entirely black Wr_wave gives W back; a white W gives white whatever Wr_wave holds.
    std::fill(Buffers(w).Wr_wave.begin(), Buffers(w).Wr_wave.end(), std::uint8_t{0});
    w.GetW_wave();
    EXPECT_EQ(Buffers(w).W_wave, Buffers(w).W);
    std::fill(Buffers(w).W.begin(), Buffers(w).W.end(), std::uint8_t{255});
    w.GetW_wave();
    EXPECT_EQ(std::count(Buffers(w).W_wave.begin(), Buffers(w).W_wave.end(), 0), 0);
    EXPECT_EQ(Buffers(w).Display128, Buffers(w).W_wave);
}

}  // namespace
}  // namespace quillfen
