// The registry of methods, methods as users describe them, payloads, and the search for a
// strength at a target PSNR.
#include "quillfen/methods/method.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "blind_methods.h"
#include "payload_code.h"
#include "sync_method.h"
#include "quillfen/image/detail/suggestions.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/image/round_half_even.h"
#include "quillfen/io/file_write.h"

namespace quillfen {

namespace {

constexpr std::uint64_t kPayloadStream = 0x5041594C4F414403ULL;

// "; did you mean 'qim'?" for a name near a method's, else "".
std::string NearestNames(std::string_view typed, const std::vector<std::shared_ptr<const MethodInfo>>& entries) {
    std::vector<std::string> names;
    for (const auto& m : entries) names.push_back(m->Name);
    const std::string hint = DidYouMean(typed, names);
    return hint.empty() ? hint : "; " + hint;
}

std::string NamesOf(const std::vector<std::shared_ptr<const MethodInfo>>& entries) {
    std::string known;
    for (const auto& m : entries) {
        if (!known.empty()) known += ", ";
        known += m->Name;
    }
    return known;
}

}  // namespace

std::string MethodSpec::Name() const {
    std::string parameters;
    for (std::size_t p = 0; p < Info->Parameters.size(); ++p) {
        if (Info->Parameters[p].Default && *Info->Parameters[p].Default == Values[p]) continue;
        if (!parameters.empty()) parameters += ',';
        parameters += Info->Parameters[p].Name;
        parameters += '=';
        parameters += FormatNumber(Values[p]);
    }
    return parameters.empty() ? Info->Name : Info->Name + ":" + parameters;
}

namespace {

// Parameters added after keys and rows were first written with their method: at their default
// they are left out of the parameter text, so that what was written before them (keys, rows,
// the method line of `embed`) reads, and is written, as it was.
bool LeftOutAtDefault(const Parameter& parameter, double value) {
    const std::string_view name(parameter.Name);
    return (name == "ecc" || name == "divisor") && parameter.Default && *parameter.Default == value;
}

}  // namespace

std::string MethodSpec::Parameters() const {
    // A declared method's own text comes first, then its described parameters.
    std::string text = Extra;
    for (std::size_t p = 0; p < Info->Parameters.size(); ++p) {
        if (LeftOutAtDefault(Info->Parameters[p], Values[p])) continue;
        if (!text.empty()) text += ',';
        text += Info->Parameters[p].Name;
        text += '=';
        text += FormatNumber(Values[p]);
    }
    return text;
}

double MethodSpec::Value(std::string_view parameter) const {
    for (std::size_t p = 0; p < Info->Parameters.size(); ++p)
        if (parameter == Info->Parameters[p].Name) return Values[p];
    throw ArgumentError(Info->Name + " has no parameter '" + std::string(parameter) + "'");
}

const Parameter* MethodSpec::StrengthParameter() const {
    const std::string& strength = Info->Capabilities.Strength;
    if (strength.empty()) return nullptr;
    for (const Parameter& p : Info->Parameters)
        if (strength == p.Name) return &p;
    return nullptr;
}

std::optional<double> MethodSpec::Strength() const {
    if (StrengthParameter() == nullptr) return std::nullopt;
    return Value(Info->Capabilities.Strength);
}

std::optional<double> MethodSpec::WrittenStrength() const {
    const Parameter* strength = StrengthParameter();
    if (strength == nullptr) return std::nullopt;
    const double value = Value(Info->Capabilities.Strength);
    if (LeftOutAtDefault(*strength, value)) return std::nullopt;
    return value;
}

MethodSpec MethodSpec::WithStrength(double value) const {
    const Parameter* strength = StrengthParameter();
    if (strength == nullptr) throw ArgumentError(Info->Name + " has no strength parameter");
    if (const std::optional<std::string> why = CheckParameterValue(*strength, value))
        throw ArgumentError(Info->Name + ": " + strength->Name + "=" + FormatNumber(value) + " " + *why + " (" +
                            AcceptedValues(*strength) + ")");
    MethodSpec described = *this;
    for (std::size_t p = 0; p < Info->Parameters.size(); ++p)
        if (&Info->Parameters[p] == strength) described.Values[p] = value;
    return described;
}

int MethodSpec::PayloadBits() const {
    if (Info->Capabilities.PayloadBits == 0) return 0;
    if (const int t = detail::EccOf(*this); t > 0) return detail::MessageBitsOf(t);
    for (std::size_t p = 0; p < Info->Parameters.size(); ++p)
        if (std::string_view(Info->Parameters[p].Name) == "bits") return static_cast<int>(Values[p]);
    return Info->Capabilities.PayloadBits;
}

const MethodRegistry& MethodRegistry::BuiltIn() {
    static const MethodRegistry registry = [] {
        MethodRegistry r;
        r.Add(detail::PolarityEntry());
        r.Add(detail::SpreadSpectrumEntry());
        r.Add(detail::QimEntry());
        r.Add(detail::StdmEntry());
        r.Add(detail::RdmEntry());
        r.Add(detail::SpreadSpectrumSyncEntry());
        return r;
    }();
    return registry;
}

void MethodRegistry::Add(std::shared_ptr<const MethodInfo> entry) {
    if (Find(entry->Name) != nullptr)
        throw ArgumentError("two methods are named '" + entry->Name + "' (the rows and keys name a method by its name)");
    entries_.push_back(std::move(entry));
}

std::shared_ptr<const MethodInfo> MethodRegistry::Find(std::string_view name) const {
    for (const auto& entry : entries_) {
        if (name == entry->Name) return entry;
        for (const std::string& alias : entry->Aliases)
            if (name == alias) return entry;
    }
    return nullptr;
}

MethodSpec DefaultsOf(std::shared_ptr<const MethodInfo> entry) {
    MethodSpec described;
    described.Info = std::move(entry);
    for (const Parameter& p : described.Info->Parameters) described.Values.push_back(*p.Default);
    return described;
}

MethodSpec DefaultMethod() { return MethodRegistry::BuiltIn().Defaults(kPolarityMethod); }

MethodSpec MethodRegistry::Defaults(std::string_view name) const {
    std::shared_ptr<const MethodInfo> info = Find(name);
    if (info == nullptr)
        throw ArgumentError("unknown method '" + std::string(name) + "' (known: " + NamesOf(entries_) + ")" +
                            NearestNames(name, entries_));
    return DefaultsOf(std::move(info));
}

MethodSpec MethodRegistry::Parse(std::string_view text) const {
    const std::string whole(text);
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    if (Find(name) == nullptr)
        throw ArgumentError("'" + whole + "': unknown method '" + std::string(name) + "' (known: " + NamesOf(entries_) +
                            ")" + NearestNames(name, entries_));
    MethodSpec described = Defaults(name);
    const MethodInfo& info = *described.Info;
    if (colon == std::string_view::npos) return described;
    std::vector<bool> given(info.Parameters.size(), false);
    std::string_view rest = text.substr(colon + 1);
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos)
            throw ArgumentError("'" + whole + "': '" + std::string(item) + "' is not name=value");
        const std::string_view parameter = item.substr(0, equals);
        const std::string_view value = item.substr(equals + 1);
        std::size_t p = 0;
        while (p < info.Parameters.size() && parameter != info.Parameters[p].Name) ++p;
        if (p == info.Parameters.size()) {
            std::string known;
            for (const Parameter& a : info.Parameters) {
                if (!known.empty()) known += ", ";
                known += a.Name;
            }
            throw ArgumentError("'" + whole + "': " + info.Name + " has no parameter '" + std::string(parameter) + "'" +
                                (known.empty() ? " (it has none)" : " (it has " + known + ")"));
        }
        if (given[p]) throw ArgumentError("'" + whole + "': " + std::string(parameter) + " is given twice");
        given[p] = true;
        const std::optional<double> number = ParsePlainNumber(value);
        if (!number)
            throw ArgumentError("'" + whole + "': " + std::string(parameter) + "=" + std::string(value) +
                                " is not a number (" + AcceptedValues(info.Parameters[p]) + ")");
        if (const std::optional<std::string> why = CheckParameterValue(info.Parameters[p], *number))
            throw ArgumentError("'" + whole + "': " + std::string(parameter) + "=" + std::string(value) + " " + *why +
                                " (" + AcceptedValues(info.Parameters[p]) + ")");
        described.Values[p] = *number;
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return described;
}

MethodSpec MethodRegistry::SpecOf(const MethodKey& key) const {
    MethodSpec chosen = Defaults(key.Method);
    // The described parameters are read as a method list gives them; what no description holds
    // (a Python object's own parameters) is kept as it is.
    std::string described;
    std::string_view rest = key.Parameters;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::string_view name = item.substr(0, item.find('='));
        bool known = false;
        for (const Parameter& p : chosen.Info->Parameters) known = known || name == p.Name;
        std::string& into = known ? described : chosen.Extra;
        if (!into.empty()) into += ',';
        into += item;
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    const std::string extra = chosen.Extra;
    chosen = Parse(described.empty() ? key.Method : key.Method + ":" + described);
    chosen.Extra = extra;
    return chosen;
}

MethodKey MethodRegistry::ReadKey(std::span<const std::uint8_t> bytes, const std::string& name) const {
    // Formats 1 and 2 are the polarity method's; formats 3 and 4 name their method and its
    // parameters, and the method so described reads the rest.
    MethodSpec chosen;
    if (HoldsMethodRecord(bytes)) {
        const MethodKey envelope = DecodeMethodKey(bytes, name);
        if (Find(envelope.Method) == nullptr)
            throw ArgumentError("'" + name + "' names a method this program cannot read (unknown method '" +
                                envelope.Method + "' (known: " + NamesOf(entries_) + "))");
        // Parameters its own method does not take were not written by it: the key is damaged.
        try {
            chosen = SpecOf(envelope);
        } catch (const ArgumentError& e) {
            throw FormatError("'" + name + "' is damaged (its parameters are not those of " + envelope.Method + ": " +
                              e.what() + ")");
        }
    } else {
        chosen = Defaults(kPolarityMethod);
    }
    return MakeMethod(chosen)->KeyFromBytes(bytes, name);
}

MethodKey MethodRegistry::LoadKey(const std::filesystem::path& path) const {
    return ReadKey(ReadKeyFile(path), path.string());
}

std::vector<std::uint8_t> MethodRegistry::KeyBytes(const MethodKey& key) const {
    return MakeMethod(SpecOf(key))->KeyToBytes(key);
}

void MethodRegistry::SaveKey(const std::filesystem::path& path, const MethodKey& key) const {
    WriteFileAtomically(path, KeyBytes(key));
}

std::shared_ptr<const MethodInfo> DeclaredEntry(
    const MethodDeclaration& declared, std::function<std::unique_ptr<WatermarkMethod>(const MethodSpec&)> make) {
    if (declared.Name.empty() || declared.Name.size() > kMaxMethodNameBytes ||
        declared.Name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") !=
            std::string::npos)
        throw ArgumentError("the method name '" + declared.Name + "' is not a word of letters, digits, - _ and . (at most " +
                            std::to_string(kMaxMethodNameBytes) + ")");
    if (MethodRegistry::BuiltIn().Find(declared.Name) != nullptr)
        throw ArgumentError("'" + declared.Name + "' is the name of a built-in method");
    auto info = std::make_shared<MethodInfo>();
    info->Name = declared.Name;
    if (declared.Strength) info->Parameters.push_back(*declared.Strength);
    info->Capabilities.Blind = true;
    info->Capabilities.PayloadBits = declared.PayloadBits;
    if (declared.Strength) info->Capabilities.Strength = declared.Strength->Name;
    info->Summary = declared.Summary;
    info->Thresholds = declared.Thresholds;
    info->Make = std::move(make);
    return info;
}

std::vector<std::uint8_t> DeclaredMethod::KeyToBytes(const MethodKey& key) const { return EncodeMethodKey(key); }

MethodKey DeclaredMethod::KeyFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) const {
    MethodKey key = DecodeMethodKey(bytes, name);
    if (key.Payload.size() != static_cast<std::size_t>(PayloadBits()))
        throw FormatError("'" + name + "' is damaged (it holds " + std::to_string(key.Payload.size()) +
                          " payload bits; " + Name() + " carries " + std::to_string(PayloadBits()) + ")");
    return key;
}

void DeclaredMethod::CheckPayload(const MethodPayload& payload) const {
    if (payload.Bits.size() != static_cast<std::size_t>(PayloadBits()))
        throw ArgumentError(Fail("embeds " + std::to_string(PayloadBits()) + " payload bits, not " +
                                 std::to_string(payload.Bits.size())));
}

MethodSpec ParseMethodSpec(std::string_view text) { return MethodRegistry::BuiltIn().Parse(text); }

std::unique_ptr<WatermarkMethod> MakeMethod(const MethodSpec& described) { return described.Info->Make(described); }

std::vector<std::uint8_t> PayloadFromSeed(std::uint32_t seed, int bits) {
    RandomStream stream(static_cast<std::uint64_t>(seed) ^ kPayloadStream);
    const std::uint64_t word = stream.Next();
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(bits));
    for (int b = 0; b < bits; ++b) payload[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>((word >> b) & 1u);
    return payload;
}

std::string PayloadHex(std::span<const std::uint8_t> bits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        int digit = 0;
        for (std::size_t b = 0; b < 4; ++b) digit = digit * 2 + (i + b < bits.size() ? bits[i + b] : 0);
        text += kDigits[digit];
    }
    return text;
}

std::vector<std::uint8_t> ParsePayloadHex(std::string_view text, int bits) {
    const std::size_t digits = (static_cast<std::size_t>(bits) + 3) / 4;
    if (text.size() != digits)
        throw ArgumentError("payload '" + std::string(text) + "': " + std::to_string(bits) + " bits are " +
                            std::to_string(digits) + " hexadecimal digits");
    std::vector<std::uint8_t> out;
    for (const char c : text) {
        int value = 0;
        if (c >= '0' && c <= '9') value = c - '0';
        else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
        else throw ArgumentError("payload '" + std::string(text) + "': '" + std::string(1, c) + "' is not a hexadecimal digit");
        for (int b = 3; b >= 0; --b) out.push_back(static_cast<std::uint8_t>((value >> b) & 1));
    }
    for (std::size_t i = static_cast<std::size_t>(bits); i < out.size(); ++i)
        if (out[i] != 0)
            throw ArgumentError("payload '" + std::string(text) + "' has bits set beyond its " + std::to_string(bits));
    out.resize(static_cast<std::size_t>(bits));
    return out;
}

double BitAccuracy(std::span<const std::uint8_t> read, std::span<const std::uint8_t> embedded) {
    if (read.size() != embedded.size() || read.empty())
        throw ArgumentError("bit accuracy: " + std::to_string(read.size()) + " bits read against " +
                            std::to_string(embedded.size()) + " embedded");
    std::size_t right = 0;
    for (std::size_t b = 0; b < read.size(); ++b) right += read[b] == embedded[b] ? 1 : 0;
    return static_cast<double>(right) / static_cast<double>(read.size());
}

void CheckTargetPsnr(double decibels) {
    if (!(decibels >= kLowestTargetPsnr && decibels <= kHighestTargetPsnr))
        throw ArgumentError("a target PSNR of " + FormatNumber(decibels) + " dB is outside " +
                            FormatNumber(kLowestTargetPsnr) + ".." + FormatNumber(kHighestTargetPsnr));
}

namespace {

// Strengths of four significant digits: rows and reports show them whole, and the PSNR moves by
// less than a thousandth of a decibel for it. A parameter of whole numbers takes the nearest.
double FourDigits(double value, const Parameter& parameter) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4);
    double back = value;
    std::from_chars(text, written.ptr, back);
    if (parameter.Whole) back = RoundHalfEven(back);
    return std::clamp(back, parameter.Lowest, parameter.Highest);
}

// The mean squared error per byte of R, G and B at `decibels`.
double SquaredErrorAt(double decibels) { return 65025 / PortablePow(10.0, decibels / 10); }

// The search with a probe. The PSNR follows from the change's energy: the transform is
// orthonormal, so the energy of the change of the band coefficients is that of the luminance,
// and each of R, G and B takes the luminance's change. Rounding to bytes adds a little, and
// clipping at 0 and 255 takes some away, so the prediction is scaled by what each pass over the
// picture found: actual squared error over predicted. Returns the strength whose PSNR lies
// nearest the target, or nothing where no pass came within 0.05 dB (the caller then searches
// by marking). The energy grows with the strength, whatever the method's parameter means.
std::optional<double> SearchByEnergy(const WatermarkMethod& method, const Parameter& parameter,
                                     const StrengthProbe& probe, double targetDecibels) {
    const double pixels = probe.Pixels();
    const double wanted = SquaredErrorAt(targetDecibels);
    // The strength at which ratio * energy / pixels is the wanted squared error: the energy
    // grows about as the square of the strength, so each step scales by the square root of the
    // shortfall; a step outside the bracket found so far goes to its geometric middle.
    auto solve = [&](double ratio, double from) {
        double low = parameter.Lowest, high = parameter.Highest;
        double strength = from;
        for (int step = 0; step < 60; ++step) {
            const double predicted = ratio * probe.Energy(strength) / pixels;
            if (predicted == wanted) break;
            if (predicted < wanted) low = strength;
            else high = strength;
            double next = predicted > 0 ? strength * std::sqrt(wanted / predicted) : strength * 4;
            if (!(next > low && next < high)) next = std::sqrt(low * high);
            if (std::fabs(next - strength) <= strength * 1e-9) break;
            strength = next;
        }
        return strength;
    };
    constexpr double kClose = 0.005;  // dB: below a tenth of what the generic search settles for
    double ratio = 1;
    double strength = std::clamp(*method.Strength(), parameter.Lowest, parameter.Highest);
    std::optional<double> best;
    double bestError = std::numeric_limits<double>::infinity();
    // The passes that bracket the target: above it at `below` (a weaker change), under it at
    // `above`. A prediction outside the bracket is replaced by the point that the two passes'
    // PSNRs, straight against the logarithm of the strength, put at the target.
    double below = 0, above = 0, psnrBelow = 0, psnrAbove = 0;
    for (int pass = 0; pass < 6; ++pass) {
        double guess = solve(ratio, strength);
        if (below > 0 && above > 0 && !(guess > std::min(below, above) && guess < std::max(below, above))) {
            const double t = (psnrBelow - targetDecibels) / (psnrBelow - psnrAbove);
            guess = below * PortablePow(above / below, t);
        }
        const double next = FourDigits(guess, parameter);
        if (pass > 0 && next == strength) break;  // no other strength of four digits is nearer
        strength = next;
        const double psnr = probe.Psnr(strength);
        const double error = std::fabs(psnr - targetDecibels);
        if (error < bestError) {
            best = strength;
            bestError = error;
        }
        if (error <= kClose) break;
        if (psnr > targetDecibels) {
            below = strength;
            psnrBelow = psnr;
        } else {
            above = strength;
            psnrAbove = psnr;
        }
        const double energy = probe.Energy(strength);
        if (std::isinf(psnr) || !(energy > 0)) break;
        ratio = SquaredErrorAt(psnr) / (energy / pixels);
    }
    if (bestError <= 0.05) return best;
    return std::nullopt;
}

// The search that marks the whole picture at every strength it tries.
std::unique_ptr<WatermarkMethod> SearchByMarking(const WatermarkMethod& method, const Parameter* parameter,
                                                 const ImageView& host, const MethodPayload& payload,
                                                 std::uint32_t seed, double targetDecibels) {
    constexpr double kTolerance = 0.1;
    auto psnrAt = [&](double strength) { return method.WithStrength(strength)->Embed(host, payload, seed).Psnr; };
    auto rounded = [&](double value) { return FourDigits(value, *parameter); };
    // Most methods' PSNR falls by 20 dB per decade of strength (the change is proportional to
    // it), so each guess is the strength that this law puts at the target from the last one; a
    // guess outside the bracket found so far is replaced by the bracket's geometric middle
    // (bisection). Whether the PSNR falls or rises with the parameter is read from the first two
    // tries: where it rises (a divisor), the bracket's sides swap and each guess is the secant
    // through the last two tries in PSNR against the logarithm of the strength, which needs no
    // law. Where the first two tries give the same PSNR (a stretch where the parameter changes no
    // byte) the third goes a hundredfold the other way.
    double low = parameter->Lowest;    // the strength on the side of PSNRs above the target, when it falls
    double high = parameter->Highest;  // ... below the target
    bool lowKnown = false, highKnown = false;
    std::optional<bool> rises;
    double strength = std::clamp(*method.Strength(), low, high);
    double best = strength;
    double bestPsnr = 0;
    double bestError = std::numeric_limits<double>::infinity();
    std::vector<std::pair<double, double>> tried;  // strength, PSNR
    for (int round = 0; round < 60; ++round) {
        const double psnr = psnrAt(strength);
        tried.emplace_back(strength, psnr);
        const double error = std::fabs(psnr - targetDecibels);
        if (error < bestError) {
            best = strength;
            bestPsnr = psnr;
            bestError = error;
        }
        if (error <= kTolerance / 2) break;
        if (!rises && tried.size() >= 2 && std::isfinite(psnr) && std::isfinite(tried.front().second) &&
            psnr != tried.front().second) {
            const auto& [s0, p0] = tried.front();
            rises = (strength > s0) == (psnr > p0);
            if (*rises) {
                // The sides found so far were taken for a falling PSNR: find them again.
                low = parameter->Lowest;
                high = parameter->Highest;
                lowKnown = highKnown = false;
                for (const auto& [s, p] : tried) {
                    if (p > targetDecibels) {
                        high = std::min(high, s);
                        highKnown = true;
                    } else {
                        low = std::max(low, s);
                        lowKnown = true;
                    }
                }
            }
        }
        double next = 0;
        if (!rises || !*rises) {
            if (psnr > targetDecibels) {
                low = strength;
                lowKnown = true;
            } else {
                high = strength;
                highKnown = true;
            }
            if (low == parameter->Highest || high == parameter->Lowest) break;  // the range's end is not enough
            if (!rises && tried.size() == 2 && std::isfinite(psnr) && psnr == tried.front().second) {
                const double s0 = tried.front().first;
                next = strength > s0 ? s0 / 100 : s0 * 100;
                low = parameter->Lowest;
                high = parameter->Highest;
                lowKnown = highKnown = false;
            } else {
                next = std::isinf(psnr) ? strength * 4 : strength * PortablePow(10.0, (psnr - targetDecibels) / 20);
            }
        } else {
            if (psnr > targetDecibels) {
                high = std::min(high, strength);
                highKnown = true;
            } else {
                low = std::max(low, strength);
                lowKnown = true;
            }
            if (high == parameter->Lowest || low == parameter->Highest) break;  // the range's end is not enough
            const auto& [sa, pa] = tried[tried.size() - 2];
            next = -1;
            if (std::isfinite(psnr) && std::isfinite(pa) && psnr != pa && strength != sa) {
                const double slope = (psnr - pa) / (std::log(strength) - std::log(sa));
                if (slope > 0) next = std::exp(std::log(strength) + (targetDecibels - psnr) / slope);
            }
        }
        if (!(next > low && next < high)) {
            // Outside the bracket: its middle, or the range's end while that side is not known.
            if (next >= high) next = highKnown ? std::sqrt(low * high) : high;
            else next = lowKnown ? std::sqrt(low * high) : low;
        }
        next = rounded(next);
        // Whole steps: a guess rounded onto the bracket's end (or the last try) while whole
        // values lie between them takes the middle one instead.
        if (parameter->Whole && lowKnown && highKnown && high - low > 1 && (next <= low || next >= high || next == strength))
            next = std::clamp(RoundHalfEven(std::sqrt(low * high)), low + 1, high - 1);
        if (next == strength) break;
        strength = next;
    }
    // A parameter of whole numbers may have no value within the tolerance: the nearest of the
    // two neighbours that bracket the target is what its steps allow.
    const bool between = lowKnown && highKnown && parameter->Whole && high - low <= 1;
    if (bestError > kTolerance && !between)
        throw ArgumentError("no " + std::string(parameter->Name) + " of " + method.Name() + " (" +
                            AcceptedValues(*parameter) + ") gives an embedding PSNR of " +
                            FormatNumber(targetDecibels) + " dB on this host within 0.1 dB (the nearest: " +
                            FormatNumber(std::round(bestPsnr * 100) / 100) + " dB at " +
                            FormatNumber(best) + ")");
    return method.WithStrength(best);
}

const Parameter& StrengthOf(const WatermarkMethod& method, double targetDecibels) {
    CheckTargetPsnr(targetDecibels);
    const Parameter* parameter = method.StrengthParameter();
    if (!parameter) throw ArgumentError(method.Name() + " has no strength parameter to set a PSNR with");
    return *parameter;
}

}  // namespace

std::unique_ptr<WatermarkMethod> FindStrength(const WatermarkMethod& method, const ImageView& host,
                                              const MethodPayload& payload, std::uint32_t seed,
                                              double targetDecibels) {
    const Parameter& parameter = StrengthOf(method, targetDecibels);
    if (const std::unique_ptr<StrengthProbe> probe = method.ProbeStrength(host, payload, seed))
        if (const std::optional<double> found = SearchByEnergy(method, parameter, *probe, targetDecibels))
            return method.WithStrength(*found);
    return SearchByMarking(method, &parameter, host, payload, seed, targetDecibels);
}

MarkedAtPsnr MarkAtPsnr(const WatermarkMethod& method, const ImageView& host, const MethodPayload& payload,
                        std::uint32_t seed, double targetDecibels) {
    const Parameter& parameter = StrengthOf(method, targetDecibels);
    MarkedAtPsnr out;
    if (const std::unique_ptr<StrengthProbe> probe = method.ProbeStrength(host, payload, seed))
        if (const std::optional<double> found = SearchByEnergy(method, parameter, *probe, targetDecibels)) {
            out.Method = method.WithStrength(*found);
            out.Marked = probe->Mark(*found);
            return out;
        }
    out.Method = SearchByMarking(method, &parameter, host, payload, seed, targetDecibels);
    out.Marked = out.Method->Embed(host, payload, seed);
    return out;
}

}  // namespace quillfen
