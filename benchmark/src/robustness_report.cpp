// The HTML report: plain text building, numbers printed with fixed decimals, charts drawn as
// inline SVG in a fixed coordinate box.
#include "quillfen/benchmark/robustness_report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/benchmark/security.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/image/portable_math.h"

namespace quillfen {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Chart box: the plot area inside margins for the axes' labels.
constexpr double kWidth = 520;
constexpr double kHeight = 300;
constexpr double kLeft = 52;
constexpr double kRight = 14;
constexpr double kTop = 14;
constexpr double kBottom = 46;

// Series colours, chosen to stay apart for the common colour-vision deficiencies.
constexpr const char* kNcColour = "#1f5fa8";
constexpr const char* kBandColour = "#9ec3ea";
constexpr const char* kTpr3Colour = "#d9730d";
constexpr const char* kTpr6Colour = "#b0228c";
constexpr const char* kNoneColour = "#2e8540";

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

// Numbers are written with '.' whatever the program's locale (a desktop program runs in the
// user's, where printf may write a comma), so that the window's report is the command line's.
// A value that rounds to zero is written without its sign: "-0.0000" reads as a sign that is not there.
std::string Fixed(double value, int decimals) {
    if (std::isnan(value)) return "&ndash;";
    if (std::isinf(value)) return value > 0 ? "&infin;" : "&minus;&infin;";
    std::string text = FormatFixed(value, decimals);
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string RateWithInterval(std::size_t hits, std::size_t trials, int decimals);
// A share given as a rate over `trials`, with its interval.
std::string ShareWithInterval(double rate, std::size_t trials, int decimals = 2) {
    if (std::isnan(rate) || trials == 0) return "&ndash;";
    return RateWithInterval(static_cast<std::size_t>(std::llround(rate * static_cast<double>(trials))), trials, decimals);
}

// A share with its Wilson 95 % interval, for a table: "0.83 (0.64&ndash;0.93)".
std::string RateWithInterval(std::size_t hits, std::size_t trials, int decimals) {
    if (trials == 0) return "&ndash;";
    const RateInterval r = WilsonInterval(hits, trials);
    return Fixed(r.Rate, decimals) + " <span class=\"muted\">(" + Fixed(r.Low, decimals) + "&ndash;" +
           Fixed(r.High, decimals) + ")</span>";
}

// SVG coordinates with two decimals.
std::string Coord(double value) { return FormatFixed(value, 2); }

// A vertical error bar from y1 to y2 at x, with short caps.
std::string ErrorBar(double x, double y1, double y2, const std::string& colour) {
    if (!std::isfinite(y1) || !std::isfinite(y2)) return {};
    return "<path d=\"M" + Coord(x) + "," + Coord(y1) + " L" + Coord(x) + "," + Coord(y2) + " M" + Coord(x - 2.5) + "," +
           Coord(y1) + " L" + Coord(x + 2.5) + "," + Coord(y1) + " M" + Coord(x - 2.5) + "," + Coord(y2) + " L" +
           Coord(x + 2.5) + "," + Coord(y2) + "\" stroke=\"" + colour + "\" stroke-width=\"1\" fill=\"none\" class=\"bar\"/>";
}

// Bytes as base64 (RFC 4648, with padding), for pictures carried in the page itself.
std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t a = bytes[i];
        const std::uint32_t b = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const std::uint32_t c = i + 2 < bytes.size() ? bytes[i + 2] : 0;
        const std::uint32_t v = (a << 16) | (b << 8) | c;
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[v & 63] : '=';
    }
    return out;
}

// A table line heading a group's families, when family f starts a new group (none for the
// no-attack reference, which heads nothing).
std::string GroupRow(const std::vector<ReportFamily>& families, std::size_t f, std::size_t columns);

// A group's heading in the report.
std::string GroupHeading(AttackGroup group) {
    switch (group) {
    case AttackGroup::None: return "No attack";
    case AttackGroup::Photometric: return "Photometric";
    case AttackGroup::Degradation: return "Degradation";
    case AttackGroup::Geometric: return "Geometric";
    case AttackGroup::Combined: return "Combined";
    }
    return {};
}

// A compact seed list: "1..20", "1..5, 7".
std::string SeedText(const std::vector<std::uint32_t>& seeds) {
    std::string text;
    for (std::size_t i = 0; i < seeds.size();) {
        std::size_t j = i;
        while (j + 1 < seeds.size() && seeds[j + 1] == seeds[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(seeds[i]);
        if (j > i) text += (j == i + 1 ? ", " : "..") + std::to_string(seeds[j]);
        i = j + 1;
    }
    return text;
}

}  // namespace

std::vector<CellSummary> SummariseCells(const RobustnessReport& report, const std::string& method) {
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < report.Cells.size(); ++i) index[report.Cells[i].Name] = i;
    std::vector<std::vector<const RobustnessRow*>> byCell(report.Cells.size());
    for (const RobustnessRow& row : report.Rows) {
        if (!method.empty() && row.Identity.Method != method) continue;
        if (auto found = index.find(row.Attack); found != index.end()) byCell[found->second].push_back(&row);
    }
    std::vector<CellSummary> summaries(report.Cells.size());
    for (std::size_t c = 0; c < byCell.size(); ++c) {
        CellSummary& s = summaries[c];
        std::vector<double> nc, score, psnr, ssim, registeredNc, registeredScore;
        double berSum = 0, bitSum = 0;
        std::size_t verdicts = 0, hits3 = 0, hits6 = 0, registeredVerdicts = 0, registeredHits3 = 0, registeredHits6 = 0;
        for (const RobustnessRow* row : byCell[c]) {
            ++s.Rows;
            if (row->Failed()) {
                ++s.Failed;
                continue;
            }
            if (row->Nc) nc.push_back(*row->Nc);
            score.push_back(row->Score);
            psnr.push_back(row->Psnr);
            ssim.push_back(row->Ssim);
            berSum = berSum + row->Ber;
            if (row->PayloadBits > 0 && row->BitAccuracy) {
                bitSum = bitSum + *row->BitAccuracy;
                ++s.BitRows;
            }
            if (row->Detected1e3 && row->Detected1e6) {
                ++verdicts;
                hits3 += *row->Detected1e3 ? 1 : 0;
                hits6 += *row->Detected1e6 ? 1 : 0;
            }
            if (const std::optional<RegisteredReading>& g = row->Registered) {
                if (g->Nc) registeredNc.push_back(*g->Nc);
                registeredScore.push_back(g->Score);
                if (g->Detected1e3 && g->Detected1e6) {
                    ++registeredVerdicts;
                    registeredHits3 += *g->Detected1e3 ? 1 : 0;
                    registeredHits6 += *g->Detected1e6 ? 1 : 0;
                }
            }
        }
        if (score.empty()) continue;
        if (!nc.empty()) s.Nc = QuartilesOf(nc);
        s.BerMean = berSum / static_cast<double>(score.size());
        s.ScoreMedian = QuartilesOf(score).Median;
        s.PsnrMedian = QuartilesOf(psnr).Median;
        s.SsimMedian = QuartilesOf(ssim).Median;
        if (verdicts > 0) {
            s.Tpr3 = static_cast<double>(hits3) / static_cast<double>(verdicts);
            s.Tpr6 = static_cast<double>(hits6) / static_cast<double>(verdicts);
        }
        s.Verdicts = verdicts;
        s.Hits3 = hits3;
        s.Hits6 = hits6;
        if (s.BitRows > 0) s.BitAccuracyMean = bitSum / static_cast<double>(s.BitRows);
        s.Registered = registeredScore.size();
        if (s.Registered == 0) continue;
        if (!registeredNc.empty()) s.RegisteredNcMedian = QuartilesOf(registeredNc).Median;
        s.RegisteredScoreMedian = QuartilesOf(registeredScore).Median;
        s.RegisteredVerdicts = registeredVerdicts;
        s.RegisteredHits6 = registeredHits6;
        if (registeredVerdicts > 0) {
            s.RegisteredTpr3 = static_cast<double>(registeredHits3) / static_cast<double>(registeredVerdicts);
            s.RegisteredTpr6 = static_cast<double>(registeredHits6) / static_cast<double>(registeredVerdicts);
        }
    }
    return summaries;
}

namespace {

// A tick step of 1, 2 or 5 times a power of ten giving at most `most` intervals over `span`;
// 0 (no ticks) for a span that is not a finite positive number.
double TickStep(double span, int most) {
    if (!(span > 0) || !std::isfinite(span)) return 0;
    double unit = 1e-6;
    // 1e-6 times 10^320 is beyond any double: the loop ends for every finite span.
    for (int decade = 0; decade < 320; ++decade) {
        for (const double m : {1.0, 2.0, 5.0})
            if (span / (m * unit) <= most) return m * unit;
        unit = unit * 10;
    }
    return 0;
}

// The ticks of an axis from lo to hi with that step, each added to the last, as many as the
// step allows and never more than most + 2 (a step too small to move a value adds none).
std::vector<double> Ticks(double lo, double hi, double step, double slack, int most) {
    std::vector<double> ticks;
    if (!(step > 0) || !std::isfinite(lo) || !std::isfinite(hi)) return ticks;
    for (double t = std::ceil(lo / step) * step; t <= hi + slack && static_cast<int>(ticks.size()) <= most + 1;) {
        ticks.push_back(t);
        const double next = t + step;
        if (!(next > t)) break;
        t = next;
    }
    return ticks;
}

std::string TickLabel(double value, double step) {
    int decimals = 0;
    for (double s = step; s < 1 - 1e-9 && decimals < 6; s = s * 10) ++decimals;
    return Fixed(value, decimals);
}

// Side-by-side cells with long names are numbered under the chart and listed below it.
bool NumberedCells(const RobustnessReport& report, const ReportFamily& family) {
    if (!family.Parameter.empty()) return false;
    for (const std::size_t c : family.Cells)
        if (report.Cells[c].Name.size() > 18) return true;
    return false;
}

// One chart: NC median with its interquartile band, the detection rates, the thresholds and
// the no-attack level, against strength (numeric) or cell (side by side).
// In a report that compares methods: each method's detection rate at 1e-6, in its colour and
// with its marker.
struct MethodSeries {
    std::string Label;
    const std::vector<CellSummary>* Summaries;
    const char* Colour;
    const char* Marker;
};

std::string FamilyChart(const RobustnessReport& report, const ReportFamily& family,
                        const std::vector<CellSummary>& summaries, double noneMedian,
                        const std::vector<MethodSeries>* methods = nullptr) {
    const double plotW = kWidth - kLeft - kRight;
    const double plotH = kHeight - kTop - kBottom;
    const bool numeric = !family.Parameter.empty();
    const std::size_t n = family.Cells.size();
    double lo = 0, hi = 1;
    if (numeric) {
        lo = *std::min_element(family.Strengths.begin(), family.Strengths.end());
        hi = *std::max_element(family.Strengths.begin(), family.Strengths.end());
        const double pad = (hi - lo) * 0.04;
        lo = lo - pad;
        hi = hi + pad;
    }
    // Strengths spanning orders of magnitude (rotation from 0.25 to 90 degrees) are drawn
    // evenly spaced in their order, each labelled, or the small ones would merge into one.
    bool ranked = false;
    std::vector<std::size_t> rank(n);
    if (numeric) {
        double smallest = std::numeric_limits<double>::infinity(), largest = 0;
        for (const double v : family.Strengths) {
            if (v != 0) smallest = std::min(smallest, std::fabs(v));
            largest = std::max(largest, std::fabs(v));
        }
        ranked = largest > 50 * smallest;
        std::vector<std::size_t> sorted(n);
        for (std::size_t i = 0; i < n; ++i) sorted[i] = i;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&](std::size_t a, std::size_t b) { return family.Strengths[a] < family.Strengths[b]; });
        for (std::size_t k = 0; k < n; ++k) rank[sorted[k]] = k;
    }
    auto x = [&](std::size_t i) {
        if (numeric && !ranked) return kLeft + (family.Strengths[i] - lo) / (hi - lo) * plotW;
        const std::size_t slot = ranked ? rank[i] : i;
        return kLeft + (static_cast<double>(slot) + 0.5) / static_cast<double>(n) * plotW;
    };
    auto y = [&](double v) { return kTop + (1 - v) * plotH; };

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Coord(kWidth) + " " +
                      Coord(kHeight) + "\" role=\"img\" aria-label=\"" + Escape(family.Name) + "\">\n";
    // Grid and axes.
    for (int t = 0; t <= 4; ++t) {
        const double v = t / 4.0;
        svg += "<line x1=\"" + Coord(kLeft) + "\" x2=\"" + Coord(kLeft + plotW) + "\" y1=\"" + Coord(y(v)) +
               "\" y2=\"" + Coord(y(v)) + "\" class=\"grid\"/>";
        svg += "<text x=\"" + Coord(kLeft - 6) + "\" y=\"" + Coord(y(v) + 4) + "\" class=\"yl\">" + Fixed(v, 2) +
               "</text>\n";
    }
    if (ranked) {
        for (std::size_t i = 0; i < n; ++i)
            svg += "<text transform=\"translate(" + Coord(x(i) + 3) + "," + Coord(kTop + plotH + 12) +
                   ") rotate(-45)\" class=\"cl\">" + FormatMeasure(family.Strengths[i]) + "</text>\n";
        svg += "<text x=\"" + Coord(kLeft + plotW / 2) + "\" y=\"" + Coord(kHeight - 4) + "\" class=\"xt\">" +
               Escape(family.Parameter) + " (in order, evenly spaced)</text>\n";
    } else if (numeric) {
        const double step = TickStep(hi - lo, 7);
        for (const double t : Ticks(lo, hi, step, step * 1e-9, 7)) {
            const double px = kLeft + (t - lo) / (hi - lo) * plotW;
            svg += "<line x1=\"" + Coord(px) + "\" x2=\"" + Coord(px) + "\" y1=\"" + Coord(kTop + plotH) +
                   "\" y2=\"" + Coord(kTop + plotH + 4) + "\" class=\"axis\"/>";
            svg += "<text x=\"" + Coord(px) + "\" y=\"" + Coord(kTop + plotH + 16) + "\" class=\"xl\">" +
                   TickLabel(std::fabs(t) < step * 1e-9 ? 0.0 : t, step) + "</text>\n";
        }
        svg += "<text x=\"" + Coord(kLeft + plotW / 2) + "\" y=\"" + Coord(kHeight - 8) + "\" class=\"xt\">" +
               Escape(family.Parameter) + "</text>\n";
    } else if (NumberedCells(report, family)) {
        for (std::size_t i = 0; i < n; ++i)
            svg += "<text x=\"" + Coord(x(i)) + "\" y=\"" + Coord(kTop + plotH + 16) + "\" class=\"xl\">" +
                   std::to_string(i + 1) + "</text>\n";
    } else {
        for (std::size_t i = 0; i < n; ++i)
            svg += "<text transform=\"translate(" + Coord(x(i)) + "," + Coord(kTop + plotH + 10) +
                   ") rotate(-20)\" class=\"cl\">" + Escape(report.Cells[family.Cells[i]].Name) + "</text>\n";
    }
    svg += "<rect x=\"" + Coord(kLeft) + "\" y=\"" + Coord(kTop) + "\" width=\"" + Coord(plotW) + "\" height=\"" +
           Coord(plotH) + "\" class=\"frame\"/>\n";

    // Reference level: NC with no attack. The thresholds are the score's, not NC's, and have
    // no place on this axis.
    auto level = [&](double v, const char* colour, const char* dash, const std::string& label) {
        if (std::isnan(v)) return;
        svg += "<line x1=\"" + Coord(kLeft) + "\" x2=\"" + Coord(kLeft + plotW) + "\" y1=\"" + Coord(y(v)) +
               "\" y2=\"" + Coord(y(v)) + "\" stroke=\"" + colour + "\" stroke-dasharray=\"" + dash +
               "\" stroke-width=\"1\"><title>" + Escape(label) + "</title></line>\n";
    };
    if (methods == nullptr) level(noneMedian, kNoneColour, "6 3", "NC with no attack (median)");

    // Points in drawing order (by strength for a numeric axis).
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    if (numeric)
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return family.Strengths[a] < family.Strengths[b]; });
    auto value = [&](std::size_t i, double CellSummary::*field) { return summaries[family.Cells[i]].*field; };
    auto quart = [&](std::size_t i) { return summaries[family.Cells[i]].Nc; };

    if (methods != nullptr) {
        // Nothing of NC: the methods' detection rates alone.
    } else if (numeric) {
        std::string upper, lower;
        for (const std::size_t i : order) {
            if (std::isnan(quart(i).Median)) continue;
            upper += Coord(x(i)) + "," + Coord(y(quart(i).Q3)) + " ";
        }
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            if (std::isnan(quart(*it).Median)) continue;
            lower += Coord(x(*it)) + "," + Coord(y(quart(*it).Q1)) + " ";
        }
        if (!upper.empty())
            svg += "<polygon points=\"" + upper + lower + "\" fill=\"" + kBandColour + "\" fill-opacity=\"0.55\"/>\n";
    } else {
        const double half = std::min(10.0, plotW / static_cast<double>(n) * 0.3);
        for (std::size_t i = 0; i < n; ++i) {
            if (std::isnan(quart(i).Median)) continue;
            svg += "<rect x=\"" + Coord(x(i) - half) + "\" y=\"" + Coord(y(quart(i).Q3)) + "\" width=\"" +
                   Coord(2 * half) + "\" height=\"" + Coord(std::max(0.5, y(quart(i).Q1) - y(quart(i).Q3))) +
                   "\" fill=\"" + kBandColour + "\" fill-opacity=\"0.75\"/>\n";
        }
    }
    // A series of points, joined on a numeric axis; a rate (counts gives its hits and trials)
    // with its Wilson 95 % interval as an error bar. Series that share an axis are set a few
    // pixels apart (dx), so that their bars do not hide one another.
    auto series = [&](auto get, auto counts, const char* colour, const char* dash, const char* marker,
                      const std::string& what, double dx) {
        std::string path;
        for (const std::size_t i : order) {
            const double v = get(i);
            if (std::isnan(v)) continue;
            path += (path.empty() ? "M" : " L") + Coord(x(i) + dx) + "," + Coord(y(v));
        }
        if (path.empty()) return;
        if (numeric)
            svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"2\"" +
                   (dash[0] ? std::string(" stroke-dasharray=\"") + dash + "\"" : std::string()) + "/>\n";
        for (const std::size_t i : order) {
            if (std::isnan(get(i))) continue;
            const auto [hits, trials] = counts(i);
            if (trials == 0) continue;
            const RateInterval r = WilsonInterval(hits, trials);
            svg += ErrorBar(x(i) + dx, y(r.Low), y(r.High), colour);
        }
        for (const std::size_t i : order) {
            const double v = get(i);
            if (std::isnan(v)) continue;
            const auto [hits, trials] = counts(i);
            std::string interval;
            if (trials > 0) {
                const RateInterval r = WilsonInterval(hits, trials);
                interval = " (" + Fixed(r.Low, 2) + "&ndash;" + Fixed(r.High, 2) + ", " + std::to_string(hits) + " of " +
                           std::to_string(trials) + ")";
            }
            const std::string title = "<title>" + Escape(report.Cells[family.Cells[i]].Name) + ": " + what + " " +
                                      Fixed(v, 3) + interval + "</title>";
            const double px = x(i) + dx, py = y(v);
            if (std::string(marker) == "circle") {
                svg += "<circle cx=\"" + Coord(px) + "\" cy=\"" + Coord(py) + "\" r=\"3.5\" fill=\"" + colour + "\">" +
                       title + "</circle>\n";
            } else if (std::string(marker) == "square") {
                svg += "<rect x=\"" + Coord(px - 3) + "\" y=\"" + Coord(py - 3) + "\" width=\"6\" height=\"6\" fill=\"" +
                       colour + "\">" + title + "</rect>\n";
            } else if (std::string(marker) == "diamond") {
                svg += "<path d=\"M" + Coord(px) + "," + Coord(py - 5) + " L" + Coord(px + 4) + "," + Coord(py) + " L" +
                       Coord(px) + "," + Coord(py + 5) + " L" + Coord(px - 4) + "," + Coord(py) + " Z\" fill=\"white\" stroke=\"" +
                       colour + "\" stroke-width=\"1.5\">" + title + "</path>\n";
            } else {
                svg += "<path d=\"M" + Coord(px) + "," + Coord(py - 4) + " L" + Coord(px + 4) + "," + Coord(py + 3) +
                       " L" + Coord(px - 4) + "," + Coord(py + 3) + " Z\" fill=\"" + colour + "\">" + title +
                       "</path>\n";
            }
        }
    };
    const auto none = [](std::size_t) { return std::pair<std::size_t, std::size_t>{0, 0}; };
    const auto cell = [&](std::size_t i) -> const CellSummary& { return summaries[family.Cells[i]]; };
    if (methods != nullptr) {
        const double spread = std::min(4.0, plotW / static_cast<double>(n) / static_cast<double>(methods->size() + 1));
        for (std::size_t k = 0; k < methods->size(); ++k) {
            const MethodSeries& m = (*methods)[k];
            const auto of = [&](std::size_t i) -> const CellSummary& { return (*m.Summaries)[family.Cells[i]]; };
            series([&](std::size_t i) { return of(i).Tpr6; },
                   [&](std::size_t i) { return std::pair{of(i).Hits6, of(i).Verdicts}; }, m.Colour, "", m.Marker,
                   m.Label + " detected at FPR 1e-6",
                   (static_cast<double>(k) - static_cast<double>(methods->size() - 1) / 2) * spread);
        }
        return svg + "</svg>\n";
    }
    series([&](std::size_t i) { return quart(i).Median; }, none, kNcColour, "", "circle", "NC median", 0.0);
    series([&](std::size_t i) { return value(i, &CellSummary::Tpr3); },
           [&](std::size_t i) { return std::pair{cell(i).Hits3, cell(i).Verdicts}; }, kTpr3Colour, "5 3", "square",
           "detected at FPR 1e-3", -2.0);
    series([&](std::size_t i) { return value(i, &CellSummary::Tpr6); },
           [&](std::size_t i) { return std::pair{cell(i).Hits6, cell(i).Verdicts}; }, kTpr6Colour, "1 3", "triangle",
           "detected at FPR 1e-6", 2.0);
    // The second reading of a registering run: the same colours, dashed, with open diamonds.
    series([&](std::size_t i) { return value(i, &CellSummary::RegisteredNcMedian); }, none, kNcColour, "7 3",
           "diamond", "NC median after registration", 0.0);
    series([&](std::size_t i) { return value(i, &CellSummary::RegisteredTpr6); },
           [&](std::size_t i) { return std::pair{cell(i).RegisteredHits6, cell(i).RegisteredVerdicts}; }, kTpr6Colour,
           "7 3", "diamond", "detected at FPR 1e-6 after registration", 4.0);
    return svg + "</svg>\n";
}

std::string GroupRow(const std::vector<ReportFamily>& families, std::size_t f, std::size_t columns) {
    if (families[f].Group == AttackGroup::None || (f > 0 && families[f - 1].Group == families[f].Group)) return {};
    return "<tr class=\"group\"><td class=\"n\" colspan=\"" + std::to_string(columns) + "\">" +
           GroupHeading(families[f].Group) + "</td></tr>\n";
}

// The charts of the families, each in its figure with its numbered cells listed below it.
std::string FamilyFigures(const RobustnessReport& report, const std::vector<ReportFamily>& families,
                          const std::vector<CellSummary>& summaries, double noneMedian,
                          const std::vector<MethodSeries>* methods) {
    std::string h;
    std::optional<AttackGroup> group;
    for (const ReportFamily& family : families) {
        if (family.Group != group) {
            h += std::string(group ? "</div>\n" : "") + "<h3>" + GroupHeading(family.Group) + "</h3>\n<div class=\"charts\">\n";
            group = family.Group;
        }
        h += "<figure><figcaption>" + Escape(family.Name) + "</figcaption>\n" +
             FamilyChart(report, family, summaries, noneMedian, methods);
        if (NumberedCells(report, family)) {
            h += "<ol class=\"cells\">";
            for (const std::size_t c : family.Cells) h += "<li>" + Escape(report.Cells[c].Name) + "</li>";
            h += "</ol>\n";
        }
        h += "</figure>\n";
    }
    return group ? h + "</div>\n" : h;
}

// The calibration's tail: the share of null trials above x (steps) and the model's, on a
// log scale from 1 down to 1e-8, with the two thresholds.
std::string TailChart(const Calibration& cal) {
    const double plotW = kWidth - kLeft - kRight;
    const double plotH = kHeight - kTop - kBottom;
    constexpr int kDecades = 8;
    const double lo = cal.Histogram.front().first;
    double hi = std::max(cal.ThresholdModelled, cal.Histogram.back().first);
    // Room right of the last threshold for its label; some room also when every score and
    // the threshold are one value.
    hi = hi > lo ? hi + (hi - lo) * 0.15 : lo + 0.01;
    auto x = [&](double v) { return kLeft + (v - lo) / (hi - lo) * plotW; };
    auto y = [&](double share) {
        // PortableLog keeps the drawing the same bytes on every machine.
        const double decades =
            share <= 0 ? kDecades : std::min<double>(kDecades, -PortableLog(share) / PortableLog(10.0));
        return kTop + decades / kDecades * plotH;
    };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Coord(kWidth) + " " +
                      Coord(kHeight) + "\" role=\"img\" aria-label=\"null distribution tail\">\n";
    for (int d = 0; d <= kDecades; ++d) {
        const double py = kTop + d * plotH / kDecades;
        svg += "<line x1=\"" + Coord(kLeft) + "\" x2=\"" + Coord(kLeft + plotW) + "\" y1=\"" + Coord(py) + "\" y2=\"" +
               Coord(py) + "\" class=\"grid\"/>";
        svg += "<text x=\"" + Coord(kLeft - 6) + "\" y=\"" + Coord(py + 4) + "\" class=\"yl\">" +
               (d == 0 ? std::string("1") : "1e-" + std::to_string(d)) + "</text>\n";
    }
    const double step = TickStep(hi - lo, 7);
    for (const double t : Ticks(lo, hi, step, 0, 7)) {
        svg += "<text x=\"" + Coord(x(t)) + "\" y=\"" + Coord(kTop + plotH + 16) + "\" class=\"xl\">" +
               TickLabel(t, step) + "</text>\n";
    }
    svg += "<text x=\"" + Coord(kLeft + plotW / 2) + "\" y=\"" + Coord(kHeight - 8) +
           "\" class=\"xt\">detection score of pictures without the mark; share at or above it</text>\n";
    svg += "<rect x=\"" + Coord(kLeft) + "\" y=\"" + Coord(kTop) + "\" width=\"" + Coord(plotW) + "\" height=\"" +
           Coord(plotH) + "\" class=\"frame\"/>\n";
    // Empirical: a step down at each distinct value.
    std::string path = "M" + Coord(kLeft) + "," + Coord(y(1));
    std::uint64_t above = cal.Trials;
    for (const auto& [value, count] : cal.Histogram) {
        const double before = static_cast<double>(above) / static_cast<double>(cal.Trials);
        above -= count;
        const double after = static_cast<double>(above) / static_cast<double>(cal.Trials);
        path += " L" + Coord(x(value)) + "," + Coord(y(before)) + " L" + Coord(x(value)) + "," + Coord(y(after));
        if (above == 0) break;
    }
    svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + kNcColour + "\" stroke-width=\"2\"/>\n";
    // The model, sampled finely.
    std::string model;
    for (int i = 0; i <= 200; ++i) {
        const double v = lo + (hi - lo) * i / 200.0;
        const double share = cal.ModelTail(v);
        if (share < 1e-9) break;
        model += (model.empty() ? "M" : " L") + Coord(x(v)) + "," + Coord(y(share));
    }
    svg += "<path d=\"" + model + "\" fill=\"none\" stroke=\"" + kTpr3Colour +
           "\" stroke-width=\"2\" stroke-dasharray=\"6 3\"/>\n";
    for (const auto& [t, label] : {std::pair{cal.ThresholdEmpirical, "1e-3"}, std::pair{cal.ThresholdModelled, "1e-6"}}) {
        svg += "<line x1=\"" + Coord(x(t)) + "\" x2=\"" + Coord(x(t)) + "\" y1=\"" + Coord(kTop) + "\" y2=\"" +
               Coord(kTop + plotH) + "\" stroke=\"#444\" stroke-dasharray=\"2 3\"/>";
        // The two lines lie close together: one label to the left of its line, one to the right.
        const bool right = std::string(label) == "1e-6";
        svg += "<text x=\"" + Coord(x(t) + (right ? 4 : -4)) + "\" y=\"" + Coord(kTop + 12) + "\" class=\"tl\"" +
               (right ? " style=\"text-anchor:start\"" : "") + ">FPR " + label + "</text>\n";
    }
    return svg + "</svg>\n";
}

// A family's ROC curve on linear axes, the chance diagonal, and the points of the two
// thresholds. Points closer than a two-hundredth of the axis to the last one drawn are left
// out: the curve looks the same and the file stays small.
struct RocSeries {
    const FamilyRoc* Roc;
    std::string Label;
    const char* Colour;
};

// The curves on a logarithmic false-positive axis from 1e-6 to 1, so that the rates a user
// sets thresholds at (1e-3, 1e-6) are not all squeezed against the left edge. A false-positive
// rate of 0 (no null row reached) is drawn at the axis' left end, 1e-6. Points closer than
// half a pixel to the last one drawn are left out.
std::string RocChart(const std::vector<RocSeries>& curves, const std::string& name) {
    constexpr double kSide = 300;
    constexpr double kMargin = 44;
    constexpr double kEnd = 12;
    constexpr double kDecades = 6;
    const double plot = kSide - kMargin - kEnd;
    auto x = [&](double fpr) { return kMargin + (std::log10(std::clamp(fpr, 1e-6, 1.0)) + kDecades) / kDecades * plot; };
    auto y = [&](double tpr) { return kEnd + (1 - tpr) * plot; };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Coord(kSide) + " " + Coord(kSide) +
                      "\" role=\"img\" aria-label=\"ROC curve, " + Escape(name) + "\">\n";
    for (int t = 0; t <= 4; ++t) {
        const double v = t / 4.0;
        svg += "<line x1=\"" + Coord(x(1e-6)) + "\" x2=\"" + Coord(x(1)) + "\" y1=\"" + Coord(y(v)) + "\" y2=\"" +
               Coord(y(v)) + "\" class=\"grid\"/><text x=\"" + Coord(x(1e-6) - 5) + "\" y=\"" + Coord(y(v) + 4) +
               "\" class=\"yl\">" + Fixed(v, 2) + "</text>";
    }
    static const char* const kDecadeLabels[] = {"1e-6", "1e-5", "1e-4", "1e-3", "1e-2", "0.1", "1"};
    for (int d = 0; d <= 6; ++d) {
        const double f = std::pow(10.0, d - 6);
        svg += "<line x1=\"" + Coord(x(f)) + "\" x2=\"" + Coord(x(f)) + "\" y1=\"" + Coord(y(0)) + "\" y2=\"" +
               Coord(y(1)) + "\" class=\"grid\"/>";
        if (d % 2 == 0 || d == 3)
            svg += "<text x=\"" + Coord(x(f)) + "\" y=\"" + Coord(y(0) + 14) + "\" class=\"xl\">" + kDecadeLabels[d] +
                   "</text>";
    }
    // The two rates the verdicts are set at.
    for (const auto& [f, colour] : {std::pair{1e-3, kTpr3Colour}, std::pair{1e-6, kTpr6Colour}})
        svg += "<line x1=\"" + Coord(x(f) + (f == 1e-6 ? 1 : 0)) + "\" x2=\"" + Coord(x(f) + (f == 1e-6 ? 1 : 0)) +
               "\" y1=\"" + Coord(y(0)) + "\" y2=\"" + Coord(y(1)) + "\" stroke=\"" + colour +
               "\" stroke-dasharray=\"3 3\"/>";
    svg += "\n<text x=\"" + Coord(x(1e-3)) + "\" y=\"" + Coord(kSide - 4) +
           "\" class=\"xt\">false-positive rate, log (own host unmarked)</text>\n";
    svg += "<text transform=\"translate(11," + Coord(y(0.5)) + ") rotate(-90)\" class=\"xt\">true-positive rate</text>\n";
    // Chance: TPR = FPR, a curve on this axis.
    std::string chance;
    for (int i = 0; i <= 24; ++i) {
        const double f = std::pow(10.0, -kDecades + kDecades * i / 24.0);
        chance += (chance.empty() ? "M" : " L") + Coord(x(f)) + "," + Coord(y(f));
    }
    svg += "<path d=\"" + chance + "\" fill=\"none\" stroke=\"#999\" stroke-dasharray=\"4 3\"/>\n";
    svg += "<rect x=\"" + Coord(x(1e-6)) + "\" y=\"" + Coord(y(1)) + "\" width=\"" + Coord(plot) + "\" height=\"" +
           Coord(plot) + "\" class=\"frame\"/>\n";
    const bool one = curves.size() == 1;
    for (const RocSeries& series : curves) {
        const FamilyRoc& roc = *series.Roc;
        if (roc.Curve.Points.empty()) continue;
        std::string path;
        double lastX = -1, lastY = -1, lastTpr = 0;
        const std::vector<std::pair<double, double>>& points = roc.Curve.Points;
        for (std::size_t k = 0; k < points.size(); ++k) {
            const auto& [fpr, tpr] = points[k];
            const double px = x(fpr), py = y(tpr);
            const bool last = k + 1 == points.size();
            if (!last && k > 0 && std::fabs(px - lastX) < 0.5 && std::fabs(py - lastY) < 0.5) continue;
            // A step: across at the old rate, then up.
            if (!path.empty()) path += " L" + Coord(px) + "," + Coord(y(lastTpr));
            path += (path.empty() ? "M" : " L") + Coord(px) + "," + Coord(py);
            lastX = px;
            lastY = py;
            lastTpr = tpr;
        }
        svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + std::string(one ? kNcColour : series.Colour) +
               "\" stroke-width=\"2\"/>\n";
    }
    // Where the two thresholds fall on each curve: the share of the null side reaching them against
    // the share of the rows detected. One curve: a circle in the threshold's colour; several: the
    // method's colour, a square at 1e-3 and a triangle at 1e-6.
    for (const RocSeries& series : curves) {
        const FamilyRoc& roc = *series.Roc;
        if (std::isnan(roc.Fpr1e3) || std::isnan(roc.Tpr1e3)) continue;
        for (const auto& [fpr, tpr, colour, label] :
             {std::tuple{roc.Fpr1e3, roc.Tpr1e3, kTpr3Colour, "1e-3"}, std::tuple{roc.Fpr1e6, roc.Tpr1e6, kTpr6Colour, "1e-6"}}) {
            const std::string title = "<title>" + Escape(series.Label) + (series.Label.empty() ? "" : ", ") +
                                      "threshold at FPR " + label + ": " + Fixed(tpr, 3) + " detected, " + Fixed(fpr, 3) +
                                      " of the null side</title>";
            const double px = x(fpr) + (fpr <= 1e-6 ? 1 : 0), py = y(tpr);
            if (one) {
                svg += "<circle cx=\"" + Coord(px) + "\" cy=\"" + Coord(py) + "\" r=\"4\" fill=\"" + std::string(colour) +
                       "\">" + title + "</circle>\n";
            } else if (std::string(label) == "1e-3") {
                svg += "<rect x=\"" + Coord(px - 3.5) + "\" y=\"" + Coord(py - 3.5) + "\" width=\"7\" height=\"7\" fill=\"" +
                       std::string(series.Colour) + "\" stroke=\"#fff\">" + title + "</rect>\n";
            } else {
                svg += "<path d=\"M" + Coord(px) + "," + Coord(py - 4.5) + " L" + Coord(px + 4.5) + "," + Coord(py + 3.5) +
                       " L" + Coord(px - 4.5) + "," + Coord(py + 3.5) + " Z\" fill=\"" + std::string(series.Colour) +
                       "\" stroke=\"#fff\">" + title + "</path>\n";
            }
        }
    }
    return svg + "</svg>\n";
}

// An area below one half: the marked pictures score below the unmarked ones, as a mark read
// with its sign turned does (a decoder that pulls coefficients onto the other bit's lattice).
std::string AucText(double auc) {
    if (std::isnan(auc) || auc >= 0.5) return Fixed(auc, 3);
    return Fixed(auc, 3) + " <b title=\"below 0.5: the marked pictures score below the unmarked ones\">inverted</b>";
}

const char* kStyle = R"(<style>
body{font-family:system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",Arial,sans-serif;color:#222;margin:24px auto;max-width:1120px;padding:0 16px;line-height:1.4}
h1{font-size:1.6em;margin-bottom:4px}h2{font-size:1.25em;border-bottom:1px solid #ccc;padding-bottom:4px;margin-top:32px}
pre{background:#f4f4f4;padding:8px;overflow-x:auto;white-space:pre-wrap;word-break:break-all;font-size:.85em}
table{border-collapse:collapse;font-size:.85em;margin:8px 0}th,td{border:1px solid #ddd;padding:3px 8px;text-align:right}
th{background:#f0f0f0}td{white-space:nowrap}td.n,th.n{text-align:left;white-space:normal}tr.fail td{background:#fde8e8}
ol.cells{margin:4px 0 0 0;padding-left:28px;font-size:.8em;color:#333}
.charts{display:grid;grid-template-columns:repeat(auto-fill,minmax(520px,1fr));gap:16px}
.rocs{display:grid;grid-template-columns:repeat(auto-fill,minmax(260px,1fr));gap:12px}
details{margin:8px 0}summary{cursor:pointer}
figure{margin:0;border:1px solid #e3e3e3;padding:6px}figcaption{font-weight:600;margin-bottom:2px}
svg{width:100%;height:auto;font-size:11px}.grid{stroke:#e6e6e6}.axis{stroke:#888}.frame{fill:none;stroke:#999}
.yl{text-anchor:end;fill:#555}.xl{text-anchor:middle;fill:#555}.xt{text-anchor:middle;fill:#333}
.cl{text-anchor:end;fill:#333;font-size:10px}.tl{text-anchor:end;fill:#444;font-size:10px}
.legend span{display:inline-block;margin-right:18px;font-size:.9em}.key{display:inline-block;width:22px;height:10px;margin-right:5px;vertical-align:middle}
.muted{color:#666}h3{font-size:1.05em;margin:18px 0 6px}tr.group td{background:#f6f6f6;font-weight:600}
.strip{display:flex;flex-wrap:wrap;gap:8px}.strip figure{width:132px;padding:2px;border:1px solid #e3e3e3}
.strip img{display:block;margin:0 auto}.strip figcaption{font-weight:400;font-size:.75em;overflow-wrap:anywhere;margin:2px 0 0}
</style>
)";

}  // namespace

std::string PeopleNumber(double value, int decimals) {
    if (std::isnan(value)) return "&ndash;";
    if (std::isinf(value)) return value > 0 ? "&infin;" : "&minus;&infin;";
    std::string text = FormatFixed(value, decimals);
    if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
    return text;
}

const char* ReportStyle() { return kStyle; }

Quartiles QuartilesOf(std::vector<double> values) {
    if (values.empty()) return {kNaN, kNaN, kNaN};
    std::sort(values.begin(), values.end());
    auto at = [&](double p) {
        const double position = p * static_cast<double>(values.size() - 1);
        const auto below = static_cast<std::size_t>(position);
        const double fraction = position - static_cast<double>(below);
        if (below + 1 >= values.size()) return values.back();
        // The infinite PSNR of unchanged pictures stays infinite rather than becoming NaN.
        if (fraction == 0) return values[below];
        return values[below] + (values[below + 1] - values[below]) * fraction;
    };
    return {at(0.25), at(0.5), at(0.75)};
}

RobustnessReport ReportOf(const SweepPlan& plan, std::vector<RobustnessRow> rows, std::string mark, std::string command,
                          std::string program) {
    RobustnessReport report;
    report.Rows = std::move(rows);
    report.Cells = plan.Cells;
    for (const SweepHost& h : plan.Hosts) report.Hosts.push_back(h.Name);
    report.Seeds = plan.Seeds;
    report.Thresholds = plan.Thresholds;
    for (std::size_t m = 0; m < plan.Methods.size(); ++m) {
        report.Methods.push_back(plan.Methods[m].Label);
        report.MethodThresholds.push_back(PlanThresholds(plan, m));
    }
    report.Mark = std::move(mark);
    report.Command = std::move(command);
    report.Program = std::move(program);
    if (plan.Part.Count > 1) report.Shard = std::to_string(plan.Part.Index) + "/" + std::to_string(plan.Part.Count);
    return report;
}

const std::vector<AttackGroup>& ReportGroups() {
    static const std::vector<AttackGroup> groups = {AttackGroup::None, AttackGroup::Photometric,
                                                    AttackGroup::Degradation, AttackGroup::Geometric,
                                                    AttackGroup::Combined};
    return groups;
}

std::vector<ReportFamily> ReportFamilies(const std::vector<AttackCell>& cells) {
    // Group by attack (combinations by their group), in order of first appearance.
    struct Gathered {
        std::string Key;
        AttackGroup Group;
        bool Combination;
        std::vector<std::size_t> Members;
    };
    std::vector<Gathered> gathered;
    std::map<std::string, std::size_t> indexOf;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const AttackGroup group = AttackGroupOf(cells[i]);
        const bool combination = cells[i].Steps.size() != 1;
        // A combination within one group is that group's ("geometric combinations"); one that
        // mixes groups is a combination proper.
        const std::string key = !combination                     ? std::string(InfoOf(cells[i].Steps[0].Id).Name)
                                : group == AttackGroup::Combined ? std::string("combinations")
                                : group == AttackGroup::None     ? std::string("no-attack combinations")
                                                                 : std::string(AttackGroupName(group)) + " combinations";
        auto [it, fresh] = indexOf.emplace(key, gathered.size());
        if (fresh) gathered.push_back({key, group, combination, {}});
        gathered[it->second].Members.push_back(i);
    }
    std::vector<ReportFamily> families;
    // Attacks of one cell each, gathered per group: their family's place among the others.
    std::map<AttackGroup, std::size_t> singles;
    std::map<AttackGroup, std::size_t> singleCount;
    for (const Gathered& g : gathered)
        if (!g.Combination && g.Members.size() == 1) ++singleCount[g.Group];
    for (const Gathered& g : gathered) {
        if (!g.Combination && g.Members.size() == 1) {
            auto [it, fresh] = singles.emplace(g.Group, families.size());
            if (fresh) {
                // A group's only lone attack keeps its own name.
                const std::string name = singleCount[g.Group] == 1 ? g.Key
                                         : g.Group == AttackGroup::None
                                             ? std::string("other attacks")
                                             : "other " + std::string(AttackGroupName(g.Group)) + " attacks";
                families.push_back({name, g.Group, {}, "", {}});
            }
            families[it->second].Cells.push_back(g.Members[0]);
            continue;
        }
        ReportFamily family{g.Key, g.Group, g.Members, "", {}};
        if (!g.Combination) {
            const AttackStep& first = cells[g.Members[0]].Steps[0];
            std::vector<std::size_t> varying;
            for (std::size_t p = 0; p < first.Values.size(); ++p)
                for (const std::size_t m : g.Members)
                    if (cells[m].Steps[0].Values[p] != first.Values[p]) {
                        varying.push_back(p);
                        break;
                    }
            if (varying.size() == 1) {
                family.Parameter = InfoOf(first.Id).Parameters[varying[0]].Name;
                for (const std::size_t m : g.Members) family.Strengths.push_back(cells[m].Steps[0].Values[varying[0]]);
            }
        }
        families.push_back(family);
    }
    // Group by group, each in the order of its first cells.
    const std::vector<AttackGroup>& order = ReportGroups();
    std::stable_sort(families.begin(), families.end(), [&](const ReportFamily& a, const ReportFamily& b) {
        return std::find(order.begin(), order.end(), a.Group) < std::find(order.begin(), order.end(), b.Group);
    });
    return families;
}

RocCurve RocOf(std::vector<double> positives, std::vector<double> negatives) {
    RocCurve roc;
    roc.Positives = positives.size();
    roc.Negatives = negatives.size();
    if (positives.empty() || negatives.empty()) return roc;
    std::sort(positives.begin(), positives.end(), std::greater<>());
    std::sort(negatives.begin(), negatives.end(), std::greater<>());
    const double p = static_cast<double>(positives.size());
    const double n = static_cast<double>(negatives.size());
    roc.Points.push_back({0.0, 0.0});
    std::size_t i = 0;
    std::size_t j = 0;
    double area = 0;  // in units of one positive times one negative
    while (i < positives.size() || j < negatives.size()) {
        // The next threshold down: the highest score not yet passed, of either side.
        double t = -std::numeric_limits<double>::infinity();
        if (i < positives.size()) t = positives[i];
        if (j < negatives.size()) t = std::max(t, negatives[j]);
        std::size_t tp = 0;
        std::size_t fp = 0;
        while (i < positives.size() && positives[i] == t) ++i, ++tp;
        while (j < negatives.size() && negatives[j] == t) ++j, ++fp;
        // The positives at t beat the negatives below it and tie those at it.
        const double below = static_cast<double>(negatives.size() - j);
        area = area + static_cast<double>(tp) * below + 0.5 * static_cast<double>(tp) * static_cast<double>(fp);
        roc.Points.push_back({static_cast<double>(j) / n, static_cast<double>(i) / p});
    }
    roc.Auc = area / (p * n);
    return roc;
}

namespace {

FamilyRoc RocOfRows(const RobustnessReport& report, const ReportFamily& family, const std::string* method,
                    const std::optional<Calibration>& thresholds) {
    std::set<std::string> names;
    for (const std::size_t c : family.Cells) names.insert(report.Cells[c].Name);
    std::vector<double> positives, negatives, nullSpread;
    std::size_t verdicts = 0, hits3 = 0, hits6 = 0;
    for (const RobustnessRow& row : report.Rows) {
        if (row.Failed() || names.count(row.Attack) == 0) continue;
        if (method != nullptr && row.Identity.Method != *method) continue;
        positives.push_back(row.Score);
        if (row.ScoreNull) negatives.push_back(*row.ScoreNull);
        // Thresholds of z judge the null side's z (what the row keeps of it).
        if (thresholds && thresholds->Units == Statistic::Spread && row.ZNull) nullSpread.push_back(*row.ZNull);
        if (row.Detected1e3 && row.Detected1e6) {
            ++verdicts;
            hits3 += *row.Detected1e3 ? 1 : 0;
            hits6 += *row.Detected1e6 ? 1 : 0;
        }
    }
    FamilyRoc roc;
    roc.Verdicts = thresholds ? verdicts : 0;
    if (thresholds && verdicts > 0) {
        roc.Tpr1e3 = static_cast<double>(hits3) / static_cast<double>(verdicts);
        roc.Tpr1e6 = static_cast<double>(hits6) / static_cast<double>(verdicts);
    }
    const std::vector<double>& judged = thresholds && thresholds->Units == Statistic::Spread ? nullSpread : negatives;
    if (thresholds && !judged.empty()) {
        std::size_t reach3 = 0, reach6 = 0;
        for (const double v : judged) {
            reach3 += thresholds->Detected(v, kFprEmpirical) ? 1 : 0;
            reach6 += thresholds->Detected(v, kFprModelled) ? 1 : 0;
        }
        roc.Fpr1e3 = static_cast<double>(reach3) / static_cast<double>(judged.size());
        roc.Fpr1e6 = static_cast<double>(reach6) / static_cast<double>(judged.size());
    }
    roc.Curve = RocOf(std::move(positives), std::move(negatives));
    return roc;
}

}  // namespace

FamilyRoc RocOfFamily(const RobustnessReport& report, const ReportFamily& family) {
    return RocOfRows(report, family, nullptr, report.Thresholds);
}

FamilyRoc RocOfFamily(const RobustnessReport& report, const ReportFamily& family, std::size_t method) {
    return RocOfRows(report, family, &report.Methods.at(method), report.MethodThresholds.at(method));
}

MeanInterval BootstrapMeanInterval(const std::vector<double>& values) {
    MeanInterval out;
    out.Count = values.size();
    if (values.empty()) return out;
    double sum = 0;
    for (const double v : values) sum = sum + v;
    const double n = static_cast<double>(values.size());
    out.Mean = sum / n;
    // The resampled means, each a sum in the order drawn; a fixed seed keeps the interval the
    // same from run to run and machine to machine.
    constexpr int kResamples = 2000;
    RandomStream random(0x51A7B007u);
    std::vector<double> means(kResamples);
    for (double& mean : means) {
        double total = 0;
        for (std::size_t k = 0; k < values.size(); ++k)
            total = total + values[static_cast<std::size_t>(random.Next() % values.size())];
        mean = total / n;
    }
    std::sort(means.begin(), means.end());
    // The 2.5th and 97.5th percentiles, between order statistics as QuartilesOf takes them.
    auto at = [&](double p) {
        const double position = p * (kResamples - 1);
        const auto below = static_cast<std::size_t>(position);
        const double fraction = position - static_cast<double>(below);
        if (below + 1 >= means.size()) return means.back();
        return means[below] + (means[below + 1] - means[below]) * fraction;
    };
    out.Low = std::min(at(0.025), out.Mean);
    out.High = std::max(at(0.975), out.Mean);
    return out;
}

const std::vector<std::string>& SizeGroupNames() {
    static const std::vector<std::string> names = {"up to 256 \u00d7 256", "up to 1 MP", "1 to 4 MP", "4 to 16 MP",
                                                   "over 16 MP", "size not recorded"};
    return names;
}

std::size_t SizeGroupOf(int width, int height) {
    if (width <= 0 || height <= 0) return 5;
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    constexpr std::uint64_t kMega = 1u << 20;
    if (pixels <= 256 * 256) return 0;
    if (pixels <= kMega) return 1;
    if (pixels <= 4 * kMega) return 2;
    if (pixels <= 16 * kMega) return 3;
    return 4;
}

std::vector<std::size_t> StrongestCells(const RobustnessReport& report, const std::vector<ReportFamily>& families) {
    const std::vector<CellSummary> summaries = SummariseCells(report);
    std::vector<std::size_t> strongest;
    for (const ReportFamily& family : families) {
        if (family.Cells.empty()) continue;
        std::size_t best = family.Cells.back();
        double lowest = std::numeric_limits<double>::infinity();
        for (const std::size_t c : family.Cells) {
            const double psnr = summaries[c].PsnrMedian;
            if (!std::isnan(psnr) && psnr < lowest) {
                lowest = psnr;
                best = c;
            }
        }
        strongest.push_back(best);
    }
    return strongest;
}

namespace {

// The centred part of at most side x side pixels.
Bitmap CentredPart(const Bitmap& picture, int side) {
    const int w = std::min(picture.width(), side), h = std::min(picture.height(), side);
    if (w == picture.width() && h == picture.height()) return picture;
    const int x0 = (picture.width() - w) / 2, y0 = (picture.height() - h) / 2;
    Bitmap part(w, h);
    for (int y = 0; y < h; ++y)
        std::copy_n(picture.row(y0 + y) + 3 * static_cast<std::size_t>(x0), part.rowBytes(), part.row(y));
    return part;
}

// Reduced by averaging k x k blocks, k the least whole factor that brings both sides within
// `most`; each mean rounded half to even.
Bitmap Reduced(const Bitmap& picture, int most) {
    const int k = std::max((picture.width() + most - 1) / most, (picture.height() + most - 1) / most);
    if (k <= 1) return picture;
    const int w = std::max(1, picture.width() / k), h = std::max(1, picture.height() / k);
    Bitmap out(w, h);
    const int area = k * k;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < k && y * k + dy < picture.height(); ++dy)
                    for (int dx = 0; dx < k && x * k + dx < picture.width(); ++dx)
                        sum += picture.row(y * k + dy)[3 * (x * k + dx) + c];
                int mean = sum / area;
                const int rest = sum % area;
                if (2 * rest > area || (2 * rest == area && mean % 2 == 1)) ++mean;
                out.row(y)[3 * x + c] = static_cast<std::uint8_t>(mean);
            }
    return out;
}

bool IsGray(const Bitmap& picture) {
    const std::vector<std::uint8_t>& b = picture.bytes();
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x)
            if (row[3 * x] != row[3 * x + 1] || row[3 * x] != row[3 * x + 2]) return false;
    }
    return !b.empty();
}

}  // namespace

std::vector<ReportExample> ReportExamples(const RobustnessReport& report, const Bitmap& host, std::uint32_t seed) {
    std::vector<ReportExample> examples;
    if (host.empty()) return examples;
    const std::vector<ReportFamily> families = ReportFamilies(report.Cells);
    const std::vector<std::size_t> strongest = StrongestCells(report, families);
    const Bitmap part = CentredPart(host, 256);
    const bool gray = IsGray(part);
    for (std::size_t f = 0; f < families.size(); ++f) {
        const AttackCell& cell = report.Cells[strongest[f]];
        Bitmap attacked;
        try {
            attacked = ApplyAttackCell(cell, part, seed, part);
        } catch (const std::exception&) {
            continue;  // a cell this picture cannot take: no picture rather than no report
        }
        const Bitmap small = Reduced(attacked, 128);
        examples.push_back({families[f].Name, cell.Name, small.width(), small.height(), PngBytes(small, gray)});
    }
    return examples;
}

void AddReportExamples(RobustnessReport& report, const SweepPlan& plan) {
    for (const SweepHost& host : plan.Hosts) {
        Bitmap picture;
        try {
            picture = host.Load();
        } catch (const std::exception&) {
            continue;  // a host that went away: the next one shows the strip
        }
        if (picture.empty()) continue;
        report.ExampleHost = host.Name;
        report.Examples = ReportExamples(report, picture, plan.Seeds.empty() ? 1u : plan.Seeds.front());
        return;
    }
}

namespace {

// Method colours and markers, apart for the common colour-vision deficiencies.
constexpr const char* kMethodColours[] = {"#1f5fa8", "#d9730d", "#2e8540", "#b0228c", "#6b4c9a", "#8c564b"};
constexpr const char* kMethodMarkers[] = {"circle", "square", "triangle", "diamond"};

std::string Legend(const std::vector<MethodSeries>& series) {
    std::string h = "<p class=\"legend\">";
    for (const MethodSeries& m : series)
        h += "<span><i class=\"key\" style=\"background:" + std::string(m.Colour) + "\"></i>" + Escape(m.Label) +
             "</span>";
    return h + "</p>\n";
}

// The strip of examples: each family's strongest cell on the example host, as small pictures
// carried in the page.
std::string ExampleStrip(const RobustnessReport& report) {
    if (report.Examples.empty()) return {};
    std::string h = "<h2>What the attacks do</h2>\n<p>Each family's strongest cell (of its cells, the one that "
                    "changes the marked pictures most: the lowest median PSNR) applied to <b>" +
                    Escape(report.ExampleHost) + "</b>, unmarked (its centred part of at most 256 &times; 256 "
                    "pixels, seed " + std::to_string(report.Seeds.empty() ? 1u : report.Seeds.front()) +
                    "), shown at half size or less.</p>\n<div class=\"strip\">\n";
    for (const ReportExample& e : report.Examples)
        h += "<figure><img src=\"data:image/png;base64," + Base64(e.Png) + "\" width=\"" + std::to_string(e.Width) +
             "\" height=\"" + std::to_string(e.Height) + "\" alt=\"" + Escape(e.Cell) + "\"><figcaption>" +
             Escape(e.Family) + "<br><code>" + Escape(e.Cell) + "</code></figcaption></figure>\n";
    return h + "</div>\n";
}

// "256 × 256 (whole)", what a row says it marked.
std::string SizeText(const RobustnessRow& row) {
    return std::to_string(row.Width) + " &times; " + std::to_string(row.Height) +
           (row.Region.empty() ? std::string() : row.Region == "whole" ? std::string(" (whole)") : std::string(" (top-left region)"));
}

// The sizes the rows marked, in order of first appearance.
std::vector<std::string> SizesMarked(const RobustnessReport& report) {
    std::vector<std::string> sizes;
    for (const RobustnessRow& row : report.Rows) {
        if (row.Failed() || row.Width <= 0) continue;
        const std::string text = SizeText(row);
        if (std::find(sizes.begin(), sizes.end(), text) == sizes.end()) sizes.push_back(text);
    }
    return sizes;
}

// The run table's line of the sizes marked (none when the rows do not say).
std::string SizesLine(const RobustnessReport& report) {
    const std::vector<std::string> sizes = SizesMarked(report);
    if (sizes.empty()) return {};
    std::string text;
    for (std::size_t i = 0; i < sizes.size() && i < 4; ++i) text += (i == 0 ? "" : ", ") + sizes[i];
    if (sizes.size() > 4) text += " and " + std::to_string(sizes.size() - 4) + " more";
    return "<tr><th class=\"n\">pictures marked</th><td class=\"n\">" + text + "</td></tr>";
}

// Detection per size group, for a run over pictures of several sizes: per group the sizes
// and hosts in it and, per method (or for the one method of a report without methods), the
// share detected at 1e-6 (and at 1e-3 without methods) with its Wilson interval.
std::string SizeGroupsSection(const RobustnessReport& report) {
    if (SizesMarked(report).size() < 2) return {};
    const std::vector<std::string>& names = SizeGroupNames();
    const bool methods = !report.Methods.empty();
    const std::size_t M = methods ? report.Methods.size() : 1;
    struct Group {
        std::vector<std::string> Sizes;
        std::set<std::string> Hosts;
        std::vector<std::size_t> Verdicts, Hits3, Hits6;
    };
    std::vector<Group> groups(names.size());
    for (Group& g : groups) g.Verdicts = g.Hits3 = g.Hits6 = std::vector<std::size_t>(M, 0);
    for (const RobustnessRow& row : report.Rows) {
        if (row.Failed()) continue;
        std::size_t m = 0;
        if (methods) {
            const auto found = std::find(report.Methods.begin(), report.Methods.end(), row.Identity.Method);
            if (found == report.Methods.end()) continue;
            m = static_cast<std::size_t>(found - report.Methods.begin());
        }
        Group& g = groups[SizeGroupOf(row.Width, row.Height)];
        const std::string size = row.Width > 0 ? SizeText(row) : std::string("&ndash;");
        if (std::find(g.Sizes.begin(), g.Sizes.end(), size) == g.Sizes.end()) g.Sizes.push_back(size);
        g.Hosts.insert(row.Host);
        if (row.Detected1e3 && row.Detected1e6) {
            ++g.Verdicts[m];
            g.Hits3[m] += *row.Detected1e3 ? 1 : 0;
            g.Hits6[m] += *row.Detected1e6 ? 1 : 0;
        }
    }
    std::string h = "<h2>Detection by picture size</h2>\n<p>The rows grouped by the size of the picture marked "
                    "(pictures of up to 256 &times; 256 pixels, up to 1, 4 and 16 megapixels, and more): the share "
                    "detected" + std::string(methods ? " at 1e-6 per method" : " at each threshold") +
                    ", with its Wilson 95&nbsp;% interval. A method's null narrows as its picture grows, so that a "
                    "larger picture may carry the mark through more.</p>\n<table><tr><th class=\"n\">size</th><th "
                    "class=\"n\">pictures marked</th><th>hosts</th>";
    if (methods) {
        for (const std::string& m : report.Methods) h += "<th>" + Escape(m) + "</th>";
    } else {
        h += "<th>rows</th><th>detected 1e-3</th><th>detected 1e-6</th>";
    }
    h += "</tr>\n";
    for (std::size_t k = 0; k < groups.size(); ++k) {
        const Group& g = groups[k];
        if (g.Hosts.empty()) continue;
        std::string sizes;
        for (std::size_t i = 0; i < g.Sizes.size() && i < 3; ++i) sizes += (i == 0 ? "" : ", ") + g.Sizes[i];
        if (g.Sizes.size() > 3) sizes += " and " + std::to_string(g.Sizes.size() - 3) + " more";
        h += "<tr><td class=\"n\">" + Escape(names[k]) + "</td><td class=\"n\">" + sizes + "</td><td>" +
             std::to_string(g.Hosts.size()) + "</td>";
        if (methods) {
            for (std::size_t m = 0; m < M; ++m) h += "<td>" + RateWithInterval(g.Hits6[m], g.Verdicts[m], 2) + "</td>";
        } else {
            h += "<td>" + std::to_string(g.Verdicts[0]) + "</td><td>" + RateWithInterval(g.Hits3[0], g.Verdicts[0], 2) +
                 "</td><td>" + RateWithInterval(g.Hits6[0], g.Verdicts[0], 2) + "</td>";
        }
        h += "</tr>\n";
    }
    return h + "</table>\n";
}

// One chart of a group's mean bit accuracy: its families and the group as a whole across,
// per payload method a point with its bootstrap interval, chance (0.5) dashed.
std::string BitAccuracyChart(const std::vector<std::string>& categories,
                             const std::vector<std::vector<MeanInterval>>& values,
                             const std::vector<const char*>& colours, const std::vector<const char*>& markers,
                             const std::string& name) {
    // Room below for the families' names, slanted steeply so that the first stays inside.
    const double left = 64, right = 508, top = 10, bottom = 180;
    const std::size_t n = categories.size();
    auto X = [&](std::size_t i) { return left + (static_cast<double>(i) + 0.5) / static_cast<double>(n) * (right - left); };
    auto Y = [&](double v) { return bottom - v * (bottom - top); };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 520 320\" role=\"img\" aria-label=\"bit "
                      "accuracy, " + Escape(name) + "\">";
    for (int i = 0; i <= 4; ++i)
        svg += "<line class=\"grid\" x1=\"" + Coord(left) + "\" x2=\"" + Coord(right) + "\" y1=\"" + Coord(Y(i / 4.0)) +
               "\" y2=\"" + Coord(Y(i / 4.0)) + "\"/><text class=\"yl\" x=\"" + Coord(left - 4) + "\" y=\"" +
               Coord(Y(i / 4.0) + 4) + "\">" + Fixed(i / 4.0, 2) + "</text>";
    svg += "<line x1=\"" + Coord(left) + "\" x2=\"" + Coord(right) + "\" y1=\"" + Coord(Y(0.5)) + "\" y2=\"" +
           Coord(Y(0.5)) + "\" stroke=\"#999\" stroke-dasharray=\"4 3\"><title>chance: half the bits</title></line>";
    for (std::size_t i = 0; i < n; ++i)
        svg += "<text transform=\"translate(" + Coord(X(i) + 3) + "," + Coord(bottom + 8) + ") rotate(-60)\" class=\"cl\"" +
               (i + 1 == n ? " style=\"font-weight:700\"" : "") + ">" + Escape(categories[i]) + "</text>";
    svg += "<rect class=\"frame\" x=\"" + Coord(left) + "\" y=\"" + Coord(top) + "\" width=\"" + Coord(right - left) +
           "\" height=\"" + Coord(bottom - top) + "\"/>\n";
    const std::size_t M = values.size();
    const double spread = std::min(8.0, (right - left) / static_cast<double>(n) / static_cast<double>(M + 1));
    for (std::size_t m = 0; m < M; ++m) {
        const double dx = (static_cast<double>(m) - static_cast<double>(M - 1) / 2) * spread;
        for (std::size_t i = 0; i < n; ++i) {
            const MeanInterval& v = values[m][i];
            if (std::isnan(v.Mean)) continue;
            const double px = X(i) + dx, py = Y(v.Mean);
            svg += ErrorBar(px, Y(v.Low), Y(v.High), colours[m]);
            const std::string title = "<title>" + Escape(categories[i]) + ": mean bit accuracy " + Fixed(v.Mean, 3) +
                                      " (" + Fixed(v.Low, 3) + "&ndash;" + Fixed(v.High, 3) + ", " +
                                      std::to_string(v.Count) + " rows)</title>";
            if (std::string(markers[m]) == "square")
                svg += "<rect x=\"" + Coord(px - 3) + "\" y=\"" + Coord(py - 3) + "\" width=\"6\" height=\"6\" fill=\"" +
                       colours[m] + "\">" + title + "</rect>\n";
            else
                svg += "<circle cx=\"" + Coord(px) + "\" cy=\"" + Coord(py) + "\" r=\"3.5\" fill=\"" + colours[m] + "\">" +
                       title + "</circle>\n";
        }
    }
    svg += "<text class=\"xt\" transform=\"translate(" + Coord(left - 33) + "," + Coord((top + bottom) / 2) +
           ") rotate(-90)\">mean bit accuracy</text>";
    return svg + "</svg>\n";
}

// The report of a run that compares methods.
// One point of the quality against robustness chart: a method at one embedding distortion.
struct QualityPoint {
    double X = 0;  // the median embedding PSNR (or SSIM) of its rows
    std::size_t Hits = 0;
    std::size_t Verdicts = 0;
};

// Detection at 1e-6 against the embedding's PSNR or SSIM, one line per method (its runs at
// several target PSNRs), Wilson 95 % intervals as error bars.
std::string QualityChart(const std::vector<std::pair<std::string, std::vector<QualityPoint>>>& lines,
                         const std::vector<const char*>& colours, const std::string& axis, int decimals) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const auto& [name, points] : lines)
        for (const QualityPoint& p : points) {
            lo = std::min(lo, p.X);
            hi = std::max(hi, p.X);
        }
    if (!(hi > lo)) {
        lo -= 1;
        hi += 1;
    }
    const double pad = (hi - lo) * 0.06;
    lo -= pad;
    hi += pad;
    const double left = 44, right = 372, top = 10, bottom = 170;
    auto X = [&](double v) { return left + (v - lo) / (hi - lo) * (right - left); };
    auto Y = [&](double r) { return bottom - r * (bottom - top); };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 384 204\" role=\"img\">";
    for (int i = 0; i <= 4; ++i)
        svg += "<line class=\"grid\" x1=\"" + Coord(left) + "\" x2=\"" + Coord(right) + "\" y1=\"" + Coord(Y(i / 4.0)) +
               "\" y2=\"" + Coord(Y(i / 4.0)) + "\"/><text class=\"yl\" x=\"" + Coord(left - 4) + "\" y=\"" +
               Coord(Y(i / 4.0) + 4) + "\">" + Fixed(i / 4.0, 2) + "</text>";
    // Round ticks (1, 2 or 5 times a power of ten apart), labelled with the decimals they need.
    const double step = TickStep(hi - lo, 5);
    for (const double t : Ticks(lo, hi, step, 0, 5))
        svg += "<line class=\"grid\" x1=\"" + Coord(X(t)) + "\" x2=\"" + Coord(X(t)) + "\" y1=\"" + Coord(top) +
               "\" y2=\"" + Coord(bottom) + "\"/><text class=\"xl\" x=\"" + Coord(X(t)) + "\" y=\"" +
               Coord(bottom + 13) + "\">" + TickLabel(t, step) + "</text>";
    svg += "<text class=\"xt\" x=\"" + Coord((left + right) / 2) + "\" y=\"" + Coord(bottom + 29) + "\">" + axis +
           "</text><rect class=\"frame\" x=\"" + Coord(left) + "\" y=\"" + Coord(top) + "\" width=\"" +
           Coord(right - left) + "\" height=\"" + Coord(bottom - top) + "\"/>";
    for (std::size_t l = 0; l < lines.size(); ++l) {
        std::vector<QualityPoint> points = lines[l].second;
        std::sort(points.begin(), points.end(), [](const QualityPoint& a, const QualityPoint& b) { return a.X < b.X; });
        std::string path;
        for (const QualityPoint& p : points) {
            if (p.Verdicts == 0) continue;
            const RateInterval r = WilsonInterval(p.Hits, p.Verdicts);
            path += path.empty() ? "M" : " L";
            path += Coord(X(p.X)) + "," + Coord(Y(r.Rate));
            svg += "<line stroke=\"" + std::string(colours[l]) + "\" x1=\"" + Coord(X(p.X)) + "\" x2=\"" + Coord(X(p.X)) +
                   "\" y1=\"" + Coord(Y(r.Low)) + "\" y2=\"" + Coord(Y(r.High)) + "\"/><circle r=\"3\" fill=\"" +
                   colours[l] + "\" cx=\"" + Coord(X(p.X)) + "\" cy=\"" + Coord(Y(r.Rate)) + "\"><title>" +
                   Escape(lines[l].first) + ": " + Fixed(r.Rate, 2) + " (" + Fixed(r.Low, 2) + "&ndash;" +
                   Fixed(r.High, 2) + ") at " + Fixed(p.X, decimals) + "</title></circle>";
        }
        if (!path.empty())
            svg += "<path d=\"" + path + "\" fill=\"none\" stroke-width=\"1.6\" stroke=\"" + colours[l] + "\"/>";
    }
    return svg + "</svg>\n";
}

std::string ComparisonHtml(const RobustnessReport& report) {
    const std::size_t M = report.Methods.size();
    const std::vector<ReportFamily> families = ReportFamilies(report.Cells);
    std::vector<std::vector<CellSummary>> summaries;
    std::vector<MethodSeries> series;
    for (std::size_t m = 0; m < M; ++m) summaries.push_back(SummariseCells(report, report.Methods[m]));
    for (std::size_t m = 0; m < M; ++m)
        series.push_back({report.Methods[m], &summaries[m], kMethodColours[m % std::size(kMethodColours)],
                          kMethodMarkers[m % std::size(kMethodMarkers)]});
    std::size_t failed = 0;
    for (const RobustnessRow& row : report.Rows) failed += row.Failed() ? 1 : 0;
    // Each method's rows.
    std::vector<std::vector<const RobustnessRow*>> rowsOf(M);
    for (const RobustnessRow& row : report.Rows)
        for (std::size_t m = 0; m < M; ++m)
            if (row.Identity.Method == report.Methods[m]) rowsOf[m].push_back(&row);

    std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                    "<title>Robustness report: methods compared</title>\n";
    h += kStyle;
    h += "</head>\n<body>\n<h1>Robustness of watermarking methods, compared</h1>\n";
    h += "<p class=\"muted\">" + Escape(report.Program) +
         (report.Shard.empty() ? "" : " &middot; shard " + Escape(report.Shard)) + "</p>\n<pre>" +
         Escape(report.Command) + "</pre>\n";
    std::string hosts;
    for (const std::string& name : report.Hosts) hosts += (hosts.empty() ? "" : ", ") + name;
    h += "<table><tr><th class=\"n\">hosts (" + std::to_string(report.Hosts.size()) + ")</th><td class=\"n\">" +
         Escape(hosts) + "</td></tr>";
    h += "<tr><th class=\"n\">seeds (" + std::to_string(report.Seeds.size()) + ")</th><td class=\"n\">" +
         SeedText(report.Seeds) + "</td></tr>";
    h += "<tr><th class=\"n\">attack cells</th><td class=\"n\">" + std::to_string(report.Cells.size()) + "</td></tr>";
    h += "<tr><th class=\"n\">rows</th><td class=\"n\">" + std::to_string(report.Rows.size()) +
         (failed > 0 ? " (" + std::to_string(failed) + " failed)" : std::string()) + "</td></tr>" + SizesLine(report) +
         "</table>\n";
    h += "<p>Every method marks each host with each seed (the polarity method its top-left 256 &times; 256 gray "
         "region, by its definition; every other method the whole picture), and every attack cell attacks each marked "
         "picture with the same seed: the methods are scored on the same attacks of the same pictures. A payload method embeds bits drawn from the seed. Each method's verdicts use its own "
         "thresholds, set on its own null distribution, so that a detection at 1e-6 means the same for each: at "
         "most one false alarm in a million pictures without its mark.</p>\n";

    // The methods.
    h += "<h2>Methods</h2>\n<table><tr><th class=\"n\">method</th><th class=\"n\">parameters used</th><th>payload "
         "bits, share of rows read whole</th><th>threshold 1e-3</th><th>threshold 1e-6</th><th class=\"n\">thresholds from</th></tr>";
    for (std::size_t m = 0; m < M; ++m) {
        std::set<std::string> params;
        std::vector<double> strengths;
        int bits = 0;
        // A payload method's rows whose payload (a coded one's message) was read whole.
        std::size_t read = 0, whole = 0;
        for (const RobustnessRow* row : rowsOf[m]) {
            if (row->Failed()) continue;
            params.insert(row->MethodParams);
            if (row->Strength) strengths.push_back(*row->Strength);
            bits = row->PayloadBits;
            if (const std::optional<bool> ok = row->MessageOk ? row->MessageOk : row->PayloadMatch) {
                ++read;
                whole += *ok ? 1 : 0;
            }
        }
        std::string used;
        if (params.size() == 1) {
            used = params.begin()->empty() ? std::string("(none)") : *params.begin();
        } else if (!strengths.empty()) {
            const auto [lo, hi] = std::minmax_element(strengths.begin(), strengths.end());
            used = "strength " + PeopleNumber(*lo, 2) + " &ndash; " + PeopleNumber(*hi, 2) + " (median " +
                   PeopleNumber(QuartilesOf(strengths).Median, 2) + "), set per host and seed";
        }
        const std::optional<Calibration>& t = report.MethodThresholds.at(m);
        // Thresholds of z are no scores: each picture's in score units is z's times its spread.
        const std::string unit = t && t->Units == Statistic::Spread ? " |z|" : "";
        h += "<tr><td class=\"n\"><i class=\"key\" style=\"background:" + std::string(series[m].Colour) +
             "\"></i>" + Escape(report.Methods[m]) + "</td><td class=\"n\">" + (params.size() == 1 ? Escape(used) : used) +
             "</td><td>" +
             (bits == 0 ? std::string("0 (one known mark)")
                        : std::to_string(bits) +
                              (read > 0 ? ", read whole in " + Fixed(static_cast<double>(whole) / static_cast<double>(read), 2)
                                        : std::string())) +
             "</td><td>" +
             (t ? Fixed(t->ThresholdEmpirical, 4) + unit : "&ndash;") + "</td><td>" +
             (t ? Fixed(t->ThresholdModelled, 4) + unit : "&ndash;") +
             "</td><td class=\"n\">" + (t ? Escape(t->Source.empty() ? std::string("a calibration") : t->Source) : "none") +
             "</td></tr>";
    }
    h += "</table>\n";

    // The summary: families by methods at 1e-6.
    h += "<h2>Detected at 1e-6: family &times; method</h2>\n<p>The share of rows whose score reaches the method's "
         "threshold at a false-positive rate of 1e-6, over every cell of the family, every host and seed, with its "
         "Wilson 95&nbsp;% interval; the highest of each family in bold.</p>\n<table><tr><th class=\"n\">family</th><th>cells</th>";
    for (std::size_t m = 0; m < M; ++m) h += "<th>" + Escape(report.Methods[m]) + "</th>";
    h += "</tr>\n";
    auto countOf = [&](std::size_t m, const std::set<std::string>& cells) {
        std::size_t verdicts = 0, hits = 0;
        for (const RobustnessRow* row : rowsOf[m]) {
            if (row->Failed() || !row->Detected1e6 || cells.count(row->Attack) == 0) continue;
            ++verdicts;
            hits += *row->Detected1e6 ? 1 : 0;
        }
        return std::pair{hits, verdicts};
    };
    auto rateOf = [&](std::size_t m, const std::set<std::string>& cells) {
        const auto [hits, verdicts] = countOf(m, cells);
        return verdicts == 0 ? kNaN : static_cast<double>(hits) / static_cast<double>(verdicts);
    };
    std::set<std::string> every;
    for (const AttackCell& c : report.Cells) every.insert(c.Name);
    std::vector<std::pair<std::string, std::set<std::string>>> groups;
    for (const ReportFamily& family : families) {
        std::set<std::string> names;
        for (const std::size_t c : family.Cells) names.insert(report.Cells[c].Name);
        groups.push_back({family.Name, names});
    }
    groups.push_back({"all cells", every});
    // The table's lines: each group's whole first (but for the no-attack reference), then its
    // families, and every cell at the end.
    struct Line {
        std::string Name;
        std::set<std::string> Cells;
        int Kind;  // 0 a family, 1 a group, 2 every cell
    };
    std::vector<Line> tableLines;
    for (const AttackGroup group : ReportGroups()) {
        std::vector<Line> members;
        std::set<std::string> all;
        for (std::size_t f = 0; f < families.size(); ++f)
            if (families[f].Group == group) {
                members.push_back({families[f].Name, groups[f].second, 0});
                all.insert(groups[f].second.begin(), groups[f].second.end());
            }
        if (members.empty()) continue;
        if (group != AttackGroup::None) tableLines.push_back({GroupHeading(group) + " (all)", all, 1});
        tableLines.insert(tableLines.end(), members.begin(), members.end());
    }
    tableLines.push_back({"all cells", every, 2});
    for (const Line& line : tableLines) {
        std::vector<double> rates;
        for (std::size_t m = 0; m < M; ++m) rates.push_back(rateOf(m, line.Cells));
        double best = -1;
        for (const double r : rates)
            if (!std::isnan(r)) best = std::max(best, r);
        h += std::string("<tr") +
             (line.Kind == 2   ? " style=\"border-top:2px solid #999\""
              : line.Kind == 1 ? " class=\"group\""
                               : "") +
             "><td class=\"n\">" + (line.Kind == 0 ? "&emsp;" : "") + Escape(line.Name) + "</td><td>" +
             std::to_string(line.Cells.size()) + "</td>";
        for (std::size_t m = 0; m < M; ++m) {
            const auto [hits, verdicts] = countOf(m, line.Cells);
            h += std::string("<td") + (rates[m] == best && best > 0 ? " style=\"font-weight:700\"" : "") + ">" +
                 RateWithInterval(hits, verdicts, 2) + "</td>";
        }
        h += "</tr>\n";
    }
    h += "</table>\n";

    // Bit accuracy of the payload methods: per family and per group, the mean share of the
    // payload read right, with a bootstrap interval over rows.
    {
        std::vector<std::size_t> payload;
        for (std::size_t m = 0; m < M; ++m)
            if (std::any_of(rowsOf[m].begin(), rowsOf[m].end(),
                            [](const RobustnessRow* r) { return !r->Failed() && r->PayloadBits > 0 && r->BitAccuracy; }))
                payload.push_back(m);
        if (!payload.empty()) {
            auto accuracyOf = [&](std::size_t m, const std::set<std::string>& cells) {
                std::vector<double> values;
                for (const RobustnessRow* row : rowsOf[m])
                    if (!row->Failed() && row->PayloadBits > 0 && row->BitAccuracy && cells.count(row->Attack) > 0)
                        values.push_back(*row->BitAccuracy);
                return BootstrapMeanInterval(values);
            };
            h += "<h2>Bit accuracy of the payload methods</h2>\n<p>The mean share of the payload's bits read right, "
                 "over every row of the family (every cell, host and seed), whether or not the mark was detected: "
                 "0.5 is chance. The interval is a 95&nbsp;% percentile bootstrap over rows (2000 resamplings): a "
                 "row's bits are not independent draws, since a picture the reader loses loses all of them, so an "
                 "interval over the bits would be far too narrow.</p>\n<table><tr><th class=\"n\">family</th>";
            for (const std::size_t m : payload) h += "<th>" + Escape(report.Methods[m]) + "</th>";
            h += "</tr>\n";
            for (const Line& line : tableLines) {
                h += std::string("<tr") +
                     (line.Kind == 2   ? " style=\"border-top:2px solid #999\""
                      : line.Kind == 1 ? " class=\"group\""
                                       : "") +
                     "><td class=\"n\">" + (line.Kind == 0 ? "&emsp;" : "") + Escape(line.Name) + "</td>";
                for (const std::size_t m : payload) {
                    const MeanInterval v = accuracyOf(m, line.Cells);
                    h += "<td>" + Fixed(v.Mean, 3) +
                         (std::isnan(v.Mean) ? std::string()
                                             : " <span class=\"muted\">(" + Fixed(v.Low, 3) + "&ndash;" + Fixed(v.High, 3) +
                                                   ")</span>") +
                         "</td>";
                }
                h += "</tr>\n";
            }
            h += "</table>\n";
            std::vector<const char*> colours, markers;
            h += "<p class=\"legend\">";
            for (const std::size_t m : payload) {
                colours.push_back(series[m].Colour);
                markers.push_back(m % 2 == 0 ? "circle" : "square");
                h += "<span><i class=\"key\" style=\"background:" + std::string(series[m].Colour) + "\"></i>" +
                     Escape(report.Methods[m]) + "</span>";
            }
            h += "</p>\n<div class=\"charts\">\n";
            for (const AttackGroup group : ReportGroups()) {
                if (group == AttackGroup::None) continue;
                std::vector<std::string> categories;
                std::vector<std::vector<MeanInterval>> values(payload.size());
                std::set<std::string> all;
                for (std::size_t f = 0; f < families.size(); ++f) {
                    if (families[f].Group != group) continue;
                    categories.push_back(families[f].Name);
                    all.insert(groups[f].second.begin(), groups[f].second.end());
                    for (std::size_t k = 0; k < payload.size(); ++k)
                        values[k].push_back(accuracyOf(payload[k], groups[f].second));
                }
                if (categories.empty()) continue;
                categories.push_back("all " + std::string(AttackGroupName(group)));
                for (std::size_t k = 0; k < payload.size(); ++k) values[k].push_back(accuracyOf(payload[k], all));
                h += "<figure><figcaption>" + GroupHeading(group) + "</figcaption>" +
                     BitAccuracyChart(categories, values, colours, markers, GroupHeading(group)) + "</figure>\n";
            }
            h += "</div>\n";
        }
    }

    h += SizeGroupsSection(report);
    h += ExampleStrip(report);

    // Quality against robustness: a run at several target PSNRs labels each method's runs
    // "name@38dB"; one line per name.
    {
        std::vector<std::string> bases;
        std::vector<std::vector<std::size_t>> runsOf;
        for (std::size_t m = 0; m < M; ++m) {
            const std::string& label = report.Methods[m];
            const std::size_t at = label.rfind('@');
            if (at == std::string::npos || label.size() < 3 || label.compare(label.size() - 2, 2, "dB") != 0) continue;
            const std::string base = label.substr(0, at);
            const auto found = std::find(bases.begin(), bases.end(), base);
            if (found == bases.end()) {
                bases.push_back(base);
                runsOf.push_back({m});
            } else {
                runsOf[static_cast<std::size_t>(found - bases.begin())].push_back(m);
            }
        }
        if (!bases.empty()) {
            std::vector<const char*> colours;
            for (std::size_t b = 0; b < bases.size(); ++b) colours.push_back(kMethodColours[b % std::size(kMethodColours)]);
            std::vector<double> psnrOf(M, kNaN), ssimOf(M, kNaN);
            for (std::size_t m = 0; m < M; ++m) {
                std::vector<double> p, q;
                for (const RobustnessRow* row : rowsOf[m])
                    if (!row->Failed()) {
                        p.push_back(row->PsnrEmbed);
                        q.push_back(row->SsimEmbed);
                    }
                psnrOf[m] = QuartilesOf(p).Median;
                ssimOf[m] = QuartilesOf(q).Median;
            }
            h += "<h2>Quality against robustness</h2>\n<p>Each method marked at several embedding PSNRs: per group of "
                 "attacks and over every cell (each family below, folded), the share of rows detected at 1e-6 against the median PSNR (left) and SSIM (right) of the "
                 "marked pictures, with Wilson 95&nbsp;% intervals. A line higher and further right is a method that "
                 "survives more for less visible change.</p>\n<div class=\"legend\">";
            for (std::size_t b = 0; b < bases.size(); ++b)
                h += "<span><i class=\"key\" style=\"background:" + std::string(colours[b]) + "\"></i>" +
                     Escape(bases[b]) + "</span>";
            h += "</div>\n<div class=\"charts\">\n";
            // The groups of attacks and every cell first, then each family (folded).
            std::vector<const Line*> shown;
            for (const Line& line : tableLines)
                if (line.Kind != 0) shown.push_back(&line);
            for (const Line& line : tableLines)
                if (line.Kind == 0) shown.push_back(&line);
            bool folded = false;
            for (const Line* line : shown) {
                const std::string& name = line->Name;
                const std::set<std::string>& cells = line->Cells;
                if (line->Kind == 0 && !folded) {
                    h += "</div>\n<details><summary>Each family</summary>\n<div class=\"charts\">\n";
                    folded = true;
                }
                for (int which = 0; which < 2; ++which) {
                    std::vector<std::pair<std::string, std::vector<QualityPoint>>> lines;
                    for (std::size_t b = 0; b < bases.size(); ++b) {
                        std::vector<QualityPoint> points;
                        for (const std::size_t m : runsOf[b]) {
                            const auto [hits, verdicts] = countOf(m, cells);
                            points.push_back({which == 0 ? psnrOf[m] : ssimOf[m], hits, verdicts});
                        }
                        lines.emplace_back(bases[b], std::move(points));
                    }
                    h += "<figure><figcaption>" + Escape(name) + "</figcaption>" +
                         QualityChart(lines, colours, which == 0 ? "embedding PSNR (dB)" : "embedding SSIM",
                                      which == 0 ? 1 : 3) +
                         "</figure>\n";
                }
            }
            h += folded ? "</div></details>\n" : "</div>\n";
        }
    }

    // Cost of embedding per method.
    h += "<h2>Cost of embedding</h2>\n<p>PSNR and SSIM of each method's marked picture as written (its bytes) "
         "against its host, over hosts and seeds; comparisons are fair where these agree.</p>\n<table><tr><th "
         "class=\"n\">method</th><th>PSNR median (dB)</th><th>PSNR range</th><th>SSIM median</th><th>SSIM "
         "range</th></tr>";
    for (std::size_t m = 0; m < M; ++m) {
        std::map<std::pair<std::string, std::uint32_t>, const RobustnessRow*> units;
        for (const RobustnessRow* row : rowsOf[m])
            if (!row->Failed()) units.emplace(std::pair{row->Host, row->Seed}, row);
        std::vector<double> psnr, ssim;
        for (const auto& [unit, row] : units) {
            psnr.push_back(row->PsnrEmbed);
            ssim.push_back(row->SsimEmbed);
        }
        if (psnr.empty()) {
            h += "<tr class=\"fail\"><td class=\"n\">" + Escape(report.Methods[m]) + "</td><td colspan=\"4\">no row</td></tr>";
            continue;
        }
        const auto [pmin, pmax] = std::minmax_element(psnr.begin(), psnr.end());
        const auto [smin, smax] = std::minmax_element(ssim.begin(), ssim.end());
        h += "<tr><td class=\"n\">" + Escape(report.Methods[m]) + "</td><td>" + Fixed(QuartilesOf(psnr).Median, 2) +
             "</td><td>" + Fixed(*pmin, 2) + " &ndash; " + Fixed(*pmax, 2) + "</td><td>" +
             Fixed(QuartilesOf(ssim).Median, 4) + "</td><td>" + Fixed(*smin, 4) + " &ndash; " + Fixed(*smax, 4) +
             "</td></tr>";
    }
    h += "</table>\n<details><summary>PSNR median per host (dB)</summary>\n<table><tr><th class=\"n\">host</th>";
    for (std::size_t m = 0; m < M; ++m) h += "<th>" + Escape(report.Methods[m]) + "</th>";
    h += "</tr>";
    for (const std::string& host : report.Hosts) {
        h += "<tr><td class=\"n\">" + Escape(host) + "</td>";
        for (std::size_t m = 0; m < M; ++m) {
            std::map<std::uint32_t, double> bySeed;
            for (const RobustnessRow* row : rowsOf[m])
                if (!row->Failed() && row->Host == host) bySeed.emplace(row->Seed, row->PsnrEmbed);
            std::vector<double> psnr;
            for (const auto& [seed, v] : bySeed) psnr.push_back(v);
            h += "<td>" + Fixed(QuartilesOf(psnr).Median, 2) + "</td>";
        }
        h += "</tr>";
    }
    h += "</table></details>\n";

    // Families.
    h += "<h2>Detection against attack strength</h2>\n<p>Per attack family, each method's share of rows detected "
         "at a false-positive rate of 1e-6, with its Wilson 95&nbsp;% interval as a bar.</p>\n" + Legend(series) +
         FamilyFigures(report, families, summaries.front(), kNaN, &series);

    // ROC: the area per family and method.
    h += "<h2>Area under the ROC curve: family &times; method</h2>\n<p>Each row's score against the score the same "
         "key gives its own host, unmarked, after the same attack: the chance that a marked picture scores above "
         "an unmarked one (ties half), whatever the threshold.</p>\n<table><tr><th class=\"n\">family</th>";
    for (std::size_t m = 0; m < M; ++m) h += "<th>" + Escape(report.Methods[m]) + "</th>";
    h += "</tr>\n";
    std::vector<std::vector<FamilyRoc>> rocs(families.size());
    for (std::size_t f = 0; f < families.size(); ++f)
        for (std::size_t m = 0; m < M; ++m) rocs[f].push_back(RocOfFamily(report, families[f], m));
    bool inverted = false;
    for (std::size_t f = 0; f < families.size(); ++f) {
        h += GroupRow(families, f, M + 1) + "<tr><td class=\"n\">" + Escape(families[f].Name) + "</td>";
        for (std::size_t m = 0; m < M; ++m) {
            h += "<td>" + AucText(rocs[f][m].Curve.Auc) + "</td>";
            inverted = inverted || rocs[f][m].Curve.Auc < 0.5;
        }
        h += "</tr>\n";
    }
    h += "</table>\n";
    if (inverted)
        h += "<p><b>inverted</b>: an area below 0.5 means the marked pictures score <em>below</em> the unmarked "
             "ones &mdash; the mark is still there but read with its sign turned (an attack that moves coefficients "
             "onto the other bit's side), which a one-sided detector counts as absent.</p>\n";
    h += "<h2>ROC curves per family</h2>\n<p>Every method's curve on one chart per family, the false-positive rate "
         "on a logarithmic axis from 1e-6 to 1 so that the rates the thresholds are set at stay apart; a false-positive "
         "rate of 0 is drawn at 1e-6. The dashed verticals mark 1e-3 and 1e-6; each method's square is where its "
         "1e-3 threshold falls, its triangle its 1e-6 threshold (the share of its rows detected against the share of "
         "the null side reaching it).</p>\n" + Legend(series) + "<div class=\"rocs\">\n";
    for (std::size_t f = 0; f < families.size(); ++f) {
        std::vector<RocSeries> curves;
        std::string aucs;
        for (std::size_t m = 0; m < M; ++m) {
            curves.push_back({&rocs[f][m], report.Methods[m], series[m].Colour});
            aucs += (m == 0 ? "AUC " : " / ") + Fixed(rocs[f][m].Curve.Auc, 3);
        }
        h += "<figure><figcaption>" + Escape(families[f].Name) + " <span class=\"muted\">" + aucs +
             "</span></figcaption>\n" + RocChart(curves, families[f].Name) + "</figure>\n";
    }
    h += "</div>\n";

    // Every cell.
    h += "<h2>Every attack cell</h2>\n<p>Per method: the share of rows detected at 1e-6 and the median score "
         "(each method's score has its own scale: compare the shares), and the median PSNR of the attacked "
         "picture against the marked one, of the first method's rows.</p>\n<table><tr><th class=\"n\">attack</th>"
         "<th>PSNR (dB)</th>";
    for (std::size_t m = 0; m < M; ++m)
        h += "<th>" + Escape(report.Methods[m]) + ": 1e-6</th><th>score</th>";
    h += "<th>failed</th></tr>\n";
    for (std::size_t i = 0; i < report.Cells.size(); ++i) {
        std::size_t cellFailed = 0;
        for (std::size_t m = 0; m < M; ++m) cellFailed += summaries[m][i].Failed;
        h += std::string("<tr") + (cellFailed > 0 ? " class=\"fail\"" : "") + "><td class=\"n\">" +
             Escape(report.Cells[i].Name) + "</td><td>" + Fixed(summaries.front()[i].PsnrMedian, 2) + "</td>";
        for (std::size_t m = 0; m < M; ++m)
            h += "<td>" + Fixed(summaries[m][i].Tpr6, 3) + "</td><td>" + Fixed(summaries[m][i].ScoreMedian, 4) + "</td>";
        h += "<td>" + std::to_string(cellFailed) + "</td></tr>\n";
    }
    h += "</table>\n";
    if (failed > 0) {
        h += "<h2>Failed rows</h2>\n<table><tr><th class=\"n\">host</th><th>seed</th><th class=\"n\">method</th><th "
             "class=\"n\">attack</th><th class=\"n\">error</th></tr>\n";
        for (const RobustnessRow& row : report.Rows)
            if (row.Failed())
                h += "<tr class=\"fail\"><td class=\"n\">" + Escape(row.Host) + "</td><td>" + std::to_string(row.Seed) +
                     "</td><td class=\"n\">" + Escape(row.Identity.Method) + "</td><td class=\"n\">" +
                     Escape(row.Attack) + "</td><td class=\"n\">" + Escape(row.Error) + "</td></tr>\n";
        h += "</table>\n";
    }
    return h + "</body>\n</html>\n";
}

}  // namespace

std::string RobustnessHtml(const RobustnessReport& report) {
    if (!report.Methods.empty()) return ComparisonHtml(report);
    const std::vector<CellSummary> summaries = SummariseCells(report);
    const std::vector<ReportFamily> families = ReportFamilies(report.Cells);
    std::size_t failed = 0;
    for (const RobustnessRow& row : report.Rows) failed += row.Failed() ? 1 : 0;
    double noneMedian = kNaN;
    for (std::size_t i = 0; i < report.Cells.size(); ++i)
        if (report.Cells[i].Name == "none") noneMedian = summaries[i].Nc.Median;

    std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                    "<title>Robustness report</title>\n";
    h += kStyle;
    h += "</head>\n<body>\n<h1>Robustness of the watermark</h1>\n";
    h += "<p class=\"muted\">" + Escape(report.Program) + (report.Shard.empty() ? "" : " &middot; shard " + Escape(report.Shard)) +
         "</p>\n<pre>" + Escape(report.Command) + "</pre>\n";
    h += "<table><tr><th class=\"n\">watermark</th><td class=\"n\">" + Escape(report.Mark) + "</td></tr>";
    std::string hosts;
    for (const std::string& name : report.Hosts) hosts += (hosts.empty() ? "" : ", ") + name;
    h += "<tr><th class=\"n\">hosts (" + std::to_string(report.Hosts.size()) + ")</th><td class=\"n\">" + Escape(hosts) +
         "</td></tr>";
    h += "<tr><th class=\"n\">seeds (" + std::to_string(report.Seeds.size()) + ")</th><td class=\"n\">" +
         SeedText(report.Seeds) + "</td></tr>";
    h += "<tr><th class=\"n\">attack cells</th><td class=\"n\">" + std::to_string(report.Cells.size()) + "</td></tr>";
    h += "<tr><th class=\"n\">rows</th><td class=\"n\">" + std::to_string(report.Rows.size()) +
         (failed > 0 ? " (" + std::to_string(failed) + " failed)" : std::string()) + "</td></tr>" + SizesLine(report) +
         "</table>\n";

    // Calibration.
    h += "<h2>Detection thresholds</h2>\n";
    if (report.Thresholds) {
        const Calibration& cal = *report.Thresholds;
        h += "<p>A picture counts as carrying the mark when its detection score reaches the threshold. NC cannot "
             "say it: an unmarked copy of the key's own host reads the whole mark back (NC 1). The score compares "
             "the relations the embedding reversed with those it left alone, and is about 0 for any picture "
             "without this key's mark.</p>\n";
        if (cal.HasSample()) {
            h += "<p>The thresholds come from " + std::to_string(cal.Trials) +
                 " extractions from pictures that do not carry this key's mark (" + std::to_string(cal.KindTrials[0]) +
                 " from other hosts marked, " + std::to_string(cal.KindTrials[1]) + " from other hosts unmarked, " +
                 std::to_string(cal.KindTrials[2]) + " from the key's own host unmarked after " +
                 std::to_string(cal.Attacks.size()) + " attacks; " + std::to_string(cal.Hosts.size()) +
                 " hosts, seeds " + SeedText(cal.Seeds) + ", watermark " + Escape(cal.MarkFile) + ", made by " +
                 Escape(cal.Program) +
                 "). Each kind of trial of each host is a component of the model, a normal distribution of its "
                 "trials' mean and spread (never narrower than chance makes a difference of two shares of "
                 "relations), and each threshold is set where <em>every</em> component meets its rate, at 1e-3 "
                 "also by its own trials: the worst null a user can meet sets it, not the average over "
                 "pictures.</p>\n";
        } else {
            // A calibration without its trials (the built-in thresholds, or a file of the two numbers):
            // say where the numbers come from, and that the report cannot show how they were set.
            h += "<p>The thresholds are " + Escape(cal.Source.empty() ? std::string("those of a file") : cal.Source) +
                 " (the calibration shipped beside the bundled mark); the trials that set them are not part of this "
                 "report.</p>\n";
        }
        const auto from = [&](const ThresholdSource& t) {
            if (!cal.HasSample()) return std::string("the file");
            return Escape(t.Host) + ", " + NullTrialKindName(t.Kind) +
                   (t.From == "trials" ? " (its trials)" : t.From == "1e-3" ? " (the 1e-3 threshold)" : " (its model)");
        };
        h += "<table><tr><th>false-positive rate</th><th>score threshold</th><th class=\"n\">set by</th></tr>";
        h += "<tr><td>1e-3</td><td>" + Fixed(cal.ThresholdEmpirical, 4) + "</td><td class=\"n\">" + from(cal.Source1e3) +
             "</td></tr>";
        h += "<tr><td>1e-6</td><td>" + Fixed(cal.ThresholdModelled, 4) + "</td><td class=\"n\">" + from(cal.Source1e6) +
             "</td></tr></table>\n";
        if (cal.HasSample()) {
            // Each host's tail: its components' quantiles, the highest of which a threshold must reach.
            h += "<details><summary>Each host's tail: its components' trials, mean, standard deviation, highest "
                 "score and the scores at which they meet each rate</summary>\n<table><tr><th class=\"n\">host</th><th class=\"n\">kind</th>"
                 "<th>trials</th><th>mean</th><th>sd</th><th>highest</th><th>at 1e-3</th><th>at 1e-6</th></tr>";
            for (const NullComponent& c : cal.Components) {
                const bool sets = (c.Host == cal.Source1e3.Host && c.Kind == cal.Source1e3.Kind) ||
                                  (c.Host == cal.Source1e6.Host && c.Kind == cal.Source1e6.Kind);
                h += std::string("<tr") + (sets ? " style=\"font-weight:600\"" : "") + "><td class=\"n\">" +
                     Escape(c.Host) + "</td><td class=\"n\">" + NullTrialKindName(c.Kind) + "</td><td>" +
                     std::to_string(c.Trials) + "</td><td>" + Fixed(c.Mean, 4) + "</td><td>" + Fixed(c.StdDev, 4) +
                     "</td><td>" + Fixed(c.Top.empty() ? kNaN : c.Top.front(), 4) + "</td><td>" +
                     Fixed(c.Quantile1e3, 4) + "</td><td>" + Fixed(c.Quantile1e6, 4) + "</td></tr>";
            }
            h += "</table><p class=\"muted\">In bold: the components that set the thresholds.</p></details>\n";
            h += "<p class=\"muted\">The rows are judged with these thresholds. <code>extract</code> judges a key that "
                 "carries a calibration of its own (measured on its own host when the key was made) with the larger "
                 "of its thresholds and these.</p>\n";
        }
        if (cal.HasSample()) {
            h += "<div class=\"charts\"><figure><figcaption>Tail of the null distribution</figcaption>" + TailChart(cal) +
                 "<div class=\"legend\"><span><i class=\"key\" style=\"background:" + std::string(kNcColour) +
                 "\"></i>trials</span><span><i class=\"key\" style=\"background:" + std::string(kTpr3Colour) +
                 "\"></i>model (the components weighted by their trials)</span></div></figure>\n<div><table><tr><th>quantile</th><th>trials</th><th>model</th></tr>";
            for (const QuantileFit& q : cal.Fit)
                h += "<tr><td>" + FormatMeasure(q.P) + "</td><td>" + Fixed(q.Empirical, 4) + "</td><td>" +
                     Fixed(q.Model, 4) + "</td></tr>";
            h += "</table><p class=\"muted\">Null score: mean " + Fixed(cal.Mean, 4) + ", standard deviation " +
                 Fixed(cal.StdDev, 4) + ", largest " + Fixed(cal.Histogram.back().first, 4) + ".</p></div></div>\n";
        }
    } else {
        h += "<p>No calibration was given: the rows carry no verdict and the charts no detection rate.</p>\n";
    }

    // Embedding cost per host.
    h += "<h2>Cost of embedding</h2>\n<p>PSNR and SSIM of the watermarked picture as written (its bytes, as its "
         "file holds them) against its host, over the seeds.</p>\n<table><tr><th class=\"n\">host</th><th>PSNR median (dB)</th><th>PSNR range</th><th>SSIM "
         "median</th><th>SSIM range</th></tr>";
    std::vector<double> allPsnr, allSsim;
    for (const std::string& host : report.Hosts) {
        std::map<std::uint32_t, const RobustnessRow*> bySeed;
        for (const RobustnessRow& row : report.Rows)
            if (row.Host == host && !row.Failed()) bySeed.emplace(row.Seed, &row);
        std::vector<double> psnr, ssim;
        for (const auto& [seed, row] : bySeed) {
            psnr.push_back(row->PsnrEmbed);
            ssim.push_back(row->SsimEmbed);
        }
        allPsnr.insert(allPsnr.end(), psnr.begin(), psnr.end());
        allSsim.insert(allSsim.end(), ssim.begin(), ssim.end());
        if (psnr.empty()) {
            h += "<tr class=\"fail\"><td class=\"n\">" + Escape(host) + "</td><td colspan=\"4\">no row</td></tr>";
            continue;
        }
        const auto [pmin, pmax] = std::minmax_element(psnr.begin(), psnr.end());
        const auto [smin, smax] = std::minmax_element(ssim.begin(), ssim.end());
        h += "<tr><td class=\"n\">" + Escape(host) + "</td><td>" + Fixed(QuartilesOf(psnr).Median, 2) + "</td><td>" +
             Fixed(*pmin, 2) + " &ndash; " + Fixed(*pmax, 2) + "</td><td>" + Fixed(QuartilesOf(ssim).Median, 4) +
             "</td><td>" + Fixed(*smin, 4) + " &ndash; " + Fixed(*smax, 4) + "</td></tr>";
    }
    h += "<tr><th class=\"n\">all</th><th>" + Fixed(QuartilesOf(allPsnr).Median, 2) + "</th><th></th><th>" +
         Fixed(QuartilesOf(allSsim).Median, 4) + "</th><th></th></tr></table>\n";

    // The groups of attacks, each as a whole.
    if (report.Thresholds) {
        h += "<h2>Detection per group of attacks</h2>\n<p>The share of rows detected over every cell of the group "
             "(every host and seed), with its Wilson 95&nbsp;% interval.</p>\n<table><tr><th class=\"n\">group</th><th "
             "class=\"n\">families</th><th>cells</th><th>rows</th><th>detected 1e-3</th><th>detected 1e-6</th></tr>\n";
        for (const AttackGroup group : ReportGroups()) {
            std::string names;
            std::size_t cells = 0, verdicts = 0, hits3 = 0, hits6 = 0;
            for (const ReportFamily& family : families) {
                if (family.Group != group) continue;
                names += (names.empty() ? "" : ", ") + Escape(family.Name);
                for (const std::size_t c : family.Cells) {
                    ++cells;
                    verdicts += summaries[c].Verdicts;
                    hits3 += summaries[c].Hits3;
                    hits6 += summaries[c].Hits6;
                }
            }
            if (cells == 0) continue;
            h += "<tr><td class=\"n\">" + GroupHeading(group) + "</td><td class=\"n\">" + names + "</td><td>" +
                 std::to_string(cells) + "</td><td>" + std::to_string(verdicts) + "</td><td>" +
                 RateWithInterval(hits3, verdicts, 2) + "</td><td>" + RateWithInterval(hits6, verdicts, 2) + "</td></tr>\n";
        }
        h += "</table>\n";
    }
    h += SizeGroupsSection(report);
    h += ExampleStrip(report);

    // Families.
    h += "<h2>NC and detection against attack strength</h2>\n<p class=\"legend\">";
    h += "<span><i class=\"key\" style=\"background:" + std::string(kNcColour) + "\"></i>NC median</span>";
    h += "<span><i class=\"key\" style=\"background:" + std::string(kBandColour) + "\"></i>NC interquartile range</span>";
    if (report.Thresholds) {
        h += "<span><i class=\"key\" style=\"background:" + std::string(kTpr3Colour) + "\"></i>detected at FPR 1e-3</span>";
        h += "<span><i class=\"key\" style=\"background:" + std::string(kTpr6Colour) + "\"></i>detected at FPR 1e-6</span>";
    }
    if (!std::isnan(noneMedian))
        h += "<span><i class=\"key\" style=\"border-top:2px dashed " + std::string(kNoneColour) +
             ";height:0\"></i>NC with no attack</span>";
    const bool registering = std::any_of(summaries.begin(), summaries.end(),
                                         [](const CellSummary& s) { return s.Registered > 0; });
    if (registering) {
        h += "<span><i class=\"key\" style=\"border-top:2px dashed " + std::string(kNcColour) +
             ";height:0\"></i>NC median after registration (&#9671;)</span>";
        if (report.Thresholds)
            h += "<span><i class=\"key\" style=\"border-top:2px dashed " + std::string(kTpr6Colour) +
                 ";height:0\"></i>detected at FPR 1e-6 after registration (&#9671;)</span>";
    }
    if (report.Thresholds)
        h += "<span>bars: Wilson 95&nbsp;% interval of each rate</span>";
    h += "</p>\n" + FamilyFigures(report, families, summaries, noneMedian, nullptr);

    // ROC curves.
    h += "<h2>ROC curves per attack family</h2>\n<p>For each family, every row's detection score (the marked "
         "picture after the attack) against the score the same key gives its own host, unmarked, after the same "
         "attack with the same seed: the null a user meets most. The curve runs over every threshold; the area "
         "under it (AUC) is the chance that a marked picture scores above an unmarked one, ties counting half." +
         std::string(report.Thresholds ? " The points mark the calibration's thresholds: the share of rows "
                                         "detected (TPR) against the share of the null side that reaches them."
                                       : "") +
         "</p>\n";
    std::vector<FamilyRoc> rocs;
    for (const ReportFamily& family : families) rocs.push_back(RocOfFamily(report, family));
    h += "<table><tr><th class=\"n\">family</th><th>rows</th><th>AUC</th><th>TPR at 1e-3</th><th>TPR at "
         "1e-6</th><th>null side at 1e-3</th><th>null side at 1e-6</th></tr>\n";
    for (std::size_t f = 0; f < families.size(); ++f)
        h += GroupRow(families, f, 7) + "<tr><td class=\"n\">" + Escape(families[f].Name) + "</td><td>" +
             std::to_string(rocs[f].Curve.Positives) +
             "</td><td>" + AucText(rocs[f].Curve.Auc) + "</td><td>" + ShareWithInterval(rocs[f].Tpr1e3, rocs[f].Verdicts) +
             "</td><td>" + ShareWithInterval(rocs[f].Tpr1e6, rocs[f].Verdicts) + "</td><td>" +
             ShareWithInterval(rocs[f].Fpr1e3, rocs[f].Curve.Negatives) + "</td><td>" +
             ShareWithInterval(rocs[f].Fpr1e6, rocs[f].Curve.Negatives) + "</td></tr>\n";
    h += "</table>\n<div class=\"rocs\">\n";
    for (std::size_t f = 0; f < families.size(); ++f) {
        if (rocs[f].Curve.Points.empty()) continue;
        h += "<figure><figcaption>" + Escape(families[f].Name) + " <span class=\"muted\">AUC " + Fixed(rocs[f].Curve.Auc, 3) +
             (std::isnan(rocs[f].Tpr1e6) ? std::string()
                                          : ", TPR " + Fixed(rocs[f].Tpr1e3, 2) + " / " + Fixed(rocs[f].Tpr1e6, 2)) +
             "</span></figcaption>\n" + RocChart({{&rocs[f], std::string(), kNcColour}}, families[f].Name) + "</figure>\n";
    }
    h += "</div>\n";
    if (report.Thresholds)
        h += "<p class=\"legend\"><span><i class=\"key\" style=\"background:" + std::string(kTpr3Colour) +
             "\"></i>at the 1e-3 threshold</span><span><i class=\"key\" style=\"background:" + std::string(kTpr6Colour) +
             "\"></i>at the 1e-6 threshold</span></p>\n";

    // The table.
    h += "<h2>Every attack cell</h2>\n<p>Over hosts and seeds: NC median and interquartile range, mean bit error "
         "rate (over every pixel of the mark: 0.5 by chance), median detection score, median PSNR and SSIM of the "
         "attacked picture against the watermarked one, and the share of rows detected at each threshold" +
         std::string(registering ? "; for the geometric cells, the same read again after registration" : "") +
         ". The experiment's seven attacks (<code>none</code>, <code>jpeg</code>, <code>blur</code> and the four "
         "crops, as the experiment runs them) are scored as the method defines them, on the workspace's reals "
         "(<em>reals</em>); every other cell on the bytes a file of the attacked picture would hold, rounded and "
         "clamped (<em>bytes</em>).</p>\n";
    h += "<table><tr><th class=\"n\">attack</th><th class=\"n\">scored on</th><th>rows</th><th>NC median</th><th>NC "
         "q1 &ndash; q3</th><th>BER mean</th><th>score median</th><th>PSNR (dB)</th><th>SSIM</th><th>detected "
         "1e-3</th><th>detected 1e-6</th>" +
         std::string(registering ? "<th>registered: NC median</th><th>score median</th><th>detected 1e-6</th>" : "") +
         "<th>failed</th></tr>\n";
    for (std::size_t i = 0; i < report.Cells.size(); ++i) {
        const CellSummary& s = summaries[i];
        h += std::string("<tr") + (s.Failed > 0 ? " class=\"fail\"" : "") + "><td class=\"n\">" +
             Escape(report.Cells[i].Name) + "</td><td class=\"n\">" +
             (IsExperimentAttack(report.Cells[i]) ? "reals" : "bytes") + "</td><td>" + std::to_string(s.Rows) +
             "</td><td>" + Fixed(s.Nc.Median, 4) +
             "</td><td>" + Fixed(s.Nc.Q1, 4) + " &ndash; " + Fixed(s.Nc.Q3, 4) + "</td><td>" + Fixed(s.BerMean, 4) +
             "</td><td>" + Fixed(s.ScoreMedian, 4) + "</td><td>" + Fixed(s.PsnrMedian, 2) + "</td><td>" + Fixed(s.SsimMedian, 4) + "</td><td>" +
             Fixed(s.Tpr3, 3) + "</td><td>" + Fixed(s.Tpr6, 3) + "</td><td>" +
             (registering ? Fixed(s.RegisteredNcMedian, 4) + "</td><td>" + Fixed(s.RegisteredScoreMedian, 4) + "</td><td>" +
                                Fixed(s.RegisteredTpr6, 3) + "</td><td>"
                          : std::string()) +
             std::to_string(s.Failed) + "</td></tr>\n";
    }
    h += "</table>\n";
    if (failed > 0) {
        // The rows' own fields, named and valued as the rows' schema has them.
        const RowFieldId shown[] = {RowFieldId::Host, RowFieldId::Seed, RowFieldId::Attack, RowFieldId::Error};
        std::vector<RowField> fields;
        for (const RowField& f : RowFields(false))
            if (std::find(std::begin(shown), std::end(shown), f.Id) != std::end(shown)) fields.push_back(f);
        h += "<h2>Failed rows</h2>\n<table><tr>";
        for (const RowField& f : fields)
            h += std::string(f.Id == RowFieldId::Seed ? "<th>" : "<th class=\"n\">") + f.Name + "</th>";
        h += "</tr>\n";
        for (const RobustnessRow& row : report.Rows) {
            if (!row.Failed()) continue;
            h += "<tr class=\"fail\">";
            for (const RowField& f : fields) {
                const RowValue value = FieldValue(row, f.Id);
                const std::string text = value.Type == RowValue::Kind::Whole ? std::to_string(value.Whole) : Escape(value.Text);
                h += std::string(f.Id == RowFieldId::Seed ? "<td>" : "<td class=\"n\">") + text + "</td>";
            }
            h += "</tr>\n";
        }
        h += "</table>\n";
    }
    return h + "</body>\n</html>\n";
}

std::string ShellCommandLine(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty()) text += ' ';
        if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                                    "-_./:=,+@%") == std::string::npos) {
            text += word;
            continue;
        }
        text += '\'';
        for (const char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += '\'';
    }
    return text;
}

}  // namespace quillfen
