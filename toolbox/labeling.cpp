// Connected-component labeling: every 8-connected object of 255 pixels gets its own gray
// level, 254 for the first object met in row-major order, then 253 and so on down to 1.
//
// The label spreads only from interior pixels: a border pixel can receive a label but never
// passes it on, so a border pixel met before its object has reached it counts as an object
// of its own. Any pixel already holding the label being given (an input value of 254, say)
// passes it on as well. The queue-based fill below reaches exactly the fixed point of the
// repeated interior scans of FillLabelLiteral, which are kept as the reference.
#include "image/rix_ipa.h"
#include "image/user_prompts.h"

namespace quillfen {
namespace {

constexpr const char* kManyLabels = "Many Labels in this image";

}  // namespace

void TRixIPA::FillLabelLiteral(int x, int y, std::uint8_t label) {
    const std::size_t w = static_cast<std::size_t>(Width);
    Image[y * w + x] = label;
    static constexpr int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};  // E, NE, N, NW, W, SW, S, SE
    static constexpr int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};
    bool changed = true;
    while (changed) {
        changed = false;
        for (int yy = 1; yy < Height - 1; ++yy) {
            for (int xx = 1; xx < Width - 1; ++xx) {
                if (Image[yy * w + xx] != label) continue;
                for (int k = 0; k < 8; ++k) {
                    std::uint8_t& q = Image[(yy + kDy[k]) * w + (xx + kDx[k])];
                    if (q == 255) {
                        q = label;
                        changed = true;
                    }
                }
            }
        }
    }
}

int TRixIPA::LabelingLiteral(UserPrompts& prompts) {
    SetUndoReady(true);
    int next = 254;
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            if (Pixel(x, y) != 255) continue;
            if (next <= 0) {
                prompts.error(kManyLabels);
                return -1;
            }
            FillLabelLiteral(x, y, static_cast<std::uint8_t>(next));
            --next;
        }
    }
    return 254 - next;
}

void TRixIPA::FillFrom(int seed, const std::int32_t* sources, std::size_t sourceCount,
                       std::uint8_t label, std::vector<std::int32_t>& queue) {
    const int w = Width;
    const auto interior = [w, this](int i) {
        const int x = i % w;
        return x != 0 && x != w - 1 && i >= w && i < PixelCount - w;
    };
    std::uint8_t* p = Image.data();
    queue.clear();
    p[seed] = label;
    if (interior(seed)) queue.push_back(seed);
    for (std::size_t k = 0; k < sourceCount; ++k) queue.push_back(sources[k]);
    const int around[8] = {1, 1 - w, -w, -w - 1, -1, w - 1, w, w + 1};
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const int i = queue[head];
        for (const int d : around) {
            const int j = i + d;
            if (p[j] != 255) continue;
            p[j] = label;
            if (interior(j)) queue.push_back(j);  // border pixels receive but never pass on
        }
    }
}

void TRixIPA::FillLabel(int x, int y, std::uint8_t label) {
    // Interior pixels that already hold the label pass it on too.
    std::vector<std::int32_t> sources;
    for (int yy = 1; yy < Height - 1; ++yy)
        for (int xx = 1; xx < Width - 1; ++xx)
            if (Pixel(xx, yy) == label) sources.push_back(yy * Width + xx);
    std::vector<std::int32_t> queue;
    FillFrom(y * Width + x, sources.data(), sources.size(), label, queue);
}

int TRixIPA::Labeling(UserPrompts& prompts) {
    SetUndoReady(true);
    // Only 255 pixels ever change, so the interior pixels holding a label value before the
    // call are the ones holding it when that label is given: bucket them once by value.
    std::array<std::int32_t, 257> start{};
    for (int y = 1; y < Height - 1; ++y)
        for (int x = 1; x < Width - 1; ++x) ++start[Pixel(x, y) + 1];
    for (int v = 0; v < 256; ++v) start[v + 1] += start[v];
    std::vector<std::int32_t> byValue(static_cast<std::size_t>(start[256]));
    {
        std::array<std::int32_t, 256> fill{};
        for (int v = 0; v < 256; ++v) fill[v] = start[v];
        for (int y = 1; y < Height - 1; ++y)
            for (int x = 1; x < Width - 1; ++x) byValue[fill[Pixel(x, y)]++] = y * Width + x;
    }
    std::vector<std::int32_t> queue;
    int next = 254;
    const std::uint8_t* p = Image.data();
    for (int i = 0; i < PixelCount; ++i) {
        if (p[i] != 255) continue;
        if (next <= 0) {
            prompts.error(kManyLabels);
            return -1;
        }
        FillFrom(i, byValue.data() + start[next], static_cast<std::size_t>(start[next + 1] - start[next]),
                 static_cast<std::uint8_t>(next), queue);
        --next;
    }
    return 254 - next;
}

}  // namespace quillfen
