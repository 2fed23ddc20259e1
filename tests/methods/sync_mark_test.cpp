// The periodic mark end to end on real pictures: its embedding (energy, bytes), what the
// detector finds after geometric attacks and JPEG (transform, bits, score), what it reads
// on pictures without the mark, and the false-alarm bound its thresholds come from.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quillfen/attacks/picture_attacks.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/io/picture_files.h"
#include "sync/sync_mark.h"
#include "tests/test_support.h"

namespace quillfen::sync {
namespace {

using test::SamplePath;
using test::Sha256Hex;

// A photograph-like picture of n x n of the bundled 256 x 256 hosts, side by side.
GrayPlane Mosaic(int n) {
    static const char* names[] = {"astronaut", "coffee", "chelsea", "rocket", "brick", "clock", "grass", "retina", "cell"};
    GrayPlane out(256 * n, 256 * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const GrayPlane h = LoadGrayPicture(SamplePath(std::string("hosts/") + names[j * n + i] + ".pgm"));
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x)
                    out.data()[static_cast<std::size_t>(256 * j + y) * out.width() + 256 * i + x] = h.data()[y * 256 + x];
        }
    return out;
}

std::vector<double> Values(const GrayPlane& p) { return std::vector<double>(p.data(), p.data() + p.size()); }

PayloadBits Bits(std::uint64_t word) {
    PayloadBits p{};
    for (int b = 0; b < kPayloadBits; ++b) p[b] = (word >> b) & 1;
    return p;
}

// The host marked at 40 dB, rounded half to even into bytes.
GrayPlane Marked(const GrayPlane& host, const PayloadBits& payload, std::uint32_t seed) {
    const std::vector<double> y = Values(host);
    const std::vector<double> change = EmbedChange(y.data(), host.width(), host.height(), payload, seed, StrengthForPsnr(40));
    GrayPlane out(host.width(), host.height());
    for (std::size_t i = 0; i < y.size(); ++i) out.data()[i] = static_cast<std::uint8_t>(std::clamp(RoundHalfEven(y[i] + change[i]), 0.0, 255.0));
    return out;
}

SyncReading Read(const GrayPlane& suspect, std::uint32_t seed) {
    const std::vector<double> y = Values(suspect);
    return Detect(y.data(), suspect.width(), suspect.height(), seed);
}

int Wrong(const SyncReading& r, const PayloadBits& payload) {
    int wrong = 0;
    for (int b = 0; b < kPayloadBits; ++b) wrong += r.Bits[b] != payload[b];
    return wrong;
}

TEST(SyncMark, ChipLevelsFollowTheArea) {
    // Chips of at least sqrt(2) pixels, then a level up for every doubling of the area from
    // 4 x 512^2 pixels on.
    EXPECT_EQ(LevelFor(256, 256), 1);
    EXPECT_EQ(LevelFor(1023, 1024), 1);
    EXPECT_EQ(LevelFor(1024, 1024), 2);
    EXPECT_EQ(LevelFor(4000, 3000), 5);
    EXPECT_EQ(LevelFor(6028, 3391), 6);
    EXPECT_DOUBLE_EQ(ChipSide(0), 1.0);
    EXPECT_DOUBLE_EQ(ChipSide(5), 4 * std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(ChipSide(6), 8.0);
}

TEST(SyncMark, TheChangeHasTheStrengthsEnergyAndFixedBytes) {
    const GrayPlane host = Mosaic(3);  // 768 x 768: chips of sqrt(2) pixels
    const std::vector<double> y = Values(host);
    const PayloadBits payload = Bits(0x0123456789abcdefULL);
    const double strength = StrengthForPsnr(40);
    EXPECT_NEAR(strength, 2.55, 1e-12);
    const std::vector<double> change = EmbedChange(y.data(), host.width(), host.height(), payload, 17, strength);
    double energy = 0;
    for (const double c : change) energy += c * c;
    EXPECT_NEAR(std::sqrt(energy / static_cast<double>(change.size())), strength, 1e-12);
    // The PSNR of the rounded picture is the strength's, less the rounding's share.
    const GrayPlane marked = Marked(host, payload, 17);
    double se = 0;
    for (int i = 0; i < host.size(); ++i) se += (marked.data()[i] - host.data()[i]) * (marked.data()[i] - host.data()[i]);
    EXPECT_NEAR(10 * std::log10(255.0 * 255.0 / (se / host.size())), 40.0, 0.1);
    // The same bytes on every machine and vector target.
    EXPECT_EQ(Sha256Hex(marked.data(), static_cast<std::size_t>(marked.size())),
              "f52d07195dd565f68f61ada2e2217c6fe1593b05d1f36e06b049ae6254748d13");
}

TEST(SyncMark, FindsRotationScaleAspectAndCropAfterJpeg) {
    const GrayPlane host = Mosaic(3);
    const PayloadBits payload = Bits(0x5681fb21e676dc7cULL);
    const GrayPlane marked = Marked(host, payload, 5);
    {
        const SyncReading r = Read(JpegRoundTrip(Rotate(marked, 5), 75), 5);
        EXPECT_TRUE(r.Synchronised);
        EXPECT_EQ(Wrong(r, payload), 0);
        EXPECT_NEAR(r.Transform.RotationDegrees, 5.0, 0.05);
        EXPECT_NEAR(r.Transform.ScaleX, 1.0, 0.005);
        EXPECT_NEAR(r.Transform.ScaleY, 1.0, 0.005);
        EXPECT_EQ(r.Transform.Level, 1);
        EXPECT_NEAR(r.Score, 22.872176023942391, 1e-6);
        EXPECT_LT(r.FalseAlarm, 1e-6);
    }
    {
        // Shrunk to 0.8 across and 0.72 down: scale and aspect.
        const SyncReading r = Read(JpegRoundTrip(Resample(marked, 614, 553), 75), 5);
        EXPECT_EQ(Wrong(r, payload), 0);
        EXPECT_NEAR(r.Transform.ScaleX, 614.0 / 768, 0.005);
        EXPECT_NEAR(r.Transform.ScaleY, 553.0 / 768, 0.005);
        EXPECT_NEAR(r.Transform.RotationDegrees, 0.0, 0.05);
        EXPECT_NEAR(r.Score, 20.005437525120723, 1e-6);
    }
    {
        // A window from (37, 21): the shift is (-37, -21) up to whole tiles (32 sqrt(2) pixels).
        GrayPlane crop(600, 650);
        for (int y = 0; y < 650; ++y)
            for (int x = 0; x < 600; ++x) crop.data()[y * 600 + x] = marked.data()[(y + 21) * 768 + x + 37];
        const SyncReading r = Read(JpegRoundTrip(crop, 75), 5);
        EXPECT_EQ(Wrong(r, payload), 0);
        const double tile = 32 * std::sqrt(2.0);
        EXPECT_NEAR(r.Transform.ShiftX, -37 + tile, 1.0);
        EXPECT_NEAR(r.Transform.ShiftY, -21, 1.0);
        EXPECT_NEAR(r.Score, 22.416096356521621, 1e-6);
    }
}

// A picture with a strong periodic texture of its own (a grid of ripples, as blinds or a fence
// give): its lattice outranks the mark's in the autocorrelation, yet the mark's lattice is
// among those tried and its decoded payload is the one read.
TEST(SyncMark, APicturesOwnPeriodicTextureDoesNotHideTheMark) {
    GrayPlane host = Mosaic(3);
    for (int y = 0; y < host.height(); ++y)
        for (int x = 0; x < host.width(); ++x) {
            const double ripple = 5 * std::cos(2 * M_PI * (x / 9.0 + y / 31.0)) + 5 * std::cos(2 * M_PI * (y / 11.0 - x / 37.0));
            std::uint8_t& v = host.data()[static_cast<std::size_t>(y) * host.width() + x];
            v = static_cast<std::uint8_t>(std::clamp(RoundHalfEven(v * 0.8 + 25 + ripple), 0.0, 255.0));
        }
    const PayloadBits payload = Bits(0x0ddba11cafef00dULL);
    const SyncReading r = Read(JpegRoundTrip(Rotate(Marked(host, payload, 31), 4), 75), 31);
    EXPECT_EQ(Wrong(r, payload), 0);
    EXPECT_NEAR(r.Transform.RotationDegrees, 4.0, 0.1);
    EXPECT_NEAR(r.Transform.ScaleX, 1.0, 0.005);
    EXPECT_NEAR(r.Score, 17.349, 1e-3);
    EXPECT_LT(r.FalseAlarm, 1e-6);
}

// A picture whose middle carries none of the mark (pasted over here; on photographs a smooth,
// blurred subject that JPEG leaves nothing of the mark in): an autocorrelation of the middle
// alone shows no lattice, but the spectra averaged over the whole picture find it in the rest.
TEST(SyncMark, TheLatticeIsFoundWhereTheMiddleOfThePictureHoldsNoMark) {
    static const char* names[] = {"astronaut", "coffee", "chelsea", "rocket", "brick", "clock",
                                  "grass", "retina", "cell", "gravel", "immunohistochemistry", "hubble-deep-field"};
    GrayPlane host(1024, 768);
    for (int k = 0; k < 12; ++k) {
        const GrayPlane h = LoadGrayPicture(SamplePath(std::string("hosts/") + names[k] + ".pgm"));
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                host.data()[static_cast<std::size_t>(256 * (k / 4) + y) * 1024 + 256 * (k % 4) + x] = h.data()[y * 256 + x];
    }
    const PayloadBits payload = Bits(0x3c3c5a5aa5a5c3c3ULL);
    GrayPlane marked = Marked(host, payload, 44);
    for (int y = 128; y < 640; ++y)
        for (int x = 256; x < 768; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * 1024 + x;
            marked.data()[i] = host.data()[i];
        }
    const SyncReading r = Read(JpegRoundTrip(Rotate(marked, 5), 75), 44);
    EXPECT_EQ(Wrong(r, payload), 0);
    EXPECT_NEAR(r.Transform.RotationDegrees, 5.0, 0.1);
    EXPECT_NEAR(r.Transform.ScaleX, 1.0, 0.005);
    EXPECT_NEAR(r.Score, 17.868, 1e-3);
    EXPECT_LT(r.FalseAlarm, 1e-6);
}

// A suspect prepared once and read with many keys reads as it does alone, bit for bit.
TEST(SyncMark, APreparedSuspectReadsAsTheSuspect) {
    const GrayPlane host = Mosaic(2);
    const PayloadBits payload = Bits(0x0f0f00ff12345678ULL);
    const GrayPlane suspect = JpegRoundTrip(Resample(Marked(host, payload, 21), 430, 470), 75);
    const std::vector<double> y = Values(suspect);
    const PreparedSuspect prepared(y.data(), suspect.width(), suspect.height());
    for (const std::uint32_t seed : {21u, 22u}) {
        const SyncReading alone = Read(suspect, seed);
        const SyncReading shared = Detect(prepared, seed);
        EXPECT_EQ(shared.Score, alone.Score);
        EXPECT_EQ(shared.Cosine, alone.Cosine);
        EXPECT_EQ(shared.Bits, alone.Bits);
        EXPECT_EQ(shared.Transform.ShiftX, alone.Transform.ShiftX);
        EXPECT_EQ(shared.Transform.ScaleY, alone.Transform.ScaleY);
        EXPECT_EQ(shared.LatticePeak, alone.LatticePeak);
    }
    EXPECT_EQ(Wrong(Detect(prepared, 21), payload), 0);
    EXPECT_GT(Detect(prepared, 21).Cosine, CosineThreshold(1e-6));
    EXPECT_LT(Detect(prepared, 22).Cosine, CosineThreshold(1e-3));
    EXPECT_NEAR(CosineThreshold(1e-6), Threshold(1e-6) / 32, 1e-15);
}

TEST(SyncMark, SmallestPictures) {
    const GrayPlane host = LoadGrayPicture(SamplePath("camera-256.pgm"));
    const PayloadBits payload = Bits(0xfeedface01234567ULL);
    const GrayPlane marked = Marked(host, payload, 9);
    const SyncReading r = Read(JpegRoundTrip(marked, 75), 9);
    EXPECT_EQ(Wrong(r, payload), 0);
    EXPECT_NEAR(r.Score, 20.90359861312497, 1e-6);
    EXPECT_LT(r.FalseAlarm, 1e-6);
    // Halved to 128 x 128 the tile holds too little of the mark: it reads as unmarked.
    const SyncReading half = Read(Resample(marked, 128, 128), 9);
    EXPECT_NEAR(half.Score, 9.6867291598875607, 1e-6);
    EXPECT_LT(half.Score, Threshold(1e-3));
}

TEST(SyncMark, PicturesWithoutTheMarkStayBelowTheThresholds) {
    const GrayPlane host = JpegRoundTrip(Mosaic(2), 75);
    double highest = 0;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) highest = std::max(highest, Read(host, seed).Score);
    EXPECT_LT(highest, Threshold(1e-3));
    EXPECT_NEAR(highest, 10.305269464022434, 1e-6);
    // A picture marked with another key reads as unmarked.
    const SyncReading other = Read(JpegRoundTrip(Marked(Mosaic(2), Bits(1), 3), 75), 4);
    EXPECT_LT(other.Score, Threshold(1e-3));
    // A flat picture has nothing to synchronise on.
    const std::vector<double> flat(300 * 200, 128.0);
    const SyncReading none = Detect(flat.data(), 300, 200, 1);
    EXPECT_FALSE(none.Synchronised);
    EXPECT_EQ(none.Score, 0.0);
}

TEST(SyncMark, ThresholdsBoundTheWholeSearch) {
    // 2^64 codewords times (8 lattices x 6 levels + 2 own grids) x 1024 shifts.
    EXPECT_NEAR(LogHypothesesBound(), 64 * std::log(2.0) + std::log(50.0 * 1024), 1e-12);
    EXPECT_NEAR(Threshold(1e-3), 11.14564, 1e-5);
    EXPECT_NEAR(Threshold(1e-6), 11.74908, 1e-5);
    for (const double rate : {1e-2, 1e-3, 1e-6, 1e-9}) EXPECT_NEAR(FalseAlarmBound(Threshold(rate)) / rate, 1.0, 1e-12);
    EXPECT_EQ(FalseAlarmBound(0), 1.0);
    EXPECT_EQ(FalseAlarmBound(5), 1.0);
    EXPECT_THROW(Threshold(0), ArgumentError);
    EXPECT_THROW(Threshold(1), ArgumentError);
}

TEST(SyncMark, RefusesWhatItCannotMarkOrRead) {
    const std::vector<double> y(300 * 300, 100.0);
    EXPECT_THROW(EmbedChange(y.data(), 255, 300, Bits(0), 1, 2.5), ArgumentError);
    EXPECT_THROW(EmbedChange(y.data(), 300, 300, Bits(0), 1, 0.0), ArgumentError);
    EXPECT_THROW(EmbedChange(y.data(), 300, 300, Bits(0), 1, std::nan("")), ArgumentError);
    PayloadBits bad = Bits(0);
    bad[3] = 2;
    EXPECT_THROW(EmbedChange(y.data(), 300, 300, bad, 1, 2.5), ArgumentError);
    EXPECT_THROW(Detect(y.data(), 63, 300, 1), ArgumentError);
    EXPECT_THROW(Detect(nullptr, 300, 300, 1), ArgumentError);
}

}  // namespace
}  // namespace quillfen::sync
