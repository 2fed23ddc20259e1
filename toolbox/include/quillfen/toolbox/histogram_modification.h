#pragma once
// Histogram modification: equalization, matching to a target histogram and the two contrast
// stretches. Each builds a 256-entry table from the histogram of the plane and maps every pixel
// through it.
#include <cstdint>

#include "quillfen/image/export.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/toolbox/histogram.h"

QUILLFEN_API_BEGIN
namespace quillfen::histogram {

// Each level g becomes Round(cum(g) * 255 / n + 0.5), at most 255. MathError "Floating point
// division by zero" on an empty plane.
GrayPlane Equalize(const GrayPlane& plane);

// Equalizes, then maps each equalized value j to the first level whose equalized value lies
// nearest to j. MathError as Equalize.
GrayPlane Specify(const GrayPlane& plane);

// A stretched plane with the two levels the stretch ran between.
struct Stretched {
    GrayPlane plane;
    std::uint8_t low = 0;
    std::uint8_t high = 0;
};

// Stretches the occupied levels low..high over 0..255: Round((g - low) * 255 / (high - low)).
// MathError "Floating point division by zero" on an empty plane or a single gray level.
Stretched AutoContrastStretch(const GrayPlane& plane);

// Sets the darkest lowPercent per cent of the pixels to 0 and the brightest highPercent per
// cent to 255 and stretches between: low is the first level whose running share from below
// reaches lowPercent, high the first from above reaching highPercent. MathError "Invalid
// floating point operation" on an empty plane, "Floating point division by zero" when low and
// high meet.
Stretched EndsInContrastStretch(const GrayPlane& plane, std::uint8_t lowPercent, std::uint8_t highPercent);

// The tables the four map every pixel through, from the plane's counts and its number of
// pixels, with the same errors; for a caller that already has the counts.
LevelTable EqualizationTable(const Counts& counts, int pixelCount);
LevelTable SpecificationTable(const Counts& counts, int pixelCount);
struct Stretch {
    LevelTable table{};
    std::uint8_t low = 0;
    std::uint8_t high = 0;
};
Stretch AutoContrastTable(const Counts& counts, int pixelCount);
// The same from the first and last occupied level.
Stretch AutoContrastTable(std::uint8_t first, std::uint8_t last);
Stretch EndsInTable(const Counts& counts, int pixelCount, std::uint8_t lowPercent, std::uint8_t highPercent);

}  // namespace quillfen::histogram
QUILLFEN_API_END
