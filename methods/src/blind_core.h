#pragma once
// The blind methods' common ground (blind_methods.cpp, quantisers.cpp, sync_method.cpp): every one of them reads
// and writes the same coefficients. In every whole 8 x 8 block of the picture's luminance (rows
// and columns beyond the last whole block are left as they are), blocks in raster order, the 22
// coefficients F(u, v) with 3 <= u + v <= 6, by u + v and then u. Everything is plain IEEE
// arithmetic in the written order (the random numbers xoshiro256**, roundings half to even), so
// a seed gives the same marked bytes and the same reading on every machine.
#include <algorithm>
#include <array>
#include <concepts>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/image_view.h"
#include "quillfen/image/parameters.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/methods/method.h"
#include "blind_loops.h"
#include "payload_code.h"

namespace quillfen::detail {

constexpr int kBlock = 8;
constexpr int kSmallest = 256;

// The mid-band: 3 <= u + v <= 6, by u + v and then u (index u * 8 + v).
constexpr std::array<int, 22> kBand = [] {
    std::array<int, 22> band{};
    int n = 0;
    for (int sum = 3; sum <= 6; ++sum)
        for (int u = 0; u <= sum; ++u) band[static_cast<std::size_t>(n++)] = u * 8 + (sum - u);
    return band;
}();

// A picture's luminance in reals: for a gray picture (every pixel's three bytes equal) its
// gray, else (299 R + 587 G + 114 B) / 1000.
struct Luma {
    int Width = 0;
    int Height = 0;
    bool Gray = true;
    std::vector<double> Values;
};

Luma LumaOf(const ImageView& picture);
// Row y of LumaOf(picture) into out[0 .. width); false where a colour pixel of it is not gray.
bool LumaRow(const ImageView& picture, int y, double* out);
std::size_t CoefficientCount(int width, int height);
// The band coefficients of every whole block, in sequence order (the orthonormal DCT-II of dct.h).
std::vector<double> BandCoefficients(const double* plane, int width, int height);
// Adds the inverse transform of each block's change of band coefficients to the plane.
void AddBandChange(double* plane, int width, int height, const std::vector<double>& change);
std::uint8_t ToByte(double value);

// Writes pixel x of a row (when there is a row to write) as the bytes nb, ng, nr, and returns
// their squared change from b, g, r, which the marking's PSNR sums.
inline int PutPixel(std::uint8_t* row, int x, int b, int g, int r, std::uint8_t nb, std::uint8_t ng, std::uint8_t nr) {
    if (row) {
        row[3 * x] = nb;
        row[3 * x + 1] = ng;
        row[3 * x + 2] = nr;
    }
    const int db = nb - b, dg = ng - g, dr = nr - r;
    return db * db + dg * dg + dr * dr;
}
// The host with its luminance moved from `before` to `after` (or by `change`): a gray picture
// stays gray, a colour picture has the change added to each of its colours (its hue and
// saturation kept).
Bitmap WriteBack(const ImageView& host, const Luma& before, const std::vector<double>& after);
Bitmap WriteBackChange(const ImageView& host, const Luma& before, const std::vector<double>& change);
// PSNR of what a viewer sees: the written picture's red, green and blue bytes against the
// host's (for a gray host, its gray bytes' PSNR to the bit: three times the sum over three
// times the pixels). A target PSNR is reached on this, and sweeps report it.
double WrittenPsnr(const ImageView& host, const Bitmap& written);
Parameter Described(const char* name, double lowest, double highest, bool whole, double fallback, const char* meaning);

// A photograph's coefficients take tens of megabytes, whose pages are first touched as they
// fill; where the system offers huge pages for the asking (Linux), they are asked for, so that
// the filling does not stop at every small page. Nothing else changes.
void AdviseHugePages(const void* data, std::size_t bytes);
template <class T>
void ReserveLarge(std::vector<T>& values, std::size_t n) {
    values.reserve(n);
    AdviseHugePages(values.data(), n * sizeof(T));
}

// The same coefficients as BandCoefficients(LumaOf(picture)), made a strip of eight rows at a
// time: no plane of the whole luminance is kept (a photograph's would be eight bytes a pixel).
struct Band {
    bool Gray = true;  // as Luma::Gray
    std::vector<double> Coefficients;
    // With `sums`: each whole block's 64 luminance values summed row by row, blocks in order.
    std::vector<double> BlockSums;
};
Band BandOf(const ImageView& picture, bool sums);
// The bytes WriteBack(host, before, after) gives where `after` is the luminance with
// AddBandChange(change) added (`before.Gray` is `gray`), written into `out` when it is not
// null, made a strip at a time; returns the sum over every pixel of the squared differences of
// its R, G and B bytes from the host's.
std::int64_t WriteBandChange(const ImageView& host, bool gray, const double* change, Bitmap* out);
// WriteBandChange for one whole block alone (block column bx, row by; `change` its 22
// changes): the same bytes, written into `out` when it is not null, and the block's share of
// the sum. A method that makes its change in sequence writes each block as soon as it is made.
std::int64_t WriteBlockChange(const ImageView& host, bool gray, int bx, int by, const double* change, Bitmap* out);
// WriteBandChange's bytes beyond the last whole block (rows and columns no block covers): the
// host's own.
void CopyBeyondBlocks(const ImageView& host, Bitmap& out);
// WrittenPsnr from that sum.
double PsnrOfSquares(std::int64_t squares, int width, int height);

// The catalogue entry of a blind method of the band coefficients: a payload of up to 64 bits,
// its strength parameter named, its shipped thresholds (at 1e-3 and 1e-6) in units of the
// picture's chance spread.
template <class Method>
std::shared_ptr<const MethodInfo> BlindEntry(const char* name, std::vector<Parameter> parameters, const char* strength,
                                             const char* summary, std::pair<double, double> thresholds) {
    auto info = std::make_shared<MethodInfo>();
    info->Name = name;
    info->Parameters = std::move(parameters);
    info->Parameters.push_back(EccParameter());  // last: added after the others
    info->Capabilities.Blind = true;
    info->Capabilities.PayloadBits = 64;
    info->Capabilities.Strength = strength;
    info->Summary = summary;
    info->Thresholds = thresholds;
    info->ThresholdUnits = Statistic::Spread;
    info->Make = [](const MethodSpec& described) { return std::make_unique<Method>(described); };
    return info;
}

// The whole blocks of a picture: coefficient i of the sequence is band coefficient i % 22 of
// block i / 22, block b at column b % Across and row b / Across.
struct Grid {
    int Across = 0;
    int Down = 0;
    // When marking: each block's luminance summed (Band::BlockSums), for a method whose
    // strength follows the blocks' brightness.
    const double* BlockSums = nullptr;
};
inline Grid GridOf(int width, int height) { return {width / kBlock, height / kBlock}; }

// The same band coefficient in a neighbouring block: direction 0 left, 1 right, 2 above,
// 3 below; at the picture's edge the block on the other side stands in.
inline std::size_t Neighbour(std::size_t i, int direction, Grid grid) {
    const std::size_t band = kBand.size();
    const std::size_t block = i / band;
    const int bx = static_cast<int>(block % static_cast<std::size_t>(grid.Across));
    const int by = static_cast<int>(block / static_cast<std::size_t>(grid.Across));
    int x = bx, y = by;
    switch (direction) {
        case 0: x = bx > 0 ? bx - 1 : bx + 1; break;
        case 1: x = bx + 1 < grid.Across ? bx + 1 : bx - 1; break;
        case 2: y = by > 0 ? by - 1 : by + 1; break;
        default: y = by + 1 < grid.Down ? by + 1 : by - 1; break;
    }
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(grid.Across) + static_cast<std::size_t>(x)) * band +
           i % band;
}

// Neighbour(i, d, grid) for the four directions at once, from the block's place alone (no
// table: a reader that visits coefficients in a random order would miss the cache on one).
inline void Neighbours(std::size_t i, Grid grid, std::size_t* at) {
    const std::size_t band = kBand.size();
    const std::size_t across = static_cast<std::size_t>(grid.Across);
    const std::size_t block = i / band, inBlock = i % band;
    const std::size_t bx = block % across, by = block / across;
    const std::size_t row = by * across;
    const std::size_t left = bx > 0 ? bx - 1 : bx + 1;
    const std::size_t right = bx + 1 < across ? bx + 1 : bx - 1;
    const std::size_t down = static_cast<std::size_t>(grid.Down);
    const std::size_t above = by > 0 ? by - 1 : by + 1;
    const std::size_t below = by + 1 < down ? by + 1 : by - 1;
    at[0] = (row + left) * band + inBlock;
    at[1] = (row + right) * band + inBlock;
    at[2] = (above * across + bx) * band + inBlock;
    at[3] = (below * across + bx) * band + inBlock;
}

// Sum over the four neighbours of (how many of them are the same block / 4)^2: 1/4 inside the
// picture, more at its edges where one block stands in for two.
inline double NeighbourWeight(std::size_t i, Grid grid) {
    std::array<std::size_t, 4> at{};
    for (int d = 0; d < 4; ++d) at[static_cast<std::size_t>(d)] = Neighbour(i, d, grid);
    double weight = 0;
    for (std::size_t d = 0; d < 4; ++d) {
        int same = 0;
        for (std::size_t e = 0; e < 4; ++e) same += at[e] == at[d] ? 1 : 0;
        weight += same / 16.0;  // each of the `same` copies contributes (same / 4)^2 / same
    }
    return weight;
}

// Neighbour and NeighbourWeight for every block of a grid, made once: a reading asks for four
// neighbours of every coefficient, each the same band coefficient of a neighbouring block.
class NeighbourTable {
public:
    explicit NeighbourTable(Grid grid) {
        const std::size_t band = kBand.size();
        const std::size_t blocks = static_cast<std::size_t>(grid.Across) * static_cast<std::size_t>(grid.Down);
        for (auto& of : of_) of.resize(blocks);
        weight_.resize(blocks);
        for (std::size_t b = 0; b < blocks; ++b) {
            for (int d = 0; d < 4; ++d)
                of_[static_cast<std::size_t>(d)][b] = Neighbour(b * band, d, grid) / band * band;
            weight_[b] = NeighbourWeight(b * band, grid);
        }
    }
    std::size_t At(std::size_t i, int d) const {
        const std::size_t band = kBand.size();
        return of_[static_cast<std::size_t>(d)][i / band] + i % band;
    }
    double Weight(std::size_t i) const { return weight_[i / kBand.size()]; }

private:
    std::array<std::vector<std::size_t>, 4> of_;  // the neighbour block's first coefficient
    std::vector<double> weight_;
};

// Dither modulation's two lattices of a step: the 0-bit lattice step * Z + dither, the 1-bit
// lattice shifted by half a step.
// Where x lies between them: +1 on the 0-bit lattice, -1 on the 1-bit lattice, linear between
// (a triangle wave of period `step`; uniform on -1..1 when the dither is).
inline double LatticeSide(double x, double dither, double step) {
    const double position = (x - dither) / step;
    const double fraction = position - std::floor(position);
    const double distance = fraction < 0.5 ? fraction : 1.0 - fraction;
    return 1.0 - 4.0 * distance;
}
// The nearest point to x of bit `bit`'s lattice.
inline double LatticePoint(double x, double dither, int bit, double step) {
    const double offset = dither + bit * (step / 2);
    return step * RoundHalfEven((x - offset) / step) + offset;
}

// The reading every quantiser shares. Item i (a coefficient, a projection, a normalised
// coefficient) carries payload bit Bit[i] in its dither's lattices. A bit reads as the sign of
// the sum of its items' sides (soft decoding).
//
// The score is not the plain mean of the sides signed by the key's payload: an item near 0 (a
// smooth or flat part of the picture) lies where the dither alone puts it, so that mean carries
// a bias that belongs to the key, and a key whose dither happens to favour its own payload
// reads every smooth picture as marked. Each item's side is therefore compared with the side
// the same dither gives to the same quantity in the four neighbouring blocks:
//     t_i = side(x_i) - mean over neighbours j of side(x_j, dither_i)
// On a picture without the mark, x_i and its neighbours follow the same law, so t_i averages 0
// for every key, whatever that law (a flat picture gives exactly 0); on a marked one x_i sits
// on its lattice while the neighbours' sides, under another item's dither, average 0. The
// score is the mean of t_i signed by the key's payload bit: about 1 where every item sits on
// its lattice; for a picture without the mark, about 0 with variance at most
// sum_i (1 + w_i) / 3 / n^2 (w_i: NeighbourWeight; the sides uniform and independent).
// Item i's dither: from a vector, or from a function asked once for each item in order.
inline double DitherAt(const std::vector<double>& dither, std::size_t i) { return dither[i]; }
template <class Draw>
    requires std::invocable<Draw&, std::size_t>
double DitherAt(Draw& draw, std::size_t i) {
    return draw(i);
}
// The items are taken a stretch at a time: their values, twins and dithers gathered, the sides
// and terms computed in vector lanes (blind_loops.h, the same bits on every target), then
// summed in item order.
// `item(i, value, twins)` gives item i's value and its four twins (twins[d] the same quantity
// of the neighbouring blocks in direction d, as Neighbour numbers them).
template <class Item, class Weight, class Bits, class Dither>
MethodReading ReadLattices(std::size_t n, Item item, Weight weight, const Bits& bit, Dither&& dither, double step,
                           const std::vector<std::uint8_t>& payload) {
    std::vector<double> soft(payload.size(), 0.0);
    double signedSum = 0, variance = 0;
    constexpr std::size_t kStretch = 512;
    std::vector<double> work(8 * kStretch);
    double* const values = work.data();
    double* const twins[4] = {values + kStretch, values + 2 * kStretch, values + 3 * kStretch, values + 4 * kStretch};
    double* const dithers = values + 5 * kStretch;
    double* const sides = values + 6 * kStretch;
    double* const terms = values + 7 * kStretch;
    for (std::size_t first = 0; first < n; first += kStretch) {
        const std::size_t count = std::min(kStretch, n - first);
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t i = first + k;
            dithers[k] = DitherAt(dither, i);
            double around[4];
            item(i, values[k], around);
            for (int d = 0; d < 4; ++d) twins[d][k] = around[d];
        }
        blind_loops::Sides(values, twins, dithers, step, count, sides, terms);
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t i = first + k;
            const double t = terms[k];
            soft[bit[i]] += sides[k];
            signedSum = signedSum + (payload[bit[i]] == 0 ? t : -t);
            variance = variance + (1.0 + weight(i)) / 3.0;
        }
    }
    MethodReading reading;
    for (const double s : soft) reading.Bits.push_back(s < 0 ? 1 : 0);
    const double count = static_cast<double>(n);
    reading.Score = n > 0 ? signedSum / count : 0.0;
    reading.ChanceVariance = n > 0 ? variance / (count * count) : 1.0;
    return reading;
}

// Every payload bit's share of n items, shuffled by the stream (Fisher-Yates from the end; the
// remainder's bias is below 2^-40 for any picture).
// A byte per item: a payload has at most 64 bits.
inline std::vector<std::uint8_t> ShuffledBits(std::size_t n, int bits, RandomStream& stream) {
    std::vector<std::uint8_t> bit;
    ReserveLarge(bit, n);
    bit.resize(n);
    for (std::size_t i = 0; i < n; ++i) bit[i] = static_cast<std::uint8_t>(i % static_cast<std::size_t>(bits));
    for (std::size_t i = n; i > 1; --i) {
        const std::size_t j = static_cast<std::size_t>(stream.Next() % i);
        std::swap(bit[i - 1], bit[j]);
    }
    return bit;
}

// rdm's recursion, one coefficient after another: a coefficient is divided by the root mean
// square of the `memory` marked coefficients before it (kept in a ring, their squares in a
// running sum), quantised to its bit's lattice and multiplied back. The marking and the
// search's passes run it, and the energy model's lanes (blind_loops.h) repeat its operations
// in its order, so that all make the same doubles.
class RdmRecursion {
public:
    RdmRecursion(double alpha, double step, std::size_t memory) : alpha_(alpha), step_(step), ring_(memory, 0.0) {}

    // The marked value of the next coefficient c, its dither's uniform u and bit `bit`.
    double Mark(double c, double u, int bit) {
        const double dither = (u - 0.5) * step_;
        double marked = c;
        if (full_) {
            const double gain = Gain(energy_, ring_.size());
            if (gain > 0) {
                const double z = c / gain;
                const double q = LatticePoint(z, dither, bit, step_);
                marked = gain * (z + alpha_ * (q - z));
            }
            const double old = ring_[at_];
            energy_ = energy_ - old * old;
        }
        energy_ = energy_ + marked * marked;
        ring_[at_] = marked;
        if (++at_ == ring_.size()) {
            at_ = 0;
            full_ = true;
        }
        return marked;
    }

    // Below this root mean square the coefficients before one are a flat stretch's
    // floating-point residue (about 1e-13): dividing by it would turn residue into an
    // arbitrary quotient, so such a coefficient carries nothing and reads as 0.
    static constexpr double kLeastGain = 1e-6;
    // 0 where nothing is marked; the running sum can drift a hair below 0 after exact zeros.
    static double Gain(double energy, std::size_t memory) {
        const double gain = energy > 0 ? std::sqrt(energy / static_cast<double>(memory)) : 0.0;
        return gain >= kLeastGain ? gain : 0.0;
    }

private:
    double alpha_, step_;
    std::vector<double> ring_;
    std::size_t at_ = 0;  // the ring's slot of the next coefficient (its place modulo memory)
    bool full_ = false;   // `memory` coefficients seen
    double energy_ = 0;   // sum of the squares of the ring
};

// rdm's pass of the strength search (quantisers.cpp): the recursion run over `coefficients`
// (coefficient i with the next uniform of `dithers` and payload bit payload[bit[i]]), each
// whole block's change written back into `out` as WriteBlockChange writes it, the bytes
// beyond the last whole block left as they are; returns the blocks' sum of squares. While the
// recursion works on a block, each of its steps waiting on the one before, the block before it
// is written a piece at a time between the steps: its arithmetic fills the time the recursion
// leaves idle (blind_loops.cpp).
std::int64_t RdmPass(const ImageView& host, bool gray, const double* coefficients, const std::uint8_t* bit,
                     const std::uint8_t* payload, RandomStream& dithers, RdmRecursion& recursion, Grid grid,
                     Bitmap& out);

// The energy of a method's change as a function of its strength s, for the strength search:
// Quadratic s^2, plus Scale times the sum over a sample of the method's items of
//     Weight (Alpha (LatticePoint(Z, (U - 1/2) s, Bit, s) - Z))^2,
// a quantiser's items each moving Alpha of the way to their lattice point (in units of the
// square root of Weight). Only a prediction: a search confirms it on the written bytes.
struct EnergyModel {
    double Quadratic = 0;
    double Alpha = 1;
    double Scale = 1;
    std::vector<double> Z, U, Weight;
    std::vector<std::uint8_t> Bit;

    void Add(double z, double u, int bit, double weight) {
        Z.push_back(z);
        U.push_back(u);
        Bit.push_back(static_cast<std::uint8_t>(bit));
        Weight.push_back(weight);
    }
    double At(double s) const {
        double sum = 0;
        for (std::size_t i = 0; i < Z.size(); ++i) {
            const double d = Alpha * (LatticePoint(Z[i], (U[i] - 0.5) * s, Bit[i], s) - Z[i]);
            sum = sum + Weight[i] * d * d;
        }
        return Quadratic * s * s + Scale * sum + (Other ? Other(s) : 0.0);
    }
    // A method whose change is not a sum of independent items' adds its own term.
    std::function<double(double)> Other;
};

// Every how many of n items the energy's sample takes one: about 65,536 of them, a
// millisecond's sum for each strength the search asks about.
inline std::size_t SampleStride(std::size_t n) { return n > 65536 ? n / 65536 : 1; }

// The common part of the blind methods: the key, the checks, and the luminance's way in and out.
class BlindMethod : public WatermarkMethod {
public:
    // bits_: the bits carried; under a code (ecc) they hold the codeword of a shorter message.
    explicit BlindMethod(MethodSpec described)
        : spec_(std::move(described)),
          bits_(static_cast<int>(spec_.Value("bits"))),
          ecc_(EccOf(spec_)),
          messageBits_(spec_.PayloadBits()) {
        if (ecc_ > 0 && bits_ != kCarriedBits)
            throw ArgumentError(spec_.Name() + ": a coded payload (ecc) is carried in 64 bits; give bits=64");
    }

    const MethodSpec& Describe() const override { return spec_; }

    MethodMarked Embed(const ImageView& host, const MethodPayload& payload, std::uint32_t seed) const override {
        CheckHost(host, payload);
        Band band = BandOf(host, UsesBrightness());
        const Grid grid = GridWith(host, band);
        const std::unique_ptr<Draws> draws = Draw(band.Coefficients, seed, grid, false);
        // The picture carries the codeword of the payload (the payload itself without a code).
        ToChange(band.Coefficients, *draws, CarriedPayload(ecc_, payload.Bits), grid, spec_.Value(StrengthName()));
        return Marked(host, band, payload, seed);
    }

    MethodReading Detect(const ImageView& suspect, const MethodKey& key, ReadDepth) const override {
        CheckImageView(suspect, "suspect picture");
        const MethodKey& own = OwnKey(key);
        std::vector<double> coefficients = std::move(BandOf(suspect, false).Coefficients);
        const Grid grid = GridOf(suspect.width(), suspect.height());
        // The score is measured against the bits the key's payload puts in the picture.
        MethodReading reading;
        if (ecc_ == 0) {
            reading = Measure(coefficients, own, grid);
        } else {
            MethodKey carrying = own;
            carrying.Payload = CarriedPayload(ecc_, own.Payload);
            reading = Measure(coefficients, carrying, grid);
        }
        ReadCarried(ecc_, reading, own.Payload);
        return reading;
    }

    std::unique_ptr<StrengthProbe> ProbeStrength(const ImageView& host, const MethodPayload& payload,
                                                 std::uint32_t seed) const override {
        CheckHost(host, payload);
        return std::make_unique<Probe>(*this, host, payload, seed);
    }

    std::vector<std::uint8_t> KeyToBytes(const MethodKey& key) const override { return EncodeMethodKey(OwnKey(key)); }

    MethodKey KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const override {
        MethodKey key = DecodeMethodKey(bytes, name);
        // A key whose record contradicts itself was changed after it was written: it is damaged,
        // not merely another method's.
        if (key.Method != Name()) throw ArgumentError("'" + name + "' is a key of " + key.Method + ", not of " + Name());
        if (key.Payload.size() != static_cast<std::size_t>(messageBits_))
            throw FormatError("'" + name + "' is damaged (it holds " + std::to_string(key.Payload.size()) +
                              " payload bits, and its parameters, " + key.Parameters + ", say " +
                              std::to_string(messageBits_) + ")");
        if (!key.Bytes.empty()) throw FormatError("'" + name + "' is damaged (" + Name() + " keeps no key of its own)");
        return key;
    }

protected:
    // What the key draws for a change besides the coefficients and the strength (sequences,
    // shuffles, the dithers' uniforms): drawn once, however many strengths a search tries.
    struct Draws {
        std::uint32_t Seed = 0;
        virtual ~Draws() = default;
    };
    // `keep`: a search will ask for many strengths, so what costs time to make again may be
    // kept (a marking alone keeps as little as it can: a photograph's coefficients are large).
    virtual std::unique_ptr<Draws> Draw(const std::vector<double>& coefficients, std::uint32_t seed, Grid grid,
                                        bool keep) const = 0;
    // Turns `values`, the band coefficients in sequence order, into their change at `strength`
    // (the value of the strength parameter), in place.
    virtual void ToChange(std::vector<double>& values, const Draws& draws, const std::vector<std::uint8_t>& payload,
                          Grid grid, double strength) const = 0;
    virtual EnergyModel Model(const std::vector<double>& coefficients, const Draws& draws,
                              const std::vector<std::uint8_t>& payload, Grid grid) const = 0;
    // Reads the suspect's band coefficients, which it may overwrite (a photograph's are tens of
    // megabytes: a method that reads something made of them may make it in their place).
    virtual MethodReading Measure(std::vector<double>& coefficients, const MethodKey& key, Grid grid) const = 0;
    // Whether the change follows the blocks' brightness (Grid::BlockSums).
    virtual bool UsesBrightness() const { return false; }
    // A method whose change is made in sequence, each coefficient waiting on the one before
    // (its time that of the chain, the processor otherwise idle), may make a pass of the
    // strength search in one go: the change of `band`'s coefficients at `strength` written
    // into every byte of `out` (WriteBandChange's bytes, blocks written while the chain goes
    // on), returning WriteBandChange's sum. Only where WritesPasses() says so.
    virtual bool WritesPasses() const { return false; }
    virtual std::int64_t WritePass(const ImageView&, const Band&, const Draws&, const std::vector<std::uint8_t>&, Grid,
                                   double, Bitmap&) const {
        return 0;
    }

    MethodSpec spec_;
    int bits_;
    int ecc_;          // the code's t; 0: none
    int messageBits_;  // the payload's bits: bits_ without a code

private:
    // A search's view of one host, payload and seed: the coefficients and the key's draws made
    // once; each PSNR asked for is the change at that strength written without keeping it.
    class Probe final : public StrengthProbe {
    public:
        Probe(const BlindMethod& method, const ImageView& host, const MethodPayload& payload, std::uint32_t seed)
            : method_(method), host_(host), payload_(payload.Bits), carried_(CarriedPayload(method.ecc_, payload.Bits)),
              band_(BandOf(host, method.UsesBrightness())), grid_(GridWith(host, band_)),
              draws_(method.Draw(band_.Coefficients, seed, grid_, true)), seed_(seed),
              model_(method.Model(band_.Coefficients, *draws_, carried_, grid_)) {}
        double Energy(double strength) const override { return model_.At(strength); }
        double Psnr(double strength) const override {
            if (method_.WritesPasses()) {
                // The pass's bytes are kept: the marking at the strength the search ends on (the
                // last it tried, usually) is then written already.
                WriteAt(strength);
                return PsnrOfSquares(writtenSquares_, host_.width(), host_.height());
            }
            // One buffer for every pass: a fresh one would cost its pages' first touch each time.
            if (scratch_.empty()) ReserveLarge(scratch_, band_.Coefficients.size());
            scratch_.assign(band_.Coefficients.begin(), band_.Coefficients.end());
            method_.ToChange(scratch_, *draws_, carried_, grid_, strength);
            scratchStrength_ = strength;
            return PsnrOfSquares(WriteBandChange(host_, band_.Gray, scratch_.data(), nullptr), host_.width(),
                                 host_.height());
        }
        double Pixels() const override { return static_cast<double>(host_.width()) * host_.height(); }
        MethodMarked Mark(double strength) override {
            const std::unique_ptr<WatermarkMethod> at = method_.WithStrength(strength);
            MethodPayload payload;
            payload.Bits = payload_;
            if (method_.WritesPasses()) {
                if (written_.empty() || writtenStrength_ != strength) WriteAt(strength);
                draws_.reset();
                model_ = EnergyModel();
                band_ = Band();
                const std::int64_t squares = writtenSquares_;
                return static_cast<const BlindMethod&>(*at).MarkedAs(host_, std::move(written_), squares, payload, seed_);
            }
            if (!scratch_.empty() && scratchStrength_ == strength) {
                // The search's last pass tried this strength (it usually has): its change is kept.
                band_.Coefficients = std::move(scratch_);
            } else {
                scratch_ = std::vector<double>();
                method_.ToChange(band_.Coefficients, *draws_, carried_, grid_, strength);
            }
            scratch_ = std::vector<double>();
            draws_.reset();
            model_ = EnergyModel();
            return static_cast<const BlindMethod&>(*at).Marked(host_, band_, payload, seed_);
        }

    private:
        void WriteAt(double strength) const {
            // Every byte is written by each pass: the picture's pages are touched once, and
            // huge ones asked for (a photograph's small pages would each stop the first pass).
            if (written_.empty()) {
                const std::size_t count = static_cast<std::size_t>(host_.width()) * host_.height() * 3;
                std::vector<std::uint8_t> bytes;
                ReserveLarge(bytes, count);
                bytes.resize(count);
                written_ = Bitmap(host_.width(), host_.height(), std::move(bytes));
            }
            writtenSquares_ = method_.WritePass(host_, band_, *draws_, carried_, grid_, strength, written_);
            writtenStrength_ = strength;
        }

        const BlindMethod& method_;
        ImageView host_;
        std::vector<std::uint8_t> payload_;  // the key's: the message under a code
        std::vector<std::uint8_t> carried_;  // what the picture carries: its codeword
        Band band_;
        Grid grid_;
        std::unique_ptr<Draws> draws_;
        std::uint32_t seed_;
        EnergyModel model_;
        mutable std::vector<double> scratch_;  // the change of the last pass
        mutable double scratchStrength_ = 0;   // its strength
        mutable Bitmap written_;               // WritesPasses(): the bytes of the last pass,
        mutable std::int64_t writtenSquares_ = 0;  // their squared difference from the host's,
        mutable double writtenStrength_ = 0;       // and its strength
    };

    const std::string& StrengthName() const { return Capabilities().Strength; }

    static Grid GridWith(const ImageView& host, const Band& band) {
        Grid grid = GridOf(host.width(), host.height());
        grid.BlockSums = band.BlockSums.empty() ? nullptr : band.BlockSums.data();
        return grid;
    }

    void CheckHost(const ImageView& host, const MethodPayload& payload) const {
        CheckImageView(host, "host picture");
        if (host.width() < kSmallest || host.height() < kSmallest)
            throw ArgumentError("the host is " + std::to_string(host.width()) + " x " + std::to_string(host.height()) +
                                "; " + Name() + " marks pictures of at least 256 x 256");
        if (payload.Bits.size() != static_cast<std::size_t>(messageBits_))
            throw ArgumentError(Name() + " embeds " + std::to_string(messageBits_) + " payload bits, not " +
                                std::to_string(payload.Bits.size()));
        for (const std::uint8_t bit : payload.Bits)
            if (bit > 1) throw ArgumentError("a payload bit is neither 0 nor 1");
    }

    // The host with the change of `band` (its coefficients turned into their change) written.
    MethodMarked Marked(const ImageView& host, const Band& band, const MethodPayload& payload, std::uint32_t seed) const {
        Bitmap picture(host.width(), host.height());
        const std::int64_t squares = WriteBandChange(host, band.Gray, band.Coefficients.data(), &picture);
        return MarkedAs(host, std::move(picture), squares, payload, seed);
    }

    // The marking whose bytes are `picture`, `squares` their squared difference from the host's.
    MethodMarked MarkedAs(const ImageView& host, Bitmap picture, std::int64_t squares, const MethodPayload& payload,
                          std::uint32_t seed) const {
        MethodMarked marked;
        marked.Picture = std::move(picture);
        marked.Psnr = PsnrOfSquares(squares, host.width(), host.height());
        MethodKey& key = marked.Key;
        key.Method = Name();
        key.Parameters = Parameters();
        key.Seed = seed;
        key.HostWidth = host.width();
        key.HostHeight = host.height();
        key.Payload = payload.Bits;
        return marked;
    }

    const MethodKey& OwnKey(const MethodKey& key) const {
        if (key.Method != Name()) throw ArgumentError("the key is not a key of " + Name());
        if (key.Payload.size() != static_cast<std::size_t>(messageBits_))
            throw ArgumentError("the key holds " + std::to_string(key.Payload.size()) + " payload bits; " + spec_.Name() +
                                " embeds " + std::to_string(messageBits_));
        return key;
    }
};

}  // namespace quillfen::detail
