// The attack list parser: a syntax pass that keeps the text of each entry, then a check and
// expansion pass per entry, so that every message can quote the entry it is about.
#include "quillfen/attacks/attack_list.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <system_error>

#include "quillfen/image/detail/suggestions.h"
#include "quillfen/image/errors.h"

namespace quillfen {

namespace {

// A number as written. Ranges are expanded on these decimal digits, never on doubles.
struct Number {
    std::string Text;
    bool Negative = false;
    std::string Whole;     // digits before the point (may be empty: ".5")
    std::string Fraction;  // digits after it
};

struct Item {
    std::string Text;
    Number First;
    std::optional<Number> Last;  // a range
    std::optional<Number> Step;
};

struct RawParameter {
    std::string Name;
    std::vector<Item> Items;
};

struct RawStep {
    std::string Attack;
    std::vector<RawParameter> Parameters;
};

struct RawEntry {
    std::string Text;
    std::vector<RawStep> Steps;
};

bool IsNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNumberStart(char c) { return IsDigit(c) || c == '-' || c == '.'; }

std::string Quoted(std::string_view text) {
    std::string quoted(1, '\'');
    quoted.append(text);
    quoted.push_back('\'');
    return quoted;
}

class Parser {
public:
    explicit Parser(std::string_view text) : Text(text) {}

    std::vector<RawEntry> List() {
        std::vector<RawEntry> entries;
        SkipBlanks();
        if (AtEnd()) Fail("no attack given");
        for (;;) {
            entries.push_back(Entry());
            SkipBlanks();
            if (AtEnd()) return entries;
            if (Peek() != ',') Fail("unexpected " + Quoted(std::string(1, Peek())));
            ++Pos;
            SkipBlanks();
            if (AtEnd()) Fail("expected an attack after the last ','");
        }
    }

private:
    RawEntry Entry() {
        const std::size_t start = Pos;
        RawEntry entry;
        entry.Steps.push_back(Step());
        for (;;) {
            SkipBlanks();
            if (AtEnd() || Peek() != '+') break;
            ++Pos;
            SkipBlanks();
            entry.Steps.push_back(Step());
        }
        entry.Text = Trimmed(Text.substr(start, Pos - start));
        return entry;
    }

    RawStep Step() {
        RawStep step;
        if (AtEnd() || !IsNameStart(Peek())) Fail("expected an attack name");
        step.Attack = Name();
        SkipBlanks();
        if (AtEnd() || Peek() != ':') return step;
        ++Pos;
        for (;;) {
            SkipBlanks();
            if (AtEnd() || !IsNameStart(Peek())) Fail("expected a parameter name after " + Quoted(step.Attack + ":"));
            RawParameter parameter;
            parameter.Name = Name();
            SkipBlanks();
            if (AtEnd() || Peek() != '=') Fail("expected '=' after the parameter name " + Quoted(parameter.Name));
            ++Pos;
            SkipBlanks();
            parameter.Items.push_back(ReadItem(parameter.Name));
            bool another = false;
            while (!another) {
                const std::size_t comma = Pos;
                SkipBlanks();
                if (AtEnd() || Peek() != ',') {
                    Pos = comma;
                    break;
                }
                ++Pos;
                SkipBlanks();
                if (!AtEnd() && IsNumberStart(Peek())) {
                    parameter.Items.push_back(ReadItem(parameter.Name));
                } else if (!AtEnd() && IsNameStart(Peek()) && NameFollowedByEquals()) {
                    another = true;
                } else {
                    Pos = comma;  // the comma ends the entry; the list reads it
                    break;
                }
            }
            step.Parameters.push_back(std::move(parameter));
            if (!another) return step;
        }
    }

    Item ReadItem(const std::string& parameter) {
        const std::size_t start = Pos;
        Item item;
        item.First = ReadNumber(parameter);
        if (Text.substr(Pos, 2) == "..") {
            Pos += 2;
            if (!AtEnd() && Peek() == '.')
                Fail("a range has two dots, as " + parameter + "=10..90 or " + parameter + "=10..90:10 (first..last:step)");
            item.Last = ReadNumber(parameter);
            if (!AtEnd() && Peek() == ':') {
                ++Pos;
                item.Step = ReadNumber(parameter);
            }
        }
        item.Text = std::string(Text.substr(start, Pos - start));
        return item;
    }

    Number ReadNumber(const std::string& parameter) {
        const std::size_t start = Pos;
        Number number;
        if (!AtEnd() && Peek() == '-') {
            number.Negative = true;
            ++Pos;
        }
        while (!AtEnd() && IsDigit(Peek())) number.Whole += Text[Pos++];
        if (!AtEnd() && Peek() == '.' && Pos + 1 < Text.size() && IsDigit(Text[Pos + 1])) {
            ++Pos;
            while (!AtEnd() && IsDigit(Peek())) number.Fraction += Text[Pos++];
        }
        if (number.Whole.empty() && number.Fraction.empty()) {
            Pos = start;
            Fail("expected a number for " + Quoted(parameter));
        }
        number.Text = std::string(Text.substr(start, Pos - start));
        return number;
    }

    std::string Name() {
        const std::size_t start = Pos;
        while (!AtEnd() && IsNameChar(Peek())) ++Pos;
        return std::string(Text.substr(start, Pos - start));
    }

    // At a name: is it a parameter name (directly followed by '=')? Leaves Pos unchanged.
    bool NameFollowedByEquals() {
        const std::size_t start = Pos;
        Name();
        SkipBlanks();
        const bool equals = !AtEnd() && Peek() == '=';
        Pos = start;
        return equals;
    }

    void SkipBlanks() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t')) ++Pos;
    }
    bool AtEnd() const { return Pos >= Text.size(); }
    char Peek() const { return Text[Pos]; }

    static std::string Trimmed(std::string_view text) {
        std::size_t a = 0;
        std::size_t b = text.size();
        while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
        while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
        return std::string(text.substr(a, b - a));
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw ArgumentError("bad attack list " + Quoted(Text) + ": " + what + " at character " +
                            std::to_string(Pos + 1));
    }

    std::string_view Text;
    std::size_t Pos = 0;
};

double ToDouble(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value + 0.0;  // no negative zero
}

// The parser lets only decimal digits through, so the one failure left is a value beyond the
// double range: a huge one becomes the largest double (refused by every range check with its
// text as written), a tiny one zero.
double ToDouble(const Number& number) {
    double value = 0;
    const auto [end, ec] = std::from_chars(number.Text.data(), number.Text.data() + number.Text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        const bool huge = number.Whole.find_first_not_of('0') != std::string::npos;
        if (!huge) return 0.0;
        return number.Negative ? -1.7976931348623157e308 : 1.7976931348623157e308;
    }
    return value + 0.0;  // no negative zero
}

// A decimal number as written against a double bound of the catalogue, digit by digit: -1,
// 0 or 1 as the number is below, at or above it. The bound is taken as its shortest decimal
// form (the catalogue's 0.01 is "0.01", not the double nearest to it).
int CompareDecimal(const Number& number, double bound) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, bound, std::chars_format::fixed);
    std::string_view b(text, static_cast<std::size_t>(result.ptr - text));
    const bool boundNegative = !b.empty() && b[0] == '-';
    if (boundNegative) b.remove_prefix(1);
    const std::size_t point = b.find('.');
    std::string boundWhole(b.substr(0, point));
    std::string boundFraction(point == std::string_view::npos ? std::string_view() : b.substr(point + 1));
    std::string whole = number.Whole;
    std::string fraction = number.Fraction;
    auto trim = [](std::string& w, std::string& f) {
        w.erase(0, std::min(w.find_first_not_of('0'), w.size()));
        while (!f.empty() && f.back() == '0') f.pop_back();
    };
    trim(whole, fraction);
    trim(boundWhole, boundFraction);
    const bool zero = whole.empty() && fraction.empty();
    const bool boundZero = boundWhole.empty() && boundFraction.empty();
    const bool negative = number.Negative && !zero;
    const bool boundIsNegative = boundNegative && !boundZero;
    if (negative != boundIsNegative) return negative ? -1 : 1;
    // Magnitudes: more whole digits is larger, then digit by digit.
    int magnitude = 0;
    if (whole.size() != boundWhole.size()) {
        magnitude = whole.size() < boundWhole.size() ? -1 : 1;
    } else if (whole != boundWhole) {
        magnitude = whole < boundWhole ? -1 : 1;
    } else if (fraction != boundFraction) {
        magnitude = fraction < boundFraction ? -1 : 1;
    }
    return negative ? -magnitude : magnitude;
}

// The checks and expansion of one entry.
class EntryChecker {
public:
    explicit EntryChecker(const RawEntry& entry) : Entry(entry) {}

    // Per step and parameter (catalogue order) the list of values.
    struct StepValues {
        const AttackInfo* Info;
        std::vector<std::vector<double>> Lists;
    };

    std::vector<StepValues> Check() {
        std::vector<StepValues> steps;
        for (const RawStep& raw : Entry.Steps) steps.push_back(CheckStep(raw));
        return steps;
    }

private:
    StepValues CheckStep(const RawStep& raw) {
        const AttackInfo* info = FindAttack(raw.Attack);
        if (!info) {
            const std::string hint = AttackHint(raw);
            Fail("unknown attack " + Quoted(raw.Attack) + (hint.empty() ? "" : ", " + hint) + " (known: " +
                 KnownAttacks() + ")");
        }
        StepValues result{info, std::vector<std::vector<double>>(info->Parameters.size())};
        std::vector<bool> given(info->Parameters.size(), false);
        for (const RawParameter& parameter : raw.Parameters) {
            std::size_t index = 0;
            while (index < info->Parameters.size() && parameter.Name != info->Parameters[index].Name) ++index;
            if (index == info->Parameters.size())
                Fail(std::string(info->Name) + " has no parameter " + Quoted(parameter.Name) + " (" +
                     ParameterNames(*info) + ")" + ParameterHint(*info, raw, parameter.Name));
            if (given[index]) Fail("parameter " + parameter.Name + " of " + info->Name + " is given twice");
            given[index] = true;
            for (const Item& item : parameter.Items) Expand(info->Parameters[index], item, result.Lists[index]);
        }
        for (std::size_t i = 0; i < info->Parameters.size(); ++i) {
            if (given[i]) continue;
            const AttackParameter& parameter = info->Parameters[i];
            if (!parameter.Default)
                Fail(std::string(info->Name) + " needs parameter " + parameter.Name + " (" +
                     AcceptedValues(parameter) + ")");
            result.Lists[i].push_back(*parameter.Default);
        }
        return result;
    }

    void Expand(const AttackParameter& parameter, const Item& item, std::vector<double>& values) {
        const std::string name = parameter.Name;
        CheckWritten(parameter, item.First);
        if (!item.Last) {
            values.push_back(ToDouble(item.First));
            return;
        }
        CheckWritten(parameter, *item.Last);
        const std::string range = name + "=" + item.Text;
        // Bounds and step as whole numbers of 10^-scale.
        std::size_t scale = std::max(item.First.Fraction.size(), item.Last->Fraction.size());
        if (item.Step) scale = std::max(scale, item.Step->Fraction.size());
        const auto scaled = [&](const Number& n) -> std::int64_t {
            std::string digits = n.Whole + n.Fraction + std::string(scale - n.Fraction.size(), '0');
            std::size_t lead = 0;
            while (lead + 1 < digits.size() && digits[lead] == '0') ++lead;
            digits.erase(0, lead);
            if (scale > 6 || digits.size() > 15)
                Fail(range + ": range bounds and steps need at most 6 decimals and 9 whole digits");
            const std::int64_t magnitude = digits.empty() ? 0 : std::stoll(digits);
            return n.Negative ? -magnitude : magnitude;
        };
        const std::int64_t first = scaled(item.First);
        const std::int64_t last = scaled(*item.Last);
        const std::int64_t step = item.Step ? scaled(*item.Step) : (last >= first ? 1 : -1) *
                                                                     Power10(scale);
        if (step == 0) Fail(range + " has a zero step");
        if ((last - first) != 0 && ((last - first) > 0) != (step > 0))
            Fail(range + " is empty: a step of " + StepText(item, step, scale) + " never goes from " +
                 item.First.Text + " to " + item.Last->Text);
        if ((last - first) % step != 0)
            Fail(range + " does not end on " + item.Last->Text + " (steps of " + StepText(item, step, scale) +
                 " from " + item.First.Text + ")");
        const std::int64_t count = (last - first) / step + 1;
        if (count > static_cast<std::int64_t>(kMaxRangeValues))
            Fail(range + " gives " + std::to_string(count) + " values; at most " +
                 std::to_string(kMaxRangeValues) + " are accepted");
        for (std::int64_t i = 0; i < count; ++i) {
            const double value = ToDouble(DecimalText(first + i * step, scale));
            CheckValue(parameter, value, FormatAttackNumber(value));
            values.push_back(value);
        }
    }

    static std::int64_t Power10(std::size_t n) {
        std::int64_t p = 1;
        while (n-- > 0) p *= 10;
        return p;
    }

    static std::string DecimalText(std::int64_t units, std::size_t scale) {
        const bool negative = units < 0;
        std::string digits = std::to_string(negative ? -units : units);
        if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
        if (scale > 0) digits.insert(digits.size() - scale, 1, '.');
        if (negative) digits.insert(0, 1, '-');
        return digits;
    }

    static std::string StepText(const Item& item, std::int64_t step, std::size_t scale) {
        return item.Step ? item.Step->Text : DecimalText(step, scale);
    }

    // A value as written: its decimal digits against the range, before any rounding to a double
    // could carry it into the range; then the checks of its double.
    void CheckWritten(const AttackParameter& parameter, const Number& number) {
        if (CompareDecimal(number, parameter.Lowest) < 0 || CompareDecimal(number, parameter.Highest) > 0)
            Fail(std::string(parameter.Name) + "=" + number.Text + " is out of range (accepted: " +
                 AcceptedValues(parameter) + ")");
        if ((parameter.Whole || parameter.Odd) && number.Fraction.find_first_not_of('0') != std::string::npos)
            Fail(std::string(parameter.Name) + "=" + number.Text + " is not a whole number (accepted: " +
                 AcceptedValues(parameter) + ")");
        CheckValue(parameter, ToDouble(number), number.Text);
    }

    void CheckValue(const AttackParameter& parameter, double value, const std::string& text) {
        if (const auto reason = CheckParameterValue(parameter, value))
            Fail(std::string(parameter.Name) + "=" + text + " " + *reason + " (accepted: " +
                 AcceptedValues(parameter) + ")");
    }

    static std::vector<std::string> AttackNames() {
        std::vector<std::string> names;
        for (const AttackInfo& info : AttackCatalogue()) names.emplace_back(info.Name);
        return names;
    }

    static bool Takes(const AttackInfo& info, const std::string& parameter) {
        return std::any_of(info.Parameters.begin(), info.Parameters.end(),
                           [&](const AttackParameter& p) { return parameter == p.Name; });
    }

    static bool TakesAll(const AttackInfo& info, const RawStep& raw) {
        return std::all_of(raw.Parameters.begin(), raw.Parameters.end(),
                           [&](const RawParameter& p) { return Takes(info, p.Name); });
    }

    // The step as written, under another attack's name: "real-jpeg:q=50".
    static std::string Renamed(const RawStep& raw, const char* attack) {
        std::string text = attack;
        for (std::size_t i = 0; i < raw.Parameters.size(); ++i) {
            text += i == 0 ? ":" : ",";
            text += raw.Parameters[i].Name + "=";
            for (std::size_t k = 0; k < raw.Parameters[i].Items.size(); ++k)
                text += (k == 0 ? "" : ",") + raw.Parameters[i].Items[k].Text;
        }
        return text;
    }

    // "did you mean ...?" for an unknown attack: the names near the one typed, and first among
    // them and their kin ("jpeg", "real-jpeg") those that take every parameter given, so that
    // "jpg:q=50" is offered the codec, which has a quality, before the quantisation.
    static std::string AttackHint(const RawStep& raw) {
        const std::vector<std::string> names = AttackNames();
        const std::vector<std::string> near = SimilarNames(raw.Attack, names);
        std::vector<std::string> offered;
        if (!raw.Parameters.empty()) {
            for (const AttackInfo& info : AttackCatalogue()) {
                const bool kin = std::any_of(near.begin(), near.end(), [&](const std::string& n) {
                    return n == info.Name || !SimilarNames(n, {info.Name}).empty();
                });
                if (kin && TakesAll(info, raw)) offered.push_back(info.Name);
            }
        }
        for (const std::string& n : near)
            if (offered.size() < 3 && std::find(offered.begin(), offered.end(), n) == offered.end()) offered.push_back(n);
        return offered.empty() ? std::string() : "did you mean " + QuotedAlternatives(offered) + "?";
    }

    // What an unknown parameter of a known attack might have been: another of its parameters,
    // or a kindred attack that takes it ("jpeg:q=50" is "real-jpeg:q=50"), with what tells the
    // two attacks apart.
    static std::string ParameterHint(const AttackInfo& info, const RawStep& raw, const std::string& parameter) {
        if (info.Parameters.size() > 1) {
            std::vector<std::string> own;
            for (const AttackParameter& p : info.Parameters) own.emplace_back(p.Name);
            const std::string hint = DidYouMean(parameter, own);
            if (!hint.empty()) return "; " + hint;
        }
        for (const AttackInfo& other : AttackCatalogue()) {
            if (other.Id == info.Id || !Takes(other, parameter)) continue;
            const bool kin = !SimilarNames(info.Name, {other.Name}).empty() || !SimilarNames(other.Name, {info.Name}).empty();
            if (!kin) continue;
            const std::string offered = TakesAll(other, raw) ? Renamed(raw, other.Name) : std::string(other.Name);
            return "; did you mean '" + offered + "'? " + Described(info, parameter) + "; " + Described(other, parameter);
        }
        return "";
    }

    // "jpeg is the workspace's JPEG-style quantisation ...", "real-jpeg is a gray baseline JPEG
    // file ... (q: JPEG quality)": what each attack is, and what the parameter means to the other.
    static std::string Described(const AttackInfo& info, const std::string& parameter) {
        std::string text = std::string(info.Name) + " is " + info.Summary;
        for (const AttackParameter& p : info.Parameters)
            if (parameter == p.Name) text += std::string(" (") + p.Name + ": " + p.Meaning + ")";
        return text;
    }

    static std::string KnownAttacks() {
        std::string names;
        for (const AttackInfo& info : AttackCatalogue()) names += (names.empty() ? "" : ", ") + std::string(info.Name);
        return names;
    }

    static std::string ParameterNames(const AttackInfo& info) {
        if (info.Parameters.empty()) return "it takes no parameter";
        std::string names;
        for (const AttackParameter& p : info.Parameters) names += (names.empty() ? "" : ", ") + std::string(p.Name);
        return "it takes " + names;
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw ArgumentError("attack " + Quoted(Entry.Text) + ": " + what);
    }

    const RawEntry& Entry;
};

}  // namespace

std::string CanonicalAttackName(const std::vector<AttackStep>& steps) {
    std::string name;
    for (const AttackStep& step : steps) {
        const AttackInfo& info = InfoOf(step.Id);
        if (!name.empty()) name += '+';
        name += info.Name;
        char separator = ':';
        for (std::size_t i = 0; i < info.Parameters.size() && i < step.Values.size(); ++i) {
            const AttackParameter& parameter = info.Parameters[i];
            if (parameter.Default && *parameter.Default == step.Values[i]) continue;
            name += separator;
            name += parameter.Name;
            name += '=';
            name += FormatAttackNumber(step.Values[i]);
            separator = ',';
        }
    }
    return name;
}

std::vector<AttackCell> ParseAttackCells(std::string_view text) {
    const std::vector<RawEntry> entries = Parser(text).List();
    std::vector<AttackCell> cells;
    std::map<std::string, std::string> entryOfCell;  // canonical name -> entry that gave it
    for (const RawEntry& entry : entries) {
        const std::vector<EntryChecker::StepValues> steps = EntryChecker(entry).Check();
        // One row must not take without end: a cell's attacks, and its blur passes, are bounded.
        if (steps.size() > kMaxCellSteps)
            throw ArgumentError("attack " + Quoted(entry.Text) + " combines " + std::to_string(steps.size()) +
                                " attacks; a cell combines at most " + std::to_string(kMaxCellSteps));
        double mostPasses = 0;
        for (const auto& step : steps)
            if (step.Info->Id == AttackId::Blur)
                mostPasses = mostPasses + *std::max_element(step.Lists[0].begin(), step.Lists[0].end());
        if (mostPasses > kMaxCellBlurPasses)
            throw ArgumentError("attack " + Quoted(entry.Text) + " blurs up to " + FormatAttackNumber(mostPasses) +
                                " passes in one cell; a cell blurs at most " + FormatAttackNumber(kMaxCellBlurPasses) +
                                " passes in all");
        // The odometer over every value list of the entry, the last list fastest.
        std::vector<const std::vector<double>*> lists;
        std::size_t count = 1;
        for (const auto& step : steps)
            for (const auto& list : step.Lists) {
                lists.push_back(&list);
                if (count > kMaxAttackCells / list.size())
                    throw ArgumentError("attack " + Quoted(entry.Text) + " gives more than " +
                                        std::to_string(kMaxAttackCells) + " cells");
                count *= list.size();
            }
        if (cells.size() + count > kMaxAttackCells)
            throw ArgumentError("the attack list gives more than " + std::to_string(kMaxAttackCells) + " cells");
        std::vector<std::size_t> digit(lists.size(), 0);
        for (std::size_t n = 0; n < count; ++n) {
            AttackCell cell;
            std::size_t k = 0;
            for (const auto& step : steps) {
                AttackStep made{step.Info->Id, {}};
                for (std::size_t p = 0; p < step.Lists.size(); ++p, ++k) made.Values.push_back((*lists[k])[digit[k]]);
                cell.Steps.push_back(std::move(made));
            }
            cell.Name = CanonicalAttackName(cell.Steps);
            const auto [where, fresh] = entryOfCell.emplace(cell.Name, entry.Text);
            if (!fresh)
                throw ArgumentError("attack " + Quoted(cell.Name) + " is listed twice (by " + Quoted(where->second) +
                                    (where->second == entry.Text ? "" : " and " + Quoted(entry.Text)) + ")");
            cells.push_back(std::move(cell));
            for (std::size_t d = lists.size(); d-- > 0;) {
                if (++digit[d] < lists[d]->size()) break;
                digit[d] = 0;
            }
        }
    }
    return cells;
}

}  // namespace quillfen
