#include "cli/sweep_inputs.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "cli/cli_common.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/picture_files.h"

namespace quillfen::cli {

namespace fs = std::filesystem;

std::vector<HostFile> FindHostPictures(const std::vector<std::string>& arguments) {
    std::vector<HostFile> hosts;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        if (!fs::is_directory(argument, ec)) {
            hosts.push_back({fs::path(argument).filename().string(), argument});
            continue;
        }
        std::vector<HostFile> found;
        fs::directory_iterator it(argument, ec);
        if (ec) throw CommandFailure{kExitUsage, "cannot read the folder '" + argument + "' (" + ec.message() + ")"};
        for (const fs::directory_entry& entry : it) {
            std::error_code typeError;
            if (entry.is_directory(typeError)) continue;
            if (FormatFromFileName(entry.path()) == PictureFormat::Unknown) continue;
            found.push_back({entry.path().filename().string(), entry.path()});
        }
        if (found.empty())
            throw CommandFailure{kExitUsage, "the folder '" + argument +
                                                 "' holds no picture (.pgm, .bmp, .png, .jpg, .jpeg)"};
        hosts.insert(hosts.end(), found.begin(), found.end());
    }
    std::sort(hosts.begin(), hosts.end(), [](const HostFile& a, const HostFile& b) { return a.Name < b.Name; });
    for (std::size_t i = 1; i < hosts.size(); ++i)
        if (hosts[i].Name == hosts[i - 1].Name)
            throw CommandFailure{kExitUsage, "two host pictures have the file name '" + hosts[i].Name + "' ('" +
                                                 hosts[i - 1].Path.string() + "', '" + hosts[i].Path.string() +
                                                 "'): rows name a host by its file name"};
    // Read each once now: a host that cannot be read is refused before any work.
    for (const HostFile& host : hosts) LoadPictureOrFail(host.Path.string());
    return hosts;
}

NamedPicture LoadMarkOrFail(const std::string& path) {
    NamedPicture mark{fs::path(path).filename().string(), LoadPictureOrFail(path).bitmap};
    if (MarkComparedBlackPixels(mark.Picture) == 0)
        throw CommandFailure{kExitUsage, "--mark: '" + path +
                                             "' has no black pixel (below 128) in rows and columns 4..127 of its "
                                             "128 x 128 part, where NC compares: no mark to look for"};
    return mark;
}

std::vector<std::uint32_t> SeedsOrFail(const std::string& option, const std::string& text) {
    try {
        return ParseSeedList(text);
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, option + ": " + e.what()};
    }
}

void CheckOutputFile(const std::string& option, const std::string& path) {
    std::error_code ec;
    if (path.empty()) throw CommandFailure{kExitUsage, option + ": an empty file name"};
    if (fs::is_directory(path, ec)) throw CommandFailure{kExitUsage, option + ": '" + path + "' is a folder"};
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec))
        throw CommandFailure{kExitUsage, option + ": the folder of '" + path + "' does not exist"};
}

CLI::Validator JobCount() { return DecimalNumber(1, 1024); }

}  // namespace quillfen::cli
