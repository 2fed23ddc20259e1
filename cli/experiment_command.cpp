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

#include "cli/commands.h"
#include "cli/experiment_report.h"
#include "cli/output_folder.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/pgm.h"
#include "quillfen/watermark/experiment.h"
#include "quillfen/watermark/experiment_outcome.h"

namespace quillfen::cli {

namespace {

namespace fs = std::filesystem;

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
std::vector<Step> ChosenAttacks(const std::vector<std::string>& named) {
    if (named.empty()) return Experiment::Attacks();
    std::vector<Step> chosen;
    for (const std::string& name : named) {
        const Step attack = *Experiment::Find(name);  // the option accepts attack names only
        if (std::find(chosen.begin(), chosen.end(), attack) == chosen.end()) chosen.push_back(attack);
    }
    return chosen;
}

// Equal images have no PSNR; the desktop program says so in a message box.
void TellImagesEqual(const StepResult& result) {
    if (result.ImagesEqual())
        for (const char* line : {"Watermarked image is equal to Original image", "PSNR is infinite value"})
            PrintErrorLine(line);
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
    for (const Step attack : Experiment::Attacks()) names.emplace_back(Experiment::Info(attack).id);
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
        const std::vector<Step> attacks = ChosenAttacks(o->attacks);
        const bool writeViews = outOption->count() > 0;
        std::optional<OutputFolder> folder;
        if (writeViews) folder.emplace(o->out);
        Bitmap host = LoadPictureOrFail(o->host).bitmap;
        Bitmap mark = LoadPictureOrFail(o->mark).bitmap;
        std::vector<View> views;
        ExperimentViewSink keepView;
        if (writeViews)
            keepView = [&views](const std::string& name, const std::vector<std::uint8_t>& plane) {
                const int size = plane.size() == static_cast<std::size_t>(TWatermark::kHostPixels)
                                     ? TWatermark::kHostSize
                                     : TWatermark::kMarkSize;
                views.push_back({name, plane, size});
            };
        const ExperimentOutcome outcome =
            RunExperiment(std::move(host), std::move(mark), seed, attacks, TellImagesEqual, keepView);
        if (folder) {
            WriteViews(*folder, o->out, views);
            folder->Commit();
        }
        if (o->json) {
            PrintLine(ExperimentJson(outcome));
        } else {
            for (const std::string& line : ExperimentText(outcome)) PrintLine(line);
            if (writeViews) PrintLine("views written to " + o->out);
        }
    });
}

}  // namespace quillfen::cli
