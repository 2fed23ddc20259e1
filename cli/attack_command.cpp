// quillfen-cli attack LIST PICTURE... --out DIR [--seed N] [--host HOST]: the attacked pictures
// of a sweep as files, so that any detector, in any language, is scored on exactly the pixels
// the sweep's rows are.
#include <cmath>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/output_folder.h"
#include "cli/sweep_inputs.h"
#include "quillfen/benchmark/sweep_inputs.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/image_view.h"
#include "quillfen/io/file_write.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen::cli {

namespace {

constexpr int kSide = TWatermark::kHostSize;

struct Options {
    std::string list;
    std::vector<std::string> pictures;
    std::string out;
    std::string seed = "1";
    std::string host;
    std::string region = "whole";
};

// Whether every pixel's three bytes are equal: such a picture is written as a gray file.
bool IsGray(const Bitmap& picture) {
    const std::vector<std::uint8_t>& b = picture.bytes();
    for (std::size_t i = 0; i + 2 < b.size(); i += 3)
        if (b[i] != b[i + 1] || b[i] != b[i + 2]) return false;
    return true;
}

// The whole picture, checked against the size every front end asks of a host.
Bitmap Whole(const std::string& name, Bitmap picture) {
    try {
        CheckHostPicture(name, picture);
    } catch (const SweepInputError& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    return picture;
}

bool NeedsHost(const AttackCell& cell) {
    for (const AttackStep& step : cell.Steps)
        if (step.Id == AttackId::CropImageQuarter || step.Id == AttackId::CropImageHalf) return true;
    return false;
}

// A file name of the picture's stem and the cell: every character of a cell's name is one a
// file name may hold, but for the few a shell or another system treats specially, written "_".
std::string FileName(const std::string& stem, const std::string& cell) {
    std::string name = stem + "." + cell;
    for (char& c : name)
        if (c == '/' || c == ':' || c == ',' || c == '+' || c == '=') c = '_';
    return name + ".png";
}

bool IsUtf8(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::type_error&) {
        return false;
    }
}

// The gray 256 x 256 region of a picture a sweep reads (GrayOf, the top-left of a larger one).
std::vector<std::uint8_t> Region(const std::string& name, const Bitmap& picture) {
    try {
        CheckHostPicture(name, picture);
    } catch (const SweepInputError& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    return MarkedRegion(GrayOf(picture));
}

void Run(const Options& o) {
    std::vector<AttackCell> cells;
    try {
        cells = ParseSweepAttacks(o.list == "default" ? std::vector<std::string>{} : std::vector<std::string>{o.list});
    } catch (const SweepInputError& e) {
        throw CommandFailure{kExitUsage, "LIST: " + std::string(e.what())};
    }
    const std::uint32_t seed = static_cast<std::uint32_t>(std::stoull(o.seed));
    const bool whole = o.region == "whole";
    std::vector<std::uint8_t> host;
    Bitmap wholeHost;
    if (!o.host.empty()) {
        if (whole) wholeHost = Whole(o.host, LoadPictureOrFail(o.host).bitmap);
        else host = Region(o.host, LoadPictureOrFail(o.host).bitmap);
    }
    for (const AttackCell& cell : cells)
        if (NeedsHost(cell) && o.host.empty())
            throw CommandFailure{kExitUsage, "LIST: " + cell.Name +
                                                 " fills with the unmarked host: give it with --host HOST"};
    // Every picture is read, and every name checked, before anything is written.
    struct Source {
        std::string Name;
        std::string Stem;
        std::vector<std::uint8_t> Gray;
        Bitmap Picture;  // the whole picture, in a whole run
    };
    std::vector<Source> sources;
    std::set<std::string> stems;
    for (const std::string& path : o.pictures) {
        const std::filesystem::path p(path);
        // manifest.jsonl is UTF-8 text: a name of other bytes could only be listed altered, as
        // a file that does not exist, so it is refused before anything is written.
        if (!IsUtf8(p.filename().string()))
            throw CommandFailure{kExitUsage, "'" + path + "': the file name is not UTF-8, and manifest.jsonl could not "
                                                          "name it or the files made from it so that they are found "
                                                          "again: rename it (as with convmv) and run again"};
        Source source{p.filename().string(), p.stem().string(), {}, {}};
        if (whole) {
            source.Picture = Whole(path, LoadPictureOrFail(path).bitmap);
            if (!o.host.empty() && (wholeHost.width() != source.Picture.width() ||
                                    wholeHost.height() != source.Picture.height()))
                throw CommandFailure{kExitUsage, "--host '" + o.host + "' is " + std::to_string(wholeHost.width()) +
                                                     " x " + std::to_string(wholeHost.height()) + " and '" + path +
                                                     "' is " + std::to_string(source.Picture.width()) + " x " +
                                                     std::to_string(source.Picture.height()) +
                                                     ": the host of the crops must be of the picture's size"};
        } else {
            source.Gray = Region(path, LoadPictureOrFail(path).bitmap);
        }
        if (!stems.insert(source.Stem).second)
            throw CommandFailure{kExitUsage, "two pictures are named '" + source.Stem + "' (the files are named after it)"};
        if (!o.host.empty() && SameFile(path, o.host))
            throw CommandFailure{kExitUsage, "'" + path + "' is also the --host picture"};
        sources.push_back(std::move(source));
    }
    OutputFolder folder(o.out);
    std::string manifest;
    for (const Source& source : sources) {
        if (whole) {
            // As a sweep gives a picture to a method that marks whole pictures: whole, in colour
            // when it is in colour, measured as a viewer sees it.
            const GrayPlane luma = LuminanceOf(source.Picture);
            const SsimReference reference(luma.pixels(), luma.width(), luma.height());
            const Bitmap& fill = o.host.empty() ? source.Picture : wholeHost;
            // A crop of a gray picture with a colour host is in colour, and written so.
            const bool gray = IsGray(source.Picture) && IsGray(fill);
            for (const AttackCell& cell : cells) {
                const Bitmap attacked = ApplyAttackCell(cell, source.Picture, seed, fill);
                const std::string name = FileName(source.Stem, cell.Name);
                try {
                    SavePictureFile(folder.workFolder() / name, attacked, gray);
                } catch (const Error& e) {
                    throw CommandFailure{kExitUsage, e.what()};
                }
                const double psnr = ViewerPsnr(attacked, source.Picture);
                nlohmann::ordered_json line;
                line["source"] = source.Name;
                line["file"] = name;
                line["cell"] = cell.Name;
                line["seed"] = seed;
                line["psnr"] = std::isinf(psnr) ? nlohmann::ordered_json() : nlohmann::ordered_json(psnr);
                line["ssim"] = reference.Against(LuminanceOf(attacked).pixels());
                manifest += line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
            }
            continue;
        }
        const std::vector<double> reals(source.Gray.begin(), source.Gray.end());
        const SsimReference reference(source.Gray, kSide, kSide);
        const std::vector<std::uint8_t>& fill = host.empty() ? source.Gray : host;
        AttackedPicture attacked;
        for (const AttackCell& cell : cells) {
            // The picture's bytes are all a file holds: its reals are its bytes, as the sweep
            // gives every method but the polarity method, whose workspace keeps its own reals.
            ApplyAttackCell(cell, {fill, source.Gray, reals}, seed, attacked);
            const std::string name = FileName(source.Stem, cell.Name);
            try {
                SavePictureFile(folder.workFolder() / name, Bitmap::fromGray(kSide, kSide, attacked.Bytes.data()), true);
            } catch (const Error& e) {
                throw CommandFailure{kExitUsage, e.what()};
            }
            const double psnr = PsnrDecibels(std::span<const std::uint8_t>(attacked.Bytes), source.Gray);
            nlohmann::ordered_json line;
            line["source"] = source.Name;
            line["file"] = name;
            line["cell"] = cell.Name;
            line["seed"] = seed;
            line["psnr"] = std::isinf(psnr) ? nlohmann::ordered_json() : nlohmann::ordered_json(psnr);
            line["ssim"] = reference.Against(attacked.Bytes);
            manifest += line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
        }
    }
    try {
        WriteFileAtomically(folder.workFolder() / "manifest.jsonl",
                            std::vector<std::uint8_t>(manifest.begin(), manifest.end()));
    } catch (const Error& e) {
        throw CommandFailure{kExitUsage, e.what()};
    }
    folder.Commit();
    PrintLine(std::to_string(sources.size() * cells.size()) + " attacked pictures (" + std::to_string(sources.size()) +
              " pictures x " + std::to_string(cells.size()) + " attacks, seed " + std::to_string(seed) + ") in " + o.out);
}

}  // namespace

void RegisterAttackCommand(CLI::App& app) {
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "attack",
        "Apply every cell of LIST to each picture, whole and in colour as a robustness sweep gives it to a method that "
        "marks whole pictures (--region 256x256: its top-left 256 x 256 gray, as the polarity method reads it), and "
        "write the attacked pictures (PNG) and manifest.jsonl (source, file, cell, seed, PSNR and SSIM against the "
        "source) to DIR");
    cmd->add_option("LIST", o->list,
                    "attack list, as real-jpeg:q=10..90:10,median:k=3,5 (robustness --attacks), or default for the "
                    "default grid")
        ->required();
    cmd->add_option("PICTURE", o->pictures, "pictures to attack (at least 256 x 256)")->required();
    cmd->add_option("--region", o->region,
                    "what is attacked: whole (the picture, PSNR over red, green and blue, SSIM of the luminance; the "
                    "default) or 256x256 (the top-left 256 x 256 gray, the blue byte)")
        ->check(CLI::IsMember({"whole", "256x256"}));
    cmd->add_option("--out", o->out, "a new folder, or an empty one, for the pictures and manifest.jsonl")->required();
    cmd->add_option("--seed", o->seed, "seed of the seeded attacks, as the sweep's row seed (default 1)")
        ->transform(DecimalNumber(0, 4294967295LL));
    cmd->add_option("--host", o->host,
                    "the unmarked host, which crop-image-quarter and crop-image-half fill with (of each picture's size "
                    "when whole)");
    cmd->footer("A file is named after its picture and cell, with _ for the cell's : , + and =: "
                "marked.real-jpeg_q_50.png. A picture whose file name is not UTF-8 is refused before any work "
                "(manifest.jsonl, UTF-8 text, could not name it).");
    cmd->callback([o] { Run(*o); });
}

}  // namespace quillfen::cli
