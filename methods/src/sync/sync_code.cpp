#include "sync_code.h"

#include <bit>
#include <limits>

namespace quillfen::sync {

namespace {

constexpr int kStates = 64;
constexpr unsigned kGenerators[kCodeRate] = {0133, 0171, 0165};

// The register holds the input bit at bit 6 and the six before it below (the most recent at
// bit 5); the state is the six previous bits.
struct Branch {
    int Next;
    int Signs[kCodeRate];
};

Branch Step(int state, int input) {
    const unsigned reg = (static_cast<unsigned>(input) << 6) | static_cast<unsigned>(state);
    Branch b{};
    b.Next = static_cast<int>(reg >> 1);
    for (int j = 0; j < kCodeRate; ++j) b.Signs[j] = (std::popcount(reg & kGenerators[j]) & 1) ? -1 : 1;
    return b;
}

struct Trellis {
    Branch Table[kStates][2];
    Trellis() {
        for (int s = 0; s < kStates; ++s)
            for (int u = 0; u < 2; ++u) Table[s][u] = Step(s, u);
    }
};

const Trellis& TheTrellis() {
    static const Trellis trellis;
    return trellis;
}

}  // namespace

CodedSigns Encode(const PayloadBits& payload) {
    const Trellis& t = TheTrellis();
    CodedSigns out{};
    int state = 0;
    for (int i = 0; i < kPayloadBits + kTailBits; ++i) {
        const int input = i < kPayloadBits ? (payload[i] & 1) : 0;
        const Branch& b = t.Table[state][input];
        for (int j = 0; j < kCodeRate; ++j) out[kCodeRate * i + j] = static_cast<std::int8_t>(b.Signs[j]);
        state = b.Next;
    }
    return out;
}

DecodedPayload Decode(const double* z) {
    constexpr int kSteps = kPayloadBits + kTailBits;
    constexpr double kNone = -std::numeric_limits<double>::infinity();
    const Trellis& t = TheTrellis();
    auto gamma = [&](int step, const Branch& b) {
        double g = 0;
        for (int j = 0; j < kCodeRate; ++j) g = g + b.Signs[j] * z[kCodeRate * step + j];
        return g;
    };
    // Forward metrics alpha[step][state]; backward beta[step][state]; the tail takes only 0s.
    static thread_local double alpha[kSteps + 1][kStates], beta[kSteps + 1][kStates];
    for (int s = 0; s < kStates; ++s) alpha[0][s] = beta[kSteps][s] = kNone;
    alpha[0][0] = beta[kSteps][0] = 0;
    for (int i = 0; i < kSteps; ++i) {
        for (int s = 0; s < kStates; ++s) alpha[i + 1][s] = kNone;
        const int inputs = i < kPayloadBits ? 2 : 1;
        for (int s = 0; s < kStates; ++s) {
            if (alpha[i][s] == kNone) continue;
            for (int u = 0; u < inputs; ++u) {
                const Branch& b = t.Table[s][u];
                const double m = alpha[i][s] + gamma(i, b);
                if (m > alpha[i + 1][b.Next]) alpha[i + 1][b.Next] = m;
            }
        }
    }
    for (int i = kSteps - 1; i >= 0; --i) {
        const int inputs = i < kPayloadBits ? 2 : 1;
        for (int s = 0; s < kStates; ++s) {
            double best = kNone;
            for (int u = 0; u < inputs; ++u) {
                const Branch& b = t.Table[s][u];
                if (beta[i + 1][b.Next] == kNone) continue;
                const double m = beta[i + 1][b.Next] + gamma(i, b);
                if (m > best) best = m;
            }
            beta[i][s] = best;
        }
    }
    DecodedPayload out;
    for (int i = 0; i < kPayloadBits; ++i) {
        double best[2] = {kNone, kNone};
        for (int s = 0; s < kStates; ++s) {
            if (alpha[i][s] == kNone) continue;
            for (int u = 0; u < 2; ++u) {
                const Branch& b = t.Table[s][u];
                if (beta[i + 1][b.Next] == kNone) continue;
                const double m = alpha[i][s] + gamma(i, b) + beta[i + 1][b.Next];
                if (m > best[u]) best[u] = m;
            }
        }
        out.Soft[i] = best[0] - best[1];
        out.Bits[i] = out.Soft[i] < 0 ? 1 : 0;
    }
    out.Codeword = Encode(out.Bits);
    double c = 0;
    for (int k = 0; k < kCodedBits; ++k) c = c + out.Codeword[k] * z[k];
    out.Correlation = c;
    return out;
}

}  // namespace quillfen::sync
