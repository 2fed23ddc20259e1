#pragma once
// Binary BCH codes (Bose, Ray-Chaudhuri, Hocquenghem): the narrow-sense primitive code of length
// n = 2^m - 1 whose generator has alpha^1 .. alpha^(2t) among its roots, alpha a root of the
// given primitive polynomial. Systematic encoding; decoding by syndromes, the Berlekamp-Massey
// error locator and a Chien search, up to t errors (bounded distance: a word farther than t from
// every codeword is refused, never guessed).
//
// Polynomials are vectors of 0/1 coefficients, the constant first (index i: the coefficient of
// x^i); a codeword c(x) = x^(n-k) m(x) + (x^(n-k) m(x) mod g(x)) holds the message in its k
// highest coefficients and the parity in its n - k lowest.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quillfen::detail {

// GF(2^m) by exponent and logarithm tables: elements are m-bit numbers (the bits of a polynomial
// in alpha), `primitive` is the field's polynomial with its x^m bit set (0x13 for x^4 + x + 1).
class GaloisField {
public:
    GaloisField(int m, unsigned primitive);
    int Bits() const { return m_; }
    int Order() const { return n_; }  // 2^m - 1, the order of alpha
    int Exp(int power) const { return exp_[static_cast<std::size_t>(((power % n_) + n_) % n_)]; }
    int Log(int element) const { return log_[static_cast<std::size_t>(element)]; }  // element != 0
    int Multiply(int a, int b) const {
        return a == 0 || b == 0 ? 0 : exp_[static_cast<std::size_t>(log_[static_cast<std::size_t>(a)] +
                                                                    log_[static_cast<std::size_t>(b)])];
    }
    int Inverse(int a) const { return Exp(n_ - Log(a)); }

private:
    int m_;
    int n_;
    std::vector<int> exp_;  // 2n entries, so that a sum of two logarithms needs no reduction
    std::vector<int> log_;
};

class Bch {
public:
    // ArgumentError unless 3 <= m <= 10, `primitive` is primitive of degree m and 1 <= t with a
    // message left (k >= 1).
    Bch(int m, unsigned primitive, int t);

    int Length() const { return field_.Order(); }           // n
    int MessageBits() const { return k_; }                  // k
    int Corrects() const { return t_; }                     // t
    const std::vector<std::uint8_t>& Generator() const { return generator_; }  // degree n - k

    // The codeword of k message bits (message[i] is the coefficient of x^(n-k+i)).
    std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> message) const;

    struct Decoded {
        std::vector<std::uint8_t> Codeword;  // corrected; the word as received when not decodable
        std::optional<int> Corrected;        // errors corrected; none: more than t, detected
    };
    Decoded Decode(std::span<const std::uint8_t> received) const;

    // S_1 .. S_2t of a received word of n bits: r(alpha^j), field elements.
    std::vector<int> Syndromes(std::span<const std::uint8_t> received) const;
    // The error locator sigma(X) = 1 + sigma_1 X + ... of syndromes S_1 .. S_2t, its
    // coefficients lowest first (Berlekamp-Massey).
    std::vector<int> ErrorLocator(const std::vector<int>& syndromes) const;
    const GaloisField& Field() const { return field_; }

private:
    GaloisField field_;
    int t_;
    int k_;
    std::vector<std::uint8_t> generator_;
};

}  // namespace quillfen::detail
