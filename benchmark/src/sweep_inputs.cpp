#include "quillfen/benchmark/sweep_inputs.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/method.h"
#include "quillfen/methods/method_command.h"
#include "quillfen/watermark/marking.h"
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
            hosts.push_back({argument.filename().string(), argument, {}, {}, 0, 0, {}});
            continue;
        }
        std::vector<HostFile> found;
        fs::directory_iterator it(argument, ec);
        if (ec) throw refuse("cannot read the folder '" + argument.string() + "' (" + ec.message() + ")");
        for (const fs::directory_entry& entry : it) {
            std::error_code typeError;
            if (entry.is_directory(typeError)) continue;
            if (FormatFromFileName(entry.path()) == PictureFormat::Unknown) continue;
            found.push_back({entry.path().filename().string(), entry.path(), {}, {}, 0, 0, {}});
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
        host.WholeDigest = WholeHostDigest(picture);
        host.Width = picture.width();
        host.Height = picture.height();
        host.Region = GrayPlane(kHostSide, kHostSide);
        for (int y = 0; y < kHostSide; ++y) {
            const std::uint8_t* in = picture.row(y);
            std::uint8_t* out = host.Region.row(y);
            for (int x = 0; x < kHostSide; ++x) out[x] = in[3 * x];
        }
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

std::vector<SweepMethod> ParseSweepMethods(const std::vector<std::string>& texts, bool targetPsnr) {
    std::vector<SweepMethod> methods;
    std::set<std::string> labels;
    for (const std::string& text : texts) {
        MethodSpec described;
        try {
            described = ParseMethodSpec(text);
        } catch (const ArgumentError& e) {
            throw SweepInputError(SweepInput::Methods, e.what());
        }
        SweepMethod method = SweepMethodOf(MakeMethod(described), "built-in thresholds of " + described.Method());
        // Under a target the strength is the target's: the label names what the user chose.
        MethodSpec named = described;
        if (targetPsnr && described.Strength())
            named = described.WithStrength(*MethodRegistry::BuiltIn().Defaults(described.Method()).Strength());
        method.Label = named.Name();
        if (!labels.insert(method.Label).second)
            throw SweepInputError(SweepInput::Methods, "'" + text + "': the method " + method.Label + " is listed twice" +
                                                           (targetPsnr ? " (a target PSNR sets the strength)" : ""));
        methods.push_back(std::move(method));
    }
    // The default method alone is a run without methods, whose rows have no method fields;
    // under a target PSNR it is named, so that its rows say the divisor found for each host.
    if (methods.size() == 1 && methods.front().Method->Describe() == DefaultMethod() && !targetPsnr) methods.clear();
    return methods;
}

SweepMethod CommandSweepMethod(const fs::path& described) {
    std::shared_ptr<const MethodInfo> entry;
    try {
        entry = LoadMethodCommand(described);
    } catch (const Error& e) {
        throw SweepInputError(SweepInput::Methods, e.what());
    }
    return SweepMethodOf(MakeMethod(DefaultsOf(entry)), "the thresholds of " + described.filename().string());
}

PreparedSweep PrepareSweep(const SweepInputs& inputs) {
    PreparedSweep prepared;
    SweepPlan& plan = prepared.Plan;
    plan.Seeds = ParseSweepSeeds(inputs.Seeds);
    plan.Cells = ParseSweepAttacks(inputs.Attacks);
    plan.Methods = ParseSweepMethods(inputs.Methods.empty() && inputs.MoreMethods.empty() && inputs.TargetPsnr
                                         ? std::vector<std::string>{DefaultMethod().Name()}
                                         : inputs.Methods,
                                     inputs.TargetPsnr.has_value());
    if (!inputs.MoreMethods.empty()) {
        // The polarity method stays the default beside the methods given as objects.
        if (plan.Methods.empty()) {
            const MethodSpec fallback = DefaultMethod();
            plan.Methods.push_back({fallback.Name(), MakeMethod(fallback), {}, std::nullopt});
        }
        for (const SweepMethod& more : inputs.MoreMethods) {
            for (const SweepMethod& earlier : plan.Methods)
                if (earlier.Label == more.Label)
                    throw SweepInputError(SweepInput::Methods, "the method " + more.Label + " is listed twice");
            plan.Methods.push_back(more);
        }
    }
    plan.TargetPsnr = inputs.TargetPsnr;
    const NamedPicture mark = inputs.MarkPicture    ? *inputs.MarkPicture
                              : inputs.Mark.empty() ? BundledMark()
                                                    : LoadSweepMark(inputs.Mark);
    prepared.MarkName = mark.Name;
    plan.Mark = mark.Picture;
    // The thresholds of the mark: built in for the bundled seal, found beside a mark's file, none
    // for a mark given in memory unless a calibration is named.
    const auto markThresholds = [&inputs](const std::filesystem::path& calibration) -> FoundCalibration {
        if (inputs.MarkPicture) {
            if (calibration.empty()) return {};
            return FindSweepCalibration(calibration, {});
        }
        if (!inputs.Mark.empty()) return FindSweepCalibration(calibration, inputs.Mark);
        FoundCalibration bundled;
        bundled.Path = calibration;
        try {
            bundled.Thresholds = calibration.empty() ? DefaultCalibration() : LoadCalibration(calibration);
        } catch (const Error& e) {
            throw SweepInputError(SweepInput::Calibration, e.what());
        }
        return bundled;
    };
    prepared.Calibration = markThresholds(inputs.Calibration);
    if (prepared.Calibration.Thresholds && !prepared.Calibration.Thresholds->Method.empty()) {
        // A blind method's calibration judges that method's rows; the polarity method keeps the
        // thresholds of its mark.
        Calibration given = *prepared.Calibration.Thresholds;
        given.Source = prepared.Calibration.Path.string();
        const std::string name = given.Method.substr(0, given.Method.find(':'));
        bool used = false;
        for (SweepMethod& method : plan.Methods)
            if (method.Method->Name() == name) {
                method.Thresholds = given;
                used = true;
            }
        if (!used)
            throw SweepInputError(SweepInput::Calibration, "'" + prepared.Calibration.Path.string() + "' calibrates " +
                                                               given.Method + ", which this run does not compare");
        prepared.Calibration.Thresholds = markThresholds({}).Thresholds;
    }
    plan.Thresholds = prepared.Calibration.Thresholds;
    if (!inputs.Hosts.empty() || inputs.Pictures.empty()) {
        prepared.Hosts = FindHostPictures(inputs.Hosts);
        // A run of the polarity method alone reads the regions read while the hosts were
        // checked, and decodes no file again; a method that marks whole pictures reads each
        // file again when its rows come (a run over photographs keeps only a few in memory).
        bool whole = false;
        for (const SweepMethod& m : plan.Methods) whole = whole || m.Method->Capabilities().RegionSide == 0;
        for (const HostFile& file : prepared.Hosts) {
            if (whole) {
                const std::filesystem::path path = file.Path;
                plan.Hosts.push_back({RowHostName(file.Name), [path] { return LoadPictureFile(path).bitmap; }});
                continue;
            }
            const auto region = std::make_shared<const GrayPlane>(file.Region);
            plan.Hosts.push_back({RowHostName(file.Name), [region] {
                                      return Bitmap::fromGray(region->width(), region->height(), region->data());
                                  }});
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

PreparedCalibration PrepareCalibration(const CalibrationInputs& inputs) {
    PreparedCalibration prepared;
    if (inputs.MethodObject) {
        prepared.Method = inputs.MethodObject;
    } else {
        try {
            prepared.Method = MakeMethod(inputs.Method.empty() ? DefaultMethod() : ParseMethodSpec(inputs.Method));
        } catch (const ArgumentError& e) {
            throw SweepInputError(SweepInput::Methods, e.what());
        }
    }
    const bool markGiven = !inputs.Mark.empty() || inputs.MarkPicture;
    if (prepared.Method->Capabilities().UsesMark) {
        if (!markGiven)
            throw SweepInputError(SweepInput::Mark, "the " + prepared.Method->Name() + " method needs its mark picture");
        prepared.Mark = inputs.MarkPicture ? *inputs.MarkPicture : LoadSweepMark(inputs.Mark);
    } else if (markGiven) {
        throw SweepInputError(SweepInput::Mark, prepared.Method->Name() + " embeds payload bits, not a mark picture");
    }
    prepared.Seeds = ParseSweepSeeds(inputs.Seeds);
    prepared.Attacks = ParseSweepAttacks(inputs.Attacks);
    if (!inputs.Hosts.empty() || inputs.Pictures.empty()) prepared.Files = FindHostPictures(inputs.Hosts);
    // A method that marks whole pictures is calibrated on them, as a sweep gives them to it (each
    // file read again); the polarity method on the 256 x 256 region it reads, kept as it was
    // read when the hosts were checked.
    const bool whole = prepared.Method->Capabilities().RegionSide == 0;
    for (const HostFile& file : prepared.Files) {
        if (!whole) {
            prepared.Hosts.push_back(
                {file.Name, Bitmap::fromGray(file.Region.width(), file.Region.height(), file.Region.data())});
            continue;
        }
        try {
            prepared.Hosts.push_back({file.Name, LoadPictureFile(file.Path).bitmap});
        } catch (const Error& e) {
            throw SweepInputError(SweepInput::Hosts, e.what());
        }
    }
    for (const NamedPicture& host : inputs.Pictures) {
        CheckHostPicture(host.Name, host.Picture);
        if (whole) {
            prepared.Hosts.push_back(host);
            continue;
        }
        const GrayPlane gray = GrayOf(host.Picture);
        GrayPlane region(kHostSide, kHostSide);
        for (int y = 0; y < kHostSide; ++y)
            for (int x = 0; x < kHostSide; ++x) region.at(x, y) = gray.at(x, y);
        prepared.Hosts.push_back({host.Name, Bitmap::fromGray(kHostSide, kHostSide, region.data())});
    }
    prepared.Trials = NullTrialCount(prepared.Hosts.size(), prepared.Seeds.size(), prepared.Attacks.size(),
                                     prepared.Method->Capabilities().Blind);
    return prepared;
}

}  // namespace quillfen
