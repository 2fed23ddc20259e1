#include "cli/sweep_inputs.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <system_error>

#include "cli/commands.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/errors.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/picture_files.h"

namespace quillfen::cli {

namespace fs = std::filesystem;

CommandFailure InputFailure(const SweepInputError& error) {
    const char* option = "";
    switch (error.Input) {
    case SweepInput::Hosts: option = ""; break;
    case SweepInput::Mark: option = "--mark: "; break;
    case SweepInput::Seeds: option = "--seeds: "; break;
    case SweepInput::Attacks: option = "--attacks: "; break;
    case SweepInput::Calibration: option = "--calibration: "; break;
    case SweepInput::Methods: option = "--method: "; break;
    }
    return CommandFailure{kExitUsage, option + std::string(error.what())};
}

std::vector<HostFile> FindHostPicturesOrFail(const std::vector<std::string>& arguments) {
    try {
        return FindHostPictures(std::vector<fs::path>(arguments.begin(), arguments.end()));
    } catch (const SweepInputError& e) {
        throw InputFailure(e);
    }
}

NamedPicture LoadMarkOrFail(const std::string& path) {
    try {
        return LoadSweepMark(path);
    } catch (const SweepInputError& e) {
        throw InputFailure(e);
    }
}

std::vector<std::uint32_t> SeedsOrFail(const std::string& option, const std::string& text) {
    try {
        return ParseSeedList(text);
    } catch (const ArgumentError& e) {
        throw CommandFailure{kExitUsage, option + ": " + e.what()};
    }
}

namespace {

// The file a name leads to, for comparing names; the name itself when it cannot be resolved
// (its folder does not exist: refused elsewhere).
fs::path Resolved(const fs::path& path) {
    try {
        return ResolvedFileName(path);
    } catch (const Error&) {
        return path;
    }
}

// One existing file under two names (hard links), or one resolved name.
bool Same(const fs::path& a, const fs::path& resolvedA, const fs::path& b, const fs::path& resolvedB) {
    if (resolvedA == resolvedB) return true;
    struct stat x {}, y {};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

}  // namespace

void RunFiles::Input(const std::string& what, const fs::path& path) {
    inputs_.push_back({what, path, Resolved(path)});
}

void RunFiles::Output(const std::string& option, const std::string& path) {
    std::error_code ec;
    if (path.empty())
        throw CommandFailure{kExitUsage, option + ": an empty file name (leave " + option +
                                             " out to have nothing written there)"};
    if (fs::is_directory(path, ec)) throw CommandFailure{kExitUsage, option + ": '" + path + "' is a folder"};
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec))
        throw CommandFailure{kExitUsage, option + ": the folder of '" + path + "' does not exist"};
    const fs::path resolved = Resolved(path);
    for (const Known& input : inputs_)
        if (Same(path, resolved, input.Path, input.Resolved))
            throw CommandFailure{kExitUsage, option + ": '" + path + "' is " + input.What +
                                                 "; it would be overwritten (choose another name)"};
    for (const Known& output : outputs_)
        if (Same(path, resolved, output.Path, output.Resolved))
            throw CommandFailure{kExitUsage, option + ": '" + path + "' is also " + output.What + "'s file"};
    outputs_.push_back({option, path, resolved});
}

CLI::Validator JobCount() { return DecimalNumber(1, 1024); }

int ThreadsToRun(int jobs) {
    const int cores = AvailableThreads();
    if (jobs > cores) {
        PrintErrorLine("note: --jobs " + std::to_string(jobs) + " is more than the " + std::to_string(cores) +
                       " threads this machine can run at once; running " + std::to_string(cores));
        return cores;
    }
    return jobs;
}

namespace {

// A number from the first line of a text file, if it holds one ("max" does not).
std::optional<std::uint64_t> NumberIn(const std::string& path) {
    std::ifstream in(path);
    std::uint64_t value = 0;
    if (in >> value) return value;
    return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> AvailableMemory(std::string& which, int threads) {
    std::optional<std::uint64_t> least;
    auto consider = [&](std::uint64_t left, const std::string& name) {
        if (!least || left < *least) {
            least = left;
            which = name;
        }
    };
    const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    std::uint64_t size = 0, resident = 0, shared = 0, text = 0, library = 0, data = 0;
    {
        std::ifstream statm("/proc/self/statm");
        statm >> size >> resident >> shared >> text >> library >> data;
    }
    // Each thread reserves its stack and, through the C library's allocator, an arena of
    // address space: they count against an address-space limit though little of them is used.
    const std::uint64_t perThread = std::uint64_t{72} << 20;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const std::uint64_t used = size * page + static_cast<std::uint64_t>(std::max(threads, 1)) * perThread;
        consider(limit.rlim_cur > used ? limit.rlim_cur - used : 0, "the process's address-space limit, ulimit -v");
    }
    if (::getrlimit(RLIMIT_DATA, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const std::uint64_t used = data * page;
        consider(limit.rlim_cur > used ? limit.rlim_cur - used : 0, "the process's data limit, ulimit -d");
    }
    // The control group of this process (cgroup v2: one line "0::/path").
    {
        std::ifstream cgroup("/proc/self/cgroup");
        std::string line;
        while (std::getline(cgroup, line)) {
            if (line.rfind("0::", 0) != 0) continue;
            const std::string folder = "/sys/fs/cgroup" + line.substr(3);
            const std::optional<std::uint64_t> max = NumberIn(folder + "/memory.max");
            const std::optional<std::uint64_t> current = NumberIn(folder + "/memory.current");
            if (max && current) consider(*max > *current ? *max - *current : 0, "the control group's memory limit");
        }
    }
    {
        std::ifstream meminfo("/proc/meminfo");
        std::string key;
        std::uint64_t kilobytes = 0;
        std::string unit;
        std::optional<std::uint64_t> available, swap;
        while (meminfo >> key >> kilobytes) {
            std::getline(meminfo, unit);
            if (key == "MemAvailable:") available = kilobytes * 1024;
            if (key == "SwapFree:") swap = kilobytes * 1024;
        }
        if (available) consider(*available + swap.value_or(0), "the system's available memory and swap");
    }
    return least;
}

}  // namespace quillfen::cli
