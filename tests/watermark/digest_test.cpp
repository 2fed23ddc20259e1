// The same bytes on every machine: the whole experiment on the bundled samples with a fixed
// seed must give these committed digests and scores, on every vector target, on x86-64 and on
// ARM64, in the fast and in the literal forms.
//
// The values were computed once and checked against the literal forms (the cosines per term,
// the linear scans) before being written down; this test runs the literal forms again every
// time. A change here is a change of results that every user would see: never update a digest
// to make the test pass without knowing which computation changed and why.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/test_support.h"
#include "tests/watermark/sample_experiment.h"

namespace quillfen {
namespace {

constexpr std::uint32_t kSeed = 20261208;

struct AttackDigest {
    const char* attack;
    const char* wWave;  // SHA-256 of W_wave (128 x 128 bytes)
    double nc;          // the JSON report's "nc", exactly
};

// SHA-256 of X_hat (256 x 256 bytes)
const char* const kXHat = "3e59e4e0b35c8fc8769ab0c2688c9a5d9fe9e88bcafa2b79fe856c18eaf86c2f";
// SHA-256 of X_hat_real (65536 doubles, little-endian)
const char* const kXHatReal = "09b1b4a8aa5317b206f0b65ccddbee02438a64bf2093b2d53d4bca52123b3aa0";
constexpr double kPsnr = 34.67353069696991;      // "psnr"
constexpr double kSumSq = 1452804.651895385;     // "sum_sq"
constexpr double kJpegPsnr = 35.42187652218975;  // "attacks"/"jpeg"/"psnr"
constexpr double kJpegDiff = 1222848.455253973;  // "attacks"/"jpeg"/"diff"
const AttackDigest kAttacks[] = {
    {"none", "d26a93fb2bf26de311e88cb2367a8e511146bebb7829499e24b9d1a0876be66e", 0.8951531129588319},
    {"jpeg", "72315e62196b2d095712fe2b4ce873521210b0d14f0990bc36937071e16108ac", 0.6759278036909349},
    {"blur", "7edcb53cc30b52cf22d0b3b59969f3863e3e69716f7174cd6126750feba0d115", 0.730277834110728},
    {"crop-zero-quarter", "59ca63eeaaa42517a73ccbd3f0a8ba1b9435ee36aa28ac3ee414f4fb04807a04", 0.7955789900628676},
    {"crop-image-quarter", "641656ff5489701f37d139e859601f103f8344d77578d7fa4f2ac15c2554914c", 0.918880551612249},
    {"crop-zero-half", "61dcf1d27b25d864ceeec1b50d86c72f7ac0382ac1ea5602e83d7b1927d9fed7", 0.7203407016832285},
    {"crop-image-half", "62bd3b7ba5aff0bef11a2aa37723e3271f6032b00d53f59ca852b41a98ed7369", 0.9470695599269925},
};

// The doubles are stored in the machine's byte order; the digest is of little-endian bytes.
std::string RealsDigest(const TWatermark::Reals& values) {
    static_assert(sizeof(double) == 8);
    const std::uint16_t probe = 1;
    if (*reinterpret_cast<const unsigned char*>(&probe) == 1) return test::Sha256Hex(values);
    std::vector<unsigned char> bytes(values.size() * 8);
    for (std::size_t k = 0; k < values.size(); ++k)
        for (int i = 0; i < 8; ++i) bytes[8 * k + i] = reinterpret_cast<const unsigned char*>(&values[k])[7 - i];
    return test::Sha256Hex(bytes);
}

void ExpectCommitted(const test::SampleRun& run, const std::string& form) {
    EXPECT_EQ(test::Sha256Hex(run.X_hat), kXHat) << form;
    EXPECT_EQ(RealsDigest(run.X_hat_real), kXHatReal) << form;
    ASSERT_TRUE(run.psnr.has_value()) << form;
    EXPECT_EQ(run.psnr->Psnr, kPsnr) << form;
    EXPECT_EQ(run.psnr->SumSq, kSumSq) << form;
    ASSERT_TRUE(run.jpeg.has_value()) << form;
    EXPECT_EQ(run.jpeg->Psnr, kJpegPsnr) << form;
    EXPECT_EQ(run.jpeg->SumSq, kJpegDiff) << form;
    ASSERT_EQ(run.W_wave.size(), std::size(kAttacks)) << form;
    for (std::size_t a = 0; a < std::size(kAttacks); ++a) {
        EXPECT_EQ(test::Sha256Hex(run.W_wave[a]), kAttacks[a].wWave) << form << ", " << kAttacks[a].attack;
        ASSERT_TRUE(run.nc[a].has_value()) << form << ", " << kAttacks[a].attack;
        EXPECT_EQ(*run.nc[a], kAttacks[a].nc) << form << ", " << kAttacks[a].attack;
    }
}

TEST(Digests, SampleExperimentGivesTheCommittedBytesOnEveryTarget) {
    test::ForEachVectorTarget([](const std::string& target) {
        ExpectCommitted(test::RunSampleExperiment(kSeed, false), "fast forms on " + target);
    });
}

TEST(Digests, LiteralFormsGiveTheCommittedBytes) {
    ExpectCommitted(test::RunSampleExperiment(kSeed, true), "literal forms");
}

}  // namespace
}  // namespace quillfen
