// GetWr: binarise W and scatter its black pixels over Wr at distinct pseudo-random positions.
#include <bitset>
#include <cmath>

#include "quillfen/watermark/watermark.h"

namespace quillfen {

namespace {

// The method's linear congruential generator: multiplier 134775813, increment 1, modulo 2^32.
class Generator {
public:
    explicit Generator(std::uint32_t seed) : Seed(seed) {}
    // A real in [0, 1).
    double Next() {
        Seed = Seed * 134775813u + 1u;
        return Seed / 4294967296.0;
    }

private:
    std::uint32_t Seed;
};

// The position a drawn real selects: r * 16383 + 0.5, rounded half to even (0..16383).
double PositionOf(double r) { return std::nearbyint(std::fabs(r * 16383 + 0.5)); }

constexpr int kPositions = TWatermark::kMarkPixels;

}  // namespace

void TWatermark::GetWr() {
    const std::uint32_t seed = FixedSeed ? *FixedSeed : ClockSeed();
    LastSeedUsed = seed;
    Generator generator(seed);

    int count = 0;
    for (int i = 0; i < kPositions; ++i) {
        if (W_[i] < 128) {
            W_[i] = 0;
            ++count;
        } else {
            W_[i] = 255;
        }
        Wr_[i] = 255;
        RandPos_[i] = 0;
    }

    // A watermark that is black everywhere needs position 0 as well, which the draw yields
    // only for a generator value of exactly 0 (once in 2^32 draws). Once 1..16383 are all
    // taken, the one position left is taken without drawing, so the step always finishes.
    if (Literal) {
        int j = 0;
        while (j < count) {
            if (j == kPositions - 1) {
                bool zeroTaken = false;
                for (int m = 0; m < j; ++m) zeroTaken = zeroTaken || RandPos_[m] == 0;
                if (!zeroTaken) {
                    RandPos_[j] = 0;
                    ++j;
                    continue;
                }
            }
            const double p = PositionOf(generator.Next());
            bool duplicate = false;
            for (int m = 0; m < j; ++m) {
                if (RandPos_[m] == p) {
                    duplicate = true;
                    break;
                }
            }
            if (!duplicate) {
                RandPos_[j] = p;
                ++j;
            }
        }
    } else {
        // The same accept/reject decisions as the scan over RandPos[0 .. j-1]: a position is
        // a duplicate exactly when it was accepted before.
        std::bitset<kPositions> taken;
        int j = 0;
        while (j < count) {
            if (j == kPositions - 1 && !taken[0]) {
                RandPos_[j] = 0;
                taken[0] = true;
                ++j;
                continue;
            }
            const double p = PositionOf(generator.Next());
            const auto slot = static_cast<std::size_t>(p);
            if (!taken[slot]) {
                taken[slot] = true;
                RandPos_[j] = p;
                ++j;
            }
        }
    }

    int k = 0;
    for (int i = 0; i < kPositions; ++i) {
        if (W_[i] == 0) {
            Wr_[static_cast<std::size_t>(RandPos_[k])] = 0;
            ++k;
        }
    }
    CountBlack(Wr_);
    if (!ResultsOnly) Display128_ = Wr_;
}

}  // namespace quillfen
