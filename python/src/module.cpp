// quillfen._quillfen: the engine for Python. Every function converts its arguments with the
// interpreter's lock held, runs the engine with the lock released (numpy arrays are read in
// place, kept alive by the call), and builds its results with the lock held again. Errors of
// the library become quillfen.Error (a ValueError) or, for files that cannot be opened, read
// or written, quillfen.FileError (an OSError), with the library's own one-line message.
// The package's Python part (quillfen/__init__.py) adds the verdict's class, the sweeps'
// executors, the toolbox's functions and the data frame of rows.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>
#include <pybind11/eval.h>
#include <pybind11/operators.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "arrays.h"
#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/key_calibration.h"
#include "quillfen/image/detail/suggestions.h"
#include "quillfen/benchmark/robustness.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/image_view.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/methods/extraction.h"
#include "quillfen/methods/method.h"
#include "quillfen/toolbox/catalogue.h"
#include "quillfen/watermark/detection_thresholds.h"
#include "quillfen/watermark/experiment_outcome.h"
#include "quillfen/watermark/mark_key.h"
#include "quillfen/watermark/method_key.h"
#include "quillfen/watermark/marking.h"
#include "quillfen/watermark/metrics.h"
#include "methods.h"
#include "sweeps.h"

namespace quillfen::python {

namespace {

namespace fs = std::filesystem;

py::object Optional(const std::optional<double>& value) {
    return value && std::isfinite(*value) ? py::float_(*value) : py::object(py::none());
}

// ---- Pictures ----

// A colour picture's gray is its luminance, as image libraries give it and the blind methods
// mark it; channel="blue" gives the laboratory's gray (the blue byte), which the polarity
// method and the toolbox read.
py::array ReadPicture(const fs::path& path, bool gray, const std::optional<std::string>& channel) {
    if (channel && *channel != "blue" && *channel != "luminance")
        throw ArgumentError("channel is 'luminance' or 'blue', not '" + *channel + "'");
    LoadedPicture loaded;
    {
        py::gil_scoped_release release;
        loaded = LoadPictureFile(path);
    }
    if (channel && *channel == "blue") return ArrayOf(loaded.bitmap, true);
    if (!gray && !channel && !loaded.eightBit) return ArrayOf(loaded.bitmap, false);
    if (loaded.eightBit) return ArrayOf(loaded.bitmap, true);
    GrayPlane luma;
    {
        py::gil_scoped_release release;
        luma = LuminanceOf(loaded.bitmap);
    }
    return ArrayOf(std::move(luma));
}

void WritePicture(const fs::path& path, const py::handle& array) {
    const Picture picture = PictureOf(array, "picture");
    if (picture.channels == 1) {
        py::gil_scoped_release release;
        SaveGrayPicture(path, picture.view);
        return;
    }
    const Bitmap bitmap = BitmapOf(picture);
    py::gil_scoped_release release;
    SavePictureFile(path, bitmap, false);
}

// ---- Keys ----

std::vector<std::uint8_t> BytesOf(const py::bytes& bytes) {
    const std::string text = bytes;
    return {text.begin(), text.end()};
}

// A key of the registry's methods; the key of a method this program does not have (a Python
// object's) is read as its envelope, which the object's own method reads.
MethodKey ReadKey(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    if (HoldsMethodRecord(bytes)) {
        MethodKey envelope = DecodeMethodKey(bytes, name);
        if (MethodRegistry::BuiltIn().Find(envelope.Method) == nullptr) return envelope;
    }
    return MethodRegistry::BuiltIn().ReadKey(bytes, name);
}

MethodKey KeyFromBytes(const py::bytes& bytes) { return ReadKey(BytesOf(bytes), "the key's bytes"); }

std::vector<std::uint8_t> KeyFileBytes(const MethodKey& key) {
    // A key of a method the registry does not have holds all it needs in its envelope.
    if (MethodRegistry::BuiltIn().Find(key.Method) == nullptr) return EncodeMethodKey(key);
    return MethodRegistry::BuiltIn().KeyBytes(key);
}

// The mark picture a key holds: a method that embeds one writes keys of formats 1 and 2.
py::object KeyMark(const MethodKey& key) {
    const auto entry = MethodRegistry::BuiltIn().Find(key.Method);
    if (entry == nullptr || !entry->Capabilities.UsesMark)
        throw ArgumentError("the key is one of " + key.Method + ", which holds no mark picture");
    const MarkKey markKey = DecodeMarkKey(KeyFileBytes(key), "the key");
    return ArrayOf(std::vector<std::uint8_t>(markKey.Extraction.W), TWatermark::kMarkSize, TWatermark::kMarkSize);
}

// A suspect read as it is must hold all that the key marked: in a smaller one the missing part
// would be read as padding.
void RefuseSmallSuspect(const GrayView& suspect, const MarkedArea& area) {
    if (suspect.width >= area.Width && suspect.height >= area.Height) return;
    throw ArgumentError("suspect: " + std::to_string(suspect.width) + " x " + std::to_string(suspect.height) +
                        " pixels, smaller than the " + std::to_string(area.Width) + " x " + std::to_string(area.Height) +
                        " " + area.What +
                        " the key marked: too little to read as it is (give host= to register a resized or cropped "
                        "copy)");
}

py::object BitList(const std::vector<std::uint8_t>& bits) {
    py::list list;
    for (const std::uint8_t bit : bits) list.append(static_cast<int>(bit));
    return list;
}

// ---- Embedding and extraction ----

std::unique_ptr<WatermarkMethod> MethodOf(const std::string& text) {
    try {
        return MakeMethod(text.empty() ? DefaultMethod() : ParseMethodSpec(text));
    } catch (const ArgumentError& e) {
        throw ArgumentError(std::string("method: ") + e.what());
    }
}

// The payload of a payload method, as quillfen-cli embed --payload takes it or in Python's
// forms: none (drawn from the seed), hexadecimal text, a whole number (first bit highest), or
// a sequence of bits.
std::vector<std::uint8_t> PayloadOf(const WatermarkMethod& chosen, const py::handle& given, std::uint32_t seed) {
    const int bits = chosen.PayloadBits();
    const std::string wrong = "payload: " + chosen.Name() + " embeds " + std::to_string(bits) +
                              " bits (its parameter bits): give a whole number 0..2^" + std::to_string(bits) +
                              "-1, " + std::to_string(bits) + " bits 0 and 1, or their hexadecimal digits";
    std::vector<std::uint8_t> payload;
    if (given.is_none()) return PayloadFromSeed(seed, bits);
    if (py::isinstance<py::str>(given)) return ParsePayloadHex(given.cast<std::string>(), bits);
    if (py::isinstance<py::int_>(given) && !py::isinstance<py::bool_>(given)) {
        const py::int_ number = py::reinterpret_borrow<py::int_>(given);
        if (number < py::int_(0) || number.attr("bit_length")().cast<int>() > bits) throw ArgumentError(wrong);
        const std::uint64_t value = number.cast<std::uint64_t>();
        for (int b = bits - 1; b >= 0; --b) payload.push_back(static_cast<std::uint8_t>((value >> b) & 1U));
        return payload;
    }
    if (!py::isinstance<py::sequence>(given) && !py::isinstance<py::array>(given)) throw ArgumentError(wrong);
    for (const py::handle bit : given) {
        if (py::isinstance<py::float_>(bit) || py::isinstance<py::str>(bit)) throw ArgumentError(wrong);
        py::int_ value;
        try {
            value = py::int_(py::reinterpret_borrow<py::object>(bit));
        } catch (const py::error_already_set&) {
            throw ArgumentError(wrong);
        }
        if (!value.equal(py::int_(0)) && !value.equal(py::int_(1))) throw ArgumentError(wrong);
        payload.push_back(static_cast<std::uint8_t>(value.equal(py::int_(1)) ? 1 : 0));
    }
    if (payload.size() != static_cast<std::size_t>(bits)) throw ArgumentError(wrong);
    return payload;
}

// embed(), as quillfen-cli embed: a mark picture for a method that embeds one, else the payload;
// the strength the target PSNR sets, when one is given; the key's own calibration where the
// method's keys measure one. The marked picture has the caller's shape.
py::tuple Embed(const py::handle& hostArray, const py::handle& markOrPayload, std::optional<std::uint32_t> seedGiven,
                std::optional<std::int64_t> trialsGiven, int jobs, const std::string& methodText,
                std::optional<double> target) {
    const std::unique_ptr<WatermarkMethod> chosen = MethodOf(methodText);
    const MethodCapabilities& can = chosen->Capabilities();
    const Picture host = PictureOf(hostArray, "host");
    // None: the key's own calibration where the method's keys measure one, with the default trials.
    const std::int64_t calibrationTrials = trialsGiven ? *trialsGiven : can.CalibratesKeys ? kDefaultKeyTrials : 0;
    if (calibrationTrials > 0 && !can.CalibratesKeys)
        throw ArgumentError("calibration_trials: " + chosen->Name() +
                            " is blind; its keys carry no calibration of their own (give 0)");
    if (calibrationTrials != 0 && (calibrationTrials < kFewestKeyTrials || calibrationTrials > kMaxKeyTrials))
        throw ArgumentError("calibration_trials: " + std::to_string(calibrationTrials) +
                            " is not 0 (no calibration of the key's own) or " + std::to_string(kFewestKeyTrials) + ".." +
                            std::to_string(kMaxKeyTrials));
    if (target && chosen->StrengthParameter() == nullptr)
        throw ArgumentError("target_psnr: the " + chosen->Name() + " method has no strength parameter");
    const std::uint32_t seed = seedGiven ? *seedGiven : TWatermark::ClockSeed();
    MethodPayload payload;
    if (can.UsesMark) {
        if (markOrPayload.is_none())
            throw ArgumentError("mark: the " + chosen->Name() + " method embeds a mark picture; give one");
        payload.Mark = BitmapOf(PictureOf(markOrPayload, "mark"));
    } else {
        payload.Bits = PayloadOf(*chosen, markOrPayload, seed);
    }
    MethodMarked marked;
    {
        py::gil_scoped_release release;
        std::unique_ptr<WatermarkMethod> method;
        if (target) {
            MarkedAtPsnr found = MarkAtPsnr(*chosen, host.picture, payload, seed, *target);
            method = std::move(found.Method);
            marked = std::move(found.Marked);
        } else {
            method = chosen->With(chosen->Describe());
            marked = method->Embed(host.picture, payload, seed);
        }
        KeyCalibrationOptions options;
        options.Trials = static_cast<std::uint32_t>(calibrationTrials);
        options.Jobs = jobs;
        CalibrateMarkedKey(*method, marked, host.picture, options);
    }
    return py::make_tuple(LikeCaller(host, marked.Picture), std::move(marked.Key));
}

// The calibration given: a Calibration, a file, or none.
std::optional<Calibration> CalibrationGiven(const py::handle& given) {
    if (given.is_none()) return std::nullopt;
    if (py::isinstance<Calibration>(given)) return given.cast<Calibration>();
    const fs::path path = given.cast<fs::path>();
    py::gil_scoped_release release;
    Calibration read = LoadCalibration(path);
    read.Source = path.string();
    return read;
}

py::dict TransformOf(const Registration& registered) {
    const SimilarityTransform& t = registered.Transform;
    py::dict transform;
    transform["rotation_degrees"] = t.RotationDegrees;
    transform["scale"] = t.Scale;
    transform["shift_x"] = t.ShiftX;
    transform["shift_y"] = t.ShiftY;
    transform["fit"] = registered.Fit;
    transform["identity"] = registered.Identity;
    return transform;
}

// extract(): the fields of quillfen-cli extract --json by the same names (detected_1e-3:
// detected_1e3), those a method's kind has not set to None.
py::dict Extract(const py::handle& suspectArray, const MethodKey& key, const py::handle& hostArray,
                 const py::handle& calibrationGiven) {
    const std::optional<Calibration> given = CalibrationGiven(calibrationGiven);
    std::unique_ptr<WatermarkMethod> method;
    try {
        method = MakeMethod(MethodRegistry::BuiltIn().SpecOf(key));
    } catch (const ArgumentError& e) {
        throw ArgumentError(std::string("the key names a method this program cannot read (") + e.what() + ")");
    }
    if (given) {
        // A method's thresholds judge that method's keys only; one without a method is a mark's.
        const std::string made =
            given->Method.empty() ? DefaultMethod().Method() : given->Method.substr(0, given->Method.find(':'));
        if (made != key.Method)
            throw ArgumentError("calibration: '" + given->Source + "' calibrates " + made + ", the key is one of " +
                                key.Method);
    }
    const Picture suspect = PictureOf(suspectArray, "suspect");
    std::optional<Picture> host;
    if (!hostArray.is_none()) host = PictureOf(hostArray, "host");
    if (!host) RefuseSmallSuspect(suspect.view, MarkedAreaOf(*method, key));
    Extraction x;
    {
        py::gil_scoped_release release;
        ExtractOptions options;
        if (host) options.Host = &host->picture;
        if (given) options.Given = &*given;
        x = quillfen::Extract(*method, key, suspect.picture, options);
    }
    const MethodCapabilities& can = x.Capabilities;
    const auto whose = [](bool own) { return own ? "key" : "global"; };
    const MethodReading& reading = x.Reading;
    py::dict result;
    result["present"] = x.Judged.Present;
    result["score"] = x.Judged.Score;
    const bool spread = x.Judged.Units == Statistic::Spread;
    py::dict levels;
    // Of z, the thresholds in score units are this suspect's (its chance spread times z's).
    levels["1e-3"] = spread ? x.Judged.Threshold1e3 : x.Thresholds.At1e3;
    levels["1e-6"] = spread ? x.Judged.Threshold : x.Thresholds.At1e6;
    result["thresholds"] = levels;
    if (spread) {
        py::dict inZ;
        inZ["1e-3"] = x.Thresholds.At1e3;
        inZ["1e-6"] = x.Thresholds.At1e6;
        result["thresholds_z"] = inZ;
        result["z"] = x.Judged.Z;
        result["inverted"] = x.Judged.Inverted;
    } else {
        result["thresholds_z"] = py::none();
        result["z"] = py::none();
        result["inverted"] = py::none();
    }
    if (can.CalibratesKeys) {
        py::dict sources;
        sources["1e-3"] = whose(x.Thresholds.KeySets1e3);
        sources["1e-6"] = whose(x.Thresholds.KeySets1e6);
        result["threshold_sources"] = sources;
    } else {
        result["threshold_sources"] = py::none();
    }
    result["detected_1e3"] = x.Judged.Detected1e3;
    result["threshold"] = x.Judged.Threshold;
    result["false_alarm_rate"] = x.Judged.FalseAlarmRate;
    result["calibration"] = can.CalibratesKeys ? std::string(whose(x.Thresholds.OwnCalibration)) : x.GlobalSource;
    result["global_calibration"] = can.CalibratesKeys ? py::object(py::str(x.GlobalSource)) : py::object(py::none());
    result["nc"] = can.UsesMark ? Optional(reading.Nc) : py::object(py::none());
    result["ber"] = reading.Ber.value_or(0.0);
    if (reading.Relations) {
        result["identical"] = reading.Identical;
        py::dict relations;
        relations["reversed"] = reading.Relations->Reversed;
        relations["reversed_seen"] = reading.Relations->ReversedSeen;
        relations["untouched"] = reading.Relations->Untouched;
        relations["untouched_reversed"] = reading.Relations->UntouchedReversed;
        result["relations"] = relations;
    } else {
        result["identical"] = py::none();
        result["relations"] = py::none();
    }
    result["transform"] = x.Registered ? py::object(TransformOf(*x.Registered)) : py::object(py::none());
    result["read_as_is"] = x.ReadAsIs;
    if (reading.Found) {
        const FoundGeometry& f = *reading.Found;
        py::dict found;
        found["rotation_degrees"] = f.RotationDegrees;
        found["scale_x"] = f.ScaleX;
        found["scale_y"] = f.ScaleY;
        found["shear"] = f.Shear;
        found["shift_x"] = f.ShiftX;
        found["shift_y"] = f.ShiftY;
        found["peak"] = f.Peak;
        found["false_alarm"] = f.FalseAlarm;
        result["found"] = found;
    } else {
        result["found"] = py::none();
    }
    result["mark"] = reading.Mark.empty() ? py::object(py::none()) : py::object(ArrayOf(reading.Mark));
    result["method"] = key.Method;
    result["method_params"] = method->Parameters();
    result["payload"] = can.PayloadBits > 0 ? BitList(key.Payload) : py::object(py::none());
    result["bits"] = can.PayloadBits > 0 ? BitList(reading.Bits) : py::object(py::none());
    result["bit_accuracy"] = Optional(reading.BitAccuracy);
    result["payload_match"] = x.PayloadMatch ? py::object(py::bool_(*x.PayloadMatch)) : py::object(py::none());
    // A coded payload's: the message decoded, the carried bits corrected, the message right.
    const bool coded = !reading.Message.empty();
    result["message"] = coded ? BitList(reading.Message) : py::object(py::none());
    result["corrected"] = coded && reading.Corrected ? py::object(py::int_(*reading.Corrected)) : py::object(py::none());
    result["message_ok"] = coded ? py::object(py::bool_(x.PayloadMatch.value_or(false))) : py::object(py::none());
    return result;
}

// ---- Methods ----

py::list Methods() {
    py::list catalogue;
    for (const auto& entry : MethodRegistry::BuiltIn().Entries()) {
        const MethodInfo& info = *entry;
        py::list parameters;
        for (const Parameter& p : info.Parameters) {
            py::dict parameter;
            parameter["name"] = p.Name;
            parameter["lowest"] = p.Lowest;
            parameter["highest"] = p.Highest;
            parameter["whole"] = p.Whole;
            parameter["default"] = p.Default ? py::object(py::float_(*p.Default)) : py::object(py::none());
            parameter["meaning"] = p.Meaning;
            parameters.append(parameter);
        }
        py::dict method;
        method["name"] = info.Name;
        method["summary"] = info.Summary;
        method["blind"] = info.Capabilities.Blind;
        method["payload_bits"] = info.Capabilities.PayloadBits;
        method["strength"] = info.Capabilities.Strength.empty() ? py::object(py::none())
                                                                : py::object(py::str(info.Capabilities.Strength));
        method["uses_mark"] = info.Capabilities.UsesMark;
        py::dict thresholds;
        thresholds["1e-3"] = info.Thresholds ? py::object(py::float_(info.Thresholds->first)) : py::object(py::none());
        thresholds["1e-6"] = info.Thresholds ? py::object(py::float_(info.Thresholds->second)) : py::object(py::none());
        method["thresholds"] = thresholds;
        method["parameters"] = parameters;
        catalogue.append(method);
    }
    return catalogue;
}

// ---- Attacks ----

py::array Attack(const py::handle& pictureArray, const std::string& list, std::uint64_t seed,
                 const py::handle& hostArray) {
    const Picture picture = PictureOf(pictureArray, "picture");
    std::optional<Picture> host;
    if (!hostArray.is_none()) host = PictureOf(hostArray, "host");
    GrayPlane attacked;
    {
        py::gil_scoped_release release;
        const std::vector<AttackCell> cells = ParseAttackCells(list);
        if (cells.size() != 1)
            throw ArgumentError("'" + list + "' names " + std::to_string(cells.size()) +
                                " cells; attack() applies one (a combination is written with '+')");
        attacked = ApplyAttackCell(cells.front(), picture.view, seed, host ? host->view : GrayView());
    }
    return ArrayOf(std::move(attacked));
}

py::list Attacks() {
    py::list catalogue;
    for (const AttackInfo& info : AttackCatalogue()) {
        py::list parameters;
        for (const AttackParameter& p : info.Parameters) {
            py::dict parameter;
            parameter["name"] = p.Name;
            parameter["lowest"] = p.Lowest;
            parameter["highest"] = p.Highest;
            parameter["whole"] = p.Whole;
            parameter["odd"] = p.Odd;
            parameter["default"] = p.Default ? py::object(py::float_(*p.Default)) : py::object(py::none());
            parameter["accepted"] = AcceptedValues(p);
            parameter["meaning"] = p.Meaning;
            parameters.append(parameter);
        }
        py::dict attack;
        attack["name"] = info.Name;
        attack["summary"] = info.Summary;
        attack["seeded"] = info.Seeded;
        attack["group"] = AttackGroupName(info.Group);
        attack["parameters"] = parameters;
        catalogue.append(attack);
    }
    return catalogue;
}

// ---- Measures ----

template <class Measure>
auto Measured(const py::handle& a, const py::handle& b, const char* first, const char* second, Measure measure) {
    const Picture x = PictureOf(a, first);
    const Picture y = PictureOf(b, second);
    py::gil_scoped_release release;
    return measure(x.view, y.view);
}

// ---- The experiment ----

std::string ExperimentJsonOf(const py::handle& hostArray, const py::handle& markArray, std::optional<std::uint32_t> seed,
                       const std::vector<std::string>& attackNames) {
    std::vector<Step> attacks;
    for (const std::string& name : attackNames) {
        const std::optional<Step> step = Experiment::Find(name);
        if (!step || Experiment::Info(*step).kind != StepKind::Attack)
            throw ArgumentError("'" + name + "' is not an attack of the experiment (none, jpeg, blur, "
                                "crop-zero-quarter, crop-image-quarter, crop-zero-half, crop-image-half)");
        if (std::find(attacks.begin(), attacks.end(), *step) == attacks.end()) attacks.push_back(*step);
    }
    Bitmap host = BitmapOf(PictureOf(hostArray, "host"));
    Bitmap mark = BitmapOf(PictureOf(markArray, "mark"));
    py::gil_scoped_release release;
    return ExperimentJson(RunExperiment(std::move(host), std::move(mark), seed, attacks));
}

// ---- The toolbox ----

py::list ToolboxOperations() {
    py::list operations;
    for (const toolbox::Operation& op : toolbox::Operations()) {
        py::list arguments;
        for (const toolbox::Argument& a : op.arguments) {
            py::dict argument;
            argument["option"] = a.option;
            argument["help"] = a.help;
            argument["initial"] = a.initial;
            arguments.append(argument);
        }
        py::dict operation;
        operation["group"] = op.group != nullptr ? py::object(py::str(op.group)) : py::object(py::none());
        operation["command"] = op.command;
        operation["help"] = op.help;
        operation["caption"] = op.caption;
        operation["menu"] = op.menu;
        operation["arguments"] = arguments;
        operations.append(operation);
    }
    return operations;
}

py::list ToolboxCommands() {
    py::list commands;
    for (const toolbox::CliCommand& c : toolbox::CliCommands())
        commands.append(py::make_tuple(c.name, c.help != nullptr ? py::object(py::str(c.help)) : py::object(py::none())));
    return commands;
}

py::tuple ToolboxApply(const std::string& group, const std::string& command, const py::handle& pictureArray,
                       const std::vector<int>& values) {
    const toolbox::Operation* operation = toolbox::FindCommand(group, command);
    if (operation == nullptr) throw ArgumentError("no toolbox operation '" + command + "'");
    const Picture picture = PictureOf(pictureArray, "picture");
    toolbox::Applied applied;
    {
        py::gil_scoped_release release;
        applied = toolbox::Apply(*operation, picture.view, values);
    }
    py::list numbers;
    py::object line = py::none();
    if (applied.report) {
        for (const ReportNumber& n : applied.report->numbers)
            numbers.append(n.decimals == 0 ? py::object(py::int_(static_cast<long long>(n.value)))
                                           : py::object(py::float_(n.value)));
        line = py::str(applied.report->Line());
    }
    return py::make_tuple(ArrayOf(std::move(applied.picture)), numbers, line);
}

}  // namespace

}  // namespace quillfen::python

PYBIND11_MODULE(_quillfen, m) {
    using namespace quillfen;
    using namespace quillfen::python;

    // An extraction makes and frees a workspace of some megabytes. glibc serves blocks above
    // its mmap threshold (128 KB in a fresh process) with a mapping of their own, and raises
    // the threshold to the size of such a block once it is freed; until a block of that size
    // has come and gone, each call maps, faults in and unmaps its planes afresh, which in a new
    // interpreter more than doubled the time of extract(). Freeing one block of 8 MB now moves
    // the threshold where a long-running program's history would have put it (the allocator's
    // own rule: nothing is fixed, and larger blocks still get mappings of their own).
    {
        void* volatile block = std::malloc(std::size_t{8} << 20);
        std::free(block);
    }
    m.doc() = "The Quillfen engine (the package quillfen wraps it; use that).";

    // The exception classes are held for as long as the process lives and never released: a
    // static object's destructor would release them at the process's exit, after the
    // interpreter is gone, and a class freed then is freed into a finalized interpreter.
    static const auto* errorClass = new py::exception<quillfen::Error>(m, "Error", PyExc_ValueError);
    static const auto* fileErrorClass = new py::exception<quillfen::FileError>(m, "FileError", PyExc_OSError);
    const py::exception<quillfen::FileError>& fileError = *fileErrorClass;
    // Its message is the library's line, also when errno and filename are set (OSError would
    // show "[Errno 2] ...: 'name'" instead).
    fileError.attr("__str__") = py::eval("lambda self: str(self.args[0]) if self.args else ''");
    // A FileError of a kind Python has a class for is that class too, so that `except
    // FileNotFoundError` catches a missing picture: one class per kind, made from both.
    py::object type = py::module_::import("builtins").attr("type");
    py::dict byErrno;
    py::list kinds;
    const std::pair<int, PyObject*> builtins[] = {
        {ENOENT, PyExc_FileNotFoundError}, {EACCES, PyExc_PermissionError},  {EPERM, PyExc_PermissionError},
        {EEXIST, PyExc_FileExistsError},   {EISDIR, PyExc_IsADirectoryError}, {ENOTDIR, PyExc_NotADirectoryError}};
    for (const auto& [number, base] : builtins) {
        py::object kind;
        for (const py::handle made : kinds)
            if (PyObject_IsSubclass(made.ptr(), base) == 1) kind = py::reinterpret_borrow<py::object>(made);
        if (!kind) {
            py::dict body;
            body["__module__"] = "quillfen";
            body["__doc__"] = "A FileError that is also the built-in " + py::str(py::handle(base).attr("__name__")).cast<std::string>() + ".";
            kind = type(py::handle(base).attr("__name__"), py::make_tuple(fileError, py::handle(base)), body);
            kinds.append(kind);
        }
        byErrno[py::int_(number)] = kind;
    }
    m.attr("_file_error_kinds") = py::tuple(kinds);
    static const py::handle fileErrorKinds = byErrno.release();  // for the life of the interpreter
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const quillfen::FileError& e) {
            py::handle kind = *fileErrorClass;
            if (e.ErrorNumber() != 0 && fileErrorKinds.contains(py::int_(e.ErrorNumber())))
                kind = fileErrorKinds[py::int_(e.ErrorNumber())];
            py::object raised = kind(e.what());
            raised.attr("errno") = e.ErrorNumber() != 0 ? py::object(py::int_(e.ErrorNumber())) : py::object(py::none());
            raised.attr("strerror") =
                e.ErrorNumber() != 0 ? py::object(py::str(std::strerror(e.ErrorNumber()))) : py::object(py::none());
            raised.attr("filename") = e.Path().empty() ? py::object(py::none()) : py::object(py::str(e.Path()));
            PyErr_SetObject(kind.ptr(), raised.ptr());
        } catch (const quillfen::Error& e) {
            PyErr_SetString(errorClass->ptr(), e.what());
        } catch (const std::invalid_argument& e) {
            PyErr_SetString(errorClass->ptr(), e.what());
        } catch (const std::out_of_range& e) {
            PyErr_SetString(errorClass->ptr(), e.what());
        }
    });

    // The engine's pool of threads ends with the interpreter, while the interpreter and the
    // libraries are whole: left to the process's exit, its threads ended during the libraries'
    // teardown, and now and then one crashed there (after runs on every core).
    py::module_::import("atexit").attr("register")(py::cpp_function([] {
        py::gil_scoped_release release;
        EndPooledThreads();
    }));

    m.attr("METHOD") = DefaultMethod().Method();

    m.def("read_picture", &ReadPicture, py::arg("path"), py::arg("gray") = false, py::arg("channel") = py::none(),
          "Reads a picture file (.pgm, .png, .jpg/.jpeg, .bmp, by extension, under the file rules of "
          "quillfen-cli): an (H, W) uint8 array for a gray picture (an 8-bit file, or one whose pixels are all "
          "gray), or with gray=True the luminance (299 R + 587 G + 114 B) / 1000 rounded, as image libraries give "
          "a colour picture's gray; channel='blue' gives the blue channel instead, the gray the laboratory's "
          "experiment, the toolbox and the polarity method read. Else (H, W, 3) RGB. FileError when it cannot be "
          "read, Error when it is not a picture Quillfen reads.");
    m.def("write_picture", &WritePicture, py::arg("path"), py::arg("picture"),
          "Writes an (H, W) array as an 8-bit gray file, or an (H, W, 3|4) RGB(A) array as a 24-bit one "
          "(alpha dropped), in the format of the extension; the file is replaced only by a complete new one.");

    py::class_<MethodKey>(m, "Key",
                          "What extraction needs from one embedding, as quillfen-cli's key files hold it: the method "
                          "that wrote it, its parameters, seed, the size of the picture it marked, the payload (a payload "
                          "method's), the key's own calibration (where its method measures one) and what the method "
                          "keeps of its own (the polarity method: the host's polarity map, the block orders, the "
                          "binarised mark, ...).")
        .def_static("load",
                    [](const fs::path& path) {
                        py::gil_scoped_release r;
                        return ReadKey(ReadKeyFile(path), path.string());
                    },
                    py::arg("path"), "Reads a key file of any method (FileError, or Error for a damaged or foreign file).")
        .def_static("from_bytes", &KeyFromBytes, py::arg("data"), "A key from the bytes of a key file.")
        .def("save",
             [](const MethodKey& key, const fs::path& path) {
                 const std::vector<std::uint8_t> bytes = KeyFileBytes(key);
                 py::gil_scoped_release r;
                 WriteFileAtomically(path, bytes);
             },
             py::arg("path"), "Writes the key file (atomically: an old file is replaced only by a complete one).")
        .def("__bytes__",
             [](const MethodKey& key) {
                 const std::vector<std::uint8_t> bytes = KeyFileBytes(key);
                 return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
             },
             "The bytes of the key file.")
        .def_property_readonly("method", [](const MethodKey& k) { return k.Method; },
                               "The method that wrote it ('polarity', 'spread-spectrum', 'qim', ...).")
        .def_property_readonly("method_params", [](const MethodKey& k) { return k.Parameters; },
                               "Its parameters as used, 'strength=4.5,bits=64' ('' for the polarity method).")
        .def_property_readonly("seed", [](const MethodKey& k) { return k.Seed; }, "The embedding's seed.")
        .def_property_readonly("host_size", [](const MethodKey& k) { return py::make_tuple(k.HostWidth, k.HostHeight); },
                               "(width, height) of the marked picture.")
        .def_property_readonly("payload",
                               [](const MethodKey& k) { return k.Payload.empty() ? py::object(py::none()) : BitList(k.Payload); },
                               "A payload method's payload as embedded, a list of bits (None for the polarity method).")
        .def_property_readonly("region",
                               [](const MethodKey& k) {
                                   const auto entry = MethodRegistry::BuiltIn().Find(k.Method);
                                   const int side = entry != nullptr ? entry->Capabilities.RegionSide : 0;
                                   if (side > 0) return py::make_tuple(0, 0, side, side);
                                   return py::make_tuple(0, 0, k.HostWidth, k.HostHeight);
                               },
                               "(left, top, width, height) of the marked region (a blind method marks the whole picture).")
        .def_property_readonly("mark", &KeyMark,
                               "The binarised 128 x 128 mark the key looks for (the keys of methods that embed a mark).")
        .def_property_readonly("calibration",
                               [](const MethodKey& k) -> py::object {
                                   if (!k.Calibration) return py::none();
                                   const KeyCalibration& c = *k.Calibration;
                                   py::dict own;
                                   own["trials"] = c.Trials();
                                   own["1e-3"] = c.Threshold1e3;
                                   own["1e-6"] = c.Threshold1e6;
                                   return own;
                               },
                               "The key's own calibration: {trials, '1e-3': threshold, '1e-6': threshold}, or None.")
        .def("__eq__", [](const MethodKey& a, const MethodKey& b) { return KeyFileBytes(a) == KeyFileBytes(b); })
        .def("__repr__",
             [](const MethodKey& k) {
                 return "<quillfen.Key " + k.Method + " seed=" + std::to_string(k.Seed) + " host " +
                        std::to_string(k.HostWidth) + "x" + std::to_string(k.HostHeight) + ">";
             })
        .def(py::pickle(
            [](const MethodKey& key) {
                const std::vector<std::uint8_t> bytes = KeyFileBytes(key);
                return py::make_tuple(py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
            },
            [](const py::tuple& state) { return KeyFromBytes(state[0].cast<py::bytes>()); }));
    // Keys are compared by their bytes; they are not hashed (a key is a value, as bytes(key) is).
    m.attr("Key").attr("__hash__") = py::none();

    py::class_<Calibration>(m, "Calibration",
                            "Detection thresholds of the score (and, from calibrate(), the null trials they come "
                            "from), as quillfen-cli calibrate writes them.")
        .def_static("default", &DefaultCalibration, "The built-in thresholds (the bundled mark's calibration).")
        .def_static("load", [](const fs::path& path) { py::gil_scoped_release r; return LoadCalibration(path); },
                    py::arg("path"), "Reads a calibration file.")
        .def_static("from_json", [](const std::string& text) { return ParseCalibration(text, "the JSON text"); },
                    py::arg("text"), "A calibration from its JSON text.")
        .def("save", [](const Calibration& c, const fs::path& path) { py::gil_scoped_release r; SaveCalibration(path, c); },
             py::arg("path"), "Writes the calibration file (atomically).")
        .def("to_json", &CalibrationJson, "The JSON text, as calibrate --out writes it.")
        .def("threshold", &Calibration::Threshold, py::arg("false_alarm_rate"),
             "The score threshold at that false-alarm rate (stored for 1e-3 and 1e-6, the model's otherwise).")
        .def_property_readonly("thresholds",
                               [](const Calibration& c) {
                                   py::dict t;
                                   t["1e-3"] = c.ThresholdEmpirical;
                                   t["1e-6"] = c.ThresholdModelled;
                                   return t;
                               },
                               "{'1e-3': threshold, '1e-6': threshold}.")
        .def_property_readonly("trials", [](const Calibration& c) { return c.Trials; }, "Null trials (0: thresholds only).")
        .def_property_readonly("source", [](const Calibration& c) { return c.Source; }, "Where it was read from.")
        .def_property_readonly("digest", &CalibrationDigest, "As the rows' calibration_digest.")
        .def(py::self == py::self)
        .def("__repr__", [](const Calibration& c) {
            return "<quillfen.Calibration 1e-3: " + std::to_string(c.ThresholdEmpirical) +
                   ", 1e-6: " + std::to_string(c.ThresholdModelled) + ">";
        })
        .def(py::pickle([](const Calibration& c) { return py::make_tuple(CalibrationJson(c), c.Source); },
                        [](const py::tuple& state) {
                            Calibration c = ParseCalibration(state[0].cast<std::string>(), "the pickled calibration");
                            c.Source = state[1].cast<std::string>();
                            return c;
                        }));

    m.def("_embed", &Embed, py::arg("host"), py::arg("mark"), py::arg("seed"), py::arg("calibration_trials"),
          py::arg("jobs"), py::arg("method"), py::arg("target_psnr"));
    m.def("payload_from_seed", [](std::uint32_t seed, int bits) {
              if (bits < 0 || bits > kMaxPayloadBits) throw ArgumentError("bits: " + std::to_string(bits) + " is not 0..64");
              return BitList(PayloadFromSeed(seed, bits));
          }, py::arg("seed"), py::arg("bits"),
          "The payload bits a sweep and a calibration embed with that seed (and embed() when given none).");
    m.def("methods", &Methods,
          "The method catalogue: a list of {name, summary, blind, payload_bits, strength, uses_mark, thresholds: "
          "{'1e-3', '1e-6'}, parameters: [{name, lowest, highest, whole, default, meaning}]}.");
    m.def("_extract", &quillfen::python::Extract, py::arg("suspect"), py::arg("key"), py::arg("host") = py::none(),
          py::arg("calibration") = py::none());
    m.def("attack", &Attack, py::arg("picture"), py::arg("cell"), py::arg("seed") = 0, py::arg("host") = py::none(),
          "Applies one attack cell ('real-jpeg:q=75', 'rotate:deg=2+real-jpeg:q=75') to a picture and returns the "
          "attacked picture, as the robustness sweep applies it with that seed. A 256 x 256 picture is taken as "
          "the marked region (all attacks; `host`, 256 x 256, for the two crops with the host); a picture of "
          "another size takes the attacks on 8-bit pictures.");
    m.def("attacks", &Attacks,
          "The attack catalogue: a list of {name, summary, seeded, parameters: [{name, lowest, highest, whole, "
          "odd, default, accepted, meaning}]}.");

    m.def("_psnr", [](const py::handle& a, const py::handle& b) {
        return Measured(a, b, "picture", "reference", [](const GrayView& x, const GrayView& y) { return PsnrDecibels(x, y); });
    }, py::arg("picture"), py::arg("reference"));
    m.def("_ssim", [](const py::handle& a, const py::handle& b) {
        return Measured(a, b, "a", "b", [](const GrayView& x, const GrayView& y) { return StructuralSimilarity(x, y); });
    }, py::arg("a"), py::arg("b"));
    m.def("_ber", [](const py::handle& a, const py::handle& b) {
        return Measured(a, b, "extracted", "watermark", [](const GrayView& x, const GrayView& y) { return BitErrorRate(x, y); });
    }, py::arg("extracted"), py::arg("watermark"));
    m.def("_nc", [](const py::handle& a, const py::handle& b) {
        return Optional(Measured(a, b, "extracted", "watermark",
                                 [](const GrayView& x, const GrayView& y) { return NormalizedCorrelation(x, y); }));
    }, py::arg("extracted"), py::arg("watermark"));

    m.def("_experiment", &ExperimentJsonOf, py::arg("host"), py::arg("mark"), py::arg("seed") = py::none(),
          py::arg("attacks") = std::vector<std::string>());
    m.def("_toolbox_operations", &ToolboxOperations);
    m.def("_toolbox_apply", &ToolboxApply, py::arg("group"), py::arg("command"), py::arg("picture"), py::arg("values"));
    m.def("_toolbox_commands", &ToolboxCommands);
    m.def("_toolbox_suggestion", &toolbox::CommandSuggestion, py::arg("group"), py::arg("command"));
    m.def("_did_you_mean", &DidYouMean, py::arg("typed"), py::arg("known"));
    RegisterSweeps(m);
    RegisterMethodCalls(m);
}
