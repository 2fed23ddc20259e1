// The payload's convolutional code: its generators, and decoding through errors and noise.
#include <gtest/gtest.h>

#include <vector>

#include "quillfen/image/portable_math.h"
#include "sync/sync_code.h"

namespace quillfen::sync {
namespace {

PayloadBits Bits(std::uint64_t word) {
    PayloadBits p{};
    for (int b = 0; b < kPayloadBits; ++b) p[b] = (word >> b) & 1;
    return p;
}

TEST(SyncCode, TheImpulseResponseIsTheThreeGenerators) {
    // A single 1 first: step t outputs tap (6 - t) of 133, 171 and 165 (octal), as signs.
    const CodedSigns c = Encode(Bits(1));
    const std::vector<int> want = {-1, -1, -1,  1, -1, -1,  -1, -1, -1,  -1, -1,  1,
                                   1,  1, -1,  -1,  1,  1,  -1, -1, -1};
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(c[i], want[i]) << "coded bit " << i;
    for (int i = 21; i < kCodedBits; ++i) EXPECT_EQ(c[i], 1) << "coded bit " << i;
    for (const std::int8_t s : Encode(Bits(0))) EXPECT_EQ(s, 1);
    EXPECT_EQ(kCodedBits, 210);
}

TEST(SyncCode, DecodesACleanCodewordWithItsSoftValues) {
    const PayloadBits payload = Bits(0x5681fb21e676dc7cULL);
    const CodedSigns c = Encode(payload);
    std::vector<double> z(c.begin(), c.end());
    const DecodedPayload d = Decode(z.data());
    EXPECT_EQ(d.Bits, payload);
    EXPECT_EQ(d.Codeword, c);
    EXPECT_DOUBLE_EQ(d.Correlation, 210.0);
    // The nearest other path differs in at least the code's free distance (15) coded bits:
    // every bit's soft value is twice that or more, its sign the bit's.
    for (int b = 0; b < kPayloadBits; ++b) {
        EXPECT_GE(std::abs(d.Soft[b]), 30.0) << "bit " << b;
        EXPECT_EQ(d.Soft[b] < 0, payload[b] == 1) << "bit " << b;
    }
    EXPECT_DOUBLE_EQ(d.Soft[0], payload[0] ? -30.0 : 30.0);
}

TEST(SyncCode, CorrectsSpreadErrorsAndNoise) {
    const PayloadBits payload = Bits(0xc0ffee1234567890ULL);
    const CodedSigns c = Encode(payload);
    // Seven coded bits wrong, far apart: within what the free distance corrects.
    std::vector<double> z(c.begin(), c.end());
    for (const int i : {0, 31, 62, 93, 124, 155, 186}) z[i] = -z[i];
    EXPECT_EQ(Decode(z.data()).Bits, payload);
    // Correlations of 1 per coded bit in unit Gaussian noise (about 16 % of their signs
    // wrong): the decoder reads every bit of these seeds.
    int wrong = 0, uncoded = 0;
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        RandomStream random(seed);
        for (int i = 0; i < kCodedBits; ++i) {
            z[i] = c[i] + random.Gaussian();
            uncoded += (z[i] < 0) != (c[i] < 0);
        }
        const DecodedPayload d = Decode(z.data());
        for (int b = 0; b < kPayloadBits; ++b) wrong += d.Bits[b] != payload[b];
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(uncoded, 500);
}

}  // namespace
}  // namespace quillfen::sync
