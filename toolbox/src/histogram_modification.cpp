// Histogram modification: equalization, matching to a target histogram and the two contrast stretches.
#include "quillfen/toolbox/histogram_modification.h"

#include <cmath>
#include <cstdlib>

#include "quillfen/image/errors.h"
#include "quillfen/toolbox/histogram.h"

namespace quillfen::histogram {
namespace {

int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

// Round(cum(g) * scale + 0.5), at most 255. The added half rounds every non-integral
// product up.
LevelTable ScaledEqualizationTable(const Counts& histogram, double scale) {
    LevelTable table{};
    std::int64_t cumulative = 0;
    for (int g = 0; g < 256; ++g) {
        cumulative += histogram[g];
        const int entry = Round(static_cast<double>(cumulative) * scale + 0.5);
        table[g] = static_cast<std::uint8_t>(entry > 255 ? 255 : entry);
    }
    return table;
}

// Round((g - low) * scale) for g = low..high.
void FillStretch(LevelTable& table, int low, int high, double scale) {
    for (int g = low; g <= high; ++g) table[g] = static_cast<std::uint8_t>(Round((g - low) * scale));
}

}  // namespace

LevelTable EqualizationTable(const Counts& counts, int pixelCount) {
    if (pixelCount == 0) throw MathError(kFloatingPointDivisionByZero);
    return ScaledEqualizationTable(counts, 255.0 / pixelCount);
}

LevelTable SpecificationTable(const Counts& counts, int pixelCount) {
    const LevelTable equalize = EqualizationTable(counts, pixelCount);
    // inv(j): the first level whose equalized value lies nearest to j.
    LevelTable inverse{};
    for (int j = 0; j < 256; ++j) {
        int best = 0;
        for (int k = 1; k < 256; ++k)
            if (std::abs(j - equalize[k]) < std::abs(j - equalize[best])) best = k;
        inverse[j] = static_cast<std::uint8_t>(best);
    }
    // Mapping through the equalization table and then through the inverse is one pass
    // through their composition.
    LevelTable composed{};
    for (int v = 0; v < 256; ++v) composed[v] = inverse[equalize[v]];
    return composed;
}

Stretch AutoContrastTable(const Counts& histogram, int pixelCount) {
    if (pixelCount == 0) throw MathError(kFloatingPointDivisionByZero);
    int first = 0;
    while (histogram[first] == 0) ++first;
    int last = 255;
    while (histogram[last] == 0) --last;
    return AutoContrastTable(static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(last));
}

Stretch AutoContrastTable(std::uint8_t first, std::uint8_t last) {
    // One gray level: nothing to stretch between, 255 / 0.
    if (first == last) throw MathError(kFloatingPointDivisionByZero);
    Stretch stretch;
    for (int g = last + 1; g < 256; ++g) stretch.table[g] = 255;
    FillStretch(stretch.table, first, last, 255.0 / (last - first));
    stretch.low = first;
    stretch.high = last;
    return stretch;
}

Stretch EndsInTable(const Counts& histogram, int pixelCount, std::uint8_t lowPercent, std::uint8_t highPercent) {
    // The first share, 0 * 100 / 0, has no value on an empty plane.
    if (pixelCount == 0) throw MathError(kInvalidFloatingPointOperation);
    const double n = pixelCount;
    int first = 0;
    std::int64_t cumulative = 0;
    for (int g = 0; g < 256; ++g) {
        cumulative += histogram[g];
        if (static_cast<double>(cumulative) * 100 / n >= lowPercent) {
            first = g;
            break;
        }
    }
    int last = 255;
    cumulative = 0;
    for (int g = 255; g >= 0; --g) {
        cumulative += histogram[g];
        if (static_cast<double>(cumulative) * 100 / n >= highPercent) {
            last = g;
            break;
        }
    }
    if (first == last) throw MathError(kFloatingPointDivisionByZero);
    Stretch stretch;
    for (int g = last; g < 256; ++g) stretch.table[g] = 255;  // over the zeros of 0..Low where they meet
    if (last >= first) FillStretch(stretch.table, first, last, 255.0 / (last - first));
    stretch.low = static_cast<std::uint8_t>(first);
    stretch.high = static_cast<std::uint8_t>(last);
    return stretch;
}

GrayPlane Equalize(const GrayPlane& plane) {
    if (plane.empty()) throw MathError(kFloatingPointDivisionByZero);
    return plane.Mapped(EqualizationTable(CountLevels(plane), plane.size()));
}

GrayPlane Specify(const GrayPlane& plane) {
    if (plane.empty()) throw MathError(kFloatingPointDivisionByZero);
    return plane.Mapped(SpecificationTable(CountLevels(plane), plane.size()));
}

namespace {

Stretched Apply(const GrayPlane& plane, const Stretch& stretch) {
    return {plane.Mapped(stretch.table), stretch.low, stretch.high};
}

}  // namespace

Stretched AutoContrastStretch(const GrayPlane& plane) {
    if (plane.empty()) throw MathError(kFloatingPointDivisionByZero);
    const auto [low, high] = plane.LevelRange();  // the ends of the histogram, without counting it
    return Apply(plane, AutoContrastTable(low, high));
}

Stretched EndsInContrastStretch(const GrayPlane& plane, std::uint8_t lowPercent, std::uint8_t highPercent) {
    if (plane.empty()) throw MathError(kInvalidFloatingPointOperation);
    return Apply(plane, EndsInTable(CountLevels(plane), plane.size(), lowPercent, highPercent));
}

}  // namespace quillfen::histogram
