// Connected-component labeling. The queue-based fill reaches exactly the fixed point of the
// repeated whole-plane scans of literal::FillLabel, which are kept as the reference: the
// label ends on every 255 pixel joined through 255 pixels to a pixel holding it.
#include "quillfen/toolbox/labeling.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "quillfen/image/errors.h"
#include "toolbox_loops.h"

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

// ---- Label: the objects found in one scan, then labelled in the order of the fills -------
//
// Label's fills change only 255 pixels, so what each fill covers follows from the input: the
// 8-connected object of 255 pixels holding its seed, and every object touching a pixel that
// held the fill's label in the input (such a pixel passes the label to its 255 neighbours,
// and an object that gets it passes it through itself; the label's other pixels are the
// fill's own). The objects come from one scan over the runs of 255 pixels of each row, joined
// with union-find; the fills are then played through object by object, in the order of their
// first pixels, which is the order the row-major search for the next 255 pixel meets them.

namespace {

// Provisional object numbers of the scan, with their union-find parents. A set's root is its
// smallest number, the one given at its first pixel in row-major order.
class Sets {
public:
    std::int32_t Add() {
        parent_.push_back(static_cast<std::int32_t>(parent_.size()));
        return parent_.back();
    }
    std::int32_t Find(std::int32_t a) {
        while (parent_[a] != a) {
            parent_[a] = parent_[parent_[a]];  // halves the path
            a = parent_[a];
        }
        return a;
    }
    void Join(std::int32_t a, std::int32_t b) {
        a = Find(a);
        b = Find(b);
        if (a < b) {
            parent_[b] = a;
        } else if (b < a) {
            parent_[a] = b;
        }
    }
    std::size_t size() const { return parent_.size(); }

private:
    std::vector<std::int32_t> parent_;
};

// A run of 255 pixels, columns start..end-1 of one row, and its object.
struct Run {
    std::int32_t start;
    std::int32_t end;
    std::int32_t object;
};

// The 255 pixels of a plane as bits, a row at a time in whole 64-bit words
// (toolbox_loops::WhiteBits), from which the runs of each row are read a word at a time.
class WhitePixels {
public:
    explicit WhitePixels(const GrayPlane& plane)
        : width_(plane.width()), words_((static_cast<std::size_t>(plane.width()) + 63) / 64),
          bits_(words_ * static_cast<std::size_t>(plane.height())) {
        for (int y = 0; y < plane.height(); ++y) {
            std::uint64_t* row = bits_.data() + static_cast<std::size_t>(y) * words_;
            toolbox_loops::WhiteBits(plane.row(y), static_cast<std::size_t>(width_), row);
            // A run starts at a set bit whose left neighbour is clear.
            std::uint64_t carry = 0;
            for (std::size_t k = 0; k < words_; ++k) {
                runs_ += static_cast<std::size_t>(std::popcount(row[k] & ~((row[k] << 1) | carry)));
                carry = row[k] >> 63;
            }
        }
    }

    // The number of runs in the plane.
    std::size_t Runs() const { return runs_; }

    // The runs of row y, left to right, each with object -1.
    void RunsOf(int y, std::vector<Run>& runs) const {
        runs.clear();
        const std::uint64_t* row = Row(y);
        std::int32_t open = -1;  // the start of a run going on into the next word
        for (std::size_t k = 0; k < words_; ++k) {
            std::uint64_t word = row[k];
            const auto base = static_cast<std::int32_t>(k * 64);
            if (open >= 0) {
                if (word == ~std::uint64_t{0}) continue;
                const int end = std::countr_one(word);
                runs.push_back({open, base + end, -1});
                open = -1;
                word &= ~std::uint64_t{0} << end;
            }
            while (word != 0) {
                const int start = std::countr_zero(word);
                const std::uint64_t after = ~word & (~std::uint64_t{0} << start);
                if (after == 0) {
                    open = base + start;
                    break;
                }
                const int end = std::countr_zero(after);
                runs.push_back({base + start, base + end, -1});
                word &= ~std::uint64_t{0} << end;
            }
        }
        if (open >= 0) runs.push_back({open, width_, -1});
    }

private:
    const std::uint64_t* Row(int y) const { return bits_.data() + static_cast<std::size_t>(y) * words_; }

    int width_;
    std::size_t words_;
    std::vector<std::uint64_t> bits_;
    std::size_t runs_ = 0;
};

// The objects of each run, in the order the rows give the runs, numbered 0, 1, ... in the
// order of the objects' first pixels.
struct Objects {
    std::vector<std::int32_t> ofRun;
    std::vector<std::size_t> rows;  // row y's runs are ofRun[rows[y]..rows[y + 1])
    std::int32_t count = 0;
};

// The objects with a pixel in columns x - 1 .. x + 1 of a row with these runs.
template <typename Each>
void ObjectsAround(const std::vector<Run>& runs, int x, Each each) {
    auto run = std::lower_bound(runs.begin(), runs.end(), x, [](const Run& r, int column) { return r.end < column; });
    for (; run != runs.end() && run->start <= x + 1; ++run) each(run->object);
}

// The columns of a row holding a level in low..high.
void Holding(const std::uint8_t* in, int w, std::uint8_t low, std::uint8_t high, std::vector<int>& columns) {
    columns.clear();
    const auto count = static_cast<std::size_t>(w);
    for (std::size_t x = toolbox_loops::FirstInRange(in, count, low, high); x < count;
         x += 1 + toolbox_loops::FirstInRange(in + x + 1, count - x - 1, low, high))
        columns.push_back(static_cast<int>(x));
}

Objects FindObjects(const WhitePixels& white, int h) {
    Objects found;
    found.ofRun.reserve(white.Runs());
    Sets sets;
    std::vector<Run> above;
    std::vector<Run> here;
    found.rows.assign(static_cast<std::size_t>(h) + 1, 0);
    for (int y = 0; y < h; ++y) {
        found.rows[y] = found.ofRun.size();
        white.RunsOf(y, here);
        // A run touches the runs of the row above that overlap its columns widened by one on
        // each side; both rows are left to right.
        std::size_t k = 0;
        for (Run& run : here) {
            while (k < above.size() && above[k].end < run.start) ++k;
            for (std::size_t j = k; j < above.size() && above[j].start <= run.end; ++j) {
                if (run.object < 0) {
                    run.object = above[j].object;
                } else {
                    sets.Join(run.object, above[j].object);
                }
            }
            if (run.object < 0) run.object = sets.Add();
            found.ofRun.push_back(run.object);
        }
        std::swap(above, here);
    }
    found.rows[h] = found.ofRun.size();
    // Roots in increasing order are the objects in the order of their first pixels.
    std::vector<std::int32_t> number(sets.size());
    for (std::size_t k = 0; k < sets.size(); ++k) {
        const std::int32_t root = sets.Find(static_cast<std::int32_t>(k));
        number[k] = root == static_cast<std::int32_t>(k) ? found.count++ : number[root];
    }
    for (std::int32_t& object : found.ofRun) object = number[object];
    return found;
}

// For each label a fill can give, the objects touched by the pixels holding that label in the
// input. One label per object at most: only 254 down to 254 - count + 1 are ever given.
std::vector<std::vector<std::int32_t>> Joined(const GrayPlane& plane, const WhitePixels& white, const Objects& objects) {
    std::vector<std::vector<std::int32_t>> joined(kMaxObjects + 1);
    if (objects.count == 0) return joined;
    const int w = plane.width();
    const int h = plane.height();
    const auto lowest = static_cast<std::uint8_t>(kMaxObjects - std::min<std::int32_t>(objects.count, kMaxObjects) + 1);
    // The runs (with their objects) of the rows asked for: rows before y - 1 are never asked
    // for again, so three rows are kept, found again with the objects of the first scan.
    std::vector<Run> cached[3];
    int cachedRow[3] = {-1, -1, -1};
    const auto runsOf = [&](int y) -> const std::vector<Run>& {
        std::vector<Run>& runs = cached[y % 3];
        if (cachedRow[y % 3] != y) {
            white.RunsOf(y, runs);
            for (std::size_t k = 0; k < runs.size(); ++k) runs[k].object = objects.ofRun[objects.rows[y] + k];
            cachedRow[y % 3] = y;
        }
        return runs;
    };
    std::vector<int> columns;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = plane.row(y);
        Holding(in, w, lowest, kMaxObjects, columns);
        for (const int x : columns)
            for (int r = std::max(0, y - 1); r <= std::min(h - 1, y + 1); ++r)
                ObjectsAround(runsOf(r), x, [&](std::int32_t object) { joined[in[x]].push_back(object); });
    }
    return joined;
}

}  // namespace

Labelled Label(const GrayPlane& plane) {
    const WhitePixels white(plane);
    const Objects objects = FindObjects(white, plane.height());
    const std::vector<std::vector<std::int32_t>> joined = Joined(plane, white, objects);
    // The fills in order: the next object without a label seeds the next one, which takes
    // along every object its pre-labelled pixels touch.
    std::vector<std::uint8_t> label(static_cast<std::size_t>(objects.count), 0);
    int next = kMaxObjects;
    for (std::int32_t seed = 0; seed < objects.count; ++seed) {
        if (label[seed] != 0) continue;
        if (next <= 0) throw TooManyObjectsError(kManyLabels);
        label[seed] = static_cast<std::uint8_t>(next);
        for (const std::int32_t touched : joined[next])
            if (label[touched] == 0) label[touched] = static_cast<std::uint8_t>(next);
        --next;
    }
    // The runs again, in the same order, each painted with its object's label.
    Labelled result{plane, kMaxObjects - next};
    std::vector<Run> runs;
    std::size_t k = 0;
    for (int y = 0; y < plane.height(); ++y) {
        std::uint8_t* out = result.plane.row(y);
        white.RunsOf(y, runs);
        for (const Run& run : runs) {
            const std::uint8_t value = label[objects.ofRun[k++]];
            for (std::int32_t x = run.start; x < run.end; ++x) out[x] = value;
        }
    }
    return result;
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
