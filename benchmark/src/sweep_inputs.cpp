#include "quillfen/benchmark/sweep_inputs.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/watermark.h"

namespace quillfen {

namespace fs = std::filesystem;

namespace {

constexpr int kHostSide = TWatermark::kHostSize;

}  // namespace

std::vector<HostFile> FindHostPictures(const std::vector<fs::path>& arguments) {
    auto refuse = [](const std::string& what) { return SweepInputError(SweepInput::Hosts, what); };
    std::vector<HostFile> hosts;
    for (const fs::path& argument : arguments) {
        std::error_code ec;
        if (!fs::is_directory(argument, ec)) {
            hosts.push_back({argument.filename().string(), argument, {}});
            continue;
        }
        std::vector<HostFile> found;
        fs::directory_iterator it(argument, ec);
        if (ec) throw refuse("cannot read the folder '" + argument.string() + "' (" + ec.message() + ")");
        for (const fs::directory_entry& entry : it) {
            std::error_code typeError;
            if (entry.is_directory(typeError)) continue;
            if (FormatFromFileName(entry.path()) == PictureFormat::Unknown) continue;
            found.push_back({entry.path().filename().string(), entry.path(), {}});
        }
        if (found.empty())
            throw refuse("the folder '" + argument.string() + "' holds no picture (.pgm, .bmp, .png, .jpg, .jpeg)");
        hosts.insert(hosts.end(), found.begin(), found.end());
    }
    std::sort(hosts.begin(), hosts.end(), [](const HostFile& a, const HostFile& b) { return a.Name < b.Name; });
    // Rows name a host by its file name, with bytes that are not UTF-8 replaced: two names
    // that are one there would mix their rows.
    std::map<std::string, const HostFile*> byRowName;
    for (const HostFile& host : hosts) {
        const auto [other, fresh] = byRowName.emplace(RowHostName(host.Name), &host);
        if (fresh) continue;
        if (other->second->Name == host.Name)
            throw refuse("two host pictures have the file name '" + host.Name + "' ('" + other->second->Path.string() +
                         "', '" + host.Path.string() + "'): rows name a host by its file name");
        throw refuse("the host pictures '" + other->second->Path.string() + "' and '" + host.Path.string() +
                     "' would have one name in the rows, '" + other->first +
                     "' (bytes that are not UTF-8 are replaced there): rename one of them");
    }
    // Each is read once now: a host that cannot be used is refused before any work.
    for (HostFile& host : hosts) {
        Bitmap picture;
        try {
            picture = LoadPictureFile(host.Path).bitmap;
        } catch (const Error& e) {
            throw refuse(e.what());
        }
        CheckHostPicture(host.Path.string(), picture);
        host.Digest = HostDigest(picture);
    }
    return hosts;
}

void CheckHostPicture(const std::string& name, const Bitmap& picture) {
    if (picture.width() < kHostSide || picture.height() < kHostSide)
        throw SweepInputError(SweepInput::Hosts, "the host picture '" + name + "' is " +
                                                     std::to_string(picture.width()) + " x " +
                                                     std::to_string(picture.height()) +
                                                     "; a host must be at least 256 x 256 (the mark goes into its "
                                                     "top-left 256 x 256 region, and a host is never padded)");
}

NamedPicture LoadSweepMark(const fs::path& path) {
    NamedPicture mark;
    mark.Name = path.filename().string();
    try {
        mark.Picture = LoadPictureFile(path).bitmap;
    } catch (const Error& e) {
        throw SweepInputError(SweepInput::Mark, e.what());
    }
    if (MarkComparedBlackPixels(mark.Picture) == 0)
        throw SweepInputError(SweepInput::Mark, "'" + path.string() +
                                                    "' has no black pixel (below 128) in rows and columns 4..127 of "
                                                    "its 128 x 128 part, where NC compares: no mark to look for");
    return mark;
}

std::vector<std::uint32_t> ParseSweepSeeds(const std::string& text) {
    try {
        return ParseSeedList(text);
    } catch (const ArgumentError& e) {
        throw SweepInputError(SweepInput::Seeds, e.what());
    }
}

std::vector<AttackCell> ParseSweepAttacks(const std::vector<std::string>& lists) {
    if (lists.empty()) return DefaultAttackGrid();
    std::string list;
    for (const std::string& a : lists) list += (list.empty() ? "" : ",") + a;
    try {
        return ParseAttackCells(list);
    } catch (const ArgumentError& e) {
        throw SweepInputError(SweepInput::Attacks, e.what());
    }
}

FoundCalibration FindSweepCalibration(const fs::path& given, const fs::path& mark) {
    FoundCalibration found;
    found.Beside = mark.parent_path() / (mark.stem().string() + ".calibration.json");
    found.Path = given;
    if (found.Path.empty()) {
        std::error_code ec;
        if (!fs::is_regular_file(found.Beside, ec)) return found;
        found.Path = found.Beside;
    }
    try {
        found.Thresholds = LoadCalibration(found.Path);
    } catch (const Error& e) {
        throw SweepInputError(SweepInput::Calibration, e.what());
    }
    return found;
}

PreparedSweep PrepareSweep(const SweepInputs& inputs) {
    PreparedSweep prepared;
    SweepPlan& plan = prepared.Plan;
    plan.Seeds = ParseSweepSeeds(inputs.Seeds);
    plan.Cells = ParseSweepAttacks(inputs.Attacks);
    const NamedPicture mark = inputs.MarkPicture ? *inputs.MarkPicture : LoadSweepMark(inputs.Mark);
    prepared.MarkName = mark.Name;
    plan.Mark = mark.Picture;
    if (!inputs.MarkPicture || !inputs.Calibration.empty()) {
        prepared.Calibration = FindSweepCalibration(inputs.Calibration, inputs.Mark);
        plan.Thresholds = prepared.Calibration.Thresholds;
    }
    if (!inputs.Hosts.empty() || inputs.Pictures.empty()) {
        prepared.Hosts = FindHostPictures(inputs.Hosts);
        for (const HostFile& file : prepared.Hosts) {
            const fs::path path = file.Path;
            plan.Hosts.push_back({RowHostName(file.Name), [path] { return LoadPictureFile(path).bitmap; }});
        }
    }
    for (const NamedPicture& given : inputs.Pictures) {
        CheckHostPicture(given.Name, given.Picture);
        const Bitmap picture = given.Picture;
        plan.Hosts.push_back({RowHostName(given.Name), [picture] { return picture; }});
    }
    plan.Part = inputs.Part;
    plan.Jobs = inputs.Jobs;
    plan.Register = inputs.Register;
    CheckSweepPlan(plan);
    return prepared;
}

}  // namespace quillfen
