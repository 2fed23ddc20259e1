#include "bch.h"

#include <string>

#include "quillfen/image/errors.h"

namespace quillfen::detail {

GaloisField::GaloisField(int m, unsigned primitive) : m_(m), n_((1 << m) - 1) {
    if (m < 3 || m > 10 || (primitive >> m) != 1u)
        throw ArgumentError("GF(2^" + std::to_string(m) + "): the field polynomial is not of degree " +
                            std::to_string(m));
    exp_.assign(static_cast<std::size_t>(2 * n_), 0);
    log_.assign(static_cast<std::size_t>(n_ + 1), -1);
    int element = 1;
    for (int power = 0; power < n_; ++power) {
        // alpha's powers must run through every non-zero element once: else the polynomial is
        // not primitive and the tables would not invert.
        if (log_[static_cast<std::size_t>(element)] != -1)
            throw ArgumentError("GF(2^" + std::to_string(m) + "): the field polynomial is not primitive");
        exp_[static_cast<std::size_t>(power)] = exp_[static_cast<std::size_t>(power + n_)] = element;
        log_[static_cast<std::size_t>(element)] = power;
        element <<= 1;
        if ((element >> m) != 0) element ^= static_cast<int>(primitive);
    }
}

Bch::Bch(int m, unsigned primitive, int t) : field_(m, primitive), t_(t) {
    const int n = field_.Order();
    if (t < 1 || 2 * t >= n) throw ArgumentError("a BCH code of length " + std::to_string(n) + " cannot correct " +
                                                 std::to_string(t) + " errors");
    // g(x): the product of the minimal polynomials of alpha^1 .. alpha^2t, each once (one per
    // cyclotomic coset), multiplied out over GF(2^m); its coefficients come out 0 or 1.
    std::vector<int> g = {1};
    std::vector<bool> taken(static_cast<std::size_t>(n), false);
    for (int i = 1; i <= 2 * t; ++i) {
        if (taken[static_cast<std::size_t>(i)]) continue;
        for (int conjugate = i;;) {
            taken[static_cast<std::size_t>(conjugate)] = true;
            // g(x) * (x + alpha^conjugate)
            const int root = field_.Exp(conjugate);
            std::vector<int> product(g.size() + 1, 0);
            for (std::size_t d = 0; d < g.size(); ++d) {
                product[d + 1] ^= g[d];
                product[d] ^= field_.Multiply(g[d], root);
            }
            g = std::move(product);
            conjugate = (conjugate * 2) % n;
            if (conjugate == i) break;
        }
    }
    k_ = n - static_cast<int>(g.size() - 1);
    if (k_ < 1) throw ArgumentError("a BCH code of length " + std::to_string(n) + " correcting " + std::to_string(t) +
                                    " errors leaves no message");
    for (const int c : g) generator_.push_back(static_cast<std::uint8_t>(c));
}

std::vector<std::uint8_t> Bch::Encode(std::span<const std::uint8_t> message) const {
    const int n = Length();
    const int parity = n - k_;
    if (message.size() != static_cast<std::size_t>(k_))
        throw ArgumentError("the BCH code encodes " + std::to_string(k_) + " bits, not " + std::to_string(message.size()));
    std::vector<std::uint8_t> word(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < k_; ++i) word[static_cast<std::size_t>(parity + i)] = message[static_cast<std::size_t>(i)] & 1u;
    // The remainder of x^(n-k) m(x) divided by g(x) (g monic), long division from the top.
    std::vector<std::uint8_t> rest = word;
    for (int d = n - 1; d >= parity; --d) {
        if (rest[static_cast<std::size_t>(d)] == 0) continue;
        for (int j = 0; j <= parity; ++j) rest[static_cast<std::size_t>(d - parity + j)] ^= generator_[static_cast<std::size_t>(j)];
    }
    for (int i = 0; i < parity; ++i) word[static_cast<std::size_t>(i)] = rest[static_cast<std::size_t>(i)];
    return word;
}

std::vector<int> Bch::Syndromes(std::span<const std::uint8_t> received) const {
    std::vector<int> s(static_cast<std::size_t>(2 * t_), 0);
    for (int j = 1; j <= 2 * t_; ++j) {
        int sum = 0;
        for (std::size_t i = 0; i < received.size(); ++i)
            if (received[i] != 0) sum ^= field_.Exp(j * static_cast<int>(i));
        s[static_cast<std::size_t>(j - 1)] = sum;
    }
    return s;
}

std::vector<int> Bch::ErrorLocator(const std::vector<int>& syndromes) const {
    // Massey's synthesis of the shortest linear recurrence that generates S_1 .. S_2t.
    std::vector<int> sigma = {1}, before = {1};
    int length = 0;       // L: the recurrence's length so far
    int shift = 1;        // steps since `before` was last replaced
    int lastDiscrepancy = 1;
    for (std::size_t r = 0; r < syndromes.size(); ++r) {
        int discrepancy = syndromes[r];
        for (int i = 1; i <= length && static_cast<std::size_t>(i) < sigma.size(); ++i)
            discrepancy ^= field_.Multiply(sigma[static_cast<std::size_t>(i)], syndromes[r - static_cast<std::size_t>(i)]);
        if (discrepancy == 0) {
            ++shift;
            continue;
        }
        const int factor = field_.Multiply(discrepancy, field_.Inverse(lastDiscrepancy));
        std::vector<int> next = sigma;
        if (next.size() < before.size() + static_cast<std::size_t>(shift)) next.resize(before.size() + static_cast<std::size_t>(shift), 0);
        for (std::size_t i = 0; i < before.size(); ++i)
            next[i + static_cast<std::size_t>(shift)] ^= field_.Multiply(factor, before[i]);
        if (2 * length <= static_cast<int>(r)) {
            length = static_cast<int>(r) + 1 - length;
            before = sigma;
            lastDiscrepancy = discrepancy;
            shift = 1;
        } else {
            ++shift;
        }
        sigma = std::move(next);
    }
    while (sigma.size() > 1 && sigma.back() == 0) sigma.pop_back();
    return sigma;
}

Bch::Decoded Bch::Decode(std::span<const std::uint8_t> received) const {
    const int n = Length();
    if (received.size() != static_cast<std::size_t>(n))
        throw ArgumentError("the BCH code decodes words of " + std::to_string(n) + " bits, not " +
                            std::to_string(received.size()));
    Decoded out;
    out.Codeword.assign(received.begin(), received.end());
    for (std::uint8_t& b : out.Codeword) b &= 1u;
    const std::vector<int> s = Syndromes(out.Codeword);
    bool clean = true;
    for (const int v : s) clean = clean && v == 0;
    if (clean) {
        out.Corrected = 0;
        return out;
    }
    const std::vector<int> sigma = ErrorLocator(s);
    const int degree = static_cast<int>(sigma.size()) - 1;
    if (degree > t_) return out;
    // Chien search: an error at position i where sigma(alpha^-i) = 0.
    std::vector<int> at;
    for (int i = 0; i < n; ++i) {
        int value = 0;
        for (int d = 0; d <= degree; ++d) value ^= field_.Multiply(sigma[static_cast<std::size_t>(d)], field_.Exp(-i * d));
        if (value == 0) at.push_back(i);
    }
    // Fewer roots than the locator's degree: the errors are more than t, and no codeword lies
    // within t of the word.
    if (static_cast<int>(at.size()) != degree) return out;
    for (const int i : at) out.Codeword[static_cast<std::size_t>(i)] ^= 1u;
    out.Corrected = degree;
    return out;
}

}  // namespace quillfen::detail
