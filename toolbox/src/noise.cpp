// Noise removal (3 x 3 mean and median, contraction, expansion) and inversion. The four
// filters start from a copy of the plane, so the border rows and columns (and the whole of
// a plane narrower or lower than 3 pixels) keep their input values, and read only the
// unchanged input.
#include "quillfen/toolbox/noise.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace quillfen::noise {
namespace {

inline void Order(std::uint8_t& a, std::uint8_t& b) {
    const std::uint8_t lo = std::min(a, b);
    b = std::max(a, b);
    a = lo;
}

// Fifth smallest of nine: the 19 compare-exchanges of the classic median-of-9 network
// (Paeth). Any correct sort leaves the same value in the middle entry.
inline std::uint8_t MedianOf9(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3,
                              std::uint8_t p4, std::uint8_t p5, std::uint8_t p6, std::uint8_t p7,
                              std::uint8_t p8) {
    Order(p1, p2); Order(p4, p5); Order(p7, p8);
    Order(p0, p1); Order(p3, p4); Order(p6, p7);
    Order(p1, p2); Order(p4, p5); Order(p7, p8);
    Order(p0, p3); Order(p5, p8); Order(p4, p7);
    Order(p3, p6); Order(p1, p4); Order(p2, p5);
    Order(p4, p7); Order(p4, p2); Order(p6, p4);
    Order(p4, p2);
    return p4;
}

// One interior row of contraction: 0 where any of the four diagonal neighbours is exactly 0,
// else the input. Written with a mask rather than a branch so that it vectorises.
void ContractRow(const std::uint8_t* __restrict above, const std::uint8_t* __restrict centre,
                 const std::uint8_t* __restrict below, std::uint8_t* __restrict out, std::size_t w) {
    for (std::size_t x = 1; x + 1 < w; ++x) {
        const std::uint8_t low = std::min(std::min(above[x - 1], above[x + 1]), std::min(below[x - 1], below[x + 1]));
        const auto keep = static_cast<std::uint8_t>(-static_cast<int>(low != 0));
        out[x] = static_cast<std::uint8_t>(centre[x] & keep);
    }
}

// One interior row of expansion: 255 where any diagonal neighbour is exactly 255.
void ExpandRow(const std::uint8_t* __restrict above, const std::uint8_t* __restrict centre,
               const std::uint8_t* __restrict below, std::uint8_t* __restrict out, std::size_t w) {
    for (std::size_t x = 1; x + 1 < w; ++x) {
        const std::uint8_t high = std::max(std::max(above[x - 1], above[x + 1]), std::max(below[x - 1], below[x + 1]));
        const auto fill = static_cast<std::uint8_t>(-static_cast<int>(high == 255));
        out[x] = static_cast<std::uint8_t>(centre[x] | fill);
    }
}

// Contraction and expansion: every interior row from its diagonal neighbours; the border rows
// (and planes lower than 3) keep their input values.
template <typename RowOperation>
GrayPlane DiagonalRows(const GrayPlane& plane, RowOperation rowOperation) {
    GrayPlane out = plane;
    const std::uint8_t* p = plane.data();
    const std::size_t w = static_cast<std::size_t>(plane.width());
    for (int y = 1; y < plane.height() - 1; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * w;
        rowOperation(p + row - w, p + row, p + row + w, out.data() + row, w);
    }
    return out;
}

}  // namespace

GrayPlane Mean(const GrayPlane& plane) {
    GrayPlane out = plane;
    const std::uint8_t* p = plane.data();
    const int w = plane.width();
    std::vector<int> column(static_cast<std::size_t>(w));
    for (int y = 1; y < plane.height() - 1; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * w;
        const std::uint8_t* a = p + row - w;
        const std::uint8_t* b = p + row;
        const std::uint8_t* c = p + row + w;
        for (int x = 0; x < w; ++x) column[x] = a[x] + b[x] + c[x];
        std::uint8_t* o = out.data() + row;
        // The nine-value sum fits easily in 32 bits; the division truncates (2294 gives 254).
        for (int x = 1; x < w - 1; ++x)
            o[x] = static_cast<std::uint8_t>((column[x - 1] + column[x] + column[x + 1]) / 9);
    }
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
    GrayPlane out = plane;
    for (int y = 1; y < plane.height() - 1; ++y) {
        for (int x = 1; x < plane.width() - 1; ++x) {
            std::int32_t window[9];
            int k = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) window[k++] = plane.at(x + dx, y + dy);
            SortWindow(window, 0, 8);
            out.at(x, y) = static_cast<std::uint8_t>(window[4]);
        }
    }
    return out;
}

}  // namespace literal

GrayPlane Median(const GrayPlane& plane) {
    GrayPlane out = plane;
    const std::uint8_t* p = plane.data();
    const int w = plane.width();
    for (int y = 1; y < plane.height() - 1; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * w;
        const std::uint8_t* a = p + row - w;
        const std::uint8_t* b = p + row;
        const std::uint8_t* c = p + row + w;
        std::uint8_t* o = out.data() + row;
        for (int x = 1; x < w - 1; ++x)
            o[x] = MedianOf9(a[x - 1], a[x], a[x + 1], b[x - 1], b[x], b[x + 1], c[x - 1], c[x], c[x + 1]);
    }
    return out;
}

GrayPlane Contraction(const GrayPlane& plane) { return DiagonalRows(plane, ContractRow); }

GrayPlane Expansion(const GrayPlane& plane) { return DiagonalRows(plane, ExpandRow); }

GrayPlane Inverse(const GrayPlane& plane) {
    LevelTable table;
    for (int v = 0; v < 256; ++v) table[v] = static_cast<std::uint8_t>(255 - v);
    return plane.Mapped(table);
}

}  // namespace quillfen::noise
