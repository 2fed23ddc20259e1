// The blind methods' fast forms: the strip-wise band transform and write-back against their
// whole-plane twins, the marked bytes and readings at fixed strengths pinned, and the strength
// search that predicts a PSNR from the change's energy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "blind_core.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"
#include "quillfen/methods/method.h"

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

const std::vector<std::string>& Specs() {
    static const std::vector<std::string> specs = {
        "spread-spectrum:shaping=0", "spread-spectrum:shaping=1", "spread-spectrum", "qim", "qim:alpha=1,step=20",
        "stdm", "stdm:spread=5,bits=7", "rdm", "rdm:memory=4,step=3"};
    return specs;
}

// The marked bytes, the PSNR and the reading of every blind method at a fixed strength, on a
// colour and a gray picture: pinned, so that a faster form that changes a byte or a bit of a
// score fails here.
TEST(BlindMethodsFast, FixedStrengthBytesAndReadingsArePinned) {
    struct Pin {
        const char* spec;
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
    for (const std::string& spec : Specs())
        for (const bool isColour : {true, false}) {
            const auto method = MakeMethod(spec);
            const Bitmap& host = isColour ? colour : gray;
            const MethodMarked marked = method->Embed(ViewOf(host), Payload(*method, 9), 9);
            const MethodReading reading = method->Detect(ViewOf(marked.Picture), marked.Key);
            const std::uint64_t digest = Fnv(marked.Picture.bytes());
            if (record) {
                std::printf("{\"%s\", %s, 0x%016llxULL, %.17g, %.17g},\n", spec.c_str(), isColour ? "true" : "false",
                            static_cast<unsigned long long>(digest), marked.Psnr, reading.Score);
                continue;
            }
            ASSERT_LT(at, pins.size());
            const Pin& pin = pins[at++];
            EXPECT_EQ(spec, pin.spec);
            EXPECT_EQ(digest, pin.digest) << spec << (isColour ? " colour" : " gray");
            EXPECT_EQ(marked.Psnr, pin.psnr) << spec << (isColour ? " colour" : " gray");
            EXPECT_EQ(reading.Score, pin.score) << spec << (isColour ? " colour" : " gray");
        }
}

}  // namespace
}  // namespace quillfen
