#pragma once
// The inputs of a robustness sweep as a user names them (host pictures and folders of them,
// the watermark, the seeds, attack lists, the calibration), read and checked into a
// SweepPlan. The command line's `robustness` and `calibrate` and the desktop's robustness
// window all read them here, so that they take the same inputs and refuse the same ones.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/gray_plane.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Which input a refusal is about, so that each front end can name it its own way ("--seeds",
// "Seeds").
enum class SweepInput { Hosts, Mark, Seeds, Attacks, Calibration, Methods };

class SweepInputError : public ArgumentError {
public:
    SweepInputError(SweepInput input, const std::string& what) : ArgumentError(what), Input(input) {}
    SweepInput Input;
};

struct HostFile {
    std::string Name;  // the file name (bytes as they are)
    std::filesystem::path Path;
    std::string Digest;  // HostDigest of its picture when it was read
    std::string WholeDigest;  // WholeHostDigest of it (the digest of the rows of whole-picture methods)
    int Width = 0;  // its size
    int Height = 0;
    // The part of the picture the polarity method reads, as it was read: the top-left
    // 256 x 256 (the gray of each pixel, its blue byte). A run of that method alone marks this,
    // so that no host file is decoded twice; methods that mark whole pictures read the file
    // again when its rows are computed.
    GrayPlane Region;
};

// Each argument is a picture file or a folder; a folder gives every file in it (not in its
// subfolders) whose extension names a picture format. Every picture is read once here, so
// that one that cannot be read is refused before any work, as is a picture smaller than
// 256 x 256 (the method marks a 256 x 256 region and never pads a host), a folder without
// pictures, or two pictures whose names would be one in the rows. Sorted by file name,
// byte-wise. SweepInputError (Hosts) for each refusal.
std::vector<HostFile> FindHostPictures(const std::vector<std::filesystem::path>& arguments);

// The watermark picture under its file name; SweepInputError (Mark) when it cannot be read,
// or when it has no black pixel where NC compares (every measure would be void).
NamedPicture LoadSweepMark(const std::filesystem::path& path);

// ParseSeedList; SweepInputError (Seeds).
std::vector<std::uint32_t> ParseSweepSeeds(const std::string& text);

// The cells of the attack lists, joined with commas; the default grid when there is none.
// SweepInputError (Attacks).
std::vector<AttackCell> ParseSweepAttacks(const std::vector<std::string>& lists);

// The calibration named, or else the watermark's "<name>.calibration.json" beside it when
// there is one. SweepInputError (Calibration) when the file cannot be read or is not a
// calibration.
struct FoundCalibration {
    std::optional<Calibration> Thresholds;
    std::filesystem::path Path;    // the file read; empty when none
    std::filesystem::path Beside;  // where one was looked for beside the watermark
};
FoundCalibration FindSweepCalibration(const std::filesystem::path& given, const std::filesystem::path& mark);

// A host picture's size against the one rule of every front end: at least 256 x 256 (the
// polarity method marks the top-left 256 x 256 region, the others refuse smaller pictures, and
// a host is never padded). SweepInputError (Hosts) naming `name`.
void CheckHostPicture(const std::string& name, const Bitmap& picture);

struct SweepInputs {
    std::vector<std::filesystem::path> Hosts;  // files and folders
    // Hosts given as pictures in memory (the desktop's active document, a caller's arrays),
    // after those of Hosts, in this order.
    std::vector<NamedPicture> Pictures;
    // Empty: the bundled seal (BundledMark), judged by the built-in thresholds unless a
    // calibration is given.
    std::filesystem::path Mark;
    // The watermark given as a picture in memory, in place of Mark (no calibration is then
    // looked for beside it).
    std::optional<NamedPicture> MarkPicture;
    // The methods to compare, as method lists name them ("qim:bits=32"; method.h), in order; none,
    // or the polarity method alone: the polarity method, rows without method fields.
    std::vector<std::string> Methods;
    // Methods given as objects (external methods, method_command.h), after those of Methods.
    std::vector<SweepMethod> MoreMethods;
    // Each method with a strength parameter marks each host at this embedding PSNR (dB).
    std::optional<double> TargetPsnr;
    std::string Seeds = "1..20";
    std::vector<std::string> Attacks;          // attack lists; none: the default grid
    std::filesystem::path Calibration;         // empty: the one beside the watermark, if any
    Shard Part;
    int Jobs = 0;
    bool Register = false;
};

// The plan of a sweep and what it was read from.
struct PreparedSweep {
    SweepPlan Plan;
    std::vector<HostFile> Hosts;
    std::string MarkName;
    FoundCalibration Calibration;
};

// The bundled seal (samples/seal-128.pgm, built into the library), named "seal-128.pgm".
NamedPicture BundledMark();

// The methods of a sweep from their texts (SweepInputError (Methods) for an unknown method, a
// bad parameter or a method listed twice): the polarity method without an object, the others
// with their built-in thresholds; under a target PSNR each label leaves out the strength, which
// the target sets. None for a list that is empty or the polarity method alone.
std::vector<SweepMethod> ParseSweepMethods(const std::vector<std::string>& texts, bool targetPsnr);

// A method run as programs (method_command.h) from its JSON file, under its name, judged by the
// thresholds the file gives (none: its rows carry no verdict). SweepInputError (Methods) naming
// the file when it cannot be read or is not such a description.
SweepMethod CommandSweepMethod(const std::filesystem::path& described);

// Reads every input (SweepInputError as above) and checks the plan (CheckSweepPlan's
// ArgumentError). Each host is read again when its rows are computed.
PreparedSweep PrepareSweep(const SweepInputs& inputs);

// The inputs of a calibration as a user names them; `calibrate` and Python's calibrate() read
// them here.
struct CalibrationInputs {
    std::vector<std::filesystem::path> Hosts;  // files and folders
    std::vector<NamedPicture> Pictures;        // hosts in memory, after those of Hosts
    // The method, as a method list names it ("" for the default, the polarity method), or an
    // object (a Python object's method), which takes its place.
    std::string Method;
    std::shared_ptr<const WatermarkMethod> MethodObject;
    // The mark of a method that embeds one: a file, or a picture in memory in its place.
    std::filesystem::path Mark;
    std::optional<NamedPicture> MarkPicture;
    std::string Seeds = "1..10";
    std::vector<std::string> Attacks;  // attack lists; none: the default grid
};

struct PreparedCalibration {
    std::vector<HostFile> Files;       // the host files, as read
    // Every host as the method reads it, in order: whole for a method that marks whole pictures,
    // else its 256 x 256 gray region.
    std::vector<NamedPicture> Hosts;
    std::shared_ptr<const WatermarkMethod> Method;
    std::optional<NamedPicture> Mark;  // for a method that embeds one
    std::vector<std::uint32_t> Seeds;
    std::vector<AttackCell> Attacks;
    std::uint64_t Trials = 0;          // NullTrialCount
};

// Reads and checks every input: SweepInputError (Methods) for an unknown method, (Mark) for a
// mark missing where the method embeds one or given where it embeds none, and as the sweep's
// inputs for the rest. Only the region the method reads is kept of each host.
PreparedCalibration PrepareCalibration(const CalibrationInputs& inputs);

}  // namespace quillfen
QUILLFEN_API_END
