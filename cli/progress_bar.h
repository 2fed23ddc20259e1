#pragma once
// A one-line progress bar on stderr for long commands: done/total, rate (and megapixels a
// second, for work on pictures) and time left. It draws only when stderr is a terminal (a log
// file or a pipe gets nothing), at most ten times a second, and erases itself when done.
#include <chrono>
#include <cstdint>
#include <string>

namespace quillfen::cli {

class ProgressBar {
public:
    // `unit` names what is counted ("rows", "keys").
    explicit ProgressBar(std::string unit);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // `pixels`: of the pictures the work done measured (0: no megapixel rate).
    void Update(std::uint64_t done, std::uint64_t total, std::uint64_t pixels = 0);
    // Erases the line (also done by the destructor).
    void Finish();
    // Erases the line and, on a terminal, leaves the rates of the whole run in its place.
    void Conclude(std::uint64_t done, std::uint64_t pixels = 0);

    // The line drawn for these numbers (without the carriage return), for the tests.
    static std::string Line(std::uint64_t done, std::uint64_t total, double seconds, const std::string& unit,
                            std::uint64_t pixels = 0);
    // The line Conclude leaves: "3216 rows in 21.9 s: 146.8 rows/s, 9.6 megapixels/s".
    static std::string RatesLine(std::uint64_t done, double seconds, const std::string& unit, std::uint64_t pixels);

private:
    std::string unit_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace quillfen::cli
