#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/toolbox/rix_ipa.h"

namespace quillfen {
namespace {

TRixIPA MakeIpa(const std::vector<std::uint8_t>& gray) {
    TRixIPA ipa;
    if (gray.empty()) ipa.LoadFromGray(0, 0, nullptr);
    else ipa.LoadFromGray(static_cast<int>(gray.size()), 1, gray.data());
    return ipa;
}

const std::vector<std::uint8_t> kTenTwenty{10, 20, 10, 20, 20, 10};

TEST(HistogramModification, EqualizeTwoLevelImage) {
    TRixIPA ipa = MakeIpa(kTenTwenty);
    ipa.Equalize();
    EXPECT_EQ(ipa.GetImage(), (std::vector<std::uint8_t>{128, 255, 128, 255, 255, 128}));
    EXPECT_EQ(ipa.GetHistogram(128), 3);
}

TEST(HistogramModification, SpecifyMergesLevelsThatShareAnEqualizedValue) {
    TRixIPA ipa = MakeIpa(kTenTwenty);
    ipa.SpecifyHistogram();
    EXPECT_EQ(ipa.GetImage(), kTenTwenty);

    // Level 1 holds almost every pixel: 0 equalizes to 1, while 1, 2 and 3 all equalize to
    // 255 and merge into the lowest of them.
    std::vector<std::uint8_t> gray(1000, 1);
    gray[0] = 0;
    gray[1] = 2;
    gray[2] = 3;
    ipa = MakeIpa(gray);
    ipa.SpecifyHistogram();
    EXPECT_EQ(ipa.Pixel(0, 0), 0);
    EXPECT_EQ(ipa.Pixel(1, 0), 1);
    EXPECT_EQ(ipa.Pixel(2, 0), 1);
}

// SpecifyHistogram as two passes over the pixels: equalize, then map each equalized value to
// the first level whose equalized value lies nearest.
std::vector<std::uint8_t> SpecifyTwoPass(const std::vector<std::uint8_t>& gray) {
    TRixIPA ipa = MakeIpa(gray);
    ipa.Equalize();
    const std::vector<std::uint8_t> equalized = ipa.GetImage();
    std::array<int, 256> table{};
    std::array<std::int64_t, 256> h{};
    for (auto v : gray) ++h[v];
    std::int64_t cum = 0;
    for (int g = 0; g < 256; ++g) {
        cum += h[g];
        const int e = static_cast<int>(std::nearbyint(static_cast<double>(cum) * (255.0 / static_cast<double>(gray.size())) + 0.5));
        table[g] = e > 255 ? 255 : e;
    }
    std::vector<std::uint8_t> out(gray.size());
    for (std::size_t i = 0; i < gray.size(); ++i) {
        const int j = equalized[i];
        int best = 0;
        for (int k = 1; k < 256; ++k)
            if (std::abs(j - table[k]) < std::abs(j - table[best])) best = k;
        out[i] = static_cast<std::uint8_t>(best);
    }
    return out;
}

TEST(HistogramModification, SpecifyMatchesTheTwoPassReference) {
    std::mt19937 rng(3);
    for (int spread : {1, 8, 60, 255}) {
        std::uniform_int_distribution<int> level(0, spread);
        std::vector<std::uint8_t> gray(777);
        for (auto& v : gray) v = static_cast<std::uint8_t>(level(rng) * level(rng) / std::max(spread, 1));
        TRixIPA ipa = MakeIpa(gray);
        ipa.SpecifyHistogram();
        EXPECT_EQ(ipa.GetImage(), SpecifyTwoPass(gray)) << spread;
    }
}

TEST(HistogramModification, AutoContrastStretch) {
    TRixIPA ipa = MakeIpa({50, 100, 200, 120});
    std::uint8_t low = 0, high = 0;
    ipa.AutoContrastStretch(low, high);
    EXPECT_EQ(low, 50);
    EXPECT_EQ(high, 200);
    EXPECT_EQ(ipa.GetImage(), (std::vector<std::uint8_t>{0, 85, 255, 119}));
}

TEST(HistogramModification, EndsInContrastStretch) {
    // The command's defaults (0 and 255 per cent) stretch nothing.
    const std::vector<std::uint8_t> ramp{0, 3, 77, 128, 254, 255, 9};
    TRixIPA ipa = MakeIpa(ramp);
    std::uint8_t low = 1, high = 1;
    ipa.EndsInContrastStretch(low, high, 0, 255);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 255);
    EXPECT_EQ(ipa.GetImage(), ramp);

    // 60 + 60 per cent: Low = 20 lies above High = 10, no stretch, everything white.
    ipa = MakeIpa(kTenTwenty);
    ipa.EndsInContrastStretch(low, high, 60, 60);
    EXPECT_EQ(low, 20);
    EXPECT_EQ(high, 10);
    EXPECT_EQ(ipa.GetImage(), std::vector<std::uint8_t>(6, 255));

    // 25 per cent at each end of 0..7: the darkest two levels go to 0, the brightest two to
    // 255 and the middle is stretched from Low = 1 to High = 6.
    ipa = MakeIpa({0, 1, 2, 3, 4, 5, 6, 7});
    ipa.EndsInContrastStretch(low, high, 25, 25);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 6);
    EXPECT_EQ(ipa.GetImage(), (std::vector<std::uint8_t>{0, 0, 51, 102, 153, 204, 255, 255}));
}

TEST(HistogramModification, DegenerateImagesFailWithoutChangingTheImage) {
    struct Case {
        std::string name;
        std::vector<std::uint8_t> gray;
        std::function<void(TRixIPA&)> run;
        const char* error;
    };
    std::uint8_t low = 0, high = 0;
    const std::vector<Case> cases{
        {"equalize, empty", {}, [](TRixIPA& i) { i.Equalize(); }, kFloatingPointDivisionByZero},
        {"specify, empty", {}, [](TRixIPA& i) { i.SpecifyHistogram(); }, kFloatingPointDivisionByZero},
        {"auto, empty", {}, [&](TRixIPA& i) { i.AutoContrastStretch(low, high); }, kFloatingPointDivisionByZero},
        {"ends-in, empty", {}, [&](TRixIPA& i) { i.EndsInContrastStretch(low, high, 0, 255); },
         kInvalidFloatingPointOperation},
        {"auto, one level", {9, 9, 9}, [&](TRixIPA& i) { i.AutoContrastStretch(low, high); },
         kFloatingPointDivisionByZero},
        {"ends-in, low = high", {10, 20, 30, 40}, [&](TRixIPA& i) { i.EndsInContrastStretch(low, high, 50, 75); },
         kFloatingPointDivisionByZero},
    };
    for (const Case& c : cases) {
        TRixIPA ipa = MakeIpa(c.gray);
        try {
            c.run(ipa);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const MathError& e) {
            EXPECT_STREQ(e.what(), c.error) << c.name;
        }
        EXPECT_EQ(ipa.GetImage(), c.gray) << c.name;
    }
}

}  // namespace
}  // namespace quillfen
