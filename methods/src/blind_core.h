#pragma once
// The blind methods' common ground (blind_methods.cpp, quantisers.cpp, sync_method.cpp): every one of them reads
// and writes the same coefficients. In every whole 8 x 8 block of the picture's luminance (rows
// and columns beyond the last whole block are left as they are), blocks in raster order, the 22
// coefficients F(u, v) with 3 <= u + v <= 6, by u + v and then u. Everything is plain IEEE
// arithmetic in the written order (the random numbers xoshiro256**, roundings half to even), so
// a seed gives the same marked bytes and the same reading on every machine.
#include <array>
#include <cmath>
#include <cstdint>
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
std::size_t CoefficientCount(int width, int height);
// The band coefficients of every whole block, in sequence order (the orthonormal DCT-II of dct.h).
std::vector<double> BandCoefficients(const double* plane, int width, int height);
// Adds the inverse transform of each block's change of band coefficients to the plane.
void AddBandChange(double* plane, int width, int height, const std::vector<double>& change);
std::uint8_t ToByte(double value);
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
    // When marking: the luminance the coefficients came from (for a method whose strength
    // follows the blocks' brightness), `Width` values a row.
    const double* Plane = nullptr;
    int Width = 0;
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
template <class Value, class Twin, class Weight>
MethodReading ReadLattices(std::size_t n, Value value, Twin twin, Weight weight, const std::vector<std::size_t>& bit,
                           const std::vector<double>& dither, double step, const std::vector<std::uint8_t>& payload) {
    std::vector<double> soft(payload.size(), 0.0);
    double signedSum = 0, variance = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double side = LatticeSide(value(i), dither[i], step);
        double around = 0;
        for (int d = 0; d < 4; ++d) around = around + LatticeSide(twin(i, d), dither[i], step);
        const double t = side - around / 4;
        soft[bit[i]] += side;
        signedSum = signedSum + (payload[bit[i]] == 0 ? t : -t);
        variance = variance + (1.0 + weight(i)) / 3.0;
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
inline std::vector<std::size_t> ShuffledBits(std::size_t n, int bits, RandomStream& stream) {
    std::vector<std::size_t> bit(n);
    for (std::size_t i = 0; i < n; ++i) bit[i] = i % static_cast<std::size_t>(bits);
    for (std::size_t i = n; i > 1; --i) {
        const std::size_t j = static_cast<std::size_t>(stream.Next() % i);
        std::swap(bit[i - 1], bit[j]);
    }
    return bit;
}

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
        CheckImageView(host, "host picture");
        if (host.width() < kSmallest || host.height() < kSmallest)
            throw ArgumentError("the host is " + std::to_string(host.width()) + " x " + std::to_string(host.height()) +
                                "; " + Name() + " marks pictures of at least 256 x 256");
        if (payload.Bits.size() != static_cast<std::size_t>(messageBits_))
            throw ArgumentError(Name() + " embeds " + std::to_string(messageBits_) + " payload bits, not " +
                                std::to_string(payload.Bits.size()));
        for (const std::uint8_t bit : payload.Bits)
            if (bit > 1) throw ArgumentError("a payload bit is neither 0 nor 1");
        const std::vector<std::uint8_t> carried = CarriedPayload(ecc_, payload.Bits);
        const Luma before = LumaOf(host);
        std::vector<double> coefficients = BandCoefficients(before.Values.data(), before.Width, before.Height);
        Grid grid = GridOf(host.width(), host.height());
        grid.Plane = before.Values.data();
        grid.Width = before.Width;
        const std::vector<double> change = Change(coefficients, carried, seed, grid);
        Luma after = before;
        AddBandChange(after.Values.data(), after.Width, after.Height, change);
        MethodMarked marked;
        marked.Picture = WriteBack(host, before, after.Values);
        marked.Psnr = WrittenPsnr(host, marked.Picture);
        MethodKey& key = marked.Key;
        key.Method = Name();
        key.Parameters = Parameters();
        key.Seed = seed;
        key.HostWidth = host.width();
        key.HostHeight = host.height();
        key.Payload = payload.Bits;
        return marked;
    }

    MethodReading Detect(const ImageView& suspect, const MethodKey& key, ReadDepth) const override {
        CheckImageView(suspect, "suspect picture");
        const MethodKey& own = OwnKey(key);
        const Luma luma = LumaOf(suspect);
        const std::vector<double> coefficients = BandCoefficients(luma.Values.data(), luma.Width, luma.Height);
        // The score is measured against the bits the key's payload puts in the picture.
        MethodReading reading;
        if (ecc_ == 0) {
            reading = Measure(coefficients, own, GridOf(luma.Width, luma.Height));
        } else {
            MethodKey carrying = own;
            carrying.Payload = CarriedPayload(ecc_, own.Payload);
            reading = Measure(coefficients, carrying, GridOf(luma.Width, luma.Height));
        }
        ReadCarried(ecc_, reading, own.Payload);
        return reading;
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
    // The change of each band coefficient that carries the payload.
    virtual std::vector<double> Change(const std::vector<double>& coefficients, const std::vector<std::uint8_t>& payload,
                                       std::uint32_t seed, Grid grid) const = 0;
    virtual MethodReading Measure(const std::vector<double>& coefficients, const MethodKey& key, Grid grid) const = 0;

    MethodSpec spec_;
    int bits_;
    int ecc_;          // the code's t; 0: none
    int messageBits_;  // the payload's bits: bits_ without a code

private:
    const MethodKey& OwnKey(const MethodKey& key) const {
        if (key.Method != Name()) throw ArgumentError("the key is not a key of " + Name());
        if (key.Payload.size() != static_cast<std::size_t>(messageBits_))
            throw ArgumentError("the key holds " + std::to_string(key.Payload.size()) + " payload bits; " + spec_.Name() +
                                " embeds " + std::to_string(messageBits_));
        return key;
    }
};

}  // namespace quillfen::detail
