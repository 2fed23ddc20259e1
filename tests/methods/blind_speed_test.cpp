// The blind methods' fast forms: the strip-wise band transform and write-back against their
// whole-plane twins, the marked bytes and readings at fixed strengths pinned, and the strength
// search that predicts a PSNR from the change's energy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blind_core.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/dct.h"
#include "blind_loops.h"
#include "sync/sync_mark.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

// A colour picture of a width and height that are not multiples of 8 (so that the rows and
// columns beyond the last whole block are exercised): smooth colour ramps, texture, and a band
// of saturated pixels (0 and 255) where the mark is clipped.
Bitmap ColourPicture(int width, int height, std::uint32_t seed) {
    Bitmap picture(width, height);
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 27) - 16;
            auto clip = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            if (y < height / 6) {
                picture.setBgr(x, y, clip(255 + noise / 4), clip(250 + noise), clip(noise / 2));
                continue;
            }
            picture.setBgr(x, y, clip(x * 200 / width + noise), clip(y * 180 / height + 30 + noise / 2),
                           clip((x + y) % 97 + 60 + noise));
        }
    return picture;
}

Bitmap GrayPicture(int width, int height, std::uint32_t seed) {
    const Bitmap colour = ColourPicture(width, height, seed);
    Bitmap gray(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t g = colour.row(y)[3 * x + 1];
            gray.setBgr(x, y, g, g, g);
        }
    return gray;
}

std::uint64_t Fnv(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (const std::uint8_t b : bytes) h = (h ^ b) * 0x100000001B3ULL;
    return h;
}

MethodPayload Payload(const WatermarkMethod& method, std::uint32_t seed) {
    MethodPayload payload;
    payload.Bits = PayloadFromSeed(seed, method.PayloadBits());
    return payload;
}

const std::vector<std::string>& Settings() {
    static const std::vector<std::string> settings = {
        "spread-spectrum:shaping=0", "spread-spectrum:shaping=1", "spread-spectrum", "qim", "qim:alpha=1,step=20",
        "stdm", "stdm:spread=5,bits=7", "rdm", "rdm:memory=4,step=3"};
    return settings;
}

// The marked bytes, the PSNR and the reading of every blind method at a fixed strength, on a
// colour and a gray picture: pinned, so that a faster form that changes a byte or a bit of a
// score fails here.
TEST(BlindMethodsFast, FixedStrengthBytesAndReadingsArePinned) {
    struct Pin {
        const char* setting;
        bool colour;
        std::uint64_t digest;
        double psnr;
        double score;
    };
    const std::vector<Pin> pins = {
#include "blind_speed_pins.inc"
    };
    const Bitmap colour = ColourPicture(301, 267, 3), gray = GrayPicture(283, 258, 4);
    const bool record = std::getenv("QF_RECORD_PINS") != nullptr;
    std::size_t at = 0;
    for (const std::string& setting : Settings())
        for (const bool isColour : {true, false}) {
            const auto method = MakeMethod(setting);
            const Bitmap& host = isColour ? colour : gray;
            const MethodMarked marked = method->Embed(ViewOf(host), Payload(*method, 9), 9);
            const MethodReading reading = method->Detect(ViewOf(marked.Picture), marked.Key);
            const std::uint64_t digest = Fnv(marked.Picture.bytes());
            if (record) {
                std::printf("{\"%s\", %s, 0x%016llxULL, %.17g, %.17g},\n", setting.c_str(), isColour ? "true" : "false",
                            static_cast<unsigned long long>(digest), marked.Psnr, reading.Score);
                continue;
            }
            ASSERT_LT(at, pins.size());
            const Pin& pin = pins[at++];
            EXPECT_EQ(setting, pin.setting);
            EXPECT_EQ(digest, pin.digest) << setting << (isColour ? " colour" : " gray");
            EXPECT_EQ(marked.Psnr, pin.psnr) << setting << (isColour ? " colour" : " gray");
            EXPECT_EQ(reading.Score, pin.score) << setting << (isColour ? " colour" : " gray");
        }
}

// The views a method meets: a colour picture, a colour picture whose pixels are all gray, and
// a gray plane.
struct Hosts {
    Bitmap colour = ColourPicture(301, 267, 3);
    Bitmap grayInColour = GrayPicture(283, 258, 4);
    GrayPlane plane = [] {
        const Bitmap gray = GrayPicture(270, 263, 5);
        GrayPlane p(gray.width(), gray.height());
        for (int y = 0; y < gray.height(); ++y)
            for (int x = 0; x < gray.width(); ++x) p.at(x, y) = gray.row(y)[3 * x];
        return p;
    }();
    std::vector<ImageView> Views() const { return {ViewOf(colour), ViewOf(grayInColour), ImageView(plane)}; }
};

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    return std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The strip-wise transform and write-back (and the block-wise write-back) give, bit for bit,
// what the whole-plane forms give.
TEST(BlindMethodsFast, StripFormsMatchTheWholePlaneForms) {
    const Hosts hosts;
    for (const ImageView& view : hosts.Views()) {
        const detail::Luma luma = detail::LumaOf(view);
        const detail::Band band = detail::BandOf(view, true);
        EXPECT_EQ(band.Gray, luma.Gray);
        EXPECT_TRUE(SameBits(band.Coefficients, detail::BandCoefficients(luma.Values.data(), luma.Width, luma.Height)));
        // Block sums: each whole block's 64 values row by row.
        const int across = luma.Width / 8, down = luma.Height / 8;
        ASSERT_EQ(band.BlockSums.size(), static_cast<std::size_t>(across * down));
        for (int b = 0; b < across * down; b += 37) {
            double sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum = sum + luma.Values[static_cast<std::size_t>((b / across) * 8 + y) * luma.Width + (b % across) * 8 + x];
            EXPECT_EQ(band.BlockSums[static_cast<std::size_t>(b)], sum);
        }
        // A change large enough to clip: the written bytes and the PSNR of the whole-plane forms.
        std::vector<double> change(band.Coefficients.size());
        std::uint32_t state = 99;
        for (double& c : change) {
            state = state * 1664525u + 1013904223u;
            c = (static_cast<double>(state >> 8) / 16777216.0 - 0.5) * 40;
        }
        detail::Luma after = luma;
        detail::AddBandChange(after.Values.data(), after.Width, after.Height, change);
        const Bitmap expected = detail::WriteBack(view, luma, after.Values);
        Bitmap written(view.width(), view.height());
        const std::int64_t squares = detail::WriteBandChange(view, band.Gray, change.data(), &written);
        EXPECT_EQ(written.bytes(), expected.bytes());
        EXPECT_EQ(detail::PsnrOfSquares(squares, view.width(), view.height()), detail::WrittenPsnr(view, expected));
        EXPECT_EQ(detail::WriteBandChange(view, band.Gray, change.data(), nullptr), squares);
        // Block by block (the plain form of rdm's passes), the rest copied: the same bytes and sum.
        Bitmap blockwise(view.width(), view.height(), 7);
        std::int64_t sum = 0;
        for (int b = 0; b < across * down; ++b)
            sum += detail::WriteBlockChange(view, band.Gray, b % across, b / across,
                                            change.data() + static_cast<std::size_t>(b) * detail::kBand.size(), &blockwise);
        detail::CopyBeyondBlocks(view, blockwise);
        EXPECT_EQ(sum, squares);
        EXPECT_TRUE(blockwise.bytes() == expected.bytes());
        EXPECT_EQ(detail::WriteBlockChange(view, band.Gray, 1, 2, change.data() + (2 * across + 1) * detail::kBand.size(),
                                           nullptr),
                  detail::WriteBlockChange(view, band.Gray, 1, 2, change.data() + (2 * across + 1) * detail::kBand.size(),
                                           &blockwise));
    }
    // Nothing changed: the host's own bytes, an infinite PSNR.
    const ImageView view = ViewOf(hosts.colour);
    const std::vector<double> none(detail::CoefficientCount(view.width(), view.height()), 0.0);
    Bitmap written(view.width(), view.height());
    EXPECT_EQ(detail::WriteBandChange(view, false, none.data(), &written), 0);
    EXPECT_EQ(written.bytes(), hosts.colour.bytes());
    EXPECT_TRUE(std::isinf(detail::PsnrOfSquares(0, view.width(), view.height())));
}

// The search's probe: its PSNR is Embed's to the bit, its marking Embed's to the byte, and its
// energy predicts the PSNR before rounding and clipping: within half a decibel on this colour
// picture (a sixth of which clips), whose rounding and clipping the search's passes then correct.
TEST(BlindMethodsFast, ProbeAgreesWithEmbed) {
    const Hosts hosts;
    const ImageView view = ViewOf(hosts.colour);
    for (const std::string& setting : Settings()) {
        const auto method = MakeMethod(setting);
        const MethodPayload payload = Payload(*method, 4);
        const double strength = *method->Strength();
        for (const double s : {strength * 0.7, strength * 1.3}) {
            const auto probe = method->ProbeStrength(view, payload, 4);
            ASSERT_TRUE(probe) << setting;
            EXPECT_EQ(probe->Pixels(), 301.0 * 267);
            const MethodMarked embedded = method->WithStrength(s)->Embed(view, payload, 4);
            EXPECT_EQ(probe->Psnr(s), embedded.Psnr) << setting << " at " << s;
            const double predicted = 10 * std::log10(65025 / (probe->Energy(s) / probe->Pixels()));
            EXPECT_NEAR(predicted, embedded.Psnr, 0.5) << setting << " at " << s;
            EXPECT_LT(probe->Energy(s * 0.8), probe->Energy(s)) << setting;
            const MethodMarked marked = probe->Mark(s);
            EXPECT_EQ(marked.Picture.bytes(), embedded.Picture.bytes()) << setting;
            EXPECT_EQ(marked.Psnr, embedded.Psnr) << setting;
            EXPECT_EQ(marked.Key.Parameters, embedded.Key.Parameters) << setting;
            EXPECT_EQ(marked.Key.Payload, embedded.Key.Payload) << setting;
            EXPECT_EQ(marked.Key.Seed, 4u) << setting;
        }
    }
    // The periodic mark scales one masked pattern to each strength: the same to the byte.
    const auto sync = MakeMethod("spread-spectrum-sync");
    const MethodPayload payload = Payload(*sync, 4);
    const auto probe = sync->ProbeStrength(view, payload, 4);
    const MethodMarked embedded = sync->WithStrength(3.1)->Embed(view, payload, 4);
    EXPECT_EQ(probe->Psnr(3.1), embedded.Psnr);
    EXPECT_EQ(probe->Energy(3.1), 301.0 * 267 * 3.1 * 3.1);
    const MethodMarked marked = probe->Mark(3.1);
    EXPECT_EQ(marked.Picture.bytes(), embedded.Picture.bytes());
    EXPECT_EQ(marked.Key.Parameters, "strength=3.1");
    const MarkedAtPsnr at = MarkAtPsnr(*sync, view, payload, 4, 41);
    EXPECT_NEAR(at.Marked.Psnr, 41, 0.005);
    EXPECT_EQ(at.Method->Parameters(), "strength=2.319");
    EXPECT_EQ(FindStrength(*sync, view, payload, 4, 41)->Parameters(), at.Method->Parameters());
    // The methods without a probe are searched by marking.
    EXPECT_FALSE(MakeMethod("polarity")->ProbeStrength(view, {}, 4));
}

// rdm's passes of the search make the change and write the bytes in one go, blocks written
// between the recursion's steps: on every target and every kind of view (BGR pixels, pixels of
// other strides and order, gray pixels in colour, a gray plane, sizes with rows and columns
// beyond the last block), their PSNR and bytes are the literal marking's (Embed: the whole
// change made, then written back), at the method's step and at one that clips much of the
// picture; a marking at a step other than the last pass's makes its own pass.
TEST(BlindMethodsFast, RdmPassesAreTheLiteralMarkingOnEveryTarget) {
    const Hosts hosts;
    // The colour picture as RGBA pixels, red first: no BGR row to read.
    const Bitmap& colour = hosts.colour;
    const int w = colour.width(), h = colour.height();
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) rgba[(static_cast<std::size_t>(y) * w + x) * 4 + c] = colour.row(y)[3 * x + 2 - c];
    const GrayView red(rgba.data(), w, h, 4 * w, 4), green(rgba.data() + 1, w, h, 4 * w, 4),
        blue(rgba.data() + 2, w, h, 4 * w, 4);
    std::vector<ImageView> views = hosts.Views();
    views.emplace_back(red, green, blue);
    for (const std::string setting : {"rdm", "rdm:memory=4,step=3"}) {
        const auto method = MakeMethod(setting);
        const MethodPayload payload = Payload(*method, 3);
        for (std::size_t v = 0; v < views.size(); ++v)
            for (const double s : {*method->Strength(), *method->Strength() * 8}) {
                const MethodMarked literal = method->WithStrength(s)->Embed(views[v], payload, 3);
                test::ForEachVectorTarget([&](const std::string& target) {
                    const std::string where = setting + " view " + std::to_string(v) + " at " + std::to_string(s) + " on " + target;
                    const auto probe = method->ProbeStrength(views[v], payload, 3);
                    EXPECT_EQ(probe->Psnr(s), literal.Psnr) << where;
                    EXPECT_NE(probe->Psnr(s * 0.75), literal.Psnr) << where;
                    const MethodMarked marked = probe->Mark(s);  // after a pass at another step
                    EXPECT_EQ(marked.Psnr, literal.Psnr) << where;
                    EXPECT_TRUE(marked.Picture.bytes() == literal.Picture.bytes()) << where;
                    EXPECT_EQ(marked.Key.Parameters, literal.Key.Parameters) << where;
                });
            }
    }
    // The RGBA view reads the same pixels as the BGR one: the same marking.
    const auto rdm = MakeMethod("rdm");
    EXPECT_TRUE(rdm->Embed(views.back(), Payload(*rdm, 3), 3).Picture.bytes() ==
                rdm->Embed(views.front(), Payload(*rdm, 3), 3).Picture.bytes());
}

// rdm's energy model runs its sixteen stretches abreast (in vector lanes), each in its own
// order, their squares summed stretch after stretch: on every target, its predictions at three
// steps are pinned to the bit (the values of the stretches run one after another), on a
// picture run whole (under sixteen stretches' length) and on one long enough for the stretches.
TEST(BlindMethodsFast, RdmEnergyModelIsPinned) {
    const Bitmap small = ColourPicture(301, 267, 3), large = ColourPicture(520, 456, 8);
    const std::vector<double> pins = {
#include "rdm_energy_pins.inc"
    };
    const bool record = std::getenv("QF_RECORD_PINS") != nullptr;
    test::ForEachVectorTarget([&](const std::string& target) {
        std::size_t at = 0;
        for (const std::string setting : {"rdm", "rdm:memory=4,step=3"})
            for (const Bitmap* picture : {&small, &large}) {
                const auto method = MakeMethod(setting);
                const auto probe = method->ProbeStrength(ViewOf(*picture), Payload(*method, 5), 5);
                for (const double s : {0.7, 3.0, 5.5}) {
                    const double energy = probe->Energy(s);
                    if (record) {
                        std::printf("%.17g,\n", energy);
                        continue;
                    }
                    ASSERT_LT(at, pins.size());
                    EXPECT_EQ(energy, pins[at++]) << setting << " " << picture->width() << " at " << s << " on " << target;
                }
            }
    });
}

// The quantisers' reading loop in vector lanes gives, on every target this machine runs, the
// bits of LatticeSide item by item: values on and between the lattices, exactly half-way,
// beyond 2^52 (where positions are whole), negative, zero of either sign, and counts that
// leave a remainder after the last whole vector. Three sides are pinned outright.
TEST(BlindMethodsFast, LatticeSidesAreThePlainFormOnEveryTarget) {
    const std::size_t n = 1037;
    std::vector<double> value(n), dither(n), twins[4];
    for (auto& t : twins) t.resize(n);
    std::uint32_t state = 5;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 16777216.0;
    };
    const double step = 7.25;
    const double special[] = {0.0, -0.0, step / 4, -step / 4, step / 2, 3 * step / 4, 1e17, -1e17, 4503599627370497.0,
                              -123.4375, 1e-300};
    for (std::size_t k = 0; k < n; ++k) {
        dither[k] = k % 7 == 0 ? 0.0 : (next() - 0.5) * step;
        value[k] = k % 5 == 0 ? special[k / 5 % 11] : (next() - 0.5) * 600;
        for (auto& t : twins) t[k] = k % 3 == 0 ? special[(k / 3 + 4) % 11] : (next() - 0.5) * 600;
    }
    std::vector<double> sides(n), terms(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double side = detail::LatticeSide(value[k], dither[k], step);
        double around = 0;
        for (const auto& t : twins) around = around + detail::LatticeSide(t[k], dither[k], step);
        sides[k] = side;
        terms[k] = side - around / 4;
    }
    // On the 0-bit lattice +1, on the 1-bit lattice -1, a quarter step between them 0.
    EXPECT_EQ(detail::LatticeSide(0.0, 0.0, step), 1.0);
    EXPECT_EQ(detail::LatticeSide(step / 2, 0.0, step), -1.0);
    EXPECT_EQ(detail::LatticeSide(-step / 4, 0.0, step), 0.0);
    const double* inputs[4] = {twins[0].data(), twins[1].data(), twins[2].data(), twins[3].data()};
    test::ForEachVectorTarget([&](const std::string& target) {
        for (const std::size_t count : {n, std::size_t{3}, std::size_t{0}}) {
            std::vector<double> gotSides(n, 9.0), gotTerms(n, 9.0);
            blind_loops::Sides(value.data(), inputs, dither.data(), step, count, gotSides.data(), gotTerms.data());
            EXPECT_EQ(std::memcmp(gotSides.data(), sides.data(), count * sizeof(double)), 0) << target << " " << count;
            EXPECT_EQ(std::memcmp(gotTerms.data(), terms.data(), count * sizeof(double)), 0) << target << " " << count;
            EXPECT_EQ(gotSides[count == n ? n - 1 : count], count == n ? sides[n - 1] : 9.0) << "wrote past the count";
        }
    });
}

// The band's transforms in vector lanes give, on every target, the bits of the literal
// whole-plane forms: a strip of 13 whole blocks and five columns beyond them (left as they
// are), values and changes large and small of both signs.
TEST(BlindMethodsFast, BandStripsAreTheLiteralTransformsOnEveryTarget) {
    const int width = 13 * 8 + 5;
    std::uint32_t state = 21;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 16777216.0 - 0.5;
    };
    std::vector<double> strip(static_cast<std::size_t>(width) * 8), change(13 * detail::kBand.size());
    for (double& v : strip) v = 128 + 200 * next();
    for (std::size_t k = 0; k < change.size(); ++k) change[k] = k % 9 == 0 ? 0.0 : next() * (k % 4 == 0 ? 1e3 : 3);
    std::vector<double> expected = strip;
    detail::AddBandChange(expected.data(), width, 8, change);
    // Pinned: the first pixel, and a column beyond the last block untouched.
    EXPECT_EQ(expected[0] - strip[0], -38.845587852021971);
    EXPECT_EQ(expected[width - 1], strip[width - 1]);
    // The literal form through the public entry (BandOf's twin) and the dispatched one.
    double cosine[7][8], scale[7];
    for (int u = 0; u < 7; ++u) {
        for (int x = 0; x < 8; ++x) cosine[u][x] = std::cos(u * M_PI * (2 * x + 1) / 16);
        scale[u] = (u == 0 ? kDctC0 : 1.0) * 0.5;
    }
    const std::vector<double> coefficients = detail::BandCoefficients(strip.data(), width, 8);
    ASSERT_EQ(coefficients.size(), change.size());
    EXPECT_EQ(coefficients[0], 84.303343536114298);
    test::ForEachVectorTarget([&](const std::string& target) {
        std::vector<double> got = strip;
        blind_loops::AddBandStrip(got.data(), width, change.data(), cosine, scale);
        EXPECT_TRUE(SameBits(got, expected)) << target;
        std::vector<double> band(coefficients.size(), 7.0);
        blind_loops::BandStrip(strip.data(), width, cosine, scale, band.data());
        EXPECT_TRUE(SameBits(band, coefficients)) << target;
    });
}

// The neighbours found from a block's place are the table's, in every direction, for every
// coefficient of grids with edges on all sides (and a grid two blocks wide, where the block on
// the other side stands in on both sides).
TEST(BlindMethodsFast, NeighboursFromThePlaceAreTheTables) {
    for (const detail::Grid grid : {detail::Grid{7, 5}, detail::Grid{2, 3}, detail::Grid{33, 32}}) {
        const detail::NeighbourTable table(grid);
        const std::size_t n = static_cast<std::size_t>(grid.Across * grid.Down) * detail::kBand.size();
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < n; ++i) {
            std::size_t at[4];
            detail::Neighbours(i, grid, at);
            for (int d = 0; d < 4; ++d) wrong += at[d] != table.At(i, d) || at[d] != detail::Neighbour(i, d, grid);
        }
        EXPECT_EQ(wrong, 0u) << grid.Across << " x " << grid.Down;
    }
    // Coefficient 3 of block (0, 0) of a 7 x 5 grid: right and below stand in for left and above.
    std::size_t at[4];
    detail::Neighbours(3, {7, 5}, at);
    EXPECT_EQ(at[0], 25u);
    EXPECT_EQ(at[1], 25u);
    EXPECT_EQ(at[2], 157u);
    EXPECT_EQ(at[3], 157u);
}

// The periodic mark marks a row at a time: its masked pattern's rows and energy are the
// whole-plane pattern's to the bit (odd sizes, so that the mask's last blocks are cut), and its
// marked bytes and PSNR, by Embed and by the probe, are those the whole-plane change writes
// back, at a strength of 2.5 and at one of 30 that clips much of the picture. Pinned as well.
TEST(BlindMethodsFast, PeriodicMarkRowsMatchTheWholePlane) {
    const Hosts hosts;
    const std::vector<std::pair<std::uint64_t, double>> pins = {{0x55f3f06c67e620f4ULL, 40.363354961205225},
                                                                 {0x348248f69a8350ecULL, 40.290732109368371},
                                                                 {0xc2b2f872ce2802faULL, 40.295046323700269}};
    const bool record = std::getenv("QF_RECORD_PINS") != nullptr;
    std::size_t at = 0;
    for (const ImageView& view : hosts.Views()) {
        const detail::Luma luma = detail::LumaOf(view);
        const auto method = MakeMethod("spread-spectrum-sync");
        const MethodPayload payload = Payload(*method, 11);
        sync::PayloadBits bits{};  // without a code, the payload itself
        for (std::size_t b = 0; b < bits.size(); ++b) bits[b] = payload.Bits[b];
        double energy = 0;
        const std::vector<double> whole = sync::MaskedPattern(luma.Values.data(), luma.Width, luma.Height, bits, 11, energy);
        int calls = 0;
        const sync::MaskedRows rows(luma.Width, luma.Height, bits, 11, [&](int y, double* out) {
            EXPECT_EQ(y, calls++);
            detail::LumaRow(view, y, out);
        });
        EXPECT_EQ(calls, luma.Height);
        EXPECT_EQ(rows.Energy(), energy);
        std::vector<double> row(static_cast<std::size_t>(luma.Width));
        bool same = true;
        for (int y = luma.Height - 1; y >= 0; --y) {  // any order
            rows.Row(y, row.data());
            same = same && std::memcmp(row.data(), whole.data() + static_cast<std::size_t>(y) * luma.Width,
                                       row.size() * sizeof(double)) == 0;
        }
        EXPECT_TRUE(same);

        for (const double strength : {2.5, 30.0}) {
            const std::vector<double> change =
                sync::EmbedChange(luma.Values.data(), luma.Width, luma.Height, bits, 11, strength);
            const Bitmap expected = detail::WriteBackChange(view, luma, change);
            const MethodMarked marked = method->WithStrength(strength)->Embed(view, payload, 11);
            EXPECT_EQ(marked.Picture.bytes(), expected.bytes()) << strength;
            EXPECT_EQ(marked.Psnr, detail::WrittenPsnr(view, expected)) << strength;
            const auto probe = method->ProbeStrength(view, payload, 11);
            EXPECT_EQ(probe->Psnr(strength), marked.Psnr);
            EXPECT_EQ(probe->Mark(strength).Picture.bytes(), expected.bytes()) << strength;
            if (strength != 2.5) continue;
            const std::uint64_t digest = Fnv(marked.Picture.bytes());
            if (record) std::printf("0x%016llxULL %.17g\n", static_cast<unsigned long long>(digest), marked.Psnr);
            else {
                EXPECT_EQ(digest, pins[at].first);
                EXPECT_EQ(marked.Psnr, pins[at++].second);
            }
        }
    }
    // A host too small, as the whole-plane form refuses it.
    EXPECT_THROW(sync::MaskedRows(255, 300, {}, 1, [](int, double*) {}), ArgumentError);
}

// Marking at a target: the PSNR of the bytes written within 0.005 dB of it (the generic search
// settles for 0.05), the same strength whether the marking comes with it (embed) or not
// (sweeps), and that marking is Embed's at that strength. The strengths found are pinned.
TEST(BlindMethodsFast, TargetPsnrLandsWithinFiveThousandths) {
    const Hosts hosts;
    const ImageView view = ViewOf(hosts.colour);
    const std::vector<std::string> found = {
        "strength=5.051,bits=64,shaping=0", "strength=5.258,bits=64,shaping=1", "strength=5.111,bits=64,shaping=2",
        "step=43.84,bits=64,alpha=0.4", "step=17.54,bits=64,alpha=1", "step=144.5,bits=64,alpha=0.5,spread=16",
        "step=78.51,bits=7,alpha=0.5,spread=5", "step=4.493,bits=64,alpha=0.4,memory=44",
        "step=4.543,bits=64,alpha=0.4,memory=4"};
    const bool record = std::getenv("QF_RECORD_PINS") != nullptr;
    for (std::size_t k = 0; k < Settings().size(); ++k) {
        const auto method = MakeMethod(Settings()[k]);
        const MethodPayload payload = Payload(*method, 6);
        const MarkedAtPsnr at = MarkAtPsnr(*method, view, payload, 6, 39);
        if (record) {
            std::printf("\"%s\", %.6f\n", at.Method->Parameters().c_str(), at.Marked.Psnr);
            continue;
        }
        EXPECT_NEAR(at.Marked.Psnr, 39, 0.005) << Settings()[k];
        EXPECT_EQ(at.Method->Parameters(), found[k]) << Settings()[k];
        EXPECT_EQ(FindStrength(*method, view, payload, 6, 39)->Parameters(), at.Method->Parameters());
        const MethodMarked again = at.Method->Embed(view, payload, 6);
        EXPECT_EQ(again.Picture.bytes(), at.Marked.Picture.bytes()) << Settings()[k];
        EXPECT_EQ(again.Psnr, at.Marked.Psnr);
    }
}

// A picture mostly at 0 and 255, where clipping takes away much of the change that the energy
// predicts: the target is still reached (the passes correct the prediction, and where they
// cannot, the search by marking takes over).
TEST(BlindMethodsFast, ClippedPicturesStillReachTheTarget) {
    Bitmap picture(264, 260);
    std::uint32_t state = 7;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const int r = static_cast<int>(state >> 24);
            const std::uint8_t v = r < 110 ? 0 : r < 220 ? 255 : static_cast<std::uint8_t>(r);
            picture.setBgr(x, y, v, static_cast<std::uint8_t>(255 - v), v);
        }
    const ImageView view = ViewOf(picture);
    for (const std::string setting : {"spread-spectrum", "qim", "stdm", "rdm"}) {
        const auto method = MakeMethod(setting);
        const MethodPayload payload = Payload(*method, 2);
        const auto probe = method->ProbeStrength(view, payload, 2);
        const double s = *method->Strength();
        const double predicted = 10 * std::log10(65025 / (probe->Energy(s) / probe->Pixels()));
        const double actual = probe->Psnr(s);
        EXPECT_GT(actual - predicted, 1.0) << setting << ": clipping should take a decibel or more away";
        const MarkedAtPsnr at = MarkAtPsnr(*method, view, payload, 2, 40);
        EXPECT_NEAR(at.Marked.Psnr, 40, 0.05) << setting;
    }
}

}  // namespace
}  // namespace quillfen
