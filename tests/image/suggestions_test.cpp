// "Did you mean": the distance between names and which known names are offered for a slip.
#include "quillfen/image/detail/suggestions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillfen {
namespace {

TEST(Suggestions, DistanceCountsEachEditOnceIgnoringCaseAndUnderscores) {
    EXPECT_EQ(NameDistance("jpeg", "jpeg"), 0u);
    EXPECT_EQ(NameDistance("jpg", "jpeg"), 1u);          // an insertion
    EXPECT_EQ(NameDistance("thresold", "threshold"), 1u);
    EXPECT_EQ(NameDistance("shwo", "show"), 1u);         // two neighbours swapped: one edit
    EXPECT_EQ(NameDistance("QIM", "qim"), 0u);
    EXPECT_EQ(NameDistance("gauss_noise", "gauss-noise"), 0u);
    EXPECT_EQ(NameDistance("gaussian-noise", "gauss-noise"), 3u);
    EXPECT_EQ(NameDistance("", "abc"), 3u);
    EXPECT_EQ(NameDistance("kitten", "sitting"), 3u);
}

TEST(Suggestions, OffersNearNamesWordsAndBeginningsNearestFirst) {
    const std::vector<std::string> attacks = {"none", "jpeg", "blur", "real-jpeg", "median", "gauss-noise",
                                              "gaussian-blur", "remove-rows", "remove-cols"};
    EXPECT_EQ(SimilarNames("jpg", attacks), (std::vector<std::string>{"jpeg"}));
    // A whole word of a longer name: the exact one first.
    EXPECT_EQ(SimilarNames("JPEG", attacks), (std::vector<std::string>{"jpeg", "real-jpeg"}));
    EXPECT_EQ(SimilarNames("gaussian-noise", attacks), (std::vector<std::string>{"gauss-noise"}));
    EXPECT_EQ(SimilarNames("remove", attacks), (std::vector<std::string>{"remove-rows", "remove-cols"}));
    EXPECT_EQ(SimilarNames("gauss", attacks), (std::vector<std::string>{"gauss-noise", "gaussian-blur"}));
    EXPECT_EQ(SimilarNames("gauss", attacks, 1), (std::vector<std::string>{"gauss-noise"}));
    // Nothing for a known name, an empty one or one far from all.
    EXPECT_TRUE(SimilarNames("jpeg", attacks).empty());
    EXPECT_TRUE(SimilarNames("", attacks).empty());
    EXPECT_TRUE(SimilarNames("otsu", attacks).empty());
    // A one-letter parameter is never taken for another: as many edits as it has letters.
    EXPECT_TRUE(SimilarNames("q", {"k", "p", "n"}).empty());
}

TEST(Suggestions, SaysDidYouMeanWithTheAlternativesQuoted) {
    EXPECT_EQ(DidYouMean("spred-spectrum", {"polarity", "spread-spectrum", "qim"}), "did you mean 'spread-spectrum'?");
    EXPECT_EQ(DidYouMean("dz", {"dx", "dy"}), "did you mean 'dx' or 'dy'?");
    EXPECT_EQ(DidYouMean("lsb", {"polarity", "spread-spectrum", "qim"}), "");
    EXPECT_EQ(QuotedAlternatives({"a", "b", "c"}), "'a', 'b' or 'c'");
    EXPECT_EQ(QuotedAlternatives({}), "");
}

}  // namespace
}  // namespace quillfen
