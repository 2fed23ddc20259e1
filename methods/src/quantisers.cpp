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
#include <algorithm>
#include <cmath>

#include "blind_core.h"
#include "blind_methods.h"

namespace quillfen::detail {

namespace {

constexpr std::uint64_t kStdmStream = 0x5354444D00000003ULL;
constexpr std::uint64_t kRdmStream = 0x52444D0000000004ULL;
// How many groups ahead stdm's reading asks for its members' coefficients (they lie anywhere
// in the picture: waiting for each load in turn was most of the reading's time).
constexpr std::size_t kAhead = 2;

class Stdm final : public BlindMethod {
public:
    using BlindMethod::BlindMethod;

protected:
    // The key's groups: the coefficients shuffled (Fisher-Yates from the end) and dealt in
    // order, those beyond the last whole group left out; then each member's sign, and each
    // group's bit (the groups shared among the bits, shuffled) and dither's uniform (a dither
    // is (uniform - 1/2) step).
    struct Groups : Draws {
        std::size_t Length = 0, Count = 0;
        double Root = 1;                    // sqrt(Length)
        std::vector<std::uint32_t> Member;  // group g: Member[g * Length .. (g + 1) * Length)
        std::vector<std::int8_t> Sign;      // +-1 per member
        std::vector<std::uint32_t> Left;    // the coefficients in no group
        std::vector<std::uint8_t> Bit;      // per group
        std::vector<double> Uniform;        // per group
    };

    std::unique_ptr<Draws> Draw(const std::vector<double>& coefficients, std::uint32_t seed, Grid,
                                bool) const override {
        return DrawFor(coefficients.size(), seed);
    }

    void ToChange(std::vector<double>& values, const Draws& draws, const std::vector<std::uint8_t>& payload, Grid,
                  double step) const override {
        const double alpha = spec_.Value("alpha");
        const Groups& groups = static_cast<const Groups&>(draws);
        // Groups share no coefficient: each group's projection is read before its members change.
        for (std::size_t g = 0; g < groups.Count; ++g) {
            const double p = Projection(groups, g, [&](std::size_t i) { return values[i]; });
            const double q = LatticePoint(p, (groups.Uniform[g] - 0.5) * step, payload[groups.Bit[g]], step);
            const double along = alpha * (q - p) / groups.Root;
            for (std::size_t k = 0; k < groups.Length; ++k) {
                const std::size_t m = g * groups.Length + k;
                values[groups.Member[m]] = static_cast<double>(groups.Sign[m]) * along;
            }
        }
        for (const std::uint32_t i : groups.Left) values[i] = 0.0;
    }

    // A group's change is alpha (q - p) along a vector of length 1: its energy is that squared.
    EnergyModel Model(const std::vector<double>& coefficients, const Draws& draws,
                      const std::vector<std::uint8_t>& payload, Grid) const override {
        const Groups& groups = static_cast<const Groups&>(draws);
        EnergyModel model;
        model.Alpha = spec_.Value("alpha");
        const std::size_t stride = SampleStride(groups.Count);
        for (std::size_t g = 0; g < groups.Count; g += stride)
            model.Add(Projection(groups, g, [&](std::size_t i) { return coefficients[i]; }), groups.Uniform[g],
                      payload[groups.Bit[g]], 1.0);
        model.Scale = model.Z.empty() ? 0.0 : static_cast<double>(groups.Count) / static_cast<double>(model.Z.size());
        return model;
    }

    MethodReading Measure(std::vector<double>& coefficients, const MethodKey& key, Grid grid) const override {
        const double step = spec_.Value("step");
        const std::unique_ptr<Groups> groups = DrawFor(coefficients.size(), key.Seed);
        std::vector<double> dither(groups->Count);
        for (std::size_t g = 0; g < groups->Count; ++g) dither[g] = (groups->Uniform[g] - 0.5) * step;
        return ReadLattices(
            groups->Count,
            // The group's projection, and the same projection of the same coefficients of the
            // neighbouring blocks: the five sums made in one pass over the members, each in
            // member order, so that each member's place is looked up once (the members lie
            // anywhere in the picture: it is their loads that take the time).
            [&](std::size_t g, double& value, double* twins) {
                if (g + kAhead < groups->Count)
                    for (std::size_t k = 0; k < groups->Length; ++k) {
                        const std::size_t member = groups->Member[(g + kAhead) * groups->Length + k];
                        std::size_t at[4];
                        Neighbours(member, grid, at);
                        __builtin_prefetch(coefficients.data() + member);
                        for (int d = 0; d < 4; ++d) __builtin_prefetch(coefficients.data() + at[d]);
                    }
                double sums[5] = {0, 0, 0, 0, 0};
                for (std::size_t k = 0; k < groups->Length; ++k) {
                    const std::size_t m = g * groups->Length + k;
                    const double sign = static_cast<double>(groups->Sign[m]);
                    std::size_t at[4];
                    Neighbours(groups->Member[m], grid, at);
                    sums[0] = sums[0] + sign * coefficients[groups->Member[m]];
                    for (int d = 0; d < 4; ++d) sums[d + 1] = sums[d + 1] + sign * coefficients[at[d]];
                }
                value = sums[0] / groups->Root;
                for (int d = 0; d < 4; ++d) twins[d] = sums[d + 1] / groups->Root;
            },
            // Members at the picture's edge share a neighbour now and then: nearly independent.
            [](std::size_t) { return 0.25; }, groups->Bit, dither, step, key.Payload);
    }

private:
    template <class Value>
    static double Projection(const Groups& groups, std::size_t g, Value value) {
        double sum = 0;
        for (std::size_t k = 0; k < groups.Length; ++k) {
            const std::size_t m = g * groups.Length + k;
            sum = sum + static_cast<double>(groups.Sign[m]) * value(groups.Member[m]);
        }
        return sum / groups.Root;
    }

    std::unique_ptr<Groups> DrawFor(std::size_t n, std::uint32_t seed) const {
        if (n > 0xFFFFFFFFu) throw ArgumentError("the picture has too many blocks for stdm");
        auto groups = std::make_unique<Groups>();
        groups->Seed = seed;
        groups->Length = static_cast<std::size_t>(spec_.Value("spread"));
        groups->Root = std::sqrt(static_cast<double>(groups->Length));
        groups->Count = n / groups->Length;
        RandomStream stream(static_cast<std::uint64_t>(seed) ^ kStdmStream);
        std::vector<std::uint32_t> order;
        ReserveLarge(order, n);
        order.resize(n);
        for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
        for (std::size_t i = n; i > 1; --i) std::swap(order[i - 1], order[static_cast<std::size_t>(stream.Next() % i)]);
        groups->Left.assign(order.begin() + static_cast<std::ptrdiff_t>(groups->Count * groups->Length), order.end());
        order.resize(groups->Count * groups->Length);
        groups->Member = std::move(order);
        groups->Sign.resize(groups->Member.size());
        for (std::int8_t& s : groups->Sign) s = (stream.Next() >> 63) != 0 ? -1 : 1;
        groups->Bit = ShuffledBits(groups->Count, bits_, stream);
        groups->Uniform.resize(groups->Count);
        for (double& u : groups->Uniform) u = stream.Uniform();
        return groups;
    }
};

class Rdm final : public BlindMethod {
public:
    using BlindMethod::BlindMethod;

protected:
    // The shuffle of the coefficients among the bits, and the stream where the dithers'
    // uniforms begin (a dither is (uniform - 1/2) step, one drawn for every coefficient).
    struct Lattice : Draws {
        std::vector<std::uint8_t> Bit;
        RandomStream Dithers{0};
    };

    std::unique_ptr<Draws> Draw(const std::vector<double>& coefficients, std::uint32_t seed, Grid,
                                bool) const override {
        return DrawFor(coefficients.size(), seed);
    }

    // Coefficient i's divisor is the root mean square of the `memory` coefficients before it as
    // marked: the recursion keeps them while the values turn into changes.
    void ToChange(std::vector<double>& values, const Draws& draws, const std::vector<std::uint8_t>& payload, Grid,
                  double step) const override {
        const Lattice& lattice = static_cast<const Lattice&>(draws);
        RandomStream dithers = lattice.Dithers;
        RdmRecursion recursion(spec_.Value("alpha"), step, Memory());
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double c = values[i];
            values[i] = recursion.Mark(c, dithers.Uniform(), payload[lattice.Bit[i]]) - c;
        }
    }

    // A pass of the search in one go (blind_loops.h's RdmPass): while the recursion works on a
    // block, each of its steps waiting on the one before, the block before it is written back,
    // its arithmetic filling the time the recursion leaves idle.
    bool WritesPasses() const override { return true; }
    std::int64_t WritePass(const ImageView& host, const Band& band, const Draws& draws,
                           const std::vector<std::uint8_t>& payload, Grid grid, double step,
                           Bitmap& out) const override {
        const Lattice& lattice = static_cast<const Lattice&>(draws);
        RandomStream dithers = lattice.Dithers;
        RdmRecursion recursion(spec_.Value("alpha"), step, Memory());
        const std::int64_t squares = RdmPass(host, band.Gray, band.Coefficients.data(), lattice.Bit.data(),
                                             payload.data(), dithers, recursion, grid, out);
        CopyBeyondBlocks(host, out);
        return squares;
    }

    // A marked coefficient's divisor comes from the marked ones before it, so the change feeds
    // on itself (strongly at large steps): the model runs the recursion itself on a few stretches
    // of the sequence, each after a run-in that lets the divisors settle, and scales their
    // energy up to the whole.
    EnergyModel Model(const std::vector<double>& coefficients, const Draws& draws,
                      const std::vector<std::uint8_t>& payload, Grid) const override {
        const Lattice& lattice = static_cast<const Lattice&>(draws);
        const std::size_t n = coefficients.size(), memory = Memory();
        const std::size_t runIn = 8 * memory, counted = 4096, stretches = 16;
        // The stretches side by side, item k of stretch s at [k * Count + s]: their recursions
        // are independent, so they run abreast (one waiting on its divisions while the others
        // compute), each in its own order.
        struct Sample {
            std::size_t Count = 0, Length = 0;
            std::size_t Counted = 0;  // the last `Counted` items of each are summed
            std::vector<double> C, U;
            std::vector<std::uint8_t> Bit;
        } sample;
        // The stretches' starts, evenly spread (the whole sequence where it is short).
        std::vector<std::size_t> begins;
        if (n <= stretches * (runIn + counted)) {
            sample.Length = sample.Counted = n;
            begins.push_back(0);
        } else {
            sample.Length = runIn + counted;
            sample.Counted = counted;
            for (std::size_t k = 0; k < stretches; ++k) begins.push_back(k * (n / stretches));
        }
        sample.Count = begins.size();
        sample.C.resize(sample.Count * sample.Length);
        sample.U.resize(sample.C.size());
        sample.Bit.resize(sample.C.size());
        RandomStream dithers = lattice.Dithers;
        std::size_t at = 0;
        for (std::size_t s = 0; s < sample.Count; ++s) {
            dithers.Skip(begins[s] - at);
            at = begins[s];
            for (std::size_t k = 0; k < sample.Length; ++k, ++at) {
                const std::size_t to = k * sample.Count + s;
                sample.U[to] = dithers.Uniform();
                sample.C[to] = coefficients[at];
                sample.Bit[to] = payload[lattice.Bit[at]];
            }
        }
        const std::size_t counting = sample.Count * sample.Counted;
        const double scale = counting > 0 ? static_cast<double>(n) / static_cast<double>(counting) : 0.0;
        const double alpha = spec_.Value("alpha");
        EnergyModel model;
        model.Other = [sample = std::move(sample), scale, alpha, memory](double step) {
            // Each stretch's squared changes (item k of stretch s at [k * Count + s]), summed
            // afterwards stretch by stretch, each in its order.
            std::vector<double> squared(sample.Count * sample.Counted);
            blind_loops::RdmStretches(sample.C.data(), sample.U.data(), sample.Bit.data(), sample.Count, sample.Length,
                                      sample.Counted, alpha, step, memory, squared.data());
            double total = 0;
            for (std::size_t s = 0; s < sample.Count; ++s)
                for (std::size_t k = 0; k < sample.Counted; ++k) total = total + squared[k * sample.Count + s];
            return scale * total;
        };
        return model;
    }

    MethodReading Measure(std::vector<double>& coefficients, const MethodKey& key, Grid grid) const override {
        const double step = spec_.Value("step");
        const std::size_t memory = Memory();
        const std::unique_ptr<Lattice> lattice = DrawFor(coefficients.size(), key.Seed);
        // Every coefficient's quotient, made in its place (0 for the first `memory`, which carry
        // nothing): the ring keeps the coefficients that leave the running sum of squares.
        std::vector<double> ring(memory, 0.0);
        double energy = 0;
        for (std::size_t i = 0; i < coefficients.size(); ++i) {
            const double c = coefficients[i];
            if (i >= memory) {
                const double gain = RdmRecursion::Gain(energy, memory);
                coefficients[i] = gain > 0 ? c / gain : 0.0;
                const double old = ring[i % memory];
                energy = energy - old * old;
            } else {
                coefficients[i] = 0.0;
            }
            energy = energy + c * c;
            ring[i % memory] = c;
        }
        const std::vector<double>& quotient = coefficients;
        const std::size_t n = coefficients.size() > memory ? coefficients.size() - memory : 0;
        // A dither is drawn for every coefficient, the first `memory` included; item i is
        // coefficient i + memory.
        RandomStream dithers = lattice->Dithers;
        for (std::size_t i = 0; i < std::min(memory, coefficients.size()); ++i) dithers.Uniform();
        const NeighbourTable neighbours(grid);
        return ReadLattices(
            n,
            [&](std::size_t i, double& value, double* twins) {
                value = quotient[i + memory];
                for (int d = 0; d < 4; ++d) twins[d] = quotient[neighbours.At(i + memory, d)];
            },
            [&](std::size_t i) { return neighbours.Weight(i + memory); },
            lattice->Bit.data() + std::min(memory, lattice->Bit.size()),
            [&](std::size_t) { return (dithers.Uniform() - 0.5) * step; }, step, key.Payload);
    }

private:
    std::size_t Memory() const { return static_cast<std::size_t>(spec_.Value("memory")); }
    std::unique_ptr<Lattice> DrawFor(std::size_t n, std::uint32_t seed) const {
        auto lattice = std::make_unique<Lattice>();
        lattice->Seed = seed;
        RandomStream stream(static_cast<std::uint64_t>(seed) ^ kRdmStream);
        lattice->Bit = ShuffledBits(n, bits_, stream);
        lattice->Dithers = stream;
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
