// The BCH codes of the coded payloads, against published examples and tables, and the payload
// code built on them: t errors corrected, t + 1 detected.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bch.h"
#include "payload_code.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/methods/method.h"

namespace quillfen::detail {
namespace {

// A generator polynomial as the tables print it: octal digits, the highest power first.
std::vector<std::uint8_t> FromOctal(const std::string& octal) {
    std::vector<std::uint8_t> high;  // highest power first
    for (const char c : octal)
        for (int b = 2; b >= 0; --b) high.push_back(static_cast<std::uint8_t>(((c - '0') >> b) & 1));
    while (!high.empty() && high.front() == 0) high.erase(high.begin());
    return {high.rbegin(), high.rend()};
}

std::vector<std::uint8_t> Polynomial(std::initializer_list<int> powers, int length) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(length), 0);
    for (const int i : powers) p[static_cast<std::size_t>(i)] = 1;
    return p;
}

std::vector<std::uint8_t> RandomBits(RandomStream& random, int count) {
    std::vector<std::uint8_t> bits;
    for (int i = 0; i < count; ++i) bits.push_back(static_cast<std::uint8_t>(random.Next() >> 63));
    return bits;
}

// Lin and Costello, Error Control Coding (2nd ed., 2004), section 6.1: over GF(2^4) built on
// p(X) = 1 + X + X^4, the double-error-correcting (15, 7) code has g(X) = 1 + X^4 + X^6 + X^7 + X^8
// and the triple-error-correcting (15, 5) code g(X) = 1 + X + X^2 + X^4 + X^5 + X^8 + X^10.
TEST(Bch, GeneratorsOfTheLengthFifteenCodesAreTheTextbooks) {
    const Bch two(4, 0x13, 2);
    EXPECT_EQ(two.MessageBits(), 7);
    EXPECT_EQ(two.Generator(), Polynomial({0, 4, 6, 7, 8}, 9));
    const Bch three(4, 0x13, 3);
    EXPECT_EQ(three.MessageBits(), 5);
    EXPECT_EQ(three.Generator(), Polynomial({0, 1, 2, 4, 5, 8, 10}, 11));
    const Bch one(4, 0x13, 1);  // the (15, 11) Hamming code: g = p
    EXPECT_EQ(one.Generator(), Polynomial({0, 1, 4}, 5));
}

// The table of generator polynomials of the primitive BCH codes (Stenbit 1964, reprinted as
// Appendix C of Lin and Costello), n = 63, in octal: every code the payloads use.
TEST(Bch, GeneratorsOfTheLengthSixtyThreeCodesAreTheTables) {
    struct Row {
        int T;
        int K;
        const char* Octal;
    };
    const Row table[] = {{1, 57, "103"},
                         {2, 51, "12471"},
                         {3, 45, "1701317"},
                         {4, 39, "166623567"},
                         {5, 36, "1033500423"},
                         {6, 30, "157464165547"},
                         {7, 24, "17323260404441"},
                         {10, 18, "1363026512351725"},
                         {11, 16, "6331141367235453"},
                         {13, 10, "472622305527250155"},
                         {15, 7, "5231045543503271737"}};
    for (const Row& row : table) {
        const Bch code(6, 0x43, row.T);
        EXPECT_EQ(code.MessageBits(), row.K) << "t = " << row.T;
        EXPECT_EQ(code.Generator(), FromOctal(row.Octal)) << "t = " << row.T;
    }
    // A designed distance between two of the table's codes gives the code above it.
    EXPECT_EQ(Bch(6, 0x43, 8).Generator(), FromOctal("1363026512351725"));
    EXPECT_EQ(Bch(6, 0x43, 14).Generator(), FromOctal("5231045543503271737"));
}

// Lin and Costello, Example 6.5: the (15, 5) code, the zero codeword sent and
// r(X) = X^3 + X^5 + X^12 received. S1 = S2 = S4 = 1, S3 = S5 = alpha^10, S6 = alpha^5, and
// the Berlekamp-Massey algorithm gives sigma(X) = 1 + X + alpha^5 X^3, whose roots' inverses
// alpha^3, alpha^5, alpha^12 place the errors.
TEST(Bch, DecodesTheTextbooksTripleErrorExample) {
    const Bch code(4, 0x13, 3);
    const GaloisField& f = code.Field();
    const std::vector<std::uint8_t> received = Polynomial({3, 5, 12}, 15);
    EXPECT_EQ(code.Syndromes(received), (std::vector<int>{1, 1, f.Exp(10), 1, f.Exp(10), f.Exp(5)}));
    EXPECT_EQ(code.ErrorLocator(code.Syndromes(received)), (std::vector<int>{1, 1, 0, f.Exp(5)}));
    const Bch::Decoded d = code.Decode(received);
    EXPECT_EQ(d.Corrected, 3);
    EXPECT_EQ(d.Codeword, std::vector<std::uint8_t>(15, 0));
}

TEST(Bch, EncodesSystematicallyIntoMultiplesOfTheGenerator) {
    const Bch code(4, 0x13, 2);
    // The message 1 (X^8 after the shift) gives X^8 mod g = 1 + X^4 + X^6 + X^7: g itself.
    EXPECT_EQ(code.Encode(Polynomial({0}, 7)), Polynomial({0, 4, 6, 7, 8}, 15));
    RandomStream random(5);
    for (int trial = 0; trial < 20; ++trial) {
        const std::vector<std::uint8_t> message = RandomBits(random, 7);
        const std::vector<std::uint8_t> word = code.Encode(message);
        for (int i = 0; i < 7; ++i) EXPECT_EQ(word[static_cast<std::size_t>(8 + i)], message[static_cast<std::size_t>(i)]);
        for (const int s : code.Syndromes(word)) EXPECT_EQ(s, 0);
    }
    EXPECT_THROW(code.Encode(Polynomial({0}, 6)), ArgumentError);
    EXPECT_THROW(Bch(4, 0x1F, 2), ArgumentError);  // 1 + X + X^2 + X^3 + X^4 is not primitive
    EXPECT_THROW(Bch(4, 0x13, 8), ArgumentError);
}

// Every pattern of up to t errors in random codewords is corrected, for each code the payloads use.
TEST(Bch, CorrectsUpToTErrorsAnywhere) {
    RandomStream random(11);
    for (const int t : {1, 2, 3, 5, 7, 11, 15}) {
        const Bch code(6, 0x43, t);
        for (int trial = 0; trial < 40; ++trial) {
            const std::vector<std::uint8_t> word = code.Encode(RandomBits(random, code.MessageBits()));
            std::vector<std::uint8_t> received = word;
            const int errors = trial % (t + 1);
            for (int e = 0; e < errors;) {
                const std::size_t at = static_cast<std::size_t>(random.Next() % 63);
                if (received[at] != word[at]) continue;
                received[at] ^= 1u;
                ++e;
            }
            const Bch::Decoded d = code.Decode(received);
            ASSERT_EQ(d.Corrected, errors) << "t = " << t << ", trial " << trial;
            ASSERT_EQ(d.Codeword, word) << "t = " << t << ", trial " << trial;
        }
    }
}

TEST(PayloadCode, MessageLengthsAndTheEccParameter) {
    const std::vector<int> want = {57, 51, 45, 39, 36, 30, 24, 18, 18, 18, 16, 10, 10, 7, 7};
    for (int t = 1; t <= kMostCorrected; ++t) EXPECT_EQ(MessageBitsOf(t), want[static_cast<std::size_t>(t - 1)]) << t;
    EXPECT_THROW(MessageBitsOf(16), ArgumentError);
    EXPECT_EQ(ParseMethodSpec("spread-spectrum:ecc=3").PayloadBits(), 45);
    EXPECT_EQ(ParseMethodSpec("qim").PayloadBits(), 64);
    // At 0 the parameter is left out of the parameter text that keys and rows hold.
    EXPECT_EQ(ParseMethodSpec("qim").Parameters(), "step=40,bits=64,alpha=0.4");
    EXPECT_EQ(ParseMethodSpec("qim:ecc=2").Parameters(), "step=40,bits=64,alpha=0.4,ecc=2");
    EXPECT_EQ(ParseMethodSpec("spread-spectrum-sync:ecc=7").PayloadBits(), 24);
    EXPECT_THROW(MakeMethod("stdm:bits=32,ecc=2"), ArgumentError);
    EXPECT_THROW(ParseMethodSpec("rdm:ecc=16"), ArgumentError);
    EXPECT_THROW(ParseMethodSpec("polarity:ecc=1"), ArgumentError);
}

TEST(PayloadCode, CarriesTheMessageFirstThenParityThenTheOverallParity) {
    // The message 1 0 0 ... of the t = 1 code (g = X^6 + X + 1) is X^6, its parity X^6 mod g =
    // 1 + X: the carried bits hold the message, then the parity 1 1 0 0 0 0, then the parity
    // of the three ones.
    std::vector<std::uint8_t> message(57, 0);
    message[0] = 1;
    const std::vector<std::uint8_t> carried = EncodePayload(1, message);
    ASSERT_EQ(carried.size(), 64u);
    std::vector<std::uint8_t> want(64, 0);
    want[0] = want[57] = want[58] = want[63] = 1;
    EXPECT_EQ(carried, want);
}

// The extended code: t errors anywhere in the 64 bits, the parity bit included, are corrected;
// t + 1 are always detected (never decoded to another message).
TEST(PayloadCode, CorrectsTAndDetectsTPlusOneOfTheSixtyFourBits) {
    RandomStream random(23);
    for (const int t : {1, 2, 3, 4, 5, 7}) {
        for (int trial = 0; trial < 60; ++trial) {
            const std::vector<std::uint8_t> message = RandomBits(random, MessageBitsOf(t));
            const std::vector<std::uint8_t> carried = EncodePayload(t, message);
            std::vector<std::uint8_t> received = carried;
            const int errors = trial % 2 == 0 ? t : t + 1;
            for (int e = 0; e < errors;) {
                // Every other trial puts one error on the parity bit.
                const std::size_t at = e == 0 && trial % 4 < 2 ? 63 : static_cast<std::size_t>(random.Next() % 64);
                if (received[at] != carried[at]) continue;
                received[at] ^= 1u;
                ++e;
            }
            const DecodedPayload d = DecodePayload(t, received);
            if (errors == t) {
                ASSERT_EQ(d.Corrected, t) << "t = " << t << ", trial " << trial;
                ASSERT_EQ(d.Message, message) << "t = " << t << ", trial " << trial;
            } else {
                ASSERT_FALSE(d.Corrected) << "t = " << t << ", trial " << trial;
                // The message as read comes back, errors and all.
                ASSERT_EQ(d.Message, std::vector<std::uint8_t>(received.begin(), received.begin() + MessageBitsOf(t)));
            }
        }
    }
}

TEST(PayloadCode, TheComplementDecodesToTheComplementedMessage) {
    RandomStream random(3);
    const std::vector<std::uint8_t> message = RandomBits(random, 45);
    std::vector<std::uint8_t> flipped = EncodePayload(3, message);
    for (std::uint8_t& b : flipped) b ^= 1u;
    flipped[10] ^= 1u;  // and one error
    const DecodedPayload d = DecodePayload(3, flipped);
    ASSERT_EQ(d.Corrected, 1);
    for (std::size_t i = 0; i < message.size(); ++i) EXPECT_EQ(d.Message[i], message[i] ^ 1u) << i;
}

}  // namespace
}  // namespace quillfen::detail
