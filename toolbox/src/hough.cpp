// Hough line transform.
//
// The two angle formulas are kept exactly where they belong: (t - T/2) * 2pi / T when
// voting and (t / T - 0.5) * 2pi for a peak. In doubles they differ in the last bit for
// about half the rows, which moves votes that fall on an exact tie of the distance index.
#include "quillfen/toolbox/hough.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "quillfen/image/errors.h"
#include "quillfen/image/round_half_even.h"
#include "toolbox_loops.h"

namespace quillfen::hough {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kThreeQuarterPi = 2.356194490192345;
constexpr int kMaxCount = 3600;

void CheckCount(const char* name, int value) {
    if (value < 2 || value > kMaxCount)
        throw ArgumentError(std::string("Hough transform: ") + name + " must be from 2 to " +
                            std::to_string(kMaxCount) + ", got " + std::to_string(value));
}

void CheckNotNegative(const char* name, int value) {
    if (value < 0)
        throw ArgumentError(std::string("Hough transform: ") + name +
                            " must be 0 or more, got " + std::to_string(value));
}

void TraceLine(const GrayPlane& counts, std::vector<std::uint8_t>& canvas, int minLineLength, double theta,
               double rho);

// The edge pixels waiting to vote, as offsets from the plane's centre, and what a block of
// them needs while voting.
class Voters {
public:
    // A block this large keeps its offsets, indices and previous indices in the first-level
    // cache beside one row of counts.
    static constexpr std::size_t kBlock = 4096;
    static constexpr std::size_t kStreams = 4;

    // Room for a block and one more row of `width` pixels, so that no row is split.
    void Reserve(std::size_t width) {
        dx_.reserve(kBlock + width);
        dy_.reserve(kBlock + width);
        fx_.reserve(kBlock + width);
        fy_.reserve(kBlock + width);
    }
    bool Full() const { return dx_.size() >= kBlock; }

    // The edge pixels of one row (edge[x] = 1, x = 1..width-2) at distance dy from the centre
    // row, taken without a branch per pixel: every pixel is written, and the next one goes
    // over it unless it was an edge.
    void AddRow(const std::uint8_t* edge, int width, double dy, double halfWidth) {
        std::size_t n = dx_.size();
        const std::size_t room = n + static_cast<std::size_t>(width);
        dx_.resize(room);
        dy_.resize(room);
        fx_.resize(room);
        fy_.resize(room);
        const auto fdy = static_cast<float>(dy);
        for (int x = 1; x < width - 1; ++x) {
            const double dx = x - halfWidth;
            dx_[n] = dx;
            dy_[n] = dy;
            fx_[n] = static_cast<float>(dx);
            fy_[n] = fdy;
            n += edge[x];
        }
        dx_.resize(n);
        dy_.resize(n);
        fx_.resize(n);
        fy_.resize(n);
    }

    // Every waiting pixel votes in every row t of the half table (`runs`, R + 2 columns a
    // row, the last one where pixels without a vote cast theirs), and the block is emptied.
    // At each row a pixel's index votes for one run of cells: itself and the gap back to its
    // index at the row before (toolbox_loops::HoughRuns). The run goes into a difference row
    // (+1 at its start, -1 after its end), so the work is the same whatever the gap.
    void Vote(const std::vector<double>& cosines, const std::vector<double>& sines, double diagonal, int R,
              std::size_t columns, std::vector<std::int32_t>& runs) {
        const std::size_t n = dx_.size();
        start_.resize(n);
        end_.resize(n);
        previous_.assign(n, -1);
        copies_.resize(kStreams * columns);
        for (std::size_t t = 0; t < cosines.size(); ++t) {
            toolbox_loops::HoughRuns({dx_.data(), dy_.data(), fx_.data(), fy_.data(), n}, cosines[t], sines[t],
                                     diagonal, R, previous_.data(), start_.data(), end_.data());
            // Neighbouring pixels mostly vote for the same cells, and the pixels of a line all
            // for one; a count cannot be raised before its last raise is stored. So the votes
            // go in kStreams interleaved streams, each a stretch of the block counted in its
            // own copy of the row, and the copies are added into the table's row.
            std::fill(copies_.begin(), copies_.end(), 0);
            const std::size_t stride = (n + kStreams - 1) / kStreams;
            std::size_t k = 0;
            for (; k + (kStreams - 1) * stride < n; ++k) {
                for (std::size_t stream = 0; stream < kStreams; ++stream) {
                    std::int32_t* copy = copies_.data() + stream * columns;
                    ++copy[start_[k + stream * stride]];
                    --copy[end_[k + stream * stride]];
                }
            }
            for (; k < stride; ++k) {
                for (std::size_t at = k, stream = 0; at < n; at += stride, ++stream) {
                    std::int32_t* copy = copies_.data() + stream * columns;
                    ++copy[start_[at]];
                    --copy[end_[at]];
                }
            }
            std::int32_t* row = runs.data() + t * columns;
            for (std::size_t stream = 0; stream < kStreams; ++stream) {
                const std::int32_t* copy = copies_.data() + stream * columns;
                for (std::size_t r = 0; r < columns; ++r) row[r] += copy[r];
            }
        }
        dx_.clear();
        dy_.clear();
        fx_.clear();
        fy_.clear();
    }

private:
    std::vector<double> dx_, dy_;
    std::vector<float> fx_, fy_;
    std::vector<std::int32_t> start_, end_, previous_, copies_;
};

GrayPlane Run(const GrayPlane& plane, const Parameters& parameters, bool literal, ProgressSink* progress) {
    CheckCount("ThetaCount", parameters.thetaCount);
    CheckCount("RhoCount", parameters.rhoCount);
    CheckNotNegative("MinLineLength", parameters.minLineLength);
    CheckNotNegative("GradientThreshold", parameters.gradientThreshold);
    CheckNotNegative("HoughThreshold", parameters.houghThreshold);
    const bool lineBased = parameters.lineBased;

    const int T = parameters.thetaCount;
    const int R = parameters.rhoCount;
    const int half = T / 2;
    const double thetaCells = T;
    const double rhoCells = R;
    // One extra row and column: the mirrored votes land in column R (for r = 0).
    const std::size_t columns = static_cast<std::size_t>(R) + 1;
    std::vector<double> votes((static_cast<std::size_t>(T) + 1) * columns, 0.0);
    const auto cell = [&](int t, int r) -> double& { return votes[t * columns + r]; };
    std::vector<std::uint8_t> edges(static_cast<std::size_t>(plane.size()), 0);

    const int w = plane.width();
    const int h = plane.height();
    const double halfWidth = w / 2.0;
    const double halfHeight = h / 2.0;
    const double diagonal = std::sqrt(static_cast<double>(w) * w + static_cast<double>(h) * h);
    const auto distance_index = [&](double rho) { return (rho / diagonal + 0.5) * rhoCells + 0.5; };
    const std::uint8_t* p = plane.data();
    const auto at = [p, w](int x, int y) { return static_cast<int>(p[y * w + x]); };

    // Point-based voting, fast form: the sinusoid of each angle row comes from tables of
    // the very same cosines and sines, and only the first half of the table is counted (as
    // integer runs, summed at the end); its mirror (row t + half, column R - r) receives
    // exactly the same votes and is copied in afterwards. The edge pixels vote a block at a
    // time, angle row by angle row (whole counts, so the order of the votes changes
    // nothing): each row's counts then stay in the cache for the block, and the distance
    // indices of a row are computed for many pixels at once.
    std::vector<double> cosines, sines;
    std::vector<std::int32_t> runs;
    Voters voters;
    if (!lineBased && !literal) {
        cosines.resize(static_cast<std::size_t>(half));
        sines.resize(static_cast<std::size_t>(half));
        for (int t = 0; t < half; ++t) {
            const double theta = (t - thetaCells / 2) * kTwoPi / thetaCells;
            cosines[t] = std::cos(theta);
            sines[t] = std::sin(theta);
        }
        runs.assign(static_cast<std::size_t>(half) * (columns + 1), 0);
        voters.Reserve(static_cast<std::size_t>(w));
    }
    const auto voteBlock = [&] {
        voters.Vote(cosines, sines, diagonal, R, columns + 1, runs);
    };

    // Voting is nearly all of the work: progress is counted in rows voted.
    const double rows = h > 2 ? h - 2 : 1;
    Advance(progress, 0.0);
    for (int y = 1; y < h - 1; ++y) {
        Advance(progress, (y - 1) / rows);
        if (voters.Full()) voteBlock();
        if (!lineBased && !literal) {
            std::uint8_t* edge = edges.data() + static_cast<std::size_t>(y) * w;
            toolbox_loops::SobelEdges(p, w, y, parameters.gradientThreshold, edge);
            voters.AddRow(edge, w, y - halfHeight, halfWidth);
            continue;
        }
        for (int x = 1; x < w - 1; ++x) {
            const int sx = at(x + 1, y - 1) + 2 * at(x + 1, y) + at(x + 1, y + 1) - at(x - 1, y - 1) -
                           2 * at(x - 1, y) - at(x - 1, y + 1);
            const int sy = at(x - 1, y + 1) + 2 * at(x, y + 1) + at(x + 1, y + 1) - at(x - 1, y - 1) -
                           2 * at(x, y - 1) - at(x + 1, y - 1);
            const double gx = sx / 8.0;
            const double gy = sy / 8.0;
            const double m = std::sqrt(gx * gx + gy * gy);
            if (m <= parameters.gradientThreshold) continue;
            edges[static_cast<std::size_t>(y) * w + x] = 1;
            const double dx = x - halfWidth;
            const double dy = y - halfHeight;

            if (lineBased) {
                const double nx = gx / m;
                const double ny = gy / m;
                const double rho = dx * nx + dy * ny;
                const double theta = std::atan2(ny, nx);
                const double r = std::nearbyint(distance_index(rho));
                const double t = std::nearbyint((theta / kTwoPi + 0.5) * thetaCells + 0.5);
                if (r >= 0 && r < rhoCells && t >= 0 && t < thetaCells)
                    cell(static_cast<int>(t), static_cast<int>(r)) += m;
                continue;
            }

            if (literal) {
                const auto vote = [&](int t, int r) {
                    cell(t, r) += 1;
                    cell(t + half, R - r) += 1;
                };
                int prev = 0;
                for (int t = 0; t < half; ++t) {
                    const double theta = (t - thetaCells / 2) * kTwoPi / thetaCells;
                    const double rho = dx * std::cos(theta) + dy * std::sin(theta);
                    // |rho| <= D / 2, so the index stays near 0..R and converts safely.
                    const int r = static_cast<int>(std::nearbyint(distance_index(rho)));
                    if (r >= 0 && r < R) {
                        vote(t, r);
                        if (t > 0) {
                            // Close the gap to the previous row's index along this row.
                            while (prev - 1 > r && prev < R) vote(t, --prev);
                            while (prev + 1 < r && prev > 0) vote(t, ++prev);
                        }
                    }
                    prev = r;
                }
            }
        }
    }
    if (!lineBased && !literal) voteBlock();
    Advance(progress, 1.0);
    if (!lineBased && !literal) {
        for (int t = 0; t < half; ++t) {
            const std::int32_t* row = runs.data() + static_cast<std::size_t>(t) * (columns + 1);
            std::int32_t count = 0;
            for (int r = 0; r < R; ++r) {
                count += row[r];
                const double v = count;
                cell(t, r) = v;
                cell(t + half, R - r) = v;
            }
        }
    }

    // Count map: the number of edge pixels in each interior pixel's 3 x 3 window, 0 on the
    // border. Line tracing reads it to tell whether a point lies on or next to an edge.
    GrayPlane counts(w, h);
    std::uint8_t* q = counts.data();
    if (!literal) toolbox_loops::WindowCounts(edges.data(), q, w, h);
    for (int y = 0; literal && y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1) {
                q[i] = 0;
                continue;
            }
            const std::uint8_t* e = edges.data() + i;
            q[i] = static_cast<std::uint8_t>(e[-w - 1] + e[-w] + e[-w + 1] + e[-1] + e[0] + e[1] +
                                             e[w - 1] + e[w] + e[w + 1]);
        }
    }

    std::fill(edges.begin(), edges.end(), 0);  // from here on: the output canvas
    const double threshold = parameters.houghThreshold;
    for (int t = 0; t < half; ++t) {
        for (int r = 0; r < R; ++r) {
            const double v = cell(t, r);
            if (!(v > threshold)) continue;
            // Equal neighbours do not suppress each other; the window may reach into the
            // mirrored half.
            bool peak = true;
            for (int tt = std::max(0, t - 2); peak && tt <= std::min(T - 1, t + 2); ++tt)
                for (int rr = std::max(0, r - 2); rr <= std::min(R - 1, r + 2); ++rr)
                    if (cell(tt, rr) > v) {
                        peak = false;
                        break;
                    }
            if (!peak) continue;
            const double theta = (t / thetaCells - 0.5) * kTwoPi;
            const double rho = (r / rhoCells - 0.5) * diagonal;
            TraceLine(counts, edges, parameters.minLineLength, theta, rho);
        }
    }
    return GrayPlane(w, h, std::move(edges));
}

void TraceLine(const GrayPlane& counts, std::vector<std::uint8_t>& canvas, int minLineLength, double theta,
               double rho) {
    const int w = counts.width();
    const int h = counts.height();
    const double halfWidth = w / 2.0;
    const double halfHeight = h / 2.0;
    const double magnitude = std::fabs(theta);
    // Steep normals step along x (y = b - x k), the others along y (x = b - y k).
    const bool alongX = magnitude >= kQuarterPi && magnitude <= kThreeQuarterPi;
    double k, b;
    if (alongX) {
        k = std::cos(theta) / std::sin(theta);
        b = rho / std::sin(theta) + halfWidth * k + halfHeight;
    } else {
        k = std::sin(theta) / std::cos(theta);
        b = rho / std::cos(theta) + halfHeight * k + halfWidth;
    }
    const int steps = alongX ? w : h;
    const double across = alongX ? h : w;
    const auto other = [b, k](int s) { return std::nearbyint(0.5 + b - s * k); };
    const auto paint = [&](int s) {
        const double o = other(s);
        // A run is drawn only after it has closed inside the image, and the line is
        // monotone, so o is always inside; the test only guards the buffer.
        if (o < 0 || o >= across) return;
        const int c = static_cast<int>(o);
        canvas[alongX ? static_cast<std::size_t>(c) * w + s : static_cast<std::size_t>(s) * w + c] = 255;
    };
    bool open = false;
    int start = 0;
    for (int s = 0; s < steps; ++s) {
        const double o = other(s);
        if (o < 0 || o >= across) continue;  // an open run stays open
        const int c = static_cast<int>(o);
        const int count = alongX ? counts.at(s, c) : counts.at(c, s);
        if (count > 0 && !open) {
            open = true;
            start = s;
        } else if (count == 0 && open) {
            if (s - start > minLineLength)
                for (int ss = start; ss < s; ++ss) paint(ss);
            open = false;
        }
    }
}

}  // namespace

GrayPlane Transform(const GrayPlane& plane, const Parameters& parameters, ProgressSink* progress) {
    return Run(plane, parameters, false, progress);
}

namespace literal {
GrayPlane Transform(const GrayPlane& plane, const Parameters& parameters) { return Run(plane, parameters, true, nullptr); }
}  // namespace literal

}  // namespace quillfen::hough
