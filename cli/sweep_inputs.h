#pragma once
// What `calibrate` and `robustness` share on the command line: the sweep's inputs
// (watermark/sweep_inputs.h) with their refusals as exit codes, the run's files, and --jobs.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/cli_common.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/sweep_inputs.h"

namespace quillfen::cli {

// A refusal of an input as the command line says it: exit 2, naming the option ("--seeds: ...").
CommandFailure InputFailure(const SweepInputError& error);

// FindHostPictures, LoadSweepMark and ParseSweepSeeds with their refusals as CommandFailure.
std::vector<HostFile> FindHostPicturesOrFail(const std::vector<std::string>& arguments);
NamedPicture LoadMarkOrFail(const std::string& path);
std::vector<std::uint32_t> SeedsOrFail(const std::string& option, const std::string& text);

// The files of one run. Every output is checked against the run's inputs and its other
// outputs by the file it leads to (links followed, "./x" and "$PWD/x" the same name), so that
// no output replaces an input or another output (CommandFailure, exit 2, naming both).
class RunFiles {
public:
    // An input, as the messages call it ("the mark picture (--mark)").
    void Input(const std::string& what, const std::filesystem::path& path);
    // An output of `option`. Refused besides when its name is empty, its folder does not exist
    // or it is a folder.
    void Output(const std::string& option, const std::string& path);

private:
    struct Known {
        std::string What;
        std::filesystem::path Path;
        std::filesystem::path Resolved;
    };
    std::vector<Known> inputs_;
    std::vector<Known> outputs_;
};

// The --jobs check: a decimal number of threads, 1..1024.
CLI::Validator JobCount();
// The threads to run: `jobs` (0: every core), no more than the machine has (said once, in a
// note, when more were asked for).
int ThreadsToRun(int jobs);

// The memory this process may still take, when it can be told: the least of what its limits
// leave (address space, with what `threads` threads reserve there, and data), what its
// control group's limit leaves, and the system's available memory and free swap. `which`
// names the one that counts.
std::optional<std::uint64_t> AvailableMemory(std::string& which, int threads);

}  // namespace quillfen::cli
