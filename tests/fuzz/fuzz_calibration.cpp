// Fuzz entry point: calibration files, which users hand to extract and robustness. Every input
// is either refused with a FormatError or gives thresholds the verdict can use and a report
// that is drawn in bounded time; a calibration run's file written again reads back as the
// same calibration.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/image/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const quillfen::Calibration cal = quillfen::ParseCalibration(text, "fuzz.json");
        const double t3 = cal.Threshold(quillfen::kFprEmpirical);
        const double t6 = cal.Threshold(quillfen::kFprModelled);
        if (!(t3 >= -1 && t3 <= 1 && t6 >= t3 && t6 <= 1)) __builtin_trap();
        if (cal.HasSample()) {
            if (!(quillfen::ParseCalibration(quillfen::CalibrationJson(cal), "again") == cal)) __builtin_trap();
            const double other = cal.Threshold(1e-4);
            if (std::isnan(other)) __builtin_trap();
            (void)cal.EmpiricalTail(t3);
        }
        // The report draws the calibration (its tail chart and tables) with every loop bounded.
        quillfen::RobustnessReport report;
        report.Thresholds = cal;
        (void)quillfen::RobustnessHtml(report);
    } catch (const quillfen::FormatError&) {
        // A one-line refusal is the expected outcome for most inputs.
    }
    return 0;
}
