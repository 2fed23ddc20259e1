#include "cli/progress_bar.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace quillfen::cli {

namespace {

constexpr int kBarWidth = 24;

std::string Duration(double seconds) {
    const auto total = static_cast<long long>(std::ceil(seconds));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

}  // namespace

ProgressBar::ProgressBar(std::string unit)
    : unit_(std::move(unit)), enabled_(isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { Finish(); }

std::string ProgressBar::Line(std::uint64_t done, std::uint64_t total, double seconds, const std::string& unit,
                              std::uint64_t pixels) {
    const double share = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const int filled = static_cast<int>(share * kBarWidth);
    std::string line(1, '[');
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    line += "] ";
    line += std::to_string(done);
    line += '/';
    line += std::to_string(total);
    line += ' ';
    line += unit;
    if (done > 0 && seconds > 0) {
        const double rate = static_cast<double>(done) / seconds;
        char text[48];
        std::snprintf(text, sizeof text, "  %.1f %s/s", rate, unit.c_str());
        line += text;
        if (pixels > 0) {
            std::snprintf(text, sizeof text, "  %.1f Mpx/s", static_cast<double>(pixels) / 1e6 / seconds);
            line += text;
        }
        line += "  ";
        line += Duration(static_cast<double>(total - done) / rate);
        line += " left";
    }
    return line;
}

std::string ProgressBar::RatesLine(std::uint64_t done, double seconds, const std::string& unit, std::uint64_t pixels) {
    char text[160];
    const double time = seconds > 0 ? seconds : 1e-9;
    std::snprintf(text, sizeof text, "%llu %s in %.1f s: %.1f %s/s", static_cast<unsigned long long>(done),
                  unit.c_str(), seconds, static_cast<double>(done) / time, unit.c_str());
    std::string line = text;
    if (pixels > 0) {
        std::snprintf(text, sizeof text, ", %.1f megapixels/s", static_cast<double>(pixels) / 1e6 / time);
        line += text;
    }
    return line;
}

void ProgressBar::Update(std::uint64_t done, std::uint64_t total, std::uint64_t pixels) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && done < total && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    // Erase to the end of the line: the new text may be shorter than the old.
    std::fprintf(stderr, "\r%s\x1b[K", Line(done, total, seconds, unit_, pixels).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Conclude(std::uint64_t done, std::uint64_t pixels) {
    Finish();
    if (!enabled_ || done == 0) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(stderr, "%s\n", RatesLine(done, seconds, unit_, pixels).c_str());
    std::fflush(stderr);
}

void ProgressBar::Finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace quillfen::cli
