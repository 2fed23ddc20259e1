// The JSON report of the whole experiment on the bundled PGM samples with a fixed seed, to
// the last digit: the same text on every machine and vector target. The numbers are those
// that tests/watermark/digest_test.cpp holds, where they are also checked against the literal
// forms; a change here is a change of results every user would see.
#include <gtest/gtest.h>

#include <string>

#include "tests/cli/run_cli.h"
#include "tests/test_support.h"

namespace quillfen {
namespace {

const char* const kReport = R"({
  "seed": 20261208,
  "wr_count": 4931,
  "wa_count": 4931,
  "psnr": 34.67353069696991,
  "sum_sq": 1452804.651895385,
  "attacks": {
    "none": {
      "nc": 0.8951531129588319
    },
    "jpeg": {
      "psnr": 35.42187652218975,
      "diff": 1222848.455253973,
      "nc": 0.6759278036909349
    },
    "blur": {
      "nc": 0.730277834110728
    },
    "crop-zero-quarter": {
      "nc": 0.7955789900628676
    },
    "crop-image-quarter": {
      "nc": 0.918880551612249
    },
    "crop-zero-half": {
      "nc": 0.7203407016832285
    },
    "crop-image-half": {
      "nc": 0.9470695599269925
    }
  }
}
)";

TEST(ExperimentDigest, JsonReportOnTheSamplesIsTheCommittedTextOnEveryTarget) {
    test::ForEachVectorTarget([](const std::string& target) {
        const test::CliResult r = test::RunCli({"experiment", test::SamplePath("camera-256.pgm"),
                                                test::SamplePath("seal-128.pgm"), "--seed", "20261208", "--json"});
        ASSERT_EQ(r.code, 0) << target << ": " << r.err;
        EXPECT_EQ(r.out, kReport) << target;
    });
}

}  // namespace
}  // namespace quillfen
