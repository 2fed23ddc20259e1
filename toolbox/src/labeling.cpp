// Connected-component labeling. The queue-based fill reaches exactly the fixed point of the
// repeated whole-plane scans of literal::FillLabel, which are kept as the reference: the
// label ends on every 255 pixel joined through 255 pixels to a pixel holding it.
#include "quillfen/toolbox/labeling.h"

#include <array>
#include <vector>

#include "quillfen/image/errors.h"

namespace quillfen::labeling {
namespace {

constexpr const char* kManyLabels = "Many Labels in this image";

// E, NE, N, NW, W, SW, S, SE.
constexpr int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

// Labels every object with `fill` in row-major order of the objects' first pixels.
template <typename Fill>
Labelled LabelWith(const GrayPlane& plane, Fill fill) {
    Labelled result{plane, 0};
    int next = kMaxObjects;
    for (int i = 0; i < result.plane.size(); ++i) {
        if (result.plane.data()[i] != 255) continue;
        if (next <= 0) throw TooManyObjectsError(kManyLabels);
        fill(result.plane, i, static_cast<std::uint8_t>(next));
        --next;
    }
    result.count = kMaxObjects - next;
    return result;
}

// Fills from the seed and every pixel in `sources` (pixels already holding the label).
void FillFrom(GrayPlane& plane, int seed, const std::int32_t* sources, std::size_t sourceCount,
              std::uint8_t label, std::vector<std::int32_t>& queue) {
    const int w = plane.width();
    const int h = plane.height();
    std::uint8_t* p = plane.data();
    queue.clear();
    p[seed] = label;
    queue.push_back(seed);
    queue.insert(queue.end(), sources, sources + sourceCount);
    const int around[8] = {1, 1 - w, -w, -w - 1, -1, w - 1, w, w + 1};
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const int i = queue[head];
        const int x = i % w;
        const int y = i / w;
        if (x > 0 && x < w - 1 && y > 0 && y < h - 1) {
            for (const int d : around) {
                const int j = i + d;
                if (p[j] != 255) continue;
                p[j] = label;
                queue.push_back(j);
            }
            continue;
        }
        // On the border only the neighbours inside the plane exist.
        for (int k = 0; k < 8; ++k) {
            const int xx = x + kDx[k];
            const int yy = y + kDy[k];
            if (xx < 0 || xx >= w || yy < 0 || yy >= h) continue;
            const int j = yy * w + xx;
            if (p[j] != 255) continue;
            p[j] = label;
            queue.push_back(j);
        }
    }
}

// Positions of the pixels holding `label`.
std::vector<std::int32_t> Holding(const GrayPlane& plane, std::uint8_t label) {
    std::vector<std::int32_t> found;
    for (int i = 0; i < plane.size(); ++i)
        if (plane.data()[i] == label) found.push_back(i);
    return found;
}

}  // namespace

void FillLabel(GrayPlane& plane, int x, int y, std::uint8_t label) {
    const std::vector<std::int32_t> sources = Holding(plane, label);
    std::vector<std::int32_t> queue;
    FillFrom(plane, y * plane.width() + x, sources.data(), sources.size(), label, queue);
}

Labelled Label(const GrayPlane& plane) {
    // Only 255 pixels ever change, so the pixels holding a label value when that label is
    // given are the ones that held it in the input: bucket them once by value.
    std::array<std::int32_t, 257> start{};
    for (const std::uint8_t v : plane.pixels()) ++start[v + 1];
    for (int v = 0; v < 256; ++v) start[v + 1] += start[v];
    std::vector<std::int32_t> byValue(static_cast<std::size_t>(start[256]));
    {
        std::array<std::int32_t, 256> fill{};
        for (int v = 0; v < 256; ++v) fill[v] = start[v];
        for (int i = 0; i < plane.size(); ++i) byValue[fill[plane.data()[i]]++] = i;
    }
    std::vector<std::int32_t> queue;
    return LabelWith(plane, [&](GrayPlane& target, int seed, std::uint8_t label) {
        FillFrom(target, seed, byValue.data() + start[label], static_cast<std::size_t>(start[label + 1] - start[label]),
                 label, queue);
    });
}

namespace literal {

void FillLabel(GrayPlane& plane, int x, int y, std::uint8_t label) {
    const int w = plane.width();
    const int h = plane.height();
    plane.at(x, y) = label;
    bool changed = true;
    while (changed) {
        changed = false;
        for (int yy = 0; yy < h; ++yy) {
            for (int xx = 0; xx < w; ++xx) {
                if (plane.at(xx, yy) != label) continue;
                for (int k = 0; k < 8; ++k) {
                    const int nx = xx + kDx[k];
                    const int ny = yy + kDy[k];
                    if (nx < 0 || nx >= w || ny < 0 || ny >= h) continue;
                    std::uint8_t& q = plane.at(nx, ny);
                    if (q == 255) {
                        q = label;
                        changed = true;
                    }
                }
            }
        }
    }
}

Labelled Label(const GrayPlane& plane) {
    return LabelWith(plane, [](GrayPlane& target, int seed, std::uint8_t label) {
        FillLabel(target, seed % target.width(), seed / target.width(), label);
    });
}

}  // namespace literal

}  // namespace quillfen::labeling
