#pragma once
// Small picture builders shared by the toolbox tests and benchmarks.
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "quillfen/image/gray_plane.h"
#include "quillfen/toolbox/rix_ipa.h"

namespace quillfen::test {

// A gray plane of width x height pixels, row-major.
struct Plane {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    Plane(int w, int h, std::uint8_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
    std::uint8_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    void fillRect(int x0, int y0, int x1, int y1, std::uint8_t v) {  // inclusive corners
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) at(x, y) = v;
    }
    GrayPlane gray() const { return GrayPlane(width, height, pixels); }
    TRixIPA ipa() const {
        TRixIPA result;
        result.LoadFromGray(width, height, pixels.data());
        return result;
    }
};

// Every pixel drawn uniformly from `values`.
inline Plane RandomPlane(int w, int h, std::uint32_t seed, const std::vector<std::uint8_t>& values) {
    Plane p(w, h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> pick(0, values.size() - 1);
    for (auto& v : p.pixels) v = values[pick(rng)];
    return p;
}

inline Plane RandomGray(int w, int h, std::uint32_t seed) {
    Plane p(w, h);
    std::mt19937 rng(seed);
    for (auto& v : p.pixels) v = static_cast<std::uint8_t>(rng() & 255u);
    return p;
}

// A one-pixel-wide white spiral on black filling an n x n picture inside a one-pixel black
// margin, with one black pixel between its arms: a single object whose label has to travel
// the whole length, against the scan direction on every other arm.
inline Plane Spiral(int n) {
    Plane p(n, n, 0);
    const auto inside = [n](int x, int y) { return x >= 1 && y >= 1 && x <= n - 2 && y <= n - 2; };
    const int dx[4] = {1, 0, -1, 0};
    const int dy[4] = {0, 1, 0, -1};
    int x = 1, y = 1, d = 0;
    p.at(x, y) = 255;
    const auto can_move = [&](int dir) {
        const int nx = x + dx[dir], ny = y + dy[dir];
        if (!inside(nx, ny) || p.at(nx, ny) != 0) return false;
        const int bx = nx + dx[dir], by = ny + dy[dir];
        return !inside(bx, by) || p.at(bx, by) == 0;
    };
    for (;;) {
        if (!can_move(d)) {
            d = (d + 1) % 4;
            if (!can_move(d)) break;
        }
        x += dx[d];
        y += dy[d];
        p.at(x, y) = 255;
    }
    return p;
}

// `count` isolated white pixels on black, on a grid with two black pixels between them,
// away from the border.
inline Plane Dots(int w, int h, int count) {
    Plane p(w, h, 0);
    int placed = 0;
    for (int y = 2; y < h - 2 && placed < count; y += 3)
        for (int x = 2; x < w - 2 && placed < count; x += 3, ++placed) p.at(x, y) = 255;
    return p;
}

// Pictures on which a fast form must give the bytes of its literal twin: sizes around the
// vector widths (1 to 64 bytes) and below the 3 x 3 interior, each random in all gray
// levels, random in the extremes 0, 1, 254 and 255 (ties, saturation, the levels that
// contraction and expansion look for), a ramp, and all black and all white.
inline std::vector<Plane> HardPictures() {
    std::vector<Plane> pictures;
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 5}, {5, 2}, {3, 3}, {4, 4}, {17, 9}, {34, 7},
                                         {66, 5}, {67, 6}, {130, 4}, {131, 9}, {200, 3}};
    std::uint32_t seed = 1;
    for (const auto& [w, h] : sizes) {
        pictures.push_back(RandomGray(w, h, seed++));
        pictures.push_back(RandomPlane(w, h, seed++, {0, 1, 254, 255}));
        Plane ramp(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ramp.at(x, y) = static_cast<std::uint8_t>((x * 37 + y * 91) & 255);
        pictures.push_back(ramp);
        pictures.push_back(Plane(w, h, 0));
        pictures.push_back(Plane(w, h, 255));
    }
    return pictures;
}

}  // namespace quillfen::test
