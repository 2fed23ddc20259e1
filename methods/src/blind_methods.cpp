// The blind baselines: additive spread spectrum and dither-modulation QIM in the mid-band
// coefficients of the 8 x 8 block DCT of a picture's luminance.
//
// Both read and write the same coefficients: in every whole 8 x 8 block of the picture (rows
// and columns beyond the last whole block are left as they are), blocks in raster order, the
// 22 coefficients F(u, v) with 3 <= u + v <= 6, by u + v and then u. Coefficient i of that
// sequence is the i-th of the key's sequences. Everything is plain IEEE arithmetic in the
// written order (the random numbers xoshiro256**, roundings half to even), so a seed gives the
// same marked bytes and the same reading on every machine.
#include "blind_methods.h"

#include <array>
#include <bit>
#include <cmath>

#include "quillfen/image/errors.h"
#include "quillfen/watermark/metrics.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/watermark/dct.h"  // kDctC0

namespace quillfen::detail {

namespace {

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

// Distinct streams for the two methods' sequences and for payloads, from one seed.
constexpr std::uint64_t kSpreadStream = 0x5350524541440001ULL;
constexpr std::uint64_t kQimStream = 0x51494D0000000002ULL;

// A picture's luminance in reals: for a gray picture (every pixel's three bytes equal) its
// gray, else (299 R + 587 G + 114 B) / 1000.
struct Luma {
    int Width = 0;
    int Height = 0;
    bool Gray = true;
    std::vector<double> Values;
};

Luma LumaOf(const ImageView& picture) {
    Luma luma;
    luma.Width = picture.width();
    luma.Height = picture.height();
    luma.Values.resize(static_cast<std::size_t>(luma.Width) * luma.Height);
    for (int y = 0; y < luma.Height; ++y) {
        double* out = luma.Values.data() + static_cast<std::size_t>(y) * luma.Width;
        if (!picture.Colour) {
            // 299 g + 587 g + 114 g is 1000 g exactly: the gray itself.
            for (int x = 0; x < luma.Width; ++x) out[x] = picture.Blue.at(x, y);
            continue;
        }
        for (int x = 0; x < luma.Width; ++x) {
            const int b = picture.Blue.at(x, y), g = picture.Green.at(x, y), r = picture.Red.at(x, y);
            if (b != g || g != r) luma.Gray = false;
            out[x] = (299 * r + 587 * g + 114 * b) / 1000.0;
        }
    }
    return luma;
}

std::size_t CoefficientCount(int width, int height) {
    return static_cast<std::size_t>(width / kBlock) * static_cast<std::size_t>(height / kBlock) * kBand.size();
}

// cos(u pi (2x + 1) / 16) and the normalisers, for the band's frequencies (u, v <= 6).
struct BandTables {
    double Cos[7][8];  // [frequency][sample]
    double Scale[7];   // sqrt(1/2) for frequency 0, else 1; times 1/2 (the 1/4 split between the two axes)
    BandTables() {
        for (int u = 0; u < 7; ++u) {
            for (int x = 0; x < 8; ++x) Cos[u][x] = std::cos(u * M_PI * (2 * x + 1) / 16);
            Scale[u] = (u == 0 ? kDctC0 : 1.0) * 0.5;
        }
    }
};

const BandTables& Tables() {
    static const BandTables tables;
    return tables;
}

// The band coefficients of every whole block, in sequence order: the orthonormal DCT-II of the
// block (dct.h's), computed only where the band needs it, rows first (frequencies 0..6 of each
// row), then the band's columns.
std::vector<double> BandCoefficients(const double* plane, int width, int height) {
    const BandTables& t = Tables();
    std::vector<double> out;
    out.reserve(CoefficientCount(width, height));
    double rows[8][7];
    for (int by = 0; by + kBlock <= height; by += kBlock)
        for (int bx = 0; bx + kBlock <= width; bx += kBlock) {
            for (int x = 0; x < kBlock; ++x) {
                const double* f = plane + static_cast<std::size_t>(by + x) * width + bx;
                for (int v = 0; v < 7; ++v) {
                    double sum = 0;
                    for (int y = 0; y < kBlock; ++y) sum = sum + f[y] * t.Cos[v][y];
                    rows[x][v] = sum * t.Scale[v];
                }
            }
            for (const int k : kBand) {
                const int u = k / 8, v = k % 8;
                double sum = 0;
                for (int x = 0; x < kBlock; ++x) sum = sum + rows[x][v] * t.Cos[u][x];
                out.push_back(sum * t.Scale[u]);
            }
        }
    return out;
}

// Adds the inverse transform of each block's change of band coefficients to the plane.
void AddBandChange(double* plane, int width, int height, const std::vector<double>& change) {
    const BandTables& t = Tables();
    std::size_t i = 0;
    double columns[7][8];  // [u][y]: sum over v of F(u, v) C(v) cos(v, y)
    for (int by = 0; by + kBlock <= height; by += kBlock)
        for (int bx = 0; bx + kBlock <= width; bx += kBlock) {
            double block[7][7] = {};
            for (const int k : kBand) block[k / 8][k % 8] = change[i++];
            for (int u = 0; u < 7; ++u)
                for (int y = 0; y < kBlock; ++y) {
                    double sum = 0;
                    for (int v = 0; v < 7; ++v) sum = sum + block[u][v] * t.Scale[v] * t.Cos[v][y];
                    columns[u][y] = sum;
                }
            for (int x = 0; x < kBlock; ++x) {
                double* f = plane + static_cast<std::size_t>(by + x) * width + bx;
                for (int y = 0; y < kBlock; ++y) {
                    double sum = 0;
                    for (int u = 0; u < 7; ++u) sum = sum + t.Scale[u] * t.Cos[u][x] * columns[u][y];
                    f[y] += sum;
                }
            }
        }
}

std::uint8_t ToByte(double value) {
    const double rounded = RoundHalfEven(value);
    return static_cast<std::uint8_t>(rounded < 0 ? 0 : rounded > 255 ? 255 : rounded);
}

// The host with its luminance moved from `before` to `after`: a gray picture stays gray, a
// colour picture has the change added to each of its colours (its hue and saturation kept).
Bitmap WriteBack(const ImageView& host, const Luma& before, const std::vector<double>& after) {
    Bitmap out(before.Width, before.Height);
    for (int y = 0; y < before.Height; ++y) {
        std::uint8_t* row = out.row(y);
        for (int x = 0; x < before.Width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * before.Width + x;
            if (before.Gray) {
                const std::uint8_t g = ToByte(after[i]);
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
            } else {
                const double change = after[i] - before.Values[i];
                row[3 * x] = ToByte(host.Blue.at(x, y) + change);
                row[3 * x + 1] = ToByte(host.Green.at(x, y) + change);
                row[3 * x + 2] = ToByte(host.Red.at(x, y) + change);
            }
        }
    }
    return out;
}

// A gray picture's bytes, a colour picture's luminance rounded.
std::vector<std::uint8_t> GrayBytes(const Luma& luma) {
    std::vector<std::uint8_t> bytes(luma.Values.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = ToByte(luma.Values[i]);
    return bytes;
}

// PSNR of the written picture's gray bytes (its luminance rounded, for colour) against the host's.
double WrittenPsnr(const Luma& before, const Bitmap& written) {
    return BytePsnr(GrayBytes(LumaOf(ViewOf(written))), GrayBytes(before));
}

// The common part of the two methods: the key, the checks, and the luminance's way in and out.
class BlindMethod : public WatermarkMethod {
public:
    explicit BlindMethod(MethodSpec described) : spec_(std::move(described)), bits_(spec_.PayloadBits()) {}

    const MethodSpec& Describe() const override { return spec_; }

    MethodMarked Embed(const ImageView& host, const MethodPayload& payload, std::uint32_t seed) const override {
        CheckImageView(host, "host picture");
        if (host.width() < kSmallest || host.height() < kSmallest)
            throw ArgumentError("the host is " + std::to_string(host.width()) + " x " + std::to_string(host.height()) +
                                "; " + Name() + " marks pictures of at least 256 x 256");
        if (payload.Bits.size() != static_cast<std::size_t>(bits_))
            throw ArgumentError(Name() + " embeds " + std::to_string(bits_) + " payload bits, not " +
                                std::to_string(payload.Bits.size()));
        for (const std::uint8_t bit : payload.Bits)
            if (bit > 1) throw ArgumentError("a payload bit is neither 0 nor 1");
        const Luma before = LumaOf(host);
        std::vector<double> coefficients = BandCoefficients(before.Values.data(), before.Width, before.Height);
        const std::vector<double> change = Change(coefficients, payload.Bits, seed);
        Luma after = before;
        AddBandChange(after.Values.data(), after.Width, after.Height, change);
        MethodMarked marked;
        marked.Picture = WriteBack(host, before, after.Values);
        marked.Psnr = WrittenPsnr(before, marked.Picture);
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
        MethodReading reading = Measure(coefficients, own);
        reading.BitAccuracy = BitAccuracy(reading.Bits, own.Payload);
        reading.Ber = 1.0 - *reading.BitAccuracy;
        return reading;
    }

    std::vector<std::uint8_t> KeyToBytes(const MethodKey& key) const override { return EncodeMethodKey(OwnKey(key)); }

    MethodKey KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const override {
        MethodKey key = DecodeMethodKey(bytes, name);
        // A key whose record contradicts itself was changed after it was written: it is damaged,
        // not merely another method's.
        if (key.Method != Name()) throw ArgumentError("'" + name + "' is a key of " + key.Method + ", not of " + Name());
        if (key.Payload.size() != static_cast<std::size_t>(bits_))
            throw FormatError("'" + name + "' is damaged (it holds " + std::to_string(key.Payload.size()) +
                              " payload bits, and its parameters, " + key.Parameters + ", say " + std::to_string(bits_) +
                              ")");
        if (!key.Bytes.empty()) throw FormatError("'" + name + "' is damaged (" + Name() + " keeps no key of its own)");
        return key;
    }

protected:
    // The change of each band coefficient that carries the payload.
    virtual std::vector<double> Change(const std::vector<double>& coefficients, const std::vector<std::uint8_t>& payload,
                                       std::uint32_t seed) const = 0;
    virtual MethodReading Measure(const std::vector<double>& coefficients, const MethodKey& key) const = 0;

    MethodSpec spec_;
    int bits_;

private:
    const MethodKey& OwnKey(const MethodKey& key) const {
        if (key.Method != Name()) throw ArgumentError("the key is not a key of " + Name());
        if (key.Payload.size() != static_cast<std::size_t>(bits_))
            throw ArgumentError("the key holds " + std::to_string(key.Payload.size()) + " payload bits; " + spec_.Name() +
                                " embeds " + std::to_string(bits_));
        return key;
    }
};

// Additive spread spectrum (Cox, Kilian, Leighton and Shamoon 1997), blind, one sequence per
// bit. Coefficient i draws one 64-bit word from the key's stream; bit b of the word is the
// sign of sequence b there (0: +1, 1: -1). The mark adds
//     strength * (sum over bits b of s_b p_b[i]) / sqrt(B),   s_b = +1 for a 0 bit, -1 for a 1,
// whose root mean square is the strength. Bit b reads as the sign of the correlation of the
// suspect's coefficients with p_b; the score is the normalised correlation of the suspect's
// coefficients with the whole pattern the key's payload gives, sum c_i w_i / (|c| |w|): about
// 0, with variance sum c_i^2 w_i^2 / (|c|^2 |w|^2) (about 1/N), for a picture without it.
class SpreadSpectrum final : public BlindMethod {
public:
    using BlindMethod::BlindMethod;

protected:
    std::vector<double> Change(const std::vector<double>& coefficients, const std::vector<std::uint8_t>& payload,
                               std::uint32_t seed) const override {
        const double amplitude = spec_.Value("strength") / std::sqrt(static_cast<double>(bits_));
        const std::uint64_t signs = PayloadWord(payload);
        RandomStream stream(static_cast<std::uint64_t>(seed) ^ kSpreadStream);
        std::vector<double> change(coefficients.size());
        for (double& c : change) c = amplitude * static_cast<double>(Agreement(stream.Next(), signs));
        return change;
    }

    MethodReading Measure(const std::vector<double>& coefficients, const MethodKey& key) const override {
        const std::uint64_t signs = PayloadWord(key.Payload);
        RandomStream stream(static_cast<std::uint64_t>(key.Seed) ^ kSpreadStream);
        // Sequence b is +1 where bit b of the word is clear: its correlation is the sum of every
        // coefficient less twice the sum of those where the bit is set.
        std::vector<double> setSums(64, 0.0);
        double total = 0, cw = 0, cc = 0, ww = 0, ccww = 0;
        for (const double c : coefficients) {
            const std::uint64_t word = stream.Next();
            total = total + c;
            for (std::uint64_t rest = word & Mask(); rest != 0; rest &= rest - 1)
                setSums[static_cast<std::size_t>(std::countr_zero(rest))] += c;
            const double w = static_cast<double>(Agreement(word, signs));
            cw = cw + c * w;
            cc = cc + c * c;
            ww = ww + w * w;
            ccww = ccww + c * c * w * w;
        }
        MethodReading reading;
        for (int b = 0; b < bits_; ++b) reading.Bits.push_back(total - 2 * setSums[static_cast<std::size_t>(b)] < 0 ? 1 : 0);
        const double norms = std::sqrt(cc) * std::sqrt(ww);
        reading.Score = norms > 0 ? cw / norms : 0.0;
        reading.ChanceVariance = norms > 0 ? ccww / (cc * ww) : 1.0 / static_cast<double>(coefficients.size());
        return reading;
    }

private:
    // The payload's bits as the signs' word: bit b set where payload bit b is 1.
    static std::uint64_t PayloadWord(const std::vector<std::uint8_t>& payload) {
        std::uint64_t word = 0;
        for (std::size_t b = 0; b < payload.size(); ++b) word |= static_cast<std::uint64_t>(payload[b] & 1u) << b;
        return word;
    }
    // sum over bits b of s_b p_b[i]: +1 where the word's bit equals the payload's, -1 elsewhere.
    int Agreement(std::uint64_t word, std::uint64_t signs) const {
        return bits_ - 2 * std::popcount((word ^ signs) & Mask());
    }
    std::uint64_t Mask() const { return bits_ == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits_) - 1; }
};

// Dither modulation (Chen and Wornell 2001). The key's stream first shuffles the coefficients
// among the bits (coefficient i carries bit a_i, every bit about N / B coefficients spread over
// the whole picture), then draws each coefficient's dither d_i, uniform in [-step/2, step/2).
// A coefficient carrying bit m is moved to the nearest point of the lattice
// step * Z + d_i + m * step / 2. Reading measures where a coefficient lies between the two
// lattices: with t its distance to the 0-bit lattice in steps (0..1/2), v_i = 1 - 4 t is +1 on
// the 0-bit lattice and -1 on the 1-bit lattice; a bit reads as the sign of the sum of its
// coefficients' v (soft decoding), and the score is the mean of v_i signed by the key's
// payload bit: 1 for the marked coefficients, about 0 with variance 1/(3N) for a picture
// without the mark (v is then uniform on -1..1).
class Qim final : public BlindMethod {
public:
    using BlindMethod::BlindMethod;

protected:
    std::vector<double> Change(const std::vector<double>& coefficients, const std::vector<std::uint8_t>& payload,
                               std::uint32_t seed) const override {
        const double step = spec_.Value("step");
        const Lattice lattice = Draw(coefficients.size(), seed, step);
        std::vector<double> change(coefficients.size());
        for (std::size_t i = 0; i < coefficients.size(); ++i) {
            const double offset = lattice.Dither[i] + payload[lattice.Bit[i]] * (step / 2);
            const double target = step * RoundHalfEven((coefficients[i] - offset) / step) + offset;
            change[i] = target - coefficients[i];
        }
        return change;
    }

    MethodReading Measure(const std::vector<double>& coefficients, const MethodKey& key) const override {
        const double step = spec_.Value("step");
        const Lattice lattice = Draw(coefficients.size(), key.Seed, step);
        std::vector<double> soft(static_cast<std::size_t>(bits_), 0.0);
        double signedSum = 0;
        for (std::size_t i = 0; i < coefficients.size(); ++i) {
            const double position = (coefficients[i] - lattice.Dither[i]) / step;
            const double fraction = position - std::floor(position);
            const double distance = fraction < 0.5 ? fraction : 1.0 - fraction;
            const double v = 1.0 - 4.0 * distance;
            soft[lattice.Bit[i]] += v;
            signedSum = signedSum + (key.Payload[lattice.Bit[i]] == 0 ? v : -v);
        }
        MethodReading reading;
        for (const double s : soft) reading.Bits.push_back(s < 0 ? 1 : 0);
        const double n = static_cast<double>(coefficients.size());
        reading.Score = n > 0 ? signedSum / n : 0.0;
        reading.ChanceVariance = n > 0 ? 1.0 / (3.0 * n) : 1.0;
        return reading;
    }

private:
    struct Lattice {
        std::vector<std::size_t> Bit;
        std::vector<double> Dither;
    };
    Lattice Draw(std::size_t n, std::uint32_t seed, double step) const {
        Lattice lattice;
        lattice.Bit.resize(n);
        for (std::size_t i = 0; i < n; ++i) lattice.Bit[i] = i % static_cast<std::size_t>(bits_);
        RandomStream stream(static_cast<std::uint64_t>(seed) ^ kQimStream);
        // Fisher-Yates from the end; the remainder's bias is below 2^-40 for any picture.
        for (std::size_t i = n; i > 1; --i) {
            const std::size_t j = static_cast<std::size_t>(stream.Next() % i);
            std::swap(lattice.Bit[i - 1], lattice.Bit[j]);
        }
        lattice.Dither.resize(n);
        for (double& d : lattice.Dither) d = (stream.Uniform() - 0.5) * step;
        return lattice;
    }
};

Parameter Described(const char* name, double lowest, double highest, bool whole, double fallback, const char* meaning) {
    return {name, lowest, highest, whole, false, fallback, meaning};
}

}  // namespace

std::shared_ptr<const MethodInfo> SpreadSpectrumEntry() {
    auto info = std::make_shared<MethodInfo>();
    info->Name = "spread-spectrum";
    info->Parameters = {
        Described("strength", 0.1, 100, false, 4, "root mean square of the change of each mid-band coefficient, in gray levels"),
        Described("bits", 1, 64, true, 64, "payload bits")};
    info->Capabilities.Blind = true;
    info->Capabilities.PayloadBits = 64;
    info->Capabilities.Strength = "strength";
    info->Summary =
        "additive spread spectrum after Cox, Kilian, Leighton and Shamoon (1997): one key-seeded +-1 sequence per "
        "payload bit over the mid-band 8 x 8 block-DCT coefficients of the whole picture, blind correlation";
    info->Thresholds = std::pair{0.022953420127643013, 0.03445959190769631};
    info->Make = [](const MethodSpec& described) { return std::make_unique<SpreadSpectrum>(described); };
    return info;
}

std::shared_ptr<const MethodInfo> QimEntry() {
    auto info = std::make_shared<MethodInfo>();
    info->Name = "qim";
    info->Parameters = {
        Described("step", 0.5, 400, false, 16, "quantisation step of the mid-band coefficients, in gray levels"),
        Described("bits", 1, 64, true, 64, "payload bits")};
    info->Capabilities.Blind = true;
    info->Capabilities.PayloadBits = 64;
    info->Capabilities.Strength = "step";
    info->Summary =
        "dither-modulation quantisation index modulation after Chen and Wornell (2001): mid-band 8 x 8 block-DCT "
        "coefficients of the whole picture quantised to the lattice of their bit, key-seeded dither, soft decoding";
    info->Thresholds = std::pair{0.01359409643894698, 0.019773425352844713};
    info->Make = [](const MethodSpec& described) { return std::make_unique<Qim>(described); };
    return info;
}

}  // namespace quillfen::detail
