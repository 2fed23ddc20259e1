#include "quillfen/image/detail/suggestions.h"

#include <algorithm>
#include <numeric>

namespace quillfen {

namespace {

char Folded(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c == '_' ? '-' : c;
}

std::string FoldedName(std::string_view name) {
    std::string folded(name.size(), '\0');
    std::transform(name.begin(), name.end(), folded.begin(), Folded);
    return folded;
}

// `part` is one of the hyphen-separated words of `name` (both folded).
bool IsWordOf(const std::string& part, const std::string& name) {
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('-', start), name.size());
        if (name.compare(start, end - start, part) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

std::size_t NameDistance(std::string_view a, std::string_view b) {
    const std::string x = FoldedName(a);
    const std::string y = FoldedName(b);
    // Three rows of the table: two back for the swaps.
    std::vector<std::size_t> before(y.size() + 1), previous(y.size() + 1), current(y.size() + 1);
    std::iota(previous.begin(), previous.end(), std::size_t{0});
    for (std::size_t i = 1; i <= x.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t replace = previous[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, replace});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[y.size()];
}

std::vector<std::string> SimilarNames(std::string_view typed, const std::vector<std::string>& known,
                                      std::size_t most) {
    if (typed.empty() || std::find(known.begin(), known.end(), typed) != known.end()) return {};
    const std::string folded = FoldedName(typed);
    struct Near {
        std::size_t Distance;
        std::size_t Order;
    };
    std::vector<Near> near;
    for (std::size_t k = 0; k < known.size(); ++k) {
        const std::string name = FoldedName(known[k]);
        const std::size_t distance = NameDistance(folded, name);
        const std::size_t shorter = std::min(folded.size(), name.size());
        const bool fewEdits = distance <= std::max<std::size_t>(1, folded.size() / 3) && distance < shorter;
        const bool word = folded.size() >= 3 && (IsWordOf(folded, name) || name.starts_with(folded));
        if (fewEdits || word) near.push_back({distance, k});
    }
    std::stable_sort(near.begin(), near.end(), [](const Near& a, const Near& b) { return a.Distance < b.Distance; });
    std::vector<std::string> names;
    for (const Near& n : near) {
        if (names.size() == most) break;
        if (std::find(names.begin(), names.end(), known[n.Order]) == names.end()) names.push_back(known[n.Order]);
    }
    return names;
}

std::string QuotedAlternatives(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += "'" + names[i] + "'";
    }
    return text;
}

std::string DidYouMean(std::string_view typed, const std::vector<std::string>& known) {
    const std::vector<std::string> names = SimilarNames(typed, known);
    return names.empty() ? std::string() : "did you mean " + QuotedAlternatives(names) + "?";
}

}  // namespace quillfen
