#pragma once
// Threshold selection, kept apart from binarising: each function here looks at counts (or at
// a plane) and returns a level; the TRixIPA methods in thresholds.cpp take the undo copy,
// recompute the histogram, call one of these and binarise.
//
// Where a function has a faster form that must give the same bits, the plain loop it is held
// against lives in `literal` (tests compare the two, bench/ times both).
#include <array>
#include <cstdint>
#include <vector>

namespace quillfen::thresholds {

using Counts = std::array<std::int32_t, 256>;

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

// The Laplacian-guided two peaks method on a width x height plane. Writes the per-pixel
// Laplacian into `map` (sized width * height; border entries are left as they are) and leaves
// in `histogram` the gray counts of the pixels whose Laplacian is at least the level below
// which about `percent` per cent of the responses lie. Returns the threshold.
int LaplacianLevel(int width, int height, const std::uint8_t* image, int percent,
                   std::vector<double>& map, Counts& histogram);

// Moving-average binarisation along the serpentine scan (row 0 left to right, row 1 right to
// left, ...): writes 0 or 255 for each pixel of `image` into `out` and returns the rounded
// last running average; `out` may be `image`. MathError "Invalid floating point operation"
// when the window Round(width / 8) is 0, before anything is written.
int MovingAverageBinarize(int width, int height, const std::uint8_t* image, std::uint8_t* out);

namespace literal {
// The same results computed as plainly as they are described: no skipped terms, no tables.
int KapurLevel(const Counts& h, int n);
int FuzzyShannonLevel(const Counts& h);
int FuzzyYagerLevel(const Counts& h);
int LaplacianLevel(int width, int height, const std::uint8_t* image, int percent,
                   std::vector<double>& map, Counts& histogram);
int MovingAverageBinarize(int width, int height, const std::uint8_t* image, std::uint8_t* out);
}  // namespace literal

}  // namespace quillfen::thresholds
