#include "quillfen/benchmark/robustness_rows.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"

namespace quillfen {

namespace {

using Json = nlohmann::json;

constexpr double kInf = std::numeric_limits<double>::infinity();
// Room for rounding in the last digits of a measure that is exactly at a bound in theory.
constexpr double kSlack = 1e-6;

const std::vector<RowField>& AllFields() {
    using F = RowFieldId;
    static const std::vector<RowField> fields = {
        {F::Host, "host", 0, 0, -1, true},
        {F::Seed, "seed", 0, 0, -1, true},
        {F::Attack, "attack", 0, 0, -1, true},
        {F::Width, "width", 0, 0, -1, false},
        {F::Height, "height", 0, 0, -1, false},
        {F::Region, "region", 0, 0, -1, false},
        {F::PsnrEmbed, "psnr_embed", 0, kInf, 2, true},
        {F::PsnrEmbedReals, "psnr_embed_reals", 0, kInf, 2, false},
        {F::SsimEmbed, "ssim_embed", -1, 1, 4, true},
        {F::PsnrY, "psnr_y", 0, kInf, 2, true},
        {F::Psnr, "psnr", 0, kInf, 2, true},
        {F::Ssim, "ssim", -1, 1, 4, true},
        {F::Nc, "nc", 0, 1, 4, true},
        {F::Ber, "ber", 0, 1, 4, true},
        {F::Score, "score", -1, 1, 4, true},
        {F::ScoreNull, "score_null", -1, 1, 4, true},
        {F::Detected1e3, "detected_1e-3", 0, 0, -1, true},
        {F::Detected1e6, "detected_1e-6", 0, 0, -1, true},
        {F::MethodParams, "method_params", 0, 0, -1, true},
        {F::Strength, "strength", 0, kInf, 4, true},
        {F::PayloadBits, "payload_bits", 0, 0, -1, true},
        {F::BitAccuracy, "bit_accuracy", 0, 1, 4, true},
        {F::MessageOk, "message_ok", 0, 0, -1, true},
        {F::PayloadMatch, "payload_match", 0, 0, -1, true},
        {F::Z, "z", -kInf, kInf, 2, true},
        {F::ZNull, "z_null", -kInf, kInf, 2, true},
        {F::Inverted, "inverted", 0, 0, -1, true},
        {F::ZRegistered, "z_registered", -kInf, kInf, 2, true},
        {F::RegistrationFit, "registration_fit", -1, 1, 4, true},
        {F::NcRegistered, "nc_registered", 0, 1, 4, true},
        {F::BerRegistered, "ber_registered", 0, 1, 4, true},
        {F::ScoreRegistered, "score_registered", -1, 1, 4, true},
        {F::Detected1e3Registered, "detected_1e-3_registered", 0, 0, -1, true},
        {F::Detected1e6Registered, "detected_1e-6_registered", 0, 0, -1, true},
        {F::Schema, "schema", 0, 0, -1, false},
        {F::Method, "method", 0, 0, -1, false},
        {F::HostDigest, "host_digest", 0, 0, -1, false},
        {F::MarkDigest, "mark_digest", 0, 0, -1, false},
        {F::CalibrationDigest, "calibration_digest", 0, 0, -1, false},
        {F::Error, "error", 0, 0, -1, true},
    };
    return fields;
}

bool IsRegistered(RowFieldId id) { return id >= RowFieldId::RegistrationFit && id <= RowFieldId::Detected1e6Registered; }
bool IsMethodField(RowFieldId id) { return id >= RowFieldId::MethodParams && id <= RowFieldId::ZRegistered; }
// Fields that schema 4 added (method fields): rows of earlier schemas have none of them.
bool IsIdentity(RowFieldId id) { return id >= RowFieldId::Schema && id <= RowFieldId::CalibrationDigest; }
// Fields that schema 3 added: rows of earlier schemas have none of them.
bool IsSchema3(RowFieldId id) { return id == RowFieldId::PsnrEmbedReals || id == RowFieldId::ScoreNull; }
// Fields that schema 4 added: what was marked, the luminance's PSNR, and the verdicts in units of
// the chance spread.
bool IsSchema4(RowFieldId id) {
    return id == RowFieldId::Width || id == RowFieldId::Height || id == RowFieldId::Region || id == RowFieldId::PsnrY ||
           (id >= RowFieldId::PayloadMatch && id <= RowFieldId::ZRegistered);
}
bool IsVerdict(RowFieldId id) {
    return id == RowFieldId::Detected1e3 || id == RowFieldId::Detected1e6 || id == RowFieldId::Detected1e3Registered ||
           id == RowFieldId::Detected1e6Registered;
}

// A JSON string literal; bytes that are not UTF-8 become U+FFFD rather than failing.
std::string JsonString(const std::string& text) {
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The text as a CSV cell may hold it: bytes that are not UTF-8 become U+FFFD, as in the JSON
// Lines, and so do control characters (terminal escapes, carriage returns, C1 codes), which
// JSON writes escaped and a CSV cell has no way to escape; line ends and tabs stay.
std::string CsvText(const std::string& text) {
    bool plain = true;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || (byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7F) {
            plain = false;
            break;
        }
    }
    if (plain) return text;
    const std::string valid = Json::parse(JsonString(text)).get<std::string>();
    static const std::string kReplacement = "\xEF\xBF\xBD";
    std::string out;
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto byte = static_cast<unsigned char>(valid[i]);
        if ((byte < 0x20 && valid[i] != '\n' && valid[i] != '\t') || byte == 0x7F) {
            out += kReplacement;
        } else if (byte == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) < 0xA0) {
            out += kReplacement;  // U+0080..U+009F
            ++i;
        } else {
            out += valid[i];
        }
    }
    return out;
}

std::string CsvField(const std::string& given) {
    const std::string text = CsvText(given);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonValue(const RowValue& v) {
    switch (v.Type) {
    case RowValue::Kind::Null: return "null";
    case RowValue::Kind::Text: return JsonString(v.Text);
    case RowValue::Kind::Whole: return std::to_string(v.Whole);
    case RowValue::Kind::Real: return std::isfinite(v.Real) ? FormatMeasure(v.Real) : "null";
    case RowValue::Kind::Flag: return v.Flag ? "true" : "false";
    }
    return "null";
}

std::string CsvValue(const RowValue& v) {
    switch (v.Type) {
    case RowValue::Kind::Null: return "";
    case RowValue::Kind::Text: return CsvField(v.Text);
    case RowValue::Kind::Whole: return std::to_string(v.Whole);
    case RowValue::Kind::Real:
        if (std::isinf(v.Real)) return v.Real > 0 ? "inf" : "-inf";
        return FormatMeasure(v.Real);
    case RowValue::Kind::Flag: return v.Flag ? "true" : "false";
    }
    return "";
}

RowValue Text(const std::string& text) {
    RowValue v;
    if (text.empty()) return v;
    v.Type = RowValue::Kind::Text;
    v.Text = text;
    return v;
}

RowValue Real(double value) {
    RowValue v;
    v.Type = RowValue::Kind::Real;
    v.Real = value;
    return v;
}

RowValue VerdictValue(const std::optional<bool>& verdict) {
    RowValue v;
    if (!verdict) return v;
    v.Type = RowValue::Kind::Flag;
    v.Flag = *verdict;
    return v;
}

double* MeasureOf(RobustnessRow& row, RowFieldId id) {
    switch (id) {
    case RowFieldId::PsnrEmbed: return &row.PsnrEmbed;
    case RowFieldId::SsimEmbed: return &row.SsimEmbed;
    case RowFieldId::Psnr: return &row.Psnr;
    case RowFieldId::Ssim: return &row.Ssim;
    case RowFieldId::Ber: return &row.Ber;
    case RowFieldId::Score: return &row.Score;
    default: return nullptr;
    }
}

// The found geometry's members as a row's "found" object names them, in order (the names
// `extract --json` uses).
struct FoundMember {
    const char* Name;
    double FoundGeometry::*Member;
    double Lowest;
    double Highest;
};
const std::vector<FoundMember>& FoundMembers() {
    static const std::vector<FoundMember> members = {
        {"rotation_degrees", &FoundGeometry::RotationDegrees, -180, 180},
        {"scale_x", &FoundGeometry::ScaleX, 0, kInf},
        {"scale_y", &FoundGeometry::ScaleY, 0, kInf},
        {"shear", &FoundGeometry::Shear, -kInf, kInf},
        {"shift_x", &FoundGeometry::ShiftX, -kInf, kInf},
        {"shift_y", &FoundGeometry::ShiftY, -kInf, kInf},
        {"peak", &FoundGeometry::Peak, -1, 1},
        {"false_alarm", &FoundGeometry::FalseAlarm, 0, 1},
    };
    return members;
}

std::string FoundJson(const FoundGeometry& found) {
    std::string text = "{";
    for (const FoundMember& m : FoundMembers()) {
        if (text.size() > 1) text += ',';
        text += '"';
        text += m.Name;
        text += "\":";
        const double v = found.*m.Member;
        text += std::isfinite(v) ? FormatMeasure(v) : "null";
    }
    return text + "}";
}

bool IsHexDigest(const std::string& text) {
    return text.size() == 16 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

std::vector<RowField> RowFields(bool registering, bool methods, bool coded) {
    std::vector<RowField> fields;
    for (const RowField& f : AllFields())
        if ((registering || (!IsRegistered(f.Id) && f.Id != RowFieldId::ZRegistered)) &&
            (methods || !IsMethodField(f.Id)) && (coded || f.Id != RowFieldId::MessageOk))
            fields.push_back(f);
    return fields;
}

RowValue FieldValue(const RobustnessRow& row, RowFieldId field) {
    const bool ok = !row.Failed();
    const std::optional<RegisteredReading>& g = ok ? row.Registered : std::nullopt;
    RowValue v;
    switch (field) {
    case RowFieldId::Host: return Text(row.Host);
    case RowFieldId::Seed:
        v.Type = RowValue::Kind::Whole;
        v.Whole = row.Seed;
        return v;
    case RowFieldId::Attack: return Text(row.Attack);
    case RowFieldId::Width:
    case RowFieldId::Height:
        if (!ok || row.Width == 0) return v;
        v.Type = RowValue::Kind::Whole;
        v.Whole = static_cast<std::uint64_t>(field == RowFieldId::Width ? row.Width : row.Height);
        return v;
    case RowFieldId::Region: return ok ? Text(row.Region) : v;
    case RowFieldId::PsnrY: return ok && row.PsnrY ? Real(*row.PsnrY) : v;
    case RowFieldId::PsnrEmbed: return ok ? Real(row.PsnrEmbed) : v;
    case RowFieldId::PsnrEmbedReals: return ok && row.PsnrEmbedReals ? Real(*row.PsnrEmbedReals) : v;
    case RowFieldId::SsimEmbed: return ok ? Real(row.SsimEmbed) : v;
    case RowFieldId::Psnr: return ok ? Real(row.Psnr) : v;
    case RowFieldId::Ssim: return ok ? Real(row.Ssim) : v;
    case RowFieldId::Nc: return ok && row.Nc ? Real(*row.Nc) : v;
    case RowFieldId::Ber: return ok ? Real(row.Ber) : v;
    case RowFieldId::Score: return ok ? Real(row.Score) : v;
    case RowFieldId::ScoreNull: return ok && row.ScoreNull ? Real(*row.ScoreNull) : v;
    case RowFieldId::Detected1e3: return ok ? VerdictValue(row.Detected1e3) : v;
    case RowFieldId::Detected1e6: return ok ? VerdictValue(row.Detected1e6) : v;
    case RowFieldId::MethodParams: return ok ? Text(row.MethodParams) : v;
    case RowFieldId::Strength: return ok && row.Strength ? Real(*row.Strength) : v;
    case RowFieldId::PayloadBits:
        if (!ok) return v;
        v.Type = RowValue::Kind::Whole;
        v.Whole = static_cast<std::uint64_t>(row.PayloadBits);
        return v;
    case RowFieldId::BitAccuracy: return ok && row.BitAccuracy ? Real(*row.BitAccuracy) : v;
    case RowFieldId::MessageOk: return ok ? VerdictValue(row.MessageOk) : v;
    case RowFieldId::PayloadMatch: return ok ? VerdictValue(row.PayloadMatch) : v;
    case RowFieldId::Z: return ok && row.Z ? Real(*row.Z) : v;
    case RowFieldId::ZNull: return ok && row.ZNull ? Real(*row.ZNull) : v;
    case RowFieldId::Inverted: return ok ? VerdictValue(row.Inverted) : v;
    case RowFieldId::ZRegistered: return g && g->Z ? Real(*g->Z) : v;
    case RowFieldId::RegistrationFit: return g ? Real(g->Fit) : v;
    case RowFieldId::NcRegistered: return g && g->Nc ? Real(*g->Nc) : v;
    case RowFieldId::BerRegistered: return g ? Real(g->Ber) : v;
    case RowFieldId::ScoreRegistered: return g ? Real(g->Score) : v;
    case RowFieldId::Detected1e3Registered: return g ? VerdictValue(g->Detected1e3) : v;
    case RowFieldId::Detected1e6Registered: return g ? VerdictValue(g->Detected1e6) : v;
    case RowFieldId::Schema:
        v.Type = RowValue::Kind::Whole;
        v.Whole = static_cast<std::uint64_t>(row.Identity.Schema);
        return v;
    case RowFieldId::Method: return Text(row.Identity.Method);
    case RowFieldId::HostDigest: return Text(row.Identity.HostDigest);
    case RowFieldId::MarkDigest: return Text(row.Identity.MarkDigest);
    case RowFieldId::CalibrationDigest: return Text(row.Identity.CalibrationDigest);
    case RowFieldId::Error: return Text(row.Error);
    }
    return v;
}

std::string FormatMeasure(double value) {
    if (value == 0) return "0";  // no "-0"
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : "null";
}

std::string RowJson(const RobustnessRow& row) {
    std::string line = "{";
    for (const RowField& f : RowFields(row.Registering, row.Methods, row.MessageOk.has_value())) {
        if (f.Id == RowFieldId::Error && !row.Failed()) continue;
        // A row read from a file of an earlier schema is written as it was.
        if (IsIdentity(f.Id) && row.Identity.Schema < 2) continue;
        if (IsSchema3(f.Id) && row.Identity.Schema < 3) continue;
        if (IsSchema4(f.Id) && row.Identity.Schema < 4) continue;
        if (line.size() > 1) line += ',';
        line += '"';
        line += f.Name;
        line += "\":";
        line += JsonValue(FieldValue(row, f.Id));
        // The digest of a method run as programs follows the other digests, on its rows alone,
        // so that the rows of every other method keep their bytes.
        if (f.Id == RowFieldId::CalibrationDigest && !row.Identity.MethodDigest.empty())
            line += ",\"method_digest\":" + JsonString(row.Identity.MethodDigest);
    }
    // The geometry a method that synchronises found, last, on its rows alone: every other
    // method's rows keep their bytes.
    if (row.Found && !row.Failed()) line += ",\"found\":" + FoundJson(*row.Found);
    return line + "}";
}

std::string CsvHeader(bool registering, bool methods, bool coded) {
    std::string header;
    for (const RowField& f : RowFields(registering, methods, coded)) {
        if (!header.empty()) header += ',';
        header += f.Name;
    }
    return header;
}

std::string RowCsv(const RobustnessRow& row, bool coded) {
    std::string line;
    bool first = true;
    // Appended piece by piece (GCC 12 warns falsely about "," + std::string).
    for (const RowField& f : RowFields(row.Registering, row.Methods, coded)) {
        if (!first) line += ',';
        first = false;
        line += CsvValue(FieldValue(row, f.Id));
    }
    return line;
}

std::string RowsJsonl(const std::vector<RobustnessRow>& rows) {
    std::string text;
    for (const RobustnessRow& row : rows) text += RowJson(row) + "\n";
    return text;
}

std::string RowsCsv(const std::vector<RobustnessRow>& rows, bool registering, bool methods) {
    bool coded = false;
    for (const RobustnessRow& row : rows) coded = coded || row.MessageOk.has_value();
    std::string text = CsvHeader(registering, methods, coded) + "\n";
    for (const RobustnessRow& row : rows) text += RowCsv(row, coded) + "\n";
    return text;
}

std::string RowHostName(const std::string& name) { return Json::parse(JsonString(name)).get<std::string>(); }

RobustnessRow ParseRowJson(std::string_view line, const std::string& where) {
    auto refuse = [&](const std::string& reason) { return FormatError(where + " is not a robustness row: " + reason); };
    Json j;
    try {
        j = Json::parse(line);
    } catch (const Json::exception&) {
        throw refuse("not a JSON object");
    }
    if (!j.is_object()) throw refuse("not a JSON object");
    auto quoted = [](const char* name) { return std::string("\"") + name + "\""; };
    // A measure as written, checked against its range.
    auto number = [&](const RowField& f) {
        const Json& v = j.at(f.Name);
        if (!v.is_number()) throw refuse(quoted(f.Name) + " is not a number");
        const double value = v.get<double>();
        if (value < f.Lowest - kSlack || value > f.Highest + kSlack)
            throw refuse(quoted(f.Name) + " is " + v.dump() +
                         (std::isinf(f.Highest) ? ", below " + FormatMeasure(f.Lowest)
                                                : ", outside " + FormatMeasure(f.Lowest) + ".." + FormatMeasure(f.Highest)));
        return value;
    };
    auto verdict = [&](const char* name) -> std::optional<bool> {
        const Json& v = j.at(name);
        if (v.is_null()) return std::nullopt;
        if (!v.is_boolean()) throw refuse(quoted(name) + " is not true, false or null");
        return v.get<bool>();
    };
    try {
        RobustnessRow row;
        row.Host = j.at("host").get<std::string>();
        // Checked before the conversion: nlohmann's own of a real like 1e60 is undefined behaviour.
        const Json& seed = j.at("seed");
        if (!seed.is_number_unsigned() || seed.get<std::uint64_t>() > 0xFFFFFFFFu)
            throw refuse("\"seed\" is not a whole number 0..4294967295");
        row.Seed = static_cast<std::uint32_t>(seed.get<std::uint64_t>());
        row.Attack = j.at("attack").get<std::string>();
        if (j.contains("error") && !j.at("error").is_null()) row.Error = j.at("error").get<std::string>();
        if (row.Error.empty() && j.contains("error")) throw refuse("an empty \"error\"");
        row.Registering = j.contains("score_registered");
        row.Methods = j.contains("method_params");
        for (const RowField& f : RowFields(false)) {
            if (f.Id == RowFieldId::Nc) {
                // A method without NC (only in a run that names its methods) writes null.
                if (!j.at(f.Name).is_null()) row.Nc = number(f);
                else if (!row.Failed() && !row.Methods) throw refuse(quoted(f.Name) + " is null");
                if (row.Failed()) row.Nc.reset();
                continue;
            }
            double* measure = MeasureOf(row, f.Id);
            if (measure == nullptr) continue;
            if (j.at(f.Name).is_null()) {
                // Only a PSNR may be infinite; a failed row has no measures.
                if (!row.Failed() && !std::isinf(f.Highest)) throw refuse(quoted(f.Name) + " is null");
                *measure = row.Failed() ? 0.0 : kInf;
            } else {
                *measure = number(f);
            }
        }
        row.Detected1e3 = verdict("detected_1e-3");
        row.Detected1e6 = verdict("detected_1e-6");
        if (row.Failed()) row.Detected1e3 = row.Detected1e6 = std::nullopt;
        if (row.Methods && !row.Failed()) {
            const Json& params = j.at("method_params");
            if (!params.is_null()) row.MethodParams = params.get<std::string>();
            for (const RowField& f : RowFields(false, true)) {
                if (f.Id == RowFieldId::Strength && !j.at(f.Name).is_null()) row.Strength = number(f);
                if (f.Id == RowFieldId::BitAccuracy && !j.at(f.Name).is_null()) row.BitAccuracy = number(f);
            }
            const Json& bits = j.at("payload_bits");
            if (!bits.is_number_unsigned() || bits.get<std::uint64_t>() > 64)
                throw refuse("\"payload_bits\" is not a whole number 0..64");
            row.PayloadBits = static_cast<int>(bits.get<std::uint64_t>());
        }
        if (row.Registering && !j.at("score_registered").is_null()) {
            if (row.Failed()) throw refuse("a failed row with registered measures");
            RegisteredReading g;
            for (const RowField& f : RowFields(true)) {
                if (!IsRegistered(f.Id) || IsVerdict(f.Id)) continue;
                if (f.Id == RowFieldId::NcRegistered && row.Methods && j.at(f.Name).is_null()) continue;
                const double value = number(f);
                if (f.Id == RowFieldId::RegistrationFit) g.Fit = value;
                if (f.Id == RowFieldId::NcRegistered) g.Nc = value;
                if (f.Id == RowFieldId::BerRegistered) g.Ber = value;
                if (f.Id == RowFieldId::ScoreRegistered) g.Score = value;
            }
            g.Detected1e3 = verdict("detected_1e-3_registered");
            g.Detected1e6 = verdict("detected_1e-6_registered");
            row.Registered = g;
        }
        if (!j.contains("schema")) {
            row.Identity = RowIdentity{};
            row.Identity.Schema = 1;
            return row;
        }
        const Json& schema = j.at("schema");
        if (!schema.is_number_unsigned() || schema.get<std::uint64_t>() < 2)
            throw refuse("\"schema\" is " + schema.dump() + ", not a row schema version");
        if (schema.get<std::uint64_t>() > static_cast<std::uint64_t>(kRowSchemaVersion))
            throw FormatError(where + " was written by a newer quillfen-cli (row schema " + schema.dump() +
                              "; this program reads up to " + std::to_string(kRowSchemaVersion) + ")");
        row.Identity.Schema = static_cast<int>(schema.get<std::uint64_t>());
        row.Identity.Method = j.at("method").get<std::string>();
        if (row.Identity.Method.empty()) throw refuse("an empty \"method\"");
        for (auto [name, field, nullable] :
             {std::tuple{"host_digest", &row.Identity.HostDigest, true},
              std::tuple{"mark_digest", &row.Identity.MarkDigest, row.Methods},
              std::tuple{"calibration_digest", &row.Identity.CalibrationDigest, true}}) {
            const Json& v = j.at(name);
            if (v.is_null() && nullable) continue;
            if (!v.is_string() || !IsHexDigest(v.get<std::string>()))
                throw refuse(quoted(name) + " is not 16 hex digits" + (nullable ? " or null" : ""));
            *field = v.get<std::string>();
        }
        if (j.contains("method_digest")) {
            const Json& v = j.at("method_digest");
            if (!v.is_string() || !IsHexDigest(v.get<std::string>())) throw refuse("\"method_digest\" is not 16 hex digits");
            row.Identity.MethodDigest = v.get<std::string>();
        }
        if (j.contains("found")) {
            const Json& found = j.at("found");
            if (!found.is_object()) throw refuse("\"found\" is not an object");
            if (row.Failed()) throw refuse("a failed row with \"found\"");
            FoundGeometry g;
            for (const FoundMember& m : FoundMembers()) {
                const std::string name = std::string("\"found\" has no number \"") + m.Name + "\"";
                if (!found.contains(m.Name)) throw refuse(name);
                // A value that is not finite is written null.
                if (found.at(m.Name).is_null()) {
                    g.*m.Member = std::numeric_limits<double>::quiet_NaN();
                    continue;
                }
                if (!found.at(m.Name).is_number()) throw refuse(name);
                const double value = found.at(m.Name).get<double>();
                if (value < m.Lowest - kSlack || value > m.Highest + kSlack)
                    throw refuse(std::string("\"found\" has \"") + m.Name + "\" " + found.at(m.Name).dump() +
                                 ", not a value it takes");
                g.*m.Member = value;
            }
            row.Found = g;
        }
        if (row.Identity.Schema >= 4 && row.Methods) {
            const auto real = [&](const char* name, std::optional<double>& into) {
                const Json& v = j.at(name);
                if (v.is_null()) return;
                if (!v.is_number() || !std::isfinite(v.get<double>())) throw refuse(quoted(name) + " is not a number");
                if (row.Failed()) throw refuse("a failed row with " + quoted(name));
                into = v.get<double>();
            };
            real("z", row.Z);
            real("z_null", row.ZNull);
            row.Inverted = verdict("inverted");
            row.PayloadMatch = verdict("payload_match");
            if (row.Failed()) row.Inverted = row.PayloadMatch = std::nullopt;
            if (row.Registered) real("z_registered", row.Registered->Z);
        }
        // Optional: only rows of a coded method write it.
        if (row.Methods && j.contains("message_ok")) {
            row.MessageOk = verdict("message_ok");
            if (row.Failed()) row.MessageOk = std::nullopt;
        }
        if (row.Identity.Schema >= 3) {
            for (const RowField& f : RowFields(false)) {
                if (!IsSchema3(f.Id)) continue;
                std::optional<double>& measure = f.Id == RowFieldId::PsnrEmbedReals ? row.PsnrEmbedReals : row.ScoreNull;
                if (j.at(f.Name).is_null()) {
                    if (!row.Failed() && !std::isinf(f.Highest)) throw refuse(quoted(f.Name) + " is null");
                    if (!row.Failed()) measure = kInf;
                } else {
                    if (row.Failed()) throw refuse("a failed row with " + quoted(f.Name));
                    measure = number(f);
                }
            }
        }
        if (row.Identity.Schema >= 4) {
            // What was marked: null in a failed row, else a size within the picture limits
            // and a region name.
            for (auto [name, side] : {std::pair{"width", &row.Width}, std::pair{"height", &row.Height}}) {
                const Json& v = j.at(name);
                if (v.is_null() && row.Failed()) continue;
                if (!v.is_number_unsigned() || v.get<std::uint64_t>() == 0 || v.get<std::uint64_t>() > 1u << 20)
                    throw refuse(quoted(name) + " is not a picture side");
                *side = static_cast<int>(v.get<std::uint64_t>());
            }
            const Json& region = j.at("region");
            if (!(region.is_null() && row.Failed())) {
                if (!region.is_string() || region.get<std::string>().empty()) throw refuse("\"region\" is not a region's name");
                row.Region = region.get<std::string>();
            }
            for (const RowField& f : RowFields(false)) {
                if (f.Id != RowFieldId::PsnrY) continue;
                if (j.at(f.Name).is_null()) {
                    if (!row.Failed()) row.PsnrY = kInf;
                } else {
                    if (row.Failed()) throw refuse("a failed row with " + quoted(f.Name));
                    row.PsnrY = number(f);
                }
            }
        }
        return row;
    } catch (const Json::exception& e) {
        throw refuse(std::string("a field is missing or of the wrong type (") + e.what() + ")");
    }
}

RowsFile ReadRowsFile(const std::filesystem::path& path) {
    RowsFile file;
    std::error_code ec;
    if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found) return file;
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::unordered_map<std::string, std::uint64_t> lineOf;
    std::size_t start = 0;
    std::uint64_t number = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            file.Tail = std::string(text.substr(start));
            break;
        }
        ++number;
        const std::string_view line = text.substr(start, end - start);
        if (line.find_first_not_of(" \t\r") != std::string_view::npos) {
            const std::string where = "line " + std::to_string(number) + " of '" + path.string() + "'";
            file.Rows.push_back(ParseRowJson(line, where));
            const RobustnessRow& row = file.Rows.back();
            const auto [earlier, fresh] = lineOf.emplace(row.Host + '\n' + std::to_string(row.Seed) + '\n' +
                                                             (row.Methods ? row.Identity.Method : std::string()) +
                                                             '\n' + row.Attack,
                                                         number);
            if (!fresh)
                throw FormatError(where + " repeats the row of line " + std::to_string(earlier->second) + " (" +
                                  row.Host + ", seed " + std::to_string(row.Seed) + ", " +
                                  (row.Methods ? row.Identity.Method + ", " : std::string()) + row.Attack +
                                  "): two runs wrote into it at once, or files were joined twice");
        }
        start = end + 1;
        file.CompleteBytes = start;
    }
    return file;
}

namespace {

// The rest of a row after its attack, as pieces a cut row's text must follow in order.
struct Piece {
    enum class Kind { Literal, Value, String };
    Kind Type;
    std::string Text;  // of a literal
};

// How far `tail` from `at` follows `piece`: the position after it, npos when it departs from
// it, tail.size() when it ends inside it.
std::size_t Follow(std::string_view tail, std::size_t at, const Piece& piece) {
    if (at >= tail.size()) return tail.size();
    switch (piece.Type) {
    case Piece::Kind::Literal: {
        const std::size_t n = std::min(piece.Text.size(), tail.size() - at);
        if (tail.compare(at, n, piece.Text, 0, n) != 0) return std::string_view::npos;
        return at + n;
    }
    case Piece::Kind::Value: {
        std::size_t end = at;
        while (end < tail.size() && std::string_view("0123456789.eE+-").find(tail[end]) != std::string_view::npos) ++end;
        if (end > at) return end;
        for (const std::string_view word : {"null", "true", "false"}) {
            const std::size_t n = std::min(word.size(), tail.size() - at);
            if (tail.substr(at, n) == word.substr(0, n)) return at + n;
        }
        return std::string_view::npos;
    }
    case Piece::Kind::String: {
        if (tail[at] == 'n') return Follow(tail, at, Piece{Piece::Kind::Value, {}});
        if (tail[at] != '"') return std::string_view::npos;
        for (std::size_t i = at + 1; i < tail.size(); ++i) {
            const char c = tail[i];
            if (static_cast<unsigned char>(c) < 0x20) return std::string_view::npos;
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                return i + 1;
            }
        }
        return tail.size();
    }
    }
    return std::string_view::npos;
}

bool FollowsAll(std::string_view tail, std::size_t at, const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces) {
        if (at == tail.size()) return true;
        at = Follow(tail, at, piece);
        if (at == std::string_view::npos) return false;
    }
    return at == tail.size();
}

// Where `tail` from `at` stands against `literal`: npos when it departs, tail.size() when it
// ends inside, else the position after it.
std::size_t FollowLiteral(std::string_view tail, std::size_t at, const std::string& literal) {
    return Follow(tail, at, Piece{Piece::Kind::Literal, literal});
}

}  // namespace

bool IsCutRow(std::string_view tail, const SweepPlan& plan, const RowRange& range) {
    if (tail.empty() || range.Begin >= range.End || plan.Seeds.empty() || plan.Cells.empty()) return false;
    // The fields after the attack, then the end of the row with or without an error.
    std::vector<Piece> rest;
    for (const RowField& f : RowFields(plan.Register, !plan.Methods.empty())) {
        if (f.Id <= RowFieldId::Attack || f.Id == RowFieldId::Error) continue;
        rest.push_back({Piece::Kind::Literal, std::string(",\"") + f.Name + "\":"});
        const bool text = f.Id == RowFieldId::Region || f.Id == RowFieldId::Method || f.Id == RowFieldId::HostDigest ||
                          f.Id == RowFieldId::MarkDigest || f.Id == RowFieldId::CalibrationDigest ||
                          f.Id == RowFieldId::MethodParams;
        rest.push_back({text ? Piece::Kind::String : Piece::Kind::Value, {}});
    }
    std::vector<Piece> plain = rest;
    plain.push_back({Piece::Kind::Literal, "}"});
    // A method that synchronises ends its rows with the geometry it found.
    std::vector<Piece> found = rest;
    for (std::size_t i = 0; i < FoundMembers().size(); ++i) {
        found.push_back({Piece::Kind::Literal, std::string(i == 0 ? ",\"found\":{\"" : ",\"") + FoundMembers()[i].Name + "\":"});
        found.push_back({Piece::Kind::Value, {}});
    }
    found.push_back({Piece::Kind::Literal, "}}"});
    std::vector<Piece> failed = rest;
    failed.push_back({Piece::Kind::Literal, ",\"error\":"});
    failed.push_back({Piece::Kind::String, {}});
    failed.push_back({Piece::Kind::Literal, "}"});

    const std::uint64_t S = plan.Seeds.size();
    // A row's method is named after its measures, so the cells of all the methods of a seed
    // stand together here.
    const std::uint64_t C = plan.Cells.size() * plan.MethodCount();
    auto overlaps = [&](std::uint64_t begin, std::uint64_t end) { return begin < range.End && range.Begin < end; };
    for (std::uint64_t h = 0; h < plan.Hosts.size(); ++h) {
        if (!overlaps(h * S * C, (h + 1) * S * C)) continue;
        const std::size_t afterHost =
            FollowLiteral(tail, 0, "{\"host\":" + JsonString(plan.Hosts[h].Name) + ",\"seed\":");
        if (afterHost == std::string_view::npos) continue;
        if (afterHost == tail.size()) return true;
        for (std::uint64_t s = 0; s < S; ++s) {
            const std::uint64_t unit = h * S + s;
            if (!overlaps(unit * C, (unit + 1) * C)) continue;
            const std::size_t afterSeed = FollowLiteral(tail, afterHost, std::to_string(plan.Seeds[s]) + ",\"attack\":");
            if (afterSeed == std::string_view::npos) continue;
            if (afterSeed == tail.size()) return true;
            for (std::uint64_t c = 0; c < C; ++c) {
                if (!overlaps(unit * C + c, unit * C + c + 1)) continue;
                const std::size_t afterAttack =
                    FollowLiteral(tail, afterSeed, JsonString(plan.Cells[c % plan.Cells.size()].Name));
                if (afterAttack == std::string_view::npos) continue;
                if (FollowsAll(tail, afterAttack, plain) || FollowsAll(tail, afterAttack, failed) ||
                    FollowsAll(tail, afterAttack, found))
                    return true;
            }
        }
    }
    return false;
}

}  // namespace quillfen
