#pragma once
// A blind 64-bit mark that finds the picture's geometry by itself: a periodic mark.
//
// The mark is one tile of 32 x 32 chips repeated over the whole picture. Each chip is a square
// of s x s pixels, s = 2^(level/2) with the level the largest for which 512^2 * 2^level <= the
// picture's area (s = 1 up to 512 x 512 pixels, about 7 for 12 megapixels), so that the tile
// spans a similar share of every picture and the mark lives at a scale that survives the
// reduction the detector reads at, halving and JPEG. The pattern is interpolated bilinearly
// between chip centres. The tile carries the payload by spread spectrum: 64 bits through a
// rate-1/3 convolutional code (sync_code.h) give 210 coded bits, each adding or subtracting its
// own keyed pattern of +-1 chips, drawn from the seed and the level.
//
// The change to the luminance is that pattern scaled by a mask of the host's local contrast,
// then by one factor so that its root mean square is exactly the strength: an additive change
// of RMS r gives a PSNR of 20 log10(255 / r) before rounding to bytes (40 dB: r = 2.55).
//
// Detection reduces the suspect to about a megapixel, whitens it, finds the tile's lattice
// (two period vectors: rotation, scales, aspect and shear) from the peaks of its
// autocorrelation, folds the picture into one tile along that lattice, and finds the
// translation by correlating the folded tile cyclically with the coded bits' patterns; the
// best shifts are decoded, and the score is the decoded codeword's correlation. Everything
// is plain IEEE arithmetic in the written order (the transforms sync_fft.h's): the same
// inputs give the same bytes of the change and the same reading on every machine.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sync_code.h"

namespace quillfen::sync {

inline constexpr int kTileChips = 32;
// The picture side, in pixels, that a chip of one pixel is made for (level 0).
inline constexpr int kLevelSide = 512;
// The detector reads a suspect reduced to at most about kWorkingSide^2 pixels.
inline constexpr int kWorkingSide = 1024;
// The pictures the method marks: at least 256 x 256. A suspect may be smaller (a marked
// picture halved), down to 64 x 64.
inline constexpr int kSmallestHost = 256;
inline constexpr int kSmallestSuspect = 64;

// The chip level and side for a picture of width x height.
int LevelFor(int width, int height);
double ChipSide(int level);

// The strength (the change's root mean square) that puts the mark at `psnr` dB, before the
// marked luminance is rounded to bytes (which adds about 1/12 to the squared error).
double StrengthForPsnr(double psnr);

// The keyed pattern of the coded payload on a picture of width x height, root mean square 1
// over the tile, before masking: row-major, one value a pixel.
std::vector<double> Pattern(int width, int height, const PayloadBits& payload, std::uint32_t seed);

// The change to add to the luminance `luma` (row-major, width x height, values 0..255) to
// mark it: its root mean square is `strength` (> 0). ArgumentError for a picture smaller
// than 256 x 256 or a strength that is not positive and finite.
// EmbedChange before its scaling: the masked pattern, and in `energy` the sum of its squares;
// EmbedChange multiplies each value by strength / sqrt(energy / (width height)).
std::vector<double> MaskedPattern(const double* luma, int width, int height, const PayloadBits& payload,
                                  std::uint32_t seed, double& energy);
std::vector<double> EmbedChange(const double* luma, int width, int height, const PayloadBits& payload,
                                std::uint32_t seed, double strength);

// MaskedPattern made a row at a time, value for value and with the same energy, for pictures
// whose plane of doubles would be the largest thing in memory (a photograph's: eight bytes a
// pixel). What it keeps is the tile's rows interpolated across the width (32 rows) and the
// mask's blocks; the luminance is read once, a row at a time, for the mask.
class MaskedRows {
public:
    // `lumaRow(y, out)` writes the luminance's row y (width values, as MaskedPattern's `luma`);
    // it is called once for each row, in order. ArgumentError as MaskedPattern.
    MaskedRows(int width, int height, const PayloadBits& payload, std::uint32_t seed,
               const std::function<void(int, double*)>& lumaRow);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // MaskedPattern's `energy`.
    double Energy() const { return energy_; }
    // MaskedPattern's row y (0 <= y < height) into out[0 .. width).
    void Row(int y, double* out) const;

private:
    int width_ = 0, height_ = 0, blocksAcross_ = 0, blocksDown_ = 0;
    double energy_ = 0;
    std::vector<double> across_;  // the tile's row v interpolated across the width, at v * width
    std::vector<int> tileLow_;    // each row's chip row below (modulo the tile)
    std::vector<double> tileFrac_;
    std::vector<double> mask_;  // per block, row-major
    std::vector<int> maskLowX_, maskLowY_;
    std::vector<double> maskFracX_, maskFracY_;
};

// What the detector found: the map from the marked picture's pixels to the suspect's,
// suspect = A * marked + (ShiftX, ShiftY). A = R(rotation) * [ScaleX Shear; 0 ScaleY], the
// rotation counter-clockwise on screen (rotations are found within -45..45 degrees). The
// translation of a periodic mark is known only up to a whole number of tiles: the shift is
// the one nearest to 0 of all those the tile's lattice allows.
struct SyncTransform {
    double RotationDegrees = 0;
    double ScaleX = 1, ScaleY = 1, Shear = 0;
    double ShiftX = 0, ShiftY = 0;
    double A[2][2] = {{1, 0}, {0, 1}};
    // The tile's period vectors in the suspect, in pixels (its first and second axis).
    double Period1X = 0, Period1Y = 0, Period2X = 0, Period2Y = 0;
    int Level = 0;  // the chip level of the marked picture
};

struct SyncReading {
    // A lattice was found (or taken as the suspect's own grid) and decoded. False for a
    // suspect without any periodic structure the search could use; the score is then 0.
    bool Synchronised = false;
    // The decoded codeword's correlation with the folded tile, in units of its chance spread:
    // about N(0, 1) for one hypothesis on a picture without the mark; the search makes the
    // largest of many, bounded by FalseAlarmBound. Marked pictures read 15..40 at 40 dB.
    double Score = 0;
    double FalseAlarm = 1;  // FalseAlarmBound(Score)
    // The same reading as a normalised correlation in -1..1: the cosine between the folded
    // tile and the decoded payload's tile at the shift found (Score over that tile's norm,
    // about 32). For a tile of chance its tail is below that of N(0, 1/1024), so the bound
    // and thresholds carry over divided by 32 (CosineThreshold).
    double Cosine = 0;
    PayloadBits Bits{};
    std::array<double, kPayloadBits> Soft{};  // > 0 reads 0 (sync_code.h)
    SyncTransform Transform;
    // How sure the synchronisation is: the autocorrelation of the whitened suspect at the
    // lattice's period vectors (1 at lag 0; the mark gives 0.1..0.7, unmarked pictures
    // below about 0.1), the best score of a hypothesis that reads another payload, and the
    // lattices and hypotheses (lattice x level x shift) tried.
    double LatticePeak = 0;
    double RunnerUp = 0;
    int Lattices = 0;
    int Hypotheses = 0;
    double WorkingScale = 1;  // suspect pixels per working pixel
};

// Reads the suspect's luminance (row-major, width x height, at least 64 x 64; ArgumentError
// otherwise) with the key's seed.
SyncReading Detect(const double* luma, int width, int height, std::uint32_t seed);

// What detection finds without the key: the reduced, whitened suspect's lattices and its folds
// along them. Most of detection's work; reading one suspect with many keys (null trials, a
// search for which key marked a picture) prepares it once. Cheap to copy (shared, immutable).
class PreparedSuspect {
public:
    // ArgumentError as Detect.
    PreparedSuspect(const double* luma, int width, int height);
    // The same, the luminance read a row at a time: `lumaRow(y, out)` writes row y (width
    // values), called once for each row, in order. No plane of the whole suspect is kept.
    PreparedSuspect(int width, int height, const std::function<void(int, double*)>& lumaRow);

private:
    struct Parts;
    std::shared_ptr<const Parts> parts_;
    friend SyncReading Detect(const PreparedSuspect& prepared, std::uint32_t seed);
};
// The same reading as Detect(luma, width, height, seed), bit for bit.
SyncReading Detect(const PreparedSuspect& prepared, std::uint32_t seed);

// The largest number of hypotheses the detector tests: lattices x levels x shifts, times
// the 2^64 codewords the decoder chooses from.
double LogHypothesesBound();
// An upper bound on the probability that a picture without the mark (or with another key's)
// reaches `score`, the whole search included: min(1, e^(ln M - score^2 / 2)).
double FalseAlarmBound(double score);
// The score whose FalseAlarmBound is `rate` (0 < rate < 1): 11.146 at 1e-3, 11.749 at 1e-6.
double Threshold(double rate);
// The cosine a reading must reach for the same rate: Threshold(rate) / sqrt(32 x 32 chips),
// 0.3483 at 1e-3 and 0.3672 at 1e-6. A cosine of a unit vector uniform on the sphere of
// n = 1024 dimensions exceeds c with probability below e^(-n c^2 / 2), the bound above.
double CosineThreshold(double rate);

}  // namespace quillfen::sync
