// The catalogue of methods, methods as users describe them, payloads, and the search for a
// strength at a target PSNR.
#include "quillfen/methods/method.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "blind_methods.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/portable_math.h"
#include "quillfen/watermark/detection_thresholds.h"

namespace quillfen {

namespace {

constexpr std::uint64_t kPayloadStream = 0x5041594C4F414403ULL;

AttackParameter Parameter(const char* name, double lowest, double highest, bool whole, double fallback,
                          const char* meaning) {
    return {name, lowest, highest, whole, false, fallback, meaning};
}

std::vector<MethodInfo> BuildCatalogue() {
    return {
        {kPolarityMethod,
         {},
         {false, 0, nullptr, true},
         "the laboratory's method: a 128 x 128 mark in the polarity of mid-band 8 x 8 block-DCT coefficient pairs of "
         "the top-left 256 x 256; the key keeps the host's polarity map (not blind), zero-bit, fixed strength",
         kDefaultThreshold1e3, kDefaultThreshold1e6},
        {"spread-spectrum",
         {Parameter("strength", 0.1, 100, false, 4,
                    "root mean square of the change of each mid-band coefficient, in gray levels"),
          Parameter("bits", 1, 64, true, 64, "payload bits")},
         {true, 64, "strength", false},
         "additive spread spectrum after Cox, Kilian, Leighton and Shamoon (1997): one key-seeded +-1 sequence per "
         "payload bit over the mid-band 8 x 8 block-DCT coefficients of the whole picture, blind correlation",
         0.023499664735325446, 0.0345594814434048},
        {"qim",
         {Parameter("step", 0.5, 400, false, 16, "quantisation step of the mid-band coefficients, in gray levels"),
          Parameter("bits", 1, 64, true, 64, "payload bits")},
         {true, 64, "step", false},
         "dither-modulation quantisation index modulation after Chen and Wornell (2001): mid-band 8 x 8 block-DCT "
         "coefficients of the whole picture quantised to the lattice of their bit, key-seeded dither, soft decoding",
         0.012875120124725262, 0.019773425352844713},
    };
}

// A plain decimal number as attack lists write them: an optional "-", digits with at most one
// ".", no "+" and no exponent.
std::optional<double> PlainNumber(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789.") != std::string_view::npos ||
        digits.find('.') != digits.rfind('.') || digits == ".")
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

const std::vector<MethodInfo>& MethodCatalogue() {
    static const std::vector<MethodInfo> catalogue = BuildCatalogue();
    return catalogue;
}

const MethodInfo* FindMethod(std::string_view name) {
    for (const MethodInfo& info : MethodCatalogue())
        if (name == info.Name) return &info;
    return nullptr;
}

const MethodInfo& MethodSpec::Info() const {
    const MethodInfo* info = FindMethod(Method);
    if (info == nullptr) throw ArgumentError("unknown method '" + Method + "'");
    return *info;
}

std::string MethodSpec::Name() const {
    const MethodInfo& info = Info();
    std::string text = Method;
    std::string parameters;
    for (std::size_t p = 0; p < info.Parameters.size(); ++p) {
        if (info.Parameters[p].Default && *info.Parameters[p].Default == Values[p]) continue;
        if (!parameters.empty()) parameters += ',';
        parameters += info.Parameters[p].Name;
        parameters += '=';
        parameters += FormatAttackNumber(Values[p]);
    }
    return parameters.empty() ? text : text + ":" + parameters;
}

std::string MethodSpec::Parameters() const {
    const MethodInfo& info = Info();
    std::string text;
    for (std::size_t p = 0; p < info.Parameters.size(); ++p) {
        if (!text.empty()) text += ',';
        text += info.Parameters[p].Name;
        text += '=';
        text += FormatAttackNumber(Values[p]);
    }
    return text;
}

double MethodSpec::Value(std::string_view parameter) const {
    const MethodInfo& info = Info();
    for (std::size_t p = 0; p < info.Parameters.size(); ++p)
        if (parameter == info.Parameters[p].Name) return Values[p];
    throw ArgumentError(Method + " has no parameter '" + std::string(parameter) + "'");
}

std::optional<double> MethodSpec::Strength() const {
    const char* strength = Info().Capabilities.Strength;
    if (strength == nullptr) return std::nullopt;
    return Value(strength);
}

MethodSpec MethodSpec::WithStrength(double value) const {
    const MethodInfo& info = Info();
    if (info.Capabilities.Strength == nullptr) throw ArgumentError(Method + " has no strength parameter");
    MethodSpec described = *this;
    for (std::size_t p = 0; p < info.Parameters.size(); ++p)
        if (std::string_view(info.Parameters[p].Name) == info.Capabilities.Strength) {
            if (const std::optional<std::string> why = CheckParameterValue(info.Parameters[p], value))
                throw ArgumentError(Method + ": " + info.Parameters[p].Name + "=" + FormatAttackNumber(value) + " " +
                                    *why + " (" + AcceptedValues(info.Parameters[p]) + ")");
            described.Values[p] = value;
        }
    return described;
}

int MethodSpec::PayloadBits() const {
    const MethodInfo& info = Info();
    if (info.Capabilities.PayloadBits == 0) return 0;
    return static_cast<int>(Value("bits"));
}

MethodSpec DefaultMethodSpec(std::string_view name) {
    const MethodInfo* info = FindMethod(name);
    if (info == nullptr) throw ArgumentError("unknown method '" + std::string(name) + "'");
    MethodSpec described;
    described.Method = info->Name;
    for (const AttackParameter& p : info->Parameters) described.Values.push_back(*p.Default);
    return described;
}

MethodSpec ParseMethodSpec(std::string_view text) {
    const std::string whole(text);
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const MethodInfo* info = FindMethod(name);
    if (info == nullptr) {
        std::string known;
        for (const MethodInfo& m : MethodCatalogue()) {
            if (!known.empty()) known += ", ";
            known += m.Name;
        }
        throw ArgumentError("'" + whole + "': unknown method '" + std::string(name) + "' (known: " + known + ")");
    }
    MethodSpec described = DefaultMethodSpec(name);
    if (colon == std::string_view::npos) return described;
    std::vector<bool> given(info->Parameters.size(), false);
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
        while (p < info->Parameters.size() && parameter != info->Parameters[p].Name) ++p;
        if (p == info->Parameters.size()) {
            std::string known;
            for (const AttackParameter& a : info->Parameters) {
                if (!known.empty()) known += ", ";
                known += a.Name;
            }
            throw ArgumentError("'" + whole + "': " + info->Name + " has no parameter '" + std::string(parameter) + "'" +
                                (known.empty() ? " (it has none)" : " (it has " + known + ")"));
        }
        if (given[p]) throw ArgumentError("'" + whole + "': " + std::string(parameter) + " is given twice");
        given[p] = true;
        const std::optional<double> number = PlainNumber(value);
        if (!number)
            throw ArgumentError("'" + whole + "': " + std::string(parameter) + "=" + std::string(value) +
                                " is not a number (" + AcceptedValues(info->Parameters[p]) + ")");
        if (const std::optional<std::string> why = CheckParameterValue(info->Parameters[p], *number))
            throw ArgumentError("'" + whole + "': " + std::string(parameter) + "=" + std::string(value) + " " + *why +
                                " (" + AcceptedValues(info->Parameters[p]) + ")");
        described.Values[p] = *number;
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return described;
}

MethodSpec SpecFromKey(const MethodKeyRecord& key) {
    return ParseMethodSpec(key.Parameters.empty() ? key.Method : key.Method + ":" + key.Parameters);
}

void CheckKeyRecord(const MethodKeyRecord& key, const std::string& name) {
    if (FindMethod(key.Method) == nullptr) return;
    MethodSpec spec;
    try {
        spec = SpecFromKey(key);
    } catch (const ArgumentError& e) {
        throw FormatError("'" + name + "' is damaged (its parameters are not those of " + key.Method + ": " + e.what() +
                          ")");
    }
    const int bits = spec.PayloadBits();
    if (static_cast<std::size_t>(bits) != key.Payload.size())
        throw FormatError("'" + name + "' is damaged (it holds " + std::to_string(key.Payload.size()) +
                          " payload bits, and its parameters, " + (key.Parameters.empty() ? "none" : key.Parameters) +
                          ", say " + std::to_string(bits) + ")");
}

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

MethodKey MethodKey::From(const AnyKey& key) {
    MethodKey out;
    out.Polarity = key.Polarity;
    out.Blind = key.Method;
    return out;
}

std::optional<AttackParameter> detail::CatalogueMethod::StrengthParameter() const {
    const MethodInfo& info = spec_.Info();
    if (info.Capabilities.Strength == nullptr) return std::nullopt;
    for (const AttackParameter& p : info.Parameters)
        if (std::string_view(p.Name) == info.Capabilities.Strength) return p;
    return std::nullopt;
}

std::unique_ptr<WatermarkMethod> detail::CatalogueMethod::WithStrength(double value) const {
    return MakeMethod(spec_.WithStrength(value));
}

MethodCapabilities DeclaredMethod::Capabilities() const {
    return {true, declared_->PayloadBits, declared_->Strength ? declared_->Strength->Name : nullptr, false};
}

std::unique_ptr<WatermarkMethod> DeclaredMethod::WithStrength(double value) const {
    if (!declared_->Strength) throw ArgumentError(declared_->Name + " has no strength parameter");
    if (const std::optional<std::string> why = CheckParameterValue(*declared_->Strength, value))
        throw ArgumentError(declared_->Name + ": strength " + FormatAttackNumber(value) + " " + *why);
    return AtStrength(value);
}

std::unique_ptr<WatermarkMethod> MakeMethod(const MethodSpec& described) {
    if (described.Method == kPolarityMethod) return detail::MakePolarity(described);
    if (described.Method == "spread-spectrum") return detail::MakeSpreadSpectrum(described);
    if (described.Method == "qim") return detail::MakeQim(described);
    throw ArgumentError("unknown method '" + described.Method + "'");
}

double GrayPsnr(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    if (a.size() != b.size() || a.empty()) throw ArgumentError("PSNR needs two pictures of one size");
    // Whole numbers throughout, so the sum is exact; the same value as PsnrDecibels for 256 x 256.
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int d = b[i] - a[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    const double mse = static_cast<double>(sum) / static_cast<double>(a.size());
    return -10 * std::log10(mse / 65025);
}

std::unique_ptr<WatermarkMethod> FindStrength(const WatermarkMethod& method, const Bitmap& host,
                                              const MethodPayload& payload, std::uint32_t seed,
                                              double targetDecibels) {
    const std::optional<AttackParameter> parameter = method.StrengthParameter();
    if (!parameter) throw ArgumentError(method.Name() + " has no strength parameter to set a PSNR with");
    constexpr double kTolerance = 0.1;
    auto psnrAt = [&](double strength) { return method.WithStrength(strength)->Embed(host, payload, seed).Psnr; };
    // Strengths of four significant digits: rows and reports show them whole, and the PSNR
    // moves by less than a thousandth of a decibel for it.
    auto rounded = [&](double value) {
        char text[32];
        const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4);
        double back = value;
        std::from_chars(text, written.ptr, back);
        return std::clamp(back, parameter->Lowest, parameter->Highest);
    };
    // The PSNR falls by 20 dB per decade of strength (the change is proportional to it), so each
    // guess is the strength that this law puts at the target from the last one; a guess outside
    // the bracket found so far is replaced by the bracket's geometric middle (bisection).
    double low = parameter->Lowest;    // below the target's strength: PSNR above the target
    double high = parameter->Highest;  // above it
    bool lowKnown = false, highKnown = false;
    double strength = std::clamp(*method.Strength(), low, high);
    double best = strength;
    double bestPsnr = 0;
    double bestError = std::numeric_limits<double>::infinity();
    for (int round = 0; round < 60; ++round) {
        const double psnr = psnrAt(strength);
        const double error = std::fabs(psnr - targetDecibels);
        if (error < bestError) {
            best = strength;
            bestPsnr = psnr;
            bestError = error;
        }
        if (error <= kTolerance / 2) break;
        if (psnr > targetDecibels) {
            low = strength;
            lowKnown = true;
        } else {
            high = strength;
            highKnown = true;
        }
        if (low == parameter->Highest || high == parameter->Lowest) break;  // the range's end is not enough
        double next = std::isinf(psnr) ? strength * 4 : strength * PortablePow(10.0, (psnr - targetDecibels) / 20);
        if (!(next > low && next < high)) {
            // Outside the bracket: its middle, or the range's end while that side is not known.
            if (next >= high) next = highKnown ? std::sqrt(low * high) : high;
            else next = lowKnown ? std::sqrt(low * high) : low;
        }
        next = rounded(next);
        if (next == strength) break;
        strength = next;
    }
    if (bestError > kTolerance)
        throw ArgumentError("no " + std::string(parameter->Name) + " of " + method.Name() + " (" +
                            AcceptedValues(*parameter) + ") gives an embedding PSNR of " +
                            FormatAttackNumber(targetDecibels) + " dB on this host within 0.1 dB (the nearest: " +
                            FormatAttackNumber(std::round(bestPsnr * 100) / 100) + " dB at " +
                            FormatAttackNumber(best) + ")");
    return method.WithStrength(best);
}

}  // namespace quillfen
