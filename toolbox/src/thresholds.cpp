// The thirteen threshold selection methods of the working image, and binarisation.
//
// Reals are doubles evaluated in the order the formulas are written; "Round" is
// std::nearbyint (ties to even). Degenerate inputs that would divide zero by zero are caught
// before the image changes and reported as MathError, never turned into NaN thresholds.
#include "quillfen/toolbox/thresholds.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "quillfen/image/errors.h"
#include "toolbox_loops.h"

namespace quillfen {
namespace thresholds {
namespace {

double Round(double value) { return std::nearbyint(value); }

// p(g) = h(g) / n and its running sum P(t), accumulated in level order.
struct Probabilities {
    std::array<double, 256> p{};
    std::array<double, 256> cumulative{};
    int first = -1;  // lowest level with p > 0
    int last = -1;   // highest level with p > 0
};

Probabilities MakeProbabilities(const Counts& h, int n) {
    // p(g) = h / 0 has no value on an empty image.
    if (n == 0) throw MathError(kInvalidFloatingPointOperation);
    Probabilities pr;
    double sum = 0.0;
    for (int g = 0; g < 256; ++g) {
        pr.p[g] = static_cast<double>(h[g]) / n;
        sum += pr.p[g];
        pr.cumulative[g] = sum;
        if (pr.p[g] > 0) {
            if (pr.first < 0) pr.first = g;
            pr.last = g;
        }
    }
    return pr;
}

// -x log10 x, the entropy term shared by Johannsen and Pun; 0 where it has no value.
double EntropyTerm(double x) { return x > 0 ? -x * std::log10(x) : 0.0; }

// Kapur's f(x, y) = -(x / y) log10(x / y).
double KapurTerm(double x, double y) {
    if (!(x > 0 && y > 0)) return 0.0;
    const double q = x / y;
    return -q * std::log10(q);
}

// ---- Fuzzy-set methods ----------------------------------------------------------------
// Both measures share the frame: E(t) for every qualifying t, then a window around the level
// of least fuzziness in which the smallest three-level sum is sought.

enum class FuzzyMeasure { Shannon, Yager };

struct FuzzyFrame {
    std::array<double, 256> S{}, Sbar{}, W{}, Wbar{};  // counts and moments below / above t
};

FuzzyFrame MakeFuzzyFrame(const Counts& h) {
    // The sums are of integers below 2^53: exact in doubles whatever the order.
    FuzzyFrame f;
    double totalCount = 0.0, totalMoment = 0.0;
    for (int g = 0; g < 256; ++g) {
        totalCount += h[g];
        totalMoment += static_cast<double>(g) * h[g];
        f.S[g] = totalCount;
        f.W[g] = totalMoment;
    }
    for (int g = 0; g < 256; ++g) {
        f.Sbar[g] = totalCount - f.S[g];
        f.Wbar[g] = totalMoment - f.W[g];
    }
    return f;
}

bool FuzzyQualifies(const Counts& h, const FuzzyFrame& f, int t) {
    return h[t] != 0 && f.S[t] != 0 && f.Sbar[t] != 0;
}

// The class centres, integers: Round(mean + 0.5), at most 256.
int FuzzyMu(double moment, double count) { return static_cast<int>(Round(moment / count + 0.5)); }

// Membership of a level at distance d from its class centre.
double Membership(int d) { return 1.0 / (1.0 + static_cast<double>(d) / 255.0); }

double ShannonTerm(double m) {
    if (m >= 1.0) return 0.0;
    return -m * std::log10(m) - (1.0 - m) * std::log10(1.0 - m);
}

double YagerTerm(double m) {
    const double v = m * (1.0 - m);
    return v * v;
}

// From the fuzziness E(t) of every qualifying level to the threshold: find the least fuzzy
// level tmin and the largest E, open a window of 5 per cent of that spread around tmin
// (clamped to 1..254), and take the first level in it whose three-level count sum is
// smallest.
int PickFuzzyLevel(const Counts& h, const std::array<double, 256>& E,
                   const std::array<bool, 256>& computed) {
    double emax = 0.0;
    int tmin = -1;
    double emin = 0.0;  // E(-1) counts as 0
    for (int t = 1; t <= 254; ++t) {
        if (!computed[t]) continue;
        emax = std::max(emax, E[t]);
        if (tmin < 0 || E[t] < emin) {
            tmin = t;
            emin = E[t];
        }
    }
    const double delta = emin + (emax - emin) * 0.05;
    // Clamp in reals first: delta grows with the pixel count and may exceed an int.
    double lo = Round(tmin - delta);
    double hi = Round(tmin + delta);
    if (lo <= 0) lo = 1;
    if (hi >= 255) hi = 254;
    int threshold = -1;
    // Any three-level sum is below this, whatever the image size.
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    const int last = static_cast<int>(hi);
    for (int k = static_cast<int>(lo); k <= last; ++k) {
        const std::int64_t s = std::int64_t{h[k - 1]} + h[k] + h[k + 1];
        if (s < best) {
            threshold = k;
            best = s;
        }
    }
    return threshold;
}

// The sums E(t) of kSide levels t (ascending), each in level order. The term of level g
// with class centre mu is term[|g - mu|] = mirrored[256 + g - mu]: for each t a run of the
// mirrored table from one start up to g = t and from another after it, so that each step
// reads one value per level without choosing. The sums are chains of dependent additions,
// run side by side.
template <FuzzyMeasure measure, int kSide>
void FuzzySums(const std::array<double, 256>& weight, const std::array<double, 513>& mirrored, const int* t,
               const int* mu0, const int* mu1, double* e) {
    const double* from[kSide];
    double sum[kSide];
    for (int l = 0; l < kSide; ++l) {
        from[l] = mirrored.data() + 256 - mu0[l];
        sum[l] = 0.0;
    }
    int g = 0;
    for (int side = 0; side <= kSide; ++side) {
        const int end = side < kSide ? t[side] + 1 : 256;
        for (; g < end; ++g) {
            for (int l = 0; l < kSide; ++l) {
                if constexpr (measure == FuzzyMeasure::Shannon) sum[l] += weight[g] * from[l][g];
                else sum[l] += from[l][g];
            }
        }
        if (side < kSide) from[side] = mirrored.data() + 256 - mu1[side];
    }
    for (int l = 0; l < kSide; ++l) e[l] = sum[l];
}

template <FuzzyMeasure measure>
int FuzzyLevel(const Counts& h) {
    const FuzzyFrame f = MakeFuzzyFrame(h);
    // The membership depends only on |g - mu|, 0..256: one table of the measure's term,
    // laid out from -256 to 256.
    std::array<double, 513> mirrored{};
    for (int d = 0; d <= 256; ++d) {
        const double m = Membership(d);
        mirrored[static_cast<std::size_t>(256 + d)] = mirrored[static_cast<std::size_t>(256 - d)] =
            measure == FuzzyMeasure::Shannon ? ShannonTerm(m) : YagerTerm(m);
    }
    std::array<double, 256> weight{};
    for (int g = 0; g < 256; ++g) weight[static_cast<std::size_t>(g)] = h[g];
    std::array<double, 256> E{};
    std::array<bool, 256> computed{};
    std::array<int, 256> levels{};
    int count = 0;
    for (int t = 1; t <= 254; ++t)
        if (FuzzyQualifies(h, f, t)) levels[static_cast<std::size_t>(count++)] = t;
    constexpr int kSide = 8;
    for (int first = 0; first < count; first += kSide) {
        const int side = std::min(kSide, count - first);
        int t[kSide], mu0[kSide], mu1[kSide];
        double e[kSide];
        for (int l = 0; l < kSide; ++l) {
            t[l] = levels[static_cast<std::size_t>(first + std::min(l, side - 1))];
            mu0[l] = FuzzyMu(f.W[t[l]], f.S[t[l]]);
            mu1[l] = FuzzyMu(f.Wbar[t[l]], f.Sbar[t[l]]);
        }
        FuzzySums<measure, kSide>(weight, mirrored, t, mu0, mu1, e);
        for (int l = 0; l < side; ++l) {
            E[t[l]] = measure == FuzzyMeasure::Shannon ? e[l] : std::sqrt(e[l]);
            computed[t[l]] = true;
        }
    }
    return PickFuzzyLevel(h, E, computed);
}

// ---- Laplacian -------------------------------------------------------------------------

// Round(percent / 100 * n), the number of weakest responses to leave out.
double LaplacianTarget(int percent, int n) { return Round(percent / 100.0 * n); }

// The cut level LT once `histogram` holds the counts of the rounded responses: the first
// level at which the running count reaches the number of responses to leave out.
int LaplacianCut(const Counts& histogram, double target) {
    std::int64_t cumulative = 0;
    for (int g = 0; g < 256; ++g) {
        cumulative += histogram[g];
        if (static_cast<double>(cumulative) >= target) return g;
    }
    return 0;
}

// The gray counts of the pixels whose response reaches the cut.
void CountAboveCut(const GrayPlane& plane, const std::vector<double>& map, int cut, Counts& kept) {
    kept.fill(0);
    const double lt = cut;
    const std::uint8_t* image = plane.data();
    for (int i = 0; i < plane.size(); ++i) kept[image[i]] += map[static_cast<std::size_t>(i)] >= lt ? 1 : 0;
}

// ---- Moving average --------------------------------------------------------------------

// The window n = Round(width / 8); MathError where M / n would be 0 / 0.
double MovingAverageWindow(int width) {
    const double n = Round(width / 8.0);
    if (n == 0) throw MathError(kInvalidFloatingPointOperation);
    return n;
}

// The serpentine scan with the per-pixel rule; `divide(M)` computes M / n. A pixel turns
// black when 85 per cent of the running average exceeds it.
template <typename Divide, typename Decay>
Binarized MovingAverageScan(const GrayPlane& plane, double n, Divide divide, Decay decay) {
    const int width = plane.width();
    const int height = plane.height();
    const std::uint8_t* image = plane.data();
    Binarized result{GrayPlane(width, height), 0};
    std::uint8_t* out = result.plane.data();
    double M = 127 * n;  // as if the last n pixels had been 127
    double avg = 127;
    for (int y = 0; y < height; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * width;
        const bool leftToRight = y % 2 == 0;
        for (int k = 0; k < width; ++k) {
            const std::size_t i = rowStart + (leftToRight ? k : width - 1 - k);
            const double v = image[i];
            M = decay(M) + v;
            avg = divide(M);
            out[i] = avg * 85 / 100 > v ? 0 : 255;
        }
    }
    result.value = static_cast<int>(Round(avg));
    return result;
}

// Rows in scan order: even rows as they are, odd rows reversed (the serpentine), eight
// bytes at a time.
void SerpentineCopy(const std::uint8_t* from, std::uint8_t* to, int width, int height) {
    const std::size_t w = static_cast<std::size_t>(width);
    for (int y = 0; y < height; ++y, from += w, to += w) {
        if (y % 2 == 0) {
            std::copy(from, from + w, to);
            continue;
        }
        std::size_t x = 0;
        for (; x + 8 <= w; x += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, from + w - 8 - x, 8);
            eight = __builtin_bswap64(eight);
            std::memcpy(to + x, &eight, 8);
        }
        for (; x < w; ++x) to[x] = from[w - 1 - x];
    }
}

// The serpentine scan of MovingAverageScan, cut into pieces. Its running sum M after a pixel
// is a function of M before it and of the pixel, so the scan is one long chain of dependent
// operations, and a processor that runs it alone mostly waits. Two scans that hold the same
// M at some pixel agree from there on; and since the window forgets where it started (each
// step keeps (n - 1) / n of M) while rounding maps nearby values onto one double, scans
// started from different values come to hold the same M within a few hundred to a few
// thousand pixels. So the pieces run side by side, each from `warmUp` pixels before its first
// one with a guessed M; a piece whose M at its first pixel is the true one (where the piece
// before it ended) gave exactly the serial scan's outputs, and any other piece is scanned
// again from the true M, serially.
Binarized MovingAverageInPieces(const GrayPlane& plane, const toolbox_loops::MovingWindow& window, int warmUp) {
    const int width = plane.width();
    const int height = plane.height();
    const std::size_t count = plane.pixels().size();
    const std::size_t lead = static_cast<std::size_t>(std::max(warmUp, 1));
    const std::size_t pieces = toolbox_loops::MovingAveragePieceCount();
    const auto decay = [&window](double m) { return window.Decay(m); };
    const auto divide = [&window](double m) { return window.Average(m); };
    // Short scans gain nothing: the serial one.
    if (count < (pieces + 1) * lead * 2) return MovingAverageScan(plane, window.n, divide, decay);
    // The pixels in scan order, and whether each turns black (0) or white (255), in scan order.
    // Both are written whole before they are read: no zeroing.
    const std::unique_ptr<std::uint8_t[]> scan(new std::uint8_t[count]), marks(new std::uint8_t[count]);
    SerpentineCopy(plane.data(), scan.get(), width, height);
    const std::uint8_t* in = scan.get();
    std::uint8_t* out = marks.get();
    const auto serial = [&](double M, std::size_t from, std::size_t to) {
        for (std::size_t p = from; p < to; ++p) {
            const std::uint8_t v = in[p];
            M = window.Decay(M) + v;
            out[p] = window.Average(M) * 85 / 100 > v ? 0 : 255;
        }
        return M;
    };
    const double start = 127 * window.n;  // as if the last n pixels had been 127
    // Piece k covers [k * piece, (k + 1) * piece): piece 0 starts from the true start, each
    // other one warms up over the `lead` pixels before it (the warming scans are shifted by
    // one piece: scan k warms piece k + 1, the last one a piece that does not exist). The
    // pixels after the last piece are scanned serially.
    const std::size_t piece = count / pieces;
    std::array<double, 8> M;
    M.fill(start);
    toolbox_loops::MovingAveragePieces(in + piece - lead, nullptr, piece, lead, window, M.data());
    std::array<double, 8> entry;
    entry[0] = start;
    std::copy(M.begin(), M.begin() + static_cast<std::ptrdiff_t>(pieces) - 1, entry.begin() + 1);
    M = entry;
    toolbox_loops::MovingAveragePieces(in, out, piece, piece, window, M.data());
    double truth = M[0];
    for (std::size_t k = 1; k < pieces; ++k) {
        const std::size_t first = k * piece;
        truth = std::bit_cast<std::uint64_t>(entry[k]) == std::bit_cast<std::uint64_t>(truth)
                    ? M[k]
                    : serial(truth, first, first + piece);
    }
    const double last = serial(truth, pieces * piece, count);
    Binarized result{GrayPlane(width, height), static_cast<int>(Round(window.Average(last)))};
    SerpentineCopy(out, result.plane.data(), width, height);  // its own inverse
    return result;
}

// ---- Minimum error -----------------------------------------------------------------------

// Counts and first moments below each level, integers below 2^53: exact as prefix sums.
struct MinimumErrorFrame {
    std::array<double, 256> count{}, moment{};
    double c = 0.0, s = 0.0;  // the totals

    explicit MinimumErrorFrame(const Counts& h) {
        for (int g = 0; g < 256; ++g) {
            c += h[g];
            s += static_cast<double>(g) * h[g];
            count[g] = c;
            moment[g] = s;
        }
    }

    // The criterion J(t) term by term: each class's variance about its mean in level order.
    double Criterion(const Counts& h, int t) const {
        const double P1 = count[t];
        const double P2 = c - count[t];
        const double mu1 = P1 == 0 ? 0.0 : moment[t] / P1;
        const double mu2 = P2 == 0 ? 0.0 : (s - moment[t]) / P2;
        double v1 = 0.0, v2 = 0.0;
        for (int g = 0; g <= t; ++g) {
            const double d = g - mu1;
            v1 += h[g] * (d * d);
        }
        for (int g = t + 1; g < 256; ++g) {
            const double d = g - mu2;
            v2 += h[g] * (d * d);
        }
        const double var1 = P1 > 0 ? v1 / P1 : 0.0;
        const double var2 = P2 > 0 ? v2 / P2 : 0.0;
        const double a = var1 != 0 ? P1 * std::log10(var1) : P1;
        const double b = var2 != 0 ? P2 * std::log10(var2) : P2;
        const double cc = P1 != 0 ? P1 * std::log10(P1) : 0.0;
        const double d = P2 != 0 ? P2 * std::log10(P2) : 0.0;
        return 2 * (a + b) + 1 - 2 * (cc + d);
    }
};

}  // namespace

LevelTable BinarizationTable(int threshold) {
    LevelTable table;
    for (int v = 0; v < 256; ++v) table[v] = v < threshold ? 0 : 255;
    return table;
}

GrayPlane Binarize(const GrayPlane& plane, int threshold) {
    GrayPlane out(plane.width(), plane.height());
    toolbox_loops::Binarize(plane.data(), out.data(), plane.pixels().size(), threshold);
    return out;
}

Counts BinarizedCounts(const Counts& counts, int threshold) {
    return histogram::MappedCounts(counts, BinarizationTable(threshold));
}

int PTileLevel(const Counts& h, int n, int percent) {
    const std::int64_t target = std::int64_t{n} * percent / 100;  // truncates toward zero
    std::int64_t cumulative = 0;
    for (int g = 0; g < 256; ++g) {
        cumulative += h[g];
        if (cumulative >= target) return g;
    }
    return 0;
}

int TwoPeaksValley(const Counts& c) {
    int p1 = 0;
    for (int g = 1; g < 256; ++g)
        if (c[g] > c[p1]) p1 = g;
    // Products up to 255^2 * 2^26 need 64 bits; exact, as the real squares would be.
    auto weight = [&](int j) {
        const std::int64_t d = j - p1;
        return d * d * c[j];
    };
    int p2 = 0;
    for (int j = 1; j <= 254; ++j) {
        if (c[j - 1] <= c[j] && c[j + 1] <= c[j] && weight(j) > weight(p2)) p2 = j;
    }
    int valley = p1;
    for (int k = std::min(p1, p2); k < std::max(p1, p2); ++k)
        if (c[k] < c[valley]) valley = k;
    return valley;
}

int IterativeSelectionLevel(const Counts& h, int start) {
    // F(T) is nondecreasing below the last occupied level and maps that range into itself,
    // so after the first round T moves one way only and the loop ends.
    int threshold = start;
    int previous;
    do {
        previous = threshold;
        std::int64_t nL = 0, sL = 0, nH = 0, sH = 0;
        for (int g = 0; g <= previous; ++g) {
            nL += h[g];
            sL += std::int64_t{g} * h[g];
        }
        for (int g = previous + 1; g < 256; ++g) {
            nH += h[g];
            sH += std::int64_t{g} * h[g];
        }
        const std::int64_t dL = nL == 0 ? 1 : 2 * nL;
        const std::int64_t dH = nH == 0 ? 1 : 2 * nH;
        threshold = static_cast<int>(sL / dL + sH / dH);
    } while (threshold != previous);
    return threshold;
}

int GrayLevelHistogramLevel(const Counts& h, int n) {
    const Probabilities pr = MakeProbabilities(h, n);
    double muT = 0.0;
    for (int g = 0; g < 256; ++g) muT += g * pr.p[g];
    double sigmaT = 0.0;
    for (int g = 0; g < 256; ++g) {
        const double d = g - muT;
        sigmaT += d * d * pr.p[g];
    }
    // A single gray level has no spread: eta would be 0 / 0.
    if (sigmaT == 0) throw MathError(kInvalidFloatingPointOperation);
    int threshold = pr.first;
    double best = -1.0;
    double mu = 0.0;
    for (int g = 0; g < pr.first; ++g) mu += g * pr.p[g];
    for (int k = pr.first; k <= pr.last; ++k) {
        mu += k * pr.p[k];
        const double omega = pr.cumulative[k];
        const double spread = omega * (1 - omega);
        double sigmaB = 0.0;
        if (spread > 0) {
            const double d = muT * omega - mu;
            sigmaB = d * d / spread;
        }
        const double eta = sigmaB / sigmaT;
        if (eta >= best) {
            best = eta;
            threshold = k;
        }
    }
    return threshold;
}

int JohannsenLevel(const Counts& h, int n) {
    const Probabilities pr = MakeProbabilities(h, n);
    auto P = [&](int t) { return t < 0 ? 0.0 : pr.cumulative[t]; };
    auto Q = [&](int t) { return t == 0 ? 1.0 : t == 256 ? 0.0 : 1 - pr.cumulative[t - 1]; };
    int threshold = -1;
    double best = 0.0;
    if (pr.first < 0) return threshold;  // counts that do not add up to n: nothing occupied
    for (int t = pr.first; t <= pr.last; ++t) {
        if (!(pr.p[t] > 0)) continue;  // the candidates are the occupied levels
        const double sb = std::log10(P(t)) + (EntropyTerm(pr.p[t]) + EntropyTerm(P(t - 1))) / P(t);
        const double sw = std::log10(Q(t)) + (EntropyTerm(pr.p[t]) + EntropyTerm(Q(t + 1))) / Q(t);
        const double s = sb + sw;
        if (threshold < 0 || s < best) {
            threshold = t;
            best = s;
        }
    }
    return threshold;
}

int KapurLevel(const Counts& h, int n) {
    const Probabilities pr = MakeProbabilities(h, n);
    std::array<int, 256> occupied{};
    int count = 0;
    for (int g = 0; g < 256; ++g)
        if (pr.p[g] > 0) occupied[count++] = g;
    if (count == 0) return 0;  // every E is 0
    // E(t) term by term, as defined: the value that decides. Empty levels add f = +0 and
    // change no sum, so only the occupied ones are visited.
    auto entropy = [&](int t) {
        const double Pt = pr.cumulative[t];
        double hb = 0.0, hw = 0.0;
        int k = 0;
        for (; k < count && occupied[k] <= t; ++k) hb += KapurTerm(pr.p[occupied[k]], Pt);
        for (; k < count; ++k) hw += KapurTerm(pr.p[occupied[k]], 1 - Pt);
        return hb + hw;
    };
    // Below the first occupied level P(t) is 0 and from the last one on it no longer grows,
    // so E is the same across each of those ranges, and an empty level inside repeats the E
    // of the level before it: the first level of largest E is 0 or an occupied level.
    // Each of those costs a pass over the occupied levels with a logarithm per term. Written
    // with sums over the class instead, -sum (p / P) log10(p / P) = log10(P) A / P - S / P
    // with A = sum p and S = sum p log10 p, E(t) costs two logarithms given running sums of
    // A and S; rounded differently it is an estimate, within far less than kSlack of E(t)
    // (each side is a few terms of at most log10 n in size, summed with relative error
    // below 300 units in the last place). Only the levels whose estimate comes within
    // twice the slack of the largest can hold the largest E: those are evaluated term by
    // term and decide.
    constexpr double kSlack = 1e-9;
    std::array<double, 256> plogp{};
    for (int k = 0; k < count; ++k) plogp[occupied[k]] = pr.p[occupied[k]] * std::log10(pr.p[occupied[k]]);
    std::array<double, 256> aboveMass{}, aboveSum{};  // A and S of the levels above t
    double mass = 0.0, sum = 0.0;
    for (int t = 255; t >= 0; --t) {
        aboveMass[t] = mass;
        aboveSum[t] = sum;
        if (!(pr.p[t] > 0)) continue;  // the terms the definition leaves out
        mass += pr.p[t];
        sum += plogp[t];
    }
    // The class sums, and the literal form's own conditions: a class whose total is not
    // positive adds nothing.
    auto side = [](double total, double a, double s) { return total > 0 ? std::log10(total) * a / total - s / total : 0.0; };
    std::array<double, 256> estimate{};
    std::array<int, 257> levels{};  // 0 (when below the first occupied level) and the occupied ones
    int candidates = 0;
    if (occupied[0] > 0) levels[candidates++] = 0;
    for (int k = 0; k < count; ++k) levels[candidates++] = occupied[k];
    double below = 0.0, belowSum = 0.0;
    double largest = -std::numeric_limits<double>::infinity();
    for (int i = 0, g = 0; i < candidates; ++i) {
        const int t = levels[i];
        for (; g <= t; ++g) {
            if (!(pr.p[g] > 0)) continue;
            below += pr.p[g];
            belowSum += plogp[g];
        }
        const double Pt = pr.cumulative[t];
        estimate[t] = side(Pt, below, belowSum) + side(1 - Pt, aboveMass[t], aboveSum[t]);
        largest = std::max(largest, estimate[t]);
    }
    int threshold = -1;
    double best = 0.0;
    for (int i = 0; i < candidates; ++i) {
        const int t = levels[i];
        if (!(estimate[t] >= largest - 2 * kSlack)) continue;
        const double e = entropy(t);
        if (threshold < 0 || e > best) {
            threshold = t;
            best = e;
        }
    }
    return threshold;
}

int PunLevel(const Counts& h, int n) {
    const Probabilities pr = MakeProbabilities(h, n);
    std::array<double, 256> Ht{};
    double sum = 0.0;
    for (int g = 0; g < 256; ++g) {
        sum += EntropyTerm(pr.p[g]);
        Ht[g] = sum;
    }
    const double HT = Ht[255];
    // Mw(t): the largest p above t.
    std::array<double, 256> maxAbove{};
    double m = 0.0;
    for (int t = 255; t >= 0; --t) {
        maxAbove[t] = m;
        m = std::max(m, pr.p[t]);
    }
    std::array<double, 256> E{};
    double maxBelow = 0.0;
    for (int t = 0; t < 256; ++t) {
        maxBelow = std::max(maxBelow, pr.p[t]);
        const double mw = maxAbove[t];
        // Both classes occupied: then HT > 0, 0 < P(t) < 1 and both maxima are below 1.
        if (maxBelow > 0 && mw > 0) {
            const double a = std::log10(pr.cumulative[t]) / std::log10(maxBelow);
            const double b = std::log10(1 - pr.cumulative[t]) / std::log10(mw);
            const double share = Ht[t] / HT;
            E[t] = a * share + b * (1 - share);
        }
    }
    int threshold = 0;
    for (int t = 1; t < 256; ++t)
        if (E[t] > E[threshold]) threshold = t;
    return threshold;
}

int FuzzyShannonLevel(const Counts& h) { return FuzzyLevel<FuzzyMeasure::Shannon>(h); }
int FuzzyYagerLevel(const Counts& h) { return FuzzyLevel<FuzzyMeasure::Yager>(h); }

int MinimumErrorLevel(const Counts& h) {
    const MinimumErrorFrame f(h);
    // J(t) as defined costs a pass over the levels for the two class variances. Written from
    // the class's count P, first moment S1 and second moment S2 (integers, exact), the
    // variance is (P S2 - S1^2) / P^2 with an exact numerator, within a few units in the last
    // place of the defined one (whose first-order error vanishes about the true mean, so it is
    // within a few hundred units) and zero exactly when it is. J from it is an estimate, within
    // far less than 1e-9 of the size of its terms; only the levels whose estimate comes
    // that close to the smallest can hold the smallest J, and those are evaluated as defined.
    std::array<std::int64_t, 256> count{}, first{}, second{};
    std::int64_t c = 0, s1 = 0, s2 = 0;
    for (int g = 0; g < 256; ++g) {
        c += h[g];
        s1 += std::int64_t{g} * h[g];
        s2 += std::int64_t{g} * g * h[g];
        count[g] = c;
        first[g] = s1;
        second[g] = s2;
    }
    auto variance = [](std::int64_t p, std::int64_t m1, std::int64_t m2) {
        if (p <= 0) return 0.0;
        __extension__ using Wide = __int128;  // P S2 reaches 2^78
        const Wide numerator = static_cast<Wide>(p) * m2 - static_cast<Wide>(m1) * m1;
        return static_cast<double>(numerator) / (static_cast<double>(p) * static_cast<double>(p));
    };
    std::array<double, 256> estimate{}, slack{};
    double bound = std::numeric_limits<double>::infinity();  // no J is above this
    for (int t = 1; t < 256; ++t) {
        const double P1 = f.count[t];
        const double P2 = f.c - f.count[t];
        const double var1 = variance(count[t], first[t], second[t]);
        const double var2 = variance(c - count[t], s1 - first[t], s2 - second[t]);
        const double a = var1 != 0 ? P1 * std::log10(var1) : P1;
        const double b = var2 != 0 ? P2 * std::log10(var2) : P2;
        const double cc = P1 != 0 ? P1 * std::log10(P1) : 0.0;
        const double d = P2 != 0 ? P2 * std::log10(P2) : 0.0;
        estimate[t] = 2 * (a + b) + 1 - 2 * (cc + d);
        slack[t] = 1e-9 * (2 * (std::abs(a) + std::abs(b)) + 1 + 2 * (std::abs(cc) + std::abs(d)) + P1 + P2);
        bound = std::min(bound, estimate[t] + slack[t]);
    }
    int threshold = -1;
    double best = 0.0;
    for (int t = 1; t < 256; ++t) {
        if (!(estimate[t] - slack[t] <= bound)) continue;
        const double J = f.Criterion(h, t);
        if (threshold < 0 || J < best) {
            threshold = t;
            best = J;
        }
    }
    return threshold;
}

namespace {

// The largest response d whose d / 8 rounds half to even to `level` or below: the tie
// 8 level + 4 rounds down to an even level, up from an odd one.
int LaplacianBound(int level) { return 8 * level + 3 + (level % 2 == 0 ? 1 : 0); }

// LaplacianLevel for any cut: the count of every response, 0..2040, and the pixels at or
// above the cut found again from the responses of each row.
int LaplacianLevelOfAnyCut(const GrayPlane& plane, int percent, Counts& kept) {
    const int width = plane.width();
    const int height = plane.height();
    const int n = plane.size();
    // Responses are d / 8 with d = (sum of the 8 neighbours) - 8v clipped at 0, so d is an
    // integer 0..2040: count d directly and round d / 8 once per value, not once per pixel.
    // The responses of a row are computed in vectors, once to count them and once more to
    // find the pixels at or above the cut (d / 8 >= cut exactly when d >= 8 cut), so that
    // no map of the whole plane is kept.
    // Four tables, as in CountLevels: flat regions give runs of equal responses.
    std::vector<std::array<std::int32_t, 2041>> partial(4, std::array<std::int32_t, 2041>{});
    std::vector<std::int16_t> d(static_cast<std::size_t>(std::max(width, 0)));
    int interior = 0;
    for (int y = 1; y + 1 < height && width > 2; ++y) {
        toolbox_loops::LaplacianResponses(plane.data(), width, y, d.data());
        int x = 1;
        for (; x + 3 < width - 1; x += 4)
            for (int k = 0; k < 4; ++k) ++partial[k][d[x + k]];
        for (; x < width - 1; ++x) ++partial[0][d[x]];
        interior += width - 2;
    }
    std::array<std::int32_t, 2041> responses{};
    for (int k = 0; k <= 2040; ++k) responses[k] = partial[0][k] + partial[1][k] + partial[2][k] + partial[3][k];
    responses[0] += n - interior;  // the border pixels respond 0
    Counts rounded{};
    for (int k = 0; k <= 2040; ++k) rounded[static_cast<int>(Round(k / 8.0))] += responses[k];
    const int cut = LaplacianCut(rounded, LaplacianTarget(percent, n));
    if (cut == 0) {
        kept = histogram::CountLevels(plane);  // every response, the border's 0 too, reaches 0
    } else {
        // Neighbouring pixels mostly have the same gray: four tables, so that one count does
        // not wait on the last.
        std::array<Counts, 4> counts{};
        const int reach = 8 * cut;
        for (int y = 1; y + 1 < height && width > 2; ++y) {
            toolbox_loops::LaplacianResponses(plane.data(), width, y, d.data());
            const std::uint8_t* row = plane.row(y);
            int x = 1;
            for (; x + 3 < width - 1; x += 4)
                for (int k = 0; k < 4; ++k) counts[k][row[x + k]] += d[x + k] >= reach ? 1 : 0;
            for (; x < width - 1; ++x) counts[0][row[x]] += d[x] >= reach ? 1 : 0;
        }
        for (int g = 0; g < 256; ++g) kept[g] = counts[0][g] + counts[1][g] + counts[2][g] + counts[3][g];
    }
    return TwoPeaksValley(kept);
}

}  // namespace

int LaplacianLevel(const GrayPlane& plane, int percent, Counts& kept) {
    // A picture's responses d mostly lie below 256, and the cut with them, where bytes
    // min(d, 255) tell every comparison the rule makes: d / 8 rounds to `level` or below
    // when d <= LaplacianBound(level), and reaches the cut when d >= 8 cut. The running
    // counts of the rounded responses are counted over the bytes, a few levels at a time from
    // level 0 until one reaches the target; the border's bytes are 0, as its responses.
    const std::size_t n = plane.pixels().size();
    const double target = LaplacianTarget(percent, plane.size());
    constexpr int kByteLevels = 32;  // LaplacianBound(31) = 251, the last below 255
    const std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[n]);  // written whole: no zeroing
    toolbox_loops::LaplacianBytes(plane.data(), plane.width(), plane.height(), bytes.get());
    int cut = -1;
    for (int first = 0; first < kByteLevels && cut < 0; first += toolbox_loops::kMostBounds) {
        std::uint8_t bounds[toolbox_loops::kMostBounds];
        std::size_t atMost[toolbox_loops::kMostBounds];
        for (int k = 0; k < toolbox_loops::kMostBounds; ++k) bounds[k] = static_cast<std::uint8_t>(LaplacianBound(first + k));
        toolbox_loops::CountAtMost(bytes.get(), n, bounds, toolbox_loops::kMostBounds, atMost);
        for (int k = 0; k < toolbox_loops::kMostBounds && cut < 0; ++k)
            if (static_cast<double>(atMost[k]) >= target) cut = first + k;
    }
    if (cut < 0) return LaplacianLevelOfAnyCut(plane, percent, kept);
    if (cut == 0) {
        kept = histogram::CountLevels(plane);  // every response, the border's 0 too, reaches 0
    } else {
        kept.fill(0);
        toolbox_loops::CountWhereAtLeast(plane.data(), bytes.get(), n, static_cast<std::uint8_t>(8 * cut), kept.data());
    }
    return TwoPeaksValley(kept);
}

Binarized MovingAverageBinarize(const GrayPlane& plane) {
    // Two sums' difference shrinks by (n - 1) / n a step, to e^-48 (about 2^-69) of itself
    // in 48 n steps, far below the spacing of the doubles near the sums: by then the pieces'
    // guesses are forgotten (the picture's own detail only helps).
    return MovingAverageBinarizeInPieces(plane, static_cast<int>(48 * MovingAverageWindow(plane.width())));
}

Binarized MovingAverageBinarizeInPieces(const GrayPlane& plane, int warmUp) {
    return MovingAverageInPieces(plane, toolbox_loops::MovingWindow(MovingAverageWindow(plane.width())), warmUp);
}

namespace literal {

int MinimumErrorLevel(const Counts& h) {
    const MinimumErrorFrame f(h);
    int threshold = 1;
    double best = 0.0;
    for (int t = 1; t < 256; ++t) {
        const double J = f.Criterion(h, t);
        if (t == 1 || J < best) {
            threshold = t;
            best = J;
        }
    }
    return threshold;
}

int KapurLevel(const Counts& h, int n) {
    const Probabilities pr = MakeProbabilities(h, n);
    std::array<double, 256> E{};
    for (int t = 0; t < 256; ++t) {
        double hb = 0.0;
        for (int i = 0; i <= t; ++i) hb += KapurTerm(pr.p[i], pr.cumulative[t]);
        double hw = 0.0;
        for (int i = t + 1; i < 256; ++i) hw += KapurTerm(pr.p[i], 1 - pr.cumulative[t]);
        E[t] = hb + hw;
    }
    int threshold = 0;
    for (int t = 1; t < 256; ++t)
        if (E[t] > E[threshold]) threshold = t;
    return threshold;
}

namespace {
int FuzzyLevelLiteral(const Counts& h, FuzzyMeasure measure) {
    const FuzzyFrame f = MakeFuzzyFrame(h);
    std::array<double, 256> E{};
    std::array<bool, 256> computed{};
    for (int t = 1; t <= 254; ++t) {
        if (!FuzzyQualifies(h, f, t)) continue;
        const int mu0 = FuzzyMu(f.W[t], f.S[t]);
        const int mu1 = FuzzyMu(f.Wbar[t], f.Sbar[t]);
        double e = 0.0;
        for (int g = 0; g < 256; ++g) {
            const int mu = g <= t ? mu0 : mu1;
            const double m = 1.0 / (1.0 + std::abs(g - mu) / 255.0);
            if (measure == FuzzyMeasure::Shannon) {
                const double sh = m < 1 ? -m * std::log10(m) - (1 - m) * std::log10(1 - m) : 0.0;
                e += h[g] * sh;
            } else {
                const double v = m * (1 - m);
                e += v * v;
            }
        }
        E[t] = measure == FuzzyMeasure::Shannon ? e : std::sqrt(e);
        computed[t] = true;
    }
    return PickFuzzyLevel(h, E, computed);
}
}  // namespace

int FuzzyShannonLevel(const Counts& h) { return FuzzyLevelLiteral(h, FuzzyMeasure::Shannon); }
int FuzzyYagerLevel(const Counts& h) { return FuzzyLevelLiteral(h, FuzzyMeasure::Yager); }

int LaplacianLevel(const GrayPlane& plane, int percent, Counts& kept) {
    const int width = plane.width();
    const int height = plane.height();
    const int n = plane.size();
    std::vector<double> map(static_cast<std::size_t>(n), 0.0);
    for (int y = 1; y <= height - 2; ++y) {
        for (int x = 1; x <= width - 2; ++x) {
            const auto at = [&](int xx, int yy) { return int{plane.at(xx, yy)}; };
            const int s = at(x - 1, y - 1) + at(x, y - 1) + at(x + 1, y - 1) + at(x - 1, y) +
                          at(x + 1, y) + at(x - 1, y + 1) + at(x, y + 1) + at(x + 1, y + 1);
            const int v = at(x, y);
            map[static_cast<std::size_t>(y) * width + x] = s - 8 * v > 0 ? (s - 8 * v) / 8.0 : 0.0;
        }
    }
    Counts rounded{};
    for (int i = 0; i < n; ++i) ++rounded[static_cast<int>(Round(map[static_cast<std::size_t>(i)]))];
    const int cut = LaplacianCut(rounded, LaplacianTarget(percent, n));
    CountAboveCut(plane, map, cut, kept);
    return TwoPeaksValley(kept);
}

Binarized MovingAverageBinarize(const GrayPlane& plane) {
    const double n = MovingAverageWindow(plane.width());
    return MovingAverageScan(plane, n, [n](double m) { return m / n; }, [n](double m) { return m - m / n; });
}

}  // namespace literal
}  // namespace thresholds

}  // namespace quillfen
