// Two quantisers beside dither modulation (blind_methods.cpp's qim), on the same band
// coefficients (blind_core.h) and read the same way (ReadLattices):
//
// stdm  spread-transform dither modulation (Chen and Wornell 2001): the key's stream deals the
//       coefficients into groups of `spread` and gives each member a sign; a group's projection
//       p = sum_k u_k c_k / sqrt(L) on its +-1 vector is what carries the bit, quantised with
//       distortion compensation as qim quantises a coefficient; the change, alpha (q - p),
//       spreads over the group along the same vector. At the same distortion the projection's
//       step is sqrt(L) times a coefficient's, while the noise along one direction stays that of
//       one coefficient: fewer but sturdier items.
// rdm   rational dither modulation (Perez-Gonzalez, Mosquera, Barni and Abrardo 2005): a
//       coefficient is quantised after division by the root mean square g of the `memory`
//       coefficients before it in the sequence, as marked (the reader divides by the same
//       quantity of the suspect). Multiplying the picture's contrast multiplies c and g alike,
//       so the quotient, and the mark, survive a change of gain that moves plain dither
//       modulation off its lattice. Where g is 0 (a flat stretch) nothing is marked.
#include <cmath>

#include "blind_core.h"
#include "blind_methods.h"

namespace quillfen::detail {

namespace {

constexpr std::uint64_t kStdmStream = 0x5354444D00000003ULL;
constexpr std::uint64_t kRdmStream = 0x52444D0000000004ULL;

class Stdm final : public BlindMethod {
public:
    using BlindMethod::BlindMethod;

protected:
    std::vector<double> Change(const std::vector<double>& coefficients, const std::vector<std::uint8_t>& payload,
                               std::uint32_t seed, Grid) const override {
        const double step = spec_.Value("step"), alpha = spec_.Value("alpha");
        const Groups groups = Draw(coefficients.size(), seed, step);
        std::vector<double> change(coefficients.size(), 0.0);
        for (std::size_t g = 0; g < groups.Count; ++g) {
            const double p = Projection(groups, g, [&](std::size_t i) { return coefficients[i]; });
            const double q = LatticePoint(p, groups.Dither[g], payload[groups.Bit[g]], step);
            const double along = alpha * (q - p) / groups.Root;
            for (std::size_t k = 0; k < groups.Length; ++k) {
                const std::size_t m = g * groups.Length + k;
                change[groups.Member[m]] = groups.Sign[m] * along;
            }
        }
        return change;
    }

    MethodReading Measure(const std::vector<double>& coefficients, const MethodKey& key, Grid grid) const override {
        const double step = spec_.Value("step");
        const Groups groups = Draw(coefficients.size(), key.Seed, step);
        return ReadLattices(
            groups.Count,
            [&](std::size_t g) { return Projection(groups, g, [&](std::size_t i) { return coefficients[i]; }); },
            // The same projection of the same coefficients of the neighbouring blocks.
            [&](std::size_t g, int d) {
                return Projection(groups, g, [&](std::size_t i) { return coefficients[Neighbour(i, d, grid)]; });
            },
            // Members at the picture's edge share a neighbour now and then: nearly independent.
            [](std::size_t) { return 0.25; }, groups.Bit, groups.Dither, step, key.Payload);
    }

private:
    struct Groups {
        std::size_t Length = 0, Count = 0;
        double Root = 1;                  // sqrt(Length)
        std::vector<std::size_t> Member;  // group g: Member[g * Length .. (g + 1) * Length)
        std::vector<double> Sign;         // +-1 per member
        std::vector<std::size_t> Bit;     // per group
        std::vector<double> Dither;       // per group
    };

    template <class Value>
    static double Projection(const Groups& groups, std::size_t g, Value value) {
        double sum = 0;
        for (std::size_t k = 0; k < groups.Length; ++k) {
            const std::size_t m = g * groups.Length + k;
            sum = sum + groups.Sign[m] * value(groups.Member[m]);
        }
        return sum / groups.Root;
    }

    // The key's groups: the coefficients shuffled (Fisher-Yates from the end) and dealt in
    // order, those beyond the last whole group left out; then each member's sign, and each
    // group's bit (the groups shared among the bits, shuffled) and dither.
    Groups Draw(std::size_t n, std::uint32_t seed, double step) const {
        Groups groups;
        groups.Length = static_cast<std::size_t>(spec_.Value("spread"));
        groups.Root = std::sqrt(static_cast<double>(groups.Length));
        groups.Count = n / groups.Length;
        RandomStream stream(static_cast<std::uint64_t>(seed) ^ kStdmStream);
        std::vector<std::size_t> order(n);
        for (std::size_t i = 0; i < n; ++i) order[i] = i;
        for (std::size_t i = n; i > 1; --i) std::swap(order[i - 1], order[static_cast<std::size_t>(stream.Next() % i)]);
        order.resize(groups.Count * groups.Length);
        groups.Member = std::move(order);
        groups.Sign.resize(groups.Member.size());
        for (double& s : groups.Sign) s = (stream.Next() >> 63) != 0 ? -1.0 : 1.0;
        groups.Bit = ShuffledBits(groups.Count, bits_, stream);
        groups.Dither.resize(groups.Count);
        for (double& d : groups.Dither) d = (stream.Uniform() - 0.5) * step;
        return groups;
    }
};

class Rdm final : public BlindMethod {
public:
    using BlindMethod::BlindMethod;

protected:
    std::vector<double> Change(const std::vector<double>& coefficients, const std::vector<std::uint8_t>& payload,
                               std::uint32_t seed, Grid) const override {
        const double step = spec_.Value("step"), alpha = spec_.Value("alpha");
        const std::size_t memory = Memory();
        const Lattice lattice = Draw(coefficients.size(), seed, step);
        std::vector<double> marked = coefficients;
        double energy = 0;  // sum of the squares of the `memory` marked coefficients before i
        for (std::size_t i = 0; i < marked.size(); ++i) {
            if (i >= memory) {
                const double gain = Gain(energy, memory);
                if (gain > 0) {
                    const double z = coefficients[i] / gain;
                    const double q = LatticePoint(z, lattice.Dither[i], payload[lattice.Bit[i]], step);
                    marked[i] = gain * (z + alpha * (q - z));
                }
                energy = energy - marked[i - memory] * marked[i - memory];
            }
            energy = energy + marked[i] * marked[i];
        }
        for (std::size_t i = 0; i < marked.size(); ++i) marked[i] = marked[i] - coefficients[i];
        return marked;
    }

    MethodReading Measure(const std::vector<double>& coefficients, const MethodKey& key, Grid grid) const override {
        const double step = spec_.Value("step");
        const std::size_t memory = Memory();
        const Lattice lattice = Draw(coefficients.size(), key.Seed, step);
        // Every coefficient's quotient (0 for the first `memory`, which carry nothing).
        std::vector<double> quotient(coefficients.size(), 0.0);
        double energy = 0;
        for (std::size_t i = 0; i < coefficients.size(); ++i) {
            if (i >= memory) {
                const double gain = Gain(energy, memory);
                quotient[i] = gain > 0 ? coefficients[i] / gain : 0.0;
                energy = energy - coefficients[i - memory] * coefficients[i - memory];
            }
            energy = energy + coefficients[i] * coefficients[i];
        }
        const std::size_t n = coefficients.size() > memory ? coefficients.size() - memory : 0;
        const std::vector<std::size_t> bit(lattice.Bit.begin() + static_cast<std::ptrdiff_t>(memory), lattice.Bit.end());
        const std::vector<double> dither(lattice.Dither.begin() + static_cast<std::ptrdiff_t>(memory), lattice.Dither.end());
        return ReadLattices(
            n, [&](std::size_t i) { return quotient[i + memory]; },
            [&](std::size_t i, int d) { return quotient[Neighbour(i + memory, d, grid)]; },
            [&](std::size_t i) { return NeighbourWeight(i + memory, grid); }, bit, dither, step, key.Payload);
    }

private:
    struct Lattice {
        std::vector<std::size_t> Bit;
        std::vector<double> Dither;
    };
    std::size_t Memory() const { return static_cast<std::size_t>(spec_.Value("memory")); }
    // Below this root mean square the coefficients before one are a flat stretch's
    // floating-point residue (about 1e-13): dividing by it would turn residue into an
    // arbitrary quotient, so such a coefficient carries nothing and reads as 0.
    static constexpr double kLeastGain = 1e-6;
    // 0 where nothing is marked; the running sum can drift a hair below 0 after exact zeros.
    static double Gain(double energy, std::size_t memory) {
        const double gain = energy > 0 ? std::sqrt(energy / static_cast<double>(memory)) : 0.0;
        return gain >= kLeastGain ? gain : 0.0;
    }
    Lattice Draw(std::size_t n, std::uint32_t seed, double step) const {
        Lattice lattice;
        RandomStream stream(static_cast<std::uint64_t>(seed) ^ kRdmStream);
        lattice.Bit = ShuffledBits(n, bits_, stream);
        lattice.Dither.resize(n);
        for (double& d : lattice.Dither) d = (stream.Uniform() - 0.5) * step;
        return lattice;
    }
};

Parameter Alpha(double fallback) {
    return Described("alpha", 0.05, 1, false, fallback,
                     "distortion compensation: the share of the way to the lattice an item moves (1: plain dither "
                     "modulation)");
}

}  // namespace

std::shared_ptr<const MethodInfo> StdmEntry() {
    return BlindEntry<Stdm>(
        "stdm",
        {
        Described("step", 0.5, 4000, false, 128, "quantisation step of a group's projection, in gray levels"),
        Described("bits", 1, 64, true, 64, "payload bits"),
        Alpha(0.5),
        Described("spread", 2, 64, true, 16, "coefficients per group (the spreading vector's length)")},
        "step",
        "spread-transform dither modulation after Chen and Wornell (2001): key-seeded groups of mid-band 8 x 8 "
        "block-DCT coefficients of the whole picture, each group's projection on a +-1 vector quantised to the "
        "lattice of its bit, distortion-compensated, soft decoding",
        {3.4031372004783833, 5.004248944685079});
}

std::shared_ptr<const MethodInfo> RdmEntry() {
    return BlindEntry<Rdm>(
        "rdm",
        {
        Described("step", 0.05, 40, false, 1.5,
                  "quantisation step of a coefficient divided by the root mean square of those before it"),
        Described("bits", 1, 64, true, 64, "payload bits"),
        Alpha(0.4),
        Described("memory", 4, 1024, true, 44, "how many coefficients before one set its divisor")},
        "step",
        "rational dither modulation after Perez-Gonzalez, Mosquera, Barni and Abrardo (2005): each mid-band 8 x 8 "
        "block-DCT coefficient of the whole picture divided by the root mean square of the coefficients before it "
        "and quantised to the lattice of its bit, distortion-compensated: a change of contrast keeps the mark",
        {3.675101319981673, 5.371653969027883});
}

}  // namespace quillfen::detail
