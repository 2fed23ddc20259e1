#pragma once
// Marking real pictures: the embedding into a host picture of any size (the method marks its
// top-left 256 x 256 region), the key it leaves, the reading of a mark back from a suspect
// picture, and the verdict "mark present / no mark found".
//
// Why the verdict does not rest on NC. NC counts the mark's black pixels found black again,
// and a black pixel is read wherever a coefficient keeps the relation to its diagonal partner
// that the host had. An unmarked copy of the host keeps every relation, so it reads the whole
// mark back (NC 1, BER 0), better than the marked picture itself; a marked picture read with
// the key of another seed still reads about 0.7. The presence of the mark shows only in the
// relations the embedding reversed. The detection score therefore compares two shares:
//
//   score = (share of the reversed relations that the suspect shows reversed)
//         - (share of the untouched relations that the suspect shows reversed),
//
// over the relations the marked region's bytes carry as the embedding left them (those that
// the rounding to bytes already undid count in neither share). The written marked region
// scores 1; an unmarked copy of the host scores 0, however it was processed, as long as the
// processing treats reversed and untouched relations alike; an unrelated picture scores
// about 0, as both shares are then about one half. NC and BER are reported beside it, as
// the method defines them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/gray_view.h"
#include "quillfen/watermark/detection_score.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/mark_key.h"
#include "quillfen/watermark/registration.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// The gray plane of a picture: its blue bytes, as the workspace loads pictures.
GrayPlane GrayOf(const Bitmap& picture);

// The marked region of a picture: its top-left 256 x 256, row-major, extended with white where
// the picture is smaller (as the workspace loads pictures).
std::vector<std::uint8_t> MarkedRegion(const GrayView& picture);

struct MarkedHost {
    // The host at its own size, the region's pixels replaced by X_hat: all three bytes of a
    // gray picture, the blue byte (the one the method reads) of a colour picture.
    Bitmap Picture;
    MarkKey Key;
    // PSNR of the written region (bytes) against the host's region; +infinity when equal.
    double RegionPsnr = 0.0;
    // NC of the written region read back with the key: what the rounding to bytes costs.
    std::optional<double> RegionNc;
    // The embedding's step results (counts of Wr and Wa, the PSNR of X_hat_real).
    std::vector<StepResult> Steps;
};

// Embeds `mark` (used at 128 x 128) into the top-left 256 x 256 region of `host`, with the
// generator started from `seed` (the clock's when none). ArgumentError for a host smaller
// than 256 x 256 (a marked picture is never padded), a mark without black pixels in the
// compared area (NC would have nothing to count), and a mark so dark that fewer than
// kMinimumRelations relations carry it.
MarkedHost EmbedIntoHost(const Bitmap& host, const Bitmap& mark, std::optional<std::uint32_t> seed);

// EmbedIntoHost for a caller's gray pixels: the host's top-left 256 x 256 region and the
// mark's top-left 128 x 128 are read, and the marked picture comes back as a gray plane of the
// host's size; the key is the one EmbedIntoHost gives for the same pixels. The same refusals,
// and ArgumentError for a view CheckView refuses.
struct MarkedPicture {
    GrayPlane Picture;  // the host with the marked region in place
    MarkKey Key;
    double RegionPsnr = 0.0;
    std::optional<double> RegionNc;
};
MarkedPicture EmbedIntoHost(const GrayView& host, const GrayView& mark, std::optional<std::uint32_t> seed);

// The marked picture and the key of an experiment that has run the embedding on `host` (the
// picture its load took, at full size): what EmbedIntoHost returns for its own experiment,
// with the same refusals. The desktop program writes a document's embedding through it.
// StepRefused before GetX_hat. Steps is left empty.
MarkedHost MarkHost(const Experiment& experiment, const Bitmap& host);

// The key of an experiment that has run GetX_hat, for a host picture of hostWidth x
// hostHeight (at least 256 x 256). StepRefused before GetX_hat.
MarkKey KeyFromExperiment(const Experiment& experiment, int hostWidth, int hostHeight);

// The score of the relations observed in a suspect (128 x 128, P's coding) against the key.
// ArgumentError for a plane of the wrong size or a key with no reversed or untouched relation.
DetectionScore ScoreRelations(const MarkKey& key, std::span<const std::uint8_t> observed);

// The score of the relations the workspace's last extraction observed (its P_wave).
DetectionScore ScoreExtraction(const MarkKey& key, const TWatermark& workspace);

// Scores pictures against one key with nothing of the extraction but what the score reads:
// the mid-band transform of the 256 x 256 picture, the relations of its coefficients, and the
// counts. The score is ReadMark's (and ScoreExtraction's after an extraction from the same
// reals), bit for bit, for a fraction of the work: what null trials, thousands of them, use.
// One scorer per thread; the key must outlive it.
class RelationScorer {
public:
    explicit RelationScorer(const MarkKey& key);
    // A picture as a file holds it (its bytes), or in reals as the workspace's attacks give it;
    // either is read where it is. ArgumentError for a plane that is not 256 x 256.
    DetectionScore Score(std::span<const std::uint8_t> picture);
    DetectionScore Score(std::span<const double> picture);
    // The scorer's own 256 x 256 plane of reals: fill it with a picture, then ScoreBuffer()
    // scores it where it is (a trial that makes its picture in reals saves a copy).
    std::vector<double>& Buffer();
    DetectionScore ScoreBuffer() { return Score(std::span<const double>(Buffer())); }
    // The relations of the picture scored last, in P's coding (128 x 128).
    const std::vector<std::uint8_t>& Relations() const { return relations_; }

private:
    DetectionScore ScoreReduced();

    const MarkKey& key_;
    std::vector<int> reversed_;   // positions of the relations the bytes carry reversed
    std::vector<int> untouched_;  // ... and as the host had them
    std::vector<double> reals_;
    std::vector<double> reduced_;
    std::vector<std::uint8_t> relations_;
};

// ReadMark's score, NC and whole-mark bit error rate of a 256 x 256 region, bit for bit, from
// the one transform a RelationScorer makes: the extraction's later steps (the comparison with
// P, the block orders undone, the scatter undone) follow tables made once from the key. What
// a sweep's rows read, thousands of pictures with one key; the extracted mark is made only
// when asked for. One measurer per thread; the key must outlive it.
struct MarkMeasures {
    DetectionScore Score;
    std::optional<double> Nc;  // none when the key's mark has no black pixel to compare
    double Ber = 0.0;
};
class MarkMeasurer {
public:
    // Whether a key is one the tables follow: a key the extraction reads and scores without
    // refusing it, whose block orders are orders of all 1024 blocks (every key embedded or
    // decoded). ReadMark reads (or refuses) any other.
    static bool Follows(const MarkKey& key);
    // ArgumentError for a key it does not follow.
    explicit MarkMeasurer(const MarkKey& key);
    MarkMeasures Measure(std::span<const std::uint8_t> region);
    MarkMeasures Measure(std::span<const double> region);
    // W_wave of the region measured last (128 x 128).
    std::vector<std::uint8_t> ExtractedMark() const;

private:
    MarkMeasures Finish(const DetectionScore& score);

    const MarkKey& key_;
    RelationScorer scorer_;
    std::vector<int> wrPlace_;                // where each pixel of Wa_wave lands in Wr_wave
    std::vector<std::uint8_t> scatteredAt_;  // ScatteredMark at that place
    std::vector<int> readersAt_;             // black pixels of W in NC's window that read that place
    double ncDenominator_ = 0;
};

// The bit error rate over every pixel of the mark. The embedding scatters each black pixel of
// W to its position in Wr and leaves every other position of Wr white, so each of the 16384
// pixels has its place in Wr: the black ones at their scatter positions, the white ones at the
// positions no black pixel took. The share of Wr_wave (the extraction's reading of Wr) that
// differs from Wr is thus the share of mark pixels read wrongly, black and white alike: 0 for
// the marked picture as embedded, about 0.5 for a picture whose relations are unrelated to the
// key's, whatever the mark (counting only the black pixels, as W_wave against W does, would
// put that chance level at the mark's share of black).
double WholeMarkBitErrorRate(std::span<const std::uint8_t> wrWave, const ExtractionKey& key);
// The key's Wr as WholeMarkBitErrorRate reads it, 1 where a black pixel of W is scattered and 0
// elsewhere, and the rate against it: a run reading many pictures with one key makes it once.
std::vector<std::uint8_t> ScatteredMark(const ExtractionKey& key);
double WholeMarkBitErrorRate(std::span<const std::uint8_t> wrWave, std::span<const std::uint8_t> scattered);

struct MarkReading {
    std::vector<std::uint8_t> W_wave;  // 128 x 128, the extracted mark
    std::optional<double> Nc;          // none when the key's mark has no black pixel to compare
    double Ber = 0.0;                  // WholeMarkBitErrorRate
    DetectionScore Score;
    bool RegionIdentical = false;      // the suspect's region is the marked region, byte for byte
};

// Extracts the mark from the top-left 256 x 256 of `suspect` with the key. A suspect smaller
// than that is read as if extended with white (as the workspace loads pictures).
MarkReading ReadMark(const GrayView& suspect, const MarkKey& key);

// ReadMark of a suspect that may have been moved, turned, resized or cropped: it is first
// registered to `host` (the original or the marked picture; registration.h) and read in the
// host's frame. When the transform found fits the marked region worse than the suspect as it
// is, and the suspect as it is fits well (RegionFit of at least kPoorFit), the transform would
// read the mark from a picture moved the wrong way (an unmoved picture misregistered): the
// suspect is then read as it is. Errors of the registration module pass through.
struct SuspectReading {
    MarkReading Reading;
    Registration Registered;  // the registration found (the front ends report its transform and fit)
    bool ReadAsIs = false;    // the transform was set aside
    double AsIsFit = 0.0;     // RegionFit of the suspect as it is and after the transform, when
    double MovedFit = 0.0;    // a transform was needed (both 0 for an identity)
};
SuspectReading ReadRegisteredMark(const GrayView& suspect, const GrayView& host, const MarkKey& key);

}  // namespace quillfen
QUILLFEN_API_END
