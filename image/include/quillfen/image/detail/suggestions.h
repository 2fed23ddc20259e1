#pragma once
// "Did you mean": the known names near one a user typed, for the messages that refuse an
// unknown attack, parameter, toolbox operation, method or command. Every catalogue asks the
// same question with the same rule, so that a slip is answered alike in the command line, the
// desktop program and Python.
//
// A known name is offered when it is within a few edits of the typed one (insertions,
// deletions, replacements, swaps of two neighbouring characters; about one edit per three
// characters, never as many edits as the shorter name has characters: "q" is not offered
// "k"), or when the typed name is a whole part of it between hyphens ("jpeg" of "real-jpeg") or
// the beginning of it (at least three characters: "thresh" of "threshold"). ASCII case and
// '_' against '-' do not count. Exported for Quillfen's own libraries, not installed.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// The edits between two names (optimal string alignment), ASCII case and '_'/'-' ignored.
std::size_t NameDistance(std::string_view a, std::string_view b);

// The known names near `typed` by the rule above, nearest first (ties in the order given), at
// most `most` of them; none when `typed` is itself one of them or is empty.
std::vector<std::string> SimilarNames(std::string_view typed, const std::vector<std::string>& known,
                                      std::size_t most = 3);

// "'a'", "'a' or 'b'", "'a', 'b' or 'c'".
std::string QuotedAlternatives(const std::vector<std::string>& names);

// "did you mean 'jpeg'?" (or "... 'a' or 'b'?") for SimilarNames(typed, known); "" when none.
std::string DidYouMean(std::string_view typed, const std::vector<std::string>& known);

}  // namespace quillfen
QUILLFEN_API_END
