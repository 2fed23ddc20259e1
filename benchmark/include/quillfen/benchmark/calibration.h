#pragma once
// The calibration of the detection thresholds (detection_thresholds.h): the null trials that
// give their sample.
//
// The null trials. For every host h and seed s the mark is embedded (the key (h, s)); each key
// then reads
//   - every other host marked with every seed ("other-host-marked"),
//   - every other host unmarked ("other-host-unmarked"),
//   - its own host unmarked after every cell of an attack list, `none` among them
//     ("own-host-unmarked"): an unmarked copy that went through an editor, the case NC cannot
//     tell and the one that sets the upper tail.
// The key's own host marked with another seed is no null trial: it scores about 0.5, since
// the embedding of the same mark into the same host reverses many of the same relations
// whatever the seed. The score finds this mark in this host, not the seed that put it there;
// such a picture can only come from whoever holds the host and the mark.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/image/bitmap.h"
#include "quillfen/image/export.h"
#include "quillfen/methods/method.h"
#include "quillfen/watermark/detection_thresholds.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// A picture and the name rows and reports give it (its file name).
struct NamedPicture {
    std::string Name;
    Bitmap Picture;
};

// The watermark as the method uses it: cut or extended (with white) to 128 x 128, black below
// 128 (the binarisation of GetWr), row-major, 0 or 255.
std::vector<std::uint8_t> BinarisedMark(const Bitmap& mark);
// Its black pixels where NC compares (rows and columns 4..127): n. NC has no value when it is 0.
int MarkComparedBlackPixels(const Bitmap& mark);
// "fnv1a64:" and 16 hex digits of the FNV-1a hash of BinarisedMark: the same for every file
// holding the same mark (seal-128.pgm and seal-128.bmp).
std::string MarkDigest(const Bitmap& mark);

struct CalibrationOptions {
    std::string Program;   // recorded in the result
    int Jobs = 0;          // threads; 0: every core
    // Called after each key, one call at a time, from the worker threads: keys done, in all.
    std::function<void(std::size_t done, std::size_t total)> Progress;
    // When set, the run stops early and throws Cancelled (errors.h).
    const std::atomic<bool>* Cancel = nullptr;
};

// The number of null trials for H hosts, S seeds and C attack cells on the own unmarked host:
// per key (H S of them), (H - 1) S other hosts marked ((H - 1)(S - 1) for a blind method), H - 1
// other hosts unmarked and C own unmarked pictures.
std::uint64_t NullTrialCount(std::size_t hosts, std::size_t seeds, std::size_t attacks, bool blind);

// An estimate from above of the memory, in bytes, that Calibrate takes for H hosts (each
// 256 x 256, as the method reads them), S seeds and C attack cells on `threads` threads: both
// forms of every key's marked picture and of every unmarked host, each trial's result and its
// place in the histogram, and each thread's workspace.
std::uint64_t CalibrationMemory(std::size_t hosts, std::size_t seeds, std::size_t attacks, int threads);

// Runs the null trials of a method's keys, fits the model and draws the thresholds. The key
// (h, s) marks host h with seed s (with `mark` for a method that embeds a mark picture, else
// with the payload PayloadFromSeed(s), as a sweep does), and reads every other host unmarked,
// every other host marked (but, for a blind method, with its own seed: those carry its mark),
// and its own host unmarked after each attack, drawn from its seed. Hosts are as a sweep gives
// them to the method, in the order given: 256 x 256 gray regions for the polarity method, whole
// pictures (at least 256 x 256, in colour when they are) for a method that marks whole pictures. The calibration records the mark for a method that
// embeds one, else the method and its parameters. ArgumentError when the mark is missing, given
// to a method that embeds none, has no compared black pixel or carries too few relations for a
// score (marking.h), a seed, a host name or an attack is repeated, or there would be no trial;
// Cancelled when the cancel flag was set.
Calibration Calibrate(std::span<const NamedPicture> hosts, const WatermarkMethod& method, const NamedPicture* mark,
                      std::span<const std::uint32_t> seeds, std::span<const AttackCell> attacks,
                      const CalibrationOptions& options);

}  // namespace quillfen
QUILLFEN_API_END
