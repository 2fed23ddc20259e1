// The blind baselines of the band coefficients (blind_core.h): additive spread spectrum and
// dither-modulation QIM.
#include "blind_methods.h"

#include <bit>
#include <cmath>

#include "blind_core.h"

namespace quillfen::detail {

namespace {

// Distinct streams for the two methods' sequences and for payloads, from one seed.
constexpr std::uint64_t kSpreadStream = 0x5350524541440001ULL;
constexpr std::uint64_t kQimStream = 0x51494D0000000002ULL;

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
    struct Kept : Draws {
        std::vector<double> Slack;  // Watson's slacks, kept for a search
    };

    bool UsesBrightness() const override { return ShapingOf() == Shaping::Watson; }

    std::unique_ptr<Draws> Draw(const std::vector<double>& coefficients, std::uint32_t seed, Grid grid,
                                bool keep) const override {
        auto draws = std::make_unique<Kept>();
        draws->Seed = seed;
        if (keep && ShapingOf() == Shaping::Watson) {
            ReserveLarge(draws->Slack, coefficients.size());
            draws->Slack.resize(coefficients.size());
            WatsonSlacks(coefficients, grid, [&](std::size_t i, double slack) { draws->Slack[i] = slack; });
        }
        return draws;
    }

    void ToChange(std::vector<double>& values, const Draws& draws, const std::vector<std::uint8_t>& payload, Grid grid,
                  double strength) const override {
        const double amplitude = strength / std::sqrt(static_cast<double>(bits_));
        const std::uint64_t signs = PayloadWord(payload);
        RandomStream stream(static_cast<std::uint64_t>(draws.Seed) ^ kSpreadStream);
        const Shaping shaping = ShapingOf();
        if (shaping == Shaping::None) {
            for (double& c : values) c = amplitude * static_cast<double>(Agreement(stream.Next(), signs));
            return;
        }
        // Each coefficient's own scale (cox: the coefficient itself; watson: its slack), the
        // pattern times it scaled so that the change's root mean square is still the strength.
        double energy = 0;
        auto shape = [&](std::size_t i, double scale) {
            values[i] = amplitude * static_cast<double>(Agreement(stream.Next(), signs)) * scale;
            energy = energy + values[i] * values[i];
        };
        const std::vector<double>& kept = static_cast<const Kept&>(draws).Slack;
        if (shaping == Shaping::Cox)
            for (std::size_t i = 0; i < values.size(); ++i) shape(i, values[i]);
        else if (!kept.empty())
            for (std::size_t i = 0; i < values.size(); ++i) shape(i, kept[i]);
        else
            WatsonSlacks(values, grid, shape);  // each slack made from its coefficient before it changes
        const double rms = std::sqrt(energy / static_cast<double>(values.size()));
        const double gain = rms > 0 ? strength / rms : 0.0;
        for (double& c : values) c = c * gain;
    }

    EnergyModel Model(const std::vector<double>& coefficients, const Draws& draws,
                      const std::vector<std::uint8_t>& payload, Grid grid) const override {
        EnergyModel model;
        if (ShapingOf() == Shaping::None) {
            // (s a_i / sqrt(B))^2 summed: s^2 times the agreements' squares over B.
            const std::uint64_t signs = PayloadWord(payload);
            RandomStream stream(static_cast<std::uint64_t>(draws.Seed) ^ kSpreadStream);
            double squares = 0;
            for (std::size_t i = 0; i < coefficients.size(); ++i) {
                const double a = Agreement(stream.Next(), signs);
                squares = squares + a * a;
            }
            model.Quadratic = squares / bits_;
            return model;
        }
        // The shaped change is scaled to a root mean square of s exactly, unless it is nothing:
        // unless every coefficient's pattern or scale is 0.
        (void)grid;
        const std::uint64_t signs = PayloadWord(payload);
        RandomStream stream(static_cast<std::uint64_t>(draws.Seed) ^ kSpreadStream);
        const std::vector<double>& kept = static_cast<const Kept&>(draws).Slack;
        bool any = false;
        for (std::size_t i = 0; i < coefficients.size() && !any; ++i) {
            const double scale = ShapingOf() == Shaping::Cox ? coefficients[i] : kept.empty() ? 1.0 : kept[i];
            any = Agreement(stream.Next(), signs) != 0 && scale != 0;
        }
        model.Quadratic = any ? static_cast<double>(coefficients.size()) : 0.0;
        return model;
    }

    MethodReading Measure(std::vector<double>& coefficients, const MethodKey& key, Grid) const override {
        const std::uint64_t signs = PayloadWord(key.Payload);
        RandomStream stream(static_cast<std::uint64_t>(key.Seed) ^ kSpreadStream);
        // Cox's rule multiplies a coefficient by 1 + alpha x: its magnitude carries the pattern
        // whatever its sign, so it is the magnitudes that are correlated.
        const bool magnitudes = ShapingOf() == Shaping::Cox;
        // Sequence b is +1 where bit b of the word is clear: its correlation is the sum of every
        // coefficient less twice the sum of those where the bit is set.
        std::vector<double> setSums(64, 0.0);
        double total = 0, cw = 0, cc = 0, ww = 0, ccww = 0;
        for (const double read : coefficients) {
            const double c = magnitudes ? std::fabs(read) : read;
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

    enum class Shaping { None = 0, Cox = 1, Watson = 2 };
    Shaping ShapingOf() const { return static_cast<Shaping>(static_cast<int>(spec_.Value("shaping"))); }

    // Watson's (1993) just-noticeable change of every band coefficient: the base threshold of
    // its frequency, raised by the block's brightness (luminance masking, exponent 0.649
    // against a mean DC of 1024, gray 128) and by the coefficient's own magnitude (contrast
    // masking, max(t, |c|^0.7 t^0.3)). No pooling: each slack sets its own coefficient's share.
    template <class Use>
    static void WatsonSlacks(const std::vector<double>& coefficients, Grid grid, Use use) {
        // The base thresholds of the 8 x 8 DCT frequencies, [u][v].
        static constexpr double kBase[8][8] = {
            {1.404, 1.011, 1.169, 1.664, 2.408, 3.433, 4.796, 6.563},
            {1.011, 1.452, 1.323, 1.529, 2.006, 2.716, 3.679, 4.939},
            {1.169, 1.323, 2.241, 2.594, 2.988, 3.649, 4.604, 5.883},
            {1.664, 1.529, 2.594, 3.773, 4.559, 5.305, 6.281, 7.600},
            {2.408, 2.006, 2.988, 4.559, 6.152, 7.463, 8.713, 10.175},
            {3.433, 2.716, 3.649, 5.305, 7.463, 9.625, 11.588, 13.519},
            {4.796, 3.679, 4.604, 6.281, 8.713, 11.588, 14.500, 17.294},
            {6.563, 4.939, 5.883, 7.600, 10.175, 13.519, 17.294, 21.156}};
        const std::size_t band = kBand.size();
        for (std::size_t block = 0; block * band < coefficients.size(); ++block) {
            const double dc = grid.BlockSums[block] / 8;  // the orthonormal DCT's F(0, 0)
            const double brightness = PortablePow(dc / 1024, 0.649);
            for (std::size_t k = 0; k < band; ++k) {
                const std::size_t i = block * band + k;
                const double t = kBase[kBand[k] / 8][kBand[k] % 8] * brightness;
                // |c|^0.7 t^0.3 exceeds t just where |c| exceeds t; the powers are within a few
                // units in the last place, so below t by a part in 10^9 the slack is t, whatever
                // they would give, and they need not be computed (most coefficients of a
                // photograph lie there).
                const double magnitude = std::fabs(coefficients[i]);
                if (magnitude < t * (1 - 1e-9)) {
                    use(i, t);
                    continue;
                }
                const double masked = PortablePow(magnitude, 0.7) * PortablePow(t, 0.3);
                use(i, masked > t ? masked : t);
            }
        }
    }
};

// Dither modulation (Chen and Wornell 2001), distortion-compensated. The key's stream first
// shuffles the coefficients among the bits (coefficient i carries bit a_i, every bit about N / B
// coefficients spread over the whole picture), then draws each coefficient's dither d_i,
// uniform in [-step/2, step/2). A coefficient c carrying bit m moves alpha of the way to the
// nearest point q of the lattice step * Z + d_i + m * step / 2: c + alpha (q - c). alpha = 1 is
// plain dither modulation; below 1 the coefficient keeps part of its own value (an error of at
// most (1 - alpha) step / 2 that the reader tolerates), so that at the same distortion the
// step, and with it the distance between the two bits' lattices, grows by 1 / alpha.
// Reading (ReadLattices): the coefficient's side between the two lattices, against the same
// dither's side at the same coefficient of the neighbouring blocks.
class Qim final : public BlindMethod {
public:
    using BlindMethod::BlindMethod;

protected:
    // The shuffle of the coefficients among the bits, and the stream where the dithers'
    // uniforms begin: a dither is (uniform - 1/2) step, drawn as it is used.
    struct Lattice : Draws {
        std::vector<std::uint8_t> Bit;
        RandomStream Dithers{0};
    };

    std::unique_ptr<Draws> Draw(const std::vector<double>& coefficients, std::uint32_t seed, Grid,
                                bool) const override {
        return DrawFor(coefficients.size(), seed);
    }

    void ToChange(std::vector<double>& values, const Draws& draws, const std::vector<std::uint8_t>& payload, Grid,
                  double step) const override {
        const double alpha = spec_.Value("alpha");
        const Lattice& lattice = static_cast<const Lattice&>(draws);
        RandomStream dithers = lattice.Dithers;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double dither = (dithers.Uniform() - 0.5) * step;
            const double c = values[i];
            const double target = LatticePoint(c, dither, payload[lattice.Bit[i]], step);
            // alpha = 1 writes target - c exactly as plain dither modulation always has.
            values[i] = alpha == 1 ? target - c : alpha * (target - c);
        }
    }

    EnergyModel Model(const std::vector<double>& coefficients, const Draws& draws,
                      const std::vector<std::uint8_t>& payload, Grid) const override {
        const Lattice& lattice = static_cast<const Lattice&>(draws);
        EnergyModel model;
        model.Alpha = spec_.Value("alpha");
        const std::size_t stride = SampleStride(coefficients.size());
        RandomStream dithers = lattice.Dithers;
        for (std::size_t i = 0; i < coefficients.size(); ++i) {
            const double u = dithers.Uniform();
            if (i % stride == 0) model.Add(coefficients[i], u, payload[lattice.Bit[i]], 1.0);
        }
        model.Scale = static_cast<double>(coefficients.size()) / static_cast<double>(model.Z.size());
        return model;
    }

    MethodReading Measure(std::vector<double>& coefficients, const MethodKey& key, Grid grid) const override {
        const double step = spec_.Value("step");
        const std::unique_ptr<Lattice> lattice = DrawFor(coefficients.size(), key.Seed);
        const NeighbourTable neighbours(grid);
        return ReadLattices(
            coefficients.size(),
            [&](std::size_t i, double& value, double* twins) {
                value = coefficients[i];
                for (int d = 0; d < 4; ++d) twins[d] = coefficients[neighbours.At(i, d)];
            },
            [&](std::size_t i) { return neighbours.Weight(i); }, lattice->Bit,
            [&](std::size_t) { return (lattice->Dithers.Uniform() - 0.5) * step; }, step, key.Payload);
    }

private:
    std::unique_ptr<Lattice> DrawFor(std::size_t n, std::uint32_t seed) const {
        auto lattice = std::make_unique<Lattice>();
        lattice->Seed = seed;
        RandomStream stream(static_cast<std::uint64_t>(seed) ^ kQimStream);
        lattice->Bit = ShuffledBits(n, bits_, stream);
        lattice->Dithers = stream;
        return lattice;
    }
};

}  // namespace

std::shared_ptr<const MethodInfo> SpreadSpectrumEntry() {
    return BlindEntry<SpreadSpectrum>(
        "spread-spectrum",
        {
        Described("strength", 0.1, 100, false, 4, "root mean square of the change of each mid-band coefficient, in gray levels"),
        Described("bits", 1, 64, true, 64, "payload bits"),
        Described("shaping", 0, 2, true, 2,
                  "the change's shape over the coefficients: 0 the same amplitude everywhere, 1 Cox's v(1 + a x), "
                  "2 Watson's just-noticeable change; its root mean square is the strength in each")},
        "strength",
        "additive spread spectrum after Cox, Kilian, Leighton and Shamoon (1997): one key-seeded +-1 sequence per "
        "payload bit over the mid-band 8 x 8 block-DCT coefficients of the whole picture, blind correlation",
        {4.008625985195467, 5.828816707994556});
}

std::shared_ptr<const MethodInfo> QimEntry() {
    return BlindEntry<Qim>(
        "qim",
        {
        Described("step", 0.5, 400, false, 40, "quantisation step of the mid-band coefficients, in gray levels"),
        Described("bits", 1, 64, true, 64, "payload bits"),
        Described("alpha", 0.05, 1, false, 0.4,
                  "distortion compensation: the share of the way to the lattice a coefficient moves (1: plain dither "
                  "modulation)")},
        "step",
        "dither-modulation quantisation index modulation after Chen and Wornell (2001): mid-band 8 x 8 block-DCT "
        "coefficients of the whole picture quantised to the lattice of their bit, key-seeded dither, soft decoding",
        {3.8317438732602134, 5.053107771623489});
}

}  // namespace quillfen::detail
