#include "sync_mark.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>
#include <utility>

#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "../blind_core.h"
#include "sync_fft.h"

namespace quillfen::sync {

namespace {

constexpr int kChips = kTileChips * kTileChips;
constexpr std::uint64_t kSyncStream = 0x53594E4300000003ULL;
constexpr int kMaxLevel = 24;
// Chips of at least two pixels: finer ones do not outlive JPEG and resampling.
constexpr int kSmallestLevel = 1;
// The detector's search: at most this many lattices (from the autocorrelation) and this many
// chip levels for each, and the suspect's own grid at two levels; every shift of the tile.
// The lattices are ranked by how well they explain the autocorrelation's peaks, but the one
// read is the one whose decoded payload correlates best: a picture's own periodic texture may
// outrank the mark's lattice there, and each lattice tried costs only 6 x 1024 hypotheses in
// the bound (a 1e-6 threshold 0.7 % higher for 8 lattices than for 3).
constexpr int kMaxLattices = 8;
// Candidate lattices are spanned by pairs of this many of the strongest peaks.
constexpr int kPairPeaks = 16;
constexpr int kMaxLevelsPerLattice = 6;
constexpr int kOwnGrids = 2;
constexpr int kShiftsDecoded = 4;
// The scales (square root of the area factor) the search reads.
constexpr double kLowestScale = 0.4;
constexpr double kHighestScale = 2.6;
// The period vectors looked for in the autocorrelation, in working pixels.
constexpr double kShortestPeriod = 8;
constexpr double kLongestPeriod = 128;
constexpr int kAcfSide = 512;

// The keyed patterns of one level: chip k's 210 signs are the bits of four 64-bit words.
struct ChipWords {
    std::vector<std::array<std::uint64_t, 4>> Words;  // per chip, row-major
};

ChipWords DrawPatterns(std::uint32_t seed, int level) {
    RandomStream stream((static_cast<std::uint64_t>(seed) << 8 | static_cast<std::uint64_t>(level)) ^ kSyncStream);
    ChipWords w;
    w.Words.resize(kChips);
    for (auto& chip : w.Words)
        for (auto& word : chip) word = stream.Next();
    return w;
}

int PatternSign(const ChipWords& w, int chip, int coded) {
    return (w.Words[chip][coded / 64] >> (coded % 64)) & 1 ? -1 : 1;
}

// The tile of the coded payload, root mean square about 1: sum of sign_c p_c / sqrt(210).
std::vector<double> Tile(const PayloadBits& payload, std::uint32_t seed, int level) {
    const CodedSigns signs = Encode(payload);
    const ChipWords w = DrawPatterns(seed, level);
    std::vector<double> tile(kChips);
    const double norm = std::sqrt(static_cast<double>(kCodedBits));
    for (int k = 0; k < kChips; ++k) {
        int sum = 0;
        for (int c = 0; c < kCodedBits; ++c) sum += signs[c] * PatternSign(w, k, c);
        tile[k] = sum / norm;
    }
    return tile;
}

// Chip coordinate of pixel i: chip centres at (j + 0.5) * s - 0.5.
struct Interpolation {
    std::vector<int> Low;      // the chip below, modulo the tile
    std::vector<double> Frac;  // the weight of the next chip
};

Interpolation Axis(int n, double s) {
    Interpolation a;
    a.Low.resize(n);
    a.Frac.resize(n);
    for (int i = 0; i < n; ++i) {
        const double u = (i + 0.5) / s - 0.5;
        const double f = std::floor(u);
        a.Frac[i] = u - f;
        a.Low[i] = ((static_cast<int>(f) % kTileChips) + kTileChips) % kTileChips;
    }
    return a;
}

// Mean over the (2r + 1)^2 window around each pixel, the window cut at the borders: running
// sums down the columns, then along the rows, in a fixed order.
std::vector<double> BoxMean(const std::vector<double>& in, int w, int h, int r) {
    std::vector<double> columns(static_cast<std::size_t>(w), 0.0), rows;
    detail::ReserveLarge(rows, in.size());
    rows.resize(in.size());
    for (int y = 0; y < std::min(r, h); ++y)
        for (int x = 0; x < w; ++x) columns[x] += in[static_cast<std::size_t>(y) * w + x];
    for (int y = 0; y < h; ++y) {
        if (y + r < h)
            for (int x = 0; x < w; ++x) columns[x] += in[static_cast<std::size_t>(y + r) * w + x];
        if (y - r - 1 >= 0)
            for (int x = 0; x < w; ++x) columns[x] -= in[static_cast<std::size_t>(y - r - 1) * w + x];
        const int count = std::min(h - 1, y + r) - std::max(0, y - r) + 1;
        double* out = rows.data() + static_cast<std::size_t>(y) * w;
        double sum = 0;
        for (int x = 0; x < std::min(r, w); ++x) sum += columns[x];
        for (int x = 0; x < w; ++x) {
            if (x + r < w) sum += columns[x + r];
            if (x - r - 1 >= 0) sum -= columns[x - r - 1];
            const int across = std::min(w - 1, x + r) - std::max(0, x - r) + 1;
            out[x] = sum / (static_cast<double>(count) * across);
        }
    }
    return rows;
}

void CheckPicture(const double* luma, int width, int height, int smallest, const char* what) {
    if (luma == nullptr || width < smallest || height < smallest)
        throw ArgumentError(std::string("the ") + what + " is " + std::to_string(width) + " x " + std::to_string(height) +
                            "; the periodic mark needs at least " + std::to_string(smallest) + " x " +
                            std::to_string(smallest));
}

// ----- detection -----

struct Plane {
    int W = 0, H = 0;
    std::vector<double> V;
    double& at(int x, int y) { return V[static_cast<std::size_t>(y) * W + x]; }
    double at(int x, int y) const { return V[static_cast<std::size_t>(y) * W + x]; }
};

// Weights of an area-averaging resampling of n values to m (m <= n): output j averages the
// source interval [j n/m, (j + 1) n/m).
struct AreaWeights {
    std::vector<int> First;
    std::vector<std::vector<double>> Weights;
};

AreaWeights Area(int n, int m) {
    AreaWeights a;
    a.First.resize(m);
    a.Weights.resize(m);
    const double step = static_cast<double>(n) / m;
    for (int j = 0; j < m; ++j) {
        const double lo = j * step, hi = (j + 1) * step;
        const int first = static_cast<int>(std::floor(lo));
        const int last = std::min(n - 1, static_cast<int>(std::ceil(hi)) - 1);
        a.First[j] = first;
        for (int i = first; i <= last; ++i) {
            const double overlap = std::min(hi, i + 1.0) - std::max(lo, static_cast<double>(i));
            a.Weights[j].push_back(overlap > 0 ? overlap / step : 0.0);
        }
    }
    return a;
}

// The luminance reduced by area averaging to about kWorkingSide pixels on its geometric-mean
// side, read a row at a time: each row is averaged across as it comes and added at once to the
// reduced rows it falls in. Every reduced value receives its rows' terms in the order of the
// rows, as a pass over a whole plane across and then down adds them: the same sums, without a
// plane of the whole picture (a photograph's luminance in doubles is eight bytes a pixel).
Plane Reduce(int w, int h, const std::function<void(int, double*)>& lumaRow, double& factorX, double& factorY) {
    const double d = std::max(1.0, std::sqrt(static_cast<double>(w) * h) / kWorkingSide);
    Plane out;
    if (d <= 1.0) {
        out.W = w;
        out.H = h;
        out.V.resize(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y) lumaRow(y, out.V.data() + static_cast<std::size_t>(y) * w);
        factorX = factorY = 1;
        return out;
    }
    out.W = std::max(1, static_cast<int>(std::lround(w / d)));
    out.H = std::max(1, static_cast<int>(std::lround(h / d)));
    factorX = static_cast<double>(w) / out.W;
    factorY = static_cast<double>(h) / out.H;
    const AreaWeights ax = Area(w, out.W), ay = Area(h, out.H);
    std::vector<double> row(static_cast<std::size_t>(w)), across(static_cast<std::size_t>(out.W));
    detail::ReserveLarge(out.V, static_cast<std::size_t>(out.W) * out.H);
    out.V.assign(static_cast<std::size_t>(out.W) * out.H, 0.0);
    int firstOpen = 0;  // the first reduced row whose span reaches the current row
    for (int y = 0; y < h; ++y) {
        lumaRow(y, row.data());
        for (int j = 0; j < out.W; ++j) {
            double sum = 0;
            const auto& wts = ax.Weights[j];
            for (std::size_t k = 0; k < wts.size(); ++k) sum += wts[k] * row[ax.First[j] + static_cast<int>(k)];
            across[j] = sum;
        }
        while (firstOpen < out.H && ay.First[firstOpen] + static_cast<int>(ay.Weights[firstOpen].size()) <= y) ++firstOpen;
        for (int j = firstOpen; j < out.H && ay.First[j] <= y; ++j) {
            const double weight = ay.Weights[j][static_cast<std::size_t>(y - ay.First[j])];
            double* dst = out.V.data() + static_cast<std::size_t>(j) * out.W;
            for (int x = 0; x < out.W; ++x) dst[x] += weight * across[x];
        }
    }
    return out;
}

// The detail that carries the mark: the picture less its 5 x 5 mean, divided by its local
// spread (11 x 11) so that edges and texture do not outweigh the flat parts, clipped at 3.
Plane Whiten(Plane r) {
    // Two planes of the reduced picture's size besides its own: the mean, whose place the
    // squares then take, and the energy. Each is a fresh large allocation whose pages a
    // photograph's reading would otherwise first touch one small page at a time.
    std::vector<double> scratch = BoxMean(r.V, r.W, r.H, 2);
    for (std::size_t i = 0; i < r.V.size(); ++i) r.V[i] = r.V[i] - scratch[i];
    for (std::size_t i = 0; i < r.V.size(); ++i) scratch[i] = r.V[i] * r.V[i];
    const std::vector<double> energy = BoxMean(scratch, r.W, r.H, 5);
    for (std::size_t i = 0; i < r.V.size(); ++i) r.V[i] = std::clamp(r.V[i] / (std::sqrt(std::max(0.0, energy[i])) + 1.0), -3.0, 3.0);
    return r;
}

int FloorPowerOfTwo(int n, int cap) {
    int p = 1;
    while (p * 2 <= n && p * 2 <= cap) p *= 2;
    return p;
}

// The autocorrelation of the whitened picture (its windows' spectra averaged), normalised to 1
// at lag 0, with the lag (dx, dy) at index ((dy mod ny) nx + (dx mod nx)).
struct Autocorrelation {
    int Nx = 0, Ny = 0;
    std::vector<double> A;
    double at(int dx, int dy) const {
        return A[static_cast<std::size_t>(((dy % Ny) + Ny) % Ny) * Nx + ((dx % Nx) + Nx) % Nx];
    }
};

// The power spectrum's autocorrelation (Power) and the magnitude spectrum's (Magnitude): the
// first has the sharpest peaks and pins a lattice to a fraction of a pixel, the second finds
// lattices that a picture's own periodic texture hides in the first. The mark spreads its
// energy over many lines of the spectrum, texture (ripples, blinds) puts much more into a
// few: the magnitude weighs the many against the few more evenly than the power, whose
// squares let the texture's lattice outrank the mark's.
struct Autocorrelations {
    Autocorrelation Power, Magnitude;
};

// Where the windows of w pixels (w <= n) lie along an axis of n: the whole axis covered, evenly,
// neighbours overlapping by at least half a window.
std::vector<int> WindowOrigins(int n, int w) {
    if (n <= w) return {0};
    const int count = 1 + (n - w + w / 2 - 1) / (w / 2);
    std::vector<int> origins(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) origins[i] = static_cast<int>(std::lround(static_cast<double>(i) * (n - w) / (count - 1)));
    return origins;
}

Autocorrelations Correlate(const Plane& r) {
    Autocorrelations both;
    Autocorrelation& ac = both.Power;
    ac.Nx = FloorPowerOfTwo(r.W, kAcfSide);
    ac.Ny = FloorPowerOfTwo(r.H, kAcfSide);
    const std::size_t n = static_cast<std::size_t>(ac.Nx) * ac.Ny;
    // The spectra of windows over the whole picture, summed (Welch's average): a photograph
    // whose middle holds little of the mark (a smooth, blurred subject, where JPEG leaves
    // nothing of it) still shows the lattice that its textured rest carries, and the picture's
    // own content, different in every window, averages towards a smooth spectrum while the
    // mark's lines, the same in all, add up.
    const Fft2 fft(ac.Nx, ac.Ny);
    std::vector<double> power(n, 0.0), magnitude(n, 0.0);
    std::vector<double> re(n), im(n);
    for (const int y0 : WindowOrigins(r.H, ac.Ny))
        for (const int x0 : WindowOrigins(r.W, ac.Nx)) {
            double mean = 0;
            for (int y = 0; y < ac.Ny; ++y)
                for (int x = 0; x < ac.Nx; ++x) mean += r.at(x0 + x, y0 + y);
            mean /= static_cast<double>(n);
            for (int y = 0; y < ac.Ny; ++y)
                for (int x = 0; x < ac.Nx; ++x) re[static_cast<std::size_t>(y) * ac.Nx + x] = r.at(x0 + x, y0 + y) - mean;
            std::fill(im.begin(), im.end(), 0.0);
            fft.Transform(re, im, false);
            for (std::size_t i = 0; i < n; ++i) {
                const double p = re[i] * re[i] + im[i] * im[i];
                power[i] += p;
                magnitude[i] += std::sqrt(p);
            }
        }
    // Each spectrum times a Gaussian: the autocorrelation smoothed by a Gaussian of one pixel,
    // so that a peak of a chip's width is not missed between whole lags.
    std::vector<double> gx(static_cast<std::size_t>(ac.Nx)), gy(static_cast<std::size_t>(ac.Ny));
    for (int k = 0; k < ac.Nx; ++k) {
        const double f = static_cast<double>(std::min(k, ac.Nx - k)) / ac.Nx;
        gx[k] = PortableExp(-2 * M_PI * M_PI * f * f);
    }
    for (int k = 0; k < ac.Ny; ++k) {
        const double f = static_cast<double>(std::min(k, ac.Ny - k)) / ac.Ny;
        gy[k] = PortableExp(-2 * M_PI * M_PI * f * f);
    }
    std::vector<double> mim(n, 0.0);
    for (int y = 0; y < ac.Ny; ++y)
        for (int x = 0; x < ac.Nx; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * ac.Nx + x;
            re[i] = power[i] * gx[x] * gy[y];
            im[i] = 0;
            magnitude[i] = magnitude[i] * gx[x] * gy[y];
        }
    both.Magnitude.Nx = ac.Nx;
    both.Magnitude.Ny = ac.Ny;
    fft.Transform(re, im, true);
    fft.Transform(magnitude, mim, true);
    ac.A = std::move(re);
    both.Magnitude.A = std::move(magnitude);
    for (Autocorrelation* a : {&both.Power, &both.Magnitude}) {
        const double zero = a->A[0];
        for (double& v : a->A) v = zero > 0 ? v / zero : 0.0;
    }
    return both;
}

struct Vec {
    double X = 0, Y = 0;
};
double Length(Vec v) { return std::sqrt(v.X * v.X + v.Y * v.Y); }
double Cross(Vec a, Vec b) { return a.X * b.Y - a.Y * b.X; }

struct Basis {
    Vec V1, V2;  // the tile's first axis (nearest to +x) and second (nearest to +y), working pixels
};

struct Peak {
    double Value;
    int X, Y;
};

double MaxLag(const Autocorrelation& ac) { return std::min(ac.Nx, ac.Ny) / 2.0 - 3.0; }

std::vector<Peak> Peaks(const Autocorrelation& ac) {
    std::vector<Peak> peaks;
    const double longest = std::min(kLongestPeriod, MaxLag(ac));
    const int reach = static_cast<int>(longest);
    for (int dy = 0; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            if (dy == 0 && dx <= 0) continue;
            const double len = std::sqrt(static_cast<double>(dx * dx + dy * dy));
            if (len < kShortestPeriod || len > longest) continue;
            const double v = ac.at(dx, dy);
            if (v <= 0) continue;
            bool top = true;
            for (int j = -2; j <= 2 && top; ++j)
                for (int i = -2; i <= 2; ++i)
                    if ((i != 0 || j != 0) && ac.at(dx + i, dy + j) > v) {
                        top = false;
                        break;
                    }
            if (top) peaks.push_back({v, dx, dy});
        }
    std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) {
        if (a.Value != b.Value) return a.Value > b.Value;
        return a.Y != b.Y ? a.Y < b.Y : a.X < b.X;
    });
    if (peaks.size() > 40) peaks.resize(40);
    return peaks;
}

// Gauss's reduction of the lattice spanned by a and b, then the axes nearest to +x and +y.
Basis Oriented(Vec a, Vec b) {
    for (int i = 0; i < 16; ++i) {
        if (a.X * a.X + a.Y * a.Y > b.X * b.X + b.Y * b.Y) std::swap(a, b);
        const double m = std::round((a.X * b.X + a.Y * b.Y) / (a.X * a.X + a.Y * a.Y));
        if (m == 0) break;
        b = {b.X - m * a.X, b.Y - m * a.Y};
    }
    const Vec all[4] = {a, {-a.X, -a.Y}, b, {-b.X, -b.Y}};
    int first = 0;
    for (int i = 1; i < 4; ++i)
        if (all[i].X / Length(all[i]) > all[first].X / Length(all[first])) first = i;
    int second = -1;
    for (int i = 0; i < 4; ++i) {
        if (i / 2 == first / 2) continue;
        if (second < 0 || all[i].Y / Length(all[i]) > all[second].Y / Length(all[second])) second = i;
    }
    return {all[first], all[second]};
}

bool Plausible(const Basis& b, double longest) {
    const double l1 = Length(b.V1), l2 = Length(b.V2);
    if (l1 < kShortestPeriod || l2 < kShortestPeriod || l1 > longest || l2 > longest) return false;
    return std::abs(Cross(b.V1, b.V2)) / (l1 * l2) >= 0.5;
}

// The autocorrelation's peak near `at`, to a fraction of a pixel (a parabola through the
// maximum and its neighbours on each axis); false where the lag is beyond what it holds.
bool SubPixelPeak(const Autocorrelation& ac, Vec at, Vec& found, double& value) {
    const double limit = MaxLag(ac);
    if (std::abs(at.X) > limit || std::abs(at.Y) > limit) return false;
    int bx = static_cast<int>(std::lround(at.X)), by = static_cast<int>(std::lround(at.Y));
    int mx = bx, my = by;
    for (int j = -2; j <= 2; ++j)
        for (int i = -2; i <= 2; ++i)
            if (ac.at(bx + i, by + j) > ac.at(mx, my)) {
                mx = bx + i;
                my = by + j;
            }
    auto vertex = [](double l, double m, double r) {
        const double curve = l - 2 * m + r;
        return curve < 0 ? std::clamp(0.5 * (l - r) / curve, -0.5, 0.5) : 0.0;
    };
    const double m = ac.at(mx, my);
    found = {mx + vertex(ac.at(mx - 1, my), m, ac.at(mx + 1, my)), my + vertex(ac.at(mx, my - 1), m, ac.at(mx, my + 1))};
    value = m;
    return true;
}

// Least squares over the lattice's points n V1 + m V2 (|n|, |m| <= 4) that the autocorrelation
// holds, each weighted by its peak: the far points pin the period to a small fraction of a pixel.
Basis Refine(const Autocorrelation& ac, Basis b) {
    for (int iteration = 0; iteration < 2; ++iteration) {
        double mm[2][2] = {{0, 0}, {0, 0}}, mo[2][2] = {{0, 0}, {0, 0}};
        for (int n = -4; n <= 4; ++n)
            for (int m = 0; m <= 4; ++m) {
                if (m == 0 && n <= 0) continue;
                const Vec at{n * b.V1.X + m * b.V2.X, n * b.V1.Y + m * b.V2.Y};
                Vec found;
                double value;
                if (!SubPixelPeak(ac, at, found, value) || value <= 0) continue;
                const double c[2] = {static_cast<double>(n), static_cast<double>(m)};
                const double o[2] = {found.X, found.Y};
                for (int i = 0; i < 2; ++i)
                    for (int j = 0; j < 2; ++j) {
                        mm[i][j] += value * c[i] * c[j];
                        mo[i][j] += value * c[i] * o[j];
                    }
            }
        const double det = mm[0][0] * mm[1][1] - mm[0][1] * mm[1][0];
        if (!(std::abs(det) > 1e-12)) break;
        // Rows of the solution are V1 and V2.
        const double inv[2][2] = {{mm[1][1] / det, -mm[0][1] / det}, {-mm[1][0] / det, mm[0][0] / det}};
        Basis next;
        next.V1 = {inv[0][0] * mo[0][0] + inv[0][1] * mo[1][0], inv[0][0] * mo[0][1] + inv[0][1] * mo[1][1]};
        next.V2 = {inv[1][0] * mo[0][0] + inv[1][1] * mo[1][0], inv[1][0] * mo[0][1] + inv[1][1] * mo[1][1]};
        b = next;
    }
    return b;
}

double PeakAt(const Autocorrelation& ac, Vec v) {
    Vec found;
    double value = 0;
    return SubPixelPeak(ac, v, found, value) ? value : 0.0;
}

// How well a lattice explains the autocorrelation's strong peaks (those of at least 0.3 of
// the strongest): the sum of the strong peaks that lie on it (within 1.5 pixels), less 0.3 of
// the strongest for each of its points within the strong peaks' reach where there is no
// strong peak. A lattice too coarse leaves peaks unexplained, one too fine has points without
// peaks, and both score below the right one.
double LatticeScore(const Autocorrelation& ac, const std::vector<Peak>& peaks, const Basis& b) {
    const double strong = 0.3 * peaks[0].Value;
    double reach = 0, score = 0;
    const double det = Cross(b.V1, b.V2);
    for (const Peak& p : peaks) {
        if (p.Value < strong) continue;
        reach = std::max(reach, std::sqrt(static_cast<double>(p.X * p.X + p.Y * p.Y)));
        const double n = std::round((b.V2.Y * p.X - b.V2.X * p.Y) / det);
        const double m = std::round((-b.V1.Y * p.X + b.V1.X * p.Y) / det);
        const double dx = p.X - n * b.V1.X - m * b.V2.X, dy = p.Y - n * b.V1.Y - m * b.V2.Y;
        if (dx * dx + dy * dy <= 1.5 * 1.5) score += p.Value;
    }
    const int span = static_cast<int>(reach * std::max(Length(b.V1), Length(b.V2)) / std::abs(det)) + 1;
    for (int m = 0; m <= span; ++m)
        for (int n = -span; n <= span; ++n) {
            if (m == 0 && n <= 0) continue;
            const Vec p{n * b.V1.X + m * b.V2.X, n * b.V1.Y + m * b.V2.Y};
            if (Length(p) > reach + 0.5) continue;
            const int x = static_cast<int>(std::lround(p.X)), y = static_cast<int>(std::lround(p.Y));
            double v = ac.at(x, y);
            for (int j = -1; j <= 1; ++j)
                for (int i = -1; i <= 1; ++i) v = std::max(v, ac.at(x + i, y + j));
            if (v < strong) score -= strong;
        }
    return score;
}

// Candidate lattices: every pair of the kPairPeaks strongest peaks that spans a plausible lattice,
// reduced and oriented, ranked by LatticeScore; the best kMaxLattices, refined. They depend on
// the suspect alone, not on the key.
std::vector<Basis> Lattices(const Autocorrelations& both) {
    const Autocorrelation& ac = both.Magnitude;
    std::vector<Basis> out;
    const std::vector<Peak> peaks = Peaks(ac);
    if (peaks.size() < 2) return out;
    const double longest = std::min(kLongestPeriod, MaxLag(ac)) * 1.1;
    const std::size_t strongest = std::min<std::size_t>(peaks.size(), kPairPeaks);
    std::vector<std::pair<double, Basis>> ranked;
    for (std::size_t i = 0; i < strongest; ++i)
        for (std::size_t j = i + 1; j < strongest; ++j) {
            const Vec a{static_cast<double>(peaks[i].X), static_cast<double>(peaks[i].Y)};
            const Vec c{static_cast<double>(peaks[j].X), static_cast<double>(peaks[j].Y)};
            if (std::abs(Cross(a, c)) / (Length(a) * Length(c)) < 0.25) continue;
            const Basis b = Oriented(a, c);
            if (!Plausible(b, longest)) continue;
            bool seen = false;
            for (const auto& [score, o] : ranked)
                seen = seen || (o.V1.X == b.V1.X && o.V1.Y == b.V1.Y && o.V2.X == b.V2.X && o.V2.Y == b.V2.Y);
            if (!seen) ranked.emplace_back(LatticeScore(ac, peaks, b), b);
        }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    for (const auto& [score, b] : ranked) {
        if (static_cast<int>(out.size()) == kMaxLattices) break;
        const Basis refined = Refine(both.Power, b);
        const Basis chosen = Plausible(refined, longest) ? refined : b;
        bool seen = false;
        for (const Basis& o : out)
            seen = seen || (std::abs(o.V1.X - chosen.V1.X) < 0.5 && std::abs(o.V1.Y - chosen.V1.Y) < 0.5 &&
                            std::abs(o.V2.X - chosen.V2.X) < 0.5 && std::abs(o.V2.Y - chosen.V2.Y) < 0.5);
        if (!seen) out.push_back(chosen);
    }
    return out;
}

// The whitened picture folded into one tile along the lattice: working pixel p lands on chip
// round(P B^-1 (p - centre)) modulo the tile; each chip the mean of its pixels, the tile's
// mean taken away.
std::vector<double> Fold(const Plane& r, const Basis& b) {
    const double det = b.V1.X * b.V2.Y - b.V2.X * b.V1.Y;
    const double i00 = b.V2.Y / det * kTileChips, i01 = -b.V2.X / det * kTileChips;
    const double i10 = -b.V1.Y / det * kTileChips, i11 = b.V1.X / det * kTileChips;
    const double cx = (r.W - 1) / 2.0, cy = (r.H - 1) / 2.0;
    std::vector<double> sum(kChips, 0.0);
    std::vector<int> count(kChips, 0);
    for (int y = 0; y < r.H; ++y) {
        const double dy = y - cy;
        const double* row = r.V.data() + static_cast<std::size_t>(y) * r.W;
        for (int x = 0; x < r.W; ++x) {
            const double dx = x - cx;
            const int u = static_cast<int>(std::floor(i00 * dx + i01 * dy + 0.5)) & (kTileChips - 1);
            const int v = static_cast<int>(std::floor(i10 * dx + i11 * dy + 0.5)) & (kTileChips - 1);
            sum[v * kTileChips + u] += row[x];
            ++count[v * kTileChips + u];
        }
    }
    std::vector<double> tile(kChips, 0.0);
    double mean = 0;
    for (int k = 0; k < kChips; ++k) {
        tile[k] = count[k] > 0 ? sum[k] / count[k] : 0.0;
        mean += tile[k];
    }
    mean /= kChips;
    for (double& t : tile) t -= mean;
    return tile;
}

// conj(FFT(p_c - i p_{c+1})) for the coded bits' pairs of one level: multiplied by the folded
// tile's transform and transformed back, it gives the two cyclic correlations at once (the
// real and imaginary parts).
struct LevelPatterns {
    std::vector<std::vector<double>> Re, Im;  // [pair][chip]
};

LevelPatterns Transforms(std::uint32_t seed, int level, const Fft2& fft) {
    const ChipWords w = DrawPatterns(seed, level);
    LevelPatterns lp;
    lp.Re.resize(kCodedBits / 2);
    lp.Im.resize(kCodedBits / 2);
    for (int q = 0; q < kCodedBits / 2; ++q) {
        std::vector<double> re(kChips), im(kChips);
        for (int k = 0; k < kChips; ++k) {
            re[k] = PatternSign(w, k, 2 * q);
            im[k] = -PatternSign(w, k, 2 * q + 1);
        }
        fft.Transform(re, im, false);
        for (double& v : im) v = -v;
        lp.Re[q] = std::move(re);
        lp.Im[q] = std::move(im);
    }
    return lp;
}

struct Hypothesis {
    double Score = -1e300;
    int Lattice = -1;
    int Level = 0;
    int ShiftU = 0, ShiftV = 0;
    DecodedPayload Decoded;
};

// The mask's value at each block of side `block`: the square root of the block's standard
// deviation plus 4, from the picture's rows as `rowAt` gives them (in order, each once).
std::vector<double> BlockMask(int width, int height, int block, const std::function<const double*(int)>& rowAt) {
    const int bw = (width + block - 1) / block, bh = (height + block - 1) / block;
    std::vector<double> sum(static_cast<std::size_t>(bw) * bh, 0.0), squares(sum.size(), 0.0);
    for (int y = 0; y < height; ++y) {
        const double* row = rowAt(y);
        double* s1 = sum.data() + static_cast<std::size_t>(y / block) * bw;
        double* s2 = squares.data() + static_cast<std::size_t>(y / block) * bw;
        for (int i = 0; i < bw; ++i) {
            double a = 0, b = 0;
            for (int x = i * block; x < std::min(width, (i + 1) * block); ++x) {
                a = a + row[x];
                b = b + row[x] * row[x];
            }
            s1[i] += a;
            s2[i] += b;
        }
    }
    std::vector<double> mask(sum.size());
    for (int j = 0; j < bh; ++j)
        for (int i = 0; i < bw; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * bw + i;
            const int count = (std::min(width, (i + 1) * block) - i * block) * (std::min(height, (j + 1) * block) - j * block);
            const double mean = sum[k] / count;
            const double variance = std::max(0.0, squares[k] / count - mean * mean);
            mask[k] = std::sqrt(std::sqrt(variance) + 4.0);
        }
    return mask;
}

// Along one axis of n pixels, the block whose centre is at or before each pixel and how far
// past it the pixel lies, in blocks: centres at (i + 0.5) block - 0.5, the edge value beyond
// the first and the last centre.
void MaskAxis(int n, int block, int blocks, std::vector<int>& low, std::vector<double>& frac) {
    low.resize(n);
    frac.resize(n);
    for (int p = 0; p < n; ++p) {
        const double u = (p + 0.5) / block - 0.5;
        if (u <= 0) {
            low[p] = 0;
            frac[p] = 0;
        } else if (u >= blocks - 1) {
            low[p] = blocks - 1;
            frac[p] = 0;
        } else {
            low[p] = static_cast<int>(u);
            frac[p] = u - low[p];
        }
    }
}

}  // namespace

int LevelFor(int width, int height) {
    const std::uint64_t area = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    int level = kSmallestLevel;
    while (level < kMaxLevel && (static_cast<std::uint64_t>(kLevelSide) * kLevelSide << (level + 1)) <= area) ++level;
    return level;
}

double ChipSide(int level) {
    double s = 1;
    for (int i = 0; i < level / 2; ++i) s *= 2;
    return level % 2 ? s * std::sqrt(2.0) : s;
}

double StrengthForPsnr(double psnr) { return 255.0 * PortablePow(10.0, -psnr / 20.0); }

std::vector<double> Pattern(int width, int height, const PayloadBits& payload, std::uint32_t seed) {
    if (width < 1 || height < 1)
        throw ArgumentError("a pattern of " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
    const int level = LevelFor(width, height);
    const double s = ChipSide(level);
    const std::vector<double> tile = Tile(payload, seed, level);
    const Interpolation ax = Axis(width, s), ay = Axis(height, s);
    // Each tile row interpolated across the picture's width once; rows then mix two of them.
    std::vector<double> across(static_cast<std::size_t>(kTileChips) * width);
    for (int v = 0; v < kTileChips; ++v)
        for (int x = 0; x < width; ++x) {
            const double* t = tile.data() + v * kTileChips;
            const int u0 = ax.Low[x], u1 = (u0 + 1) & (kTileChips - 1);
            across[static_cast<std::size_t>(v) * width + x] = t[u0] * (1 - ax.Frac[x]) + t[u1] * ax.Frac[x];
        }
    std::vector<double> out(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const int v0 = ay.Low[y], v1 = (v0 + 1) & (kTileChips - 1);
        const double f = ay.Frac[y];
        const double* a = across.data() + static_cast<std::size_t>(v0) * width;
        const double* b = across.data() + static_cast<std::size_t>(v1) * width;
        double* o = out.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) o[x] = a[x] * (1 - f) + b[x] * f;
    }
    return out;
}

std::vector<double> EmbedChange(const double* luma, int width, int height, const PayloadBits& payload,
                                std::uint32_t seed, double strength) {
    CheckPicture(luma, width, height, kSmallestHost, "host");
    if (!(strength > 0) || !std::isfinite(strength))
        throw ArgumentError("the strength " + std::to_string(strength) + " is not a positive number");
    for (const std::uint8_t bit : payload)
        if (bit > 1) throw ArgumentError("a payload bit is neither 0 nor 1");
    double energy = 0;
    std::vector<double> change = MaskedPattern(luma, width, height, payload, seed, energy);
    const double scale = strength / std::sqrt(energy / static_cast<double>(change.size()));
    for (double& c : change) c = c * scale;
    return change;
}

std::vector<double> MaskedPattern(const double* luma, int width, int height, const PayloadBits& payload,
                                  std::uint32_t seed, double& energy) {
    CheckPicture(luma, width, height, kSmallestHost, "host");
    std::vector<double> change = Pattern(width, height, payload, seed);
    // The mask: the square root of the local standard deviation plus 4, which puts more of the
    // change where the picture hides it and keeps some in flat parts, where the detector's
    // whitening finds it just as well. The deviation is that of blocks of about two chips,
    // interpolated bilinearly between their centres: smooth, and one pass over the picture.
    const int block = 2 * static_cast<int>(ChipSide(LevelFor(width, height)) + 0.5) + 1;
    const int bw = (width + block - 1) / block, bh = (height + block - 1) / block;
    const std::vector<double> mask =
        BlockMask(width, height, block, [&](int y) { return luma + static_cast<std::size_t>(y) * width; });
    std::vector<int> lx, ly;
    std::vector<double> fxs, fys;
    MaskAxis(width, block, bw, lx, fxs);
    MaskAxis(height, block, bh, ly, fys);
    energy = 0;
    for (int y = 0; y < height; ++y) {
        const int j0 = ly[y], j1 = std::min(bh - 1, j0 + 1);
        const double fy = fys[y];
        const double* m0 = mask.data() + static_cast<std::size_t>(j0) * bw;
        const double* m1 = mask.data() + static_cast<std::size_t>(j1) * bw;
        double* c = change.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const int i0 = lx[x], i1 = std::min(bw - 1, i0 + 1);
            const double fx = fxs[x];
            const double m = (m0[i0] * (1 - fx) + m0[i1] * fx) * (1 - fy) + (m1[i0] * (1 - fx) + m1[i1] * fx) * fy;
            c[x] = c[x] * m;
            energy = energy + c[x] * c[x];
        }
    }
    return change;
}

MaskedRows::MaskedRows(int width, int height, const PayloadBits& payload, std::uint32_t seed,
                       const std::function<void(int, double*)>& lumaRow)
    : width_(width), height_(height) {
    const double any = 0;
    CheckPicture(lumaRow ? &any : nullptr, width, height, kSmallestHost, "host");
    // The pattern as Pattern makes it: the tile's rows across the width, rows mixing two of them.
    const int level = LevelFor(width, height);
    const double s = ChipSide(level);
    const std::vector<double> tile = Tile(payload, seed, level);
    const Interpolation ax = Axis(width, s);
    Interpolation ay = Axis(height, s);
    across_.resize(static_cast<std::size_t>(kTileChips) * width);
    for (int v = 0; v < kTileChips; ++v)
        for (int x = 0; x < width; ++x) {
            const double* t = tile.data() + v * kTileChips;
            const int u0 = ax.Low[x], u1 = (u0 + 1) & (kTileChips - 1);
            across_[static_cast<std::size_t>(v) * width + x] = t[u0] * (1 - ax.Frac[x]) + t[u1] * ax.Frac[x];
        }
    tileLow_ = std::move(ay.Low);
    tileFrac_ = std::move(ay.Frac);
    // The mask as MaskedPattern makes it, its blocks' sums gathered row by row.
    const int block = 2 * static_cast<int>(s + 0.5) + 1;
    blocksAcross_ = (width + block - 1) / block;
    blocksDown_ = (height + block - 1) / block;
    std::vector<double> row(static_cast<std::size_t>(width));
    mask_ = BlockMask(width, height, block, [&](int y) {
        lumaRow(y, row.data());
        return static_cast<const double*>(row.data());
    });
    MaskAxis(width, block, blocksAcross_, maskLowX_, maskFracX_);
    MaskAxis(height, block, blocksDown_, maskLowY_, maskFracY_);
    // The energy in MaskedPattern's order: row by row.
    energy_ = 0;
    for (int y = 0; y < height; ++y) {
        Row(y, row.data());
        for (int x = 0; x < width; ++x) energy_ = energy_ + row[x] * row[x];
    }
}

void MaskedRows::Row(int y, double* out) const {
    const int width = width_, bw = blocksAcross_;
    const int v0 = tileLow_[y], v1 = (v0 + 1) & (kTileChips - 1);
    const double f = tileFrac_[y];
    const double* a = across_.data() + static_cast<std::size_t>(v0) * width;
    const double* b = across_.data() + static_cast<std::size_t>(v1) * width;
    const int j0 = maskLowY_[y], j1 = std::min(blocksDown_ - 1, j0 + 1);
    const double fy = maskFracY_[y];
    const double* m0 = mask_.data() + static_cast<std::size_t>(j0) * bw;
    const double* m1 = mask_.data() + static_cast<std::size_t>(j1) * bw;
    for (int x = 0; x < width; ++x) {
        const double pattern = a[x] * (1 - f) + b[x] * f;
        const int i0 = maskLowX_[x], i1 = std::min(bw - 1, i0 + 1);
        const double fx = maskFracX_[x];
        const double m = (m0[i0] * (1 - fx) + m0[i1] * fx) * (1 - fy) + (m1[i0] * (1 - fx) + m1[i1] * fx) * fy;
        out[x] = pattern * m;
    }
}

double LogHypothesesBound() {
    const double shifts = static_cast<double>(kChips);
    const double searched = (kMaxLattices * kMaxLevelsPerLattice + kOwnGrids) * shifts;
    return kPayloadBits * PortableLog(2.0) + PortableLog(searched);
}

double FalseAlarmBound(double score) {
    if (!(score > 0)) return 1.0;
    const double log = LogHypothesesBound() - score * score / 2;
    return log >= 0 ? 1.0 : PortableExp(log);
}

double Threshold(double rate) {
    if (!(rate > 0 && rate < 1)) throw ArgumentError("a false-alarm rate must lie between 0 and 1");
    return std::sqrt(2.0 * (LogHypothesesBound() - PortableLog(rate)));
}

double CosineThreshold(double rate) { return Threshold(rate) / std::sqrt(static_cast<double>(kChips)); }

struct PreparedSuspect::Parts {
    double Fx = 1, Fy = 1;
    int WorkW = 0, WorkH = 0;
    Autocorrelation Ac;
    std::vector<Basis> Lattices;
    std::vector<std::vector<int>> Levels;
    // Per lattice, the folded tile's transform (empty where the fold holds nothing).
    std::vector<std::vector<double>> FoldRe, FoldIm;
    std::vector<double> FoldNorm;
};

PreparedSuspect::PreparedSuspect(const double* luma, int width, int height)
    : PreparedSuspect(width, height, luma == nullptr ? std::function<void(int, double*)>() : [luma, width](int y, double* out) {
          const double* row = luma + static_cast<std::size_t>(y) * width;
          std::copy(row, row + width, out);
      }) {}

PreparedSuspect::PreparedSuspect(int width, int height, const std::function<void(int, double*)>& lumaRow) {
    const double any = 0;
    CheckPicture(lumaRow ? &any : nullptr, width, height, kSmallestSuspect, "suspect");
    auto parts = std::make_shared<Parts>();
    parts_ = parts;
    Parts& p = *parts;
    Plane work = Reduce(width, height, lumaRow, p.Fx, p.Fy);
    const double fx = p.Fx, fy = p.Fy;
    p.WorkW = work.W;
    p.WorkH = work.H;
    const Plane r = Whiten(std::move(work));
    const Autocorrelations both = Correlate(r);
    p.Ac = both.Power;
    std::vector<Basis>& lattices = p.Lattices;
    lattices = Lattices(both);
    std::vector<std::vector<int>>& levels = p.Levels;
    levels.resize(lattices.size());
    for (std::size_t i = 0; i < lattices.size(); ++i) {
        const double area = std::abs(Cross(lattices[i].V1, lattices[i].V2)) * fx * fy;
        const double chip = std::sqrt(area) / kTileChips;  // suspect pixels a chip
        for (int level = 0; level <= kMaxLevel && static_cast<int>(levels[i].size()) < kMaxLevelsPerLattice; ++level) {
            const double scale = chip / ChipSide(level);
            if (scale >= kLowestScale && scale <= kHighestScale) levels[i].push_back(level);
        }
    }
    // The suspect's own grid, as if it were the marked picture cropped a little or not at all.
    const int own = LevelFor(width, height);
    for (int k = 0; k < kOwnGrids; ++k) {
        const int level = own + k;
        const double side = kTileChips * ChipSide(level);
        lattices.push_back({{side / fx, 0}, {0, side / fy}});
        levels.push_back({level});
    }
    const Fft2 tileFft(kTileChips, kTileChips);
    p.FoldRe.resize(lattices.size());
    p.FoldIm.resize(lattices.size());
    p.FoldNorm.assign(lattices.size(), 0.0);
    for (std::size_t li = 0; li < lattices.size(); ++li) {
        if (levels[li].empty()) continue;
        const std::vector<double> tile = Fold(r, lattices[li]);
        double norm = 0;
        for (const double t : tile) norm = norm + t * t;
        norm = std::sqrt(norm);
        if (!(norm > 0)) continue;
        std::vector<double> fre = tile, fim(kChips, 0.0);
        tileFft.Transform(fre, fim, false);
        p.FoldRe[li] = std::move(fre);
        p.FoldIm[li] = std::move(fim);
        p.FoldNorm[li] = norm;
    }
}

SyncReading Detect(const double* luma, int width, int height, std::uint32_t seed) {
    return Detect(PreparedSuspect(luma, width, height), seed);
}

SyncReading Detect(const PreparedSuspect& prepared, std::uint32_t seed) {
    const PreparedSuspect::Parts& p = *prepared.parts_;
    const double fx = p.Fx, fy = p.Fy;
    const std::vector<Basis>& lattices = p.Lattices;
    const std::vector<std::vector<int>>& levels = p.Levels;
    const Autocorrelation& ac = p.Ac;
    SyncReading reading;
    reading.WorkingScale = std::sqrt(fx * fy);
    reading.Lattices = static_cast<int>(lattices.size());

    const Fft2 tileFft(kTileChips, kTileChips);
    // A deque: the references handed out stay valid as levels are added.
    std::deque<std::pair<int, LevelPatterns>> cache;
    auto patternsOf = [&](int level) -> const LevelPatterns& {
        for (const auto& [l, patterns] : cache)
            if (l == level) return patterns;
        cache.emplace_back(level, Transforms(seed, level, tileFft));
        return cache.back().second;
    };

    // The runner-up is the best hypothesis that reads another payload: the same mark found
    // through another lattice or shift does not count against the reading.
    Hypothesis best, second;
    auto consider = [&](Hypothesis&& h) {
        const bool same = best.Lattice >= 0 && best.Decoded.Bits == h.Decoded.Bits;
        if (h.Score > best.Score) {
            if (!same) second = std::move(best);
            best = std::move(h);
        } else if (!same && h.Score > second.Score) {
            second = std::move(h);
        }
    };
    std::vector<double> z(static_cast<std::size_t>(kCodedBits) * kChips);
    for (std::size_t li = 0; li < lattices.size(); ++li) {
        if (levels[li].empty() || !(p.FoldNorm[li] > 0)) continue;
        const std::vector<double>& fre = p.FoldRe[li];
        const std::vector<double>& fim = p.FoldIm[li];
        const double norm = p.FoldNorm[li];
        for (const int level : levels[li]) {
            reading.Hypotheses += kChips;
            const LevelPatterns& lp = patternsOf(level);
            std::vector<double> re(kChips), im(kChips);
            for (int q = 0; q < kCodedBits / 2; ++q) {
                for (int k = 0; k < kChips; ++k) {
                    re[k] = fre[k] * lp.Re[q][k] - fim[k] * lp.Im[q][k];
                    im[k] = fre[k] * lp.Im[q][k] + fim[k] * lp.Re[q][k];
                }
                tileFft.Transform(re, im, true);
                const double scale = 1.0 / (static_cast<double>(kChips) * norm);
                for (int k = 0; k < kChips; ++k) {
                    z[static_cast<std::size_t>(2 * q) * kChips + k] = re[k] * scale;
                    z[static_cast<std::size_t>(2 * q + 1) * kChips + k] = im[k] * scale;
                }
            }
            // The shifts with the most correlation energy over all coded bits are decoded.
            std::vector<std::pair<double, int>> energy(kChips);
            for (int k = 0; k < kChips; ++k) {
                double e = 0;
                for (int c = 0; c < kCodedBits; ++c) e = e + z[static_cast<std::size_t>(c) * kChips + k] * z[static_cast<std::size_t>(c) * kChips + k];
                energy[k] = {e, k};
            }
            std::partial_sort(energy.begin(), energy.begin() + kShiftsDecoded, energy.end(),
                              [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
            for (int t = 0; t < kShiftsDecoded; ++t) {
                const int k = energy[t].second;
                double zk[kCodedBits];
                for (int c = 0; c < kCodedBits; ++c) zk[c] = z[static_cast<std::size_t>(c) * kChips + k];
                Hypothesis h;
                h.Decoded = Decode(zk);
                h.Score = h.Decoded.Correlation / std::sqrt(static_cast<double>(kCodedBits));
                h.Lattice = static_cast<int>(li);
                h.Level = level;
                h.ShiftU = k % kTileChips;
                h.ShiftV = k / kTileChips;
                consider(std::move(h));
            }
        }
    }
    if (best.Lattice < 0) return reading;

    reading.Synchronised = true;
    reading.Score = best.Score;
    reading.FalseAlarm = FalseAlarmBound(best.Score);
    reading.RunnerUp = second.Lattice < 0 ? 0.0 : second.Score;
    reading.Bits = best.Decoded.Bits;
    reading.Soft = best.Decoded.Soft;
    {
        // Score = <folded, w> / |folded| for the decoded payload's tile w (Tile's norm): the
        // cosine is that over |w|.
        const std::vector<double> w = Tile(best.Decoded.Bits, seed, best.Level);
        double energy = 0;
        for (const double v : w) energy = energy + v * v;
        reading.Cosine = energy > 0 ? std::clamp(best.Score / std::sqrt(energy), -1.0, 1.0) : 0.0;
    }
    const Basis& b = lattices[best.Lattice];
    reading.LatticePeak = 0.5 * (PeakAt(ac, b.V1) + PeakAt(ac, b.V2));

    // The map from the marked picture to the suspect: a tile of P s pixels to the lattice.
    SyncTransform& t = reading.Transform;
    t.Level = best.Level;
    const double s = ChipSide(best.Level);
    const double tileSide = kTileChips * s;
    t.Period1X = b.V1.X * fx;
    t.Period1Y = b.V1.Y * fy;
    t.Period2X = b.V2.X * fx;
    t.Period2Y = b.V2.Y * fy;
    t.A[0][0] = t.Period1X / tileSide;
    t.A[1][0] = t.Period1Y / tileSide;
    t.A[0][1] = t.Period2X / tileSide;
    t.A[1][1] = t.Period2Y / tileSide;
    const double angle = std::atan2(t.A[1][0], t.A[0][0]);
    t.RotationDegrees = -angle * 180.0 / M_PI;
    t.ScaleX = std::hypot(t.A[0][0], t.A[1][0]);
    const double c = t.A[0][0] / t.ScaleX, sn = t.A[1][0] / t.ScaleX;
    t.Shear = c * t.A[0][1] + sn * t.A[1][1];
    t.ScaleY = -sn * t.A[0][1] + c * t.A[1][1];
    // Chip (0, 0) of the tile sits at fold index (ShiftU, ShiftV): in working pixels at the
    // centre plus B (shift / P), in the suspect at (x + 0.5) f - 0.5. In the marked picture it
    // was at (s/2 - 0.5, s/2 - 0.5).
    const double cx = (p.WorkW - 1) / 2.0, cy = (p.WorkH - 1) / 2.0;
    const double su = static_cast<double>(best.ShiftU) / kTileChips, sv = static_cast<double>(best.ShiftV) / kTileChips;
    const double wx = cx + b.V1.X * su + b.V2.X * sv, wy = cy + b.V1.Y * su + b.V2.Y * sv;
    const double px = (wx + 0.5) * fx - 0.5, py = (wy + 0.5) * fy - 0.5;
    const double o = s / 2 - 0.5;
    double tx = px - (t.A[0][0] * o + t.A[0][1] * o), ty = py - (t.A[1][0] * o + t.A[1][1] * o);
    // The representative nearest to 0: lattice coordinates rounded away.
    const double det = t.Period1X * t.Period2Y - t.Period2X * t.Period1Y;
    const double n1 = std::round((t.Period2Y * tx - t.Period2X * ty) / det);
    const double n2 = std::round((-t.Period1Y * tx + t.Period1X * ty) / det);
    t.ShiftX = tx - n1 * t.Period1X - n2 * t.Period2X;
    t.ShiftY = ty - n1 * t.Period1Y - n2 * t.Period2Y;
    return reading;
}

}  // namespace quillfen::sync
