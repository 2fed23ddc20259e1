#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/gray_view.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/marking.h"
#include "tests/key_files.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

Bitmap Sample(const std::string& name) { return LoadPictureFile(test::SamplePath(name)).bitmap; }

const Bitmap& Mark() {
    static const Bitmap mark = Sample("seal-128.pgm");
    return mark;
}

// The bundled astronaut marked with seed 5, once for all tests.
const MarkedHost& Astronaut() {
    static const MarkedHost marked = EmbedIntoHost(Sample("hosts/astronaut.pgm"), Mark(), 5);
    return marked;
}

// A host larger than the region, in colour: a gradient with different bytes per channel.
Bitmap ColourHost(int width, int height) {
    Bitmap host(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            host.setBgr(x, y, static_cast<std::uint8_t>((x * 5 + y * 3 + x * y % 17) & 255),
                        static_cast<std::uint8_t>(x & 255), static_cast<std::uint8_t>(y & 255));
    return host;
}

// The region is the top-left 256 x 256 of any view (of neighbouring bytes, of every third byte,
// read upwards), white where the picture ends.
TEST(MarkedRegion, CutsOrExtendsAnyViewWithWhite) {
    std::vector<std::uint8_t> bytes(300 * 3 * 200);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i * 7) % 253);
    const auto expect = [](const std::vector<std::uint8_t>& region, int width, int height, auto value) {
        ASSERT_EQ(region.size(), 256u * 256u);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                const std::uint8_t want = x < width && y < height ? value(x, y) : 255;
                ASSERT_EQ(region[static_cast<std::size_t>(y) * 256 + x], want) << x << ", " << y;
            }
    };
    // 900 x 200 bytes as they are; as every third byte of 300 x 200; rows read from the bottom.
    expect(MarkedRegion(GrayView(bytes.data(), 900, 200, 900)), 900, 200,
           [&](int x, int y) { return bytes[static_cast<std::size_t>(y) * 900 + x]; });
    expect(MarkedRegion(GrayView(bytes.data() + 1, 300, 200, 900, 3)), 300, 200,
           [&](int x, int y) { return bytes[static_cast<std::size_t>(y) * 900 + 3 * x + 1]; });
    expect(MarkedRegion(GrayView(bytes.data() + 199 * 900, 100, 200, -900)), 100, 200,
           [&](int x, int y) { return bytes[static_cast<std::size_t>(199 - y) * 900 + x]; });
}

TEST(EmbedIntoHost, ReplacesOnlyTheRegionAndKeepsTheHostsSize) {
    const Bitmap host = ColourHost(301, 270);
    const MarkedHost marked = EmbedIntoHost(host, Mark(), 9);
    ASSERT_EQ(marked.Picture.width(), 301);
    ASSERT_EQ(marked.Picture.height(), 270);
    int regionChanges = 0;
    for (int y = 0; y < 270; ++y)
        for (int x = 0; x < 301; ++x) {
            const std::uint8_t* was = host.row(y) + 3 * x;
            const std::uint8_t* is = marked.Picture.row(y) + 3 * x;
            if (x >= 256 || y >= 256) {
                ASSERT_TRUE(was[0] == is[0] && was[1] == is[1] && was[2] == is[2]) << x << "," << y;
            } else {
                // A colour host carries the mark in the byte the method reads, the blue one.
                ASSERT_TRUE(was[1] == is[1] && was[2] == is[2]) << x << "," << y;
                regionChanges += was[0] != is[0] ? 1 : 0;
            }
        }
    EXPECT_GT(regionChanges, 1000);
    EXPECT_EQ(marked.Key.HostWidth, 301);
    EXPECT_EQ(marked.Key.HostHeight, 270);
    EXPECT_EQ(marked.Key.Seed, 9u);
    EXPECT_EQ(Sha256(GrayOf(marked.Picture).pixels()), Sha256(GrayOf(marked.Picture).pixels()));
    EXPECT_TRUE(ReadMark(GrayOf(marked.Picture), marked.Key).RegionIdentical);
}

TEST(EmbedIntoHost, AViewOfTheBlueBytesGivesTheBitmapsKeyAndPicture) {
    const Bitmap host = ColourHost(301, 270);
    const MarkedHost fromBitmap = EmbedIntoHost(host, Mark(), 9);
    const MarkedPicture fromView = EmbedIntoHost(BlueOf(host), BlueOf(Mark()), 9);
    EXPECT_EQ(EncodeMarkKey(fromView.Key), EncodeMarkKey(fromBitmap.Key));
    EXPECT_EQ(fromView.Picture, GrayOf(fromBitmap.Picture));
    EXPECT_EQ(fromView.RegionPsnr, fromBitmap.RegionPsnr);
    EXPECT_EQ(fromView.RegionNc, fromBitmap.RegionNc);
    EXPECT_THROW(EmbedIntoHost(GrayView(BlueOf(host).data, 255, 270, BlueOf(host).rowStride, 3), BlueOf(Mark()), 9),
                 ArgumentError);
}

TEST(EmbedIntoHost, AGrayHostStaysGray) {
    const Bitmap& picture = Astronaut().Picture;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t* p = picture.row(y) + 3 * x;
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
        }
    EXPECT_GT(Astronaut().RegionPsnr, 30.0);
    EXPECT_LT(Astronaut().RegionPsnr, 45.0);
}

TEST(EmbedIntoHost, RefusesWhatCannotCarryAMark) {
    const std::vector<std::pair<const char*, std::pair<Bitmap, Bitmap>>> cases = {
        {"host narrower than the region", {ColourHost(255, 400), Mark()}},
        {"host lower than the region", {ColourHost(400, 200), Mark()}},
        {"white mark", {ColourHost(256, 256), Bitmap(128, 128, 255)}},
        {"black mark", {ColourHost(256, 256), Bitmap(128, 128, 0)}},
    };
    for (const auto& [name, pictures] : cases)
        EXPECT_THROW(EmbedIntoHost(pictures.first, pictures.second, 1), ArgumentError) << name;
}

// The key file's extraction and the embedding workspace's own agree on the written bytes.
TEST(ReadMark, AgreesWithTheEmbeddingsOwnExtraction) {
    Bitmap host = Sample("hosts/astronaut.pgm");
    Bitmap mark = Mark();
    Experiment experiment;
    experiment.Load(host, mark);
    experiment.SetFixedSeed(5);
    experiment.Embed();
    const std::vector<std::uint8_t> bytes = experiment.Workspace().X_hat();
    const std::vector<StepResult> direct = experiment.ExtractFrom(bytes, std::vector<double>(bytes.begin(), bytes.end()));

    const MarkKey key = DecodeMarkKey(EncodeMarkKey(Astronaut().Key), "k.key");
    const MarkReading reading = ReadMark(GrayOf(Astronaut().Picture), key);
    EXPECT_EQ(reading.W_wave, experiment.Workspace().W_wave());
    EXPECT_EQ(reading.Nc, direct.back().nc);
    EXPECT_EQ(reading.Nc, Astronaut().RegionNc);
    EXPECT_EQ(reading.Score.Value, 1.0);
    EXPECT_TRUE(reading.RegionIdentical);
}

TEST(ReadMark, TellsUnmarkedAndForeignPicturesFromMarkedOnes) {
    const MarkKey& key = Astronaut().Key;
    const GrayPlane marked = GrayOf(Astronaut().Picture);
    const GrayPlane unmarked = GrayOf(Sample("hosts/astronaut.pgm"));

    // The unmarked host keeps every relation of the host: NC cannot tell it, the score can,
    // and so can the bit error rate over the whole mark: every pixel reads black, so each
    // white one is wrong.
    const MarkReading plain = ReadMark(unmarked, key);
    EXPECT_EQ(plain.Nc, 1.0);
    EXPECT_EQ(plain.Ber, 1.0 - key.BlackCount() / 16384.0);
    EXPECT_EQ(plain.Score.Value, 0.0);
    EXPECT_FALSE(Judge(plain.Score.Value, DefaultCalibration()).Present);

    struct Case {
        const char* name;
        GrayPlane picture;
        bool present;
    };
    const std::vector<Case> cases = {
        {"marked, JPEG 75", JpegRoundTrip(marked, 75), true},
        {"marked, JPEG 90", JpegRoundTrip(marked, 90), true},
        {"marked, scaled to 90 % and back", ScaleAndBack(marked, 0.9), true},
        {"unmarked, JPEG 75", JpegRoundTrip(unmarked, 75), false},
        {"unmarked, noise", AdjustBrightness(unmarked, 9), false},
        {"another host, marked", GrayOf(EmbedIntoHost(Sample("hosts/brick.pgm"), Mark(), 5).Picture), false},
        {"marked, shifted by 8 pixels", Shift(marked, 8, 0), false},
    };
    for (const Case& c : cases) {
        const MarkReading reading = ReadMark(c.picture, key);
        EXPECT_EQ(Judge(reading.Score.Value, DefaultCalibration()).Present, c.present)
            << c.name << ": score " << reading.Score.Value;
        EXPECT_FALSE(reading.RegionIdentical) << c.name;
    }
}

TEST(ReadMark, ASmallSuspectIsReadAsIfExtendedWithWhite) {
    const GrayPlane marked = GrayOf(Astronaut().Picture);
    GrayPlane cut(200, 256);
    GrayPlane extended(256, 256, 255);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 200; ++x) cut.at(x, y) = extended.at(x, y) = marked.at(x, y);
    const MarkReading a = ReadMark(cut, Astronaut().Key);
    const MarkReading b = ReadMark(extended, Astronaut().Key);
    EXPECT_EQ(a.W_wave, b.W_wave);
    EXPECT_EQ(a.Score.Value, b.Score.Value);
}

// The measurer gives ReadMark's score, NC, bit error rate and extracted mark, bit for bit, for
// pictures read as bytes or as reals, unchanged or attacked; also for a key whose mark has
// gray pixels (NC's denominator counts them, its numerator does not).
TEST(MarkMeasurer, GivesReadMarksMeasuresBitForBit) {
    const GrayPlane marked = GrayOf(Astronaut().Picture);
    MarkKey grayish = Astronaut().Key;
    for (int j = 128 * 10 + 10; j < 128 * 10 + 40; ++j)
        if (grayish.Extraction.W[j] != 0) grayish.Extraction.W[j] = 100;
    const std::vector<GrayPlane> pictures = {
        marked,
        JpegRoundTrip(marked, 30),
        ScaleAndBack(marked, 0.75),
        Shift(marked, 8, 0),
        GrayOf(Sample("hosts/astronaut.pgm")),
        GrayOf(Sample("hosts/brick.pgm")),
    };
    for (const MarkKey* key : {&Astronaut().Key, static_cast<const MarkKey*>(&grayish)}) {
        ASSERT_TRUE(MarkMeasurer::Follows(*key));
        MarkMeasurer measurer(*key);
        for (std::size_t k = 0; k < pictures.size(); ++k) {
            const MarkReading expected = ReadMark(pictures[k], *key);
            const std::vector<double> reals(pictures[k].pixels().begin(), pictures[k].pixels().end());
            for (const MarkMeasures& got : {measurer.Measure(pictures[k].pixels()), measurer.Measure(reals)}) {
                EXPECT_EQ(got.Score.Value, expected.Score.Value) << k;
                EXPECT_EQ(got.Score.ReversedSeen, expected.Score.ReversedSeen) << k;
                EXPECT_EQ(got.Score.UntouchedReversed, expected.Score.UntouchedReversed) << k;
                EXPECT_EQ(got.Nc, expected.Nc) << k;
                EXPECT_EQ(got.Ber, expected.Ber) << k;
                EXPECT_EQ(measurer.ExtractedMark(), expected.W_wave) << k;
            }
        }
    }
    // What the astronaut's own readings are, pinned: the marked region as written, and the host.
    MarkMeasurer measurer(Astronaut().Key);
    const MarkMeasures written = measurer.Measure(marked.pixels());
    EXPECT_EQ(written.Ber, 8190 / 16384.0);
    EXPECT_EQ(written.Nc, 0.87000608395862911);
    EXPECT_EQ(written.Score.ReversedSeen, written.Score.Reversed);
    const MarkMeasures host = measurer.Measure(GrayOf(Sample("hosts/astronaut.pgm")).pixels());
    EXPECT_EQ(host.Nc, 1.0);
    EXPECT_EQ(host.Ber, 1.0 - Astronaut().Key.BlackCount() / 16384.0);
    EXPECT_EQ(host.Score.Value, 0.0);
}

// A key whose block orders name a block twice or whose scatter leaves the mark is not one the
// measurer follows (ReadMark reads or refuses it), nor is one with nothing to score.
TEST(MarkMeasurer, FollowsOnlyKeysItCanReadExactly) {
    MarkKey twice = Astronaut().Key;
    twice.Extraction.WrBlockOrder[1] = twice.Extraction.WrBlockOrder[0];
    EXPECT_FALSE(MarkMeasurer::Follows(twice));
    EXPECT_THROW(MarkMeasurer{twice}, ArgumentError);
    MarkKey outside = Astronaut().Key;
    outside.Extraction.RandPos[0] = 16384;
    EXPECT_FALSE(MarkMeasurer::Follows(outside));
    MarkKey untouchedOnly = Astronaut().Key;
    untouchedOnly.Embedded = untouchedOnly.Extraction.P;
    untouchedOnly.Carried = untouchedOnly.Extraction.P;
    EXPECT_FALSE(MarkMeasurer::Follows(untouchedOnly));
}

// A hand-made key: host relations all 0; the embedding reversed relations 0..99; the bytes
// carry all but 0..9 of them, and relation 16000 came out reversed by the rounding alone.
TEST(ScoreRelations, CountsOnlyTheRelationsTheBytesCarry) {
    MarkKey key;
    key.Extraction.P.assign(16384, 0);
    key.Embedded.assign(16384, 0);
    for (int i = 0; i < 100; ++i) key.Embedded[i] = 255;
    key.Carried = key.Embedded;
    for (int i = 0; i < 10; ++i) key.Carried[i] = 0;
    key.Carried[16000] = 255;

    std::vector<std::uint8_t> observed(16384, 0);
    for (int i = 0; i < 60; ++i) observed[i] = 255;         // 50 of the 90 carried reversals seen
    for (int i = 200; i < 200 + 1629; ++i) observed[i] = 255;  // 1629 of 16293 untouched reversed
    observed[16000] = 255;                                    // left out either way
    const DetectionScore score = ScoreRelations(key, observed);
    EXPECT_EQ(score.Reversed, 90);
    EXPECT_EQ(score.ReversedSeen, 50);
    EXPECT_EQ(score.Untouched, 16384 - 100 - 1);
    EXPECT_EQ(score.UntouchedReversed, 1629);
    EXPECT_DOUBLE_EQ(score.Value, 50.0 / 90.0 - 1629.0 / 16283.0);

    key.Embedded = key.Extraction.P;
    key.Carried = key.Extraction.P;
    EXPECT_THROW(ScoreRelations(key, observed), ArgumentError);
    EXPECT_THROW(ScoreRelations(Astronaut().Key, std::vector<std::uint8_t>(100)), ArgumentError);
}

TEST(Verdict, JudgesAtTheStricterThreshold) {
    Calibration calibration;
    calibration.ThresholdEmpirical = 0.1;
    calibration.ThresholdModelled = 0.2;
    const Verdict at = Judge(0.2, calibration);
    EXPECT_TRUE(at.Present);
    EXPECT_EQ(at.Threshold, 0.2);
    EXPECT_EQ(at.Score, 0.2);
    EXPECT_FALSE(Judge(0.15, calibration).Present);
    EXPECT_GE(DefaultCalibration().ThresholdModelled, DefaultCalibration().ThresholdEmpirical);
}

}  // namespace
}  // namespace quillfen
