#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "quillfen/toolbox/edges.h"
#include "quillfen/toolbox/histogram.h"
#include "quillfen/toolbox/rix_ipa.h"
#include "tests/test_support.h"
#include "tests/toolbox/toolbox_images.h"

namespace quillfen {
namespace {

using test::Plane;

struct Operator {
    std::string name;
    std::function<void(TRixIPA&)> run;
};

const std::vector<Operator>& ThreeByThree() {
    static const std::vector<Operator> ops = {
        {"Roberts", [](TRixIPA& i) { i.EdgeRoberts(1.0); }},
        {"Prewitt", [](TRixIPA& i) { i.EdgePrewitt(1.0); }},
        {"Sobel", [](TRixIPA& i) { i.EdgeSobel(1.0); }},
        {"FreiChen", [](TRixIPA& i) { i.EdgeFreiChen(1.0); }},
        {"Laplacian1", [](TRixIPA& i) { i.EdgeLaplacian1(); }},
        {"Laplacian2", [](TRixIPA& i) { i.EdgeLaplacian2(); }},
        {"Laplacian3", [](TRixIPA& i) { i.EdgeLaplacian3(); }},
    };
    return ops;
}

// The masks as written in the operators' definition, applied as a plain correlation; the
// production code unrolls them by hand.
using Mask = std::array<std::array<double, 3>, 3>;
Plane Correlate(const Plane& in, const std::vector<Mask>& masks, double scale, bool gradient) {
    Plane out(in.width, in.height, 0);
    for (int y = 1; y < in.height - 1; ++y) {
        for (int x = 1; x < in.width - 1; ++x) {
            double m = 0.0;
            for (const Mask& mask : masks) {
                double s = 0.0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) s += mask[dy + 1][dx + 1] * in.at(x + dx, y + dy);
                m += std::fabs(s);
            }
            const double v = gradient ? std::nearbyint(m * scale) : m;
            out.at(x, y) = static_cast<std::uint8_t>(std::min(v, 255.0));
        }
    }
    return out;
}

TEST(Edges, ThreeByThreeOperatorsMatchTheirMasksOnRandomImages) {
    const double r2 = std::sqrt(2.0);
    const std::vector<std::pair<std::string, std::vector<Mask>>> masks = {
        {"Roberts", {Mask{{{0, 0, -1}, {0, 1, 0}, {0, 0, 0}}}, Mask{{{-1, 0, 0}, {0, 1, 0}, {0, 0, 0}}}}},
        {"Prewitt", {Mask{{{1, 0, -1}, {1, 0, -1}, {1, 0, -1}}}, Mask{{{-1, -1, -1}, {0, 0, 0}, {1, 1, 1}}}}},
        {"Sobel", {Mask{{{1, 0, -1}, {2, 0, -2}, {1, 0, -1}}}, Mask{{{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}}}}},
        {"FreiChen", {Mask{{{1, 0, -1}, {r2, 0, -r2}, {1, 0, -1}}}, Mask{{{-1, -r2, -1}, {0, 0, 0}, {1, r2, 1}}}}},
        {"Laplacian1", {Mask{{{0, -1, 0}, {-1, 4, -1}, {0, -1, 0}}}}},
        {"Laplacian2", {Mask{{{-1, -1, -1}, {-1, 8, -1}, {-1, -1, -1}}}}},
        {"Laplacian3", {Mask{{{1, -2, 1}, {-2, 4, -2}, {1, -2, 1}}}}},
    };
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        // Low contrast keeps most results below the clamp, so the masks really show.
        const Plane in = test::RandomPlane(23, 17, seed, {0, 3, 7, 10, 12, 20, 21, 40});
        for (std::size_t k = 0; k < masks.size(); ++k) {
            TRixIPA ipa = in.ipa();
            ThreeByThree()[k].run(ipa);
            const bool gradient = k < 4;
            EXPECT_EQ(ipa.GetImage(), Correlate(in, masks[k].second, 1.0, gradient).pixels)
                << masks[k].first << " seed " << seed;
        }
    }
}

// The vector loops (whole-number scales), the tables (other scales) and the plain Frei-Chen
// beyond its usual scales, against the byte of M x scale at every pixel, on every target.
TEST(Edges, FastFormsGiveTheLiteralBytesOnEveryTarget) {
    using Scaled = GrayPlane (*)(const GrayPlane&, double);
    using Plain = GrayPlane (*)(const GrayPlane&);
    const std::vector<std::tuple<std::string, Scaled, Scaled>> scaled = {
        {"general", edges::General, edges::literal::General},
        {"general vertical", edges::GeneralVertical, edges::literal::GeneralVertical},
        {"general horizontal", edges::GeneralHorizontal, edges::literal::GeneralHorizontal},
        {"Roberts", edges::Roberts, edges::literal::Roberts},
        {"Prewitt", edges::Prewitt, edges::literal::Prewitt},
        {"Sobel", edges::Sobel, edges::literal::Sobel},
        {"Frei-Chen", edges::FreiChen, edges::literal::FreiChen},
    };
    const std::vector<std::tuple<std::string, Plain, Plain>> plain = {
        {"Laplacian1", edges::Laplacian1, edges::literal::Laplacian1},
        {"Laplacian2", edges::Laplacian2, edges::literal::Laplacian2},
        {"Laplacian3", edges::Laplacian3, edges::literal::Laplacian3},
    };
    const double scales[] = {0.0, 1.0, 255.0, 256.0, 0.5, -1.0, 1e6, std::nan("")};
    const std::vector<Plane> pictures = test::HardPictures();
    test::ForEachVectorTarget([&](const std::string& target) {
        for (const Plane& picture : pictures) {
            const GrayPlane in = picture.gray();
            const std::string where = target + " " + std::to_string(picture.width) + "x" + std::to_string(picture.height);
            for (const auto& [name, fast, literal] : scaled)
                for (const double scale : scales)
                    ASSERT_EQ(fast(in, scale), literal(in, scale)) << name << " scale " << scale << " " << where;
            for (const auto& [name, fast, literal] : plain) ASSERT_EQ(fast(in), literal(in)) << name << " " << where;
        }
    });
}

// Frei-Chen's M is a whole number wherever the sqrt 2 terms cancel, and M x scale then can be
// a half exactly, where the plain form's rounding errors decide which way the byte goes. A
// middle row repeating every second pixel and rows above and below equal at the even
// columns make every even column such a pixel (b(x - 1) = b(x + 1), a(x) = c(x)), with M
// even: a scale of 1/4 puts half of them on a half.
TEST(Edges, FreiChenRoundsHalvesAsThePlainFormDoes) {
    Plane in = test::RandomGray(131, 3, 11);
    for (int x = 0; x < in.width; ++x) {
        in.at(x, 1) = in.at(x % 2, 1);
        if (x % 2 == 0) in.at(x, 2) = in.at(x, 0);
    }
    const GrayPlane gray = in.gray();
    test::ForEachVectorTarget([&](const std::string& target) {
        for (const double scale : {0.25, 0.75})
            EXPECT_EQ(edges::FreiChen(gray, scale), edges::literal::FreiChen(gray, scale)) << target << " " << scale;
    });
}

TEST(Edges, UniformAndTinyImages) {
    // A uniform image: every mask sums to 0.
    for (const Operator& op : ThreeByThree()) {
        TRixIPA ipa = Plane(9, 7, 173).ipa();
        op.run(ipa);
        EXPECT_EQ(ipa.GetImage(), Plane(9, 7, 0).pixels) << op.name;
    }
    // Narrower or lower than 3: the 3 x 3 operators have no interior and give all 0.
    for (const auto& [w, h] : {std::pair{2, 5}, std::pair{5, 2}, std::pair{1, 1}}) {
        for (const Operator& op : ThreeByThree()) {
            TRixIPA ipa = test::RandomGray(w, h, 9).ipa();
            op.run(ipa);
            EXPECT_EQ(ipa.GetImage(), Plane(w, h, 0).pixels) << op.name << " " << w << "x" << h;
        }
    }
}

TEST(Edges, BorderOfEveryThreeByThreeResultIsZero) {
    const Plane in = test::RandomGray(12, 10, 4);
    for (const Operator& op : ThreeByThree()) {
        TRixIPA ipa = in.ipa();
        op.run(ipa);
        for (int x = 0; x < 12; ++x) {
            EXPECT_EQ(ipa.Pixel(x, 0), 0) << op.name;
            EXPECT_EQ(ipa.Pixel(x, 9), 0) << op.name;
        }
        for (int y = 0; y < 10; ++y) {
            EXPECT_EQ(ipa.Pixel(0, y), 0) << op.name;
            EXPECT_EQ(ipa.Pixel(11, y), 0) << op.name;
        }
    }
}

TEST(Edges, VerticalStepThroughPrewittSobelFreiChenRoberts) {
    struct Case {
        std::string name;
        std::function<void(TRixIPA&)> run;
        int step;
        int expected;  // in the two columns beside the step
    };
    const std::vector<Case> cases = {
        {"Prewitt 100", [](TRixIPA& i) { i.EdgePrewitt(1.0); }, 100, 255},  // 300 clamped
        {"Sobel 100", [](TRixIPA& i) { i.EdgeSobel(1.0); }, 100, 255},      // 400 clamped
        {"Prewitt 20", [](TRixIPA& i) { i.EdgePrewitt(1.0); }, 20, 60},
        {"Sobel 20", [](TRixIPA& i) { i.EdgeSobel(1.0); }, 20, 80},
        {"FreiChen 20", [](TRixIPA& i) { i.EdgeFreiChen(1.0); }, 20, 68},  // 40 + 20 sqrt 2
        {"Roberts 20", [](TRixIPA& i) { i.EdgeRoberts(1.0); }, 20, 20},
    };
    for (const Case& c : cases) {
        Plane in(8, 6, 0);
        in.fillRect(4, 0, 7, 5, static_cast<std::uint8_t>(c.step));
        TRixIPA ipa = in.ipa();
        c.run(ipa);
        for (int y = 1; y <= 4; ++y) {
            for (int x = 1; x <= 6; ++x) {
                const int want = (x == 3 || x == 4) ? c.expected : 0;
                EXPECT_EQ(ipa.Pixel(x, y), want) << c.name << " at " << x << "," << y;
            }
        }
    }
}

TEST(Edges, GeneralOperatorsSaturateEarlyAndTreatOutsideAsZero) {
    // Two pixels [0, d]: the first compares with its right neighbour, the last with 0.
    for (const auto& [d, want] : {std::pair{84, 252}, std::pair{85, 255}, std::pair{86, 255}}) {
        Plane in(2, 1, 0);
        in.at(1, 0) = static_cast<std::uint8_t>(d);
        TRixIPA ipa = in.ipa();
        ipa.EdgeGeneralVertical(3.0);
        EXPECT_EQ(ipa.Pixel(0, 0), want) << d;
        EXPECT_EQ(ipa.Pixel(1, 0), want) << d;
    }
    // The right-hand neighbour of the last column is the first pixel of the next row.
    const Plane in = [] {
        Plane p(2, 2);
        p.pixels = {10, 20, 50, 60};
        return p;
    }();
    TRixIPA v = in.ipa();
    v.EdgeGeneralVertical(1.0);
    EXPECT_EQ(v.GetImage(), (std::vector<std::uint8_t>{10, 30, 10, 60}));
    TRixIPA h = in.ipa();
    h.EdgeGeneralHorizontal(1.0);
    EXPECT_EQ(h.GetImage(), (std::vector<std::uint8_t>{40, 40, 50, 60}));
    TRixIPA g = in.ipa();
    g.EdgeGeneral(1.0);
    EXPECT_EQ(g.GetImage(), (std::vector<std::uint8_t>{50, 70, 60, 120}));
    // A uniform image is 0 wherever the neighbours lie inside.
    TRixIPA u = Plane(4, 3, 50).ipa();
    u.EdgeGeneral(3.0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(u.Pixel(x, y), 0);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(u.Pixel(x, 2), 150);  // below is outside: 50 x 3
    EXPECT_EQ(u.Pixel(3, 2), 255);  // right and below outside: 100 x 3, clamped
}

TEST(Edges, FreiChenAtUnusualScalesMatchesItsMasks) {
    const double r2 = std::sqrt(2.0);
    const std::vector<Mask> masks = {Mask{{{1, 0, -1}, {r2, 0, -r2}, {1, 0, -1}}},
                                     Mask{{{-1, -r2, -1}, {0, 0, 0}, {1, r2, 1}}}};
    const Plane in = test::RandomPlane(19, 13, 6, {0, 1, 2, 5, 9, 200});
    for (const double scale : {0.37, 0.5, 3.0, 99999.0, 250000.0, 1e300}) {
        TRixIPA ipa = in.ipa();
        ipa.EdgeFreiChen(scale);
        EXPECT_EQ(ipa.GetImage(), Correlate(in, masks, scale, true).pixels) << scale;
    }
    TRixIPA negative = in.ipa();
    negative.EdgeFreiChen(-2.0);
    EXPECT_EQ(negative.GetImage(), Plane(19, 13, 0).pixels);
}

TEST(Edges, ScaledMagnitudeRoundsHalfToEvenAndNeverWraps) {
    Plane in(5, 1, 0);
    in.pixels = {0, 5, 0, 7, 0};
    TRixIPA ipa = in.ipa();
    ipa.EdgeGeneralVertical(0.5);  // 2.5, 2.5, 3.5, 3.5, 0
    EXPECT_EQ(ipa.GetImage(), (std::vector<std::uint8_t>{2, 2, 4, 4, 0}));
    TRixIPA negative = in.ipa();
    negative.EdgeGeneralVertical(-1.0);  // a negative scale gives 0, not a wrapped byte
    EXPECT_EQ(negative.GetImage(), Plane(5, 1, 0).pixels);
}

TEST(Edges, LaplaciansOfASinglePixel) {
    Plane in(5, 5, 0);
    in.at(2, 2) = 255;
    TRixIPA l1 = in.ipa();
    l1.EdgeLaplacian1();
    TRixIPA l2 = in.ipa();
    l2.EdgeLaplacian2();
    for (int y = 1; y <= 3; ++y) {
        for (int x = 1; x <= 3; ++x) {
            EXPECT_EQ(l2.Pixel(x, y), 255) << x << "," << y;
            const bool diagonal = x != 2 && y != 2;
            EXPECT_EQ(l1.Pixel(x, y), diagonal ? 0 : 255) << x << "," << y;
        }
    }
}

TEST(Edges, TheHistogramFollowsTheEdgeImage) {
    const Plane in = test::RandomGray(6, 6, 3);
    TRixIPA ipa = in.ipa();
    ipa.EdgeSobel(1.0);
    EXPECT_EQ(ipa.GetHistogramCounts(), histogram::CountLevels(ipa.Plane()));
    EXPECT_GE(ipa.GetHistogram(0), 20);  // the 20 border pixels at least
}

}  // namespace
}  // namespace quillfen
