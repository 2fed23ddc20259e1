// SSIM against an independent implementation, the bit error rate, and PSNR's infinite case.
#include "quillfen/watermark/metrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

std::vector<double> Picture(int width, int height, const std::function<double(int, int)>& f) {
    std::vector<double> p;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p.push_back(f(x, y));
    return p;
}

// The reference values come from scikit-image 0.19.3 (Debian's python3-skimage) with this
// program, run as /usr/bin/python3 ssim_reference.py:
//
//   import numpy as np
//   from skimage.metrics import structural_similarity as ssim
//   def pic(w, h, f): return np.array([[f(x, y) for x in range(w)] for y in range(h)], dtype=np.float64)
//   cases = [
//     (16, 16, lambda x, y: (x * 17 + y * 31) % 256, lambda x, y: (x * 17 + y * 31 + (x * y) % 23) % 256),
//     (24, 20, lambda x, y: (x * x + 3 * y * y) % 256, lambda x, y: 255 - (x * x + 3 * y * y) % 256),
//     (32, 32, lambda x, y: 20 + 200 * ((x // 4 + y // 4) % 2),
//              lambda x, y: 20 + 200 * (((x + 1) // 4 + y // 4) % 2)),
//     (12, 15, lambda x, y: x + 0.5 * y, lambda x, y: 1.1 * (x + 0.5 * y) + 3),
//     (11, 11, lambda x, y: 100, lambda x, y: 50),
//   ]
//   for w, h, f, g in cases:
//       print(repr(ssim(pic(w, h, f), pic(w, h, g), gaussian_weights=True, sigma=1.5,
//                       use_sample_covariance=False, data_range=255)))
//
// scikit-image filters with mirrored borders and then averages only the positions at least
// five pixels from every border, which are exactly the windows wholly inside the picture.
TEST(StructuralSimilarity, MatchesScikitImage) {
    struct Case {
        int width;
        int height;
        std::function<double(int, int)> a;
        std::function<double(int, int)> b;
        double expected;
    };
    const Case cases[] = {
        {16, 16, [](int x, int y) { return (x * 17 + y * 31) % 256; },
         [](int x, int y) { return (x * 17 + y * 31 + (x * y) % 23) % 256; }, 0.8496360089153712},
        {24, 20, [](int x, int y) { return (x * x + 3 * y * y) % 256; },
         [](int x, int y) { return 255 - (x * x + 3 * y * y) % 256; }, -0.9749891140514283},
        {32, 32, [](int x, int y) { return 20 + 200 * ((x / 4 + y / 4) % 2); },
         [](int x, int y) { return 20 + 200 * (((x + 1) / 4 + y / 4) % 2); }, 0.48781705742445874},
        {12, 15, [](int x, int y) { return x + 0.5 * y; }, [](int x, int y) { return 1.1 * (x + 0.5 * y) + 3; },
         0.9389598447554448},
        {11, 11, [](int, int) { return 100; }, [](int, int) { return 50; }, 0.8001039859065314},
    };
    for (const Case& c : cases) {
        const std::vector<double> a = Picture(c.width, c.height, c.a);
        const std::vector<double> b = Picture(c.width, c.height, c.b);
        EXPECT_NEAR(StructuralSimilarity(a, b, c.width, c.height), c.expected, 1e-12) << c.width << "x" << c.height;
        EXPECT_NEAR(StructuralSimilarity(b, a, c.width, c.height), c.expected, 1e-12) << "swapped";
        // The byte form, where the pictures are bytes.
        if (std::all_of(a.begin(), a.end(), [](double v) { return v == std::floor(v); }) &&
            std::all_of(b.begin(), b.end(), [](double v) { return v == std::floor(v); })) {
            const std::vector<std::uint8_t> ab(a.begin(), a.end());
            const std::vector<std::uint8_t> bb(b.begin(), b.end());
            EXPECT_NEAR(StructuralSimilarity(ab, bb, c.width, c.height), c.expected, 1e-12) << c.width << "x" << c.height;
        }
    }
}

TEST(StructuralSimilarity, IdenticalPicturesScoreOneAndBytesMatchReals) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 40 * 30; ++i) bytes.push_back(static_cast<std::uint8_t>((i * 37) % 251));
    EXPECT_EQ(StructuralSimilarity(bytes, bytes, 40, 30), 1.0);
    EXPECT_EQ(SsimReference(bytes, 40, 30).Against(bytes), 1.0);
    // The byte form works a row at a time, with the window's mirrored terms added first, against
    // a reference made once; the real form is the whole-plane one, each window's terms in order.
    // They agree to the last few bits; the byte form gives the same bits on every vector target,
    // at sizes around the vector widths and at the sweep's size.
    std::mt19937 rng(5);
    for (const auto& [width, height] : {std::pair{40, 30}, std::pair{11, 11}, std::pair{27, 13}, std::pair{256, 256}}) {
        std::vector<std::uint8_t> a(static_cast<std::size_t>(width) * height);
        for (std::uint8_t& v : a) v = static_cast<std::uint8_t>(rng() % 256);
        std::vector<std::uint8_t> b = a;
        for (std::size_t i = 0; i < b.size(); i += 3) b[i] = static_cast<std::uint8_t>(rng() % 256);
        const std::vector<double> ra(a.begin(), a.end());
        const std::vector<double> rb(b.begin(), b.end());
        const double reals = StructuralSimilarity(ra, rb, width, height);
        EXPECT_LT(reals, 1.0);
        const double bytesForm = StructuralSimilarity(a, b, width, height);
        EXPECT_NEAR(bytesForm, reals, 1e-14) << width << "x" << height;
        test::ForEachVectorTarget([&](const std::string& target) {
            EXPECT_EQ(StructuralSimilarity(a, b, width, height), bytesForm) << target << ", " << width << "x" << height;
            EXPECT_EQ(SsimReference(b, width, height).Against(a), bytesForm) << target;
            // Symmetric in its two pictures, bit for bit.
            EXPECT_EQ(SsimReference(a, width, height).Against(b), bytesForm) << target;
        });
    }
}

// The byte form on the bundled hosts against scikit-image 0.19.3 (Debian's python3-skimage):
// structural_similarity(a, b, gaussian_weights=True, sigma=1.5, use_sample_covariance=False,
// data_range=255) of the pictures as float64 arrays, read from the same files; "shifted" adds
// (7 x + 13 y) mod 5 to each byte (clipped at 255), "halved" halves each byte (rounding down),
// "200x120" takes the top-left 200 x 120 of both.
TEST(StructuralSimilarity, BytesMatchScikitImageOnTheBundledHosts) {
    const auto load = [](const std::string& name) {
        return LoadPictureFile(test::SamplePath("hosts/" + name)).bitmap;
    };
    const auto gray = [](const Bitmap& picture, int width, int height) {
        std::vector<std::uint8_t> out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) out.push_back(picture.row(y)[3 * x]);
        return out;
    };
    const std::vector<std::uint8_t> coffee = gray(load("coffee.pgm"), 256, 256);
    std::vector<std::uint8_t> shifted = coffee;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            std::uint8_t& v = shifted[static_cast<std::size_t>(y) * 256 + x];
            v = static_cast<std::uint8_t>(std::min(255, v + (x * 7 + y * 13) % 5));
        }
    const std::vector<std::uint8_t> retina = gray(load("retina.pgm"), 256, 256);
    std::vector<std::uint8_t> halved = retina;
    for (std::uint8_t& v : halved) v = static_cast<std::uint8_t>(v >> 1);
    EXPECT_NEAR(StructuralSimilarity(gray(load("astronaut.pgm"), 256, 256), gray(load("gravel.pgm"), 256, 256), 256, 256),
                0.03794901373237972, 1e-12);
    EXPECT_NEAR(StructuralSimilarity(coffee, shifted, 256, 256), 0.9828592498606911, 1e-12);
    EXPECT_NEAR(StructuralSimilarity(gray(load("chelsea.pgm"), 200, 120), gray(load("clock.pgm"), 200, 120), 200, 120),
                0.24414516256012297, 1e-12);
    EXPECT_NEAR(StructuralSimilarity(retina, halved, 256, 256), 0.7838310321962713, 1e-12);
}

TEST(StructuralSimilarity, RefusesPicturesSmallerThanTheWindow) {
    const std::vector<double> p(10 * 20, 1.0);
    EXPECT_THROW(StructuralSimilarity(p, p, 10, 20), ArgumentError);
    const std::vector<double> q(11 * 11, 1.0);
    EXPECT_THROW(StructuralSimilarity(q, p, 11, 11), ArgumentError);
}

TEST(BitErrorRate, CountsDisagreeingPixelsOfTheBinarisedMark) {
    const std::vector<std::uint8_t> mark = [] {
        std::vector<std::uint8_t> m(128 * 128, 255);
        for (std::size_t i = 0; i < m.size(); i += 3) m[i] = 0;
        return m;
    }();
    std::vector<std::uint8_t> extracted = mark;
    EXPECT_EQ(BitErrorRate(extracted, mark), 0.0);
    extracted[0] = 255;
    extracted[1] = 0;
    EXPECT_EQ(BitErrorRate(extracted, mark), 2.0 / 16384);
    std::vector<std::uint8_t> inverted = mark;
    for (std::uint8_t& v : inverted) v = static_cast<std::uint8_t>(255 - v);
    EXPECT_EQ(BitErrorRate(inverted, mark), 1.0);
    // An unbinarised mark reads as GetWr binarises it: below 128 is black.
    std::vector<std::uint8_t> gray = mark;
    for (std::uint8_t& v : gray) v = v == 0 ? 127 : 128;
    EXPECT_EQ(BitErrorRate(mark, gray), 0.0);
    EXPECT_THROW(BitErrorRate(std::vector<std::uint8_t>(10), mark), ArgumentError);
}

TEST(PsnrDecibels, InfiniteForIdenticalPicturesOtherwiseTheWorkspaceValue) {
    std::vector<std::uint8_t> reference(65536, 100);
    std::vector<double> image(reference.begin(), reference.end());
    EXPECT_EQ(PsnrDecibels(image, reference), std::numeric_limits<double>::infinity());
    image[5] = 101;
    EXPECT_NEAR(PsnrDecibels(image, reference), 96.29560, 5e-6);  // 10 log10(65025 * 65536)
}

TEST(PsnrDecibels, OfACallersPicturesIsTheWorkspacesOverAnySize) {
    std::vector<std::uint8_t> reference(65536);
    std::vector<std::uint8_t> picture(65536);
    for (std::size_t i = 0; i < reference.size(); ++i) {
        reference[i] = static_cast<std::uint8_t>(i * 7 % 251);
        picture[i] = static_cast<std::uint8_t>(reference[i] ^ (i % 5 == 0 ? 3 : 0));
    }
    const std::vector<double> reals(picture.begin(), picture.end());
    EXPECT_EQ(PsnrDecibels(GrayView(picture.data(), 256, 256, 256), GrayView(reference.data(), 256, 256, 256)),
              PsnrDecibels(reals, reference));
    // One pixel off by one in 2 x 3 pixels: 10 log10(65025 * 6).
    const std::uint8_t a[6] = {1, 2, 3, 4, 5, 6};
    const std::uint8_t b[6] = {1, 2, 3, 4, 5, 7};
    EXPECT_NEAR(PsnrDecibels(GrayView(a, 2, 3, 2), GrayView(b, 2, 3, 2)), 55.91232, 5e-6);
    EXPECT_THROW(PsnrDecibels(GrayView(a, 2, 3, 2), GrayView(b, 3, 2, 3)), ArgumentError);
}

}  // namespace
}  // namespace quillfen
