// The workspace's transfers and the whole method end to end on the bundled samples.
#include "watermark/watermark.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "io/picture_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

TEST(LoadX, CropsALargePictureToItsTopLeft) {
    Bitmap picture(512, 512, 0);
    picture.setGray(255, 255, 17);
    picture.setGray(256, 10, 99);
    TWatermark w;
    w.LoadX(picture);
    EXPECT_EQ(picture.width(), 256);
    EXPECT_EQ(picture.height(), 256);
    EXPECT_EQ(w.X[255 * 256 + 255], 17);
    EXPECT_EQ(std::count(w.X.begin(), w.X.end(), 99), 0);
}

TEST(LoadX, ExtendsASmallPictureWithWhiteAndTakesTheBlueByte) {
    Bitmap picture(100, 80, 30);
    picture.setBgr(5, 6, 40, 200, 201);
    TWatermark w;
    w.LoadX(picture);
    EXPECT_EQ(w.X[0], 30);
    EXPECT_EQ(w.X[6 * 256 + 5], 40);
    EXPECT_EQ(w.X[79 * 256 + 99], 30);
    EXPECT_EQ(w.X[79 * 256 + 100], 255);
    EXPECT_EQ(w.X[80 * 256 + 0], 255);
}

TEST(LoadW, CropsToTheTopLeftWithoutBinarising) {
    Bitmap picture(300, 200, 100);
    TWatermark w;
    w.LoadW(picture);
    EXPECT_EQ(picture.width(), 128);
    EXPECT_TRUE(std::all_of(w.W.begin(), w.W.end(), [](auto v) { return v == 100; }));
}

TEST(CountBlack, CountsZeroBytesOnly) {
    TWatermark w;
    TWatermark::Bytes b(128 * 128, 255);
    b[0] = 0;
    b[1] = 1;
    b[2] = 254;
    b[16383] = 0;
    w.CountBlack(b);
    EXPECT_EQ(w.BlackCount, 2);
}

TEST(MakeBitmap, DrawsGrayPictures) {
    TWatermark::Bytes plane(128 * 128, 3);
    plane[5] = 250;
    const Bitmap picture = TWatermark::MakeBitmap128(plane);
    EXPECT_EQ(picture.width(), 128);
    EXPECT_EQ(picture.row(0)[15], 250);
    EXPECT_EQ(picture.row(0)[16], 250);
    EXPECT_EQ(picture.row(0)[17], 250);
}

// ---- End to end ----

struct Outcome {
    TWatermark::Bytes X_hat;
    std::optional<double> psnr;
    std::vector<std::optional<double>> nc;  // one per attack
    TWatermark::Bytes Wr;
    std::vector<TWatermark::Bytes> W_wave;
};

using Attack = void (*)(TWatermark&, UserPrompts&);

const Attack kAttacks[] = {
    [](TWatermark& w, UserPrompts&) { w.CopyXhToXw(); },
    [](TWatermark& w, UserPrompts& p) { w.ApplyJpeg(p); },
    [](TWatermark& w, UserPrompts&) { w.ApplyBlurring(); },
    [](TWatermark& w, UserPrompts&) { w.ApplyCroppingByZeroInQuarter(); },
    [](TWatermark& w, UserPrompts&) { w.ApplyCroppingByImgInQuarter(); },
    [](TWatermark& w, UserPrompts&) { w.ApplyCroppingByZeroInHalf(); },
    [](TWatermark& w, UserPrompts&) { w.ApplyCroppingByImgInHalf(); },
};

// Runs the method on the samples; `attacks` lists indices into kAttacks (all by default).
Outcome RunExperiment(TWatermark& w, std::uint32_t seed, std::vector<int> attacks = {0, 1, 2, 3, 4, 5, 6}) {
    Bitmap host = LoadPictureFile(test::SamplePath("camera-512.bmp")).bitmap;
    Bitmap mark = LoadPictureFile(test::SamplePath("seal-128.bmp")).bitmap;
    w.LoadX(host);
    w.LoadW(mark);
    w.SetFixedSeed(seed);
    test::RecordingPrompts prompts;
    w.GetWr();
    w.GetWa();
    w.GetY();
    w.GetYr();
    w.GetP();
    w.GetP_hat();
    w.GetYr_hat(TWatermark::kStrengthDivisor);
    w.GetY_hat();
    w.GetX_hat();
    Outcome out;
    const auto psnr = w.GetPSNR_Diff(prompts);
    out.psnr = psnr ? std::optional<double>(psnr->Psnr) : std::nullopt;
    out.X_hat = w.X_hat;
    out.Wr = w.Wr;
    for (int a : attacks) {
        kAttacks[a](w, prompts);
        w.GetY_wave();
        w.GetYr_wave();
        w.GetP_wave();
        w.GetWa_wave();
        w.GetWr_wave();
        w.GetW_wave();
        out.nc.push_back(w.GetNC());
        out.W_wave.push_back(w.W_wave);
    }
    return out;
}

TEST(Experiment, SameSeedSameBytesDifferentSeedDifferentScatter) {
    QF_SKIP_WITHOUT_BMP();
    TWatermark first;
    TWatermark second;
    const Outcome a = RunExperiment(first, 4242);
    const Outcome b = RunExperiment(second, 4242);
    EXPECT_EQ(a.X_hat, b.X_hat);
    EXPECT_EQ(a.psnr, b.psnr);
    EXPECT_EQ(a.nc, b.nc);
    EXPECT_EQ(a.W_wave, b.W_wave);

    TWatermark third;
    const Outcome c = RunExperiment(third, 4243);
    EXPECT_NE(a.Wr, c.Wr);
    EXPECT_NE(a.X_hat, c.X_hat);
}

// What the method promises on the samples: counts kept, a watermark invisible to PSNR, the
// unattacked extraction near-perfect and the attacks scoring lower.
TEST(Experiment, RecoversTheSealWithoutAttack) {
    QF_SKIP_WITHOUT_BMP();
    TWatermark w;
    const Outcome o = RunExperiment(w, 777);
    const int black = static_cast<int>(std::count(w.W.begin(), w.W.end(), 0));
    EXPECT_GT(black, 500);
    EXPECT_EQ(std::count(o.Wr.begin(), o.Wr.end(), 0), black);
    EXPECT_EQ(std::count(w.Wa.begin(), w.Wa.end(), 0), black);
    ASSERT_TRUE(o.psnr.has_value());
    EXPECT_GT(*o.psnr, 30.0);
    for (const auto& nc : o.nc) {
        ASSERT_TRUE(nc.has_value());
        EXPECT_GE(*nc, 0.0);
        EXPECT_LE(*nc, 1.0);
    }
    // Negative coefficients are never adjusted, so even without an attack some bits are lost.
    EXPECT_GT(*o.nc[0], 0.85);
    EXPECT_LT(*o.nc[3], *o.nc[0]);  // a zeroed quarter loses part of the mark
    // W_wave is black only where W is.
    for (const auto& extracted : o.W_wave)
        for (int p = 0; p < TWatermark::kMarkPixels; ++p)
            if (extracted[p] == 0) {
                ASSERT_EQ(w.W[p], 0);
            }
}

// The fast forms (tables, bitset, sort) against the literal ones over the whole method. The
// JPEG attack exercises every transform the others use (forward of reals, both inverses);
// the other attacks run the same code in both forms.
TEST(Experiment, FastAndLiteralFormsGiveTheSameBytes) {
    QF_SKIP_WITHOUT_BMP();
    TWatermark fast;
    TWatermark slow;
    slow.SetLiteralForms(true);
    const Outcome a = RunExperiment(fast, 31337, {1});
    const Outcome b = RunExperiment(slow, 31337, {1});
    EXPECT_EQ(a.X_hat, b.X_hat);
    EXPECT_EQ(a.psnr, b.psnr);
    EXPECT_EQ(a.nc, b.nc);
    EXPECT_EQ(a.W_wave, b.W_wave);
    EXPECT_EQ(std::memcmp(fast.Y_wave.data(), slow.Y_wave.data(), fast.Y_wave.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(fast.X_hat_real.data(), slow.X_hat_real.data(), fast.X_hat_real.size() * sizeof(double)), 0);
}

}  // namespace
}  // namespace quillfen
