#pragma once
// Threshold selection, kept apart from binarising: each function here looks at counts (or at
// a plane) and returns a level; Binarize applies one. The TRixIPA methods call one of these
// with the histogram of the current image and binarise with the level found.
//
// Where a function has a faster form that must give the same bits, the plain loop it is held
// against lives in `literal` (tests compare the two, bench/ times both).
#include <array>
#include <cstdint>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/toolbox/histogram.h"

QUILLFEN_API_BEGIN
namespace quillfen::thresholds {

using Counts = histogram::Counts;

// Pixels below the threshold become 0, the others 255 (a threshold of -1 or 0 turns the
// whole plane white, one above 255 black).
GrayPlane Binarize(const GrayPlane& plane, int threshold);
// The counts of Binarize's result, from the counts of its input.
Counts BinarizedCounts(const Counts& counts, int threshold);

// A binarised plane with the number its method reports.
struct Binarized {
    GrayPlane plane;
    int value = 0;
};

// First level g at which h(0) + ... + h(g) >= (n * percent) div 100; 0 when none does.
int PTileLevel(const Counts& h, int n, int percent);

// Valley between the two peaks of `c`: P1 the lowest level of the largest count, P2 the local
// maximum with the largest (j - P1)^2 * c(j), then the first lowest count from the lower of
// the two up to (not including) the higher; P1 when they coincide.
int TwoPeaksValley(const Counts& c);

// Iterative selection from the starting level `start`: half class means, truncated, until
// the level stops moving.
int IterativeSelectionLevel(const Counts& h, int start);

// The level of largest between-class to total variance (the later one on ties). MathError
// "Invalid floating point operation" for an empty or single-level histogram.
int GrayLevelHistogramLevel(const Counts& h, int n);

// Johannsen's entropy, minimised over the occupied levels. MathError when n is 0.
int JohannsenLevel(const Counts& h, int n);

// Kapur's entropy: each threshold with its own black and white entropy; the first level of
// largest sum. MathError when n is 0.
int KapurLevel(const Counts& h, int n);

// Pun's entropy, each class's mass against its own largest probability. MathError when n is 0.
int PunLevel(const Counts& h, int n);

// Minimised fuzziness (Shannon or Yager measure), then the smallest three-level sum near the
// minimum. -1 when no level qualifies (the whole image turns white).
int FuzzyShannonLevel(const Counts& h);
int FuzzyYagerLevel(const Counts& h);

// Kittler-Illingworth minimum error; the first level 1..255 of smallest criterion.
int MinimumErrorLevel(const Counts& h);

// The Laplacian-guided two peaks method. The Laplacian response of each interior pixel is
// max(0, sum of its 8 neighbours - 8 v) / 8; the border pixels respond 0. Leaves in `kept`
// the gray counts of the pixels whose response is at least the level below which about
// `percent` per cent of the responses lie, and returns the two-peaks valley of those counts.
int LaplacianLevel(const GrayPlane& plane, int percent, Counts& kept);

// Moving-average binarisation along the serpentine scan (row 0 left to right, row 1 right to
// left, ...); the value is the rounded last running average. The window is Round(width / 8)
// pixels; MathError "Invalid floating point operation" when it is 0.
Binarized MovingAverageBinarize(const GrayPlane& plane);
// The same scan cut into pieces that run side by side, each started `warmUp` pixels early
// from a guessed average and scanned again where the guess had not been forgotten by its
// first pixel: the same result for every warmUp >= 1 (MovingAverageBinarize uses 48 n).
Binarized MovingAverageBinarizeInPieces(const GrayPlane& plane, int warmUp);

namespace literal {
// The same results computed term by term from the defining formulas: no skipped terms, no
// tables, a division for every running average.
int KapurLevel(const Counts& h, int n);
int FuzzyShannonLevel(const Counts& h);
int FuzzyYagerLevel(const Counts& h);
int MinimumErrorLevel(const Counts& h);
int LaplacianLevel(const GrayPlane& plane, int percent, Counts& kept);
Binarized MovingAverageBinarize(const GrayPlane& plane);
}  // namespace literal

}  // namespace quillfen::thresholds
QUILLFEN_API_END
