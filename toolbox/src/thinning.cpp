// Zhang-Suen thinning. Every non-zero pixel is object; a one-pixel frame of object is laid
// round the plane first, so objects touching the border stay attached to it. Each iteration
// is a first pass (N.E.W = 0, N.S.W = 0), a deletion, a stop if the first pass marked
// nothing, a second pass (N.E.S = 0, E.S.W = 0) and a deletion. Both passes read the work
// plane as it stood when the pass began.
#include "quillfen/toolbox/thinning.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quillfen::thinning {
namespace {

// Neighbour bits in the circular order E, NE, N, NW, W, SW, S, SE (bit 0 = E).
enum : unsigned { kE = 1, kNE = 2, kN = 4, kNW = 8, kW = 16, kSW = 32, kS = 64, kSE = 128 };

// For each of the 256 neighbourhoods, whether the first (bit 0) and the second (bit 1) pass
// delete an object pixel with it.
constexpr std::array<std::uint8_t, 256> MakeDeletionTable() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned code = 0; code < 256; ++code) {
        int count = 0;
        int transitions = 0;
        for (unsigned k = 0; k < 8; ++k) {
            const bool here = (code >> k) & 1u;
            const bool next = (code >> ((k + 1) & 7u)) & 1u;
            count += here ? 1 : 0;
            transitions += (here && !next) ? 1 : 0;
        }
        if (count < 2 || count > 6 || transitions != 1) continue;
        const auto has = [code](unsigned bit) { return (code & bit) != 0; };
        std::uint8_t passes = 0;
        if (!(has(kN) && has(kE) && has(kW)) && !(has(kN) && has(kS) && has(kW))) passes |= 1;
        if (!(has(kN) && has(kE) && has(kS)) && !(has(kE) && has(kS) && has(kW))) passes |= 2;
        table[code] = passes;
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kDeletionTable = MakeDeletionTable();

inline unsigned NeighbourCode(const std::uint8_t* b, std::size_t i, std::size_t w) {
    return (b[i + 1] ? kE : 0u) | (b[i - w + 1] ? kNE : 0u) | (b[i - w] ? kN : 0u) |
           (b[i - w - 1] ? kNW : 0u) | (b[i - 1] ? kW : 0u) | (b[i + w - 1] ? kSW : 0u) |
           (b[i + w] ? kS : 0u) | (b[i + w + 1] ? kSE : 0u);
}

// The reference form's neighbourhood tests, on the work plane b (values 0 and 1).
int CountNeighbours(const GrayPlane& b, int x, int y) {
    int count = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx != 0 || dy != 0) && b.at(x + dx, y + dy) >= 1) ++count;
    return count;
}

int CountTransitions(const GrayPlane& b, int x, int y) {
    // E, NE, N, NW, W, SW, S, SE, and back to E.
    static constexpr int kDx[9] = {1, 1, 0, -1, -1, -1, 0, 1, 1};
    static constexpr int kDy[9] = {0, -1, -1, -1, 0, 1, 1, 1, 0};
    int transitions = 0;
    for (int k = 0; k < 8; ++k) {
        const bool here = b.at(x + kDx[k], y + kDy[k]) >= 1;
        const bool next = b.at(x + kDx[k + 1], y + kDy[k + 1]) >= 1;
        if (here && !next) ++transitions;
    }
    return transitions;
}

void DeleteMarked(GrayPlane& b, std::vector<std::uint8_t>& marks) {
    for (int i = 1; i < b.size() - 1; ++i) {
        if (marks[i] != 0) {
            b.data()[i] = 0;
            marks[i] = 0;
        }
    }
}

// The work plane of both forms: the input with the frame laid round it, as 0 and 1.
GrayPlane WorkPlane(const GrayPlane& plane) {
    GrayPlane b = plane;
    if (b.empty()) return b;
    const int w = b.width();
    const int h = b.height();
    for (int y = 0; y < h; ++y) {
        b.at(0, y) = 1;
        b.at(w - 1, y) = 1;
    }
    for (int x = 0; x < w; ++x) {
        b.at(x, 0) = 1;
        b.at(x, h - 1) = 1;
    }
    for (std::uint8_t* p = b.data(); p != b.data() + b.size(); ++p) *p = *p != 0 ? 1 : 0;
    return b;
}

GrayPlane Finish(GrayPlane b) {
    for (std::uint8_t* p = b.data(); p != b.data() + b.size(); ++p) *p = *p != 0 ? 255 : 0;
    return b;
}

}  // namespace

namespace literal {

GrayPlane ZhangSuen(const GrayPlane& plane) {
    GrayPlane b = WorkPlane(plane);
    std::vector<std::uint8_t> marks(static_cast<std::size_t>(b.size()), 0);
    const int width = b.width();
    const int height = b.height();
    const auto at = [&](int x, int y) { return int{b.at(x, y)}; };
    for (;;) {
        bool changed = false;
        for (int pass = 0; pass < 2; ++pass) {
            for (int y = 1; y < height - 1; ++y) {
                for (int x = 1; x < width - 1; ++x) {
                    if (at(x, y) != 1) continue;
                    const int n = CountNeighbours(b, x, y);
                    if (n < 2 || n > 6 || CountTransitions(b, x, y) != 1) continue;
                    const int pn = at(x, y - 1), pe = at(x + 1, y), ps = at(x, y + 1), pw = at(x - 1, y);
                    const bool ok = pass == 0 ? (pn * pe * pw == 0 && pn * ps * pw == 0)
                                              : (pn * pe * ps == 0 && pe * ps * pw == 0);
                    if (ok) {
                        marks[static_cast<std::size_t>(y) * width + x] = 1;
                        changed = true;
                    }
                }
            }
            DeleteMarked(b, marks);
            // Only a first pass that marks nothing ends the thinning.
            if (pass == 0 && !changed) break;
        }
        if (!changed) break;
    }
    return Finish(std::move(b));
}

}  // namespace literal

GrayPlane ZhangSuen(const GrayPlane& plane) {
    GrayPlane work = WorkPlane(plane);
    if (work.width() < 3 || work.height() < 3) return Finish(std::move(work));
    const int height = work.height();
    const int pixelCount = work.size();
    const std::size_t w = static_cast<std::size_t>(work.width());
    std::uint8_t* const b = work.data();
    // A pixel's verdict in a pass depends only on its 3 x 3 neighbourhood, so after its first
    // full scan a kind of pass needs to look again only at the pixels next to a deletion made
    // since it last ran. One candidate list per kind, with a membership flag per pixel.
    bool fullScan[2] = {true, true};
    std::vector<std::int32_t> candidates[2];
    std::vector<std::uint8_t> listed(static_cast<std::size_t>(pixelCount), 0);  // bit k: on candidates[k]
    std::vector<std::int32_t> marked;
    const auto is_interior = [&](std::size_t i) {
        const std::size_t x = i % w;
        return x != 0 && x != w - 1 && i >= w && i < static_cast<std::size_t>(pixelCount) - w;
    };
    for (;;) {
        bool stop = false;
        for (int pass = 0; pass < 2; ++pass) {
            const std::uint8_t bit = static_cast<std::uint8_t>(1u << pass);
            marked.clear();
            if (fullScan[pass]) {
                for (int y = 1; y < height - 1; ++y) {
                    for (std::size_t i = y * w + 1, end = y * w + w - 1; i < end; ++i) {
                        if (b[i] != 0 && (kDeletionTable[NeighbourCode(b, i, w)] & bit) != 0)
                            marked.push_back(static_cast<std::int32_t>(i));
                    }
                }
                fullScan[pass] = false;
                // Whatever was queued for this kind meanwhile has just been looked at.
                for (const std::int32_t c : candidates[pass]) listed[static_cast<std::size_t>(c)] &= static_cast<std::uint8_t>(~bit);
            } else {
                for (const std::int32_t c : candidates[pass]) {
                    const std::size_t i = static_cast<std::size_t>(c);
                    listed[i] &= static_cast<std::uint8_t>(~bit);
                    if (b[i] != 0 && (kDeletionTable[NeighbourCode(b, i, w)] & bit) != 0)
                        marked.push_back(c);
                }
            }
            candidates[pass].clear();
            for (const std::int32_t c : marked) b[static_cast<std::size_t>(c)] = 0;
            // Neighbours of a deletion may change their verdict in either kind of pass.
            for (const std::int32_t c : marked) {
                const std::size_t i = static_cast<std::size_t>(c);
                const std::size_t around[8] = {i + 1, i - w + 1, i - w, i - w - 1,
                                               i - 1, i + w - 1, i + w, i + w + 1};
                for (const std::size_t j : around) {
                    if (b[j] == 0 || listed[j] == 3 || !is_interior(j)) continue;
                    for (int k = 0; k < 2; ++k) {
                        if ((listed[j] & (1u << k)) == 0) {
                            listed[j] = static_cast<std::uint8_t>(listed[j] | (1u << k));
                            candidates[k].push_back(static_cast<std::int32_t>(j));
                        }
                    }
                }
            }
            if (pass == 0 && marked.empty()) {
                stop = true;
                break;
            }
        }
        if (stop) break;
    }
    return Finish(std::move(work));
}

}  // namespace quillfen::thinning
