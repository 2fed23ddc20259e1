// Noise removal (3 x 3 mean and median, contraction, expansion) and inversion. The four
// filters start from a copy of the plane, so the border rows and columns (and the whole of
// a plane narrower or lower than 3 pixels) keep their input values, and read only the
// unchanged input. The fast forms are the vector loops of toolbox_loops.h; the literal forms
// compute each window as its definition says.
#include "quillfen/toolbox/noise.h"

#include <algorithm>
#include <utility>

#include "toolbox_loops.h"

namespace quillfen::noise {
namespace {

using Loop = void (*)(const std::uint8_t*, std::uint8_t*, int, int);

// The filters start from a copy of the plane, so the border keeps its input values; the loop
// writes the interior.
GrayPlane Filtered(const GrayPlane& plane, Loop loop) {
    GrayPlane out = plane;
    loop(plane.data(), out.data(), plane.width(), plane.height());
    return out;
}

// Every interior pixel through `at(x, y)`, from a copy of the plane.
template <typename At>
GrayPlane EachInterior(const GrayPlane& plane, At at) {
    GrayPlane out = plane;
    for (int y = 1; y < plane.height() - 1; ++y)
        for (int x = 1; x < plane.width() - 1; ++x) out.at(x, y) = at(x, y);
    return out;
}

}  // namespace

GrayPlane Mean(const GrayPlane& plane) { return Filtered(plane, toolbox_loops::Mean); }

GrayPlane Median(const GrayPlane& plane) { return Filtered(plane, toolbox_loops::Median); }

GrayPlane Contraction(const GrayPlane& plane) { return Filtered(plane, toolbox_loops::Contract); }

GrayPlane Expansion(const GrayPlane& plane) { return Filtered(plane, toolbox_loops::Expand); }

GrayPlane Inverse(const GrayPlane& plane) {
    GrayPlane out = plane;
    toolbox_loops::Invert(plane.data(), out.data(), out.pixels().size());
    return out;
}

void SortWindow(std::int32_t values[], int left, int right) {
    if (left >= right) return;
    std::swap(values[left], values[(left + right) / 2]);
    int last = left;
    for (int i = left + 1; i <= right; ++i) {
        if (values[i] < values[left]) std::swap(values[++last], values[i]);
    }
    std::swap(values[left], values[last]);
    SortWindow(values, left, last - 1);
    SortWindow(values, last + 1, right);
}

namespace literal {

GrayPlane Median(const GrayPlane& plane) {
    return EachInterior(plane, [&plane](int x, int y) {
        std::int32_t window[9];
        int k = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) window[k++] = plane.at(x + dx, y + dy);
        SortWindow(window, 0, 8);
        return static_cast<std::uint8_t>(window[4]);
    });
}

GrayPlane NetworkMedian(const GrayPlane& plane) { return Filtered(plane, toolbox_loops::plain::Median); }

GrayPlane Mean(const GrayPlane& plane) {
    return EachInterior(plane, [&plane](int x, int y) {
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) sum += plane.at(x + dx, y + dy);
        return static_cast<std::uint8_t>(sum / 9);
    });
}

GrayPlane Contraction(const GrayPlane& plane) {
    return EachInterior(plane, [&plane](int x, int y) {
        const bool touches = plane.at(x - 1, y - 1) == 0 || plane.at(x + 1, y - 1) == 0 || plane.at(x - 1, y + 1) == 0 ||
                             plane.at(x + 1, y + 1) == 0;
        return touches ? std::uint8_t{0} : plane.at(x, y);
    });
}

GrayPlane Expansion(const GrayPlane& plane) {
    return EachInterior(plane, [&plane](int x, int y) {
        const bool touches = plane.at(x - 1, y - 1) == 255 || plane.at(x + 1, y - 1) == 255 ||
                             plane.at(x - 1, y + 1) == 255 || plane.at(x + 1, y + 1) == 255;
        return touches ? std::uint8_t{255} : plane.at(x, y);
    });
}

GrayPlane Inverse(const GrayPlane& plane) {
    LevelTable table;
    for (int v = 0; v < 256; ++v) table[v] = static_cast<std::uint8_t>(255 - v);
    return plane.Mapped(table);
}

}  // namespace literal

}  // namespace quillfen::noise
