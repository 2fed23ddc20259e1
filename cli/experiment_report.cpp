#include "cli/experiment_report.h"

#include <algorithm>
#include <optional>

#include "quillfen/image/number_format.h"

namespace quillfen::cli {

namespace {

// The words of the status texts the windows show for these results.
std::string Psnr(const std::optional<PsnrResult>& result) {
    return result ? "PSNR = " + FormatFixed(result->Psnr, 5) : std::string("PSNR = infinite");
}

std::string Nc(const std::optional<double>& nc) {
    return nc ? "NC =" + FormatFixed(*nc, 5) : std::string("NC =undefined");
}

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

std::vector<std::string> ExperimentText(const ExperimentOutcome& o) {
    std::vector<std::string> lines{"seed = " + std::to_string(o.seed),
                                   "Wr count =" + std::to_string(o.Of(Step::GetWr).blackCount),
                                   "Wa count =" + std::to_string(o.Of(Step::GetWa).blackCount),
                                   Psnr(o.Of(Step::GetPSNR).psnr)};
    lines.emplace_back();
    lines.push_back(Padded("attack", 20) + Padded("NC", 16) + "JPEG score");
    for (const AttackOutcome& a : o.attacks) {
        std::string line = Padded(Experiment::Info(a.attack).id, 20) + Padded(Nc(a.nc.nc), 16);
        if (a.attack == Step::Jpeg) {
            // Without a PSNR the sum of squared differences says nothing either.
            line += a.scored.psnr ? Psnr(a.scored.psnr) + "  Diff = " + FormatFixed(a.scored.psnr->SumSq, 5)
                                  : std::string("PSNR = infinite  Diff = none");
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace quillfen::cli
