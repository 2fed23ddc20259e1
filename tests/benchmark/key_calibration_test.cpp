// A key's own calibration: where it binds, and that threads do not change it.
#include "quillfen/benchmark/key_calibration.h"

#include <gtest/gtest.h>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/io/picture_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

// A smooth picture: a horizontal ramp, flat within each block row. Its mid-band coefficients
// are tiny, so processing that smooths or requantises it (JPEG, a tone curve) moves the
// relations the embedding reversed far more than on a textured picture.
Bitmap Ramp() {
    Bitmap host(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) host.setGray(x, y, static_cast<std::uint8_t>(100 + x / 8));
    return host;
}

MarkedHost CalibratedRamp() {
    const Bitmap host = Ramp();
    MarkedHost marked = EmbedIntoHost(host, LoadPictureFile(test::SamplePath("seal-128.pgm")).bitmap, 1);
    KeyCalibrationOptions options;
    options.Trials = kFewestKeyTrials;
    options.Jobs = 2;
    CalibrateMarkedHost(marked, host, options);
    return marked;
}

// On such a host the key's own null lies far above the global one, and the verdict follows the
// key's: an unmarked JPEG copy that the global thresholds alone would call marked is not. One
// thread gives the calibration that two give.
TEST(KeyCalibration, AFlatHostsOwnTailSetsItsThresholds) {
    const MarkedHost marked = CalibratedRamp();
    ASSERT_TRUE(marked.Key.Calibration);
    const KeyThresholds t = ThresholdsOf(marked.Key.Calibration, DefaultCalibration());
    EXPECT_TRUE(t.OwnCalibration);
    EXPECT_TRUE(t.KeySets1e3);
    EXPECT_TRUE(t.KeySets1e6);
    EXPECT_EQ(t.At1e3, marked.Key.Calibration->Threshold1e3);
    EXPECT_EQ(t.At1e6, marked.Key.Calibration->Threshold1e6);
    EXPECT_GT(t.At1e3, kDefaultThreshold1e3);

    const GrayPlane region(256, 256, MarkedRegion(GrayOf(Ramp())));
    const double copy = ReadMark(JpegRoundTrip(region, 60), marked.Key).Score.Value;
    EXPECT_TRUE(Judge(copy, DefaultCalibration()).Present);
    const Verdict verdict = Judge(copy, t);
    EXPECT_FALSE(verdict.Present);
    EXPECT_FALSE(verdict.Detected1e3);
    // The marked picture as written is still found.
    EXPECT_TRUE(Judge(ReadMark(GrayOf(marked.Picture), marked.Key).Score.Value, t).Present);

    // The trials are planned from the key, not from the threads that run them.
    KeyCalibrationOptions one;
    one.Trials = kFewestKeyTrials;
    one.Jobs = 1;
    MarkedHost again = EmbedIntoHost(Ramp(), LoadPictureFile(test::SamplePath("seal-128.pgm")).bitmap, 1);
    CalibrateMarkedHost(again, Ramp(), one);
    EXPECT_EQ(again.Key.Calibration, marked.Key.Calibration);
}

}  // namespace
}  // namespace quillfen
