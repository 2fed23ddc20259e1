#pragma once
// A key's own calibration, measured when the key is made: the detection score of the key's own
// host, unmarked, after the processing a copy of a picture meets on its way, and the thresholds
// that hold for it (mark_key.h stores them, detection_thresholds.h fits them).
//
// Why a key needs one. The global calibration's trials are many pictures, most of which score
// about 0 against a given key; an unmarked copy of the key's own picture after light processing
// does not: Gaussian noise of one gray level, invisible, flips exactly the weak relations, and
// on some pictures those lie more among the relations the embedding reversed than among the
// others, so such copies score a few hundredths above 0, more on some pictures than on any the
// global calibration saw. The key's own null measures that case for its own picture.
//
// The trials, for `Trials` in all (the seeded kinds share what the fixed ones leave):
//   noise        Gaussian noise of standard deviation 0.25, 0.5, 1, 1.5, 2 and 3 gray levels,
//                one component per level, each trial with noise of its own;
//   noise+jpeg   noise of 0.5 to 1.5 gray levels, then JPEG at a quality of 60..100, drawn;
//   jpeg         JPEG at every quality 60..100;
//   filter       Gaussian blurs of 0.4 to 1 pixel, sharpening of 0.25 to 1, a 3 x 3 median;
//   tone         gamma 0.8 to 1.25, contrast 0.8 to 1.2, brightness -8 to +8;
//   rescale      resized by 90 to 110 % and back;
//   shift        moved by one pixel in each of the 8 directions;
//   resave       the picture itself (saved again without loss).
// Each trial's picture is what a file would hold (bytes). The noise of a trial is read from a
// table of 2^18 standard normal deviates, made once from a fixed seed, from a start and with a
// sign of its own (2^19 different fields): Gaussian deviates drawn per pixel would cost several
// times the score itself. The trials' starts, strides and drawn parameters come from a stream seeded by the
// key's seed and its region's digest, so a key's calibration is the same bytes on every machine
// and with any number of threads. The trials' scores are the method's (for the polarity
// method, marking.h's score of the relations).
#include <cstdint>
#include <optional>
#include <span>

#include "quillfen/image/export.h"
#include "quillfen/image/image_view.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/mark_key.h"
#include "quillfen/watermark/marking.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// The fixed trials (jpeg, filter, tone, rescale, shift and resave), and the fewest and the
// default number of trials in all. The default, 2000, takes about half a second on one core;
// the fewest leave a few noise trials per level, enough for a key whose thresholds matter
// little (a test's): a component's spread is never taken below the binomial one, but its mean
// and spread are less certain with fewer trials.
inline constexpr std::uint32_t kFixedKeyTrials = 82;
inline constexpr std::uint32_t kFewestKeyTrials = 100;
inline constexpr std::uint32_t kDefaultKeyTrials = 2000;

struct KeyCalibrationOptions {
    // All the trials: 0 (no calibration of its own) or kFewestKeyTrials..kMaxKeyTrials.
    std::uint32_t Trials = kDefaultKeyTrials;
    int Jobs = 0;  // threads; 0: every core
};

// Measures the key's null on `host`, the key's own host unmarked (its top-left 256 x 256 gray
// region is what the trials process), and fits its thresholds. The trials' stream comes from the
// key's seed and the marked picture's region (`marked`). The method reads each trial's picture
// with the key (its scores alone). ArgumentError for a number of trials outside
// kFewestKeyTrials..kMaxKeyTrials, and what the method's reading refuses.
KeyCalibration CalibrateKey(const WatermarkMethod& method, const MethodKey& key, const GrayView& host,
                            const GrayView& marked, const KeyCalibrationOptions& options = {});

// Gives `marked` (an embedding of `host` by `method`) its key's calibration, as `embed` and the
// desktop's Save Key write it, when the method's keys measure one (MethodCapabilities) and
// Trials is not 0; otherwise the key keeps none.
void CalibrateMarkedKey(const WatermarkMethod& method, MethodMarked& marked, const ImageView& host,
                        const KeyCalibrationOptions& options = {});

// The same for the laboratory's own embedding (marking.h's MarkHost of an experiment run step by
// step, which is the polarity method's): what the desktop's Save Key writes.
void CalibrateMarkedHost(MarkedHost& marked, const Bitmap& host, const KeyCalibrationOptions& options = {});

}  // namespace quillfen
QUILLFEN_API_END
