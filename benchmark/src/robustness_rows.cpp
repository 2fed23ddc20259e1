#include "quillfen/benchmark/robustness_rows.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include <nlohmann/json.hpp>

#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"

namespace quillfen {

namespace {

using Json = nlohmann::json;

// A JSON string literal; bytes that are not UTF-8 become U+FFFD rather than failing.
std::string JsonString(const std::string& text) {
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string JsonMeasure(double value) { return std::isfinite(value) ? FormatMeasure(value) : "null"; }

std::string JsonVerdict(const std::optional<bool>& verdict) {
    return verdict ? (*verdict ? "true" : "false") : "null";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvMeasure(double value) {
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return FormatMeasure(value);
}

const char* const kMeasureNames[] = {"psnr_embed", "ssim_embed", "psnr", "ssim", "nc", "ber", "score"};
constexpr int kMeasures = 7;

double* MeasureField(RobustnessRow& row, int i) {
    double* fields[] = {&row.PsnrEmbed, &row.SsimEmbed, &row.Psnr, &row.Ssim, &row.Nc, &row.Ber, &row.Score};
    return fields[i];
}

}  // namespace

std::string FormatMeasure(double value) {
    if (value == 0) return "0";  // no "-0"
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : "null";
}

std::string RowJson(const RobustnessRow& row) {
    std::string line = "{\"host\":" + JsonString(row.Host) + ",\"seed\":" + std::to_string(row.Seed) +
                       ",\"attack\":" + JsonString(row.Attack);
    RobustnessRow copy = row;
    for (int i = 0; i < kMeasures; ++i)
        line += std::string(",\"") + kMeasureNames[i] + "\":" + (row.Failed() ? "null" : JsonMeasure(*MeasureField(copy, i)));
    line += ",\"detected_1e-3\":" + (row.Failed() ? std::string("null") : JsonVerdict(row.Detected1e3));
    line += ",\"detected_1e-6\":" + (row.Failed() ? std::string("null") : JsonVerdict(row.Detected1e6));
    if (row.Registering) {
        const std::optional<RegisteredReading>& g = row.Failed() ? std::nullopt : row.Registered;
        line += ",\"registration_fit\":" + (g ? JsonMeasure(g->Fit) : "null");
        line += ",\"nc_registered\":" + (g ? JsonMeasure(g->Nc) : "null");
        line += ",\"ber_registered\":" + (g ? JsonMeasure(g->Ber) : "null");
        line += ",\"score_registered\":" + (g ? JsonMeasure(g->Score) : "null");
        line += ",\"detected_1e-3_registered\":" + (g ? JsonVerdict(g->Detected1e3) : "null");
        line += ",\"detected_1e-6_registered\":" + (g ? JsonVerdict(g->Detected1e6) : "null");
    }
    if (row.Failed()) line += ",\"error\":" + JsonString(row.Error);
    return line + "}";
}

std::string RowsJsonl(const std::vector<RobustnessRow>& rows) {
    std::string text;
    for (const RobustnessRow& row : rows) text += RowJson(row) + "\n";
    return text;
}

std::string RowsCsv(const std::vector<RobustnessRow>& rows, bool registering) {
    std::string text = CsvHeader(registering) + "\n";
    for (const RobustnessRow& row : rows) text += RowCsv(row) + "\n";
    return text;
}

std::string CsvHeader(bool registering) {
    return std::string("host,seed,attack,psnr_embed,ssim_embed,psnr,ssim,nc,ber,score,detected_1e-3,detected_1e-6,") +
           (registering ? "registration_fit,nc_registered,ber_registered,score_registered,detected_1e-3_registered,"
                          "detected_1e-6_registered,"
                        : "") +
           "error";
}

std::string RowCsv(const RobustnessRow& row) {
    std::string line = CsvField(row.Host) + "," + std::to_string(row.Seed) + "," + CsvField(row.Attack);
    RobustnessRow copy = row;
    // Appended piece by piece (GCC 12 warns falsely about "," + std::string).
    for (int i = 0; i < kMeasures; ++i) {
        line += ',';
        if (!row.Failed()) line += CsvMeasure(*MeasureField(copy, i));
    }
    for (const std::optional<bool>& verdict : {row.Detected1e3, row.Detected1e6}) {
        line += ',';
        if (!row.Failed() && verdict) line += *verdict ? "true" : "false";
    }
    if (row.Registering) {
        const std::optional<RegisteredReading>& g = row.Failed() ? std::nullopt : row.Registered;
        for (const double* measure : {g ? &g->Fit : nullptr, g ? &g->Nc : nullptr, g ? &g->Ber : nullptr,
                                      g ? &g->Score : nullptr}) {
            line += ',';
            if (measure) line += CsvMeasure(*measure);
        }
        for (const std::optional<bool>& verdict : {g ? g->Detected1e3 : std::nullopt, g ? g->Detected1e6 : std::nullopt}) {
            line += ',';
            if (verdict) line += *verdict ? "true" : "false";
        }
    }
    line += ',';
    line += CsvField(row.Error);
    return line;
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
        for (int i = 0; i < kMeasures; ++i) {
            const Json& v = j.at(kMeasureNames[i]);
            if (v.is_null()) {
                // Only a PSNR may be infinite; a failed row has no measures.
                const bool psnr = i == 0 || i == 2;
                if (!row.Failed() && !psnr) throw refuse(std::string("\"") + kMeasureNames[i] + "\" is null");
                *MeasureField(row, i) = row.Failed() ? 0.0 : std::numeric_limits<double>::infinity();
            } else {
                if (!v.is_number()) throw refuse(std::string("\"") + kMeasureNames[i] + "\" is not a number");
                *MeasureField(row, i) = v.get<double>();
            }
        }
        for (auto [name, field] : {std::pair{"detected_1e-3", &row.Detected1e3}, std::pair{"detected_1e-6", &row.Detected1e6}}) {
            const Json& v = j.at(name);
            if (!v.is_null()) *field = v.get<bool>();
        }
        if (j.contains("score_registered")) {
            row.Registering = true;
            const Json& score = j.at("score_registered");
            if (!score.is_null()) {
                if (row.Failed()) throw refuse("a failed row with registered measures");
                RegisteredReading g;
                std::pair<const char*, double*> fields[] = {{"registration_fit", &g.Fit},
                                                            {"nc_registered", &g.Nc},
                                                            {"ber_registered", &g.Ber},
                                                            {"score_registered", &g.Score}};
                for (auto& [name, field] : fields) {
                    const Json& v = j.at(name);
                    if (!v.is_number()) throw refuse(std::string("\"") + name + "\" is not a number");
                    *field = v.get<double>();
                }
                for (auto [name, field] : {std::pair{"detected_1e-3_registered", &g.Detected1e3},
                                           std::pair{"detected_1e-6_registered", &g.Detected1e6}}) {
                    const Json& v = j.at(name);
                    if (!v.is_null()) *field = v.get<bool>();
                }
                row.Registered = g;
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
    std::size_t start = 0;
    std::uint64_t number = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            file.TornTail = true;
            break;
        }
        ++number;
        const std::string_view line = text.substr(start, end - start);
        if (line.find_first_not_of(" \t\r") != std::string_view::npos)
            file.Rows.push_back(ParseRowJson(line, "line " + std::to_string(number) + " of '" + path.string() + "'"));
        start = end + 1;
        file.CompleteBytes = start;
    }
    return file;
}

}  // namespace quillfen
