#include "quillfen/benchmark/security.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <utility>

#include <nlohmann/json.hpp>
#include <tbb/parallel_for.h>

#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"

namespace quillfen {

namespace {

constexpr int kSide = 256;
constexpr std::size_t kPixels = static_cast<std::size_t>(kSide) * kSide;
constexpr std::uint64_t kRemovalBase = 5000;
constexpr std::uint64_t kForgeryBase = 7000;
constexpr std::uint64_t kCopyBase = 9000;

std::uint8_t ToByte(double value) {
    // Round half to even (the default rounding mode), as every picture the laboratory writes.
    return static_cast<std::uint8_t>(std::clamp(std::nearbyint(value), 0.0, 255.0));
}

double Rms(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values) sum += v * v;
    return std::sqrt(sum / static_cast<double>(values.size()));
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += a[i] * b[i];
        aa += a[i] * a[i];
        bb += b[i] * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// Why an attack on a shared pattern says nothing of a method whose key is not blind.
std::string NotBlindWhy() {
    return "its key is bound to its host: a suspect is read against the host's own coefficient relations, which the "
           "key holds, so pictures of other hosts share no pattern to average, and a residual copied onto another "
           "picture is read against a host that is not there";
}

// A method marking with the plan's key: its strength fixed once (at the target PSNR when the
// plan has one), the payload drawn from the seed.
struct Marker {
    std::shared_ptr<const WatermarkMethod> Used;
    MethodPayload Payload;
    std::uint32_t Seed = 0;

    MethodMarked Mark(const std::vector<std::uint8_t>& host) const {
        return Used->Embed(ImageView(GrayView(host.data(), kSide, kSide, kSide)), Payload, Seed);
    }
};

Marker MarkerOf(const SecurityPlan& plan, const SweepMethod& chosen) {
    Marker marker;
    const WatermarkMethod& method = *chosen.Method;
    if (method.Capabilities().UsesMark) marker.Payload.Mark = plan.Mark;
    marker.Payload.Bits = PayloadFromSeed(plan.Seed, method.PayloadBits());
    marker.Seed = plan.Seed;
    marker.Used = chosen.Method;
    if (plan.TargetPsnr && method.StrengthParameter()) {
        const std::vector<std::uint8_t> first = SecurityPicture(plan.Hosts, 0);
        marker.Used = FindStrength(method, ImageView(GrayView(first.data(), kSide, kSide, kSide)), marker.Payload,
                                   plan.Seed, *plan.TargetPsnr);
    }
    return marker;
}

std::vector<std::uint8_t> Bytes(const Bitmap& picture) { return GrayOf(picture).pixels(); }

// The estimate of the key's pattern from pictures 0..n-1, and the pattern the key really added
// (for the estimate's fit): sums taken in picture order, so the threads do not change a bit.
struct Estimate {
    std::vector<double> Pattern;  // the mean residual
    std::vector<double> Truth;    // the mean of marked minus host
    double MarkRms = 0;           // of marked minus host, over the n pictures
    MethodKey Key;
};

Estimate EstimateOf(const SecurityPlan& plan, const Marker& marker, int n) {
    Estimate e;
    e.Pattern.assign(kPixels, 0.0);
    e.Truth.assign(kPixels, 0.0);
    double energy = 0;
    constexpr int kChunk = 16;
    for (int begin = 0; begin < n; begin += kChunk) {
        const int end = std::min(n, begin + kChunk);
        std::vector<std::vector<double>> residuals(static_cast<std::size_t>(end - begin));
        std::vector<std::vector<double>> added(static_cast<std::size_t>(end - begin));
        std::vector<MethodKey> keys(static_cast<std::size_t>(end - begin));
        tbb::parallel_for(begin, end, [&](int k) {
            const std::vector<std::uint8_t> host = SecurityPicture(plan.Hosts, static_cast<std::uint64_t>(k));
            MethodMarked marked = marker.Mark(host);
            const std::vector<std::uint8_t> bytes = Bytes(marked.Picture);
            residuals[k - begin] = HighPassResidual(bytes, kSide);
            std::vector<double>& a = added[k - begin];
            a.resize(kPixels);
            for (std::size_t i = 0; i < kPixels; ++i) a[i] = double(bytes[i]) - double(host[i]);
            keys[k - begin] = std::move(marked.Key);
        });
        for (int k = begin; k < end; ++k) {
            const std::vector<double>& r = residuals[k - begin];
            const std::vector<double>& a = added[k - begin];
            for (std::size_t i = 0; i < kPixels; ++i) {
                e.Pattern[i] += r[i];
                e.Truth[i] += a[i];
                energy += a[i] * a[i];
            }
            if (k == 0) e.Key = std::move(keys[0]);
        }
    }
    for (std::size_t i = 0; i < kPixels; ++i) {
        e.Pattern[i] /= n;
        e.Truth[i] /= n;
    }
    e.MarkRms = std::sqrt(energy / (static_cast<double>(kPixels) * n));
    return e;
}

// The row's score from a reading, judged as every verdict is (blind methods two-sided in units of
// the picture's chance spread).
void Judged(const std::optional<Calibration>& thresholds, const MethodReading& reading, SecurityRow& row) {
    row.Score = reading.Score;
    if (!thresholds) return;
    const Verdict verdict = Judge(reading.Score, reading.ChanceVariance, *thresholds);
    row.Detected1e3 = verdict.Detected1e3;
    row.Detected1e6 = verdict.Present;
}

MethodReading ReadingOf(const WatermarkMethod& method, const MethodKey& key, const std::vector<std::uint8_t>& picture) {
    return method.Detect(ImageView(GrayView(picture.data(), kSide, kSide, kSide)), key, ReadDepth::Score);
}

// The picture with `delta` added (gain times it), as bytes.
std::vector<std::uint8_t> Added(const std::vector<std::uint8_t>& picture, const std::vector<double>& delta, double gain) {
    std::vector<std::uint8_t> out(picture.size());
    for (std::size_t i = 0; i < picture.size(); ++i) out[i] = ToByte(double(picture[i]) + gain * delta[i]);
    return out;
}

void Measured(SecurityRow& row, const std::vector<std::uint8_t>& made, const std::vector<std::uint8_t>& from) {
    row.Psnr = PsnrDecibels(std::span<const std::uint8_t>(made), from);
    row.Ssim = StructuralSimilarity(made, from, kSide, kSide);
}

std::string Text(const std::string& s) { return nlohmann::json(s).dump(); }
std::string Optional(const std::optional<bool>& b) { return b ? (*b ? "true" : "false") : "null"; }
std::string Real(double v) { return std::isfinite(v) ? FormatMeasure(v) : "null"; }

}  // namespace

SecurityAttack ParseSecurityAttack(std::string_view text) {
    const std::string given(text);
    if (text == "copy") return {"copy", {1}};
    const std::string_view prefix = "averaging:n=";
    if (text.substr(0, prefix.size()) != prefix)
        throw ArgumentError("'" + given + "' is no security attack (expected averaging:n=10,50,200 or copy)");
    SecurityAttack attack{"averaging", {}};
    std::string_view rest = text.substr(prefix.size());
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view word = rest.substr(0, comma);
        int n = 0;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), n);
        if (word.empty() || ec != std::errc() || end != word.data() + word.size() || n < 1 || n > kMostSecurityPictures)
            throw ArgumentError("'" + given + "': '" + std::string(word) + "' is not a number of pictures 1.." +
                                std::to_string(kMostSecurityPictures));
        if (std::find(attack.Counts.begin(), attack.Counts.end(), n) != attack.Counts.end())
            throw ArgumentError("'" + given + "': " + std::to_string(n) + " pictures listed twice");
        attack.Counts.push_back(n);
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return attack;
}

std::vector<std::uint8_t> SecurityPicture(const std::vector<SecurityHost>& hosts, std::uint64_t k) {
    const std::vector<std::uint8_t>& host = hosts[k % hosts.size()].Gray;
    const std::uint64_t turn = k / hosts.size();
    const int symmetry = static_cast<int>(turn % 8);
    const std::uint64_t step = turn / 8;
    const int dx = static_cast<int>((step * 97) % kSide);
    const int dy = static_cast<int>((step * 61) % kSide);
    std::vector<std::uint8_t> out(kPixels);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int sx = (x + dx) % kSide, sy = (y + dy) % kSide;
            int u = sx, v = sy;
            if (symmetry & 1) u = kSide - 1 - u;
            if (symmetry & 2) v = kSide - 1 - v;
            if (symmetry & 4) std::swap(u, v);
            out[static_cast<std::size_t>(y) * kSide + x] = host[static_cast<std::size_t>(v) * kSide + u];
        }
    return out;
}

std::string SecurityPictureName(const std::vector<SecurityHost>& hosts, std::uint64_t k) {
    return hosts[k % hosts.size()].Name + "#" + std::to_string(k);
}

std::vector<double> HighPassResidual(const std::vector<std::uint8_t>& picture, int side) {
    // Gaussian of sigma 1 over 7 taps, normalised; mirrored edges (without repeating the edge).
    double taps[7];
    double sum = 0;
    for (int i = -3; i <= 3; ++i) sum += taps[i + 3] = std::exp(-0.5 * i * i);
    for (double& t : taps) t /= sum;
    auto mirror = [side](int i) {
        if (i < 0) return -i;
        if (i >= side) return 2 * side - 2 - i;
        return i;
    };
    const std::size_t n = static_cast<std::size_t>(side) * side;
    std::vector<double> across(n), smooth(n), out(n);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            double s = 0;
            for (int i = -3; i <= 3; ++i) s += taps[i + 3] * picture[static_cast<std::size_t>(y) * side + mirror(x + i)];
            across[static_cast<std::size_t>(y) * side + x] = s;
        }
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            double s = 0;
            for (int i = -3; i <= 3; ++i) s += taps[i + 3] * across[static_cast<std::size_t>(mirror(y + i)) * side + x];
            smooth[static_cast<std::size_t>(y) * side + x] = s;
        }
    for (std::size_t i = 0; i < n; ++i) out[i] = double(picture[i]) - smooth[i];
    return out;
}

void CheckSecurityPlan(const SecurityPlan& plan) {
    if (plan.Hosts.empty()) throw ArgumentError("no host picture");
    if (plan.Methods.empty()) throw ArgumentError("no method");
    if (plan.Attacks.empty()) throw ArgumentError("no security attack");
    if (plan.Trials < 1 || plan.Trials > kMostSecurityPictures)
        throw ArgumentError("trials must be 1.." + std::to_string(kMostSecurityPictures));
    for (const SecurityHost& host : plan.Hosts)
        if (host.Gray.size() != kPixels) throw ArgumentError("host '" + host.Name + "' is not a 256 x 256 gray region");
}

std::vector<SecurityUnit> SecurityUnits(const SecurityPlan& plan) {
    std::vector<SecurityUnit> units;
    for (std::size_t m = 0; m < plan.Methods.size(); ++m)
        for (const SecurityAttack& attack : plan.Attacks)
            for (int n : attack.Counts) units.push_back({m, attack.Kind, n});
    return units;
}

std::string SecurityUnitKey(const std::string& method, const std::string& attack, int pictures) {
    return method + '\n' + attack + '\n' + std::to_string(pictures);
}

std::vector<SecurityRow> ComputeSecurityUnit(const SecurityPlan& plan, const SecurityUnit& unit) {
    const SweepMethod& chosen = plan.Methods[unit.Method];
    const bool copy = unit.Attack == "copy";
    std::vector<std::string> uses = copy ? std::vector<std::string>{"forgery"}
                                         : std::vector<std::string>{"removal", "forgery"};
    SecurityRow base;
    base.Method = chosen.Label;
    base.MethodParams = chosen.Method->Parameters();
    base.Attack = unit.Attack;
    base.Pictures = unit.Pictures;
    base.Seed = plan.Seed;
    std::vector<SecurityRow> rows;
    if (!chosen.Method->Capabilities().Blind) {
        for (const std::string& use : uses) {
            SecurityRow row = base;
            row.Use = use;
            row.Applies = false;
            row.Why = NotBlindWhy();
            rows.push_back(std::move(row));
        }
        return rows;
    }
    const auto fail = [&](const std::string& why) {
        for (const std::string& use : uses) {
            SecurityRow row = base;
            row.Use = use;
            row.Error = why;
            rows.push_back(std::move(row));
        }
        return rows;
    };
    try {
        const Marker marker = MarkerOf(plan, chosen);
        base.MethodParams = marker.Used->Parameters();
        const std::optional<Calibration>& thresholds = chosen.Thresholds;
        const std::size_t trials = static_cast<std::size_t>(plan.Trials);
        if (copy) {
            rows.assign(trials, base);
            tbb::parallel_for(std::size_t(0), trials, [&](std::size_t t) {
                SecurityRow& row = rows[t];
                row.Use = "forgery";
                row.Trial = static_cast<int>(t);
                const std::uint64_t source = kCopyBase + t;
                // The next picture is another host's (or another turn of it, with one host).
                const std::uint64_t target = source + 1;
                row.Picture = SecurityPictureName(plan.Hosts, target);
                try {
                    const std::vector<std::uint8_t> host = SecurityPicture(plan.Hosts, source);
                    MethodMarked marked = marker.Mark(host);
                    const std::vector<std::uint8_t> bytes = Bytes(marked.Picture);
                    const std::vector<double> residual = HighPassResidual(bytes, kSide);
                    std::vector<double> added(kPixels);
                    for (std::size_t i = 0; i < kPixels; ++i) added[i] = double(bytes[i]) - double(host[i]);
                    row.EstimateFit = Correlation(residual, added);
                    const std::vector<std::uint8_t> unmarked = SecurityPicture(plan.Hosts, target);
                    const std::vector<std::uint8_t> forged = Added(unmarked, residual, 1.0);
                    Measured(row, forged, unmarked);
                    Judged(thresholds, ReadingOf(*marker.Used, marked.Key, forged), row);
                } catch (const std::exception& e) {
                    row.Error = e.what();
                }
            });
            return rows;
        }
        const Estimate estimate = EstimateOf(plan, marker, unit.Pictures);
        const double estimateRms = Rms(estimate.Pattern);
        // Scaled to the mark's own energy: what the method's published PSNR tells an attacker.
        const double gain = estimateRms > 0 ? estimate.MarkRms / estimateRms : 0.0;
        const double fit = Correlation(estimate.Pattern, estimate.Truth);
        rows.assign(2 * trials, base);
        tbb::parallel_for(std::size_t(0), 2 * trials, [&](std::size_t i) {
            SecurityRow& row = rows[i];
            const bool removal = i < trials;
            const std::size_t t = removal ? i : i - trials;
            row.Use = removal ? "removal" : "forgery";
            row.Trial = static_cast<int>(t);
            row.EstimateFit = fit;
            const std::uint64_t k = (removal ? kRemovalBase : kForgeryBase) + t;
            row.Picture = SecurityPictureName(plan.Hosts, k);
            try {
                const std::vector<std::uint8_t> host = SecurityPicture(plan.Hosts, k);
                if (removal) {
                    MethodMarked marked = marker.Mark(host);
                    const std::vector<std::uint8_t> bytes = Bytes(marked.Picture);
                    const std::vector<std::uint8_t> cleaned = Added(bytes, estimate.Pattern, -gain);
                    Measured(row, cleaned, bytes);
                    Judged(thresholds, ReadingOf(*marker.Used, marked.Key, cleaned), row);
                } else {
                    const std::vector<std::uint8_t> forged = Added(host, estimate.Pattern, gain);
                    Measured(row, forged, host);
                    Judged(thresholds, ReadingOf(*marker.Used, estimate.Key, forged), row);
                }
            } catch (const std::exception& e) {
                row.Error = e.what();
            }
        });
    } catch (const std::exception& e) {
        rows.clear();
        return fail(e.what());
    }
    return rows;
}

void RunSecurity(const SecurityPlan& plan, const SecurityCallbacks& callbacks) {
    CheckSecurityPlan(plan);
    const std::vector<SecurityUnit> units = SecurityUnits(plan);
    std::size_t done = 0;
    for (const SecurityUnit& unit : units) {
        if (!(callbacks.Skip && callbacks.Skip(unit))) {
            const std::vector<SecurityRow> rows = ComputeSecurityUnit(plan, unit);
            if (callbacks.Rows) callbacks.Rows(unit, rows);
        }
        if (callbacks.Progress) callbacks.Progress(++done, units.size());
    }
}

std::string SecurityRowJson(const SecurityRow& row) {
    std::string out = "{\"kind\":\"security\",\"schema\":" + std::to_string(row.Schema);
    out += ",\"method\":" + Text(row.Method) + ",\"method_params\":" + Text(row.MethodParams);
    out += ",\"attack\":" + Text(row.Attack) + ",\"use\":" + Text(row.Use);
    out += ",\"pictures\":" + std::to_string(row.Pictures) + ",\"trial\":" + std::to_string(row.Trial);
    out += ",\"seed\":" + std::to_string(row.Seed) + ",\"picture\":" + Text(row.Picture);
    out += std::string(",\"applies\":") + (row.Applies ? "true" : "false");
    if (!row.Applies) out += ",\"why\":" + Text(row.Why);
    if (row.Applies && !row.Failed()) {
        out += ",\"psnr\":" + Real(row.Psnr) + ",\"ssim\":" + Real(row.Ssim);
        out += ",\"estimate_fit\":" + Real(row.EstimateFit) + ",\"score\":" + Real(row.Score);
        out += ",\"detected_1e-3\":" + Optional(row.Detected1e3) + ",\"detected_1e-6\":" + Optional(row.Detected1e6);
    }
    if (row.Failed()) out += ",\"error\":" + Text(row.Error);
    return out + "}";
}

SecurityRow SecurityRowFromJson(std::string_view line) {
    SecurityRow row;
    try {
        const nlohmann::json j = nlohmann::json::parse(line);
        if (!j.is_object() || j.value("kind", std::string()) != "security")
            throw ArgumentError("not a security row");
        row.Schema = j.at("schema").get<int>();
        row.Method = j.at("method").get<std::string>();
        row.MethodParams = j.at("method_params").get<std::string>();
        row.Attack = j.at("attack").get<std::string>();
        row.Use = j.at("use").get<std::string>();
        row.Pictures = j.at("pictures").get<int>();
        row.Trial = j.at("trial").get<int>();
        row.Seed = j.at("seed").get<std::uint32_t>();
        row.Picture = j.at("picture").get<std::string>();
        row.Applies = j.at("applies").get<bool>();
        row.Why = j.value("why", std::string());
        row.Error = j.value("error", std::string());
        auto real = [&](const char* name) {
            const auto found = j.find(name);
            return found == j.end() || found->is_null() ? std::numeric_limits<double>::quiet_NaN() : found->get<double>();
        };
        auto verdict = [&](const char* name) -> std::optional<bool> {
            const auto found = j.find(name);
            if (found == j.end() || found->is_null()) return std::nullopt;
            return found->get<bool>();
        };
        if (row.Applies && !row.Failed()) {
            row.Psnr = real("psnr");
            row.Ssim = real("ssim");
            row.EstimateFit = real("estimate_fit");
            row.Score = real("score");
            row.Detected1e3 = verdict("detected_1e-3");
            row.Detected1e6 = verdict("detected_1e-6");
        }
    } catch (const ArgumentError&) {
        throw;
    } catch (const std::exception& e) {
        throw ArgumentError(std::string("not a security row (") + e.what() + ")");
    }
    return row;
}

RateInterval WilsonInterval(std::size_t hits, std::size_t trials) {
    RateInterval r;
    if (trials == 0) return r;
    constexpr double z = 1.959963984540054;
    const double n = static_cast<double>(trials);
    const double p = static_cast<double>(hits) / n;
    const double denominator = 1 + z * z / n;
    const double centre = (p + z * z / (2 * n)) / denominator;
    const double half = z * std::sqrt(p * (1 - p) / n + z * z / (4 * n * n)) / denominator;
    r.Rate = p;
    // The interval holds the rate itself even where rounding would put a bound a hair inside.
    r.Low = hits == 0 ? 0.0 : std::min(p, std::max(0.0, centre - half));
    r.High = hits == trials ? 1.0 : std::max(p, std::min(1.0, centre + half));
    return r;
}

std::vector<SecuritySummary> SummariseSecurity(const std::vector<SecurityRow>& rows) {
    std::vector<SecuritySummary> out;
    std::map<std::string, std::size_t> index;
    std::vector<std::vector<const SecurityRow*>> members;
    for (const SecurityRow& row : rows) {
        const std::string key = SecurityUnitKey(row.Method, row.Attack, row.Pictures) + '\n' + row.Use;
        auto [it, added] = index.emplace(key, out.size());
        if (added) {
            SecuritySummary s;
            s.Method = row.Method;
            s.Attack = row.Attack;
            s.Use = row.Use;
            s.Pictures = row.Pictures;
            s.Applies = row.Applies;
            s.Why = row.Why;
            out.push_back(std::move(s));
            members.emplace_back();
        }
        members[it->second].push_back(&row);
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        SecuritySummary& s = out[i];
        if (!s.Applies) continue;
        std::size_t judged = 0, hits3 = 0, hits6 = 0;
        std::vector<double> psnr, ssim, score;
        for (const SecurityRow* row : members[i]) {
            ++s.Trials;
            if (row->Failed()) {
                ++s.Failed;
                continue;
            }
            psnr.push_back(row->Psnr);
            ssim.push_back(row->Ssim);
            score.push_back(row->Score);
            s.EstimateFit = row->EstimateFit;
            if (row->Detected1e6) {
                ++judged;
                hits3 += *row->Detected1e3 ? 1 : 0;
                hits6 += *row->Detected1e6 ? 1 : 0;
            }
        }
        if (judged > 0) {
            s.Rate1e3 = WilsonInterval(hits3, judged);
            s.Rate1e6 = WilsonInterval(hits6, judged);
        }
        s.PsnrMedian = QuartilesOf(psnr).Median;
        s.SsimMedian = QuartilesOf(ssim).Median;
        s.ScoreMedian = QuartilesOf(score).Median;
    }
    return out;
}

}  // namespace quillfen

// ---------------------------------------------------------------------------------------------
// The report's section.

namespace quillfen {

namespace {

std::string Html(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Svg(double v) { return FormatFixed(v, 2); }

// A rate with its interval, for people: "0.25 (0.12–0.45)".
std::string RateText(const RateInterval& r) {
    if (std::isnan(r.Rate)) return "&ndash;";
    return PeopleNumber(r.Rate, 2) + " <span class=\"muted\">(" + PeopleNumber(r.Low, 2) + "&ndash;" +
           PeopleNumber(r.High, 2) + ")</span>";
}

// Rate at 1e-6 against n (a log axis), one line per use, error bars the Wilson intervals.
std::string SecurityChart(const std::string& method, const std::vector<SecuritySummary>& lines) {
    std::vector<const SecuritySummary*> removal, forgery;
    for (const SecuritySummary& s : lines)
        if (s.Method == method && s.Attack == "averaging" && s.Applies)
            (s.Use == "removal" ? removal : forgery).push_back(&s);
    if (removal.empty() && forgery.empty()) return "";
    int lo = kMostSecurityPictures, hi = 1;
    for (const auto* set : {&removal, &forgery})
        for (const SecuritySummary* s : *set) {
            lo = std::min(lo, s->Pictures);
            hi = std::max(hi, s->Pictures);
        }
    const double left = 56, right = 460, top = 14, bottom = 196;
    const double l0 = std::log10(std::max(1, lo)) - 0.15, l1 = std::log10(std::max(hi, lo + 1)) + 0.15;
    auto X = [&](double n) { return left + (std::log10(n) - l0) / (l1 - l0) * (right - left); };
    auto Y = [&](double r) { return bottom - r * (bottom - top); };
    std::string svg = "<svg viewBox=\"0 0 480 232\" role=\"img\">";
    for (int i = 0; i <= 4; ++i) {
        const double r = i / 4.0;
        svg += "<line class=\"grid\" x1=\"" + Svg(left) + "\" x2=\"" + Svg(right) + "\" y1=\"" + Svg(Y(r)) + "\" y2=\"" +
               Svg(Y(r)) + "\"/><text class=\"yl\" x=\"" + Svg(left - 4) + "\" y=\"" + Svg(Y(r) + 4) + "\">" +
               PeopleNumber(r, 2) + "</text>";
    }
    std::vector<int> ns;
    for (const auto* set : {&removal, &forgery})
        for (const SecuritySummary* s : *set)
            if (std::find(ns.begin(), ns.end(), s->Pictures) == ns.end()) ns.push_back(s->Pictures);
    for (int n : ns)
        svg += "<text class=\"xt\" x=\"" + Svg(X(n)) + "\" y=\"" + Svg(bottom + 14) + "\">" + std::to_string(n) + "</text>";
    svg += "<text class=\"xl\" x=\"" + Svg((left + right) / 2) + "\" y=\"" + Svg(bottom + 30) +
           "\">marked pictures averaged (n, log scale)</text>";
    svg += "<rect class=\"frame\" x=\"" + Svg(left) + "\" y=\"" + Svg(top) + "\" width=\"" + Svg(right - left) +
           "\" height=\"" + Svg(bottom - top) + "\"/>";
    auto series = [&](const std::vector<const SecuritySummary*>& set, const char* colour, double nudge) {
        std::string path;
        for (const SecuritySummary* s : set) {
            if (std::isnan(s->Rate1e6.Rate)) continue;
            const double x = X(s->Pictures) + nudge;
            path += path.empty() ? 'M' : 'L';
            path += Svg(x);
            path += ',';
            path += Svg(Y(s->Rate1e6.Rate));
            svg += "<line stroke=\"" + std::string(colour) + "\" x1=\"" + Svg(x) + "\" x2=\"" + Svg(x) + "\" y1=\"" +
                   Svg(Y(s->Rate1e6.Low)) + "\" y2=\"" + Svg(Y(s->Rate1e6.High)) + "\"/>";
            svg += "<circle fill=\"" + std::string(colour) + "\" r=\"3\" cx=\"" + Svg(x) + "\" cy=\"" +
                   Svg(Y(s->Rate1e6.Rate)) + "\"/>";
        }
        if (!path.empty())
            svg += "<path fill=\"none\" stroke-width=\"1.6\" stroke=\"" + std::string(colour) + "\" d=\"" + path + "\"/>";
    };
    series(removal, "#1f77b4", -2);
    series(forgery, "#c0392b", 2);
    svg += "</svg>";
    return "<figure><figcaption>" + Html(method) +
           "</figcaption><div class=\"legend\"><span><i class=\"key\" style=\"background:#1f77b4\"></i>removal: still "
           "detected at 1e-6</span><span><i class=\"key\" style=\"background:#c0392b\"></i>forgery: unmarked judged "
           "marked at 1e-6</span></div>" +
           svg + "</figure>";
}

}  // namespace

std::string SecurityHtmlSection(const std::vector<SecurityRow>& rows) {
    if (rows.empty()) return "";
    const std::vector<SecuritySummary> lines = SummariseSecurity(rows);
    std::string html = "<h2 id=\"security\">Security: attacks on the key</h2>\n";
    html +=
        "<p>An attacker holding n pictures marked with one key averages their high-pass residuals (each picture "
        "minus its Gaussian-smoothed self, sigma 1): the pictures' own detail cancels, the key's pattern remains. "
        "<b>Removal</b> subtracts that estimate, scaled to the mark's own energy, from other pictures marked with "
        "the key; <b>forgery</b> adds it to unmarked pictures. The <b>copy</b> attack adds the residual of one "
        "marked picture, as it is, to another picture. Rates are the shares judged marked, with Wilson 95&nbsp;% "
        "intervals; PSNR and SSIM are the attacked or forged picture's against the picture it was made from; "
        "<i>fit</i> is the estimate's correlation with the pattern the key really added.</p>\n";
    std::vector<std::string> methods;
    for (const SecuritySummary& s : lines)
        if (std::find(methods.begin(), methods.end(), s.Method) == methods.end()) methods.push_back(s.Method);
    std::string charts;
    for (const std::string& m : methods) charts += SecurityChart(m, lines);
    if (!charts.empty()) html += "<div class=\"charts\">" + charts + "</div>\n";
    html += "<table><tr><th class=\"n\">method</th><th class=\"n\">attack</th><th>n</th><th class=\"n\">use</th>"
            "<th>trials</th><th>judged marked at 1e-6</th><th>at 1e-3</th><th>PSNR (dB)</th><th>SSIM</th>"
            "<th>median score</th><th>fit</th></tr>\n";
    std::vector<std::string> notes;
    for (const SecuritySummary& s : lines) {
        if (!s.Applies) {
            const std::string note = "<li><b>" + Html(s.Method) + "</b>: the " + Html(s.Attack) +
                                     " attack does not apply: " + Html(s.Why) + ".</li>";
            if (std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(note);
            continue;
        }
        html += std::string("<tr") + (s.Failed > 0 ? " class=\"fail\"" : "") + "><td class=\"n\">" + Html(s.Method) +
                "</td><td class=\"n\">" + Html(s.Attack) + "</td><td>" + std::to_string(s.Pictures) +
                "</td><td class=\"n\">" + Html(s.Use) + "</td><td>" + std::to_string(s.Trials) +
                (s.Failed > 0 ? " (" + std::to_string(s.Failed) + " failed)" : std::string()) + "</td><td>" +
                RateText(s.Rate1e6) + "</td><td>" + RateText(s.Rate1e3) + "</td><td>" + PeopleNumber(s.PsnrMedian, 1) +
                "</td><td>" + PeopleNumber(s.SsimMedian, 3) + "</td><td>" + PeopleNumber(s.ScoreMedian, 3) + "</td><td>" +
                PeopleNumber(s.EstimateFit, 2) + "</td></tr>\n";
    }
    html += "</table>\n";
    if (!notes.empty()) {
        html += "<ul>";
        for (const std::string& note : notes) html += note;
        html += "</ul>\n";
    }
    return html;
}

std::string SecurityHtml(const std::vector<SecurityRow>& rows, const std::string& command, const std::string& program) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Security report</title>\n";
    html += ReportStyle();
    html += "</head><body>\n<h1>Security report</h1>\n";
    if (!command.empty()) html += "<pre>" + Html(command) + "</pre>\n";
    if (!program.empty()) html += "<p class=\"muted\">" + Html(program) + "</p>\n";
    html += SecurityHtmlSection(rows);
    return html + "</body></html>\n";
}

}  // namespace quillfen
