// Histogram modification: equalization, SpecifyHistogram and the two contrast stretches. Each
// builds a 256-entry table from the histogram of the image as it stands and maps the pixels
// through it; Scale keeps the factor of the last table built.
#include <array>
#include <cmath>
#include <cstdlib>

#include "image/errors.h"
#include "image/rix_ipa.h"

namespace quillfen {
namespace {

using Table = std::array<std::uint8_t, 256>;

int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

void MapPixels(std::uint8_t* pixels, int count, const Table& table) {
    for (int i = 0; i < count; ++i) pixels[i] = table[pixels[i]];
}

// Round(cum(g) * scale + 0.5), at most 255. The added half rounds every non-integral
// product up.
Table EqualizationTable(const std::array<std::int32_t, 256>& histogram, double scale) {
    Table table{};
    std::int64_t cumulative = 0;
    for (int g = 0; g < 256; ++g) {
        cumulative += histogram[g];
        const int entry = Round(static_cast<double>(cumulative) * scale + 0.5);
        table[g] = static_cast<std::uint8_t>(entry > 255 ? 255 : entry);
    }
    return table;
}

// Round((g - low) * scale) for g = low..high.
void FillStretch(Table& table, int low, int high, double scale) {
    for (int g = low; g <= high; ++g) table[g] = static_cast<std::uint8_t>(Round((g - low) * scale));
}

}  // namespace

void TRixIPA::Equalize() {
    SetUndoReady(true);
    ComputeHistogram();
    if (PixelCount == 0) throw MathError(kFloatingPointDivisionByZero);
    Scale = 255.0 / PixelCount;
    MapPixels(Image.data(), PixelCount, EqualizationTable(Histogram, Scale));
}

void TRixIPA::SpecifyHistogram() {
    SetUndoReady(true);
    ComputeHistogram();
    if (PixelCount == 0) throw MathError(kFloatingPointDivisionByZero);
    Scale = 255.0 / PixelCount;
    const Table equalize = EqualizationTable(Histogram, Scale);
    // inv(j): the first level whose equalized value lies nearest to j.
    Table inverse{};
    for (int j = 0; j < 256; ++j) {
        int best = 0;
        for (int k = 1; k < 256; ++k)
            if (std::abs(j - equalize[k]) < std::abs(j - equalize[best])) best = k;
        inverse[j] = static_cast<std::uint8_t>(best);
    }
    // Mapping through the equalization table and then through the inverse is one pass
    // through their composition.
    Table composed{};
    for (int v = 0; v < 256; ++v) composed[v] = inverse[equalize[v]];
    MapPixels(Image.data(), PixelCount, composed);
}

void TRixIPA::AutoContrastStretch(std::uint8_t& low, std::uint8_t& high) {
    SetUndoReady(true);
    ComputeHistogram();
    if (PixelCount == 0) throw MathError(kFloatingPointDivisionByZero);
    Scale = 255.0 / PixelCount;
    int first = 0;
    while (Histogram[first] == 0) ++first;
    int last = 255;
    while (Histogram[last] == 0) --last;
    low = static_cast<std::uint8_t>(first);
    high = static_cast<std::uint8_t>(last);
    // One gray level: nothing to stretch between, 255 / 0.
    if (first == last) throw MathError(kFloatingPointDivisionByZero);
    Table table{};
    for (int g = last + 1; g < 256; ++g) table[g] = 255;
    Scale = 255.0 / (last - first);
    FillStretch(table, first, last, Scale);
    MapPixels(Image.data(), PixelCount, table);
}

void TRixIPA::EndsInContrastStretch(std::uint8_t& low, std::uint8_t& high, std::uint8_t lowPercent,
                                    std::uint8_t highPercent) {
    SetUndoReady(true);
    ComputeHistogram();
    low = 0;
    // The first share, 0 * 100 / 0, has no value on an empty image.
    if (PixelCount == 0) throw MathError(kInvalidFloatingPointOperation);
    const double n = PixelCount;
    int first = 0;
    std::int64_t cumulative = 0;
    for (int g = 0; g < 256; ++g) {
        cumulative += Histogram[g];
        if (static_cast<double>(cumulative) * 100 / n >= lowPercent) {
            first = g;
            break;
        }
    }
    int last = 255;
    cumulative = 0;
    for (int g = 255; g >= 0; --g) {
        cumulative += Histogram[g];
        if (static_cast<double>(cumulative) * 100 / n >= highPercent) {
            last = g;
            break;
        }
    }
    low = static_cast<std::uint8_t>(first);
    high = static_cast<std::uint8_t>(last);
    if (first == last) throw MathError(kFloatingPointDivisionByZero);
    Table table{};
    for (int g = last; g < 256; ++g) table[g] = 255;  // over the zeros of 0..Low where they meet
    if (last >= first) {
        Scale = 255.0 / (last - first);
        FillStretch(table, first, last, Scale);
    }
    MapPixels(Image.data(), PixelCount, table);
}

}  // namespace quillfen
