#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "quillfen/toolbox/noise.h"

#include "quillfen/toolbox/rix_ipa.h"
#include "tests/test_support.h"
#include "tests/toolbox/toolbox_images.h"

namespace quillfen {
namespace {

using test::Plane;

struct Filter {
    std::string name;
    GrayPlane (*run)(const GrayPlane&);
};

const std::vector<Filter>& Filters() {
    static const std::vector<Filter> filters = {
        {"mean", noise::Mean},
        {"median", noise::Median},
        {"median literal", noise::literal::Median},
        {"contraction", noise::Contraction},
        {"expansion", noise::Expansion},
    };
    return filters;
}

TEST(Noise, FiltersKeepBorderAndTinyImages) {
    const Plane in = test::RandomGray(9, 7, 11);
    for (const Filter& f : Filters()) {
        const GrayPlane out = f.run(in.gray());
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(out.at(x, 0), in.at(x, 0)) << f.name;
            EXPECT_EQ(out.at(x, 6), in.at(x, 6)) << f.name;
        }
        for (int y = 0; y < 7; ++y) {
            EXPECT_EQ(out.at(0, y), in.at(0, y)) << f.name;
            EXPECT_EQ(out.at(8, y), in.at(8, y)) << f.name;
        }
        for (const auto& [w, h] : {std::pair{2, 6}, std::pair{6, 2}, std::pair{1, 1}}) {
            const Plane tiny = test::RandomPlane(w, h, 3, {0, 255, 100});
            EXPECT_EQ(f.run(tiny.gray()).pixels(), tiny.pixels) << f.name << " " << w << "x" << h;
        }
    }
}

// The vector loops against the windows computed as defined, on every target.
TEST(Noise, FastFormsGiveTheLiteralBytesOnEveryTarget) {
    const std::vector<std::pair<Filter, Filter>> pairs = {
        {{"mean", noise::Mean}, {"literal mean", noise::literal::Mean}},
        {{"median", noise::Median}, {"literal median", noise::literal::Median}},
        {{"network median", noise::literal::NetworkMedian}, {"literal median", noise::literal::Median}},
        {{"contraction", noise::Contraction}, {"literal contraction", noise::literal::Contraction}},
        {{"expansion", noise::Expansion}, {"literal expansion", noise::literal::Expansion}},
        {{"inverse", noise::Inverse}, {"literal inverse", noise::literal::Inverse}},
    };
    const std::vector<Plane> pictures = test::HardPictures();
    test::ForEachVectorTarget([&](const std::string& target) {
        for (const Plane& picture : pictures)
            for (const auto& [fast, literal] : pairs)
                ASSERT_EQ(fast.run(picture.gray()), literal.run(picture.gray()))
                    << fast.name << " on " << target << " " << picture.width << "x" << picture.height;
    });
}

TEST(Noise, MeanTruncates) {
    Plane in(3, 3, 255);
    in.at(0, 0) = 254;  // sum 2294
    TRixIPA ipa = in.ipa();
    ipa.NoiseMean();
    EXPECT_EQ(ipa.Pixel(1, 1), 254);
    const Plane random = test::RandomGray(10, 8, 2);
    TRixIPA r = random.ipa();
    r.NoiseMean();
    for (int y = 1; y < 7; ++y)
        for (int x = 1; x < 9; ++x) {
            int sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) sum += random.at(x + dx, y + dy);
            EXPECT_EQ(r.Pixel(x, y), sum / 9);
        }
}

TEST(Noise, SortWindowSortsAnyRange) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 2000; ++trial) {
        std::int32_t values[9];
        for (auto& v : values) v = static_cast<std::int32_t>(rng() % (trial % 2 ? 4 : 256));
        const int left = static_cast<int>(rng() % 9), right = static_cast<int>(rng() % 9);
        std::vector<std::int32_t> expected(values, values + 9);
        if (left < right) std::sort(expected.begin() + left, expected.begin() + right + 1);
        noise::SortWindow(values, left, right);
        EXPECT_EQ(std::vector<std::int32_t>(values, values + 9), expected);
    }
}

TEST(Noise, MedianRemovesIsolatedPixelsKeepsEdgesAndEqualsSortWindow) {
    Plane dot(5, 5, 0);
    dot.at(2, 2) = 255;
    TRixIPA d = dot.ipa();
    d.NoiseMedian();
    EXPECT_EQ(d.GetImage(), Plane(5, 5, 0).pixels);

    Plane edge(6, 5, 10);
    edge.fillRect(3, 0, 5, 4, 200);
    TRixIPA e = edge.ipa();
    e.NoiseMedian();
    EXPECT_EQ(e.GetImage(), edge.pixels);

    // Full range, few levels (many ties) and a salt-and-pepper picture.
    std::vector<Plane> inputs = {test::RandomGray(40, 31, 1), test::RandomPlane(33, 29, 2, {0, 1, 2}),
                                 test::RandomPlane(64, 64, 3, {0, 255, 128, 128, 128, 128})};
    for (const Plane& in : inputs) EXPECT_EQ(noise::Median(in.gray()), noise::literal::Median(in.gray()));
}

TEST(Noise, ContractionAndExpansionSpreadAlongDiagonalsOnly) {
    struct Case {
        std::string name;
        std::function<void(TRixIPA&)> run;
        std::uint8_t field, spot;
    };
    const std::vector<Case> cases = {
        {"contraction", [](TRixIPA& i) { i.NoiseContraction(); }, 255, 0},
        {"expansion", [](TRixIPA& i) { i.NoiseExpansion(); }, 0, 255},
    };
    for (const Case& c : cases) {
        Plane in(7, 7, c.field);
        in.at(3, 3) = c.spot;
        TRixIPA ipa = in.ipa();
        c.run(ipa);
        for (int y = 1; y <= 5; ++y)
            for (int x = 1; x <= 5; ++x) {
                const bool onX = (x == 3 && y == 3) || (std::abs(x - 3) == 1 && std::abs(y - 3) == 1);
                EXPECT_EQ(ipa.Pixel(x, y), onX ? c.spot : c.field) << c.name << " " << x << "," << y;
            }
    }
    // Only exact 0 and 255 spread; anything else neither spreads nor blocks.
    Plane in(3, 3, 128);
    in.at(1, 1) = 254;
    in.at(0, 0) = 255;
    TRixIPA ex = in.ipa();
    ex.NoiseExpansion();
    EXPECT_EQ(ex.Pixel(1, 1), 255);
    in.at(1, 1) = 1;
    in.at(0, 0) = 0;
    TRixIPA co = in.ipa();
    co.NoiseContraction();
    EXPECT_EQ(co.Pixel(1, 1), 0);
    Plane weak(3, 3, 128);
    weak.at(0, 0) = 1;
    weak.at(2, 2) = 254;
    TRixIPA w1 = weak.ipa();
    w1.NoiseContraction();
    TRixIPA w2 = weak.ipa();
    w2.NoiseExpansion();
    EXPECT_EQ(w1.Pixel(1, 1), 128);
    EXPECT_EQ(w2.Pixel(1, 1), 128);
}

TEST(Noise, InverseTwiceGivesTheInputBack) {
    const Plane in = test::RandomGray(7, 5, 8);
    TRixIPA ipa = in.ipa();
    ipa.Inverse();
    for (int i = 0; i < 35; ++i) EXPECT_EQ(ipa.GetImage()[i], 255 - in.pixels[i]);
    ipa.Inverse();
    EXPECT_EQ(ipa.GetImage(), in.pixels);
}

}  // namespace
}  // namespace quillfen
