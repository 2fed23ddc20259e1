// quillfen-cli experiment HOST MARK [--seed N] [--attack NAME]... [--out DIR] [--json]:
// the whole watermarking experiment from the shell. Embeds MARK into HOST, applies each
// chosen attack to the watermarked image, extracts the watermark again after each one and
// reports what the document window's status bar would show, as text or as one JSON object.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_common.h"
#include "cli/output_folder.h"
#include "image/errors.h"
#include "image/number_format.h"
#include "io/pgm.h"
#include "watermark/watermark.h"

namespace quillfen::cli {

namespace {

namespace fs = std::filesystem;

struct AttackKind {
    const char* name;
    bool reportsPsnr;
};

// In the order the default run applies them.
const AttackKind kAttackKinds[] = {
    {"none", false},
    {"jpeg", true},
    {"blur", false},
    {"crop-zero-quarter", false},
    {"crop-image-quarter", false},
    {"crop-zero-half", false},
    {"crop-image-half", false},
};

struct Options {
    std::string host;
    std::string mark;
    std::string seed;
    std::vector<std::string> attacks;
    std::string out;
    bool json = false;
};

// One view to be written: its path under the output folder and its gray plane.
struct View {
    std::string name;  // e.g. "Y.pgm" or "jpeg/W_wave.pgm"
    std::vector<std::uint8_t> plane;
    int size;
};

struct AttackResult {
    std::string name;
    std::optional<PsnrResult> psnr;  // the JPEG attack's measurement
    std::optional<double> nc;
};

struct Outcome {
    std::uint32_t seed = 0;
    int wrCount = 0;
    int waCount = 0;
    std::optional<PsnrResult> psnr;
    std::vector<AttackResult> attacks;
    std::vector<View> views;
};

std::uint32_t ParseSeed(const std::string& text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        throw CommandFailure{kExitUsage, "--seed: '" + text + "' is not a seed (expected a whole number 0..4294967295)"};
    }
    return value;
}

// The attacks to run: those named, in the order named, each once; all seven by default.
std::vector<std::string> ChosenAttacks(const std::vector<std::string>& named) {
    std::vector<std::string> chosen;
    if (named.empty()) {
        for (const AttackKind& kind : kAttackKinds) chosen.emplace_back(kind.name);
        return chosen;
    }
    for (const std::string& name : named) {
        if (std::find(chosen.begin(), chosen.end(), name) == chosen.end()) chosen.push_back(name);
    }
    return chosen;
}

std::optional<PsnrResult> ApplyAttack(TWatermark& w, const std::string& name, UserPrompts& prompts) {
    if (name == "none") {
        w.CopyXhToXw();
    } else if (name == "jpeg") {
        return w.ApplyJpeg(prompts);
    } else if (name == "blur") {
        w.ApplyBlurring();
    } else if (name == "crop-zero-quarter") {
        w.ApplyCroppingByZeroInQuarter();
    } else if (name == "crop-image-quarter") {
        w.ApplyCroppingByImgInQuarter();
    } else if (name == "crop-zero-half") {
        w.ApplyCroppingByZeroInHalf();
    } else {
        w.ApplyCroppingByImgInHalf();
    }
    return std::nullopt;
}

Outcome RunExperiment(Bitmap host, Bitmap mark, std::optional<std::uint32_t> seed,
                      const std::vector<std::string>& attacks, bool keepViews) {
    auto w = std::make_unique<TWatermark>();
    StderrPrompts prompts;
    Outcome outcome;
    auto keep = [&](const std::string& name, const std::vector<std::uint8_t>& plane) {
        if (keepViews) {
            const int size = plane.size() == static_cast<std::size_t>(TWatermark::kHostPixels) ? TWatermark::kHostSize
                                                                                               : TWatermark::kMarkSize;
            outcome.views.push_back({name, plane, size});
        }
    };

    w->LoadX(host);
    w->LoadW(mark);
    keep("X.pgm", w->X);
    w->SetFixedSeed(seed);
    w->GetWr();
    outcome.seed = w->LastSeed();
    outcome.wrCount = w->BlackCount;
    keep("W.pgm", w->W);
    keep("Wr.pgm", w->Display128);
    w->GetWa();
    outcome.waCount = w->BlackCount;
    keep("Wa.pgm", w->Display128);
    w->GetY();
    keep("Y.pgm", w->Display256);
    w->GetYr();
    keep("Yr.pgm", w->Display128);
    w->GetP();
    keep("P.pgm", w->Display128);
    w->GetP_hat();
    keep("P_hat.pgm", w->Display128);
    w->GetYr_hat(TWatermark::kStrengthDivisor);
    keep("Yr_hat.pgm", w->Display128);
    w->GetY_hat();
    keep("Y_hat.pgm", w->Display256);
    w->GetX_hat();
    keep("X_hat.pgm", w->Display256);
    outcome.psnr = w->GetPSNR_Diff(prompts);
    keep("difference.pgm", w->Display256);

    for (const std::string& name : attacks) {
        AttackResult result{name, ApplyAttack(*w, name, prompts), std::nullopt};
        const std::string dir = name + "/";
        keep(dir + "X_wave.pgm", w->Display256);
        w->GetY_wave();
        keep(dir + "Y_wave.pgm", w->Display256);
        w->GetYr_wave();
        keep(dir + "Yr_wave.pgm", w->Display128);
        w->GetP_wave();
        keep(dir + "P_wave.pgm", w->Display128);
        w->GetWa_wave();
        keep(dir + "Wa_wave.pgm", w->Display128);
        w->GetWr_wave();
        keep(dir + "Wr_wave.pgm", w->Display128);
        w->GetW_wave();
        keep(dir + "W_wave.pgm", w->Display128);
        result.nc = w->GetNC();
        outcome.attacks.push_back(result);
    }
    return outcome;
}

// Writes every view into the work folder; OutputFolder::Commit then puts it in place.
void WriteViews(const OutputFolder& folder, const std::string& shownName, const std::vector<View>& views) {
    try {
        for (const View& view : views) {
            const fs::path file = folder.workFolder() / view.name;
            fs::create_directories(file.parent_path());
            TRixPGM().SaveToFile(file, Bitmap::fromGray(view.size, view.size, view.plane.data()));
        }
    } catch (const std::exception& e) {
        throw CommandFailure{kExitUsage, "--out: cannot write the views into '" + shownName + "': " + e.what()};
    }
}

nlohmann::json OptionalNumber(const std::optional<double>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

void PrintJson(const Outcome& o) {
    nlohmann::ordered_json report;
    report["seed"] = o.seed;
    report["wr_count"] = o.wrCount;
    report["wa_count"] = o.waCount;
    report["psnr"] = OptionalNumber(o.psnr ? std::optional<double>(o.psnr->Psnr) : std::nullopt);
    report["sum_sq"] = OptionalNumber(o.psnr ? std::optional<double>(o.psnr->SumSq) : std::nullopt);
    nlohmann::ordered_json attacks = nlohmann::ordered_json::object();
    for (const AttackResult& a : o.attacks) {
        nlohmann::ordered_json entry;
        if (a.name == "jpeg") {
            entry["psnr"] = OptionalNumber(a.psnr ? std::optional<double>(a.psnr->Psnr) : std::nullopt);
            entry["diff"] = OptionalNumber(a.psnr ? std::optional<double>(a.psnr->SumSq) : std::nullopt);
        }
        entry["nc"] = OptionalNumber(a.nc);
        attacks[a.name] = entry;
    }
    report["attacks"] = attacks;
    PrintLine(report.dump(2));
}

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

// The status reports the document window shows ("Wr count =", "PSNR = ", "NC ="), one line
// per attack.
void PrintText(const Outcome& o) {
    PrintLine("seed = " + std::to_string(o.seed));
    PrintLine("Wr count =" + std::to_string(o.wrCount));
    PrintLine("Wa count =" + std::to_string(o.waCount));
    PrintLine(o.psnr ? "PSNR = " + FormatFixed(o.psnr->Psnr, 5) : std::string("PSNR = infinite"));
    PrintLine("");
    PrintLine(Padded("attack", 20) + Padded("NC", 16) + "JPEG score");
    for (const AttackResult& a : o.attacks) {
        std::string line = Padded(a.name, 20) + Padded("NC =" + (a.nc ? FormatFixed(*a.nc, 5) : "undefined"), 16);
        if (a.name == "jpeg") {
            line += a.psnr ? "PSNR = " + FormatFixed(a.psnr->Psnr, 5) + "  Diff = " + FormatFixed(a.psnr->SumSq, 5)
                           : std::string("PSNR = infinite  Diff = none");
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        PrintLine(line);
    }
}

}  // namespace

void RegisterExperimentCommand(CLI::App& app) {
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "experiment",
        "Embed MARK into HOST, attack the watermarked image, extract the watermark after each attack and score it");
    cmd->add_option("HOST", o->host, "host picture (.pgm, .bmp, .png, .jpg, .jpeg); used at 256 x 256")->required();
    cmd->add_option("MARK", o->mark, "watermark picture; used at 128 x 128, black (< 128) pixels carry the mark")
        ->required();
    CLI::Option* seedOption = cmd->add_option("--seed", o->seed,
                    "generator state right after seeding, 0..4294967295 (default: the UTC time of day in "
                    "milliseconds, printed so that the run can be repeated)")
        ->transform(DecimalNumber(0, 4294967295LL));
    std::vector<std::string> names;
    for (const AttackKind& kind : kAttackKinds) names.emplace_back(kind.name);
    cmd->add_option("--attack", o->attacks,
                    "attack to apply to X_hat, repeatable: none, jpeg, blur, crop-zero-quarter, crop-image-quarter, "
                    "crop-zero-half, crop-image-half (default: all seven in that order)")
        ->expected(1)
        ->delimiter(',')
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(CLI::IsMember(names));
    CLI::Option* outOption = cmd->add_option("--out", o->out,
                    "write every view as PGM into this new or empty folder (per attack in DIR/<attack>/)");
    cmd->add_flag("--json", o->json, "print one JSON object instead of the text report");
    cmd->callback([o, seedOption, outOption] {
        std::optional<std::uint32_t> seed;
        if (seedOption->count() > 0) seed = ParseSeed(o->seed);
        const std::vector<std::string> attacks = ChosenAttacks(o->attacks);
        const bool writeViews = outOption->count() > 0;
        std::optional<OutputFolder> folder;
        if (writeViews) folder.emplace(o->out);
        Bitmap host = LoadPictureOrFail(o->host).bitmap;
        Bitmap mark = LoadPictureOrFail(o->mark).bitmap;
        const Outcome outcome = RunExperiment(std::move(host), std::move(mark), seed, attacks, writeViews);
        if (folder) {
            WriteViews(*folder, o->out, outcome.views);
            folder->Commit();
        }
        if (o->json) {
            PrintJson(outcome);
        } else {
            PrintText(outcome);
            if (writeViews) PrintLine("views written to " + o->out);
        }
    });
}

}  // namespace quillfen::cli
