// The workspace's transfers and the whole method end to end on the bundled samples.
#include "quillfen/watermark/watermark.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/experiment.h"
#include "tests/test_support.h"
#include "tests/watermark/sample_experiment.h"
#include "tests/watermark/workspace_buffers.h"

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
    EXPECT_EQ(Buffers(w).X[255 * 256 + 255], 17);
    EXPECT_EQ(std::count(Buffers(w).X.begin(), Buffers(w).X.end(), 99), 0);
}

TEST(LoadX, ExtendsASmallPictureWithWhiteAndTakesTheBlueByte) {
    Bitmap picture(100, 80, 30);
    picture.setBgr(5, 6, 40, 200, 201);
    TWatermark w;
    w.LoadX(picture);
    EXPECT_EQ(Buffers(w).X[0], 30);
    EXPECT_EQ(Buffers(w).X[6 * 256 + 5], 40);
    EXPECT_EQ(Buffers(w).X[79 * 256 + 99], 30);
    EXPECT_EQ(Buffers(w).X[79 * 256 + 100], 255);
    EXPECT_EQ(Buffers(w).X[80 * 256 + 0], 255);
}

TEST(LoadW, CropsToTheTopLeftWithoutBinarising) {
    Bitmap picture(300, 200, 100);
    TWatermark w;
    w.LoadW(picture);
    EXPECT_EQ(picture.width(), 128);
    EXPECT_TRUE(std::all_of(Buffers(w).W.begin(), Buffers(w).W.end(), [](auto v) { return v == 100; }));
}

TEST(Transfers, PicturesFromElsewhereMustHaveTheHostsSize) {
    TWatermark w;
    const std::vector<std::uint8_t> bytes(TWatermark::kHostPixels, 9);
    const std::vector<double> reals(TWatermark::kHostPixels, 9.5);
    const std::vector<double> short_(TWatermark::kHostPixels - 1, 1.0);
    EXPECT_THROW(w.LoadAttacked(bytes, short_), ArgumentError);
    EXPECT_THROW(w.LoadMarked(std::vector<std::uint8_t>(10), bytes, reals), ArgumentError);
    EXPECT_EQ(w.X_wave(), TWatermark().X_wave());  // refused before anything changed
    EXPECT_EQ(w.X_hat(), TWatermark().X_hat());
    w.LoadAttacked(bytes, reals);
    EXPECT_EQ(w.X_wave(), bytes);
    EXPECT_EQ(w.X_wave_real(), reals);
    w.LoadMarked({}, bytes, reals);  // no host: X stays
    EXPECT_EQ(w.X_hat(), bytes);
    EXPECT_EQ(w.X(), TWatermark().X());
}

TEST(CountBlack, CountsZeroBytesOnly) {
    TWatermark w;
    TWatermark::Bytes b(128 * 128, 255);
    b[0] = 0;
    b[1] = 1;
    b[2] = 254;
    b[16383] = 0;
    w.CountBlack(b);
    EXPECT_EQ(Buffers(w).BlackCount, 2);
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

Experiment LoadedSamples(std::uint32_t seed) { return test::SampleExperiment("camera-512.bmp", "seal-128.bmp", seed); }

// Runs the method on the samples: the embedding, then each attack from X_hat.
Outcome RunExperiment(Experiment& e, const std::vector<Step>& attacks = Experiment::Attacks()) {
    Outcome out;
    const std::vector<StepResult> embedded = e.Embed();
    const std::optional<PsnrResult>& psnr = embedded.back().psnr;
    out.psnr = psnr ? std::optional<double>(psnr->Psnr) : std::nullopt;
    out.X_hat = e.Workspace().X_hat();
    out.Wr = e.Workspace().Wr();
    for (const Step attack : attacks) {
        out.nc.push_back(e.AttackAndExtract(attack).back().nc);
        out.W_wave.push_back(e.Workspace().W_wave());
    }
    return out;
}

TEST(Experiment, SameSeedSameBytesDifferentSeedDifferentScatter) {
    QF_SKIP_WITHOUT_BMP();
    Experiment first = LoadedSamples(4242);
    Experiment second = LoadedSamples(4242);
    const Outcome a = RunExperiment(first);
    const Outcome b = RunExperiment(second);
    EXPECT_EQ(a.X_hat, b.X_hat);
    EXPECT_EQ(a.psnr, b.psnr);
    EXPECT_EQ(a.nc, b.nc);
    EXPECT_EQ(a.W_wave, b.W_wave);

    Experiment third = LoadedSamples(4243);
    const Outcome c = RunExperiment(third);
    EXPECT_NE(a.Wr, c.Wr);
    EXPECT_NE(a.X_hat, c.X_hat);
}

// What the method promises on the samples: counts kept, a watermark invisible to PSNR, the
// unattacked extraction near-perfect and the attacks scoring lower.
TEST(Experiment, RecoversTheSealWithoutAttack) {
    QF_SKIP_WITHOUT_BMP();
    Experiment e = LoadedSamples(777);
    const Outcome o = RunExperiment(e);
    const TWatermark& w = e.Workspace();
    const int black = static_cast<int>(std::count(w.W().begin(), w.W().end(), 0));
    EXPECT_GT(black, 500);
    EXPECT_EQ(std::count(o.Wr.begin(), o.Wr.end(), 0), black);
    EXPECT_EQ(std::count(w.Wa().begin(), w.Wa().end(), 0), black);
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
                ASSERT_EQ(w.W()[p], 0);
            }
}

// The fast forms (tables, bitset, sort) against the literal ones over the whole method. The
// JPEG attack exercises every transform the others use (forward of reals, both inverses);
// the other attacks run the same code in both forms.
TEST(Experiment, FastAndLiteralFormsGiveTheSameBytes) {
    QF_SKIP_WITHOUT_BMP();
    Experiment fast = LoadedSamples(31337);
    Experiment slow = LoadedSamples(31337);
    slow.SetLiteralForms(true);
    const Outcome a = RunExperiment(fast, {Step::Jpeg});
    const Outcome b = RunExperiment(slow, {Step::Jpeg});
    EXPECT_EQ(a.X_hat, b.X_hat);
    EXPECT_EQ(a.psnr, b.psnr);
    EXPECT_EQ(a.nc, b.nc);
    EXPECT_EQ(a.W_wave, b.W_wave);
    const TWatermark& f = fast.Workspace();
    const TWatermark& l = slow.Workspace();
    EXPECT_EQ(std::memcmp(f.Y_wave().data(), l.Y_wave().data(), f.Y_wave().size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(f.X_hat_real().data(), l.X_hat_real().data(), f.X_hat_real().size() * sizeof(double)), 0);
}

}  // namespace
}  // namespace quillfen
